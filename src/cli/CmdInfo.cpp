#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "Command.h"
#include "app/Settings.h"
#include "card/RecordingLength.h"
#include "platform/TextCodec.h"
#include "playback/Annotation.h"
#include "playback/AudioCodec.h"
#include "playback/MarkedSegment.h"
#include "playback/WavLayout.h"
#include "playback/XtrHeader.h"

namespace lk::cli {
namespace fs = std::filesystem;

namespace {

struct InfoOptions {
    std::string file;
    bool json = false;
};

int RunInfo(const InfoOptions& o) {
    std::error_code ec;
    const auto size = fs::file_size(o.file, ec);
    // Header and note area are all that is read.
    const auto head =
        ec ? std::nullopt : ReadFileBytes(o.file, 0, xtr::kNoteAreaOffset + xtr::kNoteAreaSize);
    if (!head) {
        std::cerr << "linekeeper-cli: cannot read " << o.file << '\n';
        return kExitFailure;
    }
    const bool isXtr = IsXtrPath(o.file);
    const ByteSpan bytes(*head);
    XtrHeader header;
    std::string format;
    unsigned seconds = 0, roundedUp = 0;
    if (isXtr) {
        const auto h = ReadXtrHeader(bytes);
        if (!h) {
            std::cerr << "linekeeper-cli: " << o.file << " is shorter than a recording header\n";
            return kExitFailure;
        }
        header = *h;
        format = AudioCodingName(AudioCodec::ForXtrTag(header.formatTag).coding);
        seconds = RecordingSecondsOf(size, true, bytes.first(12));
        roundedUp = RecordingSecondsRoundedUpOf(size, true, bytes.first(12));
    } else {
        // A WAV file is described by what its header declares; one the
        // program cannot play is refused, as the player refuses it.
        const auto wav = ReadWavLayout(o.file);
        if (!wav.Playable()) {
            std::cerr << "linekeeper-cli: " << o.file << ": " << wav.reason << '\n';
            return kExitFailure;
        }
        header = {static_cast<std::uint32_t>(wav.dataOffset), wav.formatTag};
        format = DescribeWavFormat(wav);
        seconds = WavRecordingSeconds(wav, size);
        roundedUp = WavRecordingSecondsRoundedUp(wav, size);
    }
    std::optional<MarkedSegment> marked;
    std::optional<std::string> annotation;
    if (isXtr) {
        const auto area = NoteAreaOf(bytes);
        marked = ParseMarkedSegment(area);
        if (const auto raw = ReadAnnotation(area, kAnnotationLineLimit))
            annotation = ToUtf8(DecodeAnnotation(*raw, CardCodePage()));
    }

    if (o.json) {
        nlohmann::json j;
        j["formatTag"] = header.formatTag;
        j["format"] = format;
        j["dataOffset"] = header.dataOffset;
        j["seconds"] = seconds;
        j["secondsRoundedUp"] = roundedUp;
        j["markedSegment"] =
            marked ? nlohmann::json::array({marked->start, marked->end}) : nlohmann::json(nullptr);
        j["annotation"] = annotation ? nlohmann::json(*annotation) : nlohmann::json(nullptr);
        std::cout << j.dump(2) << '\n';
    } else {
        std::cout << "formatTag:        " << header.formatTag << '\n'
                  << "format:           " << format << '\n'
                  << "dataOffset:       " << header.dataOffset << '\n'
                  << "seconds:          " << seconds << '\n'
                  << "secondsRoundedUp: " << roundedUp << '\n'
                  << "markedSegment:    "
                  << (marked ? std::to_string(marked->start) + ".." + std::to_string(marked->end)
                             : std::string("none"))
                  << '\n'
                  << "annotation:       " << (annotation ? *annotation : std::string("none"))
                  << '\n';
    }
    return kExitOk;
}

}  // namespace

void AddInfoCommand(CLI::App& app, CommandContext& ctx) {
    auto opts = std::make_shared<InfoOptions>();
    auto* cmd = app.add_subcommand("info", "Show a recording's header, length and note");
    cmd->add_option("FILE", opts->file, "An .xtr or .wav recording")->required();
    cmd->add_flag("--json", opts->json, "Print JSON");
    cmd->callback([opts, &ctx] { ctx.exitCode = RunInfo(*opts); });
}

}  // namespace lk::cli
