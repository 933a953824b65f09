#pragma once
// One running program per user: a lock file named after the program's mutex,
// in the user's runtime folder (LINEKEEPER_HOME's folder when that is set, so
// that tests running side by side do not see each other).

#include <QLockFile>
#include <QString>
#include <memory>

namespace lk::gui {

inline constexpr char kInstanceMutexName[] = "QORVAL Line Keeper Lite Mutex";

class SingleInstance {
  public:
    // True when this process now holds the lock; false when another one does.
    bool Acquire();
    void Release();
    bool Held() const { return lock_ != nullptr; }
    static QString LockPath();

  private:
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace lk::gui
