#pragma once
// Delete and mark of one record. Both act on the file and the position the
// record was read from (its origin), never on a file derived from its date,
// and only through paths below that file's root.

#include <string>

#include "card/CallRecord.h"
#include "platform/RootedPath.h"

namespace lk {

struct RecordChange {
    bool done = false;
    std::string reason;  // why not, when not done
};

// The recording a record names, below the root of the file it was read from.
[[nodiscard]] RootedPathResult RecordingOf(const CallRecord& record);

// Removes the record's recording (a missing one is no failure), then clears
// its entry in place. Nothing is removed when the recording's path is refused
// or the entry cannot be written.
[[nodiscard]] RecordChange DeleteRecordFiles(const CallRecord& record);

// Writes the mark into the record's entry; when written, the record's
// `marked` and cardBytes byte 3 follow.
[[nodiscard]] RecordChange WriteRecordMark(CallRecord& record, int value);

}  // namespace lk
