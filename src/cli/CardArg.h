#pragma once
// Small helpers shared by the maintenance commands.

#include <filesystem>
#include <optional>
#include <string>

#include "card/CallLog.h"

namespace lk::cli {

// The card a folder stands for (its root and drive letter); nullopt, with the
// reason printed, when it is not a usable card folder.
std::optional<CardVolume> CardVolumeForDir(const std::filesystem::path& dir);

// Prints "linekeeper-cli: <message>" on stderr.
void PrintError(const std::string& message);

}  // namespace lk::cli
