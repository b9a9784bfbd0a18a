// Tests of the Base64 encoder and the whitespace stripper against independent references.
#include "mod_base64.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "reference_base64.h"

using modBase64::EncodeBase64Text;
using modBase64::StripWhitespace;

namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> RandomBytes(std::size_t n, std::mt19937& random) {
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

}  // namespace

TEST(EncodeBase64Text, KnownVectors) {
    const struct {
        std::vector<std::uint8_t> input;
        std::string expected;
    } cases[] = {
        // RFC 4648, section 10.
        {Bytes(""), ""},
        {Bytes("f"), "Zg=="},
        {Bytes("fo"), "Zm8="},
        {Bytes("foo"), "Zm9v"},
        {Bytes("foob"), "Zm9vYg=="},
        {Bytes("fooba"), "Zm9vYmE="},
        {Bytes("foobar"), "Zm9vYmFy"},
        {Bytes("M"), "TQ=="},
        {Bytes("Ma"), "TWE="},
        {Bytes("Man"), "TWFu"},
        {{0}, "AA=="},
        {{255, 255, 255}, "////"},
        {{0xFB, 0xEF, 0xBE}, "++++"},
        {{0x80, 0xC0, 0xFE, 0x7F}, "gMD+fw=="},
        {std::vector<std::uint8_t>(48, 0), std::string(64, 'A') + "\r\n"},
        {std::vector<std::uint8_t>(49, 0), std::string(64, 'A') + "\r\nAA=="},
        {std::vector<std::uint8_t>(50, 0), std::string(64, 'A') + "\r\nAAA="},
        {std::vector<std::uint8_t>(96, 255), std::string(64, '/') + "\r\n" +
                                                 std::string(64, '/') + "\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeBase64Text(c.input), c.expected) << "input length " << c.input.size();
    }
}

TEST(EncodeBase64Text, BreaksAfterEverySixtyFourCharactersAndNowhereElse) {
    std::mt19937 random(7);
    for (std::size_t n : {0, 1, 2, 3, 45, 47, 48, 49, 51, 95, 96, 97, 144, 31999, 32000}) {
        const std::string text = EncodeBase64Text(RandomBytes(n, random));
        const std::size_t groups = (n + 2) / 3;
        ASSERT_EQ(text.size(), groups * 4 + groups / 16 * 2) << "length " << n;
        for (std::size_t at = 0; at < text.size(); ++at) {
            const bool break_here = at % 66 == 64 || at % 66 == 65;
            const char expected_break = at % 66 == 64 ? '\r' : '\n';
            if (break_here) {
                ASSERT_EQ(text[at], expected_break) << "length " << n << " at " << at;
            } else {
                ASSERT_NE(text[at], '\r') << "length " << n << " at " << at;
                ASSERT_NE(text[at], '\n') << "length " << n << " at " << at;
            }
        }
        const auto pad = static_cast<std::size_t>(std::ranges::count(text, '='));
        EXPECT_EQ(pad, (3 - n % 3) % 3) << "length " << n;
    }
}

TEST(EncodeBase64Text, RoundTripsRandomBytesOfEveryLength) {
    std::mt19937 random(2024);
    std::vector<std::size_t> lengths(201);
    std::iota(lengths.begin(), lengths.end(), 0);
    lengths.insert(lengths.end(), {31998, 31999, 32000});
    for (std::size_t n : lengths) {
        const auto input = RandomBytes(n, random);
        const std::string data = StripWhitespace(EncodeBase64Text(input));
        ASSERT_EQ(data, reference::Encode(input)) << "length " << n;
        ASSERT_EQ(reference::Decode(data), input) << "length " << n;
    }
}

TEST(StripWhitespace, RemovesOnlyCrLfTabAndSpace) {
    const struct {
        std::string input;
        std::string expected;
    } cases[] = {
        {"", ""},
        {" a\tb\r\nc ", "abc"},
        {"  \t\r\n", ""},
        {"unchanged+/=", "unchanged+/="},
        {std::string("\v\f\0\x1f\x7f\xa0", 6), std::string("\v\f\0\x1f\x7f\xa0", 6)},
        {"abcdefgh abcdefgh\r\nabcdefghabcdefgh", "abcdefghabcdefghabcdefghabcdefgh"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StripWhitespace(c.input), c.expected);
    }
}

TEST(StripWhitespace, MatchesAPlainFilterOnRandomText) {
    const std::string pool = std::string("ab+/= \t\r\n\v\f!", 13) + std::string("\0\x80\xff", 3);
    std::mt19937 random(99);
    for (std::size_t n = 0; n < 300; ++n) {
        std::string text(n, ' ');
        for (char& c : text) {
            c = pool[random() % pool.size()];
        }
        std::string expected = text;
        std::erase_if(expected, [](char c) { return c == '\r' || c == '\n' || c == '\t' || c == ' '; });
        ASSERT_EQ(StripWhitespace(text), expected) << "length " << n;
    }
}
