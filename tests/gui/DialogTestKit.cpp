#include "DialogTestKit.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

namespace lk::gui::test {

std::vector<std::string> WithModals(const std::function<void()>& command,
                                    const std::function<void(QDialog*)>& act) {
    std::vector<std::string> seen;
    std::vector<QPointer<QDialog>> handled;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dlg) return;
        for (const auto& h : handled)
            if (h == dlg) return;
        handled.emplace_back(dlg);
        seen.push_back(dlg->objectName().toStdString());
        // A nested modal loop inside the act must not run inside this slot.
        QTimer::singleShot(0, dlg, [dlg, &act] { act(dlg); });
    });
    poll.start();
    command();
    poll.stop();
    return seen;
}

}  // namespace lk::gui::test
