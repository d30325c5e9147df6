// Pixel-format descriptor shared by images, surfaces and the converters.
#pragma once

#include <cstdint>

namespace zq::soft {

struct ColorData {
  uint16_t ColorBitDepth;   // 8, 16, 24 or 32; 0 = empty descriptor
  uint16_t PixelByte;       // bytes per pixel
  uint8_t RW, GW, BW, AW;   // channel widths
  uint8_t RL, GL, BL, AL;   // channel shifts (lowest set bit)
  uint32_t RM, GM, BM, AM;  // channel masks
  uint32_t NM;              // depth bits no channel covers (0 when the widths fill the depth)
  uint32_t Palette[256];    // 0x00RRGGBB entries for palettised descriptors
};

}  // namespace zq::soft
