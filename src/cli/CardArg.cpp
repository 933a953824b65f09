#include "CardArg.h"

#include <iostream>

#include "CliCard.h"

namespace lk::cli {

std::optional<CardVolume> CardVolumeForDir(const std::filesystem::path& dir) {
    std::string error;
    const auto card = OpenCardFolder(dir, error);
    if (!card) {
        PrintError(error);
        return std::nullopt;
    }
    return card->volume;
}

void PrintError(const std::string& message) {
    std::cerr << "linekeeper-cli: " << message << '\n';
}

}  // namespace lk::cli
