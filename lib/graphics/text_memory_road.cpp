#include "graphics/text_memory_road.h"

#include <cstddef>

#include "platform/pixel_bytes.h"

namespace zq::gfx {

namespace {

using platform::LoadPixel;
using platform::StorePixel;

constexpr int BytesOf(int depth, uint32_t type) {
  return depth == 16 && type < 2 ? 2 : 4;
}

// One glyph pixel of cell value s.
template <int Depth, uint32_t Type, bool Trans>
inline void Put(uint8_t* p, uint32_t s, const MemoryRoadColors& c) {
  constexpr int kBytes = BytesOf(Depth, Type);
  if constexpr (Type == 3) {
    // The table holds what each value writes; keep marks the bits left as they were.
    StorePixel<4>(p, (LoadPixel<4>(p) & c.keep[s]) | c.mix[s]);
  } else {
    uint32_t v = 0;
    bool writes = true;
    if constexpr (Type == 0) {
      writes = s != 0;
      v = c.color;
    } else if constexpr (Type == 1) {
      writes = s == 1 || s == 2;
      v = s == 1 ? c.color : c.edge;
    } else {
      writes = s != 0;
      v = Depth == 16 ? (c.color & 0xFFFF) | s << 20 : c.color | s << 28;
    }
    if (writes)
      StorePixel<kBytes>(p, v);
    else if constexpr (!Trans)
      StorePixel<kBytes>(p, 0);
  }
}

template <uint32_t Type>
inline uint32_t CellValue(const uint8_t* row, int32_t gx) {
  if constexpr (Type == 0)
    return (row[gx >> 3] >> (7 - (gx & 7))) & 1u;
  else
    return row[gx];
}

template <int Depth, uint32_t Type, bool Trans, bool Vertical>
void WriteGlyph(const MemoryGlyph& g, MEMIMG& t, const MemoryRoadColors& c) {
  constexpr int kBytes = BytesOf(Depth, Type);
  const platform::RECT& r = g.clipped;
  // The glyph pixels whose target lies in the clipped box.
  int32_t gx0, gx1, gy0, gy1;
  if constexpr (Vertical) {
    gx0 = r.top - g.y;
    gx1 = r.bottom - g.y;
    gy0 = g.x - r.right;
    gy1 = g.x - r.left;
  } else {
    gx0 = r.left - g.x;
    gx1 = r.right - g.x;
    gy0 = r.top - g.y;
    gy1 = r.bottom - g.y;
  }
  const ptrdiff_t pitch = t.Pitch;
  // Along a glyph row the target moves right (horizontal) or down (vertical).
  const ptrdiff_t step = Vertical ? pitch : kBytes;
  for (int32_t gy = gy0; gy < gy1; ++gy) {
    const uint8_t* row = g.cell + ptrdiff_t(gy) * g.cellPitch;
    uint8_t* p =
        Vertical ? t.Pixels + (ptrdiff_t(g.y) + gx0) * pitch + (ptrdiff_t(g.x) - 1 - gy) * kBytes
                 : t.Pixels + (ptrdiff_t(g.y) + gy) * pitch + (ptrdiff_t(g.x) + gx0) * kBytes;
    for (int32_t gx = gx0; gx < gx1; ++gx, p += step)
      Put<Depth, Type, Trans>(p, CellValue<Type>(row, gx), c);
  }
}

template <int Depth, uint32_t Type>
MemoryGlyphWriter Writer(bool trans, bool vertical) {
  if (trans)
    return vertical ? WriteGlyph<Depth, Type, true, true> : WriteGlyph<Depth, Type, true, false>;
  return vertical ? WriteGlyph<Depth, Type, false, true> : WriteGlyph<Depth, Type, false, false>;
}

template <int Depth>
MemoryGlyphWriter WriterOfType(uint32_t type, bool trans, bool vertical) {
  switch (type) {
    case 0:
      return Writer<Depth, 0>(trans, vertical);
    case 1:
      return Writer<Depth, 1>(trans, vertical);
    case 2:
      return Writer<Depth, 2>(trans, vertical);
    default:
      return Writer<Depth, 3>(trans, vertical);
  }
}

// Channel by channel, edge + floor((colour - edge) x t / 256), each in its own bits.
uint32_t Mix(uint32_t color, uint32_t edge, int32_t t, int depth) {
  static constexpr uint32_t kMasks16[3] = {0xF800, 0x07E0, 0x001F};
  static constexpr uint32_t kMasks32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  static constexpr int kShifts16[3] = {11, 5, 0};
  static constexpr int kShifts32[3] = {16, 8, 0};
  const uint32_t* masks = depth == 16 ? kMasks16 : kMasks32;
  const int* shifts = depth == 16 ? kShifts16 : kShifts32;
  uint32_t out = 0;
  for (int i = 0; i < 3; ++i) {
    const int32_t cc = int32_t((color & masks[i]) >> shifts[i]);
    const int32_t ec = int32_t((edge & masks[i]) >> shifts[i]);
    // An arithmetic shift: the floor, also below zero.
    out |= uint32_t(ec + (((cc - ec) * t) >> 8)) << shifts[i];
  }
  return out;
}

// Type 3: what each cell value b | e << 4 writes, and the bits it keeps.
void FillMix(int depth, bool trans, uint32_t color, uint32_t edge, MemoryRoadColors* c) {
  if (depth == 16) {
    color &= 0xFFFF;
    edge &= 0xFFFF;
  }
  for (uint32_t s = 0; s < 256; ++s) {
    const uint32_t b = s & 15, e = s >> 4;
    uint32_t value = 0, keep = 0;
    if (b == 15) {
      value = depth == 16 ? color | 255u << 16 : color | 0xFF000000u;
    } else if (b > 0) {
      const uint32_t a = b * 16 + (15 - b) * e;
      const uint32_t mixed = Mix(color, edge, int32_t(b * 4096 / a), depth);
      value = depth == 16 ? mixed | a << 16 : a << 24 | mixed;
      keep = depth == 16 ? 0xFF000000u : 0;
    } else if (e > 0) {
      value = depth == 16 ? edge | (e * 16) << 16 : edge | e << 28;
    } else if (trans) {
      keep = 0xFFFFFFFFu;
    }
    c->mix[s] = value;
    c->keep[s] = keep;
  }
}

}  // namespace

int MemoryRoadPixelBytes(int depth, uint32_t type) {
  if ((depth != 16 && depth != 32) || type > 3) return 0;
  return BytesOf(depth, type);
}

MemoryGlyphWriter SelectMemoryGlyphWriter(int depth, uint32_t type, bool transparent, bool vertical,
                                          uint32_t color, uint32_t edge, MemoryRoadColors* colors) {
  if (MemoryRoadPixelBytes(depth, type) == 0) return nullptr;
  colors->color = color;
  // The edge of type 1 goes without bits 24-31.
  colors->edge = depth == 32 ? edge & 0x00FFFFFFu : edge;
  if (type == 3) FillMix(depth, transparent, color, edge, colors);
  return depth == 16 ? WriterOfType<16>(type, transparent, vertical)
                     : WriterOfType<32>(type, transparent, vertical);
}

}  // namespace zq::gfx
