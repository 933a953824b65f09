#include "dialogs/CExportAudioDlg.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>

#include "support/ActionAudit.h"
#include "support/GuiText.h"
#include "support/SettingsWrite.h"
#include "support/ShowInFolder.h"

namespace lk::gui {

namespace {

constexpr int kCaption = 700;
constexpr int kFormat = 701;
constexpr int kFormatNames = 702;  // 702-705 in the order of kAudioFormats
constexpr int kNames = 706;
constexpr int kFields = 707;
constexpr int kPreview = 708;
constexpr int kCalls = 709;
constexpr int kSelectedCalls = 710;
constexpr int kPageCalls = 711;
constexpr int kExisting = 712;
constexpr int kKeepBoth = 713;
constexpr int kSkip = 714;
constexpr int kStop = 715;
constexpr int kClose = 716;
constexpr int kWritten = 717;
constexpr int kSkipped = 718;
constexpr int kNotExported = 719;
constexpr int kStopped = 720;
constexpr int kOpenFolder = 721;
constexpr int kUnavailable = 725;
constexpr int kMore = 726;
constexpr int kSaveTo = 198;
constexpr int kExport = 199;
constexpr int kProgress = 205;

constexpr int kPreviewLines = 4;

QString PathText(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

}  // namespace

CExportAudioDlg::CExportAudioDlg(std::vector<ExportItem> selected, std::vector<ExportItem> page,
                                 QStringList leftOut, DialogServices services, QWidget* parent)
    : QDialog(parent),
      selected_(std::move(selected)),
      page_(std::move(page)),
      leftOut_(std::move(leftOut)),
      services_(std::move(services)),
      worker_(this),
      format_(new QComboBox(this)),
      template_(new QLineEdit(this)),
      preview_(new QLabel(this)),
      selectedOnly_(new QRadioButton(this)),
      wholePage_(new QRadioButton(this)),
      existing_(new QComboBox(this)),
      folder_(new QLineEdit(this)),
      browse_(new QPushButton(QStringLiteral("..."), this)),
      bar_(new QProgressBar(this)),
      current_(new QLabel(this)),
      summary_(new QPlainTextEdit(this)),
      export_(new QPushButton(Lang(kExport), this)),
      openFolder_(new QPushButton(Lang(kOpenFolder), this)),
      close_(new QPushButton(Lang(kClose), this)) {
    setObjectName(QStringLiteral("exportAudioDlg"));
    setWindowTitle(Lang(kCaption));
    format_->setObjectName(QStringLiteral("format"));
    template_->setObjectName(QStringLiteral("template"));
    preview_->setObjectName(QStringLiteral("preview"));
    selectedOnly_->setObjectName(QStringLiteral("selectedCalls"));
    wholePage_->setObjectName(QStringLiteral("pageCalls"));
    existing_->setObjectName(QStringLiteral("existing"));
    folder_->setObjectName(QStringLiteral("folder"));
    browse_->setObjectName(QStringLiteral("browse"));
    bar_->setObjectName(QStringLiteral("progress"));
    summary_->setObjectName(QStringLiteral("summary"));
    export_->setObjectName(QStringLiteral("export"));
    openFolder_->setObjectName(QStringLiteral("openFolder"));
    close_->setObjectName(QStringLiteral("close"));

    int formatIndex = 0;
    for (const AudioFormat f : kAudioFormats) {
        format_->addItem(Lang(kFormatNames + formatIndex), QString::fromLatin1(AudioFormatName(f)));
        if (!AudioFormatAvailable(f)) {
            // Listed, but not chosen: the reason shows as its tooltip.
            format_->setItemData(formatIndex, Lang(kUnavailable), Qt::ToolTipRole);
            format_->setItemData(formatIndex, 0, Qt::UserRole - 1);
        }
        ++formatIndex;
    }
    const int stored = format_->findData(SettingText(ExportFormat()));
    format_->setCurrentIndex(stored >= 0 ? stored : 0);

    const QString storedTemplate = SettingText(ExportTemplate());
    template_->setText(storedTemplate.isEmpty() ? QString::fromLatin1(kDefaultNameTemplate)
                                                : storedTemplate);
    auto* fields = new QLabel(Lang(kFields), this);
    fields->setWordWrap(true);
    preview_->setTextFormat(Qt::PlainText);
    preview_->setWordWrap(true);
    preview_->setMinimumHeight(fontMetrics().lineSpacing() * (kPreviewLines + 1));
    preview_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    preview_->setFrameShape(QFrame::StyledPanel);

    selectedOnly_->setText(
        QStringLiteral("%1 (%2)").arg(Lang(kSelectedCalls)).arg(selected_.size()));
    wholePage_->setText(QStringLiteral("%1 (%2)").arg(Lang(kPageCalls)).arg(page_.size()));
    selectedOnly_->setEnabled(!selected_.empty());
    // A single selected row is mostly just the current one; two or more are a choice.
    (selected_.size() > 1 ? selectedOnly_ : wholePage_)->setChecked(true);

    existing_->addItem(Lang(kKeepBoth));
    existing_->addItem(Lang(kSkip));

    folder_->setText(StartFolder(SettingText(ExportPath())));
    bar_->setTextVisible(false);
    summary_->setReadOnly(true);
    summary_->setVisible(false);
    summary_->setMinimumHeight(90);
    openFolder_->setEnabled(false);

    auto* grid = new QGridLayout(this);
    int row = 0;
    grid->addWidget(new QLabel(Lang(kCalls), this), row, 0);
    auto* scope = new QHBoxLayout;
    scope->addWidget(selectedOnly_);
    scope->addWidget(wholePage_);
    scope->addStretch(1);
    grid->addLayout(scope, row++, 1, 1, 2);
    grid->addWidget(new QLabel(Lang(kFormat), this), row, 0);
    grid->addWidget(format_, row++, 1, 1, 2);
    grid->addWidget(new QLabel(Lang(kNames), this), row, 0);
    grid->addWidget(template_, row++, 1, 1, 2);
    grid->addWidget(fields, row++, 1, 1, 2);
    grid->addWidget(new QLabel(Lang(kPreview), this), row, 0, Qt::AlignTop);
    grid->addWidget(preview_, row++, 1, 1, 2);
    grid->addWidget(new QLabel(Lang(kExisting), this), row, 0);
    grid->addWidget(existing_, row++, 1, 1, 2);
    grid->addWidget(new QLabel(Lang(kSaveTo), this), row, 0);
    grid->addWidget(folder_, row, 1);
    browse_->setFixedWidth(32);
    grid->addWidget(browse_, row++, 2);
    grid->addWidget(new QLabel(Lang(kProgress), this), row, 0);
    grid->addWidget(bar_, row++, 1, 1, 2);
    grid->addWidget(current_, row++, 1, 1, 2);
    grid->addWidget(summary_, row++, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(openFolder_);
    buttons->addStretch(1);
    export_->setDefault(true);
    buttons->addWidget(export_);
    buttons->addWidget(close_);
    grid->addLayout(buttons, row, 0, 1, 3);
    setMinimumWidth(560);

    connect(format_, &QComboBox::currentIndexChanged, this, &CExportAudioDlg::UpdatePreview);
    connect(template_, &QLineEdit::textChanged, this, &CExportAudioDlg::UpdatePreview);
    connect(folder_, &QLineEdit::textChanged, this, &CExportAudioDlg::UpdatePreview);
    connect(wholePage_, &QRadioButton::toggled, this, &CExportAudioDlg::UpdatePreview);
    connect(browse_, &QPushButton::clicked, this, &CExportAudioDlg::OnBrowse);
    connect(export_, &QPushButton::clicked, this, &CExportAudioDlg::OnExport);
    connect(openFolder_, &QPushButton::clicked, this, &CExportAudioDlg::OnOpenFolder);
    connect(close_, &QPushButton::clicked, this, &CExportAudioDlg::reject);
    connect(&worker_, &DialogWorker::Finished, this, &CExportAudioDlg::OnFinished);
    connect(&worker_.Progress(), &WorkerProgress::Stepped, this, &CExportAudioDlg::OnStep);
    worker_.Progress().SetStepHook(services_.workerStep);
    UpdatePreview();
}

CExportAudioDlg::~CExportAudioDlg() {
    worker_.StopAndJoin();
}

const std::vector<ExportItem>& CExportAudioDlg::Items() const {
    return wholePage_->isChecked() ? page_ : selected_;
}

void CExportAudioDlg::SetFormat(AudioFormat format) {
    format_->setCurrentIndex(format_->findData(QString::fromLatin1(AudioFormatName(format))));
}
void CExportAudioDlg::SetTemplate(const QString& text) {
    template_->setText(text);
}
void CExportAudioDlg::SetFolder(const QString& folder) {
    folder_->setText(folder);
}
void CExportAudioDlg::SetWholePage(bool whole) {
    (whole ? wholePage_ : selectedOnly_)->setChecked(true);
}
void CExportAudioDlg::SetKeepBoth(bool keepBoth) {
    existing_->setCurrentIndex(keepBoth ? 0 : 1);
}
QString CExportAudioDlg::PreviewText() const {
    return preview_->text();
}
QString CExportAudioDlg::SummaryText() const {
    return summary_->toPlainText();
}
bool CExportAudioDlg::CanStart() const {
    return export_->isEnabled();
}

std::optional<BatchExportOptions> CExportAudioDlg::Options(QString* error) const {
    std::string why;
    const auto names = NameTemplate::Parse(template_->text().toStdString(), &why);
    if (!names) {
        if (error) *error = QString::fromStdString(why);
        return std::nullopt;
    }
    const auto format = AudioFormatByName(format_->currentData().toString().toStdString());
    if (!format || !AudioFormatAvailable(*format)) {
        if (error) *error = Lang(kUnavailable);
        return std::nullopt;
    }
    BatchExportOptions options;
    options.format = *format;
    options.folder = folder_->text().toStdString();
    options.names = *names;
    options.existing =
        existing_->currentIndex() == 0 ? ExistingFiles::KeepBoth : ExistingFiles::Skip;
    return options;
}

void CExportAudioDlg::UpdatePreview() {
    QString error;
    const auto options = Options(&error);
    const auto& items = Items();
    if (!options) {
        preview_->setText(error);
        export_->setEnabled(false);
        return;
    }
    // Names of the first calls only: the preview must not wait on a long page.
    std::vector<ExportItem> first(
        items.begin(), items.begin() + static_cast<std::ptrdiff_t>(
                                           std::min<std::size_t>(items.size(), kPreviewLines)));
    QStringList lines;
    for (const auto& p : PlanDestinations(first, *options))
        lines << PathText(p.lexically_relative(options->folder));
    if (items.size() > first.size())
        lines << QStringLiteral("… %1 %2").arg(items.size() - first.size()).arg(Lang(kMore));
    preview_->setText(lines.join(QLatin1Char('\n')));
    export_->setEnabled(!worker_.Running() && !items.empty() && !folder_->text().isEmpty());
}

void CExportAudioDlg::OnBrowse() {
    const auto picked =
        BrowseForFolder(services_.pickFolder, this, StartFolder(SettingText(ExportPath())));
    if (!picked) return;
    folder_->setText(*picked);
    ReportSettingsWrite(SetExportPath(picked->toStdString()), this);
}

void CExportAudioDlg::OnOpenFolder() {
    ShowInFolder(folder_->text());
}

void CExportAudioDlg::OnStep(int position, int range, const QString& text) {
    bar_->setRange(0, range);
    bar_->setValue(position);
    current_->setText(text);
}

void CExportAudioDlg::OnExport() {
    if (worker_.Running()) return;
    auto options = Options(nullptr);
    if (!options) return;
    // The choices are kept for the next export, whether or not it succeeds.
    ReportSettingsWrite(SetExportFormat(std::string(AudioFormatName(options->format))) &&
                            SetExportTemplate(template_->text().toStdString()),
                        this);
    std::error_code ec;
    std::filesystem::create_directories(options->folder, ec);
    export_->setEnabled(false);
    close_->setText(Lang(kStop));
    summary_->setVisible(false);
    result_ = {};
    const bool started = worker_.Start([this, items = Items(), options = *options](
                                           ProgressReporter& progress, std::stop_token stop) {
        auto result = ExportBatch(items, options, progress, std::move(stop));
        worker_.Post([this, r = std::move(result)]() mutable { result_ = std::move(r); });
    });
    if (!started) {
        export_->setEnabled(true);
        close_->setText(Lang(kClose));
    }
}

void CExportAudioDlg::OnFinished() {
    close_->setText(Lang(kClose));
    close_->setEnabled(true);
    current_->clear();
    QStringList lines;
    lines << QStringLiteral("%1 %2    %3 %4    %5 %6")
                 .arg(Lang(kWritten))
                 .arg(result_.Count(ExportStatus::Written))
                 .arg(Lang(kSkipped))
                 .arg(result_.Count(ExportStatus::Skipped))
                 .arg(Lang(kNotExported))
                 .arg(result_.Failed() + static_cast<std::size_t>(leftOut_.size()));
    if (result_.stopped) lines << Lang(kStopped);
    for (const auto& o : result_.outcomes) {
        if (o.result.Ok() || o.result.status == ExportStatus::Skipped) continue;
        lines << QStringLiteral("%1: %2").arg(PathText(o.source),
                                              QString::fromStdString(o.result.reason));
    }
    lines << leftOut_;
    summary_->setPlainText(lines.join(QLatin1Char('\n')));
    std::vector<std::string> exported;
    for (const auto& o : result_.outcomes)
        if (o.result.status == ExportStatus::Written)
            exported.push_back(o.source.string() + " -> " + o.destination.string());
    if (!exported.empty()) LogUserAction(this, "exported audio", exported, {});
    summary_->setVisible(true);
    openFolder_->setEnabled(result_.Count(ExportStatus::Written) > 0);
    UpdatePreview();
    emit ExportFinished();
}

void CExportAudioDlg::done(int result) {
    if (worker_.Running()) {
        // Close means Stop while the export runs; the window stays for the summary.
        worker_.RequestStop();
        close_->setEnabled(false);
        return;
    }
    QDialog::done(result);
}

}  // namespace lk::gui
