#pragma once
// Tells at once when a card may have come or gone: the kernel marks the mount
// table with an exceptional condition on every mount and unmount, and folders
// named as card roots are watched for a call log that appears. A burst of
// changes (one mount is several) comes out as one `Changed`.

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

class QFileSystemWatcher;
class QSocketNotifier;

namespace lk::gui {

class MountWatch : public QObject {
    Q_OBJECT
  public:
    // Bursts closer together than this come out as one change.
    static constexpr int kSettleMs = 40;

    explicit MountWatch(QObject* parent = nullptr);
    ~MountWatch() override;

    // False where the mount table cannot be watched (the poll is all there is).
    bool Watching() const { return mounts_ != nullptr; }
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    // The folders whose entries are watched (card roots without a card yet).
    void WatchFolders(const QStringList& folders);
    QStringList WatchedFolders() const;

  signals:
    void Changed();

  private:
    void Note();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> mounts_;
    std::unique_ptr<QFileSystemWatcher> folders_;
    QTimer settle_;
    bool enabled_ = true;
};

}  // namespace lk::gui
