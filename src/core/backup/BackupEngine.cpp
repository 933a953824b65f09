#include "backup/BackupEngine.h"

#include <cstdio>
#include <map>
#include <optional>
#include <thread>
#include <unordered_set>

#include "card/BackupStore.h"
#include "platform/CardPath.h"
#include "platform/TextCodec.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTimestampLength = 14;
constexpr std::size_t kMonthLength = 6;
constexpr std::size_t kDayLength = 8;

const char* TypeTag(int type) {
    switch (type) {
        case Incoming:
        case Missed:
        case Message:
            return "I";
        case Note:
        case Note2:
            return "NOTE";
        case Triggered:
            return "TRIG";
        default:
            return "O";
    }
}

bool IsDigits(std::u16string_view s) {
    for (char16_t c : s)
        if (c < u'0' || c > u'9') return false;
    return !s.empty();
}

// The last three components (month, day, file name) of a store path written
// with either separator: what identifies a copy wherever the store now lies.
std::string StoreKey(const std::string& path) {
    std::size_t end = path.size();
    std::size_t start = end;
    for (int parts = 0; parts < 3; ++parts) {
        const std::size_t sep = end == 0 ? std::string::npos : path.find_last_of("/\\", end - 1);
        start = sep == std::string::npos ? 0 : sep + 1;
        if (sep == std::string::npos) break;
        end = sep;
    }
    std::string key = path.substr(start);
    for (char& c : key)
        if (c == '\\') c = '/';
    return key;
}

// Where one record's recording goes, worked out from its card path.
struct Destination {
    int yyyymm = 0;
    std::string key;  // month/day/name
    fs::path path;
};

class BackupRun {
  public:
    BackupRun(RecorderState& state, const BackupOptions& options)
        : state_(state),
          options_(options),
          files_(options.files != nullptr ? *options.files : DefaultFileOps()) {}

    bool Start() {
        if (options_.backupPath.empty()) return false;
        files_.CreateDirectories(options_.backupPath);
        storeRoot_ = StoreRoot(options_.backupPath, options_.devType);
        files_.CreateDirectories(storeRoot_);
        files_.CreateDirectories(storeRoot_ / "CallLog");
        cardLetter_ = state_.cardDrive.load();
        if (!options_.cardRoot.empty()) {
            cardRoot_ = options_.cardRoot;
        } else if (cardLetter_ != 0) {
            if (auto volume = state_.volumes.Find(cardLetter_)) cardRoot_ = volume->root;
        }
        result_.started = true;
        return true;
    }

    bool ShouldStop(const std::atomic<int>& stop) const {
        return stop.load() != 0 || state_.quitting.load() != 0;
    }

    void Process(CallRecord& record, std::size_t position, int range);

    BackupResult& Result() { return result_; }
    bool AllHeld() const { return allHeld_; }
    FileOps& Files() { return files_; }

  private:
    std::optional<Destination> DestinationOf(CallRecord& record);
    std::optional<fs::path> SourceOf(const CallRecord& record, bool& cardMissing);
    bool IsIndexed(int yyyymm, const std::string& key);
    bool AppendToIndex(const CallRecord& record, const Destination& dest, const fs::path& stored,
                       bool alwaysAddToList);
    void Finish(BackupItem& item, BackupOutcome outcome);

    RecorderState& state_;
    const BackupOptions& options_;
    FileOps& files_;
    fs::path storeRoot_;
    char cardLetter_ = 0;
    fs::path cardRoot_;
    std::map<int, std::unordered_set<std::string>> indexed_;
    BackupResult result_;
    bool allHeld_ = true;
};

std::optional<Destination> BackupRun::DestinationOf(CallRecord& record) {
    std::u16string cardPath = FieldText(record.cardPath);
    std::size_t hyphen = cardPath.find(u'-');
    if (hyphen == std::u16string::npos) {
        BuildRecordingPath(record);
        cardPath = FieldText(record.cardPath);
        hyphen = cardPath.find(u'-');
        if (hyphen == std::u16string::npos) return std::nullopt;
    }
    // The timestamp must be there, and the file name must be one name: a card
    // path is untrusted and may not steer the copy out of its day folder.
    if (hyphen < kTimestampLength) return std::nullopt;
    const std::u16string_view stamp =
        std::u16string_view(cardPath).substr(hyphen - kTimestampLength, kTimestampLength);
    if (!IsDigits(stamp)) return std::nullopt;
    const std::u16string name = cardPath.substr(hyphen - kTimestampLength);
    if (name.find_first_of(u"/\\") != std::u16string::npos ||
        name.find(u'\0') != std::u16string::npos)
        return std::nullopt;

    const std::string month = ToUtf8(stamp.substr(0, kMonthLength));
    const std::string day = ToUtf8(stamp.substr(0, kDayLength));
    const std::string fileName = ToUtf8(name);
    Destination d;
    d.yyyymm = std::stoi(month);
    d.key = month + "/" + day + "/" + fileName;
    d.path = storeRoot_ / month / day / fileName;
    // The index keeps the path in a field of 260 units with its terminator;
    // a longer one could not be found again.
    const std::size_t longest = FromUtf8(d.path.string()).size() + sizeof(kMarkerSuffix) - 1;
    if (longest >= CallRecord::kFilePathUnits) return std::nullopt;
    return d;
}

