#pragma once
// How a long-running engine reports to whoever shows it: a position within a
// range and one line of text, as a progress bar and a status label would.

#include <functional>
#include <string_view>

namespace lk {

// `text` is UTF-8 and may be empty (position only). Called on the engine's
// thread; a GUI forwards it to its own thread.
using ProgressCallback = std::function<void(int position, int range, std::string_view text)>;

}  // namespace lk
