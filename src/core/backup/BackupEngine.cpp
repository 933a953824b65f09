#include "backup/BackupEngine.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include <unistd.h>

#include "backup/StoreChecksums.h"
#include "card/BackupStore.h"
#include "card/RecordFileCode.h"
#include "platform/CardPath.h"
#include "platform/LetterCase.h"
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

// Where one record's recording goes, worked out from its card path.
struct Destination {
    int yyyymm = 0;
    std::string key;  // month/day/name
    fs::path path;
};

// Copies are made durable together: one batch is copied and synced, then,
// under the locks of its month index files, renamed, synced, indexed with one
// write per month file and synced, and only then are its card files deleted.
//
// Several runs may fill one store at once (two PCs on a shared folder, or a
// second backup started beside the first). The protocol that keeps them apart:
//  - a copy is written under a name no other run can take (kPartialSuffix,
//    host, pid, random), made with O_EXCL; no run removes another's partial
//    copy unless it is proven stale (same host, process gone, old);
//  - every decision that names a copy or adds an index entry is taken while
//    holding the lock of the month's index file (IndexLock), locks taken in
//    ascending month order so that two runs never wait on each other: under
//    it the index entries appended since this run last read the file are read,
//    "already held" is decided again against them, each copy takes the first
//    name that is free (no file, no index entry) or holds its very bytes,
//    renamed without replacing, and the entries are appended and synced;
//  - a run releases a month lock only once what it appended is durable, so
//    an entry seen under the lock may let the card go.
// Within a run, a batch's copies are made, and those whose own name is free
// renamed to it, by several threads; every other name decision is taken by the
// run's own thread, in the order of the records.
// One lock per month file per batch, no sync per record.
// Small recordings: each batch costs three syncs of the store, which made up
// a tenth of a backup of 16 KiB recordings at 512 per batch.
constexpr std::size_t kBatchFiles = 4096;
constexpr std::uint64_t kBatchBytes = 256ull << 20;
// Variants tried for one name before the record is given up as failed.
constexpr int kMaxNameVariants = 99;

enum class Work {
    None,    // refused or failed before anything was made
    Copy,    // `partial` holds the bytes; named and indexed under the lock
    Held,    // `dest` holds the bytes (or is the marker); index if not indexed
    Marker,  // a new marker at `dest`; index if not indexed
    Same,    // names the recording of an earlier record of this run
};

// One record on its way through a batch.
struct Pending {
    BackupItem item;
    BackupOutcome outcome = BackupOutcome::Failed;
    Work work = Work::None;
    const CallRecord* record = nullptr;
    // The recording's own name (variant 1); its path is made only where
    // needed (BasePath), as p.dest holds the same until a record settles.
    Destination base;
    Destination dest;        // the name actually used
    fs::path source;         // card file (empty: none)
    std::string sourceKey;   // the card file as the card compares names
    fs::path partial;        // copied here, renamed to dest.path under the lock
    bool index = false;      // append an index entry naming dest.path
    bool addToList = false;  // into the backup list even when the index write fails
    bool removeSource = false;
    FileProbe sourceProbe;  // the card file as it was looked at
    std::string cardKey;    // its path below the card root, as the card compares names
    // The checksum of the bytes copied to `partial`, taken as they were copied.
    std::optional<Xxh128::Digest> digest;
    // Work::Copy records are copied with the rest of their batch (CopyBatch):
    // what the copy found.
    bool copied = false;
    bool renamed = false;    // to its own name, by RenameToOwnNames
    bool notCopied = false;  // a stop came first
    int copyError = 0;
    std::uint64_t copiedBytes = 0;
};

// The quick check: a card file whose name, size, write time and change time
// are those it had when its copy was made counts as held without being read,
// as long as that copy is there with its size (copy mode only: before a move
// deletes a card file, its bytes are compared with the copy's in full). The
// store keeps these facts per month in "CallLog/YYYYMMCardFiles.txt", lines of
// "size<TAB>write ns<TAB>change ns<TAB>store key<TAB>card key", appended
// under the month's lock. Lost or torn lines only cost a content check.

struct SeenFile {
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    std::string_view storeKey;  // into its SeenMonth's texts
};

// The facts of one month, kept as views into the file's text as read and
// into the texts this run added: a string per fact made up much of the time
// of a run that finds everything held.
struct SeenMonth {
    std::vector<std::uint8_t> text;
    std::deque<std::string> added;
    std::unordered_map<std::string_view, SeenFile> facts;
};

// What this run knows of one month index file: every path an entry names
// (live or deleted), and where the live entries are.
struct MonthIndex {
    std::uint64_t readBytes = 0;  // whole records read so far
    // Every path named, with the positions of its live entries (none: only
    // deleted ones). One map: an index scan makes a node per entry.
    std::unordered_map<std::string, std::vector<std::uint64_t>> named;
};

// `root` / `rel` as path's operator/ joins them (for a relative `rel`), made
// as text so that the path object is built once.
std::string JoinText(std::string_view root, std::string_view rel) {
    std::string out;
    out.reserve(root.size() + 1 + rel.size());
    out += root;
    if (!out.empty() && out.back() != '/') out += '/';
    out += rel;
    return out;
}

// The folder part of a native path: equal for two paths exactly when their
// parent_path() is, and cheaper to look up per record.
std::string_view FolderText(const fs::path& p) {
    const std::string_view text = p.native();
    const std::size_t slash = text.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : text.substr(0, slash);
}

// A number field of a facts line: its leading digits, 0 when it starts with
// none (a torn line then matches no card file, which only costs a content
// check).
template <typename T>
T NumberOf(std::string_view text) {
    T value = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return r.ec == std::errc() ? value : T{0};
}

// The store key (month/day/name) of a path an index entry names, as
// StoreKeyOf gives it, converted from the key's own part of the path alone:
// an index scan does this for every entry.
std::string StoreKeyOfUnits(std::u16string_view path) {
    const auto isSeparator = [](char16_t c) { return c == u'/' || c == u'\\'; };
    std::size_t start = path.size();
    for (int parts = 0; parts < 3; ++parts) {
        std::size_t sep = start;
        while (sep > 0 && !isSeparator(path[sep - 1]))
            --sep;
        // Fewer than three separators (or one at the very start): the rare
        // shapes are left to StoreKeyOf itself.
        if (sep <= 1) return StoreKeyOf(ToUtf8(path));
        start = sep - 1;
    }
    std::string key = ToUtf8(path.substr(start + 1));
    std::replace(key.begin(), key.end(), '\\', '/');
    return key;
}

bool HasLineBreakOrTab(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n'; });
}

// Lets sets of texts be searched with a view, without a string per lookup.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

// The name part of a native path (after its last '/').
std::string_view NameText(const fs::path& p) {
    const std::string_view text = p.native();
    return text.substr(text.rfind('/') + 1);
}

