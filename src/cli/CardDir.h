#pragma once
// A card folder named on the command line, set up the way the card watch
// would find it: one removable volume whose root is the folder.

#include <filesystem>
#include <memory>
#include <string>

#include "app/RecorderState.h"

namespace lk::cli {

struct CardDir {
    std::unique_ptr<RecorderState> state;  // cardDrive, cardLogPath and devType set
    std::filesystem::path root;
    char letter = 0;
    int devType = 0;
};

// Empty `error` on success; else a one-line reason (missing folder, no CallLog.dat).
CardDir OpenCardDir(const std::filesystem::path& dir, std::string& error);

}  // namespace lk::cli
