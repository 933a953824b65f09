// The card's phone book page and the contact window, on generated
// PhoneBook.dat files; and the address book for callers' names.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <functional>

#include "DialogTestKit.h"
#include "GuiFixture.h"
#include "app/Settings.h"
#include "card/CallLog.h"
#include "dialogs/AddressBookChooser.h"
#include "dialogs/CContactEditDlg.h"
#include "pages/CPhoneBookDlg.h"
#include "phonebook/PhoneBookFile.h"
#include "support/Commands.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"

namespace lk::gui::test {
namespace {

namespace fs = std::filesystem;

ContactRecord Contact(const std::u16string& name, const std::u16string& number, int type = 0) {
    return BuildContactRecord(name, {number, u"", u""}, type, "CP1252");
}

std::vector<std::uint8_t> Bytes(const std::vector<ContactRecord>& records) {
    std::vector<std::uint8_t> b;
    for (const ContactRecord& r : records)
        b.insert(b.end(), r.bytes.begin(), r.bytes.end());
    return b;
}

std::vector<std::uint8_t> RecordAt(const std::vector<std::uint8_t>& file, int position) {
    const auto at = file.begin() + position * static_cast<long>(ContactRecord::kSize);
    return {at, at + static_cast<long>(ContactRecord::kSize)};
}

// What the user does in the contact window before pressing OK.
struct Typing {
    QString name;
    QStringList numbers;  // typed into the number boxes in order
    int type = -2;        // -2: leave the list alone
};

class PhoneBookPage : public ::testing::Test {
  protected:
    void SetUp() override {
        SetMessageHook([this](QWidget*, const QString& text, const QString& caption,
                              QMessageBox::Icon, QMessageBox::StandardButtons buttons) {
            messages.push_back({text, caption, QMessageBox::Information});
            return buttons.testFlag(QMessageBox::Yes) ? answer : QMessageBox::Ok;
        });
        page.resize(800, 500);
        // The real contact window, typed into and confirmed.
        page.SetContactEditor([this](QWidget* parent, const std::optional<ContactRecord>& source,
                                     const std::string& codePage) -> std::optional<ContactRecord> {
            ++editorRuns;
            CContactEditDlg dlg(source, codePage, parent);
            shownTypes.push_back(dlg.TypeList()->currentIndex());
            shownNames.push_back(dlg.NameEdit()->text());
            if (!typing) return std::nullopt;
            if (!typing->name.isNull()) {
                dlg.NameEdit()->clear();
                dlg.NameEdit()->insert(typing->name);
            }
            for (int i = 0; i < typing->numbers.size(); ++i) {
                dlg.NumberEdit(i)->clear();
                dlg.NumberEdit(i)->insert(typing->numbers[i]);
            }
            if (typing->type != -2) dlg.TypeList()->setCurrentIndex(typing->type);
            dlg.OkButton()->click();
            if (dlg.result() != QDialog::Accepted) return std::nullopt;
            return dlg.Result();
        });
    }
    void TearDown() override { SetMessageHook({}); }

    fs::path File() const { return card.path() / kPhoneBookFileName; }
    void Write(const std::vector<ContactRecord>& records) {
        lk::test::WriteFile(File(), Bytes(records));
        page.LoadFile(File());
    }
    int Rows() const { return page.List()->topLevelItemCount(); }
    QTreeWidgetItem* Row(int i) const { return page.List()->topLevelItem(i); }
    quint32 Value(int i) const { return Row(i)->data(0, Qt::UserRole).toUInt(); }
    void Select(std::initializer_list<int> rows) {
        page.List()->clearSelection();
        for (int r : rows)
            Row(r)->setSelected(true);
    }

