// linekeeper: the desktop program.

#include <unistd.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

#include "app/CRecorderApp.h"

int main(int argc, char** argv) {
    // The embedded browser shares GL contexts with the window; its sandbox
    // cannot run as root.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0 && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX"))
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);

    lk::gui::CRecorderApp app(argc, argv);
    if (!app.InitInstance(lk::gui::ParseStartOptions(app.arguments()))) {
        const QString why = app.StartRefusal();
        if (why.isEmpty()) return 0;  // the running program came to the front
        std::fprintf(stderr, "linekeeper: %s\n", why.toLocal8Bit().constData());
        QMessageBox::critical(nullptr, QStringLiteral("LineKeeper"), why);
        return 1;
    }
    const int code = app.exec();
    const int exitCode = app.ExitInstance();
    return code != 0 ? code : exitCode;
}
