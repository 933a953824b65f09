// The audio export window: the preview follows the template, a template that
// would leave the folder cannot start, and an export ends in a summary.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <filesystem>

#include "app/Settings.h"
#include "dialogs/CExportAudioDlg.h"
#include "export/RecordingWriter.h"
#include "playback/XtrFormat.h"
#include "support/TempDir.h"

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

// Three calls of 2024-03-07 10:20 from two numbers; the second recording is damaged.
std::vector<ExportItem> Calls(const fs::path& dir) {
    std::vector<ExportItem> items;
    const char* numbers[] = {"5550100", "5550100", "5550142"};
    for (int i = 0; i < 3; ++i) {
        const auto file = dir / ("call" + std::to_string(i) + ".xtr");
        if (i == 1)
            lk::test::WriteFile(file, {1, 2, 3});
        else
            lk::test::WriteFile(file, BuildXtrRecording(kFormatGsm, Tone(8000)));
        NameFields f;
        f.year = 2024;
        f.month = 3;
        f.day = 7;
        f.hour = 10;
        f.minute = 20;
        f.type = i == 2 ? "Outgoing" : "Incoming";
        f.number = numbers[i];
        f.file = file.stem().string();
        items.push_back({file, f});
    }
    return items;
}

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

class ExportAudioWindow : public ::testing::Test {
  protected:
    lk::test::TempHome home;
    lk::test::TempDir dir;
};

TEST_F(ExportAudioWindow, PreviewFollowsTheTemplateAndRefusesEscapes) {
    const auto calls = Calls(dir.path());
    CExportAudioDlg dlg({calls[0]}, calls, {}, {}, nullptr);
    dlg.SetFolder(Q(dir / "out"));
    dlg.SetWholePage(true);
    dlg.SetFormat(AudioFormat::Opus);
    dlg.SetTemplate(QStringLiteral("{year}/{month}/{type} {number}"));
    EXPECT_EQ(dlg.PreviewText(), QStringLiteral("2024/03/Incoming 5550100.opus\n"
                                                "2024/03/Incoming 5550100 (2).opus\n"
                                                "2024/03/Outgoing 5550142.opus"));
    EXPECT_TRUE(dlg.CanStart());
    dlg.SetWholePage(false);
    EXPECT_EQ(dlg.PreviewText(), QStringLiteral("2024/03/Incoming 5550100.opus"));
    for (const char* bad : {"../{file}", "/etc/{file}", "{nothing}"}) {
        dlg.SetTemplate(QString::fromLatin1(bad));
        EXPECT_FALSE(dlg.CanStart()) << bad;
        EXPECT_FALSE(dlg.PreviewText().isEmpty()) << bad;  // the reason
    }
}

TEST_F(ExportAudioWindow, ExportEndsInASummaryAndKeepsTheChoices) {
    const auto calls = Calls(dir.path());
    CExportAudioDlg dlg({}, calls, {QStringLiteral("gone.xtr: the file is missing")}, {}, nullptr);
    dlg.SetFolder(Q(dir / "out"));
    dlg.SetFormat(AudioFormat::Mp3);
    dlg.SetTemplate(QStringLiteral("{number}"));
    QSignalSpy finished(&dlg, &CExportAudioDlg::ExportFinished);
    dlg.OnExport();
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    EXPECT_EQ(dlg.Result().Count(ExportStatus::Written), 2u);
    EXPECT_TRUE(fs::is_regular_file(dir / "out" / "5550100.mp3"));
    EXPECT_TRUE(fs::is_regular_file(dir / "out" / "5550142.mp3"));
    EXPECT_FALSE(fs::exists(dir / "out" / "5550100 (2).mp3"));  // the damaged one
    const QString summary = dlg.SummaryText();
    EXPECT_TRUE(summary.contains(QStringLiteral("Written: 2"))) << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("Not exported: 2"))) << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("call1.xtr"))) << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("gone.xtr"))) << summary.toStdString();
    EXPECT_EQ(ExportFormat(), "mp3");
    EXPECT_EQ(ExportTemplate(), "{number}");

    // Again with "skip": the existing files stay, nothing is written.
    const auto before = fs::last_write_time(dir / "out" / "5550100.mp3");
    dlg.SetKeepBoth(false);
    dlg.OnExport();
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 2; }));
    EXPECT_EQ(dlg.Result().Count(ExportStatus::Skipped), 2u);
    EXPECT_EQ(fs::last_write_time(dir / "out" / "5550100.mp3"), before);
}

// A picture of the window with its preview, for a look: written when
// LK_SHOT_DIR names a folder, else skipped.
TEST_F(ExportAudioWindow, Picture) {
    const char* shots = std::getenv("LK_SHOT_DIR");
    if (!shots || !*shots) GTEST_SKIP() << "LK_SHOT_DIR not set";
    auto calls = Calls(dir.path());
    calls[0].fields.name = "Anna Berg";
    for (int i = 0; i < 9; ++i)
        calls.push_back(calls[2]);
    CExportAudioDlg dlg({calls[0], calls[1]}, calls, {}, {}, nullptr);
    dlg.SetFolder(QStringLiteral("/home/anna/Calls"));
    dlg.SetWholePage(true);
    dlg.SetFormat(AudioFormat::Opus);
    dlg.SetTemplate(QStringLiteral("{year}/{month}/{date} {time} {type} {number} {name}"));
    dlg.show();
    dlg.adjustSize();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dlg.grab().save(Q(fs::path(shots) / "export-audio.png")));
}

}  // namespace
}  // namespace lk::gui::test
