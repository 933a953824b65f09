#include "card/RecordLoader.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include "app/Settings.h"
#include "card/BackupStore.h"
#include "card/CallLog.h"
#include "card/LogRebuild.h"
#include "platform/LetterCase.h"
#include "platform/LinkFreePath.h"
#include "platform/RegularFile.h"
#include "platform/RootedPath.h"
#include "platform/TextCodec.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

// Longest texts a backup record may carry; a damaged index file must not run
// a text past its field.
constexpr std::size_t kMaxNumberUnits = 31;
constexpr std::size_t kMaxNameUnits = 36;
constexpr std::size_t kMaxCardPathUnits = 45;
constexpr std::size_t kMaxFilePathUnits = 259;

std::string CountText(int done, int total) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d/%d", done, total);
    return buf;
}

bool AllDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The last three components of a path written with either separator (fewer
// when it has fewer), as views into it: read for every record of a store.
struct PathTail {
    std::string_view parts[3];
    std::size_t count = 0;
};
PathTail TailComponents(std::string_view path) {
    PathTail tail;
    std::string_view found[3];
    std::size_t end = path.size();
    while (tail.count < 3 && end > 0) {
        std::size_t sep = end;
        while (sep > 0 && path[sep - 1] != '/' && path[sep - 1] != '\\')
            --sep;
        // sep: where the component starts (past a separator, or 0).
        if (end > sep) found[tail.count++] = path.substr(sep, end - sep);
        if (sep == 0) break;
        end = sep - 1;
    }
    for (std::size_t i = 0; i < tail.count; ++i)
        tail.parts[i] = found[tail.count - 1 - i];
    return tail;
}

}  // namespace

LoadBackupIndexResult LoadBackupIndex(RecorderState& state, const fs::path& backupPath,
                                      const LoadGate& gate) {
    LoadBackupIndexResult result;
    state.records.ReplaceAll(RecordListId::Backup);
    state.backupMonths.clear();

    std::vector<int> months = ListBackupMonths(backupPath, state.devType.load());
    if (months.empty()) return result;
    result.found = true;
    state.backupMonths = months;
    if (gate.LoadRunning()) return result;

    std::stable_sort(state.backupMonths.begin(), state.backupMonths.end());
    result.startLoader = true;
    return result;
}

bool ReRootBackupRecord(CallRecord& record, const fs::path& storeRoot,
                        const fs::path& absoluteStoreRoot) {
    const std::string filePath = ToUtf8(record.filePath.Text());
    if (filePath.empty()) return false;
    const PathTail tail = TailComponents(filePath);
    if (tail.count != 3) return false;
    const std::string_view month = tail.parts[0];
    const std::string_view day = tail.parts[1];
    const std::string_view name = tail.parts[2];
    if (month.size() != 6 || !AllDigits(month) || day.size() != 8 || !AllDigits(day) ||
        day.compare(0, 6, month) != 0 || name == "." || name == "..") {
        return false;
    }
    // A path already naming that place in this store would be kept either
    // way: deciding so from the text keeps a large store's load free of a
    // stat per record.
    const auto namesPlaceUnder = [&](std::string_view root) {
        std::string_view rest = filePath;
        const auto take = [&rest](char separator, std::string_view part) {
            if (rest.empty() || rest.front() != separator) return false;
            rest.remove_prefix(1);
            if (!rest.starts_with(part)) return false;
            rest.remove_prefix(part.size());
            return true;
        };
        if (!rest.starts_with(root)) return false;
        rest.remove_prefix(root.size());
        return take('/', month) && take('/', day) && take('/', name) && rest.empty();
    };
    std::error_code ec;
    if (namesPlaceUnder(storeRoot.native()) ||
        namesPlaceUnder(absoluteStoreRoot.empty()
                            ? fs::absolute(storeRoot, ec).lexically_normal().native()
                            : absoluteStoreRoot.native()))
        return false;
    // A path outside this store (a store copied from elsewhere, or a poisoned
    // index) is only ever replaced by this store's own copy.
    const bool inside = RootedPath::Resolve(storeRoot, FieldText(record.filePath)).path.has_value();
    if (inside && fs::exists(fs::path(filePath), ec)) return false;
    const fs::path candidate = storeRoot / fs::path(month) / fs::path(day) / fs::path(name);
    if (!IsReachedWithoutLinks(storeRoot, candidate) ||
        !fs::is_regular_file(fs::symlink_status(candidate, ec)))
        return false;
    const std::u16string text = FromUtf8(candidate.string());
    if (text.size() >= CallRecord::kFilePathUnits) return false;
    SetFieldText(record.filePath, text);
    return true;
}

RecordLoaderResult RecordLoaderThread(RecorderState& state, const RecordLoaderOptions& options) {
    NoProgress none;
    return RecordLoaderThread(state, options, none, {});
}

