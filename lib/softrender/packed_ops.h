// Packed saturating add and subtract of a prepared colour S and a destination pixel d,
// on the whole pixel at once with guard bits. The low bits of the upper channels follow
// these exact operations (not the per-channel ideal); every mode-2 and mode-3 drawing
// uses them, so their results are part of the pixel rules.
#pragma once

#include <cstdint>

namespace zq::soft {

constexpr uint32_t AddPixelSaturated16(uint32_t s, uint32_t d) {
  const uint32_t sum = (s & 0xF7DEF7DFu) + (d & 0xF7DEF7DFu);
  const uint32_t carry = sum & 0x08210820u;
  const uint32_t mask = (carry - (carry >> 5)) & 0xFFFFu;
  return (sum | mask | ((s | d) & 0x0820u)) & 0xFFFFu;
}

constexpr uint32_t AddPixelSaturated32(uint32_t s, uint32_t d) {
  const uint32_t sum = (s & 0x00FEFEFFu) + (d & 0x00FEFEFFu);
  const uint32_t carry = sum & 0x01010100u;
  const uint32_t mask = carry - (carry >> 8);
  return sum | mask | ((s | d) & 0x00010100u);
}

constexpr uint32_t SubPixelSaturated16(uint32_t s, uint32_t d) {
  const uint32_t x = (d | 0x08210820u) - (s & 0xF7DEF7DFu);
  const uint32_t m = x & 0x08210820u;
  const uint32_t k = (m - (m >> 5)) & 0xFFFFu;
  return x & k & 0xFFFFu;
}

constexpr uint32_t SubPixelSaturated32(uint32_t s, uint32_t d) {
  const uint32_t x = (d | 0x01010100u) - (s & 0xFEFEFEFFu);
  const uint32_t m = x & 0x01010100u;
  const uint32_t k = m - (m >> 8);
  return x & k;
}

}  // namespace zq::soft