    lk::test::TempHome home;
    lk::test::TempDir card;
    CPhoneBookDlg page{nullptr};
    std::optional<Typing> typing;
    int editorRuns = 0;
    std::vector<int> shownTypes;
    std::vector<QString> shownNames;
    std::vector<ShownMessage> messages;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
};

TEST_F(PhoneBookPage, LoadEnableAndClearFollowTheCard) {
    auto enabled = [this] {
        return page.Button(1088)->isEnabled() && page.Button(1062)->isEnabled() &&
               page.Button(1063)->isEnabled() && page.List()->isEnabled();
    };
    EXPECT_FALSE(enabled());
    Write({Contact(u"Ann", u"1"), Contact(u"Bob", u"2")});
    EXPECT_TRUE(enabled());
    EXPECT_EQ(Rows(), 2);
    page.Enable(false);
    EXPECT_FALSE(enabled());
    EXPECT_EQ(Rows(), 2);
    page.Clear();
    EXPECT_FALSE(enabled());
    EXPECT_EQ(Rows(), 0);

    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        int rows;
    } cases[] = {
        {"size not a multiple of 155", std::vector<std::uint8_t>(200, 1), 0},
        {"deleted records are not listed", Bytes({Contact(u"A", u"1"), Contact(u"B", u"2")}), 2},
        {"empty file", {}, 0},
    };
    cases[1].bytes[155] = 0;
    cases[1].rows = 1;
    for (const Case& c : cases) {
        lk::test::WriteFile(File(), c.bytes);
        page.LoadFile(File());
        EXPECT_EQ(Rows(), c.rows) << c.what;
    }
    page.LoadFile(card.path() / "absent.dat");
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(enabled());
}

TEST_F(PhoneBookPage, AddAfterADeletedRecordAppendsAtPositionOne) {
    ContactRecord gone = Contact(u"Old", u"9");
    gone.bytes[0] = 0;
    Write({gone});
    ASSERT_EQ(Rows(), 0);
    typing = Typing{QStringLiteral("Ann"), {QStringLiteral("5551234")}, 2};
    page.OnAdd();
    const auto file = lk::test::ReadFile(File());
    ASSERT_EQ(file.size(), 310u);
    EXPECT_EQ(RecordAt(file, 0), std::vector<std::uint8_t>(gone.bytes.begin(), gone.bytes.end()));
    const auto added = Contact(u"Ann", u"5551234", 2);
    EXPECT_EQ(RecordAt(file, 1), std::vector<std::uint8_t>(added.bytes.begin(), added.bytes.end()));
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Value(0), CPhoneBookDlg::RowValue(1, 2));
    EXPECT_EQ(Value(0), 0x20001u);
    EXPECT_EQ(Row(0)->text(0), QStringLiteral("Ann"));
    EXPECT_EQ(Row(0)->text(4), Lang(184));
}

TEST_F(PhoneBookPage, TheFiftyFirstContactIsRefusedUntilOneIsDeleted) {
    std::vector<ContactRecord> full;
    for (int i = 0; i < 50; ++i)
        full.push_back(Contact(u"C" + std::u16string(1, char16_t(u'0' + i % 10)), u"1"));
    Write(full);
    ASSERT_EQ(Rows(), 50);
    typing = Typing{QStringLiteral("New"), {QStringLiteral("2")}};
    page.OnAdd();
    EXPECT_EQ(editorRuns, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, Lang(188));
    EXPECT_EQ(messages[0].caption, Lang(179));
    EXPECT_EQ(lk::test::ReadFile(File()).size(), 50u * 155u);

    Select({10});
    page.OnDelete();
    page.OnAdd();
    EXPECT_EQ(editorRuns, 1);
    const auto file = lk::test::ReadFile(File());
    ASSERT_EQ(file.size(), 51u * 155u);
    EXPECT_EQ(file[10 * 155], 0);
    EXPECT_EQ(Value(Rows() - 1) & 0xFFFF, 50u);
}

TEST_F(PhoneBookPage, TextsAreCutToTheCardsFields) {
    Write({});
    typing = Typing{QString(35, QLatin1Char('n')),
                    {QString(30, QLatin1Char('9')), QStringLiteral("12a3"), QStringLiteral("+44")}};
    page.OnAdd();
    ASSERT_EQ(Rows(), 1);
    const auto file = lk::test::ReadFile(File());
    const ContactRecord r = ContactRecord::FromBytes(file);
    EXPECT_EQ(r.Name("CP1252"), std::u16string(34, u'n'));
    EXPECT_EQ(r.Number(0, "CP1252"), std::u16string(29, u'9'));
    // Only digits get into a number box.
    EXPECT_EQ(r.Number(1, "CP1252"), u"");
    EXPECT_EQ(r.Number(2, "CP1252"), u"");
    EXPECT_EQ(Row(0)->text(0), QString(34, QLatin1Char('n')));
}

