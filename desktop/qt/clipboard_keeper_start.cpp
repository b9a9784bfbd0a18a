// KeepClipboardAfterExit: starts the clipboard keeper and waits until it has taken over.
#include "clipboard_keeper_start.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "scope_guard.h"

namespace {

constexpr auto kKeeperTakeOver = std::chrono::seconds(5);

// Installed under libexec, found from where the program runs, so that a build tree and any
// install prefix work alike; in a build tree it sits beside the program.
std::string KeeperPath() {
    const QDir program_dir(QCoreApplication::applicationDirPath());
    for (const QString& path : {program_dir.filePath(QStringLiteral("vellumine-clipboard-keeper")),
                                program_dir.filePath(QStringLiteral(
                                    VELLUMINE_KEEPER_DIR "/vellumine-clipboard-keeper"))}) {
        if (QFileInfo(path).isExecutable()) {
            return QFile::encodeName(QDir::cleanPath(path)).toStdString();
        }
    }
    return {};
}

xcb_window_t ClipboardOwner(xcb_connection_t* connection) {
    const char name[] = "CLIPBOARD";
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name),
                              nullptr),
        &std::free);
    if (!atom) {
        return XCB_NONE;
    }
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr),
        &std::free);
    return owner ? owner->owner : XCB_NONE;
}

// Starts the keeper in a session of its own with default signal handling, its input the read
// end of `input`; returns its process id, or -1.
pid_t SpawnKeeper(const std::string& path, xcb_window_t owner, int input) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    const ScopeGuard release([&] {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    });
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    sigset_t signal_set;
    sigemptyset(&signal_set);
    posix_spawnattr_setsigmask(&attributes, &signal_set);
    sigfillset(&signal_set);
    posix_spawnattr_setsigdefault(&attributes, &signal_set);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::string owner_text = std::to_string(owner);
    char* const argv[] = {const_cast<char*>(path.c_str()), owner_text.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ) != 0) {
        return -1;
    }
    return pid;
}

void WriteAll(int fd, const QByteArray& data) {
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t written =
            ::write(fd, data.constData() + done, static_cast<std::size_t>(data.size() - done));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // the keeper is gone; its exit status tells
        }
        done += written;
    }
}

}  // namespace

void KeepClipboardAfterExit() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr) {
        return;
    }
    // A loss of the clipboard may still wait in the queue; it must count before we decide.
    QCoreApplication::processEvents();
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString text = clipboard->text(QClipboard::Clipboard);
    if (!clipboard->ownsClipboard() || text.isEmpty()) {
        return;
    }
    const std::string keeper = KeeperPath();
    const xcb_window_t owner = ClipboardOwner(x11->connection());
    int pipe_ends[2];
    if (keeper.empty() || owner == XCB_NONE || ::pipe2(pipe_ends, O_CLOEXEC) != 0) {
        return;
    }
    const pid_t pid = SpawnKeeper(keeper, owner, pipe_ends[0]);
    ::close(pipe_ends[0]);
    // A keeper that ends early must not end us with SIGPIPE: we are closing anyway.
    ::signal(SIGPIPE, SIG_IGN);
    if (pid > 0) {
        WriteAll(pipe_ends[1], text.toUtf8());
    }
    ::close(pipe_ends[1]);
    if (pid <= 0) {
        return;
    }
    // The keeper's first process ends as soon as the clipboard is in its hands (or not needed);
    // the one that serves is no child of ours. Only a hung keeper is stopped.
    const auto deadline = std::chrono::steady_clock::now() + kKeeperTakeOver;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
