#include "phonebook/ContactLibrary.h"

#include <fstream>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <system_error>

#include "app/Settings.h"
#include "platform/TextCodec.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

// Address books are small; anything larger is not one.
constexpr std::uintmax_t kMaxFileBytes = 32u * 1024u * 1024u;

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        c = UpperAscii(c);
    return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && Upper(s.substr(0, prefix.size())) == Upper(prefix);
}

// Splits at `sep` outside double quotes.
std::vector<std::string_view> SplitOutsideQuotes(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '"')
            quoted = !quoted;
        else if (s[i] == sep && !quoted) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(s.substr(start));
    return parts;
}

std::size_t FindOutsideQuotes(std::string_view s, char c) {
    bool quoted = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '"')
            quoted = !quoted;
        else if (s[i] == c && !quoted)
            return i;
    }
    return std::string_view::npos;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = UpperAscii(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string DecodeQuotedPrintable(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '=' && i + 2 < s.size()) {
            const int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        if (s[i] == '=' && i + 1 == s.size()) break;  // a soft break left at the end
        out.push_back(s[i]);
    }
    return out;
}

std::string DecodeBase64(std::string_view s) {
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : s) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        else
            continue;  // padding, blanks
        buffer = (buffer << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t follow = 0;
        if (c < 0x80)
            follow = 0;
        else if ((c & 0xE0) == 0xC0)
            follow = 1;
        else if ((c & 0xF0) == 0xE0)
            follow = 2;
        else if ((c & 0xF8) == 0xF0)
            follow = 3;
        else
            return false;
        if (i + follow >= s.size() && follow > 0) return false;
        for (std::size_t k = 1; k <= follow; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += follow + 1;
    }
    return true;
}

struct Property {
    std::string name;      // upper case, group removed
    std::string encoding;  // "QUOTED-PRINTABLE", "BASE64" or empty
    std::string charset;
    bool uriValue = false;
    std::string_view value;
};

std::optional<Property> ParseProperty(std::string_view line) {
    const auto colon = FindOutsideQuotes(line, ':');
    if (colon == std::string_view::npos) return std::nullopt;
    Property p;
    p.value = line.substr(colon + 1);
    const auto parts = SplitOutsideQuotes(line.substr(0, colon), ';');
    std::string_view name = parts[0];
    if (const auto dot = name.rfind('.'); dot != std::string_view::npos)
        name = name.substr(dot + 1);
    p.name = Upper(name);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string_view param = parts[i];
        const auto eq = param.find('=');
        const std::string key =
            Upper(eq == std::string_view::npos ? std::string_view{} : param.substr(0, eq));
        std::string val = Upper(eq == std::string_view::npos ? param : param.substr(eq + 1));
        if (!val.empty() && val.front() == '"' && val.back() == '"' && val.size() >= 2)
            val = val.substr(1, val.size() - 2);
        if (key == "ENCODING" || (key.empty() && (val == "QUOTED-PRINTABLE" || val == "BASE64"))) {
            p.encoding = (val == "B" || val == "BASE64") ? "BASE64" : val;
        } else if (key == "CHARSET") {
            p.charset = val;
        } else if (key == "VALUE" && val == "URI") {
            p.uriValue = true;
        }
    }
    return p;
}

bool IsQuotedPrintableLine(std::string_view line) {
    const auto colon = FindOutsideQuotes(line, ':');
    if (colon == std::string_view::npos) return false;
    return Upper(line.substr(0, colon)).find("QUOTED-PRINTABLE") != std::string::npos;
}

std::u16string DecodeValue(const Property& p, std::string_view raw) {
    std::string bytes;
    if (p.encoding == "QUOTED-PRINTABLE")
        bytes = DecodeQuotedPrintable(raw);
    else if (p.encoding == "BASE64")
        bytes = DecodeBase64(raw);
    else
        bytes = std::string(raw);
    if (p.charset.empty() || p.charset == "UTF-8" || p.charset == "UTF8") {
        // Older address books write their own code page without saying so.
        if (IsValidUtf8(bytes)) return FromUtf8(bytes);
        return DecodeCodePage(
            ByteSpan(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "CP1252");
    }
    return DecodeCodePage(
        ByteSpan(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), p.charset);
}

std::u16string Unescape(std::u16string_view s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size()) {
            const char16_t n = s[++i];
            out.push_back(n == u'n' || n == u'N' ? u' ' : n);
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// Splits a structured value at ';' that are not escaped.
std::vector<std::u16string> SplitComponents(std::u16string_view s) {
    std::vector<std::u16string> parts(1);
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\' && i + 1 < s.size()) {
            parts.back().push_back(s[i]);
            parts.back().push_back(s[++i]);
        } else if (s[i] == u';') {
            parts.emplace_back();
        } else {
            parts.back().push_back(s[i]);
        }
    }
    for (auto& p : parts)
        p = Unescape(p);
    return parts;
}

std::u16string Trim(std::u16string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == u'\t'))
        ++b;
    while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t'))
        --e;
    return std::u16string(s.substr(b, e - b));
}

