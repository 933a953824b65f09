#include "export/AtomicFile.h"

#include <atomic>
#include <string>

#include <unistd.h>

namespace lk {

AtomicFileWriter::~AtomicFileWriter() {
    Discard();
}

bool AtomicFileWriter::Open(const std::filesystem::path& path) {
    Discard();
    if (path.empty() || !path.has_filename()) return false;
    static std::atomic<unsigned> counter{0};
    path_ = path;
    temp_ = path;
    temp_ += ".part-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    out_.open(temp_, std::ios::binary | std::ios::trunc);
    open_ = static_cast<bool>(out_);
    return open_;
}

bool AtomicFileWriter::Write(ByteSpan bytes) {
    if (!open_) return false;
    out_.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out_);
}

bool AtomicFileWriter::Commit() {
    if (!open_) return false;
    out_.flush();
    const bool written = static_cast<bool>(out_);
    out_.close();
    if (!written || out_.fail()) {
        Discard();
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp_, path_, ec);
    if (ec) {
        Discard();
        return false;
    }
    open_ = false;
    return true;
}

void AtomicFileWriter::Discard() {
    if (!open_) return;
    if (out_.is_open()) out_.close();
    std::error_code ec;
    std::filesystem::remove(temp_, ec);
    open_ = false;
}

bool WriteFileAtomically(const std::filesystem::path& path, std::initializer_list<ByteSpan> parts) {
    AtomicFileWriter writer;
    if (!writer.Open(path)) return false;
    for (const auto part : parts)
        if (!writer.Write(part)) return false;
    return writer.Commit();
}

}  // namespace lk