TEST_F(PhoneBookPage, TheNameBoxWritesLettersInAsciiAndSaysSo) {
    CContactEditDlg dlg(std::nullopt, "CP1252", nullptr);
    EXPECT_TRUE(dlg.NameNote()->isHidden());
    struct Case {
        QStringList typed;  // typed one after the other
        QString shown;
        bool note;
    } cases[] = {
        {{QStringLiteral("Z"), QStringLiteral("\u00F6"), QStringLiteral("llner")},
         QStringLiteral("Zoellner"),
         true},
        {{QStringLiteral("Stra\u00DFe \u00C4 \u00DC")}, QStringLiteral("Strasse Ae Ue"), true},
        {{QStringLiteral("\u00C9va Ren\u00E9e \u00C5s \u0141\u00F8")},
         QStringLiteral("Eva Renee As Lo"),
         true},
        {{QStringLiteral("Ann\u20AC\u4E2D")}, QStringLiteral("Ann"), true},
        {{QStringLiteral("Bo"), QStringLiteral(" ")}, QStringLiteral("Bo "), false},
    };
    for (const Case& c : cases) {
        CContactEditDlg fresh(std::nullopt, "CP1252", nullptr);
        for (const QString& t : c.typed)
            fresh.NameEdit()->insert(t);
        EXPECT_EQ(fresh.NameEdit()->text(), c.shown) << c.shown.toStdString();
        EXPECT_EQ(fresh.NameEdit()->cursorPosition(), c.shown.size());
        EXPECT_EQ(!fresh.NameNote()->isHidden(), c.note) << c.shown.toStdString();
    }
    // Typed in the middle, the cursor stays after what was typed.
    dlg.NameEdit()->setText(QStringLiteral("Mller"));
    dlg.NameEdit()->setCursorPosition(1);
    dlg.NameEdit()->insert(QStringLiteral("\u00FC"));
    EXPECT_EQ(dlg.NameEdit()->text(), QStringLiteral("Mueller"));
    EXPECT_EQ(dlg.NameEdit()->cursorPosition(), 3);
}

TEST_F(PhoneBookPage, TabFollowsTheFormAndAContactNeedsANumber) {
    CContactEditDlg dlg(std::nullopt, "CP1252", nullptr);
    const std::vector<QWidget*> expected = {dlg.NameEdit(),    dlg.NumberEdit(0), dlg.NumberEdit(1),
                                            dlg.NumberEdit(2), dlg.TypeList(),    dlg.OkButton()};
    QWidget* w = dlg.NameEdit();
    for (std::size_t i = 1; i < expected.size(); ++i) {
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || !w->isEnabled())
            w = w->nextInFocusChain();
        EXPECT_EQ(w, expected[i]) << i;
    }
    // A name alone is refused with a message; the window stays open.
    dlg.show();
    dlg.NameEdit()->insert(QStringLiteral("Ann"));
    dlg.OkButton()->click();
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, Lang(363));
    // Through the page: nothing is written.
    Write({});
    typing = Typing{QStringLiteral("Ann"), {}};
    page.OnAdd();
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(lk::test::ReadFile(File()).empty());
}

TEST_F(PhoneBookPage, TheContactWindowNamesItsPurpose) {
    CContactEditDlg add(std::nullopt, "CP1252", nullptr);
    EXPECT_EQ(add.windowTitle(), Lang(179));
    EXPECT_EQ(add.OkButton()->text(), Lang(179));
    EXPECT_EQ(add.TypeList()->currentIndex(), 0);
    EXPECT_EQ(add.TypeList()->count(), 3);
    EXPECT_EQ(add.NameEdit()->maxLength(), 35);
    EXPECT_EQ(add.NumberEdit(2)->maxLength(), 30);
    CContactEditDlg change(Contact(u"Ann", u"12", 1), "CP1252", nullptr);
    EXPECT_EQ(change.windowTitle(), Lang(180));
    EXPECT_EQ(change.OkButton()->text(), Lang(180));
    EXPECT_EQ(change.NameEdit()->text(), QStringLiteral("Ann"));
    EXPECT_EQ(change.NumberEdit(0)->text(), QStringLiteral("12"));
    EXPECT_EQ(change.TypeList()->currentIndex(), 1);
}

