#pragma once
// Helpers for driving the working dialogs: a gate that holds a worker at its
// first progress step, and a runner that answers the modal windows a command
// opens.

#include <QDialog>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace lk::gui::test {

// A worker step that waits until the test opens the gate.
class Gate {
  public:
    void Pass() {
        std::unique_lock<std::mutex> lock(m_);
        ++arrived_;
        cv_.wait(lock, [this] { return open_; });
    }
    void Open() {
        {
            std::lock_guard<std::mutex> g(m_);
            open_ = true;
        }
        cv_.notify_all();
    }
    bool Arrived() {
        std::lock_guard<std::mutex> g(m_);
        return arrived_ > 0;
    }
    std::function<void()> Hook() {
        return [this] { Pass(); };
    }

  private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
    int arrived_ = 0;
};

// Runs `command`; every modal window it opens (also nested ones) is handed to
// `act`, outside the polling timer, which must close it. Returns the object
// names of the windows in the order they opened.
std::vector<std::string> WithModals(const std::function<void()>& command,
                                    const std::function<void(QDialog*)>& act);

}  // namespace lk::gui::test
