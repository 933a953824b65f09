#pragma once
// Turning a call record into the cells of a list row, when the row is shown
// or sorted: the lists keep no texts of their own.

#include <QLocale>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "card/CallRecord.h"
#include "support/FindQuery.h"
#include "widgets/CSortListCtrl.h"

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

// The texts rows need, read from the language file once per language rather
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
// The path a row shows: none for a record the store holds without a
// recording (its path names the empty marker that stands in for it).
QString ShownPathText(const CallRecord& r);
// The remark of a family-1 record: the card remark, else the recording's
// annotation; empty when neither has text.
QString RemarkText(const CallRecord& r, const std::string& codePage);
bool RecordingPresent(const QString& path);

// The cells of a record's row. The device family is read when a cell is
// made; the labels are those of the last Reload.
class RecordCells final : public RowSource {
  public:
    RecordCells(const std::atomic<int>& devType, RowLabels labels, QLocale locale = {})
        : devType_(devType), labels_(std::move(labels)), locale_(std::move(locale)) {}
    // New labels (after a language change).
    void Reload(RowLabels labels) { labels_ = std::move(labels); }
    // Text beyond the cells that a record is found by (none: the cells only).
    void SetFindExtra(RecordFindText extra) { findExtra_ = std::move(extra); }

    [[nodiscard]] QString Text(const ListRow& row, int column) const override;
    [[nodiscard]] int Image(const ListRow& row, int column) const override;
    void AppendText(const ListRow& row, int column, std::u16string& out) const override;
    [[nodiscard]] std::optional<std::int64_t> TimeOf(const ListRow& row, int column) const override;
    // Flag and recording columns: marked first, recording present first.
    [[nodiscard]] std::optional<int> RankOf(const ListRow& row, int column) const override;
    void Prefetch(const ListRow& row, int column, bool texts) const override;
    void Prepare(const std::vector<ListRow>& rows, int column) const override;
    // The number, name and (family 1) remark as shown, and the extra text.
    void AppendFindText(const ListRow& row, std::u16string& out) const override;

  private:
    // Whether the recording opens and its length: learnt once per row.
    void Probe(const ListRow& row) const;
    bool Present(const ListRow& row) const;
    unsigned FileSeconds(const ListRow& row) const;
    int RecordSeconds(const ListRow& row) const;

    const std::atomic<int>& devType_;
    RowLabels labels_;
    QLocale locale_;
    RecordFindText findExtra_;
};

}  // namespace lk::gui
