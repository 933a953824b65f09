#include "card/LogRebuild.h"

#include "app/Settings.h"
#include "platform/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>

#include "card/CallLog.h"
#include "platform/LinkFreePath.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

constexpr char kRecordFolder[] = "RECORD";

// A YYYYMM folder name: six digits, year 2000 to 2999, month 1 to 12.
int MonthFolderNumber(const std::string& name) {
    if (name.size() != 6) return -1;
    for (char c : name)
        if (c < '0' || c > '9') return -1;
    const int year = std::stoi(name.substr(0, 4));
    const int month = std::stoi(name.substr(4, 2));
    if (year < 2000 || year > 2999 || month < 1 || month > 12) return -1;
    return std::stoi(name);
}

// Recording files only; links could point off the card.
bool IsRecordingEntry(const fs::directory_entry& e) {
    std::error_code ec;
    if (e.is_symlink(ec) || e.is_directory(ec)) return false;
    const std::string name = e.path().filename().string();
    return name.find(".wav") != std::string::npos || name.find(".xtr") != std::string::npos;
}

// Records are appended after whatever the log holds; a torn record left by
// the recorder would shift every one of them off the record grid.
void CutPartialRecord(const fs::path& log, int recordSize) {
    std::error_code ec;
    if (fs::is_symlink(log, ec)) return;
    const auto size = fs::file_size(log, ec);
    if (ec) return;
    const auto whole = size - size % static_cast<std::uintmax_t>(recordSize);
    if (whole != size) fs::resize_file(log, whole, ec);
}

}  // namespace

bool QueueLogRebuild(RecorderState& state, char drive) {
    std::lock_guard lock(state.rebuildLock);
    auto& q = state.rebuildQueue;
    if (std::find(q.begin(), q.end(), drive) == q.end()) q.push_back(drive);
    // Claimed under the lock, and released by the worker under the lock once
    // it found the queue empty, so a letter is never left behind.
    if (state.rebuildRunning.load() != 0) return false;
    state.rebuildRunning = 1;
    return true;
}

std::vector<int> ListCardMonthFolders(RecorderState& state, char drive, int devType) {
    state.cardMonthFolders.clear();
    const auto volume = state.volumes.Find(drive);
    if (!volume) return {};
    const fs::path dir = devType == 1 ? volume->root / kRecordFolder : volume->root;
    std::error_code ec;
    for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        if (state.quitting.load() != 0) break;
        std::error_code tec;
        if (it->is_symlink(tec) || !it->is_directory(tec)) continue;
        const int month = MonthFolderNumber(it->path().filename().string());
        if (month > 0) state.cardMonthFolders.push_back(month);
    }
    return state.cardMonthFolders;
}

LogRebuildResult LogRebuildThread(RecorderState& state, const std::string& codePage,
                                  const std::function<void(char, bool)>& driveStatus) {
    LogRebuildResult result;
    state.rebuildRunning = 1;
    bool drained = false;
    while (state.quitting.load() == 0) {
        char letter = 0;
        {
            std::lock_guard lock(state.rebuildLock);
            if (state.rebuildQueue.empty()) {
                state.rebuildRunning = 0;
                drained = true;
                break;
            }
            letter = state.rebuildQueue.front();
            state.rebuildQueue.pop_front();
        }
        ++result.drives;
        state.rebuildDrive = letter;
        if (driveStatus) driveStatus(letter, true);

        const int devType = state.devType.load();
        const std::vector<int> months = ListCardMonthFolders(state, letter, devType);
        const auto volume = state.volumes.Find(letter);
        if (months.empty() || !volume) continue;
        const CardVolume card{letter, volume->root, codePage};
        CutPartialRecord(card.root / kCallLogFileName, RecordSize(devType, true));

        for (int month : months) {
            if (state.quitting.load() != 0) break;
            const fs::path dir = devType == 1 ? card.root / kRecordFolder / std::to_string(month)
                                              : card.root / std::to_string(month);
            std::error_code ec;
            for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator();
                 it.increment(ec)) {
                if (state.quitting.load() != 0) break;
                if (!IsRecordingEntry(*it)) continue;
                int error = 0;
                const auto appended =
                    AppendLogRecord(card, it->path().filename().string(), devType, &error);
                if (appended == AppendLogResult::Added) ++result.added;
                if (appended == AppendLogResult::WriteFailed) {
                    ++result.failed;
                    if (result.failureReason.empty())
                        result.failureReason = error == EROFS   ? "the card is read-only"
                                               : error == ELOOP ? "the call log is a symbolic link"
                                                                : FileErrorText(error);
                }
                std::this_thread::yield();
            }
            std::this_thread::yield();
        }
    }
    if (!drained) {
        std::lock_guard lock(state.rebuildLock);
        state.rebuildRunning = 0;
    }
    if (driveStatus && result.drives > 0) driveStatus(state.rebuildDrive.load(), false);
    return result;
}

}  // namespace lk
