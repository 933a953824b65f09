// The working dialogs on a generated card and a temporary store: back up (by
// hand and automatically), backup path, search, WAV export, import, repair,
// and that none of them goes while its worker still runs.

#include <cerrno>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <filesystem>
#include <functional>
#include <map>

#include "DialogTestKit.h"
#include "GuiFixture.h"
#include "app/Settings.h"
#include "backup/FileOps.h"
#include "backup/StoreRetention.h"
#include "backup/StoreVerify.h"
#include "card/BackupStore.h"
#include "dialogs/CAuditTrailDlg.h"
#include "dialogs/CBackupDlg.h"
#include "dialogs/CBackupPathDlg.h"
#include "dialogs/CExportWavDlg.h"
#include "dialogs/CImportDlg.h"
#include "dialogs/CRepairDlg.h"
#include "dialogs/CRetentionDlg.h"
#include "dialogs/CSearchDlg.h"
#include "dialogs/CStoreCheckDlg.h"
#include "export/RecordingWriter.h"
#include "playback/XtrFormat.h"
#include "player/CPlayerDlg.h"
#include "player/CWaveView.h"
#include "records/RecordRow.h"
#include "support/Commands.h"
#include "support/FolderPicker.h"
#include "support/GuiText.h"
#include "support/Icons.h"
#include "support/MessageBox.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui::test {
namespace {

namespace fs = std::filesystem;

const std::vector<CardCall> kCalls = {
    {Incoming, 0, 1}, {Missed, 0, 2},  {Outgoing, 0, 3, 10, u"0105559"},
    {Note, 0, 4},     {Message, 0, 5}, {Incoming, 0, 6, 10, u"55-5"},
    {Outgoing, 0, 7},
};

QString Q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

// Recording name -> bytes, for every recording below `root`.
std::map<std::string, std::vector<std::uint8_t>> Recordings(const fs::path& root) {
    std::map<std::string, std::vector<std::uint8_t>> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::end(it); ++it) {
        const fs::path& p = it->path();
        // The card's prompt sounds are not recordings.
        if (it->is_regular_file() && p.filename().string().starts_with("2016") &&
            (p.extension() == ".wav" || p.extension() == ".xtr"))
            out[p.filename().string()] = lk::test::ReadFile(p);
    }
    return out;
}

class Dialogs : public WindowTest {
  protected:
    void LoadCard(const std::vector<CardCall>& calls = kCalls) {
        WriteCard(card.path(), calls);
        ASSERT_TRUE(StartWithCard());
        ASSERT_EQ(app().State().records.Card().size(), calls.size());
    }
    // A picker that answers with the next folder of `picks` ("" = cancel).
    DialogServices Services() {
        DialogServices s = frame().Services();
        s.pickFolder = [this](QWidget*, const QString& title, const QString& start) {
            pickerTitles.push_back(title);
            pickerStarts.push_back(start);
            if (picks.empty()) return QString();
            QString next = picks.front();
            picks.erase(picks.begin());
            return next;
        };
        return s;
    }
    void UsePicker() { frame().SetServices(Services()); }
    template <class T>
    static T* Child(QWidget* w, const char* name) {
        return w->findChild<T*>(QLatin1String(name));
    }

    std::vector<QString> picks;
    std::vector<QString> pickerTitles, pickerStarts;
    lk::test::TempDir other;
};

// --- folder picker and backup path ------------------------------------------

TEST(FolderPicker, ChosenFolderEndsWithOneSeparatorAndCancelGivesNothing) {
    struct Case {
        QString initial, chosen;
        std::optional<QString> want;
        QString startSeen;
    };
    const Case cases[] = {
        {"/data/Backup/", "/data/Backup", "/data/Backup/", "/data/Backup"},
        {"/data/Backup", "/data/Backup/", "/data/Backup/", "/data/Backup"},
        {"/", "/", "/", "/"},
        {"/data/", "", std::nullopt, "/data"},
    };
    for (const Case& c : cases) {
        QString seen;
        const auto got = BrowseForFolder(
            [&](QWidget*, const QString&, const QString& start) {
                seen = start;
                return c.chosen;
            },
            nullptr, c.initial);
        EXPECT_EQ(got, c.want) << c.chosen.toStdString();
        EXPECT_EQ(seen, c.startSeen) << c.initial.toStdString();
    }
    const QString home = WithTrailingSeparator(QDir::homePath());
    EXPECT_EQ(StartFolder(""), home);
    EXPECT_EQ(StartFolder("C:\\"), home);
    EXPECT_EQ(StartFolder("/srv/x/"), "/srv/x/");
}

TEST_F(Dialogs, BackupPathIsWrittenOnlyWhenADifferentFolderWasPicked) {
    Start();
    const std::string before = ReadSettingString("BackupPath");
    const QString fresh = Q(other.path() / "Store");
    struct Case {
        const char* what;
        std::vector<QString> picks;
        int browses;
        bool ok;
        std::string want;
        int reloads;
    };
    const Case cases[] = {
        {"new folder gets its separator", {fresh}, 1, true, fresh.toStdString() + "/", 1},
        {"a root stays as it is", {"/"}, 1, true, "/", 1},
        {"the same folder again", {QString::fromStdString(before)}, 1, true, before, 0},
        {"picker cancelled", {""}, 1, true, before, 0},
        {"OK without a pick", {}, 0, true, before, 0},
        {"picked, then Cancel", {fresh}, 1, false, before, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(WriteSettingString("BackupPath", before));
        picks = c.picks;
        int reloads = 0;
        DialogServices s = Services();
        s.scheduleBackupReload = [&reloads] { ++reloads; };
        CBackupPathDlg dlg(s, nullptr);
        for (int i = 0; i < c.browses; ++i)
            dlg.OnBrowse();
        c.ok ? dlg.accept() : dlg.reject();
        EXPECT_EQ(ReadSettingString("BackupPath"), c.want);
        EXPECT_EQ(reloads, c.reloads);
    }
    EXPECT_EQ(pickerTitles.front(), QLatin1String(kFolderPickerTitle));
}

// A folder the user picked that the settings file did not take is said in
// a warning and not counted as chosen.
TEST_F(Dialogs, ASettingThatCannotBeSavedIsSaidAndNotTaken) {
    Start();
    const QString fresh = Q(other.path() / "Chosen");
    // A folder where the settings file belongs: every write fails.
    fs::remove(SettingsFilePath());
    fs::create_directory(SettingsFilePath());
    struct Case {
        const char* what;
        std::function<void()> act;
    };
    int reloads = 0;
    const Case cases[] = {
        {"backup folder",
         [&] {
             DialogServices s = Services();
             s.scheduleBackupReload = [&reloads] { ++reloads; };
             CBackupPathDlg dlg(s, nullptr);
             dlg.OnBrowse();
             dlg.accept();
             EXPECT_NE(dlg.result(), QDialog::Accepted);
         }},
        {"export folder",
         [&] {
             CExportWavDlg dlg(Services(), nullptr);
             dlg.OnBrowse();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        picks = {fresh};
        c.act();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.startsWith(Lang(322)));
        EXPECT_TRUE(messages[0].text.contains(Q(SettingsFilePath())));
        EXPECT_EQ(messages[0].caption, Lang(323));
        EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    }
    EXPECT_EQ(reloads, 0);
    EXPECT_FALSE(Lang(322).isEmpty());
}

// --- back up ----------------------------------------------------------------

TEST_F(Dialogs, MoveAnsweredNoCopiesThisRunAndKeepsTheSetting) {
    LoadCard();
    EXPECT_TRUE(WriteSettingInt("BackupDelFile", 1));
    answer = QMessageBox::No;
    CBackupDlg dlg(app().Session(), Services(), nullptr);
    EXPECT_EQ(Child<QComboBox>(&dlg, "deleteChoice")->currentIndex(), 1);
    dlg.show();
    dlg.OnStart();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text,
              "The recordings will be deleted from the card after they have "
              "been copied.\nDo you want to continue?");
    EXPECT_TRUE(app().Session().Busy());  // the card watch leaves the records alone
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    EXPECT_FALSE(dlg.LastOptions().move);
    EXPECT_EQ(ReadSettingInt("BackupDelFile"), 1);
    EXPECT_FALSE(app().Session().Busy());
    EXPECT_FALSE(dlg.isVisible());  // a finished run closes the window
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.LastResult().backedUp, static_cast<int>(kCalls.size()));

    const auto onCard = Recordings(card.path());
    EXPECT_EQ(onCard.size(), kCalls.size());  // copied, not moved
    EXPECT_TRUE(Recordings(backup.path()) == onCard);

    CBackupDlg again(app().Session(), Services(), nullptr);
    EXPECT_EQ(Child<QComboBox>(&again, "deleteChoice")->currentIndex(), 1);
}

