// The window on a generated card: loading, the record commands, card removal.

#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>

#include <algorithm>

#include <sys/stat.h>

#include "app/CardWatchDriver.h"
#include "dialogs/ProgressDialog.h"
#include "pages/CWebPane.h"
#include "player/CPlayerDlg.h"

#include "GuiFixture.h"
#include "app/Settings.h"
#include "backup/AuditTrail.h"
#include "card/BackupStore.h"
#include "card/CallLog.h"
#include "pages/CDeviceParamDlg.h"
#include "pages/CPhoneBookDlg.h"
#include "pages/CTreePane.h"
#include "platform/TextCodec.h"
#include "records/RecordRow.h"
#include "support/Commands.h"
#include "support/GuiText.h"
#include "support/Icons.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui::test {
namespace {

// Oldest first, as the recorder writes them.
const std::vector<CardCall> kCalls = {
    {Incoming, 0, 1}, {Missed, 0, 2}, {Outgoing, 0, 3}, {Note, 0, 4},
    {Message, 0, 5},  {Missed, 1, 6}, {Incoming, 0, 7},
};

class MainWindow : public WindowTest {
  protected:
    void LoadCard() {
        WriteCard(card.path(), kCalls);
        ASSERT_TRUE(StartWithCard());
        ASSERT_EQ(app().State().records.Card().size(), kCalls.size());
    }
    int RowOfDay(int category, int day) {
        CSortListCtrl* l = pane(category).List();
        for (int r = 0; r < l->RowCount(); ++r)
            if (l->RowData(r) && l->RowData(r)->time.day == day) return r;
        return -1;
    }
    std::vector<std::uint8_t> Log() { return lk::test::ReadFile(card.path() / kCallLogFileName); }
};

TEST_F(MainWindow, StartUpShowsPageOneWithThePanesFilledByType) {
    LoadCard();
    EXPECT_EQ(view().CurrentPage(), PageAll);
    EXPECT_EQ(view().Tree()->SelectedPage(), PageAll);
    EXPECT_FALSE(pane(1).isHidden());
    EXPECT_TRUE(pane(3).isHidden());
    EXPECT_FALSE(view().RecordToolbar()->isHidden());
    EXPECT_EQ(app().State().viewingBackup, 0);

    const std::pair<int, int> expected[] = {{1, 7}, {2, 1}, {3, 4}, {4, 1}, {5, 0},
                                            {6, 1}, {7, 1}, {8, 2}, {9, 0}, {10, 0}};
    for (auto [category, count] : expected)
        EXPECT_EQ(rows(category), count) << category;

    // Newest first.
    CSortListCtrl* all = pane(1).List();
    EXPECT_EQ(all->RowData(0)->time.day, 7);
    EXPECT_EQ(all->RowData(6)->time.day, 1);
    // Flag, recording icon, type icon, lengths and path.
    const int marked = RowOfDay(1, 6);
    EXPECT_EQ(all->CellImage(marked, ColMark), IconMarked);
    EXPECT_EQ(all->CellImage(marked, ColType), IconMissed);
    EXPECT_EQ(all->CellImage(0, ColMark), -1);
    EXPECT_EQ(all->CellImage(0, ColRecording), IconRecording);
    EXPECT_EQ(all->CellText(0, ColCallLength), "00:01:07");
    EXPECT_TRUE(all->CellText(0, ColPath).endsWith("-I-7.wav"));
    EXPECT_TRUE(all->CellText(0, ColNumber).startsWith("5551234 "));
    EXPECT_TRUE(all->CellText(RowOfDay(1, 4), ColNumber).isEmpty());  // a note has no number
    EXPECT_TRUE(all->isColumnHidden(ColRemark));                      // family 0
    EXPECT_TRUE(frame().StatusText(3).endsWith(":  7"));
}

TEST_F(MainWindow, ALanguageFileLackingTextsIsFilledFromTheShippedOnesAndSaidOnce) {
    const QStringList titles = {"&File", "&Records", "&Tools", "P&layer", "&Help"};
    auto menuTitles = [this] {
        QStringList t;
        for (QAction* a : frame().menuBar()->actions())
            t << a->text();
        return t;
    };
    // The shipped file is complete: nothing to say.
    Start();
    EXPECT_TRUE(frame().statusBar()->currentMessage().isEmpty());
    app().ExitInstance();

    struct Case {
        const char* what;
        const char* file;
    };
    for (const Case c :
         {Case{"empty", ""}, Case{"cut off", "[English]\n0002=Alle Anrufe\n0003=Ausg"}}) {
        SCOPED_TRACE(c.what);
        lk::test::WriteText(home.config() / "LiteLang.ini", c.file);
        Start();
        EXPECT_EQ(menuTitles(), titles);
        EXPECT_EQ(Lang(85), "About LineKeeper");
        const QString said = frame().statusBar()->currentMessage();
        EXPECT_TRUE(said.contains("LiteLang.ini")) << said.toStdString();
        if (std::string(c.what) == "cut off") {
            EXPECT_EQ(Lang(2), "Alle Anrufe");  // the file's own texts stay
            EXPECT_EQ(Lang(3), "Ausg");
        }
        app().ExitInstance();
    }
}

TEST_F(MainWindow, MarkingAMissedCallFromIncomingUpdatesEveryPane) {
    LoadCard();
    view().ShowPage(PageIncoming);
    const int row = RowOfDay(3, 2);
    ASSERT_GE(row, 0);
    CallRecord* rec = pane(3).List()->RowData(row);
    pane(3).List()->SelectRow(row);
    view().OnCommand(CmdMark);

    EXPECT_EQ(rec->marked, 1);
    EXPECT_EQ(pane(3).List()->CellImage(row, ColMark), IconMarked);
    EXPECT_EQ(pane(1).List()->CellImage(RowOfDay(1, 2), ColMark), IconMarked);
    EXPECT_EQ(pane(8).List()->CellImage(RowOfDay(8, 2), ColMark), IconMarked);
    ASSERT_EQ(rows(7), 2);
    EXPECT_EQ(pane(7).List()->RowData(1), rec);  // added at the end
    const std::size_t at = static_cast<std::size_t>(rec->index) * 128;
    EXPECT_EQ(Log()[at + 3], 1);

    pane(3).List()->SelectRow(row);
    view().OnCommand(CmdMark);
    EXPECT_EQ(rec->marked, 0);
    EXPECT_EQ(rows(7), 1);
    EXPECT_EQ(RowOfDay(7, 2), -1);
    EXPECT_EQ(pane(1).List()->CellImage(RowOfDay(1, 2), ColMark), -1);
    EXPECT_EQ(Log()[at + 3], 0);

    // Unmarking from the marked page keeps the row there but updates the others.
    view().ShowPage(PageMarked);
    pane(7).List()->SelectRow(0);
    CallRecord* wasMarked = pane(7).List()->RowData(0);
    view().OnCommand(CmdMark);
    EXPECT_EQ(rows(7), 1);
    EXPECT_EQ(pane(7).List()->CellImage(0, ColMark), -1);
    EXPECT_EQ(pane(1).List()->CellImage(pane(1).List()->FindRow(wasMarked), ColMark), -1);
}

TEST_F(MainWindow, DeleteSkipsMarkedRowsAndClearsOnlyTheInUseByte) {
    WriteLang({{93, "Deleted:"}, {94, "Failed:"}, {95, "Delete"}, {164, "Marked kept"}});
    LoadCard();
    const auto before = Log();
    CSortListCtrl* all = pane(1).List();
    // Rows of days 7, 6 (marked) and 5.
    all->SelectRow(0);
    all->SelectRow(1, true);
    all->SelectRow(2, true);
    CallRecord* markedRec = all->RowData(1);
    ASSERT_EQ(markedRec->marked, 1);
    const QString keptFile = all->CellText(1, ColPath);
    const QString goneFile = all->CellText(0, ColPath);
    const int i7 = all->RowData(0)->index, i5 = all->RowData(2)->index;

    view().OnCommand(CmdDelete);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[0].text.startsWith("Delete 3"));
    EXPECT_EQ(messages[1].text, "Marked kept");
    EXPECT_EQ(messages[2].text, "Deleted: 2\nFailed: 1");  // no "\r" in a message box

