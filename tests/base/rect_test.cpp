#include "base/rect.h"

#include <gtest/gtest.h>

namespace zq::base {
namespace {

RECT Clip(RECT r, RECT c) {
  EXPECT_EQ(ClipRectToRect(&r, &c), 0);
  return r;
}

void ExpectRect(const RECT& r, int32_t l, int32_t t, int32_t rt, int32_t b) {
  EXPECT_EQ(r.left, l);
  EXPECT_EQ(r.top, t);
  EXPECT_EQ(r.right, rt);
  EXPECT_EQ(r.bottom, b);
}

constexpr RECT kArea{0, 0, 32, 32};

TEST(ClipRectToRect, OverlapAndCornerExamples) {
  ExpectRect(Clip({-10, -10, 50, 50}, kArea), 0, 0, 32, 32);
  ExpectRect(Clip({40, 40, 50, 50}, kArea), 32, 32, 32, 32);
  ExpectRect(Clip({4, 5, 20, 21}, kArea), 4, 5, 20, 21);  // inside: unchanged
  ExpectRect(Clip({0, 0, 32, 32}, kArea), 0, 0, 32, 32);
  ExpectRect(Clip({0, 0, 100, 100}, {10, 20, 30, 40}), 10, 20, 30, 40);
  ExpectRect(Clip({15, -5, 25, 25}, {10, 20, 30, 40}), 15, 20, 25, 25);
}

TEST(ClipRectToRect, ReversedRectanglesCollapse) {
  // right < left: right := left; bottom < top: bottom := top.
  ExpectRect(Clip({20, 25, 10, 5}, kArea), 20, 25, 20, 25);
  ExpectRect(Clip({50, 5, 40, 10}, kArea), 32, 5, 32, 10);
  ExpectRect(Clip({5, -3, 10, -9}, kArea), 5, 0, 10, 0);
}

TEST(ClipRectToRect, FullyOutsideOnEachSide) {
  ExpectRect(Clip({-20, 5, -10, 10}, kArea), 0, 5, 0, 10);  // left
  ExpectRect(Clip({40, 5, 50, 10}, kArea), 32, 5, 32, 10);  // right
  ExpectRect(Clip({5, -20, 10, -10}, kArea), 5, 0, 10, 0);  // above
  ExpectRect(Clip({5, 40, 10, 50}, kArea), 5, 32, 10, 32);  // below
  EXPECT_TRUE(IsRectEmpty(Clip({-20, 5, -10, 10}, kArea)));
  EXPECT_TRUE(IsRectEmpty(Clip({5, 40, 10, 50}, kArea)));
}

TEST(ClipRectToRect, TouchingEdgesGiveEmptyResults) {
  ExpectRect(Clip({32, 0, 40, 10}, kArea), 32, 0, 32, 10);
  ExpectRect(Clip({-8, 0, 0, 10}, kArea), 0, 0, 0, 10);
  ExpectRect(Clip({0, 32, 10, 40}, kArea), 0, 32, 10, 32);
  ExpectRect(Clip({0, -8, 10, 0}, kArea), 0, 0, 10, 0);
  EXPECT_TRUE(IsRectEmpty(Clip({32, 0, 40, 10}, kArea)));
  // One pixel inside the far edge survives.
  ExpectRect(Clip({31, 31, 40, 40}, kArea), 31, 31, 32, 32);
  EXPECT_FALSE(IsRectEmpty(Clip({31, 31, 40, 40}, kArea)));
}

TEST(ClipRectToRect, ExtremeValues) {
  ExpectRect(Clip({INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, kArea), 0, 0, 32, 32);
  static_assert([] {
    RECT r{-1, -1, 5, 5};
    RECT c{0, 0, 4, 4};
    ClipRectToRect(&r, &c);
    return r.left == 0 && r.right == 4;
  }());
}

}  // namespace
}  // namespace zq::base
