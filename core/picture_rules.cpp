// PngCannotFit: the smallest PNG that a bitmap's rows allow, against the size limit.
#include "picture_rules.h"

namespace {

// 258 bytes, deflate's longest match, in two bits: one for the length and one for the distance.
constexpr std::uint64_t kDeflateBestRatio = 258 * 8 / 2;

}  // namespace

bool PngCannotFit(std::uint64_t width, std::uint64_t height, unsigned bits_per_pixel) {
    if (width == 0 || height == 0) {
        return false;
    }
    // Widths and heights are below 2^32 and a pixel at most 32 bits deep, so a row's bytes
    // cannot overflow; the first test keeps the product from overflowing.
    const std::uint64_t row_bytes = 1 + (width * bits_per_pixel + 7) / 8;
    const std::uint64_t most_filtered_bytes = functions::MaxFileBytes * kDeflateBestRatio;
    return row_bytes > most_filtered_bytes / height + 1 || row_bytes * height > most_filtered_bytes;
}
