// Random textured triangles in every blend mode (and modes outside 0..4), for every source
// kind and every
// combination of blend image, bright, alpha channel and transparent flag, against a
// per-pixel model written channel by channel from the blend rules (no tables, no packed
// tricks; wide integers throughout).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>

#include "graphics/draw_state.h"
#include "softrender/flat_reference.h"
#include "softrender/triangle.h"
#include "softrender/triangle_geometry_model.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using tri_test::BuildModel;
using tri_test::ForEachTexel;
using zq::test::ResetDrawState;
using zq::test::TestImage;

struct DrawKind {
  bool wide, palette, alpha, trans, blend, bright;
};

// Channels red, green, blue as values, and their widths.
struct Ch {
  int64_t v[3];
};
Ch SplitCh(bool wide, uint32_t x) {
  if (wide) return {{x >> 16 & 0xFF, x >> 8 & 0xFF, x & 0xFF}};
  return {{x >> 11 & 0x1F, x >> 5 & 0x3F, x & 0x1F}};
}
uint32_t JoinCh(bool wide, const Ch& c) {
  if (wide) return uint32_t(c.v[0] << 16 | c.v[1] << 8 | c.v[2]);
  return uint32_t(c.v[0] << 11 | c.v[1] << 5 | c.v[2]);
}
int Width(bool wide, int i) {
  return wide ? 8 : (i == 1 ? 6 : 5);
}

// The new destination pixel for one texel over d, or nothing when the pixel is skipped.
std::optional<uint32_t> ModelPixel(const DrawKind& k, int mode, int64_t p, TestImage& src, int tx,
                                   int ty, uint32_t d, uint8_t blendByte) {
  const uint8_t* texel = src.At(tx, ty);
  uint32_t raw = 0;
  std::memcpy(&raw, texel, k.palette ? 1 : k.wide ? 4 : 2);
  const int64_t a = k.alpha ? texel[k.wide ? 3 : 2] : 255;
  if (k.trans && !k.alpha && raw == src.img.TransColor) return std::nullopt;
  if (k.trans && k.alpha && a == 0 && mode != 4) return std::nullopt;
  // The alpha factor applies unless an opaque texel meets the transparent flag.
  const bool af = k.alpha && !(k.trans && a == 255);

  uint32_t colour = raw;
  if (k.palette) {
    colour = 0;
    std::memcpy(&colour, reinterpret_cast<uint8_t*>(src.palette.data()) + raw * (k.wide ? 4 : 2),
                k.wide ? 4 : 2);
  }
  const Ch s = SplitCh(k.wide, colour), dc = SplitCh(k.wide, d);
  const uint32_t br = gfx::g_DrawState.Bright;
  const int64_t bb[3] = {br >> 16 & 0xFF, br >> 8 & 0xFF, br & 0xFF};
  auto Br = [&](int i, int64_t x) { return k.bright ? x * bb[i] / 255 : x; };
  const int64_t t = gfx::BlendGraphTable[blendByte];
  const uint32_t fourth = k.wide ? (d & 0xFF000000u) : 0;
  Ch out{};

  if (mode == 1 && p == 255) mode = 0;  // alpha blend at full strength is the copy
  switch (mode) {
    case 0: {
      const int64_t f = (k.blend ? t : 1) * (af ? a : 1);
      const int n = 8 * (int(k.blend) + int(af));
      if (n == 0 && !k.bright) return colour;  // the whole colour, fourth byte included
      for (int i = 0; i < 3; ++i) {
        const int64_t sc = Br(i, s.v[i]);
        out.v[i] = n == 0 ? sc : (dc.v[i] * ((int64_t(1) << n) - f) + sc * f) >> n;
      }
      return JoinCh(k.wide, out) | fourth;
    }
    case 1:
      for (int i = 0; i < 3; ++i) {
        const int64_t sc = Br(i, s.v[i]), dv = dc.v[i];
        if (!k.blend && !af) {
          // 16-bit: the change p * (s - d) / 255 truncated toward zero; 32-bit: / 256.
          out.v[i] = k.wide ? (dv * (256 - p) + sc * p) >> 8 : dv + (p * (sc - dv)) / 255;
        } else {
          const int64_t f = (k.blend ? t : 1) * (af ? a : 1) * p;
          const int n = (k.blend && af) ? 24 : 16;
          out.v[i] = (dv * ((int64_t(1) << n) - f) + sc * f) >> n;
        }
      }
      return JoinCh(k.wide, out) | fourth;
    case 2:
    case 3: {
      for (int i = 0; i < 3; ++i) {
        const int64_t f = s.v[i];
        if (!k.wide) {
          int64_t x;
          if (k.blend && af)
            x = (Br(i, f) * t * a) >> 16;
          else if (k.blend)
            x = (Br(i, f) * t) >> 8;
          else if (af)
            x = Br(i, (f * a) >> 8);  // alpha first, bright on its result
          else
            x = Br(i, f);
          out.v[i] = p * x / 255;
        } else {
          const int64_t c = Br(i, f);
          if (k.blend && af)
            out.v[i] = (c * a * t * p) >> 24;
          else if (k.blend)
            out.v[i] = (c * t * p) >> 16;
          else if (af)
            out.v[i] = (c * a * p) >> 16;
          else
            out.v[i] = p * c / 255;
        }
      }
      const uint32_t S = JoinCh(k.wide, out);
      if (mode == 2) return k.wide ? test::RefAdd32(S, d) : test::RefAdd16(S, d);
      return k.wide ? test::RefSub32(S, d) : test::RefSub16(S, d);
    }
    default:
      for (int i = 0; i < 3; ++i) {
        const int64_t factors = (k.blend ? t : 1) * (af ? a : 1);
        const int shift = Width(k.wide, i) + 8 * (int(k.blend) + int(af));
        out.v[i] = (Br(i, s.v[i]) * dc.v[i] * factors) >> shift;
      }
      return JoinCh(k.wide, out) | fourth;
  }
}

