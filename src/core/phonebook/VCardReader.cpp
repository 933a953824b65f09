#include "phonebook/VCardReader.h"

#include <optional>
#include <vector>

#include "platform/TextCodec.h"

namespace lk {
namespace {

// A logical line is cut here: names and numbers are far shorter, and the
// properties that are long (photos, sounds, keys) are not kept at all.
constexpr std::size_t kMaxLine = 64 * 1024;

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        c = UpperAscii(c);
    return out;
}

bool StartsWithNoCase(std::u16string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char16_t c = s[i];
        if (c > 0x7F || UpperAscii(static_cast<char>(c)) != UpperAscii(prefix[i])) return false;
    }
    return true;
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

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

struct Property {
    std::string name;      // upper case, group removed
    std::string encoding;  // "QUOTED-PRINTABLE", "BASE64" or empty
    std::string charset;
    bool uriValue = false;
    std::string_view value;
};

// The property name of a line: before the first ';' or ':', group removed.
std::string_view PropertyName(std::string_view line) {
    auto end = line.find_first_of(";:");
    std::string_view name = line.substr(0, end);
    if (const auto dot = name.rfind('.'); dot != std::string_view::npos)
        name = name.substr(dot + 1);
    return name;
}

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
    return Upper(line.substr(0, colon)).find("QUOTED-PRINTABLE") != std::string::npos;
}

