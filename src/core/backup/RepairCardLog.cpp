#include "backup/RepairCardLog.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>
#include <unordered_set>

#include "app/LangString.h"
#include "app/Settings.h"
#include "backup/FileFinder.h"
#include "backup/ImportRecords.h"
#include "platform/CardPath.h"
#include "platform/LetterCase.h"
#include "platform/LinkFreePath.h"
#include "platform/RegularFile.h"
#include "platform/TextCodec.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

// Reads a file in the card root that is a plain file, never a link's target.
std::vector<std::uint8_t> ReadWholeFile(const fs::path& root, const fs::path& path, bool* opened) {
    std::vector<std::uint8_t> out;
    const int fd = OpenRegularFdWithoutLinks(root, path, O_RDONLY);
    *opened = fd >= 0;
    if (fd < 0) return out;
    std::uint8_t buf[1 << 14];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *opened = n == 0;
            break;
        }
        out.insert(out.end(), buf, buf + n);
    }
    ::close(fd);
    return out;
}

// Writes `bytes` as the whole of the plain file `path` (replacing one that is
// there, never following a link). errno-style code, 0 when done.
int WriteWholeFile(const fs::path& root, const fs::path& path,
                   const std::vector<std::uint8_t>& bytes) {
    const int fd = OpenRegularFdWithoutLinks(root, path, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0) return errno;
    std::size_t done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

std::string Reason(const char* what, int error) {
    return std::string(what) + ": " +
           (error == EROFS ? "the card is read-only" : FileErrorText(error));
}

std::u16string PathFieldText(ByteSpan field, const std::string& codePage) {
    std::size_t n = 0;
    while (n < field.size() && field[n] != 0)
        ++n;
    return DecodeCodePage(field.first(n), codePage);
}

// The drive form of a file found below the card root; nullopt when one of its
// names holds a character that would act as a separator or drive in that form.
std::optional<std::u16string> DriveFormOf(const CardVolume& card, const fs::path& file) {
    const fs::path rel = file.lexically_relative(card.root);
    std::u16string relative;
    for (const auto& part : rel) {
        const std::u16string name = FromUtf8(part.string());
        if (name.empty() || name == u"." || name == u".." ||
            name.find_first_of(u"\\:") != std::u16string::npos)
            return std::nullopt;
        if (!relative.empty()) relative += u'\\';
        relative += name;
    }
    if (relative.empty()) return std::nullopt;
    return MakeDrivePath(card.letter, relative);
}

std::string StatusText(int number, const char* separator, int added) {
    return LangString(number) + separator + std::to_string(added);
}

}  // namespace

std::vector<std::string> RepairDriveList(const VolumeTable& volumes) {
    std::vector<std::string> drives;
    for (char letter = 'C'; letter <= 'Z'; ++letter)
        if (volumes.GetDriveType(letter) == DriveType::Removable)
            drives.push_back(std::string(1, letter) + ":\\");
    return drives;
}

int CardFamilyOf(const fs::path& cardRoot) {
    std::error_code ec;
    return fs::exists(cardRoot / kPhoneBookFileName, ec) ? 1 : 0;
}

std::vector<std::u16string> KnownCardPaths(const CardVolume& card, int devType, int* logRecords,
                                           int* unsafe) {
    std::vector<std::u16string> known;
    bool opened = false;
    const auto log = ReadWholeFile(card.root, card.root / kCallLogFileName, &opened);
    const auto size = static_cast<std::size_t>(RecordSize(devType, true));
    const std::size_t count = log.size() / size;
    if (logRecords) *logRecords = static_cast<int>(count);
    const std::size_t pathOffset = devType == 1 ? card256::kPath : card128::kPath;
    const std::size_t pathSize = devType == 1 ? card256::kPathSize : card128::kPathSize;
    const std::string codePage =
        card.codePage.empty() ? std::string(kDefaultCardCodePage) : card.codePage;
    for (std::size_t i = 0; i < count; ++i) {
        const ByteSpan record(log.data() + i * size, size);
        if (record[0] != 1) continue;
        std::u16string relative = PathFieldText(record.subspan(pathOffset, pathSize), codePage);
        // A missed call has no recording and names no path: nothing to check.
        if (relative.empty()) continue;
        // The family-0 recorder may spell its folders with '/'.
        if (devType != 1)
            for (auto& c : relative)
                if (c == u'/') c = u'\\';
        if (!ResolveUnderRoot(card.root, relative)) {
            if (unsafe) ++*unsafe;
            continue;
        }
        known.push_back(MakeDrivePath(card.letter, relative));
    }
    return known;
}

