// StartClipboardKeeper: starts the clipboard keeper and waits until it has taken over.
#include "clipboard_keeper_start.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <thread>
#include <vector>

#include "clipboard_keeper_contract.h"
#include "scope_guard.h"
#include "xcb_helpers.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kKeeperName[] = "vellumine-clipboard-keeper";

// Installed under libexec, found from where the program runs, so that a build tree and any
// install prefix work alike; in a build tree it sits beside the program.
std::string KeeperPath() {
    std::error_code error;
    const std::filesystem::path program_dir =
        std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error) {
        return {};
    }
    const std::filesystem::path candidates[] = {program_dir / kKeeperName,
                                                program_dir / VELLUMINE_KEEPER_DIR / kKeeperName};
    const auto found =
        std::find_if(std::begin(candidates), std::end(candidates),
                     [](const auto& path) { return ::access(path.c_str(), X_OK) == 0; });
    return found != std::end(candidates) ? found->lexically_normal().string() : std::string();
}

// Starts the keeper in a session of its own with default signal handling, its input the read
// end of `input`; returns its process id, or -1.
pid_t SpawnKeeper(const std::string& path, const std::string& display, XcbIdRange owners,
                  int input) {
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
    std::string base = std::to_string(owners.base);
    std::string mask = std::to_string(owners.mask);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    if (!display.empty()) {
        argv.push_back(const_cast<char*>("--display"));
        argv.push_back(const_cast<char*>(display.c_str()));
    }
    argv.insert(argv.end(), {const_cast<char*>("--owner-ids"), base.data(), mask.data(), nullptr});
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ) != 0) {
        return -1;
    }
    return pid;
}

// Writes all of `text` to the non-blocking `fd` unless `deadline` passes first.
bool WriteAll(int fd, std::string_view text, Clock::time_point deadline) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written > 0) {
            text.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno != EAGAIN) {
            return false;  // the keeper is gone; its exit status tells why
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd pipe{fd, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&pipe, 1, static_cast<int>(left.count()) + 1) == 0) {
            return false;
        }
    }
    return true;
}

// Waits until `deadline` for the keeper's first process to end; `ours` and `clipboard` say how
// to tell whether the clipboard is still ours.
KeeperOutcome AwaitKeeper(xcb_connection_t* connection, XcbIdRange ours, xcb_atom_t clipboard,
                          pid_t pid, Clock::time_point deadline) {
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : kKeeperFailed;
            return code == kKeeperServing     ? KeeperOutcome::Serving
                   : code == kKeeperNotNeeded ? KeeperOutcome::NotNeeded
                                              : KeeperOutcome::Failed;
        }
        if (done < 0 && errno != EINTR) {
            return KeeperOutcome::Failed;  // no child of ours: nothing to wait for or stop
        }
        if (Clock::now() > deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // Out of time. A keeper that already took the clipboard is only slow to say so, and killing
    // it would take the clipboard with it: it is left to detach and serve. One that has not is
    // stopped, under a server grab so that it cannot take the clipboard between our look and
    // the kill (its take-over waits on a grab of its own).
    xcb_grab_server(connection);
    const bool taken = !ours.Holds(SelectionOwner(connection, clipboard));
    if (!taken) {
        ::kill(pid, SIGKILL);
    }
    xcb_ungrab_server(connection);
    xcb_flush(connection);
    // Reaped only with the server free again: a killed keeper can take its time to die (stuck in
    // the kernel, say), and under our grab every program on the display would wait with us.
    if (!taken) {
        ::waitpid(pid, &status, 0);
    }
    return taken ? KeeperOutcome::Serving : KeeperOutcome::Failed;
}

}  // namespace

KeeperOutcome StartClipboardKeeper(xcb_connection_t* connection, const std::string& display,
                                   std::string_view text, std::chrono::milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    const XcbIdRange ours = XcbIdRange::Of(connection);
    const xcb_atom_t clipboard = InternAtom(connection, "CLIPBOARD");
    if (!ours.Holds(SelectionOwner(connection, clipboard))) {
        return KeeperOutcome::NotNeeded;
    }
    const std::string keeper = KeeperPath();
    int pipe_ends[2];
    if (keeper.empty() || text.size() > kLongestKeptText || ::pipe2(pipe_ends, O_CLOEXEC) != 0) {
        return KeeperOutcome::Failed;
    }
    pid_t pid = -1;
    bool written = false;
    {
        const ScopeGuard close_input([&] { ::close(pipe_ends[1]); });
        pid = SpawnKeeper(keeper, display, ours, pipe_ends[0]);
        ::close(pipe_ends[0]);
        if (pid > 0) {
            // A keeper that stops reading must hold us up no longer than the bound, nor end us
            // with SIGPIPE: we are closing anyway.
            ::signal(SIGPIPE, SIG_IGN);
            ::fcntl(pipe_ends[1], F_SETFL, O_NONBLOCK);
            written = WriteAll(pipe_ends[1], text, deadline);
            // A keeper that has not read all of the text is stopped while the pipe is still
            // open: closing it first would let the keeper take the end of the pipe for the end
            // of the text and serve a truncated snippet.
            if (!written) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    }  // the end of the text, which the keeper waits for
    if (pid <= 0 || !written) {
        return KeeperOutcome::Failed;
    }
    // The keeper's first process ends as soon as the clipboard is in its hands (or not needed);
    // the one that serves is no child of ours.
    return AwaitKeeper(connection, ours, clipboard, pid, deadline);
}
