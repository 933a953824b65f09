#include "dialogs/CImportDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

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
}

CImportDlg::~CImportDlg() {
    worker_.StopAndJoin();
}

bool CImportDlg::StartImport() {
    const auto hook = services_.workerStep;
    ProgressSink sink;
    sink.begin = [this](int, int range) {
        QMetaObject::invokeMethod(
            this, [this, range] { bar_->setRange(0, std::max(0, range)); }, Qt::QueuedConnection);
    };
    sink.step = [this, hook](int position, int range, const std::string& text) {
        if (position % 32 == 0 || position == range)
            QMetaObject::invokeMethod(
                this,
                [this, position, t = QString::fromStdString(text)] {
                    bar_->setValue(position);
                    if (!t.isEmpty()) text_->setText(t);
                },
                Qt::QueuedConnection);
        if (hook) hook();
    };
    return worker_.Start([this, sink] {
        result_ = ImportFolder(folder_, records_, contacts_, sink, worker_.StopFlag());
    });
}

void CImportDlg::OnFinished() {
    emit ImportFinished();
    const int r = stopping_ ? pendingResult_ : Accepted;
    stopping_ = false;
    done(r);
}

void CImportDlg::done(int result) {
    if (worker_.Running()) {
        worker_.RequestStop();
        stopping_ = true;
        pendingResult_ = result;
        cancel_->setEnabled(false);
        return;
    }
    QDialog::done(result);
}

}  // namespace lk::gui
