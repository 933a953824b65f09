#include "records/RecordRow.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <algorithm>
#include <cerrno>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/Settings.h"
#include "card/RecordRemark.h"
#include "card/RecordingLength.h"
#include "platform/DurationText.h"
#include "platform/RegularFile.h"
#include "platform/TextCodec.h"
#include "support/GuiText.h"
#include "support/Icons.h"
#include "widgets/SortKey.h"

namespace lk::gui {

RowLabels RowLabels::Load() {
    RowLabels l;
    static constexpr int kTypeStrings[] = {18, 19, 20, 21, 22, 23, 24};
    for (int t = Incoming; t <= Message; ++t)
        l.typeNames[static_cast<std::size_t>(t)] = Lang(kTypeStrings[t - Incoming]);
    l.codePage = CardCodePage();
    return l;
}

QString RowLabels::TypeName(int type) const {
    return type >= Incoming && type <= Message ? typeNames[static_cast<std::size_t>(type)]
                                               : QString();
}

int TypeIcon(int type) {
    switch (type) {
        case Incoming:
            return IconIncoming;
        case Missed:
            return IconMissed;
        case Outgoing:
            return IconOutgoing;
        case Note:
            return IconMicrophone;
        case Note2:
            return IconMarked;
        case Triggered:
            return IconMicrophone;
        case Message:
            return IconHeadset;
        default:
            return -1;
    }
}

QString FormatSeconds(int s) {
    return QString::fromStdString(DurationText(s));
}

QString FormatRecordTime(const CallRecord& r, const QLocale& locale) {
    const QDate d(r.time.year, r.time.month, r.time.day);
    const QTime t(r.time.hour, r.time.minute, r.time.second);
    if (!d.isValid()) return {};
    return locale.toString(QDateTime(d, t.isValid() ? t : QTime(0, 0)), QLocale::ShortFormat);
}

std::int64_t RecordTimeKey(const CallRecord& r) {
    return TimeAxisMsecs(r.time.year, r.time.month, r.time.day, r.time.hour, r.time.minute,
                         r.time.second);
}

namespace {
// A field's text without the detour through a std::u16string.
template <std::size_t N>
QString FieldQString(const TextField<N>& f) {
    const std::u16string_view t = f.Text();
    return QString::fromUtf16(t.data(), static_cast<qsizetype>(t.size()));
}

template <std::size_t N>
void AppendField(const TextField<N>& f, std::u16string& out) {
    out.append(f.Text());
}

bool HasNumber(const CallRecord& r) {
    return r.type != Note && r.type != Note2 && r.type != Triggered;
}
}  // namespace

QString FilePathText(const CallRecord& r) {
    return FieldQString(r.filePath);
}

namespace {
bool NamesMarker(std::u16string_view path) {
    // The backup engine names a missing recording with ".tmp".
    return path.size() >= 4 && path.substr(path.size() - 4) == u".tmp";
}
}  // namespace

QString ShownPathText(const CallRecord& r) {
    return NamesMarker(r.filePath.Text()) ? QString() : FilePathText(r);
}

QString RemarkText(const CallRecord& r, const std::string& codePage) {
    const std::u16string text = RecordRemark(r, codePage);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

bool RecordingPresent(const QString& path) {
    // The backup engine names a missing recording with ".tmp".
    if (path.isEmpty() || path.contains(QLatin1String(".tmp"))) return false;
    // A FIFO under a recording's name would block the open for ever.
    return OpenRegularFile(path.toStdString(), O_RDONLY).Ok();
}

namespace {
// ListRow::facts of a record's row: what the recording file told, once asked.
constexpr std::uint32_t kProbed = 1u << 31;
constexpr std::uint32_t kPresent = 1u << 30;
constexpr std::uint32_t kSecondsKnown = 1u << 29;
constexpr std::uint32_t kSecondsMask = kSecondsKnown - 1;  // about 17 years
}  // namespace

void RecordCells::Probe(const ListRow& row) const {
    if (row.facts & kProbed) return;
    row.facts |= kProbed;
    const QString path = FilePathText(*row.data);
    if (path.isEmpty()) {
        row.facts |= kSecondsKnown;
        return;
    }
    const RegularFileOpen opened = OpenRegularFile(path.toStdString(), O_RDONLY);
    if (opened.Ok()) {
        // The backup engine names a missing recording with ".tmp".
        if (!path.contains(QLatin1String(".tmp"))) row.facts |= kPresent;
    } else if (opened.error == ENOENT || opened.error == ENOTDIR || opened.error == 0) {
        // No file: no length to read either (the common case of a moved
        // store, and a sort by length would otherwise look twice).
        row.facts |= kSecondsKnown;
    }
}

namespace {
// Names looked up by view, without making a string of each.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using NameSet = std::unordered_set<std::string, NameHash, std::equal_to<>>;

// The names in a folder; an empty set when there is no such folder, none
// when it cannot be read (its files must then be tried one by one).
std::optional<NameSet> FolderNames(const std::string& folder) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) {
        if (errno == ENOENT || errno == ENOTDIR) return NameSet{};
        return std::nullopt;
    }
    NameSet names;
    while (const dirent* e = ::readdir(d))
        names.emplace(e->d_name);
    ::closedir(d);
    return names;
}

// The recording path as open() takes it, into a buffer used again and again.
void PathBytes(const CallRecord& r, std::string& out) {
    out.clear();
    for (const char16_t u : r.filePath.Text()) {
        if (u >= 0x80) {
            out = FilePathText(r).toStdString();
            return;
        }
        out.push_back(static_cast<char>(u));
    }
}
}  // namespace

