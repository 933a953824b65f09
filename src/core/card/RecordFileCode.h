#pragma once
// The type code in a recording's file name (YYYYMMDDhhmmss-CODE-number):
// what the recorder writes, what the backup writes and what the loaders read.

#include <string_view>

namespace lk {

// The code written for a record type: "I" for incoming, missed and messages,
// "NOTE" for both note kinds, "TRIG" for triggered recordings, "O" otherwise.
[[nodiscard]] std::string_view RecordFileCode(int type);

// "I" 2, "O" 4, "N"/"NOTE" 5, "TRIG" 7; -1 otherwise (case-sensitive).
[[nodiscard]] int RecordTypeFromCode(std::string_view code);

}  // namespace lk
