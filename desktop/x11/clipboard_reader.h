// ReadClipboardFormat: one format of another program's X11 clipboard, fetched only as far as it
// can be taken.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "byte_text.h"

// How a format's bytes are judged before they are fetched whole.
enum class ClipboardFormatKind {
    Encoded,  // a PNG, GIF or JPEG taken as it is: too large when longer than the size limit
    BmpFile,  // a BMP file: too large when its header tells that its PNG could never fit
};

// What came of asking for one format.
struct ClipboardFormatBytes {
    ByteText bytes;          // every byte the owner sent; none when too_large
    bool too_large = false;  // refused from its announced length or its header, not fetched whole
};

// Asks the program that owns CLIPBOARD on `display` ("" for $DISPLAY) for `target`, on a
// connection of its own, and fetches the answer into one buffer: at once, or piece by piece
// when the owner sends it incrementally (INCR). The length the owner announces, and for a
// BmpFile the header in its first bytes, are judged before the rest is fetched, so a picture
// over the limit costs neither the transfer nor the memory; the rest of an incremental transfer
// refused that way passes through the server unread, on a thread of its own, for at most
// `bound` more. Raises Failure when the owner refuses the format, sends a BMP that is no BMP,
// or has not sent it all within `bound`.
ClipboardFormatBytes ReadClipboardFormat(const std::string& display, std::string_view target,
                                         ClipboardFormatKind kind, std::chrono::milliseconds bound);
