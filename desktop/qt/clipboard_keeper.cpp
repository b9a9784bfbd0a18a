// vellumine-clipboard-keeper: serves a text on the X11 CLIPBOARD after Vellumine has closed.
//
//   vellumine-clipboard-keeper [WINDOW]
//
// Reads the text (UTF-8) from standard input up to its end, then takes the CLIPBOARD over, but
// only while WINDOW (Vellumine's clipboard window, in decimal) still owns it and no clipboard
// manager runs to keep it: the check and the take-over happen under a server grab, so the
// clipboard never has a moment without an owner and is never taken from a newer owner. Once the
// clipboard is held, the process detaches (the first process exits 0), so the caller may end at
// once. Exit status of the first process: 0 serving, 3 not needed, 1 failure.
//
// It serves UTF8_STRING, text/plain;charset=utf-8, STRING, TARGETS and TIMESTAMP, large replies
// incrementally (INCR), and ends as soon as another program takes the clipboard or the X server
// goes away. Beside the C++ runtime it links libxcb alone: about 1.5 MiB resident, the text
// included. MULTIPLE is refused (no text program needs it).
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kServing = 0;
constexpr int kFailed = 1;
constexpr int kNotNeeded = 3;
// Replies above this go incrementally even when the server would take more in one request:
// requestors must not be made to allocate one large property at once.
constexpr std::size_t kLargestWholeReply = std::size_t{256} * 1024;
// A requestor that stops reading an incremental reply is given up after this long.
constexpr auto kStalledTransfer = std::chrono::seconds(30);

using Clock = std::chrono::steady_clock;

struct Atoms {
    xcb_atom_t clipboard, manager, targets, timestamp, multiple, incr, atom, integer, utf8,
        text_plain, string;
};

// An incremental reply in progress: the next chunk goes out when the requestor deletes the
// property it read.
struct Transfer {
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    std::string data;
    std::size_t sent = 0;
    Clock::time_point last_step;
};

std::string ReadAll(int fd) {
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            return text;
        }
    }
}

// STRING is ISO 8859-1: characters beyond it become '?'.
std::string Latin1(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const int length = byte < 0xC0 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
        if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else if (length == 2 && byte <= 0xC3 && i + 1 < utf8.size()) {
            out += static_cast<char>(((byte & 0x03) << 6) | (utf8[i + 1] & 0x3F));
        } else {
            out += '?';
        }
        i += static_cast<std::size_t>(length);
    }
    return out;
}

class Keeper {
public:
    Keeper(xcb_connection_t* connection, std::string text)
        : connection_(connection), text_(std::move(text)) {}

    // Takes the clipboard from expected_owner (any owner when 0); returns the exit status.
    int TakeOver(xcb_window_t expected_owner);
    // Serves requests until the clipboard is lost or the server goes away.
    void Serve();

private:
    xcb_atom_t Intern(const char* name);
    xcb_timestamp_t ServerTime();
    void Answer(const xcb_selection_request_event_t& request);
    bool Reply(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target);
    void Step(const xcb_property_notify_event_t& event);

    xcb_connection_t* connection_;
    std::string text_;
    Atoms atoms_{};
    xcb_window_t window_ = XCB_NONE;
    xcb_timestamp_t owned_since_ = XCB_CURRENT_TIME;
    std::size_t largest_reply_ = kLargestWholeReply;
    std::vector<Transfer> transfers_;
};

xcb_atom_t Keeper::Intern(const char* name) {
    const auto cookie =
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection_, cookie, nullptr), &std::free);
    return reply ? reply->atom : XCB_NONE;
}

// The server's current time, which a selection owner must name: a property change on our own
// window comes back stamped with it.
xcb_timestamp_t Keeper::ServerTime() {
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, atoms_.timestamp,
                        atoms_.integer, 32, 0, nullptr);
    xcb_flush(connection_);
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection_)) {
        const bool stamp = (event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY;
        const xcb_timestamp_t time =
            stamp ? reinterpret_cast<xcb_property_notify_event_t*>(event)->time : 0;
        std::free(event);
        if (stamp) {
            return time;
        }
    }
    return XCB_CURRENT_TIME;
}

int Keeper::TakeOver(xcb_window_t expected_owner) {
    atoms_ = {Intern("CLIPBOARD"),   Intern("CLIPBOARD_MANAGER"),
              Intern("TARGETS"),     Intern("TIMESTAMP"),
              Intern("MULTIPLE"),    Intern("INCR"),
              XCB_ATOM_ATOM,         XCB_ATOM_INTEGER,
              Intern("UTF8_STRING"), Intern("text/plain;charset=utf-8"),
              XCB_ATOM_STRING};
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    // The request header and the ChangeProperty fields take 24 bytes of a request.
    const std::size_t largest_request = xcb_get_maximum_request_length(connection_) * 4u - 24u;
    largest_reply_ = std::min(largest_reply_, largest_request);
    window_ = xcb_generate_id(connection_);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    owned_since_ = ServerTime();
    if (owned_since_ == XCB_CURRENT_TIME) {
        return kFailed;
    }

    xcb_grab_server(connection_);
    const auto owner_of = [this](xcb_atom_t selection) {
        std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
            xcb_get_selection_owner_reply(connection_,
                                          xcb_get_selection_owner(connection_, selection), nullptr),
            &std::free);
        return reply ? reply->owner : XCB_NONE;
    };
    const xcb_window_t manager = owner_of(atoms_.manager);
    const xcb_window_t owner = owner_of(atoms_.clipboard);
    const bool needed =
        manager == XCB_NONE && (expected_owner == XCB_NONE || owner == expected_owner);
    if (needed) {
        xcb_set_selection_owner(connection_, window_, atoms_.clipboard, owned_since_);
    }
    xcb_ungrab_server(connection_);
    if (!needed) {
        return kNotNeeded;
    }
    return owner_of(atoms_.clipboard) == window_ ? kServing : kFailed;
}

