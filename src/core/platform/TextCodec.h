#pragma once
// Text conversions: UTF-8 (native paths, settings, output) <-> UTF-16 (record
// fields), and a card code page (iconv) <-> UTF-16. The caller names the code
// page; the setting that chooses it lives above this layer.

#include <string>
#include <string_view>

#include "platform/ByteIo.h"

namespace lk {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Decodes card bytes of a code page ("CP1252", "CP936", ...). Bytes that do not
// decode become U+FFFD; an unknown code page falls back to byte-value-as-character.
std::u16string DecodeCodePage(ByteSpan bytes, std::string_view codePage);
// Encodes text into a code page; characters it cannot hold become '?'.
std::string EncodeCodePage(std::u16string_view text, std::string_view codePage);

}  // namespace lk
