// ReadDib and ReadBmpFile: a bitmap's header checked against its bytes, then its rows turned
// top-down.
#include "dib.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "failure.h"
#include "picture_rules.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

// The longest run of one value in a run-length bitmap.
constexpr std::uint64_t kMostPixelsPerRun = 255;
// BITMAPINFOHEADER, the header every DIB starts with; the longer ones add to it.
constexpr std::size_t kInfoHeaderBytes = 40;
// Where the red, green, blue and alpha masks sit in the longer headers (V2 and later).
constexpr std::size_t kHeaderMasksAt = 40;
// BITMAPFILEHEADER: "BM", the file's size, two reserved words, where the pixels start.
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kColourEntryBytes = 4;  // RGBQUAD: blue, green, red, unused

// The compressions a header may name, as Windows numbers them.
enum Compression : std::uint32_t {
    BiRgb = 0,  // none: plain rows
    BiRle8 = 1,
    BiRle4 = 2,
    BiBitFields = 3,
    BiAlphaBitFields = 6,
};

// Little-endian values, as every bitmap stores them, wherever they lie in the bytes.
std::uint32_t U32At(Bytes bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4) {
        throw Failure("the bitmap ends within its header");
    }
    return std::uint32_t{bytes[offset]} | std::uint32_t{bytes[offset + 1]} << 8 |
           std::uint32_t{bytes[offset + 2]} << 16 | std::uint32_t{bytes[offset + 3]} << 24;
}

std::uint16_t U16At(Bytes bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(U32At(bytes, offset) & 0xFFFF);
}

// What a header says; ReadLayout checks the offsets against the bytes.
struct DibHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool top_down = false;
    unsigned bits = 0;
    std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha
    // Rows in runs (BI_RLE8, BI_RLE4) rather than whole: their length is known only once read.
    bool run_length = false;
    std::size_t table_at = 0;  // the colour table, after the header and any masks that follow it
    std::size_t table_entries = 0;
    std::size_t bits_at = 0;
    std::size_t stride = 0;

    BitmapShape Shape() const { return {width, height, run_length ? 8 : bits > 8 ? 24 : bits}; }
};

// One colour's bits in a pixel, scaled to a byte.
class Channel {
public:
    explicit Channel(std::uint32_t mask)
        : mask_(mask), shift_(mask != 0 ? std::countr_zero(mask) : 0), max_(mask >> shift_) {
        if ((max_ & (max_ + 1)) != 0) {
            throw Failure("the bitmap has a colour mask with gaps");
        }
    }
    bool Present() const { return max_ != 0; }
    std::uint8_t Of(std::uint32_t pixel) const {
        if (max_ == 0) {
            return 0;
        }
        const std::uint64_t value = (pixel & mask_) >> shift_;
        // A byte is itself scaled; a screen-sized bitmap spends most of its reading dividing.
        if (max_ == 255) {
            return static_cast<std::uint8_t>(value);
        }
        return static_cast<std::uint8_t>((value * 255 + max_ / 2) / max_);
    }

private:
    std::uint32_t mask_;
    int shift_;
    std::uint32_t max_;
};

// The masks of a 16- or 32-bit bitmap; where the header is the short one, they follow it and
// the colour table comes after them.
void ReadMasks(Bytes dib, std::uint32_t header_bytes, std::uint32_t compression,
               DibHeader& header) {
    if (compression == BiRgb) {
        // The fourth byte of a plain 32-bit pixel is unused, as the format has it; screenshots
        // with garbage there exist, and would come out with holes.
        header.masks = header.bits == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                         : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
        return;
    }
    const std::size_t promised = compression == BiAlphaBitFields ? 4 : 3;
    if (header_bytes == kInfoHeaderBytes) {
        for (std::size_t i = 0; i < promised; ++i) {
            header.masks[i] = U32At(dib, kInfoHeaderBytes + i * 4);
        }
        header.table_at += promised * 4;
        return;
    }
    // The longer headers hold the masks themselves: three from V2 on, alpha too from V3 on.
    const std::size_t held = (header_bytes - kHeaderMasksAt) / 4;
    if (held < promised) {
        throw Failure("the bitmap's header cannot hold the masks it promises");
    }
    for (std::size_t i = 0; i < std::min<std::size_t>(held, 4); ++i) {
        header.masks[i] = U32At(dib, kHeaderMasksAt + i * 4);
    }
}

