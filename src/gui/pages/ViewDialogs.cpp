// The view's commands that open the search, backup, WAV export and import
// windows.

#include <QTimer>

#include "app/CMainFrame.h"
#include "app/CRecorderApp.h"
#include "dialogs/CBackupDlg.h"
#include "dialogs/CExportWavDlg.h"
#include "dialogs/CImportDlg.h"
#include "dialogs/CSearchDlg.h"
#include "pages/CVX310View.h"
#include "records/CRecordListPane.h"
#include "support/Commands.h"

namespace lk::gui {

void CVX310View::OnSearchCommand() {
    CRecordListPane* results = PaneOf(PageSearch);
    SearchTargets targets;
    targets.showResultsPage = [this] { ShowPage(PageSearch); };
    targets.clearResults = [results] {
        results->StopRelabel();
        results->DeleteAllRows();
    };
    targets.addResult = [results](CallRecord* r) { results->AddRecord(r); };
    CSearchDlg dlg(app_.State(), currentPage_, std::move(targets), frame_.Services(), this);
    dlg.exec();
    if (currentPage_ >= 1 && currentPage_ <= 9)
        frame_.SetCategoryStatus(currentPage_, PaneOf(currentPage_)->List()->RowCount());
}

void CVX310View::OnBackupCommand(bool selected) {
    RecorderState& st = app_.State();
    if (st.cardRecords.empty()) return;
    CSortListCtrl* list = selected ? CurrentList() : nullptr;
    if (selected && (!list || list->SelectedCount() == 0)) return;
    CBackupDlg dlg(st, frame_.Services(), this, list);
    dlg.exec();
}

void CVX310View::OnExportWavCommand() {
    CExportWavDlg dlg(frame_.Services(), this);
    // The rows are handed over once the window exists.
    QTimer::singleShot(100, &dlg, [this, &dlg] {
        if (CSortListCtrl* list = CurrentList())
            for (int row : list->SelectedRows())
                dlg.AddFile(list->CellText(row, ColPath));
    });
    dlg.exec();
}

void CVX310View::OnImportCommand() {
    const auto folder = BrowseForFolder(frame_.Services().pickFolder, this, StartFolder({}), {});
    if (!folder) return;
    RecorderState& st = app_.State();
    CImportDlg dlg(folder->toStdString(), st.contacts, frame_.Services(), this);
    if (!dlg.StartImport()) return;
    importRunning_ = true;
    dlg.exec();
    importRunning_ = false;
    RecordList found = dlg.TakeRecords();
    CRecordListPane* pane = PaneOf(PageFolder);
    pane->StopRelabel();
    pane->DeleteAllRows();
    for (RecordPtr& r : found)
        st.folderRecords.push_back(std::move(r));
    for (const RecordPtr& r : st.folderRecords)
        pane->AddRecord(r.get());
    if (currentPage_ == PageFolder) frame_.SetCategoryStatus(PageFolder, pane->List()->RowCount());
}

}  // namespace lk::gui
