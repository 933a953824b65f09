#pragma once
// One running program per user: a lock file named after the program's mutex,
// in the user's runtime folder (LINEKEEPER_HOME's folder when that is set, so
// that tests running side by side do not see each other). The holder listens
// on a local socket beside it, through which a second start asks it to come
// to the front.

#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;

namespace lk::gui {

inline constexpr char kInstanceMutexName[] = "QORVAL Line Keeper Lite Mutex";

class SingleInstance {
  public:
    SingleInstance();
    ~SingleInstance();
    // True when this process now holds the lock; false when another one does.
    bool Acquire();
    void Release();
    // While the lock is held: `onSecondStart` runs whenever another start knocks.
    bool Listen(std::function<void()> onSecondStart);
    // Tells the running instance that the user started the program again;
    // false when none answered.
    static bool SignalRunning();
    static QString SocketName();
    bool Held() const { return lock_ != nullptr; }
    static QString LockPath();

  private:
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace lk::gui
