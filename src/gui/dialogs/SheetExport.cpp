#include "dialogs/SheetExport.h"

#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <vector>

#include "dialogs/ProgressDialog.h"
#include "support/GuiText.h"
#include "support/Icons.h"
#include "support/MessageBox.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui {

namespace {

constexpr int kCaption = 97;
constexpr int kMarkedText = 17;
constexpr int kCannotCreate = 107;
constexpr int kWriteFailed = 109;

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
      opener_(OpenWithDesktop) {}

SheetExport::~SheetExport() {
    stop_ = 1;
    if (worker_.joinable()) worker_.join();
}

QString SheetExport::ProposedPath() {
    QString folder = SettingText(ExportPath());
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QDate today = QDate::currentDate();
    return QDir(folder).filePath(
        QString::fromStdString(DefaultSheetFileName(today.year(), today.month(), today.day())));
}

void SheetExport::Start(const CSortListCtrl* list) {
    if (Running() || list == nullptr || list->RowCount() < 1) return;
    const QString path = chooser_(parent_, ProposedPath());
    if (path.isEmpty()) return;

    // The rows are taken now (their texts are shared, not copied), so the
    // user may go on sorting or reloading while the file is written.
    auto rows = std::make_shared<std::vector<ListRow>>(list->Model()->Rows());
    auto source = std::make_shared<SheetSource>();
    for (int c = 0; c < list->ColumnCount(); ++c)
        source->headings.push_back(list->ColumnHeading(c).toStdString());
    source->rowCount = rows->size();
    const std::string marked = Lang(kMarkedText).toStdString();
    const std::size_t columns = source->headings.size();
    source->row = [rows, marked, columns](std::size_t i, std::vector<std::string>& cells) {
        const ListRow& row = (*rows)[i];
        std::vector<std::string> shown(columns);
        for (std::size_t c = 0; c < columns && c < static_cast<std::size_t>(row.texts.size()); ++c)
            shown[c] = row.texts[static_cast<qsizetype>(c)].toStdString();
        const bool isMarked = !row.images.isEmpty() && row.images[0] == IconMarked;
        cells = SheetRowCells(std::move(shown), isMarked, marked);
    };

    const int total = static_cast<int>(rows->size());
    if (progress_) {
        progress_->setWindowTitle(Lang(kCaption));
        progress_->SetRange(total);
        progress_->SetPos(0);
        progress_->SetText(QString());
        progress_->ShowCentered();
    }
    stop_ = 0;
    worker_ = std::thread([this, source, path, total] {
        SheetWriteOptions options;
        options.stop = &stop_;
        // A step about every percent keeps the event queue short for long lists.
        const std::size_t every = std::max<std::size_t>(1, static_cast<std::size_t>(total) / 100);
        options.progress = [this, every](std::size_t done, std::size_t all) {
            if (done % every != 0 && done != all) return;
            QMetaObject::invokeMethod(
                this,
                [this, done, all] { OnProgress(static_cast<int>(done), static_cast<int>(all)); },
                Qt::QueuedConnection);
        };
        const std::filesystem::path target(path.toStdString());
        const SheetWriteResult result =
            WriteSheet(target, SheetFormatFor(target), *source, options);
        QMetaObject::invokeMethod(
            this, [this, result, path] { OnDone(static_cast<int>(result), path); },
            Qt::QueuedConnection);
    });
}

void SheetExport::OnProgress(int done, int total) {
    if (!progress_) return;
    progress_->SetPos(done);
    progress_->SetText(QString::asprintf("%d/%d", done, total));
}

void SheetExport::OnDone(int resultCode, const QString& path) {
    if (worker_.joinable()) worker_.join();
    if (progress_) progress_->hide();
    const auto result = static_cast<SheetWriteResult>(resultCode);
    if (result == SheetWriteResult::CreateFailed)
        ShowMessage(nullptr, Lang(kCannotCreate), Lang(kCaption), QMessageBox::Warning);
    else if (result == SheetWriteResult::WriteFailed)
        ShowMessage(nullptr, Lang(kWriteFailed), Lang(kCaption), QMessageBox::Warning);
    else if (result == SheetWriteResult::Written && !opener_(path))
        emit StatusText(QDir::toNativeSeparators(path));
    emit Finished(result, path);
}

}  // namespace lk::gui
