// Choosing the specialised pixel loop for a pixel width known only at run time.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "platform/types.h"

namespace zq::platform {

// Calls f with the bytes per pixel as a compile-time constant (std::integral_constant): 1, 2 or
// 3 as given, 4 for anything else.
template <class F>
inline void WithPixelBytes(int bytes, F&& f) {
  switch (bytes) {
    case 1:
      f(std::integral_constant<int, 1>{});
      break;
    case 2:
      f(std::integral_constant<int, 2>{});
      break;
    case 3:
      f(std::integral_constant<int, 3>{});
      break;
    default:
      f(std::integral_constant<int, 4>{});
      break;
  }
}

// Every pixel of the rectangle r of an image of `Bytes` a pixel set to value (low bytes first).
template <int Bytes>
void FillPixelRect(uint8_t* pixels, int64_t pitch, const RECT& r, uint32_t value) {
  uint8_t px[Bytes];
  for (int i = 0; i < Bytes; ++i) px[i] = uint8_t(value >> (8 * i));
  for (int32_t y = r.top; y < r.bottom; ++y) {
    uint8_t* d = pixels + int64_t(y) * pitch + int64_t(r.left) * Bytes;
    for (int32_t x = r.left; x < r.right; ++x, d += Bytes) std::memcpy(d, px, Bytes);
  }
}

}  // namespace zq::platform
