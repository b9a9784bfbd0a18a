// Colours as 0x00BBGGRR values, and the two status colours the program uses.
#pragma once

#include <cstdint>

// Blue in bits 16-23, green in bits 8-15, red in bits 0-7; the top byte is always zero.
using Colour = std::uint32_t;

constexpr Colour MakeColour(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<Colour>(red) | (static_cast<Colour>(green) << 8) |
           (static_cast<Colour>(blue) << 16);
}
constexpr std::uint8_t RedOf(Colour colour) {
    return colour & 0xFFu;
}
constexpr std::uint8_t GreenOf(Colour colour) {
    return (colour >> 8) & 0xFFu;
}
constexpr std::uint8_t BlueOf(Colour colour) {
    return (colour >> 16) & 0xFFu;
}

// Medium blue: the status line at start and after a successful conversion.
inline constexpr Colour ColourDone = 0x00CB9956;
// Red: the status line after a refusal the user can correct.
inline constexpr Colour ColourFault = 0x000000FF;

static_assert(ColourDone == MakeColour(86, 153, 203));
static_assert(ColourFault == MakeColour(255, 0, 0));
