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

#include "graphics/draw_state.h"
#include "softrender/packed_ops.h"
#include "softrender/soft_tables.h"
#include "softrender/triangle.h"
#include "softrender/triangle_test_image.h"

namespace zq::soft {
namespace {

using tri_test::ResetDrawState;
using tri_test::TestImage;

constexpr int64_t kUnit = 262144;

struct Row {
  int64_t row, xl, xr;
};

struct Model {
  std::vector<Row> rows;
  int64_t xRef = 0, yRef = 0, uRef = 0, vRef = 0;
  uint32_t dudx = 0, dudy = 0, dvdx = 0, dvdy = 0;
};

uint32_t Gradient(int64_t n, int64_t area) {
  const double q = std::trunc(double(n) * 262144.0 / double(area));
  if (!(q >= -2147483648.0 && q <= 2147483647.0)) return 0x80000000u;
  return uint32_t(int64_t(q));
}

// Empty rows for a degenerate triangle.
Model BuildModel(const SoftTriangleVertex* p) {
  Model m;
  int64_t X[3], Y[3], U[3], V[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = int64_t(p[i].x) * kUnit + kUnit / 2;
    Y[i] = int64_t(p[i].y) * kUnit + kUnit / 2;
    U[i] = int64_t(p[i].u) * kUnit;
    V[i] = int64_t(p[i].v) * kUnit;
  }
  std::array<int, 3> xo{0, 1, 2}, yo{0, 1, 2};
  for (auto [a, b] : {std::pair{0, 1}, {0, 2}, {1, 2}}) {
    if (X[xo[a]] > X[xo[b]]) std::swap(xo[a], xo[b]);
    if (Y[yo[a]] > Y[yo[b]]) std::swap(yo[a], yo[b]);
  }
  const int p0 = xo[0], p1 = xo[1], p2 = xo[2], t = yo[0], mi = yo[1], b = yo[2];
  const int64_t dx1 = p[p1].x - p[p0].x, dy1 = p[p1].y - p[p0].y;
  const int64_t du1 = p[p1].u - p[p0].u, dv1 = p[p1].v - p[p0].v;
  const int64_t dx2 = p[p2].x - p[p0].x, dy2 = p[p2].y - p[p0].y;
  const int64_t du2 = p[p2].u - p[p0].u, dv2 = p[p2].v - p[p0].v;
  const int64_t area = dx2 * dy1 - dx1 * dy2;
  if (area == 0) return m;
  m.dudx = Gradient(du2 * dy1 - du1 * dy2, area);
  m.dudy = Gradient(du1 * dx2 - du2 * dx1, area);
  m.dvdx = Gradient(dv2 * dy1 - dv1 * dy2, area);
  m.dvdy = Gradient(dv1 * dx2 - dv2 * dx1, area);
  m.xRef = X[p0] / kUnit;
  m.yRef = Y[p0] / kUnit;
  m.uRef = U[p0];
  m.vRef = V[p0];

  struct E {
    int64_t sx, sy, ex, ey;
  };
  std::vector<E> left, right;
  if (Y[t] == Y[mi]) {
    if (X[t] > X[mi])
      left = {{X[mi], Y[mi], X[b], Y[b]}}, right = {{X[t], Y[t], X[b], Y[b]}};
    else
      left = {{X[t], Y[t], X[b], Y[b]}}, right = {{X[mi], Y[mi], X[b], Y[b]}};
  } else if (Y[mi] == Y[b]) {
    if (X[mi] > X[b])
      left = {{X[t], Y[t], X[b], Y[b]}}, right = {{X[t], Y[t], X[mi], Y[mi]}};
    else
      left = {{X[t], Y[t], X[mi], Y[mi]}}, right = {{X[t], Y[t], X[b], Y[b]}};
  } else {
    const double sM = double(X[mi] - X[t]) / double((Y[mi] - Y[t]) / kUnit);
    const double sL = double(X[b] - X[t]) / double((Y[b] - Y[t]) / kUnit);
    if (sM >= sL) {
      left = {{X[t], Y[t], X[b], Y[b]}};
      right = {{X[t], Y[t], X[mi], Y[mi]}, {X[mi] + 1, Y[mi], X[b], Y[b]}};
    } else {
      left = {{X[t], Y[t], X[mi], Y[mi]}, {X[mi], Y[mi], X[b], Y[b]}};
      right = {{X[t], Y[t], X[b], Y[b]}};
    }
  }
  std::vector<std::pair<int64_t, int64_t>> l;  // row, X
  std::vector<int64_t> r;
  for (const E& e : left) {
    const int64_t n = (e.ey - e.sy) / kUnit, step = (e.ex - e.sx) / n;
    for (int64_t k = 0; k < n; ++k) l.push_back({e.sy / kUnit + k, e.sx + k * step});
  }
  for (const E& e : right) {
    const int64_t n = (e.ey - e.sy) / kUnit, step = (e.ex - e.sx) / n;
    for (int64_t k = 0; k < n; ++k) r.push_back(e.sx + k * step);
  }
  EXPECT_EQ(l.size(), r.size());
  for (size_t i = 0; i < l.size() && i < r.size(); ++i)
    m.rows.push_back({l[i].first, l[i].second / kUnit, r[i] / kUnit});
  return m;
}

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

