// Numeric helpers with the library's exact conversion rules.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/types.h"

namespace zq::base {

// Truncation toward zero; NaN and values outside the int32 range give INT32_MIN.
int32_t FloatToInt(float value);
int32_t DoubleToInt(double value);
// Truncation toward zero, values beyond the int32 range held to its ends (NaN gives INT32_MIN).
int32_t DoubleToIntSaturated(double value);
// A 64-bit value held to the int32 range.
constexpr int32_t ClampToInt32(int64_t value) {
  return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}
// The four values (left, top, right, bottom) truncated toward zero.
void DoubleRectToIntRect(const double* values, platform::RECT* rect);

// Sine and cosine from one double-precision evaluation, each rounded to float.
void SinCosFloat(float angle, float* sine, float* cosine);
float SqrtFloat(float value);
float AbsFloat(float value);

void MemFill(void* destination, int value, size_t count);
// Copies a zero-terminated string; the destination must hold it.
void CopyString(char* destination, const char* source);

}  // namespace zq::base
