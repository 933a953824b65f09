#pragma once
// The 12-byte header of an .xtr recording and the note area behind it.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/ByteIo.h"
#include "playback/XtrFormat.h"

namespace lk {

struct XtrHeader {
    std::uint32_t dataOffset = 0;
    std::uint32_t formatTag = 0;
};

// Reads bytes 0-11 of a recording image; nullopt when fewer than 12 bytes.
std::optional<XtrHeader> ReadXtrHeader(ByteSpan file);
std::optional<XtrHeader> ReadXtrHeader(const std::filesystem::path& path);

// The note area as the readers see it: the 1024 bytes at offset 144 with a
// terminating zero appended; the part beyond a short file reads as zeros.
using NoteArea = std::array<std::uint8_t, xtr::kNoteAreaSize + 1>;
NoteArea NoteAreaOf(ByteSpan file);

// Reads up to `count` bytes at `offset` of a file opened read-only; shorter
// when the file ends first, nullopt when it cannot be opened.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                       std::uint64_t offset, std::size_t count);
// The whole file, nullopt when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path);

}  // namespace lk
