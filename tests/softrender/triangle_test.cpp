// Triangles: rows and spans worked by hand from the edge-walk rules in any vertex order,
// texel mapping of quads, clipping, out-of-limit inputs, the write box, and random
// triangles against the geometry, kernel and flat models.
#include "softrender/triangle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <map>
#include <optional>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "softrender/kernel_reference.h"
#include "softrender/soft_bounds.h"
#include "softrender/triangle_geometry_model.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using namespace kernel_test;
using tri_test::BuildModel;
using tri_test::ForEachTexel;
using zq::test::ResetDrawState;
using zq::test::TestImage;
using Spans = std::map<int, std::pair<int, int>>;  // row -> first, last column
using E4 = std::array<int32_t, 4>;

// The four edges of a rectangle, compared at once.
E4 Edges(const platform::RECT& r) {
  return {r.left, r.top, r.right, r.bottom};
}

// Draws a flat white triangle into a blank 16-bit image and returns its rows as spans.
Spans FlatSpans(const std::vector<SoftTriangleVertex>& v, int w = 32, int h = 32) {
  TestImage d(w, h, 0, 0, 0, zq::test::kRowPad);
  DrawMemImgTriangle(&d.img, nullptr, v.data(), 0, nullptr, 0xFFFF);
  EXPECT_TRUE(d.PaddingClean());
  Spans spans;
  for (int y = 0; y < h; ++y) {
    int first = -1, last = -1;
    for (int x = 0; x < w; ++x) {
      if (d.Get(x, y) == 0) continue;
      if (first < 0) first = x;
      EXPECT_EQ(last, first < x ? x - 1 : -1) << "gap in row " << y;
      last = x;
    }
    if (first >= 0) spans[y] = {first, last};
  }
  return spans;
}

SoftTriangleVertex V(int x, int y, int u = 0, int v = 0) {
  return {x, y, u, v};
}

class TriangleTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDrawState(32, 32); }
};

TEST_F(TriangleTest, SpansWorkedByHandInAnyVertexOrder) {
  struct Case {
    std::vector<SoftTriangleVertex> v;
    Spans want;
  };
  const Case cases[] = {
      // M right of the long edge. The right side's second edge starts one unit right of M:
      // step 196607, so row 6 ends at column 11 (12 if it started at M itself).
      {{V(0, 0), V(10, 4), V(13, 8)},
       {{0, {0, 0}},
        {1, {2, 3}},
        {2, {3, 5}},
        {3, {5, 8}},
        {4, {7, 10}},
        {5, {8, 11}},
        {6, {10, 11}},
        {7, {11, 12}}}},
      // M left of the long edge: a single pixel of T in row 0; B's row 6 is not drawn.
      {{V(5, 0), V(0, 4), V(9, 6)},
       {{0, {5, 5}}, {1, {4, 6}}, {2, {3, 6}}, {3, {1, 7}}, {4, {0, 8}}, {5, {5, 8}}}},
      // Flat top: the top row runs from one top vertex's column to the other's, inclusive.
      {{V(2, 0), V(6, 0), V(4, 4)}, {{0, {2, 6}}, {1, {3, 6}}, {2, {3, 5}}, {3, {4, 5}}}},
      // T (0, -3), M (8, 1), B (0, 5): M right of the long edge. T's row -2.5 truncates to
      // -2, so the whole walk runs one row low: rows -2..5 hold the spans of rows -3..4.
      // Left T->B: X = 0.5 px all the way. Right T->M: step 2 px: 0.5, 2.5, 4.5, 6.5; then
      // from 8.5 px + 1 unit, step (0.5 - 8.5 px - 1 unit) / 4 = -524288 (truncated): 8.5,
      // 6.5, 4.5, 2.5 (each a hair above).
      {{V(0, -3), V(8, 1), V(0, 5)},
       {{0, {0, 4}}, {1, {0, 6}}, {2, {0, 8}}, {3, {0, 6}}, {4, {0, 4}}, {5, {0, 2}}}},
      // T (6, -2), M (0, 2), B (8, 6): M left of the long edge. The walk starts at row -1
      // (-1.5 truncated), so the left side's first edge ends on row 2; its second edge
      // restarts at M's row 2, which is drawn again (below), and the walk then ends one row
      // early on the right side's count. Left T->M: 6.5, 5, 3.5, 2 px; left M->B: 0.5, 2.5,
      // 4.5, 6.5 px; right T->B: 6.5 px, step 0.25 px. Row 2 keeps the union of its spans.
      {{V(6, -2), V(0, 2), V(8, 6)},
       {{0, {5, 6}}, {1, {3, 7}}, {2, {0, 7}}, {3, {2, 7}}, {4, {4, 8}}, {5, {6, 8}}}},
  };
  for (const Case& c : cases) {
    std::vector<int> idx{0, 1, 2};
    do {
      EXPECT_EQ(FlatSpans({c.v[idx[0]], c.v[idx[1]], c.v[idx[2]]}), c.want)
          << "case " << (&c - cases) << " order " << idx[0] << idx[1] << idx[2];
    } while (std::next_permutation(idx.begin(), idx.end()));
  }
  // Blending half-way shows the second pass over row 2 of the last drawn case, columns
  // 2..7: white over black gives 0x7BEF once and 0xBDF7 twice.
  gfx::g_DrawState.BlendMode = 1;
  gfx::g_DrawState.BlendParam = 128;
  TestImage d(16, 16, 0, 0, 0, zq::test::kRowPad);
  const SoftTriangleVertex v[3] = {V(6, -2), V(0, 2), V(8, 6)};
  DrawMemImgTriangle(&d.img, nullptr, v, 0, nullptr, 0xFFFF);
  for (int x = 0; x < 10; ++x)
    EXPECT_EQ(d.Get(x, 2), x <= 1 ? 0x7BEFu : x <= 7 ? 0xBDF7u : 0u) << x;
  EXPECT_EQ(d.Get(3, 1), 0x7BEFu);
}

