// Pure rules of the record panes and the search window: which pages a record
// goes to, the order the panes are filled in, and the search's type boxes.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "dialogs/SearchTypeBoxes.h"
#include "records/RecordPages.h"
#include "support/RecordedProgress.h"

namespace lk::gui {
namespace {

CallRecord LiveRecord(int type, int marked = 0) {
    CallRecord r;
    r.cardBytes[CallRecord::kCardInUseByte] = 1;
    r.inUse = 1;
    r.type = type;
    r.marked = marked;
    return r;
}

std::vector<int> Panes(const CallRecord& r) {
    const auto routing = DistributeRecord(&r);
    if (!routing) return {-1};
    return {routing->begin(), routing->end()};
}

TEST(DistributeRecord, RoutesEveryTypeInOrderOfAdding) {
    struct Case {
        int type;
        int marked;
        std::vector<int> panes;
    };
    const Case cases[] = {
        {Incoming, 0, {1, 3}},
        {Missed, 0, {1, 3, 8}},
        {Outgoing, 0, {2, 1}},
        {Note, 0, {1, 4}},
        {Note2, 0, {1, 4}},
        {Triggered, 0, {1, 5}},
        {Message, 0, {1, 6}},
        {0, 0, {}},
        {9, 0, {}},
        {Missed, 1, {7, 1, 3, 8}},
        {Outgoing, 1, {7, 2, 1}},
        {42, 1, {7}},
        {Incoming, 2, {1, 3}},  // only the value 1 means marked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " marked " << c.marked);
        EXPECT_EQ(Panes(LiveRecord(c.type, c.marked)), c.panes);
    }
}

// The rows a mark changes are those of every page the record can be on.
TEST(DistributeRecord, AMarkReachesEveryPageOfTheRecord) {
    for (int type : {int{Incoming}, int{Missed}, int{Outgoing}, int{Note}, int{Note2},
                     int{Triggered}, int{Message}, 42}) {
        SCOPED_TRACE(type);
        const PaneRouting following = PagesFollowingMark(LiveRecord(type));
        const std::vector<int> pages(following.begin(), following.end());
        for (int page : Panes(LiveRecord(type, 1)))
            EXPECT_NE(std::find(pages.begin(), pages.end(), page), pages.end()) << page;
        EXPECT_NE(std::find(pages.begin(), pages.end(), int{PageSearch}), pages.end());
    }
}

TEST(DistributeRecord, RefusesMissingAndDeletedRecords) {
    EXPECT_FALSE(DistributeRecord(nullptr));
    CallRecord deleted = LiveRecord(Incoming);
    deleted.cardBytes[CallRecord::kCardInUseByte] = 0;
    EXPECT_FALSE(DistributeRecord(&deleted));
    deleted.cardBytes[CallRecord::kCardInUseByte] = 2;  // only 1 is live
    EXPECT_FALSE(DistributeRecord(&deleted));
}

TEST(PopulatePanes, FillsNewestFirstAndCountsOnlyRoutedRecords) {
    RecordList list;
    for (int i = 0; i < 4; ++i) {
        list.push_back(std::make_unique<CallRecord>(LiveRecord(i == 1 ? Outgoing : Incoming)));
        list.back()->index = i;
    }
    list[2]->cardBytes[CallRecord::kCardInUseByte] = 0;

    std::vector<std::pair<int, int>> rows;  // category, record index
    test::RecordedProgress progress;
    const auto r = PopulatePanes(
        list, [&](int category, CallRecord& rec) { rows.emplace_back(category, rec.index); },
        progress, {});
    const std::vector<std::string>& texts = progress.messages;
    EXPECT_EQ(progress.totals, std::vector<int>(5, 4));

    const std::vector<std::pair<int, int>> expected = {{1, 3}, {3, 3}, {2, 1},
                                                       {1, 1}, {1, 0}, {3, 0}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(r.total, 3);
    EXPECT_EQ(r.handled, 4);
    EXPECT_EQ(texts.back(), "4/3");
}

TEST(PopulatePanes, StopsWhenAskedWithoutEndingTheDialog) {
    RecordList list;
    list.push_back(std::make_unique<CallRecord>(LiveRecord(Incoming)));
    test::RecordedProgress progress;
    progress.source.request_stop();
    const auto r = PopulatePanes(list, {}, progress, progress.Token(), true);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(progress.ends, 0);
}

TEST(TypeBoxes, FollowThePageTheWindowWasOpenedFrom) {
    using B = SearchTypeBoxes;
    struct Case {
        int page;
        B enabled;
        B ticked;
    } cases[] = {
        {2, {false, true, false, false, false}, {false, true, false, false, false}},
        {3, {true, false, true, false, false}, {true, false, true, false, false}},
        {4, {false, false, false, true, false}, {false, false, false, true, false}},
        {6, {false, false, false, false, false}, {false, false, false, false, true}},
        {1, {true, true, true, true, false}, {true, true, true, true, false}},
        {9, {true, true, true, true, false}, {true, true, true, true, false}},
    };
    for (const auto& c : cases) {
        const auto s = InitialTypeBoxes(c.page);
        EXPECT_EQ(s.enabled, c.enabled) << c.page;
        EXPECT_EQ(s.ticked, c.ticked) << c.page;
    }
}

TEST(TypeBoxes, GroupClickDisablesOrResetsByPage) {
    TypeBoxState current;
    current.ticked = {true, false, false, false, false};
    const auto off = TypeBoxesAfterGroupClick(1, false, current);
    EXPECT_EQ(off.enabled, (SearchTypeBoxes{}));
    EXPECT_EQ(off.ticked, current.ticked);

    // On the incoming page, missed stays ticked but is no longer enabled.
    const auto incoming = TypeBoxesAfterGroupClick(3, true, InitialTypeBoxes(3));
    EXPECT_EQ(incoming.enabled, (SearchTypeBoxes{true, false, false, false, false}));
    EXPECT_EQ(incoming.ticked, (SearchTypeBoxes{true, false, true, false, false}));

    const auto any = TypeBoxesAfterGroupClick(7, true, current);
    EXPECT_EQ(any.ticked, (SearchTypeBoxes{true, true, true, true, false}));
}

}  // namespace
}  // namespace lk::gui
