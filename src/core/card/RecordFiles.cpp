#include "card/RecordFiles.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "card/BackupStore.h"
#include "platform/CardPath.h"

namespace lk {
namespace {

bool Stopped(const std::atomic<int>* stop) {
    return stop != nullptr && stop->load() != 0;
}

bool ReadWhole(const std::filesystem::path& path, std::vector<std::uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

constexpr std::size_t kNumberCut = 31, kNameCut = 36, kCardPathCut = 45, kFilePathCut = 259;

}  // namespace

RecordFileLoad ReadCardLogRecords(const CardVolume& card, int devType, const ContactList& contacts,
                                  const std::atomic<int>* stop) {
    RecordFileLoad load;
    std::vector<std::uint8_t> bytes;
    if (!ReadWhole(card.root / kCallLogFileName, bytes)) return load;
    load.found = true;
    const auto size = static_cast<std::size_t>(RecordSize(devType, true));
    const std::size_t count = bytes.size() / size;
    for (std::size_t i = 0; i < count && !Stopped(stop); ++i) {
        ++load.recordsRead;
        const ByteSpan raw(bytes.data() + i * size, size);
        if (raw[0] != 1) continue;
        auto record = std::make_unique<CallRecord>();
        const bool parsed = devType == 1 ? ParseCardRecord256(raw, *record, card, contacts)
                                         : ParseCardRecord128(raw, *record, card, contacts);
        if (!parsed) continue;
        // A record naming "..", an absolute path or another drive cannot be
        // played or changed safely; it is dropped rather than shown.
        const auto split = SplitDrivePath(FieldText(record->cardPath));
        if (!split || !ResolveUnderRoot(card.root, split->relative)) {
            ++load.unsafe;
            continue;
        }
        record->index = static_cast<std::int32_t>(i);
        load.records.push_back(std::move(record));
    }
    load.kept = static_cast<int>(load.records.size());
    return load;
}

RecordFileLoad ReadBackupStoreRecords(const std::filesystem::path& backupPath, int devType,
                                      const std::atomic<int>* stop) {
    RecordFileLoad load;
    auto months = ListBackupMonths(backupPath, devType);
    std::stable_sort(months.begin(), months.end());
    for (int month : months) {
        if (Stopped(stop)) break;
        std::vector<std::uint8_t> bytes;
        if (!ReadWhole(MonthIndexPath(backupPath, devType, month), bytes)) continue;
        load.found = true;
        const std::size_t count = bytes.size() / CallRecord::kSize;
        for (std::size_t i = 0; i < count && !Stopped(stop); ++i) {
            ++load.recordsRead;
            auto record = std::make_unique<CallRecord>(CallRecord::FromBytes(
                ByteSpan(bytes.data() + i * CallRecord::kSize, CallRecord::kSize)));
            if (!record->IsLive()) continue;
            CutFieldText(record->number, kNumberCut);
            CutFieldText(record->name, kNameCut);
            CutFieldText(record->cardPath, kCardPathCut);
            CutFieldText(record->filePath, kFilePathCut);
            record->index = static_cast<std::int32_t>(i);
            load.records.push_back(std::move(record));
        }
    }
    load.kept = static_cast<int>(load.records.size());
    return load;
}

}  // namespace lk
