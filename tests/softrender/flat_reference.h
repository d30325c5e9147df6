// Channel models of the saturating add and subtract and of the boxes' and lines' bright,
// written channel by channel from the rules (no packed tricks, no tables).
#pragma once

#include <algorithm>
#include <cstdint>

namespace zq::soft::test {

struct Rgb {
  uint32_t r, g, b, x;  // x: the fourth byte (32-bit only)
};
inline Rgb Split16(uint32_t v) {
  return {(v >> 11) & 31, (v >> 5) & 63, v & 31, 0};
}
inline uint32_t Join16(Rgb c) {
  return c.r << 11 | c.g << 5 | c.b;
}
inline Rgb Split32(uint32_t v) {
  return {(v >> 16) & 255, (v >> 8) & 255, v & 255, v >> 24};
}
inline uint32_t Join32(Rgb c) {
  return c.x << 24 | c.r << 16 | c.g << 8 | c.b;
}

inline uint32_t RefAdd16(uint32_t s, uint32_t d) {
  const Rgb a = Split16(s), b = Split16(d);
  Rgb o{};
  const bool blueOver = a.b + b.b > 31;
  o.b = std::min(a.b + b.b, 31u);
  const uint32_t g5 = (a.g >> 1) + (b.g >> 1);
  const bool greenOver = g5 > 31;
  o.g = std::min(g5, 31u) << 1 | ((a.g & 1) | (b.g & 1) | uint32_t(blueOver));
  const uint32_t r4 = (a.r >> 1) + (b.r >> 1);
  o.r = r4 > 15 ? 31 : (r4 << 1 | (a.r & 1) | (b.r & 1) | uint32_t(greenOver));
  return Join16(o);
}

inline uint32_t RefAdd32(uint32_t s, uint32_t d) {
  const Rgb a = Split32(s), b = Split32(d);
  Rgb o{};
  const bool blueOver = a.b + b.b > 255;
  o.b = std::min(a.b + b.b, 255u);
  const uint32_t g7 = (a.g >> 1) + (b.g >> 1);
  const bool greenOver = g7 > 127;
  o.g = greenOver ? 255 : (g7 << 1 | (a.g & 1) | (b.g & 1) | uint32_t(blueOver));
  const uint32_t r7 = (a.r >> 1) + (b.r >> 1);
  const bool redOver = r7 > 127;
  o.r = redOver ? 255 : (r7 << 1 | (a.r & 1) | (b.r & 1) | uint32_t(greenOver));
  o.x = redOver ? 1 : 0;
  return Join32(o);
}

inline uint32_t RefSub16(uint32_t s, uint32_t d) {
  const Rgb a = Split16(s), b = Split16(d);
  Rgb o{};
  o.b = b.b >= a.b ? b.b - a.b : 0;
  const bool greenOk = (b.g >> 1) >= (a.g >> 1);
  o.g = greenOk ? 2 * ((b.g >> 1) - (a.g >> 1)) : 0;
  o.r = (b.r >> 1) >= (a.r >> 1) ? 2 * ((b.r >> 1) - (a.r >> 1)) + uint32_t(greenOk) : 0;
  return Join16(o);
}

inline uint32_t RefSub32(uint32_t s, uint32_t d) {
  const Rgb a = Split32(s), b = Split32(d);
  Rgb o{};
  const bool blueOk = b.b >= a.b;
  o.b = blueOk ? b.b - a.b : 0;
  const bool greenOk = (b.g >> 1) >= (a.g >> 1);
  o.g = greenOk ? 2 * ((b.g >> 1) - (a.g >> 1)) + uint32_t(blueOk) : 0;
  o.r = (b.r >> 1) >= (a.r >> 1) ? 2 * ((b.r >> 1) - (a.r >> 1)) + uint32_t(greenOk) : 0;
  o.x = 0;
  return Join32(o);
}

// Bright scaling of box and line colours: (channel * bright byte) >> 8 when bright is on.
inline uint32_t RefBright(bool is16, uint32_t c, uint32_t bright) {
  if ((bright & 0xFFFFFF) == 0xFFFFFF) return c;
  const uint32_t br = (bright >> 16) & 255, bg = (bright >> 8) & 255, bb = bright & 255;
  Rgb v = is16 ? Split16(c) : Split32(c);
  v.r = v.r * br >> 8;
  v.g = v.g * bg >> 8;
  v.b = v.b * bb >> 8;
  return is16 ? Join16(v) : Join32(v);
}

}  // namespace zq::soft::test
