// CopiedPicture: a picture copied off the clipboard, and the logic's Picture made from it.
#pragma once

#include <optional>

#include "clipboard.h"
#include "desktop_services.h"
#include "dib.h"

// A picture as the clipboard held it: the bytes of a PNG, GIF or JPEG with their subtype, a
// bitmap's pixels still to encode, or a bitmap known too large from its header. Neither bytes
// nor pixels when the clipboard held no picture, or a bitmap that its header does not describe.
struct CopiedPicture {
    Picture encoded;
    std::optional<Raster> bitmap;
};

// Copies the clipboard's picture: the first of PNG, GIF and JPEG that it offers, by the Windows
// or the MIME name, cut one byte past the most that may be converted; else the pixels of its
// bitmap, read where the clipboard holds them. A bitmap whose PNG could never fit is refused
// from its header, before its pixels are read. Raises Failure when a block cannot be read.
CopiedPicture CopyPicture(const OpenedClipboard& clipboard);

// The picture for the logic: copied bytes as they are, a bitmap encoded as PNG and cut as
// copied bytes are (its encoding stops there). Raises Failure for a bitmap that cannot be
// encoded. Needs COM on the calling thread.
Picture ToPicture(const CopiedPicture& copied);
