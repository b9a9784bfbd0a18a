// Vellumine's entry: the application object, the desktop services and the main window.
#include <QApplication>
#include <cstdio>

#include "fonts.h"
#include "platform_choice.h"
#include "qt_desktop_services.h"
#include "vellumine_version.h"

int main(int argc, char** argv) {
    PreferX11OnWayland(argc, argv);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellumine"));
    QApplication::setApplicationVersion(QStringLiteral(VELLUMINE_VERSION_TEXT));
    // The installed desktop entry's name: a native Wayland window carries it as its app id, by
    // which the shell gives it the entry's name and icon. (X11 shells go by WM_CLASS instead,
    // which the entry's StartupWMClass names.)
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.vellumine.Vellumine"));
    InstallFontStandIns();

    QtDesktopServices desktop;
    InstallDesktopServices(&desktop);
    int status = 0;
    try {
        desktop.ShowMainWindow();
    } catch (const Failure& failure) {
        std::fprintf(stderr, "vellumine: %s\n", failure.what());
        status = 1;
    }
    InstallDesktopServices(nullptr);
    // Returning destroys the application object, which hands our clipboard text to a running
    // clipboard manager so that it stays pasteable after we are gone.
    return status;
}
