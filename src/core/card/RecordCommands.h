#pragma once
// Delete and mark of one record of the list being shown, found by filePath.

#include <filesystem>
#include <string_view>

#include "card/RecorderState.h"

namespace lk {

// Clears the record's entry in place (card log or backup index), unlinks it from
// the current list and hands it back, so the caller can drop every row that
// shows it before the record is freed. nullptr when no live record has `path`.
RecordPtr DeleteRecordByPath(RecorderState& state, const std::filesystem::path& backupPath,
                             std::u16string_view path);

// Writes the mark in place; false when no record of the current list has `path`.
// The caller updates the in-memory `marked` and cardBytes byte 3.
bool SetRecordMarkByPath(RecorderState& state, const std::filesystem::path& backupPath,
                         std::u16string_view path, int value);

}  // namespace lk
