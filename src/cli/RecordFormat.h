#pragma once
// How records are printed by the commands that list them: one JSON object
// per record, or an aligned table for people.

#include <array>
#include <functional>
#include <iosfwd>
#include <string>

#include <nlohmann/json.hpp>

#include "card/RecorderState.h"

namespace lk::cli {

// The texts a listing needs, read once per command rather than once per row
// (each read opens the language or settings file).
struct RecordTexts {
    std::array<std::string, 7> typeNames;  // types 2 to 8; empty: not in the language file
    std::string codePage;                  // of the card's remarks
    static RecordTexts Load();
};

// "YYYY-MM-DD hh:mm:ss"
std::string TimeText(const SystemTime& t);
// The type's name from the language file (texts 18 to 24), else its number.
std::string TypeName(int type);
std::string TypeName(int type, const RecordTexts& texts);
// The family-1 card remark kept in cardBytes, or "".
std::string RemarkText(const CallRecord& record, int devType);
std::string RemarkText(const CallRecord& record, int devType, const std::string& codePage);

nlohmann::json RecordToJson(const CallRecord& record, int devType);
nlohmann::json RecordToJson(const CallRecord& record, int devType, const RecordTexts& texts);
// A JSON array of RecordToJson objects, as nlohmann::json's dump(2) prints
// it, written one record at a time so that a long list is never held twice.
void WriteRecordsJson(std::ostream& out, const RecordList& records, int devType);
// The same with fields added to each object by `extra` before it is printed.
using RecordJsonExtra = std::function<void(const CallRecord&, nlohmann::json&)>;
void WriteRecordsJson(std::ostream& out, const RecordList& records, int devType,
                      const RecordJsonExtra& extra);
void PrintRecordTable(std::ostream& out, const RecordList& records, int devType);

}  // namespace lk::cli
