// Fuzzes the bitmap reader with packed DIBs and BMP files: nothing may crash or read outside the
// bytes, a bitmap read agrees with its header's shape, and its raster holds every row it claims.
#include <cstddef>
#include <cstdint>
#include <span>

#include "dib.h"
#include "failure.h"
#include "fuzz_require.h"
#include "picture_rules.h"

namespace {

void Check(std::span<const std::uint8_t> bytes, bool file) {
    BitmapShape shape;
    try {
        shape = file ? ReadBmpFileShape(bytes) : ReadDibShape(bytes);
    } catch (const Failure&) {
        return;
    }
    Raster raster;
    try {
        raster = file ? ReadBmpFile(bytes) : ReadDib(bytes);
    } catch (const Failure&) {
        return;
    }
    REQUIRE(raster.width == shape.width && raster.height == shape.height);
    REQUIRE(!PngCannotFit(shape.width, shape.height, shape.png_bits));
    REQUIRE(raster.pixels.size() >= std::size_t{raster.stride} * raster.height);
    REQUIRE(std::uint64_t{raster.stride} * 8 >=
            std::uint64_t{raster.width} * raster.bits_per_pixel);
    if (raster.layout == Raster::Layout::Indexed) {
        REQUIRE(raster.palette.size() >= (std::size_t{1} << raster.bits_per_pixel) ||
                raster.bits_per_pixel == 8);
        std::uint8_t most = 0;
        for (const std::uint8_t value : raster.pixels) {
            most = value > most ? value : most;
        }
        REQUIRE(raster.bits_per_pixel != 8 || most < raster.palette.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte chooses the form, so one corpus serves both.
    if (size == 0) {
        return 0;
    }
    Check(std::span(data + 1, size - 1), data[0] % 2 == 1);
    return 0;
}
