#include "widgets/CSortListCtrl.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>

#include <algorithm>
#include <numeric>
#include "widgets/CellDelegate.h"

namespace lk::gui {

// ---------------------------------------------------------------- model

int SortListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SortListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headings_.size());
}

QVariant SortListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto r = static_cast<std::size_t>(index.row());
    const int c = index.column();
    if (r >= rows_.size()) return {};
    const ListRow& row = rows_[r];
    switch (role) {
        case Qt::DisplayRole:
            return c < row.texts.size() ? row.texts[c] : QString();
        case Qt::DecorationRole: {
            const int img = c < row.images.size() ? row.images[c] : -1;
            if (img >= 0 && img < images_.size()) return images_[img];
            return {};
        }
        case Qt::ForegroundRole:
            if (row.colours && c < row.colours->text.size() && row.colours->text[c].isValid())
                return row.colours->text[c];
            return {};
        case Qt::BackgroundRole:
            if (row.colours && c < row.colours->background.size() &&
                row.colours->background[c].isValid())
                return row.colours->background[c];
            return {};
        case Qt::AccessibleTextRole:
        case Qt::AccessibleDescriptionRole:
            return AccessibleData(row, c, role);
        default:
            return {};
    }
}

QVariant SortListModel::AccessibleData(const ListRow& row, int column, int role) const {
    const QString text = column < row.texts.size() ? row.texts[column] : QString();
    if (role == Qt::AccessibleDescriptionRole)
        return column < headings_.size() ? headings_[column] : QString();
    if (!text.isEmpty()) return text;
    // An icon-only cell says what its icon means; an empty one says nothing.
    const int img = column < row.images.size() ? row.images[column] : -1;
    return img >= 0 && img < imageTexts_.size() ? imageTexts_[img] : QString();
}

QVariant SortListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < headings_.size())
        return headings_[section];
    if (o == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return QAbstractTableModel::headerData(section, o, role);
}

void SortListModel::InsertColumnAt(int index, const QString& heading) {
    index = std::clamp(index, 0, static_cast<int>(headings_.size()));
    beginInsertColumns({}, index, index);
    headings_.insert(index, heading);
    endInsertColumns();
}

