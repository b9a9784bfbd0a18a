// Fuzzes LastSegment against a plain split: the first byte says how long the delimiter is.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "failure.h"
#include "functions.h"
#include "fuzz_require.h"

namespace {

std::vector<std::string> Split(const std::string& text, const std::string& delimiter) {
    std::vector<std::string> pieces;
    if (text.empty()) {
        return pieces;
    }
    std::string piece;
    for (std::size_t at = 0; at < text.size();) {
        if (text.compare(at, delimiter.size(), delimiter) == 0) {
            pieces.push_back(piece);
            piece.clear();
            at += delimiter.size();
        } else {
            piece += text[at++];
        }
    }
    pieces.push_back(piece);
    return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t delimiter_length = std::min<std::size_t>(data[0] % 4, size - 1);
    const std::string delimiter(reinterpret_cast<const char*>(data + 1), delimiter_length);
    const std::string text(reinterpret_cast<const char*>(data + 1 + delimiter_length),
                           size - 1 - delimiter_length);

    std::string got;
    bool failed = false;
    try {
        got = functions::LastSegment(text, delimiter);
    } catch (const Failure&) {
        failed = true;
    }
    if (delimiter.empty() || text.empty()) {
        REQUIRE(failed);
        return 0;
    }
    REQUIRE(!failed);
    REQUIRE(got == Split(text, delimiter).back());
    return 0;
}
