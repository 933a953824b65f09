#include "backup/ImportRecords.h"

#include <cstdint>
#include <new>

#include "backup/FileFinder.h"
#include "card/CallLog.h"
#include "card/RecordingLength.h"
#include "platform/Decimal.h"
#include "platform/TextCodec.h"

namespace lk {
namespace {

constexpr std::size_t kMinNameLength = 21;
constexpr std::size_t kMaxNameLength = 45;
constexpr std::size_t kTypeCodeStart = 15;
constexpr std::size_t kMaxTypeCodeLength = 4;
constexpr std::size_t kMaxNumberLength = 30;
constexpr std::size_t kCardPathUnits = 63;

std::uint16_t FieldNumber(std::u16string_view name, std::size_t pos, std::size_t len) {
    return static_cast<std::uint16_t>(AtoiOf(name.substr(pos, len)));
}

std::string AsciiOf(std::u16string_view s) {
    std::string out;
    for (char16_t c : s)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

}  // namespace

bool IsRecordingCandidate(std::u16string_view path) {
    return path.find(u".wav") != std::u16string_view::npos ||
           path.find(u".xtr") != std::u16string_view::npos;
}

std::unique_ptr<CallRecord> BuildImportRecord(const std::filesystem::path& path,
                                              const ContactList& contacts) {
    const std::u16string full = FromUtf8(path.string());
    // The whole path must fit filePath; a cut path would name another file.
    if (full.empty() || full.size() >= CallRecord::kFilePathUnits) return nullptr;

    const auto slash = full.find_last_of(u'/');
    const std::u16string_view name = slash == std::u16string::npos
                                         ? std::u16string_view{}
                                         : std::u16string_view(full).substr(slash + 1);
    if (name.size() < kMinNameLength || name.size() > kMaxNameLength || name[14] != u'-')
        return nullptr;
    // A backslash or a colon cannot be part of a recorder's file name; they
    // would turn into separators or a drive once the name reaches a card path.
    if (name.find_first_of(u"\\:") != std::u16string_view::npos) return nullptr;

    std::u16string_view code;
    std::u16string_view number;
    const auto hyphen = name.find(u'-', kTypeCodeStart);
    if (hyphen != std::u16string_view::npos) {
        code = name.substr(kTypeCodeStart, hyphen - kTypeCodeStart);
        const auto dot = name.find(u'.', hyphen + 1);
        if (dot == std::u16string_view::npos) return nullptr;
        number = name.substr(hyphen + 1, dot - hyphen - 1);
        if (number.size() > kMaxNumberLength) return nullptr;
    } else {
        const auto dot = name.find(u'.', kTypeCodeStart);
        if (dot == std::u16string_view::npos) return nullptr;
        code = name.substr(kTypeCodeStart, dot - kTypeCodeStart);
    }
    if (code.size() > kMaxTypeCodeLength) return nullptr;
    const int type = RecordTypeFromCode(AsciiOf(code));
    if (type == -1) return nullptr;

    SystemTime t;
    t.year = FieldNumber(name, 0, 4);
    t.month = FieldNumber(name, 4, 2);
    t.day = FieldNumber(name, 6, 2);
    t.hour = FieldNumber(name, 8, 2);
    t.minute = FieldNumber(name, 10, 2);
    t.second = FieldNumber(name, 12, 2);
    if (t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 || t.second > 59) return nullptr;

    auto record = std::unique_ptr<CallRecord>(new (std::nothrow) CallRecord());
    if (!record) return nullptr;
    record->inUse = 1;
    record->type = type;
    record->status = 1;
    record->time = t;
    SetFieldText(record->number, number);
    const auto seconds = static_cast<std::int32_t>(RecordingSecondsRoundedUp(path));
    record->callSeconds = seconds;
    record->recordSeconds = seconds;
    SetFieldText(record->cardPath, std::u16string_view(full).substr(0, kCardPathUnits));
    SetFieldText(record->filePath, full);
    MatchContactName(*record, contacts, false);
    return record;
}

bool ImportRecordFile(const std::filesystem::path& path,
                      std::vector<std::unique_ptr<CallRecord>>& folderRecords,
                      const ContactList& contacts) {
    auto record = BuildImportRecord(path, contacts);
    if (!record) return false;
    folderRecords.push_back(std::move(record));
    return true;
}

ImportResult ImportFolder(const std::filesystem::path& folder,
                          std::vector<std::unique_ptr<CallRecord>>& folderRecords,
                          const ContactList& contacts, ProgressReporter& progress,
                          std::stop_token stop) {
    ImportResult result;
    std::error_code ec;
    result.folderFound = std::filesystem::is_directory(folder, ec);
    if (!result.folderFound) return result;

    // Records keep full paths, whatever form the folder was given in.
    auto root = std::filesystem::absolute(folder, ec);
    if (ec) root = folder;
    CFileFinder finder;
    finder.SetRoot(root.lexically_normal(), true, stop);
    finder.Find("*.*", true, false, stop);
    // The imported records' recordings stay below the folder they came from.
    auto source = std::make_shared<RecordSourceFile>();
    source->root = root.lexically_normal();
    const auto& entries = finder.Entries();
    result.filesListed = static_cast<int>(entries.size());
    const int range = result.filesListed;
    int position = 0;
    progress.Begin(range);
    for (const auto& entry : entries) {
        if (ShouldStop(stop, progress)) {
            result.stopped = true;
            break;
        }
        ++position;
        const std::string text = entry.path.string();
        progress.Step(position, range, text);
        if (!IsRecordingCandidate(FromUtf8(text))) continue;
        ++result.candidates;
        const bool ok = ImportRecordFile(entry.path, folderRecords, contacts);
        if (ok) folderRecords.back()->origin.file = source;
        ok ? ++result.imported : ++result.rejected;
        result.items.push_back(
            {entry.path, ok ? ImportOutcome::Imported : ImportOutcome::Rejected});
    }
    if (ShouldStop(stop, progress)) result.stopped = true;
    progress.End();
    return result;
}

}  // namespace lk
