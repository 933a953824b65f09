#include "dialogs/ProgressDialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace lk::gui {

ProgressDialog::ProgressDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      text_(new QLabel(this)),
      bar_(new QProgressBar(this)) {
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    text_->setAlignment(Qt::AlignCenter);
    text_->setMinimumWidth(360);
    bar_->setTextVisible(false);
    layout->addWidget(text_);
    layout->addWidget(bar_);
    hide();
}

void ProgressDialog::SetRange(int maximum) {
    bar_->setRange(0, std::max(0, maximum));
}
void ProgressDialog::SetPos(int value) {
    bar_->setValue(value);
}
void ProgressDialog::SetText(const QString& text) {
    text_->setText(text);
}
QString ProgressDialog::Text() const {
    return text_->text();
}
int ProgressDialog::Pos() const {
    return bar_->value();
}
int ProgressDialog::Maximum() const {
    return bar_->maximum();
}

void ProgressDialog::ShowCentered() {
    adjustSize();
    if (QWidget* p = parentWidget()) {
        const QPoint c = p->mapToGlobal(p->rect().center());
        move(c - QPoint(width() / 2, height() / 2));
    }
    show();
}

}  // namespace lk::gui
