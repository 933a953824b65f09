#include <iostream>

#include "Command.h"

int main(int argc, char** argv) {
    CLI::App app{"linekeeper-cli: read and maintain call recorder cards and backup stores"};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Show help for every command");

    lk::cli::CommandContext ctx;
    lk::cli::AddRecordsCommand(app, ctx);
    lk::cli::AddInfoCommand(app, ctx);
    lk::cli::AddDecodeCommand(app, ctx);
    lk::cli::AddExportWavCommand(app, ctx);
    lk::cli::AddExportAudioCommand(app, ctx);
    lk::cli::AddDemoCardCommand(app, ctx);
    lk::cli::AddBackupCommand(app, ctx);
    lk::cli::AddRebuildCommand(app, ctx);
    lk::cli::AddImportCommand(app, ctx);
    lk::cli::AddRepairCommand(app, ctx);
    lk::cli::AddSearchCommand(app, ctx);
    lk::cli::AddPhoneBookCommand(app, ctx);
    lk::cli::AddContactsCommand(app, ctx);
    lk::cli::AddExportSheetCommand(app, ctx);
    lk::cli::AddMailCommand(app, ctx);
    lk::cli::AddVerifyCommand(app, ctx);
    lk::cli::AddAuditCommand(app, ctx);
    lk::cli::AddRetentionCommand(app, ctx);
    lk::cli::AddEraseCommand(app, ctx);
    lk::cli::AddNoteCommand(app, ctx);
    lk::cli::AddTagCommand(app, ctx);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "linekeeper-cli: " << e.what() << " (see --help)\n";
        return lk::cli::kExitUsage;
    }
    return ctx.exitCode;
}
