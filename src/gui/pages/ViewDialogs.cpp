// The view's commands that open the search, backup, WAV export and import
// windows.

#include <QStringList>
#include <QTimer>
#include <cerrno>

#include <fcntl.h>

#include "backup/ImportRecords.h"
#include "card/RecordCommands.h"
#include "card/RecordExportItems.h"
#include "dialogs/CBackupDlg.h"
#include "dialogs/CExportAudioDlg.h"
#include "dialogs/CExportWavDlg.h"
#include "dialogs/CImportDlg.h"
#include "dialogs/CSearchDlg.h"
#include "pages/CVX310View.h"
#include "records/CRecordListPane.h"
#include "session/RecordSession.h"
#include "support/Commands.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"
#include "support/ShowInFolder.h"

namespace lk::gui {

void CVX310View::OnSearchCommand() {
    CRecordListPane* results = PaneOf(PageSearch);
    SearchTargets targets;
    targets.showResultsPage = [this] { ShowPage(PageSearch); };
    targets.clearResults = [results] { results->DeleteAllRows(); };
    targets.addResult = [results](CallRecord* r) { results->AddRecord(r); };
    CSearchDlg dlg(session_, currentPage_, std::move(targets), services_.dialogs, this);
    dlg.exec();
    if (currentPage_ >= PageAll && currentPage_ <= PageSearch) EmitCategoryStatus();
}

void CVX310View::OnBackupCommand(bool selected) {
    if (session_.Records().Card().empty()) return;
    CSortListCtrl* list = selected ? CurrentList() : nullptr;
    if (selected && (!list || list->SelectedCount() == 0)) return;
    CBackupDlg dlg(session_, services_.dialogs, this, list);
    dlg.exec();
    // Moved recordings are gone from the card: no row may still say present.
    RecheckFiles();
}

void CVX310View::RecheckFiles() {
    for (int c = kFirstListPage; c <= kLastListPage; ++c)
        if (CRecordListPane* p = PaneOf(c)) p->List()->RecheckFiles();
}

void CVX310View::OnExportWavCommand() {
    CExportWavDlg dlg(services_.dialogs, this);
    // The rows are handed over once the window exists.
    QTimer::singleShot(100, &dlg, [this, &dlg] {
        CSortListCtrl* list = CurrentList();
        if (!list) return;
        QStringList refused;
        for (int row : list->SelectedRows()) {
            const CallRecord* r = list->RowData(row);
            if (!r) continue;
            // Only a regular file below the card or store the record came
            // from, reached without a link.
            const RootedPathResult recording = RecordingOf(*r);
            std::string reason = recording.reason;
            if (recording.path && recording.path->NamesNoFile()) continue;
            if (recording.path) {
                const RegularFileOpen opened = recording.path->Open(O_RDONLY);
                if (opened.Ok() || opened.error == ENOENT) {
                    dlg.AddFile(QString::fromStdString(recording.path->Full().string()));
                    continue;
                }
                reason = opened.reason;
            }
            refused << QStringLiteral("%1: %2").arg(FilePathText(*r),
                                                    QString::fromStdString(reason));
        }
        if (!refused.isEmpty()) emit StatusText(refused.join(QStringLiteral("; ")));
    });
    dlg.exec();
}

void CVX310View::OnExportAudioCommand() {
    CSortListCtrl* list = CurrentList();
    if (!list) return;
    std::vector<const CallRecord*> selected, page;
    for (const int row : list->SelectedRows())
        if (const CallRecord* r = list->RowData(row)) selected.push_back(r);
    for (int row = 0; row < list->RowCount(); ++row)
        if (const CallRecord* r = list->RowData(row)) page.push_back(r);
    const auto pageItems = ExportItemsOf(page);
    QStringList leftOut;
    for (const auto& left : pageItems.leftOut)
        leftOut << QStringLiteral("%1: %2").arg(QString::fromStdString(left.recording.string()),
                                                QString::fromStdString(left.reason));
    CExportAudioDlg dlg(ExportItemsOf(selected).items, pageItems.items, leftOut, services_.dialogs,
                        this);
    dlg.exec();
}

void CVX310View::OnOpenFolder() {
    CSortListCtrl* list = CurrentList();
    if (!list) return;
    const auto rows = list->SelectedRows();
    if (rows.empty()) return;
    const CallRecord* r = list->RowData(rows.front());
    if (!r) return;
    const RootedPathResult recording = RecordingOf(*r);
    if (!recording.path || recording.path->NamesNoFile()) {
        emit StatusText(Lang(368));
        return;
    }
    const QString path = QString::fromStdString(recording.path->Full().string());
    if (!ShowInFolder(path)) emit StatusText(QStringLiteral("%1 %2").arg(Lang(727), path));
}

void CVX310View::OnImportCommand() {
    const auto folder = BrowseForFolder(services_.dialogs.pickFolder, this, StartFolder({}), {});
    if (!folder) return;
    ImportFolderPath(folder->toStdString());
}

void CVX310View::ImportDropped(const QStringList& paths) {
    if (importRunning_) return;
    // A folder is imported as the Import command imports it; files join the
    // imported list one by one.
    std::vector<std::filesystem::path> files;
    for (const QString& p : paths) {
        const std::filesystem::path path = p.toStdString();
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) {
            ImportFolderPath(path);
        } else if (IsRecordingCandidate(p.toStdU16String())) {
            files.push_back(path);
        }
    }
    if (!files.empty()) {
        const SessionClaim claim = session_.TryClaim();
        if (!claim) {
            ShowMessage(this, Lang(159), Lang(160), QMessageBox::Information);
            return;
        }
        CRecordListPane* pane = PaneOf(PageFolder);
        std::vector<RecordPtr> found;
        for (const auto& f : files) {
            std::error_code ec;
            const auto full = std::filesystem::absolute(f, ec).lexically_normal();
            if (!ImportRecordFile(full, found, session_.State().contacts)) continue;
            // As the folder import does: the recording stays below the folder it lies in.
            auto source = std::make_shared<RecordSourceFile>();
            source->root = full.parent_path();
            found.back()->origin.file = std::move(source);
        }
        std::vector<CallRecord*> shown;
        for (const RecordPtr& r : found)
            shown.push_back(r.get());
        session_.AddImported(std::move(found));
        for (CallRecord* r : shown)
            pane->AddRecord(r);
    }
    ShowPage(PageFolder);
}

void CVX310View::ImportFolderPath(const std::filesystem::path& folder) {
    // Held until the records found joined the imported list.
    const SessionClaim claim = session_.TryClaim();
    if (!claim) {
        ShowMessage(this, Lang(159), Lang(160), QMessageBox::Information);
        return;
    }
    CImportDlg dlg(folder, session_.State().contacts, services_.dialogs, this);
    if (!dlg.StartImport()) return;
    importRunning_ = true;
    dlg.exec();
    importRunning_ = false;
    RecordList found = dlg.TakeRecords();
    CRecordListPane* pane = PaneOf(PageFolder);
    pane->DeleteAllRows();
    session_.AddImported(std::move(found));
    for (const RecordPtr& r : session_.Records().Folder())
        pane->AddRecord(r.get());
    if (currentPage_ == PageFolder) EmitCategoryStatus();
}

}  // namespace lk::gui