    auto expected = before;
    expected[static_cast<std::size_t>(i7) * 128] = 0;
    expected[static_cast<std::size_t>(i5) * 128] = 0;
    EXPECT_EQ(Log(), expected);
    EXPECT_FALSE(QFile::exists(goneFile));
    EXPECT_TRUE(QFile::exists(keptFile));
    ASSERT_EQ(rows(1), 5);
    EXPECT_EQ(all->RowData(0), markedRec);
    EXPECT_EQ(all->SelectedRows(), std::vector<int>{0});
    EXPECT_TRUE(frame().StatusText(3).endsWith(":  5"));

    // Saying no deletes nothing.
    messages.clear();
    answer = QMessageBox::No;
    all->SelectRow(1);
    view().OnCommand(CmdDelete);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(rows(1), 5);
}

TEST_F(MainWindow, DeletedCallsAreInTheAuditTrailAndATrailThatCannotBeWrittenIsSaid) {
    WriteLang({{848, "Not logged:"}});
    LoadCard();
    CSortListCtrl* all = pane(1).List();
    all->SelectRow(0);
    const QString gone = QFileInfo(all->CellText(0, ColPath)).fileName();
    view().OnCommand(CmdDelete);
    const auto trail = ReadAudit(backup.path());
    ASSERT_EQ(trail.records.size(), 1u);
    EXPECT_EQ(trail.records[0].event.action, "deleted");
    EXPECT_TRUE(QString::fromStdString(trail.records[0].event.file).endsWith(gone))
        << trail.records[0].event.file;
    EXPECT_FALSE(trail.records[0].user.empty());

    // The call still goes, and the user hears that it went unlogged.
    std::filesystem::remove(backup.path() / kAuditFileName);
    std::filesystem::create_directory(backup.path() / kAuditFileName);
    messages.clear();
    all->SelectRow(1);  // row 0 is now the marked call
    view().OnCommand(CmdDelete);
    EXPECT_EQ(rows(1), 5);
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                            [](const auto& m) { return m.text.startsWith("Not logged:"); }));
}

