#pragma once
// How records are printed by the commands that list them: one JSON object
// per record, or an aligned table for people.

#include <iosfwd>
#include <string>

#include <nlohmann/json.hpp>

#include "card/RecorderState.h"

namespace lk::cli {

// "YYYY-MM-DD hh:mm:ss"
std::string TimeText(const SystemTime& t);
// The type's name from the language file (texts 18 to 24), else its number.
std::string TypeName(int type);
// The family-1 card remark kept in cardBytes, or "".
std::string RemarkText(const CallRecord& record, int devType);

nlohmann::json RecordToJson(const CallRecord& record, int devType);
nlohmann::json RecordsToJson(const RecordList& records, int devType);
void PrintRecordTable(std::ostream& out, const RecordList& records, int devType);

}  // namespace lk::cli
