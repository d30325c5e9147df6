#include "softrender/lines.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "softrender/blit_reference.h"
#include "softrender/soft_bounds.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using platform::RECT;
using zq::test::DrawStateScope;
using zq::test::TestImage;
using Points = std::vector<std::pair<int, int>>;

// The four edges of a rectangle or bounds, compared at once.
template <typename R>
std::array<int32_t, 4> Edges(const R& r) {
  return {int32_t(r.left), int32_t(r.top), int32_t(r.right), int32_t(r.bottom)};
}
using E4 = std::array<int32_t, 4>;

constexpr int k16 = gfx::kMemImgRgb565;
constexpr int k32 = gfx::kMemImgXrgb8888;

// The pixels a line sets, in row-major order, drawn in copy mode on a 640 x 480 image.
Points Drawn(int x1, int y1, int x2, int y2, int type, RECT area) {
  static TestImage img16(640, 480, k16), img32(640, 480, k32);
  TestImage& img = type == k16 ? img16 : img32;
  img.Fill(0);
  DrawStateScope st(0, 0, 0xFFFFFF, area);
  DrawMemImgLine(&img.img, x1, y1, x2, y2, 0xFFFF);
  Points out;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      if (img.Get(x, y) != 0) out.push_back({x, y});
  EXPECT_TRUE(img.GuardIntact());
  return out;
}

Points Sorted(Points p) {
  std::sort(p.begin(), p.end(), [](auto a, auto b) {
    return a.second != b.second ? a.second < b.second : a.first < b.first;
  });
  return p;
}

Points Row(int y, int x0, int x1) {
  Points p;
  for (int x = x0; x <= x1; ++x) p.push_back({x, y});
  return p;
}
Points Column(int x, int y0, int y1) {
  Points p;
  for (int y = y0; y <= y1; ++y) p.push_back({x, y});
  return p;
}
Points Diagonal(int x0, int y0, int n) {
  Points p;
  for (int k = 0; k < n; ++k) p.push_back({x0 + k, y0 + k});
  return p;
}

// Clipped lines, worked by hand (unclipped ones are the model test's below).
TEST(DrawMemImgLine, ClippedOnEverySideAndAtTheIntLimits) {
  struct Case {
    int x1, y1, x2, y2;
    Points want;
    RECT area = {0, 0, 640, 480};
  };
  Points recomputed;  // see below
  for (int k = 0; k < 39; ++k) recomputed.push_back({1 + k, 22 - k / 3});
  const Case cases[] = {
      {630, 5, 650, 5, Row(5, 630, 639)},
      {5, 478, 5, 490, Column(5, 478, 479)},
      {10, -5, 10, 5, Column(10, 0, 4)},
      {-10, 0, 10, 20, Diagonal(0, 10, 10)},
      {630, 0, 650, 20, Diagonal(630, 0, 10)},
      {0, 470, 20, 490, Diagonal(0, 470, 10)},
      {-5, -5, 700, 700, Diagonal(0, 0, 480)},
      // Reversed: the clipped first end point is drawn, the second lands one beyond the edge.
      {650, 5, 630, 5, Row(5, 631, 639)},
      {5, 490, 5, 478, Column(5, 479, 479)},
      // The clipped start is truncated from the line equation: y at x = 0 is 1.5, so 1.
      {-3, 0, 7, 5, Sorted({{0, 1}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {5, 3}, {6, 4}})},
      {0, 5, INT_MAX, 5, Row(5, 0, 639)},
      {INT_MIN, 5, INT_MAX, 5, Row(5, 0, 639)},
      {INT_MAX, 5, INT_MIN, 5, Row(5, 0, 639)},
      {5, INT_MAX, 5, INT_MIN, Column(5, 0, 479)},
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX, Diagonal(0, 0, 480)},
      // Wholly beyond an edge, with differences that overflow 32 bits.
      {INT_MIN, 5, -1, 5, {}},
      {INT_MAX - 1, 5, INT_MAX, INT_MIN, {}},
      {INT_MIN, INT_MIN, INT_MAX, -1, {}},
      // x + y = -1 misses the area; the final clamps leave the single pixel (0, 0).
      {INT_MIN, INT_MAX, INT_MAX, INT_MIN, {{0, 0}}},
      // An end point exactly on the far edge is still recomputed from the line equation: y
      // at x = 40 of the line (1, 22)-(40, 10) comes out as 9.999..., truncated to 9, so the
      // walk covers 13 rows instead of 12.
      {1, 22, 40, 10, Sorted(recomputed), {0, 0, 40, 30}},
      // Against a draw area smaller than the image, on each side, and crossing it.
      {1, 0, 1, 9, {}, {2, 1, 15, 8}},
      {0, 8, 19, 8, {}, {2, 1, 15, 8}},
      {15, 0, 19, 9, {}, {2, 1, 15, 8}},
      {0, 0, 19, 0, {}, {2, 1, 15, 8}},
      {0, 4, 19, 4, Row(4, 2, 14), {2, 1, 15, 8}},
      // A draw area larger than the image: the image's own size limits the line.
      {630, 5, 700, 5, Row(5, 630, 639), {0, 0, 800, 600}},
      {3, 470, 3, 600, Column(3, 470, 479), {0, 0, 800, 600}},
      {630, 470, 700, 540, Diagonal(630, 470, 10), {-5, -5, 800, 600}},
  };
  for (const Case& c : cases)
    for (int type : {k16, k32})
      EXPECT_EQ(Drawn(c.x1, c.y1, c.x2, c.y2, type, c.area), c.want)
          << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2 << " type " << type;
}

