#include "dialogs/SheetExport.h"

#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <vector>

#include "dialogs/ProgressDialog.h"
#include "support/ActionAudit.h"
#include "support/GuiText.h"
#include "support/Icons.h"
#include "support/MessageBox.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui {

namespace {

constexpr int kCaption = 97;
constexpr int kMarkedText = 17;
constexpr int kNoteHeading = 800;
constexpr int kTagsHeading = 801;
constexpr int kCannotCreate = 107;
constexpr int kWriteFailed = 109;
constexpr int kRowsWritten = 351;
constexpr int kFile = 352;
constexpr int kNoOpener = 353;
constexpr int kNoFolderOpener = 354;
constexpr int kStopped = 355;

QString ChooseWithDialog(QWidget* parent, const QString& proposed) {
    return QFileDialog::getSaveFileName(parent, Lang(kCaption), proposed,
                                        QStringLiteral("Excel (*.xlsx);;CSV (*.csv)"));
}

bool OpenWithDesktop(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace

SheetExport::SheetExport(QWidget* parent, ProgressDialog* progress)
    : QObject(parent),
      parent_(parent),
      progress_(progress),
      chooser_(ChooseWithDialog),
      opener_(OpenWithDesktop),
      worker_(this) {
    connect(&worker_.Progress(), &WorkerProgress::Stepped, this,
            [this](int done, int total, const QString&) { OnProgress(done, total); });
    connect(&worker_, &DialogWorker::Finished, this, [this] { OnDone(); });
}

SheetExport::~SheetExport() = default;

QString SheetExport::ProposedPath() {
    QString folder = SettingText(ExportPath());
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QDate today = QDate::currentDate();
    return QDir(folder).filePath(
        QString::fromStdString(DefaultSheetFileName(today.year(), today.month(), today.day())));
}

void SheetExport::Start(const CSortListCtrl* list, const Annotate& annotate) {
    if (Running() || list == nullptr || list->RowCount() < 1) return;
    const QString path = chooser_(parent_, ProposedPath());
    if (path.isEmpty()) return;

    // The cells are taken now, as shown, so the user may go on sorting or
    // reloading (which frees the records) while the file is written.
    struct ShownRow {
        QVector<QString> texts;
        bool marked = false;
        std::pair<std::string, std::string> notes;  // note, tags
    };
    bool annotated = false;
    const int columns = list->ColumnCount();
    auto rows = std::make_shared<std::vector<ShownRow>>(static_cast<std::size_t>(list->RowCount()));
    for (int r = 0; r < list->RowCount(); ++r) {
        ShownRow& row = (*rows)[static_cast<std::size_t>(r)];
        row.texts.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row.texts.append(list->CellText(r, c));
        row.marked = list->CellImage(r, 0) == IconMarked;
        if (const CallRecord* record = list->RowData(r); record && annotate) {
            row.notes = annotate(*record);
            annotated = annotated || !row.notes.first.empty() || !row.notes.second.empty();
        }
    }
    auto source = std::make_shared<SheetSource>();
    for (int c = 0; c < columns; ++c)
        source->headings.push_back(list->ColumnHeading(c).toStdString());
    if (annotated) {
        source->headings.push_back(Lang(kNoteHeading).toStdString());
        source->headings.push_back(Lang(kTagsHeading).toStdString());
    }
    source->rowCount = rows->size();
    const std::string marked = Lang(kMarkedText).toStdString();
    source->row = [rows, marked, annotated](std::size_t i, std::vector<std::string>& cells) {
        const ShownRow& row = (*rows)[i];
        std::vector<std::string> shown;
        shown.reserve(static_cast<std::size_t>(row.texts.size()));
        for (const QString& t : row.texts)
            shown.push_back(t.toStdString());
        cells = SheetRowCells(std::move(shown), row.marked, marked);
        if (annotated) {
            cells.resize(static_cast<std::size_t>(row.texts.size()));
            cells.push_back(row.notes.first);
            cells.push_back(row.notes.second);
        }
    };

    const int total = static_cast<int>(rows->size());
    if (progress_) {
        progress_->setWindowTitle(Lang(kCaption));
        progress_->SetRange(total);
        progress_->SetPos(0);
        progress_->SetText(QString());
        progress_->ShowCentered();
    }
    // A step about every percent keeps the event queue short for long lists.
    worker_.Progress().SetStepEvery(std::max(1, total / 100));
    path_ = path;
    rows_ = total;
    result_ = SheetWriteResult::CreateFailed;
    const bool started =
        worker_.Start([this, source, path](ProgressReporter& progress, std::stop_token stop) {
            const std::filesystem::path target(path.toStdString());
            result_ = WriteSheet(target, SheetFormatFor(target), *source, progress, stop);
        });
    if (!started) OnDone();
}

void SheetExport::OnProgress(int done, int total) {
    if (!progress_) return;
    progress_->SetPos(done);
    progress_->SetText(QString::asprintf("%d/%d", done, total));
}

void SheetExport::OnDone() {
    if (progress_) progress_->hide();
    const SheetWriteResult result = result_;
    const QString path = path_;
    const int rows = rows_;
    const QString shown = QDir::toNativeSeparators(path);
    if (result == SheetWriteResult::CreateFailed) {
        ShowMessage(parent_, QStringLiteral("%1\n%2").arg(Lang(kCannotCreate), shown),
                    Lang(kCaption), QMessageBox::Warning);
    } else if (result == SheetWriteResult::WriteFailed) {
        ShowMessage(parent_, QStringLiteral("%1\n%2").arg(Lang(kWriteFailed), shown),
                    Lang(kCaption), QMessageBox::Warning);
    } else if (result == SheetWriteResult::Written) {
        emit StatusText(shown);
        LogUserAction(parent_, "exported sheet", {path.toStdString()},
                      std::to_string(rows) + " calls");
        const QString written = QStringLiteral("%1 %2\n%3 %4")
                                    .arg(Lang(kRowsWritten))
                                    .arg(rows)
                                    .arg(Lang(kFile), shown);
        if (opener_(path)) {
            ShowMessage(parent_, written, Lang(kCaption), QMessageBox::Information);
        } else if (ShowMessage(parent_, QStringLiteral("%1\n\n%2").arg(written, Lang(kNoOpener)),
                               Lang(kCaption), QMessageBox::Question,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes &&
                   !opener_(QFileInfo(path).absolutePath())) {
            // Not even a file manager: the path above is all there is.
            ShowMessage(parent_, QStringLiteral("%1\n%2").arg(Lang(kNoFolderOpener), shown),
                        Lang(kCaption), QMessageBox::Warning);
        }
    } else {
        ShowMessage(parent_, Lang(kStopped), Lang(kCaption), QMessageBox::Information);
    }
    emit Finished(result, path);
}

}  // namespace lk::gui