void SortListModel::SetHeading(int column, const QString& heading) {
    if (column < 0 || column >= headings_.size()) return;
    headings_[column] = heading;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void SortListModel::InsertRows(int index, std::vector<ListRow>&& rows) {
    if (rows.empty()) return;
    index = std::clamp(index, 0, static_cast<int>(rows_.size()));
    beginInsertRows({}, index, index + static_cast<int>(rows.size()) - 1);
    rows_.insert(rows_.begin() + index, std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    endInsertRows();
}

void SortListModel::RemoveRowAt(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    ++generation_;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void SortListModel::RemoveRowsWhere(const std::function<bool(const ListRow&)>& pred) {
    // Remove runs from the bottom up so that the indexes above stay valid.
    int r = static_cast<int>(rows_.size()) - 1;
    while (r >= 0) {
        if (!pred(rows_[static_cast<std::size_t>(r)])) {
            --r;
            continue;
        }
        ++generation_;
        int first = r;
        while (first > 0 && pred(rows_[static_cast<std::size_t>(first - 1)]))
            --first;
        beginRemoveRows({}, first, r);
        rows_.erase(rows_.begin() + first, rows_.begin() + r + 1);
        endRemoveRows();
        r = first - 1;
    }
}

int SortListModel::Clear() {
    const int n = static_cast<int>(rows_.size());
    if (n == 0) return 0;
    ++generation_;
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    endResetModel();
    return n;
}

void SortListModel::CellChanged(int row, int column) {
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i);
}

void SortListModel::RowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
}

void SortListModel::Permute(const std::vector<int>& order) {
    ++generation_;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<ListRow> sorted;
    sorted.reserve(rows_.size());
    std::vector<int> newRowOf(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(rows_[static_cast<std::size_t>(order[i])]));
        newRowOf[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
    }
    rows_ = std::move(sorted);
    // Selection and focus follow their rows.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& p : from) {
        const auto oldRow = static_cast<std::size_t>(p.row());
        to.append(oldRow < newRowOf.size() ? index(newRowOf[oldRow], p.column()) : QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---------------------------------------------------------------- control

CSortListCtrl::CSortListCtrl(QWidget* parent)
    : QTableView(parent), model_(new SortListModel(this)), delegate_(new CellDelegate(this)) {
    setModel(model_);
    setItemDelegate(delegate_);
    // Tab moves on to the next control instead of from cell to cell.
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setIconSize(QSize(16, 16));
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    // Uniform rows: the view never measures rows one by one.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(20, fontMetrics().height() + 6));
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The last column takes what the window has to spare.
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setMinimumSectionSize(0);
    setSortingEnabled(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            &CSortListCtrl::OnHeaderClicked);
    connect(model_, &QAbstractItemModel::rowsInserted, this, &CSortListCtrl::OnRowsChanged);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &CSortListCtrl::OnRowsChanged);
    connect(model_, &QAbstractItemModel::modelReset, this, &CSortListCtrl::OnRowsChanged);
    // Emptied, the list is refilled in its natural order, whatever the last sort was.
    connect(model_, &QAbstractItemModel::modelReset, this, &CSortListCtrl::ShowNaturalOrder);
}

void CSortListCtrl::SetNaturalOrder(int column, Qt::SortOrder order) {
    naturalColumn_ = column;
    naturalOrder_ = order;
    ShowNaturalOrder();
}

void CSortListCtrl::ShowNaturalOrder() {
    QHeaderView* h = horizontalHeader();
    h->setSortIndicatorShown(naturalColumn_ >= 0);
    if (naturalColumn_ >= 0) h->setSortIndicator(naturalColumn_, naturalOrder_);
}

void CSortListCtrl::OnRowsChanged() {
    // Assistive technology asks for the cell of the current index; a list
    // with rows always has one, so that it never asks for a cell at (-1, -1).
    if (RowCount() > 0 && !currentIndex().isValid())
        selectionModel()->setCurrentIndex(model_->index(0, 0), QItemSelectionModel::NoUpdate);
    if (placeholderButton_) placeholderButton_->setVisible(RowCount() == 0);
    viewport()->update();
}

void CSortListCtrl::SetImageTexts(QVector<QString> texts) {
    model_->SetImageTexts(std::move(texts));
}

void CSortListCtrl::SetColumnElide(int column, Qt::TextElideMode mode) {
    delegate_->SetColumnElide(column, mode);
    viewport()->update();
}

bool CSortListCtrl::CellTextIsCut(int row, int column) const {
    const QModelIndex i = model_->index(row, column);
    if (!i.isValid()) return false;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(i);
    return delegate_->TextIsCut(option, i);
}

void CSortListCtrl::SetPlaceholder(const QString& text, const QString& buttonText,
                                   std::function<void()> onButton) {
    placeholder_ = text;
    onPlaceholderButton_ = std::move(onButton);
    if (!buttonText.isEmpty() && !placeholderButton_) {
        placeholderButton_ = new QPushButton(viewport());
        connect(placeholderButton_, &QPushButton::clicked, this, [this] {
            if (onPlaceholderButton_) onPlaceholderButton_();
        });
    }
    if (placeholderButton_) {
        placeholderButton_->setText(buttonText);
        placeholderButton_->adjustSize();
        placeholderButton_->setVisible(!buttonText.isEmpty() && RowCount() == 0);
        placeholderButton_->setEnabled(!buttonText.isEmpty());
    }
    resizeEvent(nullptr);
    viewport()->update();
}

void CSortListCtrl::paintEvent(QPaintEvent* e) {
    QTableView::paintEvent(e);
    if (RowCount() != 0 || placeholder_.isEmpty()) return;
    QPainter p(viewport());
    p.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    QRect r = viewport()->rect().adjusted(16, 16, -16, -16);
    r.setHeight(std::min(r.height(), fontMetrics().height() * 4));
    p.drawText(r, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap, placeholder_);
}

void CSortListCtrl::resizeEvent(QResizeEvent* e) {
    if (e) QTableView::resizeEvent(e);
    if (!placeholderButton_) return;
    const QSize s = placeholderButton_->sizeHint();
    const int top = 16 + fontMetrics().height() * 4 + 8;
    placeholderButton_->setGeometry((viewport()->width() - s.width()) / 2, top, s.width(),
                                    s.height());
}

QModelIndex CSortListCtrl::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // Home and End go to the first and last row, not to the row's ends.
    const int rows = RowCount();
    if ((action == MoveHome || action == MoveEnd) && rows > 0) {
        const int column = std::max(0, currentIndex().column());
        return model_->index(action == MoveHome ? 0 : rows - 1, column);
    }
    return QTableView::moveCursor(action, modifiers);
}

QPoint CSortListCtrl::KeyboardMenuPos() const {
    const QModelIndex i = currentIndex();
    QRect r = i.isValid() ? visualRect(i) : QRect();
    if (!r.isValid() || !viewport()->rect().intersects(r)) r = QRect(0, 0, 1, 1);
    return viewport()->mapToGlobal(QPoint(r.left() + 8, r.bottom()));
}

int CSortListCtrl::InsertColumn(int index, const QString& heading, int width) {
    index = std::clamp(index, 0, ColumnCount());
    model_->InsertColumnAt(index, heading);
    SetColumnWidthOrFit(index, width);
    return index;
}

int CSortListCtrl::ColumnCount() const {
    return model_->columnCount();
}

QString CSortListCtrl::ColumnHeading(int column) const {
    const auto& h = model_->Headings();
    return column >= 0 && column < h.size() ? h[column] : QString();
}

void CSortListCtrl::SetColumnHeading(int column, const QString& heading) {
    model_->SetHeading(column, heading);
}

void CSortListCtrl::SetColumnWidthOrFit(int column, int width) {
    if (column < 0 || column >= ColumnCount()) return;
    if (width >= 0) {
        setColumnWidth(column, width);
        return;
    }
    // Fit to the heading and the first rows only: a large list is never scanned.
    constexpr int kSampleRows = 64;
    const QFontMetrics fm = fontMetrics();
    int w = horizontalHeader()->fontMetrics().horizontalAdvance(ColumnHeading(column)) + 24;
    const auto& rows = model_->Rows();
    const std::size_t n = std::min<std::size_t>(rows.size(), kSampleRows);
    for (std::size_t r = 0; r < n; ++r) {
        const ListRow& row = rows[r];
        int cw = 12;
        if (column < row.texts.size()) cw += fm.horizontalAdvance(row.texts[column]);
        if (column < row.images.size() && row.images[column] >= 0) cw += 20;
        w = std::max(w, cw);
    }
    setColumnWidth(column, w);
}

int CSortListCtrl::InsertRow(int index, const QString& text, int image) {
    if (index < 0) return -1;
    index = std::min(index, RowCount());
    ListRow row;
    const int cols = ColumnCount();
    row.texts.resize(cols);
    row.images.fill(-1, cols);
    if (cols > 0) {
        row.texts[0] = text;
        row.images[0] = static_cast<qint8>(image);
    }
    std::vector<ListRow> one;
    one.push_back(std::move(row));
    model_->InsertRows(index, std::move(one));
    return index;
}

void CSortListCtrl::AppendRows(std::vector<ListRow>&& rows) {
    const int cols = ColumnCount();
    for (ListRow& r : rows) {
        if (r.texts.size() < cols) r.texts.resize(cols);
        if (r.images.size() < cols) r.images.resize(cols, -1);
    }
    model_->InsertRows(RowCount(), std::move(rows));
}

int CSortListCtrl::RowCount() const {
    return model_->rowCount();
}

void CSortListCtrl::SetCellText(int row, int column, const QString& text) {
    if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return;
    ListRow& r = model_->Rows()[static_cast<std::size_t>(row)];
    if (r.texts.size() <= column) r.texts.resize(ColumnCount());
    r.texts[column] = text;
    model_->CellChanged(row, column);
}

QString CSortListCtrl::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount()) return {};
    const ListRow& r = model_->Rows()[static_cast<std::size_t>(row)];
    return column >= 0 && column < r.texts.size() ? r.texts[column] : QString();
}

