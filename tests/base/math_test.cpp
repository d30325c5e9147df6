#include "base/math.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

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

}  // namespace
}  // namespace zq::base
