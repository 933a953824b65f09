#pragma once
// The numbered icon strips shared by the list panes, the tree and the
// toolbars. Indexes are fixed: rows, tree nodes and buttons name icons by them.

#include <QIcon>
#include <QVector>

namespace lk::gui {

// Strip 131 (indexes 0-11) then strip 147 (12-24): list rows.
const QVector<QIcon>& ListIcons();
// Strip 131 (0-11), the device icon 150 (12), strip 147 (13-25): the tree.
const QVector<QIcon>& TreeIcons();
// Strip 147 (0-12), then the import icon 162 (13), the clear icon 161 (14)
// and the eject icon (15).
const QVector<QIcon>& ToolbarIcons();
QIcon ProgramIcon();

// Row icon numbers.
enum ListIcon : int {
    IconIncoming = 0,
    IconOutgoing = 1,
    IconMicrophone = 2,
    IconRecording = 9,
    IconHeadset = 10,
    IconMarked = 14,
    IconMissed = 21,
};

}  // namespace lk::gui
