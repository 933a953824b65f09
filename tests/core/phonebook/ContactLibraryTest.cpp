#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Settings.h"
#include "phonebook/ContactLibrary.h"
#include "platform/TextCodec.h"
#include "support/TempDir.h"

namespace lk {
namespace {

struct Seen {
    std::u16string name;
    std::vector<std::u16string> numbers;  // non-empty ones
};

std::vector<Seen> Summaries(const std::vector<OutlookContact>& contacts) {
    std::vector<Seen> out;
    for (const auto& c : contacts) {
        Seen s{FieldText(c.displayName), {}};
        for (const auto& n : c.numbers)
            if (!FieldText(n).empty()) s.numbers.push_back(FieldText(n));
        out.push_back(std::move(s));
    }
    return out;
}

TEST(ParseVCardText, ReadsEachVersionsWayOfWriting) {
    struct Case {
        const char* what;
        std::string text;
        std::u16string name;
        std::vector<std::u16string> numbers;
    } cases[] = {
        {"2.1 quoted-printable with a soft break",
         "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J="
         "\r\n=C3=BCrgen\r\n"
         "TEL;CELL;VOICE:+49 170 1234567\r\nTEL;HOME:030 555\r\nEND:VCARD\r\n",
         u"J\u00FCrgen M\u00FCller",
         {u"+491701234567", u"030555"}},
        {"2.1 folding keeps the blank",
         "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:John\r\n Smith\r\nEND:VCARD\r\n",
         u"John Smith",
         {}},
        {"2.1 bare quoted-printable and a code page",
         "BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=ISO-8859-1;QUOTED-PRINTABLE:Ren=E9\r\nEND:"
         "VCARD\r\n",
         u"Ren\u00E9",
         {}},
        {"2.1 base64 name",
         "BEGIN:VCARD\r\nVERSION:2.1\r\nFN;ENCODING=BASE64:Qm9i\r\nEND:VCARD\r\n",
         u"Bob",
         {}},
        {"3.0 folded lines and escapes",
         "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Smith\\, Jo\r\n hn\r\nTEL;TYPE=\"work,voice\":55\r\n\t5 "
         "1234\r\nEND:VCARD\r\n",
         u"Smith, John",
         {u"5551234"}},
        {"3.0 grouped properties and line feeds only",
         "BEGIN:VCARD\nVERSION:3.0\nN:Doe;Jane;;Dr.;\nitem1.TEL;type=pref:0123\nEND:VCARD\n",
         u"Dr. Jane Doe",
         {u"0123"}},
        {"4.0 telephone URIs",
         "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann\r\nTEL;VALUE=uri;TYPE=\"voice,home\";PREF=1:tel:+1-"
         "555-555-0100;ext=7\r\n"
         "TEL:tel:0800\r\nEND:VCARD\r\n",
         u"Ann",
         {u"+15555550100", u"0800"}},
        {"FN wins over N in any order",
         "BEGIN:VCARD\r\nN:Last;First\r\nFN:Shown Name\r\nEND:VCARD\r\n",
         u"Shown Name",
         {}},
        {"unlabelled Latin-1 bytes",
         "BEGIN:VCARD\r\nFN:Jos\xE9\r\nEND:VCARD\r\n",
         u"Jos\u00E9",
         {}},
        {"a byte order mark",
         "\xEF\xBB\xBF"
         "BEGIN:VCARD\r\nFN:X\r\nEND:VCARD\r\n",
         u"X",
         {}},
        {"only the first seven numbers",
         "BEGIN:VCARD\r\nFN:Many\r\nTEL:1\r\nTEL:2\r\nTEL:3\r\nTEL:4\r\nTEL:5\r\nTEL:6\r\nTEL:"
         "7\r\nTEL:8\r\nEND:VCARD\r\n",
         u"Many",
         {u"1", u"2", u"3", u"4", u"5", u"6", u"7"}},
        {"an embedded agent card is no contact",
         "BEGIN:VCARD\r\nFN:Boss\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:Assistant\r\nTEL:9\r\nEND:"
         "VCARD\r\nTEL:1\r\nEND:VCARD\r\n",
         u"Boss",
         {u"1"}},
    };
    for (const auto& c : cases) {
        const auto seen = Summaries(ParseVCardText(c.text));
        ASSERT_EQ(seen.size(), 1u) << c.what;
        EXPECT_EQ(seen[0].name, c.name) << c.what;
        EXPECT_EQ(seen[0].numbers, c.numbers) << c.what;
    }
}

TEST(ParseVCardText, DeliversContactsInFileOrderAndCutsLongTexts) {
    const std::string longName(300, 'n');
    const std::string longNumber(100, '5');
    const auto contacts = ParseVCardText(
        "BEGIN:VCARD\r\nFN:First\r\nEND:VCARD\r\n"
        "garbage line\r\n"
        "BEGIN:VCARD\r\nFN:" +
        longName + "\r\nTEL:" + longNumber +
        "\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nFN:Unclosed\r\n");
    ASSERT_EQ(contacts.size(), 2u);
    EXPECT_EQ(FieldText(contacts[0].displayName), u"First");
    EXPECT_EQ(FieldText(contacts[1].displayName).size(), OutlookContact::kDisplayNameUnits - 1);
    EXPECT_EQ(FieldText(contacts[1].numbers[0]).size(), OutlookContact::kNumberUnits - 1);
}

int Collect(const std::uint8_t* block, void* context, std::uintptr_t, std::uintptr_t) {
    static_cast<std::vector<std::u16string>*>(context)->push_back(
        FieldText(OutlookContact::FromBytes(ByteSpan(block, OutlookContact::kSize)).displayName));
    return 0;  // refusing one contact does not end the delivery
}

TEST(ContactLibrary, DeliversTheFileNamedInTheSettings) {
    test::TempHome home;
    test::TempDir dir;
    std::vector<std::u16string> names;
    VX860_GetOutLookContactList(&Collect, &names);
    EXPECT_TRUE(names.empty()) << "no file set";

    EXPECT_TRUE(WriteSettingString("ContactsFile", (dir / "missing.vcf").string()));
    VX860_GetOutLookContactList(&Collect, &names);
    EXPECT_TRUE(names.empty()) << "missing file";

    test::WriteText(dir / "book.vcf",
                    "BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n");
    EXPECT_TRUE(WriteSettingString("ContactsFile", (dir / "book.vcf").string()));
    VX860_GetOutLookContactList(&Collect, &names);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"B"}));

    ContactList contacts(3);
    EXPECT_EQ(FetchContacts(contacts), 2);
    ASSERT_EQ(contacts.size(), 2u);
    EXPECT_EQ(FieldText(contacts[1].displayName), u"B");
    EXPECT_EQ(FetchContactsFrom(dir / "missing.vcf", contacts), 0);
    EXPECT_TRUE(contacts.empty());
}

}  // namespace
}  // namespace lk
