#pragma once
// Ejecting the card: unmount its volume and power the reader's slot off where
// the desktop allows it. Through udisks2 on the system bus (what the file
// manager's eject button does, so no root is needed), else `gio mount -e`,
// else `umount`. Blocks: run it on a worker.

#include <QString>
#include <filesystem>

namespace lk::gui {

struct EjectResult {
    enum class Outcome {
        Removable,     // unmounted: the card can be pulled
        Busy,          // a file on the card is still open
        NotPermitted,  // the system refuses this user
        NotMounted,    // the card is a folder, not a volume of its own
        Failed,
    };
    Outcome outcome = Outcome::Failed;
    QString detail;  // what the system said, when it said something
    QString via;     // "udisks2", "gio", "umount", "fusermount"
    bool poweredOff = false;
};

// `busAddress` empty: the system bus.
EjectResult EjectVolume(const std::filesystem::path& mountPoint, const QString& busAddress = {});

// The user's words for a result (language texts 392 to 395).
QString EjectResultText(const EjectResult& result);

}  // namespace lk::gui
