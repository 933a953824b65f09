#pragma once
// The main view: the tree of pages on the left and, on the right, one page at
// a time (web page, one of ten record lists with its toolbar and the player,
// or the device settings), plus the record commands.

#include <QWidget>
#include <array>
#include <optional>
#include <utility>

class QSplitter;
class QToolBar;

namespace lk::gui {

class CRecorderApp;
class CMainFrame;
class CommandActions;
class CRecordListPane;
class CSortListCtrl;
class CTreePane;
class CWebPane;

class CVX310View : public QWidget {
    Q_OBJECT
  public:
    CVX310View(CRecorderApp& app, CMainFrame& frame, CommandActions& commands, QWidget* parent);
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
    QWidget* PlayerPane() const { return player_; }
    QWidget* DeviceParamsPane() const { return deviceParams_; }
    QWidget* PhoneBookPane() const { return phoneBook_; }

    // Tree | pages, and pages over the player.
    QSplitter* TreeSplitter() const { return treeSplit_; }
    QSplitter* PlayerSplitter() const { return playerSplit_; }
    // The splitter sizes between runs.
    void SaveLayout() const;
    // What each empty list says about why it is empty.
    void UpdatePlaceholders();

    void SetDeviceName(const QString& name);
    // The tree's root names the device and what is listed (card or backup).
    void ShowSource(const QString& source);
    void SetRemarkColumnWidth(int width);

    // Runs a command by its number, as its toolbar button would.
    void OnCommand(int command);
    // Deleted and failed counts, or nothing when no row was selected or the
    // user did not confirm.
    std::optional<std::pair<int, int>> DeleteSelected(CRecordListPane* pane);

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    QToolBar* MakeToolbar(bool importBar);
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

    CRecorderApp& app_;
    CMainFrame& frame_;
    CommandActions& commands_;
    CTreePane* tree_ = nullptr;
    QSplitter* treeSplit_ = nullptr;
    QSplitter* playerSplit_ = nullptr;
    CWebPane* web_ = nullptr;
    std::array<CRecordListPane*, 11> panes_{};
    QWidget* player_ = nullptr;
    QWidget* deviceParams_ = nullptr;
    QWidget* phoneBook_ = nullptr;
    QToolBar* recordBar_ = nullptr;
    QToolBar* importBar_ = nullptr;
    int currentPage_ = 1;
    bool playerSized_ = false;
    QString deviceName_;
    QString source_;
};

}  // namespace lk::gui
