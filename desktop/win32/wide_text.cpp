// UTF-8 and UTF-16 conversions through MultiByteToWideChar and WideCharToMultiByte.
#include "wide_text.h"

#include <windows.h>

#include <climits>

#include "failure.h"

namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throw Failure("a text too long to convert");
    }
    return static_cast<int>(size);
}

}  // namespace

std::wstring ToWide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = CheckedLength(text.size());
    // MB_ERR_INVALID_CHARS: a broken path must fail, not turn into another file's name.
    const int wide_length =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (wide_length <= 0) {
        throw Failure("a text that is not valid UTF-8");
    }
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(),
                          wide_length);
    return wide;
}

std::string ToUtf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = CheckedLength(text.size());
    const int narrow_length = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                                    length, nullptr, 0, nullptr, nullptr);
    if (narrow_length <= 0) {
        throw Failure("a text that is not valid UTF-16");
    }
    std::string narrow(static_cast<std::size_t>(narrow_length), '\0');
    ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, narrow.data(),
                          narrow_length, nullptr, nullptr);
    return narrow;
}
