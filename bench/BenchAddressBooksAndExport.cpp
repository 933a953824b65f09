// Reading address books of 10,000 contacts (plain, with photos, as a folder
// of single cards) and exporting an hour-long GSM recording to a WAV file
// (frames repacked, against decoding and encoding them again).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "export/ConvertXtrToWav.h"
#include "export/RecordingWriter.h"
#include "phonebook/ContactLibrary.h"
#include "playback/XtrFormat.h"

namespace {
namespace fs = std::filesystem;

constexpr int kContacts = 10000;

fs::path Scratch() {
    static const fs::path dir = [] {
        auto d = fs::temp_directory_path() / ("lk-bench-books-" + std::to_string(::getpid()));
        fs::create_directories(d);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(
                fs::temp_directory_path() / ("lk-bench-books-" + std::to_string(::getpid())), ec);
        });
        return d;
    }();
    return dir;
}

// A card as phones export them: names, three numbers with separators, mail,
// an address, and optionally a 4 KB photo.
std::string Card(int i, bool photo) {
    std::string s = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Family" + std::to_string(i) +
                    ";Given;;;\r\nFN:Given Family" + std::to_string(i) +
                    "\r\nTEL;TYPE=CELL:+1 (555) 555-" + std::to_string(1000 + i % 9000) +
                    "\r\nTEL;TYPE=WORK:555." + std::to_string(2000 + i % 8000) +
                    "\r\nTEL;TYPE=HOME:tel:+1-555-" + std::to_string(3000 + i % 7000) +
                    "\r\nEMAIL:given" + std::to_string(i) +
                    "@example.com\r\nADR;TYPE=HOME:;;1 Main Street;Springfield;;12345;USA\r\n";
    if (photo) {
        s += "PHOTO;ENCODING=b;TYPE=JPEG:";
        const std::string line(74, 'Q');
        for (int l = 0; l < 58; ++l)
            s += line + "\r\n ";
        s += "QQ==\r\n";
    }
    return s + "END:VCARD\r\n";
}

const fs::path& Book(bool photos) {
    static fs::path paths[2];
    auto& p = paths[photos ? 1 : 0];
    if (p.empty()) {
        p = Scratch() / (photos ? "photos.vcf" : "plain.vcf");
        std::ofstream out(p, std::ios::binary);
        for (int i = 0; i < kContacts; ++i)
            out << Card(i, photos);
    }
    return p;
}

void ReadBook(benchmark::State& state, const fs::path& source) {
    lk::ContactList contacts;
    for (auto _ : state) {
        const auto r = lk::LoadContactsFrom(source, contacts);
        if (r.contacts != kContacts) state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(contacts.data());
    }
    state.counters["bytes"] =
        static_cast<double>(fs::is_directory(source) ? 0 : fs::file_size(source));
}

void BM_Read10000Contacts(benchmark::State& s) {
    ReadBook(s, Book(false));
}
void BM_Read10000ContactsWithPhotos(benchmark::State& s) {
    ReadBook(s, Book(true));
}
void BM_Read10000ContactsFromAFolder(benchmark::State& s) {
    const auto dir = Scratch() / "vdir";
    if (!fs::exists(dir)) {
        fs::create_directories(dir);
        for (int i = 0; i < kContacts; ++i)
            std::ofstream(dir / ("c" + std::to_string(i) + ".vcf"), std::ios::binary)
                << Card(i, false);
    }
    ReadBook(s, dir);
}

// An hour of speech-like GSM: the second form has its first frame damaged,
// which sends the export down the decode-and-encode path.
const fs::path& HourOfGsm(bool damaged) {
    static fs::path paths[2];
    auto& p = paths[damaged ? 1 : 0];
    if (p.empty()) {
        std::vector<std::int16_t> pcm(8000 * 3600);
        for (std::size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = static_cast<std::int16_t>(((i / 40) % 2 ? 3000 : -3000) + (i * 7919) % 500);
        auto image = lk::BuildXtrRecording(lk::kFormatGsm, pcm);
        if (damaged) image[lk::kRecorderDataOffset] = 0x11;
        p = Scratch() / (damaged ? "damaged.xtr" : "hour.xtr");
        lk::WriteRecordingFile(p, image);
    }
    return p;
}

void Export(benchmark::State& state, bool damaged) {
    const auto& source = HourOfGsm(damaged);
    const auto out = Scratch() / "out.wav";
    for (auto _ : state)
        if (lk::ConvertXtrToWav(source, out) != lk::ConvertResult::Converted)
            state.SkipWithError("not converted");
}

void BM_ExportHourOfGsmRepacked(benchmark::State& s) {
    Export(s, false);
}
void BM_ExportHourOfGsmDecodedAndEncoded(benchmark::State& s) {
    Export(s, true);
}

}  // namespace

BENCHMARK(BM_Read10000Contacts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read10000ContactsWithPhotos)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read10000ContactsFromAFolder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportHourOfGsmRepacked)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportHourOfGsmDecodedAndEncoded)->Unit(benchmark::kMillisecond);
