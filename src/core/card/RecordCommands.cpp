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

RecordPtr DeleteRecordByPath(RecorderState& state, const std::filesystem::path& backupPath,
                             std::u16string_view path) {
    auto& list = state.CurrentRecordList();
    const auto it = std::find_if(list.begin(), list.end(), [&](const RecordPtr& r) {
        return r->inUse == 1 && r->IsLive() && FieldText(r->filePath) == path;
    });
    if (it == list.end()) return nullptr;
    auto& record = **it;
    // The record leaves the list even when the file cannot be changed: the
    // user asked for it to go, and the next load shows the truth.
    if (state.viewingBackup != 0) {
        ClearBackupEntry(backupPath, state.devType, record, record.index);
    } else {
        const auto card = CardOf(state, record);
        if (!card.root.empty()) ClearCardLogEntry(card, state.devType, record.index);
    }
    RecordPtr removed = std::move(*it);
    list.erase(it);
    return removed;
}

bool SetRecordMarkByPath(RecorderState& state, const std::filesystem::path& backupPath,
                         std::u16string_view path, int value) {
    auto& list = state.CurrentRecordList();
    const auto it = std::find_if(list.begin(), list.end(), [&](const RecordPtr& r) {
        return FieldText(r->filePath) == path;
    });
    if (it == list.end()) return false;
    auto& record = **it;
    if (state.viewingBackup != 0) {
        WriteBackupMark(backupPath, state.devType, record, record.index, value);
    } else {
        const auto card = CardOf(state, record);
        if (!card.root.empty()) WriteCardMark(card, state.devType, record.index, value);
    }
    return true;
}

}  // namespace lk
