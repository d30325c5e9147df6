// Random triangles against an independent model written from the rasterizer's rules:
// rows and spans in closed form (start + k * step, 64-bit), texel positions from the
// reference point for every pixel, and the copy and flat-colour results channel by
// channel from their tables.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "flat_reference.h"
#include "graphics/draw_state.h"
#include "softrender/soft_tables.h"
#include "softrender/triangle.h"
#include "softrender/triangle_geometry_model.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using tri_test::BuildModel;
using tri_test::Model;
using tri_test::Row;
using zq::test::ResetDrawState;
using zq::test::TestImage;

// Channel helpers: 16-bit fields (5, 6, 5) or 32-bit bytes 0-2.
struct Channels {
  uint32_t c[3];  // red, green, blue
};
Channels Split(bool wide, uint32_t v) {
  if (wide) return {{v >> 16 & 0xFF, v >> 8 & 0xFF, v & 0xFF}};
  return {{v >> 11 & 0x1F, v >> 5 & 0x3F, v & 0x1F}};
}
uint32_t Join(bool wide, const Channels& ch, uint32_t fourth) {
  if (wide) return ch.c[0] << 16 | ch.c[1] << 8 | ch.c[2] | (fourth & 0xFF000000u);
  return ch.c[0] << 11 | ch.c[1] << 5 | ch.c[2];
}

struct DrawKind {
  bool wide, palette, alpha, trans, blend, bright;
};

// The copy result for one texel over d, or nothing when the pixel is skipped.
std::optional<uint32_t> ModelCopy(const DrawKind& s, TestImage& src, int tx, int ty, uint32_t d,
                                  uint8_t blendByte) {
  const uint8_t* texel = src.At(tx, ty);
  uint32_t raw = 0;
  std::memcpy(&raw, texel, s.palette ? 1 : s.wide ? 4 : 2);
  uint32_t a = 255;
  if (s.alpha) a = texel[s.wide ? 3 : 2];
  if (s.trans && !s.alpha && raw == src.img.TransColor) return std::nullopt;
  if (s.trans && s.alpha && a == 0) return std::nullopt;
  uint32_t colour = raw;
  if (s.palette) {
    colour = 0;
    std::memcpy(&colour, reinterpret_cast<uint8_t*>(src.palette.data()) + raw * (s.wide ? 4 : 2),
                s.wide ? 4 : 2);
  }
  Channels sc = Split(s.wide, colour);
  const uint32_t br = gfx::g_DrawState.Bright;
  if (s.bright) {
    const uint32_t bb[3] = {br >> 16 & 0xFF, br >> 8 & 0xFF, br & 0xFF};
    for (int i = 0; i < 3; ++i) sc.c[i] = sc.c[i] * bb[i] / 255;
  }
  const Channels dc = Split(s.wide, d);
  auto mix = [&](uint32_t f, int shift) {
    Channels out;
    for (int i = 0; i < 3; ++i) out.c[i] = (sc.c[i] * f + dc.c[i] * ((1u << shift) - f)) >> shift;
    return Join(s.wide, out, d);
  };
  const uint32_t t = gfx::BlendGraphTable[blendByte];
  const bool opaque = !s.alpha || (s.trans && a == 255);
  if (s.blend) return (s.alpha && !opaque) ? mix(t * a, 16) : mix(t, 8);
  if (!opaque) return mix(a, 8);
  if (s.bright) return Join(s.wide, sc, d);
  return colour;
}

class TriangleModelTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDrawState(48, 40); }
  std::mt19937 rng{20261206};
  int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
};

TEST_F(TriangleModelTest, TexturedCopyMatchesTheModel) {
  for (int iter = 0; iter < 3000; ++iter) {
    DrawKind s{};
    s.wide = Rand(0, 1);
    s.palette = Rand(0, 2) == 0;
    s.alpha = !s.palette && Rand(0, 1);
    s.trans = Rand(0, 1);
    s.blend = Rand(0, 1);
    s.bright = Rand(0, 1);
    ResetDrawState(48, 40);
    const int al = Rand(-5, 20), at = Rand(-5, 20);
    gfx::g_DrawState.DrawArea = {al, at, Rand(al, 53), Rand(at, 45)};
    gfx::g_DrawState.Bright = s.bright ? uint32_t(Rand(0, 0xFFFFFE)) : 0xFFFFFFu;
    if ((gfx::g_DrawState.Bright & 0xFFFFFF) == 0xFFFFFF) s.bright = false;
    gfx::g_DrawState.BlendMode = Rand(0, 1);  // mode 1 at 255 is the copy
    for (int i = 0; i < 256; ++i) gfx::BlendGraphTable[i] = uint8_t(Rand(0, 255));

    auto [src, blend, got, want, v] = tri_test::MakeRandomScene(rng, s.wide, s.palette, s.alpha);
    const int sw = src.img.Width, sh = src.img.Height;
    if (iter % 3 == 0) {  // texels 1:1 along the rows
      const int ou = Rand(-50, 10), ov = Rand(-45, 10);
      for (auto& q : v) q.u = q.x + ou, q.v = q.y + ov;
    }
    DrawMemImgTriangle(&got.img, &src.img, v, s.trans, s.blend ? &blend.img : nullptr, 0);

    const auto& area = gfx::g_DrawState.DrawArea;
    tri_test::ForEachTexel(
        BuildModel(v), std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, 48),
        std::min(area.bottom, 40), sw, sh, [&](int x, int y, int tx, int ty) {
          const auto out = ModelCopy(s, src, tx, ty, want.Get(x, y), uint8_t(blend.Get(tx, ty)));
          if (out) want.Set(x, y, *out);
        });
    ASSERT_EQ(got.bytes, want.bytes) << "iteration " << iter;
  }
}

