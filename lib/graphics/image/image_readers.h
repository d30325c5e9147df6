// The built-in readers of BMP, raw BGRA, TGA and DDS files. Each one has the ImageReader
// signature: 0 with the image decoded into the record, -1 when it declined (the record then
// untouched and nothing of the reader left allocated).
#pragma once

#include "base/stream.h"
#include "graphics/image/graph_image.h"

namespace zq::gfx {

// Windows BMP: 1, 4, 8, 16, 24 and 32 bits, RLE8, RLE4 and bit fields.
int ReadBmpImage(base::DataStream* stream, GraphImage* image);
// The library's raw "BGRA" format, 8 or 16 bits a channel.
int ReadBgraImage(base::DataStream* stream, GraphImage* image);
// Truevision TGA: colour-mapped and true-colour, plain or run-length encoded.
int ReadTgaImage(base::DataStream* stream, GraphImage* image);
// DirectDraw surface files: the top-level image of an RGB or numeric-code format.
int ReadDdsImage(base::DataStream* stream, GraphImage* image);

}  // namespace zq::gfx
