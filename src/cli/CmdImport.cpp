#include <iostream>
#include <memory>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "CliCard.h"
#include "Command.h"
#include "RecordFormat.h"
#include "TerminalProgress.h"
#include "backup/ImportRecords.h"
#include "phonebook/ContactLibrary.h"

namespace lk::cli {

namespace {

struct ImportOptions {
    std::string dir;
    std::string contacts;
    bool json = false;
};

int RunImport(const ImportOptions& o) {
    std::error_code ec;
    if (!std::filesystem::is_directory(o.dir, ec)) {
        PrintError("cannot read folder " + o.dir);
        return kExitFailure;
    }
    ContactList contacts;
    if (!o.contacts.empty()) {
        // A file or a folder of vCards; one that cannot be read is an error.
        if (const auto read = LoadContactsFrom(o.contacts, contacts); !read.Ok()) {
            PrintError(read.message);
            return kExitFailure;
        }
    } else {
        FetchContacts(contacts);  // the "ContactsFile" setting, when set
    }

    RecordList records;
    TerminalProgress bar("import");
    const ImportResult result = ImportFolder(o.dir, records, contacts, bar, {});
    bar.End();
    if (o.json) {
        WriteRecordsJson(std::cout, records, 0);
    } else {
        PrintRecordTable(std::cout, records, 0);
        std::cout << result.imported << " imported, " << result.rejected << " skipped of "
                  << result.candidates << " recording files (" << result.filesListed
                  << " files listed)\n";
    }
    return kExitOk;
}

}  // namespace

void AddImportCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<ImportOptions>();
    auto* cmd = app.add_subcommand(
        "import", "Build records from the names of the recordings in a folder and its subfolders");
    cmd->add_option("DIR", o->dir, "Folder to import")->required();
    cmd->add_option("--contacts", o->contacts,
                    "vCard file or folder whose names are matched to the numbers");
    cmd->add_flag("--json", o->json, "Print JSON");
    cmd->callback([o, &ctx] { ctx.exitCode = RunImport(*o); });
}

}  // namespace lk::cli