// The record stays when its log entry cannot be cleared: counted as deleted,
// it would come back with the next read of the card.
TEST_F(MainWindow, AFailedCardLogWriteCountsAsFailed) {
    WriteLang({{93, "Deleted:"}, {94, "Failed:"}});
    LoadCard();
    CSortListCtrl* all = pane(1).List();
    all->SelectRow(0);
    CallRecord* chosen = all->RowData(0);
    whileAsking = [this] { std::filesystem::remove(card.path() / kCallLogFileName); };
    view().OnCommand(CmdDelete);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, "Deleted: 0\nFailed: 1");
    ASSERT_EQ(rows(1), 7);
    EXPECT_EQ(all->RowData(0), chosen);
}

TEST_F(MainWindow, DeleteDoesNothingWhenTheListsWereReloadedMeanwhile) {
    LoadCard();
    const auto before = Log();
    pane(1).List()->SelectRow(0);
    whileAsking = [this] { app().PopulatePanes(); };
    view().OnCommand(CmdDelete);
    EXPECT_EQ(messages.size(), 1u);  // the question only
    EXPECT_EQ(Log(), before);
    EXPECT_EQ(rows(1), 7);
}

TEST_F(MainWindow, DeletingABackupRecordDropsItsRowsFromEveryPane) {
    WriteBackupMonth(backup.path(), 201601, 4);
    Start();
    Tick(TimerStartup);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(rows(1), 4);
    ASSERT_EQ(rows(3), 4);
    view().ShowPage(PageIncoming);
    pane(3).List()->SelectRow(0);
    view().OnCommand(CmdDelete);
    EXPECT_EQ(rows(3), 3);
    EXPECT_EQ(rows(1), 3);  // no row keeps the freed record
    EXPECT_EQ(app().State().records.Backup().size(), 3u);
}

// A FIFO named like a recording: the window starts, shows the rows and
// their lengths, and never waits on the FIFO (a hang fails by the harness's
// timeout).
TEST_F(MainWindow, AFifoNamedLikeARecordingDoesNotHoldUpTheWindow) {
    namespace fs = std::filesystem;
    WriteCard(card.path(), kCalls);
    fs::path fifo;
    for (const auto& e : fs::recursive_directory_iterator(card.path()))
        if (e.is_regular_file() && e.path().filename() != kCallLogFileName) {
            fifo = e.path();
            break;
        }
    ASSERT_FALSE(fifo.empty());
    fs::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(StartWithCard());
    ASSERT_EQ(rows(1), static_cast<int>(kCalls.size()));
    for (int row = 0; row < rows(1); ++row)
        (void)pane(1).List()->CellText(row, ColRecordLength);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
}

