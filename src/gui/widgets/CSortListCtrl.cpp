#include "widgets/CSortListCtrl.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionHeader>

#include <algorithm>
#include <utility>
#include "widgets/CellDelegate.h"

namespace lk::gui {

namespace {

// The header's arrow points up over rows sorted ascending (the smallest on
// top) and down over rows sorted descending; the widget styles draw it the
// other way round, which read as "ascending" over the newest-first list.
class HeaderArrowStyle : public QProxyStyle {
  public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
        if (element != PE_IndicatorHeaderArrow || !header) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        QStyleOptionHeader flipped(*header);
        if (header->sortIndicator == QStyleOptionHeader::SortUp)
            flipped.sortIndicator = QStyleOptionHeader::SortDown;
        else if (header->sortIndicator == QStyleOptionHeader::SortDown)
            flipped.sortIndicator = QStyleOptionHeader::SortUp;
        QProxyStyle::drawPrimitive(element, &flipped, painter, widget);
    }
};

}  // namespace

// ---------------------------------------------------------------- model

int SortListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return static_cast<int>(filtered_ ? shown_.size() : rows_.size());
}

int SortListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headings_.size());
}

bool SortListModel::Valid(int row, int column) const {
    return row >= 0 && row < rowCount() && column >= 0 && column < headings_.size();
}

QVariant SortListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !Valid(index.row(), index.column())) return {};
    const int r = index.row();
    const int c = index.column();
    const RowExtras* extras = rows_[At(r)].extras.get();
    switch (role) {
        case Qt::DisplayRole:
            return CellText(r, c);
        case Qt::DecorationRole: {
            const int img = CellImage(r, c);
            if (img >= 0 && img < images_.size()) return images_[img];
            return {};
        }
        case Qt::ForegroundRole:
            if (extras && c < extras->colours.text.size() && extras->colours.text[c].isValid())
                return extras->colours.text[c];
            return {};
        case Qt::BackgroundRole:
            if (extras && c < extras->colours.background.size() &&
                extras->colours.background[c].isValid())
                return extras->colours.background[c];
            return {};
        case Qt::AccessibleTextRole:
        case Qt::AccessibleDescriptionRole:
            return AccessibleData(r, c, role);
        default:
            return {};
    }
}

QVariant SortListModel::AccessibleData(int row, int column, int role) const {
    if (role == Qt::AccessibleDescriptionRole) return headings_[column];
    const QString text = CellText(row, column);
    if (!text.isEmpty()) return text;
    // An icon-only cell says what its icon means; an empty one says nothing.
    const int img = CellImage(row, column);
    return img >= 0 && img < imageTexts_.size() ? imageTexts_[img] : QString();
}

Qt::ItemFlags SortListModel::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) | Qt::ItemIsDragEnabled;
}

QVariant SortListModel::headerData(int section, Qt::Orientation o, int role) const {
    // The tip shows a heading whole where a narrow column cuts it.
    if (o == Qt::Horizontal && (role == Qt::DisplayRole || role == Qt::ToolTipRole) &&
        section >= 0 && section < headings_.size())
        return headings_[section];
    if (o == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return QAbstractTableModel::headerData(section, o, role);
}

void SortListModel::SetSource(std::shared_ptr<const RowSource> source) {
    source_ = std::move(source);
    SourceChanged();
}

void SortListModel::SourceChanged() {
    DropKeys();
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, std::max(0, columnCount() - 1)));
}

void SortListModel::ForgetFacts() {
    for (ListRow& r : rows_)
        r.facts = 0;
    SourceChanged();
}

QString SortListModel::CellText(int row, int column) const {
    if (!Valid(row, column)) return {};
    const ListRow& r = rows_[At(row)];
    if (r.extras && column < r.extras->texts.size() && r.extras->texts[column])
        return *r.extras->texts[column];
    return r.data && source_ ? source_->Text(r, column) : QString();
}

int SortListModel::CellImage(int row, int column) const {
    if (!Valid(row, column)) return -1;
    const ListRow& r = rows_[At(row)];
    if (r.extras && column < r.extras->images.size() &&
        r.extras->images[column] != RowExtras::kSourceImage)
        return r.extras->images[column];
    return r.data && source_ ? source_->Image(r, column) : -1;
}

RowExtras& SortListModel::ExtrasOf(int row) {
    std::unique_ptr<RowExtras>& e = rows_[At(row)].extras;
    if (!e) e = std::make_unique<RowExtras>();
    return *e;
}

