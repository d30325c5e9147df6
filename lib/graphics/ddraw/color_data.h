// Pixel-format descriptor shared by images, surfaces and the converters.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "softrender/color_data.h"

namespace zq::gfx {

// The descriptor lives with the renderers that read it.
using soft::ColorData;

// Fills a descriptor from a surface pixel format. Returns 0.
int ColorDataFromPixelFormat(const platform::PixelFormat* format, ColorData* data);
// Sets NM to the depth bits no channel mask covers (0 when the widths fill the depth).
int CompleteColorData(ColorData* data);
// 1 when the bit depths and all four masks are equal.
int IsSameColorData(const ColorData* a, const ColorData* b);
// The pixel value of a colour given as 0..255 components.
uint32_t PackColorByData(const ColorData* data, int red, int green, int blue, int alpha);
// Depth, bytes, masks, and each channel's shift and width derived from its mask. Returns 0.
int SetupColorDataFromMasks(ColorData* data, int bitDepth, uint32_t redMask, uint32_t greenMask,
                            uint32_t blueMask, uint32_t alphaMask);
// 8-bit palettised (palette left as it is), grey-ramp palettised, and 24-bit RGB presets.
int SetupColorDataPal8(ColorData* data);
int SetupColorDataByte8(ColorData* data);
int SetupColorDataRGB24(ColorData* data);

}  // namespace zq::gfx
