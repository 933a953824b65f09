#pragma once
// A report list whose rows carry a borrowed record pointer, per-cell images
// and per-cell text and background colours, sorted by the rules of SortKey
// when a header is clicked. Rows move with their data, colours and selection.

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <QTableView>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "widgets/SortKey.h"

namespace lk {
struct CallRecord;
}

namespace lk::gui {

struct CellColours {
    QVector<QColor> text;        // invalid colour: the default
    QVector<QColor> background;  // invalid colour: the default
};

// One row: texts and images share storage between copies (implicit sharing),
// so the same record shown in several panes costs little.
struct ListRow {
    CallRecord* data = nullptr;
    QVector<QString> texts;
    QVector<qint8> images;  // -1: no image
    std::shared_ptr<CellColours> colours;
};

class SortListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit SortListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    std::vector<ListRow>& Rows() { return rows_; }
    const std::vector<ListRow>& Rows() const { return rows_; }
    QVector<QString>& Headings() { return headings_; }
    void SetImages(QVector<QIcon> images) { images_ = std::move(images); }
    const QVector<QIcon>& Images() const { return images_; }

    void InsertColumnAt(int index, const QString& heading);
    void SetHeading(int column, const QString& heading);
    void InsertRows(int index, std::vector<ListRow>&& rows);
    void RemoveRowAt(int row);
    void RemoveRowsWhere(const std::function<bool(const ListRow&)>& pred);
    int Clear();
    void CellChanged(int row, int column);
    void RowChanged(int row);
    // Puts the rows into the order of `order` (new row i = old row order[i]).
    void Permute(const std::vector<int>& order);
    // Changes whenever existing rows move or go, so that a caller holding row
    // numbers across an event loop can tell they are stale.
    quint64 Generation() const { return generation_; }

  private:
    std::vector<ListRow> rows_;
    QVector<QString> headings_;
    QVector<QIcon> images_;
    quint64 generation_ = 0;
};

class CSortListCtrl : public QTableView {
    Q_OBJECT
  public:
    explicit CSortListCtrl(QWidget* parent = nullptr);

    // Columns
    int InsertColumn(int index, const QString& heading, int width);
    int ColumnCount() const;
    QString ColumnHeading(int column) const;
    void SetColumnHeading(int column, const QString& heading);
    // A negative width fits the column to its heading and the first rows only.
    void SetColumnWidthOrFit(int column, int width);

    // Rows
    int InsertRow(int index, const QString& text, int image);
    // Appends prepared rows in one step (the pane fill's fast path).
    void AppendRows(std::vector<ListRow>&& rows);
    int RowCount() const;
    void SetCellText(int row, int column, const QString& text);
    QString CellText(int row, int column) const;
    void SetCellImage(int row, int column, int image);
    int CellImage(int row, int column) const;
    void SetRowData(int row, CallRecord* data);
    CallRecord* RowData(int row) const;
    // Column outside the columns: every cell of the row; row outside the rows:
    // that cell (or every cell) of every row.
    void SetRowBackground(int row, int column, const QColor& colour, bool redraw = true);
    void SetCellTextColour(int row, int column, const QColor& colour);
    QColor CellBackground(int row, int column) const;
    void DeleteRow(int row, bool selectNext);
    int DeleteAllRows();
    // Removes every row whose record is in `records`; returns how many went.
    int DeleteRowsOf(const std::unordered_set<const CallRecord*>& records);
    int FindRow(const CallRecord* data) const;

    // Selection, in top-to-bottom order.
    std::vector<int> SelectedRows() const;
    int SelectedCount() const;
    void SelectRow(int row, bool addToSelection = false);

    // Images by index, as the panes and the tree number them.
    void SetImageList(QVector<QIcon> images);

    // Sorting
    void SortByColumn(int column, bool ascending);
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }
    void SetSortable(bool on) { sortable_ = on; }
    // Lets the owner give keys it knows better than the text (dates it formatted).
    using KeyProvider = std::function<std::optional<SortKey>(const ListRow&, int column)>;
    void SetKeyProvider(KeyProvider provider) { keyProvider_ = std::move(provider); }

    SortListModel* Model() const { return model_; }

  signals:
    void RowDoubleClicked(int row);
    void CellLeftClicked(int row, int column);
    void ContextMenuRequested(const QPoint& globalPos);

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

  private:
    void OnHeaderClicked(int column);

    SortListModel* model_;
    int sortColumn_ = -1;
    bool ascending_ = true;
    bool sorting_ = false;
    bool sortable_ = true;
    KeyProvider keyProvider_;
};

}  // namespace lk::gui
