#pragma once
// Builds menus and toolbars from the command layouts. Menus and buttons that
// carry a language text of their own remember its number, so that
// RetitleMenus() can relabel them after a language change.

#include <functional>
#include <span>

#include "support/CommandTable.h"

class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

namespace lk::gui {

// Adds the layout's commands, separators and submenus to `menu`; rows shown
// only for device family 1 are left out unless `family1`.
void FillMenu(QMenu* menu, std::span<const MenuItem> items, const CommandActions& actions,
              bool family1);
// One popup per top-level submenu of the layout.
void FillMenuBar(QMenuBar* bar, std::span<const MenuItem> items, const CommandActions& actions);
// Buttons for the commands; a submenu becomes a drop-down button that runs its
// command when clicked and opens its menu (rebuilt each time, asking
// `family1`) from the arrow. Every button takes the focus by Tab.
void FillToolbar(QToolBar* bar, std::span<const MenuItem> items, const CommandActions& actions,
                 std::function<bool()> family1);
// Relabels every menu and drop-down button under `root` that has a text of its own.
void RetitleMenus(QWidget* root);

}  // namespace lk::gui
