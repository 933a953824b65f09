// The recorder settings page against a scripted device library, and the
// window against the simulated recorder.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLibrary>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

#include "GuiFixture.h"
#include "app/ExeDir.h"
#include "app/Settings.h"
#include "pages/CDeviceParamDlg.h"
#include "support/DeviceLibraryLoader.h"
#include "support/GuiText.h"
#include "support/MessageBox.h"

namespace lk::gui::test {
namespace {

using Load = DeviceLibraryLoader::Load;

// The scripting calls of the fake library.
struct FakeDevice {
    explicit FakeDevice(const char* file) : lib(QString::fromUtf8(file)) {
        if (!lib.load()) return;
        reset = reinterpret_cast<void (*)()>(lib.resolve("FakeDevice_Reset"));
        setResults = reinterpret_cast<void (*)(int32_t, int32_t, unsigned long)>(
            lib.resolve("FakeDevice_SetResults"));
        notify = reinterpret_cast<void (*)(uint32_t, uint32_t)>(lib.resolve("FakeDevice_Notify"));
        count = reinterpret_cast<int (*)(int)>(lib.resolve("FakeDevice_Count"));
        lastWrite =
            reinterpret_cast<void (*)(tagDeviceParameters*)>(lib.resolve("FakeDevice_LastWrite"));
    }
    bool Ok() const { return reset && setResults && notify && count && lastWrite; }
    tagDeviceParameters LastWrite() const {
        tagDeviceParameters p{};
        lastWrite(&p);
        return p;
    }

    QLibrary lib;
    void (*reset)() = nullptr;
    void (*setResults)(int32_t, int32_t, unsigned long) = nullptr;
    void (*notify)(uint32_t, uint32_t) = nullptr;
    int (*count)(int) = nullptr;
    void (*lastWrite)(tagDeviceParameters*) = nullptr;
};

enum { CountInit = 0, CountRead = 1, CountWrite = 2, CountFree = 3 };

void Settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

bool AllEnabled(const CDeviceParamDlg& p) {
    for (QWidget* w : p.Controls())
        if (!w->isEnabled()) return false;
    return true;
}
bool AllDisabled(const CDeviceParamDlg& p) {
    for (QWidget* w : p.Controls())
        if (w->isEnabled()) return false;
    return true;
}

// Everything the controls show, to prove an answer changed nothing.
QStringList Snapshot(const CDeviceParamDlg& p) {
    QStringList s;
    for (QWidget* w : p.Controls()) {
        if (auto* c = qobject_cast<QComboBox*>(w)) s << QString::number(c->currentIndex());
        if (auto* e = qobject_cast<QLineEdit*>(w)) s << e->text();
    }
    s << p.DatePicker()->date().toString(Qt::ISODate) << p.TimePicker()->time().toString();
    return s;
}

std::uint32_t Answer(int number, std::uint32_t value) {
    return EncodeValueAnswer(number, value);
}

class DevicePage : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fake.Ok()) << fake.lib.errorString().toStdString();
        fake.reset();
        ASSERT_EQ(loader.Open(QString::fromUtf8(LK_FAKE_DEVICE_LIB)), Load::Loaded);
        loader.Init();
        page = std::make_unique<CDeviceParamDlg>(loader, nullptr);
        QObject::connect(&loader, &DeviceLibraryLoader::Notified, page.get(),
                         &CDeviceParamDlg::OnDeviceNotify);
    }
    void TearDown() override {
        page.reset();
        loader.Free();
    }
    void Notify(std::uint32_t w, std::uint32_t l) {
        fake.notify(w, l);
        Settle();
    }
    // Connected, read answered to the end: the page is ready.
    void Ready() {
        Notify(0, 1);
        Notify(1, Answer(31, 0));
        ASSERT_TRUE(AllEnabled(*page));
        FillNumbers();
    }
    // Every number field within its range, as a complete read leaves them.
    void FillNumbers() {
        for (auto [id, text] : {std::pair{1019, "5"},
                                {1065, "20"},
                                {1030, "5"},
                                {1032, "10"},
                                {1042, "24"},
                                {1043, "10"}})
            page->Edit(id)->setText(QString::fromLatin1(text));
    }

    lk::test::TempHome home;
    FakeDevice fake{LK_FAKE_DEVICE_LIB};
    DeviceLibraryLoader loader;
    std::unique_ptr<CDeviceParamDlg> page;
};

