// Filled boxes in one colour under the current blend mode, parameter and bright colour.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "softrender/memimg.h"

namespace zq::soft {

// Fills rect (normalised; null = the whole image) of dest with colour, a value in dest's pixel
// format, clipped to the draw area and to the image. Palettised and alpha-channel images,
// colour types other than 16-bit and 32-bit, blend modes outside 0..4 and the parameter
// shortcuts that draw nothing leave dest untouched. No result; allocates nothing.
void FillMemImgBox(MEMIMG* dest, const platform::RECT* rect, uint32_t color);

}  // namespace zq::soft