// Unclipped lines in every direction, mode, parameter and bright against the model: pixel k
// of n lies at k steps along the major axis and floor(k * minor / major) along the minor.
TEST(DrawMemImgLine, ModesAgainstModel) {
  std::mt19937 rng(17);
  for (int type : {k16, k32}) {
    const bool is16 = type == k16;
    for (int iter = 0; iter < 600; ++iter) {
      TestImage img(40, 30, type);
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) img.Set(x, y, is16 ? rng() & 0xFFFF : rng());
      const TestImage before = img;
      const int mode = int(rng() % 6), p = int(rng() % 256);
      const uint32_t bright = rng() % 3 == 0 ? 0xFFFFFF : rng() & 0xFFFFFF;
      const int x1 = int(rng() % 40), y1 = int(rng() % 30);
      const int x2 = int(rng() % 40), y2 = int(rng() % 30);
      const uint32_t color = is16 ? rng() & 0xFFFF : rng();
      DrawStateScope st(mode, p, bright, {0, 0, 40, 30});
      DrawMemImgLine(&img.img, x1, y1, x2, y2, color);

      TestImage want = before;
      const int dx = x2 - x1, dy = y2 - y1, ax = std::abs(dx), ay = std::abs(dy);
      const int major = std::max(ax, ay), minor = std::min(ax, ay);
      const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
      const uint32_t s = test::RefBright(is16, color, bright);
      for (int k = 0; k < major; ++k) {
        const int m = k * minor / major;
        const int x = ax >= ay ? x1 + k * sx : x1 + m * sx;
        const int y = ax >= ay ? y1 + m * sy : y1 + k * sy;
        want.Set(x, y, test::RefFlat(is16, mode, p, s, before.Get(x, y)));
      }
      ASSERT_EQ(img.Pixels(), want.Pixels())
          << "line " << x1 << "," << y1 << " " << x2 << "," << y2 << " mode " << mode << " p " << p;
    }
  }
}

TEST(DrawMemImgLine, RefusedDestinations) {
  DrawStateScope st(0, 0);
  for (int which = 0; which < 3; ++which) {
    TestImage img(8, 6, k32);
    if (which == 0) img.img.PaletteFlag = 1;
    if (which == 1) img.img.AlphaFlag = 1;
    if (which == 2) img.img.ColorType = gfx::kMemImgWord16;
    DrawMemImgLine(&img.img, 0, 0, 7, 5, 0xFFFFFFFF);
    for (uint32_t v : img.Pixels()) ASSERT_EQ(v, 0u) << which;
  }
  DrawMemImgLine(nullptr, 0, 0, 7, 5, 0);
}

// In additive mode with blue 1 on black, a pixel's blue counts how often it was drawn.
std::vector<uint32_t> Coverage(const std::vector<SoftLineSegment>& segs, int count) {
  TestImage img(40, 40, k16);
  DrawStateScope st(2, 255, 0xFFFFFF, {0, 0, 40, 40});
  DrawMemImgLineList(&img.img, segs.data(), count);
  return img.Pixels();
}