TEST_F(PhoneBookPage, AnUnknownTypeShowsEmptyAndSurvivesAChange) {
    Write({Contact(u"Ann", u"1", 7)});
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Row(0)->text(4), QString());
    EXPECT_EQ(Value(0), CPhoneBookDlg::RowValue(0, 7));
    Select({0});
    typing = Typing{QStringLiteral("Anna"), {}};
    page.OnChange();
    ASSERT_EQ(shownTypes.size(), 1u);
    EXPECT_EQ(shownTypes[0], -1);
    const ContactRecord r = ContactRecord::FromBytes(lk::test::ReadFile(File()));
    EXPECT_EQ(r.Name("CP1252"), u"Anna");
    EXPECT_EQ(r.RecordingType(), 7);
}

TEST_F(PhoneBookPage, ChangingTwiceStartsFromTheFirstChange) {
    Write({Contact(u"Ann", u"1", 0), Contact(u"Bob", u"2", 0)});
    Select({1});
    typing = Typing{QStringLiteral("Bobby"), {QStringLiteral("22")}, 2};
    page.OnChange();
    EXPECT_EQ(Row(1)->text(0), QStringLiteral("Bobby"));
    EXPECT_EQ(Row(1)->text(4), Lang(184));
    EXPECT_EQ(Value(1), CPhoneBookDlg::RowValue(1, 2));
    typing = Typing{QString(), {}, 1};
    // A double click changes too.
    emit page.List()->itemDoubleClicked(Row(1), 0);
    ASSERT_EQ(shownTypes.size(), 2u);
    EXPECT_EQ(shownTypes[1], 2);
    EXPECT_EQ(shownNames[1], QStringLiteral("Bobby"));
    const auto file = lk::test::ReadFile(File());
    const auto bob = ContactRecord::FromBytes(RecordAt(file, 1));
    EXPECT_EQ(bob.Name("CP1252"), u"Bobby");
    EXPECT_EQ(bob.Number(0, "CP1252"), u"22");
    EXPECT_EQ(bob.RecordingType(), 1);
    EXPECT_EQ(ContactRecord::FromBytes(RecordAt(file, 0)).Name("CP1252"), u"Ann");

    // Cancel changes nothing; without a selection nothing opens.
    typing.reset();
    page.OnChange();
    EXPECT_EQ(lk::test::ReadFile(File()), file);
    page.List()->clearSelection();
    const int runs = editorRuns;
    page.OnChange();
    EXPECT_EQ(editorRuns, runs);
}

TEST_F(PhoneBookPage, DeletingTwoRowsClearsOnlyTheirFlags) {
    std::vector<ContactRecord> records = {Contact(u"Ann", u"1", 1), Contact(u"Bob", u"2"),
                                          Contact(u"Cy", u"3", 2)};
    // Bytes the program would never write itself must survive a delete.
    records[2].bytes[140] = 0x5A;
    Write(records);
    const auto before = lk::test::ReadFile(File());

    Select({0, 2});
    answer = QMessageBox::No;
    page.OnDelete();
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(lk::test::ReadFile(File()), before);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, Lang(185));
    EXPECT_EQ(messages[0].caption, Lang(186));

    answer = QMessageBox::Yes;
    page.OnDelete();
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Row(0)->text(0), QStringLiteral("Bob"));
    auto expected = before;
    expected[0] = 0;
    expected[2 * 155] = 0;
    EXPECT_EQ(lk::test::ReadFile(File()), expected);
}

