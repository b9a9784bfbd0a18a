// SingleInstance as a socket name in Linux's abstract namespace.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cerrno>
#include <cstring>
#include <string>

#include "failure.h"

#include "single_instance.h"

SingleInstance::SingleInstance(QString name) : name_(std::move(name)) {}

SingleInstance::~SingleInstance() {
    if (claim_ >= 0) {
        ::close(claim_);
    }
}

bool SingleInstance::TryClaim() {
    if (claim_ >= 0) {
        return true;
    }
    // Binding an abstract name is atomic and the kernel frees it when the process dies, so two
    // copies started together cannot both win and a killed copy leaves nothing behind. Nothing
    // ever connects: holding the name is the claim.
    const QByteArray name = name_.toUtf8();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::min<std::size_t>(name.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.constData(), length);  // sun_path[0] = 0: abstract
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw Failure(std::string("cannot make the single-instance socket: ") +
                      std::strerror(errno));
    }
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        const int error = errno;
        ::close(fd);
        // Only a name in use means another copy; anything else must not end this one silently.
        if (error == EADDRINUSE) {
            return false;
        }
        throw Failure(std::string("cannot claim the single instance: ") + std::strerror(error));
    }
    claim_ = fd;
    return true;
}

QString SingleInstance::DefaultName() {
    QString session = qEnvironmentVariable("DISPLAY");
    if (QGuiApplication::platformName() == QStringLiteral("wayland")) {
        session = qEnvironmentVariable("WAYLAND_DISPLAY");
    }
    return QStringLiteral("vellumine-%1-%2").arg(::getuid()).arg(session);
}
