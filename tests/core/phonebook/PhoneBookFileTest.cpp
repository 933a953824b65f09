#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "phonebook/PhoneBookFile.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

ContactRecord Contact(const std::u16string& name, const std::u16string& number, int type = 0,
                      const char* codePage = "CP1252") {
    return BuildContactRecord(name, {number, u"", u""}, type, codePage);
}

TEST(ContactRecord, FieldsSitAtTheirOffsetsAndTheRestIsZero) {
    const auto r = BuildContactRecord(u"Ann", {u"1", u"22", u"333"}, 2, "CP1252");
    std::vector<std::uint8_t> expected(155, 0);
    expected[0] = 1;
    expected[1] = '1';
    expected[31] = '2', expected[32] = '2';
    expected[61] = '3', expected[62] = '3', expected[63] = '3';
    expected[91] = 'A', expected[92] = 'n', expected[93] = 'n';
    expected[126] = 2;
    EXPECT_EQ(std::vector<std::uint8_t>(r.bytes.begin(), r.bytes.end()), expected);
    EXPECT_EQ(r.Name("CP1252"), u"Ann");
    EXPECT_EQ(r.Number(2, "CP1252"), u"333");
}

TEST(ContactRecord, TextsAreCutToTheirFieldsAtWholeCharacters) {
    struct Case {
        const char* what;
        std::u16string name;
        std::u16string number;
        const char* codePage;
        std::u16string storedName;
        std::u16string storedNumber;
    } cases[] = {
        {"35 characters keep 34", std::u16string(35, u'n'), std::u16string(30, u'9'), "CP1252",
         std::u16string(34, u'n'), std::u16string(29, u'9')},
        {"short texts stay", u"Bo", u"12", "CP1252", u"Bo", u"12"},
        {"double-byte names never split", std::u16string(18, u'\u4E2D'), u"1", "CP936",
         std::u16string(17, u'\u4E2D'), u"1"},
    };
    for (const auto& c : cases) {
        const auto r = Contact(c.name, c.number, 0, c.codePage);
        EXPECT_EQ(r.Name(c.codePage), c.storedName) << c.what;
        EXPECT_EQ(r.Number(0, c.codePage), c.storedNumber) << c.what;
        EXPECT_EQ(r.bytes[ContactRecord::kName + ContactRecord::kNameSize - 1], 0) << c.what;
        EXPECT_EQ(r.bytes[ContactRecord::kNumbers[0] + ContactRecord::kNumberSize - 1], 0)
            << c.what;
    }
}

TEST(PhoneBook, DeletedRecordsAreNeverReused) {
    test::TempDir card;
    const fs::path file = card / "PhoneBook.dat";
    auto dead = Contact(u"Old", u"1");
    dead.bytes[0] = 0;
    test::WriteFile(file, std::vector<std::uint8_t>(dead.bytes.begin(), dead.bytes.end()));
    EXPECT_TRUE(LoadPhoneBook(file).contacts.empty());

    int position = -1;
    ASSERT_EQ(AddContact(file, Contact(u"New", u"2"), &position), PhoneBookWrite::Done);
    EXPECT_EQ(position, 1);
    const auto load = LoadPhoneBook(file);
    EXPECT_EQ(load.recordCount, 2);
    ASSERT_EQ(load.contacts.size(), 1u);
    EXPECT_EQ(load.contacts[0].position, 1);
}

TEST(PhoneBook, HoldsFiftyContactsAtMost) {
    test::TempDir card;
    const fs::path file = card / "PhoneBook.dat";
    for (int i = 0; i < kMaxPhoneBookContacts; ++i)
        ASSERT_EQ(AddContact(
                      file, Contact(u"C", std::u16string(1, static_cast<char16_t>(u'0' + i % 10)))),
                  PhoneBookWrite::Done);
    EXPECT_EQ(AddContact(file, Contact(u"Too many", u"1")), PhoneBookWrite::Full);
    EXPECT_EQ(fs::file_size(file), 50u * 155u);

    ASSERT_EQ(DeleteContact(file, 7), PhoneBookWrite::Done);
    int position = -1;
    ASSERT_EQ(AddContact(file, Contact(u"Again", u"1"), &position), PhoneBookWrite::Done);
    EXPECT_EQ(position, 50);
    EXPECT_EQ(LoadPhoneBook(file).contacts.size(), 50u);
}

