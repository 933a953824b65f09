// Card log records and backup index images straight from untrusted bytes.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "card/CallLog.h"
#include "card/CallRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const lk::ByteSpan bytes(data, size);
    const lk::CardVolume card{'E', "/tmp/lk-fuzz-card"};
    lk::ContactList contacts(1);
    lk::SetFieldText(contacts[0].displayName, u"Fuzz");
    lk::SetFieldText(contacts[0].numbers[0], u"123456");

    lk::CallRecord a;
    (void)lk::ParseCardRecord128(bytes, a, card, contacts);
    lk::CallRecord b;
    (void)lk::ParseCardRecord256(bytes, b, card, contacts);
    const auto image = lk::CallRecord::FromBytes(bytes);
    lk::CallRecord again = lk::CallRecord::FromBytes(image.ToBytes());
    if (!(again == image)) __builtin_trap();
    return 0;
}
