// Size and scale (first-window geometry, remembered window and splitters,
// cut cells), what the window says (status notes, placeholders, title), the
// screen-reader texts and the second start.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>

#include "DialogTestKit.h"
#include "GuiFixture.h"
#include "app/SingleInstance.h"
#include "pages/CTreePane.h"
#include "pages/WebAddress.h"
#include "player/CPlayerDlg.h"
#include "records/RecordRow.h"
#include "support/CommandTable.h"
#include "support/Commands.h"
#include "support/GuiText.h"
#include "support/WindowGeometry.h"
#include "widgets/CSortListCtrl.h"
#include "widgets/StatusPane.h"

namespace lk::gui::test {
namespace {

TEST(WindowGeometry, TheFirstWindowFitsTheAvailableArea) {
    const QSize preferred(1180, 720);
    struct Case {
        const char* what;
        QRect saved, available, expected;
    };
    const Case cases[] = {
        {"nothing saved: centred", {}, {0, 0, 1280, 800}, {50, 40, 1180, 720}},
        {"scale 2 on 1280x800: the whole area", {}, {0, 0, 640, 400}, {0, 0, 640, 400}},
        {"a panel at the top", {}, {0, 30, 1280, 770}, {50, 55, 1180, 720}},
        {"saved and still on screen", {100, 80, 900, 600}, {0, 0, 1280, 800}, {100, 80, 900, 600}},
        {"saved but now partly off screen",
         {700, 80, 900, 600},
         {0, 0, 1280, 800},
         {50, 40, 1180, 720}},
        {"saved larger than the screen now", {0, 0, 1280, 800}, {0, 0, 640, 400}, {0, 0, 640, 400}},
        {"saved smaller than usable", {10, 10, 200, 100}, {0, 0, 1280, 800}, {50, 40, 1180, 720}},
        {"second screen to the right", {}, {1280, 0, 1920, 1080}, {1650, 180, 1180, 720}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitWindowGeometry(c.saved, c.available, preferred), c.expected) << c.what;
    EXPECT_EQ(MinimumWindowSize({0, 0, 1280, 800}), QSize(600, 380));
    EXPECT_EQ(MinimumWindowSize({0, 0, 640, 360}), QSize(600, 360));
}

TEST(WebAddress, TheUnreachablePageLinksTheAddress) {
    const QString html = UnreachablePageHtml("http://a.example/?x=1&y=<2>", "Cannot reach:");
    EXPECT_TRUE(html.contains("<a href=\"http://a.example/?x=1&amp;y=&lt;2&gt;\">"));
    EXPECT_TRUE(html.contains("<p>Cannot reach:</p>"));
    EXPECT_FALSE(html.contains("<2>"));
}

TEST(SingleInstanceLock, ASecondStartBringsTheFirstForward) {
    lk::test::TempHome home;
    SingleInstance first;
    ASSERT_TRUE(first.Acquire());
    EXPECT_FALSE(SingleInstance::SignalRunning());  // nobody listens yet
    int knocks = 0;
    ASSERT_TRUE(first.Listen([&knocks] { ++knocks; }));
    EXPECT_TRUE(SingleInstance::SignalRunning());
    QElapsedTimer t;
    t.start();
    while (knocks == 0 && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(knocks, 1);
    first.Release();
    EXPECT_FALSE(SingleInstance::SignalRunning());
}

TEST(CutCells, OnlyACutCellShowsItsTextAsTip) {
    CSortListCtrl l;
    l.resize(600, 200);
    l.InsertColumn(0, "Short", 80);
    l.InsertColumn(1, "Path", 120);
    l.InsertColumn(2, "Last", 50);  // the last column stretches
    l.SetColumnElide(1, Qt::ElideMiddle);
    l.show();
    struct Case {
        QString text;
        int column;
        bool cut;
    };
    const Case cases[] = {
        {"ab", 0, false},
        {"a much longer text than eighty pixels", 0, true},
        {"/home/user/recordings/2016/01/20160101101500-I-1.wav", 1, true},
        {"", 0, false},
    };
    for (const Case& c : cases) {
        l.DeleteAllRows();
        const int r = l.InsertRow(0, QString(), -1);
        l.SetCellText(r, c.column, c.text);
        EXPECT_EQ(l.CellTextIsCut(r, c.column), c.cut) << c.text.toStdString();
        // The tooltip event is taken only where the cell cuts its text.
        const QRect rect = l.visualRect(l.model()->index(r, c.column));
        QHelpEvent tip(QEvent::ToolTip, rect.center(), l.viewport()->mapToGlobal(rect.center()));
        QStyleOptionViewItem option;
        option.initFrom(&l);
        option.rect = rect;
        EXPECT_EQ(l.itemDelegate()->helpEvent(&tip, &l, option, l.model()->index(r, c.column)),
                  c.cut);
    }
}

class Layout : public WindowTest {
  protected:
    void ShowWindow() {
        frame().show();
        QCoreApplication::processEvents();
    }
};

TEST_F(Layout, SplittersStartAtTheirSizesAndAreRemembered) {
    Start();
    ShowWindow();
    EXPECT_EQ(view().TreeSplitter()->sizes().at(0), 260);
    EXPECT_EQ(view().PlayerSplitter()->sizes().at(1), 180);
    EXPECT_TRUE(pane(1).List()->horizontalHeader()->stretchLastSection());

    const QRect place(20, 30, 700, 500);
    frame().setGeometry(place);
    QCoreApplication::processEvents();
    view().TreeSplitter()->setSizes({200, 500});
    view().PlayerSplitter()->setSizes({250, 150});
    app().ExitInstance();

    Start();
    ShowWindow();
    EXPECT_EQ(frame().geometry(), place);
    EXPECT_EQ(view().TreeSplitter()->sizes().at(0), 200);
    EXPECT_EQ(view().PlayerSplitter()->sizes().at(1), 150);
    EXPECT_LE(frame().minimumWidth(), 600);
}

TEST_F(Layout, ASmallWindowKeepsMostOfItsRoomForTheList) {
    Start();
    frame().setGeometry(0, 0, 600, 380);
    ShowWindow();
    const QList<int> sizes = view().PlayerSplitter()->sizes();
    ASSERT_EQ(sizes.size(), 2);
    EXPECT_LT(sizes[1], 180);
    EXPECT_GE(sizes[0], 150);
    EXPECT_GT(sizes[0], sizes[1]);
}

TEST_F(Layout, EveryToolbarCommandStaysReachableInASmallWindow) {
    WriteCard(card.path(), {{Incoming, 0, 1}});
    ASSERT_TRUE(StartWithCard());
    frame().setGeometry(0, 0, 600, 380);
    ShowWindow();
    QToolBar* bar = view().RecordToolbar();
    QCoreApplication::processEvents();
    // Too narrow for the captions: icons only, each with its tip.
    EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    // Narrower still (a large scale, long texts): some icons go behind the
    // extension button.
    bar->setMaximumWidth(160);
    QCoreApplication::processEvents();
    // What is on the bar, and what waits behind its extension button.
    QList<QAction*> reachable;
    std::function<void(const QList<QAction*>&)> collect = [&](const QList<QAction*>& actions) {
        for (QAction* a : actions) {
            reachable << a;
            if (a->menu()) collect(a->menu()->actions());
        }
    };
    QList<QAction*> shown, behind;
    for (QAction* a : bar->actions()) {
        if (a->isSeparator()) continue;
        QWidget* w = bar->widgetForAction(a);
        (w && w->isVisible() ? shown : behind) << a;
        EXPECT_FALSE(a->toolTip().isEmpty()) << a->text().toStdString();
    }
    EXPECT_FALSE(behind.isEmpty()) << "the window is meant to be too narrow";
    auto* ext = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
    ASSERT_NE(ext, nullptr);
    EXPECT_TRUE(ext->isVisible());
    ASSERT_NE(ext->menu(), nullptr);
    collect(shown);
    collect(ext->menu()->actions());
    for (CommandId id :
         {CommandId::Play, CommandId::Delete, CommandId::Search, CommandId::Refresh,
          CommandId::Mark, CommandId::ExportSheet, CommandId::ExportWav, CommandId::BackupAll,
          CommandId::BackupSelected, CommandId::MatchContacts, CommandId::Mail})
        EXPECT_TRUE(reachable.contains(frame().Commands().Action(id))) << static_cast<int>(id);
    // Wide again, the captions are back.
    bar->setMaximumWidth(QWIDGETSIZE_MAX);
    frame().setGeometry(0, 0, 1600, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
}

TEST_F(Layout, AWindowLeftOffScreenComesBackOnIt) {
    EXPECT_TRUE(WriteSettingInt("WindowLeft", 5000));
    EXPECT_TRUE(WriteSettingInt("WindowTop", 5000));
    EXPECT_TRUE(WriteSettingInt("WindowWidth", 700));
    EXPECT_TRUE(WriteSettingInt("WindowHeight", 500));
    Start();
    const QRect area = frame().screen()->availableGeometry();
    EXPECT_TRUE(area.contains(frame().geometry())) << frame().geometry().x();
}

TEST_F(Layout, ShortStatusTextsStayWholeInANarrowWindow) {
    Start();
    frame().resize(800, 600);
    QCoreApplication::processEvents();
    int checked = 0;
    for (const StatusPane* pane : frame().findChildren<StatusPane*>()) {
        const QString text = pane->text();
        if (text.isEmpty() || text.size() > 22) continue;
        ++checked;
        EXPECT_GE(pane->contentsRect().width(), pane->fontMetrics().horizontalAdvance(text))
            << text.toStdString();
    }
    EXPECT_GE(checked, 2);  // "Recorder not connected" and the record count
}

TEST_F(Layout, EmptyListsSayWhy) {
    Start();
    view().UpdatePlaceholders();
    EXPECT_EQ(pane(9).List()->PlaceholderText(), Lang(312));
    EXPECT_EQ(pane(10).List()->PlaceholderText(), Lang(313));
    EXPECT_EQ(pane(1).List()->PlaceholderText(), Lang(320));  // backup shown, folder chosen

    EXPECT_TRUE(WriteSettingString("BackupPath", ""));
    app().Settings().Refresh();  // as the next command does
    view().UpdatePlaceholders();
    EXPECT_EQ(pane(3).List()->PlaceholderText(), Lang(314));
    QPushButton* choose = pane(3).List()->PlaceholderButton();
    ASSERT_NE(choose, nullptr);
    EXPECT_FALSE(choose->isHidden());
    int asked = 0;
    frame().Commands().On(CommandId::SetBackupPath, &frame(), [&asked] { ++asked; });
    // The backup-path dialog it opens is closed unanswered.
    test::WithModals([&] { choose->click(); }, [](QDialog* d) { d->reject(); });
    EXPECT_EQ(asked, 1);

    // A list with rows hides its placeholder button.
    pane(3).List()->InsertRow(0, "x", -1);
    EXPECT_TRUE(choose->isHidden());
}

TEST_F(Layout, StatusNotesTitleAndRootSayWhatIsListed) {
    WriteCard(card.path(), {{Incoming, 1, 1}, {Outgoing, 0, 2}});
    Start();
    Tick(TimerStartup);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(frame().windowTitle().endsWith(Lang(306)));
    // The version in the title comes from the build; the text stays as shipped.
    EXPECT_EQ(frame().windowTitle(), "LineKeeper  1.0.0.22 20160616 - " + Lang(306));
    EXPECT_TRUE(view().Tree()->Tree()->topLevelItem(0)->text(0).contains(Lang(306)));

    InsertCard();
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(frame().statusBar()->currentMessage().startsWith(Lang(309)));
    EXPECT_TRUE(frame().windowTitle().endsWith(Lang(305)));
    EXPECT_TRUE(view().Tree()->Tree()->topLevelItem(0)->text(0).contains(Lang(305)));

    view().OnCommand(CmdRefresh);
    EXPECT_EQ(frame().statusBar()->currentMessage(), Lang(307));
    frame().OnCommand(CmdRescan);
    EXPECT_EQ(frame().statusBar()->currentMessage(), Lang(308));
    Tick(TimerCardWatch);
    ASSERT_TRUE(WaitIdle());

    RemoveCard();
    Tick(TimerCardWatch);
    EXPECT_EQ(frame().statusBar()->currentMessage(), Lang(310));
    EXPECT_TRUE(frame().windowTitle().endsWith(Lang(306)));
}

TEST_F(Layout, ScreenReadersHearNamesAndTheIconCells) {
    WriteCard(card.path(), {{Incoming, 1, 1}, {Outgoing, 0, 2, 10, u"555", false}});
    ASSERT_TRUE(StartWithCard());
    ASSERT_EQ(rows(1), 2);
    EXPECT_FALSE(view().Tree()->Tree()->accessibleName().isEmpty());
    EXPECT_FALSE(view().PlayerPane()->accessibleName().isEmpty());
    for (int c = 1; c <= 10; ++c)
        EXPECT_FALSE(pane(c).List()->accessibleName().isEmpty()) << c;

    CSortListCtrl* l = pane(1).List();
    const int marked = l->RowData(0)->marked ? 0 : 1;
    const int plain = 1 - marked;
    struct Case {
        int row, column;
        QString text;
    };
    const Case cases[] = {
        {marked, ColMark, "marked"},
        {plain, ColMark, ""},
        {marked, ColRecording, Lang(304)},
        {plain, ColRecording, ""},  // the outgoing call has no recording
        {plain, ColType, l->CellText(plain, ColType)},
    };
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(l);
    ASSERT_NE(table, nullptr);
    ASSERT_NE(table->tableInterface(), nullptr);
    for (const Case& c : cases) {
        EXPECT_EQ(l->model()->index(c.row, c.column).data(Qt::AccessibleTextRole).toString(),
                  c.text);
        QAccessibleInterface* cell = table->tableInterface()->cellAt(c.row, c.column);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->text(QAccessible::Name), c.text) << c.row << "," << c.column;
    }
    // The icons stay; only the text for assistive technology is added.
    EXPECT_TRUE(l->CellText(marked, ColMark).isEmpty());
}

TEST_F(Layout, TheHeaderArrowShowsTheOrderOfTheRows) {
    WriteCard(card.path(), {{Incoming, 0, 1}, {Outgoing, 0, 2}, {Incoming, 0, 3}});
    ASSERT_TRUE(StartWithCard());
    QHeaderView* h = pane(1).List()->horizontalHeader();
    struct Expect {
        int column;
        Qt::SortOrder order;
    };
    auto arrow = [h] {
        return Expect{h->isSortIndicatorShown() ? h->sortIndicatorSection() : -1,
                      h->sortIndicatorOrder()};
    };
    // Filled newest first.
    EXPECT_EQ(arrow().column, ColTime);
    EXPECT_EQ(arrow().order, Qt::DescendingOrder);
    pane(1).List()->SortByColumn(ColNumber, true);
    EXPECT_EQ(arrow().column, ColNumber);
    EXPECT_EQ(arrow().order, Qt::AscendingOrder);
    // Reloaded, the rows are newest first again, and the arrow says so.
    app().PopulatePanes();
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(rows(1), 3);
    EXPECT_EQ(arrow().column, ColTime);
    EXPECT_EQ(arrow().order, Qt::DescendingOrder);
    EXPECT_EQ(pane(9).List()->horizontalHeader()->isSortIndicatorShown(), false);
}

TEST_F(Layout, NoArrowOverRowsOutOfItsOrderAndIconColumnsSortByMeaning) {
    // Written out of date order (a clock set back): the rows are not newest first.
    WriteCard(card.path(), {{Incoming, 0, 5},
                            {Outgoing, 1, 1, 10, u"5551234", false},
                            {Incoming, 0, 3, 10, u"5551234", false},
                            {Missed, 1, 2}});
    ASSERT_TRUE(StartWithCard());
    CSortListCtrl* l = pane(1).List();
    QHeaderView* h = l->horizontalHeader();
    ASSERT_EQ(rows(1), 4);
    EXPECT_FALSE(h->isSortIndicatorShown());

    struct Case {
        int column;
        bool ascending;
        std::vector<int> days;  // the rows' days after the click
    };
    const Case cases[] = {
        {ColTime, true, {1, 2, 3, 5}},
        {ColTime, false, {5, 3, 2, 1}},
        // Marked first, ties in their present order; then the reverse.
        {ColMark, true, {2, 1, 5, 3}},
        {ColMark, false, {5, 3, 2, 1}},
        // Recording present first.
        {ColRecording, true, {5, 2, 3, 1}},
    };
    for (const Case& c : cases) {
        l->SortByColumn(c.column, c.ascending);
        std::vector<int> days;
        for (int r = 0; r < l->RowCount(); ++r)
            days.push_back(l->RowData(r)->time.day);
        EXPECT_EQ(days, c.days) << c.column << " " << c.ascending;
        EXPECT_TRUE(h->isSortIndicatorShown());
        EXPECT_EQ(h->sortIndicatorSection(), c.column);
    }
    // Sorted by the flag, a row unmarked out of its place takes the arrow away.
    l->SortByColumn(ColMark, true);
    l->SelectRow(0);
    view().OnCommand(CmdMark);
    EXPECT_FALSE(h->isSortIndicatorShown());
}

// Collects the warnings Qt prints while it is installed.
struct WarningTrap {
    static inline QStringList seen;
    QtMessageHandler previous;
    WarningTrap() {
        seen.clear();
        previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& m) { seen << m; });
    }
    ~WarningTrap() { qInstallMessageHandler(previous); }
};

TEST_F(Layout, TheFocusedCellIsAlwaysAValidIndex) {
    WriteCard(card.path(), {{Incoming, 0, 1}, {Outgoing, 0, 2}});
    ASSERT_TRUE(StartWithCard());
    CSortListCtrl* l = pane(1).List();
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(l);
    ASSERT_NE(table, nullptr);
    WarningTrap trap;
    // What a screen reader asks when the list gets the focus, after a fill
    // and after a sort.
    EXPECT_NE(table->focusChild(), nullptr);
    l->SortByColumn(ColTime, true);
    EXPECT_NE(table->focusChild(), nullptr);
    EXPECT_TRUE(l->currentIndex().isValid());
    EXPECT_TRUE(l->SelectedRows().empty());  // a current row, not a selection
    for (const QString& w : WarningTrap::seen)
        EXPECT_FALSE(w.contains("invalid index")) << w.toStdString();
}

TEST_F(Layout, WhereThePlayerAndTheNoteDoNotBothFitTheNoteFoldsAway) {
    Start();
    frame().setGeometry(0, 0, 800, 600);
    ShowWindow();
    QSplitter* bottom = view().NoteSplitter();
    EXPECT_EQ(bottom->sizes().value(1), 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(view().PlayerPane()->CaptionsWhole());

    // Edit Note brings it back; so does room.
    frame().Commands().Action(CommandId::EditNote)->trigger();
    EXPECT_GT(bottom->sizes().value(1), 0);
    frame().setGeometry(0, 0, 1400, 900);
    QCoreApplication::processEvents();
    EXPECT_GT(bottom->sizes().value(1), 0);
}

}  // namespace
}  // namespace lk::gui::test