// Folders held open for looking at the names in them. Records come in the
// order of their times, so few are needed at once; a store of years has
// thousands of day folders and a process only so many open files.
class OpenFolders {
  public:
    explicit OpenFolders(FileOps& files) : files_(files) {}

    // `folder` must be one already found free of links.
    const OpenFolder& Get(std::string_view folder) {
        if (const auto it = open_.find(folder); it != open_.end()) return it->second;
        if (open_.size() >= kHeld) open_.clear();
        return open_.emplace(std::string(folder), files_.Open(fs::path(folder))).first->second;
    }
    // `p` looked at through its folder.
    FileProbe Probe(const fs::path& p) { return files_.ProbeIn(Get(FolderText(p)), NameText(p)); }

  private:
    static constexpr std::size_t kHeld = 64;
    FileOps& files_;
    std::unordered_map<std::string, OpenFolder, TextHash, std::equal_to<>> open_;
};

// What precedes the owner of a partial copy's name.
std::string_view PartialMark() {
    static const std::string mark = std::string(kPartialSuffix) + "-";
    return mark;
}

std::string RandomTag(std::mt19937_64& random) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%08llx", static_cast<unsigned long long>(random() >> 32));
    return buf;
}

// Runs work(files, random, i) for every i below `count` on `workers` threads,
// each with file operations of its own, and tick() on this thread now and
// then until they are done (and once after).
template <typename Work, typename Tick>
void OnWorkers(std::size_t workers, std::size_t count, std::mt19937_64& seeds, Work work,
               Tick tick) {
    std::atomic<std::size_t> next{0};
    std::size_t finished = 0;
    std::mutex mutex;
    std::condition_variable allDone;
    {
        std::vector<std::jthread> pool;
        for (std::size_t w = 0; w < workers; ++w) {
            pool.emplace_back([&, seed = seeds()] {
                RealFileOps files;
                std::mt19937_64 random(seed);
                for (std::size_t i; (i = next.fetch_add(1)) < count;) {
                    work(files, random, i);
                    const std::lock_guard lock(mutex);
                    if (++finished == count) allDone.notify_one();
                }
            });
        }
        std::unique_lock lock(mutex);
        while (finished < count) {
            lock.unlock();
            tick();
            lock.lock();
            allDone.wait_for(lock, std::chrono::milliseconds(50),
                             [&] { return finished == count; });
        }
    }
    tick();
}

class BackupRun {
  public:
    BackupRun(RecorderState& state, const BackupOptions& options, ProgressReporter& progress,
              std::stop_token stop)
        : state_(state),
          stop_(std::move(stop)),
          options_(options),
          progress_(progress),
          files_(options.files != nullptr ? *options.files : ownFiles_),
          folders_(files_),
          random_(std::random_device{}()),
          partialTag_(std::string(kPartialSuffix) + "-" + HostTag() + "-" +
                      std::to_string(::getpid()) + "-") {}

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
        if (!cardRoot_.empty()) cardRootPrefix_ = JoinText(cardRoot_.native(), "");
        ignoreCase_ = options_.cardIgnoresCase.has_value()
                          ? *options_.cardIgnoresCase
                          : !cardRoot_.empty() && FileSystemIgnoresCase(cardRoot_);
        result_.started = true;
        return true;
    }

    bool ShouldStop(const std::stop_token& stop) const {
        return lk::ShouldStop(stop, progress_) || state_.quitting.load() != 0;
    }

    void Process(CallRecord& record, std::size_t position, int range);
    void Flush();

    BackupResult& Result() { return result_; }
    bool AllHeld() const { return allHeld_; }
    // A stop came while a batch was being copied: the records whose copies
    // had not begun were let go, as if never reached.
    bool CutShort() const { return cutShort_; }
    FileOps& Files() { return files_; }
    const fs::path& CardRoot() const { return cardRoot_; }

  private:
    std::optional<Destination> DestinationOf(CallRecord& record, bool& namesRecording);
    std::optional<fs::path> SourceOf(const CallRecord& record, bool& cardMissing);
    // After a card file could not be looked at: fails `p` for a card that went
    // away (ENODEV), as every record after it will be; false when it is there.
    bool CardGone(Pending& p);
    // The card file of another letter case that `source` names on a card
    // that ignores case; `found` false when the folder holds none.
    bool FindOtherCase(Pending& p, const fs::path& source, fs::path& found);
    Destination Variant(const Destination& d, int variant) const;
    // p.base with its path.
    const Destination& BasePath(Pending& p) const;
    // ReachedWithoutLinks, remembering the folders already found plain.
    bool LinkFree(const fs::path& root, const fs::path& p);
    void Queue(Pending p);
    // Queues `p` as held by the store copy p.dest (moving lets the card file go).
    void QueueHeld(Pending p);
    // `error` -1: the file operations' last error.
    void Fail(Pending& p, bool onCard, int error = -1);
    void FailWith(Pending& p, bool onCard, std::string reason);
    void Finish(Pending& p);
    void RemoveStalePartials(const fs::path& day);
    // The batch's copies, made into their partial names, several at once.
    void CopyBatch();
    // Lets the records go from the first copy a stop kept from being made on,
    // their copies removed.
    void LetGoAfterStop();
    // Moves the progress to `p`'s record (never back: records that need no
    // copy are reported when met, those that do once copied).
    void ReportStep(const Pending& p) {
        lastStep_ = std::max(lastStep_, static_cast<int>(p.item.position) + 1);
        progress_.Step(lastStep_, range_, p.dest.path.native());
    }
    // Under the locks: the copies whose own name is free in the index and not
    // wanted by an earlier copy of the batch are renamed to it, several at
    // once (renamed: true); NameCopy settles the rest one by one, in order.
    void RenameToOwnNames(const std::map<int, int>& lockErrors);
    // Threads for `jobs` file operations. Creating and renaming files is most
    // of a backup of small recordings, and the store's file system does it
    // for several writers at once: with two, 100,000 small copies took a
    // third less time. Test doubles (options_.files) see every operation, on
    // this thread.
    std::size_t Workers(std::size_t jobs) const {
        if (options_.files != nullptr) return 1;
        const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
        return std::min<std::size_t>({cores, 4, jobs / 16 + 1});
    }
    void ChooseMarker(Pending& p);

    // The quick check's facts of a month, read once per run.
    const SeenFile* Seen(int yyyymm, const std::string& cardKey);
    fs::path CardFilesPath(int yyyymm) const;
    void RememberCardFiles(int yyyymm, const std::vector<Pending*>& done);

    // Under the month's lock.
    MonthIndex& Month(int yyyymm);
    void ReadNewEntries(int yyyymm);
    void NameCopy(Pending& p);
    void NoteIndexed(int yyyymm, const std::string& key, std::optional<std::uint64_t> at);
    // The checksums of the copies just indexed, synced with the index; false
    // when nothing was written.
    bool AppendChecksums(int yyyymm, const std::vector<Pending*>& entries);

    RecorderState& state_;
    // Asked by the copying threads too (never the progress reporter, which
    // belongs to the run's own thread).
    std::stop_token stop_;
    const BackupOptions& options_;
    ProgressReporter& progress_;
    // A run's own: the last error of one run is never another's.
    RealFileOps ownFiles_;
    FileOps& files_;
    OpenFolders folders_;
    std::mt19937_64 random_;
    const std::string partialTag_;
    fs::path storeRoot_;
    char cardLetter_ = 0;
    fs::path cardRoot_;
    std::string cardRootPrefix_;  // cardRoot_'s text ending in '/' (empty: no root)
    bool ignoreCase_ = false;
    bool cardSeen_ = false;  // the card root was found a folder once
    std::map<int, MonthIndex> months_;
    std::map<int, SeenMonth> seen_;  // a node per month: the views stay valid
    std::vector<Pending> batch_;
    std::unordered_set<std::string> plainFolders_;
    std::unordered_set<std::string> cleanedFolders_;
    // Folders found plain (and, in the store, made) once: not looked at again.
    std::unordered_set<std::string, TextHash, std::equal_to<>> readyDays_;
    // The names each day folder held when this run first had to look for a
    // copy in it, kept as hashes. A name not among them is not looked for in
    // the store: a copy made there since is met by the rename, which never
    // replaces.
    struct DayNames {
        bool listed = false;  // false: the folder could not be listed
        std::unordered_set<std::size_t> hashes;
    };
    std::unordered_map<std::string, DayNames, TextHash, std::equal_to<>> dayNames_;
    std::unordered_set<std::string, TextHash, std::equal_to<>> readyCardFolders_;
    // Card files met so far (as the card compares names), and the item of
    // the first record naming each once it is finished.
    std::unordered_set<std::string> sources_;
    std::unordered_map<std::string, std::size_t> firstItem_;
    std::uint64_t batchBytes_ = 0;
    BackupResult result_;
    bool allHeld_ = true;
    bool cutShort_ = false;
    int range_ = 0;     // the steps of the whole run
    int lastStep_ = 0;  // the furthest step reported
};

