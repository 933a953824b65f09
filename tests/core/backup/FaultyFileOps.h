#pragma once
// The real file system with faults on request: a disk that fills up, a card
// pulled in the middle of a copy, a rename that fails.

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <optional>

#include "backup/FileOps.h"

namespace lk::test {

class FaultyFileOps : public RealFileOps {
  public:
    // Bytes the store's disk still takes (copies and index records together).
    std::optional<std::uint64_t> diskBytesLeft;
    // The card disappears once this many bytes of recordings were read.
    std::optional<std::uint64_t> cardVanishesAfter;
    std::filesystem::path cardRoot;
    // 1-based number of the rename that fails (0: none).
    int failingRename = 0;

    bool cardGone = false;
    std::uint64_t cardBytesRead = 0;
    int renames = 0;

    bool Exists(const std::filesystem::path& p) override {
        return !OnGoneCard(p) && RealFileOps::Exists(p);
    }
    bool IsDirectory(const std::filesystem::path& p) override {
        return !OnGoneCard(p) && RealFileOps::IsDirectory(p);
    }
    std::optional<std::uint64_t> FileSize(const std::filesystem::path& p) override {
        if (OnGoneCard(p)) return std::nullopt;
        return RealFileOps::FileSize(p);
    }
    FileProbe Probe(const std::filesystem::path& p) override {
        if (OnGoneCard(p)) {
            lastError_ = ENOTCONN;
            FileProbe gone;
            gone.kind = FileProbe::Kind::Error;
            gone.error = ENOTCONN;
            return gone;
        }
        return RealFileOps::Probe(p);
    }
    FileProbe ProbeIn(const OpenFolder& dir, std::string_view name) override {
        if (OnGoneCard(dir.Path())) return Probe(dir.Path() / name);
        return RealFileOps::ProbeIn(dir, name);
    }
    std::optional<std::vector<std::string>> ListNames(const std::filesystem::path& dir) override {
        if (OnGoneCard(dir)) {
            lastError_ = ENOTCONN;
            return std::nullopt;
        }
        return RealFileOps::ListNames(dir);
    }
    bool Remove(const std::filesystem::path& p) override {
        return !OnGoneCard(p) && RealFileOps::Remove(p);
    }
    bool Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
        if (++renames == failingRename) {
            lastError_ = EIO;
            return false;
        }
        return RealFileOps::Rename(from, to);
    }

    bool CopyToNewFile(const std::filesystem::path& from,
                       const std::filesystem::path& to) override {
        if (OnGoneCard(from)) return false;
        const auto source = RealFileOps::ReadWholeFile(from);
        if (!source) return false;
        std::ofstream out;
        if (RealFileOps::Exists(to)) return false;
        out.open(to, std::ios::binary);
        if (!out) return false;
        constexpr std::size_t kChunk = 1024;
        const std::uint64_t copyStart = cardBytesRead;
        for (std::size_t off = 0; off < source->size(); off += kChunk) {
            std::size_t n = std::min(kChunk, source->size() - off);
            if (cardVanishesAfter && cardBytesRead + n > *cardVanishesAfter) {
                cardGone = true;
                lastError_ = EIO;
                return false;  // partly written
            }
            cardBytesRead += n;
            bool full = false;
            if (diskBytesLeft) {
                full = n > *diskBytesLeft;
                n = std::min<std::uint64_t>(n, *diskBytesLeft);
                *diskBytesLeft -= n;
            }
            out.write(reinterpret_cast<const char*>(source->data() + off),
                      static_cast<std::streamsize>(n));
            if (full) {
                lastError_ = ENOSPC;
                return false;
            }
        }
        out.close();
        lastCopied_ = cardBytesRead - copyStart;
        return static_cast<bool>(out);
    }

    bool CreateNewEmptyFile(const std::filesystem::path& p) override {
        return RealFileOps::CreateNewEmptyFile(p);
    }

    std::optional<std::uint64_t> AppendRecords(const std::filesystem::path& p, ByteSpan bytes,
                                               std::size_t recordSize, bool flush) override {
        if (diskBytesLeft && *diskBytesLeft < bytes.size()) {
            // What fits lands at the end: a torn record, as an older version
            // writing straight to the file left it.
            std::ofstream out(p, std::ios::binary | std::ios::app);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(*diskBytesLeft));
            *diskBytesLeft = 0;
            lastError_ = ENOSPC;
            return std::nullopt;
        }
        if (diskBytesLeft) *diskBytesLeft -= bytes.size();
        return RealFileOps::AppendRecords(p, bytes, recordSize, flush);
    }

    // Everything works again, as after freeing space or putting the card back.
    void Heal() {
        diskBytesLeft.reset();
        cardVanishesAfter.reset();
        failingRename = 0;
        cardGone = false;
    }

  private:
    bool OnGoneCard(const std::filesystem::path& p) const {
        if (!cardGone) return false;
        const auto rel = p.lexically_relative(cardRoot);
        return !rel.empty() && *rel.begin() != "..";
    }
};

}  // namespace lk::test