// Flat colour: the colour scaled by bright through the table, then the blend rules.
uint32_t ModelFlat(bool wide, int mode, int p, uint32_t s, uint32_t d) {
  const Channels sc = Split(wide, s), dc = Split(wide, d);
  Channels out;
  switch (mode) {
    case 0:
      return s;
    case 1:
      if (p == 255) return s;
      for (int i = 0; i < 3; ++i) {
        const int diff = int(sc.c[i]) - int(dc.c[i]);
        out.c[i] = wide ? uint32_t((diff * p + int(dc.c[i]) * 256) >> 8)
                        : uint32_t(int(dc.c[i]) + diff * p / 255);
      }
      return Join(wide, out, d);
    case 2:
    case 3: {
      for (int i = 0; i < 3; ++i) out.c[i] = sc.c[i] * uint32_t(p) / 255;
      const uint32_t S = Join(wide, out, 0);
      if (mode == 2) return wide ? test::RefAdd32(S, d) : test::RefAdd16(S, d);
      return wide ? test::RefSub32(S, d) : test::RefSub16(S, d);
    }
    default:
      for (int i = 0; i < 3; ++i) {
        const int bits = wide ? 8 : (i == 1 ? 6 : 5);
        out.c[i] = sc.c[i] * dc.c[i] >> bits;
      }
      return Join(wide, out, d);
  }
}

TEST_F(TriangleModelTest, FlatModesMatchTheModel) {
  for (int iter = 0; iter < 3000; ++iter) {
    const bool wide = Rand(0, 1);
    ResetDrawState(48, 40);
    const int mode = Rand(0, 4);
    const int p = std::array{0, 255, Rand(0, 255)}[Rand(0, 2)];
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = p;
    gfx::g_DrawState.Bright = Rand(0, 1) ? 0xFFFFFFu : uint32_t(rng());
    const uint32_t colour = uint32_t(rng()) & (wide ? 0xFFFFFFFFu : 0xFFFFu);
    SoftTriangleVertex v[3];
    for (auto& q : v) q = {Rand(-20, 60), Rand(-20, 55), Rand(-100, 100), Rand(-100, 100)};
    TestImage got(48, 40, wide, 0, 0, zq::test::kRowPad),
        want(48, 40, wide, 0, 0, zq::test::kRowPad);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 48; ++x) {
        const uint32_t u = uint32_t(rng());
        got.Set(x, y, u);
        want.Set(x, y, u);
      }
    DrawMemImgTriangle(&got.img, nullptr, v, Rand(0, 1), nullptr, colour);

    const uint32_t br = gfx::g_DrawState.Bright;
    Channels c = Split(wide, colour);
    const uint32_t bb[3] = {br >> 16 & 0xFF, br >> 8 & 0xFF, br & 0xFF};
    for (int i = 0; i < 3; ++i) c.c[i] = c.c[i] * bb[i] / 255;
    const uint32_t s = Join(wide, c, colour);
    const bool draws = !((mode == 1 || mode == 2 || mode == 3) && p == 0);
    const Model m = BuildModel(v);
    for (const Row& r : m.rows) {
      if (!draws || r.row < 0 || r.row >= 40) continue;
      for (int64_t x = std::max<int64_t>(r.xl, 0); x <= r.xr && x < 48; ++x)
        want.Set(int(x), int(r.row), ModelFlat(wide, mode, p, s, want.Get(int(x), int(r.row))));
    }
    ASSERT_EQ(got.bytes, want.bytes) << "iteration " << iter;
  }
}

}  // namespace
}  // namespace zq::soft
