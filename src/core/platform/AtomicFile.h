#pragma once
// Writes a file under a temporary name in its folder and renames it into
// place when complete, so that a failed or interrupted write never leaves a
// half file under the final name. Settings and exports all go through it.
//
// The destination folder may be shared with other users (a team folder,
// /tmp). The temporary file is therefore created, never opened: its name is
// "<name>.part-" followed by twelve random letters and digits, and it is made
// with O_CREAT | O_EXCL | O_NOFOLLOW, so a link or file planted under any
// name is never written through or truncated (a taken name just draws a new
// one). A new file gets the usual mode (0666 less the umask); a replaced
// regular file keeps its permissions.

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

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
    [[nodiscard]] bool Write(std::string_view text);
    // Completes the file on disk and puts it in place, with the permissions
    // of the file it replaces; false (and nothing left) on failure.
    [[nodiscard]] bool Commit();

    // A name that reaches the open temporary file itself (not its name in
    // the folder), for a library that insists on opening its output by name.
    // Whatever it writes there is committed as the file; Write must then not
    // be used. Empty when nothing is open.
    [[nodiscard]] std::filesystem::path HandlePath() const;
    // The open temporary file, for reading back what a library wrote there.
    [[nodiscard]] int Descriptor() const;

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

// Creates a new file next to `path` under an unpredictable name that was
// free ("<name>.part-XXXXXXXXXXXX"), never through a link; the descriptor
// (write-only, close-on-exec) or -1 with errno set. `temp` receives the name.
[[nodiscard]] int CreateTemporaryBeside(const std::filesystem::path& path,
                                        std::filesystem::path& temp);

// The parts are written one after another. False (and nothing left behind)
// when any step fails; an existing file under `path` is then untouched.
[[nodiscard]] bool WriteFileAtomically(const std::filesystem::path& path,
                                       std::initializer_list<ByteSpan> parts);

}  // namespace lk
