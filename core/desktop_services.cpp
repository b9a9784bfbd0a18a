// The process's one DesktopServices instance.
#include "desktop_services.h"

#include <cstdio>
#include <cstdlib>

namespace {
DesktopServices* installed_services = nullptr;
}  // namespace

void InstallDesktopServices(DesktopServices* services) {
    installed_services = services;
}

DesktopServices& Desktop() {
    if (installed_services == nullptr) {
        std::fputs("vellumine: the desktop was used before the program installed it\n", stderr);
        std::abort();
    }
    return *installed_services;
}
