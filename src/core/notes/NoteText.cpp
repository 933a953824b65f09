#include "notes/NoteText.h"

#include <cstdint>
#include <cstdio>

namespace lk {

namespace {

// Decodes one UTF-8 sequence at `i`; false for anything not well formed
// (overlong forms, surrogates and values past U+10FFFF included).
bool NextCodePoint(std::string_view s, std::size_t& i, char32_t& cp) {
    const auto b0 = static_cast<std::uint8_t>(s[i]);
    int extra = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        cp = b0 & 0x1F, extra = 1, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        cp = b0 & 0x0F, extra = 2, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        cp = b0 & 0x07, extra = 3, min = 0x10000;
    } else {
        return false;
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<std::uint8_t>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += static_cast<std::size_t>(extra) + 1;
    return true;
}

bool IsControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

std::string ControlMessage(const char* what, char32_t cp) {
    char text[96];
    std::snprintf(text, sizeof text, "%s holds the control character U+%04X", what,
                  static_cast<unsigned>(cp));
    return text;
}

}  // namespace

CheckedText CheckNote(std::string_view text) {
    CheckedText out;
    out.text.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\r') {
            out.text += '\n';
            i += i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
            continue;
        }
        const std::size_t start = i;
        char32_t cp = 0;
        if (!NextCodePoint(text, i, cp)) {
            out.message = "the note is not valid UTF-8 text";
            return out;
        }
        if (IsControl(cp) && cp != '\n' && cp != '\t') {
            out.message = ControlMessage("the note", cp);
            return out;
        }
        out.text.append(text.substr(start, i - start));
    }
    if (out.text.size() > kMaxNoteBytes) {
        out.message = "the note is longer than 64 KiB";
        return out;
    }
    out.ok = true;
    return out;
}

CheckedText CheckTag(std::string_view text) {
    CheckedText out;
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.empty()) {
        out.message = "a tag cannot be empty";
        return out;
    }
    if (text.size() > kMaxTagBytes) {
        out.message = "a tag is at most 100 bytes long";
        return out;
    }
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        if (!NextCodePoint(text, i, cp)) {
            out.message = "the tag is not valid UTF-8 text";
            return out;
        }
        if (IsControl(cp)) {
            out.message = ControlMessage("the tag", cp);
            return out;
        }
        if (cp == ',') {
            out.message = "a tag cannot hold a comma";
            return out;
        }
    }
    out.text = std::string(text);
    out.ok = true;
    return out;
}

}  // namespace lk
