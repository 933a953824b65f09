#include "widgets/CallNotePanel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "notes/CallNotes.h"
#include "platform/TextCodec.h"
#include "support/GuiText.h"

namespace lk::gui {

namespace {
constexpr int kNoteText = 800;
constexpr int kTagsText = 801;
constexpr int kSaveText = 802;
constexpr int kAddTagText = 803;
constexpr int kRemoveTagText = 804;
constexpr int kNoCallText = 805;
}  // namespace

CallNotePanel::CallNotePanel(NotesSource notes, QWidget* parent)
    : QWidget(parent),
      notes_(std::move(notes)),
      title_(new QLabel(this)),
      note_(new QPlainTextEdit(this)),
      save_(new QPushButton(MenuText(kSaveText), this)),
      tags_(new QListWidget(this)),
      tagBox_(new QComboBox(this)),
      addTag_(new QPushButton(MenuText(kAddTagText), this)),
      removeTag_(new QPushButton(MenuText(kRemoveTagText), this)) {
    setObjectName(QStringLiteral("callNotePanel"));
    note_->setObjectName(QStringLiteral("noteEdit"));
    note_->setAccessibleName(Lang(kNoteText));
    note_->setTabChangesFocus(true);
    tags_->setAccessibleName(Lang(kTagsText));
    tags_->setMaximumHeight(70);
    // Small enough that the panel never takes room from the player or the
    // list in a small window: two lines of note, one of tags at least.
    const int line = fontMetrics().lineSpacing();
    note_->setMinimumHeight(2 * line + 8);
    tags_->setMinimumHeight(line + 6);
    tagBox_->setEditable(true);
    tagBox_->setInsertPolicy(QComboBox::NoInsert);
    tagBox_->setAccessibleName(Lang(kAddTagText));
    title_->setText(Lang(kNoCallText));
    // A long recording name is cut rather than widening the panel.
    title_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    title_->setMinimumWidth(0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(3);
    auto* head = new QHBoxLayout;
    head->addWidget(new QLabel(Lang(kNoteText), this));
    head->addWidget(title_, 1);
    head->addWidget(save_);
    layout->addLayout(head);
    layout->addWidget(note_, 1);
    auto* tagRow = new QHBoxLayout;
    tagRow->addWidget(new QLabel(Lang(kTagsText), this));
    tagRow->addWidget(tagBox_, 1);
    tagRow->addWidget(addTag_);
    layout->addLayout(tagRow);
    // Remove sits beside the tags it removes, so that the panel stays narrow
    // enough to leave the player its buttons' words in a small window.
    auto* tagList = new QHBoxLayout;
    tagList->addWidget(tags_, 1);
    tagList->addWidget(removeTag_, 0, Qt::AlignTop);
    layout->addLayout(tagList);

    connect(note_, &QPlainTextEdit::modificationChanged, save_, &QPushButton::setEnabled);
    connect(save_, &QPushButton::clicked, this, [this] { SaveNote(); });
    connect(addTag_, &QPushButton::clicked, this, [this] { AddTag(tagBox_->currentText()); });
    connect(tagBox_->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { AddTag(tagBox_->currentText()); });
    connect(removeTag_, &QPushButton::clicked, this, [this] {
        if (const QListWidgetItem* item = tags_->currentItem()) RemoveTag(item->text());
    });
    Enable(false);
}

void CallNotePanel::Enable(bool on) {
    note_->setEnabled(on);
    tags_->setEnabled(on);
    tagBox_->setEnabled(on);
    addTag_->setEnabled(on);
    removeTag_->setEnabled(on);
    save_->setEnabled(on && note_->document()->isModified());
}

void CallNotePanel::ShowRecord(const CallRecord* record) {
    if (record_ && note_->document()->isModified()) SaveNote();
    if (record) {
        record_ = *record;
    } else {
        record_.reset();
    }
    Reload();
}

void CallNotePanel::Reload() {
    loading_ = true;
    note_->clear();
    tags_->clear();
    CallNotes& notes = notes_();
    const QString typed = tagBox_->currentText();
    tagBox_->clear();
    for (const auto& t : notes.TagList())
        tagBox_->addItem(QString::fromStdString(t));
    tagBox_->setEditText(typed);
    if (!record_) {
        title_->setText(Lang(kNoCallText));
        Enable(false);
        loading_ = false;
        return;
    }
    const std::u16string path = FieldText(record_->filePath);
    const auto slash = path.find_last_of(u"/\\");
    title_->setText(
        QString::fromStdU16String(slash == std::u16string::npos ? path : path.substr(slash + 1)));
    const CallAnnotation a = notes.Of(*record_);
    note_->setPlainText(QString::fromStdString(a.note.value_or("")));
    note_->document()->setModified(false);
    for (const auto& t : a.tags)
        tags_->addItem(QString::fromStdString(t));
    Enable(notes.Usable());
    if (!notes.Usable()) title_->setText(QString::fromStdString(notes.Problem()));
    loading_ = false;
}

bool CallNotePanel::SaveNote() {
    if (!record_) return false;
    const NotesWrite written = notes_().SetNote(*record_, note_->toPlainText().toStdString());
    if (!written.ok) {
        emit Problem(QString::fromStdString(written.message));
        return false;
    }
    note_->document()->setModified(false);
    emit NotesChanged();
    return true;
}

void CallNotePanel::ReloadTags() {
    // A tag added or removed keeps the note being typed.
    const bool modified = note_->document()->isModified();
    const QString text = note_->toPlainText();
    Reload();
    if (modified) {
        note_->setPlainText(text);
        note_->document()->setModified(true);
    }
}

bool CallNotePanel::AddTag(const QString& tag) {
    if (!record_ || tag.trimmed().isEmpty()) return false;
    const NotesWrite written = notes_().AddTag(*record_, tag.toStdString());
    if (!written.ok) {
        emit Problem(QString::fromStdString(written.message));
        return false;
    }
    ReloadTags();
    tagBox_->setEditText({});
    emit TagsChanged();
    emit NotesChanged();
    return true;
}

bool CallNotePanel::RemoveTag(const QString& tag) {
    if (!record_) return false;
    const NotesWrite written = notes_().RemoveTag(*record_, tag.toStdString());
    if (!written.ok) {
        emit Problem(QString::fromStdString(written.message));
        return false;
    }
    ReloadTags();
    emit TagsChanged();
    emit NotesChanged();
    return true;
}

}  // namespace lk::gui
