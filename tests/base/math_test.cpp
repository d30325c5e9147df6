#include "base/math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zq::base {
namespace {

TEST(FloatToInt, TruncatesTowardZeroAndGivesIntMinOutOfRange) {
  const float finf = std::numeric_limits<float>::infinity();
  const double dinf = std::numeric_limits<double>::infinity();
  const struct {
    float in;
    int32_t want;
  } floats[] = {
      {0.999f, 0},
      {-0.999f, 0},
      {1.999f, 1},
      {-1.999f, -1},
      {2147483648.0f, INT32_MIN},
      {-2147483648.0f, INT32_MIN},  // in range: exactly INT32_MIN
      {-2147483904.0f, INT32_MIN},
      {2147483520.0f, 2147483520},  // largest float below 2^31
      {std::nanf(""), INT32_MIN},
      {finf, INT32_MIN},
      {-finf, INT32_MIN},
  };
  for (const auto& c : floats) EXPECT_EQ(FloatToInt(c.in), c.want) << c.in;
  const struct {
    double in;
    int32_t want;
  } doubles[] = {
      {0.999, 0},
      {-0.999, 0},
      {-7.5, -7},
      {2147483647.9, 2147483647},
      {2147483648.0, INT32_MIN},
      {-2147483648.9, INT32_MIN},
      {-2147483649.0, INT32_MIN},
      {std::nan(""), INT32_MIN},
      {-dinf, INT32_MIN},
  };
  for (const auto& c : doubles) EXPECT_EQ(DoubleToInt(c.in), c.want) << c.in;

  const double v[4] = {-1.5, 2.9, 640.999, -0.2};
  platform::RECT r{};
  DoubleRectToIntRect(v, &r);
  EXPECT_EQ(r.left, -1);
  EXPECT_EQ(r.top, 2);
  EXPECT_EQ(r.right, 640);
  EXPECT_EQ(r.bottom, 0);
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