// Store rows whose index names files outside the store: nothing outside is
// removed, none counts as deleted, and the status line says why.
TEST_F(MainWindow, DeleteOfPoisonedStoreRowsRemovesNothingOutsideTheStore) {
    namespace fs = std::filesystem;
    WriteLang({{93, "Deleted:"}, {94, "Failed:"}});
    lk::test::TempDir outside;
    ASSERT_EQ(outside.path().parent_path(), backup.path().parent_path());
    const fs::path root = StoreRoot(backup.path(), 0);
    const std::vector<fs::path> victims = {outside / "v1.wav", outside / "v2.wav",
                                           outside / "20160101" / "v3.wav"};
    for (const auto& v : victims)
        lk::test::WriteText(v, "not the store's");
    fs::create_directories(root);
    fs::create_directory_symlink(outside.path(), root / "201601");
    const std::vector<fs::path> named = {victims[0],
                                         root / ".." / ".." / outside.path().filename() / "v2.wav",
                                         root / "201601" / "20160101" / "v3.wav"};
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < named.size(); ++i) {
        CallRecord r;
        r.cardBytes[CallRecord::kCardInUseByte] = 1;
        r.inUse = 1;
        r.type = Incoming;
        r.time = SystemTime{2016, 1, 0, static_cast<std::uint16_t>(i + 1), 9, 0, 0, 0};
        SetFieldText(r.filePath, FromUtf8(named[i].string()));
        const auto b = r.ToBytes();
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    lk::test::WriteFile(MonthIndexPath(backup.path(), 0, 201601), bytes);
    const auto index = lk::test::ReadFile(MonthIndexPath(backup.path(), 0, 201601));
    Start();
    Tick(TimerStartup);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(rows(1), 3);
    for (int row = 0; row < 3; ++row)
        pane(1).List()->SelectRow(row, row > 0);

    view().OnCommand(CmdDelete);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, "Deleted: 0\nFailed: 3");
    for (const auto& v : victims)
        EXPECT_EQ(lk::test::ReadText(v), "not the store's") << v;
    EXPECT_EQ(lk::test::ReadFile(MonthIndexPath(backup.path(), 0, 201601)), index);
    EXPECT_EQ(rows(1), 3);
    const QString status = frame().statusBar()->currentMessage();
    EXPECT_TRUE(status.contains(QStringLiteral("outside"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("climbs out"))) << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("symbolic link"))) << status.toStdString();
}

TEST_F(MainWindow, RemovingTheCardShowsTheBackupRecords) {
    WriteBackupMonth(backup.path(), 201602, 2);
    WriteBackupMonth(backup.path(), 201512, 3);
    WriteCard(card.path(), kCalls);
    Start();
    Tick(TimerStartup);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(rows(1), 5);
    EXPECT_EQ(pane(1).List()->RowData(0)->time.month, 2);  // February 2016 on top

    InsertCard();
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(rows(1), 7);
    EXPECT_EQ(app().State().viewingBackup, 0);

    RemoveCard();
    Tick(TimerCardWatch);
    EXPECT_EQ(rows(1), 0);
    EXPECT_EQ(app().State().viewingBackup, 1);
    EXPECT_TRUE(frame().TimerActive(TimerBackupReload));
    // Only the panes' emptying is waited for: the backup follows at once.
    EXPECT_EQ(frame().TimerInterval(TimerBackupReload), CardWatchDriver::kAfterRemovalMs);
    Tick(TimerBackupReload);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(rows(1), 5);
    EXPECT_EQ(frame().TimerInterval(TimerCardWatch), 2000);
}

TEST_F(MainWindow, ALargeStoreIsFilledByTheWorkerNewestFirst) {
    WriteBackupMonth(backup.path(), 201601, 1500);
    Start();
    Tick(TimerStartup);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(rows(1), 1500);
    EXPECT_EQ(rows(3), 1500);
    EXPECT_EQ(pane(1).List()->RowData(0)->index, 1499);
    EXPECT_EQ(pane(1).List()->RowData(1499)->index, 0);
    EXPECT_TRUE(frame().Progress()->isHidden());
}

