#pragma once
// Writes a file under a temporary name in its folder and renames it into
// place when complete, so that a failed or interrupted write never leaves a
// half file under the final name.

#include <filesystem>
#include <fstream>
#include <initializer_list>

#include "platform/ByteIo.h"

namespace lk {

class AtomicFileWriter {
  public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();  // an uncommitted file is removed
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool Open(const std::filesystem::path& path);
    bool Write(ByteSpan bytes);
    // Completes the file and puts it in place; false (and nothing left) on failure.
    bool Commit();

  private:
    void Discard();
    std::filesystem::path path_;
    std::filesystem::path temp_;
    std::ofstream out_;
    bool open_ = false;
};

// The parts are written one after another. False (and nothing left behind)
// when any step fails; an existing file under `path` is then untouched.
bool WriteFileAtomically(const std::filesystem::path& path, std::initializer_list<ByteSpan> parts);

}  // namespace lk
