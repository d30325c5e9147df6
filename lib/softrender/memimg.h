// MEMIMG: an image in system memory, the source and target of every software drawing.
#pragma once

#include <cstdint>

#include "softrender/color_data.h"

namespace zq::soft {

inline constexpr uint32_t kMemImgSetupMark = 0x12345678;

// Colour types.
inline constexpr int32_t kMemImgRgb565 = 0;    // 16-bit 5:6:5
inline constexpr int32_t kMemImgXrgb8888 = 1;  // 32-bit, bytes blue, green, red, fourth
inline constexpr int32_t kMemImgByte8 = 2;     // one 8-bit channel
inline constexpr int32_t kMemImgWord16 = 3;    // one 16-bit channel

struct MEMIMG {
  uint32_t SetupMark;  // kMemImgSetupMark once set up (views included)
  int32_t ViewFlag;    // 1: a view into another image's pixels (owns nothing)
  int32_t Width;
  int32_t Height;
  int32_t Pitch;            // bytes from one row to the next
  int32_t PitchShift;       // log2(Pitch) when Pitch is a power of two, else -1
  const ColorData* Format;  // shared descriptor (GetMemImgColorData)
  uint32_t TransColor;      // colour key: palette index, 16-bit or 32-bit value
  int32_t ColorType;        // kMemImg*
  int32_t PaletteFlag;      // 1: one palette-index byte a pixel
  int32_t PaletteCount;     // entries in use, at most 256
  uint32_t* Palette;        // 256 four-byte slots (2-byte 5:6:5 words for colour type 0)
  int32_t AlphaFlag;        // per-pixel alpha (16-bit: 4 bytes a pixel; 32-bit: byte 3)
  int32_t RunLengthFlag;    // 1 while RunLength describes the current pixels
  uint8_t* RunLength;       // (Width + 5) x Height bytes, or null
  uint8_t* Pixels;          // row 0 first
};

}  // namespace zq::soft
