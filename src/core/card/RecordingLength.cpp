#include "card/RecordingLength.h"

#include <array>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/RegularFile.h"
#include "playback/XtrFormat.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

struct FileHead {
    bool ok = false;
    std::uint64_t size = 0;
    std::array<std::uint8_t, xtr::kHeaderSize> header{};
};

// Read-only: a write-protected card or a read-only file must still show its
// lengths.
FileHead ReadHead(const fs::path& path) {
    FileHead h;
    // A FIFO under a recording's name would block the open and every read.
    RegularFileOpen opened = OpenRegularFile(path, O_RDONLY);
    if (!opened.Ok()) return h;
    struct stat st {};
    if (::fstat(opened.file.Get(), &st) != 0) return h;
    h.size = static_cast<std::uint64_t>(st.st_size);
    RegularFileStream in(std::move(opened));
    if (!in) return h;
    in.read(reinterpret_cast<char*>(h.header.data()),
            static_cast<std::streamsize>(h.header.size()));
    h.ok = true;
    return h;
}

bool IsXtr(const fs::path& path) {
    return IsXtrPath(path.string());
}

}  // namespace

unsigned RecordingSecondsRoundedUpOf(std::uint64_t size, bool isXtr, ByteSpan header) {
    if (!isXtr)
        return size < 4156 ? 0u : static_cast<unsigned>((size - kWavRecordingHeaderSize) / 4096);
    if (size < 3090) return 0;
    const std::uint64_t dataOffset = ReadU32(header, xtr::kDataOffsetField);
    const std::uint32_t tag = ReadU32(header, xtr::kFormatTagField);
    const std::uint64_t rate = tag == kFormatGsm ? 1650 : tag == kFormatImaAdpcm ? 4096 : 8000;
    // A header that points past the end holds no audio (rather than a huge
    // length from an unsigned wrap).
    if (dataOffset >= size) return 0;
    return static_cast<unsigned>((size - dataOffset + rate - 1) / rate);
}

unsigned RecordingSecondsOf(std::uint64_t size, bool isXtr, ByteSpan header) {
    std::uint64_t headerSize = kWavRecordingHeaderSize;
    std::uint64_t rate = 4055;
    if (isXtr) {
        headerSize = ReadU32(header, xtr::kDataOffsetField);
        const std::uint32_t tag = ReadU32(header, xtr::kFormatTagField);
        rate = tag == kFormatGsm ? 1650 : tag == kFormatImaAdpcm ? 4055 : 8000;
    }
    if (size == 0 || size < headerSize) return 0;
    return static_cast<unsigned>((size - headerSize) / rate);
}

namespace {

// Seconds of a WAV file other than the recorder's, rounded up or down.
unsigned ForeignWavSeconds(const WavLayout& w, bool roundUp) {
    std::uint64_t units = 0, perSecond = 0;
    if (w.Playable()) {
        units = w.SampleCount();
        perSecond = 8000;
    } else if (w.verdict == WavVerdict::Unsupported && w.avgBytesPerSecond > 0) {
        units = w.dataSize;
        perSecond = w.avgBytesPerSecond;
    }
    if (perSecond == 0) return 0;
    return static_cast<unsigned>((units + (roundUp ? perSecond - 1 : 0)) / perSecond);
}

}  // namespace

unsigned WavRecordingSecondsRoundedUp(const WavLayout& w, std::uint64_t fileSize) {
    if (w.recorderLayout) return RecordingSecondsRoundedUpOf(fileSize, false, {});
    return ForeignWavSeconds(w, true);
}

unsigned WavRecordingSeconds(const WavLayout& w, std::uint64_t fileSize) {
    if (w.recorderLayout) return RecordingSecondsOf(fileSize, false, {});
    return ForeignWavSeconds(w, false);
}

unsigned RecordingSecondsRoundedUp(const fs::path& path) {
    if (!IsXtr(path)) {
        std::error_code ec;
        const auto size = fs::file_size(path, ec);
        return ec ? 0 : WavRecordingSecondsRoundedUp(ReadWavLayout(path), size);
    }
    const auto h = ReadHead(path);
    return h.ok ? RecordingSecondsRoundedUpOf(h.size, IsXtr(path), h.header) : 0;
}

unsigned RecordingSeconds(const fs::path& path) {
    if (!IsXtr(path)) {
        std::error_code ec;
        const auto size = fs::file_size(path, ec);
        return ec ? 0 : WavRecordingSeconds(ReadWavLayout(path), size);
    }
    const auto h = ReadHead(path);
    return h.ok ? RecordingSecondsOf(h.size, IsXtr(path), h.header) : 0;
}

}  // namespace lk
