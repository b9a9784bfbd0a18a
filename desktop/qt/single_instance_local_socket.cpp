// SingleInstance on a local socket in Linux's abstract namespace.
#include <unistd.h>

#include <QGuiApplication>
#include <QLocalServer>

#include "single_instance.h"

SingleInstance::SingleInstance(QString name) : name_(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::TryClaim() {
    if (server_) {
        return true;
    }
    // Binding an abstract name is atomic and the kernel frees it when the process dies, so two
    // copies started together cannot both win and a killed copy leaves nothing behind. Listening
    // first (rather than trying to connect) keeps that guarantee.
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!server->listen(name_)) {
        return false;
    }
    server_ = std::move(server);
    return true;
}

QString SingleInstance::DefaultName() {
    QString session = qEnvironmentVariable("DISPLAY");
    if (QGuiApplication::platformName() == QStringLiteral("wayland")) {
        session = qEnvironmentVariable("WAYLAND_DISPLAY");
    }
    return QStringLiteral("vellumine-%1-%2").arg(::getuid()).arg(session);
}