TEST_F(Dialogs, AutoBackupBoxAndMenuCommandChangeOneSetting) {
    Start();
    EXPECT_TRUE(WriteSettingInt("AutoBackup", 0));
    CBackupDlg dlg(app().Session(), Services(), nullptr);
    auto* box = Child<QCheckBox>(&dlg, "autoBackup");
    struct Step {
        bool viaBox;
        int want;
    };
    const Step steps[] = {{true, 1}, {false, 0}, {false, 1}, {true, 0}, {false, 1}};
    for (const Step& s : steps) {
        if (s.viaBox) {
            box->setChecked(ReadSettingInt("AutoBackup") == 1);
            box->click();
        } else {
            frame().OnCommand(CmdAutoBackup);
        }
        EXPECT_EQ(ReadSettingInt("AutoBackup"), s.want);
        EXPECT_EQ(frame().CommandChecked(CmdAutoBackup), s.want == 1);
    }
    // A missing key is off, as the loader reads it, and the toggle turns it on.
    EXPECT_TRUE(WriteSettingString("AutoBackup", ""));
    lk::test::WriteText(SettingsFilePath(),
                        "[Setting]\nBackupPath=" + ReadSettingString("BackupPath") + "\n");
    EXPECT_FALSE(frame().CommandChecked(CmdAutoBackup));
    frame().OnCommand(CmdAutoBackup);
    EXPECT_EQ(ReadSettingInt("AutoBackup"), 1);
}

TEST_F(Dialogs, WithoutABackupFolderTheFolderIsAskedForFirst) {
    LoadCard();
    EXPECT_TRUE(WriteSettingString("BackupPath", ""));
    EXPECT_TRUE(WriteSettingInt("AutoBackup", 0));
    UsePicker();
    // Ticking the box: the folder dialog comes first; cancelled, nothing changes.
    {
        CBackupDlg dlg(app().Session(), Services(), nullptr);
        const auto seen = WithModals([&] { Child<QCheckBox>(&dlg, "autoBackup")->click(); },
                                     [](QDialog* d) { d->reject(); });
        EXPECT_EQ(seen, std::vector<std::string>{"backupPathDlg"});
        EXPECT_FALSE(Child<QCheckBox>(&dlg, "autoBackup")->isChecked());
        EXPECT_EQ(ReadSettingInt("AutoBackup"), 0);
    }
    // The menu's toggle asks the same way.
    EXPECT_EQ(
        WithModals([&] { frame().OnCommand(CmdAutoBackup); }, [](QDialog* d) { d->reject(); }),
        std::vector<std::string>{"backupPathDlg"});
    EXPECT_EQ(ReadSettingInt("AutoBackup"), 0);
    // Start: a folder picked in the dialog it opens is where the run goes.
    const fs::path store = other.path() / "Picked";
    fs::create_directories(store);
    picks = {Q(store)};
    CBackupDlg dlg(app().Session(), Services(), nullptr);
    dlg.show();
    const auto seen = WithModals([&] { dlg.OnStart(); },
                                 [](QDialog* d) {
                                     static_cast<CBackupPathDlg*>(d)->OnBrowse();
                                     d->accept();
                                 });
    EXPECT_EQ(seen, std::vector<std::string>{"backupPathDlg"});
    EXPECT_EQ(ReadSettingString("BackupPath"), store.string() + "/");
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    EXPECT_TRUE(Recordings(store) == Recordings(card.path()));
}

TEST_F(Dialogs, BackUpCommandsOpenTheirWindowOnlyWithRecordsAndSelection) {
    LoadCard();
    auto opened = [&](int command) {
        return WithModals([&] { view().OnCommand(command); }, [](QDialog* d) { d->reject(); });
    };
    const std::vector<std::string> none, backupWindow{"backupDlg"};
    EXPECT_EQ(opened(CmdBackupSelected), none);  // no row selected
    EXPECT_EQ(opened(CmdBackupAll), backupWindow);
    pane(1).List()->SelectRow(2);
    EXPECT_EQ(opened(CmdBackupSelected), backupWindow);
    // While a load runs, a message instead of a window.
    SessionClaim loading = app().Session().TryClaim();
    messages.clear();
    EXPECT_EQ(opened(CmdBackupAll), none);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(Dialogs, BackUpSelectedCopiesOnlyTheSelectedRows) {
    LoadCard();
    CSortListCtrl* list = pane(1).List();
    list->SelectRow(0);
    list->SelectRow(3, true);
    const std::string a = fs::path(list->CellText(0, ColPath).toStdString()).filename().string();
    const std::string b = fs::path(list->CellText(3, ColPath).toStdString()).filename().string();
    CBackupDlg dlg(app().Session(), Services(), nullptr, list);
    EXPECT_EQ(dlg.windowTitle(), "Back Up Selected Records");
    dlg.show();
    dlg.OnStart();
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    const auto stored = Recordings(backup.path());
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_TRUE(stored.count(a) && stored.count(b));
}

TEST_F(Dialogs, EveryInsertionOffersTheAutomaticBackupWithTheCurrentPath) {
    EXPECT_TRUE(WriteSettingInt("AutoBackup", 1));
    WriteCard(card.path(), kCalls);
    Start();
    UsePicker();
    CBackupDlg* dlg = frame().AutoBackupDlg();
    const fs::path second = other.path() / "Second";
    fs::create_directories(second);
    const std::string paths[] = {backup.path().string() + "/", second.string() + "/"};

    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        InsertCard();
        Tick(TimerCardWatch);
        ASSERT_TRUE(WaitFor([&] { return dlg->isVisible(); }));
        // Freshly initialised: usable, with the path of now.
        EXPECT_TRUE(Child<QPushButton>(dlg, "start")->isEnabled());
        EXPECT_TRUE(Child<QComboBox>(dlg, "deleteChoice")->isEnabled());
        EXPECT_EQ(Child<QLineEdit>(dlg, "path")->text().toStdString(), paths[run]);
        dlg->OnStart();
        ASSERT_TRUE(WaitFor([&] { return !dlg->isVisible(); }));
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(dlg->LastOptions().backupPath, fs::path(paths[run]));
        EXPECT_EQ(app().State().viewingBackup, 0);  // the card just inserted
        EXPECT_EQ(Recordings(paths[run]).size(), kCalls.size());
        EXPECT_TRUE(Recordings(paths[run]) == Recordings(card.path()));

        // The card goes; the store's records are shown.
        RemoveCard();
        Tick(TimerCardWatch);
        Tick(TimerBackupReload);
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(app().State().records.Backup().size(), kCalls.size());
        EXPECT_EQ(rows(1), static_cast<int>(kCalls.size()));

        if (run == 0) {
            // A new path through the menu between the two insertions.
            picks = {Q(second)};
            const auto seen = WithModals([&] { frame().OnCommand(CmdSetBackupPath); },
                                         [](QDialog* d) {
                                             static_cast<CBackupPathDlg*>(d)->OnBrowse();
                                             d->accept();
                                         });
            EXPECT_EQ(seen, std::vector<std::string>{"backupPathDlg"});
        }
    }
}

