#pragma once
// Writes a file under a temporary name in its folder and renames it into
// place when complete, so that a failed or interrupted write never leaves a
// half file under the final name.

#include <filesystem>
#include <initializer_list>

#include "platform/ByteIo.h"

namespace lk {

// The parts are written one after another. False (and nothing left behind)
// when any step fails; an existing file under `path` is then untouched.
bool WriteFileAtomically(const std::filesystem::path& path, std::initializer_list<ByteSpan> parts);

}  // namespace lk
