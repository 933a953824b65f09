#include "notes/CallNotes.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/ExeDir.h"
#include "backup/IndexLock.h"
#include "card/RecordCommands.h"
#include "notes/NoteText.h"
#include "platform/TextCodec.h"

namespace lk {
namespace fs = std::filesystem;

namespace {

// Each step takes the schema from the version before it to its own number.
// Version 1: calls, their notes and tags, the user's tag list.
// Version 2: the full-text index of notes and tags, with prefix indexes so
// that the first letters typed into a find box are answered quickly.
constexpr const char* kMigrations[] = {
    "CREATE TABLE calls(id INTEGER PRIMARY KEY, name TEXT NOT NULL, size INTEGER NOT NULL,"
    " sha256 BLOB NOT NULL, UNIQUE(name, size, sha256));"
    "CREATE TABLE notes(call INTEGER PRIMARY KEY REFERENCES calls(id), text TEXT NOT NULL,"
    " written INTEGER NOT NULL);"
    "CREATE TABLE call_tags(call INTEGER NOT NULL REFERENCES calls(id), tag TEXT NOT NULL,"
    " PRIMARY KEY(call, tag)) WITHOUT ROWID;"
    "CREATE TABLE tag_names(tag TEXT PRIMARY KEY) WITHOUT ROWID;",

    "CREATE VIRTUAL TABLE note_search USING fts5(note, tags,"
    " tokenize = 'unicode61 remove_diacritics 2', prefix = '1 2 3');"
    "INSERT INTO note_search(rowid, note, tags) SELECT c.id, COALESCE(n.text, ''),"
    " COALESCE((SELECT group_concat(tag, ' ') FROM call_tags t WHERE t.call = c.id), '')"
    " FROM calls c LEFT JOIN notes n ON n.call = c.id;",
};
constexpr int kSchemaVersion = static_cast<int>(std::size(kMigrations));
constexpr int kBusyTimeoutMs = 15000;

struct Finalizer {
    void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
};

// A recording opened for its identity.
struct OpenedRecording {
    std::string path;
    std::string name;
    std::int64_t size = 0;
    std::int64_t changed = 0;  // ns, so that a rewritten file is hashed anew
    FileHandle file;
};

std::optional<OpenedRecording> OpenRecording(const CallRecord& record, std::string* reason) {
    auto fail = [&](std::string why) -> std::optional<OpenedRecording> {
        if (reason != nullptr) *reason = std::move(why);
        return std::nullopt;
    };
    const RootedPathResult rooted = RecordingOf(record);
    if (!rooted.path) return fail(rooted.reason);
    if (rooted.path->NamesNoFile()) return fail("the call has no recording");
    RegularFileOpen opened = rooted.path->Open(O_RDONLY);
    if (!opened.Ok()) return fail(rooted.path->Full().string() + ": " + opened.reason);
    struct stat st {};
    if (::fstat(opened.file.Get(), &st) != 0) return fail(std::strerror(errno));
    OpenedRecording out;
    out.path = rooted.path->Full().string();
    out.name = rooted.path->Full().filename().string();
    out.size = st.st_size;
    out.changed = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    out.file = std::move(opened.file);
    return out;
}

std::optional<Sha256::Digest> HashFile(int fd) {
    Sha256 sha;
    std::vector<std::uint8_t> buf(1 << 16);
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        sha.Update(ByteSpan(buf.data(), static_cast<std::size_t>(n)));
    }
    return sha.Finish();
}

// The recording's file name as the record names it (after its last '/' or
// '\\'), the same name RootedPath gives its last component.
std::string RecordingName(const CallRecord& record) {
    const std::string path = ToUtf8(FieldText(record.filePath));
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A typed text as an FTS5 query: every word a quoted prefix, all required.
std::string MatchQuery(std::string_view words) {
    std::string query;
    std::size_t i = 0;
    while (i < words.size()) {
        while (i < words.size() && (words[i] == ' ' || words[i] == '\t' || words[i] == '\n'))
            ++i;
        std::string word;
        while (i < words.size() && words[i] != ' ' && words[i] != '\t' && words[i] != '\n') {
            if (words[i] == '"') word += '"';
            word += words[i++];
        }
        if (word.empty()) continue;
        if (!query.empty()) query += ' ';
        query += '"' + word + "\"*";
    }
    return query;
}

bool LinkOrOther(const fs::path& p, std::string& why) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode))
        why = p.string() + " is a link; notes are kept only in a file of their own";
    else if (!S_ISREG(st.st_mode))
        why = p.string() + " is not a regular file";
    return !why.empty();
}

}  // namespace

