#pragma once
// Generated WAV files: a "fmt " chunk with the given fields, optional "fact"
// and "LIST" chunks in any order, and the data.

#include <cstdint>
#include <string>
#include <vector>

namespace lk::test {

struct WavFields {
    std::uint16_t tag = 1;
    std::uint16_t channels = 1;
    std::uint32_t rate = 8000;
    std::uint16_t blockAlign = 2;
    std::uint16_t bits = 16;
    std::vector<std::uint8_t> fmtExtra;  // cbSize and what follows, when any
    std::string order = "fd";            // f "fmt ", a "fact", l "LIST" (odd size), d "data"
    std::uint32_t factSamples = 0;
    bool oddList = true;
    // Replaces the data chunk's size field when set (0, 0xFFFFFFFF).
    bool overrideDataSize = false;
    std::uint32_t dataSizeField = 0;
};

inline void PutU16(std::vector<std::uint8_t>& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void PutU32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
}
inline void PutId(std::vector<std::uint8_t>& b, const char* id) {
    b.insert(b.end(), id, id + 4);
}
inline void PutChunk(std::vector<std::uint8_t>& b, const char* id,
                     const std::vector<std::uint8_t>& body) {
    PutId(b, id);
    PutU32(b, static_cast<std::uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2) b.push_back(0);  // RIFF pads odd chunks
}

inline std::vector<std::uint8_t> BuildWav(const WavFields& s,
                                          const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> b;
    PutId(b, "RIFF");
    PutU32(b, 0);
    PutId(b, "WAVE");
    for (char c : s.order) {
        if (c == 'f') {
            std::vector<std::uint8_t> fmt;
            PutU16(fmt, s.tag);
            PutU16(fmt, s.channels);
            PutU32(fmt, s.rate);
            PutU32(fmt, s.rate * s.blockAlign);
            PutU16(fmt, s.blockAlign);
            PutU16(fmt, s.bits);
            fmt.insert(fmt.end(), s.fmtExtra.begin(), s.fmtExtra.end());
            PutChunk(b, "fmt ", fmt);
        } else if (c == 'a') {
            std::vector<std::uint8_t> fact;
            PutU32(fact, s.factSamples);
            PutChunk(b, "fact", fact);
        } else if (c == 'l') {
            const std::string info = s.oddList ? "INFOabcde" : "INFO";
            PutChunk(b, "LIST", std::vector<std::uint8_t>(info.begin(), info.end()));
        } else if (c == 'd') {
            PutId(b, "data");
            PutU32(b,
                   s.overrideDataSize ? s.dataSizeField : static_cast<std::uint32_t>(data.size()));
            b.insert(b.end(), data.begin(), data.end());
            if (data.size() % 2 && !s.overrideDataSize) b.push_back(0);
        }
    }
    const auto riff = static_cast<std::uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i)
        b[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((riff >> (8 * i)) & 0xFF);
    return b;
}

}  // namespace lk::test
