#include "platform/AtomicFile.h"

#include <unistd.h>

#include <atomic>
#include <string>

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
    out_.reset(std::fopen(temp_.c_str(), "wb"));
    failed_ = false;
    return out_ != nullptr;
}

bool AtomicFileWriter::Write(ByteSpan bytes) {
    if (!out_ || failed_) return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out_.get()) != bytes.size())
        failed_ = true;
    return !failed_;
}

bool AtomicFileWriter::Commit() {
    if (!out_) return false;
    // On disk before the rename, so that a crash leaves the old file or the new one.
    const bool written =
        !failed_ && std::fflush(out_.get()) == 0 && ::fsync(::fileno(out_.get())) == 0;
    const bool closed = std::fclose(out_.release()) == 0;
    std::error_code ec;
    if (written && closed) {
        const auto st = std::filesystem::status(path_, ec);
        if (!ec && std::filesystem::exists(st))
            std::filesystem::permissions(temp_, st.permissions(), ec);
        ec.clear();
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