TEST_F(DevicePage, DisabledUntilARecorderConnectsThenReadsIt) {
    EXPECT_TRUE(AllDisabled(*page));
    EXPECT_EQ(page->Controls().size(), 30u);  // 2 pickers, 20 lists, 6 edits, 2 buttons
    Notify(0, 1);
    EXPECT_EQ(fake.count(CountRead), 1);
    // Reading: cleared, disabled, guarded by timer 100.
    EXPECT_TRUE(AllDisabled(*page));
    EXPECT_TRUE(page->TimerActive());
    EXPECT_EQ(page->TimerInterval(), 8000);
    EXPECT_EQ(page->List(1021)->currentIndex(), -1);
    Notify(1, Answer(20, 3));
    EXPECT_TRUE(AllDisabled(*page));
    Notify(1, Answer(31, 4));
    EXPECT_TRUE(AllEnabled(*page));
    EXPECT_FALSE(page->TimerActive());
    EXPECT_EQ(page->List(1072)->currentIndex(), 4);

    Notify(0, 0);
    EXPECT_TRUE(AllDisabled(*page));
    Notify(0, 1);
    Notify(0, 2);  // anything but 1 means no recorder
    EXPECT_TRUE(AllDisabled(*page));
    EXPECT_FALSE(page->TimerActive());
}

TEST_F(DevicePage, ARefusedReadLeavesThePageAsItWas) {
    fake.setResults(0, 1, 7);
    Notify(0, 1);
    EXPECT_EQ(fake.count(CountRead), 1);
    EXPECT_TRUE(AllEnabled(*page));
    EXPECT_FALSE(page->TimerActive());
    page->Edit(1030)->setText(QStringLiteral("4"));
    page->Button(CDeviceParamDlg::IdRead)->click();
    EXPECT_EQ(page->Edit(1030)->text(), QStringLiteral("4"));
}

TEST_F(DevicePage, AnswersFillTheirControls) {
    Ready();
    struct Case {
        int number;
        std::uint32_t value;
        int control;
        QString text;  // edits
        int index;     // lists
    } cases[] = {
        {129, 255, 1065, QStringLiteral("25"), 0},
        {129, 150, 1065, QStringLiteral("15"), 0},
        {3, 7, 1030, QStringLiteral("7"), 0},
        {21, 0, 1019, QStringLiteral("0"), 0},
        {11, 40, 1043, QStringLiteral("40"), 0},
        {20, 6, 1021, {}, 5},
        {20, 1, 1021, {}, 0},
        {20, 0, 1021, {}, -1},
        {28, 20, 1060, {}, 15},
        {28, 5, 1060, {}, 0},
        {28, 4, 1060, {}, -1},
        {0, 1, 1015, {}, 1},
        {1, 3, 1045, {}, 3},
        {22, 1, 1048, {}, 1},
        {24, 1, 1050, {}, 1},
        {27, 6, 1058, {}, 6},
        {27, 7, 1058, {}, -1},
        {29, 9, 1068, {}, 9},
    };
    for (const Case& c : cases) {
        Notify(1, Answer(c.number, c.value));
        if (QLineEdit* e = page->Edit(c.control)) {
            EXPECT_EQ(e->text(), c.text) << c.number << "=" << c.value;
        } else {
            ASSERT_NE(page->List(c.control), nullptr) << c.control;
            EXPECT_EQ(page->List(c.control)->currentIndex(), c.index) << c.number << "=" << c.value;
        }
    }
}

TEST_F(DevicePage, AnswersTheRecorderKeepsToItselfChangeNothing) {
    Ready();
    Notify(1, Answer(20, 2));
    Notify(1, Answer(129, 220));
    const QStringList before = Snapshot(*page);
    for (int n : {2, 19, 23, 32, 127, 130})
        Notify(1, Answer(n, 3));
    EXPECT_EQ(Snapshot(*page), before);
}

