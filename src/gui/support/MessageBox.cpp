#include "support/MessageBox.h"

namespace lk::gui {
namespace {
MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}
}  // namespace

void SetMessageHook(MessageHook hook) {
    Hook() = std::move(hook);
}

QMessageBox::StandardButton ShowMessage(QWidget* parent, const QString& text,
                                        const QString& caption, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons) {
    if (Hook()) return Hook()(parent, text, caption, icon, buttons);
    QMessageBox box(icon, caption, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace lk::gui
