// Scale of the card and store engines: loading a 100,000-record card log and a
// 100,000-record backup store, routing the records into panes, and backing up
// 1,000 recordings.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "backup/BackupEngine.h"
#include "card/BackupStore.h"
#include "card/CallLog.h"
#include "card/RecordLoader.h"
#ifdef LK_BENCH_WITH_GUI
#include "records/RecordPages.h"
#endif
#include "platform/TextCodec.h"
#include "platform/VolumeTable.h"

namespace {
namespace fs = std::filesystem;

constexpr int kLogRecords = 100000;
constexpr int kRecordings = 1000;
constexpr std::size_t kRecordingBytes = 64 * 1024;

class OneCard final : public lk::VolumeProbe {
  public:
    explicit OneCard(fs::path root) : root_(std::move(root)) {}
    std::vector<lk::MountedVolume> Mounted() override {
        return {{root_, true, std::uint64_t{1} << 34, std::uint64_t{1} << 33}};
    }

  private:
    fs::path root_;
};

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string Stamp(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "2016%02d%02d%02d%02d%02d", 1 + i % 12, 1 + i % 28,
                  i / 3600 % 24, i / 60 % 60, i % 60);
    return buf;
}

std::string RecordingName(int i) {
    return Stamp(i) + "-I-" + std::to_string(5550000 + i) + ".wav";
}

// One folder holding everything the benchmarks read, made once per process.
struct Fixture {
    fs::path dir;
    fs::path bigCard;    // 100,000-record log, no recordings
    fs::path smallCard;  // 1,000 recordings of 64 KiB
    fs::path storePath;  // 100,000 records over 12 month files

