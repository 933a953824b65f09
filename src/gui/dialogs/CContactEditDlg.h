#pragma once
// Adds or changes one contact of the card's phone book: a name, three
// numbers and how the recorder treats calls of this contact.

#include <QDialog>
#include <optional>

#include "phonebook/PhoneBookFile.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lk::gui {

// A name as the recorder can show it, in ASCII: ä ö ü become ae oe ue (Ä Ö Ü:
// Ae Oe Ue), ß becomes ss, æ and œ ae and oe, other accented letters lose
// their accent (é: e, ø: o, ł: l), and what has no ASCII letter is left out.
QString AsciiName(const QString& text);

class CContactEditDlg : public QDialog {
    Q_OBJECT
  public:
    // `source`: the contact to change; nothing for a new contact.
    CContactEditDlg(std::optional<ContactRecord> source, std::string codePage, QWidget* parent);

    // The record built on OK (from zeros, in use, texts cut to their fields).
    const ContactRecord& Result() const { return result_; }

    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* NumberEdit(int i) const { return numbers_[static_cast<std::size_t>(i)]; }
    QComboBox* TypeList() const { return type_; }
    QPushButton* OkButton() const { return ok_; }
    QLabel* NameNote() const { return nameNote_; }

    void accept() override;

  private:
    void OnNameChanged(const QString& text);

    std::optional<ContactRecord> source_;
    std::string codePage_;
    ContactRecord result_;
    QLineEdit* name_;
    std::array<QLineEdit*, ContactRecord::kNumberCount> numbers_{};
    QComboBox* type_;
    QPushButton* ok_;
    QLabel* nameNote_ = nullptr;
};

}  // namespace lk::gui