void SortListModel::SetCellText(int row, int column, const QString& text) {
    if (!Valid(row, column)) return;
    RowExtras& e = ExtrasOf(row);
    if (e.texts.size() <= column) e.texts.resize(columnCount());
    e.texts[column] = text;
    rows_[At(row)].findSize = ListRow::kNoFindText;
    if (column == keyedColumn_) DropKeys();
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i);
}

void SortListModel::SetCellImage(int row, int column, int image) {
    if (!Valid(row, column)) return;
    RowExtras& e = ExtrasOf(row);
    if (e.images.size() <= column) e.images.resize(columnCount(), RowExtras::kSourceImage);
    e.images[column] = static_cast<qint8>(std::max(image, -1));
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i);
}

void SortListModel::SetRowData(int row, CallRecord* record) {
    if (row < 0 || row >= rowCount()) return;
    ListRow& r = rows_[At(row)];
    r.data = record;
    r.facts = 0;
    r.findSize = ListRow::kNoFindText;
    DropKeys();
    RowChanged(row);
}

void SortListModel::InsertColumnAt(int index, const QString& heading) {
    index = std::clamp(index, 0, static_cast<int>(headings_.size()));
    DropKeys();  // kept by column number
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
    index = std::clamp(index, 0, rowCount());
    DropKeys();
    if (!filtered_) {
        beginInsertRows({}, index, index + static_cast<int>(rows.size()) - 1);
        rows_.insert(rows_.begin() + index, std::make_move_iterator(rows.begin()),
                     std::make_move_iterator(rows.end()));
        endInsertRows();
        return;
    }
    // Among all rows they go before the row shown at `index`; only those
    // the find matches come into view.
    const std::size_t at = static_cast<std::size_t>(index) < shown_.size()
                               ? static_cast<std::size_t>(shown_[static_cast<std::size_t>(index)])
                               : rows_.size();
    const auto count = static_cast<int>(rows.size());
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at),
                 std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    for (int& s : shown_)
        if (static_cast<std::size_t>(s) >= at) s += count;
    std::vector<int> found;
    for (int i = 0; i < count; ++i)
        if (Found(rows_[at + static_cast<std::size_t>(i)], find_))
            found.push_back(static_cast<int>(at) + i);
    if (!found.empty()) {
        beginInsertRows({}, index, index + static_cast<int>(found.size()) - 1);
        shown_.insert(shown_.begin() + index, found.begin(), found.end());
        endInsertRows();
    }
    emit FindChanged();
}

void SortListModel::RemoveRowAt(int row) {
    if (row < 0 || row >= rowCount()) return;
    ++generation_;
    DropKeys();
    const std::size_t at = At(row);
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(at));
    if (filtered_) {
        shown_.erase(shown_.begin() + row);
        for (int& s : shown_)
            if (static_cast<std::size_t>(s) > at) --s;
    }
    endRemoveRows();
}

void SortListModel::RemoveRowsWhere(const std::function<bool(const ListRow&)>& pred) {
    if (filtered_) {
        RemoveFoundRowsWhere(pred);
        return;
    }
    // Remove runs from the bottom up so that the indexes above stay valid.
    int r = static_cast<int>(rows_.size()) - 1;
    while (r >= 0) {
        if (!pred(rows_[static_cast<std::size_t>(r)])) {
            --r;
            continue;
        }
        ++generation_;
        DropKeys();
        int first = r;
        while (first > 0 && pred(rows_[static_cast<std::size_t>(first - 1)]))
            --first;
        beginRemoveRows({}, first, r);
        rows_.erase(rows_.begin() + first, rows_.begin() + r + 1);
        endRemoveRows();
        r = first - 1;
    }
}

void SortListModel::RemoveFoundRowsWhere(const std::function<bool(const ListRow&)>& pred) {
    std::vector<int> newIndex(rows_.size(), -1);
    int kept = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (!pred(rows_[i])) newIndex[i] = kept++;
    if (kept == static_cast<int>(rows_.size())) return;
    ++generation_;
    DropKeys();
    // The rows in view go run by run from the bottom up, while rows_ still
    // holds them; the rows out of view then go unseen.
    int r = static_cast<int>(shown_.size()) - 1;
    while (r >= 0) {
        if (newIndex[static_cast<std::size_t>(shown_[static_cast<std::size_t>(r)])] >= 0) {
            --r;
            continue;
        }
        int first = r;
        while (first > 0 &&
               newIndex[static_cast<std::size_t>(shown_[static_cast<std::size_t>(first - 1)])] < 0)
            --first;
        beginRemoveRows({}, first, r);
        shown_.erase(shown_.begin() + first, shown_.begin() + r + 1);
        endRemoveRows();
        r = first - 1;
    }
    std::vector<ListRow> rest;
    rest.reserve(static_cast<std::size_t>(kept));
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (newIndex[i] >= 0) rest.push_back(std::move(rows_[i]));
    rows_ = std::move(rest);
    for (int& s : shown_)
        s = newIndex[static_cast<std::size_t>(s)];
    emit FindChanged();
}

