// Vellumine's entry: the application object, the desktop services and the main window.
#include <QApplication>
#include <cstdio>

#include "clipboard_keeper_start.h"
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

    int status = 0;
    {
        QtDesktopServices desktop;
        InstallDesktopServices(&desktop);
        try {
            desktop.ShowMainWindow();
        } catch (const Failure& failure) {
            std::fprintf(stderr, "vellumine: %s\n", failure.what());
            status = 1;
        }
        InstallDesktopServices(nullptr);
    }  // the single-instance claim goes with the window, so a new start is never turned away
    // The snippet stays pasteable after we are gone: a keeper takes the clipboard over, or,
    // where a clipboard manager runs, returning destroys the application object, which hands
    // the text to the manager.
    KeepClipboardAfterExit();
    return status;
}