// The kind of bitmap, its size and masks, from the header and the masks after it.
DibHeader ReadHeader(Bytes dib) {
    const std::uint32_t header_bytes = U32At(dib, 0);
    if (header_bytes < kInfoHeaderBytes || header_bytes > dib.size()) {
        throw Failure("the bitmap's header has a wrong size");
    }
    const auto width = static_cast<std::int32_t>(U32At(dib, 4));
    const auto height = static_cast<std::int32_t>(U32At(dib, 8));
    if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min()) {
        throw Failure("the bitmap has no size");
    }
    DibHeader header;
    header.width = static_cast<std::uint32_t>(width);
    header.height = static_cast<std::uint32_t>(height < 0 ? -height : height);
    header.top_down = height < 0;
    header.bits = U16At(dib, 14);
    header.table_at = header_bytes;
    const std::uint32_t compression = U32At(dib, 16);
    const bool masked = compression == BiBitFields || compression == BiAlphaBitFields;
    // Runs are bottom-up only: a top-down bitmap cannot be compressed.
    header.run_length = !header.top_down && ((header.bits == 8 && compression == BiRle8) ||
                                             (header.bits == 4 && compression == BiRle4));
    switch (header.bits) {
        case 1:
        case 4:
        case 8:
        case 24:
            if (compression != BiRgb && !header.run_length) {
                throw Failure("the bitmap is compressed");
            }
            break;
        case 16:
        case 32:
            if (compression != BiRgb && !masked) {
                throw Failure("the bitmap is compressed");
            }
            ReadMasks(dib, header_bytes, compression, header);
            break;
        default:
            throw Failure("the bitmap has an unknown pixel size");
    }
    const std::uint32_t used = U32At(dib, 32);
    header.table_entries = used != 0 ? used : header.bits <= 8 ? std::size_t{1} << header.bits : 0;
    return header;
}

// Places the colour table and the pixels within the bytes (at pixels_at where a file header
// says where they start) and checks that both fit.
void ReadLayout(Bytes dib, std::optional<std::size_t> pixels_at, DibHeader& header) {
    const BitmapShape shape = header.Shape();
    if (PngCannotFit(shape.width, shape.height, shape.png_bits)) {
        throw Failure("the bitmap is too large for any PNG within the size limit");
    }
    // A colour table of at most a byte's worth for each byte of the block: no product overflows.
    if (header.table_entries > dib.size()) {
        throw Failure("the bitmap's colour table is longer than the bitmap");
    }
    const std::uint64_t table_end = header.table_at + header.table_entries * kColourEntryBytes;
    const std::uint64_t bits_at = pixels_at.value_or(table_end);
    const std::uint64_t stride = (std::uint64_t{header.width} * header.bits + 31) / 32 * 4;
    const std::uint64_t pixel_bytes = header.run_length ? 0 : stride * header.height;
    if (table_end > dib.size() || bits_at < table_end || bits_at > dib.size() ||
        pixel_bytes > dib.size() - bits_at) {
        throw Failure("the bitmap is longer than its bytes");
    }
    // Escapes that skip to the next row or far ahead could claim millions of pixels in a few
    // bytes of runs, each taking memory and time to encode; no program's copy skips more than
    // its runs paint.
    if (header.run_length && !CouldHoldPixels(header.Shape(), dib.size() - bits_at)) {
        throw Failure("the bitmap claims more pixels than its runs paint");
    }
    header.bits_at = static_cast<std::size_t>(bits_at);
    header.stride = static_cast<std::size_t>(stride);
}

// The block's row that shows as row y from the top.
const std::uint8_t* RowAt(Bytes dib, const DibHeader& header, std::uint32_t y) {
    const std::uint32_t row = header.top_down ? y : header.height - 1 - y;
    return dib.data() + header.bits_at + row * header.stride;
}

// The colour table as a palette with an entry for every value a pixel can take; values past
// the table show black, as Windows shows them.
std::vector<std::uint32_t> PaletteOf(Bytes dib, const DibHeader& header) {
    std::vector<std::uint32_t> palette(std::size_t{1} << header.bits, 0xFF000000);
    const std::size_t count = std::min(header.table_entries, palette.size());
    for (std::size_t i = 0; i < count; ++i) {
        palette[i] = 0xFF000000U | (U32At(dib, header.table_at + i * kColourEntryBytes) & 0xFFFFFF);
    }
    return palette;
}

// Indexed and 24-bit rows are as an encoder takes them, once top-down.
Raster CopyRows(Bytes dib, const DibHeader& header, Raster::Layout layout) {
    Raster raster{
        layout, header.bits, header.width, header.height, static_cast<std::uint32_t>(header.stride),
        {},     {}};
    raster.pixels.resize(header.stride * header.height);
    for (std::uint32_t y = 0; y < header.height; ++y) {
        std::memcpy(raster.pixels.data() + y * header.stride, RowAt(dib, header, y), header.stride);
    }
    if (layout == Raster::Layout::Indexed) {
        raster.palette = PaletteOf(dib, header);
    }
    return raster;
}

