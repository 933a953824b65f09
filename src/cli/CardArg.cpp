#include "CardArg.h"

#include <iostream>
#include <system_error>

#include "platform/VolumeTable.h"

namespace lk::cli {

std::optional<CardVolume> CardVolumeForDir(const std::filesystem::path& dir) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return std::nullopt;
    auto root = std::filesystem::absolute(dir, ec);
    if (ec) root = dir;
    root = root.lexically_normal();
    if (!root.has_filename() && root != root.root_path()) root = root.parent_path();
    VolumeTable volumes(MakeSystemVolumeProbe({root}));
    char letter = volumes.LetterOf(root);
    if (letter == 0) letter = 'E';
    return CardVolume{letter, root};
}

void PrintError(const std::string& message) {
    std::cerr << "linekeeper-cli: " << message << '\n';
}

}  // namespace lk::cli
