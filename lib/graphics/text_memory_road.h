// The memory road of string drawing: one glyph's cell of a memory-cache font written straight
// into a MEMIMG. One loop per colour depth, font type, transparent flag and direction, chosen
// once per string.
//
// Pixel rules (s = the cell's value; type 3: b = low nibble, e = high nibble; colour and edge are
// pixel values with the unused bits clear):
//   depth 16, types 0, 1: 2-byte pixels: a set bit (type 0) or s = 1: colour; s = 2: edge
//   depth 16, type 2: 4-byte pixels: s > 0: colour | s x 16 << 16
//   depth 16, type 3: b = 15: colour | 255 << 16; b 1..14: the mix of colour and edge in bits
//     0-15 and a in bits 16-23 (bits 24-31 kept); b = 0, e > 0: edge | e x 16 << 16
//   depth 32: type 0, 1 as at 16 (edge without bits 24-31); type 2: colour | s << 28;
//     type 3: b = 15: colour | 0xFF000000; b 1..14: a << 24 | the mix; b = 0, e > 0: edge | e << 28
//   with a = b x 16 + (15 - b) x e and t = b x 4096 / a, each channel of the mix is
//   edge + floor((colour - edge) x t / 256), for 5:6:5 or 8:8:8 channels.
// A pixel whose rule writes nothing is left alone, or, without the transparent flag, becomes 0
// (all of its bytes).
#pragma once

#include <cstdint>

#include "graphics/ddraw/memimg.h"
#include "platform/types.h"

namespace zq::gfx {

struct MemoryGlyph {
  const uint8_t* cell;  // the cell's first row in the memory cache
  int32_t cellPitch;
  // The glyph box's corner: horizontal, its top left; vertical, (R, T) with glyph pixel
  // (gx, gy) at (R - 1 - gy, T + gx).
  int32_t x;
  int32_t y;
  platform::RECT clipped;  // the target pixels to write, inside the box and the target
};

struct MemoryRoadColors {
  uint32_t color;
  uint32_t edge;
  // Type 3, for every cell value: the bits written, and the bits of the old pixel kept.
  uint32_t mix[256];
  uint32_t keep[256];
};

using MemoryGlyphWriter = void (*)(const MemoryGlyph& glyph, MEMIMG& target,
                                   const MemoryRoadColors& colors);

// Bytes of a target pixel for the screen depth and font type; 0 when nothing is written (depths
// other than 16 and 32: zqlib has no 8-bit screen).
int MemoryRoadPixelBytes(int depth, uint32_t type);
// The writer for the case, with its colours prepared (mix filled for type 3); null when
// MemoryRoadPixelBytes is 0.
MemoryGlyphWriter SelectMemoryGlyphWriter(int depth, uint32_t type, bool transparent, bool vertical,
                                          uint32_t color, uint32_t edge, MemoryRoadColors* colors);

}  // namespace zq::gfx