TEST(PhoneBook, DeleteClearsOnlyTheFlag) {
    test::TempDir card;
    const fs::path file = card / "PhoneBook.dat";
    for (const char16_t* name : {u"A", u"B", u"C"})
        AddContact(file, Contact(name, u"123", 1));
    const auto before = test::ReadFile(file);
    ASSERT_EQ(DeleteContact(file, 0), PhoneBookWrite::Done);
    ASSERT_EQ(DeleteContact(file, 2), PhoneBookWrite::Done);
    auto expected = before;
    expected[0] = 0;
    expected[2 * 155] = 0;
    EXPECT_EQ(test::ReadFile(file), expected);
    const auto load = LoadPhoneBook(file);
    ASSERT_EQ(load.contacts.size(), 1u);
    EXPECT_EQ(load.contacts[0].record.Name("CP1252"), u"B");
}

TEST(PhoneBook, ChangeRewritesTheWholeRecordInPlace) {
    test::TempDir card;
    const fs::path file = card / "PhoneBook.dat";
    AddContact(file, Contact(u"A", u"1"));
    AddContact(file, Contact(u"Bob", u"2"));
    auto bytes = test::ReadFile(file);
    bytes[155 + 140] = 0x55;  // a reserved byte the recorder may have set
    test::WriteFile(file, bytes);

    ASSERT_EQ(ChangeContact(file, 1, Contact(u"Bo", u"3", 2)), PhoneBookWrite::Done);
    const auto load = LoadPhoneBook(file);
    ASSERT_EQ(load.contacts.size(), 2u);
    EXPECT_EQ(load.contacts[1].record.Name("CP1252"), u"Bo");
    EXPECT_EQ(load.contacts[1].record.RecordingType(), 2);
    EXPECT_EQ(load.contacts[1].record.bytes, Contact(u"Bo", u"3", 2).bytes);
    EXPECT_EQ(load.contacts[0].record.bytes, Contact(u"A", u"1").bytes);
}

TEST(PhoneBook, RefusesWhatItCannotDoSafely) {
    test::TempDir card;
    const fs::path file = card / "PhoneBook.dat";
    EXPECT_FALSE(LoadPhoneBook(file).found);
    EXPECT_EQ(ChangeContact(file, 0, Contact(u"A", u"1")), PhoneBookWrite::IoError);
    EXPECT_EQ(DeleteContact(file, 0), PhoneBookWrite::IoError);
    EXPECT_FALSE(fs::exists(file));

    AddContact(file, Contact(u"A", u"1"));
    EXPECT_EQ(ChangeContact(file, 1, Contact(u"B", u"1")), PhoneBookWrite::NoSuchEntry);
    EXPECT_EQ(DeleteContact(file, -1), PhoneBookWrite::NoSuchEntry);
    EXPECT_EQ(fs::file_size(file), 155u);

    // A damaged size lists nothing and is not appended to.
    auto bytes = test::ReadFile(file);
    bytes.push_back(0);
    test::WriteFile(file, bytes);
    const auto load = LoadPhoneBook(file);
    EXPECT_TRUE(load.found);
    EXPECT_FALSE(load.sizeValid);
    EXPECT_TRUE(load.contacts.empty());
    EXPECT_EQ(AddContact(file, Contact(u"B", u"2")), PhoneBookWrite::BadFile);
    EXPECT_EQ(fs::file_size(file), 156u);
}

TEST(PhoneBook, KeepsUnknownRecordingTypes) {
    test::TempDir card;
    const fs::path file = card / "PhoneBook.dat";
    auto r = Contact(u"A", u"1");
    r.bytes[ContactRecord::kRecordingType] = 7;
    test::WriteFile(file, std::vector<std::uint8_t>(r.bytes.begin(), r.bytes.end()));
    EXPECT_EQ(LoadPhoneBook(file).contacts[0].record.RecordingType(), 7);
}

TEST(PhoneBook, NameBoxDropsTrailingNonAscii) {
    EXPECT_EQ(DropTrailingNonAscii(u"Zo\u00EB\u00E9"), u"Zo");
    EXPECT_EQ(DropTrailingNonAscii(u"\u00C9mile"), u"\u00C9mile");
    EXPECT_EQ(DropTrailingNonAscii(u""), u"");
}

}  // namespace
}  // namespace lk
