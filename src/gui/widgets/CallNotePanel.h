#pragma once
// The note and tags of the call selected in the list, beside the player.
// The note is written when the user saves it or moves to another call; tags
// are picked from the list the user has grown (typing a new one adds it).

#include <QWidget>
#include <functional>
#include <optional>

#include "card/CallRecord.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace lk {
class CallNotes;
}

namespace lk::gui {

class CallNotePanel : public QWidget {
    Q_OBJECT
  public:
    // `notes` gives the database of the records shown (it may change with
    // the store); it outlives the panel.
    using NotesSource = std::function<CallNotes&()>;
    CallNotePanel(NotesSource notes, QWidget* parent);

    // The call to show; nullptr clears the panel. Unsaved text of the call
    // shown before is saved first.
    void ShowRecord(const CallRecord* record);
    // Writes the note now; false (and a message) when it could not be.
    bool SaveNote();
    bool AddTag(const QString& tag);
    bool RemoveTag(const QString& tag);

    QPlainTextEdit* NoteEdit() const { return note_; }
    QComboBox* TagBox() const { return tagBox_; }
    QListWidget* TagList() const { return tags_; }
    bool HasRecord() const { return record_.has_value(); }

  signals:
    // The tags in use may have changed: the tree's tag pages follow.
    void TagsChanged();
    // A note or tag of a call was written: what the find box matches changed.
    void NotesChanged();
    // Why a note or tag was not written (for the status bar).
    void Problem(const QString& text);

  private:
    void Reload();
    void ReloadTags();
    void Enable(bool on);

    NotesSource notes_;
    std::optional<CallRecord> record_;
    QLabel* title_;
    QPlainTextEdit* note_;
    QPushButton* save_;
    QListWidget* tags_;
    QComboBox* tagBox_;
    QPushButton* addTag_;
    QPushButton* removeTag_;
    bool loading_ = false;
};

}  // namespace lk::gui
