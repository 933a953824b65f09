#include "platform/CardPath.h"

#include "platform/TextCodec.h"

namespace lk {

std::optional<std::filesystem::path> ResolveUnderRoot(const std::filesystem::path& root,
                                                      std::u16string_view relative) {
    if (relative.empty()) return std::nullopt;
    const auto isSeparator = [](char16_t c) { return c == u'\\' || c == u'/'; };
    if (isSeparator(relative.front())) return std::nullopt;  // absolute, or a "\\server" share

    std::filesystem::path out = root;
    std::size_t pos = 0;
    bool any = false;
    while (pos <= relative.size()) {
        std::size_t end = pos;
        while (end < relative.size() && !isSeparator(relative[end]))
            ++end;
        const auto part = relative.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty()) continue;  // doubled or trailing separator
        // No drive prefixes or stream names, no NULs, and no component made
        // only of dots (Windows also reads "..." as a parent reference).
        if (part.find(u':') != std::u16string_view::npos ||
            part.find(u'\0') != std::u16string_view::npos ||
            part.find_first_not_of(u'.') == std::u16string_view::npos)
            return std::nullopt;
        out /= ToUtf8(part);
        any = true;
    }
    if (!any) return std::nullopt;
    return out;
}

std::optional<DrivePath> SplitDrivePath(std::u16string_view drivePath) {
    if (drivePath.size() < 3 || drivePath[1] != u':' || drivePath[2] != u'\\') return std::nullopt;
    const char16_t c = drivePath[0];
    if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))) return std::nullopt;
    DrivePath out;
    // Drive letters name the same drive in either case.
    out.letter = static_cast<char>(c >= u'a' ? c - u'a' + u'A' : c);
    out.relative = std::u16string(drivePath.substr(3));
    return out;
}

std::u16string MakeDrivePath(char letter, std::u16string_view relative) {
    std::u16string out;
    out += static_cast<char16_t>(static_cast<unsigned char>(letter));
    out += u":\\";
    out += relative;
    return out;
}

}  // namespace lk