// The four segments of a box outline, each beginning where the previous one ends.
std::vector<SoftLineSegment> FrameBox(int x1, int y1, int x2, int y2) {
  return {{x1, y1, x2 - 1, y1, 1, 255},
          {x2 - 1, y1, x2 - 1, y2 - 1, 1, 255},
          {x2 - 1, y2 - 1, x1, y2 - 1, 1, 255},
          {x1, y2 - 1, x1, y1, 1, 255}};
}

TEST(DrawMemImgLineList, FrameBoxesCountsAndOrder) {
  // Each outline pixel once; one pixel wide, the top and bottom segments are empty and the
  // two upright ones overlap; a single pixel has four empty segments.
  for (auto [x1, y1, x2, y2] :
       {std::tuple{10, 20, 15, 25}, {0, 0, 40, 40}, {10, 20, 11, 25}, {10, 20, 11, 21}}) {
    const auto got = Coverage(FrameBox(x1, y1, x2, y2), 4);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) {
        const bool inBox = x >= x1 && x < x2 && y >= y1 && y < y2;
        const bool edge = x == x1 || x == x2 - 1 || y == y1 || y == y2 - 1;
        const bool thin = x2 - x1 == 1 && y2 - y1 > 1 && y > y1 && y < y2 - 1;
        ASSERT_EQ(got[size_t(y * 40 + x)], !inBox || y2 - y1 == 1 ? 0u
                                           : thin                 ? 2u
                                                                  : edge)
            << x << "," << y;
      }
  }
  EXPECT_EQ(Coverage(FrameBox(0, 0, 9, 9), 0), std::vector<uint32_t>(1600, 0));
  EXPECT_EQ(Coverage(FrameBox(0, 0, 9, 9), -1), std::vector<uint32_t>(1600, 0));
  // Each segment in its own colour, and only the first `count`.
  const std::vector<SoftLineSegment> segs = {
      {0, 0, 5, 0, 1, 0}, {2, 0, 2, 3, 1, 0}, {0, 1, 3, 1, 3, 0}};
  const auto two = Coverage(segs, 2), three = Coverage(segs, 3);
  EXPECT_EQ(two[2], 2u);
  EXPECT_EQ(two[41], 0u);
  EXPECT_EQ(three[41], 3u);
  EXPECT_EQ(three[42], 4u);
  EXPECT_EQ(std::accumulate(three.begin(), three.end(), 0u), 17u);
  DrawMemImgLineList(nullptr, nullptr, 3);
}

TEST(SegmentListBounds, RightAndBottomOnePast) {
  const auto frame = FrameBox(10, 20, 15, 25);
  const RECT r = SegmentListBounds(frame.data(), 4);
  EXPECT_EQ(Edges(r), (E4{10, 20, 15, 25}));

  const RECT none = SegmentListBounds(nullptr, 0);
  EXPECT_EQ(Edges(none), (E4{1000000, 1000000, -1000000, -1000000}));

  // Each test on its own: a point beyond the starting left keeps left at 1000000.
  const SoftLineSegment far[] = {{2000000, 5, 2000000, 5, 0, 0}};
  const RECT f = SegmentListBounds(far, 1);
  EXPECT_EQ(Edges(f), (E4{1000000, 5, 2000001, 6}));

  const SoftLineSegment limits[] = {{INT_MIN, INT_MAX, INT_MAX, INT_MIN, 0, 0}};
  const RECT l = SegmentListBounds(limits, 1);
  EXPECT_EQ(Edges(l), (E4{INT_MIN, INT_MIN, INT_MAX, INT_MAX}));
}

TEST(SoftBounds, LargestCoordinateItself) {
  SoftBounds b;
  b.Include(3, 4);
  b.Include(-2, 10);
  b.Include(1, 7);
  EXPECT_EQ(Edges(b), (E4{-2, 4, 3, 10}));
  SoftBounds far;
  far.Include(2000000, -2000000);
  EXPECT_EQ(Edges(far), (E4{1000000, -2000000, 2000000, -1000000}));
}

}  // namespace
}  // namespace zq::soft
