#pragma once
// The SHA-256 of every copy the backup makes, one file per month beside the
// index: "CallLog/YYYYMM.sha256", in the lines `sha256sum -c` reads when run
// in the store folder ("<64 hex>  YYYYMM/YYYYMMDD/<name>"). Appended under the
// month's index lock; a store without these files is still a whole store.
//
// The file is data like any other in the store: a line that names anything
// but a file of its own month's folders is skipped, never followed.

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Sha256.h"

namespace lk {

inline constexpr char kChecksumSuffix[] = ".sha256";

std::filesystem::path ChecksumFilePath(const std::filesystem::path& storeRoot, int yyyymm);

// The last three components (month, day, file name) of a stored path written
// with either separator: what names a copy wherever the store now lies.
std::string StoreKeyOf(std::string_view path);

// True for "YYYYMM/YYYYMMDD/<name>" of month `yyyymm`: three plain
// components, no "." or "..", no backslash, no control characters.
bool IsMonthStoreKey(std::string_view key, int yyyymm);

struct ChecksumLine {
    Sha256::Digest digest{};
    std::string key;  // relative to the store folder
};

// The line for one copy, with its newline; empty when the key cannot be
// written so that sha256sum reads it back (it is not a month store key).
std::string FormatChecksumLine(const Sha256::Digest& digest, std::string_view key, int yyyymm);

struct ChecksumFileText {
    // The first digest recorded for each key.
    std::unordered_map<std::string, Sha256::Digest> digests;
    int badLines = 0;  // lines that are no checksum of this month's copies
    // A key listed again with another digest: a poisoned or mixed-up file.
    std::vector<std::string> conflicting;
    bool tornTail = false;  // the last line has no newline (a cut-off append)
};

ChecksumFileText ParseChecksumFile(std::string_view text, int yyyymm);

// What to append to a checksum file: when it does not end cleanly (empty or
// with a newline) its cut-off last line is ended first, so that the new lines
// stand on lines of their own.
std::string ChecksumAppendText(std::string_view lines, bool fileEndsCleanly);

}  // namespace lk
