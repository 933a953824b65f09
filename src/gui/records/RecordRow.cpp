#include "records/RecordRow.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <vector>

#include "app/Settings.h"
#include "card/RecordingLength.h"
#include "platform/DurationText.h"
#include "platform/TextCodec.h"
#include "playback/Annotation.h"
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

QString FilePathText(const CallRecord& r) {
    const std::u16string p = FieldText(r.filePath);
    return QString::fromUtf16(p.data(), static_cast<qsizetype>(p.size()));
}

QString RemarkText(const CallRecord& r, const std::string& codePage) {
    // A card remark sits in the copied card bytes behind the tag "RM:";
    // otherwise the recording's own annotation is the remark.
    constexpr std::size_t kTag = 5, kText = 8, kLen = 32;
    std::string bytes;
    if (r.cardBytes[kTag] == 'R' && r.cardBytes[kTag + 1] == 'M' && r.cardBytes[kTag + 2] == ':') {
        for (std::size_t i = 0; i < kLen && r.cardBytes[kText + i] != 0; ++i)
            bytes.push_back(static_cast<char>(r.cardBytes[kText + i]));
    } else {
        const std::u16string path = FieldText(r.filePath);
        if (path.empty()) return {};
        const auto note = ReadAnnotation(std::filesystem::path(ToUtf8(path)), kAnnotationLineLimit);
        if (!note) return {};
        bytes = *note;
    }
    if (bytes.empty()) return {};
    const ByteSpan span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const std::u16string text =
        DecodeCodePage(span, AnnotationLooksChinese(bytes) ? "CP936" : codePage);
    return QString::fromUtf16(text.data(),
                              static_cast<qsizetype>(std::min<std::size_t>(text.size(), 64)));
}

bool RecordingPresent(const QString& path) {
    // The backup engine names a missing recording with ".tmp".
    if (path.isEmpty() || path.contains(QLatin1String(".tmp"))) return false;
    const int fd = ::open(path.toUtf8().constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

ListRow PrepareRecordRow(CallRecord& r, int devType, const RowLabels& labels,
                         const QLocale& locale) {
    ListRow row;
    row.data = &r;
    row.texts.resize(kRecordColumns);
    row.images.fill(-1, kRecordColumns);
    if (r.marked == 1) row.images[ColMark] = IconMarked;

    const QString path = FilePathText(r);
    const bool present = RecordingPresent(path);
    if (present) row.images[ColRecording] = IconRecording;

    row.texts[ColTime] = FormatRecordTime(r, locale);
    if (r.type != Note && r.type != Note2 && r.type != Triggered) {
        const std::u16string number = FieldText(r.number);
        const std::u16string name = FieldText(r.name);
        row.texts[ColNumber] =
            QString::fromUtf16(number.data(), static_cast<qsizetype>(number.size())) +
            QLatin1Char(' ') + QString::fromUtf16(name.data(), static_cast<qsizetype>(name.size()));
    }
    row.texts[ColCallLength] = FormatSeconds(r.callSeconds);
    unsigned length =
        !path.isEmpty() ? RecordingSeconds(std::filesystem::path(path.toStdString())) : 0;
    if (length == 0) length = static_cast<unsigned>(std::max(0, r.recordSeconds));
    row.texts[ColRecordLength] = FormatSeconds(static_cast<int>(length));
    row.texts[ColType] = labels.TypeName(r.type);
    row.images[ColType] = static_cast<qint8>(TypeIcon(r.type));
    row.texts[ColPath] = path;
    if (devType == 1) row.texts[ColRemark] = RemarkText(r, labels.codePage);
    return row;
}

}  // namespace lk::gui
