#include "backup/StoreChecksums.h"

#include <algorithm>
#include <string>

namespace lk {
namespace fs = std::filesystem;

namespace {

std::size_t HexLength(ChecksumKind kind) {
    return kind == ChecksumKind::Sha256 ? 64 : 32;
}

// Lower-case hex of exactly `length` digits (either case read); empty else.
std::string LowerHex(std::string_view text, std::size_t length) {
    if (text.size() != length) return {};
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
    }
    return out;
}

}  // namespace

const char* ChecksumSuffix(ChecksumKind kind) {
    return kind == ChecksumKind::Sha256 ? ".sha256" : ".xxh128";
}

fs::path ChecksumFilePath(const fs::path& storeRoot, int yyyymm, ChecksumKind kind) {
    return storeRoot / "CallLog" / (std::to_string(yyyymm) + ChecksumSuffix(kind));
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

std::string FormatChecksumLine(std::string_view hex, std::string_view key, int yyyymm) {
    if (!IsMonthStoreKey(key, yyyymm)) return {};
    return std::string(hex) + "  " + std::string(key) + "\n";
}

ChecksumFileText ParseChecksumFile(std::string_view text, int yyyymm, ChecksumKind kind) {
    const std::size_t n = HexLength(kind);
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
        std::string digest = line.size() > n + 2 ? LowerHex(line.substr(0, n), n) : std::string();
        if (digest.empty() || line[n] != ' ' || (line[n + 1] != ' ' && line[n + 1] != '*')) {
            ++out.badLines;
            continue;
        }
        const std::string key(line.substr(n + 2));
        if (!IsMonthStoreKey(key, yyyymm)) {
            ++out.badLines;
            continue;
        }
        const auto [it, inserted] = out.digests.emplace(key, std::move(digest));
        if (!inserted && it->second != LowerHex(line.substr(0, n), n))
            out.conflicting.push_back(key);
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