    Fixture() {
        dir = fs::temp_directory_path() / ("lk-bench-engines-" + std::to_string(::getpid()));
        fs::create_directories(dir / "home" / "Config");
        ::setenv("LINEKEEPER_HOME", (dir / "home").c_str(), 1);
        bigCard = dir / "big";
        smallCard = dir / "small";
        storePath = dir / "store";
        MakeCard(bigCard, kLogRecords, false);
        MakeCard(smallCard, kRecordings, true);
        MakeStore();
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    static void MakeCard(const fs::path& root, int count, bool withFiles) {
        std::vector<std::uint8_t> log;
        std::vector<std::uint8_t> content(kRecordingBytes);
        for (std::size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<std::uint8_t>(i * 7);
        for (int i = 0; i < count; ++i) {
            const std::string stamp = Stamp(i);
            lk::CardRecordFields f;
            f.type = 2 + i % 7;
            f.mark = i % 10 == 0 ? 1 : 0;
            f.year = 2016;
            f.month = std::stoi(stamp.substr(4, 2));
            f.day = std::stoi(stamp.substr(6, 2));
            f.hour = std::stoi(stamp.substr(8, 2));
            f.minute = std::stoi(stamp.substr(10, 2));
            f.number = lk::FromUtf8(std::to_string(5550000 + i));
            f.relativePath = lk::FromUtf8(stamp.substr(0, 6) + "\\" + RecordingName(i));
            const auto rec = lk::BuildCardRecord(f, 0);
            log.insert(log.end(), rec.begin(), rec.end());
            if (withFiles) {
                content[0] = static_cast<std::uint8_t>(i);
                WriteBytes(root / stamp.substr(0, 6) / RecordingName(i), content);
            }
        }
        WriteBytes(root / lk::kCallLogFileName, log);
    }

    void MakeStore() {
        std::vector<std::vector<std::uint8_t>> months(12);
        const fs::path storeRoot = lk::StoreRoot(storePath, 0);
        for (int i = 0; i < kLogRecords; ++i) {
            const std::string stamp = Stamp(i);
            lk::CallRecord r;
            r.cardBytes[0] = 1;
            r.inUse = 1;
            r.type = 2 + i % 7;
            r.marked = i % 10 == 0 ? 1 : 0;
            r.time.year = 2016;
            r.time.month = static_cast<std::uint16_t>(std::stoi(stamp.substr(4, 2)));
            lk::SetFieldText(r.number, lk::FromUtf8(std::to_string(5550000 + i)));
            lk::SetFieldText(r.cardPath,
                             lk::FromUtf8("E:\\" + stamp.substr(0, 6) + "\\" + RecordingName(i)));
            const fs::path copy =
                storeRoot / stamp.substr(0, 6) / stamp.substr(0, 8) / RecordingName(i);
            lk::SetFieldText(r.filePath, lk::FromUtf8(copy.string()));
            const auto image = r.ToBytes();
            auto& m = months[static_cast<std::size_t>(r.time.month - 1)];
            m.insert(m.end(), image.begin(), image.end());
        }
        for (int m = 0; m < 12; ++m)
            WriteBytes(lk::MonthIndexPath(storePath, 0, 2016, m + 1),
                       months[static_cast<std::size_t>(m)]);
    }
};

Fixture& Files() {
    static Fixture f;
    return f;
}

std::unique_ptr<lk::RecorderState> CardState(const fs::path& root) {
    auto state = std::make_unique<lk::RecorderState>(std::make_unique<OneCard>(root));
    state->cardDrive = state->volumes.LetterOf(root);
    state->cardLogPath = root / lk::kCallLogFileName;
    state->loadFromCard = 1;
    return state;
}

void BM_LoadCardLog100k(benchmark::State& st) {
    auto state = CardState(Files().bigCard);
    lk::RecordLoaderOptions options;
    for (auto _ : st) {
        state->records.ReplaceAll(lk::RecordListId::Card);
        lk::RecordLoaderThread(*state, options);
        if (state->records.Card().size() != kLogRecords) st.SkipWithError("records lost");
    }
    st.SetItemsProcessed(st.iterations() * kLogRecords);
}
BENCHMARK(BM_LoadCardLog100k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LoadStore100k(benchmark::State& st) {
    // The copies are not there, so every record is also looked for under the
    // store root: the worst case of a moved store.
    lk::RecorderState state(std::make_unique<OneCard>(Files().dir));
    lk::RecordLoaderOptions options;
    options.backupPath = Files().storePath;
    for (auto _ : st) {
        auto load = lk::LoadBackupIndex(state, Files().storePath);
        if (!load.startLoader) st.SkipWithError("no store");
        lk::RecordLoaderThread(state, options);
        if (state.records.Backup().size() != kLogRecords) st.SkipWithError("records lost");
    }
    st.SetItemsProcessed(st.iterations() * kLogRecords);
}
BENCHMARK(BM_LoadStore100k)->Unit(benchmark::kMillisecond)->Iterations(3);

#ifdef LK_BENCH_WITH_GUI
// The window decides which pages list a record: its routing, over both lists.
void BM_RouteIntoPanes200k(benchmark::State& st) {
    auto card = CardState(Files().bigCard);
    lk::RecordLoaderOptions options;
    lk::RecordLoaderThread(*card, options);
    options.backupPath = Files().storePath;
    lk::LoadBackupIndex(*card, Files().storePath);
    lk::RecordLoaderThread(*card, options);
    lk::NoProgress none;
    std::vector<std::size_t> rows(11);
    for (auto _ : st) {
        for (const auto* list : {&card->records.Card(), &card->records.Backup()})
            lk::gui::PopulatePanes(
                *list,
                [&](int category, lk::CallRecord&) { ++rows[static_cast<std::size_t>(category)]; },
                none, {});
    }
    benchmark::DoNotOptimize(rows.data());
    st.SetItemsProcessed(
        st.iterations() *
        static_cast<std::int64_t>(card->records.Card().size() + card->records.Backup().size()));
}
BENCHMARK(BM_RouteIntoPanes200k)->Unit(benchmark::kMillisecond);
#endif

void BM_BackUp1000Recordings(benchmark::State& st) {
    auto state = CardState(Files().smallCard);
    lk::RecordLoaderOptions load;
    lk::RecordLoaderThread(*state, load);
    const fs::path store = Files().dir / "backup";
    lk::BackupOptions options;
    options.backupPath = store;
    lk::NoProgress none;
    for (auto _ : st) {
        st.PauseTiming();
        std::error_code ec;
        fs::remove_all(store, ec);
        state->records.ReplaceAll(lk::RecordListId::Backup);
        st.ResumeTiming();
        const auto r = lk::BackupAllThread(*state, options, none, {});
        if (r.backedUp != kRecordings) st.SkipWithError("recordings missed");
    }
    st.SetItemsProcessed(st.iterations() * kRecordings);
    st.SetBytesProcessed(st.iterations() * kRecordings *
                         static_cast<std::int64_t>(kRecordingBytes));
}
BENCHMARK(BM_BackUp1000Recordings)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