TEST_F(DevicePage, DateAndTimeAnswersChangeOnlyTheirPart) {
    Ready();
    page->DatePicker()->setDate(QDate(2026, 1, 31));
    page->TimePicker()->setTime(QTime(10, 20));
    Notify(1, Answer(128, 2030));
    EXPECT_EQ(page->DatePicker()->date(), QDate(2030, 1, 31));
    Notify(1, Answer(15, 2));
    EXPECT_EQ(page->DatePicker()->date(), QDate(2030, 2, 28));
    Notify(1, Answer(16, 14));
    EXPECT_EQ(page->DatePicker()->date(), QDate(2030, 2, 14));
    Notify(1, Answer(16, 30));  // no 30 February: kept
    EXPECT_EQ(page->DatePicker()->date(), QDate(2030, 2, 14));
    Notify(1, Answer(17, 7));
    Notify(1, Answer(18, 5));
    EXPECT_EQ(page->TimePicker()->time(), QTime(7, 5));
    EXPECT_EQ(page->DatePicker()->date(), QDate(2030, 2, 14));
}

TEST_F(DevicePage, FormatAnswersSwitchThePickers) {
    EXPECT_EQ(page->DatePicker()->displayFormat(), QStringLiteral("yyyy / MM / dd"));
    Ready();
    struct Case {
        int number;
        std::uint32_t value;
        QString date, time;
    } cases[] = {
        {13, 1, QStringLiteral("MM / dd / yyyy"), {}},
        {13, 2, QStringLiteral("dd / MM / yyyy"), {}},
        {13, 0, QStringLiteral("yyyy / MM / dd"), {}},
        {14, 1, {}, QStringLiteral("HH:mm")},
        {14, 0, {}, QStringLiteral("hh:mm AP")},
    };
    for (const Case& c : cases) {
        Notify(1, Answer(c.number, c.value));
        if (!c.date.isEmpty()) {
            EXPECT_EQ(page->DatePicker()->displayFormat(), c.date);
        }
        if (!c.time.isEmpty()) {
            EXPECT_EQ(page->TimePicker()->displayFormat(), c.time);
        }
    }  // A new read clears the lists but keeps the pickers' formats.
    Notify(1, Answer(13, 2));
    page->Button(CDeviceParamDlg::IdRead)->click();
    EXPECT_EQ(page->List(1010)->currentIndex(), -1);
    EXPECT_EQ(page->DatePicker()->displayFormat(), QStringLiteral("dd / MM / yyyy"));
}

TEST_F(DevicePage, UpdateSendsTheBlockAndWaitsForItsOwnAcknowledgement) {
    Ready();
    page->Edit(1065)->setText(QStringLiteral("25"));
    page->List(1021)->setCurrentIndex(0);
    page->List(1060)->setCurrentIndex(0);
    page->List(1058)->setCurrentIndex(3);
    page->Edit(1030)->setText(QStringLiteral("10"));
    page->Edit(1019)->setText(QStringLiteral("0"));
    page->Edit(1042)->setText(QStringLiteral("99"));
    page->Edit(1032)->setText(QStringLiteral(" 12"));
    page->DatePicker()->setDate(QDate(2027, 3, 4));
    page->TimePicker()->setTime(QTime(5, 6));
    page->List(1015)->setCurrentIndex(-1);
    page->Button(CDeviceParamDlg::IdUpdate)->click();
    ASSERT_EQ(fake.count(CountWrite), 1);

    const tagDeviceParameters p = fake.LastWrite();
    using namespace DeviceParam;
    const std::pair<std::size_t, std::int32_t> expected[] = {
        {kOffHookVolts, 250},
        {kBrightness, 1},
        {kRemoteRings, 5},
        {kRingsBeforeAnswer, 3},
        {kTriggerLevel, 10},
        {kDialOutWaitSeconds, 0},
        {kStorageReminderHours, 99},
        {kTriggerEndSeconds, 12},
        {kYear, 2027},
        {kMonth, 3},
        {kDay, 4},
        {kHour, 5},
        {kMinute, 6},
        {kUnused, 0},
        {kClockFromCalls, -1},
    };
    for (auto [offset, value] : expected)
        EXPECT_EQ(GetDeviceParameter(p, offset), value) << "offset " << offset;

    EXPECT_TRUE(AllDisabled(*page));
    EXPECT_TRUE(page->TimerActive());
    EXPECT_EQ(page->RequestId(), 7u);
    Notify(2, 8);
    EXPECT_TRUE(AllDisabled(*page));
    Notify(2, 0x10007);  // only the low 16 bits carry the id
    EXPECT_TRUE(AllEnabled(*page));
    EXPECT_FALSE(page->TimerActive());
}

