// Address books as phones and mail programs write them: odd line ends,
// UTF-16, huge files, numbers with separators, folders of single cards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "card/CallLog.h"
#include "phonebook/ContactLibrary.h"
#include "phonebook/VCardReader.h"
#include "platform/TextCodec.h"
#include "support/TempDir.h"

namespace lk {
namespace {

namespace fs = std::filesystem;

struct Seen {
    std::u16string name;
    std::vector<std::u16string> numbers;
    friend bool operator==(const Seen&, const Seen&) = default;
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

// The same text with every line end replaced.
std::string WithLineEnds(std::string_view lfText, std::string_view end) {
    std::string out;
    for (char c : lfText) {
        if (c == '\n')
            out += end;
        else
            out.push_back(c);
    }
    return out;
}

std::string Utf16(std::u16string_view text, bool bigEndian, bool mark) {
    std::string out;
    auto put = [&](char16_t u) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out.push_back(bigEndian ? hi : lo);
        out.push_back(bigEndian ? lo : hi);
    };
    if (mark) put(0xFEFF);
    for (auto u : text)
        put(u);
    return out;
}

const char* const kBook =
    "BEGIN:VCARD\n"
    "VERSION:3.0\n"
    "FN:Zo\xC3\xAB \xF0\x9F\x93\x9E M\xC3\xBCller\n"  // a character outside the BMP
    "TEL;TYPE=CELL:(555) 555-0188\n"
    "TEL:+1 555 555 0199\n"
    "NOTE:folded\n"
    "  note\n"
    "END:VCARD\n"
    "BEGIN:VCARD\n"
    "VERSION:2.1\n"
    "N;ENCODING=QUOTED-PRINTABLE:Doe;Jo=\n"
    "hn\n"
    "TEL;HOME:555.0100\n"
    "END:VCARD\n";

const std::vector<Seen> kBookSeen = {
    {u"Zo\u00EB \U0001F4DE M\u00FCller", {u"5555550188", u"+15555550199"}},
    {u"John Doe", {u"5550100"}},
};

TEST(VCardReader, EveryLineEndAndEncodingGivesTheSameContacts) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    const std::u16string utf16 = FromUtf8(WithLineEnds(kBook, "\r\n"));
    const Case cases[] = {
        {"LF", kBook},
        {"CR LF", WithLineEnds(kBook, "\r\n")},
        {"CR CR LF (an iPhone export)", WithLineEnds(kBook, "\r\r\n")},
        {"CR alone", WithLineEnds(kBook, "\r")},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + WithLineEnds(kBook, "\r\n")},
        {"UTF-16 LE with a mark", Utf16(utf16, false, true)},
        {"UTF-16 BE with a mark", Utf16(utf16, true, true)},
        {"UTF-16 LE without a mark", Utf16(utf16, false, false)},
        {"UTF-16 LE, CR CR LF", Utf16(FromUtf8(WithLineEnds(kBook, "\r\r\n")), false, true)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto whole = Summaries(ParseVCardText(c.bytes));
        EXPECT_EQ(whole, kBookSeen);
        for (const auto& s : whole) {
            EXPECT_EQ(s.name.find_first_of(u"\r\n"), std::u16string::npos);
            for (const auto& n : s.numbers)
                EXPECT_EQ(n.find_first_of(u"\r\n"), std::u16string::npos);
        }
        // Read as a stream in pieces of every small size: a piece may end
        // inside a CR run, a UTF-16 unit or a surrogate pair.
        for (std::size_t piece = 1; piece <= 7; ++piece) {
            std::vector<OutlookContact> got;
            VCardReader reader([&got](const OutlookContact& o) { got.push_back(o); });
            for (std::size_t off = 0; off < c.bytes.size(); off += piece)
                reader.Feed(std::string_view(c.bytes).substr(off, piece));
            reader.Finish();
            EXPECT_EQ(Summaries(got), kBookSeen) << "pieces of " << piece;
        }
    }
}

TEST(VCardReader, UnusedPropertiesAreSkippedWithTheirContinuations) {
    // A quoted-printable note with soft breaks: its continuation lines look
    // like properties but belong to the note.
    const auto seen = Summaries(
        ParseVCardText("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Ann\r\n"
                       "NOTE;ENCODING=QUOTED-PRINTABLE:call=0D=0Aback=\r\nTEL:999=\r\nFN:Wrong\r\n"
                       "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQ\r\n  SkZJRgABAQ\r\n\r\n"
                       "TEL:1 2 3\r\nFN;ENCODING=QUOTED-PRINTABLE:Ann=0D=0ALee\r\nEND:VCARD\r\n"));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].name, u"Ann  Lee");
    EXPECT_EQ(seen[0].numbers, (std::vector<std::u16string>{u"123"}));
}