TEST_F(Dialogs, ClosingTheAutomaticBackupShowsTheCardRecords) {
    EXPECT_TRUE(WriteSettingInt("AutoBackup", 1));
    WriteCard(card.path(), kCalls);
    Start();
    InsertCard();
    Tick(TimerCardWatch);
    CBackupDlg* dlg = frame().AutoBackupDlg();
    ASSERT_TRUE(WaitFor([&] { return dlg->isVisible(); }));
    dlg->OnStop();
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(dlg->StartedFlag());
    EXPECT_EQ(app().State().viewingBackup, 0);
    EXPECT_EQ(rows(1), static_cast<int>(kCalls.size()));
    EXPECT_TRUE(Recordings(backup.path()).empty());
}

// --- search -----------------------------------------------------------------

TEST_F(Dialogs, SearchTypeBoxesFollowTheOpeningPageAndTheGroupBox) {
    Start();
    // Ticks and enabled state of incoming, outgoing, missed, notes, message.
    struct Case {
        int page;
        const char* openTicked;
        const char* openEnabled;
        const char* afterOnEnabled;
    };
    const Case cases[] = {
        {2, "01000", "01000", "01000"}, {3, "10100", "10100", "10000"},
        {4, "00010", "00010", "00010"}, {6, "00001", "00000", "00000"},
        {1, "11110", "11110", "11110"}, {9, "11110", "11110", "11110"},
    };
    auto state = [](CSearchDlg& d, bool enabled) {
        std::string s;
        for (int i = 0; i < 5; ++i)
            s += (enabled ? d.TypeBox(i)->isEnabled() : d.TypeBox(i)->isChecked()) ? '1' : '0';
        return s;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        CSearchDlg dlg(app().Session(), c.page, {}, Services(), nullptr);
        EXPECT_EQ(state(dlg, false), c.openTicked);
        EXPECT_EQ(state(dlg, true), c.openEnabled);
        auto* group = Child<QCheckBox>(&dlg, "typeBox");
        EXPECT_TRUE(group->isChecked());
        group->click();  // off: every box disabled, ticks kept
        EXPECT_EQ(state(dlg, true), "00000");
        EXPECT_EQ(state(dlg, false), c.openTicked);
        group->click();
        EXPECT_EQ(state(dlg, true), c.afterOnEnabled);
        EXPECT_EQ(state(dlg, false), c.openTicked);
    }
}

TEST_F(Dialogs, SearchListsMatchesInWalkOrderAndStaysOpen) {
    LoadCard();
    EXPECT_TRUE(WriteSettingInt("DateCond", 0));
    EXPECT_TRUE(WriteSettingInt("NumCond", 1));
    EXPECT_TRUE(WriteSettingString("SearchedNum", "555"));
    bool stayedOpen = false;
    const auto seen = WithModals([&] { view().OnCommand(CmdSearch); },
                                 [&](QDialog* d) {
                                     auto* s = static_cast<CSearchDlg*>(d);
                                     EXPECT_TRUE(Child<QLineEdit>(s, "number")->isEnabled());
                                     EXPECT_EQ(Child<QLineEdit>(s, "number")->text(), "555");
                                     s->OnSearch();
                                     ASSERT_TRUE(WaitFor([&] { return !s->Running(); }));
                                     stayedOpen = s->isVisible();
                                     EXPECT_TRUE(Child<QPushButton>(s, "search")->isEnabled());
                                     EXPECT_TRUE(Child<QProgressBar>(s, "progress")->isHidden());
                                     s->reject();
                                 });
    EXPECT_EQ(seen, std::vector<std::string>{"searchDlg"});
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(view().CurrentPage(), PageSearch);
    // 5551234 (days 1, 2, 7) and 0105559 (day 3) match, 55-5 does not, the
    // note has no number, and the message box is not ticked on page 1. Last
    // record first.
    std::vector<int> days;
    for (int r = 0; r < rows(9); ++r)
        days.push_back(pane(9).List()->RowData(r)->time.day);
    EXPECT_EQ(days, (std::vector<int>{7, 3, 2, 1}));
    EXPECT_TRUE(frame().StatusText(3).endsWith(":  4")) << frame().StatusText(3).toStdString();
}

TEST_F(Dialogs, TheStatusCountIsAlwaysTheRowsOfThePageShown) {
    LoadCard();
    auto count = [&] { return frame().StatusText(3).section(QLatin1Char(' '), -1); };
    EXPECT_EQ(count(), QString::number(kCalls.size()));
    // While the search window stays open, its results are counted as they come.
    EXPECT_TRUE(WriteSettingInt("DateCond", 0));
    EXPECT_TRUE(WriteSettingInt("NumCond", 1));
    EXPECT_TRUE(WriteSettingString("SearchedNum", "555"));
    QString duringSearch;
    WithModals([&] { view().OnCommand(CmdSearch); },
               [&](QDialog* d) {
                   auto* s = static_cast<CSearchDlg*>(d);
                   s->OnSearch();
                   ASSERT_TRUE(WaitFor([&] { return !s->Running(); }));
                   duringSearch = count();
                   s->reject();
               });
    EXPECT_EQ(duringSearch, "4");
    // The card's lists emptied (card pulled, lists cleared) count nothing.
    view().ShowPage(PageAll);
    app().Panes().ClearPanes(PageAll, PageSearch);
    EXPECT_EQ(count(), "0");
    // Imported rows, then Clear List.
    UsePicker();
    const fs::path folder = other.path() / "calls";
    lk::test::WriteFile(folder / "20160616123045-I-5551234.xtr", std::vector<std::uint8_t>(2000));
    view().ShowPage(PageFolder);
    picks = {Q(folder)};
    view().OnCommand(CmdImportFolder);
    ASSERT_EQ(rows(PageFolder), 1);
    EXPECT_EQ(count(), "1");
    view().OnCommand(CmdClearImported);
    EXPECT_EQ(count(), "0");
}