std::u16string NameFromComponents(const std::vector<std::u16string>& n) {
    // N is family;given;additional;prefix;suffix; shown as people say it.
    static constexpr std::size_t kOrder[] = {3, 1, 2, 0, 4};
    std::u16string out;
    for (std::size_t idx : kOrder) {
        if (idx >= n.size()) continue;
        const std::u16string part = Trim(n[idx]);
        if (part.empty()) continue;
        if (!out.empty()) out.push_back(u' ');
        out += part;
    }
    return out;
}

std::u16string TelephoneNumber(const Property& p) {
    std::u16string number = Trim(DecodeValue(p, p.value));
    if (p.uriValue || StartsWithNoCase(ToUtf8(number.substr(0, 4)), "tel:")) {
        if (StartsWithNoCase(ToUtf8(number.substr(0, 4)), "tel:")) number = number.substr(4);
        // URI parameters (";ext=", ";phone-context=") are not part of the number.
        if (const auto semi = number.find(u';'); semi != std::u16string::npos) number.resize(semi);
    }
    return Trim(Unescape(number));
}

// Logical lines: folded lines joined, quoted-printable soft breaks joined.
std::vector<std::string> LogicalLines(std::string_view text) {
    std::vector<std::string> physical;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        physical.emplace_back(line);
        start = end + 1;
    }
    std::vector<std::string> lines;
    // Version 2.1 folds at existing blanks and keeps them on unfolding; later
    // versions insert the blank, which unfolding removes.
    bool version21 = false;
    for (std::size_t i = 0; i < physical.size(); ++i) {
        std::string line = physical[i];
        if (!lines.empty() && !line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            lines.back() += version21 ? line : line.substr(1);
            continue;
        }
        if (!lines.empty()) {
            const std::string previous = Upper(lines.back());
            if (previous.rfind("BEGIN:VCARD", 0) == 0) version21 = false;
            if (previous.rfind("VERSION:", 0) == 0)
                version21 = previous.find("2.1") != std::string::npos;
        }
        while (!line.empty() && line.back() == '=' && IsQuotedPrintableLine(line) &&
               i + 1 < physical.size()) {
            line.pop_back();
            line += physical[++i];
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

struct CardBuilder {
    std::u16string formatted;
    std::u16string fromN;
    std::vector<std::u16string> numbers;

    OutlookContact Build() const {
        OutlookContact c;
        SetFieldText(c.displayName, formatted.empty() ? fromN : formatted);
        for (std::size_t i = 0; i < numbers.size() && i < OutlookContact::kNumberCount; ++i)
            SetFieldText(c.numbers[i], numbers[i]);
        return c;
    }
};

int StoreIntoList(const std::uint8_t* contact, void* context, std::uintptr_t, std::uintptr_t) {
    auto* list = static_cast<ContactList*>(context);
    try {
        list->push_back(OutlookContact::FromBytes(ByteSpan(contact, OutlookContact::kSize)));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

}  // namespace

std::vector<OutlookContact> ParseVCardText(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<OutlookContact> contacts;
    std::optional<CardBuilder> card;
    int nested = 0;  // vCards embedded in a property (2.1 AGENT) are not contacts
    for (const auto& line : LogicalLines(text)) {
        const auto prop = ParseProperty(line);
        if (!prop) continue;
        const std::string value = Upper(prop->value);
        if (prop->name == "BEGIN" && value.find("VCARD") == 0) {
            if (card)
                ++nested;
            else
                card.emplace();
            continue;
        }
        if (prop->name == "END" && value.find("VCARD") == 0) {
            if (nested > 0)
                --nested;
            else if (card) {
                contacts.push_back(card->Build());
                card.reset();
            }
            continue;
        }
        if (!card || nested > 0) continue;
        if (prop->name == "FN") {
            card->formatted = Trim(Unescape(DecodeValue(*prop, prop->value)));
        } else if (prop->name == "N") {
            card->fromN = NameFromComponents(SplitComponents(DecodeValue(*prop, prop->value)));
        } else if (prop->name == "TEL") {
            const std::u16string number = TelephoneNumber(*prop);
            if (!number.empty()) card->numbers.push_back(number);
        }
    }
    return contacts;
}

std::vector<OutlookContact> ReadVCardFile(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec || size > kMaxFileBytes) return {};
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    const std::string text(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) return {};
    return ParseVCardText(text);
}

void DeliverVCardContacts(const fs::path& file, ContactDeliveryCallback callback, void* context) {
    if (callback == nullptr) return;
    for (const auto& contact : ReadVCardFile(file)) {
        const auto block = contact.ToBytes();
        callback(block.data(), context, 0, 0);
    }
}

void VX860_GetOutLookContactList(ContactDeliveryCallback callback, void* context) {
    const std::string file = ReadSettingString("ContactsFile");
    if (file.empty()) return;
    DeliverVCardContacts(fs::path(file), callback, context);
}

int FetchContacts(ContactList& contacts) {
    contacts.clear();
    VX860_GetOutLookContactList(&StoreIntoList, &contacts);
    return static_cast<int>(contacts.size());
}

int FetchContactsFrom(const fs::path& file, ContactList& contacts) {
    contacts.clear();
    DeliverVCardContacts(file, &StoreIntoList, &contacts);
    return static_cast<int>(contacts.size());
}

}  // namespace lk
