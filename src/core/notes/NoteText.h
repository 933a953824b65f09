#pragma once
// What a note or a tag may hold. Both come from the keyboard, a paste or a
// script, so they are checked before they reach the notes database: valid
// UTF-8, no control characters (a note keeps its line breaks and tabs), a
// note at most 64 KiB, a tag one short line without commas (the exports
// join tags with commas).

#include <cstddef>
#include <string>
#include <string_view>

namespace lk {

inline constexpr std::size_t kMaxNoteBytes = 64 * 1024;
inline constexpr std::size_t kMaxTagBytes = 100;

struct CheckedText {
    bool ok = false;
    std::string text;     // the text to keep: line ends made "\n", a tag trimmed
    std::string message;  // why the text was refused
};

// A note: CR LF and lone CR become LF. An empty result clears the note.
[[nodiscard]] CheckedText CheckNote(std::string_view text);
// A tag: blanks around it removed; empty, too long, a comma or a control
// character refuse it.
[[nodiscard]] CheckedText CheckTag(std::string_view text);

}  // namespace lk