void CSortListCtrl::SetCellImage(int row, int column, int image) {
    if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return;
    ListRow& r = model_->Rows()[static_cast<std::size_t>(row)];
    if (r.images.size() <= column) r.images.resize(ColumnCount(), -1);
    r.images[column] = static_cast<qint8>(image);
    model_->CellChanged(row, column);
}

int CSortListCtrl::CellImage(int row, int column) const {
    if (row < 0 || row >= RowCount()) return -1;
    const ListRow& r = model_->Rows()[static_cast<std::size_t>(row)];
    return column >= 0 && column < r.images.size() ? r.images[column] : -1;
}

void CSortListCtrl::SetRowData(int row, CallRecord* record) {
    if (row < 0 || row >= RowCount()) return;
    model_->Rows()[static_cast<std::size_t>(row)].data = record;
}

CallRecord* CSortListCtrl::RowData(int row) const {
    if (row < 0 || row >= RowCount()) return nullptr;
    return model_->Rows()[static_cast<std::size_t>(row)].data;
}

namespace {
void PaintCell(ListRow& r, int column, int cols, const QColor& colour, bool background) {
    if (!r.colours) r.colours = std::make_shared<CellColours>();
    // Colour arrays are private to their row; copies of a row made for other
    // panes must not change with it.
    if (r.colours.use_count() > 1) r.colours = std::make_shared<CellColours>(*r.colours);
    QVector<QColor>& v = background ? r.colours->background : r.colours->text;
    if (v.size() < cols) v.resize(cols);
    if (column < 0 || column >= cols)
        v.fill(colour, cols);
    else
        v[column] = colour;
}
}  // namespace

