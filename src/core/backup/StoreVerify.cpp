#include "backup/StoreVerify.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include "backup/AuditTrail.h"
#include "backup/BackupEngine.h"
#include "backup/ImportRecords.h"
#include "backup/StoreChecksums.h"
#include "card/BackupStore.h"
#include "card/CallRecord.h"
#include "platform/RootedPath.h"
#include "platform/Sha256.h"
#include "platform/TextCodec.h"
#include "platform/Xxh128.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kReadBuffer = 1 << 20;

bool EndsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

bool IsMarkerKey(std::string_view key) {
    return EndsWith(key, kMarkerSuffix);
}

// All bytes of a regular file below `root`, reached without a link.
std::optional<std::vector<std::uint8_t>> ReadStoreFile(const fs::path& root, const fs::path& path,
                                                       int& error, bool& notRegular) {
    error = 0;
    notRegular = false;
    RegularFileOpen file = OpenRegularWithoutLinks(root, path, O_RDONLY);
    if (!file.Ok()) {
        error = file.error;
        notRegular = file.error == 0 || file.error == ELOOP;
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buf(1 << 16);
    for (;;) {
        const ssize_t n = ::read(file.file.Get(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            return std::nullopt;
        }
        if (n == 0) return out;
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
}

// A recording's checksums as hex: XXH128 always, SHA-256 only where an older
// backup recorded one for it.
struct FileDigests {
    std::string xxh128;
    std::string sha256;
};

// What a month's checksum file of one kind recorded.
struct RecordedSums {
    ChecksumKind kind = kBackupChecksum;
    fs::path path;
    std::string name;  // "CallLog/..."
    ChecksumFileText text;
    bool writable = false;  // missing, or a regular file read whole
};

struct Entry {
    std::uint64_t position = 0;
    std::string key;
    bool live = false;
};

class VerifyRun {
  public:
    VerifyRun(const VerifyOptions& options, ProgressReporter& progress, std::stop_token stop)
        : options_(options),
          progress_(progress),
          stop_(std::move(stop)),
          files_(options.files != nullptr ? *options.files : ownFiles_),
          storeRoot_(StoreRoot(options.backupPath, options.devType)),
          buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(kReadBuffer)) {}

    VerifyResult Run();

  private:
    bool Stopped() const { return ShouldStop(stop_, progress_); }
    void Problem(StoreProblemKind kind, int yyyymm, std::string file, std::int64_t entry = -1,
                 std::string detail = {}) {
        result_.problems.push_back({kind, yyyymm, std::move(file), entry, std::move(detail)});
    }
    // The checksums of a store file opened link-free (SHA-256 only when
    // `sha256`); nullopt with the problem noted.
    std::optional<FileDigests> HashFile(int yyyymm, const std::string& key, std::int64_t entry,
                                        bool sha256);
    RecordedSums ReadSums(int yyyymm, ChecksumKind kind);
    void CheckMonth(int yyyymm);
    std::vector<int> Months() const;

    const VerifyOptions& options_;
    ProgressReporter& progress_;
    const std::stop_token stop_;
    RealFileOps ownFiles_;  // the run's own: its last error is never another's
    FileOps& files_;
    const fs::path storeRoot_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    VerifyResult result_;
};

std::vector<int> VerifyRun::Months() const {
    std::set<int> months;
    for (const int m : ListBackupMonths(options_.backupPath, options_.devType))
        if (m >= 100000 && m <= 999999) months.insert(m);
    // Month folders without an index file may hold orphans too.
    std::error_code ec;
    for (fs::directory_iterator it(storeRoot_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != 6 ||
            !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        std::error_code sec;
        if (it->symlink_status(sec).type() == fs::file_type::directory)
            months.insert(std::stoi(name));
    }
    return {months.begin(), months.end()};
}

std::optional<FileDigests> VerifyRun::HashFile(int yyyymm, const std::string& key,
                                               std::int64_t entry, bool sha256) {
    const auto rooted = RootedPath::Resolve(storeRoot_, FromUtf8(key));
    if (!rooted.path) {
        Problem(StoreProblemKind::UnsafePath, yyyymm, key, entry, rooted.reason);
        return std::nullopt;
    }
    RegularFileOpen file = rooted.path->Open(O_RDONLY);
    if (!file.Ok()) {
        if (file.error == ENOENT)
            Problem(StoreProblemKind::MissingFile, yyyymm, key, entry);
        else if (file.error == 0 || file.error == ELOOP)
            Problem(StoreProblemKind::NotRegularFile, yyyymm, key, entry,
                    file.error == ELOOP ? "a symbolic link" : kNotARegularFile);
        else
            Problem(StoreProblemKind::Unreadable, yyyymm, key, entry, FileErrorText(file.error));
        return std::nullopt;
    }
    ::posix_fadvise(file.file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    thread_local Xxh128 xxh;
    std::optional<Sha256> sha;
    if (sha256) sha.emplace();
    for (;;) {
        const ssize_t n = ::read(file.file.Get(), buffer_.get(), kReadBuffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Problem(StoreProblemKind::Unreadable, yyyymm, key, entry, FileErrorText(errno));
            xxh.Finish();  // the next file starts from nothing
            return std::nullopt;
        }
        if (n == 0) break;
        const ByteSpan bytes(buffer_.get(), static_cast<std::size_t>(n));
        xxh.Update(bytes);
        if (sha) sha->Update(bytes);
        result_.bytesRead += static_cast<std::uint64_t>(n);
    }
    ++result_.filesChecked;
    FileDigests out;
    out.xxh128 = DigestHex(xxh.Finish());
    if (sha) out.sha256 = DigestHex(sha->Finish());
    return out;
}

RecordedSums VerifyRun::ReadSums(int yyyymm, ChecksumKind kind) {
    RecordedSums sums;
    sums.kind = kind;
    sums.path = ChecksumFilePath(storeRoot_, yyyymm, kind);
    sums.name = "CallLog/" + sums.path.filename().string();
    const FileProbe probe = files_.Probe(sums.path);
    sums.writable = probe.kind == FileProbe::Kind::Missing;
    if (probe.kind == FileProbe::Kind::Missing) return sums;
    int error = 0;
    bool notRegular = false;
    const auto bytes = ReadStoreFile(options_.backupPath, sums.path, error, notRegular);
    if (bytes) {
        sums.writable = true;
        sums.text = ParseChecksumFile(
            std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), yyyymm,
            kind);
    } else {
        Problem(StoreProblemKind::ChecksumFileDamaged, yyyymm, sums.name, -1,
                notRegular ? kNotARegularFile : FileErrorText(error));
    }
    // Lines cut off by a crash, or naming files elsewhere, are skipped: they
    // prove nothing and steer nothing.
    result_.damagedChecksumLines += sums.text.badLines;
    for (const auto& key : sums.text.conflicting)
        Problem(StoreProblemKind::ChecksumFileDamaged, yyyymm, sums.name, -1,
                "two checksums for " + key);
    return sums;
}

void VerifyRun::CheckMonth(int yyyymm) {
    const fs::path index = MonthIndexPath(options_.backupPath, options_.devType, yyyymm);
    const std::string indexName = "CallLog/" + index.filename().string();
    const bool repair = options_.repair;

    // The lock is taken where an index is there (or repair may make one):
    // checking never creates files.
    std::optional<IndexLock> lock;
    const FileProbe indexProbe = files_.Probe(index);
    if (!files_.ReachedWithoutLinks(options_.backupPath, index)) {
        Problem(StoreProblemKind::NotRegularFile, yyyymm, indexName, -1, "a symbolic link");
        return;
    }
    if (indexProbe.kind == FileProbe::Kind::Regular || repair) {
        lock = files_.LockIndex(index);
        if (!lock) {
            Problem(StoreProblemKind::Unreadable, yyyymm, indexName, -1,
                    std::string("cannot be locked: ") + FileErrorText(files_.LastError()));
            return;
        }
    }

    // 1. The index, whole records.
    std::vector<Entry> entries;
    std::uint64_t indexSize = 0;
    if (indexProbe.kind != FileProbe::Kind::Missing) {
        int error = 0;
        bool notRegular = false;
        const auto bytes = ReadStoreFile(options_.backupPath, index, error, notRegular);
        if (!bytes) {
            Problem(notRegular ? StoreProblemKind::NotRegularFile : StoreProblemKind::Unreadable,
                    yyyymm, indexName, -1, notRegular ? kNotARegularFile : FileErrorText(error));
            return;
        }
        indexSize = bytes->size();
        for (std::size_t off = 0; off + CallRecord::kSize <= bytes->size();
             off += CallRecord::kSize) {
            const auto r = CallRecord::FromBytes(ByteSpan(bytes->data() + off, CallRecord::kSize));
            entries.push_back(
                {off / CallRecord::kSize, StoreKeyOf(ToUtf8(FieldText(r.filePath))), r.IsLive()});
        }
    }
    std::vector<AuditEvent> audit;
    bool indexWritten = false;
    if (indexSize % CallRecord::kSize != 0) {
        Problem(
            StoreProblemKind::PartialRecord, yyyymm, indexName,
            static_cast<std::int64_t>(indexSize / CallRecord::kSize),
            std::to_string(indexSize % CallRecord::kSize) + " bytes past the last whole record");
        if (repair) {
            // Completed with zeros it reads as a deleted record; nothing is cut.
            const std::vector<std::uint8_t> zeros(CallRecord::kSize -
                                                  indexSize % CallRecord::kSize);
            if (files_.WriteInPlace(index, indexSize, ByteSpan(zeros.data(), zeros.size()))) {
                result_.problems.back().repaired = indexWritten = true;
                indexSize += zeros.size();
                audit.push_back({"completed index record", options_.devType, indexName, {}});
            }
        }
    }

    // 2. The checksums recorded for this month: new copies' and older ones'.
    const RecordedSums sums = ReadSums(yyyymm, kBackupChecksum);
    const RecordedSums older = ReadSums(yyyymm, ChecksumKind::Sha256);
    const auto recordedAny = [&](const std::string& key) {
        return sums.text.digests.count(key) != 0 || older.text.digests.count(key) != 0;
    };

    // 3. Every live entry.
    std::unordered_map<std::string, std::uint64_t> firstLive;
    std::set<std::string> named;
    std::vector<std::uint64_t> drop;
    std::string newLines;
    for (const Entry& e : entries)
        named.insert(e.key);
    for (const Entry& e : entries) {
        if (!e.live) continue;
        if (Stopped()) {
            result_.stopped = true;
            break;
        }
        ++result_.liveEntries;
        const auto pos = static_cast<std::int64_t>(e.position);
        if (!IsMonthStoreKey(e.key, yyyymm)) {
            Problem(StoreProblemKind::UnsafePath, yyyymm, e.key, pos,
                    "not a file of this month's folders");
            continue;
        }
        if (!firstLive.emplace(e.key, e.position).second) {
            Problem(StoreProblemKind::DuplicateEntry, yyyymm, e.key, pos,
                    "also entry " + std::to_string(firstLive[e.key]));
            if (repair) drop.push_back(e.position);
            continue;
        }
        if (IsMarkerKey(e.key)) {
            // A marker is empty by design: only its presence is checked.
            const std::string recording = e.key.substr(0, e.key.size() - 4);
            const bool recordingLive =
                std::any_of(entries.begin(), entries.end(),
                            [&](const Entry& o) { return o.live && o.key == recording; });
            if (recordingLive) {
                Problem(StoreProblemKind::MarkerBesideRecording, yyyymm, e.key, pos);
                if (repair) drop.push_back(e.position);
                continue;
            }
            const auto rooted = RootedPath::Resolve(storeRoot_, FromUtf8(e.key));
            const FileProbe probe = rooted.path ? files_.Probe(rooted.path->Full()) : FileProbe{};
            if (probe.kind == FileProbe::Kind::Missing)
                Problem(StoreProblemKind::MissingFile, yyyymm, e.key, pos);
            else if (probe.kind != FileProbe::Kind::Regular ||
                     !files_.ReachedWithoutLinks(storeRoot_, rooted.path->Full()))
                Problem(StoreProblemKind::NotRegularFile, yyyymm, e.key, pos, kNotARegularFile);
            continue;
        }
        const auto wantOlder = older.text.digests.find(e.key);
        const auto digest = HashFile(yyyymm, e.key, pos, wantOlder != older.text.digests.end());
        if (!digest) continue;
        const auto want = sums.text.digests.find(e.key);
        if (want == sums.text.digests.end() && wantOlder == older.text.digests.end()) {
            ++result_.withoutChecksum;
            if (repair && sums.writable) {
                newLines += FormatChecksumLine(digest->xxh128, e.key, yyyymm);
                ++result_.checksumsWritten;
            }
            continue;
        }
        // Every checksum recorded must hold: either file may be the one that
        // caught the damage.
        bool matched = true;
        if (want != sums.text.digests.end() && want->second != digest->xxh128) {
            matched = false;
            Problem(StoreProblemKind::ChecksumMismatch, yyyymm, e.key, pos,
                    "recorded " + want->second + ", read " + digest->xxh128);
        }
        if (wantOlder != older.text.digests.end() && wantOlder->second != digest->sha256) {
            matched = false;
            Problem(StoreProblemKind::ChecksumMismatch, yyyymm, e.key, pos,
                    "recorded SHA-256 " + wantOlder->second + ", read " + digest->sha256);
        }
        if (matched) ++result_.checksumsMatched;
    }

    // 4. Recordings in the month's folders that no entry names.
    std::vector<std::uint8_t> adopted;
    std::vector<std::string> adoptedKeys;
    const std::string month = std::to_string(yyyymm);
    std::error_code ec;
    std::vector<std::string> days;
    if (files_.ReachedWithoutLinks(storeRoot_, storeRoot_ / month))
        for (fs::directory_iterator it(storeRoot_ / month, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code sec;
            const std::string name = it->path().filename().string();
            if (it->symlink_status(sec).type() == fs::file_type::directory &&
                IsMonthStoreKey(month + "/" + name + "/x", yyyymm))
                days.push_back(name);
        }
    std::sort(days.begin(), days.end());
    for (const std::string& day : days) {
        std::vector<std::string> names;
        std::error_code dec;
        for (fs::directory_iterator it(storeRoot_ / month / day, dec), end; !dec && it != end;
             it.increment(dec)) {
            std::error_code sec;
            if (it->symlink_status(sec).type() != fs::file_type::regular) continue;
            names.push_back(it->path().filename().string());
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string key = month + "/" + day + "/" + name;
            // A marker stands for a call without a recording: adopted as well.
            if (named.count(key) != 0 || IsPartialName(name) ||
                !IsRecordingCandidate(FromUtf8(name)) || !IsMonthStoreKey(key, yyyymm))
                continue;
            if (Stopped()) {
                result_.stopped = true;
                break;
            }
            Problem(StoreProblemKind::Orphan, yyyymm, key);
            if (!repair) continue;
            // Built from its name as an import builds it, and live in the index.
            auto record = BuildImportRecord(storeRoot_ / month / day / name, {});
            if (!record || record->time.year * 100 + record->time.month != yyyymm) {
                result_.problems.back().detail = "its name does not read as a recording's";
                continue;
            }
            const bool marker = IsMarkerKey(key);
            const auto digest = marker ? std::nullopt : HashFile(yyyymm, key, -1, false);
            if (!marker && !digest) continue;
            record->cardBytes[CallRecord::kCardInUseByte] = 1;
            const auto raw = record->ToBytes();
            adopted.insert(adopted.end(), raw.begin(), raw.end());
            adoptedKeys.push_back(key);
            if (digest && sums.writable && !recordedAny(key)) {
                newLines += FormatChecksumLine(digest->xxh128, key, yyyymm);
                ++result_.checksumsWritten;
            }
        }
    }

    // 5. The repairs, durable before the lock goes.
    if (repair) {
        bool dropped = false;
        for (const std::uint64_t position : drop) {
            const std::uint8_t dead[4] = {};
            const std::uint64_t base = position * CallRecord::kSize;
            if (files_.WriteInPlace(index, base + CallRecord::kInUseOffset, ByteSpan(dead, 4)) &&
                files_.WriteInPlace(
                    index, base + CallRecord::kCardBytesOffset + CallRecord::kCardInUseByte,
                    ByteSpan(dead, 1))) {
                dropped = indexWritten = true;
                ++result_.duplicatesDropped;
                for (auto& p : result_.problems)
                    if (p.yyyymm == yyyymm && p.entry == static_cast<std::int64_t>(position) &&
                        (p.kind == StoreProblemKind::DuplicateEntry ||
                         p.kind == StoreProblemKind::MarkerBesideRecording)) {
                        p.repaired = true;
                        audit.push_back({"dropped index entry", options_.devType, p.file,
                                         "entry " + std::to_string(position) + ": " +
                                             StoreProblemText(p.kind)});
                    }
            }
        }
        if (dropped) files_.Sync({index});
        if (!adopted.empty()) {
            if (files_.AppendRecords(index, ByteSpan(adopted.data(), adopted.size()),
                                     CallRecord::kSize, false)) {
                indexWritten = true;
                result_.adopted += static_cast<int>(adoptedKeys.size());
                for (auto& p : result_.problems)
                    if (p.yyyymm == yyyymm && p.kind == StoreProblemKind::Orphan &&
                        std::find(adoptedKeys.begin(), adoptedKeys.end(), p.file) !=
                            adoptedKeys.end()) {
                        p.repaired = true;
                        audit.push_back({"adopted", options_.devType, p.file, {}});
                    }
            }
        }
        std::vector<fs::path> durable;
        if (indexWritten) durable.push_back(index);
        if (!newLines.empty() && files_.ReachedWithoutLinks(options_.backupPath, sums.path)) {
            bool clean = true;
            if (const auto size = files_.FileSize(sums.path); size && *size > 0) {
                const auto last = files_.ReadFrom(sums.path, *size - 1);
                clean = last && !last->empty() && last->back() == '\n';
            }
            const std::string text = ChecksumAppendText(newLines, clean);
            if (files_.AppendBytes(
                    sums.path,
                    ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))) {
                durable.push_back(sums.path);
                audit.push_back(
                    {"wrote checksums", options_.devType, sums.name,
                     std::to_string(std::count(text.begin(), text.end(), '\n')) + " lines"});
            } else {
                result_.checksumsWritten = 0;
            }
        }
        if (!durable.empty()) {
            durable.push_back(index.parent_path());
            if (!files_.Sync(durable)) {
                result_.error = "the repairs could not be made durable: " +
                                std::string(FileErrorText(files_.LastError()));
                for (auto& p : result_.problems)
                    if (p.yyyymm == yyyymm) p.repaired = false;
                audit.clear();
            }
        }
    }
    lock.reset();
    if (!audit.empty()) {
        if (const auto written = AppendAudit(options_.backupPath, audit); !written.ok)
            result_.error = written.error;
    }
}

VerifyResult VerifyRun::Run() {
    if (!files_.ReachedWithoutLinks(options_.backupPath, storeRoot_ / "CallLog") ||
        !files_.IsDirectory(storeRoot_)) {
        result_.error = "no backup store at " + storeRoot_.string();
        return std::move(result_);
    }
    result_.storeFound = true;
    const std::vector<int> months = Months();
    const int range = static_cast<int>(months.size());
    progress_.Begin(range);
    int step = 0;
    for (const int yyyymm : months) {
        if (Stopped()) {
            result_.stopped = true;
            break;
        }
        progress_.Step(++step, range, std::to_string(yyyymm));
        ++result_.months;
        CheckMonth(yyyymm);
    }
    progress_.End();
    return std::move(result_);
}

}  // namespace

const char* StoreProblemText(StoreProblemKind kind) {
    switch (kind) {
        case StoreProblemKind::MissingFile:
            return "missing";
        case StoreProblemKind::NotRegularFile:
            return "not a regular file";
        case StoreProblemKind::UnsafePath:
            return "names a file outside its month's folders";
        case StoreProblemKind::Unreadable:
            return "cannot be read";
        case StoreProblemKind::ChecksumMismatch:
            return "checksum does not match";
        case StoreProblemKind::PartialRecord:
            return "ends in part of a record";
        case StoreProblemKind::Orphan:
            return "no index entry names it";
        case StoreProblemKind::DuplicateEntry:
            return "named by a second index entry";
        case StoreProblemKind::MarkerBesideRecording:
            return "marker entry beside the recording's entry";
        case StoreProblemKind::ChecksumFileDamaged:
            return "checksum file damaged";
    }
    return "";
}

bool VerifyResult::Clean() const {
    return storeFound && !stopped && error.empty() &&
           std::all_of(problems.begin(), problems.end(),
                       [](const StoreProblem& p) { return p.repaired; });
}

VerifyResult VerifyStore(const VerifyOptions& options, ProgressReporter& progress,
                         std::stop_token stop) {
    VerifyRun run(options, progress, std::move(stop));
    return run.Run();
}

}  // namespace lk
