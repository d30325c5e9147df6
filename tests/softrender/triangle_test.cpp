// Triangle geometry: rows and spans worked by hand from the edge-walk rules, vertex
// order independence, texel mapping of quads, clipping and out-of-limit inputs.
#include "softrender/triangle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <utility>
#include <vector>

#include "support/test_image.h"

namespace zq::soft {
namespace {

using zq::test::ResetDrawState;
using zq::test::TestImage;
using Spans = std::map<int, std::pair<int, int>>;  // row -> first, last column

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

TEST_F(TriangleTest, MiddleVertexRightOfLongEdge) {
  // The right side's second edge starts one unit right of M: step 196607, so row 6 ends
  // at column 11 (12 if it started at M itself).
  const Spans want{{0, {0, 0}},  {1, {2, 3}},  {2, {3, 5}},   {3, {5, 8}},
                   {4, {7, 10}}, {5, {8, 11}}, {6, {10, 11}}, {7, {11, 12}}};
  EXPECT_EQ(FlatSpans({V(0, 0), V(10, 4), V(13, 8)}), want);
}

TEST_F(TriangleTest, MiddleVertexLeftOfLongEdge) {
  // Single pixel of T in row 0; B's row 6 is not drawn.
  const Spans want{{0, {5, 5}}, {1, {4, 6}}, {2, {3, 6}}, {3, {1, 7}}, {4, {0, 8}}, {5, {5, 8}}};
  EXPECT_EQ(FlatSpans({V(5, 0), V(0, 4), V(9, 6)}), want);
}

TEST_F(TriangleTest, FlatTopAndFlatBottom) {
  // Flat top: the top row runs from one top vertex's column to the other's, inclusive.
  const Spans top{{0, {2, 6}}, {1, {3, 6}}, {2, {3, 5}}, {3, {4, 5}}};
  EXPECT_EQ(FlatSpans({V(2, 0), V(6, 0), V(4, 4)}), top);
  EXPECT_EQ(FlatSpans({V(6, 0), V(2, 0), V(4, 4)}), top);
  const Spans bottom{{0, {4, 4}}, {1, {3, 5}}, {2, {2, 6}}, {3, {1, 7}}};
  EXPECT_EQ(FlatSpans({V(4, 0), V(0, 4), V(8, 4)}), bottom);
  EXPECT_EQ(FlatSpans({V(4, 0), V(8, 4), V(0, 4)}), bottom);
}

TEST_F(TriangleTest, AnyVertexOrderGivesTheSameSpans) {
  const std::vector<std::vector<SoftTriangleVertex>> shapes{
      {V(0, 0), V(10, 4), V(13, 8)}, {V(5, 0), V(0, 4), V(9, 6)},
      {V(2, 0), V(6, 0), V(4, 4)},   {V(4, 0), V(0, 4), V(8, 4)},
      {V(3, 1), V(20, 9), V(7, 25)}, {V(30, 2), V(1, 17), V(12, 30)}};
  for (const auto& shape : shapes) {
    std::vector<int> idx{0, 1, 2};
    const Spans first = FlatSpans(shape);
    EXPECT_FALSE(first.empty());
    do {
      const std::vector<SoftTriangleVertex> v{shape[idx[0]], shape[idx[1]], shape[idx[2]]};
      EXPECT_EQ(FlatSpans(v), first);
    } while (std::next_permutation(idx.begin(), idx.end()));
  }
}

TEST_F(TriangleTest, DegenerateTrianglesDrawNothing) {
  EXPECT_TRUE(FlatSpans({V(1, 1), V(5, 5), V(9, 9)}).empty());
  EXPECT_TRUE(FlatSpans({V(3, 4), V(3, 4), V(9, 1)}).empty());
  EXPECT_TRUE(FlatSpans({V(2, 7), V(2, 7), V(2, 7)}).empty());
}

TEST_F(TriangleTest, NegativeTopRowsTruncateTowardZero) {
  // T (0, -3), M (8, 1), B (0, 5): M right of the long edge. T's row -2.5 truncates to
  // -2, so the whole walk runs one row low: rows -2..5 hold the spans of rows -3..4.
  // Left T->B: X = 0.5 px all the way. Right T->M: step 2 px: 0.5, 2.5, 4.5, 6.5;
  // then from 8.5 px + 1 unit, step (0.5 - 8.5 px - 1 unit) / 4 = -524288 (truncated):
  // 8.5, 6.5, 4.5, 2.5 (each a hair above).
  const Spans want{{0, {0, 4}}, {1, {0, 6}}, {2, {0, 8}}, {3, {0, 6}}, {4, {0, 4}}, {5, {0, 2}}};
  EXPECT_EQ(FlatSpans({V(0, -3), V(8, 1), V(0, 5)}), want);
}

TEST_F(TriangleTest, TopVertexAboveAreaDrawsMiddleRowTwice) {
  // T (6, -2), M (0, 2), B (8, 6): M left of the long edge. The walk starts at row -1
  // (-1.5 truncated), so the left side's first edge ends on row 2; its second edge
  // restarts at M's row 2, which is drawn again, and the walk then ends one row
  // early on the right side's count.
  // Left T->M: 6.5, 5, 3.5, 2 px (step -1.5 px). Left M->B: 0.5, 2.5, 4.5, 6.5 px.
  // Right T->B: 6.5 px, step 0.25 px.
  // Rows: -1 (6..6), 0 (5..6), 1 (3..7), 2 (2..7), then 2 again (0..7), 3 (2..7),
  // 4 (4..8), 5 (6..8). Row 2 keeps the union of its two spans.
  const Spans want{{0, {5, 6}}, {1, {3, 7}}, {2, {0, 7}}, {3, {2, 7}}, {4, {4, 8}}, {5, {6, 8}}};
  EXPECT_EQ(FlatSpans({V(6, -2), V(0, 2), V(8, 6)}), want);

  // Blending half-way shows the second pass over row 2, columns 2..7: white over black
  // gives 0x7BEF once and 0xBDF7 twice.
  gfx::g_DrawState.BlendMode = 1;
  gfx::g_DrawState.BlendParam = 128;
  TestImage d(16, 16, 0, 0, 0, zq::test::kRowPad);
  const SoftTriangleVertex v[3] = {V(6, -2), V(0, 2), V(8, 6)};
  DrawMemImgTriangle(&d.img, nullptr, v, 0, nullptr, 0xFFFF);
  for (int x = 0; x < 10; ++x)
    EXPECT_EQ(d.Get(x, 2), x <= 1 ? 0x7BEFu : x <= 7 ? 0xBDF7u : 0u) << x;
  EXPECT_EQ(d.Get(3, 1), 0x7BEFu);
}

TEST_F(TriangleTest, ClippedToTheDrawArea) {
  gfx::g_DrawState.DrawArea = {3, 2, 9, 6};
  const Spans want{{2, {3, 5}}, {3, {5, 8}}, {4, {7, 8}}, {5, {8, 8}}};
  EXPECT_EQ(FlatSpans({V(0, 0), V(10, 4), V(13, 8)}), want);
  // Wholly left of the area: nothing.
  gfx::g_DrawState.DrawArea = {20, 0, 32, 32};
  EXPECT_TRUE(FlatSpans({V(0, 0), V(10, 4), V(13, 8)}).empty());
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

TEST_F(TriangleTest, QuadMapsTexelsOneToOne) {
  TestImage src = Numbered16(10, 10);
  TestImage d(16, 16, 0, 0, 0, zq::test::kRowPad);
  d.Fill(0xBEEF);
  const int32_t corners[8] = {0, 0, 10, 0, 0, 10, 10, 10};
  DrawMemImgQuad(&d.img, &src.img, corners, 0, nullptr);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      EXPECT_EQ(d.Get(x, y), x < 10 && y < 10 ? uint32_t(0x100 + y * 16 + x) : 0xBEEFu)
          << x << "," << y;
  EXPECT_TRUE(d.PaddingClean());
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

TEST_F(TriangleTest, QuadWithNegativeTopShiftsTheSecondTriangle) {
  // Corners (0,-1), (10,-1), (0,9), (10,9): the first triangle shows texel row r in
  // row r; the second, referenced at (0, 9), shows texel row r + 1 from column 10 - r.
  TestImage src = Numbered16(10, 10);
  TestImage d(12, 12, 0, 0, 0, zq::test::kRowPad);
  d.Fill(0xBEEF);
  const int32_t corners[8] = {0, -1, 10, -1, 0, 9, 10, 9};
  DrawMemImgQuad(&d.img, &src.img, corners, 0, nullptr);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      uint32_t want = 0xBEEF;
      if (y <= 8 && x <= 9) want = uint32_t(0x100 + (x < 10 - y ? y : y + 1) * 16 + x);
      if (y == 9 && x <= 1) want = uint32_t(0x100 + 9 * 16 + x);
      EXPECT_EQ(d.Get(x, y), want) << x << "," << y;
    }
}

TEST_F(TriangleTest, QuadOutsideTheWidenedBoxDrawsNothing) {
  TestImage src = Numbered16(4, 4);
  TestImage d(16, 16, 0, 0, 0, zq::test::kRowPad);
  gfx::g_DrawState.DrawArea = {8, 0, 16, 16};
  const int32_t left[8] = {0, 0, 4, 0, 0, 4, 4, 4};  // 4 + 4 <= 8
  DrawMemImgQuad(&d.img, &src.img, left, 0, nullptr);
  const int32_t far[8] = {INT_MAX, INT_MAX, INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MIN};
  DrawMemImgQuad(&d.img, &src.img, far, 0, nullptr);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(d.Get(x, y), 0u);
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
  struct Case {
    int type, palette, alpha;  // destination
    TestImage *src, *blend;
  } cases[] = {
      {1, 0, 0, &ok, nullptr},                                   // colour types differ
      {0, 1, 0, nullptr, nullptr},                               // palettised destination
      {0, 0, 1, nullptr, nullptr},                               // alpha destination
      {2, 0, 0, nullptr, nullptr},                               // one-channel destination
      {0, 0, 0, &big, nullptr},    {0, 0, 0, &ok, &small},       // blend image smaller than source
      {0, 0, 0, &pal, nullptr},    {0, 0, 0, nullptr, nullptr},  // null vertices below
  };
  for (const Case& c : cases) {
    TestImage d(16, 16, c.type, c.palette, c.alpha, zq::test::kRowPad);
    const bool nullVertices = &c == &cases[7];
    DrawMemImgTriangle(&d.img, c.src ? &c.src->img : nullptr, nullVertices ? nullptr : v, 0,
                       c.blend ? &c.blend->img : nullptr, 0xFFFF);
    if (nullVertices) DrawMemImgQuad(&d.img, nullptr, nullptr, 0, nullptr);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) ASSERT_EQ(d.Get(x, y), 0u) << (&c - cases);
  }
  DrawMemImgTriangle(nullptr, nullptr, v, 0, nullptr, 0xFFFF);
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

TEST_F(TriangleTest, TexelsOutsideTheSourceLeaveThePixel) {
  // u runs from -2 to +5 texels across a 4-wide source: only texels 0..3 are drawn.
  TestImage src = Numbered16(4, 4);
  TestImage d(16, 16, 0, 0, 0, zq::test::kRowPad);
  d.Fill(0xBEEF);
  const SoftTriangleVertex v[3] = {V(0, 0, -2, 0), V(10, 0, 8, 0), V(0, 10, -2, 10)};
  DrawMemImgTriangle(&d.img, &src.img, v, 0, nullptr, 0);
  for (int x = 0; x < 12; ++x) {
    const int u = x - 2;
    EXPECT_EQ(d.Get(x, 0), u >= 0 && u < 4 ? uint32_t(0x100 + u) : 0xBEEFu) << x;
  }
}

}  // namespace
}  // namespace zq::soft
