// Pure operations on a decoded image: mirroring in place and reading one pixel.
#pragma once

#include <cstdint>

#include "graphics/image/graph_image.h"

namespace zq::gfx {

// Reverses every row left to right (pixel sizes 1 to 4 bytes; others are left as they are).
// 0, or -1 when the image is empty.
int ReverseGraphImageX(GraphImage* image);

// The pixel at (x, y) as 0xAARRGGBB, each channel's top bit on bit 7 of its byte and the low bits
// zero; alpha 0 when the format has none. One-byte pixels give their palette colour. 0 when the
// image has no pixels or (x, y) lies outside it.
uint32_t GetGraphImagePixel(const GraphImage* image, int32_t x, int32_t y);

}  // namespace zq::gfx
