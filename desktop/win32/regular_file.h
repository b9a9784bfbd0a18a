// Reading regular files on Windows for the desktop's FileLength and ReadFileBytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "byte_text.h"

// The size of the regular file at the UTF-8 path; raises Failure for a directory, a device, a
// pipe or anything that cannot be opened.
std::uint64_t RegularFileLength(std::string_view path);

// Exactly count bytes from the start of the regular file at the UTF-8 path; raises Failure
// when the file holds fewer or cannot be read.
ByteText ReadRegularFile(std::string_view path, std::size_t count);
