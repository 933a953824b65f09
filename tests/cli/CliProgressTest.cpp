// The progress bar is drawn on stderr when stderr is a terminal and not at
// all when it is a pipe; what a command prints on stdout is the same either way.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <string>
#include <vector>

#include "core/card/CardFixture.h"
#include "export/RecordingWriter.h"
#include "playback/XtrFormat.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

namespace lk {
namespace {
namespace fs = std::filesystem;

struct TerminalRun {
    int exitCode = -1;
    std::string out;       // stdout, to a file
    std::string terminal;  // what reached the terminal (stderr)
};

// Runs linekeeper-cli with stderr on a pseudo-terminal and stdout to a file.
TerminalRun RunOnTerminal(const std::vector<std::string>& args) {
    TerminalRun run;
    test::TempDir scratch;
    const fs::path outFile = scratch / "out";
    int master = -1, slave = -1;
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 24;
    if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) return run;
    const std::string bin = (test::BinDir() / "linekeeper-cli").string();
    std::vector<char*> argv{const_cast<char*>(bin.c_str())};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(slave, 2);
        ::close(master);
        ::execv(bin.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(slave);
    char buffer[4096];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 60000) <= 0) break;  // only against a hang
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the child has closed the terminal
        run.terminal.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = test::ReadText(outFile);
    return run;
}

TEST(CliProgress, DrawnOnATerminalOnlyAndStdoutUnchanged) {
    test::TempDir dir;
    constexpr int kFiles = 40;
    for (int i = 0; i < kFiles; ++i)
        test::WriteText(
            dir / ("2016061612" + std::to_string(1000 + i) + "-I-" + std::to_string(i) + ".wav"),
            "");
    const std::vector<std::string> args = {"import", dir.path().string()};

    const test::CliRun piped = test::RunCli(args);
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.err, "");  // nothing drawn into a pipe
    EXPECT_NE(piped.out.find("40 imported"), std::string::npos) << piped.out;

    const TerminalRun tty = RunOnTerminal(args);
    ASSERT_EQ(tty.exitCode, 0) << tty.terminal;
    EXPECT_EQ(tty.out, piped.out);
    EXPECT_NE(tty.terminal.find("import [########################] 100% 40/40"), std::string::npos)
        << tty.terminal;
    // Redrawn in place, and the line ended so that the prompt starts on its own.
    EXPECT_NE(tty.terminal.find('\r'), std::string::npos);
    ASSERT_FALSE(tty.terminal.empty());
    EXPECT_EQ(tty.terminal.back(), '\n');
}

// The long store and export commands draw their bar too, and print on stdout
// what they print into a pipe.
TEST(CliProgress, VerifyAndExportAudioDrawTheirBar) {
    test::TempHome home;
    test::TempDir dir;
    const fs::path card = dir / "card";
    const fs::path store = dir / "store";
    test::MakeCard(card, 0,
                   {{Incoming, "20160102100000", "555"}, {Outgoing, "20160203100000", "777"}});
    const auto backup =
        test::RunCli({"backup", "--card", card.string(), "--store", store.string()});
    ASSERT_EQ(backup.exitCode, 0) << backup.err;

    std::vector<std::string> recordings;
    for (int i = 0; i < 4; ++i) {
        const fs::path f = dir / ("call" + std::to_string(i) + ".xtr");
        test::WriteFile(f, BuildXtrRecording(kFormatGsm, std::vector<std::int16_t>(8000, 100)));
        recordings.push_back(f.string());
    }
    fs::create_directories(dir / "piped");
    fs::create_directories(dir / "tty");
    const auto exportTo = [&](const std::string& folder) {
        std::vector<std::string> a = {"export-audio", "--format", "wav", "--to",
                                      (dir / folder).string()};
        a.insert(a.end(), recordings.begin(), recordings.end());
        return a;
    };

    struct Case {
        std::vector<std::string> piped, tty;  // the same command, apart from where it writes
        std::string bar;
    };
    const Case cases[] = {
        {{"verify", "--store", store.string(), "--family", "0"},
         {"verify", "--store", store.string(), "--family", "0"},
         "verify ["},
        {exportTo("piped"), exportTo("tty"), "export ["},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bar);
        const test::CliRun piped = test::RunCli(c.piped);
        ASSERT_EQ(piped.exitCode, 0) << piped.err << piped.out;
        EXPECT_EQ(piped.err, "");
        const TerminalRun tty = RunOnTerminal(c.tty);
        ASSERT_EQ(tty.exitCode, 0) << tty.terminal;
        EXPECT_NE(tty.terminal.find(c.bar), std::string::npos) << tty.terminal;
        EXPECT_NE(tty.terminal.find("] 100% "), std::string::npos) << tty.terminal;
        ASSERT_FALSE(tty.terminal.empty());
        EXPECT_EQ(tty.terminal.back(), '\n');
        if (c.piped == c.tty) {
            EXPECT_EQ(tty.out, piped.out);
        } else {
            // One line per file either way; only the folder differs.
            EXPECT_EQ(std::count(tty.out.begin(), tty.out.end(), '\n'),
                      std::count(piped.out.begin(), piped.out.end(), '\n'));
            EXPECT_EQ(std::count(tty.out.begin(), tty.out.end(), '\n'), 4);
        }
    }
}

}  // namespace
}  // namespace lk
