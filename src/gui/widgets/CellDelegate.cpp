#include "widgets/CellDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

namespace lk::gui {

void CellDelegate::SetColumnElide(int column, Qt::TextElideMode mode) {
    if (column < 0) return;
    if (elide_.size() <= column) elide_.resize(column + 1, -1);
    elide_[column] = mode;
}

Qt::TextElideMode CellDelegate::ColumnElide(int column) const {
    return column >= 0 && column < elide_.size() && elide_[column] >= 0
               ? static_cast<Qt::TextElideMode>(elide_[column])
               : Qt::ElideRight;
}

void CellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const int c = index.column();
    if (c >= 0 && c < elide_.size() && elide_[c] >= 0)
        option->textElideMode = static_cast<Qt::TextElideMode>(elide_[c]);
}

bool CellDelegate::TextIsCut(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if (opt.text.isEmpty()) return false;
    const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
    // The style keeps a small margin on either side of the text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
    return opt.fontMetrics.horizontalAdvance(opt.text) > textRect.width() - 2 * margin;
}

bool CellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                             const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (!event || !view || event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    if (!TextIsCut(option, index)) {
        QToolTip::hideText();
        event->ignore();
        return false;
    }
    QToolTip::showText(event->globalPos(), index.data(Qt::DisplayRole).toString(), view,
                       option.rect);
    return true;
}

}  // namespace lk::gui
