// CopiedPicture: a picture copied off the clipboard, and the logic's Picture made from it.
#pragma once

#include "byte_text.h"
#include "clipboard.h"
#include "desktop_services.h"

// A picture as the clipboard held it: the bytes of a PNG, GIF or JPEG with their subtype, or a
// device-independent bitmap still to encode. Both empty when the clipboard held neither.
struct CopiedPicture {
    Picture encoded;
    ByteText bitmap;  // a CF_DIBV5 or CF_DIB block
};

// Copies the clipboard's picture: the first of PNG, GIF and JPEG that it offers, by the Windows
// or the MIME name, cut one byte past the most that may be converted; else its bitmap. Raises
// Failure when a block cannot be read.
CopiedPicture CopyPicture(const OpenedClipboard& clipboard);

// The picture for the logic: copied bytes as they are, a bitmap encoded as PNG and cut as
// copied bytes are (its encoding stops there). Raises Failure for a bitmap that cannot be read
// or encoded. Needs COM on the calling thread.
Picture ToPicture(const CopiedPicture& copied);
