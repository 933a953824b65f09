#include "platform/RegularFile.h"

#include <cerrno>
#include <ext/stdio_filebuf.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LinkFreePath.h"

namespace lk {

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

FileHandle::~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
}

int FileHandle::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

RegularFileOpen KeepRegular(int fd) {
    RegularFileOpen out;
    if (fd < 0) {
        out.error = errno;
        // A FIFO without a reader refuses a non-blocking open for writing.
        out.reason = out.error == ENXIO ? kNotARegularFile : FileErrorText(out.error);
        return out;
    }
    FileHandle file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        out.error = errno;
        out.reason = FileErrorText(out.error);
        return out;
    }
    if (!S_ISREG(st.st_mode)) {
        out.reason = kNotARegularFile;
        return out;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    out.file = std::move(file);
    return out;
}

RegularFileOpen OpenRegularFile(const std::filesystem::path& path, int flags) {
    return KeepRegular(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC));
}

RegularFileOpen OpenRegularWithoutLinks(const std::filesystem::path& root,
                                        const std::filesystem::path& path, int flags, mode_t mode) {
    return KeepRegular(OpenWithoutLinks(root, path, flags | O_NONBLOCK, mode));
}

int OpenRegularFdWithoutLinks(const std::filesystem::path& root, const std::filesystem::path& path,
                              int flags, mode_t mode) {
    RegularFileOpen opened = OpenRegularWithoutLinks(root, path, flags, mode);
    if (!opened.Ok()) {
        errno = opened.error != 0 ? opened.error : ENXIO;
        return -1;
    }
    return opened.file.Release();
}

RegularFileStream::RegularFileStream(const std::filesystem::path& path)
    : RegularFileStream(OpenRegularFile(path, O_RDONLY)) {}

RegularFileStream::RegularFileStream(RegularFileOpen opened) : std::istream(nullptr) {
    if (!opened.Ok()) {
        reason_ = opened.reason;
        setstate(std::ios::failbit);
        return;
    }
    auto buf = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(opened.file.Release(),
                                                                std::ios::in | std::ios::binary);
    rdbuf(buf.get());
    buf_ = std::move(buf);
}

RegularFileStream::~RegularFileStream() {
    rdbuf(nullptr);
}

}  // namespace lk
