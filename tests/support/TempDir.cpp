#include "support/TempDir.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include <unistd.h>

namespace lk::test {
namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (;;) {
        auto name = "lk-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
                    "-" + std::to_string(rd() % 100000);
        path_ = fs::temp_directory_path() / name;
        if (fs::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only files behind; make them removable first.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

TempHome::TempHome(bool withShippedConfig) {
    if (const char* prev = std::getenv("LINEKEEPER_HOME")) {
        previous_ = prev;
        hadPrevious_ = true;
    }
    fs::create_directories(config());
    if (withShippedConfig) {
        std::error_code ec;
        fs::copy(BinDir() / "Config", config(), fs::copy_options::recursive, ec);
    }
    ::setenv("LINEKEEPER_HOME", path().c_str(), 1);
}

TempHome::~TempHome() {
    if (hadPrevious_)
        ::setenv("LINEKEEPER_HOME", previous_.c_str(), 1);
    else
        ::unsetenv("LINEKEEPER_HOME");
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& path, std::string_view text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path BinDir() {
    if (const char* dir = std::getenv("LK_BIN_DIR")) return dir;
    char buf[4096];
    const auto n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) return fs::path(std::string(buf, static_cast<std::size_t>(n))).parent_path();
    return fs::current_path();
}

}  // namespace lk::test