TEST_F(PhoneBookPage, ACardThatCannotBeWrittenStillUpdatesTheList) {
    Write({Contact(u"Ann", u"1"), Contact(u"Bob", u"2")});
    fs::remove(File());
    Select({0});
    typing = Typing{QStringLiteral("Anna"), {}};
    page.OnChange();
    EXPECT_EQ(Row(0)->text(0), QStringLiteral("Anna"));
    Select({1});
    page.OnDelete();
    EXPECT_EQ(Rows(), 1);
    EXPECT_FALSE(fs::exists(File()));
}

// The window on a family-1 card.
class PhoneBookWindow : public WindowTest {};

TEST_F(PhoneBookWindow, TheCardWatchLoadsAndClearsThePhoneBook) {
    CardRecordFields call;
    call.year = 2016;
    call.number = u"5551234";
    call.callSeconds = 30;
    call.relativePath = u"RECORD\\201601\\20160101100000-I-1.wav";
    lk::test::WriteFile(card.path() / kCallLogFileName, BuildCardRecord(call, 1));
    lk::test::WriteFile(card.path() / kPhoneBookFileName,
                        Bytes({Contact(u"Ann", u"1"), Contact(u"Bob", u"2")}));
    Start();
    CPhoneBookDlg& book = *view().PhoneBookPane();
    EXPECT_FALSE(book.List()->isEnabled());
    InsertCard();
    Tick(TimerStartup);
    ASSERT_TRUE(WaitIdle());
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(app().State().devType, 1);
    EXPECT_EQ(app().State().records.Card().size(), 1u);
    EXPECT_EQ(book.List()->topLevelItemCount(), 2);
    EXPECT_TRUE(book.List()->isEnabled());
    view().ShowPage(PageDevice);
    EXPECT_FALSE(book.isHidden());

    RemoveCard();
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(book.List()->topLevelItemCount(), 0);
    EXPECT_FALSE(book.List()->isEnabled());
}

TEST_F(PhoneBookWindow, ACardWithoutRecordsTakesItsPhoneBookAlongWhenRemoved) {
    lk::test::WriteFile(card.path() / kCallLogFileName, {});
    lk::test::WriteFile(card.path() / kPhoneBookFileName, Bytes({Contact(u"Ann", u"1")}));
    Start();
    CPhoneBookDlg& book = *view().PhoneBookPane();
    InsertCard();
    Tick(TimerStartup);
    ASSERT_TRUE(WaitIdle());
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(book.List()->topLevelItemCount(), 1);
    ASSERT_EQ(app().State().viewingBackup, 1);
    // The empty log is rebuilt from the (absent) recordings first.
    ASSERT_TRUE(WaitFor([this] { return app().State().rebuildRunning == 0; }));
    RemoveCard();
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(book.List()->topLevelItemCount(), 0);
    EXPECT_FALSE(book.Button(1088)->isEnabled());
}

// Caller names from the address book.
class AddressBook : public WindowTest {
  protected:
    void LoadCard() {
        WriteCard(card.path(), {CardCall{}});
        Start();
        InsertCard();
        Tick(TimerStartup);
        ASSERT_TRUE(WaitIdle());
        Tick(TimerCardWatch);
        ASSERT_TRUE(WaitIdle());
        view().SetAddressBookChooser([this](QWidget*, const QString&) {
            ++asked;
            return chosen;
        });
    }
    std::u16string NameAfterMatch() {
        view().OnCommand(CmdMatchContacts);
        Tick(TimerCardWatch);
        EXPECT_TRUE(WaitIdle());
        if (app().State().records.Card().empty()) return u"(no record)";
        return FieldText(app().State().records.Card().front()->name);
    }
    static constexpr char kAnn[] =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Example\r\nTEL;TYPE=WORK:5551234\r\nEND:VCARD\r\n";
    static constexpr char kBob[] =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bob Other\r\nTEL:999\r\nEND:VCARD\r\n";

    QString chosen;
    int asked = 0;
};

