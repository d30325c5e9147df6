// Pixel-format descriptors for the conversion tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "graphics/ddraw/color_data.h"

namespace zq::gfx::testing {

inline ColorData MakeFormat(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorData c{};
  SetupColorDataFromMasks(&c, depth, r, g, b, a);
  return c;
}

// 8-bit palettised: entries 0x00RRGGBB.
inline ColorData MakePal8() {
  ColorData c{};
  SetupColorDataPal8(&c);
  return c;
}

// clang-format off
inline ColorData Rgb565() { return MakeFormat(16, 0xF800, 0x07E0, 0x001F, 0); }
inline ColorData Rgb555() { return MakeFormat(16, 0x7C00, 0x03E0, 0x001F, 0); }
inline ColorData Argb1555() { return MakeFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000); }
inline ColorData Argb4444() { return MakeFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000); }
inline ColorData Xrgb8888() { return MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0); }
inline ColorData Argb8888() { return MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000); }
inline ColorData Rgb888() { return MakeFormat(24, 0xFF0000, 0xFF00, 0xFF, 0); }
// clang-format on

// A row of 24-bit pixels from 0x00RRGGBB values.
inline std::vector<uint8_t> Rgb24(std::initializer_list<uint32_t> colours) {
  std::vector<uint8_t> out(colours.size() * 3);
  size_t i = 0;
  for (uint32_t c : colours) {
    out[i++] = uint8_t(c);
    out[i++] = uint8_t(c >> 8);
    out[i++] = uint8_t(c >> 16);
  }
  return out;
}

}  // namespace zq::gfx::testing