std::optional<fs::path> BackupRun::SourceOf(const CallRecord& record, bool& cardMissing) {
    cardMissing = false;
    const auto split = SplitDrivePath(FieldText(record.cardPath));
    if (!split) return std::nullopt;
    // Only the card in use is read from (and, when moving, deleted from).
    if (split->letter != cardLetter_) return std::nullopt;
    if (cardRoot_.empty() || !files_.IsDirectory(cardRoot_)) {
        cardMissing = true;
        return std::nullopt;
    }
    return ResolveUnderRoot(cardRoot_, split->relative);
}

bool BackupRun::IsIndexed(int yyyymm, const std::string& key) {
    auto it = indexed_.find(yyyymm);
    if (it == indexed_.end()) {
        std::unordered_set<std::string> keys;
        const fs::path index = MonthIndexPath(options_.backupPath, options_.devType, yyyymm);
        if (auto bytes = files_.ReadWholeFile(index)) {
            for (std::size_t off = 0; off + CallRecord::kSize <= bytes->size();
                 off += CallRecord::kSize) {
                const auto r =
                    CallRecord::FromBytes(ByteSpan(bytes->data() + off, CallRecord::kSize));
                keys.insert(StoreKey(ToUtf8(FieldText(r.filePath))));
            }
        }
        it = indexed_.emplace(yyyymm, std::move(keys)).first;
    }
    return it->second.count(key) != 0;
}

bool BackupRun::AppendToIndex(const CallRecord& record, const Destination& dest,
                              const fs::path& stored, bool alwaysAddToList) {
    CallRecord copy = record;
    SetFieldText(copy.filePath, FromUtf8(stored.string()));
    const fs::path index = MonthIndexPath(options_.backupPath, options_.devType, dest.yyyymm);
    const auto bytes = copy.ToBytes();
    const auto position = files_.AppendRecord(index, bytes);
    if (position) {
        // The in-place delete and mark find the entry by this position.
        copy.index = static_cast<std::int32_t>(*position);
        // A month not read yet will be read with this entry in it.
        if (auto it = indexed_.find(dest.yyyymm); it != indexed_.end())
            it->second.insert(StoreKey(stored.string()));
        ++result_.backedUp;
    } else {
        ++result_.indexWriteFailures;
    }
    if (position || alwaysAddToList)
        state_.records.Append(RecordListId::Backup, std::make_unique<CallRecord>(copy));
    return position.has_value();
}

void BackupRun::Finish(BackupItem& item, BackupOutcome outcome) {
    item.outcome = outcome;
    switch (outcome) {
        case BackupOutcome::AlreadyHeld:
            ++result_.skipped;
            break;
        case BackupOutcome::Failed:
        case BackupOutcome::Refused:
            ++result_.failed;
            allHeld_ = false;
            break;
        default:
            break;
    }
    // A recording counts as safe only once the store's index names it.
    if (outcome != BackupOutcome::Failed && outcome != BackupOutcome::Refused && !item.indexed)
        allHeld_ = false;
    result_.items.push_back(std::move(item));
}

