// Pixel transfers into and out of MEMIMGs through the format converter.
#pragma once

#include <cstdint>

#include "graphics/ddraw/memimg.h"

namespace zq::gfx {

// Converts the source rectangle (srcX, srcY, width, height) of a source view, with an optional
// alpha view addressed by the same rectangle, into dest at (dstX, dstY). Pixels equal to the
// image's transparent colour get alpha 0 when dest has an alpha channel; the one-channel
// colour types receive the source's red. When the whole image was written (colour types 0
// and 1 with a run-length buffer) the run-length stream is rebuilt. Negative on failure,
// including rectangles outside any of the images.
int TransferToMemImg(const MEMIMG* source, const MEMIMG* alpha, MEMIMG* dest, int srcX, int srcY,
                     int width, int height, int dstX, int dstY);

// Converts the source rectangle into the destination view at (dstX, dstY), skipping source
// pixels equal to transColor when useTrans is set. Palettised and one-channel sources are
// left alone (0). Returns the converter's result, or -1 for bad arguments.
int TransferMemImgToSurface(MEMIMG* destView, const MEMIMG* source, int srcX, int srcY, int width,
                            int height, int dstX, int dstY, uint32_t transColor, int useTrans);

}  // namespace zq::gfx