TEST_F(TriangleTest, ClippedToTheDestinationAndTheGivenRectangle) {
  // A draw area larger than the destination still writes only inside it.
  gfx::g_DrawState.DrawArea = {-100, -100, 1000, 1000};
  TestImage d(6, 5, 1, 0, 0, zq::test::kRowPad);
  const SoftTriangleVertex v[3] = {V(-20, -20), V(40, -10), V(0, 40)};
  DrawMemImgTriangle(&d.img, nullptr, v, 0, nullptr, 0xFF00FF00u);
  EXPECT_TRUE(d.PaddingClean());
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(d.Get(x, y), 0xFF00FF00u) << x << "," << y;

  TestImage e(8, 8, 1, 0, 0, zq::test::kRowPad);
  DrawMemImgTriangleClipped(&e.img, nullptr, v, 0, nullptr, 0x12345678u, {2, 3, 5, 4});
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(e.Get(x, y), (y == 3 && x >= 2 && x < 5) ? 0x12345678u : 0u) << x << "," << y;
}

// ------------------------------------------------------------------------------------
// Quads

TestImage Numbered16(int w, int h) {
  TestImage s(w, h, 0, 0, 0, zq::test::kRowPad);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.Set(x, y, uint32_t(0x100 + y * 16 + x));
  return s;
}

TEST_F(TriangleTest, QuadsMapTexelsOneToOne) {
  // Corners (0, 0)..(10, 10): texel (x, y) at (x, y). Corners (0, -1)..(10, 9): the first
  // triangle shows texel row r in row r; the second, referenced at (0, 9), shows texel row
  // r + 1 from column 10 - r.
  TestImage src = Numbered16(10, 10);
  for (int top : {0, -1}) {
    TestImage d(16, 16, 0, 0, 0, zq::test::kRowPad);
    d.Fill(0xBEEF);
    const int32_t corners[8] = {0, top, 10, top, 0, top + 10, 10, top + 10};
    DrawMemImgQuad(&d.img, &src.img, corners, 0, nullptr);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        uint32_t want = 0xBEEF;
        if (top == 0 && x < 10 && y < 10) want = uint32_t(0x100 + y * 16 + x);
        if (top < 0 && y <= 8 && x <= 9) want = uint32_t(0x100 + (x < 10 - y ? y : y + 1) * 16 + x);
        if (top < 0 && y == 9 && x <= 1) want = uint32_t(0x100 + 9 * 16 + x);
        EXPECT_EQ(d.Get(x, y), want) << top << ": " << x << "," << y;
      }
    EXPECT_TRUE(d.PaddingClean());
  }
  // Outside the draw area widened by the quad's own box, or far out: nothing.
  TestImage d(16, 16, 0, 0, 0, zq::test::kRowPad);
  gfx::g_DrawState.DrawArea = {8, 0, 16, 16};
  const int32_t left[8] = {0, 0, 4, 0, 0, 4, 4, 4};  // 4 + 4 <= 8
  DrawMemImgQuad(&d.img, &src.img, left, 0, nullptr);
  const int32_t far[8] = {INT_MAX, INT_MAX, INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MIN};
  DrawMemImgQuad(&d.img, &src.img, far, 0, nullptr);
  for (uint32_t v : d.Pixels()) ASSERT_EQ(v, 0u);
}

