#include "support/SoundServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

extern char** environ;

namespace lk::test {
namespace fs = std::filesystem;

namespace {

// Runs a program found on PATH; stdout and stderr go to the given files.
pid_t Spawn(const std::vector<std::string>& args, const fs::path& out, const fs::path& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

SoundServer::SoundServer(int rate) {
    const auto run = dir_.path() / "run";
    const auto home = dir_.path() / "home";
    fs::create_directories(run);
    fs::create_directories(home);
    ::chmod(run.c_str(), 0700);
    const auto socket = dir_.path() / "native";
    // The server runs as whoever runs the tests (root in CI): private
    // runtime and home folders keep it apart from any desktop session.
    ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    ::setenv("PULSE_RUNTIME_PATH", (run / "pulse").c_str(), 1);
    ::setenv("PULSE_STATE_PATH", (home / "state").c_str(), 1);
    ::setenv("PULSE_CONFIG_PATH", (home / "config").c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + socket.string()).c_str(), 1);
    const auto log = dir_.path() / "pulseaudio.log";
    const pid_t starter =
        Spawn({"pulseaudio", "-n", "--daemonize=yes", "--exit-idle-time=-1", "--use-pid-file=yes",
               "--log-target=stderr",
               // A pipe sink hands out exactly what it plays, in real time.
               // (A null sink's monitor loses stretches around the sink's
               // rewinds, whatever the client: pacat shows it as well.)
               std::string("--load=module-pipe-sink sink_name=") + kSinkName +
                   " file=" + (dir_.path() / "played").string() + " format=s16le rate=" +
                   std::to_string(rate) + " channels=1 use_system_clock_for_timing=yes",
               "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket.string()},
              dir_.path() / "pulseaudio.out", log);
    if (starter < 0) {
        why_ = "pulseaudio is not installed";
        return;
    }
    int status = 0;
    ::waitpid(starter, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        why_ = "pulseaudio did not start: " + ReadAll(log);
        return;
    }
    const auto pidFile = run / "pulse" / "pid";
    if (!WaitFor([&] { return fs::exists(socket) && fs::exists(pidFile); }, 5000)) {
        why_ = "pulseaudio left no socket: " + ReadAll(log);
        return;
    }
    pid_ = static_cast<pid_t>(std::atol(ReadAll(pidFile).c_str()));
    if (pid_ <= 0) why_ = "pulseaudio left no pid";
}

SoundServer::~SoundServer() {
    StopRecording();
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        WaitFor([&] { return ::kill(pid_, 0) != 0; }, 3000);
    }
}

bool SoundServer::StartRecording(const fs::path& raw) {
    if (!Running()) return false;
    recorder_ = Spawn({"cat", (dir_.path() / "played").string()}, raw, dir_.path() / "cat.log");
    if (recorder_ < 0) return false;
    // Recording once the sink's silence arrives; nothing may play before.
    return WaitFor(
        [&] {
            std::error_code ec;
            return fs::file_size(raw, ec) >= 3200;
        },
        10000);
}

void SoundServer::StopRecording() {
    if (recorder_ <= 0) return;
    ::kill(recorder_, SIGTERM);
    int status = 0;
    ::waitpid(recorder_, &status, 0);
    recorder_ = -1;
}

}  // namespace lk::test