TEST_F(AddressBook, TheChooserTakesAVCardFileOrAFolder) {
    const fs::path folder = home.path() / "cards";
    lk::test::WriteText(folder / "ann.vcf", kAnn);
    const QString file = QString::fromStdString((folder / "ann.vcf").string());
    struct Case {
        const char* what;
        std::function<void(QFileDialog*)> act;
        QString expected;
    };
    const Case cases[] = {
        {"a file",
         [&](QFileDialog* d) {
             // Typed into the name box, as from the keyboard, then Choose.
             auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
             ASSERT_NE(name, nullptr);
             name->setText(QStringLiteral("ann.vcf"));
             static_cast<QDialog*>(d)->accept();  // the dialog's own check runs
         },
         file},
        {"the folder shown",
         [&](QFileDialog* d) { d->findChild<QPushButton*>("chooseFolder")->click(); },
         QString::fromStdString(folder.string())},
        {"cancelled", [&](QFileDialog* d) { d->reject(); }, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QString result;
        const auto seen = WithModals(
            [&] { result = ChooseAddressBook(nullptr, QString::fromStdString(folder.string())); },
            [&](QDialog* d) {
                auto* picker = qobject_cast<QFileDialog*>(d);
                if (!picker) {
                    ADD_FAILURE() << "unexpected window: " << d->windowTitle().toStdString();
                    d->reject();
                    return;
                }
                EXPECT_EQ(picker->fileMode(), QFileDialog::ExistingFile);
                c.act(picker);
                // Never left hanging: a choice the picker refused ends as cancelled.
                for (int i = 0; i < 50 && picker->isVisible(); ++i)
                    QTest::qWait(20);
                if (picker->isVisible()) {
                    ADD_FAILURE() << "the picker stayed open";
                    picker->reject();
                }
            });
        EXPECT_EQ(seen, std::vector<std::string>{"addressBookChooser"});
        EXPECT_EQ(QDir::cleanPath(result), QDir::cleanPath(c.expected));
    }
}

TEST_F(AddressBook, TheFirstMatchAsksForTheBookAndKeepsIt) {
    LoadCard();
    const fs::path book = home.path() / "book.vcf";
    lk::test::WriteText(book, std::string(kBob) + kAnn);
    EXPECT_TRUE(WriteSettingString("ContactsFile", ""));

    chosen.clear();  // cancelled: nothing happens
    view().OnCommand(CmdMatchContacts);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(ReadSettingString("ContactsFile").empty());
    EXPECT_NE(app().State().cardDrive, 0);  // no reload either

    chosen = QString::fromStdString(book.string());
    EXPECT_EQ(NameAfterMatch(), u"Ann Example");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ReadSettingString("ContactsFile"), book.string());
    EXPECT_EQ(app().State().contacts.size(), 2u);
    // Known now: not asked again.
    EXPECT_EQ(NameAfterMatch(), u"Ann Example");
    EXPECT_EQ(asked, 2);
    // A book that went away is asked for anew.
    fs::remove(book);
    chosen.clear();
    view().OnCommand(CmdMatchContacts);
    EXPECT_EQ(asked, 3);
}

TEST_F(AddressBook, TheMenuItemChangesTheBook) {
    LoadCard();
    ASSERT_NE(frame().Action(CmdChooseAddressBook), nullptr);
    EXPECT_EQ(frame().Action(CmdChooseAddressBook)->text(), MenuText(240));
    const fs::path book = home.path() / "other.vcf";
    lk::test::WriteText(book, kAnn);
    chosen = QString::fromStdString(book.string());
    frame().OnCommand(CmdChooseAddressBook);
    EXPECT_EQ(ReadSettingString("ContactsFile"), book.string());
    EXPECT_EQ(NameAfterMatch(), u"Ann Example");
    EXPECT_EQ(asked, 1);
}

TEST_F(AddressBook, AFolderOfCardsGivesTheSameNamesAsOneFile) {
    LoadCard();
    const fs::path folder = home.path() / "contacts";
    fs::create_directories(folder);
    lk::test::WriteText(folder / "bob.vcf", kBob);
    lk::test::WriteText(folder / "ann.vcf", kAnn);
    EXPECT_TRUE(WriteSettingString("ContactsFile", ""));
    chosen = QString::fromStdString(folder.string());
    EXPECT_EQ(NameAfterMatch(), u"Ann Example");
    EXPECT_EQ(ReadSettingString("ContactsFile"), folder.string());
    EXPECT_EQ(app().State().contacts.size(), 2u);
}

}  // namespace
}  // namespace lk::gui::test
