#include "playback/Annotation.h"

#include <algorithm>

#include "playback/XtrFormat.h"
#include "playback/XtrHeader.h"

namespace lk {
namespace {

constexpr std::string_view kBookmarkLine = "Bookmark at:  ";
constexpr std::size_t kBookmarkLineMin = 22;  // the prefix and an eight-character time
constexpr int kLineEndsLooked = 2;

bool Accepted(std::string_view line) {
    if (line.empty() || line.size() >= kAnnotationLineLimit) return false;
    if (line.size() >= kBookmarkLineMin && line.starts_with(kBookmarkLine)) return false;
    if (line.size() == 20 && line.find_first_not_of(' ') == std::string_view::npos) return false;
    return true;
}

std::string Cut(std::string_view line, std::size_t maxLength) {
    return std::string(line.substr(0, maxLength));
}

// Letters and digits of the Latin-1 range, as a wide-character classification sees them.
bool IsWideAlnum(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    if (c == 0xAA || c == 0xB5 || c == 0xBA || c == 0xB2 || c == 0xB3 || c == 0xB9) return true;
    return c >= 0xC0 && c != 0xD7 && c != 0xF7;
}

}  // namespace

std::optional<std::string> ReadAnnotation(ByteSpan area, std::size_t maxLength) {
    const auto size = std::min(area.size(), xtr::kNoteAreaSize);
    std::string line;
    std::size_t lineLength = 0;  // stays at the limit for longer lines
    int lineEnds = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const auto c = area[i];
        if (c == 0) {
            if (lineLength > 0 && Accepted(line)) return Cut(line, maxLength);
            return std::nullopt;
        }
        if (c == '\r' && i + 1 < size && area[i + 1] == '\n') {
            if (++lineEnds > kLineEndsLooked) return std::nullopt;
            if (Accepted(line)) return Cut(line, maxLength);
            line.clear();
            lineLength = 0;
            ++i;  // past the LF
            continue;
        }
        if (lineLength < kAnnotationLineLimit) {
            line.push_back(static_cast<char>(c));
            ++lineLength;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ReadAnnotation(const std::filesystem::path& path,
                                          std::size_t maxLength) {
    if (!IsXtrPath(path.string())) return std::nullopt;
    const auto bytes = ReadFileBytes(path, xtr::kNoteAreaOffset, xtr::kNoteAreaSize);
    if (!bytes) return std::nullopt;
    // A short file's missing part reads as zeros.
    std::vector<std::uint8_t> area(xtr::kNoteAreaSize, 0);
    std::copy(bytes->begin(), bytes->end(), area.begin());
    return ReadAnnotation(ByteSpan(area), maxLength);
}

bool AnnotationLooksChinese(std::string_view bytes) {
    const auto n = std::min<std::size_t>(bytes.size(), 32);
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == 0) break;
        if (c != ' ' && !IsWideAlnum(c)) return true;
    }
    return false;
}

}  // namespace lk
