#include <gtest/gtest.h>

#include <string>

#include "export/WavHeaders.h"
#include "platform/ByteIo.h"

namespace lk {
namespace {

// One expected field: offset, width (4-char tag when text is set) and value.
struct Field {
    std::size_t offset;
    int width;
    std::uint32_t value;
    const char* text = nullptr;
};

void ExpectFields(ByteSpan h, std::initializer_list<Field> fields, std::size_t size) {
    ASSERT_EQ(h.size(), size);
    std::size_t covered = 0;
    for (const auto& f : fields) {
        if (f.text) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.data()) + f.offset, 4), f.text)
                << "at " << f.offset;
            covered += 4;
        } else if (f.width == 2) {
            EXPECT_EQ(ReadU16(h, f.offset), f.value) << "at " << f.offset;
            covered += 2;
        } else {
            EXPECT_EQ(ReadU32(h, f.offset), f.value) << "at " << f.offset;
            covered += 4;
        }
    }
    EXPECT_EQ(covered, size);  // every byte is accounted for
}

TEST(WavHeaders, GsmHeader) {
    ExpectFields(GsmWavHeader(6500, 32000),
                 {{0, 4, 0, "RIFF"},
                  {4, 4, 6552},
                  {8, 4, 0, "WAVE"},
                  {12, 4, 0, "fmt "},
                  {16, 4, 20},
                  {20, 2, 49},
                  {22, 2, 1},
                  {24, 4, 8000},
                  {28, 4, 1625},
                  {32, 2, 65},
                  {34, 2, 0},
                  {36, 2, 2},
                  {38, 2, 320},
                  {40, 4, 0, "fact"},
                  {44, 4, 4},
                  {48, 4, 32000},
                  {52, 4, 0, "data"},
                  {56, 4, 6500}},
                 60);
}

TEST(WavHeaders, ConvertedImaAdpcmHeaderCountsWholeBlocks) {
    struct Case {
        std::uint32_t n, dataSize, samples;
    };
    for (const auto c :
         {Case{5000, 5120, 20 * 505}, Case{4096, 4096, 8080}, Case{4095, 4096, 8080},
          Case{3 * 4096 + 1, 3 * 4096 + 256, 49 * 505}, Case{256, 256, 505}, Case{1, 256, 505}}) {
        SCOPED_TRACE(c.n);
        ExpectFields(ConvertedImaAdpcmWavHeader(c.n),
                     {{0, 4, 0, "RIFF"},
                      {4, 4, c.dataSize + 52},
                      {8, 4, 0, "WAVE"},
                      {12, 4, 0, "fmt "},
                      {16, 4, 20},
                      {20, 2, 17},
                      {22, 2, 1},
                      {24, 4, 8000},
                      {28, 4, 4055},
                      {32, 2, 256},
                      {34, 2, 4},
                      {36, 2, 2},
                      {38, 2, 505},
                      {40, 4, 0, "fact"},
                      {44, 4, 4},
                      {48, 4, c.samples},
                      {52, 4, 0, "data"},
                      {56, 4, c.dataSize}},
                     60);
    }
}

TEST(WavHeaders, G711Headers) {
    for (std::uint16_t tag : {std::uint16_t{7}, std::uint16_t{6}}) {
        SCOPED_TRACE(tag);
        ExpectFields(G711WavHeader(tag, 12345),
                     {{0, 4, 0, "RIFF"},
                      {4, 4, 12395},
                      {8, 4, 0, "WAVE"},
                      {12, 4, 0, "fmt "},
                      {16, 4, 18},
                      {20, 2, tag},
                      {22, 2, 1},
                      {24, 4, 8000},
                      {28, 4, 8000},
                      {32, 2, 1},
                      {34, 2, 8},
                      {36, 2, 0},
                      {38, 4, 0, "fact"},
                      {42, 4, 4},
                      {46, 4, 12345},
                      {50, 4, 0, "data"},
                      {54, 4, 12345}},
                     58);
    }
}

TEST(WavHeaders, Pcm16Header) {
    ExpectFields(Pcm16WavHeader(8000),
                 {{0, 4, 0, "RIFF"},
                  {4, 4, 16036},
                  {8, 4, 0, "WAVE"},
                  {12, 4, 0, "fmt "},
                  {16, 4, 16},
                  {20, 2, 1},
                  {22, 2, 1},
                  {24, 4, 8000},
                  {28, 4, 16000},
                  {32, 2, 2},
                  {34, 2, 16},
                  {36, 4, 0, "data"},
                  {40, 4, 16000}},
                 44);
}

}  // namespace
}  // namespace lk
