#pragma once
// The main view: the tree of pages on the left and, on the right, one page at
// a time (web page, one of ten record lists with its toolbar and the player,
// or the device settings), plus the record commands.

#include <QStringList>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "mail/MailMessage.h"
#include "support/AppSettings.h"
#include "support/FindQuery.h"
#include "support/ViewPage.h"

class QSplitter;
class QToolBar;

namespace lk {
struct RecorderState;
class RecordSession;
class AudioOutput;
class CallNotes;
}  // namespace lk

namespace lk::gui {

class PaneRegistry;
class CPlayerDlg;
class MailSender;
class RowDrag;
class SheetExport;
class CommandActions;
class DeviceLibraryLoader;
class ProgressDialog;
struct DialogServices;
class CRecordListPane;
class CSortListCtrl;
class CTreePane;
class CWebPane;
class CDeviceParamDlg;
class CPhoneBookDlg;
class FindBox;
class CallNotePanel;

// What the view borrows from the main window for its player, device page and
// dialogs; each outlives the view.
struct ViewServices {
    AudioOutput& audio;
    DeviceLibraryLoader& deviceLibrary;
    const DialogServices& dialogs;
    // Read where each command starts; the view never reads the file itself.
    const AppSettings& settings;
    ProgressDialog* progress = nullptr;
};

class CVX310View : public QWidget {
    Q_OBJECT
  public:
    // Registers its record-list panes in `panes` for as long as it lives.
    CVX310View(RecordSession& session, PaneRegistry& panes, CommandActions& commands,
               ViewServices services, QWidget* parent);
    ~CVX310View() override;
    // Builds the tree last, which passes through every page and ends on page 1.
    void FinishCreation();

    void ShowPage(int page);
    int CurrentPage() const { return currentPage_; }
    CSortListCtrl* CurrentList() const;
    CRecordListPane* PaneOf(int category) const;
    CTreePane* Tree() const { return tree_; }
    CWebPane* Web() const { return web_; }
    QToolBar* RecordToolbar() const { return recordBar_; }
    QToolBar* ImportToolbar() const { return importBar_; }
    // The find box beside the toolbars: it narrows the list shown to the rows
    // holding every typed word. Only the page shown is narrowed: another page
    // chosen shows the same words applied to it, and the page left shows
    // all its rows again, so that the box always tells what the list shows.
    FindBox* FindField() const { return findBox_; }
    // What a record is found by beyond its number, name and remark (its note
    // and tags); RecordFindTextsChanged after that text changed.
    void SetRecordFindText(const RecordFindText& extra);
    void RecordFindTextsChanged();
    CPlayerDlg* PlayerPane() const { return player_; }
    CDeviceParamDlg* DeviceParamsPane() const { return deviceParams_; }
    CPhoneBookDlg* PhoneBookPane() const { return phoneBook_; }

    // Asks for the address book and keeps it in "ContactsFile"; false when
    // the user cancelled. Tests put their own chooser in.
    bool ChooseAddressBook();
    using AddressBookChooser = std::function<QString(QWidget*, const QString& current)>;
    void SetAddressBookChooser(AddressBookChooser chooser) { chooser_ = std::move(chooser); }

    // Tree | pages, and pages over the player.
    QSplitter* TreeSplitter() const { return treeSplit_; }
    QSplitter* PlayerSplitter() const { return playerSplit_; }
    // The splitter sizes between runs.
    // False when the settings file could not be written.
    [[nodiscard]] bool SaveLayout() const;
    // What each empty list says about why it is empty.
    void UpdatePlaceholders();

    void SetDeviceName(const QString& name);
    // The tree's root names the device and what is listed (card or backup).
    void ShowSource(const QString& source);
    void SetRemarkColumnWidth(int width);

