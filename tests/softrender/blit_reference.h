// A plain reference model of the blend rules and of the unscaled blit, written from the
// rules with ordinary arithmetic (divisions, no tables, no packed helpers). The same rules
// serve the flat colours of boxes, lines and triangles and the rasterizers' texture kernels.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "flat_reference.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"
#include "support/test_image.h"

namespace zq::soft::blit_test {

using zq::test::DrawStateScope;
using zq::test::TestImage;

// ---------------------------------------------------------------------------------------
// Reference model of one pixel.

inline int64_t FloorDiv(int64_t x, int64_t m) {
  int64_t q = x / m;
  if (x % m != 0 && ((x < 0) != (m < 0))) --q;
  return q;
}

struct RefPixelCase {
  bool is16 = true;
  int mode = 0;
  int param = 0;
  uint32_t bright = 0xFFFFFF;
  bool srcAlphaChannel = false;  // the source has an alpha channel
  bool runPath = false;          // drawn from the run-length stream
};

// New destination pixel for S over D; b and a are -1 when absent.
inline uint32_t RefBlend(const RefPixelCase& k, uint32_t S, uint32_t D, int b, int a) {
  const int w16[3] = {5, 6, 5}, sh16[3] = {11, 5, 0};
  const int w32[3] = {8, 8, 8}, sh32[3] = {16, 8, 0};
  const int* W = k.is16 ? w16 : w32;
  const int* SH = k.is16 ? sh16 : sh32;
  const int64_t p = k.param;
  int mode = k.mode;
  if (mode == 1 && p == 255) mode = 0;
  if ((mode == 1 || mode == 2 || mode == 3) && p == 0) return D;
  const bool brightOn = (k.bright & 0xFFFFFF) != 0xFFFFFF;
  const int64_t bc[3] = {(k.bright >> 16) & 255, (k.bright >> 8) & 255, k.bright & 255};
  auto mul = [](int64_t x, int64_t y) { return x * y / 255; };
  const bool hb = b >= 0, ha = a >= 0;
  int64_t s[3], d[3], sb[3], out[3];
  for (int i = 0; i < 3; ++i) {
    s[i] = (S >> SH[i]) & ((1u << W[i]) - 1);
    d[i] = (D >> SH[i]) & ((1u << W[i]) - 1);
    sb[i] = brightOn ? mul(bc[i], s[i]) : s[i];
  }
  auto assemble = [&](uint32_t upper) {
    uint32_t v = upper;
    for (int i = 0; i < 3; ++i) v |= uint32_t(out[i]) << SH[i];
    return v;
  };
  const uint32_t keep = k.is16 ? 0 : (D & 0xFF000000u);
  switch (mode) {
    case 0:
      if (!hb && !ha) {
        if (!brightOn) return S;
        for (int i = 0; i < 3; ++i) out[i] = sb[i];
        return assemble(keep);
      }
      for (int i = 0; i < 3; ++i)
        out[i] = (hb && ha) ? d[i] + FloorDiv((sb[i] - d[i]) * b * a, 65536)
                            : d[i] + FloorDiv((sb[i] - d[i]) * (hb ? b : a), 256);
      return assemble(keep);
    case 1:
      if (!hb && !ha) {
        if (!brightOn && !k.srcAlphaChannel && !k.runPath) {
          if (p == 128) {
            return k.is16 ? ((S >> 1) & 0x7BEF) + ((D >> 1) & 0x7BEF)
                          : ((S >> 1) & 0x7F7F7F) + ((D >> 1) & 0x7F7F7F);
          }
          for (int i = 0; i < 3; ++i) {
            const int64_t t = p / 4;
            out[i] = k.is16 ? (s[i] * t + d[i] * (63 - t)) / 63
                            : d[i] + FloorDiv((s[i] - d[i]) * p, 256);
          }
        } else {
          for (int i = 0; i < 3; ++i)
            out[i] = k.is16 ? d[i] + (p * (sb[i] - d[i])) / 255  // truncates toward zero
                            : d[i] + FloorDiv((sb[i] - d[i]) * p, 256);
        }
      } else {
        for (int i = 0; i < 3; ++i) {
          if (hb && ha) {
            out[i] = d[i] + FloorDiv((sb[i] - d[i]) * b * a * p, int64_t(1) << 24);
          } else {
            out[i] = d[i] + FloorDiv((sb[i] - d[i]) * (hb ? b : a) * p, 65536);
          }
        }
      }
      return assemble(keep);
    case 2:
    case 3: {
      for (int i = 0; i < 3; ++i) {
        if (k.is16) {
          if (ha && !hb) {
            int64_t t = s[i] * a / 256;
            if (brightOn) t = mul(bc[i], t);
            out[i] = mul(p, t);
          } else if (!ha && !hb) {
            out[i] = mul(p, sb[i]);
          } else if (hb && !ha) {
            out[i] = mul(p, sb[i] * b / 256);
          } else {
            out[i] = mul(p, sb[i] * b * a / 65536);
          }
        } else {
          if (!ha && !hb) {
            out[i] = mul(p, sb[i]);
          } else if (ha && hb) {
            out[i] = sb[i] * b * a * p / (int64_t(1) << 24);
          } else {
            out[i] = sb[i] * (hb ? b : a) * p / 65536;
          }
        }
      }
      const uint32_t s2 = assemble(0);
      if (mode == 2) return k.is16 ? test::RefAdd16(s2, D) : test::RefAdd32(s2, D);
      return k.is16 ? test::RefSub16(s2, D) : test::RefSub32(s2, D);
    }
    case 4:
      for (int i = 0; i < 3; ++i) {
        const int64_t scale = int64_t(1) << W[i];
        if (hb && ha) {
          out[i] = sb[i] * b * a * d[i] / (scale << 16);
        } else if (hb || ha) {
          out[i] = sb[i] * (hb ? b : a) * d[i] / (scale << 8);
        } else {
          out[i] = sb[i] * d[i] / scale;
        }
      }
      return assemble(keep);
    default:
      return D;
  }
}

// ---------------------------------------------------------------------------------------
// Reference model of the whole blit. dst is written; src and blend are read as they are
// (pass copies to model a self-draw).

struct RefState {
  int mode = 0;
  int param = 0;
  uint32_t bright = 0xFFFFFF;
  platform::RECT area{0, 0, 640, 480};
  const uint8_t* blendTable = nullptr;  // 256 entries
};

// Whether source pixel (sx, sy) is drawn under the transparent flag, and with its alpha
// channel as a factor: alpha 0 skipped and 255 plain under the key, else the key compared.
inline bool RefSelect(const TestImage& src, int sx, int sy, int trans, bool* withAlpha) {
  const gfx::MEMIMG& s = src.img;
  *withAlpha = false;
  if (s.AlphaFlag && !s.PaletteFlag) {
    const uint32_t a = src.Alpha(sx, sy);
    *withAlpha = trans == 0 || a != 255;
    return trans == 0 || a != 0;
  }
  const uint32_t key = s.PaletteFlag                       ? (s.TransColor & 0xFF)
                       : s.ColorType == gfx::kMemImgRgb565 ? (s.TransColor & 0xFFFF)
                                                           : s.TransColor;
  return trans == 0 || src.Get(sx, sy) != key;
}

// Source pixel (sx, sy) drawn onto destination pixel (x, y) by the blend rules.
inline void RefPut(TestImage& dst, int x, int y, const TestImage& src, int sx, int sy,
                   bool withAlpha, const TestImage* blend, const RefState& st,
                   const RefPixelCase& k) {
  const uint32_t S = src.img.PaletteFlag ? src.PaletteEntry(int(src.Get(sx, sy))) : src.Get(sx, sy);
  const int bv = blend ? st.blendTable[blend->At(sx, sy)[0]] : -1;
  const int av = withAlpha ? int(src.Alpha(sx, sy)) : -1;
  dst.Set(x, y, RefBlend(k, S, dst.Get(x, y), bv, av));
}

inline void RefDraw(TestImage& dst, const TestImage& src, int x, int y, int transFlag,
                    const TestImage* blend, const RefState& st) {
  const gfx::MEMIMG& s = src.img;
  gfx::MEMIMG& d = dst.img;
  if (s.ColorType != d.ColorType || d.PaletteFlag || d.AlphaFlag) return;
  if (d.ColorType != 0 && d.ColorType != 1) return;
  if (st.mode < 0 || st.mode > 4) return;
  const int64_t L = std::max<int64_t>(st.area.left, 0), T = std::max<int64_t>(st.area.top, 0);
  const int64_t R = std::min<int64_t>(st.area.right, d.Width);
  const int64_t B = std::min<int64_t>(st.area.bottom, d.Height);
  const bool inside = x >= L && y >= T && int64_t(x) + s.Width <= R && int64_t(y) + s.Height <= B;
  const bool runPath = transFlag == 1 && s.RunLengthFlag == 1 && inside;
  const RefPixelCase k{
      d.ColorType == 0, st.mode, st.param, st.bright, s.AlphaFlag && !s.PaletteFlag, runPath};
  auto drawOne = [&](int sx, int sy, bool withAlpha) {
    RefPut(dst, x + sx, y + sy, src, sx, sy, withAlpha, blend, st, k);
  };
  if (runPath) {
    const uint8_t* code = s.RunLength;
    for (int sy = 0; sy < s.Height; ++sy) {
      int sx = 0;
      for (;;) {
        const uint8_t c = *code++;
        if ((c >> 6) == 3) break;
        const int n = (c & 63) + 1;
        for (int i = 0; i < n; ++i, ++sx) {
          if ((c >> 6) == 0) continue;
          drawOne(sx, sy, (c >> 6) == 2 && k.srcAlphaChannel);
        }
      }
    }
  } else {
    for (int sy = 0; sy < s.Height; ++sy) {
      for (int sx = 0; sx < s.Width; ++sx) {
        const int64_t dx = int64_t(x) + sx, dy = int64_t(y) + sy;
        if (dx < L || dx >= R || dy < T || dy >= B) continue;
        bool withAlpha;
        if (!RefSelect(src, sx, sy, transFlag, &withAlpha)) continue;
        drawOne(sx, sy, withAlpha);
      }
    }
  }
}

// Sets the reference state as the draw state.
inline void Apply(DrawStateScope& scope, const RefState& st) {
  scope.Set(st.mode, st.param, st.bright, st.area, st.blendTable);
}

// A blit test's draw state: Use sets it (with the test's blend table) for the blit and the
// model alike; the previous state comes back after the test.
class BlitStateTest : public ::testing::Test {
 public:
  void Use(int mode, int param, platform::RECT area = {0, 0, 640, 480},
           uint32_t bright = 0xFFFFFF) {
    st_.mode = mode;
    st_.param = param;
    st_.area = area;
    st_.bright = bright;
    st_.blendTable = table_;
    Apply(scope_, st_);
  }
  DrawStateScope scope_;
  RefState st_;
  uint8_t table_[256];
};

}  // namespace zq::soft::blit_test

namespace zq::soft::test {

// One destination pixel after the flat rule of mode/param with the (already bright-scaled)
// colour s: the blend rules without factors, mode 1 by its difference rule.
inline uint32_t RefFlat(bool is16, int mode, int p, uint32_t s, uint32_t d) {
  return blit_test::RefBlend({is16, mode, p, 0xFFFFFF, false, true}, s, d, -1, -1);
}

}  // namespace zq::soft::test