// Whether a mode and parameter draw at all, for a source kind.
bool Draws(int mode, int p, bool palette) {
  if (mode < 0 || mode > 4) return false;
  if (p != 0 || mode == 0) return true;
  return mode == 4 || (mode == 3 && palette);
}

class BlendKernelModelTest : public ::testing::Test {
 protected:
  std::mt19937 rng{61106};
  int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

  // One random triangle of the given kind and mode, checked against the model.
  void CheckOne(const DrawKind& k0, int mode, int iter) {
    DrawKind k = k0;
    ResetDrawState(48, 40);
    const int al = Rand(-5, 20), at = Rand(-5, 20);
    gfx::g_DrawState.DrawArea = {al, at, Rand(al, 53), Rand(at, 45)};
    gfx::g_DrawState.Bright =
        k.bright ? std::array{0u, 0x80FFFFu, uint32_t(rng())}[Rand(0, 2)] : 0xFF000000u | 0xFFFFFF;
    if ((gfx::g_DrawState.Bright & 0xFFFFFF) == 0xFFFFFF) k.bright = false;
    const int p = std::array{0, 255, Rand(1, 4), Rand(0, 255), Rand(0, 255)}[Rand(0, 4)];
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = p;
    for (int i = 0; i < 256; ++i) gfx::BlendGraphTable[i] = uint8_t(Rand(0, 255));
    gfx::BlendGraphTable[Rand(0, 255)] = 0;
    gfx::BlendGraphTable[Rand(0, 255)] = 255;

    auto [src, blend, got, want, v] = tri_test::MakeRandomScene(rng, k.wide, k.palette, k.alpha);
    const int sw = src.img.Width, sh = src.img.Height;
    DrawMemImgTriangle(&got.img, &src.img, v, k.trans, k.blend ? &blend.img : nullptr, 0);

    if (Draws(mode, p, k.palette)) {
      const auto& area = gfx::g_DrawState.DrawArea;
      ForEachTexel(
          BuildModel(v), std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, 48),
          std::min(area.bottom, 40), sw, sh, [&](int x, int y, int tx, int ty) {
            const auto out =
                ModelPixel(k, mode, p, src, tx, ty, want.Get(x, y), uint8_t(blend.Get(tx, ty)));
            if (out) want.Set(x, y, *out);
          });
    }
    ASSERT_EQ(got.bytes, want.bytes)
        << "mode " << mode << " p " << p << " wide " << k.wide << " palette " << k.palette
        << " alpha " << k.alpha << " trans " << k.trans << " blend " << k.blend << " bright "
        << k.bright << " iteration " << iter;
  }
};

TEST_F(BlendKernelModelTest, EveryModeKindAndFlagMatchesTheModel) {
  for (int mode = -1; mode <= 5; ++mode)
    for (int kind = 0; kind < 4; ++kind)
      for (int flags = 0; flags < 16; ++flags) {
        DrawKind k{};
        k.wide = kind & 1;
        k.palette = kind & 2;
        k.blend = flags & 1;
        k.bright = flags & 2;
        k.alpha = flags & 4;
        k.trans = flags & 8;
        if (k.palette && k.alpha) continue;  // palettised sources carry no alpha channel
        for (int iter = 0; iter < 25; ++iter) {
          CheckOne(k, mode, iter);
          if (HasFatalFailure()) return;
        }
      }
}

}  // namespace
}  // namespace zq::soft