bool Keeper::Reply(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target) {
    const auto put = [&](xcb_atom_t type, std::uint8_t format, std::size_t count,
                         const void* data) {
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, requestor, property, type, format,
                            static_cast<std::uint32_t>(count), data);
    };
    if (target == atoms_.targets) {
        const xcb_atom_t offered[] = {atoms_.targets, atoms_.timestamp, atoms_.utf8,
                                      atoms_.text_plain, atoms_.string};
        put(atoms_.atom, 32, std::size(offered), offered);
        return true;
    }
    if (target == atoms_.timestamp) {
        put(atoms_.integer, 32, 1, &owned_since_);
        return true;
    }
    std::string data;
    xcb_atom_t type = target;
    if (target == atoms_.utf8 || target == atoms_.text_plain) {
        data = text_;
    } else if (target == atoms_.string) {
        data = Latin1(text_);
    } else {
        return false;  // MULTIPLE and everything else are refused
    }
    if (data.size() <= largest_reply_) {
        put(type, 8, data.size(), data.data());
        return true;
    }
    // Too large for one request: announce the size, then hand the data over chunk by chunk as
    // the requestor deletes each one (ICCCM 2.7.2).
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection_, requestor, XCB_CW_EVENT_MASK, &events);
    const auto size = static_cast<std::uint32_t>(data.size());
    put(atoms_.incr, 32, 1, &size);
    transfers_.push_back({requestor, property, type, std::move(data), 0, Clock::now()});
    return true;
}

void Keeper::Answer(const xcb_selection_request_event_t& request) {
    // Obsolete requestors name no property: the target then serves as one.
    const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
    const bool in_time = request.time == XCB_CURRENT_TIME || request.time >= owned_since_;
    const bool answered = request.selection == atoms_.clipboard && in_time &&
                          Reply(request.requestor, property, request.target);
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = answered ? property : XCB_NONE;
    xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notify));
    xcb_flush(connection_);
}

void Keeper::Step(const xcb_property_notify_event_t& event) {
    if (event.state != XCB_PROPERTY_DELETE) {
        return;
    }
    for (auto it = transfers_.begin(); it != transfers_.end(); ++it) {
        if (it->requestor != event.window || it->property != event.atom) {
            continue;
        }
        // The last, empty chunk tells the requestor that the data is complete.
        const std::size_t count = std::min(largest_reply_, it->data.size() - it->sent);
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, it->requestor, it->property,
                            it->type, 8, static_cast<std::uint32_t>(count),
                            it->data.data() + it->sent);
        it->sent += count;
        it->last_step = Clock::now();
        if (count == 0) {
            transfers_.erase(it);
        }
        xcb_flush(connection_);
        return;
    }
}

void Keeper::Serve() {
    pollfd connection{xcb_get_file_descriptor(connection_), POLLIN, 0};
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(event,
                                                                                   &std::free);
            switch (event->response_type & 0x7F) {
                case XCB_SELECTION_CLEAR:
                    return;  // another program has the clipboard now: ours is history
                case XCB_SELECTION_REQUEST:
                    Answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
                    break;
                case XCB_PROPERTY_NOTIFY:
                    Step(*reinterpret_cast<xcb_property_notify_event_t*>(event));
                    break;
                default:
                    break;
            }
        }
        if (xcb_connection_has_error(connection_)) {
            return;  // the X server went away: the session is over
        }
        std::erase_if(transfers_, [](const Transfer& transfer) {
            return Clock::now() - transfer.last_step > kStalledTransfer;
        });
        ::poll(&connection, 1, transfers_.empty() ? -1 : 1000);
    }
}

// Lets the caller go on: the first process exits 0 (or 1 if it cannot fork), and a child that is
// nobody's child once the caller has gone serves on.
void Detach() {
    const pid_t child = ::fork();
    if (child != 0) {
        ::_exit(child > 0 ? kServing : kFailed);
    }
    // Nothing of the caller's terminal or folder is kept busy while we serve.
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    if (::chdir("/") != 0) {
        // Serving from the old folder does no harm.
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing the caller had open (its single-instance claim, say) may live on in us.
    ::close_range(3, ~0u, 0);
    const xcb_window_t expected_owner =
        argc > 1 ? static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 10)) : XCB_NONE;
    std::string text = ReadAll(STDIN_FILENO);
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "vellumine-clipboard-keeper: cannot reach the X server\n");
        return kFailed;
    }
    Keeper keeper(connection, std::move(text));
    const int status = keeper.TakeOver(expected_owner);
    if (status != kServing) {
        xcb_disconnect(connection);
        return status;
    }
    Detach();
    keeper.Serve();
    xcb_disconnect(connection);
    return 0;
}
