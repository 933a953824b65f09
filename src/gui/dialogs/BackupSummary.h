#pragma once
// What a backup run did, in the words its closing summary uses: how many
// recordings were copied, already held, recorded without a recording or not
// backed up, and for each one not backed up, why.

#include <QString>

#include "backup/BackupEngine.h"

namespace lk::gui {

struct BackupSummary {
    int copied = 0;   // copied or moved into the store
    int held = 0;     // the store had them already
    int markers = 0;  // records without a recording, listed all the same
    int failed = 0;   // not backed up; the next run tries them again
    QString text;     // the counts, one per line
    QString details;  // one line per failure: file, then reason
};

BackupSummary SummarizeBackup(const BackupResult& result);

}  // namespace lk::gui
