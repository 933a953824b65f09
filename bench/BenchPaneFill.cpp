// Fills the window's record lists from a 100,000-record backup store and sorts
// the list of all records by each column (the first sort of a column makes
// its keys, the second reuses them); prints milliseconds, the resident memory
// after each phase and the peak. Runs offscreen: bench_pane_fill [records]

#include <sys/resource.h>
#include <time.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/CMainFrame.h"
#include "app/CRecorderApp.h"
#include "app/Settings.h"
#include "card/BackupStore.h"
#include "pages/CVX310View.h"
#include "platform/TextCodec.h"
#include "records/CRecordListPane.h"
#include "records/PaneFill.h"

namespace fs = std::filesystem;
using namespace lk;

namespace {

class NoVolumes : public VolumeProbe {
  public:
    std::vector<MountedVolume> Mounted() override { return {}; }
};

void WriteStore(const fs::path& backupPath, int total) {
    constexpr int kPerMonth = 2000;
    static constexpr int kTypes[] = {Incoming, Missed, Outgoing, Note, Message, Incoming, Outgoing};
    int written = 0;
    for (int month = 0; written < total; ++month) {
        const int yyyymm = (2010 + month / 12) * 100 + month % 12 + 1;
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < kPerMonth && written < total; ++i, ++written) {
            CallRecord r;
            r.cardBytes[CallRecord::kCardInUseByte] = 1;
            r.inUse = 1;
            r.type = kTypes[written % 7];
            r.marked = written % 10 == 0 ? 1 : 0;
            r.time = SystemTime{static_cast<std::uint16_t>(yyyymm / 100),
                                static_cast<std::uint16_t>(yyyymm % 100),
                                0,
                                static_cast<std::uint16_t>(1 + i % 28),
                                static_cast<std::uint16_t>(i % 24),
                                static_cast<std::uint16_t>(i % 60),
                                static_cast<std::uint16_t>(written % 60),
                                0};
            r.callSeconds = written % 5000;
            r.recordSeconds = written % 4000;
            SetFieldText(r.number, FromUtf8("0049" + std::to_string(100000 + written)));
            SetFieldText(r.name,
                         FromUtf8(written % 3 ? "Caller " + std::to_string(written % 97) : ""));
            SetFieldText(r.cardPath, FromUtf8("E:\\" + std::to_string(yyyymm) + "\\r" +
                                              std::to_string(written) + ".xtr"));
            SetFieldText(r.filePath, FromUtf8((backupPath / std::to_string(yyyymm) /
                                               ("r" + std::to_string(written) + ".xtr"))
                                                  .string()));
            const auto b = r.ToBytes();
            bytes.insert(bytes.end(), b.begin(), b.end());
        }
        const fs::path file = MonthIndexPath(backupPath, 0, yyyymm);
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
}

void WaitIdle(gui::CRecorderApp& app) {
    while (app.Session().Busy() || app.Filler().Running()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    QCoreApplication::processEvents();
}

long PeakMegabytes() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

// CPU time of this thread: on a machine shared with other work it varies
// far less than the wall clock.
qint64 ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Resident memory now, from /proc (the peak alone hides which phase made it).
long ResidentMegabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6) / 1024;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int total = argc > 1 ? std::atoi(argv[1]) : 100000;

    char tmpl[] = "/tmp/lk-bench-XXXXXX";
    const fs::path home = ::mkdtemp(tmpl);
    const fs::path exeDir = fs::canonical("/proc/self/exe").parent_path();
    fs::copy(exeDir / "Config", home / "Config", fs::copy_options::recursive);
    ::setenv("LINEKEEPER_HOME", home.c_str(), 1);
    const fs::path store = home / "store";
    if (!SetBackupPath(store.string() + "/") || !SetDevType(0)) {
        std::fprintf(stderr, "cannot write the settings in %s\n", home.c_str());
        return 1;
    }
    WriteStore(store, total);

    gui::CRecorderApp app(argc, argv);
    gui::StartOptions options;
    options.probe = std::make_unique<NoVolumes>();
    options.showWindow = false;
    if (!app.InitInstance(std::move(options))) return 1;
    gui::CMainFrame& frame = *app.MainFrame();
    frame.FreezeTimers(true);
    const long startResident = ResidentMegabytes();

    QElapsedTimer t;
    t.start();
    frame.OnTimer(gui::TimerStartup);  // reads the store, then fills the panes
    WaitIdle(app);
    const qint64 loadAndFill = t.elapsed();

    t.restart();
    app.PopulatePanes();  // the fill alone, as the view commands run it
    WaitIdle(app);
    const qint64 fill = t.elapsed();

    gui::CSortListCtrl* list = frame.View()->PaneOf(1)->List();
    std::printf("records %d, rows in all-records pane %d\n", total, list->RowCount());
    std::printf("read store + fill panes: %lld ms\n", static_cast<long long>(loadAndFill));
    std::printf("fill panes: %lld ms\n", static_cast<long long>(fill));
    std::printf("resident with the window and no records: %ld MB\n", startResident);
    std::printf("resident after fill: %ld MB, peak so far %ld MB\n", ResidentMegabytes(),
                PeakMegabytes());
    for (int c = 0; c < list->ColumnCount(); ++c) {
        qint64 cpu = ThreadCpuMs();
        t.restart();
        list->SortByColumn(c, true);
        const qint64 asc = t.elapsed();
        const qint64 ascCpu = ThreadCpuMs() - cpu;
        cpu = ThreadCpuMs();
        t.restart();
        list->SortByColumn(c, false);
        const qint64 desc = t.elapsed();
        const qint64 descCpu = ThreadCpuMs() - cpu;
        std::printf(
            "sort column %d: %lld ms ascending, %lld ms descending (cpu %lld, %lld), resident %ld "
            "MB\n",
            c, static_cast<long long>(asc), static_cast<long long>(desc),
            static_cast<long long>(ascCpu), static_cast<long long>(descCpu), ResidentMegabytes());
    }
    std::printf("resident after sorting: %ld MB\n", ResidentMegabytes());
    std::printf("peak memory: %ld MB\n", PeakMegabytes());
    app.ExitInstance();
    fs::remove_all(home);
    return 0;
}
