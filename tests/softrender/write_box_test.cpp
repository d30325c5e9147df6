// The write box of triangles and quads: every pixel a triangle writes lies inside it, and
// negative corners count from their truncated pixel centres.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <random>

#include "softrender/soft_bounds.h"
#include "softrender/triangle.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using platform::RECT;
using zq::test::ResetDrawState;
using zq::test::TestImage;

// The four edges of a rectangle or bounds, compared at once.
template <typename R>
std::array<int32_t, 4> Edges(const R& r) {
  return {int32_t(r.left), int32_t(r.top), int32_t(r.right), int32_t(r.bottom)};
}
using E4 = std::array<int32_t, 4>;

RECT BoxOf(const SoftTriangleVertex* v, int n) {
  SoftBounds b;
  for (int i = 0; i < n; ++i) b.Include(v[i].x, v[i].y);
  return TriangleWriteBox(b);
}

TEST(TriangleWriteBox, OneColumnAndRowPastTheLargestCorner) {
  SoftBounds b;
  b.Include(3, 7);
  b.Include(12, 2);
  const RECT r = TriangleWriteBox(b);
  EXPECT_EQ(Edges(r), (E4{3, 2, 13, 8}));
}

TEST(TriangleWriteBox, NegativeCornersLandOneNearerZero) {
  // Corners at x = -1 sit at -0.5 pixel, which truncates to column 0: the triangle
  // writes column 0 although every corner lies left of it.
  ResetDrawState(8, 8);
  TestImage d(8, 8, 0, 0, 0, zq::test::kRowPad);
  const SoftTriangleVertex v[3] = {{-5, 0, 0, 0}, {-1, 0, 0, 0}, {-1, 5, 0, 0}};
  DrawMemImgTriangle(&d.img, nullptr, v, 0, nullptr, 0xFFFF);
  EXPECT_EQ(d.Get(0, 0), 0xFFFFu);
  const RECT r = BoxOf(v, 3);
  EXPECT_EQ(Edges(r), (E4{-4, 0, 1, 6}));

  SoftBounds far;
  far.Include(INT32_MAX, INT32_MIN);
  const RECT s = TriangleWriteBox(far);
  EXPECT_EQ(s.right, INT32_MAX);
  EXPECT_EQ(s.top, INT32_MIN + 1);
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
    const RECT box = BoxOf(v, quad ? 4 : 3);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x)
        if (d.Get(x, y) != 0) {
          ASSERT_TRUE(x >= box.left && x < box.right && y >= box.top && y < box.bottom)
              << "draw " << n << " wrote (" << x << ", " << y << ")";
        }
  }
}

}  // namespace
}  // namespace zq::soft
