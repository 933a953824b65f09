#pragma once
// Folders named on the command line, seen the way the program sees them: a
// card folder becomes a removable volume with its own drive letter.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "card/CallLog.h"
#include "card/RecordLists.h"
#include "card/RecorderState.h"
#include "session/RecordSession.h"

namespace lk::cli {

struct CliCard {
    std::unique_ptr<RecordSession> session;
    CardVolume volume;
    int devType = 0;  // 1 when the card holds PhoneBook.dat
};

// nullopt (with a one-line reason in `error`) when `dir` is not a folder.
std::optional<CliCard> OpenCardFolder(const std::filesystem::path& dir, std::string& error);

// A card folder whose CallLog.dat can be read; prints the reason and gives
// nullopt otherwise.
std::optional<CliCard> OpenCardWithLog(const std::filesystem::path& dir);

// The card volume alone; prints the reason and gives nullopt when `dir` is not a folder.
std::optional<CardVolume> CardVolumeForDir(const std::filesystem::path& dir);

// Prints "linekeeper-cli: <message>" on stderr.
void PrintError(const std::string& message);

// A session that knows no card (for stores and plain folders).
std::unique_ptr<RecordSession> MakeCliSession();

// Where a command's records come from: a card folder, or a backup store of a family.
struct RecordSource {
    std::string card;
    std::string store;
    int family = -1;
    // A vCard file or folder whose names fill the card records' empty names.
    std::string contacts;
};

// The records of a card or a backup store, loaded the way the program loads them.
struct LoadedRecords {
    std::unique_ptr<RecordSession> session;
    RecordListId list = RecordListId::Card;
    int devType = 0;
    bool storeIndexFound = false;  // a store held index files of its family
    const RecordList& Records() const { return session->Records().List(list); }
};

// Loads `source.card` when given, else `source.store`. Prints the reason and
// gives nullopt when the folder or the contacts cannot be read.
std::optional<LoadedRecords> LoadCardOrStore(const RecordSource& source);

}  // namespace lk::cli
