#pragma once
// Reading a number the way the C library's atoi reads a fixed-width text
// field: leading blanks, an optional sign, then digits up to the first other
// character; no digits read as 0. File names, card fields and settings all
// hold numbers this way.

#include <climits>
#include <string_view>

namespace lk {

template <typename Char>
int AtoiOf(std::basic_string_view<Char> s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == Char(' ') || (s[i] >= Char('\t') && s[i] <= Char('\r'))))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == Char('+') || s[i] == Char('-'))) negative = s[i++] == Char('-');
    long long v = 0;
    for (; i < s.size() && s[i] >= Char('0') && s[i] <= Char('9'); ++i) {
        v = v * 10 + (s[i] - Char('0'));
        if (v > static_cast<long long>(INT_MAX) + 1) break;  // saturates below
    }
    if (negative) v = -v;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

inline int AtoiOf(std::string_view s) {
    return AtoiOf<char>(s);
}
inline int AtoiOf(std::u16string_view s) {
    return AtoiOf<char16_t>(s);
}

}  // namespace lk
