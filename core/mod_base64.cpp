// modBase64: a table-driven Base64 encoder with line breaks, and a run-copying stripper.
#include "mod_base64.h"

#include <array>
#include <bit>
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

// Two output characters for every 12-bit value, laid out so that copying a table entry to memory
// writes the first character first on any byte order. A group then costs two look-ups and one
// four-byte store instead of four character computations.
constexpr auto kSextetPairs = [] {
    std::array<std::uint16_t, 4096> pairs{};
    for (unsigned value = 0; value < 4096; ++value) {
        const auto first = static_cast<std::uint8_t>(SextetChar(value >> 6));
        const auto second = static_cast<std::uint8_t>(SextetChar(value & 63u));
        pairs[value] = std::endian::native == std::endian::little
                           ? static_cast<std::uint16_t>(first | (second << 8))
                           : static_cast<std::uint16_t>((first << 8) | second);
    }
    return pairs;
}();

// Writes the four alphabet characters of three bytes, most significant sextet first.
inline void EncodeTriplet(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, char* out) {
    const unsigned x = (unsigned{b1} << 16) | (unsigned{b2} << 8) | b3;
    const std::uint16_t pairs[2] = {kSextetPairs[x >> 12], kSextetPairs[x & 0xFFFu]};
    std::memcpy(out, pairs, 4);
}

// Every stripped character is below 0x21, so a word with no byte below that holds none of them.
constexpr auto kStripped = [] {
    std::array<bool, 256> table{};
    table['\r'] = table['\n'] = table['\t'] = table[' '] = true;
    return table;
}();

inline bool IsStripped(char c) {
    return kStripped[static_cast<unsigned char>(c)];
}

// True when some byte of word is below 0x21 (exact: no byte is missed, none is made up).
inline bool MayHoldStripped(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighs = 0x8080808080808080u;
    return ((word - kOnes * 0x21) & ~word & kHighs) != 0;
}

// The four bytes at in as one big-endian number (compilers make this one load and a swap).
inline std::uint32_t BigEndian32(const std::uint8_t* in) {
    return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) |
           (std::uint32_t{in[2]} << 8) | in[3];
}

// Writes the sixteen alphabet characters of twelve bytes: three loads instead of twelve.
inline void EncodeFourTriplets(const std::uint8_t* in, char* out) {
    const std::uint32_t w0 = BigEndian32(in);
    const std::uint32_t w1 = BigEndian32(in + 4);
    const std::uint32_t w2 = BigEndian32(in + 8);
    const std::uint32_t t0 = w0 >> 8;
    const std::uint32_t t1 = ((w0 & 0xFFu) << 16) | (w1 >> 16);
    const std::uint32_t t2 = ((w1 & 0xFFFFu) << 8) | (w2 >> 24);
    const std::uint32_t t3 = w2 & 0xFFFFFFu;
    const std::uint16_t pairs[8] = {kSextetPairs[t0 >> 12], kSextetPairs[t0 & 0xFFFu],
                                    kSextetPairs[t1 >> 12], kSextetPairs[t1 & 0xFFFu],
                                    kSextetPairs[t2 >> 12], kSextetPairs[t2 & 0xFFFu],
                                    kSextetPairs[t3 >> 12], kSextetPairs[t3 & 0xFFFu]};
    std::memcpy(out, pairs, 16);
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
        for (std::size_t g = 0; g < kGroupsPerLine; g += 4, in += 12, out += 16) {
            EncodeFourTriplets(in, out);
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

std::string StripWhitespace(std::string text) {
    // Compacts in place, eight bytes a step where a word holds nothing to strip; working in the
    // one buffer also spares the allocator a second buffer of the same size.
    const char* in = text.data();
    const char* const end = in + text.size();
    char* out = text.data();
    while (end - in >= 8) {
        std::uint64_t word;
        std::memcpy(&word, in, 8);
        if (!MayHoldStripped(word)) {
            std::memcpy(out, &word, 8);
            out += 8;
            in += 8;
            continue;
        }
        for (const char* const stop = in + 8; in < stop; ++in) {
            *out = *in;
            out += !IsStripped(*in);
        }
    }
    for (; in < end; ++in) {
        *out = *in;
        out += !IsStripped(*in);
    }
    text.resize(static_cast<std::size_t>(out - text.data()));
    return text;
}

}  // namespace modBase64
