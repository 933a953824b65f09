#include "card/RecordRemark.h"

#include <filesystem>

#include "platform/TextCodec.h"
#include "playback/Annotation.h"

namespace lk {

std::u16string RecordRemark(const CallRecord& r, const std::string& codePage) {
    // A card remark sits in the copied card bytes behind the tag "RM:";
    // otherwise the recording's own annotation is the remark.
    constexpr std::size_t kTag = 5, kText = 8, kLen = 32;
    std::string bytes;
    if (r.cardBytes[kTag] == 'R' && r.cardBytes[kTag + 1] == 'M' && r.cardBytes[kTag + 2] == ':') {
        for (std::size_t i = 0; i < kLen && r.cardBytes[kText + i] != 0; ++i)
            bytes.push_back(static_cast<char>(r.cardBytes[kText + i]));
    } else {
        const std::u16string path = FieldText(r.filePath);
        if (path.empty()) return {};
        const auto note = ReadAnnotation(std::filesystem::path(ToUtf8(path)), kAnnotationLineLimit);
        if (!note) return {};
        bytes = *note;
    }
    if (bytes.empty()) return {};
    const ByteSpan span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    std::u16string text = DecodeCodePage(span, AnnotationLooksChinese(bytes) ? "CP936" : codePage);
    if (text.size() > 64) text.resize(64);
    return text;
}

}  // namespace lk