RecordLoaderResult RecordLoaderThread(RecorderState& state, const RecordLoaderOptions& options,
                                      ProgressReporter& progress, std::stop_token stop) {
    RecordLoaderResult result;
    // Quitting and a stop asked for end the load alike.
    const auto stopping = [&] { return state.quitting.load() != 0 || ShouldStop(stop, progress); };
    const bool fromCard = state.loadFromCard.load() != 0;
    const int devType = state.devType.load();
    result.fromCard = fromCard;
    bool repopulate = true;

    std::vector<fs::path> files;
    if (fromCard) {
        files.push_back(state.cardLogPath);
    } else {
        for (int month : state.backupMonths)
            files.push_back(MonthIndexPath(options.backupPath, devType, month));
    }
    const fs::path storeRoot = StoreRoot(options.backupPath, devType);
    std::error_code rootError;
    const fs::path absoluteStoreRoot = fs::absolute(storeRoot, rootError).lexically_normal();

    CardVolume card;
    LetterCaseIndex letterCase;
    if (fromCard) {
        card.letter = state.cardDrive.load();
        if (auto v = state.volumes.Find(card.letter))
            card.root = v->root;
        else
            card.root = state.cardLogPath.parent_path();
        card.codePage = options.codePage;
        if (FileSystemIgnoresCase(card.root)) card.letterCase = &letterCase;
    }

    const auto recordSize = static_cast<std::size_t>(RecordSize(devType, fromCard));
    const fs::path root = fromCard ? card.root : storeRoot;
    std::vector<std::uint8_t> raw(recordSize);
    // Appends only: the list was emptied before the load was claimed.
    const RecordListId target = fromCard ? RecordListId::Card : RecordListId::Backup;

    for (const fs::path& file : files) {
        if (stopping()) {
            result.exitCode = 0;
            return result;
        }
        // Reached link-free and without blocking: a link or a FIFO planted
        // under a log's name is no log.
        RegularFileOpen opened = OpenRegularWithoutLinks(root, file, O_RDONLY);
        if (!opened.Ok()) continue;
        struct stat st {};
        if (::fstat(opened.file.Get(), &st) != 0) continue;
        const auto size = static_cast<std::uint64_t>(st.st_size);
        RegularFileStream in(std::move(opened));
        if (!in) continue;
        ++result.filesRead;
        auto source = std::make_shared<RecordSourceFile>();
        source->kind =
            fromCard ? RecordSourceFile::Kind::CardLog : RecordSourceFile::Kind::StoreIndex;
        source->root = root;
        source->file = file;
        source->recordSize = static_cast<int>(recordSize);

        const auto count = static_cast<int>(size / recordSize);
        if (count == 0) {
            if (fromCard) {
                result.rebuildQueued = true;
                result.startRebuildWorker = QueueLogRebuild(state, card.letter);
            }
            continue;
        }
        if (fromCard) {
            // A log of deleted records only: nothing to show, nothing to rebuild.
            bool anyLive = false;
            for (int i = 0; i < count && !anyLive; ++i) {
                if (!in.read(reinterpret_cast<char*>(raw.data()),
                             static_cast<std::streamsize>(recordSize)))
                    break;
                anyLive = raw[0] == 1;
            }
            if (!anyLive) continue;
            in.clear();
            in.seekg(0);
        }

        progress.Begin(count);
        for (int i = 0; i < count; ++i) {
            if (stopping()) {
                result.exitCode = 0;
                return result;
            }
            if (!in.read(reinterpret_cast<char*>(raw.data()),
                         static_cast<std::streamsize>(recordSize)))
                break;
            auto record = std::make_unique<CallRecord>();
            bool keep = false;
            if (fromCard) {
                if (raw[0] == 1) {
                    record->index = i;
                    keep = devType == 1 ? ParseCardRecord256(raw, *record, card, state.contacts)
                                        : ParseCardRecord128(raw, *record, card, state.contacts);
                }
            } else {
                *record = CallRecord::FromBytes(raw);
                if (record->IsLive()) {
                    CutFieldText(record->number, kMaxNumberUnits);
                    CutFieldText(record->name, kMaxNameUnits);
                    CutFieldText(record->cardPath, kMaxCardPathUnits);
                    CutFieldText(record->filePath, kMaxFilePathUnits);
                    record->index = i;
                    if (ReRootBackupRecord(*record, storeRoot, absoluteStoreRoot))
                        ++result.pathsReRooted;
                    keep = true;
                }
            }
            if (keep) {
                record->origin = RecordOrigin{source, i};
                const std::string text =
                    ToUtf8(FieldText(record->cardPath)) + " " + CountText(i + 1, count);
                state.records.Append(target, std::move(record));
                ++result.recordsKept;
                progress.Step(i + 1, count, text);
            } else {
                ++result.recordsDropped;
                progress.Step(i + 1, count, CountText(i + 1, count));
            }
        }
    }
    if (stopping()) {
        result.exitCode = 0;
        return result;
    }

    progress.End();
    if (fromCard && !state.records.Card().empty()) {
        state.viewingBackup = 0;
        // Offered by the caller once this returned; the card just inserted
        // is what the user looks for next, backed up or not.
        result.offerAutoBackup = AutoBackup();
    } else if (fromCard) {
        if (state.viewingBackup.load() == 1) repopulate = false;
        state.viewingBackup = 1;
    } else {
        state.viewingBackup = 1;
    }

    const bool showCard = fromCard && state.viewingBackup.load() == 0;
    const bool showBackup = repopulate && state.viewingBackup.load() == 1;
    result.populate = showCard || showBackup;
    return result;
}

}  // namespace lk
