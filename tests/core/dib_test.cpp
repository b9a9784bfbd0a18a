// Tests of the bitmap reader and of the bound that refuses a bitmap from its header.
#include "dib.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "failure.h"
#include "picture_rules.h"

namespace {

using Words = std::vector<std::uint32_t>;

void Put(ByteText& out, std::size_t at, std::uint32_t value, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) {
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// A packed DIB: masks inside a longer header, or after the 40-byte one, then the colour table
// and the rows as given.
ByteText Dib(std::uint32_t header_bytes, std::int32_t width, std::int32_t height, int bits,
             std::uint32_t compression, const Words& masks, const Words& table,
             const ByteText& rows) {
    ByteText dib(header_bytes + (header_bytes == 40 ? masks.size() * 4 : 0));
    Put(dib, 0, header_bytes);
    Put(dib, 4, static_cast<std::uint32_t>(width));
    Put(dib, 8, static_cast<std::uint32_t>(height));
    Put(dib, 12, 1, 2);
    Put(dib, 14, static_cast<std::uint32_t>(bits), 2);
    Put(dib, 16, compression);
    Put(dib, 32, static_cast<std::uint32_t>(table.size()));
    for (std::size_t i = 0; i < masks.size() && 40 + i * 4 < dib.size(); ++i) {
        Put(dib, 40 + i * 4, masks[i]);
    }
    for (const std::uint32_t entry : table) {
        dib.resize(dib.size() + 4);
        Put(dib, dib.size() - 4, entry);
    }
    dib.insert(dib.end(), rows.begin(), rows.end());
    return dib;
}

ByteText Cut(ByteText bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

// The pixel at x, y from the top as 0xAARRGGBB, whatever the raster's layout.
std::uint32_t PixelAt(const Raster& raster, std::uint32_t x, std::uint32_t y) {
    const std::uint8_t* row = raster.pixels.data() + std::size_t{y} * raster.stride;
    switch (raster.layout) {
        case Raster::Layout::Indexed: {
            const unsigned bits = raster.bits_per_pixel;
            const unsigned shift = 8 - bits - (x * bits) % 8;
            return raster.palette.at((row[x * bits / 8] >> shift) & ((1U << bits) - 1));
        }
        case Raster::Layout::Bgr:
            row += x * 3;
            return 0xFF000000U | row[2] << 16 | row[1] << 8 | row[0];
        case Raster::Layout::Bgra:
            row += x * 4;
            return std::uint32_t{row[3]} << 24 | row[2] << 16 | row[1] << 8 | row[0];
    }
    return 0;
}

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;
constexpr std::uint32_t kPlain = 0, kRle8 = 1, kRle4 = 2, kFields = 3, kAlphaFields = 6;
const Words kArgb = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};

}  // namespace

TEST(ReadDib, GivesEveryKindOfBitmapTopDown) {
    const struct {
        const char* what;
        ByteText dib;
        Words pixels;  // row by row from the top
        bool alpha;
    } cases[] = {
        {"1-bit", Dib(40, 2, 2, 1, kPlain, {}, {0xFF0000, 0xFF}, {0x40, 0, 0, 0, 0x80, 0, 0, 0}),
         {kBlue, kRed, kRed, kBlue}, false},
        {"4-bit top-down", Dib(40, 2, -2, 4, kPlain, {}, {0xFF00, 0x123456}, {0x10, 0, 0, 0, 1, 0, 0, 0}),
         {0xFF123456, kGreen, kGreen, 0xFF123456}, false},
        // One pixel, a jump up a row, one more, the end: what the runs skip is the first colour.
        {"RLE8 with a jump", Dib(40, 2, 2, 8, kRle8, {}, {0xFF0000, 0xFF}, {1, 1, 0, 2, 0, 1, 1, 1, 0, 1}),
         {kRed, kBlue, kBlue, kRed}, false},
        {"RLE4 alternating", Dib(40, 3, 1, 4, kRle4, {}, {0, 0xFF0000, 0xFF00}, {3, 0x12, 0, 1}),
         {kRed, kGreen, kRed}, false},
        {"16-bit 5-5-5", Dib(40, 2, 1, 16, kPlain, {}, {}, {0x00, 0x7C, 0x1F, 0x00}), {kRed, kBlue}, false},
        {"16-bit 5-6-5 with a colour table", Dib(40, 1, 1, 16, kFields, {0xF800, 0x7E0, 0x1F}, {0xFF}, {0xE0, 0x07, 0, 0}),
         {kGreen}, false},
        {"24-bit", Dib(40, 1, 1, 24, kPlain, {}, {}, {0x11, 0x22, 0x33, 0}), {0xFF332211}, false},
        // The fourth byte of a plain 32-bit pixel is unused, whatever it holds.
        {"32-bit plain", Dib(124, 2, 1, 32, kPlain, kArgb, {}, {1, 2, 3, 0x80, 4, 5, 6, 0}),
         {0xFF030201, 0xFF060504}, false},
        {"32-bit, alpha in a V3 header", Dib(56, 2, 1, 32, kFields, kArgb, {}, {1, 2, 3, 0x80, 4, 5, 6, 0xFF}),
         {0x80030201, 0xFF060504}, true},
        {"32-bit, alpha mask after the header", Dib(40, 1, 1, 32, kAlphaFields, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {}, {0x10, 0x20, 0x30, 0x40}),
         {0x40102030}, true},
        {"32-bit, V2 header without alpha", Dib(52, 1, 1, 32, kFields, kArgb, {}, {1, 2, 3, 0x80}), {0xFF030201}, false},
        {"32-bit, alpha zero throughout", Dib(108, 1, 1, 32, kFields, kArgb, {}, {1, 2, 3, 0}), {0xFF030201}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Raster raster = ReadDib(c.dib);
        ASSERT_EQ(std::size_t{raster.width} * raster.height, c.pixels.size());
        for (std::size_t i = 0; i < c.pixels.size(); ++i) {
            EXPECT_EQ(PixelAt(raster, i % raster.width, i / raster.width), c.pixels[i]) << i;
        }
        EXPECT_EQ(raster.layout == Raster::Layout::Bgra, c.alpha);
        const BitmapShape shape = ReadDibShape(c.dib);
        EXPECT_EQ(shape.width * shape.height, c.pixels.size());
    }
}

TEST(ReadDib, RefusesWhatItsHeaderDoesNotDescribe) {
    const struct {
        const char* what;
        ByteText dib;
    } cases[] = {
        {"masks promised, header too short", Dib(44, 1, 1, 32, kFields, kArgb, {}, {0, 0, 0, 0})},
        {"alpha promised, V2 header", Dib(52, 1, 1, 32, kAlphaFields, kArgb, {}, {0, 0, 0, 0})},
        {"rows missing", Dib(40, 3, 3, 24, kPlain, {}, {}, ByteText(35))},
        {"compressed as JPEG", Dib(40, 1, 1, 24, 4, {}, {}, ByteText(4))},
        {"no width", Dib(40, 0, 1, 24, kPlain, {}, {}, ByteText(4))},
        {"header longer than the block", Cut(Dib(124, 1, 1, 24, kPlain, {}, {}, ByteText(4)), 100)},
        {"runs that cannot paint their pixels", Dib(40, 4000, 4000, 8, kRle8, {}, {}, {0, 1})},
        {"8K screen", Dib(40, 7680, 4320, 32, kPlain, {}, {}, {})},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(ReadDib(c.dib), Failure) << c.what;
    }
}

TEST(ReadBmpFile, TakesThePixelsWhereTheFileHeaderSays) {
    const ByteText dib = Dib(40, 1, 1, 24, kPlain, {}, {}, {});
    ByteText file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    file.insert(file.end(), dib.begin(), dib.end());
    file.insert(file.end(), {9, 9, 9, 9, 0x11, 0x22, 0x33, 0});  // a gap, then the row
    Put(file, 10, 14 + 40 + 4);
    EXPECT_EQ(PixelAt(ReadBmpFile(file), 0, 0), 0xFF332211U);
    EXPECT_EQ(ReadBmpFileShape(file).png_bits, 24U);
    file[0] = 'X';
    EXPECT_THROW(ReadBmpFile(file), Failure);
}

TEST(PngCannotFit, RefusesOnlyWhatDeflateCouldNeverBringUnderTheLimit) {
    constexpr std::uint64_t kMost = std::numeric_limits<std::uint32_t>::max();
    const struct {
        std::uint64_t width, height;
        unsigned bits;
        bool refused;
    } cases[] = {
        {3840, 2160, 24, false},  {7680, 4320, 24, true}, {6000, 6000, 24, true},
        {10000, 10000, 1, false}, {33023999, 1, 8, false}, {33024000, 1, 8, true},
        {1, 16512000, 8, false},  {1, 16512001, 8, true},  {kMost, kMost, 32, true},
        {1, kMost, 1, true},      {0, kMost, 32, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PngCannotFit(c.width, c.height, c.bits), c.refused)
            << c.width << "x" << c.height << "x" << c.bits;
    }
}