TEST_F(DevicePage, ARefusedWriteKeepsThePageUsable) {
    struct Case {
        int32_t result;
        unsigned long id;
    } cases[] = {{0, 7}, {1, 0xFFFFFFFFul}, {1, ~0ul}};
    Ready();
    for (const Case& c : cases) {
        fake.setResults(1, c.result, c.id);
        page->Button(CDeviceParamDlg::IdUpdate)->click();
        EXPECT_TRUE(AllEnabled(*page)) << c.result << " " << c.id;
        EXPECT_FALSE(page->TimerActive()) << c.result << " " << c.id;
    }
}

TEST_F(DevicePage, TimerHundredEnablesThePageWhenAnAnswerIsLost) {
    Notify(0, 1);
    Notify(1, Answer(20, 2));
    ASSERT_TRUE(page->TimerActive());
    page->OnTimer(CDeviceParamDlg::TimerPending);
    EXPECT_TRUE(AllEnabled(*page));
    EXPECT_FALSE(page->TimerActive());
    EXPECT_EQ(page->List(1021)->currentIndex(), 1);  // what arrived stays

    FillNumbers();
    page->Button(CDeviceParamDlg::IdUpdate)->click();
    ASSERT_TRUE(AllDisabled(*page));
    page->OnTimer(CDeviceParamDlg::TimerPending);
    EXPECT_TRUE(AllEnabled(*page));
    // A disconnection stops a pending timer.
    page->Button(CDeviceParamDlg::IdUpdate)->click();
    Notify(0, 0);
    EXPECT_FALSE(page->TimerActive());
}

TEST_F(DevicePage, UpdateSaysWrittenOrWhyNotAndRefusesValuesOutOfRange) {
    std::vector<QString> shown;
    SetMessageHook([&](QWidget*, const QString& text, const QString&, QMessageBox::Icon,
                       QMessageBox::StandardButtons) {
        shown.push_back(text);
        return QMessageBox::Ok;
    });
    Ready();
    // Out of range, empty, not a number: refused with the field and its range,
    // and nothing reaches the recorder.
    struct Case {
        int control;
        const char* text;
        int label;
        const char* range;
    };
    const Case cases[] = {
        {1030, "99", 45, "1-10"}, {1065, "", 41, "15-30"},   {1043, "4", 51, "5-40"},
        {1019, "2x", 37, "0-20"}, {1042, "100", 50, "5-99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        FillNumbers();
        page->Edit(c.control)->setText(QString::fromLatin1(c.text));
        shown.clear();
        page->Button(CDeviceParamDlg::IdUpdate)->click();
        EXPECT_EQ(fake.count(CountWrite), 0);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(shown[0].contains(Lang(c.label)));
        EXPECT_TRUE(shown[0].contains(QLatin1String(c.range)));
        EXPECT_FALSE(page->StatusText().isEmpty());
        EXPECT_TRUE(AllEnabled(*page));
    }
    // Within range: sent, and "written" once the recorder confirms it.
    FillNumbers();
    page->Button(CDeviceParamDlg::IdUpdate)->click();
    ASSERT_EQ(fake.count(CountWrite), 1);
    Notify(2, 7);
    EXPECT_EQ(page->StatusText(), Lang(356));
    // Refused by the library, or never confirmed: said so.
    fake.setResults(1, 0, 7);
    page->Button(CDeviceParamDlg::IdUpdate)->click();
    EXPECT_EQ(page->StatusText(), Lang(357));
    fake.setResults(1, 1, 9);
    page->Button(CDeviceParamDlg::IdUpdate)->click();
    page->OnTimer(CDeviceParamDlg::TimerPending);
    EXPECT_EQ(page->StatusText(), Lang(361));
    SetMessageHook({});
}

// Counts the keys that get past the page.
class KeyCounter : public QWidget {
  public:
    int keys = 0;

  protected:
    void keyPressEvent(QKeyEvent*) override { ++keys; }
};

TEST_F(DevicePage, EnterAndEscapeAreSwallowed) {
    KeyCounter parent;
    page->setParent(&parent);
    Ready();
    page->Edit(1030)->setText(QStringLiteral("6"));
    page->List(1021)->setCurrentIndex(2);
    const QStringList before = Snapshot(*page);
    for (QWidget* target :
         {static_cast<QWidget*>(page->Edit(1030)), static_cast<QWidget*>(page->List(1021)),
          static_cast<QWidget*>(page->Button(CDeviceParamDlg::IdUpdate)),
          static_cast<QWidget*>(page.get()), page->Page()}) {
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &press);
        }
    }
    Settle();
    EXPECT_EQ(parent.keys, 0);
    EXPECT_EQ(Snapshot(*page), before);
    EXPECT_EQ(fake.count(CountWrite), 0);
    EXPECT_EQ(fake.count(CountRead), 1);
    page->setParent(nullptr);
}

