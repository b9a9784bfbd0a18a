// Vellumine's entry on Windows: common controls, the desktop services and the main window.
#include <windows.h>
// Needs the types that windows.h declares.
#include <commctrl.h>
#include <ole2.h>

#include <cstdio>
#include <exception>

#include "scope_guard.h"
#include "win32_desktop_services.h"

int main() {
    // Makes the version 6 button and static classes that the manifest asks for available, and
    // the tooltip class.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&controls);
    // COM in a single-threaded apartment, for drags with feedback, the file chooser and the
    // accessibility annotations; without it the window still takes plain drops.
    const bool ole = SUCCEEDED(::OleInitialize(nullptr));
    ScopeGuard uninitialise([ole]() noexcept {
        if (ole) {
            ::OleUninitialize();
        }
    });

    int status = 0;
    try {
        Win32DesktopServices desktop(::GetModuleHandleW(nullptr));
        InstallDesktopServices(&desktop);
        ScopeGuard uninstall([]() noexcept { InstallDesktopServices(nullptr); });
        desktop.ShowMainWindow();
    } catch (const std::exception& failure) {
        // A GUI program's stderr goes nowhere on Windows, but Wine and a debugger show it.
        std::fprintf(stderr, "vellumine: %s\n", failure.what());
        status = 1;
    }
    return status;
}
