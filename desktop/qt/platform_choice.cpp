// The choice of Qt platform plugin, and the one made.
#include "platform_choice.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QtGlobal>
#include <cstring>

void PreferX11OnWayland(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        return;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return;
        }
    }
    const bool wayland = qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
                         qgetenv("XDG_SESSION_TYPE") == QByteArrayLiteral("wayland");
    if (wayland && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb"));
    }
}

bool OnNativeWayland() {
    return QGuiApplication::platformName() == QLatin1String("wayland");
}