TEST_F(Dialogs, SearchWithNoConditionTouchesNothingAndStoresTheEmptyNumber) {
    LoadCard();
    pane(9).AddRecord(app().State().records.Card()[0].get());
    CSearchDlg dlg(app().Session(), 1, {}, Services(), nullptr);
    Child<QCheckBox>(&dlg, "dateBox")->setChecked(false);
    Child<QCheckBox>(&dlg, "numberBox")->setChecked(true);
    Child<QLineEdit>(&dlg, "number")->clear();
    Child<QCheckBox>(&dlg, "typeBox")->setChecked(false);
    dlg.OnSearch();
    EXPECT_FALSE(dlg.Running());
    EXPECT_EQ(rows(9), 1);
    EXPECT_EQ(ReadSettingInt("NumCond"), 0);
    EXPECT_EQ(ReadSettingString("SearchedNum"), "");
}

TEST_F(Dialogs, SearchDatesAreTypedOrPickedFromACalendar) {
    Start();
    CSearchDlg dlg(app().Session(), 1, {}, Services(), nullptr);
    auto* from = Child<QDateTimeEdit>(&dlg, "from");
    ASSERT_NE(from, nullptr);
    EXPECT_TRUE(from->calendarPopup());
    dlg.show();
    from->setEnabled(true);
    from->setDateTime(QDateTime(QDate(2016, 6, 16), QTime(12, 30, 45)));
    from->setFocus();
    from->setSelectedSection(QDateTimeEdit::YearSection);
    QTest::keyClicks(from, "2014");
    EXPECT_EQ(from->date().year(), 2014);
    from->setSelectedSection(QDateTimeEdit::DaySection);
    QTest::keyClicks(from, "03");
    EXPECT_EQ(from->date(), QDate(2014, 6, 3));
}

TEST(SearchPicker, FormatComesFromTheLocaleWithSeconds) {
    struct Case {
        QLocale locale;
    };
    for (const QLocale& l :
         {QLocale(QLocale::English, QLocale::UnitedStates),
          QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Japanese, QLocale::Japan)}) {
        const QString f = PickerFormat(l);
        SCOPED_TRACE(f.toStdString());
        // The locale's order of the fields, each at full width so it can be typed.
        const QString shortDate = l.dateFormat(QLocale::ShortFormat);
        EXPECT_EQ(f.indexOf('M') < f.indexOf('d'), shortDate.indexOf('M') < shortDate.indexOf('d'));
        EXPECT_TRUE(f.contains("yyyy"));
        EXPECT_TRUE(f.contains("dd") && f.contains("MM"));
        EXPECT_TRUE(f.contains("ss"));
        EXPECT_FALSE(f.contains('t'));
        // What the picker shows reads back as the same second.
        const QDateTime t(QDate(2016, 6, 16), QTime(12, 30, 45));
        EXPECT_EQ(l.toDateTime(l.toString(t, f), f).time(), t.time());
    }
    EXPECT_EQ(PickerFormat(QLocale::c()).isEmpty(), false);
}

// --- WAV export -------------------------------------------------------------

TEST_F(Dialogs, ExportConvertsIntoACreatedFolderWithAStatusPerFile) {
    Start();
    const fs::path src = other.path() / "src";
    const auto muLaw = BuildXtrImage(kFormatMuLaw, std::vector<std::uint8_t>(8000, 0x55));
    lk::test::WriteFile(src / "20160616-I-555.xtr.xtr", muLaw);
    lk::test::WriteFile(src / "short.xtr", std::vector<std::uint8_t>(1440 + 32, 0));
    lk::test::WriteFile(src / "alaw.xtr",
                        BuildXtrImage(kFormatALaw + 99, std::vector<std::uint8_t>(800, 1)));
    const fs::path out = other.path() / "out" / "new";
    lk::test::WriteFile(out / "20160616-I-555.wav.wav", {1, 2, 3});  // replaced
    picks = {Q(out)};
    CExportWavDlg dlg(Services(), nullptr);
    for (const char* name : {"20160616-I-555.xtr.xtr", "x.wav", "short.xtr", "alaw.xtr"})
        dlg.AddFile(Q(src / name));
    ASSERT_EQ(dlg.FileCount(), 3);  // the .wav is not offered
    dlg.OnBrowse();
    EXPECT_EQ(dlg.FolderText().toStdString(), out.string() + "/");
    EXPECT_EQ(ReadSettingString("ExportPath"), out.string() + "/");
    fs::remove_all(out);  // made again by the export
    dlg.show();
    dlg.OnExport();
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    EXPECT_EQ(dlg.StatusAt(0), "Converted");
    EXPECT_EQ(dlg.StatusAt(1), "Failed (the recording is too short)");
    EXPECT_EQ(dlg.StatusAt(2), "");  // an encoding left alone
    EXPECT_EQ(fs::file_size(out / "20160616-I-555.wav.wav"), 58u + 8000u);
    EXPECT_FALSE(fs::exists(out / "short.wav"));
    // A failure keeps the list on screen to be read.
    EXPECT_TRUE(dlg.isVisible());
    dlg.reject();

    // All converted: the window closes itself.
    CExportWavDlg ok(Services(), nullptr);
    ok.AddFile(Q(src / "20160616-I-555.xtr.xtr"));
    ok.show();
    ok.OnExport();
    ASSERT_TRUE(WaitFor([&] { return !ok.Running(); }));
    EXPECT_FALSE(ok.isVisible());
}

TEST_F(Dialogs, ExportCommandHandsOverTheSelectedXtrRows) {
    LoadCard();
    pane(1).List()->SelectRow(0);
    pane(1).List()->SelectRow(1, true);
    pane(1).List()->SelectRow(2, true);
    CallRecord* r = pane(1).List()->RowData(1);
    const QString xtr = Q(card.path() / "201601" / "a.xtr");
    SetFieldText(r->filePath, xtr.toStdU16String());
    pane(1).List()->SetCellText(1, ColPath, xtr);
    // A row naming a file outside the card is not handed over.
    CallRecord* outside = pane(1).List()->RowData(2);
    const QString elsewhere = Q(other.path() / "b.xtr");
    lk::test::WriteText(other.path() / "b.xtr", "not the card's");
    SetFieldText(outside->filePath, elsewhere.toStdU16String());
    pane(1).List()->SetCellText(2, ColPath, elsewhere);
    int count = -1;
    QString first;
    WithModals([&] { view().OnCommand(CmdExportWav); },
               [&](QDialog* d) {
                   auto* e = static_cast<CExportWavDlg*>(d);
                   ASSERT_TRUE(WaitFor([&] { return e->FileCount() > 0; }));
                   count = e->FileCount();
                   first = e->FileAt(0);
                   e->reject();
               });
    EXPECT_EQ(count, 1);
    EXPECT_EQ(first, xtr);
    EXPECT_TRUE(frame().statusBar()->currentMessage().contains(QStringLiteral("outside")));
}

// --- import -----------------------------------------------------------------

