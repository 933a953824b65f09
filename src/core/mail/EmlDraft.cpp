#include "mail/EmlDraft.h"

#include <cctype>
#include <cstdio>
#include <iterator>
#include <random>
#include <sstream>

#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view in) {
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= in.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(in[i]) << 16 |
                           static_cast<unsigned char>(in[i + 1]) << 8 |
                           static_cast<unsigned char>(in[i + 2]);
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += kAlphabet[v >> 6 & 63];
        out += kAlphabet[v & 63];
    }
    if (const std::size_t rest = in.size() - i; rest > 0) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(in[i + 1]) << 8;
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

bool IsPlainAscii(std::string_view s) {
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x7F || (u < 0x20 && c != '\t')) return false;
    }
    return true;
}

// The longest line of a body, counting bytes between CR LF.
std::size_t LongestLine(std::string_view s) {
    std::size_t longest = 0, start = 0;
    while (start <= s.size()) {
        std::size_t end = s.find('\n', start);
        if (end == std::string_view::npos) end = s.size();
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    return longest;
}

// Percent-encoding of RFC 2231 for a file name parameter.
std::string ExtendedParameter(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "UTF-8''";
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

std::string ContentTypeOf(const fs::path& p) {
    return p.extension() == ".wav" ? "audio/wav" : "application/octet-stream";
}

std::string RandomBoundary() {
    std::random_device rd;
    std::mt19937_64 gen(rd());
    std::ostringstream s;
    s << "=_LineKeeper_" << std::hex << gen() << gen();
    return s.str();
}

std::string DateHeader(std::time_t date) {
    std::tm tm{};
    gmtime_r(&date, &tm);
    char text[64];
    // RFC 5322 names days and months in English whatever the locale.
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[tm.tm_wday],
                  tm.tm_mday, kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return text;
}

}  // namespace

std::string Base64Lines(std::string_view bytes) {
    const std::string flat = Base64(bytes);
    std::string out;
    out.reserve(flat.size() + flat.size() / 76 * 2 + 2);
    for (std::size_t i = 0; i < flat.size(); i += 76) {
        out.append(flat, i, 76);
        out += "\r\n";
    }
    return out;
}

std::string HeaderText(std::string_view utf8) {
    if (IsPlainAscii(utf8)) return std::string(utf8);
    return "=?UTF-8?B?" + Base64(utf8) + "?=";
}

bool BuildEmlDraft(const MailMessage& message, std::time_t date, std::string boundary,
                   std::string& out) {
    if (boundary.empty()) boundary = RandomBoundary();
    out.clear();
    out += "MIME-Version: 1.0\r\n";
    out += "Date: " + DateHeader(date) + "\r\n";
    out += "Subject: " + HeaderText(message.subject) + "\r\n";
    out += "X-Unsent: 1\r\n";
    out += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    out += "--" + boundary + "\r\n";
    out += "Content-Type: text/plain; charset=UTF-8\r\n";
    // 8bit keeps the draft readable; lines beyond the 998-byte limit need base64.
    if (LongestLine(message.body) <= 998) {
        out += "Content-Transfer-Encoding: 8bit\r\n\r\n";
        out += message.body;
        out += "\r\n";
    } else {
        out += "Content-Transfer-Encoding: base64\r\n\r\n";
        out += Base64Lines(message.body);
    }
    for (const auto& file : message.attachments) {
        RegularFileStream in(file);
        if (!in) return false;
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        if (in.bad()) return false;
        const std::string name = file.filename().string();
        out += "--" + boundary + "\r\n";
        out += "Content-Type: " + ContentTypeOf(file) + "\r\n";
        out += "Content-Transfer-Encoding: base64\r\n";
        out += "Content-Disposition: attachment; ";
        out += IsPlainAscii(name) && name.find('"') == std::string::npos
                   ? "filename=\"" + name + "\"\r\n\r\n"
                   : "filename*=" + ExtendedParameter(name) + "\r\n\r\n";
        out += Base64Lines(bytes);
    }
    out += "--" + boundary + "--\r\n";
    return true;
}

EmlResult WriteEmlDraft(const fs::path& path, const MailMessage& message) {
    std::string draft;
    if (!BuildEmlDraft(message, std::time(nullptr), {}, draft))
        return EmlResult::AttachmentUnreadable;
    const ByteSpan bytes(reinterpret_cast<const std::uint8_t*>(draft.data()), draft.size());
    return WriteFileAtomically(path, {bytes}) ? EmlResult::Written : EmlResult::WriteFailed;
}

}  // namespace lk