TEST_F(DevicePage, WhiteAndScrolledWhenSmallerThanItsDesign) {
    EXPECT_EQ(page->Page()->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(page->viewport()->palette().color(QPalette::Window), QColor(Qt::white));
    const QSize design = page->Page()->size();
    page->show();
    page->resize(design.width() / 2, design.height() / 2);
    Settle();
    EXPECT_GT(page->HorizontalSteps(), 0);
    EXPECT_GT(page->VerticalSteps(), 0);
    page->resize(design + QSize(64, 64));
    Settle();
    EXPECT_LE(page->HorizontalSteps(), 0);
    EXPECT_LE(page->VerticalSteps(), 0);
}

TEST(DeviceLibraryLoader, FindsTheLibraryAndRefusesWhatIsNotOne) {
    lk::test::TempDir dir;
    lk::test::WriteText(dir / "notalib.so", "just text\n");
    struct Case {
        QString file;
        Load result;
    } cases[] = {
        {QString(), Load::NotConfigured},
        {QString::fromStdString((dir / "missing.so").string()), Load::NotFound},
        {QString::fromStdString(dir.path().string()), Load::NotFound},
        {QString::fromStdString((dir / "notalib.so").string()), Load::NotALibrary},
        {QString::fromUtf8(LK_FAKE_DEVICE_BROKEN_LIB), Load::MissingSymbol},
        {QString::fromUtf8(LK_FAKE_DEVICE_LIB), Load::Loaded},
    };
    for (const Case& c : cases) {
        DeviceLibraryLoader loader;
        EXPECT_EQ(loader.Open(c.file), c.result) << c.file.toStdString();
        EXPECT_EQ(loader.IsOpen(), c.result == Load::Loaded);
        EXPECT_EQ(loader.ErrorText().isEmpty(),
                  c.result == Load::Loaded || c.result == Load::NotConfigured);
        // Without a library nothing is called and nothing is accepted.
        loader.Init();
        tagDeviceParameters p{};
        std::uint32_t id = 5;
        if (c.result != Load::Loaded) {
            EXPECT_EQ(loader.ReadAll(), 0);
            EXPECT_EQ(loader.WriteAll(p, id), 0);
            EXPECT_EQ(id, 0xFFFFFFFFu);
        }
        loader.Free();
    }
    EXPECT_EQ(
        DeviceLibraryLoader::ResolvePath(QStringLiteral("libx.so"), QStringLiteral("/opt/lk")),
        QStringLiteral("/opt/lk/libx.so"));
    EXPECT_EQ(DeviceLibraryLoader::ResolvePath(QStringLiteral("/usr/lib/libx.so"),
                                               QStringLiteral("/opt/lk")),
              QStringLiteral("/usr/lib/libx.so"));
    EXPECT_EQ(DeviceLibraryLoader::ResolvePath(QStringLiteral("  "), QStringLiteral("/opt")),
              QString());

    // An installed program finds a bare name in its private library folder,
    // unless a file of that name lies beside it.
    lk::test::TempDir prefix;
    const QString bin = QString::fromStdString((prefix.path() / "bin").string());
    const std::filesystem::path libDir =
        DeviceLibraryLoader::InstalledLibraryDir(bin).toStdString();
    EXPECT_EQ(libDir.filename(), "linekeeper");
    EXPECT_EQ(libDir.lexically_relative(prefix.path()).begin()->string(), "lib");
    lk::test::WriteText(libDir / "libsim.so", "x");
    lk::test::WriteText(prefix.path() / "bin" / "libother.so", "x");
    EXPECT_EQ(DeviceLibraryLoader::ResolvePath(QStringLiteral("libsim.so"), bin),
              QString::fromStdString((libDir / "libsim.so").string()));
    lk::test::WriteText(libDir / "libother.so", "x");
    EXPECT_EQ(DeviceLibraryLoader::ResolvePath(QStringLiteral("libother.so"), bin),
              bin + QStringLiteral("/libother.so"));
}

// The window with the simulated recorder beside the program.
class DeviceWindow : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        ::setenv("LK_DEVICE_SIM", "fast", 1);
    }
    void TearDown() override {
        WindowTest::TearDown();
        ::unsetenv("LK_DEVICE_SIM");
    }
    CDeviceParamDlg& page() { return *view().DeviceParamsPane(); }
    // A read has been answered to its end (it clears the edits first).
    bool WaitReady() {
        return WaitFor([this] {
            return AllEnabled(page()) && !page().TimerActive() &&
                   !page().Edit(1065)->text().isEmpty();
        });
    }
};

