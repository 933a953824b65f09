#pragma once
// File names of exported recordings made from the call's facts: a template
// such as "{date} {time} {type} {number}" or "{year}/{month}/{name} {time}".
//
// Fields: {date} (YYYY-MM-DD), {time} (HH-MM-SS), {year}, {month}, {day},
// {hour}, {minute}, {second}, {type}, {number}, {name}, and {file}, the
// recording's own file name without its extension. "/" makes folders.
//
// Rules, so that a name always lands inside the chosen folder:
// - Refused: an empty template, a leading "/", a "." or ".." folder, an
//   empty folder ("a//b", a trailing "/"), an unknown field, a lone brace.
// - Made safe on expansion: characters that Linux, FAT and exFAT sticks
//   cannot hold or that split paths (control characters, / \ : * ? " < > |)
//   become "_"; spaces and dots are trimmed from both ends of every part (so
//   no part is hidden or ".."); a folder that comes out empty is left out; a
//   file name that comes out empty is the recording's own; every part is cut
//   to 200 bytes.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lk {

// The call's facts as text (UTF-8); a zero year means the time is unknown.
struct NameFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::string type;
    std::string number;
    std::string name;
    std::string file;  // the recording's file name without extension
};

// The default: the recording's own name, as the WAV export names files.
inline constexpr char kDefaultNameTemplate[] = "{file}";

class NameTemplate {
  public:
    // The parsed template, or nullopt with a one-line reason in `error`.
    static std::optional<NameTemplate> Parse(std::string_view text, std::string* error = nullptr);
    static NameTemplate Default();

    // The relative path without extension: folders, then the file's stem.
    // Never empty, never absolute, never with a "." or ".." part.
    std::filesystem::path Expand(const NameFields& fields) const;
    const std::string& Text() const { return text_; }

  private:
    struct Piece {
        bool field = false;
        std::string text;  // literal text, or the field's name
    };
    using Part = std::vector<Piece>;
    std::string text_;
    std::vector<Part> parts_;  // folders, then the file name
};

// Replaces characters a file name cannot hold with "_" and trims spaces and
// dots from both ends (the rule above, for one part).
std::string SafeNamePart(std::string_view text);

}  // namespace lk
