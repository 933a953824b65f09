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

std::optional<std::uint64_t> ParseHex(const QString& t) {
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
bool MayStartNumber(const QString& t) {
    const char16_t point = static_cast<unsigned char>(*std::localeconv()->decimal_point);
    for (QChar c : t) {
        const char16_t u = c.unicode();
        if (u == ' ' || (u >= '\t' && u <= '\r')) continue;
        return u == '+' || u == '-' || u == '.' || u == point || (u >= '0' && u <= '9') ||
               u == 'i' || u == 'I' || u == 'n' || u == 'N';
    }
    return false;
}

std::optional<double> ParseDecimal(const QString& t) {
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
std::optional<std::int64_t> ParseClock(const QString& t) {
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

std::optional<std::int64_t> ParseTime(const QString& t, const QLocale& locale) {
    if (t.isEmpty()) return std::nullopt;
    if (auto c = ParseClock(t)) return c;
    // The locale parser is slow: only texts shaped like a date reach it (a
    // digit, no run of more than four digits, few letters, a short text).
    // Numbers with names and file paths fail this at once.
    if (t.size() > 40) return std::nullopt;
    int run = 0, letters = 0;
    bool digit = false;
    for (QChar c : t) {
        if (c.isDigit()) {
            digit = true;
            if (++run > 4) return std::nullopt;
        } else {
            run = 0;
            if (c.isLetter() && ++letters > 12) return std::nullopt;
        }
    }
    if (!digit) return std::nullopt;
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
    SortKey k;
    k.text = text;
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
    // Texts alone: most pairs differ in their first four code units, which
    // compare as one number held next to the row; the texts themselves are
    // read only on a tie there.
    struct Entry {
        std::uint64_t head;
        QStringView text;
        int row;
    };
    std::vector<Entry> entries;
    entries.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const QString& t = keys[i].text;
        std::uint64_t head = 0;
        for (qsizetype k = 0; k < 4; ++k)
            head = (head << 16) | (k < t.size() ? t[k].unicode() : 0u);
        entries.push_back({head, QStringView(t), static_cast<int>(i)});
    }
    std::stable_sort(entries.begin(), entries.end(), [ascending](const Entry& a, const Entry& b) {
        int c = 0;
        if (a.head != b.head)
            c = a.head < b.head ? -1 : 1;
        else
            c = a.text.compare(b.text, Qt::CaseSensitive);
        return ascending ? c < 0 : c > 0;
    });
    for (std::size_t i = 0; i < entries.size(); ++i)
        order[i] = entries[i].row;
    return order;
}

}  // namespace lk::gui
