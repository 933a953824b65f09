#pragma once
// What the working dialogs get from the window that opens them.

#include <functional>

#include "support/FolderPicker.h"

namespace lk {
class FileOps;
}

namespace lk::gui {

struct DialogServices {
    FolderPicker pickFolder;  // empty: the desktop's picker
    // Runs on a dialog's worker at every progress step (tests hold it there).
    std::function<void()> workerStep;
    // The backup path changed or a backup run ended: reload the backup
    // records if they are shown.
    std::function<void()> scheduleBackupReload;
    // Ejects the card (offered when a backup from it ended well).
    std::function<void()> ejectCard;
    FileOps* backupFiles = nullptr;  // null: the real file system
};

}  // namespace lk::gui