TEST_F(TriangleTest, QuadDiagonalIsDrawnByBothTriangles) {
  // A blend image weighting 128 mixes each draw half-way: red 31 over red 0 gives 15
  // once and 23 ((31*128 + 15*128) >> 8) twice, on the diagonal (9,1)..(1,9) only.
  TestImage src(10, 10, 0, 0, 0, zq::test::kRowPad);
  src.Fill(0xF800);
  TestImage blend(10, 10, 2, 0, 0, zq::test::kRowPad);
  blend.Fill(128);
  TestImage d(12, 12, 0, 0, 0, zq::test::kRowPad);
  const int32_t corners[8] = {0, 0, 10, 0, 0, 10, 10, 10};
  DrawMemImgQuad(&d.img, &src.img, corners, 0, &blend.img);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      const uint32_t red = (x >= 10 || y >= 10) ? 0 : (x + y == 10) ? 23 : 15;
      EXPECT_EQ(d.Get(x, y), red << 11) << x << "," << y;
    }
}

// ------------------------------------------------------------------------------------
// Hostile input: nothing drawn, and the call returns (no walk over 2^32 rows).

TEST_F(TriangleTest, OutOfLimitCoordinatesDrawNothing) {
  gfx::g_DrawState.DrawArea = {0, 0, 32, 32};
  const std::vector<std::vector<SoftTriangleVertex>> bad{
      {V(0, 0), V(8192, 4), V(3, 8)},
      {V(0, -8193), V(10, 4), V(3, 8)},
      {V(-1, 0), V(8191, 4), V(3, 8)},  // difference 8192
      {V(0, 0), V(10, 4), V(3, 8, 8192, 0)},
      {V(0, 0, -8000, 0), V(10, 4, 1000, 0), V(3, 8)},
      {V(INT_MIN, INT_MIN), V(INT_MAX, 0), V(0, INT_MAX)},
      {V(0, INT_MIN), V(1, INT_MAX), V(2, 0, INT_MIN, INT_MAX)},
  };
  for (const auto& v : bad) {
    EXPECT_TRUE(FlatSpans(v).empty());
    TestImage src(4, 4, 0, 0, 0, zq::test::kRowPad);
    src.Fill(0xFFFF);
    TestImage d(32, 32, 0, 0, 0, zq::test::kRowPad);
    DrawMemImgTriangle(&d.img, &src.img, v.data(), 0, nullptr, 0);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) ASSERT_EQ(d.Get(x, y), 0u);
  }
  // At the limits themselves the triangle draws (clipped to the image).
  EXPECT_FALSE(FlatSpans({V(-4096, -4096), V(-1, 4095), V(4095, -1)}).empty());
  EXPECT_FALSE(FlatSpans({V(8191, 0), V(0, 8191), V(0, 0)}).empty());
}

