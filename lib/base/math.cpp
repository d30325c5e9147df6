#include "base/math.h"

#include <cmath>
#include <cstring>

namespace zq::base {

int32_t DoubleToInt(double value) {
  // The range test runs on the truncated value, so -2147483648.9 still gives INT32_MIN
  // and 2147483647.9 gives INT32_MAX; everything beyond (and NaN) is INT32_MIN.
  const double t = std::trunc(value);
  if (!(t >= -2147483648.0 && t <= 2147483647.0)) return INT32_MIN;
  return int32_t(t);
}

int32_t DoubleToIntSaturated(double value) {
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return DoubleToInt(value);
}

int32_t FloatToInt(float value) {
  return DoubleToInt(double(value));
}

void DoubleRectToIntRect(const double* values, platform::RECT* rect) {
  rect->left = DoubleToInt(values[0]);
  rect->top = DoubleToInt(values[1]);
  rect->right = DoubleToInt(values[2]);
  rect->bottom = DoubleToInt(values[3]);
}

void SinCosFloat(float angle, float* sine, float* cosine) {
  const double a = double(angle);
  *sine = float(std::sin(a));
  *cosine = float(std::cos(a));
}

float SqrtFloat(float value) {
  return std::sqrt(value);
}

float AbsFloat(float value) {
  return std::fabs(value);
}

void MemFill(void* destination, int value, size_t count) {
  std::memset(destination, value, count);
}

void CopyString(char* destination, const char* source) {
  std::memcpy(destination, source, std::strlen(source) + 1);
}

}  // namespace zq::base
