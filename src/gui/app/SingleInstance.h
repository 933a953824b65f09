#pragma once
// One running program per user: a lock file named after the program's mutex,
// in a folder only this user can write (LINEKEEPER_HOME when that is set, so
// that tests running side by side do not see each other; else the runtime
// folder or a checked 0700 folder of the user's own in the temporary folder).
// The holder listens on a local socket beside it, through which a second
// start asks it to come to the front.

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
    // True when this process now holds the lock; false when another one does
    // or the lock cannot be taken (Problem() says which).
    bool Acquire();
    void Release();
    // While the lock is held: `onSecondStart` runs whenever another start knocks.
    bool Listen(std::function<void()> onSecondStart);
    // Tells the running instance that the user started the program again;
    // false when none answered.
    static bool SignalRunning();
    static QString SocketName();
    bool Held() const { return lock_ != nullptr; }
    // True after a failed Acquire when another running program holds the lock.
    bool HeldElsewhere() const { return heldElsewhere_; }
    // Why the last Acquire failed, for the user; empty after a success.
    QString Problem() const { return problem_; }
    // The lock file, or empty when its folder is unsafe (FolderProblem says why).
    static QString LockPath();
    static QString FolderProblem();

  private:
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    bool heldElsewhere_ = false;
    QString problem_;
};

}  // namespace lk::gui
