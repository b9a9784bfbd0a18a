// ReadDib: a bitmap's header checked against its block, then its rows turned top-down.
#include "dib.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "failure.h"

namespace {

// Above an 8K screen's 33 million pixels; a header that claims more describes no copied picture,
// and the pixels read from it would not fit in memory.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 26;
// The longest run of one value in a run-length bitmap.
constexpr std::uint64_t kMostPixelsPerRun = 255;
// Older mingw-w64 headers lack BI_ALPHABITFIELDS.
constexpr DWORD kAlphaBitfields = 6;
constexpr std::size_t kInfoHeaderBytes = sizeof(BITMAPINFOHEADER);
// Where the red, green, blue and alpha masks sit in the longer headers (V2 and later).
constexpr std::size_t kHeaderMasksAt = 40;

// What a header says, each offset and size checked to lie within the block.
struct DibHeader {
    UINT width = 0;
    UINT height = 0;
    bool top_down = false;
    UINT bits = 0;
    std::array<DWORD, 4> masks{};  // red, green, blue, alpha
    // Rows in runs (BI_RLE8, BI_RLE4) rather than whole: their length is known only once read.
    bool run_length = false;
    std::size_t table_at = 0;
    std::size_t table_entries = 0;
    std::size_t bits_at = 0;
    std::size_t stride = 0;
};

DWORD DwordAt(const ByteText& block, std::size_t offset) {
    if (offset > block.size() || block.size() - offset < sizeof(DWORD)) {
        throw Failure("the bitmap ends within its header");
    }
    DWORD value = 0;
    std::memcpy(&value, block.data() + offset, sizeof value);
    return value;
}

// One colour's bits in a pixel, scaled to a byte.
class Channel {
public:
    explicit Channel(DWORD mask)
        : mask_(mask), shift_(mask != 0 ? std::countr_zero(mask) : 0), max_(mask >> shift_) {
        if ((max_ & (max_ + 1)) != 0) {
            throw Failure("the bitmap has a colour mask with gaps");
        }
    }
    bool Present() const { return max_ != 0; }
    BYTE Of(DWORD pixel) const {
        if (max_ == 0) {
            return 0;
        }
        const std::uint64_t value = (pixel & mask_) >> shift_;
        return static_cast<BYTE>((value * 255 + max_ / 2) / max_);
    }

private:
    DWORD mask_;
    int shift_;
    DWORD max_;
};

// The masks of a 16- or 32-bit bitmap, and how many bytes of them follow the header.
std::size_t ReadMasks(const ByteText& block, const BITMAPINFOHEADER& info, DibHeader& header) {
    if (info.biCompression == BI_RGB) {
        header.masks = info.biBitCount == 16
                           ? std::array<DWORD, 4>{0x7C00, 0x03E0, 0x001F, 0}
                           : std::array<DWORD, 4>{0xFF0000, 0xFF00, 0xFF, 0xFF000000};
        return 0;
    }
    const bool with_alpha = info.biCompression == kAlphaBitfields;
    if (info.biSize > kInfoHeaderBytes) {
        // The masks are part of the longer headers, which hold alpha from the V3 header on.
        const bool holds_alpha = info.biSize >= kHeaderMasksAt + 4 * sizeof(DWORD);
        for (std::size_t i = 0; i < (holds_alpha ? 4U : 3U); ++i) {
            header.masks[i] = DwordAt(block, kHeaderMasksAt + i * sizeof(DWORD));
        }
        return 0;
    }
    const std::size_t count = with_alpha ? 4 : 3;
    for (std::size_t i = 0; i < count; ++i) {
        header.masks[i] = DwordAt(block, kInfoHeaderBytes + i * sizeof(DWORD));
    }
    return count * sizeof(DWORD);
}

// Checks the kind of bitmap and its size; fills in the dimensions and the masks.
std::size_t ReadKind(const ByteText& block, const BITMAPINFOHEADER& info, DibHeader& header) {
    if (info.biSize < kInfoHeaderBytes || info.biSize > block.size()) {
        throw Failure("the bitmap's header has a wrong size");
    }
    if (info.biWidth <= 0 || info.biHeight == 0 ||
        info.biHeight == std::numeric_limits<LONG>::min()) {
        throw Failure("the bitmap has no size");
    }
    const std::uint64_t height = info.biHeight < 0 ? -static_cast<std::int64_t>(info.biHeight)
                                                   : static_cast<std::int64_t>(info.biHeight);
    if (static_cast<std::uint64_t>(info.biWidth) * height > kMaxPixels) {
        throw Failure("the bitmap is too large");
    }
    header.width = static_cast<UINT>(info.biWidth);
    header.height = static_cast<UINT>(height);
    header.top_down = info.biHeight < 0;
    header.bits = info.biBitCount;
    const bool masked = info.biCompression == BI_BITFIELDS || info.biCompression == kAlphaBitfields;
    const bool plain = info.biCompression == BI_RGB;
    // Runs are bottom-up only: a top-down bitmap cannot be compressed.
    header.run_length =
        !header.top_down && ((info.biBitCount == 8 && info.biCompression == BI_RLE8) ||
                             (info.biBitCount == 4 && info.biCompression == BI_RLE4));
    switch (info.biBitCount) {
        case 1:
        case 4:
        case 8:
        case 24:
            if (!plain && !header.run_length) {
                throw Failure("the bitmap is compressed");
            }
            return 0;
        case 16:
        case 32:
            if (!plain && !masked) {
                throw Failure("the bitmap is compressed");
            }
            return ReadMasks(block, info, header);
        default:
            throw Failure("the bitmap has an unknown pixel size");
    }
}

DibHeader ReadHeader(const ByteText& block) {
    if (block.size() < kInfoHeaderBytes) {
        throw Failure("the bitmap is shorter than its header");
    }
    BITMAPINFOHEADER info{};
    std::memcpy(&info, block.data(), sizeof info);
    DibHeader header;
    const std::size_t mask_bytes = ReadKind(block, info, header);
    // A colour table of at most a byte's worth for each byte of the block: no product overflows.
    const std::uint64_t entries = info.biClrUsed != 0 ? info.biClrUsed
                                  : header.bits <= 8  ? std::uint64_t{1} << header.bits
                                                      : 0;
    if (entries > block.size()) {
        throw Failure("the bitmap's colour table is longer than the bitmap");
    }
    const std::uint64_t table_at = std::uint64_t{info.biSize} + mask_bytes;
    const std::uint64_t bits_at = table_at + entries * sizeof(RGBQUAD);
    const std::uint64_t stride = (std::uint64_t{header.width} * header.bits + 31) / 32 * 4;
    const std::uint64_t pixel_bytes = header.run_length ? 0 : stride * header.height;
    if (bits_at > block.size() || pixel_bytes > block.size() - bits_at) {
        throw Failure("the bitmap is longer than its block");
    }
    // Two bytes of runs paint at most kMostPixelsPerRun pixels. Escapes that skip to the next row
    // or far ahead could claim millions of pixels in a few bytes, each taking memory and time to
    // encode; no program's copy skips more than its runs paint.
    const std::uint64_t pixels = std::uint64_t{header.width} * header.height;
    if (header.run_length && pixels * 2 > (block.size() - bits_at) * kMostPixelsPerRun) {
        throw Failure("the bitmap claims more pixels than its runs paint");
    }
    header.table_at = static_cast<std::size_t>(table_at);
    header.table_entries = static_cast<std::size_t>(entries);
    header.bits_at = static_cast<std::size_t>(bits_at);
    header.stride = static_cast<std::size_t>(stride);
    return header;
}

// The block's row that shows as row y from the top.
const BYTE* RowAt(const ByteText& block, const DibHeader& header, UINT y) {
    const UINT row = header.top_down ? y : header.height - 1 - y;
    return block.data() + header.bits_at + row * header.stride;
}

// The colour table as a palette with an entry for every value a pixel can take; values past
// the table show black, as Windows shows them.
std::vector<UINT> PaletteOf(const ByteText& block, const DibHeader& header) {
    std::vector<UINT> palette(std::size_t{1} << header.bits, 0xFF000000);
    const std::size_t count = std::min(header.table_entries, palette.size());
    for (std::size_t i = 0; i < count; ++i) {
        RGBQUAD entry{};
        std::memcpy(&entry, block.data() + header.table_at + i * sizeof entry, sizeof entry);
        palette[i] =
            0xFF000000U | (UINT{entry.rgbRed} << 16) | (UINT{entry.rgbGreen} << 8) | entry.rgbBlue;
    }
    return palette;
}

// Indexed and 24-bit rows are as an encoder takes them, once top-down.
Raster CopyRows(const ByteText& block, const DibHeader& header, Raster::Layout layout) {
    Raster raster{
        layout, header.bits, header.width, header.height, static_cast<UINT>(header.stride), {}, {}};
    raster.pixels.resize(header.stride * header.height);
    for (UINT y = 0; y < header.height; ++y) {
        std::memcpy(raster.pixels.data() + y * header.stride, RowAt(block, header, y),
                    header.stride);
    }
    if (layout == Raster::Layout::Indexed) {
        raster.palette = PaletteOf(block, header);
    }
    return raster;
}

// Run-length rows (BI_RLE8, BI_RLE4) as 8-bit indices. Pixels that the runs skip stay at the
// first colour, runs stop at the right edge, and a stream cut short leaves the rest unpainted.
Raster ReadRuns(const ByteText& block, const DibHeader& header) {
    Raster raster{Raster::Layout::Indexed, 8, header.width, header.height, header.width, {}, {}};
    raster.pixels.assign(std::size_t{header.width} * header.height, 0);
    raster.palette = PaletteOf(block, header);
    const bool nibbles = header.bits == 4;
    const BYTE* in = block.data() + header.bits_at;
    const BYTE* const end = block.data() + block.size();
    UINT x = 0;
    UINT y = 0;  // from the bottom
    const auto put = [&](BYTE value) {
        if (x < header.width && y < header.height) {
            raster.pixels[std::size_t{header.height - 1 - y} * header.width + x++] = value;
        }
    };
    while (end - in >= 2 && y < header.height) {
        const BYTE count = in[0];
        const BYTE value = in[1];
        in += 2;
        if (count > 0) {  // a run of one value, or of two alternating nibbles
            for (UINT i = 0; i < count; ++i) {
                put(!nibbles ? value : i % 2 == 0 ? value >> 4 : value & 0x0F);
            }
        } else if (value == 0) {  // end of the row
            x = 0;
            ++y;
        } else if (value == 1) {  // end of the bitmap
            break;
        } else if (value == 2) {  // a jump right and up
            if (end - in < 2) {
                break;
            }
            x = std::min(x + in[0], header.width);
            y += in[1];
            in += 2;
        } else {  // value pixels as they are, padded to a 16-bit boundary
            const std::size_t bytes = nibbles ? (value + 1U) / 2 : value;
            if (static_cast<std::size_t>(end - in) < bytes) {
                break;
            }
            for (UINT i = 0; i < value; ++i) {
                put(!nibbles ? in[i] : i % 2 == 0 ? in[i / 2] >> 4 : in[i / 2] & 0x0F);
            }
            in += std::min(bytes + bytes % 2, static_cast<std::size_t>(end - in));
        }
    }
    return raster;
}

// The same pixels without their alpha byte, for a bitmap that is opaque throughout.
void DropAlpha(Raster& raster) {
    const std::size_t pixels = std::size_t{raster.width} * raster.height;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::memmove(raster.pixels.data() + i * 3, raster.pixels.data() + i * 4, 3);
    }
    raster.pixels.resize(pixels * 3);
    raster.layout = Raster::Layout::Bgr;
    raster.bits_per_pixel = 24;
    raster.stride = raster.width * 3;
}

