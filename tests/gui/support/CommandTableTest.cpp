// The one command table: numbers, layouts, one action per command shared by
// the menus, the toolbars and the row menus, and the busy guard.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <set>

#include "GuiFixture.h"
#include "support/CommandTable.h"
#include "support/Commands.h"
#include "support/GuiText.h"

namespace lk::gui::test {
namespace {

// The command ids of a toolbar, buttons in order (a drop-down by its command).
std::vector<int> ToolbarCommands(QToolBar* bar) {
    std::vector<int> out;
    for (QAction* a : bar->actions()) {
        if (a->isSeparator()) continue;
        QWidget* w = bar->widgetForAction(a);
        if (auto* b = qobject_cast<QToolButton*>(w); b && b->property("lkCommand").isValid())
            out.push_back(b->property("lkCommand").toInt());
        else
            out.push_back(a->data().toInt());
    }
    return out;
}

std::vector<QAction*> MenuCommands(const QMenu* m) {
    std::vector<QAction*> out;
    for (QAction* a : m->actions()) {
        if (a->menu())
            for (QAction* s : MenuCommands(a->menu()))
                out.push_back(s);
        else if (!a->isSeparator())
            out.push_back(a);
    }
    return out;
}

TEST(CommandTable, NumbersStayAndEveryLayoutNamesAKnownCommand) {
    std::set<int> ids;
    for (const CommandSpec& c : CommandTable())
        EXPECT_TRUE(ids.insert(static_cast<int>(c.id)).second) << static_cast<int>(c.id);
    // The numbers the menus, toolbars and row menus have always used.
    for (int n :
         {32771, 32772, 32773, 32774, 32775, 32779, 32780, 32781, 32782, 32783, 32784, 32787, 32788,
          32789, 32790, 32791, 32793, 32794, 32795, 32796, 32798, 32799, 32800, 57664, 57665})
        EXPECT_TRUE(ids.count(n)) << n;
    for (auto layout : {MainMenuLayout(), RecordToolbarLayout(), ImportToolbarLayout(),
                        RecordRowMenuLayout(), ImportRowMenuLayout()}) {
        int depth = 0;
        for (const MenuItem& it : layout) {
            if (it.kind == MenuItem::Command) {
                EXPECT_NE(FindCommand(it.id), nullptr);
            }
            if (it.kind == MenuItem::SubmenuBegin) ++depth;
            if (it.kind == MenuItem::SubmenuEnd) --depth;
            EXPECT_GE(depth, 0);
        }
        EXPECT_EQ(depth, 0);
    }
}

TEST(CommandTable, KeysAndToolTips) {
    struct Case {
        CommandId id;
        std::vector<const char*> keys;
    };
    const Case cases[] = {
        {CommandId::Play, {"Return", "Enter"}},
        {CommandId::Delete, {"Del"}},
        {CommandId::NextPage, {"Alt+Right", "Ctrl+PgDown"}},
        {CommandId::ExportSheet, {}},
    };
    for (const Case& c : cases) {
        const QList<QKeySequence> keys = CommandKeys(*FindCommand(c.id));
        ASSERT_EQ(keys.size(), static_cast<qsizetype>(c.keys.size()));
        for (std::size_t i = 0; i < c.keys.size(); ++i)
            EXPECT_EQ(keys[static_cast<qsizetype>(i)].toString(QKeySequence::PortableText),
                      c.keys[i]);
    }
    EXPECT_EQ(CommandToolTip("Search", {QKeySequence("Ctrl+F")}), "Search (Ctrl+F)");
    EXPECT_EQ(CommandToolTip("Back Up", {}), "Back Up");
}

// Every player action can be done from the keyboard (or a pedal sending
// keys), and no key means two commands.
TEST(CommandTable, EveryPlayerActionHasAKeyOfItsOwn) {
    std::set<QString> seen;
    int player = 0;
    for (const CommandSpec& c : CommandTable()) {
        const auto keys = CommandKeys(c);
        const int id = static_cast<int>(c.id);
        if (id >= static_cast<int>(CommandId::PlayerPlayPause) &&
            id <= static_cast<int>(CommandId::PlayerZoomAll)) {
            ++player;
            EXPECT_FALSE(keys.isEmpty()) << id;
        }
        for (const QKeySequence& k : keys)
            EXPECT_TRUE(seen.insert(k.toString(QKeySequence::PortableText)).second)
                << k.toString().toStdString();
    }
    EXPECT_EQ(player, 15);
    EXPECT_TRUE(seen.count(QStringLiteral("F8")));  // a pedal's middle: play and pause
}

TEST(CommandTable, AccessKeyMarksLeaveCaptions) {
    const std::pair<const char*, const char*> cases[] = {
        {"&File", "File"}, {"E&xit", "Exit"}, {"Q&&A", "Q&A"},
        {"&&&Go", "&Go"},  {"", ""},          {"Trailing&", "Trailing"}};
    for (auto [in, out] : cases)
        EXPECT_EQ(StripAccessKey(in), QString(out)) << in;
}

class Commands : public WindowTest {};

TEST_F(Commands, ToolbarsAndMenusShareOneActionPerCommand) {
    Start();
    EXPECT_EQ(ToolbarCommands(view().RecordToolbar()),
              (std::vector<int>{CmdPlay, CmdDelete, CmdSearch, CmdRefresh, CmdMark, CmdExportSheet,
                                CmdBackupAll, CmdMatchContacts, CmdMailPreferred, CmdEjectCard}));
    EXPECT_EQ(ToolbarCommands(view().ImportToolbar()),
              (std::vector<int>{CmdPlay, CmdImportFolder, CmdClearImported, CmdExportSheet,
                                CmdMailPreferred}));
    // The Records menu's play item is the very action of the toolbar button.
    CommandActions& c = frame().Commands();
    bool inMenu = false;
    for (QAction* top : frame().menuBar()->actions())
        for (QAction* a : MenuCommands(top->menu()))
            inMenu = inMenu || a == c.Action(CommandId::Play);
    EXPECT_TRUE(inMenu);
    EXPECT_TRUE(view().RecordToolbar()->actions().contains(c.Action(CommandId::Play)));
    EXPECT_TRUE(view().ImportToolbar()->actions().contains(c.Action(CommandId::Play)));
    // The legacy number entry runs the same slot as the action.
    int runs = 0;
    c.On(CommandId::ExportSheet, &frame(), [&runs] { ++runs; });
    view().OnCommand(CmdExportSheet);
    c.Action(CommandId::ExportSheet)->trigger();
    EXPECT_EQ(runs, 2);
}

TEST_F(Commands, RowMenuGreysSelectionCommandsOnlyWhileOpen) {
    Start();
    struct Seen {
        std::vector<std::pair<int, bool>> items;  // command, enabled
    } seen;
    QTimer::singleShot(0, [&seen] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* a : MenuCommands(menu))
            seen.items.emplace_back(a->data().toInt(), a->isEnabled());
        menu->close();
    });
    QMetaObject::invokeMethod(pane(1).List(), "ContextMenuRequested",
                              Q_ARG(QPoint, QPoint(10, 10)));
    const std::vector<std::pair<int, bool>> expected = {
        {CmdPlay, false},       {CmdBackupSelected, false}, {CmdDelete, false},
        {CmdSearch, true},      {CmdRefresh, true},         {CmdMark, false},
        {CmdExportSheet, true}, {CmdExportWav, true},       {CmdExportAudio, true},
        {CmdBackupAll, true},   {CmdMatchContacts, true},   {CmdMail, true},
        {CmdMailMp3, true},     {CmdMailOpus, true},        {CmdOpenFolder, false}};
    EXPECT_EQ(seen.items, expected);
    // Closed again, the toolbar's play works without a selection.
    EXPECT_TRUE(frame().Commands().Action(CommandId::Play)->isEnabled());
}

}  // namespace
}  // namespace lk::gui::test
