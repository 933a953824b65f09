#include "dialogs/CImportDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "support/GuiText.h"

namespace lk::gui {

CImportDlg::CImportDlg(std::filesystem::path folder, ContactList contacts, DialogServices services,
                       QWidget* parent)
    : QDialog(parent),
      folder_(std::move(folder)),
      contacts_(std::move(contacts)),
      services_(std::move(services)),
      worker_(this),
      text_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      cancel_(new QPushButton(Lang(139), this)) {
    setObjectName(QStringLiteral("importDlg"));
    setWindowTitle(Lang(216));
    text_->setObjectName(QStringLiteral("text"));
    bar_->setObjectName(QStringLiteral("progress"));
    cancel_->setObjectName(QStringLiteral("cancel"));
    auto* top = new QVBoxLayout(this);
    text_->setMinimumWidth(420);
    text_->setText(QString::fromStdString(folder_.string()));
    top->addWidget(text_);
    bar_->setTextVisible(false);
    bar_->setRange(0, 0);
    top->addWidget(bar_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
    top->addWidget(buttons);
    connect(cancel_, &QPushButton::clicked, this, &CImportDlg::reject);
    connect(&worker_, &DialogWorker::Finished, this, &CImportDlg::OnFinished);
    connect(&worker_.Progress(), &WorkerProgress::Began, this,
            [this](int total) { bar_->setRange(0, std::max(0, total)); });
    connect(&worker_.Progress(), &WorkerProgress::Stepped, this,
            [this](int done, int, const QString& text) {
                bar_->setValue(done);
                if (!text.isEmpty()) text_->setText(text);
            });
    worker_.Progress().SetStepEvery(32);
    worker_.Progress().SetStepHook(services_.workerStep);
}

CImportDlg::~CImportDlg() {
    worker_.StopAndJoin();
}

bool CImportDlg::StartImport() {
    return worker_.Start([this](ProgressReporter& progress, std::stop_token stop) {
        result_ = ImportFolder(folder_, records_, contacts_, progress, stop);
    });
}

void CImportDlg::OnFinished() {
    emit ImportFinished();
    if (!worker_.ClosePending()) done(Accepted);
}

void CImportDlg::done(int result) {
    if (worker_.StopThen([this, result] { done(result); })) {
        cancel_->setEnabled(false);
        return;
    }
    QDialog::done(result);
}

}  // namespace lk::gui
