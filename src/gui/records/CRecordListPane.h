#pragma once
// One record category as a list: turns records into rows, keeps the mark
// flag in line across panes, and turns mouse actions into view commands.
// The pane owns no record; rows borrow them from the shared record lists.

#include <QTimer>
#include <QWidget>
#include <vector>

#include "card/ViewPage.h"
#include "records/RecordRow.h"
#include "widgets/CSortListCtrl.h"

namespace lk {
struct RecorderState;
}

namespace lk::gui {

class CommandActions;
class PaneRegistry;

class CRecordListPane : public QWidget {
    Q_OBJECT
  public:
    // The row menu is built from the window's command actions.
    CRecordListPane(RecorderState& state, PaneRegistry& panes, CommandActions& commands,
                    QWidget* parent = nullptr);
    ~CRecordListPane() override;

    void SetCategory(int category);
    int Category() const { return category_; }
    CSortListCtrl* List() const { return list_; }

    // Appends one row for the record (UI thread).
    void AddRecord(CallRecord* record);
    // Appends rows prepared elsewhere (the pane fill's batches).
    void AddPreparedRows(std::vector<ListRow>&& rows);
    int DeleteAllRows();

    void Relabel();
    void StopRelabel();
    bool RelabelRunning() const { return relabelTimer_.isActive(); }

    void ToggleMarks();
    void SyncMark(CRecordListPane* source, CallRecord* record);
    void SetRemarkColumnWidth(int width);

  signals:
    // A command for the view (play, mark, delete, ...).
    void CommandRequested(int command);

  private:
    void OnContextMenu(const QPoint& globalPos);
    void RelabelRow(int row, const RowLabels& labels, int devType);
    void RelabelSlice();

    RecorderState& state_;
    PaneRegistry& panes_;
    CommandActions& commands_;
    CSortListCtrl* list_;
    int category_ = PageAll;
    QTimer relabelTimer_;
    int nextRelabelRow_ = 0;
    bool stopRelabel_ = false;
};

}  // namespace lk::gui