int SortListModel::Clear() {
    const int n = static_cast<int>(rows_.size());
    if (n == 0) return 0;
    ++generation_;
    DropKeys();
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    shown_.clear();
    findTexts_.clear();
    findTexts_.shrink_to_fit();
    endResetModel();
    return n;
}

std::u16string_view SortListModel::FindText(const ListRow& row) const {
    if (row.findSize == ListRow::kNoFindText) {
        const std::size_t at = findTexts_.size();
        if (row.data && source_) source_->AppendFindText(row, findTexts_);
        if (row.extras)
            for (const std::optional<QString>& text : row.extras->texts)
                if (text) {
                    findTexts_.push_back(u'\n');
                    AppendFolded(*text, findTexts_);
                }
        row.findAt = static_cast<std::uint32_t>(at);
        row.findSize = static_cast<std::uint32_t>(findTexts_.size() - at);
    }
    return std::u16string_view(findTexts_).substr(row.findAt, row.findSize);
}

void SortListModel::PrepareFind() {
    if (findTexts_.empty() && !rows_.empty()) findTexts_.reserve(rows_.size() * 48);
    for (const ListRow& r : rows_)
        (void)FindText(r);
}

void SortListModel::ForgetFindTexts() {
    for (ListRow& r : rows_)
        r.findSize = ListRow::kNoFindText;
    findTexts_.clear();
    if (filtered_) {
        const FindQuery query = std::exchange(find_, {});
        filtered_ = false;
        SetFind(query);
    }
}

void SortListModel::SetFind(const FindQuery& query) {
    if (query.Empty() && !filtered_) return;
    std::vector<int> next;
    if (!query.Empty()) {
        PrepareFind();
        if (filtered_ && query.Narrows(find_)) {
            next.reserve(shown_.size());
            for (const int i : shown_)
                if (Found(rows_[static_cast<std::size_t>(i)], query)) next.push_back(i);
        } else {
            for (std::size_t i = 0; i < rows_.size(); ++i)
                if (Found(rows_[i], query)) next.push_back(static_cast<int>(i));
        }
    }
    ++generation_;
    beginResetModel();
    filtered_ = !query.Empty();
    find_ = query;
    shown_ = std::move(next);
    endResetModel();
    emit FindChanged();
}

void SortListModel::RowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
}

void SortListModel::DropKeys(int column) {
    if (column >= 0 && column != keyedColumn_) return;
    keyedColumn_ = -1;
    keys_.clear();
    keys_.shrink_to_fit();
    keyTexts_.clear();
    keyTexts_.shrink_to_fit();
}