std::optional<Destination> BackupRun::DestinationOf(CallRecord& record, bool& namesRecording) {
    std::u16string cardPath = FieldText(record.cardPath);
    std::size_t hyphen = cardPath.find(u'-');
    namesRecording = hyphen != std::u16string::npos;
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
    std::string text = JoinText(storeRoot_.native(), d.key);
    // The index keeps the path in a field of 260 units with its terminator;
    // a longer one could not be found again (room is left for a variant).
    const std::size_t longest = FromUtf8(text).size() + sizeof(kPartialSuffix) + 3;
    if (longest >= CallRecord::kFilePathUnits) return std::nullopt;
    d.path = fs::path(std::move(text));
    return d;
}

const Destination& BackupRun::BasePath(Pending& p) const {
    if (p.base.path.empty()) p.base.path = fs::path(JoinText(storeRoot_.native(), p.base.key));
    return p.base;
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
    // A card pulled during the run shows when one of its files cannot be
    // looked at (CardGone); not looked for at every record.
    if (cardRoot_.empty() || (!cardSeen_ && !files_.IsDirectory(cardRoot_))) {
        cardMissing = true;
        return std::nullopt;
    }
    cardSeen_ = true;
    return ResolveUnderRoot(cardRoot_, split->relative);
}

bool BackupRun::CardGone(Pending& p) {
    if (files_.IsDirectory(cardRoot_)) return false;
    Fail(p, true, ENODEV);
    return true;
}

void BackupRun::Fail(Pending& p, bool onCard, int error) {
    p.outcome = BackupOutcome::Failed;
    p.item.error = error >= 0 ? error : files_.LastError();
    p.item.errorOnCard = onCard;
    p.index = p.addToList = p.removeSource = false;
}

void BackupRun::FailWith(Pending& p, bool onCard, std::string reason) {
    Fail(p, onCard, 0);
    p.item.reason = std::move(reason);
}

bool BackupRun::LinkFree(const fs::path& root, const fs::path& p) {
    const fs::path folder = p.parent_path();
    if (plainFolders_.count(folder.string()) != 0) return files_.ReachedWithoutLinks(folder, p);
    if (!files_.ReachedWithoutLinks(root, p)) return false;
    if (files_.IsDirectory(folder)) plainFolders_.insert(folder.string());
    return true;
}

void BackupRun::Queue(Pending p) {
    if (p.work != Work::Copy) ReportStep(p);  // a copy is reported once made
    if (batch_.capacity() == 0) batch_.reserve(kBatchFiles);
    batch_.push_back(std::move(p));
    if (batch_.size() >= kBatchFiles || batchBytes_ >= kBatchBytes) Flush();
}

void BackupRun::QueueHeld(Pending p) {
    p.work = Work::Held;
    p.outcome = BackupOutcome::AlreadyHeld;
    p.removeSource = options_.move;
    Queue(std::move(p));
}

// Partial copies of runs on this host that died: their bytes are on the card
// still (a card file goes only once its copy is indexed).
void BackupRun::RemoveStalePartials(const fs::path& day) {
    if (!cleanedFolders_.insert(day.string()).second) return;
    const auto names = files_.ListNames(day);
    if (!names) return;
    std::string host = "-";
    host += HostTag();
    host += '-';
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const std::string_view mark = PartialMark();
    for (const auto& name : *names) {
        const std::size_t at = name.rfind(mark);
        if (at == std::string::npos) continue;
        const std::string owner = name.substr(at + sizeof(kPartialSuffix) - 1);
        // "-<host>-<pid>-<random>"
        const std::size_t randomDash = owner.rfind('-');
        const std::size_t pidDash = randomDash == 0 || randomDash == std::string::npos
                                        ? std::string::npos
                                        : owner.rfind('-', randomDash - 1);
        if (pidDash == std::string::npos || owner.substr(0, pidDash + 1) != host) continue;
        const long pid = std::atol(owner.substr(pidDash + 1, randomDash - pidDash - 1).c_str());
        if (!ProcessGone(pid)) continue;
        const FileProbe probe = files_.Probe(day / name);
        if (probe.kind != FileProbe::Kind::Regular || now - probe.modified < kStalePartialSeconds)
            continue;
        files_.Remove(day / name);
    }
}