    const int sw = Rand(1, 16), sh = Rand(1, 12);
    TestImage src(sw, sh, s.wide, s.palette, s.alpha);
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x) {
        uint32_t v = uint32_t(rng());
        if (s.alpha)
          v = (v & ~(s.wide ? 0xFF000000u : 0xFF0000u)) |
              uint32_t(std::array{0, 255, Rand(0, 255)}[Rand(0, 2)]) << (s.wide ? 24 : 16);
        src.Set(x, y, v);
      }
    for (auto& e : src.palette) e = uint32_t(rng());
    src.img.TransColor = Rand(0, 1) ? src.Get(Rand(0, sw - 1), Rand(0, sh - 1)) : uint32_t(rng());
    TestImage blend(sw + Rand(0, 3), sh + Rand(0, 3), 2);
    for (int y = 0; y < blend.img.Height; ++y)
      for (int x = 0; x < blend.img.Width; ++x) blend.Set(x, y, uint32_t(Rand(0, 255)));

    SoftTriangleVertex v[3];
    for (auto& p : v) p = {Rand(-20, 60), Rand(-20, 55), Rand(-5, sw + 5), Rand(-5, sh + 5)};
    TestImage got(48, 40, s.wide), want(48, 40, s.wide);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 48; ++x) {
        const uint32_t u = uint32_t(rng());
        got.Set(x, y, u);
        want.Set(x, y, u);
      }
    DrawMemImgTriangle(&got.img, &src.img, v, s.trans, s.blend ? &blend.img : nullptr, 0);

    const Model m = BuildModel(v);
    const auto& area = gfx::g_DrawState.DrawArea;
    const int cl = std::max(area.left, 0), ct = std::max(area.top, 0);
    const int cr = std::min(area.right, 48), cb = std::min(area.bottom, 40);
    for (const Row& r : m.rows) {
      if (r.row < ct || r.row >= cb) continue;
      for (int64_t x = std::max<int64_t>(r.xl, cl); x <= r.xr && x < cr; ++x) {
        const uint32_t u = uint32_t((x - m.xRef) * int64_t(int32_t(m.dudx)) +
                                    (r.row - m.yRef) * int64_t(int32_t(m.dudy)) + m.uRef);
        const uint32_t vv = uint32_t((x - m.xRef) * int64_t(int32_t(m.dvdx)) +
                                     (r.row - m.yRef) * int64_t(int32_t(m.dvdy)) + m.vRef);
        if (u >= uint32_t(sw) << 18 || vv >= uint32_t(sh) << 18) continue;
        const int tx = int(u >> 18), ty = int(vv >> 18);
        const auto out =
            ModelCopy(s, src, tx, ty, want.Get(int(x), int(r.row)), uint8_t(blend.Get(tx, ty)));
        if (out) want.Set(int(x), int(r.row), *out);
      }
    }
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
      if (mode == 2) return wide ? AddPixelSaturated32(S, d) : AddPixelSaturated16(S, d);
      return wide ? SubPixelSaturated32(S, d) : SubPixelSaturated16(S, d);
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
    TestImage got(48, 40, wide), want(48, 40, wide);
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
