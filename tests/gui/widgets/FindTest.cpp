// Find as you type in a record list: words folded alike in rows and query,
// every word needed, the rows shown named by row numbers everywhere, and
// narrowing from the last result giving what a fresh look gives.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QItemSelectionModel>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "card/RecordLists.h"
#include "platform/TextCodec.h"
#include "records/RecordRow.h"
#include "support/FindQuery.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui {
namespace {

TEST(FindQuery, FoldsCaseAndAccentsAndNeedsEveryWord) {
    struct Case {
        const char16_t* text;
        const char16_t* typed;
        bool found;
    };
    const Case cases[] = {
        {u"Zöllner", u"zollner", true},
        {u"zollner", u"ZÖLLNER", true},
        {u"Ångström Ltd", u"angstrom", true},
        {u"Café Crème", u"creme cafe", true},  // any order
        {u"Café Crème", u"creme tea", false},  // every word
        {u"Straße", u"straße", true},
        {u"ﬁle", u"file", true},  // a ligature decomposes
        {u"0049 30 1234", u"30 0049", true},
        {u"0049 30 1234", u"301234", false},
        {u"anything", u"   ", true},  // no words: everything
        {u"", u"a", false},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        const QString typed = QString::fromUtf16(c.typed);
        SCOPED_TRACE(typed.toStdString() + " in " + text.toStdString());
        EXPECT_EQ(FindQuery(typed).Matches(Folded(text)), c.found);
    }
}

TEST(FindQuery, NarrowsOnlyWhenEachEarlierWordLiesInALaterOne) {
    struct Case {
        const char16_t* before;
        const char16_t* after;
        bool narrows;
    };
    const Case cases[] = {
        {u"", u"z", true},        {u"z", u"zo", true},      {u"zol", u"zoll m", true},
        {u"zoll", u"zol", false}, {u"ab cd", u"cd", false}, {u"ab", u"xab", true},
        {u"ab", u"a b", false},   {u"Zö", u"zoll", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.before).toStdString() + " -> " +
                     QString::fromUtf16(c.after).toStdString());
        EXPECT_EQ(
            FindQuery(QString::fromUtf16(c.after)).Narrows(FindQuery(QString::fromUtf16(c.before))),
            c.narrows);
    }
}

struct Call {
    const char* number;
    const char16_t* name;
    const char* remark;  // card remark bytes, Windows-1252
    int type = Incoming;
};

// Family-1 records with names, numbers and card remarks, and a list on them.
class FindRows : public ::testing::Test {
  protected:
    void SetUp() override {
        const Call calls[] = {
            {"5551234", u"Zöllner", "Order \xE9t\xE9"},  // "Order été"
            {"5559876", u"Müller", "complaint"},
            {"0049301234", u"ANNA", ""},
            {"5550000", u"", "R\xC9SUM\xC9 sent"},  // "RÉSUMÉ sent"
            {"12345", u"Zoe", "", Note},            // a note shows no number
            {"777", u"Bob", "zollner asked"},
        };
        for (const Call& c : calls) {
            auto r = std::make_unique<CallRecord>();
            r->type = c.type;
            SetFieldText(r->number, FromUtf8(c.number));
            SetFieldText(r->name, c.name);
            const std::string remark = c.remark;
            if (!remark.empty()) {
                r->cardBytes[5] = 'R';
                r->cardBytes[6] = 'M';
                r->cardBytes[7] = ':';
                for (std::size_t i = 0; i < remark.size(); ++i)
                    r->cardBytes[8 + i] = static_cast<std::uint8_t>(remark[i]);
            }
            records_.push_back(std::move(r));
        }
        for (int c = 0; c < kRecordColumns; ++c)
            list_.InsertColumn(c, QString::number(c), 60);
        list_.SetRowSource(cells_);
        for (const RecordPtr& r : records_)
            list_.AppendRecords({r.get()});
    }
    static RowLabels Labels() {
        RowLabels labels;
        labels.codePage = "CP1252";
        return labels;
    }
    // Indexes into records_ of the rows shown, top to bottom.
    std::vector<int> Shown() const {
        std::vector<int> out;
        for (int row = 0; row < list_.RowCount(); ++row)
            for (std::size_t i = 0; i < records_.size(); ++i)
                if (records_[i].get() == list_.RowData(row)) out.push_back(static_cast<int>(i));
        return out;
    }
    void Type(const QString& text) {
        for (int n = 1; n <= text.size(); ++n)
            list_.SetFindText(text.left(n));
    }