bool BackupRun::FindOtherCase(Pending& p, const fs::path& source, fs::path& found) {
    const auto names = files_.ListNames(source.parent_path());
    if (!names) {
        // The folder the log names cannot be listed: the card is not readable
        // (pulled, its reader gone), so the recording's absence proves nothing.
        // A card root without its log is an empty mount point.
        const int error = files_.LastError();
        const bool logGone = !state_.cardLogPath.empty() &&
                             files_.Probe(state_.cardLogPath).kind != FileProbe::Kind::Regular;
        Fail(p, true, logGone ? ENODEV : error);
        return false;
    }
    const std::string wanted = FoldLetterCase(source.filename().string());
    for (const auto& name : *names) {
        if (FoldLetterCase(name) != wanted) continue;
        if (!ignoreCase_) {
            FailWith(p, true, "the card names the recording in another letter case");
            return false;
        }
        found = source.parent_path() / name;
        return true;
    }
    return true;
}

void BackupRun::ChooseMarker(Pending& p) {
    // Moved by an earlier run that kept the call log: the copy is the recording.
    const FileProbe real = files_.Probe(BasePath(p).path);
    if (real.kind == FileProbe::Kind::Regular) {
        p.dest = p.base;
        p.work = Work::Held;
        p.outcome = BackupOutcome::AlreadyHeld;
        return;
    }
    // No recording: an empty marker stands for the record in the store.
    Destination marker = p.base;
    marker.path += kMarkerSuffix;
    marker.key += kMarkerSuffix;
    p.dest = std::move(marker);
    if (files_.CreateNewEmptyFile(p.dest.path)) {
        p.work = Work::Marker;
        p.outcome = BackupOutcome::Marker;
        p.addToList = true;
        return;
    }
    const FileProbe held = files_.Probe(p.dest.path);
    if (held.kind == FileProbe::Kind::Regular) {
        p.work = Work::Held;
        p.outcome = BackupOutcome::AlreadyHeld;
        return;
    }
    Fail(p, false);
}

void BackupRun::Process(CallRecord& record, std::size_t position, int range) {
    Pending p;
    p.record = &record;
    p.item.position = position;
    range_ = range;

    bool namesRecording = false;
    auto dest = DestinationOf(record, namesRecording);
    if (!dest) {
        p.outcome = BackupOutcome::Refused;
        return Queue(std::move(p));
    }
    p.base.yyyymm = dest->yyyymm;
    p.base.key = dest->key;
    p.dest = std::move(*dest);
    // Until the record settles, p.dest is its own name.
    const Destination& base = p.dest;

    bool cardMissing = false;
    auto source = SourceOf(record, cardMissing);
    if (!source) {
        p.outcome = cardMissing ? BackupOutcome::Failed : BackupOutcome::Refused;
        if (cardMissing) {
            p.item.error = ENODEV;
            p.item.errorOnCard = true;
        }
        return Queue(std::move(p));
    }
    // A recorder may name one recording in several records: it is backed up
    // once, with the first of them.
    if (namesRecording)
        p.sourceKey = ignoreCase_ ? FoldLetterCase(source->native()) : source->native();
    if (namesRecording && !sources_.insert(p.sourceKey).second) {
        p.work = Work::Same;
        p.outcome = BackupOutcome::AlreadyHeld;
        return Queue(std::move(p));
    }
    // Nothing on the card or in the store is reached through a link (the
    // recording itself is looked at below, once). Folders are looked up by
    // their text: a path object per record made up much of a run that finds
    // everything held.
    if (const std::string_view cardFolder = FolderText(*source);
        readyCardFolders_.find(cardFolder) == readyCardFolders_.end()) {
        if (!LinkFree(cardRoot_, source->parent_path())) {
            if (!CardGone(p)) Fail(p, true);
            return Queue(std::move(p));
        }
        readyCardFolders_.emplace(cardFolder);
    }
    if (const std::string_view dayText = FolderText(base.path);
        readyDays_.find(dayText) == readyDays_.end()) {
        const fs::path day = base.path.parent_path();
        if (!LinkFree(options_.backupPath, day) || !files_.CreateDirectories(day) ||
            !LinkFree(options_.backupPath, day)) {
            Fail(p, false);
            return Queue(std::move(p));
        }
        readyDays_.emplace(dayText);
    }

    fs::path from = std::move(*source);
    FileProbe probe = namesRecording ? folders_.Probe(from) : FileProbe{};
    if (probe.kind != FileProbe::Kind::Regular && CardGone(p)) return Queue(std::move(p));
    if (probe.kind == FileProbe::Kind::Missing && namesRecording) {
        if (FieldText(record.cardPath).find(char16_t{0xFFFD}) != std::u16string::npos) {
            // The log's bytes for the name did not map to characters: the
            // recording is there under a name this path cannot spell.
            FailWith(p, true,
                     "the card's log names the recording in characters that cannot be read");
            return Queue(std::move(p));
        }
        fs::path other;
        if (!FindOtherCase(p, from, other)) return Queue(std::move(p));
        if (!other.empty()) {
            from = std::move(other);
            probe = files_.Probe(from);
        }
    }
    switch (probe.kind) {
        case FileProbe::Kind::Missing:
            ChooseMarker(p);
            return Queue(std::move(p));
        case FileProbe::Kind::NotRegular:
            if (probe.link) {
                Fail(p, true, ELOOP);
                return Queue(std::move(p));
            }
            FailWith(p, true, "the recording on the card is not a regular file");
            return Queue(std::move(p));
        case FileProbe::Kind::Error:
            Fail(p, true, probe.error);
            return Queue(std::move(p));
        case FileProbe::Kind::Regular:
            break;
    }
    p.source = std::move(from);
    p.sourceProbe = probe;
    const fs::path& src = p.source;
    const std::uint64_t sourceSize = probe.size;
    {
        // The card file's path is the card root's text and then its own.
        const std::string& text = src.native();
        if (text.size() > cardRootPrefix_.size() &&
            text.compare(0, cardRootPrefix_.size(), cardRootPrefix_) == 0) {
            const std::string_view rel = std::string_view(text).substr(cardRootPrefix_.size());
            p.cardKey = ignoreCase_ ? FoldLetterCase(std::string(rel)) : std::string(rel);
        } else {
            const std::string rel = src.lexically_relative(cardRoot_).generic_string();
            p.cardKey = ignoreCase_ ? FoldLetterCase(rel) : rel;
        }
    }
    if (const SeenFile* seen = Seen(base.yyyymm, p.cardKey);
        seen != nullptr && seen->size == sourceSize && seen->modifiedNs == probe.modifiedNs &&
        seen->changedNs == probe.changedNs) {
        // Nearly always the recording's own name, whose path is made already.
        const bool ownName = seen->storeKey == base.key;
        fs::path other =
            ownName ? fs::path() : fs::path(JoinText(storeRoot_.native(), seen->storeKey));
        const fs::path& at = ownName ? base.path : other;
        const FileProbe there = folders_.Probe(at);
        bool held = there.kind == FileProbe::Kind::Regular && there.size == sourceSize;
        if (held && options_.move) {
            const auto same = files_.SameContent(src, at);
            held = same.has_value() && *same;
        }
        if (held) {
            if (!ownName) {
                p.dest.key = std::string(seen->storeKey);
                p.dest.path = std::move(other);
            }
            return QueueHeld(std::move(p));
        }
    }

    // A copy already in the store under the recording's name or a variant
    // holding these very bytes is not copied again (the lock decides whether
    // it still needs its index entry).
    // The day folder is listed when the first record not found held by the
    // quick check needs it: a second run over an unchanged card lists none.
    auto listed = dayNames_.find(FolderText(base.path));
    if (listed == dayNames_.end()) {
        listed = dayNames_.emplace(std::string(FolderText(base.path)), DayNames{}).first;
        if (const auto names = files_.ListNames(base.path.parent_path())) {
            listed->second.listed = true;
            for (const auto& name : *names)
                listed->second.hashes.insert(std::hash<std::string_view>{}(name));
        }
    }
    const std::string_view baseName = std::string_view(base.key).substr(base.key.rfind('/') + 1);
    const bool absent = listed->second.listed &&
                        listed->second.hashes.count(std::hash<std::string_view>{}(baseName)) == 0;
    for (int variant = 1; variant <= kMaxNameVariants && !absent; ++variant) {
        Destination v = Variant(base, variant);
        const FileProbe there = folders_.Probe(v.path);
        if (there.kind == FileProbe::Kind::Missing) break;
        if (there.kind != FileProbe::Kind::Regular || there.size != sourceSize) continue;
        const auto same = files_.SameContent(src, v.path);
        if (!same) {
            Fail(p, false);
            return Queue(std::move(p));
        }
        if (*same) {
            p.dest = std::move(v);
            return QueueHeld(std::move(p));
        }
    }

    // Written under a name of this run's own, renamed once durable, so that a
    // final name never holds half a recording.
    RemoveStalePartials(base.path.parent_path());
    // The bytes are copied with the rest of the batch (CopyBatch).
    batchBytes_ += sourceSize;
    p.work = Work::Copy;
    p.outcome = options_.move ? BackupOutcome::Moved : BackupOutcome::Copied;
    p.addToList = true;
    p.removeSource = options_.move;
    Queue(std::move(p));
}

