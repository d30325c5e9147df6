// PNG reader: every PNG colour type and bit depth, decoded by libpng.
#pragma once

#include "base/stream.h"
#include "graphics/image/graph_image.h"

namespace zq::gfx {

// Decodes the PNG that starts at the stream's position. 0 with the image in the record:
// channels reduced to 8 bits and delivered blue first; a palette image without transparency
// stays 8-bit palettised, one with transparency becomes 32-bit ARGB; greyscale becomes
// grey-ramp palettised bytes (small depths scaled to 0..255), greyscale with alpha 16-bit
// (grey in the low byte, alpha in the high byte), RGBA 32-bit ARGB, anything else 24-bit RGB.
// -1 when the data is not a PNG, is damaged or truncated, or is too large; on -1 the record
// is left as it was.
int LoadPngImage(base::DataStream* stream, GraphImage* image);

}  // namespace zq::gfx
