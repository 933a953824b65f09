#include "widgets/FindBox.h"

#include <QKeyEvent>

namespace lk::gui {

FindBox::FindBox(QWidget* parent) : QLineEdit(parent) {
    setClearButtonEnabled(true);
    // Room for a name and a number, not more: the toolbar's buttons come first.
    setMinimumWidth(fontMetrics().averageCharWidth() * 16);
    setMaximumWidth(fontMetrics().averageCharWidth() * 32);
}

bool FindBox::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride) {
        const auto* k = static_cast<QKeyEvent*>(e);
        const bool ctrlArrow = k->modifiers() == Qt::ControlModifier &&
                               (k->key() == Qt::Key_Left || k->key() == Qt::Key_Right);
        if (k->key() == Qt::Key_Escape || ctrlArrow) {
            e->accept();
            return true;
        }
    }
    return QLineEdit::event(e);
}

void FindBox::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    emit Entered();
}

void FindBox::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        clear();
        emit Left();
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

}  // namespace lk::gui
