// Pixel-format descriptor shared by images, surfaces and the converters.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace zq::gfx {

struct ColorData {
  uint16_t ColorBitDepth;   // 8, 16, 24 or 32; 0 = empty descriptor
  uint16_t PixelByte;       // bytes per pixel
  uint8_t RW, GW, BW, AW;   // channel widths
  uint8_t RL, GL, BL, AL;   // channel shifts (lowest set bit)
  uint32_t RM, GM, BM, AM;  // channel masks
  uint32_t NM;              // depth bits no channel covers (0 when the widths fill the depth)
  uint32_t Palette[256];    // 0x00RRGGBB entries for palettised descriptors
};

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
