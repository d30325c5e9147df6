// Channel arithmetic shared by the bitmap, surface and presentation stand-ins: reading a colour
// channel out of a pixel by its mask and widening it to 8 bits, and packing 8-bit channels back.
#pragma once

#include <bit>
#include <cstdint>

namespace zq::platform {

// One colour channel of a packed pixel: position of its lowest bit and number of bits.
struct Channel {
  uint32_t shift = 0;
  uint32_t width = 0;
};

// Channels with holes are treated as the run of set bits from the lowest one.
constexpr Channel ChannelFromMask(uint32_t mask) {
  if (mask == 0) return {};
  Channel c;
  c.shift = uint32_t(std::countr_zero(mask));
  c.width = uint32_t(std::countr_one(mask >> c.shift));
  return c;
}

// A channel widened to 8 bits by repeating its top bits (5-bit 31 gives 255, 5-bit 16 gives
// 132; channels wider than 8 bits keep their top 8), in shifts and ors with the same counts for
// every pixel, which row loops vectorise: the value is placed at the top of the byte, then each
// step copies the bits filled so far below them (w, 2w, 4w bits; a count of 8 shifts all out).
struct Widen8 {
  uint32_t shift = 0;
  uint32_t mask = 0;  // 0 for an empty channel
  uint32_t up = 0;
  uint32_t step1 = 8, step2 = 8, step3 = 8;

  constexpr Widen8() = default;
  constexpr explicit Widen8(Channel c) {
    if (c.width == 0) return;
    mask = 0xFF;
    if (c.width >= 8) {
      shift = c.shift + c.width - 8;
      return;
    }
    shift = c.shift;
    mask = (1u << c.width) - 1u;
    up = 8 - c.width;
    step1 = c.width;
    step2 = c.width * 2 < 8 ? c.width * 2 : 8;
    step3 = c.width * 4 < 8 ? c.width * 4 : 8;
  }
  constexpr uint32_t operator()(uint32_t pixel) const {
    uint32_t v = ((pixel >> shift) & mask) << up;
    v |= v >> step1;
    v |= v >> step2;
    return v | v >> step3;
  }
};

inline uint32_t ChannelTo8(uint32_t pixel, Channel c) {
  return Widen8(c)(pixel);
}

// An 8-bit value cut to the channel's width (its top bits kept) and moved into place.
inline uint32_t ChannelFrom8(uint32_t value8, Channel c) {
  if (c.width == 0) return 0;
  uint32_t v = c.width >= 8 ? value8 << (c.width - 8) : value8 >> (8 - c.width);
  return v << c.shift;
}

// Reads and writes one little-endian pixel of 1 to 4 bytes.
inline uint32_t LoadPixel(const uint8_t* p, uint32_t bytes) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}
inline void StorePixel(uint8_t* p, uint32_t bytes, uint32_t v) {
  for (uint32_t i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace zq::platform
