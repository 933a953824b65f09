#include "card/RecordCommands.h"

#include <algorithm>

#include "card/BackupStore.h"
#include "card/CallLog.h"

namespace lk {

namespace {

CardVolume CardOf(const RecorderState& state, const CallRecord& record) {
    CardVolume card;
    card.letter = static_cast<char>(record.cardPath[0]);
    if (const auto volume = state.volumes.Find(card.letter)) card.root = volume->root;
    return card;
}

}  // namespace

RecordDeleteResult DeleteRecordByPath(RecorderState& state, const std::filesystem::path& backupPath,
                                      std::u16string_view path) {
    const RecordList& list = state.CurrentRecordList();
    const auto it = std::find_if(list.begin(), list.end(), [&](const RecordPtr& r) {
        return r->inUse == 1 && r->IsLive() && FieldText(r->filePath) == path;
    });
    if (it == list.end()) return RecordDeleteResult::NotFound;
    CallRecord& record = **it;
    // An entry that stays in the file would bring the record back on the next
    // load: that is no deletion, and the record keeps its place.
    bool cleared = false;
    if (state.viewingBackup != 0) {
        cleared = ClearBackupEntry(backupPath, state.devType, record, record.index);
    } else {
        const auto card = CardOf(state, record);
        cleared = !card.root.empty() && ClearCardLogEntry(card, state.devType, record.index);
    }
    if (!cleared) return RecordDeleteResult::EntryNotCleared;
    (void)state.records.Remove(state.CurrentListId(), &record);  // found above
    return RecordDeleteResult::Deleted;
}

bool SetRecordMarkByPath(RecorderState& state, const std::filesystem::path& backupPath,
                         std::u16string_view path, int value) {
    const RecordList& list = state.CurrentRecordList();
    const auto it = std::find_if(list.begin(), list.end(), [&](const RecordPtr& r) {
        return FieldText(r->filePath) == path;
    });
    if (it == list.end()) return false;
    CallRecord& record = **it;
    if (state.viewingBackup != 0)
        return WriteBackupMark(backupPath, state.devType, record, record.index, value);
    const auto card = CardOf(state, record);
    return !card.root.empty() && WriteCardMark(card, state.devType, record.index, value);
}

}  // namespace lk