// 16- and 32-bit pixels, each colour where its mask puts it.
Raster ReadMasked(const ByteText& block, const DibHeader& header) {
    const Channel red(header.masks[0]);
    const Channel green(header.masks[1]);
    const Channel blue(header.masks[2]);
    const Channel alpha(header.masks[3]);
    Raster raster{Raster::Layout::Bgra, 32, header.width, header.height, header.width * 4, {}, {}};
    raster.pixels.resize(std::size_t{raster.stride} * header.height);
    const std::size_t bytes = header.bits / 8;
    bool opaque = true;
    bool zero = true;
    BYTE* out = raster.pixels.data();
    for (UINT y = 0; y < header.height; ++y) {
        const BYTE* in = RowAt(block, header, y);
        for (UINT x = 0; x < header.width; ++x, in += bytes, out += 4) {
            DWORD pixel = 0;
            std::memcpy(&pixel, in, bytes);  // little-endian, as Windows is
            out[0] = blue.Of(pixel);
            out[1] = green.Of(pixel);
            out[2] = red.Of(pixel);
            out[3] = alpha.Present() ? alpha.Of(pixel) : 255;
            opaque = opaque && out[3] == 255;
            zero = zero && out[3] == 0;
        }
    }
    // Most programs leave the fourth byte of a 32-bit pixel zero, meaning no alpha at all; and
    // even with an alpha mask, a copied picture that is invisible throughout was never meant so.
    if (opaque || zero) {
        DropAlpha(raster);
    }
    return raster;
}

}  // namespace

Raster ReadDib(const ByteText& block) {
    const DibHeader header = ReadHeader(block);
    if (header.run_length) {
        return ReadRuns(block, header);
    }
    if (header.bits <= 8) {
        return CopyRows(block, header, Raster::Layout::Indexed);
    }
    if (header.bits == 24) {
        return CopyRows(block, header, Raster::Layout::Bgr);
    }
    return ReadMasked(block, header);
}