void RecordCells::Prepare(const std::vector<ListRow>& rows, int column) const {
    if (column != ColRecordLength) return;
    // A sort by length would try every recording. Listing each folder once
    // settles the missing ones (a store whose recordings went) without that.
    std::unordered_map<std::string, std::optional<NameSet>> folders;
    const std::optional<NameSet>* names = nullptr;  // of the last row's folder
    std::string lastFolder;
    std::string path;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i + 16 < rows.size() && rows[i + 16].data) Prefetch(rows[i + 16], ColPath, false);
        if (i + 8 < rows.size() && rows[i + 8].data) Prefetch(rows[i + 8], ColPath, true);
        const ListRow& row = rows[i];
        if (!row.data || (row.facts & kProbed)) continue;
        PathBytes(*row.data, path);
        if (path.empty()) continue;
        // Split as open() reads it: the folder before the last slash.
        const std::size_t slash = path.rfind('/');
        const std::string_view folder = slash == std::string::npos ? std::string_view(".")
                                        : slash == 0               ? std::string_view("/")
                                                     : std::string_view(path).substr(0, slash);
        const std::string_view name = slash == std::string::npos
                                          ? std::string_view(path)
                                          : std::string_view(path).substr(slash + 1);
        if (!names || folder != lastFolder) {
            lastFolder = folder;
            auto [it, added] = folders.try_emplace(lastFolder);
            if (added) it->second = FolderNames(lastFolder);
            names = &it->second;
        }
        // "", "." and "..": a folder, which open() may well open.
        if (!*names || name.empty() || name == "." || name == ".." || (*names)->count(name))
            continue;
        row.facts |= kProbed | kSecondsKnown;
    }
}

bool RecordCells::Present(const ListRow& row) const {
    Probe(row);
    return row.facts & kPresent;
}

unsigned RecordCells::FileSeconds(const ListRow& row) const {
    Probe(row);
    if (!(row.facts & kSecondsKnown)) {
        const unsigned s =
            RecordingSeconds(std::filesystem::path(FilePathText(*row.data).toStdString()));
        row.facts |= kSecondsKnown | std::min(s, kSecondsMask);
    }
    return row.facts & kSecondsMask;
}

