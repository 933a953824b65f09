#include "CliNotes.h"

#include "app/Settings.h"
#include "card/BackupStore.h"
#include "platform/TextCodec.h"

namespace lk::cli {

CallNotes NotesFor(const RecordSource& source, int devType) {
    if (!source.store.empty()) return CallNotes::ForStore(StoreRoot(source.store, devType));
    const auto backupPath = BackupPath();
    if (!backupPath.empty()) return CallNotes::ForStore(StoreRoot(backupPath, devType));
    return CallNotes::ForUser();
}

void ReportNotesProblem(const CallNotes& notes) {
    if (!notes.Usable()) PrintError(notes.Problem());
}

const CallRecord* FindRecordByFileName(const RecordList& records, const std::string& name) {
    if (name.empty()) return nullptr;
    for (const auto& r : records) {
        const std::string path = ToUtf8(FieldText(r->filePath));
        const auto slash = path.find_last_of("/\\");
        if ((slash == std::string::npos ? path : path.substr(slash + 1)) == name) return r.get();
    }
    return nullptr;
}

bool Took(const NotesWrite& written) {
    if (!written.ok) PrintError(written.message);
    return written.ok;
}

void AddNamedCallOptions(CLI::App* cmd, NamedCall& call) {
    auto* card = cmd->add_option("--card", call.source.card, "Folder of a recorder's card");
    auto* store =
        cmd->add_option("--store", call.source.store, "Backup folder (holds the store folders)");
    auto* family =
        cmd->add_option("--family", call.source.family, "Device family of the store (0 or 1)")
            ->check(CLI::IsMember({0, 1}));
    cmd->add_option("--file", call.file, "The recording's file name, without folders")->required();
    card->excludes(store);
    store->needs(family);
    family->needs(store);
}

void RequireCardOrStore(const NamedCall& call, const std::string& command) {
    if (call.source.card.empty() && call.source.store.empty())
        throw CLI::ValidationError(command, "give --card DIR or --store DIR --family N");
}

}  // namespace lk::cli