void BackupRun::RenameToOwnNames(const std::map<int, int>& lockErrors) {
    std::vector<Pending*> jobs;
    std::unordered_set<std::string_view> wanted;
    for (auto& p : batch_) {
        if (p.work != Work::Copy || p.outcome == BackupOutcome::Failed ||
            lockErrors.count(p.base.yyyymm) != 0)
            continue;
        // Taken in the index, or by a copy before it: NameCopy decides.
        if (!wanted.insert(p.base.key).second || Month(p.base.yyyymm).named.count(p.base.key) != 0)
            continue;
        jobs.push_back(&p);
    }
    const std::size_t workers = Workers(jobs.size());
    if (workers <= 1) return;  // NameCopy renames them as it goes
    // Their base paths were made by CopyBatch, before the threads.
    // A rename that does not replace takes a free name or fails; NameCopy
    // then looks at what holds the name, as for any other copy.
    OnWorkers(
        workers, jobs.size(), random_,
        [&](FileOps& files, std::mt19937_64&, std::size_t i) {
            Pending& p = *jobs[i];
            p.renamed = files.Rename(p.partial, p.base.path);
        },
        [] {});
}

void BackupRun::LetGoAfterStop() {
    const auto first =
        std::find_if(batch_.begin(), batch_.end(), [](const Pending& p) { return p.notCopied; });
    if (first == batch_.end()) return;
    // From the first copy not made on, the batch is let go in order, so that
    // what the run reports is a beginning of its records.
    for (auto it = first; it != batch_.end(); ++it)
        if (!it->partial.empty()) files_.Remove(it->partial);
    batch_.erase(first, batch_.end());
    cutShort_ = true;
    allHeld_ = false;
}

void BackupRun::CopyBatch() {
    std::vector<Pending*> jobs;
    for (auto& p : batch_)
        if (p.work == Work::Copy) jobs.push_back(&p);
    if (jobs.empty()) return;

    // A stop while the batch is copied lets the copies not yet begun go (a
    // batch may be a quarter of a gigabyte); one asked for before it began
    // lets the records already in hand finish, as ever. The copying threads
    // ask the token and the quit flag; a Cancel the reporter knows of is
    // passed on by this thread.
    const bool stoppedBefore = ShouldStop(stop_);
    std::atomic<bool> cancelled{false};
    const auto stopping = [&] {
        return !stoppedBefore &&
               (cancelled.load() || stop_.stop_requested() || state_.quitting.load() != 0);
    };
    // Each copy under a name of this run's own, tried again with another
    // random part if that name is taken.
    const auto copyOne = [&](FileOps& files, std::mt19937_64& random, Pending& p) {
        if (stopping()) {
            p.notCopied = true;
            return;
        }
        const fs::path& base = BasePath(p).path;
        for (int attempt = 0; attempt < 4; ++attempt) {
            p.partial = base;
            p.partial += partialTag_ + RandomTag(random);
            p.copied = files.CopyToNewFile(p.source, p.partial);
            if (p.copied || files.LastError() != EEXIST) break;
        }
        p.copyError = files.LastError();
        p.copiedBytes = files.LastCopiedBytes();
        p.digest = p.copied ? files.LastCopiedDigest() : std::nullopt;
    };
    // The progress moves as the copies are made, in the order of the records.
    std::vector<std::atomic<bool>> done(jobs.size());
    std::size_t reported = 0;
    const auto report = [&] {
        for (; reported < jobs.size() && done[reported].load(); ++reported)
            if (!jobs[reported]->notCopied) ReportStep(*jobs[reported]);
        if (!stoppedBefore && ShouldStop(stop_)) cancelled.store(true);
    };
    for (Pending* p : jobs)
        BasePath(*p);  // made here: the threads share the records
    if (const std::size_t workers = Workers(jobs.size()); workers <= 1) {
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            copyOne(files_, random_, *jobs[i]);
            done[i].store(true);
            report();
        }
    } else {
        OnWorkers(
            workers, jobs.size(), random_,
            [&](FileOps& files, std::mt19937_64& random, std::size_t i) {
                copyOne(files, random, *jobs[i]);
                done[i].store(true);
            },
            report);
    }

    for (Pending* pp : jobs) {
        Pending& p = *pp;
        if (p.notCopied) continue;  // let go below
        if (p.copied && p.copiedBytes == p.sourceProbe.size) continue;
        const bool cardSide = p.copied || files_.Probe(p.source).kind != FileProbe::Kind::Regular;
        Fail(p, cardSide, p.copied ? EIO : p.copyError);  // EIO: the source changed while read
        if (p.copied || p.copyError != EEXIST) files_.Remove(p.partial);
        p.partial.clear();
        p.work = Work::None;
        p.digest.reset();
    }
    LetGoAfterStop();
}