struct CallNotes::Statement {
    std::unique_ptr<sqlite3_stmt, Finalizer> st;
    int rc = SQLITE_OK;
    Statement(sqlite3* db, const char* sql) {
        sqlite3_stmt* raw = nullptr;
        rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
        st.reset(raw);
    }
    bool Ok() const { return rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE; }
    Statement& Bind(int i, std::string_view text) {
        if (Ok())
            rc = sqlite3_bind_text(st.get(), i, text.data(), static_cast<int>(text.size()),
                                   SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int i, std::int64_t v) {
        if (Ok()) rc = sqlite3_bind_int64(st.get(), i, v);
        return *this;
    }
    Statement& Bind(int i, const Sha256::Digest& d) {
        if (Ok())
            rc = sqlite3_bind_blob(st.get(), i, d.data(), static_cast<int>(d.size()),
                                   SQLITE_TRANSIENT);
        return *this;
    }
    // True while rows come; rc tells an error from the end.
    bool Step() {
        if (!Ok()) return false;
        rc = sqlite3_step(st.get());
        return rc == SQLITE_ROW;
    }
    std::string Text(int col) const {
        const auto* p = sqlite3_column_text(st.get(), col);
        return p == nullptr
                   ? std::string()
                   : std::string(reinterpret_cast<const char*>(p),
                                 static_cast<std::size_t>(sqlite3_column_bytes(st.get(), col)));
    }
    std::int64_t Int(int col) const { return sqlite3_column_int64(st.get(), col); }
    std::optional<Sha256::Digest> Digest(int col) const {
        if (sqlite3_column_bytes(st.get(), col) != 32) return std::nullopt;
        Sha256::Digest d{};
        std::memcpy(d.data(), sqlite3_column_blob(st.get(), col), d.size());
        return d;
    }
};

void CallNotes::Closer::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

CallNotes::CallNotes(fs::path file) : file_(std::move(file)) {}
CallNotes::CallNotes(CallNotes&&) noexcept = default;
CallNotes& CallNotes::operator=(CallNotes&&) noexcept = default;
CallNotes::~CallNotes() = default;

CallNotes CallNotes::ForStore(const fs::path& storeRoot) {
    return CallNotes(storeRoot / kNotesFileName);
}

CallNotes CallNotes::ForUser() {
    const fs::path config = ConfigDir();
    if (config == ExeDir() / "Config") return CallNotes(config / kNotesFileName);
    fs::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
        data = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        data = fs::path(home) / ".local" / "share";
    else
        data = config;
    return CallNotes(data / "linekeeper" / kNotesFileName);
}

CallNotes CallNotes::AtFile(const fs::path& file) {
    return CallNotes(file);
}

bool CallNotes::Fail(int rc, const std::string& what) {
    const int primary = rc & 0xff;
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
        problem_ = file_.string() + " is damaged or not a notes database; notes are off";
        db_.reset();
    } else if (primary == SQLITE_CANTOPEN && !db_) {
        problem_ = file_.string() + ": cannot open the notes database; notes are off";
    } else if (problem_.empty() && !db_) {
        problem_ = file_.string() + ": " + what + "; notes are off";
    }
    return false;
}

