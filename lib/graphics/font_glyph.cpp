#include "graphics/font_glyph.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zq::gfx {
namespace {

// ---- Edge shapes: visit every position of the shape around (x, y) inside the cell ----------

struct Offset {
  int8_t dx;
  int8_t dy;
};

template <int S>
struct TableShape {
  static constexpr auto kOffsets = [] {
    constexpr int kSide = 2 * S + 1;
    std::array<Offset, kSide * kSide> all{};
    int n = 0;
    for (int row = 0; row < kSide; ++row)
      for (int col = 0; col < kSide; ++col)
        if (EdgePatternTable[S - 1][row][col] != 0)
          all[n++] = Offset{int8_t(col - S), int8_t(row - S)};
    return std::pair{all, n};
  }();

  template <class Fn>
  static void ForEach(int32_t x, int32_t y, int32_t cell, int32_t, Fn&& fn) {
    for (int i = 0; i < kOffsets.second; ++i) {
      const int32_t px = x + kOffsets.first[i].dx, py = y + kOffsets.first[i].dy;
      if (px >= 0 && py >= 0 && px < cell && py < cell) fn(px, py);
    }
  }
};

// Edges above 4: the whole (2s + 1)-square, the pixel itself included.
struct SquareShape {
  template <class Fn>
  static void ForEach(int32_t x, int32_t y, int32_t cell, int32_t s, Fn&& fn) {
    const int32_t top = std::max(0, y - s), bottom = std::min(cell - 1, y + s);
    const int32_t left = std::max(0, x - s), right = std::min(cell - 1, x + s);
    for (int32_t py = top; py <= bottom; ++py)
      for (int32_t px = left; px <= right; ++px) fn(px, py);
  }
};

// Types without an edge never visit a shape.
struct NoShape {};

// ---- Reading the glyph ----------------------------------------------------------------------

template <bool Mono>
inline uint32_t Sample(const GlyphPixels& g, int32_t x, int32_t y) {
  const uint8_t* row = g.rows + int64_t(y) * g.pitch;
  if constexpr (Mono) {
    return (row[x >> 3] >> (7 - (x & 7))) & 1u;
  } else {
    return row[x];
  }
}

// Glyph pixels along one axis that land inside the cell.
inline int32_t Visible(int32_t size, const GlyphTarget& t) {
  return std::max(0, std::min(size, t.cell - t.edge));
}

// ---- Memory cache ---------------------------------------------------------------------------

struct MemoryCache {
  template <uint32_t Type, class Shape>
  static void Write(const GlyphPixels& g, const GlyphTarget& t);
};

template <uint32_t Type, class Shape>
void MemoryCache::Write(const GlyphPixels& g, const GlyphTarget& t) {
  const int32_t e = t.edge, w = Visible(g.width, t), h = Visible(g.height, t);
  auto at = [&](int32_t x, int32_t y) -> uint8_t& { return t.pixels[int64_t(y) * t.pitch + x]; };
  if constexpr (Type == 0) {
    // Whole rows as they are; the cell's pitch cuts what lies beyond the cell.
    const size_t bytes = size_t(std::min(g.pitch, t.pitch));
    for (int32_t y = 0; y < h; ++y)
      std::memcpy(t.pixels + int64_t(y) * t.pitch, g.rows + int64_t(y) * g.pitch, bytes);
  } else if constexpr (Type == 2) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t level = Sample<false>(g, x, y);
        if (level > 0) at(x, y) = uint8_t(level - 1);
      }
  } else if constexpr (Type == 1) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        if (Sample<true>(g, x, y) == 0) continue;
        at(x + e, y + e) = 1;
        Shape::ForEach(x + e, y + e, t.cell, e, [&](int32_t px, int32_t py) {
          uint8_t& d = at(px, py);
          if (d != 1) d = 2;
        });
      }
  } else {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t level = Sample<false>(g, x, y);
        if (level == 0) continue;
        const uint8_t b = uint8_t(level - 1);
        at(x + e, y + e) |= b;
        Shape::ForEach(x + e, y + e, t.cell, e, [&](int32_t px, int32_t py) {
          uint8_t& d = at(px, py);
          if ((d >> 4) < b) d = uint8_t((d & 0x0F) | b << 4);
        });
      }
  }
}

