#include "CliCard.h"

#include <fstream>
#include <iostream>
#include <system_error>

namespace lk::cli {
namespace fs = std::filesystem;

std::optional<CliCard> OpenCardFolder(const fs::path& dir, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = "not a folder: " + dir.string();
        return std::nullopt;
    }
    const auto root = fs::absolute(dir, ec).lexically_normal();
    CliCard card;
    card.state = std::make_unique<RecorderState>(MakeSystemVolumeProbe({root}));
    card.volume.root = root;
    card.volume.letter = card.state->volumes.LetterOf(root);
    if (card.volume.letter == 0) {
        error = "no drive letter is free for " + root.string();
        return std::nullopt;
    }
    card.devType = fs::exists(root / kPhoneBookFileName, ec) ? 1 : 0;
    card.state->devType = card.devType;
    card.state->cardDrive = card.volume.letter;
    card.state->cardLogPath = root / kCallLogFileName;
    return card;
}

std::optional<CliCard> OpenCardWithLog(const fs::path& dir) {
    std::string error;
    auto card = OpenCardFolder(dir, error);
    if (card && !std::ifstream(card->state->cardLogPath, std::ios::binary))
        error = "cannot read " + card->state->cardLogPath.string();
    if (!error.empty()) {
        PrintError(error);
        return std::nullopt;
    }
    return card;
}

std::optional<CardVolume> CardVolumeForDir(const fs::path& dir) {
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

std::unique_ptr<RecorderState> MakeCliState() {
    return std::make_unique<RecorderState>(MakeSystemVolumeProbe());
}

}  // namespace lk::cli