TEST_F(DeviceWindow, SettingsWrittenThroughThePageAreReadBackAfterARestart) {
    EXPECT_TRUE(WriteSettingString("DeviceLibrary", "liblk_device_sim.so"));
    Start();
    EXPECT_EQ(frame().StatusText(1), Lang(91));
    ASSERT_TRUE(WaitFor([this] { return frame().StatusText(1) == Lang(90); }));
    ASSERT_TRUE(WaitReady());
    EXPECT_NE(page().List(1021)->currentIndex(), -1);

    page().Edit(1065)->setText(QStringLiteral("27"));
    page().List(1021)->setCurrentIndex(5);
    page().List(1060)->setCurrentIndex(15);
    page().List(1010)->setCurrentIndex(2);
    page().DatePicker()->setDate(QDate(2031, 2, 27));
    page().TimePicker()->setTime(QTime(21, 45));
    page().Button(CDeviceParamDlg::IdUpdate)->click();
    ASSERT_TRUE(AllDisabled(page()));
    ASSERT_TRUE(WaitReady());

    app().ExitInstance();
    Start();
    ASSERT_TRUE(WaitFor([this] { return frame().StatusText(1) == Lang(90); }));
    ASSERT_TRUE(WaitReady());
    EXPECT_EQ(page().Edit(1065)->text(), QStringLiteral("27"));
    EXPECT_EQ(page().List(1021)->currentIndex(), 5);
    EXPECT_EQ(page().List(1060)->currentIndex(), 15);
    EXPECT_EQ(page().List(1010)->currentIndex(), 2);
    EXPECT_EQ(page().DatePicker()->displayFormat(), QStringLiteral("dd / MM / yyyy"));
    EXPECT_EQ(page().DatePicker()->date(), QDate(2031, 2, 27));
    EXPECT_EQ(page().TimePicker()->time(), QTime(21, 45));
}

TEST_F(DeviceWindow, UnpluggingTheRecorderSwitchesStatusAndPage) {
    EXPECT_TRUE(WriteSettingString("DeviceLibrary", "liblk_device_sim.so"));
    Start();
    ASSERT_TRUE(WaitReady());
    EXPECT_EQ(frame().StatusText(1), Lang(90));
    lk::test::WriteText(ScratchDir() / "device-sim.control", "disconnected");
    ASSERT_TRUE(WaitFor([this] { return frame().StatusText(1) == Lang(91); }));
    EXPECT_TRUE(AllDisabled(page()));
    lk::test::WriteText(ScratchDir() / "device-sim.control", "connected");
    ASSERT_TRUE(WaitFor([this] { return frame().StatusText(1) == Lang(90); }));
    ASSERT_TRUE(WaitReady());
}

TEST_F(DeviceWindow, ABadLibraryIsReportedOnceAndNeverCalled) {
    lk::test::WriteText(home.path() / "junk.so", "not a library");
    struct Case {
        std::string setting;
        bool reported;
    } cases[] = {
        {"", false},
        {(home.path() / "junk.so").string(), true},
        {(home.path() / "absent.so").string(), true},
        {LK_FAKE_DEVICE_BROKEN_LIB, true},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(WriteSettingString("DeviceLibrary", c.setting));
        Start();
        EXPECT_EQ(frame().statusBar()->currentMessage().isEmpty(), !c.reported) << c.setting;
        EXPECT_EQ(frame().StatusText(1), Lang(91)) << c.setting;
        EXPECT_TRUE(AllDisabled(page())) << c.setting;
        // A notification without a library still updates the status pane.
        frame().OnDeviceNotify(0, 1);
        EXPECT_EQ(frame().StatusText(1), Lang(90)) << c.setting;
        app().ExitInstance();
    }
    FakeDevice broken(LK_FAKE_DEVICE_BROKEN_LIB);
    ASSERT_NE(broken.count, nullptr);
    EXPECT_EQ(broken.count(CountInit), 0);
}

}  // namespace
}  // namespace lk::gui::test
