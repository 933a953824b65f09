#include "widgets/SortKey.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <numeric>
#include <string>

namespace lk::gui {
namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// A bare time of day sits on the first day of the axis, as an OLE date would.
const std::int64_t kTimeOnlyDay = QDate(1899, 12, 30).toJulianDay();

std::optional<std::uint64_t> ParseHex(QStringView t) {
    if (t.isEmpty()) return std::nullopt;
    std::uint64_t v = 0;
    for (QChar c : t) {
        const char16_t u = c.unicode();
        unsigned d;
        if (u >= '0' && u <= '9')
            d = u - '0';
        else if (u >= 'a' && u <= 'f')
            d = u - 'a' + 10;
        else if (u >= 'A' && u <= 'F')
            d = u - 'A' + 10;
        else
            return std::nullopt;
        // Too large to hold: saturate, as the C library's conversion does.
        v = v > (UINT64_MAX >> 4) ? UINT64_MAX : (v << 4) | d;
    }
    return v;
}

// What strtod can start with: blanks, a sign, a digit, a point (the
// locale's too), "inf", "nan".
bool MayStartNumber(QStringView t) {
    const char16_t point = static_cast<unsigned char>(*std::localeconv()->decimal_point);
    for (QChar c : t) {
        const char16_t u = c.unicode();
        if (u == ' ' || (u >= '\t' && u <= '\r')) continue;
        return u == '+' || u == '-' || u == '.' || u == point || (u >= '0' && u <= '9') ||
               u == 'i' || u == 'I' || u == 'n' || u == 'N';
    }
    return false;
}

std::optional<double> ParseDecimal(QStringView t) {
    // Most texts (names, paths) fail at once; spare them the conversion.
    if (t.isEmpty() || !MayStartNumber(t)) return std::nullopt;
    // Short texts (all a list cell usually holds) convert on the stack.
    char local[64];
    std::string heap;
    const auto size = static_cast<std::size_t>(t.size());
    if (size >= sizeof local) heap.resize(size);
    char* s = size < sizeof local ? local : heap.data();
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t u = t[static_cast<qsizetype>(i)].unicode();
        if (u > 0x7f) return std::nullopt;
        s[i] = static_cast<char>(u);
    }
    s[size] = '\0';
    const char* begin = s;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(begin, &end);
    if (end == begin) return std::nullopt;
    if (*end == '\0' || (*end == '%' && end[1] == '\0')) return v;
    return std::nullopt;
}

// "h:mm", "h:mm:ss" (hours may exceed a day: durations).
std::optional<std::int64_t> ParseClock(QStringView t) {
    int parts[3] = {0, 0, 0};
    int n = 0, digits = 0;
    for (QChar c : t) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9') {
            if (digits >= 6) return std::nullopt;
            parts[n] = parts[n] * 10 + (u - '0');
            ++digits;
        } else if (u == ':') {
            if (digits == 0 || n == 2) return std::nullopt;
            if (n > 0 && digits != 2) return std::nullopt;
            ++n;
            digits = 0;
        } else {
            return std::nullopt;
        }
    }
    if (n == 0 || digits != 2) return std::nullopt;
    if (parts[1] > 59 || parts[2] > 59) return std::nullopt;
    const std::int64_t secs = std::int64_t{parts[0]} * 3600 + parts[1] * 60 + parts[2];
    return kTimeOnlyDay * kMsPerDay + secs * 1000;
}

std::int64_t AxisOf(const QDateTime& dt) {
    return dt.date().toJulianDay() * kMsPerDay + dt.time().msecsSinceStartOfDay();
}

std::optional<std::int64_t> ParseTime(QStringView view, const QLocale& locale) {
    if (view.isEmpty()) return std::nullopt;
    if (auto c = ParseClock(view)) return c;
    // The locale parser is slow: only texts shaped like a date reach it (a
    // digit, no run of more than four digits, few letters, a short text).
    // Numbers with names and file paths fail this at once.
    if (view.size() > 40) return std::nullopt;
    int run = 0, letters = 0;
    bool digit = false;
    for (QChar c : view) {
        if (c.isDigit()) {
            digit = true;
            if (++run > 4) return std::nullopt;
        } else {
            run = 0;
            if (c.isLetter() && ++letters > 12) return std::nullopt;
        }
    }
    if (!digit) return std::nullopt;
    const QString t = view.toString();
    QDateTime dt = locale.toDateTime(t, QLocale::ShortFormat);
    if (!dt.isValid()) dt = locale.toDateTime(t, QLocale::LongFormat);
    if (!dt.isValid()) dt = QDateTime::fromString(t, Qt::ISODate);
    if (dt.isValid()) return AxisOf(dt);
    QDate d = locale.toDate(t, QLocale::ShortFormat);
    if (!d.isValid()) d = QDate::fromString(t, Qt::ISODate);
    if (d.isValid()) return d.toJulianDay() * kMsPerDay;
    const QTime tm = locale.toTime(t, QLocale::ShortFormat);
    if (tm.isValid()) return kTimeOnlyDay * kMsPerDay + tm.msecsSinceStartOfDay();
    return std::nullopt;
}

