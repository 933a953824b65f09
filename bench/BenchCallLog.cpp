// Parsing speed of whole call logs and backup stores, in records per second.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "card/CallLog.h"
#include "card/CallRecord.h"

namespace {

constexpr int kRecords = 100000;

std::vector<std::uint8_t> MakeLog(int devType) {
    std::vector<std::uint8_t> log;
    for (int i = 0; i < kRecords; ++i) {
        lk::CardRecordFields f;
        f.type = 2 + i % 7;
        f.year = 2016;
        f.month = 1 + i % 12;
        f.day = 1 + i % 28;
        f.hour = i % 24;
        f.minute = i % 60;
        f.number = u"555" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u"1234";
        char16_t name[64];
        std::size_t n = 0;
        const std::u16string folder = devType == 1 ? u"RECORD\\201601\\" : u"201601\\";
        for (char16_t c : folder)
            name[n++] = c;
        for (char16_t c : std::u16string(u"20160102102033-I-5551234.wav"))
            name[n++] = c;
        f.relativePath = std::u16string(name, n);
        const auto rec = lk::BuildCardRecord(f, devType);
        log.insert(log.end(), rec.begin(), rec.end());
    }
    return log;
}

lk::ContactList MakeContacts() {
    lk::ContactList contacts(200);
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        lk::SetFieldText(contacts[i].displayName, u"Contact");
        lk::SetFieldText(
            contacts[i].numbers[0],
            u"0099" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u"77777");
    }
    return contacts;
}

void ParseCardLog(benchmark::State& state, int devType, bool withContacts) {
    const auto log = MakeLog(devType);
    const auto contacts = withContacts ? MakeContacts() : lk::ContactList{};
    const lk::CardVolume card{'E', "/media/card", "CP1252"};
    const std::size_t size = static_cast<std::size_t>(lk::RecordSize(devType, true));
    for (auto _ : state) {
        int kept = 0;
        for (std::size_t off = 0; off + size <= log.size(); off += size) {
            lk::CallRecord r;
            const lk::ByteSpan raw(log.data() + off, size);
            kept += devType == 1 ? lk::ParseCardRecord256(raw, r, card, contacts)
                                 : lk::ParseCardRecord128(raw, r, card, contacts);
        }
        benchmark::DoNotOptimize(kept);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_ParseFamily0Log(benchmark::State& s) {
    ParseCardLog(s, 0, false);
}
void BM_ParseFamily1Log(benchmark::State& s) {
    ParseCardLog(s, 1, false);
}
void BM_ParseFamily0LogWith200Contacts(benchmark::State& s) {
    ParseCardLog(s, 0, true);
}

void BM_ReadStoreImages(benchmark::State& state) {
    std::vector<std::uint8_t> store;
    store.reserve(static_cast<std::size_t>(kRecords) * lk::CallRecord::kSize);
    lk::CallRecord r;
    r.cardBytes[0] = 1;
    r.inUse = 1;
    lk::SetFieldText(
        r.filePath,
        u"/home/user/Store/ZuzeVavazoBackup/201601/20160102/20160102102033-I-5551234.wav");
    for (int i = 0; i < kRecords; ++i) {
        r.index = i;
        const auto image = r.ToBytes();
        store.insert(store.end(), image.begin(), image.end());
    }
    for (auto _ : state) {
        int live = 0;
        for (std::size_t off = 0; off < store.size(); off += lk::CallRecord::kSize) {
            const auto rec =
                lk::CallRecord::FromBytes(lk::ByteSpan(store.data() + off, lk::CallRecord::kSize));
            live += rec.IsLive();
        }
        benchmark::DoNotOptimize(live);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

}  // namespace

BENCHMARK(BM_ParseFamily0Log)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseFamily1Log)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseFamily0LogWith200Contacts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadStoreImages)->Unit(benchmark::kMillisecond);
