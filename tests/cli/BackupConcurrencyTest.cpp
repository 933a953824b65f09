// Two `linekeeper-cli backup` processes on one store at the same moment, many
// times over: different cards, cards whose recordings share names but not
// bytes, and one card twice, each copied and moved. After every trial each
// recording's bytes are in the store or still on its card, every index is a
// whole number of records, and each stored recording is named by exactly one
// live entry. LK_SHARED_TRIALS sets the number of trials per case (20).

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <thread>

#include "backup/BackupEngine.h"
#include "backup/StoreChecksums.h"
#include "card/BackupStore.h"
#include "core/card/CardFixture.h"
#include "support/RunCli.h"

namespace lk {
namespace {
namespace fs = std::filesystem;
using test::RecordingSpec;
using Bytes = std::vector<std::uint8_t>;

int Trials() {
    return test::TrialsFromEnv("LK_SHARED_TRIALS", 20);
}

// Small recordings over two months; `seed` changes every recording's bytes
// but not its name.
std::vector<RecordingSpec> Recordings() {
    std::vector<RecordingSpec> out;
    for (int i = 0; i < 24; ++i) {
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "2016%02d%02d%02d%02d00", 1 + i % 2, 1 + i % 20, i % 24,
                      i);
        RecordingSpec s{Incoming, stamp, std::to_string(5550000 + i)};
        s.fileBytes = 600 + static_cast<std::size_t>(i) * 13;
        out.push_back(s);
    }
    return out;
}

// Writes the card; recordings of cards with another seed have other bytes.
std::vector<Bytes> MakeSharedCard(const fs::path& card, int seed) {
    const auto calls = Recordings();
    test::MakeCard(card, 0, calls);
    std::vector<Bytes> bytes;
    for (const auto& s : calls) {
        Bytes b = test::RecordingBytes(s);
        for (auto& x : b)
            x = static_cast<std::uint8_t>(x + seed * 31);
        test::WriteFile(card / test::RecordingRelative(s, 0), b);
        bytes.push_back(b);
    }
    return bytes;
}

std::set<Bytes> FilesUnder(const fs::path& dir) {
    std::set<Bytes> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file() && !IsPartialName(name) && name != kCallLogFileName &&
            it->path().parent_path().filename() != "CallLog")
            out.insert(test::ReadFile(it->path()));
    }
    return out;
}

// Live entries by stored path, and checks of every index file.
std::map<std::string, int> CheckIndexes(const fs::path& storeRoot) {
    std::map<std::string, int> live;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(storeRoot / "CallLog", ec)) {
        // The month's checksum lines beside its index are no index.
        if (e.path().extension() == ".lock" || e.path().extension() == ".xxh128" ||
            e.path().filename().string().find(kCardFilesSuffix) != std::string::npos)
            continue;
        const auto bytes = test::ReadFile(e.path());
        EXPECT_EQ(bytes.size() % CallRecord::kSize, 0u) << e.path();
        for (std::size_t off = 0; off + CallRecord::kSize <= bytes.size();
             off += CallRecord::kSize) {
            const auto r = CallRecord::FromBytes(ByteSpan(bytes.data() + off, CallRecord::kSize));
            if (!r.IsLive()) continue;
            const std::string path = ToUtf8(FieldText(r.filePath));
            EXPECT_EQ(++live[path], 1) << path << " is named by two live entries";
            EXPECT_TRUE(fs::is_regular_file(path)) << path << " is indexed but missing";
        }
    }
    return live;
}

enum class Pair {
    DifferentCards,  // different recordings
    SameNames,       // same names, other bytes
    SameCard,        // one card, two runs
};

TEST(BackupSharedStore, TwoProcessesOnOneStoreLoseNothingAndIndexOnce) {
    test::TempHome home;
    struct Case {
        const char* what;
        Pair pair;
    } cases[] = {
        {"two cards with different recordings", Pair::DifferentCards},
        {"two cards whose recordings share names", Pair::SameNames},
        {"one card twice", Pair::SameCard},
    };
    for (const auto& c : cases) {
        for (const bool move : {false, true}) {
            for (int trial = 0; trial < Trials(); ++trial) {
                SCOPED_TRACE(testing::Message()
                             << c.what << (move ? ", move" : ", copy") << ", trial " << trial);
                test::TempDir dir;
                const fs::path store = dir / "store";
                const fs::path cardA = dir / "a";
                const fs::path cardB = c.pair == Pair::SameCard ? cardA : dir / "b";
                std::vector<Bytes> originals = MakeSharedCard(cardA, 0);
                if (c.pair != Pair::SameCard) {
                    // Different cards: other stamps' names would not meet, so
                    // the second card gets other bytes under other names by
                    // living a year later.
                    const auto b = MakeSharedCard(cardB, 1);
                    if (c.pair == Pair::DifferentCards) {
                        fs::remove_all(cardB);
                        auto calls = Recordings();
                        for (auto& s : calls)
                            s.stamp.replace(0, 4, "2017");
                        test::MakeCard(cardB, 0, calls);
                        for (const auto& s : calls)
                            originals.push_back(test::RecordingBytes(s));
                    } else {
                        originals.insert(originals.end(), b.begin(), b.end());
                    }
                }
                auto args = [&](const fs::path& card) {
                    std::vector<std::string> a = {"backup", "--card", card.string(), "--store",
                                                  store.string()};
                    if (move) a.push_back("--move");
                    return a;
                };
                test::CliRun runA, runB;
                std::thread ta([&] { runA = test::RunCli(args(cardA)); });
                std::thread tb([&] { runB = test::RunCli(args(cardB)); });
                ta.join();
                tb.join();
                if (c.pair != Pair::SameCard) {
                    EXPECT_EQ(runA.exitCode, 0) << runA.err;
                    EXPECT_EQ(runB.exitCode, 0) << runB.err;
                } else {
                    // One card moved twice at once: the later run may find the
                    // log gone, never a record lost.
                    EXPECT_TRUE(runA.exitCode == 0 || runB.exitCode == 0) << runA.err << runB.err;
                }
                const fs::path root = StoreRoot(store, 0);
                const auto inStore = FilesUnder(root);
                std::set<Bytes> onCards = FilesUnder(cardA);
                if (cardB != cardA) {
                    const auto b = FilesUnder(cardB);
                    onCards.insert(b.begin(), b.end());
                }
                for (std::size_t i = 0; i < originals.size(); ++i)
                    EXPECT_TRUE(inStore.count(originals[i]) != 0 ||
                                onCards.count(originals[i]) != 0)
                        << "recording " << i << " is lost";
                const auto live = CheckIndexes(root);
                // Both runs ended well: every distinct recording is stored and listed once.
                const std::set<Bytes> distinct(originals.begin(), originals.end());
                if (runA.exitCode == 0 && runB.exitCode == 0) {
                    EXPECT_EQ(live.size(), distinct.size());
                    for (const auto& b : distinct)
                        EXPECT_TRUE(inStore.count(b) != 0);
                }
                if (move && runA.exitCode == 0 && runB.exitCode == 0) {
                    EXPECT_TRUE(FilesUnder(cardA).empty());
                }
                if (HasFailure()) return;
            }
        }
    }
}

}  // namespace
}  // namespace lk
