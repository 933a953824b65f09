#pragma once
// Writes a file under a temporary name in its folder and renames it into
// place when complete, so that a failed or interrupted write never leaves a
// half file under the final name. Settings and exports both go through it.

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <memory>

#include "platform/ByteIo.h"

namespace lk {

class AtomicFileWriter {
  public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();  // an uncommitted file is removed
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    [[nodiscard]] bool Open(const std::filesystem::path& path);
    [[nodiscard]] bool Write(ByteSpan bytes);
    // Completes the file on disk and puts it in place, with the permissions
    // of the file it replaces; false (and nothing left) on failure.
    [[nodiscard]] bool Commit();

  private:
    struct CloseFile {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    void Discard();
    std::filesystem::path path_;
    std::filesystem::path temp_;
    std::unique_ptr<std::FILE, CloseFile> out_;
    bool failed_ = false;
};

// The parts are written one after another. False (and nothing left behind)
// when any step fails; an existing file under `path` is then untouched.
[[nodiscard]] bool WriteFileAtomically(const std::filesystem::path& path,
                                       std::initializer_list<ByteSpan> parts);

}  // namespace lk