bool CallNotes::Open(Need need) {
    if (!problem_.empty()) return false;
    if (db_) return true;
    std::string why;
    if (LinkOrOther(file_, why)) {
        problem_ = why + "; notes are off";
        return false;
    }
    std::error_code ec;
    const bool exists = fs::exists(fs::symlink_status(file_, ec));
    if (!exists) {
        if (need == Need::Read) return false;  // no notes yet
        fs::create_directories(file_.parent_path(), ec);
    }
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(file_.c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK) {
        const std::string msg = raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
        if (!exists && need == Need::Write) return false;  // the write reports it
        problem_ = file_.string() + ": " + msg + "; notes are off";
        return false;
    }
    sqlite3_extended_result_codes(db.get(), 1);
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    // The journal sits beside the database; it must be a file of its own too.
    if (LinkOrOther(fs::path(file_.string() + "-journal"), why)) {
        problem_ = why + "; notes are off";
        return false;
    }
    db_ = std::move(db);
    int version = 0;
    {
        // Whatever goes wrong while the database is first read turns notes off.
        auto broken = [&](int rc) {
            const std::string msg = sqlite3_errmsg(db_.get());
            Fail(rc, msg);
            if (problem_.empty()) problem_ = file_.string() + ": " + msg + "; notes are off";
            db_.reset();
            return false;
        };
        Statement mode(db_.get(), "PRAGMA journal_mode = DELETE");
        while (mode.Step()) {
        }
        if (!mode.Ok()) return broken(mode.rc);
        Statement v(db_.get(), "PRAGMA user_version");
        if (v.Step()) version = static_cast<int>(v.Int(0));
        if (!v.Ok()) return broken(v.rc);
        Statement check(db_.get(), "PRAGMA quick_check");
        if (check.Step() && check.Text(0) != "ok") return broken(SQLITE_CORRUPT);
        if (!check.Ok()) return broken(check.rc);
    }
    if (version > kSchemaVersion) {
        problem_ = file_.string() + " was written by a newer LineKeeper; notes are off";
        db_.reset();
        return false;
    }
    if (version == kSchemaVersion) return true;

    int lockError = 0;
    auto lock =
        IndexLock::Acquire(fs::path(file_.string() + "-lock"), IndexLock::Mode::Auto, &lockError);
    std::string failure;
    if (!lock) {
        failure = std::string("cannot lock the notes: ") + std::strerror(lockError);
    } else if (sqlite3_exec(db_.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) {
        // Another PC may have brought the schema up meanwhile.
        Statement v(db_.get(), "PRAGMA user_version");
        if (v.Step()) version = static_cast<int>(v.Int(0));
        v.st.reset();
        int rc = SQLITE_OK;
        for (int step = version; step < kSchemaVersion && rc == SQLITE_OK; ++step) {
            rc = sqlite3_exec(db_.get(), kMigrations[step], nullptr, nullptr, nullptr);
            const std::string set = "PRAGMA user_version = " + std::to_string(step + 1);
            if (rc == SQLITE_OK)
                rc = sqlite3_exec(db_.get(), set.c_str(), nullptr, nullptr, nullptr);
        }
        if (rc == SQLITE_OK) rc = sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return true;
        failure = sqlite3_errmsg(db_.get());
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        if ((rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB) return Fail(rc, failure);
    } else {
        failure = sqlite3_errmsg(db_.get());
    }
    db_.reset();
    // A database never written (an empty file we cannot write) holds no notes.
    if (version == 0 && need == Need::Read) return false;
    problem_ =
        file_.string() + ": cannot prepare the notes database (" + failure + "); notes are off";
    return false;
}

std::optional<CallIdentity> CallNotes::IdentityOf(const CallRecord& record, std::string* reason) {
    auto opened = OpenRecording(record, reason);
    if (!opened) return std::nullopt;
    CallIdentity id{opened->name, opened->size, {}};
    auto& cached = hashes_[opened->path];
    if (cached.size == opened->size && cached.changed == opened->changed && cached.changed != 0) {
        id.hash = cached.hash;
        return id;
    }
    const auto hash = HashFile(opened->file.Get());
    if (!hash) {
        if (reason != nullptr) *reason = opened->path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    cached = {opened->size, opened->changed, *hash};
    id.hash = *hash;
    return id;
}

std::optional<std::int64_t> CallNotes::CallId(const CallRecord& record, bool create,
                                              std::string* reason) {
    if (!create) {
        // The name first, from the record alone; the file is opened only
        // when a call of that name has notes, and read for its hash only
        // when one of them has its size too.
        Statement st(db_.get(), "SELECT id, size, sha256 FROM calls WHERE name = ?1");
        st.Bind(1, RecordingName(record));
        struct Candidate {
            std::int64_t call;
            std::int64_t size;
            Sha256::Digest hash;
        };
        std::vector<Candidate> candidates;
        while (st.Step())
            if (auto d = st.Digest(2)) candidates.push_back({st.Int(0), st.Int(1), *d});
        if (!st.Ok()) {
            Fail(st.rc, sqlite3_errmsg(db_.get()));
            return std::nullopt;
        }
        if (candidates.empty()) return std::nullopt;
        {
            const auto opened = OpenRecording(record, nullptr);
            if (!opened || std::none_of(candidates.begin(), candidates.end(),
                                        [&](const Candidate& c) { return c.size == opened->size; }))
                return std::nullopt;
        }
        const auto id = IdentityOf(record, nullptr);
        if (!id) return std::nullopt;
        for (const auto& c : candidates)
            if (c.size == id->size && c.hash == id->hash) return c.call;
        return std::nullopt;
    }
    const auto id = IdentityOf(record, reason);
    if (!id) return std::nullopt;
    Statement insert(db_.get(),
                     "INSERT OR IGNORE INTO calls(name, size, sha256) VALUES(?1, ?2, ?3)");
    insert.Bind(1, id->name).Bind(2, id->size).Bind(3, id->hash).Step();
    Statement select(db_.get(),
                     "SELECT id FROM calls WHERE name = ?1 AND size = ?2 AND sha256 = ?3");
    select.Bind(1, id->name).Bind(2, id->size).Bind(3, id->hash);
    if (insert.Ok() && select.Step()) return select.Int(0);
    if (reason != nullptr) *reason = sqlite3_errmsg(db_.get());
    return std::nullopt;
}

CallAnnotation CallNotes::Of(const CallRecord& record) {
    CallAnnotation out;
    if (!Open(Need::Read)) return out;
    const auto call = CallId(record, false, nullptr);
    if (!call) return out;
    Statement note(db_.get(), "SELECT text FROM notes WHERE call = ?1");
    note.Bind(1, *call);
    if (note.Step()) out.note = note.Text(0);
    Statement tags(db_.get(), "SELECT tag FROM call_tags WHERE call = ?1 ORDER BY tag");
    tags.Bind(1, *call);
    while (tags.Step())
        out.tags.push_back(tags.Text(0));
    if (!note.Ok() || !tags.Ok()) {
        Fail(!note.Ok() ? note.rc : tags.rc, sqlite3_errmsg(db_.get()));
        return {};
    }
    return out;
}

std::string CallNotes::SearchText(const CallRecord& record) {
    const CallAnnotation a = Of(record);
    std::string text = a.note.value_or("");
    for (const auto& t : a.tags) {
        if (!text.empty()) text += ' ';
        text += t;
    }
    return text;
}

bool CallNotes::RefreshSearchRow(std::int64_t call) {
    Statement drop(db_.get(), "DELETE FROM note_search WHERE rowid = ?1");
    drop.Bind(1, call).Step();
    Statement add(db_.get(),
                  "INSERT INTO note_search(rowid, note, tags) SELECT ?1,"
                  " COALESCE((SELECT text FROM notes WHERE call = ?1), ''),"
                  " COALESCE((SELECT group_concat(tag, ' ') FROM call_tags WHERE call = ?1), '')"
                  " WHERE EXISTS(SELECT 1 FROM notes WHERE call = ?1)"
                  " OR EXISTS(SELECT 1 FROM call_tags WHERE call = ?1)");
    add.Bind(1, call).Step();
    return drop.Ok() && add.Ok();
}

NotesWrite CallNotes::Write(const CallRecord& record,
                            const std::function<bool(std::int64_t)>& change) {
    NotesWrite out;
    if (!Open(Need::Write)) {
        out.message =
            problem_.empty() ? file_.string() + ": cannot create the notes database" : problem_;
        return out;
    }
    if (sqlite3_db_readonly(db_.get(), "main") == 1) {
        out.message = file_.string() + " is read-only; the note was not saved";
        return out;
    }
    std::string reason;
    // The hash is read before the lock so that other PCs do not wait for it.
    if (!IdentityOf(record, &reason)) {
        out.message = "the call has no readable recording to keep a note on (" + reason + ")";
        return out;
    }
    int lockError = 0;
    auto lock =
        IndexLock::Acquire(fs::path(file_.string() + "-lock"), IndexLock::Mode::Auto, &lockError);
    if (!lock) {
        out.message = std::string("cannot lock the notes: ") + std::strerror(lockError);
        return out;
    }
    int rc = sqlite3_exec(db_.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    bool done = false;
    if (rc == SQLITE_OK) {
        const auto call = CallId(record, true, &reason);
        done = call && change(*call) && RefreshSearchRow(*call);
        if (done) {
            Statement tidy(
                db_.get(),
                "DELETE FROM calls WHERE id = ?1 AND NOT EXISTS(SELECT 1 FROM notes"
                " WHERE call = ?1) AND NOT EXISTS(SELECT 1 FROM call_tags WHERE call = ?1)");
            done = tidy.Bind(1, *call).Step() || tidy.Ok();
        }
        rc = done ? sqlite3_exec(db_.get(), "COMMIT", nullptr, nullptr, nullptr)
                  : sqlite3_extended_errcode(db_.get());
    }
    if (rc == SQLITE_OK) {
        out.ok = true;
        return out;
    }
    const std::string error = sqlite3_errmsg(db_.get());
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    switch (rc & 0xff) {
        case SQLITE_FULL:
            out.message = "the disk holding " + file_.string() + " is full; the note was not saved";
            break;
        case SQLITE_READONLY:
            out.message = file_.string() + " is read-only; the note was not saved";
            break;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            out.message = "another computer keeps the notes busy; try again";
            break;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            Fail(rc, error);
            out.message = problem_;
            break;
        default:
            out.message = file_.string() + ": " + error + "; the note was not saved";
    }
    return out;
}

NotesWrite CallNotes::SetNote(const CallRecord& record, std::string_view text) {
    const CheckedText checked = CheckNote(text);
    if (!checked.ok) return {false, checked.message};
    const std::string& note = checked.text;
    return Write(record, [&](std::int64_t call) {
        if (note.empty()) {
            Statement st(db_.get(), "DELETE FROM notes WHERE call = ?1");
            return st.Bind(1, call).Step() || st.Ok();
        }
        Statement st(
            db_.get(),
            "INSERT INTO notes(call, text, written) VALUES(?1, ?2, strftime('%s', 'now'))"
            " ON CONFLICT(call) DO UPDATE SET text = excluded.text, written = excluded.written");
        return st.Bind(1, call).Bind(2, note).Step() || st.Ok();
    });
}

NotesWrite CallNotes::AddTag(const CallRecord& record, std::string_view tag) {
    const CheckedText checked = CheckTag(tag);
    if (!checked.ok) return {false, checked.message};
    return Write(record, [&](std::int64_t call) {
        Statement add(db_.get(), "INSERT OR IGNORE INTO call_tags(call, tag) VALUES(?1, ?2)");
        Statement list(db_.get(), "INSERT OR IGNORE INTO tag_names(tag) VALUES(?1)");
        return (add.Bind(1, call).Bind(2, checked.text).Step() || add.Ok()) &&
               (list.Bind(1, checked.text).Step() || list.Ok());
    });
}

NotesWrite CallNotes::RemoveTag(const CallRecord& record, std::string_view tag) {
    const CheckedText checked = CheckTag(tag);
    if (!checked.ok) return {false, checked.message};
    return Write(record, [&](std::int64_t call) {
        Statement st(db_.get(), "DELETE FROM call_tags WHERE call = ?1 AND tag = ?2");
        return st.Bind(1, call).Bind(2, checked.text).Step() || st.Ok();
    });
}

NotesWrite CallNotes::AddToTagList(std::string_view tag) {
    const CheckedText checked = CheckTag(tag);
    if (!checked.ok) return {false, checked.message};
    if (!Open(Need::Write))
        return {false, problem_.empty() ? "cannot create the notes database" : problem_};
    int lockError = 0;
    auto lock =
        IndexLock::Acquire(fs::path(file_.string() + "-lock"), IndexLock::Mode::Auto, &lockError);
    if (!lock) return {false, std::string("cannot lock the notes: ") + std::strerror(lockError)};
    Statement st(db_.get(), "INSERT OR IGNORE INTO tag_names(tag) VALUES(?1)");
    if (st.Bind(1, checked.text).Step() || st.Ok()) return {true, {}};
    return {false, file_.string() + ": " + sqlite3_errmsg(db_.get())};
}

std::vector<std::string> CallNotes::TagsInUse() {
    std::vector<std::string> out;
    if (!Open(Need::Read)) return out;
    Statement st(db_.get(), "SELECT DISTINCT tag FROM call_tags ORDER BY tag");
    while (st.Step())
        out.push_back(st.Text(0));
    if (!st.Ok()) Fail(st.rc, sqlite3_errmsg(db_.get()));
    return out;
}

std::vector<std::string> CallNotes::TagList() {
    std::vector<std::string> out;
    if (!Open(Need::Read)) return out;
    Statement st(db_.get(), "SELECT tag FROM tag_names UNION SELECT tag FROM call_tags ORDER BY 1");
    while (st.Step())
        out.push_back(st.Text(0));
    if (!st.Ok()) Fail(st.rc, sqlite3_errmsg(db_.get()));
    return out;
}

std::vector<CallIdentity> CallNotes::Identities(Statement& st) {
    std::vector<CallIdentity> out;
    while (st.Step())
        if (auto d = st.Digest(2)) out.push_back({st.Text(0), st.Int(1), *d});
    if (!st.Ok()) Fail(st.rc, sqlite3_errmsg(db_.get()));
    return out;
}

std::vector<CallIdentity> CallNotes::Find(std::string_view words) {
    const std::string query = MatchQuery(words);
    if (query.empty() || !Open(Need::Read)) return {};
    Statement st(db_.get(),
                 "SELECT c.name, c.size, c.sha256 FROM note_search JOIN calls c"
                 " ON c.id = note_search.rowid WHERE note_search MATCH ?1");
    st.Bind(1, query);
    return Identities(st);
}

std::vector<CallIdentity> CallNotes::WithTag(std::string_view tag) {
    if (!Open(Need::Read)) return {};
    Statement st(db_.get(),
                 "SELECT c.name, c.size, c.sha256 FROM call_tags t JOIN calls c ON c.id = t.call"
                 " WHERE t.tag = ?1");
    st.Bind(1, tag);
    return Identities(st);
}

void CallNotes::SortByName(std::vector<CallIdentity>& calls) {
    std::sort(calls.begin(), calls.end(),
              [](const CallIdentity& a, const CallIdentity& b) { return a.name < b.name; });
}

bool CallNotes::IsAmong(const CallRecord& record, const std::vector<CallIdentity>& calls) {
    const std::string name = RecordingName(record);
    auto [first, last] = std::equal_range(
        calls.begin(), calls.end(), CallIdentity{name, 0, {}},
        [](const CallIdentity& a, const CallIdentity& b) { return a.name < b.name; });
    if (first == last) return false;
    const auto id = IdentityOf(record, nullptr);
    return id && std::find(first, last, *id) != last;
}

std::function<bool(const CallRecord&)> TaggedCallsOf(const fs::path& storeRoot) {
    auto notes = std::make_shared<std::optional<CallNotes>>();
    return [notes, storeRoot](const CallRecord& record) {
        if (!*notes) notes->emplace(CallNotes::ForStore(storeRoot));
        return !(*notes)->Of(record).tags.empty();
    };
}

}  // namespace lk