TEST_F(Dialogs, ImportFillsTheFolderPageAndClearEmptiesIt) {
    Start();
    UsePicker();
    const fs::path folder = other.path() / "calls";
    lk::test::WriteFile(folder / "20160616123045-I-5551234.xtr", std::vector<std::uint8_t>(2000));
    lk::test::WriteFile(folder / "sub" / "20160616123045-NOTE.wav",
                        std::vector<std::uint8_t>(2000));
    lk::test::WriteFile(folder / "2016061612304-I-1.wav", std::vector<std::uint8_t>(10));
    // The import window closes by itself when its worker ends.
    auto import = [&](QString pick) {
        picks = {pick};
        view().OnCommand(CmdImportFolder);
    };
    import(Q(folder));
    EXPECT_EQ(pickerStarts.back(), WithTrailingSeparator(QDir::homePath()).chopped(1));
    EXPECT_EQ(rows(10), 2);
    import("");  // cancelled: nothing happens
    EXPECT_EQ(rows(10), 2);
    import(Q(folder));  // the same folder twice lists its files twice
    EXPECT_EQ(rows(10), 4);
    EXPECT_EQ(app().State().records.Folder().size(), 4u);
    EXPECT_EQ(pane(10).List()->RowData(0), app().State().records.Folder()[0].get());
    view().OnCommand(CmdClearImported);
    EXPECT_EQ(rows(10), 0);
    EXPECT_TRUE(app().State().records.Folder().empty());
}

// --- repair -----------------------------------------------------------------

TEST_F(Dialogs, RepairWithoutARemovableDriveOffersNothing) {
    Start();
    {
        std::lock_guard<std::mutex> g(volumes->lock);
        volumes->mounted.push_back({other.path(), false, 1u << 30, 1u << 29});
    }
    app().Session().RefreshVolumes();
    CRepairDlg dlg(app().Session(), Services(), {}, nullptr);
    EXPECT_EQ(dlg.windowTitle(), "Repair Card Database");
    EXPECT_EQ(dlg.DriveCount(), 0);
    dlg.OnStart();
    EXPECT_FALSE(dlg.Running());
}

TEST_F(Dialogs, RepairAddsTheLostRecordingAndReloadsTheShownCard) {
    LoadCard();
    lk::test::WriteFile(card.path() / "201601" / "20160120101010-I-777.wav",
                        std::vector<std::uint8_t>(3000, 1));
    lk::test::WriteFile(card.path() / "201601" / "x.wav.bak", std::vector<std::uint8_t>(10));
    const char letter = app().State().cardDrive;
    std::vector<char> repaired;
    CRepairDlg dlg(
        app().Session(), Services(),
        [&](char l) {
            repaired.push_back(l);
            frame().RefreshRecords();
        },
        nullptr);
    ASSERT_EQ(dlg.DriveCount(), 1);
    EXPECT_EQ(dlg.DriveText(0), QStringLiteral("%1:\\   %2").arg(QChar(letter), Q(card.path())));
    dlg.show();
    dlg.OnStart();
    EXPECT_FALSE(Child<QPushButton>(&dlg, "start")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(&dlg, "close")->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    EXPECT_EQ(dlg.StatusText(), "Repair finished. Records added - 1");
    EXPECT_TRUE(Child<QPushButton>(&dlg, "start")->isEnabled());
    // Done, the window has a way out other than its title bar.
    Child<QPushButton>(&dlg, "close")->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(repaired, std::vector<char>{letter});
    EXPECT_TRUE(fs::exists(card.path() / "CallLog_BK.dat"));
    // The card is read again and lists the added record.
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(rows(1), static_cast<int>(kCalls.size()) + 1);
}

// --- the store check and the audit trail ---------------------------------------

TEST_F(Dialogs, StoreCheckReportsAnOrphanRepairsItAndTheAuditTrailListsIt) {
    Start();
    fs::create_directories(StoreRoot(backup.path(), 0) / "CallLog");
    const fs::path orphan =
        StoreRoot(backup.path(), 0) / "201601" / "20160120" / "20160120101010-I-777.wav";
    lk::test::WriteFile(orphan, std::vector<std::uint8_t>(3000, 1));
    CStoreCheckDlg dlg(backup.path(), 0, Services(), nullptr);
    EXPECT_EQ(dlg.windowTitle(), "Check Backup Store");
    dlg.show();
    dlg.OnCheck();
    EXPECT_TRUE(Child<QPushButton>(&dlg, "stop")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(&dlg, "close")->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    EXPECT_TRUE(dlg.ReportText().startsWith("The store has problems:"))
        << dlg.ReportText().toStdString();
    EXPECT_TRUE(dlg.ReportText().contains(
        "201601/20160120/20160120101010-I-777.wav: no index entry names it"));
    ASSERT_TRUE(Child<QPushButton>(&dlg, "repair")->isEnabled());

    Child<QPushButton>(&dlg, "repair")->click();
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    EXPECT_TRUE(dlg.LastResult().Clean());
    EXPECT_TRUE(dlg.ReportText().contains("[repaired]"));
    EXPECT_TRUE(fs::exists(orphan));
    Child<QPushButton>(&dlg, "close")->click();
    EXPECT_FALSE(dlg.isVisible());

    CAuditTrailDlg audit(backup.path(), nullptr);
    ASSERT_GE(audit.RowCount(), 1);
    EXPECT_EQ(audit.RowText(0, 3), "adopted");
    EXPECT_EQ(audit.RowText(0, 4), "201601/20160120/20160120101010-I-777.wav");
}

TEST_F(Dialogs, RetentionListsFirstAndMovesOnlyWhatWasListedToTheTrash) {
    Start();
    ::setenv("XDG_DATA_HOME", (other.path() / "data").c_str(), 1);
    fs::create_directories(other.path() / "data");
    const fs::path root = StoreRoot(backup.path(), 0);
    fs::create_directories(root / "CallLog");
    const fs::path old = root / "201601" / "20160120" / "20160120101010-I-777.wav";
    lk::test::WriteFile(old, std::vector<std::uint8_t>(300, 1));
    VerifyOptions adopt;
    adopt.backupPath = backup.path();
    adopt.repair = true;
    NoProgress none;
    ASSERT_EQ(VerifyStore(adopt, none, {}).adopted, 1);

    CRetentionDlg dlg(backup.path(), 0, Services(), nullptr);
    dlg.show();
    EXPECT_FALSE(Child<QPushButton>(&dlg, "apply")->isEnabled());  // nothing listed yet
    dlg.SetKeepDays(30);
    dlg.OnList();
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    EXPECT_EQ(dlg.ListedCount(), 1);
    EXPECT_TRUE(fs::exists(old));
    ASSERT_TRUE(Child<QPushButton>(&dlg, "apply")->isEnabled());
    // A changed rule must be listed again.
    dlg.SetKeepDays(31);
    EXPECT_FALSE(Child<QPushButton>(&dlg, "apply")->isEnabled());
    dlg.OnList();
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    Child<QPushButton>(&dlg, "apply")->click();
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    EXPECT_EQ(dlg.StatusText(), "1 calls taken out, 0 failed.");
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(other.path() / "data/Trash/files/20160120101010-I-777.wav"));
    ::unsetenv("XDG_DATA_HOME");
}

TEST_F(Dialogs, RetentionInMonthsRunsAfterBackupOnlyOnceListedAndIsTheStoresRule) {
    Start();
    fs::create_directories(StoreRoot(backup.path(), 0) / "CallLog");
    {
        CRetentionDlg dlg(backup.path(), 0, Services(), nullptr);
        dlg.show();
        auto* after = Child<QCheckBox>(&dlg, "afterBackup");
        dlg.SetKeepMonths(6);
        EXPECT_FALSE(after->isEnabled());  // not listed yet
        dlg.OnList();
        ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
        ASSERT_TRUE(after->isEnabled());
        after->setChecked(true);
        EXPECT_TRUE(dlg.AfterBackup());
    }
    const auto stored = ReadStoreRetention(backup.path(), 0);
    EXPECT_TRUE(stored.retention.afterBackup);
    EXPECT_EQ(stored.retention.confirmedText, "keep 6 months");
    // The next window (on this PC or another) starts from the store's rule.
    CRetentionDlg again(backup.path(), 0, Services(), nullptr);
    EXPECT_EQ(Child<QComboBox>(&again, "unit")->currentIndex(), 1);
    EXPECT_EQ(Child<QSpinBox>(&again, "days")->value(), 6);
    EXPECT_TRUE(again.AfterBackup());
}

// --- no dialog goes while its worker runs -------------------------------------

struct Lifetime {
    const char* what;
    // Builds and starts the dialog with the gate's hook; returns it shown.
    std::function<std::unique_ptr<QDialog>(DialogServices)> start;
    std::function<bool(QDialog*)> running;
    const char* stopButton;  // disabled while stopping; null: none
    bool closeIgnored;       // the window refuses to close while it works
};

}  // namespace

