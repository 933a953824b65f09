#include "platform/DurationText.h"

#include <cstdio>

namespace lk {

std::string DurationText(int seconds) {
    if (seconds < 0) seconds = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds % 3600 / 60,
                  seconds % 60);
    return text;
}

}  // namespace lk
