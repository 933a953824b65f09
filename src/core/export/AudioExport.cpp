#include "export/AudioExport.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include "export/ConvertXtrToWav.h"
#include "export/DecodeToWav.h"
#include "platform/AtomicFile.h"
#include "platform/RegularFile.h"
#include "platform/RenameNoReplace.h"
#include "playback/WavLayout.h"
#include "playback/XtrFormat.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

// libsndfile 1.2 maps its compression level linearly onto the encoders'
// rates: MP3 (constant rate, 8 kHz) 0.7 -> 24 kb/s; Opus 6 + 250 * (1 - level) kb/s.
constexpr double kMp3Level = 0.7;
constexpr double kOpusLevel = 0.96;

int SndFileFormat(AudioFormat format) {
    switch (format) {
        case AudioFormat::Mp3:
            return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        case AudioFormat::Opus:
            return SF_FORMAT_OGG | SF_FORMAT_OPUS;
        case AudioFormat::Flac:
            return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case AudioFormat::Wav:
            break;
    }
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

std::string ErrnoText(int error) {
    return error ? std::strerror(error) : "write failed";
}

// A temporary file beside the destination, removed unless handed over.
class TempFile {
  public:
    explicit TempFile(const fs::path& destination) {
        fd_ = CreateTemporaryBeside(destination, path_);
        error_ = fd_ < 0 ? errno : 0;
    }
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty() && !kept_) ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Ok() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    int Error() const { return error_; }
    const fs::path& Path() const { return path_; }
    // On disk, closed, and renamed to `destination` if that name is free.
    ExportFileResult Finish(const fs::path& destination) {
        if (fd_ >= 0) {
            const bool synced = ::fsync(fd_) == 0;
            const int error = errno;
            const bool closed = ::close(fd_) == 0;
            fd_ = -1;
            if (!synced || !closed)
                return {ExportStatus::WriteFailed, ErrnoText(synced ? errno : error)};
        }
        if (!RenameNoReplace(path_, destination)) {
            if (errno == EEXIST) return {ExportStatus::Exists, "a file of that name exists"};
            return {ExportStatus::WriteFailed, ErrnoText(errno)};
        }
        kept_ = true;
        return {ExportStatus::Written, {}};
    }

  private:
    fs::path path_;
    int fd_ = -1;
    int error_ = 0;
    bool kept_ = false;
};

ExportFileResult CopyFile(const fs::path& source, TempFile& temp) {
    auto in = OpenRegularFile(source, O_RDONLY);
    if (!in.Ok()) return {ExportStatus::CannotDecode, in.reason};
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const auto n = ::read(in.file.Get(), buffer.data(), buffer.size());
        if (n < 0) return {ExportStatus::CannotDecode, ErrnoText(errno)};
        if (n == 0) return {ExportStatus::Written, {}};
        for (ssize_t done = 0; done < n;) {
            const auto w = ::write(temp.Fd(), buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0) return {ExportStatus::WriteFailed, ErrnoText(errno)};
            done += w;
        }
    }
}

ExportFileResult WriteWav(const fs::path& source, TempFile& temp) {
    if (!IsXtrPath(source.string())) {
        // A WAV recording is shared as it is, but not one that no player can open.
        const auto wav = ReadWavLayout(source);
        if (wav.verdict == WavVerdict::Broken)
            return {ExportStatus::CannotDecode,
                    wav.reason.empty() ? "damaged WAV header" : wav.reason};
        return CopyFile(source, temp);
    }
    // The converter writes whole files by name: it replaces the empty
    // temporary file, which stays ours under its unpredictable name.
    auto result = ConvertXtrToWav(source, temp.Path());
    if (result == ConvertResult::NotConverted) {
        std::string reason;
        const auto decoded = DecodeRecordingToWav(source, temp.Path(), &reason);
        if (decoded == DecodeToWavResult::Written) return {ExportStatus::Written, {}};
        if (decoded == DecodeToWavResult::WriteFailed)
            return {ExportStatus::WriteFailed, std::string(DecodeToWavResultText(decoded))};
        return {ExportStatus::CannotDecode,
                reason.empty() ? std::string(DecodeToWavResultText(decoded)) : reason};
    }
    switch (result) {
        case ConvertResult::Converted:
            return {ExportStatus::Written, {}};
        case ConvertResult::WriteFailed:
        case ConvertResult::OutOfMemory:
            return {ExportStatus::WriteFailed, std::string(ConvertResultName(result))};
        default:
            return {ExportStatus::CannotDecode, std::string(ConvertResultName(result))};
    }
}

