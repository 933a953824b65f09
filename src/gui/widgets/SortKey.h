#pragma once
// How two cells of a list column compare: as hexadecimal numbers when both
// read completely as such, else as decimal numbers (an optional trailing "%"),
// else as points in time, else as UTF-16 text. Keys are computed once per sort.

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace lk::gui {

struct SortKey {
    std::optional<std::uint64_t> hex;
    std::optional<double> number;
    std::optional<std::int64_t> time;  // milliseconds on a common axis
    QString text;
};

SortKey MakeSortKey(const QString& text, const QLocale& locale);
// The readings of a text alone; the key's text is left empty for the caller
// to set (to a view into texts it keeps together, say).
SortKey ParseSortKey(QStringView text, const QLocale& locale);
// A key for a known point in time (dates the list formats itself).
SortKey MakeTimeKey(const QString& text, std::int64_t msecs);
// Milliseconds of a calendar point on the axis the parsed keys use.
std::int64_t TimeAxisMsecs(int year, int month, int day, int hour, int minute, int second);
// Where the parsed key of a duration "hh:mm:ss" lies on that axis.
std::int64_t DurationAxisMsecs(std::int64_t seconds);

// Negative, zero or positive.
int CompareSortKeys(const SortKey& a, const SortKey& b);

// The rows in the order of their keys, ties in their present order: entry i
// is the row that goes to place i.
std::vector<int> SortedOrder(const std::vector<SortKey>& keys, bool ascending);

}  // namespace lk::gui