// ---- Texture cache --------------------------------------------------------------------------

// W with the alpha bits of level v (1..16) - 1, cut to 16 bits.
inline uint16_t LevelPixel(uint32_t v, const GlyphTarget& t) {
  return v == 0 ? t.white : uint16_t(t.white | (((v << t.alphaShift) - 1) & 0xFFFF));
}

struct TextureCache {
  template <uint32_t Type, class Shape>
  static void Write(const GlyphPixels& g, const GlyphTarget& t);
};

template <uint32_t Type, class Shape>
void TextureCache::Write(const GlyphPixels& g, const GlyphTarget& t) {
  const int32_t e = t.edge, w = Visible(g.width, t), h = Visible(g.height, t);
  auto at = [&](int32_t x, int32_t y) -> uint16_t& {
    return reinterpret_cast<uint16_t*>(t.pixels + int64_t(y) * t.pitch)[x];
  };
  const uint16_t opaque = uint16_t(t.white | t.alpha);
  if constexpr (Type == 0) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) at(x, y) = Sample<true>(g, x, y) ? opaque : t.white;
  } else if constexpr (Type == 2) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) at(x, y) = LevelPixel(Sample<false>(g, x, y), t);
  } else if constexpr (Type == 1) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        if (Sample<true>(g, x, y) == 0) continue;
        at(x + e, y + e) = opaque;
        Shape::ForEach(x + e, y + e, t.cell, e, [&](int32_t px, int32_t py) {
          uint16_t& d = at(t.cell + px, py);
          if ((d & t.alpha) == 0) d = opaque;
        });
      }
  } else {
    // Raw levels first, the edge's coverage growing as 1 - (1 - a)(1 - b) in sixteenths; then
    // both layers of the glyph's area become pixels.
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t level = Sample<false>(g, x, y);
        if (level == 0) continue;
        at(x + e, y + e) = uint16_t(level);
        Shape::ForEach(x + e, y + e, t.cell, e, [&](int32_t px, int32_t py) {
          uint16_t& d = at(t.cell + px, py);
          d = uint16_t((256 - (16 - d) * (16 - level)) >> 4);
        });
      }
    const int32_t areaW = std::min(g.width + 2 * e, t.cell),
                  areaH = std::min(g.height + 2 * e, t.cell);
    for (int32_t y = 0; y < areaH; ++y)
      for (int32_t x = 0; x < areaW; ++x) {
        at(x, y) = LevelPixel(at(x, y), t);
        at(t.cell + x, y) = LevelPixel(at(t.cell + x, y), t);
      }
  }
}

// ---- Choice ---------------------------------------------------------------------------------

template <class Cache, uint32_t Type>
GlyphWriter WithShape(int32_t edge) {
  switch (edge) {
    case 1:
      return &Cache::template Write<Type, TableShape<1>>;
    case 2:
      return &Cache::template Write<Type, TableShape<2>>;
    case 3:
      return &Cache::template Write<Type, TableShape<3>>;
    case 4:
      return &Cache::template Write<Type, TableShape<4>>;
    default:
      return &Cache::template Write<Type, SquareShape>;
  }
}

template <class Cache>
GlyphWriter ForType(uint32_t type, int32_t edge) {
  switch (type & 3) {
    case 0:
      return &Cache::template Write<0, NoShape>;
    case 1:
      return WithShape<Cache, 1>(edge);
    case 2:
      return &Cache::template Write<2, NoShape>;
    default:
      return WithShape<Cache, 3>(edge);
  }
}

}  // namespace

GlyphWriter SelectGlyphWriter(bool textureCache, uint32_t type, int32_t edgeSize) {
  return textureCache ? ForType<TextureCache>(type, edgeSize)
                      : ForType<MemoryCache>(type, edgeSize);
}

}  // namespace zq::gfx
