#pragma once
// The two length rules of a recording file: one feeds the card log (rounded
// up), the other the list display (rounded down, slightly different rates).

#include <filesystem>

namespace lk {

unsigned RecordingSecondsRoundedUp(const std::filesystem::path& path);
unsigned RecordingSeconds(const std::filesystem::path& path);

}  // namespace lk
