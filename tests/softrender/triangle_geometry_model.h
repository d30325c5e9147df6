// Independent model of the triangle walk, written from the rasterizer's rules: rows and
// spans in closed form (start + k * step, 64-bit) and texel positions from the reference
// point for every pixel. Shared by the tests that check what is drawn at each pixel.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "softrender/triangle.h"
#include "support/test_image.h"

namespace zq::soft::tri_test {

constexpr int64_t kUnit = 262144;

struct Row {
  int64_t row, xl, xr;
};

struct Model {
  std::vector<Row> rows;
  int64_t xRef = 0, yRef = 0, uRef = 0, vRef = 0;
  uint32_t dudx = 0, dudy = 0, dvdx = 0, dvdy = 0;
};

inline uint32_t Gradient(int64_t n, int64_t area) {
  const double q = std::trunc(double(n) * 262144.0 / double(area));
  if (!(q >= -2147483648.0 && q <= 2147483647.0)) return 0x80000000u;
  return uint32_t(int64_t(q));
}

// Empty rows for a degenerate triangle.
inline Model BuildModel(const SoftTriangleVertex* p) {
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

// Calls visit(x, y, tx, ty) for every pixel of the model inside the clip rectangle (left,
// top, right, bottom; right and bottom exclusive) whose texel lies inside a source of
// sw x sh texels, in drawing order.
template <class Visit>
void ForEachTexel(const Model& m, int64_t cl, int64_t ct, int64_t cr, int64_t cb, int sw, int sh,
                  Visit&& visit) {
  for (const Row& r : m.rows) {
    if (r.row < ct || r.row >= cb) continue;
    for (int64_t x = std::max<int64_t>(r.xl, cl); x <= r.xr && x < cr; ++x) {
      const uint32_t u = uint32_t((x - m.xRef) * int64_t(int32_t(m.dudx)) +
                                  (r.row - m.yRef) * int64_t(int32_t(m.dudy)) + m.uRef);
      const uint32_t v = uint32_t((x - m.xRef) * int64_t(int32_t(m.dvdx)) +
                                  (r.row - m.yRef) * int64_t(int32_t(m.dvdy)) + m.vRef);
      if (u >= uint32_t(sw) << 18 || v >= uint32_t(sh) << 18) continue;
      visit(int(x), int(r.row), int(u >> 18), int(v >> 18));
    }
  }
}

// A random scene for the model comparisons: a sw x sh source of the kind with random texels
// (alpha 0, 255 or any), palette and key, a blend image at least as large, three vertices
// around the source, and two identical 48 x 40 destinations of random pixels.
struct RandomScene {
  zq::test::TestImage src, blend, got, want;
  SoftTriangleVertex v[3];
};

template <class Rng>
RandomScene MakeRandomScene(Rng& rng, bool wide, bool palette, bool alpha) {
  using zq::test::kRowPad;
  using zq::test::TestImage;
  auto rand = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int sw = rand(1, 16), sh = rand(1, 12);
  TestImage src(sw, sh, wide, palette, alpha, kRowPad);
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x) {
      uint32_t v = uint32_t(rng());
      if (alpha)
        v = (v & ~(wide ? 0xFF000000u : 0xFF0000u)) |
            uint32_t(std::array{0, 255, rand(0, 255)}[rand(0, 2)]) << (wide ? 24 : 16);
      src.Set(x, y, v);
    }
  for (auto& e : src.palette) e = uint32_t(rng());
  src.img.TransColor = rand(0, 1) ? src.Get(rand(0, sw - 1), rand(0, sh - 1)) : uint32_t(rng());
  TestImage blend(sw + rand(0, 3), sh + rand(0, 3), 2, false, false, kRowPad);
  for (int y = 0; y < blend.img.Height; ++y)
    for (int x = 0; x < blend.img.Width; ++x) blend.Set(x, y, uint32_t(rand(0, 255)));
  RandomScene s{std::move(src),
                std::move(blend),
                TestImage(48, 40, wide, false, false, kRowPad),
                TestImage(48, 40, wide, false, false, kRowPad),
                {}};
  for (auto& q : s.v) q = {rand(-20, 60), rand(-20, 55), rand(-5, sw + 5), rand(-5, sh + 5)};
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 48; ++x) {
      const uint32_t u = uint32_t(rng());
      s.got.Set(x, y, u);
      s.want.Set(x, y, u);
    }
  return s;
}

}  // namespace zq::soft::tri_test
