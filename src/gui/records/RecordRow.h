#pragma once
// Turning a call record into the cells of a list row. Safe to call from a
// worker: it touches no widget, only the record and its recording file.

#include <QLocale>
#include <QString>
#include <array>
#include <cstdint>
#include <string>

#include "widgets/CSortListCtrl.h"
#include "card/CallRecord.h"

namespace lk::gui {

enum RecordColumn : int {
    ColMark = 0,
    ColRecording = 1,
    ColType = 2,
    ColTime = 3,
    ColNumber = 4,
    ColCallLength = 5,
    ColRecordLength = 6,
    ColRemark = 7,
    ColPath = 8,
    kRecordColumns = 9,
};

// The texts a row needs, read from the language file once per fill rather
// than once per row.
struct RowLabels {
    std::array<QString, 9> typeNames;  // by record type 2-8
    std::string codePage;              // card text code page
    static RowLabels Load();
    QString TypeName(int type) const;
};

int TypeIcon(int type);  // -1 for an unknown type
QString FormatSeconds(int seconds);
QString FormatRecordTime(const CallRecord& r, const QLocale& locale);
std::int64_t RecordTimeKey(const CallRecord& r);
QString FilePathText(const CallRecord& r);
// The remark of a family-1 record: the card remark, else the recording's
// annotation; empty when neither has text.
QString RemarkText(const CallRecord& r, const std::string& codePage);
bool RecordingPresent(const QString& path);

ListRow PrepareRecordRow(CallRecord& r, int devType, const RowLabels& labels,
                         const QLocale& locale);

}  // namespace lk::gui
