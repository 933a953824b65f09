#pragma once
// A report list whose rows carry a borrowed record pointer and per-cell
// colours. A row keeps no texts of its own: a row source makes the cells of a
// record's row when they are shown or sorted, so a list of 100,000 records
// costs little more than its pointers. Cells set by hand (rows without a
// record, a changed cell) are kept with the row and win over the source.
// Sorted by the rules of SortKey when a header is clicked; rows move with
// their data, colours and selection.

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <QTableView>
#include <QVector>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "support/FindQuery.h"
#include "widgets/SortKey.h"

namespace lk {
struct CallRecord;
}

class QMimeData;
class QPushButton;

namespace lk::gui {

struct CellColours {
    QVector<QColor> text;        // invalid colour: the default
    QVector<QColor> background;  // invalid colour: the default
};

// What a row holds beyond its record: cells set by hand and colours. Few rows
// have any, so it is kept apart.
struct RowExtras {
    static constexpr qint8 kSourceImage = -2;
    QVector<std::optional<QString>> texts;  // empty: the source's text
    QVector<qint8> images;                  // kSourceImage: the source's; -1: none
    CellColours colours;
};

struct ListRow {
    CallRecord* data = nullptr;
    // Facts the row source found out at a cost (a file it had to open), in
    // its own encoding; 0 until it has. Painting then opens nothing twice.
    mutable std::uint32_t facts = 0;
    // Where the row's find text lies in the model's buffer; made once, when
    // first looked in.
    static constexpr std::uint32_t kNoFindText = 0xffffffffu;
    mutable std::uint32_t findAt = 0;
    mutable std::uint32_t findSize = kNoFindText;
    std::unique_ptr<RowExtras> extras;
};

// Makes the cells of rows that carry a record. Called on the UI thread only.
class RowSource {
  public:
    virtual ~RowSource() = default;
    [[nodiscard]] virtual QString Text(const ListRow& row, int column) const = 0;
    [[nodiscard]] virtual int Image(const ListRow& row, int column) const = 0;
    // Text() added to the end of `out`: a sort makes the texts of every row
    // into one buffer, and a source can write them there without a string
    // of its own per row.
    virtual void AppendText(const ListRow& row, int column, std::u16string& out) const {
        const QString text = Text(row, column);
        out.append(reinterpret_cast<const char16_t*>(text.utf16()),
                   static_cast<std::size_t>(text.size()));
    }
    // A point in time the column orders the row by (dates it formats), on
    // the axis of TimeAxisMsecs; none: the cell's text decides. Two rows with
    // times compare by them, others by their texts as parsed.
    [[nodiscard]] virtual std::optional<std::int64_t> TimeOf(const ListRow& row,
                                                             int column) const = 0;
    // Where a column shows only icons, the order of what they mean (lower
    // first when ascending); none: the column's text decides.
    [[nodiscard]] virtual std::optional<int> RankOf(const ListRow& /*row*/, int /*column*/) const {
        return std::nullopt;
    }
    // Asks for the memory that the column's cell of the row reads, some rows
    // before it is made: the records lie all over the heap and, read one by
    // one, each would wait for its own. Asked twice per row: far ahead for
    // the record (`texts` false), nearer for the texts it points to.
    virtual void Prefetch(const ListRow& /*row*/, int /*column*/, bool /*texts*/) const {}
    // Called before a column's keys are made, to learn at once what the keys
    // of many rows need (cheaper than row by row).
    virtual void Prepare(const std::vector<ListRow>& /*rows*/, int /*column*/) const {}
    // What the find box looks in for the row, added to `out` folded (by
    // AppendFolded), fields apart by a line break so that no word spans two.
    virtual void AppendFindText(const ListRow& /*row*/, std::u16string& /*out*/) const {}
};

class CellDelegate;

class SortListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit SortListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    // Rows may be dragged out when the list allows it (CSortListCtrl::SetDragData).
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Every row, shown or not. Row numbers elsewhere count the rows shown.
    const std::vector<ListRow>& Rows() const { return rows_; }
    const ListRow& RowAt(int row) const { return rows_[At(row)]; }
    int TotalRowCount() const { return static_cast<int>(rows_.size()); }

