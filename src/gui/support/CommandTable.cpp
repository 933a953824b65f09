#include "support/CommandTable.h"

#include "support/GuiText.h"
#include "support/Icons.h"

namespace lk::gui {
namespace {

using enum CommandId;
constexpr KeyScope W = KeyScope::Window;
constexpr KeyScope L = KeyScope::List;

// id, text, icon, keys, key scope, checkable, needs a selection, busy-guarded,
// device suffix.
constexpr CommandSpec kCommands[] = {
    {Play, 8, 0, "Return; Enter", L, false, true, false, -1},
    {WavePlayer, 8, 0, "", W, false, true, false, -1},
    {Delete, 9, 1, "Del", L, false, true, true, -1},
    // Ctrl+F finds as you type, as elsewhere; the search by time and type
    // keeps its dialog a Shift away.
    {Find, 830, -1, "Ctrl+F", W, false, false, false, -1},
    {Search, 7, 6, "Ctrl+Shift+F", W, false, false, true, -1},
    {Refresh, 27, 6, "F5", W, false, false, true, -1},
    {SelectAll, 301, -1, "Ctrl+A", W, false, false, false, -1},
    {Mark, 111, 2, "Ctrl+M", W, false, true, true, -1},
    {ExportSheet, 97, 5, "", W, false, false, true, -1},
    {ExportWav, 197, 5, "Ctrl+E", W, false, false, false, -1},
    {ExportAudio, 700, 5, "Ctrl+Shift+E", W, false, false, true, -1},
    {OpenFolder, 722, -1, "", W, false, true, false, -1},
    {EditNote, 806, -1, "Ctrl+Shift+N", W, false, true, false, -1},
    {BackupAll, 99, 3, "", W, false, false, true, -1},
    {BackupSelected, 194, 3, "Ctrl+B", W, false, true, true, -1},
    {MatchContacts, 98, 4, "", W, false, false, true, -1},
    {Mail, 209, 4, "", W, false, false, true, -1},
    {MailRecorded, 208, 4, "", W, false, false, true, -1},
    {MailMp3, 723, 4, "", W, false, false, true, -1},
    {MailOpus, 724, 4, "", W, false, false, true, -1},
    {MailPreferred, 112, 4, "", W, false, false, true, -1},
    {ImportFolder, 216, 13, "", W, false, false, true, -1},
    {ClearImported, 217, 14, "", W, false, false, false, -1},
    {PreviousPage, 302, -1, "Alt+Left; Ctrl+PgUp", W, false, false, false, -1},
    {NextPage, 303, -1, "Alt+Right; Ctrl+PgDown", W, false, false, false, -1},
    {Exit, 84, -1, "Ctrl+Q", W, false, false, false, -1},
    // The card watch's own rescan step refuses while records load.
    {Rescan, 83, -1, "", W, false, false, false, -1},
    {Repair, 218, -1, "", W, false, false, true, -1},
    // A load reads the card: it ends before the card goes.
    {EjectCard, 391, 15, "", W, false, false, true, -1},
    {CheckStore, 450, -1, "", W, false, false, false, -1},
    {AuditTrail, 451, -1, "", W, false, false, false, -1},
    {Retention, 477, -1, "", W, false, false, false, -1},
    {ViewCard, 150, -1, "", W, true, false, true, -1},
    {ViewBackup0, 151, -1, "", W, true, false, true, 0},
    // Its own text: beside the other family's item it needs its own access key.
    {ViewBackup1, 364, -1, "", W, true, false, true, 1},
    {ViewBackupFile, 151, -1, "", W, false, false, false, -1},
    {AutoBackup, 141, -1, "", W, true, false, false, -1},
    {SetBackupPath, 152, -1, "", W, false, false, true, -1},
    {ChooseAddressBook, 240, -1, "", W, false, false, false, -1},
    {About, 85, -1, "", W, false, false, false, -1},
    // The player. Function keys first: foot pedals send them. Space, Escape
    // and Ctrl+Left/Right work on the record pages as well (the player's own).
    {PlayerPlayPause, 601, -1, "F8", W, false, false, false, -1},
    {PlayerStop, 602, -1, "Shift+F8", W, false, false, false, -1},
    {PlayerPlaySelection, 603, -1, "F6", W, false, false, false, -1},
    {PlayerPlayMarked, 604, -1, "Shift+F6", W, false, false, false, -1},
    {PlayerPrevious, 605, -1, "Ctrl+F7", W, false, false, false, -1},
    {PlayerNext, 606, -1, "Ctrl+F9", W, false, false, false, -1},
    {PlayerSkipBack, 607, -1, "F7; Ctrl+,", W, false, false, false, -1},
    {PlayerSkipForward, 608, -1, "F9; Ctrl+.", W, false, false, false, -1},
    {PlayerSlower, 609, -1, "Ctrl+[", W, false, false, false, -1},
    {PlayerFaster, 610, -1, "Ctrl+]", W, false, false, false, -1},
    {PlayerVolumeDown, 611, -1, "Ctrl+Down", W, false, false, false, -1},
    {PlayerVolumeUp, 612, -1, "Ctrl+Up", W, false, false, false, -1},
    {PlayerZoomIn, 613, -1, "Ctrl+=; Ctrl++", W, false, false, false, -1},
    {PlayerZoomOut, 614, -1, "Ctrl+-", W, false, false, false, -1},
    {PlayerZoomAll, 615, -1, "Ctrl+0", W, false, false, false, -1},
};

constexpr MenuItem Cmd(CommandId id) {
    return {MenuItem::Command, id};
}
constexpr MenuItem Family1(CommandId id) {
    return {MenuItem::Command, id, 0, -1, true};
}
constexpr MenuItem Sub(int text, CommandId button = Play, int icon = -1) {
    return {MenuItem::SubmenuBegin, button, text, icon};
}
constexpr MenuItem kSep{MenuItem::Separator};
constexpr MenuItem kEnd{MenuItem::SubmenuEnd};

constexpr MenuItem kMainMenu[] = {
    Sub(81),
    Cmd(Exit),
    kEnd,
    Sub(300),
    Cmd(Play),
    Cmd(Delete),
    Cmd(Find),
    Cmd(Search),
    Cmd(Refresh),
    kSep,
    Cmd(SelectAll),
    Cmd(Mark),
    kSep,
    Cmd(ExportSheet),
    Cmd(ExportWav),
    Cmd(ExportAudio),
    Cmd(OpenFolder),
    Cmd(BackupSelected),
    Cmd(BackupAll),
    Cmd(MatchContacts),
    Sub(112),
    Cmd(Mail),
    Cmd(MailMp3),
    Cmd(MailOpus),
    Cmd(MailRecorded),
    kEnd,
    kSep,
    Cmd(ImportFolder),
    Cmd(ClearImported),
    kSep,
    Cmd(PreviousPage),
    Cmd(NextPage),
    kEnd,
    Sub(149),
    Cmd(Rescan),
    Cmd(EjectCard),
    Cmd(Repair),
    Cmd(CheckStore),
    Cmd(AuditTrail),
    Cmd(Retention),
    kSep,
    Cmd(ViewCard),
    Cmd(ViewBackup0),
    Cmd(ViewBackup1),
    kSep,
    Cmd(AutoBackup),
    Cmd(SetBackupPath),
    Cmd(ChooseAddressBook),
    kEnd,
    Sub(600),
    Cmd(PlayerPlayPause),
    Cmd(PlayerStop),
    Cmd(PlayerPlaySelection),
    Cmd(PlayerPlayMarked),
    kSep,
    Cmd(PlayerSkipBack),
    Cmd(PlayerSkipForward),
    Cmd(PlayerPrevious),
    Cmd(PlayerNext),
    kSep,
    Cmd(PlayerSlower),
    Cmd(PlayerFaster),
    Cmd(PlayerVolumeDown),
    Cmd(PlayerVolumeUp),
    kSep,
    Cmd(PlayerZoomIn),
    Cmd(PlayerZoomOut),
    Cmd(PlayerZoomAll),
    kEnd,
    Sub(82),
    Cmd(About),
    kEnd,
};

constexpr MenuItem kRecordToolbar[] = {
    Cmd(Play),
    Cmd(Delete),
    Cmd(Search),
    Cmd(Refresh),
    Cmd(Mark),
    Sub(199, ExportSheet, 5),
    Cmd(ExportSheet),
    Cmd(ExportWav),
    Cmd(ExportAudio),
    kEnd,
    Sub(96, BackupAll, 3),
    Cmd(BackupAll),
    Cmd(BackupSelected),
    kEnd,
    Cmd(MatchContacts),
    Sub(112, MailPreferred, 4),
    Cmd(Mail),
    Cmd(MailMp3),
    Cmd(MailOpus),
    Family1(MailRecorded),
    kEnd,
    Cmd(EjectCard),
};

constexpr MenuItem kImportToolbar[] = {
    Cmd(Play),
    Cmd(ImportFolder),
    Cmd(ClearImported),
    Sub(199, ExportSheet, 5),
    Cmd(ExportSheet),
    Cmd(ExportWav),
    Cmd(ExportAudio),
    kEnd,
    Sub(112, MailPreferred, 4),
    Cmd(Mail),
    Cmd(MailMp3),
    Cmd(MailOpus),
    Cmd(MailRecorded),
    kEnd,
};

constexpr MenuItem kRecordRowMenu[] = {
    Cmd(Play),
    kSep,
    Cmd(BackupSelected),
    kSep,
    Cmd(Delete),
    kSep,
    Cmd(Search),
    kSep,
    Cmd(Refresh),
    kSep,
    Cmd(Mark),
    kSep,
    Sub(199),
    Cmd(ExportSheet),
    Cmd(ExportWav),
    Cmd(ExportAudio),
    kEnd,
    kSep,
    Cmd(BackupAll),
    kSep,
    Cmd(MatchContacts),
    kSep,
    Sub(112),
    Cmd(Mail),
    Cmd(MailMp3),
    Cmd(MailOpus),
    Family1(MailRecorded),
    kEnd,
    kSep,
    Cmd(OpenFolder),
};

constexpr MenuItem kImportRowMenu[] = {
    Cmd(Play),
    kSep,
    Cmd(ImportFolder),
    kSep,
    Cmd(ClearImported),
    kSep,
    Sub(199),
    Cmd(ExportSheet),
    Cmd(ExportWav),
    Cmd(ExportAudio),
    kEnd,
    kSep,
    Sub(112),
    Cmd(Mail),
    Cmd(MailMp3),
    Cmd(MailOpus),
    Cmd(MailRecorded),
    kEnd,
    kSep,
    Cmd(OpenFolder),
};

}  // namespace

std::span<const CommandSpec> CommandTable() {
    return kCommands;
}

const CommandSpec* FindCommand(CommandId id) {
    for (const CommandSpec& c : kCommands)
        if (c.id == id) return &c;
    return nullptr;
}

QList<QKeySequence> CommandKeys(const CommandSpec& row) {
    QList<QKeySequence> keys;
    for (const QString& k :
         QString::fromLatin1(row.keys).split(QLatin1String("; "), Qt::SkipEmptyParts))
        keys.append(QKeySequence(k, QKeySequence::PortableText));
    return keys;
}

QString CommandToolTip(const QString& text, const QList<QKeySequence>& keys) {
    if (keys.isEmpty()) return text;
    return QStringLiteral("%1 (%2)").arg(text, keys.front().toString(QKeySequence::NativeText));
}

std::span<const MenuItem> MainMenuLayout() {
    return kMainMenu;
}
std::span<const MenuItem> RecordToolbarLayout() {
    return kRecordToolbar;
}
std::span<const MenuItem> ImportToolbarLayout() {
    return kImportToolbar;
}
std::span<const MenuItem> RecordRowMenuLayout() {
    return kRecordRowMenu;
}
std::span<const MenuItem> ImportRowMenuLayout() {
    return kImportRowMenu;
}

CommandAction::CommandAction(const CommandSpec& row, QObject* parent)
    : QAction(parent), spec_(row) {
    setCheckable(row.checkable);
    setShortcuts(CommandKeys(row));
    setShortcutContext(row.scope == KeyScope::List ? Qt::WidgetWithChildrenShortcut
                                                   : Qt::WindowShortcut);
    if (row.icon >= 0) setIcon(ToolbarIcons().value(row.icon));
    setData(static_cast<int>(row.id));
}

CommandActions::CommandActions(std::function<bool()> busy, std::function<void()> refuse,
                               QObject* parent, std::function<void()> starting)
    : QObject(parent),
      busy_(std::move(busy)),
      refuse_(std::move(refuse)),
      starting_(std::move(starting)) {
    for (const CommandSpec& row : kCommands) {
        auto* a = new CommandAction(row, this);
        connect(a, &QAction::triggered, this, [this, a] { OnTriggered(a); });
        actions_.emplace(static_cast<int>(row.id), a);
    }
}

CommandAction* CommandActions::Action(CommandId id) const {
    const auto it = actions_.find(static_cast<int>(id));
    return it == actions_.end() ? nullptr : it->second;
}

std::vector<CommandAction*> CommandActions::All() const {
    std::vector<CommandAction*> out;
    for (const CommandSpec& row : kCommands)
        out.push_back(Action(row.id));
    return out;
}

void CommandActions::OnTriggered(CommandAction* action) {
    if (action->Row().busyGuarded && busy_ && busy_()) {
        // A refused checkable item keeps its mark as it was.
        if (action->isCheckable()) action->setChecked(!action->isChecked());
        if (refuse_) refuse_();
        return;
    }
    if (starting_) starting_();
    emit action->run();
}

void CommandActions::Trigger(CommandId id) const {
    if (CommandAction* a = Action(id)) a->trigger();
}

void CommandActions::ApplyTexts(const std::function<QString(int family)>& deviceName) {
    for (auto& [id, a] : actions_) {
        const CommandSpec& row = a->Row();
        QString text = MenuText(row.text);
        if (row.deviceSuffix >= 0 && deviceName)
            text = QStringLiteral("%1(%2)").arg(text, deviceName(row.deviceSuffix));
        a->setText(text);
        a->setToolTip(CommandToolTip(StripAccessKey(text), a->shortcuts()));
    }
}

void CommandActions::EnableForSelection(bool hasSelection) {
    for (auto& [id, a] : actions_)
        if (a->Row().needsSelection) a->setEnabled(hasSelection);
}

}  // namespace lk::gui