void BackupRun::Process(CallRecord& record, std::size_t position, int range) {
    BackupItem item;
    item.position = position;
    const int step = static_cast<int>(position) + 1;

    const auto dest = DestinationOf(record);
    if (!dest) {
        options_.progress.Step(step, range, std::string());
        return Finish(item, BackupOutcome::Refused);
    }
    item.destination = dest->path;
    options_.progress.Step(step, range, dest->path.string());

    bool cardMissing = false;
    const auto source = SourceOf(record, cardMissing);
    if (!source) return Finish(item, cardMissing ? BackupOutcome::Failed : BackupOutcome::Refused);
    files_.CreateDirectories(dest->path.parent_path());

    if (!files_.Exists(*source)) {
        // Moved by an earlier run that kept the call log: the copy is the recording.
        if (files_.Exists(dest->path)) {
            item.indexed = IsIndexed(dest->yyyymm, dest->key) ||
                           AppendToIndex(record, *dest, dest->path, false);
            return Finish(item, BackupOutcome::AlreadyHeld);
        }
        // No recording: an empty marker stands for the record in the store.
        fs::path marker = dest->path;
        marker += kMarkerSuffix;
        const std::string markerKey = dest->key + kMarkerSuffix;
        item.destination = marker;
        if (files_.Exists(marker)) {
            item.indexed =
                IsIndexed(dest->yyyymm, markerKey) || AppendToIndex(record, *dest, marker, false);
            return Finish(item, BackupOutcome::AlreadyHeld);
        }
        if (!files_.CreateNewEmptyFile(marker)) return Finish(item, BackupOutcome::Failed);
        item.indexed = AppendToIndex(record, *dest, marker, true);
        return Finish(item, BackupOutcome::Marker);
    }

    const auto sourceSize = files_.FileSize(*source);
    if (!sourceSize) return Finish(item, BackupOutcome::Failed);

    // A copy of the same size is a finished backup; anything else under the
    // final name is what an interrupted run of an older version left.
    const auto heldSize = files_.FileSize(dest->path);
    if (heldSize && *heldSize == *sourceSize) {
        item.indexed =
            IsIndexed(dest->yyyymm, dest->key) || AppendToIndex(record, *dest, dest->path, false);
        if (options_.move && item.indexed) item.sourceDeleted = files_.Remove(*source);
        return Finish(item, BackupOutcome::AlreadyHeld);
    }

    // Write under a temporary name and rename only a complete, flushed copy, so
    // that the final name never holds half a recording.
    fs::path partial = dest->path;
    partial += kPartialSuffix;
    files_.Remove(partial);
    const bool copied = files_.CopyToNewFile(*source, partial);
    const auto partialSize = copied ? files_.FileSize(partial) : std::nullopt;
    if (!copied || partialSize != sourceSize || !files_.Rename(partial, dest->path)) {
        files_.Remove(partial);
        return Finish(item, BackupOutcome::Failed);
    }
    item.indexed = AppendToIndex(record, *dest, dest->path, true);
    // The card keeps its file until the store's index names the copy.
    if (options_.move && item.indexed) item.sourceDeleted = files_.Remove(*source);
    Finish(item, options_.move ? BackupOutcome::Moved : BackupOutcome::Copied);
}

}  // namespace

void BuildRecordingPath(CallRecord& record) {
    const std::string prefix = ToUtf8(FieldText(record.cardPath));
    const std::string number = ToUtf8(FieldText(record.number));
    const SystemTime& t = record.time;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d%02d\\%04d%02d%02d%02d%02d%02d", t.year, t.month,
                  t.year, t.month, t.day, t.hour, t.minute, t.second);
    std::string path = prefix + stamp + "-" + TypeTag(record.type);
    if (!number.empty()) path += "-" + number;
    path += ".wav";
    const std::u16string text = FromUtf8(path);
    SetFieldText(record.cardPath, text);  // cut to 63 units when longer
    SetFieldText(record.filePath, text);
}

BackupResult BackupAllThread(RecorderState& state, const BackupOptions& options,
                             const std::atomic<int>& stop) {
    BackupRun run(state, options);
    if (!run.Start()) return run.Result();
    const int range = static_cast<int>(state.records.Card().size());
    options.progress.Begin(0, range);

    std::size_t position = 0;
    bool stopped = false;
    for (; position < state.records.Card().size(); ++position) {
        if (run.ShouldStop(stop)) {
            stopped = true;
            break;
        }
        std::this_thread::yield();
        if (CallRecord* record = state.records.Card()[position].get())
            run.Process(*record, position, range);
    }
    BackupResult& result = run.Result();
    result.reachedEnd = !stopped;

    // The call log goes only when every recording it names is safe in the
    // store: a stopped run or a failed move keeps it, with its entries.
    if (options.move && result.reachedEnd && run.AllHeld() && !state.cardLogPath.empty())
        result.cardLogDeleted = run.Files().Remove(state.cardLogPath);
    return std::move(result);
}

BackupResult BackupSelectedThread(RecorderState& state, std::span<CallRecord* const> selected,
                                  const BackupOptions& options, const std::atomic<int>& stop) {
    BackupRun run(state, options);
    if (!run.Start()) return run.Result();
    const int range = static_cast<int>(selected.size());
    options.progress.Begin(0, range);

    bool stopped = false;
    for (std::size_t position = 0; position < selected.size(); ++position) {
        if (run.ShouldStop(stop)) {
            stopped = true;
            break;
        }
        std::this_thread::yield();
        if (CallRecord* record = selected[position]) run.Process(*record, position, range);
    }
    run.Result().reachedEnd = !stopped;
    return std::move(run.Result());
}

}  // namespace lk