void CSortListCtrl::SetRowBackground(int row, int column, const QColor& colour, bool redraw) {
    const int cols = ColumnCount();
    auto& rows = model_->Rows();
    if (row < 0 || row >= RowCount()) {
        for (ListRow& r : rows)
            PaintCell(r, column, cols, colour, true);
    } else {
        PaintCell(rows[static_cast<std::size_t>(row)], column, cols, colour, true);
    }
    if (redraw) viewport()->update();
}

void CSortListCtrl::SetCellTextColour(int row, int column, const QColor& colour) {
    if (row < 0 || row >= RowCount()) return;
    PaintCell(model_->Rows()[static_cast<std::size_t>(row)], column, ColumnCount(), colour, false);
    viewport()->update();
}

QColor CSortListCtrl::CellBackground(int row, int column) const {
    if (row < 0 || row >= RowCount()) return {};
    const ListRow& r = model_->Rows()[static_cast<std::size_t>(row)];
    if (!r.colours || column < 0 || column >= r.colours->background.size()) return {};
    return r.colours->background[column];
}

void CSortListCtrl::DeleteRow(int row, bool selectNext) {
    if (row < 0 || row >= RowCount()) return;
    if (selectNext && row + 1 < RowCount()) SelectRow(row + 1, true);
    model_->RemoveRowAt(row);
}

int CSortListCtrl::DeleteAllRows() {
    setUpdatesEnabled(false);
    const int n = model_->Clear();
    setUpdatesEnabled(true);
    return n;
}

