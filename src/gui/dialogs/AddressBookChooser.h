#pragma once
// Asks for the address book that fills callers' names: one vCard file, or a
// folder holding one .vcf file per contact (as sync tools keep them).

#include <QString>

class QWidget;

namespace lk::gui {

// The chosen file or folder; empty when the user cancelled.
QString ChooseAddressBook(QWidget* parent, const QString& current);

}  // namespace lk::gui