class DialogLifetime : public Dialogs {
  public:
    void Check(const Lifetime& c) {
        SCOPED_TRACE(c.what);
        Gate gate;
        DialogServices s = Services();
        s.workerStep = gate.Hook();
        std::unique_ptr<QDialog> dlg = c.start(s);
        ASSERT_TRUE(dlg);
        ASSERT_TRUE(WaitFor([&] { return gate.Arrived(); }));
        ASSERT_TRUE(c.running(dlg.get()));
        dlg->reject();  // Stop, Cancel, Exit or the close box
        QCoreApplication::processEvents();
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_TRUE(c.running(dlg.get()));
        if (c.stopButton) {
            auto* b = dlg->findChild<QPushButton*>(QLatin1String(c.stopButton));
            ASSERT_TRUE(b);
            EXPECT_FALSE(b->isEnabled());
        }
        gate.Open();
        ASSERT_TRUE(WaitFor([&] { return !c.running(dlg.get()); }));
        if (c.closeIgnored) {
            EXPECT_TRUE(dlg->isVisible());
            dlg->reject();
        }
        EXPECT_FALSE(dlg->isVisible());
        dlg.reset();  // destroyed only now; the sanitizer sees any late use
        EXPECT_FALSE(app().Session().Busy());
    }
};

TEST_F(DialogLifetime, EveryDialogStaysUntilItsWorkerEnded) {
    LoadCard();
    const fs::path src = other.path() / "src";
    for (int i = 0; i < 3; ++i)
        lk::test::WriteFile(src / ("r" + std::to_string(i) + ".xtr"),
                            BuildXtrImage(kFormatMuLaw, std::vector<std::uint8_t>(4000, 0x55)));
    const Lifetime cases[] = {
        {"back up",
         [this](DialogServices s) {
             auto d = std::make_unique<CBackupDlg>(app().Session(), s, nullptr);
             d->show();
             d->OnStart();
             return std::unique_ptr<QDialog>(std::move(d));
         },
         [](QDialog* d) { return static_cast<CBackupDlg*>(d)->Running(); }, "stop", false},
        {"search",
         [this](DialogServices s) {
             auto d = std::make_unique<CSearchDlg>(app().Session(), 1, SearchTargets{}, s, nullptr);
             d->show();
             d->OnSearch();  // type condition ticked: all types
             return std::unique_ptr<QDialog>(std::move(d));
         },
         [](QDialog* d) { return static_cast<CSearchDlg*>(d)->Running(); }, "exit", false},
        {"export",
         [this, src](DialogServices s) {
             auto d = std::make_unique<CExportWavDlg>(s, nullptr);
             for (int i = 0; i < 3; ++i)
                 d->AddFile(Q(src / ("r" + std::to_string(i) + ".xtr")));
             EXPECT_TRUE(WriteSettingString("ExportPath", (other.path() / "wav").string() + "/"));
             d->show();
             d->OnExport();
             return std::unique_ptr<QDialog>(std::move(d));
         },
         [](QDialog* d) { return static_cast<CExportWavDlg*>(d)->Running(); }, "cancel", false},
        {"import",
         [src](DialogServices s) {
             auto d = std::make_unique<CImportDlg>(src, ContactList{}, s, nullptr);
             d->show();
             d->StartImport();
             return std::unique_ptr<QDialog>(std::move(d));
         },
         [](QDialog* d) { return static_cast<CImportDlg*>(d)->Running(); }, "cancel", false},
        {"repair",
         [this](DialogServices s) {
             auto d = std::make_unique<CRepairDlg>(app().Session(), s, nullptr, nullptr);
             d->show();
             d->OnStart();
             return std::unique_ptr<QDialog>(std::move(d));
         },
         [](QDialog* d) { return static_cast<CRepairDlg*>(d)->Running(); }, nullptr, true},
    };
    for (const Lifetime& c : cases)
        Check(c);
}

}  // namespace lk::gui::test

