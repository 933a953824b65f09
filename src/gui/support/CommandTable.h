#pragma once
// Every command of the window in one table: its number, its language text,
// icon, shortcut and flags. The menus, both toolbars and the context menus are
// built from it, and each command is one QAction (CommandActions).
//
// Adding a command is one row in kCommands (CommandTable.cpp) and one slot:
//
//     actions.On(CommandId::Search, this, &MyPage::OnSearch);
//
// or, equivalently, connect to the action's `run` signal:
//
//     connect(actions.Action(CommandId::Search), &CommandAction::run, ...);
//
// Connect handlers to `run`, not to `triggered`: `run` comes only after the
// busy guard has let the command through.

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <functional>
#include <span>
#include <unordered_map>

namespace lk::gui {

enum class CommandId : int {
    Search = 32771,
    Play = 32772,
    Delete = 32773,
    Rescan = 32774,
    Refresh = 32775,
    BackupAll = 32779,
    ExportSheet = 32780,
    MatchContacts = 32781,
    ViewBackupFile = 32782,
    Mark = 32783,
    Mail = 32784,
    AutoBackup = 32787,
    ViewCard = 32788,
    ViewBackup0 = 32789,
    SetBackupPath = 32790,
    WavePlayer = 32791,
    BackupSelected = 32793,
    ViewBackup1 = 32794,
    ExportWav = 32795,
    MailRecorded = 32796,
    ImportFolder = 32798,
    ClearImported = 32799,
    Repair = 32800,
    ChooseAddressBook = 32801,
    EjectCard = 32802,
    PlayerPlayPause = 32950,
    PlayerStop = 32951,
    PlayerPlaySelection = 32952,
    PlayerPlayMarked = 32953,
    PlayerPrevious = 32954,
    PlayerNext = 32955,
    PlayerSkipBack = 32956,
    PlayerSkipForward = 32957,
    PlayerSlower = 32958,
    PlayerFaster = 32959,
    PlayerVolumeDown = 32960,
    PlayerVolumeUp = 32961,
    PlayerZoomIn = 32962,
    PlayerZoomOut = 32963,
    PlayerZoomAll = 32964,
    CheckStore = 32810,
    AuditTrail = 32811,
    Retention = 32812,
    ExportAudio = 32850,
    OpenFolder = 32851,
    MailMp3 = 32852,
    MailOpus = 32853,
    MailPreferred = 32854,  // the toolbar's mail button: the last way chosen
    Find = 32855,           // into the toolbar's find box
    EditNote = 32870,       // to the note of the call the list is on
    PreviousPage = 32900,
    NextPage = 32901,
    SelectAll = 57642,
    About = 57664,
    Exit = 57665,
};

// Where a shortcut is live: in the whole window, or only while a record list
// has the focus (Enter and Delete mean other things elsewhere).
enum class KeyScope { Window, List };

struct CommandSpec {
    CommandId id;
    int text;          // language string number; its "&" marks the access key
    int icon;          // ToolbarIcons() index, -1 for none
    const char* keys;  // portable QKeySequence text, "; " between alternatives
    KeyScope scope;
    bool checkable;
    bool needsSelection;  // greyed in the row menu while no row is selected
    bool busyGuarded;     // refused with the information box while records load
    int deviceSuffix;     // -1, or the family whose display name follows the text
};

std::span<const CommandSpec> CommandTable();
const CommandSpec* FindCommand(CommandId id);
QList<QKeySequence> CommandKeys(const CommandSpec& row);

// The command's language text with its shortcut, for a tooltip.
QString CommandToolTip(const QString& text, const QList<QKeySequence>& keys);

// One row of a menu or toolbar layout: a command, a separator, or a submenu
// (a drop-down button on a toolbar) whose own text is `text`.
struct MenuItem {
    enum Kind { Command, Separator, SubmenuBegin, SubmenuEnd } kind;
    CommandId id = CommandId::Play;  // Command; SubmenuBegin: the button's command
    int text = 0;                    // SubmenuBegin: title / button text
    int icon = -1;                   // SubmenuBegin: the button's icon
    bool onlyFamily1 = false;        // Command: shown only for device family 1
};

// Layouts of the main menu (one submenu per popup), the two toolbars and the
// two row menus.
std::span<const MenuItem> MainMenuLayout();
std::span<const MenuItem> RecordToolbarLayout();
std::span<const MenuItem> ImportToolbarLayout();
std::span<const MenuItem> RecordRowMenuLayout();
std::span<const MenuItem> ImportRowMenuLayout();

// A command's action. `run` fires when the command goes ahead.
class CommandAction : public QAction {
    Q_OBJECT
  public:
    CommandAction(const CommandSpec& row, QObject* parent);
    const CommandSpec& Row() const { return spec_; }
    CommandId Id() const { return spec_.id; }

  signals:
    void run();

  private:
    const CommandSpec& spec_;
};

// The one set of command actions of a window. The frame owns it and hands it
// down; pages and panes add the actions to their menus and toolbars.
class CommandActions : public QObject {
    Q_OBJECT
  public:
    // `busy` tells whether records are loading; `refuse` shows the refusal;
    // `starting` runs before each command that is let through (it reads the
    // settings the command acts on).
    CommandActions(std::function<bool()> busy, std::function<void()> refuse,
                   QObject* parent = nullptr, std::function<void()> starting = {});

    CommandAction* Action(CommandId id) const;
    std::vector<CommandAction*> All() const;

    template <typename Receiver, typename Slot>
    QMetaObject::Connection On(CommandId id, const Receiver* receiver, Slot slot) {
        return connect(Action(id), &CommandAction::run, receiver, slot);
    }

    // Runs the command as its menu item would (busy guard included).
    void Trigger(CommandId id) const;

    // Reloads texts and tooltips from the language file; `deviceName` gives a
    // family's display name for the rows that show one.
    void ApplyTexts(const std::function<QString(int family)>& deviceName);

    // Greys the commands that need a selection while `hasSelection` is false
    // (the row menu); true enables them all again.
    void EnableForSelection(bool hasSelection);

  private:
    void OnTriggered(CommandAction* action);

    std::unordered_map<int, CommandAction*> actions_;
    std::function<bool()> busy_;
    std::function<void()> refuse_;
    std::function<void()> starting_;
};

}  // namespace lk::gui
