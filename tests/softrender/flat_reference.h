// Independent model of the flat-colour rules, written channel by channel from the documented
// behaviour (no packed tricks, no tables), to check the renderer against.
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

// p*v/255 truncated toward zero, v possibly negative.
inline int32_t MulDiv255(int32_t p, int32_t v) {
  return v < 0 ? -((p * -v) / 255) : (p * v) / 255;
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

// One destination pixel after the flat rule of mode/param with the (already bright-scaled)
// colour s.
inline uint32_t RefFlat(bool is16, int mode, int p, uint32_t s, uint32_t d) {
  if (mode == 1 && p == 255) mode = 0;
  if ((mode == 1 || mode == 2 || mode == 3) && p == 0) return d;
  const Rgb a = is16 ? Split16(s) : Split32(s), b = is16 ? Split16(d) : Split32(d);
  Rgb o = b;
  auto scaled = [&] {
    Rgb t{uint32_t(p) * a.r / 255, uint32_t(p) * a.g / 255, uint32_t(p) * a.b / 255, 0};
    return is16 ? Join16(t) : Join32(t);
  };
  switch (mode) {
    case 0:
      return s;
    case 1:
      if (is16) {
        o.r = uint32_t(int32_t(b.r) + MulDiv255(p, int32_t(a.r) - int32_t(b.r)));
        o.g = uint32_t(int32_t(b.g) + MulDiv255(p, int32_t(a.g) - int32_t(b.g)));
        o.b = uint32_t(int32_t(b.b) + MulDiv255(p, int32_t(a.b) - int32_t(b.b)));
      } else {
        auto blend = [p](uint32_t sv, uint32_t dv) {
          const int32_t t = (int32_t(sv) - int32_t(dv)) * p + int32_t(dv) * 256;
          return uint32_t(t / 256);  // t is never negative
        };
        o.r = blend(a.r, b.r);
        o.g = blend(a.g, b.g);
        o.b = blend(a.b, b.b);
      }
      return is16 ? Join16(o) : Join32(o);
    case 2:
      return is16 ? RefAdd16(scaled(), d) : RefAdd32(scaled(), d);
    case 3:
      return is16 ? RefSub16(scaled(), d) : RefSub32(scaled(), d);
    case 4:
      if (is16) {
        o.r = a.r * b.r / 32;
        o.g = a.g * b.g / 64;
        o.b = a.b * b.b / 32;
      } else {
        o.r = a.r * b.r / 256;
        o.g = a.g * b.g / 256;
        o.b = a.b * b.b / 256;
      }
      return is16 ? Join16(o) : Join32(o);
    default:
      return d;
  }
}

}  // namespace zq::soft::test
