// Size and contents of regular files; anything else (folders, devices, pipes, another machine's
// files) is refused.
#pragma once

#include <cstdint>
#include <string>

#include "byte_text.h"

// The size of the regular file at path (links followed). Raises Failure for anything else.
std::uint64_t RegularFileLength(const std::string& path);

// All count bytes of the regular file at path. Raises Failure when the file cannot be opened, is
// not a regular file, is no longer count bytes long, or delivers fewer; never blocks on a pipe.
ByteText ReadRegularFile(const std::string& path, std::size_t count);
