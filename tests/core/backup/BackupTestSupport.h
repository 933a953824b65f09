#pragma once
// A loaded card and a backup path, ready for a backup run.

#include <atomic>
#include <map>

#include "backup/BackupEngine.h"
#include "card/BackupStore.h"
#include "card/RecordLoader.h"
#include "core/card/CardFixture.h"

namespace lk::test {

struct LoadedCard : CardOnVolume {
    int devType;
    std::vector<RecordingSpec> cardFiles;
    std::filesystem::path backupPath = dir / "backup";

    LoadedCard(int family, std::vector<RecordingSpec> s)
        : CardOnVolume(family, s), devType(family), cardFiles(std::move(s)) {
        RecordLoaderThread(*state, {});
    }

    BackupOptions Options(bool move, FileOps* files = nullptr) const {
        BackupOptions o;
        o.backupPath = backupPath;
        o.devType = devType;
        o.move = move;
        o.files = files;
        return o;
    }
    BackupResult RunAll(bool move, FileOps* files = nullptr) {
        NoProgress none;
        return BackupAllThread(*state, Options(move, files), none, {});
    }

    std::filesystem::path StoreRootPath() const { return StoreRoot(backupPath, devType); }
    std::filesystem::path CardFile(const RecordingSpec& s) const {
        return root / RecordingRelative(s, devType);
    }
    std::filesystem::path StoreFile(const RecordingSpec& s) const {
        return StoreRootPath() / s.stamp.substr(0, 6) / s.stamp.substr(0, 8) / RecordingFileName(s);
    }
    std::filesystem::path IndexFile(const std::string& yyyymm) const {
        return MonthIndexPath(backupPath, devType, std::stoi(yyyymm));
    }
};

// A month index file, not the lock or the quick check's facts beside it.
inline bool IsIndexFile(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    return name.size() > 13 && name.compare(name.size() - 13, 13, kIndexFileSuffix) == 0;
}

// Whole records of an index file.
inline std::vector<CallRecord> ReadIndex(const std::filesystem::path& path) {
    std::vector<CallRecord> out;
    const auto bytes = ReadFile(path);
    for (std::size_t off = 0; off + CallRecord::kSize <= bytes.size(); off += CallRecord::kSize)
        out.push_back(CallRecord::FromBytes(ByteSpan(bytes.data() + off, CallRecord::kSize)));
    return out;
}

// How often each stored path is named by the index files of the store.
inline std::map<std::string, int> IndexedPaths(const std::filesystem::path& storeRoot) {
    std::map<std::string, int> seen;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(storeRoot / "CallLog", ec))
        for (const auto& r :
             IsIndexFile(e.path()) ? ReadIndex(e.path()) : std::vector<CallRecord>{})
            ++seen[ToUtf8(FieldText(r.filePath))];
    return seen;
}

}  // namespace lk::test