const std::vector<SortKey>& SortListModel::SortKeys(int column) {
    if (column == keyedColumn_) return keys_;
    DropKeys();
    const QLocale locale;
    const std::size_t n = rows_.size();
    if (source_) source_->Prepare(rows_, column);
    keys_.reserve(n);
    // Each text is made once and kept back to back in one buffer: a sort
    // compares them from all over, and close together that is much faster.
    struct Span {
        std::size_t at = 0, size = 0;
    };
    std::vector<Span> spans(n);
    // A row's text as the list shows it, added to the buffer.
    auto keep = [&](std::size_t i) {
        const std::size_t at = keyTexts_.size();
        const ListRow& r = rows_[i];
        if (r.extras && column < r.extras->texts.size() && r.extras->texts[column]) {
            const QString& text = *r.extras->texts[column];
            keyTexts_.append(reinterpret_cast<const char16_t*>(text.utf16()),
                             static_cast<std::size_t>(text.size()));
        } else if (r.data && source_) {
            source_->AppendText(r, column, keyTexts_);
        }
        spans[i] = {at, keyTexts_.size() - at};
    };
    std::vector<std::size_t> timed;  // rows whose key the source gave as a time
    bool allTimes = true;
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < n; ++i) {
        const ListRow& r = rows_[i];
        if (source_) {
            if (i + 2 * kAhead < n && rows_[i + 2 * kAhead].data)
                source_->Prefetch(rows_[i + 2 * kAhead], column, false);
            if (i + kAhead < n && rows_[i + kAhead].data)
                source_->Prefetch(rows_[i + kAhead], column, true);
        }
        if (const auto rank = r.data && source_ ? source_->RankOf(r, column) : std::nullopt) {
            SortKey k;
            k.number = *rank;
            keys_.push_back(std::move(k));
            spans[i] = {keyTexts_.size(), 0};
            allTimes = false;
            continue;
        }
        const auto time = r.data && source_ ? source_->TimeOf(r, column) : std::nullopt;
        if (time) {
            keys_.push_back(MakeTimeKey(QString(), *time));
            timed.push_back(i);
            continue;
        }
        keep(i);
        // Room for all texts at once, guessed from the first ones: growing
        // the buffer step by step would copy it again and again.
        if (i == 63) keyTexts_.reserve(keyTexts_.size() * n / 64 * 5 / 4 + 64);
        keys_.push_back(ParseSortKey(
            QStringView(keyTexts_.data() + spans[i].at, static_cast<qsizetype>(spans[i].size)),
            locale));
        allTimes = allTimes && keys_.back().time.has_value();
    }
    // Two times compare as times; their texts count only next to a key that
    // has none, so only then are they needed at all.
    if (allTimes) {
        keyTexts_.clear();
        keyedColumn_ = column;
        return keys_;
    }
    for (std::size_t i : timed)
        keep(i);
    // Texts compare from their first difference: a start that all of them
    // share (the folder of every path) is left out of the comparisons.
    std::size_t shared = n > 0 ? spans[0].size : 0;
    for (std::size_t i = 1; i < n && shared > 0; ++i) {
        const char16_t* a = keyTexts_.data() + spans[0].at;
        const char16_t* b = keyTexts_.data() + spans[i].at;
        shared = std::min(shared, spans[i].size);
        shared = static_cast<std::size_t>(std::mismatch(a, a + shared, b).first - a);
    }
    for (std::size_t i = 0; i < n; ++i)
        keys_[i].text = QString::fromRawData(
            reinterpret_cast<const QChar*>(keyTexts_.data() + spans[i].at + shared),
            static_cast<qsizetype>(spans[i].size - shared));
    keyedColumn_ = column;
    return keys_;
}

SortKey SortListModel::KeyOf(int row, int column) const {
    if (!Valid(row, column)) return {};
    const ListRow& r = rows_[At(row)];
    const bool ownText = r.extras && column < r.extras->texts.size() && r.extras->texts[column];
    if (r.data && source_ && !ownText) {
        if (const auto rank = source_->RankOf(r, column)) {
            SortKey k;
            k.number = *rank;
            return k;
        }
        if (const auto time = source_->TimeOf(r, column)) return MakeTimeKey(QString(), *time);
    }
    return MakeSortKey(CellText(row, column), QLocale());
}

void SortListModel::Permute(const std::vector<int>& order) {
    ++generation_;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        newRowOf[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
    // In place, cycle by cycle: a second copy of 100,000 rows and their keys
    // would only raise the peak.
    const bool keyed = keys_.size() == order.size();
    std::vector<bool> placed(order.size());
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (placed[start]) continue;
        ListRow row = std::move(rows_[start]);
        SortKey key = keyed ? std::move(keys_[start]) : SortKey{};
        std::size_t to = start;
        for (;;) {
            placed[to] = true;
            const auto from = static_cast<std::size_t>(order[to]);
            if (from == start) break;
            rows_[to] = std::move(rows_[from]);
            if (keyed) keys_[to] = std::move(keys_[from]);
            to = from;
        }
        rows_[to] = std::move(row);
        if (keyed) keys_[to] = std::move(key);
    }
    // While a find is set the same rows stay in view, in their new order.
    std::vector<int> viewOf;  // a row of rows_ to its row in view
    std::vector<int> oldShown;
    if (filtered_) {
        oldShown = std::move(shown_);
        std::vector<bool> wasShown(order.size());
        for (const int i : oldShown)
            wasShown[static_cast<std::size_t>(i)] = true;
        shown_.clear();
        viewOf.assign(order.size(), -1);
        for (std::size_t i = 0; i < order.size(); ++i)
            if (wasShown[static_cast<std::size_t>(order[i])]) {
                viewOf[i] = static_cast<int>(shown_.size());
                shown_.push_back(static_cast<int>(i));
            }
    }
    // Selection and focus follow their rows.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& p : from) {
        auto oldRow = static_cast<std::size_t>(p.row());
        if (filtered_)
            oldRow = oldRow < oldShown.size() ? static_cast<std::size_t>(oldShown[oldRow])
                                              : newRowOf.size();
        if (oldRow >= newRowOf.size()) {
            to.append(QModelIndex());
            continue;
        }
        const int newRow = newRowOf[oldRow];
        to.append(index(filtered_ ? viewOf[static_cast<std::size_t>(newRow)] : newRow, p.column()));
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
    auto* arrows = new HeaderArrowStyle;
    arrows->setParent(horizontalHeader());
    horizontalHeader()->setStyle(arrows);
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
    // (A find resets the view too, but keeps the rows in their order.)
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        if (model_->TotalRowCount() == 0) ShowNaturalOrder();
    });
    // The arrow promises an order: rows that come or change out of it take it away.
    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { CheckSortMark(first, last); });
    connect(model_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                if (!sorting_) CheckSortMark(from.row(), to.row());
            });
}

