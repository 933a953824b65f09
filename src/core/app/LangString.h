#pragma once

#include <string>

namespace lk {

// Text number `number` of Config/LiteLang.ini (section "English", key "%04d"),
// read anew on each call; empty when missing; backslash-n becomes a line feed.
std::string LangString(int number);

}  // namespace lk
