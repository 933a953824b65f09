#pragma once
// The one door into the records: the CLI and the window load a card or the
// store, mark and delete records, and take the right to walk or change the
// lists (backup, search, import, repair) only through this object. It owns
// the record lists and the shared state; other code reads them.
//
// "Busy" is a claim: a move-only object handed out by TryClaim and given back
// by its destructor, so an early return or an exception cannot leave the
// records locked. A load claims by itself and refuses while any claim is out.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>

#include "app/ProgressReporter.h"
#include "backup/BackupEngine.h"
#include "card/CardWatch.h"
#include "card/LoadGate.h"
#include "card/LogRebuild.h"
#include "card/RecordCommands.h"
#include "card/RecordLists.h"
#include "card/RecordLoader.h"
#include "card/RecorderState.h"
#include "phonebook/ContactLibrary.h"

namespace lk {

class RecordSession;

class SessionClaim {
  public:
    SessionClaim() = default;
    SessionClaim(SessionClaim&& other) noexcept;
    SessionClaim& operator=(SessionClaim&& other) noexcept;
    SessionClaim(const SessionClaim&) = delete;
    SessionClaim& operator=(const SessionClaim&) = delete;
    ~SessionClaim() { Release(); }

    explicit operator bool() const { return session_ != nullptr; }
    // Gives the claim back early; nothing when none is held.
    void Release();

  private:
    friend class RecordSession;
    explicit SessionClaim(RecordSession* session) : session_(session) {}
    RecordSession* session_ = nullptr;
};

struct LoadRequest {
    LoadSource source = LoadSource::Card;
    // The store: where a store load reads and card records are re-rooted.
    std::filesystem::path backupPath;
    // The card's text code page (the "CodePage" setting); empty: the default.
    std::string codePage;
};

struct LoadOutcome {
    bool refused = false;  // a load or another claim was out: nothing read
    bool stopped = false;  // quitting or a stop asked for: the lists are half read
    RecordListId shown = RecordListId::Backup;  // the list to show from now on
    int family = 0;
    bool storeIndexFound = false;  // a store load found month index files
    int filesRead = 0;
    int recordsKept = 0;
    int recordsDropped = 0;
    int pathsReRooted = 0;
    // A family-0 card read that lacks its prompt files: the root to put them
    // on (CopyBeepFiles); the load itself writes nothing to the card.
    std::optional<std::filesystem::path> promptFilesFor;
    bool rebuildQueued = false;       // the card's log was empty
    bool startRebuildWorker = false;  // and no rebuild worker runs yet
    // Card records were read and the user asked for a backup after each card
    // load: the caller offers it, after this call returned.
    bool offerAutoBackup = false;
    // The shown list changed and its views are filled anew; `claim` keeps the
    // list still while that happens.
    bool refill = false;
    SessionClaim claim;
};

// What Delete did to a record.
struct RecordDeletion {
    RecordChange change;
    // The record left its list (store and imported records) and is freed;
    // a card record stays listed until the card is read again.
    bool removed = false;
};

class RecordSession final : public LoadGate {
  public:
    explicit RecordSession(std::unique_ptr<VolumeProbe> probe);
    RecordSession(const RecordSession&) = delete;
    RecordSession& operator=(const RecordSession&) = delete;
    ~RecordSession();

    // What the rest of the program reads; it changes the state only through
    // the calls below.
    const RecorderState& State() const { return state_; }
    const RecordLists& Records() const { return state_.records; }
    const RecordList& Shown() const { return state_.CurrentRecordList(); }

    // A listener hears of every record before it is freed (RecordLists::Listen).
    [[nodiscard]] int Listen(RecordLists::Listener listener) {
        return state_.records.Listen(std::move(listener));
    }
    void StopListening(int listener) { state_.records.StopListening(listener); }

    // Whether a command that walks or changes the lists may run now.
    bool Busy() const { return busy_.load(); }
    bool LoadRunning() const override { return Busy(); }
    // The right to walk or change the lists; empty while another is out.
    [[nodiscard]] SessionClaim TryClaim();

