#include "export/NameTemplate.h"

#include <array>
#include <cstdio>

namespace lk {

namespace {

constexpr std::size_t kMaxPartBytes = 200;

constexpr std::array<std::string_view, 12> kFields = {"date", "time",   "year",   "month",
                                                      "day",  "hour",   "minute", "second",
                                                      "type", "number", "name",   "file"};

bool Unsafe(unsigned char c) {
    return c < 0x20 || c == 0x7f ||
           std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

// Cuts UTF-8 text to at most `bytes`, never inside a character.
std::string CutUtf8(std::string text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

std::string Two(int v) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

std::string FieldValue(std::string_view field, const NameFields& f) {
    const bool timeKnown = f.year > 0;
    if (field == "date") {
        if (!timeKnown) return {};
        char b[32];
        std::snprintf(b, sizeof b, "%04d-%02d-%02d", f.year, f.month, f.day);
        return b;
    }
    if (field == "time") {
        if (!timeKnown) return {};
        char b[32];
        std::snprintf(b, sizeof b, "%02d-%02d-%02d", f.hour, f.minute, f.second);
        return b;
    }
    if (field == "year") return timeKnown ? std::to_string(f.year) : std::string();
    if (field == "month") return timeKnown ? Two(f.month) : std::string();
    if (field == "day") return timeKnown ? Two(f.day) : std::string();
    if (field == "hour") return timeKnown ? Two(f.hour) : std::string();
    if (field == "minute") return timeKnown ? Two(f.minute) : std::string();
    if (field == "second") return timeKnown ? Two(f.second) : std::string();
    if (field == "type") return f.type;
    if (field == "number") return f.number;
    if (field == "name") return f.name;
    return f.file;
}

bool Fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

}  // namespace

std::string SafeNamePart(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        out += Unsafe(static_cast<unsigned char>(c)) ? '_' : c;
    const auto first = out.find_first_not_of(" .");
    if (first == std::string::npos) return {};
    const auto last = out.find_last_not_of(" .");
    return CutUtf8(out.substr(first, last - first + 1), kMaxPartBytes);
}

std::optional<NameTemplate> NameTemplate::Parse(std::string_view text, std::string* error) {
    NameTemplate t;
    t.text_ = std::string(text);
    auto fail = [&](std::string why) {
        (void)Fail(error, std::move(why));
        return std::nullopt;
    };
    if (text.empty()) return fail("the name template is empty");
    if (text.front() == '/') return fail("a name template cannot start with \"/\"");
    std::size_t start = 0;
    for (;;) {
        const auto slash = text.find('/', start);
        const auto partText = text.substr(
            start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (partText.empty())
            return fail(
                "a name template cannot have an empty folder (\"//\" or a \"/\" at the end)");
        if (partText == "." || partText == "..")
            return fail("a name template cannot use \".\" or \"..\" as a folder");
        Part part;
        for (std::size_t i = 0; i < partText.size();) {
            const char c = partText[i];
            if (c == '{') {
                const auto close = partText.find('}', i + 1);
                if (close == std::string_view::npos)
                    return fail("\"{\" without \"}\" in the name template");
                const auto field = partText.substr(i + 1, close - i - 1);
                bool known = false;
                for (const auto k : kFields)
                    known = known || k == field;
                if (!known)
                    return fail("unknown field {" + std::string(field) + "} in the name template");
                part.push_back({true, std::string(field)});
                i = close + 1;
            } else if (c == '}') {
                return fail("\"}\" without \"{\" in the name template");
            } else {
                if (part.empty() || part.back().field) part.push_back({false, {}});
                part.back().text += c;
                ++i;
            }
        }
        t.parts_.push_back(std::move(part));
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return t;
}

NameTemplate NameTemplate::Default() {
    return *Parse(kDefaultNameTemplate);
}

std::filesystem::path NameTemplate::Expand(const NameFields& fields) const {
    std::filesystem::path out;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        std::string text;
        for (const auto& piece : parts_[i])
            text += piece.field ? FieldValue(piece.text, fields) : piece.text;
        auto safe = SafeNamePart(text);
        const bool last = i + 1 == parts_.size();
        if (safe.empty() && last) {
            safe = SafeNamePart(fields.file);
            if (safe.empty()) safe = "recording";
        }
        if (!safe.empty()) out /= safe;
    }
    return out;
}

}  // namespace lk
