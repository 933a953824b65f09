#pragma once
// One record category as a list: turns records into rows, keeps the mark
// flag in line across panes, and turns mouse actions into view commands.
// The pane owns no record; rows borrow them from the shared record lists.

#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

#include "records/RecordRow.h"
#include "support/ViewPage.h"
#include "widgets/CSortListCtrl.h"

namespace lk {
class RecordSession;
}

namespace lk::gui {

class CommandActions;
class PaneRegistry;

class CRecordListPane : public QWidget {
    Q_OBJECT
  public:
    // The row menu is built from the window's command actions.
    CRecordListPane(RecordSession& session, PaneRegistry& panes, CommandActions& commands,
                    QWidget* parent = nullptr);
    ~CRecordListPane() override;

    void SetCategory(int category);
    int Category() const { return category_; }
    CSortListCtrl* List() const { return list_; }

    // Appends one row for the record (UI thread).
    void AddRecord(CallRecord* record);
    // Appends one row per record (the pane fill's batches).
    void AddRecords(const std::vector<CallRecord*>& records);
    int DeleteAllRows();

    // New header texts and type names after a language change.
    void Relabel();

    // Turns the mark of the selected rows' records (through the session);
    // texts of the records whose mark could not be written ("path: reason").
    QStringList ToggleMarks();
    void SyncMark(CRecordListPane* source, CallRecord* record);
    void SetRemarkColumnWidth(int width);

    // What, beyond its cells, a row is found by in the find box.
    void SetRecordFindText(RecordFindText extra);
    // That text changed for some records: it is read again.
    void RecordFindTextsChanged();

  signals:
    // A command for the view (play, mark, delete, ...).
    void CommandRequested(int command);

  private:
    void OnContextMenu(const QPoint& globalPos);

    RecordSession& session_;
    PaneRegistry& panes_;
    CommandActions& commands_;
    CSortListCtrl* list_;
    std::shared_ptr<RecordCells> cells_;
    int category_ = PageAll;
};

}  // namespace lk::gui
