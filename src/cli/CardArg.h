#pragma once
// Turning a card folder given on the command line into the card the engines
// work on: its native root and the drive letter its records are named by.

#include <filesystem>
#include <optional>
#include <string>

#include "card/CallLog.h"

namespace lk::cli {

// nullopt when `dir` is not a folder. The letter is the one the volume table
// gives the folder as a card root ('E' when it gives none).
std::optional<CardVolume> CardVolumeForDir(const std::filesystem::path& dir);

// Prints "linekeeper-cli: <message>" on stderr.
void PrintError(const std::string& message);

}  // namespace lk::cli