QString RecordCells::Text(const ListRow& row, int column) const {
    const CallRecord& r = *row.data;
    switch (column) {
        case ColType:
            return labels_.TypeName(r.type);
        case ColTime:
            return FormatRecordTime(r, locale_);
        case ColNumber:
            if (!HasNumber(r)) return {};
            return FieldQString(r.number) + QLatin1Char(' ') + FieldQString(r.name);
        case ColCallLength:
            return FormatSeconds(r.callSeconds);
        case ColRecordLength:
            return FormatSeconds(RecordSeconds(row));
        case ColRemark:
            return devType_.load() == 1 ? RemarkText(r, labels_.codePage) : QString();
        case ColPath:
            return ShownPathText(r);
        default:
            return {};
    }
}

void RecordCells::Prefetch(const ListRow& row, int column, bool texts) const {
    const CallRecord& r = *row.data;
    const auto touch = [](const void* p) { __builtin_prefetch(p); };
    switch (column) {
        case ColType:
            if (!texts) touch(&r.type);
            break;
        case ColTime:
            if (!texts) touch(&r.time);
            break;
        case ColNumber:
            if (!texts) {
                touch(&r.type);
                touch(&r.name);
            } else {
                touch(r.number.Units().data());
                touch(r.name.Units().data());
            }
            break;
        case ColCallLength:
        case ColRecordLength:
            if (!texts) touch(&r.callSeconds);
            break;
        case ColPath:
            if (!texts) {
                touch(&r.filePath);
            } else {
                const std::u16string_view path = r.filePath.Units();
                touch(path.data());
                // A path often takes a second line.
                if (path.size() > 32) touch(path.data() + 32);
            }
            break;
        default:
            break;
    }
}

void RecordCells::AppendText(const ListRow& row, int column, std::u16string& out) const {
    // The two long texts go straight from the record's fields.
    const CallRecord& r = *row.data;
    if (column == ColNumber) {
        if (!HasNumber(r)) return;
        AppendField(r.number, out);
        out.push_back(u' ');
        AppendField(r.name, out);
    } else if (column == ColPath) {
        if (!NamesMarker(r.filePath.Text())) AppendField(r.filePath, out);
    } else {
        RowSource::AppendText(row, column, out);
    }
}

void RecordCells::AppendFindText(const ListRow& row, std::u16string& out) const {
    const CallRecord& r = *row.data;
    if (HasNumber(r)) {
        AppendFolded(FieldQString(r.number), out);
        out.push_back(u'\n');
        AppendFolded(FieldQString(r.name), out);
    }
    // The remark is found where the list shows it.
    if (devType_.load() == 1) {
        out.push_back(u'\n');
        AppendFolded(RemarkText(r, labels_.codePage), out);
    }
    if (findExtra_) {
        out.push_back(u'\n');
        AppendFolded(findExtra_(r), out);
    }
}

int RecordCells::Image(const ListRow& row, int column) const {
    const CallRecord& r = *row.data;
    switch (column) {
        case ColMark:
            return r.marked == 1 ? IconMarked : -1;
        case ColRecording:
            return Present(row) ? IconRecording : -1;
        case ColType:
            return TypeIcon(r.type);
        default:
            return -1;
    }
}

std::optional<int> RecordCells::RankOf(const ListRow& row, int column) const {
    switch (column) {
        case ColMark:
            return row.data->marked == 1 ? 0 : 1;
        case ColRecording:
            return Present(row) ? 0 : 1;
        default:
            return std::nullopt;
    }
}

int RecordCells::RecordSeconds(const ListRow& row) const {
    // A recording that gives no length shows the stored one.
    unsigned length = FileSeconds(row);
    if (length == 0) length = static_cast<unsigned>(std::max(0, row.data->recordSeconds));
    return static_cast<int>(length);
}

std::optional<std::int64_t> RecordCells::TimeOf(const ListRow& row, int column) const {
    // Where the texts read as times, so do the keys (without the texts).
    switch (column) {
        case ColTime:
            return RecordTimeKey(*row.data);
        case ColCallLength:
            return DurationAxisMsecs(std::max(0, row.data->callSeconds));
        case ColRecordLength:
            return DurationAxisMsecs(std::max(0, RecordSeconds(row)));
        default:
            return std::nullopt;
    }
}

}  // namespace lk::gui