    std::atomic<int> family_{1};
    std::shared_ptr<RecordCells> cells_ = std::make_shared<RecordCells>(family_, Labels());
    RecordList records_;
    CSortListCtrl list_;
};

TEST_F(FindRows, ShowRowsHoldingEveryWordOfNumberNameRemarkAndExtraText) {
    cells_->SetFindExtra([this](const CallRecord& r) {
        return &r == records_[2].get() ? QStringLiteral("Tag: Beschwerde") : QString();
    });
    list_.Model()->ForgetFindTexts();
    struct Case {
        const char16_t* typed;
        std::vector<int> shown;
    };
    const Case cases[] = {
        {u"zollner", {0, 5}},                       // a name with an umlaut, and a remark
        {u"ZÖLL", {0, 5}},    {u"mueller", {}},     // no transliteration, only marks dropped
        {u"muller", {1}},     {u"ete order", {0}},  // remark, words in any order
        {u"resume", {3}},     {u"555", {0, 1, 3}},       {u"555 complaint", {1}},
        {u"30123", {2}},      {u"beschwerde", {2}},  // the extra text
        {u"zoe", {}},                                // a note's row shows no name
        {u"12345", {}},       {u"", {0, 1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        const QString typed = QString::fromUtf16(c.typed);
        SCOPED_TRACE(typed.toStdString());
        list_.SetFindText(QString());
        Type(typed);  // narrowing key by key
        EXPECT_EQ(Shown(), c.shown);
        EXPECT_EQ(list_.Filtered(), !typed.isEmpty());
        EXPECT_EQ(list_.TotalRowCount(), 6);
        list_.SetFindText(QStringLiteral("x"));  // a fresh look, not narrowed
        list_.SetFindText(typed);
        EXPECT_EQ(Shown(), c.shown);
    }
}

TEST_F(FindRows, RowNumbersNameTheRowsShown) {
    list_.SetFindText(QStringLiteral("555"));
    ASSERT_EQ(Shown(), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(list_.RowData(1), records_[1].get());
    EXPECT_EQ(list_.CellText(2, ColNumber), QStringLiteral("5550000 "));
    EXPECT_EQ(list_.FindRow(records_[3].get()), 2);
    EXPECT_EQ(list_.FindRow(records_[2].get()), -1);  // hidden
    EXPECT_TRUE(list_.HoldsRecord(records_[2].get()));

    // The selection stays on its records while the find narrows.
    list_.SelectRow(2);
    list_.SetFindText(QStringLiteral("5550"));
    ASSERT_EQ(Shown(), (std::vector<int>{3}));
    EXPECT_EQ(list_.SelectedRows(), std::vector<int>{0});

    // Sorted while found: the same rows, in the new order; all come back in it.
    list_.SetFindText(QStringLiteral("555"));
    list_.SortByColumn(ColNumber, false);
    EXPECT_EQ(Shown(), (std::vector<int>{1, 0, 3}));
    list_.SetFindText(QString());
    ASSERT_EQ(list_.RowCount(), 6);
    EXPECT_TRUE(list_.horizontalHeader()->isSortIndicatorShown());  // the arrow stays
    EXPECT_EQ(list_.horizontalHeader()->sortIndicatorSection(), int{ColNumber});
    EXPECT_LT(list_.FindRow(records_[1].get()), list_.FindRow(records_[0].get()));
    EXPECT_LT(list_.FindRow(records_[0].get()), list_.FindRow(records_[3].get()));

    // Rows removed or added while found: hidden ones go too, new ones show when
    // they match.
    list_.SetFindText(QStringLiteral("555"));
    list_.DeleteRowsOf({records_[1].get(), records_[2].get()});
    EXPECT_EQ(list_.TotalRowCount(), 4);
    EXPECT_EQ(Shown(), (std::vector<int>{0, 3}));
    list_.AppendRecords({records_[1].get(), records_[2].get()});
    EXPECT_EQ(Shown(), (std::vector<int>{0, 3, 1}));
    EXPECT_EQ(list_.TotalRowCount(), 6);
    list_.DeleteRow(0, false);
    EXPECT_EQ(Shown(), (std::vector<int>{3, 1}));
    EXPECT_EQ(list_.DeleteAllRows(), 5);  // the hidden rows as well
    EXPECT_EQ(list_.TotalRowCount(), 0);
}

}  // namespace
}  // namespace lk::gui
