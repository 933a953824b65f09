#include "platform/TextCodec.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace lk {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Writes at `o` and moves it past what was written. The converters write
// into a buffer sized for the longest result and cut it once: appending a
// character at a time made up much of loading and backing up a store's
// paths.
void PutUtf8(char*& o, char32_t cp) {
    if (cp < 0x80) {
        *o++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *o++ = static_cast<char>(0xC0 | (cp >> 6));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *o++ = static_cast<char>(0xE0 | (cp >> 12));
        *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *o++ = static_cast<char>(0xF0 | (cp >> 18));
        *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void PutUtf16(char16_t*& o, char32_t cp) {
    if (cp < 0x10000) {
        *o++ = static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
        *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// An iconv descriptor that closes itself; one per call keeps this thread-safe.
class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) ::iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
    // Paths and numbers are nearly always ASCII: one byte per unit.
    if (std::all_of(text.begin(), text.end(), [](char16_t u) { return u < 0x80; })) {
        std::string ascii(text.size(), '\0');
        std::transform(text.begin(), text.end(), ascii.begin(),
                       [](char16_t u) { return static_cast<char>(u); });
        return ascii;
    }
    // At most three bytes per unit (a surrogate pair gives four for two).
    std::string out(text.size() * 3, '\0');
    char* o = out.data();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u < 0x80) {
            *o++ = static_cast<char>(u);
            continue;
        }
        if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            const char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                                (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            PutUtf8(o, cp);
            ++i;
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            PutUtf8(o, kReplacement);
        } else {
            PutUtf8(o, u);
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    // At most one unit per byte (four bytes give a surrogate pair).
    std::u16string out(text.size(), u'\0');
    char16_t* o = out.data();
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char b = byte(i);
        if (b < 0x80) {
            *o++ = static_cast<char16_t>(b);
            ++i;
            continue;
        }
        std::size_t len = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2, cp = b & 0x1F, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3, cp = b & 0x0F, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4, cp = b & 0x07, min = 0x10000;
        }
        // A lead byte that cannot start a character, or a sequence that breaks
        // off, overlong forms, surrogates and values past U+10FFFF each yield
        // one replacement character for the bytes consumed so far.
        std::size_t n = 1;
        bool good = len != 0;
        while (good && n < len) {
            if (i + n >= text.size() || (byte(i + n) & 0xC0) != 0x80) {
                good = false;
                break;
            }
            cp = (cp << 6) | (byte(i + n) & 0x3F);
            ++n;
        }
        if (good && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) good = false;
        if (good)
            PutUtf16(o, cp);
        else
            *o++ = kReplacement;
        i += n;
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::u16string DecodeCodePage(ByteSpan bytes, std::string_view codePage) {
    std::u16string out;
    const std::string cp(codePage);
    Iconv conv("UTF-16LE", cp.c_str());
    if (cp.empty() || !conv.ok()) {
        out.reserve(bytes.size());
        for (const auto b : bytes)
            out += static_cast<char16_t>(b);
        return out;
    }
    std::string buffer(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t rc = ::iconv(conv.get(), &in, &inLeft, &outPtr, &outLeft);
        const std::size_t produced = buffer.size() - outLeft;
        for (std::size_t i = 0; i + 1 < produced; i += 2) {
            out += static_cast<char16_t>(static_cast<unsigned char>(buffer[i]) |
                                         (static_cast<unsigned char>(buffer[i + 1]) << 8));
        }
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or a sequence cut off at the end: skip one byte.
        out += kReplacement;
        ++in;
        --inLeft;
        ::iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

std::string EncodeCodePage(std::u16string_view text, std::string_view codePage) {
    std::string out;
    const std::string cp(codePage);
    Iconv conv(cp.c_str(), "UTF-16LE");
    if (cp.empty() || !conv.ok()) {
        out.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t u = text[i];
            if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
            out += u < 0x100 ? static_cast<char>(u) : '?';
        }
        return out;
    }
    std::string input;
    input.reserve(text.size() * 2);
    for (const char16_t u : text) {
        input += static_cast<char>(u & 0xFF);
        input += static_cast<char>(u >> 8);
    }
    std::string buffer(text.size() * 4 + 16, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t rc = ::iconv(conv.get(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // A character the code page cannot hold (or a lone surrogate).
        out += '?';
        const char16_t u =
            static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                  (inLeft > 1 ? static_cast<unsigned char>(in[1]) << 8 : 0));
        std::size_t skip = 2;
        if (IsHighSurrogate(u) && inLeft >= 4) {
            const char16_t next = static_cast<char16_t>(static_cast<unsigned char>(in[2]) |
                                                        (static_cast<unsigned char>(in[3]) << 8));
            if (IsLowSurrogate(next)) skip = 4;
        }
        if (skip > inLeft) skip = inLeft;
        in += skip;
        inLeft -= skip;
        ::iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state the encoder keeps.
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    ::iconv(conv.get(), nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    return out;
}

}  // namespace lk
