#pragma once
// The state every part shares: the record lists, the contacts, the current
// card and the flags through which workers are told to stop. A record
// session owns it and is the only one outside the engines it runs (loader,
// card watch, rebuild, backup) to change it; everyone else reads it.

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
#include "card/RecordLists.h"
#include "platform/VolumeTable.h"

namespace lk {

struct RecorderState {
    explicit RecorderState(std::unique_ptr<VolumeProbe> probe) : volumes(std::move(probe)) {}

    RecordLists records;  // card, backup store, imported folder
    ContactList contacts;
    std::vector<int> backupMonths;

    std::atomic<int> loadFromCard{0};
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

    // The backup list while the backup is shown, else the card list.
    RecordListId CurrentListId() const {
        return viewingBackup != 0 ? RecordListId::Backup : RecordListId::Card;
    }
    const RecordList& CurrentRecordList() const { return records.List(CurrentListId()); }
};

}  // namespace lk
