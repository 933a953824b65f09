#include "card/RecordLists.h"

#include <algorithm>

namespace lk {

RecordLists::~RecordLists() {
    // Listeners outliving the lists still hear that the records go.
    for (RecordListId id : {RecordListId::Card, RecordListId::Backup, RecordListId::Folder})
        ReplaceAll(id);
}

void RecordLists::Tell(RecordListId id,
                       const std::unordered_set<const CallRecord*>& leaving) const {
    if (leaving.empty()) return;
    // A copy: a listener may stop listening while it is told.
    const auto listeners = listeners_;
    for (const auto& [n, listener] : listeners)
        if (listener) listener(LeavingRecords{id, leaving});
}

void RecordLists::ReplaceAll(RecordListId id, RecordList records) {
    RecordList& list = lists_[Index(id)];
    std::unordered_set<const CallRecord*> leaving;
    leaving.reserve(list.size());
    for (const RecordPtr& r : list)
        if (r) leaving.insert(r.get());
    Tell(id, leaving);
    RecordList old = std::move(list);
    list = std::move(records);
    old.clear();
}

CallRecord* RecordLists::Append(RecordListId id, RecordPtr record) {
    if (!record) return nullptr;
    CallRecord* borrowed = record.get();
    lists_[Index(id)].push_back(std::move(record));
    return borrowed;
}

bool RecordLists::Remove(RecordListId id, const CallRecord* record) {
    RecordList& list = lists_[Index(id)];
    const auto it = std::find_if(list.begin(), list.end(),
                                 [record](const RecordPtr& p) { return p.get() == record; });
    if (record == nullptr || it == list.end()) return false;
    Tell(id, {record});
    RecordPtr gone = std::move(*it);
    list.erase(it);
    gone.reset();
    return true;
}

int RecordLists::Listen(Listener listener) {
    const int id = nextListener_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void RecordLists::StopListening(int id) {
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

}  // namespace lk
