#include "support/DeviceLibraryLoader.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>

namespace lk::gui {

DeviceLibraryLoader::DeviceLibraryLoader(QObject* parent) : QObject(parent) {}

DeviceLibraryLoader::~DeviceLibraryLoader() {
    Free();
    // The library stays mapped: a thread it started may not have returned from
    // our callback yet, and unmapping its code under it would crash.
}

QString DeviceLibraryLoader::ResolvePath(const QString& setting, const QString& exeDir) {
    const QString s = setting.trimmed();
    if (s.isEmpty()) return {};
    if (s.contains(QLatin1Char('/'))) return s;
    const QString beside = QDir(exeDir).filePath(s);
    const QString installed = QDir(InstalledLibraryDir(exeDir)).filePath(s);
    if (!QFileInfo::exists(beside) && QFileInfo::exists(installed)) return installed;
    return beside;
}

QString DeviceLibraryLoader::InstalledLibraryDir(const QString& exeDir) {
    return QDir::cleanPath(QDir(exeDir).filePath(QStringLiteral("../" LK_PRIVATE_LIBDIR)));
}

DeviceLibraryLoader::Load DeviceLibraryLoader::Open(const QString& file) {
    Free();
    init_ = nullptr;
    error_.clear();
    if (file.isEmpty()) return Load::NotConfigured;
    if (!QFileInfo(file).isFile()) {
        error_ = file;
        return Load::NotFound;
    }
    library_.setFileName(QFileInfo(file).absoluteFilePath());
    if (!library_.load()) {
        error_ = library_.errorString();
        return Load::NotALibrary;
    }
    auto* init = reinterpret_cast<VX310Device_InitFn>(library_.resolve("VX310Device_Init"));
    auto* readAll =
        reinterpret_cast<VX310Device_ReadAllFn>(library_.resolve("VX310Device_ReadAll"));
    auto* writeAll =
        reinterpret_cast<VX310Device_WriteAllFn>(library_.resolve("VX310Device_WriteAll"));
    auto* freeFn = reinterpret_cast<VX310Device_FreeFn>(library_.resolve("VX310Device_Free"));
    if (!init || !readAll || !writeAll || !freeFn) {
        error_ = library_.errorString();
        library_.unload();
        return Load::MissingSymbol;
    }
    init_ = init;
    readAll_ = readAll;
    writeAll_ = writeAll;
    free_ = freeFn;
    return Load::Loaded;
}

void DeviceLibraryLoader::Receive(void* context, std::uint32_t w, std::uint32_t l) {
    auto* self = static_cast<DeviceLibraryLoader*>(context);
    // Posted to the owner's thread; dropped if the loader is gone by then.
    QMetaObject::invokeMethod(
        self, [self, w, l] { emit self->Notified(w, l); }, Qt::QueuedConnection);
}

void DeviceLibraryLoader::Init() {
    if (!init_ || initialised_) return;
    initialised_ = true;
    (void)init_(&DeviceLibraryLoader::Receive, this);
}

void DeviceLibraryLoader::Free() {
    if (!initialised_) return;
    initialised_ = false;
    free_();
}

std::int32_t DeviceLibraryLoader::ReadAll() {
    return initialised_ ? readAll_() : 0;
}

std::int32_t DeviceLibraryLoader::WriteAll(tagDeviceParameters& params, std::uint32_t& requestId) {
    requestId = 0xFFFFFFFFu;
    if (!initialised_) return 0;
    unsigned long id = 0xFFFFFFFFul;
    const std::int32_t accepted = writeAll_(&params, &id);
    // Ids are 32-bit; a library that fills all of a 64-bit long with ones
    // still means "none".
    requestId = static_cast<std::uint32_t>(id);
    return accepted;
}

}  // namespace lk::gui
