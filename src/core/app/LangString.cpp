#include "app/LangString.h"

#include <cstdio>

#include "app/ExeDir.h"
#include "platform/IniProfile.h"

namespace lk {

std::string LangString(int number) {
    char key[16];
    std::snprintf(key, sizeof key, "%04d", number);
    const auto value = ReadProfileString(LangFilePath(), "English", key);
    if (!value) return {};
    return ExpandLineBreaks(CutToUtf16Units(*value, 1023));
}

}  // namespace lk
