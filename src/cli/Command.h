#pragma once
// Each linekeeper-cli subcommand lives in its own file and registers itself
// on the CLI11 app; its callback stores the process exit code in `exitCode`.

#include <CLI/CLI.hpp>

namespace lk::cli {

struct CommandContext {
    int exitCode = 0;
};

// Exit codes shared by all subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // missing or unreadable input
inline constexpr int kExitUsage = 2;    // bad arguments

void AddRecordsCommand(CLI::App& app, CommandContext& ctx);
void AddInfoCommand(CLI::App& app, CommandContext& ctx);
void AddDecodeCommand(CLI::App& app, CommandContext& ctx);
void AddExportWavCommand(CLI::App& app, CommandContext& ctx);
void AddExportAudioCommand(CLI::App& app, CommandContext& ctx);
void AddDemoCardCommand(CLI::App& app, CommandContext& ctx);
void AddBackupCommand(CLI::App& app, CommandContext& ctx);
void AddRebuildCommand(CLI::App& app, CommandContext& ctx);
void AddImportCommand(CLI::App& app, CommandContext& ctx);
void AddRepairCommand(CLI::App& app, CommandContext& ctx);
void AddSearchCommand(CLI::App& app, CommandContext& ctx);
void AddPhoneBookCommand(CLI::App& app, CommandContext& ctx);
void AddContactsCommand(CLI::App& app, CommandContext& ctx);
void AddExportSheetCommand(CLI::App& app, CommandContext& ctx);
void AddMailCommand(CLI::App& app, CommandContext& ctx);
void AddVerifyCommand(CLI::App& app, CommandContext& ctx);
void AddAuditCommand(CLI::App& app, CommandContext& ctx);
void AddRetentionCommand(CLI::App& app, CommandContext& ctx);
void AddEraseCommand(CLI::App& app, CommandContext& ctx);
void AddNoteCommand(CLI::App& app, CommandContext& ctx);
void AddTagCommand(CLI::App& app, CommandContext& ctx);

}  // namespace lk::cli
