#include "playback/XtrHeader.h"

#include <algorithm>
#include <vector>

#include "platform/RegularFile.h"

namespace lk {

std::optional<XtrHeader> ReadXtrHeader(ByteSpan file) {
    if (file.size() < xtr::kHeaderSize) return std::nullopt;
    return XtrHeader{ReadU32(file, xtr::kDataOffsetField), ReadU32(file, xtr::kFormatTagField)};
}

std::optional<XtrHeader> ReadXtrHeader(const std::filesystem::path& path) {
    const auto bytes = ReadFileBytes(path, 0, xtr::kHeaderSize);
    if (!bytes) return std::nullopt;
    return ReadXtrHeader(ByteSpan(*bytes));
}

NoteArea NoteAreaOf(ByteSpan file) {
    NoteArea area{};
    if (file.size() > xtr::kNoteAreaOffset) {
        const auto n = std::min(xtr::kNoteAreaSize, file.size() - xtr::kNoteAreaOffset);
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(xtr::kNoteAreaOffset), n,
                    area.begin());
    }
    return area;
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::filesystem::path& path,
                                                       std::uint64_t offset, std::size_t count) {
    RegularFileStream in(path);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes(count);
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in) return std::vector<std::uint8_t>{};
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return std::nullopt;
    RegularFileStream in(path);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    if (end < 0) return std::nullopt;
    in.seekg(0);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(end));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::size_t>(in.gcount()) != bytes.size()) return std::nullopt;
    return bytes;
}

}  // namespace lk
