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
    // Texts joined the Windows way would show a stray character per line.
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (Hook()) return Hook()(parent, plain, caption, icon, buttons);
    QMessageBox box(icon, caption, plain, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace lk::gui
