// The note and tags beside the player, and the tree's tag pages.

#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTreeWidget>

#include "GuiFixture.h"
#include "notes/CallNotes.h"
#include "pages/CTreePane.h"
#include "widgets/CSortListCtrl.h"
#include "widgets/CallNotePanel.h"
#include "widgets/FindBox.h"

namespace lk::gui::test {
namespace {

class NotesPage : public WindowTest {
  protected:
    void Load() {
        WriteCard(card.path(), {{Incoming, 0, 1}, {Outgoing, 0, 3}, {Incoming, 0, 7}});
        ASSERT_TRUE(StartWithCard());
        ASSERT_EQ(rows(PageAll), 3);
    }
    void Choose(int row) {
        CSortListCtrl* list = pane(PageAll).List();
        list->setCurrentIndex(list->model()->index(row, 0));
    }
    CallNotePanel& panel() { return *view().NotePanel(); }
    QString Note() { return panel().NoteEdit()->toPlainText(); }
    const CallRecord* RecordAt(int row) { return pane(PageAll).List()->RowData(row); }
};

TEST_F(NotesPage, TheSelectedCallsNoteAndTagsAreKept) {
    Load();
    Choose(0);
    ASSERT_TRUE(panel().HasRecord());
    panel().NoteEdit()->setPlainText(QStringLiteral("Rückruf morgen\nPreis 12 €"));
    ASSERT_TRUE(panel().SaveNote());
    ASSERT_TRUE(panel().AddTag(QStringLiteral("order")));
    ASSERT_TRUE(panel().AddTag(QStringLiteral("done")));
    ASSERT_TRUE(panel().RemoveTag(QStringLiteral("done")));

    // A pasted control character is refused and said; the saved note stays.
    QSignalSpy problems(&panel(), &CallNotePanel::Problem);
    panel().NoteEdit()->setPlainText(QStringLiteral("bad\x01"));
    EXPECT_FALSE(panel().SaveNote());
    ASSERT_EQ(problems.count(), 1);
    EXPECT_TRUE(problems.at(0).at(0).toString().contains(QStringLiteral("U+0001")));
    EXPECT_FALSE(panel().AddTag(QStringLiteral("a,b")));

    // Another call shows its own (empty) note; unsaved text there is saved
    // on moving on.
    Choose(1);
    EXPECT_EQ(Note(), QString());
    panel().NoteEdit()->insertPlainText(QStringLiteral("später"));  // as typed
    Choose(2);
    Choose(0);
    EXPECT_EQ(Note(), QStringLiteral("Rückruf morgen\nPreis 12 €"));
    ASSERT_EQ(panel().TagList()->count(), 1);
    EXPECT_EQ(panel().TagList()->item(0)->text(), QStringLiteral("order"));
    CallNotes& notes = view().Notes();
    EXPECT_EQ(notes.Of(*RecordAt(1)).note, "später");
    EXPECT_EQ(notes.TagList(), (std::vector<std::string>{"done", "order"}));
}

TEST_F(NotesPage, ATagPageListsItsCalls) {
    Load();
    const CallRecord* tagged = RecordAt(2);
    Choose(2);
    ASSERT_TRUE(panel().AddTag(QStringLiteral("complaint")));
    ASSERT_EQ(view().Tree()->Tags(), QStringList{QStringLiteral("complaint")});

    QTreeWidget* tree = view().Tree()->Tree();
    QTreeWidgetItem* node = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->text(0).endsWith(QStringLiteral("complaint"))) node = *it;
    ASSERT_NE(node, nullptr);
    tree->setCurrentItem(node);
    EXPECT_EQ(view().CurrentPage(), PageSearch);
    ASSERT_EQ(rows(PageSearch), 1);
    EXPECT_EQ(pane(PageSearch).List()->RowData(0), tagged);

    // The last call losing the tag takes its page away.
    Choose(2);
    view().ShowPage(PageAll);
    Choose(2);
    ASSERT_TRUE(panel().RemoveTag(QStringLiteral("complaint")));
    EXPECT_TRUE(view().Tree()->Tags().isEmpty());
}

TEST_F(NotesPage, TheFindBoxFindsCallsByTheirNoteAndTags) {
    Load();
    Choose(1);
    panel().NoteEdit()->setPlainText(QStringLiteral("Bestellung Müller"));
    ASSERT_TRUE(panel().SaveNote());
    const CallRecord* noted = RecordAt(1);
    view().FindField()->setText(QStringLiteral("muller"));
    ASSERT_EQ(rows(PageAll), 1);
    EXPECT_EQ(pane(PageAll).List()->RowData(0), noted);

    // A tag written while the box filters is found at once, and words of
    // note and tag count together.
    Choose(0);
    view().FindField()->setText(QString());
    Choose(2);
    const CallRecord* tagged = RecordAt(2);
    ASSERT_TRUE(panel().AddTag(QStringLiteral("reklamation")));
    view().FindField()->setText(QStringLiteral("reklam"));
    ASSERT_EQ(rows(PageAll), 1);
    EXPECT_EQ(RecordAt(0), tagged);
    Choose(0);
    ASSERT_TRUE(panel().AddTag(QStringLiteral("order")));
    view().FindField()->setText(QStringLiteral("order reklam"));
    EXPECT_EQ(rows(PageAll), 1);
}

}  // namespace
}  // namespace lk::gui::test