TEST_F(TriangleTest, UnsupportedImagesDrawNothing) {
  const SoftTriangleVertex v[3] = {V(0, 0), V(10, 0), V(0, 10, 0, 4)};
  TestImage ok(4, 4, 0, 0, 0, zq::test::kRowPad), small(4, 3, 2, 0, 0, zq::test::kRowPad);
  ok.Fill(0xFFFF);
  TestImage big(8192, 1, 0, 0, 0, zq::test::kRowPad);  // a side of 8192 is beyond 14.18
  TestImage pal(4, 4, 0, 1, 0, zq::test::kRowPad);     // palettised source without palette
  pal.img.Palette = nullptr;
  // Destinations of another colour type, palettised, with alpha or of one channel; a blend
  // image smaller than the source; no vertices, no image.
  for (auto [type, palette, alpha] : {std::tuple{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {2, 0, 0}}) {
    TestImage d(16, 16, type, palette, alpha, zq::test::kRowPad);
    DrawMemImgTriangle(&d.img, type == 1 ? &ok.img : nullptr, v, 0, nullptr, 0xFFFF);
    for (uint32_t p : d.Pixels()) ASSERT_EQ(p, 0u) << type << palette << alpha;
  }
  TestImage d(16, 16, 0, 0, 0, zq::test::kRowPad);
  DrawMemImgTriangle(&d.img, &big.img, v, 0, nullptr, 0xFFFF);
  DrawMemImgTriangle(&d.img, &ok.img, v, 0, &small.img, 0xFFFF);
  DrawMemImgTriangle(&d.img, &pal.img, v, 0, nullptr, 0xFFFF);
  DrawMemImgTriangle(&d.img, nullptr, nullptr, 0, nullptr, 0xFFFF);
  DrawMemImgQuad(&d.img, nullptr, nullptr, 0, nullptr);
  DrawMemImgTriangle(nullptr, nullptr, v, 0, nullptr, 0xFFFF);
  for (uint32_t p : d.Pixels()) ASSERT_EQ(p, 0u);
}

TEST_F(TriangleTest, DrawingClearsTheRunLengthFlag) {
  const SoftTriangleVertex v[3] = {V(0, 0), V(4, 0), V(0, 4, 0, 4)};
  TestImage src = Numbered16(4, 4);
  TestImage d(8, 8, 0, 0, 0, zq::test::kRowPad);
  d.img.RunLengthFlag = 1;
  gfx::g_DrawState.BlendMode = 9;  // draws nothing: the stream still holds
  DrawMemImgTriangle(&d.img, &src.img, v, 0, nullptr, 0);
  DrawMemImgTriangle(&d.img, nullptr, v, 0, nullptr, 0xFFFF);
  EXPECT_EQ(d.img.RunLengthFlag, 1);
  gfx::g_DrawState.BlendMode = 0;
  DrawMemImgTriangle(&d.img, &src.img, v, 0, nullptr, 0);
  EXPECT_EQ(d.img.RunLengthFlag, 0);
  d.img.RunLengthFlag = 1;
  DrawMemImgTriangle(&d.img, nullptr, v, 0, nullptr, 0xFFFF);
  EXPECT_EQ(d.img.RunLengthFlag, 0);
}

TEST_F(TriangleTest, FlatColourReadsNoKeyAndNoBlendImage) {
  TestImage tiny(1, 1, 2, 0, 0, zq::test::kRowPad);  // refused as a textured draw's blend image
  TestImage d(4, 4, 0, 0, 0, zq::test::kRowPad);
  const SoftTriangleVertex v[3] = {{0, 0, 0, 0}, {3, 0, 0, 0}, {0, 3, 0, 0}};
  d.Fill(0x1111);
  DrawMemImgTriangle(&d.img, nullptr, v, 1, &tiny.img, 0);
  EXPECT_EQ(d.Get(0, 0), 0u);
  EXPECT_EQ(d.Get(3, 0), 0u);
  EXPECT_EQ(d.Get(0, 2), 0u);
  EXPECT_EQ(d.Get(0, 3), 0x1111u);
}

// ------------------------------------------------------------------------------------
// The write box of triangles and quads: every pixel a triangle writes lies inside it, and
// negative corners count from their truncated pixel centres.

platform::RECT BoxOf(const SoftTriangleVertex* v, int n) {
  SoftBounds b;
  for (int i = 0; i < n; ++i) b.Include(v[i].x, v[i].y);
  return TriangleWriteBox(b);
}

TEST(TriangleWriteBox, OneColumnAndRowPastTheLargestCornerNegativeOnesNearerZero) {
  // Corners at x = -1 sit at -0.5 pixel, which truncates to column 0: the triangle writes
  // column 0 although every corner lies left of it.
  ResetDrawState(8, 8);
  TestImage d(8, 8, 0, 0, 0, zq::test::kRowPad);
  const SoftTriangleVertex v[3] = {{-5, 0, 0, 0}, {-1, 0, 0, 0}, {-1, 5, 0, 0}};
  DrawMemImgTriangle(&d.img, nullptr, v, 0, nullptr, 0xFFFF);
  EXPECT_EQ(d.Get(0, 0), 0xFFFFu);
  EXPECT_EQ(Edges(BoxOf(v, 3)), (E4{-4, 0, 1, 6}));
  const SoftTriangleVertex w[2] = {{3, 7, 0, 0}, {12, 2, 0, 0}};
  EXPECT_EQ(Edges(BoxOf(w, 2)), (E4{3, 2, 13, 8}));
  const SoftTriangleVertex far[1] = {{INT32_MAX, INT32_MIN, 0, 0}};
  // The bounds start at +-1000000 on each side: the far corner moves right and top only.
  EXPECT_EQ(Edges(BoxOf(far, 1)), (E4{1000000, INT32_MIN + 1, INT32_MAX, -999998}));
}

TEST(TriangleWriteBox, HoldsEveryPixelOfRandomTrianglesAndQuads) {
  std::mt19937 rng(5);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int n = 0; n < 2000; ++n) {
    ResetDrawState(40, 40);
    TestImage d(40, 40, 1, 0, 0, zq::test::kRowPad);
    SoftTriangleVertex v[4];
    for (auto& c : v) c = {pick(-6, 45), pick(-6, 45), 0, 0};
    const bool quad = n % 2 == 1;
    if (quad) {
      TestImage s(4, 4, 1, 0, 0, zq::test::kRowPad);
      s.Fill(0xFFFFFFFFu);
      const int32_t corners[8] = {v[0].x, v[0].y, v[1].x, v[1].y, v[2].x, v[2].y, v[3].x, v[3].y};
      DrawMemImgQuad(&d.img, &s.img, corners, 0, nullptr);
    } else {
      DrawMemImgTriangle(&d.img, nullptr, v, 0, nullptr, 0xFFFFFFFFu);
    }
    const platform::RECT box = BoxOf(v, quad ? 4 : 3);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x)
        if (d.Get(x, y) != 0) {
          ASSERT_TRUE(x >= box.left && x < box.right && y >= box.top && y < box.bottom)
              << "draw " << n << " wrote (" << x << ", " << y << ")";
        }
  }
}

