#include "dialogs/CExportWavDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <filesystem>
#include <vector>

#include "support/ActionAudit.h"
#include "support/GuiText.h"
#include "support/SettingsWrite.h"

namespace lk::gui {

QString ConvertStatusText(ConvertResult result) {
    int reason = 0;
    switch (result) {
        case ConvertResult::Converted:
            return Lang(203);
        case ConvertResult::NotConverted:
            return QString();
        case ConvertResult::SourceOpenFailed:
            reason = 210;
            break;
        case ConvertResult::SourceTooSmall:
            reason = 211;
            break;
        case ConvertResult::OutOfMemory:
            reason = 212;
            break;
        case ConvertResult::WriteFailed:
            reason = 213;
            break;
    }
    return QStringLiteral("%1 (%2)").arg(Lang(204), Lang(reason));
}

CExportWavDlg::CExportWavDlg(DialogServices services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      worker_(this),
      list_(new QTreeWidget(this)),
      folder_(new QLineEdit(this)),
      browse_(new QPushButton(QStringLiteral("..."), this)),
      bar_(new QProgressBar(this)),
      ok_(new QPushButton(Lang(199), this)),
      cancel_(new QPushButton(Lang(200), this)) {
    setObjectName(QStringLiteral("exportWavDlg"));
    setWindowTitle(Lang(197));
    list_->setObjectName(QStringLiteral("files"));
    folder_->setObjectName(QStringLiteral("folder"));
    browse_->setObjectName(QStringLiteral("browse"));
    bar_->setObjectName(QStringLiteral("progress"));
    ok_->setObjectName(QStringLiteral("ok"));
    cancel_->setObjectName(QStringLiteral("cancel"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(Lang(206), this), 0, 0, 1, 3);
    list_->setColumnCount(2);
    list_->setHeaderLabels({Lang(201), Lang(202)});
    list_->setRootIsDecorated(false);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setAlternatingRowColors(true);
    list_->setColumnWidth(0, 500);
    list_->setColumnWidth(1, 100);
    list_->setMinimumSize(620, 220);
    grid->addWidget(list_, 1, 0, 1, 3);
    grid->addWidget(new QLabel(Lang(198), this), 2, 0);
    folder_->setReadOnly(true);
    folder_->setText(StartFolder(SettingText(ExportPath())));
    grid->addWidget(folder_, 2, 1);
    browse_->setFixedWidth(32);
    grid->addWidget(browse_, 2, 2);
    grid->addWidget(new QLabel(Lang(205), this), 3, 0);
    bar_->setTextVisible(false);
    grid->addWidget(bar_, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ok_->setDefault(true);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    grid->addLayout(buttons, 4, 0, 1, 3);

    connect(browse_, &QPushButton::clicked, this, &CExportWavDlg::OnBrowse);
    connect(ok_, &QPushButton::clicked, this, &CExportWavDlg::OnExport);
    connect(cancel_, &QPushButton::clicked, this, &CExportWavDlg::reject);
    connect(&worker_, &DialogWorker::Finished, this, &CExportWavDlg::OnFinished);
}

CExportWavDlg::~CExportWavDlg() {
    worker_.StopAndJoin();
}

void CExportWavDlg::AddFile(const QString& path) {
    if (worker_.Running() || path.isEmpty() || !path.contains(QLatin1String(".xtr"))) return;
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, path);
}

int CExportWavDlg::FileCount() const {
    return list_->topLevelItemCount();
}
QString CExportWavDlg::FileAt(int row) const {
    const QTreeWidgetItem* i = list_->topLevelItem(row);
    return i ? i->text(0) : QString();
}
QString CExportWavDlg::StatusAt(int row) const {
    const QTreeWidgetItem* i = list_->topLevelItem(row);
    return i ? i->text(1) : QString();
}
QString CExportWavDlg::FolderText() const {
    return folder_->text();
}

void CExportWavDlg::OnBrowse() {
    const auto picked =
        BrowseForFolder(services_.pickFolder, this, StartFolder(SettingText(ExportPath())));
    if (!picked) return;
    folder_->setText(*picked);
    ReportSettingsWrite(SetExportPath(picked->toStdString()), this);
}

void CExportWavDlg::OnExport() {
    if (worker_.Running()) return;
    std::vector<std::string> sources;
    for (int i = 0; i < FileCount(); ++i)
        sources.push_back(FileAt(i).toStdString());
    const std::string folder = WithTrailingSeparator(folder_->text()).toStdString();
    ok_->setEnabled(false);
    failures_ = 0;
    exported_.clear();
    bar_->setRange(0, static_cast<int>(sources.size()));
    bar_->setValue(0);
    const auto hook = services_.workerStep;
    const bool started = worker_.Start([this, sources = std::move(sources), folder, hook](
                                           ProgressReporter&, std::stop_token stop) {
        // The folder is made when missing; a file that exists is replaced only
        // by a complete one.
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        for (std::size_t i = 0; i < sources.size(); ++i) {
            QMetaObject::invokeMethod(
                this, [this, i] { bar_->setValue(static_cast<int>(i)); }, Qt::QueuedConnection);
            if (hook) hook();
            if (stop.stop_requested()) break;
            const ConvertResult r =
                ConvertXtrToWav(sources[i], ExportDestination(folder, sources[i]));
            QMetaObject::invokeMethod(
                this,
                [this, i, r, line = sources[i] + " -> " + ExportDestination(folder, sources[i])] {
                    if (r == ConvertResult::NotConverted) return;
                    if (r != ConvertResult::Converted) ++failures_;
                    if (r == ConvertResult::Converted) exported_.push_back(line);
                    if (QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(i)))
                        item->setText(1, ConvertStatusText(r));
                },
                Qt::QueuedConnection);
        }
    });
    if (!started) ok_->setEnabled(true);
}

void CExportWavDlg::OnFinished() {
    bar_->setValue(bar_->maximum());
    if (!exported_.empty()) LogUserAction(this, "exported wav", exported_, {});
    emit ExportFinished();
    if (worker_.ClosePending()) return;
    // The window closes itself after an export, unless a file failed: the
    // reasons are only written in the list, so the list stays to be read.
    if (failures_ > 0) return;
    done(Accepted);
}

void CExportWavDlg::done(int result) {
    if (worker_.StopThen([this, result] { done(result); })) {
        cancel_->setEnabled(false);
        return;
    }
    QDialog::done(result);
}

}  // namespace lk::gui