fs::path BackupRun::CardFilesPath(int yyyymm) const {
    return storeRoot_ / "CallLog" / (std::to_string(yyyymm) + kCardFilesSuffix);
}

const SeenFile* BackupRun::Seen(int yyyymm, const std::string& cardKey) {
    auto it = seen_.find(yyyymm);
    if (it == seen_.end()) {
        it = seen_.try_emplace(yyyymm).first;
        SeenMonth& m = it->second;
        const fs::path path = CardFilesPath(yyyymm);
        const std::string month = std::to_string(yyyymm) + "/";
        if (files_.ReachedWithoutLinks(options_.backupPath, path)) {
            if (auto bytes = files_.ReadFrom(path, 0)) m.text = std::move(*bytes);
        }
        const std::string_view text(reinterpret_cast<const char*>(m.text.data()), m.text.size());
        m.facts.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
        std::size_t pos = 0;
        for (std::size_t end; (end = text.find('\n', pos)) != std::string_view::npos;
             pos = end + 1) {
            std::string_view f[5];
            std::size_t fields = 0;
            for (std::size_t a = pos, tab; a <= end; a = tab + 1) {
                tab = text.find('\t', a);
                if (tab == std::string_view::npos || tab > end) tab = end;
                if (fields < 5) f[fields] = text.substr(a, tab - a);
                ++fields;
            }
            // A store key names a file of this month's folders and nothing else.
            if (fields != 5 || !f[3].starts_with(month) ||
                f[3].find("..") != std::string_view::npos ||
                std::count(f[3].begin(), f[3].end(), '/') != 2)
                continue;
            m.facts[f[4]] = {NumberOf<std::uint64_t>(f[0]), NumberOf<std::int64_t>(f[1]),
                             NumberOf<std::int64_t>(f[2]), f[3]};
        }
    }
    const auto found = it->second.facts.find(cardKey);
    return found != it->second.facts.end() ? &found->second : nullptr;
}

void BackupRun::RememberCardFiles(int yyyymm, const std::vector<Pending*>& done) {
    std::string lines;
    for (const Pending* p : done) {
        const FileProbe& f = p->sourceProbe;
        if (HasLineBreakOrTab(p->cardKey) || HasLineBreakOrTab(p->dest.key)) continue;
        if (const SeenFile* seen = Seen(yyyymm, p->cardKey);
            seen != nullptr && seen->size == f.size && seen->modifiedNs == f.modifiedNs &&
            seen->changedNs == f.changedNs && seen->storeKey == p->dest.key)
            continue;
        lines += std::to_string(f.size) + "\t" + std::to_string(f.modifiedNs) + "\t" +
                 std::to_string(f.changedNs) + "\t" + p->dest.key + "\t" + p->cardKey + "\n";
        SeenMonth& m = seen_[yyyymm];
        const std::string_view cardKey = m.added.emplace_back(p->cardKey);
        const std::string_view storeKey = m.added.emplace_back(p->dest.key);
        m.facts[cardKey] = {f.size, f.modifiedNs, f.changedNs, storeKey};
    }
    if (lines.empty()) return;
    const fs::path path = CardFilesPath(yyyymm);
    if (!files_.ReachedWithoutLinks(options_.backupPath, path)) return;
    // A cache: a failed write costs the next run a content check, nothing more.
    [[maybe_unused]] const bool written = files_.AppendBytes(
        path, ByteSpan(reinterpret_cast<const std::uint8_t*>(lines.data()), lines.size()));
}

MonthIndex& BackupRun::Month(int yyyymm) {
    return months_[yyyymm];
}

void BackupRun::ReadNewEntries(int yyyymm) {
    MonthIndex& m = Month(yyyymm);
    const fs::path index = MonthIndexPath(options_.backupPath, options_.devType, yyyymm);
    const auto bytes = files_.ReadFrom(index, m.readBytes);
    if (!bytes) return;
    std::uint64_t position = m.readBytes / CallRecord::kSize;
    m.named.reserve(m.named.size() + bytes->size() / CallRecord::kSize);
    std::size_t off = 0;
    for (; off + CallRecord::kSize <= bytes->size(); off += CallRecord::kSize, ++position) {
        // Only the path and the in-use byte matter here: read those alone.
        const ByteSpan image(bytes->data() + off, CallRecord::kSize);
        auto& live = m.named[StoreKeyOfUnits(CallRecord::FilePathTextOf(image))];
        if (CallRecord::IsLiveImage(image)) live.push_back(position);
    }
    m.readBytes += off;
}

