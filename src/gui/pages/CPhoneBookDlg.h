#pragma once
// The card's phone book (view page 11 for the family with a phone book): the
// contacts of PhoneBook.dat listed, added, changed and deleted, each change
// written to the card at once.

#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>

#include "phonebook/PhoneBookFile.h"

class QGroupBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace lk::gui {

class CPhoneBookDlg : public QWidget {
    Q_OBJECT
  public:
    // Runs the contact window for a new contact (no source) or a change; the
    // record on OK, nothing on Cancel. Tests put their own in.
    using ContactEditor = std::function<std::optional<ContactRecord>(
        QWidget* parent, const std::optional<ContactRecord>& source, const std::string& codePage)>;

    explicit CPhoneBookDlg(QWidget* parent);

    void LoadFile(const std::filesystem::path& file);
    void Enable(bool on);
    void Clear();

    void OnAdd();
    void OnChange();
    void OnDelete();

    void SetContactEditor(ContactEditor editor) { editor_ = std::move(editor); }
    QTreeWidget* List() const { return list_; }
    QPushButton* Button(int id) const;
    const std::filesystem::path& File() const { return file_; }

    // Row value: file position in the low 16 bits, recording type in bits 16-23.
    static quint32 RowValue(int position, int type);

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    void SetRow(QTreeWidgetItem* item, const ContactRecord& record, int position);
    ContactRecord RecordOfRow(const QTreeWidgetItem* item) const;
    std::string CodePage() const;

    std::filesystem::path file_;
    QGroupBox* group_;
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* delete_;
    QTreeWidget* list_;
    ContactEditor editor_;
};

}  // namespace lk::gui
