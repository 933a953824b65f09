#include "GuiFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "app/Settings.h"
#include "card/BackupStore.h"
#include "card/CallLog.h"
#include "platform/TextCodec.h"
#include "records/PaneFill.h"
#include "support/MessageBox.h"

namespace lk::gui::test {
namespace fs = std::filesystem;

namespace {
const char* Code(int type) {
    switch (type) {
        case Incoming:
            return "I";
        case Missed:
            return "M";
        case Outgoing:
            return "O";
        case Message:
            return "A";
        default:
            return "N";
    }
}
}  // namespace

void WriteCard(const fs::path& root, const std::vector<CardCall>& calls) {
    std::vector<std::uint8_t> log;
    int n = 0;
    for (const CardCall& c : calls) {
        ++n;
        CardRecordFields f;
        f.type = c.type;
        f.mark = c.mark;
        f.year = 2016;
        f.month = 1;
        f.day = c.day;
        f.hour = c.hour;
        f.minute = n % 60;
        f.number = c.type == Note || c.type == Note2 || c.type == Triggered ? u"" : c.number;
        f.callSeconds = 60 + n;
        f.recordSeconds = 50 + n;
        char name[64];
        std::snprintf(name, sizeof name, "201601%02d%02d%02d00-%s-%d.wav", c.day, c.hour, n % 60,
                      Code(c.type), n);
        f.relativePath = FromUtf8(std::string("201601\\") + name);
        const auto rec = BuildCardRecord(f, 0);
        log.insert(log.end(), rec.begin(), rec.end());
        if (c.recording)
            lk::test::WriteFile(root / "201601" / name, std::vector<std::uint8_t>(4000, 0x11));
    }
    lk::test::WriteFile(root / kCallLogFileName, log);
}

void WriteBackupMonth(const fs::path& backupPath, int yyyymm, int count) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < count; ++i) {
        CallRecord r;
        r.cardBytes[CallRecord::kCardInUseByte] = 1;
        r.inUse = 1;
        r.type = Incoming;
        r.time = SystemTime{static_cast<std::uint16_t>(yyyymm / 100),
                            static_cast<std::uint16_t>(yyyymm % 100),
                            0,
                            static_cast<std::uint16_t>(1 + i % 28),
                            9,
                            static_cast<std::uint16_t>(i % 60),
                            0,
                            0};
        SetFieldText(r.number, FromUtf8("77700" + std::to_string(i)));
        SetFieldText(r.cardPath, FromUtf8("E:\\" + std::to_string(yyyymm) + "\\b" +
                                          std::to_string(i) + ".wav"));
        SetFieldText(r.filePath,
                     FromUtf8((StoreRoot(backupPath, 0) / ("missing-" + std::to_string(yyyymm) +
                                                           "-" + std::to_string(i) + ".wav"))
                                  .string()));
        const auto b = r.ToBytes();
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    lk::test::WriteFile(MonthIndexPath(backupPath, 0, yyyymm), bytes);
}

void WindowTest::SetUp() {
    EXPECT_TRUE(WriteSettingString("BackupPath", backup.path().string() + "/"));
    SetMessageHook([this](QWidget*, const QString& text, const QString& caption,
                          QMessageBox::Icon icon, QMessageBox::StandardButtons buttons) {
        messages.push_back({text, caption, icon});
        if (buttons.testFlag(QMessageBox::Yes) && whileAsking) whileAsking();
        return buttons.testFlag(QMessageBox::Yes) ? answer : QMessageBox::Ok;
    });
}

void WindowTest::TearDown() {
    app().ExitInstance();
    SetMessageHook({});
}

void WindowTest::WriteLang(const std::vector<std::pair<int, std::string>>& texts) {
    std::string ini = "[English]\n";
    for (const auto& [n, t] : texts) {
        char key[8];
        std::snprintf(key, sizeof key, "%04d", n);
        ini += std::string(key) + "=" + t + "\n";
    }
    lk::test::WriteText(home.config() / "LiteLang.ini", ini);
}

void WindowTest::Start() {
    StartOptions o;
    o.probe = std::make_unique<FakeProbe>(volumes);
    o.showWindow = false;
    o.sink = std::make_unique<lk::test::FakeAudioSink>(sound);
    ASSERT_TRUE(app().InitInstance(std::move(o)));
    frame().FreezeTimers(true);
}

void WindowTest::InsertCard() {
    std::lock_guard<std::mutex> g(volumes->lock);
    volumes->mounted.push_back({card.path(), true, 512ull << 20, 256ull << 20});
}

bool WindowTest::StartWithCard() {
    Start();
    InsertCard();
    Tick(TimerStartup);
    Tick(TimerCardWatch);
    return WaitIdle();
}

void WindowTest::RemoveCard() {
    std::lock_guard<std::mutex> g(volumes->lock);
    volumes->mounted.clear();
}

bool WindowTest::WaitFor(const std::function<bool()>& done) {
    // A generous bound only against hangs; nothing here measures time.
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    QCoreApplication::processEvents();
    return true;
}

bool WindowTest::WaitIdle() {
    return WaitFor([this] { return !app().Session().Busy() && !app().Filler().Running(); });
}

void WindowTest::Tick(int id) {
    frame().OnTimer(id);
}

}  // namespace lk::gui::test
