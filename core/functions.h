// functions: reading a whole file within the size limit, and the last piece of a split text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "byte_text.h"

namespace functions {

// The largest file the program takes; the refusal message calls it 32kb.
inline constexpr std::uint64_t MaxFileBytes = 32000;

// Whether size bytes may be converted; for more than MaxFileBytes it puts "The  File > 32kb!" on
// the status line and answers false.
bool WithinSizeLimit(std::uint64_t size);

// The whole file at path, or empty. A file over MaxFileBytes puts "The  File > 32kb!" on the
// status line; any other failure shows the "Error: ReadFile" box. Raises nothing itself.
ByteText ReadWholeFile(std::string_view path);

// The last piece of text split at every delimiter: the whole text when there is none, empty when
// it ends with one. Raises Failure for an empty text or an empty delimiter.
std::string LastSegment(std::string_view text, std::string_view delimiter);

}  // namespace functions