// `unicodeText`: the file was UTF-16, so plain values are Unicode whatever
// CHARSET says; only encoded bytes follow it.
std::u16string DecodeValue(const Property& p, std::string_view raw, bool unicodeText) {
    std::string bytes;
    if (p.encoding == "QUOTED-PRINTABLE")
        bytes = DecodeQuotedPrintable(raw);
    else if (p.encoding == "BASE64")
        bytes = DecodeBase64(raw);
    else
        bytes = std::string(raw);
    const bool plain = p.encoding.empty();
    if ((plain && unicodeText) || p.charset.empty() || p.charset == "UTF-8" ||
        p.charset == "UTF8") {
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

// Blanks trimmed; line breaks that decoding brought in (quoted-printable
// "=0D=0A") become blanks, so no value carries one.
std::u16string Clean(std::u16string_view s) {
    std::u16string t(s);
    for (auto& c : t)
        if (c == u'\r' || c == u'\n') c = u' ';
    std::size_t b = 0, e = t.size();
    while (b < e && (t[b] == u' ' || t[b] == u'\t'))
        ++b;
    while (e > b && (t[e - 1] == u' ' || t[e - 1] == u'\t'))
        --e;
    return t.substr(b, e - b);
}

std::u16string NameFromComponents(const std::vector<std::u16string>& n) {
    // N is family;given;additional;prefix;suffix; shown as people say it.
    static constexpr std::size_t kOrder[] = {3, 1, 2, 0, 4};
    std::u16string out;
    for (std::size_t idx : kOrder) {
        if (idx >= n.size()) continue;
        const std::u16string part = Clean(n[idx]);
        if (part.empty()) continue;
        if (!out.empty()) out.push_back(u' ');
        out += part;
    }
    return out;
}

std::u16string TelephoneNumber(const Property& p, bool unicodeText) {
    std::u16string number = Clean(DecodeValue(p, p.value, unicodeText));
    // A URI value without the scheme still carries URI parameters.
    if (p.uriValue && !StartsWithNoCase(number, "tel:"))
        if (const auto semi = number.find(u';'); semi != std::u16string::npos) number.resize(semi);
    return NormalizeContactNumber(Unescape(number));
}

}  // namespace

std::u16string NormalizeContactNumber(std::u16string_view number) {
    std::u16string_view n = number;
    if (StartsWithNoCase(n, "tel:")) {
        n.remove_prefix(4);
        // URI parameters (";ext=", ";phone-context=") are not part of the number.
        if (const auto semi = n.find(u';'); semi != std::u16string_view::npos)
            n = n.substr(0, semi);
    }
    std::u16string out;
    out.reserve(n.size());
    for (const char16_t c : n) {
        switch (c) {
            case u' ':
            case u'\t':
            case u'\u00A0':
            case u'-':
            case u'.':
            case u'(':
            case u')':
            case u'\r':
            case u'\n':
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

struct VCardReader::Card {
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

VCardReader::VCardReader(ContactSink sink) : sink_(std::move(sink)) {}

VCardReader::~VCardReader() = default;

void VCardReader::Feed(std::string_view bytes) {
    if (encoding_ == Encoding::Unknown) {
        head_.append(bytes);
        if (head_.size() < 4) return;
        const std::string head = std::move(head_);
        head_.clear();
        std::string_view h(head);
        if (h.substr(0, 3) == "\xEF\xBB\xBF") {
            encoding_ = Encoding::Bytes;
            h.remove_prefix(3);
        } else if (h.substr(0, 2) == "\xFF\xFE") {
            encoding_ = Encoding::Utf16Le;
            h.remove_prefix(2);
        } else if (h.substr(0, 2) == "\xFE\xFF") {
            encoding_ = Encoding::Utf16Be;
            h.remove_prefix(2);
        } else if (h[0] != 0 && h[1] == 0) {
            encoding_ = Encoding::Utf16Le;  // "B\0E\0..." without a mark
        } else if (h[0] == 0 && h[1] != 0) {
            encoding_ = Encoding::Utf16Be;
        } else {
            encoding_ = Encoding::Bytes;
        }
        Decode(h);
        return;
    }
    Decode(bytes);
}

void VCardReader::Decode(std::string_view bytes) {
    if (encoding_ == Encoding::Bytes) {
        Split(bytes);
        return;
    }
    utf8_.clear();
    std::size_t i = 0;
    auto unitAt = [&](unsigned char a, unsigned char b) -> char16_t {
        return encoding_ == Encoding::Utf16Le ? static_cast<char16_t>(a | (b << 8))
                                              : static_cast<char16_t>((a << 8) | b);
    };
    auto take = [&](char16_t u) {
        if (pendingHigh_ != 0) {
            const char16_t high = pendingHigh_;
            pendingHigh_ = 0;
            if (u >= 0xDC00 && u <= 0xDFFF) {
                AppendUtf8(utf8_, 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) +
                                      (static_cast<char32_t>(u) - 0xDC00));
                return;
            }
            AppendUtf8(utf8_, 0xFFFD);
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            pendingHigh_ = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            AppendUtf8(utf8_, 0xFFFD);
        else
            AppendUtf8(utf8_, u);
    };
    if (!pendingUnit_.empty() && !bytes.empty()) {
        take(unitAt(static_cast<unsigned char>(pendingUnit_[0]),
                    static_cast<unsigned char>(bytes[0])));
        pendingUnit_.clear();
        i = 1;
    }
    for (; i + 1 < bytes.size(); i += 2)
        take(
            unitAt(static_cast<unsigned char>(bytes[i]), static_cast<unsigned char>(bytes[i + 1])));
    if (i < bytes.size()) pendingUnit_.assign(1, bytes[i]);
    Split(utf8_);
}

void VCardReader::Split(std::string_view text) {
    for (const char c : text) {
        if (c == '\n') {
            crRun_ = false;
            PhysicalLine();
            continue;
        }
        if (crRun_) {
            if (c == '\r') continue;
            crRun_ = false;
            PhysicalLine();  // a lone CR ended the line
        }
        if (c == '\r') {
            crRun_ = true;
            continue;
        }
        if (physical_.size() < kMaxLine) physical_.push_back(c);
    }
}

void VCardReader::PhysicalLine() {
    const std::string_view line(physical_);
    const bool continuation = !line.empty() && (line[0] == ' ' || line[0] == '\t');
    if (haveLogical_ && (qpContinues_ || continuation)) {
        if (skipping_) {
            qpContinues_ = skippedIsQp_ && !line.empty() && line.back() == '=';
        } else {
            if (qpContinues_) {
                logical_.pop_back();  // the soft break's '='
                logical_.append(line.substr(0, kMaxLine - std::min(kMaxLine, logical_.size())));
            } else {
                // Version 2.1 folds at existing blanks and keeps them on
                // unfolding; later versions insert the blank, which unfolding removes.
                const auto rest = version21_ ? line : line.substr(1);
                logical_.append(rest.substr(0, kMaxLine - std::min(kMaxLine, logical_.size())));
            }
            qpContinues_ =
                !logical_.empty() && logical_.back() == '=' && IsQuotedPrintableLine(logical_);
        }
        physical_.clear();
        return;
    }
    FlushLogical();
    haveLogical_ = true;
    const std::string name = Upper(PropertyName(line));
    skipping_ = !(name == "BEGIN" || name == "END" || name == "VERSION" || name == "FN" ||
                  name == "N" || name == "TEL");
    if (skipping_) {
        skippedIsQp_ = IsQuotedPrintableLine(line);
        qpContinues_ = skippedIsQp_ && !line.empty() && line.back() == '=';
    } else {
        logical_.assign(line);
        qpContinues_ =
            !logical_.empty() && logical_.back() == '=' && IsQuotedPrintableLine(logical_);
    }
    physical_.clear();
}

void VCardReader::FlushLogical() {
    if (haveLogical_ && !skipping_) LogicalLine();
    haveLogical_ = false;
    skipping_ = false;
    qpContinues_ = false;
    logical_.clear();
}

void VCardReader::LogicalLine() {
    const auto prop = ParseProperty(logical_);
    if (!prop) return;
    const bool unicodeText = encoding_ == Encoding::Utf16Le || encoding_ == Encoding::Utf16Be;
    const bool beginOrEnd = prop->name == "BEGIN" || prop->name == "END";
    const std::string value = beginOrEnd || prop->name == "VERSION" ? Upper(prop->value) : "";
    if (prop->name == "BEGIN" && value.find("VCARD") == 0) {
        sawCard_ = true;
        version21_ = false;
        if (card_)
            ++nested_;  // vCards embedded in a property (2.1 AGENT) are not contacts
        else
            card_ = std::make_unique<Card>();
        return;
    }
    if (prop->name == "END" && value.find("VCARD") == 0) {
        if (nested_ > 0) {
            --nested_;
        } else if (card_) {
            const auto contact = card_->Build();
            card_.reset();
            if (sink_) sink_(contact);
        }
        return;
    }
    if (prop->name == "VERSION") {
        version21_ = value.find("2.1") != std::string::npos;
        return;
    }
    if (!card_ || nested_ > 0) return;
    if (prop->name == "FN") {
        card_->formatted = Clean(Unescape(DecodeValue(*prop, prop->value, unicodeText)));
    } else if (prop->name == "N") {
        card_->fromN =
            NameFromComponents(SplitComponents(DecodeValue(*prop, prop->value, unicodeText)));
    } else if (prop->name == "TEL" && card_->numbers.size() < OutlookContact::kNumberCount) {
        // Only the first seven are delivered; the rest need no memory.
        const std::u16string number = TelephoneNumber(*prop, unicodeText);
        if (!number.empty()) card_->numbers.push_back(number);
    }
}

void VCardReader::Finish() {
    if (encoding_ == Encoding::Unknown) {
        // A file of under four bytes: read as it stands.
        encoding_ = Encoding::Bytes;
        const std::string head = std::move(head_);
        head_.clear();
        Decode(head);
    }
    if (!physical_.empty() || crRun_) {
        crRun_ = false;
        PhysicalLine();
    }
    FlushLogical();
    card_.reset();
    nested_ = 0;
}

}  // namespace lk
