#include <cstddef>
#include <cstdint>

#include "playback/Annotation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const lk::ByteSpan bytes(data, size);
    const std::size_t maxLength = size ? data[0] % 80 : 64;
    const auto text = lk::ReadAnnotation(bytes, maxLength);
    if (text) {
        if (text->size() > maxLength || text->size() >= lk::kAnnotationLineLimit) __builtin_trap();
        (void)lk::AnnotationLooksChinese(*text);
    }
    return 0;
}