    // Runs a command by its number, as its toolbar button would.
    void OnCommand(int command);
    void OnExportSheet();
    // Mails the selected calls' recordings attached as `as`; the choice is
    // kept for the toolbar's mail button.
    void OnMail(MailAttachAs as);
    SheetExport* SheetExporter() const { return sheetExport_; }
    MailSender* Mailer() const { return mailSender_; }
    // Deleted and failed counts, or nothing when no row was selected or the
    // user did not confirm.
    std::optional<std::pair<int, int>> DeleteSelected(CRecordListPane* pane);

    // Recording files and folders dropped on the window join the imported
    // list (page 10), as the Import command adds them.
    void ImportDropped(const QStringList& paths);

    // The notes of the records shown: those of the chosen backup store, else
    // the user's own. Remade when the store changes.
    CallNotes& Notes();
    CallNotePanel* NotePanel() const { return notePanel_; }
    QSplitter* NoteSplitter() const { return bottomSplit_; }
    // Lists the calls carrying `tag` on the search page and shows it.
    void ShowTag(const QString& tag);
    // The tree's tag pages follow the tags in use.
    void RefreshTags();

    bool AudioIsOpen() const;
    // Every row looks at its recording again (after files moved).
    void RecheckFiles();

  signals:
    // The status bar's category text: the page shown and its row count.
    // `total` is the count of all rows while the find box hides some, else -1.
    void CategoryStatusChanged(int page, int count, int total);
    // The records are to be read again (card or backup store).
    void RefreshRequested();
    // A short note for the screen reader ("Card inserted ...").
    void Announced(const QString& text);
    // A passing note for the status bar.
    void StatusText(const QString& text);

  protected:
    void showEvent(QShowEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    // Where the player and the note panel do not both fit, the panel folds
    // away so that the player's buttons keep their words; it comes back when
    // there is room again or on Edit Note.
    void FitNotePanel();
    void OpenNotePanel();
    QToolBar* MakeToolbar(bool importBar);
    // The count of the page shown, "n of m" while the find box narrows it.
    void EmitCategoryStatus();
    void ApplyFind();
    // The commands that open a working dialog.
    void OnSearchCommand();
    void OnBackupCommand(bool selected);
    void OnExportWavCommand();
    void OnExportAudioCommand();
    void OnOpenFolder();
    void ImportFolderPath(const std::filesystem::path& folder);
    void OnImportCommand();
    void ConnectCommands();
    void BuildLayout();

    // Command handlers; the busy guard has already let them through.
    void OnPlay();
    void OnDelete();
    void OnRefresh();
    void OnMark();
    void OnMatchContacts();
    void OnClearImported();
    void OnSelectAll();
    void OnStepPage(int step);

    RecordSession& session_;
    const RecorderState& state_;
    PaneRegistry& registry_;
    CommandActions& commands_;
    ViewServices services_;
    CTreePane* tree_ = nullptr;
    QSplitter* treeSplit_ = nullptr;
    QSplitter* playerSplit_ = nullptr;
    CWebPane* web_ = nullptr;
    std::array<CRecordListPane*, 11> panes_{};
    CPlayerDlg* player_ = nullptr;
    CallNotePanel* notePanel_ = nullptr;
    QSplitter* bottomSplit_ = nullptr;
    bool noteFolded_ = false;  // folded away for want of room, not by the user
    std::unique_ptr<CallNotes> notes_;
    bool notesProblemSaid_ = false;
    CDeviceParamDlg* deviceParams_ = nullptr;
    CPhoneBookDlg* phoneBook_ = nullptr;
    AddressBookChooser chooser_;
    QToolBar* recordBar_ = nullptr;
    QToolBar* importBar_ = nullptr;
    QWidget* barRow_ = nullptr;
    FindBox* findBox_ = nullptr;
    int foundPage_ = -1;  // the page the find box narrows, or -1
    int currentPage_ = PageAll;
    SheetExport* sheetExport_ = nullptr;
    MailSender* mailSender_ = nullptr;
    RowDrag* rowDrag_ = nullptr;
    bool importRunning_ = false;
    bool playerSized_ = false;
    QString deviceName_;
    QString source_;
};

}  // namespace lk::gui
