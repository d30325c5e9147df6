// Writing one rendered glyph into a font's cache: a cell of the memory cache, or the glyph work
// image of the texture cache (glyph layer at the left, edge layer one cell further right). One
// loop per cache kind, font type and edge shape, chosen once per batch of glyphs.
#pragma once

#include <cstdint>

namespace zq::gfx {

// Edge shapes for edge sizes s = 1 to 4: block s - 1, row dy + s, column dx + s of its
// (2s + 1)-square (non-zero = part of the shape). Larger edges take the whole square.
inline constexpr uint8_t EdgePatternTable[4][9][9] = {
    {{0, 1, 0}, {1, 0, 1}, {0, 1, 0}},
    {{0, 1, 1, 1, 0}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}, {0, 1, 1, 1, 0}},
    {{0, 0, 0, 1, 0, 0, 0},
     {0, 1, 1, 1, 1, 1, 0},
     {0, 1, 1, 1, 1, 1, 0},
     {1, 1, 1, 1, 1, 1, 1},
     {0, 1, 1, 1, 1, 1, 0},
     {0, 1, 1, 1, 1, 1, 0},
     {0, 0, 0, 1, 0, 0, 0}},
    {{0, 0, 1, 1, 1, 1, 1, 0, 0},
     {0, 1, 1, 1, 1, 1, 1, 1, 0},
     {1, 1, 1, 1, 1, 1, 1, 1, 1},
     {1, 1, 1, 1, 1, 1, 1, 1, 1},
     {1, 1, 1, 1, 1, 1, 1, 1, 1},
     {1, 1, 1, 1, 1, 1, 1, 1, 1},
     {1, 1, 1, 1, 1, 1, 1, 1, 1},
     {0, 1, 1, 1, 1, 1, 1, 1, 0},
     {0, 0, 1, 1, 1, 1, 1, 0, 0}},
};

// A glyph as GDI gives it: 1 bit per pixel (most significant bit leftmost) for types 0 and 1,
// one grey level 0..16 per byte for types 2 and 3.
struct GlyphPixels {
  const uint8_t* rows;  // first row
  int32_t pitch;        // bytes per row
  int32_t width;        // pixels each row holds
  int32_t height;
};

// Where the glyph goes. Glyph pixel (x, y) lands on (x + edge, y + edge); nothing is written
// outside the cell x cell square (of each layer).
struct GlyphTarget {
  uint8_t* pixels;  // memory cache: the cell's first row; texture cache: the work image
  int32_t pitch;
  int32_t cell;
  int32_t edge;  // 0 for fonts without an edge
  // Texture cache: W (red, green and blue masks), A (alpha mask) and k (alpha shift + alpha
  // width - 4) of the 16-bit format.
  uint16_t white;
  uint16_t alpha;
  int32_t alphaShift;
};

using GlyphWriter = void (*)(const GlyphPixels& glyph, const GlyphTarget& target);

// The writer of a cache kind and font type (0..3) with the edge size (for types 1 and 3).
GlyphWriter SelectGlyphWriter(bool textureCache, uint32_t type, int32_t edgeSize);

}  // namespace zq::gfx
