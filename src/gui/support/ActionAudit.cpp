#include "support/ActionAudit.h"

#include "app/Settings.h"
#include "backup/AuditTrail.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"

namespace lk::gui {

void LogUserAction(QWidget* parent, const std::string& action,
                   const std::vector<std::string>& files, const std::string& detail, int family) {
    const AuditWrite written = AuditUserAction(BackupPath(), action, files, detail, family);
    if (written.ok) return;
    ShowMessage(parent,
                QStringLiteral("%1\n%2").arg(Lang(848), QString::fromStdString(written.error)),
                Lang(461), QMessageBox::Warning);
}

}  // namespace lk::gui
