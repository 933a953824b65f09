#pragma once
// Notes and tags on calls, kept in one SQLite database beside the store
// ("CallNotes.sqlite" in the store root), so that every PC sharing the store
// shares them; never in the recorder's own files. Without a store the
// database lives in the user's data folder.
//
// A call is known by its recording: the file name (without folders), its
// size and the SHA-256 of its bytes, taken when the first note or tag is
// written. A backup copies or moves the recording unchanged, so a note
// written on a card record is found again on the store record.
//
// The database keeps a rollback journal (a write-ahead log is unsafe on
// network file systems) and waits for other writers (busy timeout); every
// write also holds the store's cross-PC lock on "CallNotes.sqlite-lock".
// Each change is one transaction on one call's note or one tag, so of two
// PCs writing at once the last write wins for that note and nothing else is
// lost.
//
// A database that is a link, not a regular file, corrupt or from a newer
// program is not used: Problem() says why (once per opening) and every
// call reads as having no note. Not thread-safe: one instance per thread.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "card/CallRecord.h"
#include "platform/Sha256.h"

struct sqlite3;

namespace lk {

inline constexpr char kNotesFileName[] = "CallNotes.sqlite";

// The recording behind a call, as the notes know it.
struct CallIdentity {
    std::string name;  // file name without folders
    std::int64_t size = 0;
    Sha256::Digest hash{};
    bool operator==(const CallIdentity&) const = default;
};

struct CallAnnotation {
    std::optional<std::string> note;
    std::vector<std::string> tags;  // sorted
    bool Empty() const { return !note && tags.empty(); }
};

struct NotesWrite {
    bool ok = false;
    std::string message;  // why nothing was written
};

class CallNotes {
  public:
    // The notes of the store whose root is `storeRoot`.
    static CallNotes ForStore(const std::filesystem::path& storeRoot);
    // The notes of calls outside any store: $XDG_DATA_HOME/linekeeper (or
    // ~/.local/share/linekeeper); a portable copy keeps them in its
    // settings folder.
    static CallNotes ForUser();
    // The database file `file` (its folder must exist for writes).
    static CallNotes AtFile(const std::filesystem::path& file);

    CallNotes(CallNotes&&) noexcept;
    CallNotes& operator=(CallNotes&&) noexcept;
    ~CallNotes();

    const std::filesystem::path& File() const { return file_; }
    // False once the database proved unusable; Problem() says why.
    bool Usable() const { return problem_.empty(); }
    const std::string& Problem() const { return problem_; }

    // The note and tags of the record's recording; empty when it has none,
    // has no readable recording, or the database is unusable.
    CallAnnotation Of(const CallRecord& record);
    // Note and tags as one text, for a find box to match typed words in.
    std::string SearchText(const CallRecord& record);

    // Sets (empty text: removes) the note, after CheckNote.
    [[nodiscard]] NotesWrite SetNote(const CallRecord& record, std::string_view text);
    // Adds or removes one tag, after CheckTag; the tag joins the tag list.
    [[nodiscard]] NotesWrite AddTag(const CallRecord& record, std::string_view tag);
    [[nodiscard]] NotesWrite RemoveTag(const CallRecord& record, std::string_view tag);

    // Tags on at least one call, sorted.
    std::vector<std::string> TagsInUse();
    // Every tag the user has made, used or not, sorted.
    std::vector<std::string> TagList();
    [[nodiscard]] NotesWrite AddToTagList(std::string_view tag);

    // Calls whose note or tags hold every word of `words` (any order, case
    // and accents ignored, each word a prefix).
    std::vector<CallIdentity> Find(std::string_view words);
    // Calls carrying `tag`.
    std::vector<CallIdentity> WithTag(std::string_view tag);
    // Whether the record's recording is one of `calls` (sorted by name, as
    // SortByName leaves them). The record's file is opened only when its
    // name is among them, so a list of 100,000 rows is walked quickly.
    bool IsAmong(const CallRecord& record, const std::vector<CallIdentity>& calls);
    static void SortByName(std::vector<CallIdentity>& calls);

    // The identity of a record's recording (reads the whole file for its
    // hash the first time); nullopt with `reason` when there is none.
    std::optional<CallIdentity> IdentityOf(const CallRecord& record, std::string* reason = nullptr);

  private:
    explicit CallNotes(std::filesystem::path file);
    struct Statement;
    enum class Need { Read, Write };
    bool Open(Need need);
    bool Fail(int rc, const std::string& what);
    std::optional<std::int64_t> CallId(const CallRecord& record, bool create, std::string* reason);
    NotesWrite Write(const CallRecord& record, const std::function<bool(std::int64_t)>& change);
    bool RefreshSearchRow(std::int64_t call);
    std::vector<CallIdentity> Identities(Statement& st);

    struct Closer {
        void operator()(sqlite3* db) const;
    };
    std::filesystem::path file_;
    std::unique_ptr<sqlite3, Closer> db_;
    std::string problem_;
    // Hashes already read: path -> (size, change time ns, hash).
    struct HashEntry {
        std::int64_t size = 0;
        std::int64_t changed = 0;
        Sha256::Digest hash{};
    };
    std::map<std::string, HashEntry> hashes_;
};

// For a retention rule: true for a call that carries a tag in the notes of
// the store at `storeRoot`. The database is opened on the first question, on
// the thread that asks (one thread only).
std::function<bool(const CallRecord&)> TaggedCallsOf(const std::filesystem::path& storeRoot);

}  // namespace lk
