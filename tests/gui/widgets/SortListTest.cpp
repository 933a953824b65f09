// Sorting of the list control: number, hexadecimal, percentage, time and
// text comparisons, header toggling, and colours travelling with their rows.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLocale>

#include "widgets/CSortListCtrl.h"
#include "widgets/SortKey.h"

namespace lk::gui {
namespace {

QStringList ColumnTexts(const CSortListCtrl& l, int column) {
    QStringList out;
    for (int r = 0; r < l.RowCount(); ++r)
        out << l.CellText(r, column);
    return out;
}

void Fill(CSortListCtrl& l, const QStringList& texts) {
    if (l.ColumnCount() == 0) {
        l.InsertColumn(0, "A", 50);
        l.InsertColumn(1, "B", 50);
    }
    for (const QString& t : texts) {
        const int r = l.InsertRow(l.RowCount(), t, -1);
        l.SetCellText(r, 1, QString::number(r));
    }
}

TEST(SortList, ColumnsSortByTheKindOfTheirTexts) {
    struct Case {
        QStringList input, ascending;
    };
    const Case cases[] = {
        {{"100", "9", "10"}, {"9", "10", "100"}},
        {{"1.5%", "1.25%", "2"}, {"1.25%", "1.5%", "2"}},
        {{"00:01:05", "00:00:59", "01:00:00"}, {"00:00:59", "00:01:05", "01:00:00"}},
        {{"ff", "1a", "2"}, {"2", "1a", "ff"}},
        {{"Outgoing", "Incoming", "Missed"}, {"Incoming", "Missed", "Outgoing"}},
        {{"cat", "Cat", "bat"}, {"Cat", "bat", "cat"}},  // by code unit, case-sensitive
        {{"2016-01-05", "2015-12-31", "2016-01-04"}, {"2015-12-31", "2016-01-04", "2016-01-05"}},
        // Texts with a common start, one of them nothing more.
        {{"/s/r2", "/s/r10", "/s/r1"}, {"/s/r1", "/s/r10", "/s/r2"}},
        {{"ab", "abc", "a"}, {"a", "ab", "abc"}},
        {{"1x", "10", "1"}, {"1", "10", "1x"}},  // 10 and 1x meet as texts
    };
    for (const Case& c : cases) {
        CSortListCtrl l;
        Fill(l, c.input);
        l.SortByColumn(0, true);
        EXPECT_EQ(ColumnTexts(l, 0), c.ascending) << c.input.join(",").toStdString();
        l.SortByColumn(0, false);
        QStringList desc = c.ascending;
        std::reverse(desc.begin(), desc.end());
        EXPECT_EQ(ColumnTexts(l, 0), desc) << c.input.join(",").toStdString();
    }
}

TEST(SortList, PairsOfDifferentKindsCompareAsText) {
    const QLocale loc;
    EXPECT_LT(CompareSortKeys(MakeSortKey("9", loc), MakeSortKey("10", loc)), 0);
    EXPECT_GT(CompareSortKeys(MakeSortKey("9", loc), MakeSortKey("10 Smith", loc)), 0);
    EXPECT_LT(CompareSortKeys(MakeSortKey("", loc), MakeSortKey("0", loc)), 0);
    EXPECT_EQ(CompareSortKeys(MakeSortKey("1.50%", loc), MakeSortKey("1.5", loc)), 0);
    EXPECT_FALSE(MakeSortKey("1.5%%", loc).number.has_value());
}

TEST(SortList, HeaderClicksToggleAndOtherColumnsStartAscending) {
    CSortListCtrl l;
    Fill(l, {"3", "1", "2"});
    l.horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(ColumnTexts(l, 0), (QStringList{"1", "2", "3"}));
    l.horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(ColumnTexts(l, 0), (QStringList{"3", "2", "1"}));
    EXPECT_FALSE(l.SortAscending());
    l.horizontalHeader()->sectionClicked(1);
    EXPECT_TRUE(l.SortAscending());
    EXPECT_EQ(l.SortColumn(), 1);
    EXPECT_EQ(ColumnTexts(l, 1), (QStringList{"0", "1", "2"}));
}

TEST(SortList, ColoursDataAndSelectionMoveWithTheirRows) {
    CSortListCtrl l;
    Fill(l, {"30", "10", "20"});
    auto* tag = reinterpret_cast<CallRecord*>(&l);  // any distinct address
    l.SetRowData(0, tag);
    l.SetRowBackground(0, -1, Qt::yellow);
    l.SetCellImage(0, 1, 3);
    l.SelectRow(0);
    l.SortByColumn(0, true);
    EXPECT_EQ(l.RowData(2), tag);
    EXPECT_EQ(l.CellBackground(2, 0), QColor(Qt::yellow));
    EXPECT_EQ(l.CellBackground(2, 1), QColor(Qt::yellow));
    EXPECT_FALSE(l.CellBackground(0, 0).isValid());
    EXPECT_EQ(l.CellImage(2, 1), 3);
    EXPECT_EQ(l.SelectedRows(), std::vector<int>{2});

    // A row outside the list colours that cell of every row.
    l.SetRowBackground(-1, 1, Qt::red);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(l.CellBackground(r, 1), QColor(Qt::red));
}

TEST(SortList, RowOperationsIgnoreRowsOutsideTheList) {
    CSortListCtrl l;
    EXPECT_EQ(l.DeleteAllRows(), 0);
    l.SortByColumn(0, true);  // no columns, no rows: ignored
    Fill(l, {"a", "b"});
    EXPECT_EQ(l.CellText(5, 0), "");
    EXPECT_EQ(l.CellImage(-1, 0), -1);
    EXPECT_EQ(l.RowData(2), nullptr);
    l.SetCellText(9, 0, "x");
    l.DeleteRow(7, true);
    EXPECT_EQ(l.RowCount(), 2);
    l.SelectRow(0);
    l.DeleteRow(0, true);  // the next row becomes selected
    EXPECT_EQ(l.SelectedRows(), std::vector<int>{0});
    EXPECT_EQ(l.CellText(0, 0), "b");
    EXPECT_EQ(l.DeleteAllRows(), 1);
}

TEST(SortList, AMissingWidthFitsTheHeadingAndFirstRows) {
    CSortListCtrl l;
    l.InsertColumn(0, "H", 40);
    const QString wide(60, QChar('W'));
    for (int i = 0; i < 3; ++i)
        l.InsertRow(i, wide, -1);
    l.SetColumnWidthOrFit(0, -1);
    EXPECT_GE(l.columnWidth(0), l.fontMetrics().horizontalAdvance(wide));
}

}  // namespace
}  // namespace lk::gui
