// The status texts, the web address rule, the single-instance lock, the
// about box and the scroll container.

#include <gtest/gtest.h>

#include <QSizeGrip>

#include <QDialogButtonBox>
#include <QPushButton>

#include "GuiFixture.h"
#include "app/CMainFrame.h"
#include "app/Settings.h"
#include "app/SingleInstance.h"
#include "dialogs/CAboutDlg.h"
#include "pages/WebAddress.h"
#include "platform/TextCodec.h"
#include "records/RecordRow.h"
#include "support/DiskSpaceText.h"
#include "support/GuiText.h"
#include "support/Icons.h"
#include "widgets/CScrollDlg.h"

namespace lk::gui::test {
namespace {

TEST(DiskSpace, FreeSpaceAndRecordingHours) {
    struct Case {
        std::optional<std::uint64_t> bytes;
        int devType;
        const char* amount;
        const char* unit;
        const char* hours;
    };
    const Case cases[] = {
        {512ull << 20, 0, "512.00", "MB", "36.57"},
        {512ull << 20, 1, "512.00", "MB", "91.02"},
        {2048ull << 20, 0, "2.00", "GB", "146.29"},
        {(3ull << 40) + 5, 0, "3.00", "TB", "224694.86"},
        {std::nullopt, 0, "0.00", "MB", "0.00"},
        {(1ull << 20) - 1, 0, "0.00", "MB", "0.00"},  // whole megabytes only
    };
    for (const Case& c : cases) {
        const DiskSpace d = ComputeDiskSpace(c.bytes, c.devType);
        EXPECT_EQ(QString::asprintf("%.2f", d.amount), c.amount);
        EXPECT_STREQ(d.unit, c.unit);
        EXPECT_EQ(QString::asprintf("%.2f", d.hours), c.hours);
    }
}

class StatusTexts : public WindowTest {};

TEST_F(StatusTexts, CategoryAndSpaceTexts) {
    WriteLang({{2, "All"},
               {25, "Messages"},
               {6, "Settings"},
               {142, "Space"},
               {144, "PC"},
               {146, "free"},
               {147, "time"},
               {148, "h"},
               {172, "rebuilding"}});
    Start();
    frame().SetCategoryStatus(PageAll, 12);
    EXPECT_EQ(frame().StatusText(3), "All:  12");
    frame().SetCategoryStatus(PageMessages, 3);
    EXPECT_EQ(frame().StatusText(3), "Messages:  3");
    frame().SetCategoryStatus(PageTriggered, 3);
    EXPECT_EQ(frame().StatusText(3), "");
    frame().SetCategoryStatus(PageDevice, 0);
    EXPECT_EQ(frame().StatusText(3), "Settings");
    frame().SetDriveStatus('E', true);
    EXPECT_EQ(frame().StatusText(2), "E: rebuilding");
    frame().SetDriveStatus('E', false);
    EXPECT_EQ(frame().StatusText(2), "");
    frame().UpdateDiskSpaceStatus();
    EXPECT_TRUE(frame().StatusText(4).startsWith("Space: PC(free: "))
        << frame().StatusText(4).toStdString();
    EXPECT_TRUE(frame().StatusText(4).contains(", time: "));
    frame().OnDeviceNotify(0, 1);
    EXPECT_EQ(frame().StatusText(1), Lang(90));
}

TEST(RecordRows, CellsOfARecord) {
    lk::test::TempDir dir;
    const auto wav = dir / "r.wav";
    const auto tmp = dir / "r.tmp.wav";
    lk::test::WriteFile(wav, std::vector<std::uint8_t>(20, 1));  // too short to give a length
    lk::test::WriteFile(tmp, std::vector<std::uint8_t>(20, 1));
    RowLabels labels;
    labels.typeNames[Incoming] = "In";
    labels.typeNames[Note] = "Memo";
    const std::atomic<int> family{0};
    const RecordCells cells(family, labels, QLocale::c());
    struct Case {
        int type;
        const char* number;
        std::filesystem::path file;
        const char* numberCell;
        int recordingIcon;
        int typeIcon;
    };
    const Case cases[] = {
        {Incoming, "555", wav, "555 ", IconRecording, IconIncoming},  // no name: number and a blank
        {Note, "555", wav, "", IconRecording, IconMicrophone},        // notes show no number
        {Incoming, "555", tmp, "555 ", -1, IconIncoming},             // a placeholder copy
        {Incoming, "555", dir / "gone.wav", "555 ", -1, IconIncoming},
        {42, "555", wav, "555 ", IconRecording, -1},
    };
    for (const Case& c : cases) {
        CallRecord r;
        r.type = c.type;
        r.recordSeconds = 3725;
        r.callSeconds = 59;
        r.time = SystemTime{2016, 1, 0, 5, 10, 30, 0, 0};
        SetFieldText(r.number, FromUtf8(c.number));
        SetFieldText(r.filePath, FromUtf8(c.file.string()));
        ListRow row;
        row.data = &r;
        EXPECT_EQ(cells.Text(row, ColNumber), c.numberCell) << c.type;
        EXPECT_EQ(cells.Image(row, ColRecording), c.recordingIcon) << c.file;
        EXPECT_EQ(cells.Image(row, ColType), c.typeIcon) << c.type;
        EXPECT_EQ(cells.Text(row, ColCallLength), "00:00:59");
        EXPECT_EQ(cells.Text(row, ColRecordLength), "01:02:05");  // the stored length
        EXPECT_EQ(cells.Text(row, ColPath), QString::fromStdString(c.file.string()));
    }
}

TEST(RecordRows, FamilyOneRemarkFromTheCardBytes) {
    CallRecord r;
    const char tag[] = "RM:Call back";
    for (std::size_t i = 0; i + 1 < sizeof tag; ++i)
        r.cardBytes[5 + i] = static_cast<std::uint8_t>(tag[i]);
    EXPECT_EQ(RemarkText(r, "CP1252"), "Call back");
    r.cardBytes[5] = 'X';
    EXPECT_EQ(RemarkText(r, "CP1252"), "");  // no tag and no recording
}

TEST(WebAddress, TakesTheTextFromHttp) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://example.com/", "http://example.com/"},
        {"Visit us: http://example.com/x", "http://example.com/x"},
        {"https://example.com/", ""},
        {"www.example.com", ""},
        {"HTTP://EXAMPLE.COM", ""},
        {"", ""},
    };
    for (auto [in, out] : cases)
        EXPECT_EQ(WebAddressOf(in), QString(out)) << in;
}

