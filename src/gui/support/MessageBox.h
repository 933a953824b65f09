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

// The closing summary of a long piece of work: a short text and, when there
// is any, a list (of failures, say) in a scrollable box under it. The hook
// gets the text and the list joined by an empty line. A non-empty `offer` is
// a second button (to the hook: Apply beside Ok); true when it was chosen.
bool ShowReport(QWidget* parent, const QString& text, const QString& caption,
                QMessageBox::Icon icon, const QString& details = {}, const QString& offer = {});

}  // namespace lk::gui
