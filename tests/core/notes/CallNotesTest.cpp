#include <gtest/gtest.h>

#include <algorithm>

#include <sqlite3.h>

#include "notes/CallNotes.h"
#include "notes/NoteText.h"
#include "platform/TextCodec.h"
#include "support/TempDir.h"

namespace lk {
namespace {
namespace fs = std::filesystem;

// A store record naming `name` below `root`, whose recording holds `bytes`.
CallRecord RecordAt(const fs::path& root, const std::string& name, const std::string& bytes) {
    test::WriteText(root / name, bytes);
    CallRecord r;
    SetFieldText(r.filePath, FromUtf8(name));
    auto file = std::make_shared<RecordSourceFile>();
    file->root = root;
    r.origin.file = file;
    r.origin.position = 0;
    return r;
}

TEST(NoteText, WhatANoteAndATagMayHold) {
    struct Case {
        const char* what;
        bool tag;
        std::string in;
        bool ok;
        std::string kept;
    } const cases[] = {
        {"any script", false, "Привет, 你好 — ok 🙂", true,
         "Привет, 你好 — ok 🙂"},
        {"line ends", false, "a\r\nb\rc\nd", true, "a\nb\nc\nd"},
        {"tab kept", false, "a\tb", true, "a\tb"},
        {"bell", false, "a\ab", false, ""},
        {"C1 control", false, "a\xc2\x85z", false, ""},
        {"delete", false, "a\x7f", false, ""},
        {"overlong slash", false, "\xc0\xaf", false, ""},
        {"surrogate", false, "\xed\xa0\x80", false, ""},
        {"cut sequence", false, "ab\xe2\x82", false, ""},
        {"64 KiB", false, std::string(kMaxNoteBytes, 'n'), true, std::string(kMaxNoteBytes, 'n')},
        {"past 64 KiB", false, std::string(kMaxNoteBytes + 1, 'n'), false, ""},
        {"tag trimmed", true, "  done  ", true, "done"},
        {"tag comma", true, "a,b", false, ""},
        {"tag newline", true, "a\nb", false, ""},
        {"tag empty", true, "   ", false, ""},
        {"tag too long", true, std::string(101, 't'), false, ""},
        {"tag accents", true, "Rückfrage", true, "Rückfrage"},
    };
    for (const auto& c : cases) {
        const CheckedText got = c.tag ? CheckTag(c.in) : CheckNote(c.in);
        EXPECT_EQ(got.ok, c.ok) << c.what;
        if (c.ok) {
            EXPECT_EQ(got.text, c.kept) << c.what;
        } else {
            EXPECT_FALSE(got.message.empty()) << c.what;
        }
    }
}

TEST(CallNotes, FindsCallsByWordsOfNotesAndTags) {
    test::TempDir store, card;
    CallNotes notes = CallNotes::ForStore(store.path());
    const CallRecord a = RecordAt(store.path(), "a.wav", "first recording");
    const CallRecord b = RecordAt(store.path(), "b.wav", "second recording");
    const CallRecord c = RecordAt(store.path(), "c.wav", "third recording");
    // Reading before anything was written makes no file in the store.
    EXPECT_TRUE(notes.Of(a).Empty());
    EXPECT_FALSE(fs::exists(store / kNotesFileName));
    ASSERT_TRUE(notes.SetNote(a, "Rückruf wegen Angebot\nPreis 120 €").ok);
    ASSERT_TRUE(notes.SetNote(b, "Beschwerde über die LIEFERUNG").ok);
    ASSERT_TRUE(notes.AddTag(b, "Order").ok);
    ASSERT_TRUE(notes.AddTag(c, "complaint").ok);
    struct Case {
        std::string words;
        std::vector<std::string> names;
    } const cases[] = {
        {"ruckruf", {"a.wav"}},
        {"RÜCKRUF angeb", {"a.wav"}},
        {"lieferung über", {"b.wav"}},
        {"uber", {"b.wav"}},
        {"order", {"b.wav"}},
        {"compl", {"c.wav"}},
        {"120", {"a.wav"}},
        {"ruckruf order", {}},
        {"\"", {}},
        {"  ", {}},
        {"AND OR NOT", {}},
        {"pr", {"a.wav"}},
    };
    for (const auto& k : cases) {
        std::vector<std::string> got;
        for (const auto& id : notes.Find(k.words))
            got.push_back(id.name);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, k.names) << k.words;
    }
    EXPECT_TRUE(notes.Usable()) << notes.Problem();
    EXPECT_EQ(notes.SearchText(b), "Beschwerde über die LIEFERUNG Order");
    EXPECT_EQ(notes.TagsInUse(), (std::vector<std::string>{"Order", "complaint"}));
    ASSERT_TRUE(notes.AddToTagList("done").ok);
    EXPECT_EQ(notes.TagList(), (std::vector<std::string>{"Order", "complaint", "done"}));
    auto tagged = notes.WithTag("Order");
    CallNotes::SortByName(tagged);
    EXPECT_TRUE(notes.IsAmong(b, tagged));
    EXPECT_FALSE(notes.IsAmong(a, tagged));

    // The same recording elsewhere (a card, a copy) carries the note; one of
    // the same name and size but other bytes does not.
    const CallRecord copy = RecordAt(card.path(), "a.wav", "first recording");
    const CallRecord other = RecordAt(card.path() / "x", "a.wav", "first Recording");
    EXPECT_EQ(notes.Of(copy).note, "Rückruf wegen Angebot\nPreis 120 €");
    EXPECT_TRUE(notes.Of(other).Empty());
    // Clearing the note drops it from the search; tags stay searchable.
    ASSERT_TRUE(notes.SetNote(b, "").ok);
    EXPECT_TRUE(notes.Find("lieferung").empty());
    EXPECT_EQ(notes.Find("order").size(), 1u);
    EXPECT_FALSE(notes.Of(b).note);
    // A record without a recording cannot carry a note, and says why.
    CallRecord none = RecordAt(store.path(), "n.wav", "");
    fs::remove(store / "n.wav");
    const NotesWrite refused = notes.SetNote(none, "x");
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find("recording"), std::string::npos) << refused.message;
}

// The first schema had no search index; opening such a database adds it and
// indexes the notes already there.
TEST(CallNotes, BringsAnOlderDatabaseUpToDate) {
    test::TempDir store;
    const CallRecord a = RecordAt(store.path(), "a.wav", "bytes");
    const fs::path file = store / kNotesFileName;
    {
        CallNotes notes = CallNotes::AtFile(file);
        ASSERT_TRUE(notes.SetNote(a, "alter Vermerk").ok);
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DROP TABLE note_search; PRAGMA user_version = 1", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    {
        CallNotes notes = CallNotes::AtFile(file);
        ASSERT_EQ(notes.Find("vermerk").size(), 1u) << notes.Problem();
    }
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    CallNotes newer = CallNotes::AtFile(file);
    EXPECT_TRUE(newer.Of(a).Empty());
    EXPECT_NE(newer.Problem().find("newer"), std::string::npos) << newer.Problem();
    EXPECT_FALSE(newer.SetNote(a, "x").ok);
}

}  // namespace
}  // namespace lk
