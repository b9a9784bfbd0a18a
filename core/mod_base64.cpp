// modBase64: a table-driven Base64 encoder with line breaks, and a run-copying stripper.
#include "mod_base64.h"

#include <array>
#include <cstring>

namespace modBase64 {
namespace {

constexpr std::size_t kGroupsPerLine = 16;  // 64 characters
constexpr std::size_t kBytesPerLine = kGroupsPerLine * 3;

constexpr char SextetChar(unsigned value) {
    if (value <= 25) {
        return static_cast<char>('A' + value);
    }
    if (value <= 51) {
        return static_cast<char>('a' + (value - 26));
    }
    if (value <= 61) {
        return static_cast<char>('0' + (value - 52));
    }
    return value == 62 ? '+' : '/';
}

// Two output characters for every 12-bit value, so that a group costs two look-ups and two
// 16-bit copies instead of four character computations.
constexpr auto kSextetPairs = [] {
    std::array<char, 4096 * 2> pairs{};
    for (unsigned value = 0; value < 4096; ++value) {
        pairs[value * 2] = SextetChar(value >> 6);
        pairs[value * 2 + 1] = SextetChar(value & 63u);
    }
    return pairs;
}();

// Writes the four alphabet characters of three bytes, most significant sextet first.
inline void EncodeTriplet(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, char* out) {
    const unsigned x = (unsigned{b1} << 16) | (unsigned{b2} << 8) | b3;
    std::memcpy(out, &kSextetPairs[(x >> 12) * 2], 2);
    std::memcpy(out + 2, &kSextetPairs[(x & 0xFFFu) * 2], 2);
}

}  // namespace

std::string EncodeBase64Text(std::span<const std::uint8_t> bytes) {
    const std::size_t n = bytes.size();
    const std::size_t groups = (n + 2) / 3;
    std::string result(groups * 4 + (groups / kGroupsPerLine) * 2, '\0');

    const std::uint8_t* in = bytes.data();
    char* out = result.data();
    std::size_t left = n;

    while (left >= kBytesPerLine) {
        for (std::size_t g = 0; g < kGroupsPerLine; ++g, in += 3, out += 4) {
            EncodeTriplet(in[0], in[1], in[2], out);
        }
        *out++ = '\r';
        *out++ = '\n';
        left -= kBytesPerLine;
    }
    for (; left >= 3; left -= 3, in += 3, out += 4) {
        EncodeTriplet(in[0], in[1], in[2], out);
    }
    if (left > 0) {
        // The missing bytes count as zero; the characters they would give become padding.
        EncodeTriplet(in[0], left == 2 ? in[1] : 0, 0, out);
        out[3] = '=';
        if (left == 1) {
            out[2] = '=';
        }
        out += 4;
        // A padded group can be the sixteenth of its line too, and then ends it like any other.
        if (groups % kGroupsPerLine == 0) {
            *out++ = '\r';
            *out++ = '\n';
        }
    }
    return result;
}

std::string StripWhitespace(std::string_view text) {
    constexpr auto kStripped = [] {
        std::array<bool, 256> table{};
        table['\r'] = table['\n'] = table['\t'] = table[' '] = true;
        return table;
    }();
    // Every stripped character is below 0x21; a word with no byte below that is copied whole.
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighs = 0x8080808080808080u;

    std::string result(text.size(), '\0');
    const char* in = text.data();
    const char* const end = in + text.size();
    char* out = result.data();

    while (end - in >= 8) {
        std::uint64_t word;
        std::memcpy(&word, in, 8);
        if (((word - kOnes * 0x21) & ~word & kHighs) == 0) {
            std::memcpy(out, in, 8);
            in += 8;
            out += 8;
            continue;
        }
        for (const char* stop = in + 8; in < stop; ++in) {
            *out = *in;
            out += !kStripped[static_cast<unsigned char>(*in)];
        }
    }
    for (; in < end; ++in) {
        *out = *in;
        out += !kStripped[static_cast<unsigned char>(*in)];
    }
    result.resize(static_cast<std::size_t>(out - result.data()));
    return result;
}

}  // namespace modBase64
