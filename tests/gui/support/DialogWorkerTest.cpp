// The window's one worker: reports reach the UI thread in order, a window
// closed mid-run waits for its worker to stop, and a window destroyed
// mid-run takes its worker down with it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QThread>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <QElapsedTimer>

#include "support/DialogWorker.h"

namespace lk::gui {
namespace {

// Processes events until `done` holds; the bound is only against hangs.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

struct Seen {
    std::vector<int> positions;
    std::vector<QString> messages;
    int begins = 0, ends = 0, finished = 0;
    bool allOnUiThread = true;
    bool finishedAfterLastStep = false;
};

void Watch(DialogWorker& worker, Seen& seen) {
    auto onUi = [&seen] {
        if (QThread::currentThread() != qApp->thread()) seen.allOnUiThread = false;
    };
    QObject::connect(&worker.Progress(), &WorkerProgress::Began, [&seen, onUi](int) {
        onUi();
        ++seen.begins;
    });
    QObject::connect(&worker.Progress(), &WorkerProgress::Stepped,
                     [&seen, onUi](int done, int, const QString& text) {
                         onUi();
                         seen.positions.push_back(done);
                         seen.messages.push_back(text);
                     });
    QObject::connect(&worker.Progress(), &WorkerProgress::Ended, [&seen, onUi] {
        onUi();
        ++seen.ends;
    });
    QObject::connect(&worker, &DialogWorker::Finished, [&seen, onUi] {
        onUi();
        ++seen.finished;
        seen.finishedAfterLastStep = seen.ends == 1;
    });
}

TEST(DialogWorker, ReportsReachTheUiThreadInOrderAndThinnedOut) {
    struct Case {
        int every;
        int steps;
        std::vector<int> shown;
    } cases[] = {{1, 3, {1, 2, 3}}, {10, 25, {10, 20, 25}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.every);
        DialogWorker worker;
        worker.Progress().SetStepEvery(c.every);
        Seen seen;
        Watch(worker, seen);
        ASSERT_TRUE(worker.Start([&c](ProgressReporter& p, std::stop_token) {
            p.Begin(c.steps);
            for (int i = 1; i <= c.steps; ++i)
                p.Step(i, c.steps, "at " + std::to_string(i));
            p.End();
        }));
        ASSERT_TRUE(WaitFor([&] { return seen.finished == 1; }));
        EXPECT_FALSE(worker.Running());
        EXPECT_TRUE(seen.allOnUiThread);
        EXPECT_EQ(seen.begins, 1);
        EXPECT_EQ(seen.positions, c.shown);
        EXPECT_EQ(seen.messages.back(), QStringLiteral("at %1").arg(c.steps));
        EXPECT_TRUE(seen.finishedAfterLastStep);
    }
}

// A job that runs until it is told to stop, counting its steps.
struct Endless {
    std::shared_ptr<std::atomic<int>> steps = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<bool>> returned = std::make_shared<std::atomic<bool>>(false);
    DialogWorker::Job Job() const {
        return [steps = steps, returned = returned](ProgressReporter& p, std::stop_token stop) {
            p.Begin(0);
            while (!ShouldStop(stop, p)) {
                p.Step(++*steps, 0, {});
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            *returned = true;
        };
    }
};

class WorkingDialog : public QDialog {
  public:
    void done(int result) override {
        if (worker.StopThen([this, result] { done(result); })) return;
        QDialog::done(result);
    }
    DialogWorker worker{this};
};

TEST(DialogWorker, AWindowClosedMidRunStaysUntilItsWorkerStopped) {
    auto dlg = std::make_unique<WorkingDialog>();
    dlg->show();
    Endless job;
    ASSERT_TRUE(dlg->worker.Start(job.Job()));
    ASSERT_TRUE(WaitFor([&] { return job.steps->load() > 3; }));
    EXPECT_FALSE(dlg->worker.Start(job.Job()));  // one run at a time
    dlg->reject();
    EXPECT_TRUE(dlg->worker.ClosePending());
    EXPECT_TRUE(dlg->isVisible());  // not before the worker has ended
    ASSERT_TRUE(WaitFor([&] { return !dlg->isVisible(); }));
    EXPECT_TRUE(job.returned->load());
    EXPECT_FALSE(dlg->worker.Running());
    EXPECT_FALSE(dlg->worker.ClosePending());
    dlg.reset();
}

TEST(DialogWorker, AWindowDestroyedMidRunStopsItsWorkerFirst) {
    Endless job;
    Seen seen;
    {
        WorkingDialog dlg;
        Watch(dlg.worker, seen);
        ASSERT_TRUE(dlg.worker.Start(job.Job()));
        ASSERT_TRUE(WaitFor([&] { return job.steps->load() > 3; }));
    }  // the sanitizer sees a report delivered into the gone window
    EXPECT_TRUE(job.returned->load());
    const int steps = job.steps->load();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(job.steps->load(), steps);
    EXPECT_EQ(seen.finished, 0);  // queued reports went with the window
}

// The next run need not wait for the event loop to learn that the last one ended.
TEST(DialogWorker, ARunThatReturnedMakesRoomForTheNext) {
    DialogWorker worker;
    Seen seen;
    Watch(worker, seen);
    std::atomic<bool> first{false};
    ASSERT_TRUE(worker.Start([&](ProgressReporter&, std::stop_token) { first = true; }));
    worker.Wait();
    EXPECT_TRUE(first.load());
    EXPECT_EQ(seen.finished, 1);
    ASSERT_TRUE(worker.Start([](ProgressReporter&, std::stop_token) {}));
    ASSERT_TRUE(WaitFor([&] { return seen.finished == 2; }));
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(seen.finished, 2);  // the first run's queued end is not reported twice
}

}  // namespace
}  // namespace lk::gui
