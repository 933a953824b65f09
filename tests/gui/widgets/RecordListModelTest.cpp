// The record list as a lazy model: cells made from the records when asked,
// sorts equal to sorting texts made up front, kept keys dropped with the
// rows they describe, and rows gone before their records are freed.

#include <gtest/gtest.h>

#include <QLocale>
#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <unordered_set>
#include <vector>

#include "card/RecordLists.h"
#include "platform/TextCodec.h"
#include "records/RecordRow.h"
#include "support/Icons.h"
#include "support/TempDir.h"
#include "widgets/CSortListCtrl.h"
#include "widgets/SortKey.h"

namespace lk::gui {
namespace {

RowLabels TestLabels() {
    RowLabels labels;
    const char* names[] = {"In", "Missed", "Out", "Memo", "Memo 2", "Trigger", "Message"};
    for (int t = Incoming; t <= Message; ++t)
        labels.typeNames[static_cast<std::size_t>(t)] = names[t - Incoming];
    return labels;
}

// Records with many ties and the values at the edges of each column's rules.
RecordList MakeRecords(const std::filesystem::path& dir) {
    lk::test::WriteFile(dir / "short.wav", std::vector<std::uint8_t>(20, 1));
    lk::test::WriteFile(dir / "copy.tmp.wav", std::vector<std::uint8_t>(20, 1));
    const std::string paths[] = {
        (dir / "short.wav").string(),
        (dir / "gone.wav").string(),
        (dir / "copy.tmp.wav").string(),
        (dir / "no-folder" / "x.xtr").string(),
        dir.string() + "/",
        "",
    };
    const int seconds[] = {-5, 0, 59, 59, 3600, 359999, 360000, INT_MAX};
    const int types[] = {Incoming, Missed, Outgoing, Note, Note2, Triggered, Message, 42, 0};
    const char* numbers[] = {"", "10", "9", "abc", "1.5", "0049 30 1234"};
    const char* names[] = {"", "Ann", "ann", "Bob"};
    RecordList records;
    for (int i = 0; i < 240; ++i) {
        auto r = std::make_unique<CallRecord>();
        r->type = types[i % 9];
        r->marked = i % 4 == 0 ? 1 : 0;
        // Few distinct times, one invalid date among them.
        const int day = i % 5;
        r->time = SystemTime{2016,
                             static_cast<std::uint16_t>(day == 4 ? 13 : 1),
                             0,
                             static_cast<std::uint16_t>(day + 1),
                             static_cast<std::uint16_t>(i % 3),
                             0,
                             0,
                             0};
        r->callSeconds = seconds[i % 8];
        r->recordSeconds = seconds[(i / 8) % 8];
        SetFieldText(r->number, FromUtf8(numbers[i % 6]));
        SetFieldText(r->name, FromUtf8(names[i % 4]));
        SetFieldText(r->filePath, FromUtf8(paths[i % 6]));
        records.push_back(std::move(r));
    }
    return records;
}

// The order a list of texts made up front gives: each cell's text made once,
// parsed as a key (dates by their point in time), rows stably sorted.
class EagerOrder {
  public:
    EagerOrder(const RecordCells& cells, std::vector<CallRecord*> rows)
        : cells_(cells), rows_(std::move(rows)) {}

    void Sort(int column, bool ascending) {
        const QLocale locale;
        std::vector<SortKey> keys;
        for (CallRecord* r : rows_) {
            if (!r) {  // the row set by hand: its text in column 0 only
                keys.push_back(MakeSortKey(column == 0 ? kHandText : QString(), locale));
                continue;
            }
            ListRow row;
            row.data = r;
            // Icon columns order by what the icons mean.
            if (const auto rank = cells_.RankOf(row, column)) {
                SortKey k;
                k.number = *rank;
                keys.push_back(k);
                continue;
            }
            const QString text = cells_.Text(row, column);
            keys.push_back(column == ColTime ? MakeTimeKey(text, RecordTimeKey(*r))
                                             : MakeSortKey(text, locale));
        }
        std::vector<std::size_t> order(rows_.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const int c = CompareSortKeys(keys[a], keys[b]);
            return ascending ? c < 0 : c > 0;
        });
        std::vector<CallRecord*> sorted;
        for (std::size_t i : order)
            sorted.push_back(rows_[i]);
        rows_ = std::move(sorted);
    }
    const std::vector<CallRecord*>& Rows() const { return rows_; }
    void Append(CallRecord* r) { rows_.push_back(r); }

