// MEMIMG set-up and release (the type itself is in softrender/memimg.h).
#pragma once

#include <cstdint>

#include "graphics/ddraw/color_data.h"
#include "softrender/memimg.h"

namespace zq::gfx {

// The image type lives with the renderers that draw on it.
using soft::kMemImgByte8;
using soft::kMemImgRgb565;
using soft::kMemImgSetupMark;
using soft::kMemImgWord16;
using soft::kMemImgXrgb8888;
using soft::MEMIMG;

// The shared descriptor of a MEMIMG format.
const ColorData* GetMemImgColorData(int colorType, int alphaFlag, int paletteFlag);
// The surface pixel format of a MEMIMG colour type.
const platform::PixelFormat* SelectMemImgFormatTable(int colorType, int alphaFlag, int extra);

// Sets the image up and allocates its pixels (and, with runLength, its run-length buffer).
// pitch -1 = automatic. 0, or -1 when already set up or memory runs out.
int InitMemImg(MEMIMG* image, int width, int height, int pitch, uint32_t transColor, int colorType,
               int paletteFlag, int alphaFlag, int runLength);
// Frees what a set-up image owns (never a view's pixels) and marks it not set up.
void TermMemImg(MEMIMG* image);
// 1 when the image has pixel memory.
int IsMemImgValid(const MEMIMG* image);
// Fills view as a view of image's rectangle; allocates nothing.
void MakeMemImgView(MEMIMG* view, const MEMIMG* image, int x, int y, int width, int height);
// A one-channel 16-bit image (colour type 3).
int CreateMemImgOfType(MEMIMG* image, int width, int height);

}  // namespace zq::gfx
