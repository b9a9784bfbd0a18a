// SingleInstance as a socket name in Linux's abstract namespace and a lock in the user's
// private runtime folder.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "failure.h"
#include "platform_choice.h"
#include "single_instance.h"

namespace {

// How long a copy that has bound the name may take to listen on it.
constexpr int kListenAttempts = 40;
constexpr auto kListenWait = std::chrono::milliseconds(5);

struct AbstractAddress {
    sockaddr_un address{};
    socklen_t size = 0;
};

AbstractAddress AddressFor(const QString& name) {
    const QByteArray bytes = name.toUtf8();
    AbstractAddress result;
    result.address.sun_family = AF_UNIX;
    const std::size_t length =
        std::min<std::size_t>(bytes.size(), sizeof result.address.sun_path - 1);
    std::memcpy(result.address.sun_path + 1, bytes.constData(), length);  // [0] = 0: abstract
    result.size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    return result;
}

int Socket() {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        throw Failure(std::string("cannot make the single-instance socket: ") +
                      std::strerror(errno));
    }
    return fd;
}

// Whether the process that holds the name runs as this user. Any user can bind any abstract
// name, so the name alone proves nothing; our copies listen on it so that the kernel can tell
// (SO_PEERCRED) who holds it. A holder that does not listen is not one of ours.
bool HeldByThisUser(const AbstractAddress& address) {
    for (int attempt = 0; attempt < kListenAttempts; ++attempt) {
        const int fd = Socket();
        const int connected =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address.address), address.size);
        const int error = errno;
        ucred peer{};
        socklen_t size = sizeof peer;
        const bool known =
            connected == 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0;
        ::close(fd);
        if (known) {
            return peer.uid == ::getuid();
        }
        if (error != ECONNREFUSED && error != EAGAIN) {
            return false;  // freed meanwhile: no copy runs under that name now
        }
        std::this_thread::sleep_for(kListenWait);  // a copy between bind and listen
    }
    return false;
}

enum class Lock { Taken, Busy, Unavailable };

// Locks a file in $XDG_RUNTIME_DIR: a folder on a memory file system that only this user can
// write to, so no other user can take or block the lock. The kernel drops the lock when the
// process dies; the empty file stays until the session ends.
Lock LockInRuntimeFolder(const QString& name, int* lock) {
    const QByteArray folder = qgetenv("XDG_RUNTIME_DIR");
    if (!folder.startsWith('/')) {
        return Lock::Unavailable;
    }
    const int folder_fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd < 0) {
        return Lock::Unavailable;
    }
    struct stat status {};
    const bool private_folder = ::fstat(folder_fd, &status) == 0 && status.st_uid == ::getuid() &&
                                (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    const QByteArray file = QString(name).replace(QLatin1Char('/'), QLatin1Char('_')).toUtf8() +
                            QByteArrayLiteral(".lock");
    const int fd = private_folder ? ::openat(folder_fd, file.constData(),
                                             O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)
                                  : -1;
    ::close(folder_fd);
    if (fd < 0) {
        return Lock::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Lock::Busy : Lock::Unavailable;
    }
    *lock = fd;
    return Lock::Taken;
}

}  // namespace

SingleInstance::SingleInstance(QString name) : name_(std::move(name)) {}

SingleInstance::~SingleInstance() {
    Release();
}

void SingleInstance::Release() {
    callers_.reset();
    for (int* fd : {&listener_, &lock_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
    held_ = false;
}

bool SingleInstance::TryClaim() {
    if (held_) {
        return true;
    }
    // Binding an abstract name is atomic and the kernel frees it when the process dies, so two
    // copies started together cannot both win and a killed copy leaves nothing behind.
    const AbstractAddress address = AddressFor(name_);
    const int fd = Socket();
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address.address), address.size) == 0 &&
        ::listen(fd, SOMAXCONN) == 0) {
        listener_ = fd;
        // Those who ask are answered by the connection itself; nothing is read or written.
        callers_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(callers_.get(), &QSocketNotifier::activated, [fd] {
            while (true) {
                const int caller = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (caller < 0) {
                    break;
                }
                ::close(caller);
            }
        });
    } else {
        const int error = errno;
        ::close(fd);
        // Only a name in use means another copy; anything else must not end this one silently.
        if (error != EADDRINUSE) {
            throw Failure(std::string("cannot claim the single instance: ") + std::strerror(error));
        }
        if (HeldByThisUser(address)) {
            return false;
        }
    }
    // The lock decides between copies of this user when another user holds the name, and
    // wherever the name was free it is taken as well, so the two claims never disagree.
    if (LockInRuntimeFolder(name_, &lock_) == Lock::Busy) {
        Release();
        return false;
    }
    held_ = true;
    return true;
}

QString SingleInstance::DefaultName() {
    QString session = qEnvironmentVariable("DISPLAY");
    if (OnNativeWayland()) {
        session = qEnvironmentVariable("WAYLAND_DISPLAY");
    }
    return QStringLiteral("vellumine-%1-%2").arg(::getuid()).arg(session);
}
