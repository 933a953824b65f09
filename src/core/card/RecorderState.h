#pragma once
// The state every part shares: the record lists, the contacts, the current
// card and the flags through which workers are told to stop. The GUI's
// application object owns one of these; the CLI makes its own.

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "card/CallRecord.h"
#include "card/OutlookContact.h"
#include "platform/VolumeTable.h"

namespace lk {

using RecordPtr = std::unique_ptr<CallRecord>;
using RecordList = std::vector<RecordPtr>;

struct RecorderState {
    explicit RecorderState(std::unique_ptr<VolumeProbe> probe) : volumes(std::move(probe)) {}

    RecordList cardRecords;
    RecordList backupRecords;
    RecordList folderRecords;
    ContactList contacts;
    std::vector<int> backupMonths;

    std::atomic<int> loadFromCard{0};
    std::atomic<int> loaderBusy{0};
    std::atomic<int> quitting{0};
    std::atomic<int> viewingBackup{1};
    std::atomic<int> rebuildRunning{0};
    std::atomic<int> devType{0};
    std::atomic<char> cardDrive{0};
    std::atomic<char> rebuildDrive{0};
    std::filesystem::path cardLogPath;

    std::mutex rebuildLock;  // guards rebuildQueue only
    std::deque<char> rebuildQueue;
    std::vector<int> cardMonthFolders;

    VolumeTable volumes;

    // backupRecords while the backup is shown, else cardRecords.
    RecordList& CurrentRecordList() { return viewingBackup != 0 ? backupRecords : cardRecords; }
};

}  // namespace lk
