#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>

namespace lk {

namespace {

constexpr std::string_view kNameLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomLetters = 12;  // 62^12: about 71 bits
constexpr int kNameAttempts = 100;

bool RandomSuffix(std::string& out) {
    std::array<unsigned char, kRandomLetters> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    out.clear();
    // 256 is not a multiple of 62: the slight bias costs a fraction of a bit.
    for (const unsigned char b : bytes)
        out += kNameLetters[b % kNameLetters.size()];
    return true;
}

}  // namespace

int CreateTemporaryBeside(const std::filesystem::path& path, std::filesystem::path& temp) {
    if (path.empty() || !path.has_filename()) {
        errno = EINVAL;
        return -1;
    }
    std::string suffix;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        if (!RandomSuffix(suffix)) return -1;
        temp = path;
        temp += ".part-" + suffix;
        const int fd =
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

AtomicFileWriter::~AtomicFileWriter() {
    Discard();
}

bool AtomicFileWriter::Open(const std::filesystem::path& path) {
    Discard();
    failed_ = false;
    const int fd = CreateTemporaryBeside(path, temp_);
    if (fd < 0) return false;
    out_.reset(::fdopen(fd, "wb"));
    if (!out_) {
        ::close(fd);
        std::error_code ec;
        std::filesystem::remove(temp_, ec);
        return false;
    }
    path_ = path;
    return true;
}

bool AtomicFileWriter::Write(ByteSpan bytes) {
    if (!out_ || failed_) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out_.get()) != bytes.size())
        failed_ = true;
    return !failed_;
}

bool AtomicFileWriter::Write(std::string_view text) {
    return Write(ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::filesystem::path AtomicFileWriter::HandlePath() const {
    if (!out_) return {};
    return "/proc/self/fd/" + std::to_string(::fileno(out_.get()));
}

int AtomicFileWriter::Descriptor() const {
    return out_ ? ::fileno(out_.get()) : -1;
}

bool AtomicFileWriter::Commit() {
    if (!out_) return false;
    const int fd = ::fileno(out_.get());
    // A replaced file keeps its permissions; a link at the final name is
    // replaced, never followed, so its target's mode is no guide.
    struct stat old {};
    if (::lstat(path_.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        (void)::fchmod(fd, old.st_mode & 07777);
    // On disk before the rename, so that a crash leaves the old file or the new one.
    const bool written = !failed_ && std::fflush(out_.get()) == 0 && ::fsync(fd) == 0;
    const bool closed = std::fclose(out_.release()) == 0;
    std::error_code ec;
    if (written && closed) {
        std::filesystem::rename(temp_, path_, ec);
        if (!ec) return true;
    }
    std::filesystem::remove(temp_, ec);
    return false;
}

void AtomicFileWriter::Discard() {
    if (!out_) return;
    out_.reset();
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
}

bool WriteFileAtomically(const std::filesystem::path& path, std::initializer_list<ByteSpan> parts) {
    AtomicFileWriter writer;
    if (!writer.Open(path)) return false;
    for (const auto part : parts)
        if (!writer.Write(part)) return false;
    return writer.Commit();
}

}  // namespace lk
