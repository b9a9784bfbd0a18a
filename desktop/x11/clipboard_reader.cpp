// ReadClipboardFormat: ConvertSelection, the property's length and first bytes, then the rest.
#include "clipboard_reader.h"

#include <poll.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stop_token>
#include <thread>

#include "dib.h"
#include "failure.h"
#include "functions.h"
#include "picture_rules.h"
#include "xcb_helpers.h"

namespace {

using Clock = std::chrono::steady_clock;

// A BMP file's header, the largest info header (BITMAPV5HEADER) and the three masks that follow
// a short one: all that ReadBmpFileShape needs.
constexpr std::size_t kShapeBytes = 14 + 124 + 16;
// The first bytes fetched of a whole property: the shape's, rounded up to whole units.
constexpr std::uint64_t kHeadBytes = (kShapeBytes + 3) / 4 * 4;
// A large property is read in pieces of this many 32-bit units, so that no reply holds a second
// copy of the whole picture beside the buffer it goes into.
constexpr std::uint32_t kPieceUnits = 256 * 1024;
// How often a wait looks whether it was asked to stop.
constexpr std::chrono::milliseconds kStopCheck{100};
// Room for a colour table and a gap before the pixels, beyond what a bitmap's rows take.
constexpr std::uint64_t kBitmapSlack = std::uint64_t{64} * 1024;

// The most bytes a format may have and still be taken; 0 refuses it whatever its length.
std::uint64_t MostBytes(ClipboardFormatKind kind, std::span<const std::uint8_t> start) {
    if (kind == ClipboardFormatKind::Encoded) {
        return functions::MaxFileBytes;
    }
    const BitmapShape shape = ReadBmpFileShape(start);
    if (PngCannotFit(shape.width, shape.height, shape.png_bits)) {
        return 0;
    }
    // Rows of 32-bit pixels are the longest a bitmap has; runs take at most two bytes a pixel.
    return kShapeBytes + kBitmapSlack + std::uint64_t{shape.width} * 4 * shape.height;
}

class Connection {
public:
    explicit Connection(const std::string& display)
        : connection_(xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr)) {
        if (xcb_connection_has_error(connection_) != 0) {
            xcb_disconnect(connection_);
            throw Failure("cannot connect to the X display");
        }
    }
    ~Connection() { xcb_disconnect(connection_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    xcb_connection_t* Get() const { return connection_; }

private:
    xcb_connection_t* connection_;
};

// One request for the clipboard, from a window of its own that hears when its property changes.
// The window goes with the connection; an incremental transfer refused part-way is drained
// first (see Drain), since its owner may not survive the window going under it.
class Transfer {
public:
    Transfer(const std::string& display, std::string_view target, Clock::time_point deadline)
        : connection_(display), deadline_(deadline) {
        xcb_connection_t* c = connection_.Get();
        const char* const names[] = {"CLIPBOARD", "INCR", "VELLUMINE_PICTURE"};
        xcb_intern_atom_cookie_t cookies[4];
        for (int i = 0; i < 3; ++i) {
            cookies[i] =
                xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
        }
        cookies[3] =
            xcb_intern_atom(c, 0, static_cast<std::uint16_t>(target.size()), target.data());
        xcb_atom_t atoms[4];
        for (int i = 0; i < 4; ++i) {
            const XcbPtr<xcb_intern_atom_reply_t> reply(
                xcb_intern_atom_reply(c, cookies[i], nullptr));
            if (!reply) {
                throw Failure("the X server did not name the clipboard's atoms");
            }
            atoms[i] = reply->atom;
        }
        incr_ = atoms[1];
        property_ = atoms[2];
        window_ = xcb_generate_id(c);
        const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window_,
                          xcb_setup_roots_iterator(xcb_get_setup(c)).data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &events);
        xcb_convert_selection(c, window_, atoms[0], atoms[3], property_, XCB_CURRENT_TIME);
        xcb_flush(c);
    }

    // Whether the owner sends the format incrementally.
    bool Incremental() const { return incremental_; }

    // Lets the rest of an incremental transfer pass through the server unread until it ends,
    // stop is requested, or `bound` has passed. Owners such as xclip 0.13 answer nobody else
    // while a transfer is under way, and die of the error that a destroyed window gives them.
    void Drain(const std::stop_token& stop, std::chrono::milliseconds bound) {
        deadline_ = Clock::now() + bound;
        try {
            // The piece that was refused may still be there, holding the owner up.
            xcb_delete_property(connection_.Get(), window_, property_);
            xcb_flush(connection_.Get());
            for (;;) {
                AwaitPiece(stop);
                const XcbPtr<xcb_get_property_reply_t> piece = Property(0, 0, false);
                if (piece->type == XCB_NONE) {
                    continue;  // deleted meanwhile: the owner is writing the next
                }
                if (piece->bytes_after == 0) {
                    return;  // the empty piece that ends it
                }
                xcb_delete_property(connection_.Get(), window_, property_);
                xcb_flush(connection_.Get());
            }
        } catch (const Failure&) {
            // Given up: the window goes with the connection.
        }
    }

    ClipboardFormatBytes Read(ClipboardFormatKind kind) {
        AwaitAnswer();
        // One unit tells an incremental transfer's announced length, or starts a whole one.
        const XcbPtr<xcb_get_property_reply_t> first = Property(0, 1, false);
        if (first->type == incr_) {
            // A lower bound of the length, which some owners (xclip) leave out.
            std::uint32_t announced = 0;
            if (xcb_get_property_value_length(first.get()) >= 4) {
                std::memcpy(&announced, xcb_get_property_value(first.get()), 4);
            }
            return ReadIncrementally(kind, announced);
        }
        const std::uint64_t length =
            std::uint64_t{first->bytes_after} + xcb_get_property_value_length(first.get());
        if (kind == ClipboardFormatKind::Encoded && length > functions::MaxFileBytes) {
            return {{}, true};
        }
        ByteText bytes = Fetch(0, std::min<std::uint64_t>(length, kHeadBytes));
        if (length > MostBytes(kind, bytes)) {
            return {{}, true};
        }
        bytes.reserve(length);
        while (bytes.size() < length) {
            const ByteText piece = Fetch(bytes.size(), length - bytes.size());
            bytes.insert(bytes.end(), piece.begin(), piece.end());
        }
        xcb_delete_property(connection_.Get(), window_, property_);
        xcb_flush(connection_.Get());
        return {std::move(bytes), false};
    }

private:
    // Waits for the owner's SelectionNotify.
    void AwaitAnswer() {
        for (;;) {
            const XcbPtr<xcb_generic_event_t> event = NextEvent();
            if ((event->response_type & 0x7F) != XCB_SELECTION_NOTIFY) {
                continue;
            }
            const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
            if (notify->requestor != window_) {
                continue;
            }
            if (notify->property == XCB_NONE) {
                throw Failure("the clipboard's owner refused the format");
            }
            return;
        }
    }

    // The pieces of an incremental transfer, each written to the property once it was deleted;
    // an empty one ends it.
    ClipboardFormatBytes ReadIncrementally(ClipboardFormatKind kind, std::uint32_t announced) {
        // Judged by the announced length, and a bitmap by its header once its first bytes came.
        std::uint64_t most = kind == ClipboardFormatKind::Encoded ? functions::MaxFileBytes : 0;
        incremental_ = true;
        xcb_delete_property(connection_.Get(), window_, property_);
        xcb_flush(connection_.Get());
        if (most != 0 && announced > most) {
            return {{}, true};
        }
        ByteText bytes;
        for (;;) {
            AwaitPiece();
            // Until a bitmap's header has come, a piece is taken whole: the server holds no more
            // of it than one request carried. After that, a unit more than the room left tells a
            // piece that does not fit.
            const std::uint64_t room = most != 0 ? most - bytes.size() : UINT32_MAX;
            const XcbPtr<xcb_get_property_reply_t> piece = Property(
                0,
                static_cast<std::uint32_t>(std::min<std::uint64_t>(room / 4 + 1, UINT32_MAX / 4)),
                true);
            const auto size = static_cast<std::size_t>(xcb_get_property_value_length(piece.get()));
            if (piece->bytes_after != 0 || size > room) {
                return {{}, true};
            }
            if (size == 0) {
                return {std::move(bytes), false};
            }
            const auto* value =
                static_cast<const std::uint8_t*>(xcb_get_property_value(piece.get()));
            bytes.insert(bytes.end(), value, value + size);
            if (most == 0 && bytes.size() >= kShapeBytes) {
                most = MostBytes(kind, bytes);
                if (std::max<std::uint64_t>(announced, bytes.size()) > most) {
                    return {{}, true};
                }
                // Pages of the room that the pixels do not fill are never touched.
                bytes.reserve(most);
            }
        }
    }

    // Waits for the owner to write the next piece of an incremental transfer.
    void AwaitPiece(const std::stop_token& stop = {}) {
        for (;;) {
            const XcbPtr<xcb_generic_event_t> event = NextEvent(stop);
            if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) {
                continue;
            }
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
            if (notify->window == window_ && notify->atom == property_ &&
                notify->state == XCB_PROPERTY_NEW_VALUE) {
                return;
            }
        }
    }

