#include <iostream>
#include <memory>

#include "Command.h"
#include "export/DecodeToWav.h"

namespace lk::cli {

namespace {

struct DecodeOptions {
    std::string file;
    std::string out;
};

int RunDecode(const DecodeOptions& o) {
    std::string reason;
    const auto result = DecodeRecordingToWav(o.file, o.out, &reason);
    if (result == DecodeToWavResult::Written) return kExitOk;
    std::cerr << "linekeeper-cli: " << (result == DecodeToWavResult::WriteFailed ? o.out : o.file)
              << ": " << DecodeToWavResultText(result);
    if (!reason.empty()) std::cerr << " (" << reason << ')';
    std::cerr << '\n';
    return kExitFailure;
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
