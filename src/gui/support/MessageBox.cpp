#include "support/MessageBox.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

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

bool ShowReport(QWidget* parent, const QString& text, const QString& caption,
                QMessageBox::Icon icon, const QString& details, const QString& offer) {
    if (Hook()) {
        const QMessageBox::StandardButtons buttons =
            offer.isEmpty() ? QMessageBox::Ok : QMessageBox::Ok | QMessageBox::Apply;
        return Hook()(parent, details.isEmpty() ? text : text + QStringLiteral("\n\n") + details,
                      caption, icon, buttons) == QMessageBox::Apply &&
               !offer.isEmpty();
    }
    QDialog box(parent);
    box.setObjectName(QStringLiteral("reportBox"));
    box.setWindowTitle(caption);
    auto* column = new QVBoxLayout(&box);
    auto* top = new QHBoxLayout;
    const QStyle::StandardPixmap pixmap =
        icon == QMessageBox::Critical  ? QStyle::SP_MessageBoxCritical
        : icon == QMessageBox::Warning ? QStyle::SP_MessageBoxWarning
                                       : QStyle::SP_MessageBoxInformation;
    auto* picture = new QLabel(&box);
    const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    picture->setPixmap(box.style()->standardIcon(pixmap, nullptr, &box).pixmap(side, side));
    picture->setAlignment(Qt::AlignTop);
    top->addWidget(picture);
    auto* label = new QLabel(text, &box);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(label, 1);
    column->addLayout(top);
    if (!details.isEmpty()) {
        // However many failed, the list scrolls rather than growing the box off the screen.
        auto* list = new QPlainTextEdit(details, &box);
        list->setObjectName(QStringLiteral("reportDetails"));
        list->setReadOnly(true);
        list->setLineWrapMode(QPlainTextEdit::NoWrap);
        list->setMinimumSize(420, 140);
        column->addWidget(list, 1);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    constexpr int kOffered = 2;
    if (!offer.isEmpty()) {
        QPushButton* extra = buttons->addButton(offer, QDialogButtonBox::ActionRole);
        QObject::connect(extra, &QPushButton::clicked, &box, [&box] { box.done(kOffered); });
    }
    column->addWidget(buttons);
    buttons->button(QDialogButtonBox::Ok)->setFocus();
    return box.exec() == kOffered;
}

}  // namespace lk::gui