namespace lk::gui::test {
namespace {

void PressKey(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QCoreApplication::sendEvent(w, &release);
}

// The whole road with the frame's own timers: a card with automatic backup
// on, the offered window started from the keyboard, the card pulled, and the
// store's records listed. scripts/e2e-backup.sh runs it on an X server.
TEST_F(Dialogs, EndToEndAutomaticBackupFromInsertionToTheStoreList) {
    EXPECT_TRUE(WriteSettingInt("AutoBackup", 1));
    EXPECT_TRUE(WriteSettingInt("BackupDelFile", 0));
    WriteCard(card.path(), kCalls);
    Start();
    frame().show();
    frame().FreezeTimers(false);
    InsertCard();
    CBackupDlg* dlg = frame().AutoBackupDlg();
    ASSERT_TRUE(WaitFor([&] { return dlg->isVisible(); }));
    PressKey(dlg, Qt::Key_Return);  // Start is the default button
    ASSERT_TRUE(WaitFor([&] { return !dlg->isVisible(); }));
    EXPECT_TRUE(dlg->StartedFlag());
    EXPECT_EQ(dlg->LastResult().backedUp, static_cast<int>(kCalls.size()));
    ASSERT_TRUE(WaitIdle());

    RemoveCard();
    ASSERT_TRUE(WaitFor([&] {
        return app().State().cardDrive == 0 && !app().Session().Busy() &&
               app().State().records.Backup().size() == kCalls.size() &&
               rows(1) == static_cast<int>(kCalls.size());
    }));
    EXPECT_EQ(app().State().viewingBackup, 1);
    // Every row plays from the store, and every recording is there whole.
    const auto onCard = Recordings(card.path());
    ASSERT_EQ(onCard.size(), kCalls.size());
    for (int r = 0; r < rows(1); ++r) {
        const fs::path p = pane(1).List()->CellText(r, ColPath).toStdString();
        EXPECT_EQ(p.string().rfind(backup.path().string(), 0), 0u) << p;
        ASSERT_TRUE(onCard.count(p.filename().string())) << p;
        EXPECT_TRUE(lk::test::ReadFile(p) == onCard.at(p.filename().string())) << p;
    }
}

// The automatic backup into a store that cannot take a single recording (a
// plain file sits where the month's folder goes), with the real report
// window: its summary counts and names every failure, the backup window stays
// open to try again, and once it is closed the card is listed.
// scripts/e2e-backup.sh runs it on an X server.
TEST_F(Dialogs, EndToEndBackupIntoABrokenStoreEndsInItsSummary) {
    SetMessageHook({});
    EXPECT_TRUE(WriteSettingInt("AutoBackup", 1));
    EXPECT_TRUE(WriteSettingInt("BackupDelFile", 0));
    WriteCard(card.path(), kCalls);
    lk::test::WriteFile(StoreRoot(backup.path(), 0) / "201601", std::vector<std::uint8_t>(1, 'x'));
    Start();
    frame().show();
    frame().FreezeTimers(false);
    InsertCard();
    CBackupDlg* dlg = frame().AutoBackupDlg();
    ASSERT_TRUE(WaitFor([&] { return dlg->isVisible(); }));

    QString said, details;
    bool reported = false;
    const auto seen = WithModals(
        [&] {
            PressKey(dlg, Qt::Key_Return);  // Start is the default button
            EXPECT_TRUE(WaitFor([&] { return reported; }));
        },
        [&](QDialog* d) {
            for (auto* l : d->findChildren<QLabel*>())
                said += l->text() + "\n";
            if (auto* list = d->findChild<QPlainTextEdit*>("reportDetails"))
                details = list->toPlainText();
            PressKey(d, Qt::Key_Escape);
            reported = !d->isVisible();
        });
    EXPECT_EQ(seen, std::vector<std::string>{"reportBox"});
    const int n = static_cast<int>(kCalls.size());
    auto says = [&](int label, int count) {
        return said.contains(QStringLiteral("%1 %2").arg(Lang(label)).arg(count));
    };
    EXPECT_TRUE(says(341, 0)) << said.toStdString();
    EXPECT_TRUE(says(344, n)) << said.toStdString();
    EXPECT_EQ(details.split('\n', Qt::SkipEmptyParts).size(), n) << details.toStdString();
    ASSERT_TRUE(WaitFor([&] { return !dlg->Running(); }));
    EXPECT_TRUE(dlg->isVisible());
    auto* bar = Child<QProgressBar>(dlg, "progress");
    EXPECT_LT(bar->value(), bar->maximum());

    PressKey(dlg, Qt::Key_Escape);
    ASSERT_TRUE(
        WaitFor([&] { return !dlg->isVisible() && !app().Session().Busy() && rows(1) == n; }));
    EXPECT_EQ(app().State().viewingBackup, 0);
}

// After the automatic backup the card just inserted is listed, not the store.
TEST_F(Dialogs, AfterTheAutomaticBackupTheInsertedCardIsListed) {
    EXPECT_TRUE(WriteSettingInt("AutoBackup", 1));
    EXPECT_TRUE(WriteSettingInt("BackupDelFile", 0));
    WriteBackupMonth(backup.path(), 201512, 3);  // the store holds other calls
    WriteCard(card.path(), kCalls);
    Start();
    frame().FreezeTimers(false);
    InsertCard();
    CBackupDlg* dlg = frame().AutoBackupDlg();
    ASSERT_TRUE(WaitFor([&] { return dlg->isVisible(); }));
    // Offered after the load returned; the load's claim is held until the
    // panes are filled, after the window closed.
    EXPECT_TRUE(app().Session().Busy());
    dlg->OnStart();
    ASSERT_TRUE(WaitFor([&] { return !dlg->isVisible(); }));
    ASSERT_TRUE(WaitFor(
        [&] { return !app().Session().Busy() && rows(1) == static_cast<int>(kCalls.size()); }));
    EXPECT_EQ(app().State().viewingBackup, 0);
    for (int r = 0; r < rows(1); ++r) {
        const QString p = pane(1).List()->CellText(r, ColPath);
        EXPECT_TRUE(p.startsWith(Q(card.path()))) << p.toStdString();
    }
    EXPECT_TRUE(frame().StatusText(3).endsWith(QStringLiteral(":  %1").arg(kCalls.size())));
}

// Pictures of every working dialog for a look: written when LK_SHOT_DIR names
// a folder (scripts/dialog-screenshots.sh), else skipped.
TEST_F(Dialogs, Pictures) {
    const char* dir = std::getenv("LK_SHOT_DIR");
    if (!dir || !*dir) GTEST_SKIP() << "LK_SHOT_DIR not set";
    LoadCard();
    const fs::path out = dir;
    auto save = [&](QDialog& d, const char* name) {
        d.show();
        d.adjustSize();
        QCoreApplication::processEvents();
        EXPECT_TRUE(d.grab().save(Q(out / name)));
        d.hide();
    };
    {
        CBackupDlg d(app().Session(), Services(), nullptr);
        save(d, "backup.png");
    }
    {
        CBackupPathDlg d(Services(), nullptr);
        save(d, "backup-path.png");
    }
    {
        CSearchDlg d(app().Session(), 3, {}, Services(), nullptr);
        save(d, "search.png");
    }
    {
        CExportWavDlg d(Services(), nullptr);
        d.AddFile(Q(card.path() / "201601" / "20160101100100-I-1.xtr"));
        d.AddFile(Q(card.path() / "201601" / "20160102100200-M-2.xtr"));
        save(d, "export-wav.png");
    }
    {
        CRepairDlg d(app().Session(), Services(), {}, nullptr);
        save(d, "repair.png");
    }
    {
        CImportDlg d(card.path(), {}, Services(), nullptr);
        save(d, "import.png");
    }
    {
        CRetentionDlg d(backup.path(), 0, Services(), nullptr);
        d.SetKeepMonths(6);
        save(d, "retention.png");
    }
}

}  // namespace
}  // namespace lk::gui::test

namespace lk::gui::test {
namespace {

TEST_F(Dialogs, BackupRecordsWithoutAFolderSaySoInTheStatusBar) {
    WriteCard(card.path(), kCalls);
    EXPECT_TRUE(WriteSettingString("BackupPath", ""));
    ASSERT_TRUE(StartWithCard());
    EXPECT_TRUE(frame().StatusText(3).endsWith(":  7"));
    RemoveCard();
    Tick(TimerCardWatch);
    Tick(TimerBackupReload);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(rows(1), 0);
    EXPECT_EQ(frame().StatusText(3), "No backup folder chosen");
    // Once a folder is chosen the count is back.
    EXPECT_TRUE(WriteSettingString("BackupPath", backup.path().string() + "/"));
    Tick(TimerBackupReload);
    ASSERT_TRUE(WaitIdle());
    view().ShowPage(PageAll);
    EXPECT_TRUE(frame().StatusText(3).endsWith(":  0"));
}

}  // namespace
}  // namespace lk::gui::test