template <typename T>
int Cmp(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

SortKey MakeSortKey(const QString& text, const QLocale& locale) {
    SortKey k = ParseSortKey(text, locale);
    k.text = text;
    return k;
}

SortKey ParseSortKey(QStringView text, const QLocale& locale) {
    SortKey k;
    k.hex = ParseHex(text);
    if (!k.hex) k.number = ParseDecimal(text);
    if (!k.hex && !k.number) k.time = ParseTime(text, locale);
    // A hex-looking text may still be a decimal number ("10" both ways): keep
    // both readings so that pairs of different kinds find a common rule.
    if (k.hex) k.number = ParseDecimal(text);
    return k;
}

SortKey MakeTimeKey(const QString& text, std::int64_t msecs) {
    SortKey k;
    k.text = text;
    k.time = msecs;
    return k;
}

std::int64_t TimeAxisMsecs(int year, int month, int day, int hour, int minute, int second) {
    const QDate d(year, month, day);
    const std::int64_t jd = d.isValid() ? d.toJulianDay() : 0;
    return jd * kMsPerDay + (std::int64_t{hour} * 3600 + minute * 60 + second) * 1000;
}

std::int64_t DurationAxisMsecs(std::int64_t seconds) {
    return kTimeOnlyDay * kMsPerDay + seconds * 1000;
}

int CompareSortKeys(const SortKey& a, const SortKey& b) {
    if (a.hex && b.hex) return Cmp(*a.hex, *b.hex);
    if (a.number && b.number) return Cmp(*a.number, *b.number);
    if (a.time && b.time) return Cmp(*a.time, *b.time);
    const int c = a.text.compare(b.text, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::vector<int> SortedOrder(const std::vector<SortKey>& keys, bool ascending) {
    std::vector<int> order(keys.size());
    const bool textsOnly = std::none_of(
        keys.begin(), keys.end(), [](const SortKey& k) { return k.hex || k.number || k.time; });
    if (!textsOnly) {
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const int c = CompareSortKeys(keys[static_cast<std::size_t>(a)],
                                          keys[static_cast<std::size_t>(b)]);
            return ascending ? c < 0 : c > 0;
        });
        return order;
    }
    // Texts alone: sorted four code units at a time, as one number held next
    // to the row, and only the rows that tie on those go on to the next four.
    // The texts themselves are hardly read, and the row breaks the last ties,
    // which keeps rows of equal texts in their present order.
    struct Entry {
        std::uint64_t head;
        int row;
        // How many of the four units are in the text: of two texts equal
        // so far, the one that ends first comes first.
        int units;
    };
    std::vector<Entry> entries(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        entries[i].row = static_cast<int>(i);
    auto textOf = [&](const Entry& e) -> const QString& {
        return keys[static_cast<std::size_t>(e.row)].text;
    };
    const auto before = [ascending](const Entry& a, const Entry& b) {
        if (a.head != b.head) return ascending ? a.head < b.head : a.head > b.head;
        if (a.units != b.units) return ascending ? a.units < b.units : a.units > b.units;
        return a.row < b.row;
    };
    struct Range {
        std::size_t begin, end;
        qsizetype offset;  // the units before it are equal in the whole range
    };
    // A stack rather than recursion: a long text shared by many rows must
    // not run deep.
    std::vector<Range> todo{{0, entries.size(), 0}};
    while (!todo.empty()) {
        Range r = todo.back();
        todo.pop_back();
        if (r.end - r.begin < 2) continue;
        // Units that every text of the range shares are passed over at once,
        // so equal long texts cost one reading rather than one per level.
        {
            const QString& first = textOf(entries[r.begin]);
            qsizetype shared = first.size();
            for (std::size_t i = r.begin + 1; i < r.end && shared > r.offset; ++i) {
                const QString& t = textOf(entries[i]);
                const qsizetype limit = std::min(shared, t.size());
                qsizetype k = r.offset;
                while (k < limit && t[k] == first[k])
                    ++k;
                shared = k;
            }
            r.offset = std::max(r.offset, shared);
        }
        for (std::size_t i = r.begin; i < r.end; ++i) {
            Entry& e = entries[i];
            const QString& t = textOf(e);
            std::uint64_t head = 0;
            for (qsizetype k = r.offset; k < r.offset + 4; ++k)
                head = (head << 16) | (k < t.size() ? t[k].unicode() : 0u);
            e.head = head;
            e.units = static_cast<int>(std::clamp<qsizetype>(t.size() - r.offset, 0, 4));
        }
        // A range of equal texts (a column of type names, say) is in row
        // order already, as the last level left it.
        const auto first = entries.begin() + static_cast<std::ptrdiff_t>(r.begin);
        const auto last = entries.begin() + static_cast<std::ptrdiff_t>(r.end);
        if (!std::is_sorted(first, last, before)) std::sort(first, last, before);
        for (std::size_t i = r.begin; i < r.end;) {
            std::size_t j = i + 1;
            while (j < r.end && entries[j].head == entries[i].head &&
                   entries[j].units == entries[i].units)
                ++j;
            // Fewer than four units: the texts have ended, equal.
            if (j - i > 1 && entries[i].units == 4) todo.push_back({i, j, r.offset + 4});
            i = j;
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i)
        order[i] = entries[i].row;
    return order;
}

}  // namespace lk::gui
