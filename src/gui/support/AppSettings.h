#pragma once
// The settings the window's commands act on. Read from the settings file
// where a command or a card-watch step starts (Refresh) and handed from there
// to the dialogs, the session and the engines, so that one command works with
// one value throughout and nothing below it reads the file again.

#include <filesystem>
#include <string>

namespace lk::gui {

class AppSettings {
  public:
    // Reads the settings file again: a command starts, or a setting changed.
    void Refresh();

    // "BackupPath": the backup store's root; empty when none is chosen.
    const std::filesystem::path& BackupPath() const { return backupPath_; }
    // "CodePage": the card's text code page.
    const std::string& CodePage() const { return codePage_; }

  private:
    std::filesystem::path backupPath_;
    std::string codePage_;
};

}  // namespace lk::gui
