// Export to Spreadsheet of a long list: wall time (median of runs) and the
// peak memory the writer adds, for .xlsx and .csv.
//
//   bench_sheet_export [ROWS] [RUNS] [FOLDER]

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "export/SheetWriter.h"

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long PeakKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Texts shaped like a list row of a card.
lk::SheetSource Rows(std::size_t n) {
    lk::SheetSource s;
    s.headings = {
        "Mark",   "File",     "Type", "Date and Time", "Number", "Call Length", "Recording Length",
        "Remark", "File Path"};
    s.rowCount = n;
    s.row = [](std::size_t i, std::vector<std::string>& cells) {
        char date[32], number[48], len[16], path[96];
        std::snprintf(date, sizeof date, "%02zu/%02zu/16 %02zu:%02zu:%02zu", 1 + i % 12, 1 + i % 28,
                      i % 24, i % 60, (i * 7) % 60);
        std::snprintf(number, sizeof number, "0%09zu Caller %zu", (i * 7919) % 1000000000, i % 977);
        std::snprintf(len, sizeof len, "00:%02zu:%02zu", (i / 60) % 60, i % 60);
        std::snprintf(path, sizeof path, "/media/card/2016%02zu/2016%02zu%02zu%06zu-I-%zu.xtr",
                      1 + i % 12, 1 + i % 12, 1 + i % 28, i % 240000, i);
        cells = {i % 10 == 0 ? "Marked" : "", "", "Incoming", date, number, len, len, "", path};
    };
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t rows = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::filesystem::path folder =
        argc > 3 ? argv[3] : std::filesystem::temp_directory_path();
    const auto source = Rows(rows);
    for (const char* ext : {".xlsx", ".csv"}) {
        const auto file = folder / (std::string("bench-sheet") + ext);
        std::vector<double> seconds, cpu;
        const long before = PeakKb();
        for (int r = 0; r < runs; ++r) {
            const double c0 = CpuSeconds();
            const auto t0 = std::chrono::steady_clock::now();
            const auto result = lk::WriteSheet(file, lk::SheetFormatFor(file), source);
            const auto t1 = std::chrono::steady_clock::now();
            if (result != lk::SheetWriteResult::Written) {
                std::fprintf(stderr, "writing %s failed\n", file.c_str());
                return 1;
            }
            seconds.push_back(std::chrono::duration<double>(t1 - t0).count());
            cpu.push_back(CpuSeconds() - c0);
        }
        std::sort(seconds.begin(), seconds.end());
        std::sort(cpu.begin(), cpu.end());
        // CPU time too: on a busy machine the wall time says more about the others.
        std::printf(
            "%s: %zu rows, median %.3f s wall (min %.3f, max %.3f), %.3f s CPU, "
            "peak memory +%.1f MB, file %.1f MB\n",
            ext, rows, seconds[seconds.size() / 2], seconds.front(), seconds.back(),
            cpu[cpu.size() / 2], static_cast<double>(PeakKb() - before) / 1024.0,
            static_cast<double>(std::filesystem::file_size(file)) / 1e6);
        std::filesystem::remove(file);
    }
    return 0;
}
