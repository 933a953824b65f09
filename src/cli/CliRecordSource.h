#pragma once
// The records of a card or a backup store, loaded the way the program loads
// them, for the commands that act on a list (export-sheet, mail).

#include <memory>
#include <optional>
#include <string>

#include "card/RecorderState.h"

namespace lk::cli {

struct LoadedRecords {
    std::unique_ptr<RecorderState> state;
    int devType = 0;
    const RecordList& Records() const { return state->CurrentRecordList(); }
};

// Either `card` or `store` with `family` 0 or 1. Prints the reason and gives
// nullopt when the folder cannot be read.
std::optional<LoadedRecords> LoadListedRecords(const std::string& card, const std::string& store,
                                               int family);

}  // namespace lk::cli
