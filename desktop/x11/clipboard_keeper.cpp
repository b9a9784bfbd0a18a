// vellumine-clipboard-keeper: serves a text on the X11 CLIPBOARD after Vellumine has closed.
//
//   vellumine-clipboard-keeper [--display NAME] [--owner-ids BASE MASK]
//
// Reads the text (UTF-8, at most kLongestKeptText bytes) from standard input up to its end,
// connects to display NAME ($DISPLAY when not given) and takes the CLIPBOARD over, but only while
// its owner is a window of the client whose ids are BASE with bits of MASK set (decimal;
// Vellumine passes its own connection's): the check and the take-over happen under a server
// grab, so the clipboard never has a moment without an owner and a newer copy by another program
// is never taken away. Without --owner-ids it takes the clipboard from whoever has it. Once the
// clipboard is held, the process detaches (the first process exits kKeeperServing), so the
// caller may end at once; the other exit statuses are in clipboard_keeper_contract.h.
//
// It takes the clipboard even where a clipboard manager owns CLIPBOARD_MANAGER: owning that
// proves nothing (wlroots' X11 window manager owns it and keeps nothing), and a manager that
// does keep the text takes the clipboard from us, which ends us.
//
// It serves UTF8_STRING, text/plain;charset=utf-8, STRING, TARGETS and TIMESTAMP, large replies
// incrementally (INCR), and ends as soon as the server says that another window owns the
// clipboard, or when the X server goes away; a SelectionClear alone proves nothing, since any
// client can send one. MULTIPLE is refused (no text program needs it). A requestor cannot make it
// grow or wait: every transfer reads the one copy of the text, at most kMostTransfers incremental
// ones run at a time, and one whose requestor stops reading for kStalledTransfer is dropped.
// Beside the C++ runtime it links libxcb alone.
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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "clipboard_keeper_contract.h"
#include "xcb_helpers.h"

namespace {

// Replies above this go incrementally even when the server would take more in one request:
// requestors must not be made to allocate one large property at once.
constexpr std::size_t kLargestWholeReply = std::size_t{256} * 1024;
// Incremental replies in progress at once; a further large request is refused until one ends.
constexpr std::size_t kMostTransfers = 4;
// A requestor that stops reading an incremental reply for this long is given up. Real
// requestors read each chunk at once; Qt's own clipboard gives up after the same time.
constexpr auto kStalledTransfer = std::chrono::seconds(5);

using Clock = std::chrono::steady_clock;

struct Atoms {
    xcb_atom_t clipboard, targets, timestamp, incr, atom, integer, utf8, text_plain, string;
};

// An incremental reply in progress: the next chunk goes out when the requestor deletes the
// property it read.
struct Transfer {
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    // cppcheck-suppress unusedStructMember ; read through the iterator in Step
    const std::string* data;  // the keeper's own text, in the form asked for
    std::size_t sent = 0;
    Clock::time_point last_step;
};

// Standard input up to its end, or nothing when it holds more than kLongestKeptText bytes.
std::optional<std::string> ReadText(int fd) {
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            if (text.size() + static_cast<std::size_t>(got) > kLongestKeptText) {
                return std::nullopt;
            }
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            return text;
        } else if (errno != EINTR) {
            return std::nullopt;
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

    // Takes the clipboard from a window of `owners` (from anyone when unset); returns the exit
    // status.
    int TakeOver(std::optional<XcbIdRange> owners);
    // Serves requests until the clipboard is lost or the server goes away.
    void Serve();

private:
    xcb_timestamp_t ServerTime();
    void Answer(const xcb_selection_request_event_t& request);
    bool Reply(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target);
    void Step(const xcb_property_notify_event_t& event);

    xcb_connection_t* connection_;
    const std::string text_;
    std::optional<std::string> latin1_;  // made at the first request for STRING
    Atoms atoms_{};
    xcb_window_t window_ = XCB_NONE;
    xcb_timestamp_t owned_since_ = XCB_CURRENT_TIME;
    std::size_t largest_reply_ = kLargestWholeReply;
    std::vector<Transfer> transfers_;
};

// The server's current time, which a selection owner must name: a property change on our own
// window comes back stamped with it.
xcb_timestamp_t Keeper::ServerTime() {
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, atoms_.timestamp,
                        atoms_.integer, 32, 0, nullptr);
    xcb_flush(connection_);
    while (xcb_generic_event_t* event = xcb_wait_for_event(connection_)) {
        const XcbPtr<xcb_generic_event_t> owned(event);
        if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
            return reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
        }
    }
    return XCB_CURRENT_TIME;
}