TEST(NormalizeContactNumber, RemovesVisualSeparatorsAndTelUriParts) {
    const struct {
        std::u16string in, want;
    } cases[] = {
        {u"555-0188", u"5550188"},
        {u"(555) 555-0188", u"5555550188"},
        {u"+1 555 555 0188", u"+15555550188"},
        {u"+1.555.555.0188", u"+15555550188"},
        {u"tel:+1-555-555-0188;ext=12", u"+15555550188"},
        {u"TEL:0800", u"0800"},
        {u"*31#\u00A0555", u"*31#555"},
        {u"1-800-FLOWERS", u"1800FLOWERS"},
        {u"", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NormalizeContactNumber(c.in), c.want) << ToUtf8(c.in);
}

TEST(VCardReader, NumbersWithSeparatorsNowMatchTheRecordersNumbers) {
    const auto contacts = ParseVCardText(
        "BEGIN:VCARD\nFN:Parens\nTEL:(555) 555-0188\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:Plus\nTEL;VALUE=uri:tel:+44-20-7946-0321\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:Short\nTEL:1-2-3\nEND:VCARD\n");
    const struct {
        const char16_t* number;
        const char16_t* name;
    } cases[] = {
        {u"5550188", u"Parens"},       // the last six characters agree
        {u"00442079460321", u"Plus"},  // another prefix, same last six
        {u"123", u"Short"},            // short numbers match exactly
        {u"12", u""},
    };
    for (const auto& c : cases) {
        CallRecord r{};
        SetFieldText(r.number, c.number);
        MatchContactName(r, contacts, false);
        EXPECT_EQ(FieldText(r.name), c.name) << ToUtf8(c.number);
    }
}

std::string Card(int i, std::size_t photoLines = 0) {
    std::string s = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Person " + std::to_string(i) +
                    "\r\nTEL:555-" + std::to_string(1000 + i) + "\r\n";
    if (photoLines) {
        s += "PHOTO;ENCODING=b;TYPE=JPEG:";
        const std::string line(74, 'Q');
        for (std::size_t l = 0; l < photoLines; ++l)
            s += line + "\r\n ";
        s += "QQ==\r\n";
    }
    return s + "END:VCARD\r\n";
}

TEST(ContactLibrary, ReadsFilesOfAnySize) {
    test::TempDir dir;
    const auto path = dir / "photos.vcf";
    {
        // 120 contacts with a 290 KB photo each: over 34 MB.
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 120; ++i)
            out << Card(i, 3900);
    }
    ASSERT_GT(fs::file_size(path), 34u * 1024 * 1024);
    ContactList contacts;
    const auto r = LoadContactsFrom(path, contacts);
    EXPECT_TRUE(r.Ok()) << r.message;
    EXPECT_EQ(r.contacts, 120);
    ASSERT_EQ(contacts.size(), 120u);
    EXPECT_EQ(FieldText(contacts[119].displayName), u"Person 119");
    EXPECT_EQ(FieldText(contacts[119].numbers[0]), u"5551119");
}

TEST(ContactLibrary, AFolderOfCardsReadsLikeOneFile) {
    test::TempDir dir;
    std::string book;
    fs::create_directories(dir / "vdir");
    for (int i = 0; i < 5; ++i) {
        book += Card(i);
        test::WriteText(dir / "vdir" / ("card" + std::to_string(i) + (i == 3 ? ".VCF" : ".vcf")),
                        Card(i));
    }
    test::WriteText(dir / "book.vcf", book);
    test::WriteText(dir / "vdir" / "notes.txt", Card(99));  // not a vCard file
    test::WriteText(dir / "outside.vcf", Card(98));
    fs::create_symlink(dir / "outside.vcf", dir / "vdir" / "link.vcf");  // not followed
    fs::create_directories(dir / "vdir" / "sub.vcf");                    // a folder

    ContactList fromFile, fromFolder;
    const auto a = LoadContactsFrom(dir / "book.vcf", fromFile);
    const auto b = LoadContactsFrom(dir / "vdir", fromFolder);
    EXPECT_TRUE(a.Ok() && b.Ok()) << a.message << b.message;
    EXPECT_EQ(b.contacts, 5);
    EXPECT_EQ(Summaries(fromFolder), Summaries(fromFile));

    // The setting may name the folder too.
    test::TempHome home;
    EXPECT_TRUE(WriteSettingString("ContactsFile", (dir / "vdir").string()));
    ContactList viaSetting;
    EXPECT_EQ(FetchContacts(viaSetting), 5);
}

TEST(ContactLibrary, SaysWhyNothingWasRead) {
    test::TempDir dir;
    test::WriteText(dir / "list.csv", "name,number\nAnn,555\n");
    test::WriteText(dir / "empty.vcf", "");
    fs::create_directories(dir / "emptydir");
    const struct {
        const char* what;
        fs::path source;
        ContactSourceStatus status;
    } cases[] = {
        {"missing", dir / "missing.vcf", ContactSourceStatus::Missing},
        {"not a vCard", dir / "list.csv", ContactSourceStatus::NotAddressBook},
        {"an empty file is an empty book", dir / "empty.vcf", ContactSourceStatus::Read},
        {"an empty folder is an empty book", dir / "emptydir", ContactSourceStatus::Read},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ContactList contacts(2);
        const auto r = LoadContactsFrom(c.source, contacts);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.contacts, 0);
        EXPECT_TRUE(contacts.empty());
        EXPECT_EQ(r.Ok(), r.message.empty()) << r.message;
        if (!r.Ok()) {
            EXPECT_NE(r.message.find(c.source.string()), std::string::npos) << r.message;
        }
    }
    test::TempHome home;
    ContactList contacts;
    EXPECT_EQ(LoadContacts(contacts).status, ContactSourceStatus::NotSet);
}

}  // namespace
}  // namespace lk
