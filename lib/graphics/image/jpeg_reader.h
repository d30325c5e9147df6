// JPEG reader: baseline and progressive JPEG in greyscale or colour, decoded by libjpeg.
#pragma once

#include "base/stream.h"
#include "graphics/image/graph_image.h"

namespace zq::gfx {

// Decodes the JPEG that starts at the stream's position. 0 with the image in the record
// (greyscale as grey-ramp palettised bytes, colour as 24-bit blue-green-red, rows packed
// without padding); -1 when the data is not a JPEG this reader handles (CMYK and other
// colour spaces are declined), is damaged or truncated, or is too large. On -1 the record
// is left as it was.
int LoadJpegImage(base::DataStream* stream, GraphImage* image);

}  // namespace zq::gfx
