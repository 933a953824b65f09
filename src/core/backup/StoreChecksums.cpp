#include "backup/StoreChecksums.h"

#include <algorithm>
#include <string>

namespace lk {
namespace fs = std::filesystem;

fs::path ChecksumFilePath(const fs::path& storeRoot, int yyyymm) {
    return storeRoot / "CallLog" / (std::to_string(yyyymm) + kChecksumSuffix);
}

std::string StoreKeyOf(std::string_view path) {
    std::size_t end = path.size();
    std::size_t start = end;
    for (int parts = 0; parts < 3; ++parts) {
        const std::size_t sep =
            end == 0 ? std::string_view::npos : path.find_last_of("/\\", end - 1);
        start = sep == std::string_view::npos ? 0 : sep + 1;
        if (sep == std::string_view::npos) break;
        end = sep;
    }
    std::string key(path.substr(start));
    std::replace(key.begin(), key.end(), '\\', '/');
    return key;
}

bool IsMonthStoreKey(std::string_view key, int yyyymm) {
    const std::string month = std::to_string(yyyymm);
    if (month.size() != 6 || key.size() < 17) return false;
    if (key.substr(0, 7) != month + "/") return false;
    const std::string_view day = key.substr(7, 8);
    if (day.substr(0, 6) != month ||
        !std::all_of(day.begin(), day.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    if (key[15] != '/') return false;
    const std::string_view name = key.substr(16);
    if (name.empty() || name == "." || name == "..") return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
}

std::string FormatChecksumLine(const Sha256::Digest& digest, std::string_view key, int yyyymm) {
    if (!IsMonthStoreKey(key, yyyymm)) return {};
    return DigestHex(digest) + "  " + std::string(key) + "\n";
}

ChecksumFileText ParseChecksumFile(std::string_view text, int yyyymm) {
    ChecksumFileText out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            out.tornTail = true;
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        // "<hex>  <name>" (text mode) or "<hex> *<name>" (binary mode).
        const auto digest = line.size() > 66 ? ParseDigestHex(line.substr(0, 64)) : std::nullopt;
        if (!digest || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) {
            ++out.badLines;
            continue;
        }
        const std::string key(line.substr(66));
        if (!IsMonthStoreKey(key, yyyymm)) {
            ++out.badLines;
            continue;
        }
        const auto [it, inserted] = out.digests.emplace(key, *digest);
        if (!inserted && it->second != *digest) out.conflicting.push_back(key);
    }
    return out;
}

std::string ChecksumAppendText(std::string_view lines, bool fileEndsCleanly) {
    std::string out;
    if (!fileEndsCleanly) out.push_back('\n');
    out.append(lines);
    return out;
}

}  // namespace lk
