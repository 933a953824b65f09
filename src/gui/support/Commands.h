#pragma once
// Command numbers of the menus, toolbars and context menus.

namespace lk::gui {

enum Command : int {
    CmdSearch = 32771,
    CmdPlay = 32772,
    CmdDelete = 32773,
    CmdRescan = 32774,
    CmdRefresh = 32775,
    CmdBackupAll = 32779,
    CmdExportSheet = 32780,
    CmdMatchContacts = 32781,
    CmdViewBackupFile = 32782,
    CmdMark = 32783,
    CmdMail = 32784,
    CmdAutoBackup = 32787,
    CmdViewCard = 32788,
    CmdViewBackup0 = 32789,
    CmdSetBackupPath = 32790,
    CmdWavePlayer = 32791,
    CmdBackupSelected = 32793,
    CmdViewBackup1 = 32794,
    CmdExportWav = 32795,
    CmdMailRecorded = 32796,
    CmdImportFolder = 32798,
    CmdClearImported = 32799,
    CmdRepair = 32800,
    CmdChooseAddressBook = 32801,
    CmdAbout = 57664,
    CmdExit = 57665,
};

// Pages of the main view; a list pane's category equals its page.
enum ViewPage : int {
    PageWeb = 0,
    PageAll = 1,
    PageOutgoing = 2,
    PageIncoming = 3,
    PageNotes = 4,
    PageTriggered = 5,
    PageMessages = 6,
    PageMarked = 7,
    PageMissed = 8,
    PageSearch = 9,
    PageFolder = 10,
    PageDevice = 11,
};

}  // namespace lk::gui
