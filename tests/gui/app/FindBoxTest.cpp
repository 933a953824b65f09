// The toolbar's find box on a loaded card: it narrows the page shown, the
// status bar counts "n of m", Escape shows all rows again, another page is
// narrowed by the same words, and commands on a found row act on its record.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "GuiFixture.h"
#include "card/CallLog.h"
#include "support/Commands.h"
#include "widgets/CSortListCtrl.h"
#include "widgets/FindBox.h"

namespace lk::gui::test {
namespace {

// Oldest first; page 1 lists them newest first.
const std::vector<CardCall> kCalls = {
    {Incoming, 0, 1, 10, u"5551234"}, {Missed, 0, 2, 10, u"5559876"},
    {Outgoing, 0, 3, 10, u"0301234"}, {Incoming, 0, 4, 10, u"5550000"},
    {Missed, 1, 5, 10, u"777"},
};

class FindBoxTest : public WindowTest {
  protected:
    void Show() {
        WriteCard(card.path(), kCalls);
        ASSERT_TRUE(StartWithCard());
        frame().show();
        QApplication::setActiveWindow(&frame());
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame()));
    }
    FindBox* box() { return view().FindField(); }
    CSortListCtrl* list(int page) { return pane(page).List(); }
    QString Number(int page, int row) {
        const CallRecord* r = list(page)->RowData(row);
        return r ? QString::fromStdU16String(FieldText(r->number)) : QString();
    }
    QString Status() { return frame().StatusText(3); }
};

TEST_F(FindBoxTest, NarrowsThePageShownCountsAndEscapeShowsAllAgain) {
    Show();
    view().ShowPage(PageAll);
    QTest::keyClick(list(PageAll), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), box());

    struct Step {
        const char* typed;  // added to the box
        int page;           // shown before typing
        int rows;
        QString status;
    };
    const Step steps[] = {
        {"5", PageAll, 3, ":  3 of 5"},
        {"5", PageAll, 3, ":  3 of 5"},  // "55"
        {" 1234", PageAll, 1, ":  1 of 5"},
        {"", PageMissed, 0, ":  0 of 2"},  // the same words on another page
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(s.typed) + " on page " + std::to_string(s.page));
        if (view().CurrentPage() != s.page) view().ShowPage(s.page);
        QTest::keyClicks(box(), QString::fromLatin1(s.typed));
        EXPECT_EQ(list(s.page)->RowCount(), s.rows);
        EXPECT_TRUE(Status().endsWith(s.status)) << Status().toStdString();
    }
    // The page left shows all its rows again; nothing found says why.
    EXPECT_FALSE(list(PageAll)->Filtered());
    EXPECT_EQ(list(PageAll)->RowCount(), 5);
    EXPECT_TRUE(list(PageMissed)->PlaceholderText().contains("55 1234"));

    view().ShowPage(PageAll);
    EXPECT_EQ(list(PageAll)->RowCount(), 1);
    EXPECT_EQ(Number(PageAll, 0), "5551234");
    box()->setFocus();
    QTest::keyClick(box(), Qt::Key_Escape);
    EXPECT_TRUE(box()->text().isEmpty());
    EXPECT_EQ(list(PageAll)->RowCount(), 5);
    EXPECT_EQ(QApplication::focusWidget(), list(PageAll));
    EXPECT_TRUE(Status().endsWith(":  5")) << Status().toStdString();
}

TEST_F(FindBoxTest, CommandsOnAFoundRowActOnItsRecord) {
    Show();
    view().ShowPage(PageIncoming);
    box()->setText("5550000");
    ASSERT_EQ(list(PageIncoming)->RowCount(), 1);
    CallRecord* found = list(PageIncoming)->RowData(0);
    ASSERT_EQ(Number(PageIncoming, 0), "5550000");

    // Mark: the found record takes it, in the card log and on the marked page.
    list(PageIncoming)->SelectRow(0);
    view().OnCommand(CmdMark);
    EXPECT_EQ(found->marked, 1);
    const auto log = lk::test::ReadFile(card.path() / kCallLogFileName);
    EXPECT_EQ(log[static_cast<std::size_t>(found->index) * 128 + 3], 1);
    EXPECT_NE(list(PageMarked)->FindRow(found), -1);
    for (int r = 0; r < list(PageAll)->RowCount(); ++r)
        EXPECT_EQ(list(PageAll)->RowData(r)->marked == 1,
                  list(PageAll)->RowData(r) == found || Number(PageAll, r) == "777");

    // Delete (marked rows are kept): unmark first, then delete it.
    view().OnCommand(CmdMark);
    ASSERT_EQ(found->marked, 0);
    list(PageIncoming)->SelectRow(0);
    view().OnCommand(CmdDelete);
    EXPECT_EQ(list(PageIncoming)->RowCount(), 0);
    EXPECT_EQ(list(PageIncoming)->TotalRowCount(), 3);
    box()->clear();
    ASSERT_EQ(list(PageIncoming)->RowCount(), 3);
    for (int r = 0; r < 3; ++r)
        EXPECT_NE(Number(PageIncoming, r), "5550000");
}

}  // namespace
}  // namespace lk::gui::test
