#include "support/AppSettings.h"

#include "app/Settings.h"

namespace lk::gui {

void AppSettings::Refresh() {
    backupPath_ = lk::BackupPath();
    codePage_ = CardCodePage();
}

}  // namespace lk::gui