RepairResult RepairCardLog(const CardVolume& cardIn, ProgressReporter& progress,
                           std::stop_token stop, std::optional<bool> ignoresCase) {
    CardVolume card = cardIn;
    if (card.codePage.empty()) card.codePage = kDefaultCardCodePage;
    RepairResult result;
    std::error_code ec;
    result.cardFound = fs::is_directory(card.root, ec);
    if (!result.cardFound) return result;
    result.devType = CardFamilyOf(card.root);

    const fs::path log = card.root / kCallLogFileName;
    if (fs::is_symlink(log, ec)) {
        // Its records would be read from, and appended to, a file off the card.
        result.failureReason = Reason("the call log cannot be used", ELOOP);
        return result;
    }
    if (fs::exists(log, ec)) {
        bool read = false;
        const auto bytes = ReadWholeFile(card.root, log, &read);
        const int error =
            read ? WriteWholeFile(card.root, card.root / kCallLogBackupFileName, bytes) : errno;
        result.backupWritten = error == 0;
        // The copy is what the user falls back on: no copy, no change.
        if (error != 0) {
            result.failureReason = Reason("the call log's copy was not saved", error);
            return result;
        }
    }

    const auto knownList =
        KnownCardPaths(card, result.devType, &result.logRecords, &result.unsafeLogPaths);
    // Whole-path comparison, as a set: the list is not updated during the
    // walk, so each file is compared against the log as it was at the start.
    const bool folded = ignoresCase.has_value() ? *ignoresCase : FileSystemIgnoresCase(card.root);
    const auto asCompared = [folded](const std::u16string& path) {
        return folded ? FoldLetterCase(path) : path;
    };
    std::unordered_set<std::u16string> known;
    for (const auto& path : knownList)
        known.insert(asCompared(path));
    result.knownPaths = static_cast<int>(known.size());

    CFileFinder finder;
    finder.SetRoot(card.root, true, stop);
    finder.Find("*.*", true, false, stop);
    const auto& entries = finder.Entries();
    result.filesListed = static_cast<int>(entries.size());

    int position = 0;
    progress.Begin(result.filesListed);
    for (const auto& entry : entries) {
        if (ShouldStop(stop, progress)) break;
        ++position;
        const auto driveForm = DriveFormOf(card, entry.path);
        const std::u16string shown = driveForm ? *driveForm : FromUtf8(entry.path.string());
        if (IsRecordingCandidate(shown)) {
            ++result.candidates;
            RepairItem item{shown, RepairOutcome::Rejected};
            if (!driveForm) {
                item.outcome = RepairOutcome::Unsafe;
            } else if (known.count(asCompared(*driveForm)) != 0) {
                item.outcome = RepairOutcome::Known;
            } else {
                const std::string name = entry.path.filename().string();
                int error = 0;
                switch (AppendLogRecord(card, name, result.devType, &error)) {
                    case AppendLogResult::Added:
                        item.outcome = RepairOutcome::Added;
                        break;
                    case AppendLogResult::NotARecordingName:
                        ++result.rejectedNames;
                        break;
                    case AppendLogResult::WriteFailed:
                        ++result.writeFailures;
                        if (result.failureReason.empty())
                            result.failureReason = Reason("the call log cannot be written", error);
                        break;
                }
            }
            if (item.outcome == RepairOutcome::Added) ++result.added;
            if (item.outcome == RepairOutcome::Unsafe) ++result.writeFailures;
            if (item.outcome == RepairOutcome::Rejected || item.outcome == RepairOutcome::Unsafe)
                ++result.failed;
            result.items.push_back(std::move(item));
        }
        progress.Step(position, result.filesListed, StatusText(222, "  ", result.added));
    }
    result.stopped = ShouldStop(stop, progress);
    progress.Step(position, result.filesListed, StatusText(221, " - ", result.added));
    return result;
}

}  // namespace lk
