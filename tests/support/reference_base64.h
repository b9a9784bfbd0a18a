// A bit-at-a-time Base64 encoder and decoder, deliberately unlike the program's table approach.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reference {

inline constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// RFC 4648 Base64 with padding and no line breaks.
inline std::string Encode(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (std::uint8_t b : bytes) {
        buffer = (buffer << 8) | b;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out += kAlphabet[(buffer >> bits) & 63u];
        }
    }
    if (bits > 0) {
        out += kAlphabet[(buffer << (6 - bits)) & 63u];
    }
    while (out.size() % 4 != 0) {
        out += '=';
    }
    return out;
}

// The bytes of unbroken Base64 text, or nothing when a character is outside the alphabet or
// padding stands anywhere but at the end.
inline std::optional<std::vector<std::uint8_t>> Decode(std::string_view text) {
    std::vector<std::uint8_t> out;
    unsigned buffer = 0;
    int bits = 0;
    std::size_t at = 0;
    for (; at < text.size() && text[at] != '='; ++at) {
        const auto value = kAlphabet.find(text[at]);
        if (value == std::string_view::npos) {
            return std::nullopt;
        }
        buffer = (buffer << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(buffer >> bits));
        }
    }
    if (text.find_first_not_of('=', at) != std::string_view::npos || text.size() - at > 2) {
        return std::nullopt;
    }
    return out;
}

}  // namespace reference
