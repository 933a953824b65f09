#pragma once
// Settings (section "Setting" of Config/LiteSet.ini). Every call opens the
// file anew; nothing is cached, so a second process or a hand edit is seen.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace lk {

// Access by key name: what the accessors below are built on. Code outside
// this file uses the accessors, so that each key and its default are named
// once.

// -1 when the key or the file is missing.
int ReadSettingInt(std::string_view key);
// Empty when missing; cut at 1023 characters; backslash-n becomes a line feed.
std::string ReadSettingString(std::string_view key);
// False when the settings file could not be written.
[[nodiscard]] bool WriteSettingInt(std::string_view key, int value);
[[nodiscard]] bool WriteSettingString(std::string_view key, std::string_view value);

// One accessor per key, each with its default for a missing key. The setters
// give false when the settings file could not be written.

// The card text code page: "CodePage", kDefaultCardCodePage when unset.
// Read where a command starts and passed down; the engines never read it.
inline constexpr char kDefaultCardCodePage[] = "CP1252";
std::string CardCodePage();
// "RetentionDays": the days of calls the retention window keeps, 90 when unset.
int RetentionDays();
[[nodiscard]] bool SetRetentionDays(int days);
// "DevType": the last recorder family, 0 unless 1.
int DevType();
[[nodiscard]] bool SetDevType(int family);
// The display name of a recorder family: "Device" (family 0) or "Device2".
std::string DeviceDisplayName(int family);
// "DeviceLibrary": the maker's device library; empty for the usual place.
std::string DeviceLibraryPath();

// The maker's details of the about box, the title bar, the web page and
// e-mails: "Software", "Company", "Address", "Tel", "Fax", "Mobile", "Web",
// "Email"; empty when unset.
std::string SoftwareName();
std::string CompanyName();
std::string CompanyAddress();
std::string CompanyTel();
std::string CompanyFax();
std::string CompanyMobile();
std::string CompanyWeb();
std::string CompanyEmail();

// "AutoBackup": back up after each card read; on only when 1.
bool AutoBackup();
[[nodiscard]] bool SetAutoBackup(bool on);
// "BackupPath": root of the backup store; empty when not chosen.
std::filesystem::path BackupPath();
[[nodiscard]] bool SetBackupPath(const std::string& path);
// "BackupDelFile": a backup moves the recordings off the card; only when 1.
bool BackupMovesFiles();
[[nodiscard]] bool SetBackupMovesFiles(bool move);

// "ExportPath": the folder last exported to; empty when none.
std::string ExportPath();
[[nodiscard]] bool SetExportPath(const std::string& folder);
// The audio export's last choices: "ExportFormat" ("wav", "mp3", "opus",
// "flac"; "wav" when unset) and "ExportTemplate" (the file-name template;
// empty when unset). "MailFormat": how the e-mail command attaches
// recordings ("wav", "mp3", "opus"; "wav" when unset).
std::string ExportFormat();
[[nodiscard]] bool SetExportFormat(const std::string& format);
std::string ExportTemplate();
[[nodiscard]] bool SetExportTemplate(const std::string& text);
std::string MailFormat();
[[nodiscard]] bool SetMailFormat(const std::string& format);
// "ContactsFile": the address book (a vCard file or folder); empty when none.
std::string ContactsFile();
[[nodiscard]] bool SetContactsFile(const std::string& source);

// The search window's last conditions: "DateCond" and "NumCond" (on only
// when 1) and "SearchedNum" (empty when unset).
bool SearchDateCond();
[[nodiscard]] bool SetSearchDateCond(bool on);
bool SearchNumberCond();
[[nodiscard]] bool SetSearchNumberCond(bool on);
std::string SearchedNumber();
[[nodiscard]] bool SetSearchedNumber(const std::string& number);

// The main window as last left: "WindowLeft" (nullopt when unset; positions
// may be negative), "WindowTop", "WindowWidth", "WindowHeight" (-1 when
// unset) and "WindowMaximized" (only when 1).
std::optional<int> WindowLeft();
int WindowTop();
int WindowWidth();
int WindowHeight();
bool WindowMaximized();
[[nodiscard]] bool SetWindowLeft(int x);
[[nodiscard]] bool SetWindowTop(int y);
[[nodiscard]] bool SetWindowWidth(int width);
[[nodiscard]] bool SetWindowHeight(int height);
[[nodiscard]] bool SetWindowMaximized(bool maximized);

// The view's splitters: "TreeWidth" and "PlayerHeight" in pixels; -1 when unset.
int TreeWidth();
[[nodiscard]] bool SetTreeWidth(int width);
int PlayerHeight();
[[nodiscard]] bool SetPlayerHeight(int height);

// "ListWndColumn1" to "ListWndColumn9": width of a column (0-based `column`)
// of the list of all records; 0 hides it, -1 when unset.
int ListColumnWidth(int column);
[[nodiscard]] bool SetListColumnWidth(int column, int width);

// The player: "PlaySpeed" in tenths (5..20, 10 when unset), "PlaySkip" the
// skip step in seconds (1..60, 5), "PlayRewind" the seconds a resume goes
// back (0..30, 2; 0 off), "PlayVolume" in percent (0..100, 100) and
// "PlayLoudness" the level recordings are played at in LUFS (-40..-5, -23
// when unset; "off" plays them as recorded: nullopt).
int PlaySpeedTenths();
[[nodiscard]] bool SetPlaySpeedTenths(int tenths);
int PlaySkipSeconds();
int PlayRewindSeconds();
[[nodiscard]] bool SetPlayRewindSeconds(int seconds);
int PlayVolume();
[[nodiscard]] bool SetPlayVolume(int percent);
std::optional<int> PlayLoudness();
[[nodiscard]] bool SetPlayLoudness(std::optional<int> lufs);

// Path of the settings file in use.
std::filesystem::path SettingsFilePath();

}  // namespace lk
