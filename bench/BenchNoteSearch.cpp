// Finding calls by what was written about them: the notes database's
// full-text query over 100,000 notes, as a find box asks it per keystroke.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sqlite3.h>
#include <unistd.h>

#include "card/CallRecord.h"
#include "notes/CallNotes.h"
#include "platform/TextCodec.h"

namespace {
namespace fs = std::filesystem;

constexpr int kNotes = 100000;

// Words of a made-up office vocabulary: 3000 of them, some with accents.
std::string Word(unsigned n) {
    static const char* const syllables[] = {"ka", "ro",  "lü", "men", "ta", "bé", "str", "ein",
                                            "or", "der", "pa", "sch", "ni", "ve", "qu",  "ol"};
    std::string w;
    for (int i = 0; i < 3; ++i, n /= 16)
        w += syllables[n % 16];
    return w;
}

// A database of kNotes notes of 10 to 40 words, made once.
const fs::path& Database() {
    static const fs::path file = [] {
        const fs::path dir =
            fs::temp_directory_path() / ("lk-bench-notes-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        // One note through the program makes the schema.
        {
            std::ofstream(dir / "seed.wav") << "seed";
            lk::CallRecord r;
            lk::SetFieldText(r.filePath, u"seed.wav");
            auto source = std::make_shared<lk::RecordSourceFile>();
            source->root = dir;
            r.origin.file = source;
            r.origin.position = 0;
            lk::CallNotes notes = lk::CallNotes::ForStore(dir);
            if (!notes.SetNote(r, "seed").ok) std::abort();
        }
        const fs::path db = dir / lk::kNotesFileName;
        sqlite3* h = nullptr;
        sqlite3_open(db.c_str(), &h);
        sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* call = nullptr;
        sqlite3_stmt* note = nullptr;
        sqlite3_stmt* search = nullptr;
        sqlite3_prepare_v2(
            h, "INSERT INTO calls(id, name, size, sha256) VALUES(?1, ?2, ?1, randomblob(32))", -1,
            &call, nullptr);
        sqlite3_prepare_v2(h, "INSERT INTO notes(call, text, written) VALUES(?1, ?2, 0)", -1, &note,
                           nullptr);
        sqlite3_prepare_v2(h, "INSERT INTO note_search(rowid, note, tags) VALUES(?1, ?2, ?3)", -1,
                           &search, nullptr);
        unsigned x = 12345;
        for (int i = 0; i < kNotes; ++i) {
            std::string text;
            x = x * 1103515245u + 12345u;
            const int words = 10 + static_cast<int>((x >> 16) % 31);
            for (int w = 0; w < words; ++w) {
                x = x * 1103515245u + 12345u;
                text += (w ? " " : "") + Word((x >> 8) % 3000);
            }
            const std::string name = "2016" + std::to_string(1000000000 + i) + "-I-555.wav";
            const std::string tag = i % 7 == 0 ? "order" : (i % 11 == 0 ? "complaint" : "");
            const sqlite3_int64 id = i + 10;
            sqlite3_bind_int64(call, 1, id);
            sqlite3_bind_text(call, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(note, 1, id);
            sqlite3_bind_text(note, 2, text.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(search, 1, id);
            sqlite3_bind_text(search, 2, text.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(search, 3, tag.c_str(), -1, SQLITE_TRANSIENT);
            for (sqlite3_stmt* st : {call, note, search}) {
                if (sqlite3_step(st) != SQLITE_DONE) std::abort();
                sqlite3_reset(st);
            }
        }
        sqlite3_finalize(call);
        sqlite3_finalize(note);
        sqlite3_finalize(search);
        sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(h);
        std::atexit([] {
            fs::remove_all(fs::temp_directory_path() /
                           ("lk-bench-notes-" + std::to_string(::getpid())));
        });
        return db;
    }();
    return file;
}

// The typed text grows as keystrokes come: one letter, a word, two words.
const char* const kTyped[] = {"k",  "ka", "karo", "karolü", "karolü ta", "order", "complaint strol",
                              "zzz"};

void BM_FindNotes(benchmark::State& state) {
    lk::CallNotes notes = lk::CallNotes::AtFile(Database());
    const char* typed = kTyped[state.range(0)];
    std::size_t found = 0;
    for (auto _ : state) {
        found = notes.Find(typed).size();
        benchmark::DoNotOptimize(found);
    }
    state.SetLabel(std::string("\"") + typed + "\" -> " + std::to_string(found) + " calls");
}
BENCHMARK(BM_FindNotes)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

}  // namespace
