#include "backup/BackupEngine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include <unordered_set>

#include "card/BackupStore.h"
#include "card/RecordFileCode.h"
#include "platform/CardPath.h"
#include "platform/TextCodec.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTimestampLength = 14;
constexpr std::size_t kMonthLength = 6;
constexpr std::size_t kDayLength = 8;

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

// Copies are made durable together: one batch is copied, synced, renamed,
// synced, indexed with one write per month file, synced, and only then are its
// card files deleted.
constexpr std::size_t kBatchFiles = 512;
constexpr std::uint64_t kBatchBytes = 256ull << 20;
// Variants tried for one name before the record is given up as failed.
constexpr int kMaxNameVariants = 99;

// One record on its way through a batch.
struct Pending {
    BackupItem item;
    BackupOutcome outcome = BackupOutcome::Failed;
    const CallRecord* record = nullptr;
    Destination dest;        // the name actually used
    fs::path source;         // card file (empty: none)
    fs::path partial;        // copied here, renamed to dest.path at the flush
    bool index = false;      // append an index entry naming dest.path
    bool addToList = false;  // into the backup list even when the index write fails
    bool removeSource = false;
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
        if (files_.ReachedWithoutLinks(options_.backupPath, storeRoot_ / "CallLog")) {
            files_.CreateDirectories(storeRoot_);
            files_.CreateDirectories(storeRoot_ / "CallLog");
        }
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
    void Flush();

    BackupResult& Result() { return result_; }
    bool AllHeld() const { return allHeld_; }
    FileOps& Files() { return files_; }
    const fs::path& CardRoot() const { return cardRoot_; }

  private:
    std::optional<Destination> DestinationOf(CallRecord& record);
    std::optional<fs::path> SourceOf(const CallRecord& record, bool& cardMissing);
    bool IsIndexed(int yyyymm, const std::string& key);
    void NoteIndexed(int yyyymm, const std::string& key);
    Destination Variant(const Destination& d, int variant) const;
    // ReachedWithoutLinks, remembering the folders already found plain.
    bool LinkFree(const fs::path& root, const fs::path& p);
    void Queue(Pending p);
    // `error` -1: the file operations' last error.
    void Fail(Pending& p, bool onCard, int error = -1);
    void Finish(Pending& p);

    RecorderState& state_;
    const BackupOptions& options_;
    FileOps& files_;
    fs::path storeRoot_;
    char cardLetter_ = 0;
    fs::path cardRoot_;
    std::map<int, std::unordered_set<std::string>> indexed_;
    std::vector<Pending> batch_;
    std::unordered_set<std::string> claimed_;  // names taken by copies of this batch
    std::unordered_set<std::string> plainFolders_;
    std::uint64_t batchBytes_ = 0;
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
    // a longer one could not be found again (room is left for a variant).
    const std::size_t longest = FromUtf8(d.path.string()).size() + sizeof(kPartialSuffix) + 3;
    if (longest >= CallRecord::kFilePathUnits) return std::nullopt;
    return d;
}

