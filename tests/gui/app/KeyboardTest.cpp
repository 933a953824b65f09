// Driving the window by keyboard: each command's key, Tab order, Home/End
// and the row menu from the keyboard.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <map>

#include "DialogTestKit.h"
#include "GuiFixture.h"
#include "pages/CTreePane.h"
#include "player/CPlayerDlg.h"
#include "records/RecordRow.h"
#include "support/CommandMenus.h"
#include "support/CommandTable.h"
#include "support/Commands.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui::test {
namespace {

const std::vector<CardCall> kCalls = {
    {Incoming, 0, 1}, {Missed, 0, 2}, {Outgoing, 0, 3}, {Note, 0, 4}, {Incoming, 0, 5}};

class Keyboard : public WindowTest {
  protected:
    void Show() {
        WriteCard(card.path(), kCalls);
        ASSERT_TRUE(StartWithCard());
        frame().show();
        QApplication::setActiveWindow(&frame());
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame()));
    }
    CSortListCtrl* list() { return pane(view().CurrentPage()).List(); }
    QTreeWidget* tree() { return view().Tree()->Tree(); }
    void Focus(QWidget* w) {
        w->setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
    }
};

TEST_F(Keyboard, EachCommandIsReachedByItsKey) {
    Show();
    answer = QMessageBox::No;  // the delete question
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        bool inList;  // the focus in the list, else in the tree
        CommandId id;
        int runs;  // 0: the key must not reach the command there
    };
    const Case cases[] = {
        {Qt::Key_Return, Qt::NoModifier, true, CommandId::Play, 1},
        {Qt::Key_Enter, Qt::KeypadModifier, true, CommandId::Play, 1},
        {Qt::Key_Return, Qt::NoModifier, false, CommandId::Play, 0},
        {Qt::Key_Delete, Qt::NoModifier, true, CommandId::Delete, 1},
        {Qt::Key_Delete, Qt::NoModifier, false, CommandId::Delete, 0},
        {Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier, false, CommandId::Search, 1},
        {Qt::Key_F, Qt::ControlModifier, true, CommandId::Find, 1},
        {Qt::Key_F5, Qt::NoModifier, true, CommandId::Refresh, 1},
        {Qt::Key_A, Qt::ControlModifier, true, CommandId::SelectAll, 1},
        {Qt::Key_E, Qt::ControlModifier, true, CommandId::ExportWav, 1},
        {Qt::Key_B, Qt::ControlModifier, true, CommandId::BackupSelected, 1},
        {Qt::Key_M, Qt::ControlModifier, true, CommandId::Mark, 1},
        {Qt::Key_Right, Qt::AltModifier, false, CommandId::NextPage, 1},
        {Qt::Key_Left, Qt::AltModifier, true, CommandId::PreviousPage, 1},
        {Qt::Key_PageDown, Qt::ControlModifier, false, CommandId::NextPage, 1},
        {Qt::Key_PageUp, Qt::ControlModifier, false, CommandId::PreviousPage, 1},
    };
    for (const Case& c : cases) {
        view().ShowPage(PageAll);
        list()->SelectRow(0);
        int runs = 0;
        const auto conn = frame().Commands().On(c.id, &frame(), [&runs] { ++runs; });
        QWidget* target = c.inList ? static_cast<QWidget*>(list()) : tree();
        Focus(target);
        // A window the command opens (backup, export) is closed unanswered.
        test::WithModals([&] { QTest::keyClick(target, c.key, c.mods); },
                         [](QDialog* d) { d->reject(); });
        QObject::disconnect(conn);
        // A window that stays open (search) gives the keys back to the frame.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
        frame().activateWindow();
        QCoreApplication::processEvents();
        EXPECT_EQ(runs, c.runs) << static_cast<int>(c.id) << " key " << c.key;
    }
    // The keys did what their commands do.
    view().ShowPage(PageAll);
    Focus(list());
    QTest::keyClick(list(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list()->SelectedCount(), 5);
    QTest::keyClick(tree(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(view().CurrentPage(), PageOutgoing);
    QTest::keyClick(tree(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(view().CurrentPage(), PageAll);

    QTest::keyClick(list(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(frame().isVisible());
}

TEST_F(Keyboard, MenusCarryAccessKeysAndShortcutsShowInMenusAndTips) {
    Show();
    QStringList titles;
    for (QAction* a : frame().menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Records", "&Tools", "P&layer", "&Help"}));
    CommandAction* search = frame().Commands().Action(CommandId::Search);
    EXPECT_EQ(search->text(), "&Search");
    EXPECT_EQ(search->toolTip(), "Search (Ctrl+Shift+F)");
    EXPECT_EQ(frame().Commands().Action(CommandId::MatchContacts)->text(), "Match &Contacts");
    // A drop-down button's tip shows its command's key where it has one.
    for (QToolButton* b : view().RecordToolbar()->findChildren<QToolButton*>())
        if (b->property("lkCommand").toInt() == CmdBackupAll) {
            EXPECT_EQ(b->toolTip(), "Back Up");
        }
}

// The access key of a menu text: the letter after a single "&".
QChar AccessKey(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return {};
}

// Every entry with a key, and no key twice, in `menu` and its submenus.
void ExpectUniqueAccessKeys(QMenu* menu, const QString& where) {
    std::map<QChar, QString> seen;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) continue;
        const QString text = a->menu() ? a->menu()->title() : a->text();
        const QChar key = AccessKey(text);
        EXPECT_FALSE(key.isNull()) << where.toStdString() << ": " << text.toStdString();
        if (key.isNull()) continue;
        const auto [at, fresh] = seen.emplace(key, text);
        EXPECT_TRUE(fresh) << where.toStdString() << ": " << text.toStdString() << " and "
                           << at->second.toStdString();
        if (a->menu()) ExpectUniqueAccessKeys(a->menu(), where + " > " + text);
    }
}

TEST_F(Keyboard, AccessKeysAreUniqueInEveryMenuOfTheShippedTexts) {
    Show();  // the shipped language file
    std::map<QChar, QString> titles;
    for (QAction* top : frame().menuBar()->actions()) {
        ASSERT_NE(top->menu(), nullptr);
        const QChar key = AccessKey(top->text());
        EXPECT_TRUE(titles.emplace(key, top->text()).second) << top->text().toStdString();
        ExpectUniqueAccessKeys(top->menu(), top->text());
    }
    // The row menus, as the lists open them.
    for (auto [layout, name] : {std::pair{RecordRowMenuLayout(), "record rows"},
                                {ImportRowMenuLayout(), "imported rows"}}) {
        QMenu menu;
        FillMenu(&menu, layout, frame().Commands(), true);
        ExpectUniqueAccessKeys(&menu, QString::fromLatin1(name));
    }
    // Commands only a toolbar offered are in a menu as well.
    QList<QAction*> inMenus;
    std::function<void(QMenu*)> collect = [&](QMenu* m) {
        for (QAction* a : m->actions()) {
            inMenus << a;
            if (a->menu()) collect(a->menu());
        }
    };
    for (QAction* top : frame().menuBar()->actions())
        collect(top->menu());
    for (CommandId id : {CommandId::ImportFolder, CommandId::ClearImported, CommandId::BackupAll,
                         CommandId::ExportSheet, CommandId::MatchContacts, CommandId::Mail})
        EXPECT_TRUE(inMenus.contains(frame().Commands().Action(id))) << static_cast<int>(id);
}

TEST_F(Keyboard, TabVisitsTheToolbarAndLeavesTheList) {
    Show();
    Focus(tree());
    std::vector<QWidget*> visited;
    for (int i = 0; i < 32; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
        if (visited.back() == tree()) break;
    }
    // Every record toolbar button that is on screen (the ones that do not fit
    // sit behind the extension button, which takes the focus too), then the
    // list, then back to the tree: Tab is not trapped in the list.
    int buttons = 0;
    for (QToolButton* b : view().RecordToolbar()->findChildren<QToolButton*>())
        if (b->isVisible()) {
            ++buttons;
            EXPECT_NE(std::find(visited.begin(), visited.end(), b), visited.end())
                << b->text().toStdString();
        }
    EXPECT_GE(buttons, 5);
    const auto atList = std::find(visited.begin(), visited.end(), list());
    ASSERT_NE(atList, visited.end());
    EXPECT_EQ(visited.back(), tree());
    EXPECT_GT(atList - visited.begin(), buttons - 1);
    // After the list, the player's buttons left to right, then the row of
    // skip and speed buttons and the volume.
    std::vector<QWidget*> player;
    for (QWidget* w : visited)
        if (w->parentWidget() == view().PlayerPane()) player.push_back(w);
    const std::vector<QWidget*> expected = {view().PlayerPane()->Button(kCmdPrevious),
                                            view().PlayerPane()->Button(kCmdPlay),
                                            view().PlayerPane()->Button(kCmdPlaySelection),
                                            view().PlayerPane()->Button(kCmdPlayMarked),
                                            view().PlayerPane()->Button(kCmdStop),
                                            view().PlayerPane()->Button(kCmdNext),
                                            view().PlayerPane()->Button(kCmdSkipBack),
                                            view().PlayerPane()->Button(kCmdSkipForward),
                                            view().PlayerPane()->Button(kCmdSlower),
                                            view().PlayerPane()->Button(kCmdFaster),
                                            view().PlayerPane()->VolumeSlider()};
    EXPECT_EQ(player, expected);
    const auto atPlayer = std::find(visited.begin(), visited.end(), expected.front());
    EXPECT_GT(atPlayer, atList);
    // Enter on a focused player button presses it, and not the view's Play.
    QPushButton* stop = view().PlayerPane()->Button(kCmdStop);
    QSignalSpy pressed(stop, &QPushButton::clicked);
    Focus(stop);
    QTest::keyClick(stop, Qt::Key_Return);
    QTest::keyClick(stop, Qt::Key_Space);
    EXPECT_EQ(pressed.count(), 2);
    EXPECT_EQ(QApplication::focusWidget(), stop);
}

TEST_F(Keyboard, HomeEndAndTheRowMenuKey) {
    Show();
    CSortListCtrl* l = list();
    Focus(l);
    l->SelectRow(2);
    QTest::keyClick(l, Qt::Key_End);
    EXPECT_EQ(l->currentIndex().row(), 4);
    QTest::keyClick(l, Qt::Key_Home);
    EXPECT_EQ(l->currentIndex().row(), 0);
    EXPECT_EQ(l->horizontalScrollBar()->value(), 0);

    int menus = 0;
    QObject::disconnect(l, &CSortListCtrl::ContextMenuRequested, nullptr, nullptr);
    QObject::connect(l, &CSortListCtrl::ContextMenuRequested, &frame(),
                     [&menus](const QPoint&) { ++menus; });
    QTest::keyClick(l, Qt::Key_F10, Qt::ShiftModifier);
    QContextMenuEvent fromKey(QContextMenuEvent::Keyboard, QPoint(0, 0), l->mapToGlobal(QPoint()));
    QApplication::sendEvent(l, &fromKey);
    EXPECT_EQ(menus, 2);
}

}  // namespace
}  // namespace lk::gui::test
