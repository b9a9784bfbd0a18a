// The raw xcb operations that the clipboard keeper and its launcher share.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

// Owns a reply or an event that xcb allocated.
struct XcbFree {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using XcbPtr = std::unique_ptr<T, XcbFree>;

// The atom of `name`, created if need be; XCB_NONE when the server cannot be asked.
xcb_atom_t InternAtom(xcb_connection_t* connection, std::string_view name);

// The window that owns `selection` now, or XCB_NONE.
xcb_window_t SelectionOwner(xcb_connection_t* connection, xcb_atom_t selection);

// The ids that one client's windows are made of: each is `base` with some bits of `mask` set.
struct XcbIdRange {
    std::uint32_t base = 0;
    std::uint32_t mask = 0;

    // The range that the server gave `connection` for what it creates.
    static XcbIdRange Of(xcb_connection_t* connection);
    // Whether `window` was made by the client that owns the range.
    bool Holds(xcb_window_t window) const {
        return mask != 0 && window != XCB_NONE && (window & ~mask) == base;
    }
};
