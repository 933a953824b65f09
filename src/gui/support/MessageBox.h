#pragma once
// Message boxes of the window go through here, so that tests can answer them.

#include <QMessageBox>
#include <functional>

namespace lk::gui {

using MessageHook = std::function<QMessageBox::StandardButton(
    QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon,
    QMessageBox::StandardButtons buttons)>;

// An empty hook restores the real message boxes.
void SetMessageHook(MessageHook hook);

QMessageBox::StandardButton ShowMessage(QWidget* parent, const QString& text,
                                        const QString& caption, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

}  // namespace lk::gui
