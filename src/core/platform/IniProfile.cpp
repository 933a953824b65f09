#include "platform/IniProfile.h"

// Debian's SimpleIni.h keeps its template bodies behind SI_IMPLEMENTATION
// (the packaged library is built for ICU); using the header on its own keeps
// this narrow UTF-8 flavour free of both.
#define SI_IMPLEMENTATION
#define SI_NO_CONVERSION
#include <SimpleIni.h>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/TextCodec.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// One line of the file as the reader sees it.
struct LineInfo {
    enum Kind { Other, Section, Key } kind = Other;
    std::string_view name;   // section or key name, trimmed
    std::size_t equals = 0;  // position of '=' in a key line
};

// Mirrors the reader's rules: comments start with ';' or '#', a section is
// "[name]" (anything after ']' ignored), a key line has a non-empty name
// before the first '='.
LineInfo Classify(std::string_view line) {
    LineInfo info;
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start]))
        ++start;
    if (start == line.size()) return info;
    const char first = line[start];
    if (first == ';' || first == '#') return info;
    if (first == '[') {
        const auto close = line.find(']', start);
        if (close == std::string_view::npos) return info;
        info.kind = LineInfo::Section;
        info.name = Trim(line.substr(start + 1, close - start - 1));
        return info;
    }
    const auto eq = line.find('=', start);
    if (eq == std::string_view::npos) return info;
    const auto name = Trim(line.substr(start, eq - start));
    if (name.empty()) return info;
    info.kind = LineInfo::Key;
    info.name = name;
    info.equals = eq;
    return info;
}

std::string ReadAll(const fs::path& file, bool& exists) {
    // Reading a folder would throw from the stream; it is no file to keep lines of.
    std::error_code ec;
    exists = false;
    if (!fs::is_regular_file(file, ec)) return {};
    std::ifstream in(file, std::ios::binary);
    exists = static_cast<bool>(in);
    if (!exists) return {};
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Read-modify-write of a profile file is one step for the threads of this process.
std::mutex& WriteLock() {
    static std::mutex m;
    return m;
}

bool ReplaceFile(const fs::path& file, const std::string& content) {
    std::error_code ec;
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data());
    return WriteFileAtomically(file, {ByteSpan(bytes, content.size())});
}

}  // namespace

std::optional<std::string> ReadProfileString(const fs::path& file, std::string_view section,
                                             std::string_view key) {
    CSimpleIniA ini(/*isUtf8=*/true, /*multiKey=*/true, /*multiLine=*/false);
    // With several equal keys the first one counts, as with Windows profiles.
    std::error_code ec;
    if (!fs::is_regular_file(file, ec) || ini.LoadFile(file.c_str()) < 0) return std::nullopt;
    const std::string s(section), k(key);
    const char* value = ini.GetValue(s.c_str(), k.c_str(), nullptr);
    if (!value) return std::nullopt;
    return std::string(value);
}

bool WriteProfileString(const fs::path& file, std::string_view section, std::string_view key,
                        std::string_view value) {
    const auto keyName = Trim(key);
    const auto sectionName = Trim(section);
    if (keyName.empty() || keyName.find_first_of("=\r\n") != std::string_view::npos ||
        keyName.front() == '[' || keyName.front() == ';' || keyName.front() == '#' ||
        sectionName.find_first_of("]\r\n") != std::string_view::npos)
        return false;

    std::string escaped;
    escaped.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r') {
            if (i + 1 < value.size() && value[i + 1] == '\n') continue;
            escaped += "\\n";
        } else if (value[i] == '\n') {
            escaped += "\\n";
        } else {
            escaped += value[i];
        }
    }

    std::lock_guard<std::mutex> lock(WriteLock());
    bool exists = false;
    const std::string text = ReadAll(file, exists);

    std::string_view body = text;
    std::string bom;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") {
        bom = body.substr(0, 3);
        body.remove_prefix(3);
    }
    const auto firstLf = body.find('\n');
    const std::string eol =
        (firstLf != std::string_view::npos && firstLf > 0 && body[firstLf - 1] == '\r') ? "\r\n"
                                                                                        : "\n";

    // Lines without their terminators; `ends` keeps each terminator as found.
    std::vector<std::string_view> lines, ends;
    for (std::size_t pos = 0; pos < body.size();) {
        const auto lf = body.find('\n', pos);
        if (lf == std::string_view::npos) {
            lines.push_back(body.substr(pos));
            ends.push_back({});
            break;
        }
        std::size_t end = lf;
        if (end > pos && body[end - 1] == '\r') --end;
        lines.push_back(body.substr(pos, end - pos));
        ends.push_back(body.substr(end, lf + 1 - end));
        pos = lf + 1;
    }

    // Keys before any section header belong to the unnamed section "".
    bool inSection = sectionName.empty(), inFirst = inSection, seen = inSection;
    std::optional<std::size_t> keyLine, insertAfter;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto info = Classify(lines[i]);
        if (info.kind == LineInfo::Section) {
            const bool match = EqualsNoCase(info.name, sectionName);
            inFirst = match && !seen;
            seen = seen || match;
            inSection = match;
            if (inFirst) insertAfter = i;
        } else if (info.kind == LineInfo::Key && inSection) {
            if (!keyLine && EqualsNoCase(info.name, keyName)) keyLine = i;
            // A new key goes after the last key of the first section of that name.
            if (inFirst) insertAfter = i;
        }
    }

    std::string out = bom;
    auto emit = [&](std::size_t i) {
        out.append(lines[i]);
        out.append(ends[i].empty() && i + 1 < lines.size() ? std::string_view(eol) : ends[i]);
    };
    auto ensureEol = [&] {
        if (!out.empty() && out.back() != '\n') out += eol;
    };
    const std::string newLine = std::string(keyName) + "=" + escaped;

    if (keyLine) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i == *keyLine) {
                out.append(lines[i].substr(0, Classify(lines[i]).equals + 1));
                out.append(escaped);
                out.append(ends[i]);
            } else {
                emit(i);
            }
        }
    } else if (seen) {
        if (!insertAfter) out += newLine + eol;  // unnamed section without keys: at the top
        for (std::size_t i = 0; i < lines.size(); ++i) {
            emit(i);
            if (insertAfter && i == *insertAfter) {
                ensureEol();
                out += newLine + eol;
            }
        }
    } else {
        for (std::size_t i = 0; i < lines.size(); ++i)
            emit(i);
        ensureEol();
        if (!lines.empty() && !Trim(lines.back()).empty()) out += eol;
        out += "[" + std::string(sectionName) + "]" + eol + newLine + eol;
    }
    return ReplaceFile(file, out);
}

std::string CutToUtf16Units(std::string_view text, std::size_t maxUnits) {
    std::u16string wide = FromUtf8(text);
    if (wide.size() > maxUnits) {
        std::size_t n = maxUnits;
        // Never leave half of a surrogate pair at the end.
        if (n > 0 && wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF) --n;
        wide.resize(n);
    }
    return ToUtf8(wide);
}

std::string ExpandLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace lk
