// Pixels by their width in bytes: reading and writing one pixel of a width known when compiling,
// and choosing the specialised pixel loop for a width known only at run time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "platform/types.h"

namespace zq::platform {

static_assert(std::endian::native == std::endian::little, "pixels are read as little-endian words");

// The word that holds a pixel of 1, 2 or 4 bytes (3-byte pixels go byte by byte).
template <int Bytes>
using PixelWord =
    std::conditional_t<Bytes == 1, uint8_t, std::conditional_t<Bytes == 2, uint16_t, uint32_t>>;

// One pixel of Bytes (1 to 4) bytes, low byte first, at any address (memcpy: no alignment
// assumed, a plain move once compiled).
template <int Bytes>
inline uint32_t LoadPixel(const uint8_t* p) {
  static_assert(Bytes >= 1 && Bytes <= 4);
  if constexpr (Bytes == 3) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  } else {
    PixelWord<Bytes> v;
    std::memcpy(&v, p, Bytes);
    return v;
  }
}

// Writes the low Bytes (1 to 4) bytes of v, low byte first, at any address.
template <int Bytes>
inline void StorePixel(uint8_t* p, uint32_t v) {
  static_assert(Bytes >= 1 && Bytes <= 4);
  if constexpr (Bytes == 3) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
  } else {
    const PixelWord<Bytes> w = PixelWord<Bytes>(v);
    std::memcpy(p, &w, Bytes);
  }
}

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
  if (value == 0) {  // clearing is the common case: whole rows at once
    const int64_t width = int64_t(r.right) - r.left;
    for (int32_t y = r.top; y < r.bottom && width > 0; ++y)
      std::memset(pixels + int64_t(y) * pitch + int64_t(r.left) * Bytes, 0, size_t(width) * Bytes);
    return;
  }
  for (int32_t y = r.top; y < r.bottom; ++y) {
    uint8_t* d = pixels + int64_t(y) * pitch + int64_t(r.left) * Bytes;
    for (int32_t x = r.left; x < r.right; ++x, d += Bytes) StorePixel<Bytes>(d, value);
  }
}

}  // namespace zq::platform
