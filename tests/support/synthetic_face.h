// The synthetic face "zq-synthetic" worked out from its written definition (platform/gdi/font.h),
// independently of the stand-in, for exact expectations.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zq::test {

struct SynthMetrics {
  int height, ascent, descent, maxWidth, aveWidth;
};
inline SynthMetrics SynthFaceMetrics(int size) {
  const int h = size == 0 ? 16 : std::abs(size);
  return {h, h - h / 4, h / 4, h, h / 2};
}

struct SynthGlyph {
  int w = 1, h = 1;  // box
  int originX = 0, originY = 0, increment = 0;
  bool empty = false;          // no pixels: buffer size 0
  std::vector<uint8_t> level;  // w x h grey levels, 0 where the pixel is clear
  std::vector<uint8_t> set;    // w x h: 1 where the pixel is set
  int Level(int x, int y) const {
    return x < 0 || x >= w || y < 0 || y >= h ? 0 : level[y * w + x];
  }
  bool Set(int x, int y) const { return x >= 0 && x < w && y >= 0 && y < h && set[y * w + x]; }
};

inline SynthGlyph SynthFaceGlyph(uint32_t c, int size, bool bold) {
  const SynthMetrics m = SynthFaceMetrics(size);
  const int h = m.height;
  SynthGlyph g;
  g.increment = c > 0xFF ? h : h / 2;
  g.originX = c == 0x5F ? -1 : int(c % 2);
  g.originY = m.ascent - int(c % 3);
  if (c == 0x20 || c == 0x8140 || c == 0x7F) {
    g.empty = true;
    g.level = g.set = {0};
    return g;
  }
  const int baseW = std::max(1, g.increment - 2 - int(c % 3));
  g.h = std::max(1, h - 3 - int(c % 4));
  if (c == 0x7C) {
    g.h = h + 4;
    g.originY = m.ascent + 2;
  }
  g.w = baseW + (bold ? 1 : 0);
  for (int y = 0; y < g.h; ++y)
    for (int x = 0; x < g.w; ++x) {
      int lv = 0, on = 0;
      for (int sx : {x, x - 1}) {  // the pixel, and its left neighbour when bold
        if (sx < 0 || sx >= baseW || (sx != x && !bold)) continue;
        if ((sx + 2 * y + c) % 3 != 0) {
          on = 1;
          lv = std::max<int>(lv, (3 * sx + 5 * y + c) % 17);
        }
      }
      g.level.push_back(uint8_t(lv));
      g.set.push_back(uint8_t(on));
    }
  return g;
}

}  // namespace zq::test
