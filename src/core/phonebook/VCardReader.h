#pragma once
// Reads vCard 2.1, 3.0 and 4.0 address books as a stream: bytes go in as
// they are read, contacts come out card by card, so a file of any size needs
// memory only for the card being read (photos and other unused properties are
// skipped, not held).
//
// Text: UTF-8 with or without a byte-order mark, UTF-16 LE or BE (with a mark,
// or recognised by its zero bytes), older code pages through CHARSET. Lines end
// at LF, CR LF, any run of CRs before LF (some phones write CR CR LF) or a lone
// CR; no value keeps a CR or LF.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "card/OutlookContact.h"

namespace lk {

class VCardReader {
  public:
    using ContactSink = std::function<void(const OutlookContact&)>;
    explicit VCardReader(ContactSink sink);
    ~VCardReader();
    VCardReader(const VCardReader&) = delete;
    VCardReader& operator=(const VCardReader&) = delete;

    // Any piece of the file, in order.
    void Feed(std::string_view bytes);
    // The end of the file: an unfinished card is dropped.
    void Finish();

    // Whether a "BEGIN:VCARD" line was seen: a file without one is no address book.
    bool SawCard() const { return sawCard_; }

  private:
    enum class Encoding { Unknown, Bytes, Utf16Le, Utf16Be };
    struct Card;

    void Decode(std::string_view bytes);
    void Split(std::string_view utf8);
    void PhysicalLine();
    void LogicalLine();
    void FlushLogical();

    ContactSink sink_;
    Encoding encoding_ = Encoding::Unknown;
    std::string head_;  // bytes kept until the encoding is known
    std::string pendingUnit_;
    char16_t pendingHigh_ = 0;
    std::string utf8_;
    std::string physical_;
    bool crRun_ = false;
    std::string logical_;
    bool haveLogical_ = false;
    bool skipping_ = false;     // an unused property: its continuation lines are dropped
    bool qpContinues_ = false;  // a quoted-printable soft break joins the next line
    bool skippedIsQp_ = false;
    bool version21_ = false;
    bool sawCard_ = false;
    int nested_ = 0;
    std::unique_ptr<Card> card_;
};

// A telephone number as it is matched: a "tel:" URI reduced to its number
// (its ";ext=" and other parameters dropped) and the visual separators (blank,
// "-", ".", "(", ")") removed; "+", "*", "#", digits and letters stay.
std::u16string NormalizeContactNumber(std::u16string_view number);

}  // namespace lk