// ------------------------------------------------------------------------------------
// Random triangles against the models: rows and spans in closed form, textured ones in every
// blend mode (and modes outside 0..4), for every source kind and every combination of blend
// image, bright, alpha channel and transparent flag, through the kernel model; flat-colour
// ones through the flat model.

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
    if (iter % 3 == 0) {  // texels 1:1 along the rows: the span loops
      const int ou = Rand(-50, 10), ov = Rand(-45, 10);
      for (auto& q : v) q.u = q.x + ou, q.v = q.y + ov;
    }
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

// Flat colour: the colour scaled by bright (x * bright / 255), then the flat blend rules.
TEST(TriangleModel, FlatModesMatchTheModel) {
  std::mt19937 rng{20261206};
  auto rand = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int iter = 0; iter < 3000; ++iter) {
    const bool wide = rand(0, 1);
    zq::test::ResetDrawState(48, 40);
    const int mode = rand(-1, 5);
    const int p = std::array{0, 255, rand(0, 255)}[rand(0, 2)];
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = p;
    const uint32_t br = rand(0, 1) ? 0xFFFFFFu : uint32_t(rng());
    gfx::g_DrawState.Bright = br;
    const uint32_t colour = uint32_t(rng());  // a 16-bit draw ignores the upper bits
    SoftTriangleVertex v[3];
    for (auto& q : v) q = {rand(-20, 60), rand(-20, 55), rand(-100, 100), rand(-100, 100)};
    TestImage got(48, 40, wide, 0, 0, zq::test::kRowPad);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 48; ++x) got.Set(x, y, uint32_t(rng()));
    TestImage want = got;
    DrawMemImgTriangle(&got.img, nullptr, v, rand(0, 1), nullptr, colour);

    // Bright scales the colour alone (its fourth byte kept), as a copy onto itself would.
    const uint32_t s = blit_test::RefBlend({!wide, 0, 0, br}, colour, colour, -1, -1);
    for (const tri_test::Row& r : tri_test::BuildModel(v).rows) {
      if (r.row < 0 || r.row >= 40) continue;
      for (int64_t x = std::max<int64_t>(r.xl, 0); x <= r.xr && x < 48; ++x)
        want.Set(int(x), int(r.row),
                 test::RefFlat(!wide, mode, p, s, want.Get(int(x), int(r.row))));
    }
    ASSERT_EQ(got.bytes, want.bytes) << "iteration " << iter << " mode " << mode << " p " << p;
  }
}

}  // namespace
}  // namespace zq::soft
