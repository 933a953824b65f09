// Kept apart from the annotation reader so that the byte-level reader does
// not pull the code-page layer into programs that only parse.
#include "platform/TextCodec.h"
#include "playback/Annotation.h"

namespace lk {

std::u16string DecodeAnnotation(std::string_view bytes, const std::string& cardCodePage) {
    const ByteSpan span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return DecodeCodePage(span, AnnotationLooksChinese(bytes) ? "CP936" : cardCodePage);
}

}  // namespace lk