int CSortListCtrl::DeleteRowsOf(const std::unordered_set<const CallRecord*>& records) {
    const int before = RowCount();
    if (records.empty() || before == 0) return 0;
    model_->RemoveRowsWhere([&](const ListRow& r) { return records.count(r.data) != 0; });
    return before - RowCount();
}

int CSortListCtrl::FindRow(const CallRecord* record) const {
    if (!record) return -1;
    const auto& rows = model_->Rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].data == record) return static_cast<int>(i);
    return -1;
}

std::vector<int> CSortListCtrl::SelectedRows() const {
    std::vector<int> out;
    if (!selectionModel()) return out;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            out.push_back(r);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

int CSortListCtrl::SelectedCount() const {
    return static_cast<int>(SelectedRows().size());
}

void CSortListCtrl::SelectRow(int row, bool addToSelection) {
    if (row < 0 || row >= RowCount()) return;
    auto flags = QItemSelectionModel::Rows | (addToSelection ? QItemSelectionModel::Select
                                                             : QItemSelectionModel::ClearAndSelect);
    selectionModel()->select(model_->index(row, 0), flags);
    selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
}

void CSortListCtrl::SetImageList(QVector<QIcon> images) {
    model_->SetImages(std::move(images));
    viewport()->update();
}

void CSortListCtrl::OnHeaderClicked(int column) {
    SortByColumn(column, column == sortColumn_ ? !ascending_ : true);
}

void CSortListCtrl::SortByColumn(int column, bool ascending) {
    if (column < 0 || column >= ColumnCount() || !horizontalHeader()->sectionsClickable() ||
        !sortable_ || RowCount() == 0 || sorting_)
        return;
    sorting_ = true;
    sortColumn_ = column;
    ascending_ = ascending;

    const auto& rows = model_->Rows();
    const QLocale locale;
    std::vector<SortKey> keys;
    keys.reserve(rows.size());
    for (const ListRow& r : rows) {
        std::optional<SortKey> k;
        if (keyProvider_) k = keyProvider_(r, column);
        keys.push_back(
            k ? std::move(*k)
              : MakeSortKey(column < r.texts.size() ? r.texts[column] : QString(), locale));
    }
    std::vector<int> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c =
            CompareSortKeys(keys[static_cast<std::size_t>(a)], keys[static_cast<std::size_t>(b)]);
        return ascending ? c < 0 : c > 0;
    });
    model_->Permute(order);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column,
                                         ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    sorting_ = false;
}

void CSortListCtrl::keyPressEvent(QKeyEvent* e) {
    // The space bar neither selects nor toggles anything.
    if (e->key() == Qt::Key_Space) {
        e->accept();
        return;
    }
    // Shift+F10 opens the row menu, as the Menu key does.
    if (e->key() == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier) {
        emit ContextMenuRequested(KeyboardMenuPos());
        e->accept();
        return;
    }
    QTableView::keyPressEvent(e);
}

void CSortListCtrl::mousePressEvent(QMouseEvent* e) {
    QTableView::mousePressEvent(e);
    if (e->button() != Qt::LeftButton) return;
    const QModelIndex i = indexAt(e->position().toPoint());
    if (i.isValid()) emit CellLeftClicked(i.row(), i.column());
}

void CSortListCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
    QTableView::mouseDoubleClickEvent(e);
    if (e->button() != Qt::LeftButton) return;
    const QModelIndex i = indexAt(e->position().toPoint());
    emit RowDoubleClicked(i.isValid() ? i.row() : -1);
}

void CSortListCtrl::contextMenuEvent(QContextMenuEvent* e) {
    // From the keyboard the menu opens at the current row, not at the mouse.
    emit ContextMenuRequested(e->reason() == QContextMenuEvent::Keyboard ? KeyboardMenuPos()
                                                                         : e->globalPos());
    e->accept();
}

}  // namespace lk::gui