bool BackupRun::AppendChecksums(int yyyymm, const std::vector<Pending*>& entries) {
    std::string lines;
    for (const Pending* p : entries)
        if (p->work == Work::Copy && p->digest)
            lines += FormatChecksumLine(DigestHex(*p->digest), p->dest.key, yyyymm);
    if (lines.empty()) return false;
    const fs::path path = ChecksumFilePath(storeRoot_, yyyymm);
    if (!files_.ReachedWithoutLinks(options_.backupPath, path)) return false;
    // Only ever a plain file: a FIFO or a device in its place is left alone.
    const auto kind = files_.Probe(path).kind;
    if (kind != FileProbe::Kind::Regular && kind != FileProbe::Kind::Missing) return false;
    bool clean = true;
    if (const auto size = files_.FileSize(path); size && *size > 0) {
        const auto last = files_.ReadFrom(path, *size - 1);
        clean = last && !last->empty() && last->back() == '\n';
    }
    // A missing line only leaves that copy unproven; verify --repair adds it.
    const std::string text = ChecksumAppendText(lines, clean);
    return files_.AppendBytes(
        path, ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void BackupRun::NoteIndexed(int yyyymm, const std::string& key, std::optional<std::uint64_t> at) {
    MonthIndex& m = Month(yyyymm);
    auto& live = m.named[key];
    if (at) live.push_back(*at);
}

// Under the month's lock: the first name that holds no other file and no
// index entry takes the copy; a name holding the same bytes means another run
// got there first.
void BackupRun::NameCopy(Pending& p) {
    MonthIndex& m = Month(p.base.yyyymm);
    for (int variant = 1; variant <= kMaxNameVariants; ++variant) {
        const Destination v = Variant(BasePath(p), variant);
        // The rename never replaces, so it is tried first: the name is looked
        // at only when it is taken.
        if (m.named.count(v.key) == 0) {
            if (files_.Rename(p.partial, v.path)) {
                p.dest = v;
                p.partial.clear();
                p.index = true;
                return;
            }
            if (files_.LastError() != EEXIST) {
                Fail(p, false);
                files_.Remove(p.partial);
                p.partial.clear();
                return;
            }
        }
        const FileProbe there = files_.Probe(v.path);
        if (there.kind == FileProbe::Kind::Missing) continue;  // an entry whose copy is gone
        if (there.kind != FileProbe::Kind::Regular) continue;
        const auto same = files_.SameContent(p.partial, v.path);
        if (!same) {
            Fail(p, false);
            files_.Remove(p.partial);
            p.partial.clear();
            return;
        }
        if (*same) {
            files_.Remove(p.partial);
            p.partial.clear();
            p.dest = v;
            p.work = Work::Held;
            p.outcome = BackupOutcome::AlreadyHeld;
            p.addToList = false;
            p.index = m.named.count(v.key) == 0;
            return;
        }
    }
    Fail(p, false, EEXIST);
    files_.Remove(p.partial);
    p.partial.clear();
}

void BackupRun::Flush() {
    if (batch_.empty()) return;

    // 1. The copies' bytes, all at once, before any lock is taken.
    CopyBatch();
    std::vector<fs::path> partials;
    for (const auto& p : batch_)
        if (p.work == Work::Copy && p.outcome != BackupOutcome::Failed)
            partials.push_back(p.partial);
    if (!partials.empty() && !files_.Sync(partials)) {
        for (auto& p : batch_)
            if (p.work == Work::Copy && !p.partial.empty()) {
                Fail(p, false);
                files_.Remove(p.partial);
                p.partial.clear();
            }
    }

    // 2. The locks of the month files this batch touches, in ascending order.
    std::map<int, std::optional<IndexLock>> locks;
    for (const auto& p : batch_)
        if (p.work != Work::None && p.work != Work::Same && p.outcome != BackupOutcome::Failed)
            locks[p.base.yyyymm];
    std::map<int, int> lockErrors;
    for (auto& [yyyymm, lock] : locks) {
        const fs::path index = MonthIndexPath(options_.backupPath, options_.devType, yyyymm);
        if (!files_.ReachedWithoutLinks(options_.backupPath, index)) {
            lockErrors[yyyymm] = files_.LastError();
            continue;
        }
        lock = files_.LockIndex(index);
        if (!lock) {
            lockErrors[yyyymm] = files_.LastError();
            continue;
        }
        ReadNewEntries(yyyymm);
    }

    RenameToOwnNames(lockErrors);
    // 3. Names and index decisions, against what the other runs did.
    // Gathered by their text: no path object per copy, compared part by part.
    std::set<std::string_view> folders;
    for (auto& p : batch_) {
        if (p.work == Work::None || p.work == Work::Same || p.outcome == BackupOutcome::Failed)
            continue;
        if (const auto e = lockErrors.find(p.base.yyyymm); e != lockErrors.end()) {
            if (!p.partial.empty()) files_.Remove(p.partial);
            p.partial.clear();
            Fail(p, false, e->second);
            continue;
        }
        if (p.work == Work::Copy) {
            if (p.renamed) {
                p.dest = BasePath(p);
                p.partial.clear();
                p.index = true;
            } else {
                NameCopy(p);
            }
            if (p.outcome == BackupOutcome::Failed) continue;
            folders.insert(FolderText(p.dest.path));
        } else {
            // The marker of a recording the log names gives way to the
            // recording itself once that is indexed.
            const MonthIndex& m = Month(p.base.yyyymm);
            const bool marker = p.dest.key == p.base.key + kMarkerSuffix;
            const bool realNamed = marker && !p.sourceKey.empty() && m.named.count(p.base.key) != 0;
            p.index = !realNamed && m.named.count(p.dest.key) == 0;
            // Held copies that get an index entry or let the card go: an
            // earlier run may have ended between their rename and its sync.
            if (p.index || p.removeSource) folders.insert(FolderText(p.dest.path));
        }
        if (p.index) NoteIndexed(p.dest.yyyymm, p.dest.key, std::nullopt);
    }
    // Their final names, durable before any index names them.
    std::vector<fs::path> folderPaths(folders.begin(), folders.end());
    if (!folderPaths.empty() && !files_.Sync(folderPaths)) {
        // Renamed but perhaps not durable: not indexed, the card keeps them, and
        // the next run finds them held and indexes them.
        for (auto& p : batch_)
            if (p.work == Work::Copy || p.index) Fail(p, false);
    }

    // 4. One write per month file, then one sync for all of them.
    std::map<int, std::vector<Pending*>> months;
    for (auto& p : batch_)
        if (p.index && p.outcome != BackupOutcome::Failed) months[p.dest.yyyymm].push_back(&p);
    std::vector<Pending*> appended;
    std::vector<fs::path> indexes;
    std::vector<fs::path> replacedMarkers;
    for (auto& [yyyymm, entries] : months) {
        const fs::path index = MonthIndexPath(options_.backupPath, options_.devType, yyyymm);
        MonthIndex& m = Month(yyyymm);
        std::vector<CallRecord> copies;
        std::vector<std::uint8_t> bytes;
        bytes.reserve(entries.size() * CallRecord::kSize);
        // A recording that now takes the place of its marker: the marker's
        // entry is deleted in place first, so that no reader lists both.
        bool markersCleared = false;
        for (Pending* p : entries) {
            CallRecord copy = *p->record;
            SetFieldText(copy.filePath, FromUtf8(p->dest.path.string()));
            const auto raw = copy.ToBytes();
            bytes.insert(bytes.end(), raw.begin(), raw.end());
            copies.push_back(copy);
            if (p->work == Work::Marker) continue;
            const auto marker = m.named.find(p->base.key + kMarkerSuffix);
            if (marker == m.named.end() || marker->second.empty()) continue;
            std::uint8_t dead[5] = {};
            for (const std::uint64_t at : marker->second) {
                const std::uint64_t base = at * CallRecord::kSize;
                if (files_.WriteInPlace(index, base + CallRecord::kInUseOffset,
                                        ByteSpan(dead, 4)) &&
                    files_.WriteInPlace(
                        index, base + CallRecord::kCardBytesOffset + CallRecord::kCardInUseByte,
                        ByteSpan(dead, 1)))
                    markersCleared = true;
            }
            replacedMarkers.push_back(BasePath(*p).path.string() + kMarkerSuffix);
            marker->second.clear();
        }
        if (markersCleared) files_.Sync({index});
        const auto first = files_.AppendRecords(index, ByteSpan(bytes.data(), bytes.size()),
                                                CallRecord::kSize, false);
        const int appendError = files_.LastError();
        if (first) {
            m.readBytes = (*first + entries.size()) * CallRecord::kSize;
            indexes.push_back(index);
            if (AppendChecksums(yyyymm, entries))
                indexes.push_back(ChecksumFilePath(storeRoot_, yyyymm));
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            Pending& p = *entries[i];
            if (first) {
                // The in-place delete and mark find the entry by this position.
                copies[i].index = static_cast<std::int32_t>(*first + i);
                p.item.indexed = true;
                m.named[p.dest.key].push_back(*first + i);
                appended.push_back(&p);
            }
            if (first || p.addToList)
                state_.records.Append(RecordListId::Backup,
                                      std::make_unique<CallRecord>(copies[i]));
            if (!first) {
                ++result_.indexWriteFailures;
                // Not listed: this record is not backed up, whatever its copy.
                Fail(p, false, appendError);
            }
        }
    }
    if (!indexes.empty()) indexes.push_back(indexes.front().parent_path());  // new month files
    if (!appended.empty() && !files_.Sync(indexes)) {
        const int error = files_.LastError();
        for (Pending* p : appended) {
            p->item.indexed = false;
            Fail(*p, false, error);
        }
    }
    // What the card files looked like, for the next run's quick check.
    std::map<int, std::vector<Pending*>> seenNow;
    for (auto& p : batch_) {
        const bool named = p.item.indexed || (p.work == Work::Held && !p.index);
        if (!p.source.empty() && !p.cardKey.empty() && p.outcome != BackupOutcome::Failed &&
            named && locks.count(p.base.yyyymm) != 0 && locks[p.base.yyyymm].has_value())
            seenNow[p.base.yyyymm].push_back(&p);
    }
    for (const auto& [yyyymm, done] : seenNow)
        RememberCardFiles(yyyymm, done);
    // Entries seen under the locks are durable (their writers synced before
    // letting go), so held copies named by them may let the card go.
    locks.clear();
    for (const auto& marker : replacedMarkers)
        files_.Remove(marker);

    // 5. Only now may the card let go of what the store holds.
    for (auto& p : batch_) {
        const bool held =
            p.outcome != BackupOutcome::Failed && (p.work == Work::Held || p.work == Work::Marker);
        if (held && !p.index) p.item.indexed = true;  // named by an earlier (or another) run
        if (held && p.work == Work::Held && p.index && p.item.indexed) ++result_.reIndexed;
        if (!p.removeSource || !p.item.indexed || p.source.empty()) continue;
        const bool plain = LinkFree(cardRoot_, p.source);
        // Gone already: another run of this card moved it, after indexing it.
        p.item.sourceDeleted = plain && (files_.Remove(p.source) || files_.LastError() == ENOENT);
        if (!p.item.sourceDeleted) {
            ++result_.cardNotCleared;
            if (result_.cardClearReason.empty())
                result_.cardClearReason = BackupErrorText(files_.LastError(), true);
        }
    }

    for (auto& p : batch_)
        Finish(p);
    batch_.clear();
    batchBytes_ = 0;
}

void BackupRun::Finish(Pending& p) {
    BackupItem& item = p.item;
    // The item names the copy the record ended with (empty when refused
    // before one was known).
    item.destination = std::move(p.dest.path);
    if (p.work == Work::Same) {
        // As its first record fared: held once that one is safe.
        const auto first = firstItem_.find(p.sourceKey);
        const BackupItem* f = first != firstItem_.end() ? &result_.items[first->second] : nullptr;
        const bool safe = f != nullptr && f->outcome != BackupOutcome::Failed &&
                          f->outcome != BackupOutcome::Refused && f->indexed;
        if (safe) {
            p.outcome = BackupOutcome::AlreadyHeld;
            item.indexed = true;
            item.destination = f->destination;
            item.sourceDeleted = f->sourceDeleted;
        } else {
            p.outcome = BackupOutcome::Failed;
            item.error = f != nullptr && f->error != 0 ? f->error : EIO;
            item.errorOnCard = f != nullptr && f->errorOnCard;
            item.reason = f != nullptr ? f->reason : std::string();
        }
    } else if (!p.sourceKey.empty()) {
        firstItem_.emplace(p.sourceKey, result_.items.size());
    }
    item.outcome = p.outcome;
    switch (p.outcome) {
        case BackupOutcome::AlreadyHeld:
            ++result_.skipped;
            break;
        case BackupOutcome::Failed:
        case BackupOutcome::Refused:
            ++result_.failed;
            allHeld_ = false;
            if (result_.failureReason.empty()) {
                result_.failureReason = !item.reason.empty()
                                            ? item.reason
                                            : BackupErrorText(item.error, item.errorOnCard);
            }
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
        case ENOTDIR:
            return onCard ? "a card path is not a folder" : "a store path is not a folder";
        case ENOTCONN:
        case ENODEV:
        case ENXIO:
        case ESHUTDOWN:
            return onCard ? "the card's device is gone" : "the store's device is gone";
        case EEXIST:
            return "too many other recordings under the same name in the store";
        case ELOOP:
            return onCard ? "a card path is a symbolic link" : "a store path is a symbolic link";
        default:
            return std::string(onCard ? "card: " : "store: ") + FileErrorText(error);
    }
}

bool IsPartialName(const std::string& fileName) {
    const std::size_t at = fileName.rfind(kPartialSuffix);
    if (at == std::string::npos) return false;
    const std::size_t end = at + sizeof(kPartialSuffix) - 1;
    return end == fileName.size() || fileName[end] == '-';
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
                             ProgressReporter& progress, std::stop_token stop) {
    BackupRun run(state, options, progress, stop);
    if (!run.Start()) return run.Result();
    const int range = static_cast<int>(state.records.Card().size());
    progress.Begin(range);

    std::size_t position = 0;
    bool stopped = false;
    for (; position < state.records.Card().size(); ++position) {
        if (run.ShouldStop(stop)) {
            stopped = true;
            break;
        }
        if (CallRecord* record = state.records.Card()[position].get())
            run.Process(*record, position, range);
    }
    run.Flush();
    BackupResult& result = run.Result();
    result.reachedEnd = !stopped && !run.CutShort();

    // The call log goes only when every recording it names is safe in the
    // store: a stopped run or a failed move keeps it, with its entries.
    if (options.move && result.reachedEnd && run.AllHeld() && result.cardNotCleared == 0 &&
        !state.cardLogPath.empty())
        result.cardLogDeleted = run.Files().Remove(state.cardLogPath);
    return std::move(result);
}

BackupResult BackupSelectedThread(RecorderState& state, std::span<CallRecord* const> selected,
                                  const BackupOptions& options, ProgressReporter& progress,
                                  std::stop_token stop) {
    BackupRun run(state, options, progress, stop);
    if (!run.Start()) return run.Result();
    const int range = static_cast<int>(selected.size());
    progress.Begin(range);

    bool stopped = false;
    for (std::size_t position = 0; position < selected.size(); ++position) {
        if (run.ShouldStop(stop)) {
            stopped = true;
            break;
        }
        if (CallRecord* record = selected[position]) run.Process(*record, position, range);
    }
    run.Flush();
    run.Result().reachedEnd = !stopped && !run.CutShort();
    return std::move(run.Result());
}

}  // namespace lk
