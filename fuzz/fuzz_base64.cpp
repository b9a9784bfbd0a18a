// Fuzzes the encoder and stripper: line structure, alphabet, and a round trip through a decoder.
#include <cstdint>
#include <vector>

#include "fuzz_require.h"
#include "mod_base64.h"
#include "reference_base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    const std::string text = modBase64::EncodeBase64Text(input);

    // A CR LF after every 64 characters and nowhere else.
    const std::size_t groups = (size + 2) / 3;
    REQUIRE(text.size() == groups * 4 + groups / 16 * 2);
    for (std::size_t at = 0; at < text.size(); ++at) {
        const std::size_t column = at % 66;
        const char c = text[at];
        if (column == 64) {
            REQUIRE(c == '\r');
        } else if (column == 65) {
            REQUIRE(c == '\n');
        } else if (c == '=') {
            // Padding only in the last group.
            REQUIRE(at + 3 >= text.size() - (groups % 16 == 0 ? 2 : 0));
        } else {
            REQUIRE(reference::kAlphabet.find(c) != std::string_view::npos);
        }
    }

    const std::string data_run = modBase64::StripWhitespace(text);
    REQUIRE(data_run == reference::Encode(input));
    REQUIRE(reference::Decode(data_run) == input);
    return 0;
}
