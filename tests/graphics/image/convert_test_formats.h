// Pixel-format descriptors for the conversion tests, built from masks by a small local model.
#pragma once

#include <bit>
#include <cstdint>

#include "graphics/ddraw/color_data.h"

namespace zq::gfx::testing {

inline void SetChannel(uint32_t mask, uint8_t& width, uint8_t& shift) {
  shift = mask ? uint8_t(std::countr_zero(mask)) : 0;
  width = mask ? uint8_t(std::countr_one(mask >> shift)) : 0;
}

inline ColorData MakeFormat(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorData c{};
  c.ColorBitDepth = uint16_t(depth);
  c.PixelByte = uint16_t(depth / 8);
  c.RM = r, c.GM = g, c.BM = b, c.AM = a;
  SetChannel(r, c.RW, c.RL);
  SetChannel(g, c.GW, c.GL);
  SetChannel(b, c.BW, c.BL);
  SetChannel(a, c.AW, c.AL);
  const uint32_t all = depth == 32 ? 0xFFFFFFFFu : (1u << depth) - 1;
  c.NM = (c.RW + c.GW + c.BW + c.AW == depth) ? 0 : all & ~(r | g | b | a);
  return c;
}

// 8-bit palettised: entries 0x00RRGGBB.
inline ColorData MakePal8() {
  ColorData c = MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0);
  c.ColorBitDepth = 8;
  c.PixelByte = 1;
  c.NM = 0xFF000000;
  return c;
}

inline ColorData Rgb565() {
  return MakeFormat(16, 0xF800, 0x07E0, 0x001F, 0);
}
inline ColorData Rgb555() {
  return MakeFormat(16, 0x7C00, 0x03E0, 0x001F, 0);
}
inline ColorData Argb1555() {
  return MakeFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
}
inline ColorData Argb4444() {
  return MakeFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
}
inline ColorData Xrgb8888() {
  return MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0);
}
inline ColorData Argb8888() {
  return MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
}
inline ColorData Rgb888() {
  return MakeFormat(24, 0xFF0000, 0xFF00, 0xFF, 0);
}

}  // namespace zq::gfx::testing
