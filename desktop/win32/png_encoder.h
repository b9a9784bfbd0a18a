// EncodePng: pixels to a PNG file's bytes, with the Windows Imaging Component.
#pragma once

#include <cstddef>

#include "byte_text.h"
#include "dib.h"

// The raster as a PNG file, losslessly, in the raster's own layout (indexed with its palette,
// true colour, or true colour with alpha), filtered for the smallest file. Raises Failure when
// the imaging component is missing or refuses. A PNG longer than most_bytes comes as its first
// most_bytes bytes: the encoder stops there. Needs COM on the calling thread.
ByteText EncodePng(const Raster& raster, std::size_t most_bytes);
