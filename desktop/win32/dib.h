// ReadDib: the pixels of a device-independent bitmap, as the clipboard carries one.
#pragma once

#include <windows.h>

#include <vector>

#include "byte_text.h"

// Pixels ready for an image encoder: rows top-down, each stride bytes, in one of three layouts.
struct Raster {
    enum class Layout {
        Indexed,  // bits_per_pixel bits a pixel (1, 4 or 8), most significant first, into palette
        Bgr,      // blue, green, red: a byte each
        Bgra,     // blue, green, red and straight (not premultiplied) alpha: a byte each
    };
    Layout layout = Layout::Bgr;
    UINT bits_per_pixel = 24;
    UINT width = 0;
    UINT height = 0;
    UINT stride = 0;
    std::vector<BYTE> pixels;
    std::vector<UINT> palette;  // 0xAARRGGBB, one for each value a pixel can take
};

// The pixels of a CF_DIB or CF_DIBV5 block: 1, 4 or 8 bits a pixel with a colour table, 16 or 32
// bits with or without bit-field masks, or 24 bits. Alpha is kept where the bitmap has it (an
// alpha mask, or the fourth byte of a 32-bit pixel) unless it is zero throughout; a bitmap that
// is opaque throughout comes without it too. Raises Failure for a block that its header does
// not describe, or a kind of bitmap (compressed other than in runs, absurdly large, with fewer
// runs than pixels could fill) that is not read here.
Raster ReadDib(const ByteText& block);
