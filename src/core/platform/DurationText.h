#pragma once
// A length of time as the lists show it: "hh:mm:ss", hours not wrapped at a
// day. Call lengths, recorded lengths, the player's times, spreadsheets,
// e-mails and the command line all show lengths this way.

#include <string>

namespace lk {

// "01:02:03" for 3723; a negative length (a damaged record) reads as "00:00:00".
[[nodiscard]] std::string DurationText(int seconds);

}  // namespace lk
