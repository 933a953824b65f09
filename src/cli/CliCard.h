#pragma once
// Folders named on the command line, seen the way the program sees them: a
// card folder becomes a removable volume with its own drive letter.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "card/CallLog.h"
#include "card/RecorderState.h"

namespace lk::cli {

struct CliCard {
    std::unique_ptr<RecorderState> state;
    CardVolume volume;
    int devType = 0;  // 1 when the card holds PhoneBook.dat
};

// nullopt (with a one-line reason in `error`) when `dir` is not a folder.
std::optional<CliCard> OpenCardFolder(const std::filesystem::path& dir, std::string& error);

// A card folder whose CallLog.dat can be read; prints the reason and gives
// nullopt otherwise.
std::optional<CliCard> OpenCardWithLog(const std::filesystem::path& dir);

// The card volume alone; prints the reason and gives nullopt when `dir` is not a folder.
std::optional<CardVolume> CardVolumeForDir(const std::filesystem::path& dir);

// Prints "linekeeper-cli: <message>" on stderr.
void PrintError(const std::string& message);

// A state that knows no card (for stores and plain folders).
std::unique_ptr<RecorderState> MakeCliState();

}  // namespace lk::cli
