// What a pasted picture may be on every desktop: the formats taken as they are, how much of one is
// kept, and which bitmaps can never fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "functions.h"

// A format whose bytes are taken as they are, under the names sources give it.
struct PictureFormat {
    std::string_view subtype;       // as the snippet names it
    std::string_view mime_type;     // X11 and Wayland programs, and Windows ports of theirs
    std::string_view windows_name;  // the registered Windows clipboard format
};

// In order of preference: the lossless PNG that screenshot tools, image viewers and browsers
// offer first, then GIF, which keeps a GIF's own palette and frames, then JPEG, which a source
// that also offers another format usually made from its bitmap with loss. A picture offered in
// none of them is taken from its bitmap, encoded as PNG.
inline constexpr PictureFormat kPictureFormats[] = {
    {"png", "image/png", "PNG"}, {"gif", "image/gif", "GIF"}, {"jpeg", "image/jpeg", "JFIF"}};

// The most of a picture that is kept. A longer one is refused whatever its length, and one byte
// past the size limit is all its refusal needs, so neither a source's megabytes nor an encoder's
// output beyond it is held.
inline constexpr std::size_t kLongestKeptPicture = functions::MaxFileBytes + 1;

// Whether a bitmap of width by height pixels, bits_per_pixel deep as its PNG's rows are written
// at the least, gives a PNG over the size limit however well its pixels compress: deflate codes
// at best 258 bytes in two bits, and a PNG holds every row with its filter byte. Such a bitmap
// is refused from its header alone; any other is decoded and encoded.
bool PngCannotFit(std::uint64_t width, std::uint64_t height, unsigned bits_per_pixel);
