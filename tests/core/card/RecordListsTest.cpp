#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "card/RecordLists.h"

namespace lk {
namespace {

RecordPtr Record(int index) {
    auto r = std::make_unique<CallRecord>();
    r->index = index;
    return r;
}

// Remembers what each announcement named, reading the records while told
// (ASan turns a record freed too early into a failure here).
struct Ear {
    std::vector<std::pair<RecordListId, std::set<int>>> heard;
    void operator()(const LeavingRecords& l) {
        std::set<int> indexes;
        for (const CallRecord* r : l.records)
            indexes.insert(r->index);
        heard.emplace_back(l.list, indexes);
    }
};

TEST(RecordLists, MutatorsAnnounceTheRecordsThatGoBeforeFreeingThem) {
    struct Step {
        const char* what;
        void (*run)(RecordLists&);
        std::vector<std::pair<RecordListId, std::set<int>>> heard;
        std::size_t cardSize, backupSize;
    };
    const Step steps[] = {
        {"append tells nobody",
         [](RecordLists& l) {
             for (int i = 0; i < 3; ++i)
                 l.Append(RecordListId::Card, Record(i));
             l.Append(RecordListId::Backup, Record(10));
         },
         {},
         3,
         1},
        {"remove names one record of its list",
         [](RecordLists& l) { EXPECT_TRUE(l.Remove(RecordListId::Card, l.Card()[1].get())); },
         {{RecordListId::Card, {1}}},
         2,
         1},
        {"a record of another list is not removed",
         [](RecordLists& l) { EXPECT_FALSE(l.Remove(RecordListId::Card, l.Backup()[0].get())); },
         {},
         2,
         1},
        {"replace all names every old record",
         [](RecordLists& l) {
             RecordList fresh;
             fresh.push_back(Record(7));
             l.ReplaceAll(RecordListId::Card, std::move(fresh));
         },
         {{RecordListId::Card, {0, 2}}},
         1,
         1},
        {"emptying an empty list tells nobody",
         [](RecordLists& l) { l.ReplaceAll(RecordListId::Folder); },
         {},
         1,
         1},
    };
    RecordLists lists;
    Ear ear;
    const int id = lists.Listen([&](const LeavingRecords& l) { ear(l); });
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        ear.heard.clear();
        s.run(lists);
        EXPECT_EQ(ear.heard, s.heard);
        EXPECT_EQ(lists.Card().size(), s.cardSize);
        EXPECT_EQ(lists.Backup().size(), s.backupSize);
    }
    lists.StopListening(id);
}

TEST(RecordLists, NullsAndStoppedListenersAreIgnored) {
    RecordLists lists;
    EXPECT_EQ(lists.Append(RecordListId::Folder, nullptr), nullptr);
    EXPECT_TRUE(lists.Folder().empty());
    EXPECT_FALSE(lists.Remove(RecordListId::Folder, nullptr));
    CallRecord* kept = lists.Append(RecordListId::Folder, Record(4));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(lists.Folder()[0].get(), kept);

    int first = 0, second = 0;
    const int a = lists.Listen([&](const LeavingRecords&) { ++first; });
    const int b = lists.Listen([&](const LeavingRecords&) { ++second; });
    lists.StopListening(a);
    lists.ReplaceAll(RecordListId::Folder);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    lists.StopListening(b);
}

TEST(RecordLists, TheListsAnnounceTheirRecordsWhenTheyEnd) {
    Ear ear;
    {
        RecordLists lists;
        lists.Append(RecordListId::Backup, Record(5));
        lists.Append(RecordListId::Folder, Record(6));
        (void)lists.Listen([&](const LeavingRecords& l) { ear(l); });
    }
    const std::vector<std::pair<RecordListId, std::set<int>>> expected = {
        {RecordListId::Backup, {5}}, {RecordListId::Folder, {6}}};
    EXPECT_EQ(ear.heard, expected);
}

}  // namespace
}  // namespace lk
