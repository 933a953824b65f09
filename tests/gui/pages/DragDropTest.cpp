// Calls dragged out of a list arrive as files; recordings dropped on the
// window join the imported list.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <set>

#include "GuiFixture.h"
#include "card/RecorderState.h"
#include "dialogs/RowDrag.h"
#include "export/RecordingWriter.h"
#include "playback/XtrFormat.h"
#include "widgets/CSortListCtrl.h"

namespace lk::gui::test {
namespace {

namespace fs = std::filesystem;

QString Q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

std::vector<std::int16_t> Tone(std::size_t n) {
    std::vector<std::int16_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::int16_t>(((i / 25) % 2 ? 1 : -1) * 5000);
    return v;
}

class ShareWindow : public WindowTest {
  protected:
    // Sends a drop of `paths` from another program onto the view.
    void Drop(const std::vector<fs::path>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& p : paths)
            urls << QUrl::fromLocalFile(Q(p));
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&view(), &drop);
        ASSERT_TRUE(drop.isAccepted());
    }
    lk::test::TempDir drops;
};

TEST_F(ShareWindow, DroppedRecordingsAreImportedAndDraggedOutAsFiles) {
    WriteCard(card.path(), {CardCall{}});
    ASSERT_TRUE(StartWithCard());
    const auto a = drops / "20160102102000-I-5550100.xtr";
    const auto b = drops / "20160103111500-O-5550142.xtr";
    lk::test::WriteFile(a, BuildXtrRecording(kFormatGsm, Tone(8000)));
    lk::test::WriteFile(b, BuildXtrRecording(kFormatGsm, Tone(8000)));
    lk::test::WriteText(drops / "notes.txt", "not a recording");
    Drop({a, b, drops / "notes.txt"});
    ASSERT_TRUE(WaitFor([&] { return rows(PageFolder) == 2; }));
    EXPECT_EQ(rows(PageFolder), 2);

    // Both rows dragged out: WAV copies that exist, in a scratch folder.
    CSortListCtrl* list = pane(PageFolder).List();
    list->SelectRow(0);
    list->SelectRow(1, true);
    std::unique_ptr<QMimeData> data(list->SelectedRowsDragData());
    ASSERT_TRUE(data);
    ASSERT_TRUE(data->hasFormat(QStringLiteral("text/uri-list")));
    const auto urls = data->urls();
    ASSERT_EQ(urls.size(), 2);
    for (const QUrl& url : urls) {
        const fs::path copy = url.toLocalFile().toStdString();
        EXPECT_TRUE(fs::is_regular_file(copy)) << copy;
        EXPECT_EQ(copy.extension(), ".wav");
        EXPECT_NE(copy.parent_path(), drops.path());
        EXPECT_EQ(lk::test::ReadFile(copy).size() > 44, true);
    }

    // As recorded: the recordings themselves; the copies of the drag before are gone.
    std::vector<CallRecord> records;
    for (const auto& r : app().State().records.Folder())
        records.push_back(*r);
    RowDrag drag(nullptr, drops / "scratch");
    const auto copies = drag.Files(records, false);
    ASSERT_EQ(copies.size(), 2);
    const auto recorded = drag.Files(records, true);
    std::set<fs::path> names;
    for (const QUrl& url : recorded)
        names.insert(url.toLocalFile().toStdString());
    EXPECT_EQ(names, (std::set<fs::path>{a, b}));
    for (const QUrl& url : copies)
        EXPECT_FALSE(fs::exists(url.toLocalFile().toStdString()));
}

TEST_F(ShareWindow, TextAndOurOwnRowsAreNotDropped) {
    WriteCard(card.path(), {CardCall{}});
    ASSERT_TRUE(StartWithCard());
    QMimeData text;
    text.setText(QStringLiteral("/etc/passwd"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/a.xtr"))});
    QDragEnterEvent enterWeb(QPoint(5, 5), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&view(), &enterWeb);
    EXPECT_FALSE(enterWeb.isAccepted());
}

}  // namespace
}  // namespace lk::gui::test
