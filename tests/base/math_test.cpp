#include "base/math.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "base/rect.h"

namespace zq::base {
namespace {

// Truncation toward zero; out of range, infinities and NaN give INT32_MIN (-2^31 itself is
// in range; 2147483520 is the largest float below 2^31).
TEST(FloatToInt, TruncatesTowardZeroAndFlagsOutOfRange) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf(""), m = INT32_MIN;
  const float floats[] = {
      0.999f,         -0.999f,       1.999f, -1.999f, 2147483648.0f, -2147483648.0f,
      -2147483904.0f, 2147483520.0f, nan,    inf,     -inf};
  const int32_t fwant[] = {0,         0,          1,         -1,        INT32_MIN, INT32_MIN,
                           INT32_MIN, 2147483520, INT32_MIN, INT32_MIN, INT32_MIN};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(FloatToInt(floats[i]), fwant[i]) << floats[i];
  const double doubles[] = {0.999,         -0.999,        -7.5, 2147483647.9, 2147483648.0,
                            -2147483648.9, -2147483649.0, nan,  -inf,         m};
  const int32_t dwant[] = {0,         0,         -7,        2147483647, INT32_MIN,
                           INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN,  INT32_MIN};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(DoubleToInt(doubles[i]), dwant[i]) << doubles[i];
}

TEST(FloatToInt, RectTruncatesEachEdge) {
  const double v[4] = {-1.5, 2.9, 640.999, -0.2};
  platform::RECT r{};
  DoubleRectToIntRect(v, &r);
  EXPECT_EQ((std::array{r.left, r.top, r.right, r.bottom}),
            (std::array<int32_t, 4>{-1, 2, 640, 0}));
}

TEST(SinCosFloat, OneDoubleEvaluationRoundedToFloat) {
  for (float a : {0.0f, 0.5f, 1.5707964f, 3.1415927f, -2.0f, 100.0f}) {
    float s = 0, c = 0;
    SinCosFloat(a, &s, &c);
    EXPECT_EQ(s, float(std::sin(double(a))));
    EXPECT_EQ(c, float(std::cos(double(a))));
  }
  EXPECT_EQ(SqrtFloat(16.0f), 4.0f);
  EXPECT_EQ(AbsFloat(-2.5f), 2.5f);
}

TEST(Strings, FillAndCopy) {
  char buf[8] = "abcdefg";
  MemFill(buf, 'z', 3);
  EXPECT_STREQ(buf, "zzzdefg");
  CopyString(buf, "hi");
  EXPECT_STREQ(buf, "hi");
}

constexpr RECT kArea{0, 0, 32, 32};

TEST(ClipRectToRect, TableOfCases) {
  struct Case {
    RECT in, clip, want;
    bool empty;
  };
  const Case cases[] = {
      // Overlaps, corners, inside (unchanged), exact fit, other clip rectangles.
      {{-10, -10, 50, 50}, kArea, {0, 0, 32, 32}, false},
      {{40, 40, 50, 50}, kArea, {32, 32, 32, 32}, true},
      {{4, 5, 20, 21}, kArea, {4, 5, 20, 21}, false},
      {{0, 0, 32, 32}, kArea, {0, 0, 32, 32}, false},
      {{0, 0, 100, 100}, {10, 20, 30, 40}, {10, 20, 30, 40}, false},
      {{15, -5, 25, 25}, {10, 20, 30, 40}, {15, 20, 25, 25}, false},
      // Reversed rectangles collapse: right := left, bottom := top.
      {{20, 25, 10, 5}, kArea, {20, 25, 20, 25}, true},
      {{50, 5, 40, 10}, kArea, {32, 5, 32, 10}, true},
      {{5, -3, 10, -9}, kArea, {5, 0, 10, 0}, true},
      // Wholly outside on the left, right, above, below.
      {{-20, 5, -10, 10}, kArea, {0, 5, 0, 10}, true},
      {{40, 5, 50, 10}, kArea, {32, 5, 32, 10}, true},
      {{5, -20, 10, -10}, kArea, {5, 0, 10, 0}, true},
      {{5, 40, 10, 50}, kArea, {5, 32, 10, 32}, true},
      // Touching each edge from outside; one pixel inside the far corner survives.
      {{32, 0, 40, 10}, kArea, {32, 0, 32, 10}, true},
      {{-8, 0, 0, 10}, kArea, {0, 0, 0, 10}, true},
      {{0, 32, 10, 40}, kArea, {0, 32, 10, 32}, true},
      {{0, -8, 10, 0}, kArea, {0, 0, 10, 0}, true},
      {{31, 31, 40, 40}, kArea, {31, 31, 32, 32}, false},
      // Extreme values.
      {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, kArea, {0, 0, 32, 32}, false},
  };
  for (const Case& c : cases) {
    RECT r = c.in;
    EXPECT_EQ(ClipRectToRect(&r, &c.clip), 0);
    SCOPED_TRACE(testing::Message() << "in " << c.in.left << "," << c.in.top << "," << c.in.right
                                    << "," << c.in.bottom);
    EXPECT_EQ((std::array{r.left, r.top, r.right, r.bottom}),
              (std::array{c.want.left, c.want.top, c.want.right, c.want.bottom}));
    EXPECT_EQ(IsRectEmpty(r), c.empty);
  }
  static_assert([] {
    RECT r{-1, -1, 5, 5};
    RECT c{0, 0, 4, 4};
    ClipRectToRect(&r, &c);
    return r.left == 0 && r.right == 4;
  }());
}

}  // namespace
}  // namespace zq::base