// Run-length rows (BI_RLE8, BI_RLE4) as 8-bit indices. Pixels that the runs skip stay at the
// first colour, runs stop at the right edge, and a stream cut short leaves the rest unpainted.
Raster ReadRuns(Bytes dib, const DibHeader& header) {
    Raster raster{Raster::Layout::Indexed, 8, header.width, header.height, header.width, {}, {}};
    raster.pixels.assign(std::size_t{header.width} * header.height, 0);
    raster.palette = PaletteOf(dib, header);
    const bool nibbles = header.bits == 4;
    const std::uint8_t* in = dib.data() + header.bits_at;
    const std::uint8_t* const end = dib.data() + dib.size();
    std::uint32_t x = 0;
    std::uint32_t y = 0;  // from the bottom
    const auto put = [&](std::uint8_t value) {
        if (x < header.width && y < header.height) {
            raster.pixels[std::size_t{header.height - 1 - y} * header.width + x++] = value;
        }
    };
    while (end - in >= 2 && y < header.height) {
        const std::uint8_t count = in[0];
        const std::uint8_t value = in[1];
        in += 2;
        if (count > 0) {  // a run of one value, or of two alternating nibbles
            for (unsigned i = 0; i < count; ++i) {
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
            for (unsigned i = 0; i < value; ++i) {
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
Raster ReadMasked(Bytes dib, const DibHeader& header) {
    const Channel red(header.masks[0]);
    const Channel green(header.masks[1]);
    const Channel blue(header.masks[2]);
    const Channel alpha(header.masks[3]);
    Raster raster{Raster::Layout::Bgra, 32, header.width, header.height, header.width * 4, {}, {}};
    raster.pixels.resize(std::size_t{raster.stride} * header.height);
    const std::size_t bytes = header.bits / 8;
    bool opaque = true;
    bool zero = true;
    std::uint8_t* out = raster.pixels.data();
    for (std::uint32_t y = 0; y < header.height; ++y) {
        const std::uint8_t* in = RowAt(dib, header, y);
        for (std::uint32_t x = 0; x < header.width; ++x, in += bytes, out += 4) {
            std::uint32_t pixel = in[0] | std::uint32_t{in[1]} << 8;
            if (bytes == 4) {
                pixel |= std::uint32_t{in[2]} << 16 | std::uint32_t{in[3]} << 24;
            }
            out[0] = blue.Of(pixel);
            out[1] = green.Of(pixel);
            out[2] = red.Of(pixel);
            out[3] = alpha.Present() ? alpha.Of(pixel) : 255;
            opaque = opaque && out[3] == 255;
            zero = zero && out[3] == 0;
        }
    }
    if (opaque || zero) {
        DropAlpha(raster);
    }
    return raster;
}

Raster ReadPixels(Bytes dib, std::optional<std::size_t> pixels_at) {
    DibHeader header = ReadHeader(dib);
    ReadLayout(dib, pixels_at, header);
    if (header.run_length) {
        return ReadRuns(dib, header);
    }
    if (header.bits <= 8) {
        return CopyRows(dib, header, Raster::Layout::Indexed);
    }
    if (header.bits == 24) {
        return CopyRows(dib, header, Raster::Layout::Bgr);
    }
    return ReadMasked(dib, header);
}

// The DIB within a BMP file.
Bytes DibOfFile(Bytes file) {
    if (file.size() < kFileHeaderBytes || file[0] != 'B' || file[1] != 'M') {
        throw Failure("the picture is no BMP file");
    }
    return file.subspan(kFileHeaderBytes);
}

}  // namespace

bool CouldHoldPixels(const BitmapShape& shape, std::uint64_t bytes) {
    return std::uint64_t{shape.width} * shape.height * 2 <= bytes * kMostPixelsPerRun;
}

BitmapShape ReadDibShape(std::span<const std::uint8_t> start) {
    // The header's own size is checked against the bytes at hand, which need not hold the rest.
    return ReadHeader(start).Shape();
}

BitmapShape ReadBmpFileShape(std::span<const std::uint8_t> start) {
    return ReadDibShape(DibOfFile(start));
}

Raster ReadDib(std::span<const std::uint8_t> block) {
    return ReadPixels(block, std::nullopt);
}

Raster ReadBmpFile(std::span<const std::uint8_t> file) {
    const std::uint32_t pixels_at = U32At(file, 10);
    const Bytes dib = DibOfFile(file);
    if (pixels_at < kFileHeaderBytes) {
        throw Failure("the BMP file's pixels start within its header");
    }
    return ReadPixels(dib, std::size_t{pixels_at} - kFileHeaderBytes);
}