void CSortListCtrl::CheckSortMark(int first, int last) {
    QHeaderView* h = horizontalHeader();
    if (!h->isSortIndicatorShown()) return;
    const int column = h->sortIndicatorSection();
    const bool ascending = h->sortIndicatorOrder() == Qt::AscendingOrder;
    const int n = RowCount();
    first = std::max(1, first);
    last = std::min(n - 1, last + 1);
    for (int r = first; r <= last; ++r) {
        const int c = CompareSortKeys(model_->KeyOf(r - 1, column), model_->KeyOf(r, column));
        if (ascending ? c > 0 : c < 0) {
            h->setSortIndicatorShown(false);
            // The next click on any header starts from ascending again.
            sortColumn_ = -1;
            return;
        }
    }
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
    const int n = std::min(RowCount(), kSampleRows);
    for (int r = 0; r < n; ++r) {
        int cw = 12 + fm.horizontalAdvance(model_->CellText(r, column));
        if (model_->CellImage(r, column) >= 0) cw += 20;
        w = std::max(w, cw);
    }
    setColumnWidth(column, w);
}

int CSortListCtrl::InsertRow(int index, const QString& text, int image) {
    if (index < 0) return -1;
    index = std::min(index, RowCount());
    std::vector<ListRow> one(1);
    model_->InsertRows(index, std::move(one));
    if (ColumnCount() > 0) {
        model_->SetCellText(index, 0, text);
        model_->SetCellImage(index, 0, image);
    }
    return index;
}

