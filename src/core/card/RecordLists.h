#pragma once
// The three record lists (card, backup store, imported folder) and the only
// way to change them. Panes, the player and dialogs borrow records by
// pointer; before a record is freed every listener hears that it is about to
// go, so nothing is left pointing at it.
//
// Threads: ReplaceAll and Remove run where the listeners may act (the UI
// thread in the program). Append frees nothing and tells nobody, so a worker
// may append while the list is shown, provided no one else changes that list
// meanwhile (the record session's claim keeps the loader and the backup apart).

#include <cstddef>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "card/CallRecord.h"

namespace lk {

using RecordPtr = std::unique_ptr<CallRecord>;
using RecordList = std::vector<RecordPtr>;

enum class RecordListId { Card, Backup, Folder };

// Records that are about to be freed, all from one list.
struct LeavingRecords {
    RecordListId list;
    const std::unordered_set<const CallRecord*>& records;
};

class RecordLists {
  public:
    using Listener = std::function<void(const LeavingRecords&)>;

    RecordLists() = default;
    RecordLists(const RecordLists&) = delete;
    RecordLists& operator=(const RecordLists&) = delete;
    ~RecordLists();

    const RecordList& List(RecordListId id) const { return lists_[Index(id)]; }
    const RecordList& Card() const { return List(RecordListId::Card); }
    const RecordList& Backup() const { return List(RecordListId::Backup); }
    const RecordList& Folder() const { return List(RecordListId::Folder); }

    // Frees every record of the list (after telling the listeners) and puts
    // `records` in their place.
    void ReplaceAll(RecordListId id, RecordList records = {});
    // Adds a record at the end; returns it (borrowed) or null for a null one.
    CallRecord* Append(RecordListId id, RecordPtr record);
    // Frees one record after telling the listeners; false when the list does
    // not hold it.
    bool Remove(RecordListId id, const CallRecord* record);

    // A listener hears of every record before it is freed. The number hands
    // it back to StopListening.
    [[nodiscard]] int Listen(Listener listener);
    void StopListening(int id);

  private:
    static std::size_t Index(RecordListId id) { return static_cast<std::size_t>(id); }
    void Tell(RecordListId id, const std::unordered_set<const CallRecord*>& leaving) const;

    RecordList lists_[3];
    std::vector<std::pair<int, Listener>> listeners_;
    int nextListener_ = 1;
};

}  // namespace lk
