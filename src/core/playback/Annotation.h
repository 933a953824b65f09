#pragma once
// The caller's note: the first free-text line of the note area that is not
// one of the recorder's own bookmark lines.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ByteIo.h"

namespace lk {

inline constexpr std::size_t kAnnotationLineLimit = 64;

// Reads the annotation from a note area (the bytes at offset 144 of an .xtr
// recording; only its first 1024 bytes are looked at). The result holds the
// line's raw bytes, at most `maxLength` of them.
std::optional<std::string> ReadAnnotation(ByteSpan area, std::size_t maxLength);
// The same on a file: .xtr paths only, opened read-only.
std::optional<std::string> ReadAnnotation(const std::filesystem::path& path, std::size_t maxLength);

// Annotation bytes are Chinese (code page 936) when one of the first 32 bytes
// is neither a blank nor a letter or digit; the card's code page otherwise.
bool AnnotationLooksChinese(std::string_view bytes);
// Turns annotation bytes into text by that choice; `cardCodePage` is the
// card's code page (the "CodePage" setting, read by the caller).
std::u16string DecodeAnnotation(std::string_view bytes, const std::string& cardCodePage);

}  // namespace lk