TEST(StartOptions, CardFoldersAndPage) {
    const StartOptions o =
        ParseStartOptions({"linekeeper", "--card", "/a", "--card=/b", "--page", "3", "--card"});
    ASSERT_EQ(o.cardRoots.size(), 2u);
    EXPECT_EQ(o.cardRoots[0], "/a");
    EXPECT_EQ(o.cardRoots[1], "/b");
    EXPECT_EQ(o.page, 3);
}

TEST(SingleInstanceLock, ASecondHolderIsRefused) {
    lk::test::TempHome home;
    SingleInstance first, second;
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(
        SingleInstance::LockPath().startsWith(QString::fromStdString(home.path().string())));
    EXPECT_TRUE(SingleInstance::LockPath().contains("QORVAL Line Keeper Lite Mutex"));
    EXPECT_FALSE(second.Acquire());
    first.Release();
    EXPECT_TRUE(second.Acquire());
}

class AboutBox : public WindowTest {};

TEST_F(AboutBox, ShowsTheSettingsLinesAndTheVersion) {
    EXPECT_TRUE(WriteSettingString("Software", "LineKeeper Lite"));
    EXPECT_TRUE(WriteSettingString("Tel", "Tel: 1\\n2"));
    WriteLang({{85, "About"}});
    CAboutDlg dlg(nullptr);
    EXPECT_EQ(dlg.windowTitle(), "About");
    const QStringList lines = dlg.Lines();
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0], "LineKeeper Lite");
    EXPECT_TRUE(lines.contains("Tel: 1\n2"));
    EXPECT_TRUE(lines.contains("1.0.0.22 20160616"));
    // Contacts left empty leave no blank line.
    for (const QString& l : lines)
        EXPECT_FALSE(l.trimmed().isEmpty());
    EXPECT_FALSE(dlg.HasLogo());
    // An OK button closes it.
    auto* ok = dlg.findChild<QDialogButtonBox*>("aboutButtons")->button(QDialogButtonBox::Ok);
    ASSERT_NE(ok, nullptr);
    dlg.show();
    ok->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(ScrollContainer, StepsFollowTheDesignSize) {
    CScrollDlg dlg;
    dlg.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    dlg.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    dlg.resize(400, 300);
    dlg.show();
    auto* page = new QWidget;
    page->resize(400, 300);
    dlg.SetPage(page);
    EXPECT_EQ(dlg.HorizontalSteps(), 1);  // as large as its design: still one step
    dlg.resize(300, 300);
    EXPECT_EQ(dlg.HorizontalSteps(), 4);  // 100 pixels narrower: 100/32 + 1
    dlg.ScrollBySteps(9, 0);
    EXPECT_EQ(dlg.HorizontalPos(), 4);
    EXPECT_EQ(page->x(), -128);
    dlg.resize(431, 300);
    EXPECT_EQ(dlg.HorizontalPos(), 0);  // back at the origin after a resize
    EXPECT_EQ(dlg.HorizontalSteps(), 1);
    dlg.resize(432, 332);
    EXPECT_EQ(dlg.HorizontalSteps(), 0);
    EXPECT_EQ(dlg.VerticalSteps(), 0);
    EXPECT_TRUE(dlg.GripVisible());
}

}  // namespace
}  // namespace lk::gui::test
