#pragma once
// What the user did to calls in the window (deleted, exported, mailed),
// logged to the audit trail of the backup path when one is set up. The
// action is done by then: a trail that cannot be written within a few
// seconds (locked by a PC that hangs, a read-only share) does not undo it
// and does not keep the window waiting, but the user is told the action
// went unlogged.

#include <string>
#include <vector>

class QWidget;

namespace lk::gui {

void LogUserAction(QWidget* parent, const std::string& action,
                   const std::vector<std::string>& files, const std::string& detail,
                   int family = -1);

}  // namespace lk::gui