Destination BackupRun::Variant(const Destination& d, int variant) const {
    if (variant <= 1) return d;
    Destination v = d;
    const std::string name = StoreNameVariant(d.path.filename().string(), variant);
    v.path = d.path.parent_path() / name;
    v.key = d.key.substr(0, d.key.rfind('/') + 1) + name;
    return v;
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

void BackupRun::NoteIndexed(int yyyymm, const std::string& key) {
    IsIndexed(yyyymm, key);  // reads the month first, so it is never read over this
    indexed_[yyyymm].insert(key);
}

void BackupRun::Fail(Pending& p, bool onCard, int error) {
    p.outcome = BackupOutcome::Failed;
    p.item.error = error >= 0 ? error : files_.LastError();
    p.item.errorOnCard = onCard;
    p.index = p.addToList = p.removeSource = false;
}

bool BackupRun::LinkFree(const fs::path& root, const fs::path& p) {
    const fs::path folder = p.parent_path();
    if (plainFolders_.count(folder.string()) != 0) return files_.ReachedWithoutLinks(folder, p);
    if (!files_.ReachedWithoutLinks(root, p)) return false;
    if (files_.IsDirectory(folder)) plainFolders_.insert(folder.string());
    return true;
}

void BackupRun::Queue(Pending p) {
    batch_.push_back(std::move(p));
    if (batch_.size() >= kBatchFiles || batchBytes_ >= kBatchBytes) Flush();
}

void BackupRun::Process(CallRecord& record, std::size_t position, int range) {
    Pending p;
    p.record = &record;
    p.item.position = position;
    const int step = static_cast<int>(position) + 1;

    const auto dest = DestinationOf(record);
    if (!dest) {
        options_.progress.Step(step, range, std::string());
        p.outcome = BackupOutcome::Refused;
        return Queue(std::move(p));
    }
    p.dest = *dest;
    p.item.destination = dest->path;
    options_.progress.Step(step, range, dest->path.string());

    bool cardMissing = false;
    const auto source = SourceOf(record, cardMissing);
    if (!source) {
        p.outcome = cardMissing ? BackupOutcome::Failed : BackupOutcome::Refused;
        if (cardMissing) {
            p.item.error = ENOENT;
            p.item.errorOnCard = true;
        }
        return Queue(std::move(p));
    }
    // Nothing on the card or in the store is reached through a link.
    if (!LinkFree(cardRoot_, *source)) {
        p.item.error = ELOOP;
        p.item.errorOnCard = true;
        return Queue(std::move(p));
    }
    const fs::path day = dest->path.parent_path();
    if (!LinkFree(options_.backupPath, day) ||
        (files_.CreateDirectories(day), !LinkFree(options_.backupPath, day))) {
        p.item.error = ELOOP;
        return Queue(std::move(p));
    }

    if (!files_.Exists(*source)) {
        // Moved by an earlier run that kept the call log: the copy is the recording.
        if (files_.Exists(dest->path)) {
            p.outcome = BackupOutcome::AlreadyHeld;
            p.index = !IsIndexed(dest->yyyymm, dest->key);
            if (p.index) NoteIndexed(dest->yyyymm, dest->key);
            return Queue(std::move(p));
        }
        // No recording: an empty marker stands for the record in the store.
        Destination marker = *dest;
        marker.path += kMarkerSuffix;
        marker.key += kMarkerSuffix;
        p.dest = marker;
        p.item.destination = marker.path;
        if (files_.Exists(marker.path)) {
            p.outcome = BackupOutcome::AlreadyHeld;
            p.index = !IsIndexed(marker.yyyymm, marker.key);
            if (p.index) NoteIndexed(marker.yyyymm, marker.key);
            return Queue(std::move(p));
        }
        if (!files_.CreateNewEmptyFile(marker.path)) {
            Fail(p, false);
            return Queue(std::move(p));
        }
        p.outcome = BackupOutcome::Marker;
        p.index = p.addToList = true;
        NoteIndexed(marker.yyyymm, marker.key);
        return Queue(std::move(p));
    }
    p.source = *source;

    const auto sourceSize = files_.FileSize(*source);
    if (!sourceSize) {
        Fail(p, true);
        if (p.item.error == 0) p.item.error = EINVAL;  // not a plain file
        return Queue(std::move(p));
    }

    // The first name that is free or already holds these very bytes. A name
    // holding other bytes is another recording (a clock reset, a second card)
    // and is never replaced.
    std::optional<Destination> chosen;
    bool held = false;
    for (int variant = 1; variant <= kMaxNameVariants && !chosen; ++variant) {
        const Destination v = Variant(*dest, variant);
        if (claimed_.count(v.path.string()) != 0) continue;
        if (!files_.Exists(v.path)) {
            chosen = v;
            break;
        }
        const auto same = files_.SameContent(*source, v.path);
        if (!same) {
            Fail(p, false);
            return Queue(std::move(p));
        }
        if (*same) {
            chosen = v;
            held = true;
        }
    }
    if (!chosen) {
        p.item.error = EEXIST;
        return Queue(std::move(p));
    }
    p.dest = *chosen;
    p.item.destination = chosen->path;

    if (held) {
        p.outcome = BackupOutcome::AlreadyHeld;
        p.index = !IsIndexed(chosen->yyyymm, chosen->key);
        if (p.index) NoteIndexed(chosen->yyyymm, chosen->key);
        p.removeSource = options_.move;
        return Queue(std::move(p));
    }

    // Written under a temporary name and renamed only once durable, so that a
    // final name never holds half a recording.
    p.partial = chosen->path;
    p.partial += kPartialSuffix;
    files_.Remove(p.partial);
    const bool copied = files_.CopyToNewFile(*source, p.partial);
    const auto partialSize = copied ? files_.FileSize(p.partial) : std::nullopt;
    if (!copied || partialSize != sourceSize) {
        const bool cardSide = copied || !files_.Exists(*source);
        Fail(p, cardSide);
        if (copied) p.item.error = EIO;  // the source changed while it was read
        files_.Remove(p.partial);
        p.partial.clear();
        return Queue(std::move(p));
    }
    claimed_.insert(chosen->path.string());
    batchBytes_ += *sourceSize;
    p.outcome = options_.move ? BackupOutcome::Moved : BackupOutcome::Copied;
    p.index = p.addToList = true;
    p.removeSource = options_.move;
    NoteIndexed(chosen->yyyymm, chosen->key);
    Queue(std::move(p));
}

void BackupRun::Flush() {
    if (batch_.empty()) return;
    const auto copying = [](const Pending& p) { return !p.partial.empty(); };
    const bool anyCopy = std::any_of(batch_.begin(), batch_.end(), copying);

    // 1. The copies' bytes, all at once.
    std::vector<fs::path> partials;
    for (const auto& p : batch_)
        if (copying(p)) partials.push_back(p.partial);
    if (anyCopy && !files_.Sync(partials)) {
        for (auto& p : batch_)
            if (copying(p)) {
                Fail(p, false);
                files_.Remove(p.partial);
                p.partial.clear();
            }
    }
    // 2. Their final names, durable before any index names them.
    // Held copies that get an index entry or let the card go are included: an
    // earlier run may have ended between their rename and its sync.
    std::set<fs::path> folders;
    for (auto& p : batch_) {
        if (!copying(p) && (p.index || p.removeSource)) folders.insert(p.dest.path.parent_path());
        if (!copying(p)) continue;
        if (files_.Rename(p.partial, p.dest.path)) {
            folders.insert(p.dest.path.parent_path());
        } else {
            Fail(p, false);
            files_.Remove(p.partial);
        }
        p.partial.clear();
    }
    if (!folders.empty() && !files_.Sync({folders.begin(), folders.end()})) {
        // Renamed but perhaps not durable: not indexed, the card keeps them, and
        // the next run finds them held and indexes them.
        for (auto& p : batch_)
            if (p.outcome == BackupOutcome::Copied || p.outcome == BackupOutcome::Moved)
                Fail(p, false);
    }

    // 3. One write per month file, then one sync for all of them.
    std::map<int, std::vector<Pending*>> months;
    for (auto& p : batch_)
        if (p.index) months[p.dest.yyyymm].push_back(&p);
    std::vector<Pending*> appended;
    for (auto& [yyyymm, entries] : months) {
        const fs::path index = MonthIndexPath(options_.backupPath, options_.devType, yyyymm);
        std::vector<CallRecord> copies;
        std::vector<std::uint8_t> bytes;
        bytes.reserve(entries.size() * CallRecord::kSize);
        for (Pending* p : entries) {
            CallRecord copy = *p->record;
            SetFieldText(copy.filePath, FromUtf8(p->dest.path.string()));
            const auto raw = copy.ToBytes();
            bytes.insert(bytes.end(), raw.begin(), raw.end());
            copies.push_back(copy);
        }
        std::optional<std::uint64_t> first;
        int appendError = ELOOP;
        if (files_.ReachedWithoutLinks(options_.backupPath, index)) {
            first = files_.AppendRecords(index, ByteSpan(bytes.data(), bytes.size()),
                                         CallRecord::kSize, false);
            appendError = files_.LastError();
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            Pending& p = *entries[i];
            if (first) {
                // The in-place delete and mark find the entry by this position.
                copies[i].index = static_cast<std::int32_t>(*first + i);
                p.item.indexed = true;
                appended.push_back(&p);
            }
            if (first || p.addToList)
                state_.records.Append(RecordListId::Backup,
                                      std::make_unique<CallRecord>(copies[i]));
            if (!first) {
                ++result_.indexWriteFailures;
                if (p.outcome != BackupOutcome::AlreadyHeld) {
                    Fail(p, false, appendError);
                } else {
                    p.item.error = appendError;
                    p.removeSource = false;
                }
            }
        }
    }
    std::vector<fs::path> indexes;
    for (const auto& [yyyymm, entries] : months)
        if (entries.front()->item.indexed)
            indexes.push_back(MonthIndexPath(options_.backupPath, options_.devType, yyyymm));
    if (!indexes.empty()) indexes.push_back(indexes.front().parent_path());  // new month files
    if (!appended.empty() && !files_.Sync(indexes)) {
        for (Pending* p : appended) {
            p->item.indexed = false;
            p->removeSource = false;
            if (p->outcome != BackupOutcome::AlreadyHeld) Fail(*p, false);
        }
    }

    // 4. Only now may the card let go of what the store holds.
    for (auto& p : batch_) {
        const bool held = p.outcome == BackupOutcome::AlreadyHeld;
        if (held && !p.index) p.item.indexed = true;  // named by an earlier run
        if (held && p.index && p.item.indexed) ++result_.reIndexed;
        if (!p.removeSource || !p.item.indexed || p.source.empty()) continue;
        const bool plain = LinkFree(cardRoot_, p.source);
        p.item.sourceDeleted = plain && files_.Remove(p.source);
        if (!p.item.sourceDeleted) {
            ++result_.cardNotCleared;
            if (result_.cardClearReason.empty())
                result_.cardClearReason = BackupErrorText(plain ? files_.LastError() : ELOOP, true);
        }
    }

    for (auto& p : batch_)
        Finish(p);
    batch_.clear();
    claimed_.clear();
    batchBytes_ = 0;
}

void BackupRun::Finish(Pending& p) {
    BackupItem& item = p.item;
    item.outcome = p.outcome;
    switch (p.outcome) {
        case BackupOutcome::AlreadyHeld:
            ++result_.skipped;
            break;
        case BackupOutcome::Failed:
        case BackupOutcome::Refused:
            ++result_.failed;
            allHeld_ = false;
            if (result_.failureReason.empty() && item.error != 0)
                result_.failureReason = BackupErrorText(item.error, item.errorOnCard);
            break;
        default:
            ++result_.backedUp;
            break;
    }
    // A recording counts as safe only once the store's index names it.
    if (p.outcome != BackupOutcome::Failed && p.outcome != BackupOutcome::Refused && !item.indexed)
        allHeld_ = false;
    result_.items.push_back(std::move(item));
}

}  // namespace