    // count bytes of the property from offset (a multiple of four), read in pieces.
    ByteText Fetch(std::uint64_t offset, std::uint64_t count) {
        const auto units =
            static_cast<std::uint32_t>(std::min<std::uint64_t>((count + 3) / 4, kPieceUnits));
        const XcbPtr<xcb_get_property_reply_t> reply =
            Property(static_cast<std::uint32_t>(offset / 4), units, false);
        const auto* value = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
        const auto size =
            std::min<std::uint64_t>(xcb_get_property_value_length(reply.get()), count);
        if (size == 0) {
            throw Failure("the clipboard's property ended early");
        }
        return {value, value + size};
    }

    XcbPtr<xcb_get_property_reply_t> Property(std::uint32_t offset, std::uint32_t units,
                                              bool remove) {
        XcbPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection_.Get(),
            xcb_get_property(connection_.Get(), remove ? 1 : 0, window_, property_,
                             XCB_GET_PROPERTY_TYPE_ANY, offset, units),
            nullptr));
        if (!reply || (reply->format != 8 && reply->type != incr_ &&
                       xcb_get_property_value_length(reply.get()) != 0)) {
            throw Failure("the clipboard's property holds no bytes");
        }
        return reply;
    }

    // The next event, waiting for it until the deadline or a request to stop.
    XcbPtr<xcb_generic_event_t> NextEvent(const std::stop_token& stop = {}) {
        xcb_connection_t* c = connection_.Get();
        for (;;) {
            if (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                return XcbPtr<xcb_generic_event_t>(event);
            }
            if (xcb_connection_has_error(c) != 0) {
                throw Failure("the connection to the X display broke");
            }
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
            if (left.count() <= 0 || stop.stop_requested()) {
                throw Failure("the clipboard's owner did not send the picture in time");
            }
            pollfd ready{xcb_get_file_descriptor(c), POLLIN, 0};
            ::poll(&ready, 1, static_cast<int>(std::min(left, kStopCheck).count()));
        }
    }

    Connection connection_;
    Clock::time_point deadline_;
    xcb_atom_t incr_ = XCB_NONE;
    xcb_atom_t property_ = XCB_NONE;
    xcb_window_t window_ = XCB_NONE;
    bool incremental_ = false;
};

}  // namespace

ClipboardFormatBytes ReadClipboardFormat(const std::string& display, std::string_view target,
                                         ClipboardFormatKind kind,
                                         std::chrono::milliseconds bound) {
    auto transfer = std::make_unique<Transfer>(display, target, Clock::now() + bound);
    ClipboardFormatBytes read = transfer->Read(kind);
    if (read.too_large && transfer->Incremental()) {
        // One at a time, on the window's thread only; a newer one stops the older, and the
        // program's exit stops the last.
        static std::jthread drain;
        drain = std::jthread([transfer = std::move(transfer), bound](const std::stop_token& stop) {
            transfer->Drain(stop, bound);
        });
    }
    return read;
}
