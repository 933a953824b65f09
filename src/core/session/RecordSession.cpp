#include "session/RecordSession.h"

#include <algorithm>
#include <utility>

#include "card/BackupStore.h"
#include "card/RecordLoader.h"

namespace lk {

SessionClaim::SessionClaim(SessionClaim&& other) noexcept
    : session_(std::exchange(other.session_, nullptr)) {}

SessionClaim& SessionClaim::operator=(SessionClaim&& other) noexcept {
    if (this != &other) {
        Release();
        session_ = std::exchange(other.session_, nullptr);
    }
    return *this;
}

void SessionClaim::Release() {
    if (RecordSession* s = std::exchange(session_, nullptr)) s->Unclaim();
}

RecordSession::RecordSession(std::unique_ptr<VolumeProbe> probe) : state_(std::move(probe)) {}

RecordSession::~RecordSession() {
    Clear();
}

SessionClaim RecordSession::TryClaim() {
    bool idle = false;
    if (!busy_.compare_exchange_strong(idle, true)) return {};
    return SessionClaim(this);
}

CardWatch RecordSession::Watch(CardWatchConfig config) {
    return CardWatch(state_, *this, std::move(config));
}

void RecordSession::UseCard(char letter, const std::filesystem::path& cardLogPath, int family) {
    state_.cardDrive = letter;
    state_.cardLogPath = cardLogPath;
    state_.devType = family;
}

void RecordSession::ShowCard(int family) {
    state_.viewingBackup = 0;
    state_.devType = family;
}

void RecordSession::ShowStore(int family) {
    state_.viewingBackup = 1;
    state_.devType = family;
}

LoadOutcome RecordSession::Load(const LoadRequest& request, SessionClaim held) {
    NoProgress none;
    return Load(request, none, {}, std::move(held));
}

LoadOutcome RecordSession::Load(const LoadRequest& request, ProgressReporter& progress,
                                std::stop_token stop, SessionClaim held) {
    LoadOutcome out;
    SessionClaim claim = held ? std::move(held) : TryClaim();
    if (!claim) {
        out.refused = true;
        return out;
    }
    const bool fromCard = request.source == LoadSource::Card;
    const RecordListId target = fromCard ? RecordListId::Card : RecordListId::Backup;
    // The loader appends; whoever loads off the listeners' thread has emptied
    // the list there already, so this frees nothing then.
    if (!state_.records.List(target).empty()) state_.records.ReplaceAll(target);
    state_.loadFromCard = fromCard ? 1 : 0;
    out.family = state_.devType.load();
    if (fromCard) {
        const std::filesystem::path cardRoot = state_.cardLogPath.parent_path();
        if (NeedsPromptFiles(cardRoot, out.family)) out.promptFilesFor = cardRoot;
    }
    if (!fromCard) {
        std::vector<int> months = ListBackupMonths(request.backupPath, out.family);
        std::stable_sort(months.begin(), months.end());
        state_.backupMonths = std::move(months);
        out.storeIndexFound = !state_.backupMonths.empty();
        if (!out.storeIndexFound) {
            state_.viewingBackup = 1;
            out.shown = RecordListId::Backup;
            return out;
        }
    }

    RecordLoaderOptions options;
    options.backupPath = request.backupPath;
    options.codePage = request.codePage;
    const RecordLoaderResult r = RecordLoaderThread(state_, options, progress, std::move(stop));
    out.stopped = r.exitCode == 0;
    out.shown = state_.CurrentListId();
    out.filesRead = r.filesRead;
    out.recordsKept = r.recordsKept;
    out.recordsDropped = r.recordsDropped;
    out.pathsReRooted = r.pathsReRooted;
    out.rebuildQueued = r.rebuildQueued;
    out.startRebuildWorker = r.startRebuildWorker;
    out.offerAutoBackup = r.offerAutoBackup;
    out.refill = r.populate && !out.stopped;
    if (out.refill) out.claim = std::move(claim);
    return out;
}

std::optional<RecordListId> RecordSession::ListOf(const CallRecord& record) const {
    for (RecordListId id : {RecordListId::Card, RecordListId::Backup, RecordListId::Folder}) {
        const RecordList& list = state_.records.List(id);
        if (std::any_of(list.begin(), list.end(),
                        [&](const RecordPtr& p) { return p.get() == &record; }))
            return id;
    }
    return std::nullopt;
}

RecordChange RecordSession::Mark(CallRecord& record, int value) {
    return WriteRecordMark(record, value);
}

RecordDeletion RecordSession::Delete(const CallRecord& record) {
    RecordDeletion out;
    out.change = DeleteRecordFiles(record);
    if (!out.change.done) return out;
    // A card record stays listed: its rows go one pane at a time, and the
    // card is read again on refresh.
    const auto list = ListOf(record);
    if (list && *list != RecordListId::Card) out.removed = state_.records.Remove(*list, &record);
    return out;
}

void RecordSession::AddImported(RecordList found) {
    for (RecordPtr& r : found)
        (void)state_.records.Append(RecordListId::Folder, std::move(r));
}

ContactReadResult RecordSession::LoadContacts(const std::filesystem::path& source) {
    return LoadContactsFrom(source, state_.contacts);
}

std::optional<BackupResult> RecordSession::BackupAll(const SessionClaim& under,
                                                     const BackupOptions& options,
                                                     ProgressReporter& progress,
                                                     std::stop_token stop) {
    if (under.session_ != this) return std::nullopt;
    return BackupAllThread(state_, options, progress, std::move(stop));
}

std::optional<BackupResult> RecordSession::BackupSelected(const SessionClaim& under,
                                                          std::span<CallRecord* const> selected,
                                                          const BackupOptions& options,
                                                          ProgressReporter& progress,
                                                          std::stop_token stop) {
    if (under.session_ != this) return std::nullopt;
    return BackupSelectedThread(state_, selected, options, progress, std::move(stop));
}

LogRebuildResult RecordSession::RebuildLogs(
    const std::string& codePage, const std::function<void(char drive, bool active)>& driveStatus) {
    return LogRebuildThread(state_, codePage, driveStatus);
}

void RecordSession::Clear() {
    state_.contacts.clear();
    for (RecordListId id : {RecordListId::Card, RecordListId::Backup, RecordListId::Folder})
        state_.records.ReplaceAll(id);
}

}  // namespace lk
