#include "platform/CardPath.h"

#include <algorithm>

#include "platform/TextCodec.h"

namespace lk {

std::optional<std::string> ResolveUnderRootText(std::string_view root,
                                                std::u16string_view relative) {
    if (relative.empty()) return std::nullopt;
    const auto isSeparator = [](char16_t c) { return c == u'\\' || c == u'/'; };
    if (isSeparator(relative.front())) return std::nullopt;  // absolute, or a "\\server" share

    // The parts are checked and joined in one pass, onto the root's text: a
    // loader resolves every record of a log, and a path object per part made
    // up most of that.
    // As path's operator/ joins: a separator unless the root is empty or
    // ends in one.
    std::string out(root);
    if (!out.empty() && out.back() != '/') out += '/';
    const std::size_t rootLength = out.size();
    // ASCII parts are written in place (one byte per unit, the separators
    // at most one per part); others are converted and appended.
    out.resize(rootLength + relative.size());
    std::size_t used = rootLength;
    std::size_t pos = 0;
    while (pos < relative.size()) {
        const std::size_t start = pos;
        bool onlyDots = true;
        bool ascii = true;
        for (; pos < relative.size() && !isSeparator(relative[pos]); ++pos) {
            const char16_t c = relative[pos];
            // No drive prefixes or stream names and no NULs.
            if (c == u':' || c == u'\0') return std::nullopt;
            onlyDots = onlyDots && c == u'.';
            ascii = ascii && c < 0x80;
        }
        const std::size_t length = pos - start;
        ++pos;                      // past the separator
        if (length == 0) continue;  // doubled or trailing separator
        // No component made only of dots (Windows also reads "..." as a
        // parent reference).
        if (onlyDots) return std::nullopt;
        if (used > rootLength) out[used++] = '/';
        const std::u16string_view part = relative.substr(start, length);
        if (ascii) {
            for (const char16_t c : part)
                out[used++] = static_cast<char>(c);
        } else {
            const std::string text = ToUtf8(part);
            // Room for this text and for all that may follow it.
            const std::size_t rest = pos < relative.size() ? relative.size() - pos : 0;
            out.resize(std::max(out.size(), used + text.size() + rest + 1));
            out.replace(used, text.size(), text);
            used += text.size();
        }
    }
    if (used == rootLength) return std::nullopt;
    out.resize(used);
    return out;
}

std::optional<std::filesystem::path> ResolveUnderRoot(const std::filesystem::path& root,
                                                      std::u16string_view relative) {
    auto text = ResolveUnderRootText(root.native(), relative);
    if (!text) return std::nullopt;
    return std::filesystem::path(std::move(*text));
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
