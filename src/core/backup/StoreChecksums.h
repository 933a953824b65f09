#pragma once
// The checksum of every copy the backup makes, one file per month beside the
// index: "CallLog/YYYYMM.xxh128", in the lines `xxhsum -c` reads when run in
// the store folder ("<32 hex>  YYYYMM/YYYYMMDD/<name>", XXH128). Stores of
// earlier versions have "CallLog/YYYYMM.sha256" in the lines `sha256sum -c`
// reads; those are still checked, never rewritten. Appended under the month's
// index lock; a store without these files is still a whole store.
//
// The file is data like any other in the store: a line that names anything
// but a file of its own month's folders is skipped, never followed.

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lk {

enum class ChecksumKind { Xxh128, Sha256 };

// The kind new copies are recorded with.
inline constexpr ChecksumKind kBackupChecksum = ChecksumKind::Xxh128;

// ".xxh128" or ".sha256".
const char* ChecksumSuffix(ChecksumKind kind);

std::filesystem::path ChecksumFilePath(const std::filesystem::path& storeRoot, int yyyymm,
                                       ChecksumKind kind = kBackupChecksum);

// The last three components (month, day, file name) of a stored path written
// with either separator: what names a copy wherever the store now lies.
std::string StoreKeyOf(std::string_view path);

// True for "YYYYMM/YYYYMMDD/<name>" of month `yyyymm`: three plain
// components, no "." or "..", no backslash, no control characters.
bool IsMonthStoreKey(std::string_view key, int yyyymm);

// The line for one copy (`hex`: its digest in lower-case hex), with its
// newline; empty when the key cannot be written so that the checking tool
// reads it back (it is not a month store key).
std::string FormatChecksumLine(std::string_view hex, std::string_view key, int yyyymm);

struct ChecksumFileText {
    // The first digest recorded for each key, in lower-case hex.
    std::unordered_map<std::string, std::string> digests;
    int badLines = 0;  // lines that are no checksum of this month's copies
    // A key listed again with another digest: a poisoned or mixed-up file.
    std::vector<std::string> conflicting;
    bool tornTail = false;  // the last line has no newline (a cut-off append)
};

ChecksumFileText ParseChecksumFile(std::string_view text, int yyyymm, ChecksumKind kind);

// What to append to a checksum file: when it does not end cleanly (empty or
// with a newline) its cut-off last line is ended first, so that the new lines
// stand on lines of their own.
std::string ChecksumAppendText(std::string_view lines, bool fileEndsCleanly);

}  // namespace lk