std::string BackupErrorText(int error, bool onCard) {
    switch (error) {
        case 0:
            return std::string();
        case ENOSPC:
            return onCard ? "no space left on the card" : "no space left on the store's device";
        case EROFS:
            return onCard ? "the card is read-only" : "the store's device is read-only";
        case ENOENT:
            return onCard ? "the recording is not on the card" : "a store folder is missing";
        case EEXIST:
            return "too many other recordings under the same name in the store";
        case ELOOP:
            return onCard ? "a card path is a symbolic link" : "a store path is a symbolic link";
        default:
            return std::string(onCard ? "card: " : "store: ") + FileErrorText(error);
    }
}

std::string StoreNameVariant(const std::string& fileName, int variant) {
    if (variant <= 1) return fileName;
    const std::size_t dot = fileName.rfind('.');
    const std::size_t dash = fileName.rfind('-');
    // The extension is what follows the last dot after the last hyphen.
    const std::size_t at = dot != std::string::npos && (dash == std::string::npos || dot > dash)
                               ? dot
                               : fileName.size();
    return fileName.substr(0, at) + "_" + std::to_string(variant) + fileName.substr(at);
}

void BuildRecordingPath(CallRecord& record) {
    const std::string prefix = ToUtf8(FieldText(record.cardPath));
    const std::string number = ToUtf8(FieldText(record.number));
    const SystemTime& t = record.time;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d%02d\\%04d%02d%02d%02d%02d%02d", t.year, t.month,
                  t.year, t.month, t.day, t.hour, t.minute, t.second);
    std::string path = prefix + stamp + "-" + std::string(RecordFileCode(record.type));
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
    run.Flush();
    BackupResult& result = run.Result();
    result.reachedEnd = !stopped;

    // The call log goes only when every recording it names is safe in the
    // store: a stopped run or a failed move keeps it, with its entries.
    if (options.move && result.reachedEnd && run.AllHeld() && result.cardNotCleared == 0 &&
        !state.cardLogPath.empty())
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
    run.Flush();
    run.Result().reachedEnd = !stopped;
    return std::move(run.Result());
}

}  // namespace lk
