#pragma once
// Shows a file in the desktop's file manager with the file selected, or a
// folder opened, for "Open Containing Folder".

#include <QString>

namespace lk::gui {

// The file manager's ShowItems over the session bus selects the file; where
// none answers, the folder holding it is opened with the desktop's program
// for folders. False when neither worked.
bool ShowInFolder(const QString& path);

}  // namespace lk::gui
