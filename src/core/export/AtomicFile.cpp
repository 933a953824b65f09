#include "export/AtomicFile.h"

#include <atomic>
#include <fstream>
#include <string>

#include <unistd.h>

namespace lk {

bool WriteFileAtomically(const std::filesystem::path& path, std::initializer_list<ByteSpan> parts) {
    namespace fs = std::filesystem;
    if (path.empty() || !path.has_filename()) return false;
    static std::atomic<unsigned> counter{0};
    fs::path temp = path;
    temp += ".part-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    std::error_code ec;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        for (const auto part : parts)
            out.write(reinterpret_cast<const char*>(part.data()),
                      static_cast<std::streamsize>(part.size()));
        out.flush();
        if (!out) {
            out.close();
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace lk
