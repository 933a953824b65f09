#pragma once
// Reading whole record files into record lists: a card's CallLog.dat and the
// month index files of a backup store. Only live records are kept.

#include <atomic>
#include <filesystem>
#include <memory>
#include <vector>

#include "card/CallLog.h"
#include "phonebook/OutlookContact.h"

namespace lk {

struct RecordFileLoad {
    bool found = false;  // the log (or at least one month index file) could be read
    int recordsRead = 0;
    int kept = 0;
    int unsafe = 0;  // live card records whose path would leave the card (dropped)
    std::vector<std::unique_ptr<CallRecord>> records;
};

// The live records of the card's call log, in file order, `index` = position.
RecordFileLoad ReadCardLogRecords(const CardVolume& card, int devType, const ContactList& contacts,
                                  const std::atomic<int>* stop = nullptr);

// The live records of every month index file of the family's store below
// `backupPath`, months ascending, each file in order; text fields cut to the
// widths the lists use.
RecordFileLoad ReadBackupStoreRecords(const std::filesystem::path& backupPath, int devType,
                                      const std::atomic<int>* stop = nullptr);

}  // namespace lk