    // The card watch on this session's state; it asks this session whether
    // a load runs.
    [[nodiscard]] CardWatch Watch(CardWatchConfig config = {});

    // The card in use: its drive letter, its call log and its family.
    void UseCard(char letter, const std::filesystem::path& cardLogPath, int family);
    // Forgets the card, so that the next look finds it anew.
    void ForgetCard() { state_.cardDrive = 0; }
    // The family whose records are read and shown from now on.
    void SetFamily(int family) { state_.devType = family; }
    // Shows the card's list (of `family`) or the store's list from now on.
    void ShowCard(int family);
    void ShowStore(int family);
    // Asks every worker on the lists to end: the program closes.
    void Quit() { state_.quitting = 1; }
    // A log rebuild was queued but its worker could not start.
    void RebuildNotStarted() { state_.rebuildRunning = 0; }

    // Reads the card log (source Card: state.cardLogPath) or the store's month
    // index files of the current family into their list. Refused while a
    // claim is out; `held` is a claim of this session taken before (the card
    // watch's, or the caller's own), used instead of a new one.
    // One progress run per file read; `stop` (or quitting) ends the load.
    [[nodiscard]] LoadOutcome Load(const LoadRequest& request, ProgressReporter& progress,
                                   std::stop_token stop, SessionClaim held = {});
    // Without progress and stopped by quitting only.
    [[nodiscard]] LoadOutcome Load(const LoadRequest& request, SessionClaim held = {});

    // Writes the mark into the entry the record was read from; the record
    // follows when written. Records of an imported folder have no entry.
    [[nodiscard]] RecordChange Mark(CallRecord& record, int value);
    // Removes the record's recording and clears its entry in the file it was
    // read from; a store record then leaves its list (listeners hear of it
    // before it is freed). Records of an imported folder have no entry.
    [[nodiscard]] RecordDeletion Delete(const CallRecord& record);
    // Adds records an import found to the imported folder's list.
    void AddImported(RecordList found);
    // The list holding `record`, if any.
    [[nodiscard]] std::optional<RecordListId> ListOf(const CallRecord& record) const;

    // Frees the imported folder's records (listeners hear of them).
    void ClearImported() { state_.records.ReplaceAll(RecordListId::Folder); }

    // Replaces the contacts with those of a vCard file or folder; card
    // records loaded from now on take their empty names from them.
    [[nodiscard]] ContactReadResult LoadContacts(const std::filesystem::path& source);

    // Backs the card's records up into the store (BackupAllThread), or the
    // `selected` ones (BackupSelectedThread). `under` is a claim of this
    // session the caller holds for the whole run, so that no load frees the
    // records walked; without one nothing is done (nullopt).
    [[nodiscard]] std::optional<BackupResult> BackupAll(const SessionClaim& under,
                                                        const BackupOptions& options,
                                                        ProgressReporter& progress,
                                                        std::stop_token stop);
    [[nodiscard]] std::optional<BackupResult> BackupSelected(const SessionClaim& under,
                                                             std::span<CallRecord* const> selected,
                                                             const BackupOptions& options,
                                                             ProgressReporter& progress,
                                                             std::stop_token stop);

    // Queues the card `drive` for a log rebuild; true when the caller must
    // then run RebuildLogs (on a worker), none running yet.
    [[nodiscard]] bool QueueRebuild(char drive) { return QueueLogRebuild(state_, drive); }
    // Drains the rebuild queue (LogRebuildThread). It writes card logs only,
    // never the lists, so it runs beside loads without a claim.
    LogRebuildResult RebuildLogs(
        const std::string& codePage,
        const std::function<void(char drive, bool active)>& driveStatus = {});

    // Looks at the mounted volumes again (the card watch does on each tick).
    void RefreshVolumes() { state_.volumes.Refresh(); }

    // Frees every record (listeners hear of them) and the contacts.
    void Clear();

  private:
    friend class SessionClaim;
    void Unclaim() { busy_ = false; }

    RecorderState state_;
    // Set while a claim is out; nothing outside this class writes it.
    std::atomic<bool> busy_{false};
};

}  // namespace lk
