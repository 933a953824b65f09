// Searching a large record list, as the search window does on a full backup
// store: 100,000 records walked last to first under each kind of condition.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "card/RecordSearch.h"

namespace {

using lk::CallRecord;

std::vector<std::unique_ptr<CallRecord>> MakeRecords(int count) {
    std::vector<std::unique_ptr<CallRecord>> records;
    records.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto r = std::make_unique<CallRecord>();
        r->cardBytes[CallRecord::kCardInUseByte] = (i % 50 == 0) ? 0 : 1;
        r->inUse = 1;
        r->type = 2 + i % 7;
        r->time.year = static_cast<std::uint16_t>(2010 + i % 10);
        r->time.month = static_cast<std::uint16_t>(1 + i % 12);
        r->time.day = static_cast<std::uint16_t>(1 + i % 28);
        r->time.hour = static_cast<std::uint16_t>(i % 24);
        r->time.minute = static_cast<std::uint16_t>(i % 60);
        r->time.second = static_cast<std::uint16_t>(i * 7 % 60);
        const std::string digits = "0" + std::to_string(100000000 + i * 7919 % 899999999);
        lk::SetFieldText(r->number, std::u16string(digits.begin(), digits.end()));
        records.push_back(std::move(r));
    }
    return records;
}

lk::SearchConditions Conditions(int kind) {
    lk::SearchConditions c;
    if (kind == 0 || kind == 3) {
        c.numberCond = true;
        c.number = u"555";
    }
    if (kind == 1 || kind == 3) {
        c.dateCond = true;
        c.start = lk::SystemTime{2014, 3, 0, 1, 0, 0, 0, 0};
        c.end = lk::SystemTime{2016, 6, 0, 30, 23, 59, 59, 0};
    }
    if (kind == 2 || kind == 3) {
        c.typeCond = true;
        c.boxes = {true, false, true, true, false};
    }
    return c;
}

void BM_SearchThread(benchmark::State& state) {
    const auto records = MakeRecords(static_cast<int>(state.range(0)));
    const auto conditions = Conditions(static_cast<int>(state.range(1)));
    lk::NoProgress none;
    std::size_t matches = 0;
    for (auto _ : state) {
        const auto result = lk::SearchThread(records, conditions, {}, none, {});
        matches = result.matches.size();
        benchmark::DoNotOptimize(matches);
    }
    state.counters["matches"] = static_cast<double>(matches);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
// Second argument: 0 number, 1 date range, 2 type boxes, 3 all three.
BENCHMARK(BM_SearchThread)
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Args({100000, 2})
    ->Args({100000, 3})
    ->Unit(benchmark::kMillisecond);

}  // namespace
