#include "base/math.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

namespace zq::base {
namespace {

TEST(FloatToInt, TruncatesTowardZero) {
  EXPECT_EQ(FloatToInt(0.999f), 0);
  EXPECT_EQ(FloatToInt(-0.999f), 0);
  EXPECT_EQ(FloatToInt(1.999f), 1);
  EXPECT_EQ(FloatToInt(-1.999f), -1);
  EXPECT_EQ(DoubleToInt(0.999), 0);
  EXPECT_EQ(DoubleToInt(-0.999), 0);
  EXPECT_EQ(DoubleToInt(-7.5), -7);
}

TEST(FloatToInt, OutOfRangeAndNanGiveIntMin) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(FloatToInt(2147483648.0f), INT32_MIN);
  EXPECT_EQ(FloatToInt(-2147483648.0f), INT32_MIN);  // in range: exactly INT32_MIN
  EXPECT_EQ(FloatToInt(-2147483904.0f), INT32_MIN);
  EXPECT_EQ(FloatToInt(2147483520.0f), 2147483520);  // largest float below 2^31
  EXPECT_EQ(FloatToInt(std::nanf("")), INT32_MIN);
  EXPECT_EQ(FloatToInt(inf), INT32_MIN);
  EXPECT_EQ(FloatToInt(-inf), INT32_MIN);
  EXPECT_EQ(DoubleToInt(2147483647.9), 2147483647);
  EXPECT_EQ(DoubleToInt(2147483648.0), INT32_MIN);
  EXPECT_EQ(DoubleToInt(-2147483648.9), INT32_MIN);
  EXPECT_EQ(DoubleToInt(-2147483649.0), INT32_MIN);
  EXPECT_EQ(DoubleToInt(std::nan("")), INT32_MIN);
  EXPECT_EQ(DoubleToInt(-std::numeric_limits<double>::infinity()), INT32_MIN);
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
