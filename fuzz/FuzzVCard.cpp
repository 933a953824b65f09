// Address-book bytes from anywhere: the reader never keeps a CR or LF in a
// value, and reading in pieces gives what reading the whole does.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "phonebook/VCardReader.h"

namespace {

std::vector<std::u16string> Texts(std::string_view bytes, std::size_t piece) {
    std::vector<std::u16string> out;
    lk::VCardReader reader([&out](const lk::OutlookContact& c) {
        out.push_back(lk::FieldText(c.displayName));
        for (const auto& n : c.numbers)
            out.push_back(lk::FieldText(n));
    });
    for (std::size_t off = 0; off < bytes.size(); off += piece)
        reader.Feed(bytes.substr(off, piece));
    reader.Finish();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = data[0] % 16 + 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto whole = Texts(bytes, bytes.size() + 1);
    if (Texts(bytes, piece) != whole) __builtin_trap();
    for (const auto& t : whole)
        if (t.find_first_of(u"\r\n") != std::u16string::npos) __builtin_trap();
    return 0;
}