namespace lk::gui::test {
namespace {

// A disk that refuses the copy of one recording.
class RefusingCopy : public RealFileOps {
  public:
    bool CopyToNewFile(const fs::path& from, const fs::path& to) override {
        if (from.filename().string().find("-M-2") != std::string::npos) {
            errno = ENOSPC;  // the disk is full
            return Failing(false);
        }
        return RealFileOps::CopyToNewFile(from, to);
    }
};

TEST_F(Dialogs, EveryBackupEndsWithASummaryThatListsEachFailureAndWhy) {
    LoadCard();
    RefusingCopy files;
    DialogServices s = Services();
    s.backupFiles = &files;
    CBackupDlg dlg(app().Session(), s, nullptr);
    dlg.show();
    dlg.OnStart();
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    ASSERT_EQ(messages.size(), 1u);
    const QString first = messages[0].text;
    EXPECT_EQ(messages[0].icon, QMessageBox::Warning);
    auto says = [](const QString& text, int label, int n) {
        return text.contains(QStringLiteral("%1 %2").arg(Lang(label)).arg(n));
    };
    EXPECT_TRUE(says(first, 341, 6)) << first.toStdString();
    EXPECT_TRUE(says(first, 342, 0));
    EXPECT_TRUE(says(first, 344, 1));
    // The failure by its file, with the reason.
    EXPECT_TRUE(
        first.contains(QRegularExpression("-M-2\\.wav: no space left on the store's device")))
        << first.toStdString();
    // The bar shows what is safe, not a walk to its end.
    auto* bar = Child<QProgressBar>(&dlg, "progress");
    EXPECT_LT(bar->value(), bar->maximum());

    // Again with a sound disk: the rest is copied, the others were held.
    messages.clear();
    s.backupFiles = nullptr;
    dlg.SetServices(s);
    dlg.OnStart();
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, QMessageBox::Information);
    EXPECT_TRUE(says(messages[0].text, 341, 1)) << messages[0].text.toStdString();
    EXPECT_TRUE(says(messages[0].text, 342, 6));
    EXPECT_TRUE(says(messages[0].text, 344, 0));
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(Dialogs, MovedRecordingsNoLongerShowAsPresentWithoutARefresh) {
    LoadCard();
    CSortListCtrl* all = pane(1).List();
    ASSERT_EQ(all->CellImage(0, ColRecording), IconRecording);
    answer = QMessageBox::Yes;  // yes, move them
    WithModals([&] { view().OnCommand(CmdBackupAll); },
               [&](QDialog* d) {
                   auto* b = static_cast<CBackupDlg*>(d);
                   Child<QComboBox>(b, "deleteChoice")->setCurrentIndex(1);
                   b->OnStart();
                   ASSERT_TRUE(WaitFor([&] { return !b->Running() && !b->isVisible(); }));
               });
    ASSERT_TRUE(Recordings(card.path()).empty());
    for (int r = 0; r < all->RowCount(); ++r)
        EXPECT_EQ(all->CellImage(r, ColRecording), -1) << r;
}

// The store keeps an empty marker for a call without a recording; its row
// reads as having no recording, not as a path to that marker.
TEST_F(Dialogs, StoreRowsOfCallsWithoutARecordingShowNoMarkerPath) {
    std::vector<CardCall> calls = kCalls;
    calls.push_back({Incoming, 0, 8, 11, u"777", false});
    LoadCard(calls);
    WithModals([&] { view().OnCommand(CmdBackupAll); },
               [&](QDialog* d) {
                   auto* b = static_cast<CBackupDlg*>(d);
                   b->OnStart();
                   ASSERT_TRUE(WaitFor([&] { return !b->Running() && !b->isVisible(); }));
               });
    frame().OnCommand(CmdViewBackup0);
    Tick(TimerBackupReload);
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(WaitFor([&] { return rows(1) == static_cast<int>(calls.size()); }));
    CSortListCtrl* all = pane(1).List();
    int withoutRecording = 0;
    for (int r = 0; r < all->RowCount(); ++r) {
        const QString path = all->CellText(r, ColPath);
        EXPECT_FALSE(path.contains(".tmp")) << path.toStdString();
        if (all->CellText(r, ColNumber).startsWith("777")) {
            ++withoutRecording;
            EXPECT_TRUE(path.isEmpty()) << path.toStdString();
            EXPECT_EQ(all->CellImage(r, ColRecording), -1);
        } else {
            EXPECT_TRUE(path.startsWith(Q(backup.path()))) << path.toStdString();
            EXPECT_EQ(all->CellImage(r, ColRecording), IconRecording) << r;
        }
    }
    EXPECT_EQ(withoutRecording, 1);
    // Played, it says there is no recording rather than naming the marker.
    for (int r = 0; r < all->RowCount(); ++r)
        if (all->CellText(r, ColNumber).startsWith("777")) all->SelectRow(r);
    view().OnCommand(CmdPlay);
    EXPECT_TRUE(WaitFor([&] { return view().PlayerPane()->WaveView()->Hint() == Lang(368); }))
        << view().PlayerPane()->WaveView()->Hint().toStdString();
}

TEST_F(Dialogs, ARunThatLeftARecordingBehindStaysOpenAndSaysSo) {
    LoadCard();
    RefusingCopy files;
    DialogServices s = Services();
    s.backupFiles = &files;
    CBackupDlg dlg(app().Session(), s, nullptr);
    dlg.show();
    dlg.OnStart();
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    EXPECT_EQ(dlg.LastResult().failed, 1);
    EXPECT_TRUE(dlg.isVisible());
    // The count and the error behind it.
    EXPECT_EQ(Child<QLineEdit>(&dlg, "current")->text().toStdString(),
              "Recordings not backed up (the next backup tries them again): 1: "
              "no space left on the store's device");
    EXPECT_TRUE(Child<QPushButton>(&dlg, "start")->isEnabled());
    EXPECT_EQ(Recordings(backup.path()).size(), kCalls.size() - 1);
    // A second run with a sound disk copies the rest and closes.
    s.backupFiles = nullptr;
    dlg.SetServices(s);
    dlg.OnStart();
    ASSERT_TRUE(WaitFor([&] { return !dlg.Running(); }));
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(Recordings(backup.path()) == Recordings(card.path()));
}

}  // namespace
}  // namespace lk::gui::test

namespace lk::gui::test {
namespace {

TEST_F(Dialogs, RepairFromTheMenuReadsTheShownCardAgain) {
    LoadCard();
    lk::test::WriteFile(card.path() / "201601" / "20160121101010-O-888.wav",
                        std::vector<std::uint8_t>(3000, 1));
    frame().StopTimer(TimerCardWatch);
    QString status;
    const auto seen = WithModals([&] { frame().OnCommand(CmdRepair); },
                                 [&](QDialog* d) {
                                     auto* r = static_cast<CRepairDlg*>(d);
                                     r->OnStart();
                                     ASSERT_TRUE(WaitFor([&] { return !r->Running(); }));
                                     status = r->StatusText();
                                     r->reject();
                                 });
    EXPECT_EQ(seen, std::vector<std::string>{"repairDlg"});
    EXPECT_EQ(status, "Repair finished. Records added - 1");
    EXPECT_EQ(app().State().cardDrive, 0);  // forgotten, so the watch reads it again
    EXPECT_TRUE(frame().TimerActive(TimerCardWatch));
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(rows(1), static_cast<int>(kCalls.size()) + 1);
}

}  // namespace
}  // namespace lk::gui::test
