#pragma once
// The main view: the tree of pages on the left and, on the right, one page at
// a time (web page, one of ten record lists with its toolbar and the player,
// or the device settings), plus the record commands.

#include <QWidget>
#include <array>
#include <optional>
#include <utility>

class QToolBar;
class QToolButton;

namespace lk {
struct RecorderState;
}

namespace lk::gui {

class PaneRegistry;
class CRecordListPane;
class CSortListCtrl;
class CTreePane;
class CWebPane;

class CVX310View : public QWidget {
    Q_OBJECT
  public:
    // Registers its record-list panes in `panes` for as long as it lives.
    CVX310View(RecorderState& state, PaneRegistry& panes, QWidget* parent);
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

    void SetDeviceName(const QString& name);
    void SetRemarkColumnWidth(int width);

    void OnCommand(int command);
    // Deleted and failed counts, or nothing when no row was selected or the
    // user did not confirm.
    std::optional<std::pair<int, int>> DeleteSelected(CRecordListPane* pane);

    // The sound output arrives with playback; until then it is never open.
    bool AudioIsOpen() const { return false; }

  signals:
    // The status bar's category text: the page shown and its row count.
    void CategoryStatusChanged(int page, int count);
    // The records are to be read again (card or backup store).
    void RefreshRequested();

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    QToolBar* MakeToolbar(bool importBar);
    bool Refused();
    void Layout();

    RecorderState& state_;
    PaneRegistry& registry_;
    CTreePane* tree_ = nullptr;
    CWebPane* web_ = nullptr;
    std::array<CRecordListPane*, 11> panes_{};
    QWidget* player_ = nullptr;
    QWidget* deviceParams_ = nullptr;
    QWidget* phoneBook_ = nullptr;
    QToolBar* recordBar_ = nullptr;
    QToolBar* importBar_ = nullptr;
    int currentPage_ = 1;
};

}  // namespace lk::gui
