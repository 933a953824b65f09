#pragma once
// Command numbers as integers and the page numbers of the main view.

#include "support/CommandTable.h"
#include "support/ViewPage.h"

namespace lk::gui {

// The command numbers as plain integers, for code that passes them as such
// (OnCommand of the frame and the view).
inline constexpr int CmdSearch = static_cast<int>(CommandId::Search);
inline constexpr int CmdPlay = static_cast<int>(CommandId::Play);
inline constexpr int CmdDelete = static_cast<int>(CommandId::Delete);
inline constexpr int CmdRescan = static_cast<int>(CommandId::Rescan);
inline constexpr int CmdRefresh = static_cast<int>(CommandId::Refresh);
inline constexpr int CmdBackupAll = static_cast<int>(CommandId::BackupAll);
inline constexpr int CmdExportSheet = static_cast<int>(CommandId::ExportSheet);
inline constexpr int CmdMatchContacts = static_cast<int>(CommandId::MatchContacts);
inline constexpr int CmdViewBackupFile = static_cast<int>(CommandId::ViewBackupFile);
inline constexpr int CmdMark = static_cast<int>(CommandId::Mark);
inline constexpr int CmdMail = static_cast<int>(CommandId::Mail);
inline constexpr int CmdAutoBackup = static_cast<int>(CommandId::AutoBackup);
inline constexpr int CmdViewCard = static_cast<int>(CommandId::ViewCard);
inline constexpr int CmdViewBackup0 = static_cast<int>(CommandId::ViewBackup0);
inline constexpr int CmdSetBackupPath = static_cast<int>(CommandId::SetBackupPath);
inline constexpr int CmdWavePlayer = static_cast<int>(CommandId::WavePlayer);
inline constexpr int CmdBackupSelected = static_cast<int>(CommandId::BackupSelected);
inline constexpr int CmdViewBackup1 = static_cast<int>(CommandId::ViewBackup1);
inline constexpr int CmdExportWav = static_cast<int>(CommandId::ExportWav);
inline constexpr int CmdMailRecorded = static_cast<int>(CommandId::MailRecorded);
inline constexpr int CmdImportFolder = static_cast<int>(CommandId::ImportFolder);
inline constexpr int CmdClearImported = static_cast<int>(CommandId::ClearImported);
inline constexpr int CmdRepair = static_cast<int>(CommandId::Repair);
inline constexpr int CmdAbout = static_cast<int>(CommandId::About);
inline constexpr int CmdExit = static_cast<int>(CommandId::Exit);
inline constexpr int CmdChooseAddressBook = static_cast<int>(CommandId::ChooseAddressBook);
inline constexpr int CmdEjectCard = static_cast<int>(CommandId::EjectCard);
inline constexpr int CmdExportAudio = static_cast<int>(CommandId::ExportAudio);
inline constexpr int CmdOpenFolder = static_cast<int>(CommandId::OpenFolder);
inline constexpr int CmdMailMp3 = static_cast<int>(CommandId::MailMp3);
inline constexpr int CmdMailOpus = static_cast<int>(CommandId::MailOpus);
inline constexpr int CmdMailPreferred = static_cast<int>(CommandId::MailPreferred);

}  // namespace lk::gui
