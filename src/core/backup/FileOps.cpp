#include "backup/FileOps.h"

#include <cerrno>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lk {
namespace fs = std::filesystem;

namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // Close and report: a failed close can be the first sign of a full disk.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

bool CopyByReading(int in, int out) {
    std::vector<std::uint8_t> buf(1 << 20);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!WriteAll(out, buf.data(), static_cast<std::size_t>(n), offset)) return false;
        offset += n;
    }
}

}  // namespace

bool RealFileOps::Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

bool RealFileOps::IsDirectory(const fs::path& p) {
    std::error_code ec;
    return fs::is_directory(p, ec);
}

std::optional<std::uint64_t> RealFileOps::FileSize(const fs::path& p) {
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) return std::nullopt;
    const auto size = fs::file_size(p, ec);
    if (ec) return std::nullopt;
    return size;
}

bool RealFileOps::CreateDirectories(const fs::path& p) {
    std::error_code ec;
    fs::create_directories(p, ec);
    return fs::is_directory(p, ec);
}

bool RealFileOps::CopyToNewFile(const fs::path& from, const fs::path& to) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.ok()) return false;
    struct stat st {};
    if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!out.ok()) return false;

    // The kernel copies without a round trip through user space when it can.
    off_t remaining = st.st_size;
    bool kernelCopy = true;
    while (remaining > 0) {
        const ssize_t n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr,
                                            static_cast<std::size_t>(remaining), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && remaining == st.st_size &&
            (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            kernelCopy = false;
            break;
        }
        if (n < 0) return false;
        if (n == 0) break;  // the source shrank: the size check below catches it
        remaining -= n;
    }
    if (!kernelCopy && !CopyByReading(in.get(), out.get())) return false;
    if (::fsync(out.get()) != 0) return false;
    return out.Close();
}

bool RealFileOps::Rename(const fs::path& from, const fs::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool RealFileOps::Remove(const fs::path& p) {
    std::error_code ec;
    return fs::remove(p, ec);
}

bool RealFileOps::CreateNewEmptyFile(const fs::path& p) {
    Fd fd(::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    return fd.ok() && fd.Close();
}

std::optional<std::uint64_t> RealFileOps::AppendRecord(const fs::path& p, ByteSpan bytes) {
    if (bytes.empty()) return std::nullopt;
    Fd fd(::open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.ok()) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return std::nullopt;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t whole = size - size % bytes.size();
    if (whole != size && ::ftruncate(fd.get(), static_cast<off_t>(whole)) != 0) return std::nullopt;
    if (!WriteAll(fd.get(), bytes.data(), bytes.size(), static_cast<off_t>(whole)) ||
        ::fsync(fd.get()) != 0 || !fd.Close())
        return std::nullopt;
    return whole / bytes.size();
}

std::optional<std::vector<std::uint8_t>> RealFileOps::ReadWholeFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

RealFileOps& DefaultFileOps() {
    static RealFileOps ops;
    return ops;
}

}  // namespace lk
