#pragma once
// A fresh folder per test, removed afterwards, with helpers to write files.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lk::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view rel) const { return path_ / rel; }

  private:
    std::filesystem::path path_;
};

// Points LINEKEEPER_HOME at a temporary folder holding a Config/ folder
// (copied from the build's Config when `withShippedConfig`), for the
// lifetime of the object. Tests that touch settings use one each.
class TempHome {
  public:
    explicit TempHome(bool withShippedConfig = true);
    ~TempHome();
    const std::filesystem::path& path() const { return dir_.path(); }
    std::filesystem::path config() const { return dir_.path() / "Config"; }

  private:
    TempDir dir_;
    std::string previous_;
    bool hadPrevious_ = false;
};

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
void WriteText(const std::filesystem::path& path, std::string_view text);
std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);

// Folder of the built programs (bin/, holding Config/ and linekeeper-cli).
std::filesystem::path BinDir();

}  // namespace lk::test
