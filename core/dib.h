// ReadDib and ReadBmpFile: the pixels of a device-independent bitmap, as the Windows clipboard
// and a BMP file carry one.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Pixels ready for an image encoder: rows top-down, each stride bytes, in one of three layouts.
struct Raster {
    enum class Layout {
        Indexed,  // bits_per_pixel bits a pixel (1, 4 or 8), most significant first, into palette
        Bgr,      // blue, green, red: a byte each
        Bgra,     // blue, green, red and straight (not premultiplied) alpha: a byte each
    };
    Layout layout = Layout::Bgr;
    unsigned bits_per_pixel = 24;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t stride = 0;
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint32_t> palette;  // 0xAARRGGBB, one for each value a pixel can take
};

// What a bitmap's header declares: enough to refuse one before its pixels are read.
struct BitmapShape {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // The fewest bits a pixel of its PNG takes: an indexed bitmap's depth (8 for one in runs,
    // which is read as 8-bit), 24 for true colour, whose alpha may go.
    unsigned png_bits = 0;
};

// Whether `bytes` could hold the pixels that shape claims: runs, the densest a bitmap packs them,
// paint at most 255 pixels in two bytes. A header that claims more describes no bitmap, however
// large it says it is.
bool CouldHoldPixels(const BitmapShape& shape, std::uint64_t bytes);

// The shape that the header at the start of a DIB declares; start needs to hold the header and
// the masks that follow a short one, not the pixels. Raises Failure as ReadDib does for a header
// it does not read.
BitmapShape ReadDibShape(std::span<const std::uint8_t> start);
// The same for the start of a BMP file.
BitmapShape ReadBmpFileShape(std::span<const std::uint8_t> start);

// The pixels of a packed DIB: header, masks, colour table and pixels one after another, as a
// CF_DIB or CF_DIBV5 block holds them. Read: 1, 4 or 8 bits a pixel with a colour table, in
// runs (RLE8, RLE4) or not; 16 or 32 bits with or without bit-field masks; 24 bits. The fourth
// byte of a plain 32-bit pixel is unused: alpha comes only from a header that declares an alpha
// mask, and goes where it is opaque or zero throughout (a copied picture that is invisible
// throughout was never meant so). Raises Failure for a block that its header does not describe,
// a header that cannot hold the masks it promises, a kind of bitmap not read here (compressed
// otherwise, with fewer runs than its pixels need), and one whose PNG could never fit
// (PngCannotFit: ask ReadDibShape first to tell that refusal apart).
Raster ReadDib(std::span<const std::uint8_t> block);
// The pixels of a BMP file, as image/bmp carries one: a 14-byte file header that says where the
// pixels start, then a DIB. Raises Failure as ReadDib does, and for a file that is no BMP.
Raster ReadBmpFile(std::span<const std::uint8_t> file);