TEST_F(MainWindow, CommandsRefuseWhileRecordsLoad) {
    WriteLang({{159, "Records are being read"}, {160, "Please wait"}});
    lk::test::WriteText(home.config() / "LiteSet.ini", "[Setting]\n");
    Start();
    SessionClaim loading = app().Session().TryClaim();
    ASSERT_TRUE(loading);
    const int guarded[] = {CmdSearch,         CmdDelete,       CmdRefresh,     CmdBackupAll,
                           CmdBackupSelected, CmdMark,         CmdExportSheet, CmdMatchContacts,
                           CmdMail,           CmdMailRecorded, CmdImportFolder};
    for (int c : guarded)
        view().OnCommand(c);
    frame().OnCommand(CmdRescan);
    frame().OnCommand(CmdViewBackup1);
    frame().OnCommand(CmdViewCard);
    frame().OnCommand(CmdRepair);  // a repair writes the log a load reads
    ASSERT_EQ(messages.size(), std::size(guarded) + 4);
    for (const ShownMessage& m : messages) {
        EXPECT_EQ(m.text, "Records are being read");
        EXPECT_EQ(m.caption, "Please wait");
        EXPECT_EQ(m.icon, QMessageBox::Information);
    }
    EXPECT_EQ(app().State().devType, 0);
    EXPECT_EQ(app().State().viewingBackup, 1);
    // Toggling the automatic backup is not guarded; with no key it is off, as
    // the loader reads it, so the first toggle turns it on. (Turning it on
    // asks for a backup folder first while none is set.)
    EXPECT_TRUE(WriteSettingString("BackupPath", backup.path().string() + "/"));
    EXPECT_FALSE(frame().CommandChecked(CmdAutoBackup));
    frame().OnCommand(CmdAutoBackup);
    EXPECT_EQ(ReadSettingInt("AutoBackup"), 1);
    EXPECT_TRUE(frame().CommandChecked(CmdAutoBackup));
    frame().OnCommand(CmdAutoBackup);
    EXPECT_EQ(ReadSettingInt("AutoBackup"), 0);
    EXPECT_FALSE(frame().CommandChecked(CmdAutoBackup));
}

TEST_F(MainWindow, ViewBackupCommandsSwitchFamilyOnlyWhenItChanges) {
    Start();
    frame().StopTimer(TimerBackupReload);
    frame().OnCommand(CmdViewBackup0);  // the family already shown: nothing
    EXPECT_FALSE(frame().TimerActive(TimerBackupReload));
    EXPECT_TRUE(frame().CommandChecked(CmdViewBackup0));

    frame().OnCommand(CmdViewBackup1);
    EXPECT_EQ(app().State().devType, 1);
    EXPECT_EQ(ReadSettingInt("DevType"), 1);
    EXPECT_TRUE(frame().TimerActive(TimerBackupReload));
    EXPECT_FALSE(frame().TimerActive(TimerCardWatch));
    EXPECT_TRUE(frame().CommandChecked(CmdViewBackup1));
    EXPECT_FALSE(pane(1).List()->isColumnHidden(ColRemark));
}

TEST_F(MainWindow, PagesShowTheirPanes) {
    Start();
    view().ShowPage(PageWeb);
    EXPECT_FALSE(view().Web()->isHidden());
    EXPECT_FALSE(view().Web()->BrowserStarted());  // never offscreen
    EXPECT_FALSE(view().PlayerPane()->isHidden());
    EXPECT_TRUE(view().RecordToolbar()->isHidden());
    view().ShowPage(PageFolder);
    EXPECT_FALSE(view().ImportToolbar()->isHidden());
    EXPECT_TRUE(view().RecordToolbar()->isHidden());
    EXPECT_FALSE(pane(10).isHidden());
    view().ShowPage(PageDevice);
    EXPECT_TRUE(view().PlayerPane()->isHidden());
    EXPECT_FALSE(view().DeviceParamsPane()->isHidden());
    EXPECT_TRUE(view().PhoneBookPane()->isHidden());
    EXPECT_EQ(view().Tree()->SelectedPage(), PageDevice);
    // No node leads to page 6: the tree keeps its selection.
    view().Tree()->SelectPage(PageMessages);
    EXPECT_EQ(view().Tree()->SelectedPage(), PageDevice);
    // Delete and mark do nothing off the record pages.
    view().OnCommand(CmdDelete);
    view().OnCommand(CmdMark);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindow, RefreshReadsTheCardAgain) {
    LoadCard();
    view().OnCommand(CmdRefresh);
    EXPECT_EQ(app().State().cardDrive, 0);
    EXPECT_EQ(frame().TimerInterval(TimerCardWatch), 1000);
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(rows(1), 7);
}

TEST_F(MainWindow, MatchContactsFillsCardNamesFromTheAddressBook) {
    LoadCard();
    const auto book = card.path() / "book.vcf";
    lk::test::WriteText(
        book, "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Example;Ann\r\nTEL;WORK:5551234\r\nEND:VCARD\r\n");
    EXPECT_TRUE(WriteSettingString("ContactsFile", book.string()));
    view().OnCommand(CmdMatchContacts);
    EXPECT_EQ(app().State().contacts.size(), 1u);
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(rows(1), 7);
    EXPECT_EQ(FieldText(app().State().records.Card().front()->name), u"Ann Example");
    EXPECT_TRUE(pane(1).List()->CellText(0, ColNumber).endsWith("Ann Example"));
}

}  // namespace
}  // namespace lk::gui::test
