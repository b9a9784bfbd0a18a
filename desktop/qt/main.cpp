// Vellumine's entry: the application object, the desktop services and the main window.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fonts.h"
#include "platform_choice.h"
#include "qt_desktop_services.h"
#include "vellumine_version.h"

int main(int argc, char** argv) {
    PreferX11OnWayland(argc, argv);
    QApplication application(argc, argv);
    const std::string x11_display = X11DisplayName();
    QApplication::setApplicationName(QStringLiteral("Vellumine"));
    QApplication::setApplicationVersion(QStringLiteral(VELLUMINE_VERSION_TEXT));
    // The installed desktop entry's name: a native Wayland window carries it as its app id, by
    // which the shell gives it the entry's name and icon. (X11 shells go by WM_CLASS instead,
    // which the entry's StartupWMClass names.)
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.vellumine.Vellumine"));
    InstallFontStandIns();

    ClipboardHandOver clipboard_hand_over(x11_display);
    int status = 0;
    {
        QtDesktopServices desktop;
        desktop.HandOverClipboardAtClose(clipboard_hand_over);
        InstallDesktopServices(&desktop);
        try {
            desktop.ShowMainWindow();
        } catch (const Failure& failure) {
            std::fprintf(stderr, "vellumine: %s\n", failure.what());
            status = 1;
        }
        InstallDesktopServices(nullptr);
    }  // the single-instance claim goes with the window, so a new start is never turned away
    // The window hands the snippet to the keeper as it closes; this catches the ways out that
    // close no window (the session ending, say). Where the keeper is not at hand, returning
    // destroys the application object, which offers the text to a clipboard manager.
    clipboard_hand_over.RunOnce();
    if (OnNativeWayland()) {
        // Qt 6.4's Wayland plugin can hang as the application object goes: ~QWaylandDisplay
        // waits for its event thread, which waits in wl_display_read_events for a reader that
        // never comes. Nothing of ours needs that teardown (the compositor drops what we offered
        // the moment we disconnect), so under Wayland the program ends here.
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
