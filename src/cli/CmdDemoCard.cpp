// Writes a small, realistic family-0 card for trying the program without a
// recorder: a call log over two months and recordings in every encoding.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Command.h"
#include "DemoSound.h"
#include "card/CallLog.h"
#include "card/CallRecord.h"
#include "card/RecordFileCode.h"
#include "card/RecordingLength.h"
#include "export/RecordingWriter.h"
#include "platform/TextCodec.h"
#include "playback/XtrFormat.h"

namespace lk::cli {
namespace fs = std::filesystem;

namespace {

enum class Sound { Voice, Outgoing, Melody, Message, None };
enum class Container { Gsm, Ima, MuLaw, Wav, None };

struct DemoCall {
    int type;
    int month, day, hour, minute, second;
    const char* number;
    const char* name;
    Sound sound;
    Container container;
    double seconds;
    int mark = 0;
    const char* note = nullptr;  // note area text
    bool missingFile = false;
};

constexpr int kYear = 2026;

// October and November of one year; names and numbers are made up.
const DemoCall kCalls[] = {
    {Incoming, 10, 1, 9, 12, 5, "5550142", "Maria Keller", Sound::Voice, Container::Gsm, 6},
    {Outgoing, 10, 1, 11, 40, 31, "5550199", "City Garage", Sound::Outgoing, Container::Gsm, 7},
    {Missed, 10, 2, 8, 3, 0, "5550171", "", Sound::None, Container::None, 0},
    {Note, 10, 3, 18, 25, 44, "", "", Sound::Voice, Container::Ima, 4},
    {Incoming, 10, 5, 14, 2, 10, "5550107", "Dr. Osei Practice", Sound::Voice, Container::MuLaw, 5,
     1},
    {Message, 10, 6, 19, 51, 3, "5550188", "", Sound::Message, Container::Gsm, 5},
    {Outgoing, 10, 8, 10, 15, 27, "5550142", "Maria Keller", Sound::Outgoing, Container::Ima, 6},
    {Triggered, 10, 9, 16, 33, 9, "", "", Sound::Voice, Container::Gsm, 4},
    {Incoming, 10, 11, 12, 0, 51, "5550163", "Tom Brandt", Sound::Voice, Container::Gsm, 8, 1,
     "<bookmark><bstart>00:00:01</bstart><bend>00:00:03</bend><bookmark>\r\n"
     "Ask about the invoice from September"},
    {Missed, 10, 12, 7, 58, 0, "5550120", "Anna Novak", Sound::None, Container::None, 0},
    {Note2, 10, 14, 20, 10, 2, "", "", Sound::Melody, Container::MuLaw, 0},
    {Outgoing, 10, 15, 9, 5, 13, "5550177", "Lindqvist Bakery", Sound::Outgoing, Container::Wav, 5},
    {Incoming, 10, 17, 15, 45, 38, "5550131", "Sven Olsen", Sound::Voice, Container::Wav, 4},
    {Message, 10, 20, 21, 5, 0, "5550142", "Maria Keller", Sound::Message, Container::MuLaw, 4, 1},
    {Incoming, 10, 23, 10, 31, 22, "5550155", "Post Office", Sound::Voice, Container::Gsm, 5, 0,
     nullptr, true},
    {Outgoing, 10, 28, 13, 14, 41, "5550163", "Tom Brandt", Sound::Outgoing, Container::Gsm, 6},
    {Incoming, 11, 2, 9, 2, 17, "5550107", "Dr. Osei Practice", Sound::Voice, Container::Ima, 5},
    {Missed, 11, 3, 12, 20, 0, "5550188", "", Sound::None, Container::None, 0},
    {Note, 11, 4, 8, 45, 56, "", "", Sound::Voice, Container::Gsm, 3, 1, "Buy stamps"},
    {Outgoing, 11, 6, 17, 30, 4, "5550120", "Anna Novak", Sound::Outgoing, Container::MuLaw, 5},
    {Triggered, 11, 9, 3, 12, 40, "", "", Sound::Voice, Container::Ima, 3},
    {Incoming, 11, 10, 11, 11, 11, "5550199", "City Garage", Sound::Voice, Container::Gsm, 7},
    {Message, 11, 12, 18, 2, 29, "5550131", "Sven Olsen", Sound::Message, Container::Gsm, 4},
    {Incoming, 11, 15, 16, 20, 8, "5550142", "Maria Keller", Sound::Voice, Container::Wav, 6, 1},
    {Outgoing, 11, 18, 10, 0, 55, "5550155", "Post Office", Sound::Outgoing, Container::Gsm, 5},
    {Note2, 11, 20, 19, 30, 0, "", "", Sound::Melody, Container::Gsm, 0},
    {Incoming, 11, 22, 14, 41, 2, "5550177", "Lindqvist Bakery", Sound::Voice, Container::MuLaw, 4},
    {Triggered, 11, 25, 22, 7, 19, "", "", Sound::Voice, Container::Gsm, 3},
    {Outgoing, 11, 27, 8, 50, 36, "5550107", "Dr. Osei Practice", Sound::Outgoing, Container::Ima,
     5},
    {Incoming, 11, 29, 12, 33, 47, "5550163", "Tom Brandt", Sound::Voice, Container::Gsm, 5},
};

// The demo card names its second-kind notes with the short code, as older
// recorders do, so that both spellings are on it.
std::string FileCode(int type) {
    return type == Note2 ? std::string("N") : std::string(RecordFileCode(type));
}

Pcm MakeSound(const DemoCall& c, unsigned seed) {
    Pcm pcm;
    switch (c.sound) {
        case Sound::Voice:
            Append(pcm, SynthSilence(0.3, seed));
            Append(pcm, SynthVoice(c.seconds - 0.3, seed % 2 ? 115.0 : 205.0, seed));
            break;
        case Sound::Outgoing:
            Append(pcm, SynthDialTone(1.0));
            Append(pcm, SynthRingback(2.2));
            Append(pcm, SynthVoice(c.seconds - 3.2, seed % 2 ? 190.0 : 120.0, seed));
            break;
        case Sound::Message:
            Append(pcm, SynthVoice(c.seconds, 170.0 + 10.0 * (seed % 5), seed));
            break;
        case Sound::Melody:
            pcm = SynthMelody(seed);
            break;
        case Sound::None:
            break;
    }
    return pcm;
}

std::vector<std::uint8_t> Encode(Container c, const Pcm& pcm, const char* note) {
    const std::string_view n = note ? note : "";
    switch (c) {
        case Container::Gsm:
            return BuildXtrRecording(kFormatGsm, pcm, n);
        case Container::Ima:
            return BuildXtrRecording(kFormatImaAdpcm, pcm, n);
        case Container::MuLaw:
            return BuildXtrRecording(kFormatMuLaw, pcm, n);
        case Container::Wav:
            return BuildWavRecording(pcm);
        case Container::None:
            break;
    }
    return {};
}

int RunDemoCard(const std::string& dir) {
    const fs::path root(dir);
    std::error_code ec;
    fs::create_directories(root, ec);
    if (fs::exists(root / kCallLogFileName, ec)) {
        std::cerr << "linekeeper-cli: " << (root / kCallLogFileName).string()
                  << " exists; choose an empty folder\n";
        return kExitFailure;
    }
    std::vector<std::uint8_t> log;
    unsigned seed = 1;
    for (const auto& c : kCalls) {
        CardRecordFields f;
        f.type = c.type;
        f.mark = c.mark;
        f.year = kYear;
        f.month = c.month;
        f.day = c.day;
        f.hour = c.hour;
        f.minute = c.minute;
        f.number = FromUtf8(c.number);
        f.name = FromUtf8(c.name);
        if (c.container != Container::None) {
            char folder[8], name[64];
            std::snprintf(folder, sizeof folder, "%04d%02d", kYear, c.month);
            std::snprintf(name, sizeof name, "%s%02d%02d%02d%02d-%s-%s%s", folder, c.day, c.hour,
                          c.minute, c.second, FileCode(c.type).c_str(), c.number,
                          c.container == Container::Wav ? ".wav" : ".xtr");
            const auto image = Encode(c.container, MakeSound(c, seed++), c.note);
            const bool isXtr = c.container != Container::Wav;
            f.recordSeconds = static_cast<int>(RecordingSecondsRoundedUpOf(
                image.size(), isXtr, ByteSpan(image).first(xtr::kHeaderSize)));
            f.callSeconds = f.recordSeconds + static_cast<int>(seed % 3);
            f.relativePath = FromUtf8(std::string(folder) + "\\" + name);
            if (!c.missingFile && !WriteRecordingFile(root / folder / name, image)) {
                std::cerr << "linekeeper-cli: cannot write " << (root / folder / name).string()
                          << '\n';
                return kExitFailure;
            }
        }
        const auto record = BuildCardRecord(f, 0);
        log.insert(log.end(), record.begin(), record.end());
    }
    if (!WriteRecordingFile(root / kCallLogFileName, log)) {
        std::cerr << "linekeeper-cli: cannot write " << (root / kCallLogFileName).string() << '\n';
        return kExitFailure;
    }
    std::cout << "wrote " << std::size(kCalls) << " calls to " << root.string() << '\n';
    return kExitOk;
}

}  // namespace

void AddDemoCardCommand(CLI::App& app, CommandContext& ctx) {
    auto dir = std::make_shared<std::string>();
    auto* cmd = app.add_subcommand("demo-card", "Write a small demonstration card (family 0)");
    cmd->add_option("DIR", *dir, "Folder to write the card into")->required();
    cmd->callback([dir, &ctx] { ctx.exitCode = RunDemoCard(*dir); });
}

}  // namespace lk::cli
