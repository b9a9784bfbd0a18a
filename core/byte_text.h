// ByteText: the bytes of a file, in file order.
#pragma once

#include <cstdint>
#include <vector>

// A file's contents. The empty ByteText means that nothing was read.
using ByteText = std::vector<std::uint8_t>;
