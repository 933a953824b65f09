#pragma once
// A settings write that did not reach the file is said on screen, so that a
// choice of the user's never silently counts as kept.

class QWidget;

namespace lk::gui {

// Shows a warning naming the settings file when `written` is false; gives
// `written` back for the caller to go on with.
bool ReportSettingsWrite(bool written, QWidget* parent);

}  // namespace lk::gui
