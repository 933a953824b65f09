#pragma once

#include <string>

namespace lk {

// Text number `number` of the language file LiteLang.ini (the user's own, else
// the shipped one; section "English", key "%04d"),
// read anew on each call; empty when missing; backslash-n becomes a line feed.
std::string LangString(int number);

}  // namespace lk
