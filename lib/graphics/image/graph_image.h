// GraphImage: a decoded image, the output of every image reader.
#pragma once

#include <cstdint>

#include "base/stream.h"
#include "graphics/ddraw/color_data.h"

namespace zq::gfx {

struct GraphImage {
  ColorData Format;  // for palettised images the palette holds the colours
  int32_t Width;
  int32_t Height;
  int32_t Pitch;  // >= Width x Format.PixelByte
  void* Pixels;   // top row first; a TrackedAlloc block; null when empty
};

// An image reader: 0 when it decoded the stream into the record (which then owns the pixels),
// non-zero when it did not (no pixel block left behind).
using ImageReader = int (*)(base::DataStream* stream, GraphImage* image);

// Frees the pixel block and zeroes the whole record. An all-zero record is empty. 0 (also for an
// empty record or none).
int ReleaseImageBuffers(GraphImage* image);

}  // namespace zq::gfx
