// modBase64: Base64 text from a file's bytes, and the whitespace stripper applied to it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace modBase64 {

// The RFC 4648 encoding of bytes with '=' padding, with CR LF after every 64 output characters,
// including a final one when the encoded length is a multiple of 64. Empty in, empty out.
std::string EncodeBase64Text(std::span<const std::uint8_t> bytes);

// The text without any CR, LF, TAB or space; every other character is kept as it is. Takes its
// own copy, so that the encoder's result can be moved in and compacted where it lies.
std::string StripWhitespace(std::string text);

}  // namespace modBase64