    static inline const QString kHandText = QStringLiteral("00:00:30");

  private:
    const RecordCells& cells_;
    std::vector<CallRecord*> rows_;
};

std::vector<CallRecord*> ListedRecords(const CSortListCtrl& list) {
    std::vector<CallRecord*> out;
    for (int r = 0; r < list.RowCount(); ++r)
        out.push_back(list.RowData(r));
    return out;
}

class LazyRows : public ::testing::Test {
  protected:
    void SetUp() override {
        records_ = MakeRecords(dir_.path());
        for (int c = 0; c < kRecordColumns; ++c)
            list_.InsertColumn(c, QString::number(c), 60);
        list_.SetRowSource(cells_);
    }
    std::vector<CallRecord*> Pointers() const {
        std::vector<CallRecord*> out;
        for (const RecordPtr& r : records_)
            out.push_back(r.get());
        return out;
    }

    lk::test::TempDir dir_;
    std::atomic<int> family_{0};
    std::shared_ptr<RecordCells> cells_ = std::make_shared<RecordCells>(family_, TestLabels());
    RecordList records_;
    CSortListCtrl list_;
};

TEST_F(LazyRows, SortsEqualSortingTextsMadeUpFront) {
    list_.AppendRecords(Pointers());
    EagerOrder eager(*cells_, Pointers());
    struct Step {
        int column;
        bool ascending;
    };
    std::vector<Step> steps;
    for (int c = 0; c < kRecordColumns; ++c)
        steps.insert(steps.end(), {{c, true}, {c, false}, {c, true}});
    for (int c = kRecordColumns - 1; c >= 0; --c)  // from orders left by other columns
        steps.insert(steps.end(), {{c, false}, {(c + 4) % kRecordColumns, true}});
    const auto run = [&](const char* rows) {
        for (const Step& s : steps) {
            list_.SortByColumn(s.column, s.ascending);
            eager.Sort(s.column, s.ascending);
            ASSERT_EQ(ListedRecords(list_), eager.Rows())
                << rows << ", column " << s.column << (s.ascending ? " ascending" : " descending");
        }
    };
    run("records only");
    // A row without a record puts a text among the times of the time and
    // duration columns, whose keys then need their texts too.
    list_.InsertRow(list_.RowCount(), EagerOrder::kHandText, -1);
    eager.Append(nullptr);
    run("with a row set by hand");

    // What the rows learnt from the files while sorting is what a fresh row
    // finds out.
    for (int r = 0; r < list_.RowCount(); ++r) {
        CallRecord* record = list_.RowData(r);
        if (!record) continue;
        ListRow fresh;
        fresh.data = record;
        EXPECT_EQ(list_.CellImage(r, ColRecording), cells_->Image(fresh, ColRecording))
            << FilePathText(*record).toStdString();
        EXPECT_EQ(list_.CellText(r, ColRecordLength), cells_->Text(fresh, ColRecordLength));
        // The texts a sort writes into its buffer are those the cells show.
        for (int c = 0; c < kRecordColumns; ++c) {
            std::u16string appended = u"|";
            cells_->AppendText(fresh, c, appended);
            EXPECT_EQ(QString::fromStdU16String(appended), "|" + cells_->Text(fresh, c)) << c;
        }
    }
}

TEST_F(LazyRows, ShowTheirRecordAsItIsNow) {
    QVector<QString> imageTexts(IconMarked + 1);
    imageTexts[IconMarked] = "marked";
    list_.SetImageTexts(imageTexts);
    list_.AppendRecords(Pointers());
    list_.SortByColumn(ColCallLength, true);
    CallRecord* first = list_.RowData(0);
    first->callSeconds = 61;
    first->marked = 1;
    list_.RefreshRow(0);
    const QModelIndex cell = list_.Model()->index(0, ColCallLength);
    EXPECT_EQ(cell.data(Qt::DisplayRole).toString(), "00:01:01");
    EXPECT_EQ(list_.CellImage(0, ColMark), IconMarked);
    EXPECT_EQ(list_.Model()->index(0, ColMark).data(Qt::AccessibleTextRole).toString(), "marked");

    // Rows removed in the middle: every row still shows its own record.
    std::unordered_set<const CallRecord*> gone;
    for (int r = 1; r < list_.RowCount(); r += 3)
        gone.insert(list_.RowData(r));
    list_.DeleteRowsOf(gone);
    for (int r = 0; r < list_.RowCount(); ++r) {
        ListRow fresh;
        fresh.data = list_.RowData(r);
        ASSERT_EQ(gone.count(fresh.data), 0u);
        for (int c = 0; c < kRecordColumns; ++c)
            ASSERT_EQ(list_.Model()->index(r, c).data(Qt::DisplayRole).toString(),
                      cells_->Text(fresh, c))
                << "row " << r << " column " << c;
    }

    // New labels reach the shown texts and the next sort by type.
    RowLabels renamed = TestLabels();
    renamed.typeNames[Incoming] = "zz incoming";
    cells_->Reload(renamed);
    list_.RowSourceChanged();
    list_.SortByColumn(ColType, true);
    const int last = list_.RowCount() - 1;
    EXPECT_EQ(list_.CellText(last, ColType), "zz incoming");
    EXPECT_EQ(list_.RowData(last)->type, Incoming);
}

TEST_F(LazyRows, KeptKeysGoWhenRowsOrTheirCellsChange) {
    struct Case {
        const char* what;
        std::function<void(CSortListCtrl&, const RecordList&)> change;
    };
    const Case cases[] = {
        {"rows added",
         [](CSortListCtrl& l, const RecordList& recs) { l.AppendRecords({recs[0].get()}); }},
        {"a row deleted", [](CSortListCtrl& l, const RecordList&) { l.DeleteRow(0, false); }},
        {"rows of records deleted",
         [](CSortListCtrl& l, const RecordList&) {
             l.DeleteRowsOf({l.RowData(0), l.RowData(5)});
         }},
        {"a cell set by hand",
         [](CSortListCtrl& l, const RecordList&) {
             l.SetCellText(l.RowCount() - 1, ColPath, "/");
         }},
        {"a row's record replaced",
         [](CSortListCtrl& l, const RecordList& recs) { l.SetRowData(0, recs[1].get()); }},
        {"new labels", [](CSortListCtrl& l, const RecordList&) { l.RowSourceChanged(); }},
        {"emptied and refilled",
         [](CSortListCtrl& l, const RecordList& recs) {
             l.DeleteAllRows();
             l.AppendRecords({recs[3].get(), recs[2].get()});
         }},
    };
    for (const Case& c : cases) {
        list_.DeleteAllRows();
        list_.AppendRecords(Pointers());
        list_.SortByColumn(ColPath, true);
        ASSERT_EQ(list_.Model()->KeyedColumn(), ColPath);
        c.change(list_, records_);
        EXPECT_EQ(list_.Model()->KeyedColumn(), -1) << c.what;

        // The next sort sees the rows as they are now.
        list_.SortByColumn(ColPath, false);
        for (int r = 1; r < list_.RowCount(); ++r)
            ASSERT_GE(list_.CellText(r - 1, ColPath), list_.CellText(r, ColPath))
                << c.what << ", row " << r;
    }
    // Only a change of the kept column drops its keys.
    list_.SortByColumn(ColNumber, true);
    list_.SetCellText(0, ColPath, "x");
    EXPECT_EQ(list_.Model()->KeyedColumn(), ColNumber);
}

TEST_F(LazyRows, ARowWhoseRecordIsFreedIsGone) {
    RecordLists lists;
    std::vector<CallRecord*> shown;
    for (RecordPtr& r : records_)
        shown.push_back(lists.Append(RecordListId::Backup, std::move(r)));
    // As the application does: the lists tell, the rows go.
    const int id = lists.Listen(
        [this](const LeavingRecords& leaving) { list_.DeleteRowsOf(leaving.records); });
    list_.AppendRecords(shown);
    list_.AppendRecords({shown[7]});  // a record may have two rows
    // Keys of the path column view the records' own memory.
    list_.SortByColumn(ColPath, true);

    ASSERT_TRUE(lists.Remove(RecordListId::Backup, shown[7]));
    EXPECT_EQ(list_.RowCount(), static_cast<int>(shown.size()) - 1);
    EXPECT_EQ(list_.FindRow(shown[7]), -1);
    EXPECT_EQ(list_.Model()->KeyedColumn(), -1);  // its keys viewed the freed record
    // A sort after it sees only the records left, and nothing reads the freed
    // one (the sanitizer would tell).
    list_.SortByColumn(ColPath, false);
    std::unordered_set<const CallRecord*> left;
    for (const RecordPtr& r : lists.Backup())
        left.insert(r.get());
    for (int r = 0; r < list_.RowCount(); ++r) {
        ASSERT_EQ(left.count(list_.RowData(r)), 1u) << r;
        for (int c = 0; c < kRecordColumns; ++c)
            (void)list_.Model()->index(r, c).data(Qt::DisplayRole);
    }

    lists.ReplaceAll(RecordListId::Backup);
    EXPECT_EQ(list_.RowCount(), 0);
    lists.StopListening(id);
}

TEST(SortKeys, DecimalReadingsKeepTheirEdges) {
    struct Case {
        const char* text;
        bool number;
    };
    const Case cases[] = {
        {"5", true},        {" 5", true},        {"-3", true},  {"+2", true},  {".5", true},
        {"1.5%", true},     {"inf", true},       {"nan", true}, {"1e3", true}, {"5 ", false},
        {"/5", false},      {"x5", false},       {"5x", false}, {"", false},   {"١", false},
        {"Infinity", true}, {"Incoming", false},
    };
    const QLocale locale;
    for (const Case& c : cases)
        EXPECT_EQ(MakeSortKey(QString::fromUtf8(c.text), locale).number.has_value(), c.number)
            << c.text;
}

TEST(SortKeys, OrderOfTextsEqualsComparingTheKeysOneByOne) {
    const QString longPath = "/home/office/LineKeeper/store/201001/recording-of-the-day-";
    struct Set {
        const char* what;
        bool textsOnly;  // no key reads as a number or a time
        std::vector<QString> starts, ends;
    };
    const Set sets[] = {
        // Some read as numbers ("a", "abcd" are hexadecimal): the mixed rules.
        {"texts and numbers",
         false,
         {"", "a", "ab", "abcd", "abcde", "abcdf", QString(QChar(0)), QString("a") + QChar(0),
          QString("a") + QChar(0) + "b", QString(QChar(0x20AC)), "B", "/s/2010/r1", "/s/2010/r10"},
         {"", "a", "ab"}},
        // Texts alone: equal in their first four or eight units, ending
        // there, embedded zeros, units above the ASCII range and surrogates.
        {"texts only",
         true,
         {"x", "xb", "xbcd", "xbcde", "xbcdf", "xbcdefgh", "xbcdefghi", QString("x") + QChar(0),
          QString("x") + QChar(0) + "b", QString("xbcd") + QChar(0), QString(QChar(0x20AC)),
          QString::fromUtf8("x\xF0\x9F\x98\x80"), QString("x") + QChar(0xFFFF), "Z", ""},
         {"", "y", "yy", QString(QChar(0))}},
        // Long texts that share most of their length, and equal ones.
        {"long paths",
         true,
         {longPath + "1.xtr", longPath + "10.xtr", longPath + "2.xtr", longPath, longPath + "1.xtr",
          "/home/office/LineKeeper/store/201002/a.xtr"},
         {"", ".bak", "/x"}},
    };
    const QLocale locale;
    for (const Set& set : sets) {
        const std::size_t n = set.starts.size(), m = set.ends.size();
        std::vector<SortKey> keys;
        for (std::size_t i = 0; i < 400; ++i)
            keys.push_back(MakeSortKey(set.starts[(i * 7) % n] + set.ends[(i / n) % m], locale));
        EXPECT_EQ(std::none_of(keys.begin(), keys.end(),
                               [](const SortKey& k) { return k.hex || k.number || k.time; }),
                  set.textsOnly)
            << set.what;
        for (const bool ascending : {true, false}) {
            std::vector<int> expected(keys.size());
            std::iota(expected.begin(), expected.end(), 0);
            std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
                const int c = CompareSortKeys(keys[static_cast<std::size_t>(a)],
                                              keys[static_cast<std::size_t>(b)]);
                return ascending ? c < 0 : c > 0;
            });
            EXPECT_EQ(SortedOrder(keys, ascending), expected) << set.what << ", " << ascending;
        }
    }
    EXPECT_TRUE(SortedOrder({}, true).empty());
    EXPECT_EQ(SortedOrder({MakeSortKey("x", locale)}, false), std::vector<int>{0});
}

TEST(SortKeys, DurationsSitWhereTheirTextsDo) {
    const QLocale locale;
    for (const int s : {0, 59, 3600, 359999, INT_MAX}) {
        const SortKey parsed = MakeSortKey(FormatSeconds(s), locale);
        ASSERT_TRUE(parsed.time.has_value()) << s;
        EXPECT_EQ(*parsed.time, DurationAxisMsecs(s)) << s;
    }
}

}  // namespace
}  // namespace lk::gui