    // Shows only the rows whose find text holds every word of `query`; an
    // empty query shows them all. A query that narrows the last one looks
    // among the rows it showed only. Rows added later are shown when they
    // match. The view is reset: the caller keeps its selection.
    void SetFind(const FindQuery& query);
    const FindQuery& Find() const { return find_; }
    bool Filtered() const { return filtered_; }
    // Makes the find texts of all rows now (before the first key is typed).
    void PrepareFind();
    // What rows are found by changed (a note was written): texts made anew.
    void ForgetFindTexts();
    const QVector<QString>& Headings() const { return headings_; }
    void SetImages(QVector<QIcon> images) { images_ = std::move(images); }
    const QVector<QIcon>& Images() const { return images_; }
    // What a screen reader says for a cell that shows only image i.
    void SetImageTexts(QVector<QString> texts) { imageTexts_ = std::move(texts); }
    void SetSource(std::shared_ptr<const RowSource> source);
    // The source now makes other cells (new labels): repaint and sort afresh.
    void SourceChanged();
    // Files may have come or gone: what the source found out is asked again.
    void ForgetFacts();

    // A cell as shown: the text or image set by hand, else the source's.
    QString CellText(int row, int column) const;
    int CellImage(int row, int column) const;
    void SetCellText(int row, int column, const QString& text);
    void SetCellImage(int row, int column, int image);
    void SetRowData(int row, CallRecord* record);
    // Room for the row's hand-set cells and colours, made on first use.
    RowExtras& ExtrasOf(int row);

    void InsertColumnAt(int index, const QString& heading);
    void SetHeading(int column, const QString& heading);
    void InsertRows(int index, std::vector<ListRow>&& rows);
    void RemoveRowAt(int row);
    void RemoveRowsWhere(const std::function<bool(const ListRow&)>& pred);
    int Clear();
    void RowChanged(int row);
    // The keys of a column in row order. Made once per row and kept (moving
    // with the rows) until rows come or go or a cell of the column changes.
    const std::vector<SortKey>& SortKeys(int column);
    // The column whose keys are kept, or -1.
    int KeyedColumn() const { return keyedColumn_; }
    // One row's key of a column, made as SortKeys makes it.
    SortKey KeyOf(int row, int column) const;
    // Puts the rows into the order of `order` (new row i = old row order[i]).
    void Permute(const std::vector<int>& order);
    // Changes whenever existing rows move or go, so that a caller holding row
    // numbers across an event loop can tell they are stale.
    quint64 Generation() const { return generation_; }

  signals:
    // The rows shown or the number of all rows changed without rows coming
    // or going from view (a find, rows added out of view).
    void FindChanged();

  private:
    // A row as shown to its index in rows_.
    std::size_t At(int row) const {
        return filtered_ ? static_cast<std::size_t>(shown_[static_cast<std::size_t>(row)])
                         : static_cast<std::size_t>(row);
    }
    std::u16string_view FindText(const ListRow& row) const;
    bool Found(const ListRow& row, const FindQuery& query) const {
        return query.Matches(FindText(row));
    }
    void RemoveFoundRowsWhere(const std::function<bool(const ListRow&)>& pred);

    bool Valid(int row, int column) const;
    void DropKeys(int column = -1);
    // The roles that serve assistive technology rather than the painting.
    QVariant AccessibleData(int row, int column, int role) const;

    std::vector<ListRow> rows_;
    QVector<QString> headings_;
    QVector<QIcon> images_;
    QVector<QString> imageTexts_;
    std::shared_ptr<const RowSource> source_;
    int keyedColumn_ = -1;
    std::vector<SortKey> keys_;
    std::u16string keyTexts_;  // the texts keys_ view, each ended by a zero
    quint64 generation_ = 0;
    // While a find is set: the rows shown, as indexes into rows_ in
    // ascending order.
    bool filtered_ = false;
    FindQuery find_;
    std::vector<int> shown_;
    mutable std::u16string findTexts_;  // every row's find text, back to back
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
    // Appends one row per record in one step (the pane fill's fast path).
    void AppendRecords(const std::vector<CallRecord*>& records);
    int RowCount() const;
    void SetCellText(int row, int column, const QString& text);
    QString CellText(int row, int column) const;
    void SetCellImage(int row, int column, int image);
    int CellImage(int row, int column) const;
    void SetRowData(int row, CallRecord* record);
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
    // The row in view holding the record, or -1 (also when a find hides it).
    int FindRow(const CallRecord* data) const;
    // Whether any row holds the record, shown or hidden by a find.
    bool HoldsRecord(const CallRecord* data) const;

