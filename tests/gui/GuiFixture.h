#pragma once
// A window on a generated card and backup store, with a fake volume table.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CRecorderApp.h"
#include "card/CallRecord.h"
#include "pages/CVX310View.h"
#include "platform/VolumeTable.h"
#include "records/CRecordListPane.h"
#include "support/FakeAudioSink.h"
#include "support/TempDir.h"

namespace lk::gui::test {

// Volumes the test adds and removes at will.
struct FakeVolumes {
    std::mutex lock;
    std::vector<MountedVolume> mounted;
};

class FakeProbe : public VolumeProbe {
  public:
    explicit FakeProbe(std::shared_ptr<FakeVolumes> v) : v_(std::move(v)) {}
    std::vector<MountedVolume> Mounted() override {
        std::lock_guard<std::mutex> g(v_->lock);
        return v_->mounted;
    }

  private:
    std::shared_ptr<FakeVolumes> v_;
};

struct CardCall {
    int type = Incoming;
    int mark = 0;
    int day = 1;
    int hour = 10;
    std::u16string number = u"5551234";
    bool recording = true;
};

// Writes a family-0 card: CallLog.dat plus (when asked) a recording per call.
void WriteCard(const std::filesystem::path& root, const std::vector<CardCall>& calls);
// Writes one month index file of the backup store with `count` incoming calls.
void WriteBackupMonth(const std::filesystem::path& backupPath, int yyyymm, int count);

// A recorded message box.
struct ShownMessage {
    QString text, caption;
    QMessageBox::Icon icon;
};

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the window (not shown) with the fake volumes.
    void Start();
    void InsertCard();
    void RemoveCard();
    // Starts the window with the card in and read, as at a start with a card
    // in the slot; false when the work did not end.
    [[nodiscard]] bool StartWithCard();
    // Processes events until `done` holds (the workers report through the queue).
    static bool WaitFor(const std::function<bool()>& done);
    bool WaitIdle();
    // Runs a frame timer's tick as if it fired.
    void Tick(int id);

    static CRecorderApp& app() {
        return *qobject_cast<CRecorderApp*>(QCoreApplication::instance());
    }
    CMainFrame& frame() { return *app().MainFrame(); }
    CVX310View& view() { return *frame().View(); }
    CRecordListPane& pane(int c) { return *view().PaneOf(c); }
    int rows(int c) { return pane(c).List()->RowCount(); }
    void WriteLang(const std::vector<std::pair<int, std::string>>& texts);

    lk::test::TempHome home;
    lk::test::TempDir card;
    lk::test::TempDir backup;
    std::shared_ptr<FakeVolumes> volumes = std::make_shared<FakeVolumes>();
    // The window's sound device: pieces it was given; `canOpen` false for none.
    std::shared_ptr<lk::test::FakeSinkLog> sound = std::make_shared<lk::test::FakeSinkLog>();
    std::vector<ShownMessage> messages;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    std::function<void()> whileAsking;  // runs while a yes/no question is open
};

}  // namespace lk::gui::test
