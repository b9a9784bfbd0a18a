// EncodePng: pixels to a PNG file's bytes, with the Windows Imaging Component.
#pragma once

#include "byte_text.h"
#include "dib.h"

// The raster as a PNG file, losslessly, in the raster's own layout (indexed with its palette,
// true colour, or true colour with alpha), filtered for the smallest file. Raises Failure when
// the imaging component is missing or refuses. Needs COM on the calling thread.
ByteText EncodePng(const Raster& raster);
