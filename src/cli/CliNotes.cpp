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

}  // namespace lk::cli
