#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "card/RecordSearch.h"
#include "support/RecordedProgress.h"
#include "support/TempDir.h"

namespace lk {
namespace {

using Records = std::vector<std::unique_ptr<CallRecord>>;

SystemTime At(int y, int mo, int d, int h, int mi, int s) {
    SystemTime t;
    t.year = static_cast<std::uint16_t>(y);
    t.month = static_cast<std::uint16_t>(mo);
    t.day = static_cast<std::uint16_t>(d);
    t.hour = static_cast<std::uint16_t>(h);
    t.minute = static_cast<std::uint16_t>(mi);
    t.second = static_cast<std::uint16_t>(s);
    return t;
}

std::unique_ptr<CallRecord> Rec(int type, std::u16string number, SystemTime time,
                                bool live = true) {
    auto r = std::make_unique<CallRecord>();
    r->cardBytes[CallRecord::kCardInUseByte] = live ? 1 : 0;
    r->inUse = live ? 1 : 0;
    r->type = type;
    r->time = time;
    SetFieldText(r->number, number);
    return r;
}

SearchConditions Number(std::u16string text) {
    SearchConditions c;
    c.numberCond = true;
    c.number = std::move(text);
    return c;
}

SearchConditions Range(SystemTime from, SystemTime to) {
    SearchConditions c;
    c.dateCond = true;
    c.start = from;
    c.end = to;
    return c;
}

SearchConditions Types(SearchTypeBoxes boxes) {
    SearchConditions c;
    c.typeCond = true;
    c.boxes = boxes;
    return c;
}

TEST(RecordMatches, AppliesEachCondition) {
    const auto noon = At(2016, 1, 2, 12, 0, 0);
    struct Case {
        const char* what;
        SearchConditions conditions;
        int type;
        const char16_t* number;
        SystemTime time;
        bool matches;
    } cases[] = {
        {"part at the start", Number(u"555"), Incoming, u"5551234", noon, true},
        {"part inside", Number(u"555"), Incoming, u"0105559", noon, true},
        {"no punctuation removed", Number(u"555"), Incoming, u"55-5", noon, false},
        {"case-sensitive", Number(u"a"), Note, u"A1", noon, false},
        {"same second at both ends", Range(noon, noon), Incoming, u"1", noon, true},
        {"one second later", Range(noon, noon), Incoming, u"1", At(2016, 1, 2, 12, 0, 1), false},
        {"start included", Range(noon, At(2016, 1, 3, 0, 0, 0)), Incoming, u"1", noon, true},
        {"before the start", Range(noon, At(2016, 1, 3, 0, 0, 0)), Incoming, u"1",
         At(2016, 1, 2, 11, 59, 59), false},
        {"invalid record date", Range(At(2000, 1, 1, 0, 0, 0), At(2100, 1, 1, 0, 0, 0)), Incoming,
         u"1", At(2016, 13, 16, 12, 0, 0), false},
        {"notes box takes note", Types({false, false, false, true, false}), Note, u"", noon, true},
        {"notes box takes note2", Types({false, false, false, true, false}), Note2, u"", noon,
         true},
        {"notes box takes triggered", Types({false, false, false, true, false}), Triggered, u"",
         noon, true},
        {"notes box leaves incoming", Types({false, false, false, true, false}), Incoming, u"",
         noon, false},
        {"missed box", Types({false, false, true, false, false}), Missed, u"", noon, true},
        {"outgoing box", Types({false, true, false, false, false}), Outgoing, u"", noon, true},
        {"incoming box leaves missed", Types({true, false, false, false, false}), Missed, u"", noon,
         false},
        {"message box", Types({false, false, false, false, true}), Message, u"", noon, true},
        {"unknown type in no box", Types({true, true, true, true, true}), 9, u"", noon, false},
    };
    for (const auto& c : cases) {
        const auto r = Rec(c.type, c.number, c.time);
        EXPECT_EQ(RecordMatches(*r, EffectiveConditions(c.conditions)), c.matches) << c.what;
    }
}

TEST(RecordMatches, RecordsNotInUseNeverMatch) {
    const auto dead = Rec(Incoming, u"5551234", At(2016, 1, 2, 12, 0, 0), false);
    EXPECT_FALSE(RecordMatches(*dead, Number(u"555")));
    EXPECT_FALSE(RecordMatches(*dead, Types({true, true, true, true, true})));
}

TEST(EffectiveConditions, DropsEmptyConditions) {
    auto c = EffectiveConditions(Number(u""));
    EXPECT_FALSE(c.numberCond);
    EXPECT_FALSE(AnyCondition(c));
    c = EffectiveConditions(Types({}));
    EXPECT_FALSE(c.typeCond);
    SearchConditions both = Number(u"1");
    both.typeCond = true;  // ticked with no box: searches all types
    EXPECT_TRUE(RecordMatches(*Rec(Message, u"1", {}), EffectiveConditions(both)));
}

TEST(AutomationDate, CountsDaysFromTheEndOf1899) {
    EXPECT_EQ(AutomationDate(At(1899, 12, 30, 0, 0, 0)), 0.0);
    EXPECT_EQ(AutomationDate(At(1900, 1, 1, 0, 0, 0)), 2.0);
    EXPECT_EQ(AutomationDate(At(2016, 1, 2, 12, 0, 0)), 42371.5);
    EXPECT_FALSE(AutomationDate(At(2015, 2, 29, 0, 0, 0)));
    EXPECT_TRUE(AutomationDate(At(2016, 2, 29, 0, 0, 0)));
    EXPECT_FALSE(AutomationDate(At(2016, 1, 1, 24, 0, 0)));
}

TEST(SearchThread, ListsMatchesFromTheLastRecordToTheFirst) {
    Records records;
    records.push_back(Rec(Incoming, u"5551", At(2016, 1, 1, 0, 0, 0)));
    records.push_back(Rec(Outgoing, u"9999", At(2016, 1, 2, 0, 0, 0)));
    records.push_back(Rec(Missed, u"0555", At(2016, 1, 3, 0, 0, 0), false));
    records.push_back(Rec(Message, u"1555", At(2016, 1, 4, 0, 0, 0)));

    std::vector<const CallRecord*> added;
    test::RecordedProgress progress;
    const auto result = SearchThread(
        records, Number(u"555"), [&](const CallRecord& r) { added.push_back(&r); }, progress, {});
    EXPECT_TRUE(result.searched);
    EXPECT_EQ(result.walked, 4);
    EXPECT_EQ(progress.positions, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(progress.ends, 1);
    EXPECT_EQ(added, (std::vector<const CallRecord*>{records[3].get(), records[0].get()}));
    EXPECT_EQ(result.matches, added);
}

TEST(SearchThread, WithoutConditionsTouchesNothing) {
    Records records;
    records.push_back(Rec(Incoming, u"1", {}));
    bool called = false;
    test::RecordedProgress progress;
    const auto result =
        SearchThread(records, Number(u""), [&](const CallRecord&) { called = true; }, progress, {});
    EXPECT_FALSE(result.searched);
    EXPECT_FALSE(called);
    EXPECT_EQ(progress.begins, 0);
}

TEST(SearchThread, AStopKeepsTheResultsFoundSoFar) {
    Records records;
    for (int i = 0; i < 10; ++i)
        records.push_back(Rec(Incoming, u"1", {}));
    test::RecordedProgress progress;
    const auto result = SearchThread(
        records, Types({true, false, false, false, false}),
        [&](const CallRecord&) { progress.source.request_stop(); }, progress, progress.Token());
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.matches.size(), 1u);
    EXPECT_EQ(result.matches[0], records[9].get());
    EXPECT_EQ(progress.ends, 0);
}

TEST(SearchSettings, RoundTripThroughTheSettingsFile) {
    test::TempHome home;
    SearchConditions c = Number(u"0105");
    c.dateCond = true;
    EXPECT_TRUE(WriteSearchSettings(EffectiveConditions(c)));
    auto s = ReadSearchSettings();
    EXPECT_TRUE(s.dateCond);
    EXPECT_TRUE(s.numberCond);
    EXPECT_EQ(s.number, u"0105");

    EXPECT_TRUE(WriteSearchSettings(EffectiveConditions(Number(u""))));
    s = ReadSearchSettings();
    EXPECT_FALSE(s.numberCond);
    EXPECT_EQ(s.number, u"");
}

}  // namespace
}  // namespace lk