    // Find as you type: shows only the rows whose find text (RowSource::
    // AppendFindText) holds every typed word, in any order, case and accents
    // ignored; "" shows all rows again. Row numbers of every other call count
    // the rows shown. The selected rows still shown stay selected.
    void SetFindText(const QString& typed);
    bool Filtered() const { return model_->Filtered(); }
    // All rows, shown or not (RowCount() counts those shown).
    int TotalRowCount() const { return model_->TotalRowCount(); }

    // Selection, in top-to-bottom order.
    std::vector<int> SelectedRows() const;
    int SelectedCount() const;
    void SelectRow(int row, bool addToSelection = false);

    // Images by index, as the panes and the tree number them.
    void SetImageList(QVector<QIcon> images);
    // Texts that stand for the images where a cell has no text of its own.
    void SetImageTexts(QVector<QString> texts);

    // How a column's text is shortened when its cell is too narrow.
    void SetColumnElide(int column, Qt::TextElideMode mode);
    bool CellTextIsCut(int row, int column) const;

    // A text drawn over the list while it has no rows, with an optional
    // button under it.
    void SetPlaceholder(const QString& text, const QString& buttonText = {},
                        std::function<void()> onButton = {});
    QString PlaceholderText() const { return placeholder_; }
    QPushButton* PlaceholderButton() const { return placeholderButton_; }

    // Sorting
    void SortByColumn(int column, bool ascending);
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }
    void SetSortable(bool on) { sortable_ = on; }
    // The order rows arrive in (the newest first, say), shown by the header's
    // arrow until a header click sorts them, and again once the rows are
    // replaced by new ones in that order.
    void SetNaturalOrder(int column, Qt::SortOrder order);
    // Where the cells of rows with a record come from.
    void SetRowSource(std::shared_ptr<const RowSource> source);
    // Repaints every row after the source changed what it makes.
    void RowSourceChanged();
    // Repaints every row after files changed on disk (a backup moved them).
    void RecheckFiles();
    // Repaints a row whose record changed.
    void RefreshRow(int row);

    SortListModel* Model() const { return model_; }

    // Dragging rows out: `make` gives the drag data of the rows (null: no
    // drag). Without it the rows cannot be dragged.
    void SetDragData(std::function<QMimeData*(const std::vector<int>& rows)> make);
    // The drag data of the selected rows, as a drag would hand it over.
    QMimeData* SelectedRowsDragData() const;

  signals:
    void RowDoubleClicked(int row);
    void CellLeftClicked(int row, int column);
    void ContextMenuRequested(const QPoint& globalPos);

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void startDrag(Qt::DropActions supportedActions) override;

  private:
    void OnHeaderClicked(int column);
    void OnRowsChanged();
    void ShowNaturalOrder();
    // Takes the header's arrow away when rows between `first` and `last`
    // (and their neighbours) are out of the order it shows.
    void CheckSortMark(int first, int last);
    QPoint KeyboardMenuPos() const;

    SortListModel* model_;
    CellDelegate* delegate_;
    QString placeholder_;
    std::function<QMimeData*(const std::vector<int>& rows)> dragData_;
    QPushButton* placeholderButton_ = nullptr;
    std::function<void()> onPlaceholderButton_;
    int sortColumn_ = -1;
    bool ascending_ = true;
    bool sorting_ = false;
    bool sortable_ = true;
    int naturalColumn_ = -1;
    Qt::SortOrder naturalOrder_ = Qt::AscendingOrder;
};

}  // namespace lk::gui
