// Conversions between the core's UTF-8 text and the UTF-16 text of the Win32 API.
#pragma once

#include <string>
#include <string_view>

// UTF-16 from UTF-8; raises Failure for text that is not valid UTF-8.
std::wstring ToWide(std::string_view text);

// UTF-8 from UTF-16; raises Failure for text with an unpaired surrogate.
std::string ToUtf8(std::wstring_view text);