struct CloseSndFile {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

ExportFileResult WriteEncoded(const fs::path& source, AudioFormat format, TempFile& temp) {
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SndFileFormat(format);
    std::unique_ptr<SNDFILE, CloseSndFile> out;
    std::string failure;
    PcmSink sink;
    sink.begin = [&](std::uint64_t) {
        out.reset(sf_open_fd(temp.Fd(), SFM_WRITE, &info, SF_FALSE));
        if (!out) {
            failure = sf_strerror(nullptr);
            return false;
        }
        double level = 0;
        int mode = SF_BITRATE_MODE_VARIABLE;
        if (format == AudioFormat::Mp3) {
            level = kMp3Level;
            mode = SF_BITRATE_MODE_CONSTANT;
            sf_command(out.get(), SFC_SET_BITRATE_MODE, &mode, sizeof mode);
            sf_command(out.get(), SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
        } else if (format == AudioFormat::Opus) {
            level = kOpusLevel;
            sf_command(out.get(), SFC_SET_BITRATE_MODE, &mode, sizeof mode);
            sf_command(out.get(), SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
        }
        return true;
    };
    sink.piece = [&](std::span<const std::int16_t> pcm) {
        const auto n = static_cast<sf_count_t>(pcm.size());
        if (sf_write_short(out.get(), pcm.data(), n) == n && sf_error(out.get()) == 0) return true;
        failure = sf_strerror(out.get());
        return false;
    };
    std::string reason;
    const auto decoded = DecodeRecordingPcm(source, sink, &reason);
    if (decoded == DecodeToWavResult::WriteFailed)
        return {ExportStatus::WriteFailed, failure.empty() ? "write failed" : failure};
    if (decoded != DecodeToWavResult::Written)
        return {ExportStatus::CannotDecode,
                reason.empty() ? std::string(DecodeToWavResultText(decoded)) : reason};
    // The encoders flush their last frames on close; a failure there shows
    // in the file's error state or the close's result.
    const int error = sf_error(out.get());
    const std::string text = error ? sf_strerror(out.get()) : std::string();
    if (sf_close(out.release()) != 0 || error != 0)
        return {ExportStatus::WriteFailed, text.empty() ? "write failed" : text};
    return {ExportStatus::Written, {}};
}

}  // namespace

std::string_view AudioFormatName(AudioFormat format) {
    switch (format) {
        case AudioFormat::Wav:
            return "wav";
        case AudioFormat::Mp3:
            return "mp3";
        case AudioFormat::Opus:
            return "opus";
        case AudioFormat::Flac:
            return "flac";
    }
    return "wav";
}

std::optional<AudioFormat> AudioFormatByName(std::string_view name) {
    for (const auto f : kAudioFormats)
        if (AudioFormatName(f) == name) return f;
    return std::nullopt;
}

bool AudioFormatAvailable(AudioFormat format) {
    if (format == AudioFormat::Wav) return true;
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SndFileFormat(format);
    return sf_format_check(&info) == SF_TRUE;
}

std::string_view ExportStatusName(ExportStatus status) {
    switch (status) {
        case ExportStatus::Written:
            return "written";
        case ExportStatus::Exists:
            return "exists";
        case ExportStatus::CannotDecode:
            return "cannot decode";
        case ExportStatus::WriteFailed:
            return "write failed";
        case ExportStatus::Unavailable:
            return "format unavailable";
        case ExportStatus::Skipped:
            return "skipped";
    }
    return "write failed";
}

ExportFileResult ExportRecordingAs(const fs::path& source, const fs::path& destination,
                                   AudioFormat format) {
    if (!AudioFormatAvailable(format))
        return {ExportStatus::Unavailable,
                "this system cannot write " + std::string(AudioFormatName(format)) + " files"};
    std::error_code ec;
    if (fs::symlink_status(destination, ec).type() != fs::file_type::not_found)
        return {ExportStatus::Exists, "a file of that name exists"};
    TempFile temp(destination);
    if (!temp.Ok()) return {ExportStatus::WriteFailed, ErrnoText(temp.Error())};
    const auto written =
        format == AudioFormat::Wav ? WriteWav(source, temp) : WriteEncoded(source, format, temp);
    if (!written.Ok()) return written;
    return temp.Finish(destination);
}

}  // namespace lk