void CSortListCtrl::AppendRecords(const std::vector<CallRecord*>& records) {
    std::vector<ListRow> rows(records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        rows[i].data = records[i];
    model_->InsertRows(RowCount(), std::move(rows));
}

int CSortListCtrl::RowCount() const {
    return model_->rowCount();
}

void CSortListCtrl::SetCellText(int row, int column, const QString& text) {
    model_->SetCellText(row, column, text);
}

QString CSortListCtrl::CellText(int row, int column) const {
    return model_->CellText(row, column);
}

void CSortListCtrl::SetCellImage(int row, int column, int image) {
    model_->SetCellImage(row, column, image);
}

int CSortListCtrl::CellImage(int row, int column) const {
    return model_->CellImage(row, column);
}

void CSortListCtrl::SetRowData(int row, CallRecord* record) {
    model_->SetRowData(row, record);
}

CallRecord* CSortListCtrl::RowData(int row) const {
    if (row < 0 || row >= RowCount()) return nullptr;
    return model_->RowAt(row).data;
}

void CSortListCtrl::SetRowSource(std::shared_ptr<const RowSource> source) {
    model_->SetSource(std::move(source));
    viewport()->update();
}

void CSortListCtrl::RowSourceChanged() {
    model_->SourceChanged();
    viewport()->update();
}

void CSortListCtrl::RefreshRow(int row) {
    if (row >= 0 && row < RowCount()) model_->RowChanged(row);
}

namespace {
void PaintCell(RowExtras& e, int column, int cols, const QColor& colour, bool background) {
    QVector<QColor>& v = background ? e.colours.background : e.colours.text;
    if (v.size() < cols) v.resize(cols);
    if (column < 0 || column >= cols)
        v.fill(colour, cols);
    else
        v[column] = colour;
}
}  // namespace

void CSortListCtrl::SetRowBackground(int row, int column, const QColor& colour, bool redraw) {
    const int cols = ColumnCount();
    if (row < 0 || row >= RowCount()) {
        for (int r = 0; r < RowCount(); ++r)
            PaintCell(model_->ExtrasOf(r), column, cols, colour, true);
    } else {
        PaintCell(model_->ExtrasOf(row), column, cols, colour, true);
    }
    if (redraw) viewport()->update();
}

void CSortListCtrl::SetCellTextColour(int row, int column, const QColor& colour) {
    if (row < 0 || row >= RowCount()) return;
    PaintCell(model_->ExtrasOf(row), column, ColumnCount(), colour, false);
    viewport()->update();
}

QColor CSortListCtrl::CellBackground(int row, int column) const {
    if (row < 0 || row >= RowCount()) return {};
    const RowExtras* e = model_->RowAt(row).extras.get();
    if (!e || column < 0 || column >= e->colours.background.size()) return {};
    return e->colours.background[column];
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
    const int n = RowCount();
    for (int i = 0; i < n; ++i)
        if (model_->RowAt(i).data == record) return i;
    return -1;
}

bool CSortListCtrl::HoldsRecord(const CallRecord* record) const {
    if (!record) return false;
    const auto& rows = model_->Rows();
    return std::any_of(rows.begin(), rows.end(),
                       [record](const ListRow& r) { return r.data == record; });
}

void CSortListCtrl::SetFindText(const QString& typed) {
    FindQuery query(typed);
    if (query.Words() == model_->Find().Words()) return;
    // The view is reset: the selected rows still in view stay selected.
    // A selection of many rows is let go rather than looked for row by row.
    constexpr std::size_t kKeptSelection = 1000;
    const std::vector<int> selected = SelectedRows();
    std::unordered_set<const CallRecord*> keep;
    if (selected.size() <= kKeptSelection)
        for (const int row : selected)
            if (const CallRecord* r = RowData(row)) keep.insert(r);
    const CallRecord* current = RowData(currentIndex().row());
    const int column = std::max(0, currentIndex().column());

    model_->SetFind(query);

    if (keep.empty() && !current) return;
    QItemSelection selection;
    int currentRow = -1;
    const int n = RowCount();
    const int lastColumn = std::max(0, ColumnCount() - 1);
    for (int i = 0; i < n; ++i) {
        const CallRecord* r = model_->RowAt(i).data;
        if (!r) continue;
        if (r == current) currentRow = i;
        if (!keep.count(r)) continue;
        int last = i;
        while (last + 1 < n && keep.count(model_->RowAt(last + 1).data))
            ++last;
        selection.select(model_->index(i, 0), model_->index(last, lastColumn));
        if (current)
            for (int j = i; j <= last && currentRow < 0; ++j)
                if (model_->RowAt(j).data == current) currentRow = j;
        i = last;
    }
    if (!selection.isEmpty()) selectionModel()->select(selection, QItemSelectionModel::Select);
    if (currentRow >= 0) {
        selectionModel()->setCurrentIndex(model_->index(currentRow, column),
                                          QItemSelectionModel::NoUpdate);
        scrollTo(model_->index(currentRow, column));
    }
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

    model_->Permute(SortedOrder(model_->SortKeys(column), ascending));
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

void CSortListCtrl::SetDragData(std::function<QMimeData*(const std::vector<int>& rows)> make) {
    dragData_ = std::move(make);
    setDragEnabled(static_cast<bool>(dragData_));
    setDragDropMode(dragData_ ? QAbstractItemView::DragOnly : QAbstractItemView::NoDragDrop);
}

QMimeData* CSortListCtrl::SelectedRowsDragData() const {
    const auto rows = SelectedRows();
    return dragData_ && !rows.empty() ? dragData_(rows) : nullptr;
}

void CSortListCtrl::startDrag(Qt::DropActions) {
    QMimeData* data = SelectedRowsDragData();
    if (!data) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    // Files are handed over to be copied: the recordings stay where they are.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void CSortListCtrl::contextMenuEvent(QContextMenuEvent* e) {
    // From the keyboard the menu opens at the current row, not at the mouse.
    emit ContextMenuRequested(e->reason() == QContextMenuEvent::Keyboard ? KeyboardMenuPos()
                                                                         : e->globalPos());
    e->accept();
}

void CSortListCtrl::RecheckFiles() {
    model_->ForgetFacts();
}

}  // namespace lk::gui
