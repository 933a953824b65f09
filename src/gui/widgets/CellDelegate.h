#pragma once
// Draws the list's cells with a per-column elide mode (a path keeps its file
// name visible) and shows a cell's whole text as its tooltip when the cell
// cuts it, and only then.

#include <QStyledItemDelegate>
#include <QVector>

namespace lk::gui {

class CellDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void SetColumnElide(int column, Qt::TextElideMode mode);
    Qt::TextElideMode ColumnElide(int column) const;

    // Whether the cell's text is wider than the room its cell leaves for it.
    bool TextIsCut(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

  private:
    QVector<int> elide_;  // Qt::TextElideMode by column; -1: the view's mode
};

}  // namespace lk::gui
