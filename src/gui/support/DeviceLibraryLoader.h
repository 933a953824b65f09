#pragma once
// The recorder's device library, loaded at run time from the setting
// "DeviceLibrary" (a path, or a file name beside the program). Its
// notifications may come from any of its threads; they leave this object as
// the Notified signal on the thread that owns it.

#include <QLibrary>
#include <QObject>
#include <QString>
#include <cstdint>

#include "device/DeviceLibrary.h"

namespace lk::gui {

class DeviceLibraryLoader : public QObject {
    Q_OBJECT
  public:
    enum class Load { NotConfigured, Loaded, NotFound, NotALibrary, MissingSymbol };

    explicit DeviceLibraryLoader(QObject* parent = nullptr);
    ~DeviceLibraryLoader() override;

    // The file the setting names: an absolute or relative path as it stands,
    // a bare file name in `exeDir`, or in InstalledLibraryDir() when only
    // there; empty for an empty setting.
    static QString ResolvePath(const QString& setting, const QString& exeDir);
    // The private library folder of a program installed in `exeDir`:
    // <prefix>/lib/<multiarch>/linekeeper.
    static QString InstalledLibraryDir(const QString& exeDir);

    // Loads the library and resolves its four calls; nothing is called on a
    // library that lacks one of them.
    Load Open(const QString& file);
    bool IsOpen() const { return init_ != nullptr; }
    // Why the last Open failed, for the status bar.
    QString ErrorText() const { return error_; }

    // VX310Device_Init / Free; both do nothing without a library.
    void Init();
    void Free();
    // 0 without a library.
    std::int32_t ReadAll();
    // `requestId` is set to 0xFFFFFFFF first, so a library that leaves it
    // untouched names no pending request.
    std::int32_t WriteAll(tagDeviceParameters& params, std::uint32_t& requestId);

  signals:
    void Notified(unsigned w, unsigned l);

  private:
    static void Receive(void* context, std::uint32_t w, std::uint32_t l);

    QLibrary library_;
    QString error_;
    bool initialised_ = false;
    VX310Device_InitFn init_ = nullptr;
    VX310Device_ReadAllFn readAll_ = nullptr;
    VX310Device_WriteAllFn writeAll_ = nullptr;
    VX310Device_FreeFn free_ = nullptr;
};

}  // namespace lk::gui
