#pragma once
// Delete and mark of one record of the list being shown, found by filePath.

#include <filesystem>
#include <string_view>

#include "card/RecorderState.h"

namespace lk {

enum class RecordDeleteResult {
    Deleted,         // the entry is cleared and the record left the current list
    NotFound,        // no live record of the current list has `path`
    EntryNotCleared  // the card log or backup index could not be written; the record stays
};

// Clears the record's entry in place (card log or backup index), then removes
// it from the current list (the list's listeners drop their rows first).
[[nodiscard]] RecordDeleteResult DeleteRecordByPath(RecorderState& state,
                                                    const std::filesystem::path& backupPath,
                                                    std::u16string_view path);

// Writes the mark in place; false when no record of the current list has `path`.
// The caller updates the in-memory `marked` and cardBytes byte 3.
[[nodiscard]] bool SetRecordMarkByPath(RecorderState& state,
                                       const std::filesystem::path& backupPath,
                                       std::u16string_view path, int value);

}  // namespace lk
