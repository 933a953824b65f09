#include "playback/MarkedSegment.h"

#include <algorithm>
#include <string_view>

#include "platform/Decimal.h"

namespace lk {
namespace {

constexpr std::string_view kBookmark = "<bookmark>";

// Text between the first `open` and the first `close` after it, 1..8 bytes.
std::optional<std::int32_t> TimeBetween(std::string_view text, std::string_view open,
                                        std::string_view close) {
    const auto a = text.find(open);
    if (a == std::string_view::npos) return std::nullopt;
    const auto from = a + open.size();
    const auto b = text.find(close, from);
    if (b == std::string_view::npos) return std::nullopt;
    const auto len = b - from;
    if (len < 1 || len > 8) return std::nullopt;
    char field[8] = {};
    std::copy_n(text.data() + from, len, field);
    // Hours, minutes and seconds are two characters each; the colons are skipped unread.
    const auto two = [&](std::size_t at) { return AtoiOf(std::string_view(field + at, 2)); };
    return two(0) * 3600 + two(3) * 60 + two(6);
}

}  // namespace

std::optional<MarkedSegment> ParseMarkedSegment(ByteSpan area) {
    const auto* chars = reinterpret_cast<const char*>(area.data());
    const auto zero = std::find(area.begin(), area.end(), std::uint8_t{0});
    const std::string_view text(chars, static_cast<std::size_t>(zero - area.begin()));

    const auto first = text.find(kBookmark);
    if (first == std::string_view::npos) return std::nullopt;
    const auto second = text.find(kBookmark, first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const auto afterFirst = first + kBookmark.size();
    if (second <= afterFirst || second - afterFirst > 1024) return std::nullopt;

    const auto start = TimeBetween(text, "<bstart>", "</bstart>");
    if (!start) return std::nullopt;
    const auto end = TimeBetween(text, "<bend>", "</bend>");
    if (!end || *end <= *start) return std::nullopt;
    return MarkedSegment{*start, *end};
}

}  // namespace lk
