#include <iostream>
#include <memory>
#include <vector>

#include "Command.h"
#include "export/AtomicFile.h"
#include "export/WavHeaders.h"
#include "platform/ByteIo.h"
#include "playback/RecordingDecoder.h"

namespace lk::cli {

namespace {

struct DecodeOptions {
    std::string file;
    std::string out;
};

const char* OpenErrorText(RecordingOpenError e) {
    switch (e) {
        case RecordingOpenError::CannotRead:
            return "cannot read";
        case RecordingOpenError::Empty:
            return "empty file";
        case RecordingOpenError::NoHeader:
            return "shorter than a recording header";
        case RecordingOpenError::DataOffsetBeyond:
            return "ends before its audio starts";
        case RecordingOpenError::None:
            break;
    }
    return "cannot open";
}

int RunDecode(const DecodeOptions& o) {
    RecordingOpenError error = RecordingOpenError::None;
    const auto decoder = RecordingDecoder::Open(o.file, &error);
    if (!decoder) {
        std::cerr << "linekeeper-cli: " << o.file << ": " << OpenErrorText(error) << '\n';
        return kExitFailure;
    }
    const auto pcm = decoder->DecodeAll();
    if (pcm.size() > (UINT32_MAX - 64) / 2) {
        std::cerr << "linekeeper-cli: " << o.file << ": too long for a WAV file\n";
        return kExitFailure;
    }
    std::vector<std::uint8_t> data(pcm.size() * 2);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        WriteI16(data, 2 * i, pcm[i]);
    const auto header = Pcm16WavHeader(static_cast<std::uint32_t>(pcm.size()));
    if (!WriteFileAtomically(o.out, {ByteSpan(header), ByteSpan(data)})) {
        std::cerr << "linekeeper-cli: cannot write " << o.out << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

void AddDecodeCommand(CLI::App& app, CommandContext& ctx) {
    auto opts = std::make_shared<DecodeOptions>();
    auto* cmd = app.add_subcommand(
        "decode", "Decode a recording as the player does, into a 16-bit PCM WAV file");
    cmd->add_option("FILE", opts->file, "An .xtr or .wav recording")->required();
    cmd->add_option("-o,--output", opts->out, "The WAV file to write")->required();
    cmd->callback([opts, &ctx] { ctx.exitCode = RunDecode(*opts); });
}

}  // namespace lk::cli
