// A FIFO planted under a recording's or the call log's name must not hold up
// any command: each finishes, and a command naming the FIFO fails.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "core/card/CardFixture.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

namespace lk {
namespace {
namespace fs = std::filesystem;

// Longer than any command takes here; a blocked command is killed at it.
constexpr int kHarnessTimeoutSeconds = 60;

bool IsFifo(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

TEST(CliFifo, EveryCommandFinishesAndRefusesThePlantedFifo) {
    enum class Plant { Recording, CallLog };
    struct Case {
        const char* what;
        Plant plant;
        std::vector<std::string> args;  // {card}, {fifo}, {out} filled in
        bool namesTheFifo;              // must then fail
    };
    const std::vector<Case> cases = {
        {"records", Plant::Recording, {"records", "--card", "{card}", "--json"}, false},
        {"search", Plant::Recording, {"search", "--card", "{card}"}, false},
        {"info", Plant::Recording, {"info", "{fifo}"}, true},
        {"decode", Plant::Recording, {"decode", "{fifo}", "-o", "{out}/a.wav"}, true},
        {"export-wav", Plant::Recording, {"export-wav", "{fifo}", "--to", "{out}"}, true},
        {"mail",
         Plant::Recording,
         {"mail", "--card", "{card}", "--eml", "{out}/m.eml", "20160101120000-I-1.xtr"},
         true},
        {"export-sheet",
         Plant::Recording,
         {"export-sheet", "--card", "{card}", "-o", "{out}/s.csv"},
         false},
        {"repair", Plant::Recording, {"repair", "--card", "{card}"}, false},
        {"import", Plant::Recording, {"import", "{card}"}, false},
        {"records (log)", Plant::CallLog, {"records", "--card", "{card}"}, true},
        {"search (log)", Plant::CallLog, {"search", "--card", "{card}"}, true},
        {"export-sheet (log)",
         Plant::CallLog,
         {"export-sheet", "--card", "{card}", "-o", "{out}/s.csv"},
         true},
        {"mail (log)",
         Plant::CallLog,
         {"mail", "--card", "{card}", "--eml", "{out}/m.eml", "x.xtr"},
         true},
        {"repair (log)", Plant::CallLog, {"repair", "--card", "{card}"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const fs::path card = dir / "card";
        const fs::path out = dir / "out";
        fs::create_directories(out);
        test::RecordingSpec plain;
        test::RecordingSpec planted(Incoming, "20160101120000", "1");
        planted.withFile = false;
        planted.relativePath = u"201601\\20160101120000-I-1.xtr";
        test::MakeCard(card, 0, {plain, planted});
        const fs::path fifo = c.plant == Plant::Recording
                                  ? card / "201601" / "20160101120000-I-1.xtr"
                                  : card / "CallLog.dat";
        fs::create_directories(fifo.parent_path());
        fs::remove(fifo);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

        std::vector<std::string> args;
        for (std::string a : c.args) {
            for (const auto& [key, value] : {std::pair<std::string, std::string>{"{card}", card},
                                             {"{fifo}", fifo},
                                             {"{out}", out}})
                if (const auto at = a.find(key); at != std::string::npos)
                    a.replace(at, key.size(), value);
            args.push_back(a);
        }
        const auto run = test::RunCli(args, kHarnessTimeoutSeconds);
        EXPECT_NE(run.exitCode, 124) << "blocked on the FIFO";
        EXPECT_NE(run.exitCode, -1);
        if (c.namesTheFifo) {
            EXPECT_NE(run.exitCode, 0) << run.out << run.err;
        }
        EXPECT_TRUE(IsFifo(fifo));
    }
}

}  // namespace
}  // namespace lk