int Keeper::TakeOver(std::optional<XcbIdRange> owners) {
    atoms_ = {InternAtom(connection_, "CLIPBOARD"),
              InternAtom(connection_, "TARGETS"),
              InternAtom(connection_, "TIMESTAMP"),
              InternAtom(connection_, "INCR"),
              XCB_ATOM_ATOM,
              XCB_ATOM_INTEGER,
              InternAtom(connection_, "UTF8_STRING"),
              InternAtom(connection_, "text/plain;charset=utf-8"),
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
        return kKeeperFailed;
    }

    xcb_grab_server(connection_);
    const bool needed = !owners || owners->Holds(SelectionOwner(connection_, atoms_.clipboard));
    if (needed) {
        xcb_set_selection_owner(connection_, window_, atoms_.clipboard, owned_since_);
    }
    xcb_ungrab_server(connection_);
    if (!needed) {
        return kKeeperNotNeeded;
    }
    return SelectionOwner(connection_, atoms_.clipboard) == window_ ? kKeeperServing
                                                                    : kKeeperFailed;
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
    const std::string* data = nullptr;
    if (target == atoms_.utf8 || target == atoms_.text_plain) {
        data = &text_;
    } else if (target == atoms_.string) {
        if (!latin1_) {
            latin1_ = Latin1(text_);
        }
        data = &*latin1_;
    } else {
        return false;  // MULTIPLE and everything else are refused
    }
    if (data->size() <= largest_reply_) {
        put(target, 8, data->size(), data->data());
        return true;
    }
    // A requestor asking again on the same property has given up its earlier transfer.
    std::erase_if(transfers_, [&](const Transfer& transfer) {
        return transfer.requestor == requestor && transfer.property == property;
    });
    if (transfers_.size() >= kMostTransfers) {
        return false;
    }
    // Too large for one request: announce the size, then hand the data over chunk by chunk as
    // the requestor deletes each one (ICCCM 2.7.2).
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection_, requestor, XCB_CW_EVENT_MASK, &events);
    const auto size = static_cast<std::uint32_t>(data->size());
    put(atoms_.incr, 32, 1, &size);
    transfers_.push_back({requestor, property, target, data, 0, Clock::now()});
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
    const auto it = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer& t) {
        return t.requestor == event.window && t.property == event.atom;
    });
    if (it == transfers_.end()) {
        return;
    }
    // The last, empty chunk tells the requestor that the data is complete.
    const std::size_t count = std::min(largest_reply_, it->data->size() - it->sent);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, it->requestor, it->property, it->type,
                        8, static_cast<std::uint32_t>(count), it->data->data() + it->sent);
    it->sent += count;
    it->last_step = Clock::now();
    if (count == 0) {
        transfers_.erase(it);
    }
    xcb_flush(connection_);
}

void Keeper::Serve() {
    pollfd connection{xcb_get_file_descriptor(connection_), POLLIN, 0};
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            const XcbPtr<xcb_generic_event_t> owned(event);
            switch (event->response_type & 0x7F) {
                case XCB_SELECTION_CLEAR:
                    // Any client may send one, for any selection: only the server's word counts.
                    if (SelectionOwner(connection_, atoms_.clipboard) != window_) {
                        return;  // another program has the clipboard now: ours is history
                    }
                    break;
                case XCB_SELECTION_REQUEST:
                    Answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
                    break;
                case XCB_PROPERTY_NOTIFY:
                    Step(*reinterpret_cast<xcb_property_notify_event_t*>(event));
                    break;
                default:
                    break;  // errors about requestors' windows that have gone, among others
            }
        }
        if (xcb_connection_has_error(connection_)) {
            return;  // the X server went away: the session is over
        }
        const Clock::time_point now = Clock::now();
        std::erase_if(transfers_, [now](const Transfer& transfer) {
            return now - transfer.last_step >= kStalledTransfer;
        });
        ::poll(&connection, 1, transfers_.empty() ? -1 : 500);
    }
}

// Lets the caller go on: the first process exits 0 (or 1 if it cannot fork), and a child that is
// nobody's child once the caller has gone serves on.
void Detach() {
    const pid_t child = ::fork();
    if (child != 0) {
        ::_exit(child > 0 ? kKeeperServing : kKeeperFailed);
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

// A decimal 32-bit number, the whole of `text`.
std::optional<std::uint32_t> Number(const char* text) {
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

int Refuse(const char* why) {
    std::fprintf(stderr, "vellumine-clipboard-keeper: %s\n", why);
    return kKeeperFailed;
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing the caller had open (its single-instance claim, say) may live on in us.
    ::close_range(3, ~0u, 0);
    const char* display = nullptr;
    std::optional<XcbIdRange> owners;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--display" && i + 1 < argc) {
            display = argv[++i];
        } else if (option == "--owner-ids" && i + 2 < argc) {
            const auto base = Number(argv[i + 1]);
            const auto mask = Number(argv[i + 2]);
            if (!base || !mask || *mask == 0) {
                return Refuse("--owner-ids takes two decimal numbers, the mask not 0");
            }
            owners = XcbIdRange{*base, *mask};
            i += 2;
        } else {
            return Refuse(
                "usage: vellumine-clipboard-keeper [--display NAME] "
                "[--owner-ids BASE MASK]");
        }
    }
    std::optional<std::string> text = ReadText(STDIN_FILENO);
    if (!text) {
        return Refuse("the text is too long or could not be read");
    }
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return Refuse("cannot reach the X server");
    }
    Keeper keeper(connection, std::move(*text));
    const int status = keeper.TakeOver(owners);
    if (status != kKeeperServing) {
        xcb_disconnect(connection);
        return status;
    }
    Detach();
    keeper.Serve();
    xcb_disconnect(connection);
    return 0;
}
