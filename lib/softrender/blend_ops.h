// What one source pixel does to one destination pixel in the software blitters: the two
// pixel formats and one small operator per blend mode. Every choice that is fixed for a
// whole draw (which factors exist, bright on or off, which translucent rule) is a template
// argument, so the pixel loops built from these operators test nothing per pixel.
#pragma once

#include <cstdint>

#include "softrender/packed_ops.h"
#include "softrender/soft_tables.h"

namespace zq::soft {

// ---------------------------------------------------------------------------------------
// Pixel formats. Fields are listed red, green, blue, the order of the bright channels.

struct Pixel16 {
  using Word = uint16_t;
  static constexpr int kShift[3] = {11, 5, 0};
  static constexpr int kWidth[3] = {5, 6, 5};
  static constexpr uint32_t kFieldBits = 0xFFFFu;  // bits the three fields cover
  static constexpr uint32_t kKeyMask = 0xFFFFu;    // a colour key compares this many bits
  static constexpr uint32_t HalfAverage(uint32_t s, uint32_t d) {
    return ((s >> 1) & 0x7BEFu) + ((d >> 1) & 0x7BEFu);
  }
  static constexpr uint32_t Add(uint32_t s, uint32_t d) { return AddPixelSaturated16(s, d); }
  static constexpr uint32_t Sub(uint32_t s, uint32_t d) { return SubPixelSaturated16(s, d); }
};

struct Pixel32 {
  using Word = uint32_t;
  static constexpr int kShift[3] = {16, 8, 0};
  static constexpr int kWidth[3] = {8, 8, 8};
  static constexpr uint32_t kFieldBits = 0x00FFFFFFu;  // byte 3 carries no colour
  static constexpr uint32_t kKeyMask = 0xFFFFFFFFu;
  static constexpr uint32_t HalfAverage(uint32_t s, uint32_t d) {
    return ((s >> 1) & 0x7F7F7Fu) + ((d >> 1) & 0x7F7F7Fu);
  }
  static constexpr uint32_t Add(uint32_t s, uint32_t d) { return AddPixelSaturated32(s, d); }
  static constexpr uint32_t Sub(uint32_t s, uint32_t d) { return SubPixelSaturated32(s, d); }
};

template <class PixelT>
constexpr int FieldOf(uint32_t pixel, int i) {
  return int((pixel >> PixelT::kShift[i]) & ((1u << PixelT::kWidth[i]) - 1));
}

// Builds a pixel from three field results; bits outside the fields (byte 3 of a 32-bit
// pixel) keep the destination's value.
template <class PixelT, class Fn>
constexpr uint32_t MapFields(uint32_t d, Fn&& field) {
  uint32_t out = d & ~PixelT::kFieldBits;
  for (int i = 0; i < 3; ++i) out |= uint32_t(field(i)) << PixelT::kShift[i];
  return out;
}

// ---------------------------------------------------------------------------------------
// Per-call values: the table rows of the blend parameter and of the bright channels.

struct BlendContext {
  int param = 0;
  const int32_t* mulParam = nullptr;       // MUL(p, x), x = 0..255
  const int32_t* diffParam = nullptr;      // DIFF(p, v), indexable by v = -255..255
  const uint8_t (*table64)[64] = nullptr;  // T64(p >> 2, s, d) as table64[s][d]
  const int32_t* bright[3] = {};           // MUL(bright channel, x) for R, G, B
};

inline BlendContext MakeBlendContext(int param, uint32_t bright) {
  BlendContext c;
  c.param = param;
  c.mulParam = SoftMulTable256[param];
  c.diffParam = SoftDiffMulTable256[param] + 255;
  c.table64 = SoftBlendTable64[param >> 2];
  c.bright[0] = SoftMulTable256[(bright >> 16) & 0xFF];
  c.bright[1] = SoftMulTable256[(bright >> 8) & 0xFF];
  c.bright[2] = SoftMulTable256[bright & 0xFF];
  return c;
}

// The factors present in a case: blend-image factor b, alpha factor a, bright.
template <bool kBlendImage, bool kAlpha, bool kBright>
struct Factors {
  static constexpr bool kB = kBlendImage;
  static constexpr bool kA = kAlpha;
  static constexpr bool kBr = kBright;
};

// Field i of S after bright.
template <class PixelT, class F>
constexpr int SourceField(const BlendContext& c, uint32_t s, int i) {
  const int v = FieldOf<PixelT>(s, i);
  if constexpr (F::kBr) {
    return c.bright[i][v];
  } else {
    return v;
  }
}

// The factor of a case with exactly one of b and a.
template <class F>
constexpr int SingleFactor(uint32_t b, uint32_t a) {
  if constexpr (F::kB) {
    return int(b);
  } else {
    return int(a);
  }
}

// ---------------------------------------------------------------------------------------
// Operators. Apply(context, S, D, b, a) returns the new destination pixel; b and a are
// read only when the factor set says they exist.

// Blend mode 0.
template <class PixelT>
struct CopyOp {
  static constexpr bool kIsCopy = true;
  template <class F>
  static constexpr uint32_t Apply(const BlendContext& c, uint32_t s, uint32_t d, uint32_t b,
                                  uint32_t a) {
    if constexpr (!F::kB && !F::kA && !F::kBr) {
      return s;  // the whole source value, byte 3 included
    } else {
      return MapFields<PixelT>(d, [&](int i) {
        const int sf = SourceField<PixelT, F>(c, s, i);
        const int df = FieldOf<PixelT>(d, i);
        if constexpr (F::kB && F::kA) {
          return df + (((sf - df) * int(b * a)) >> 16);
        } else if constexpr (F::kB || F::kA) {
          return df + (((sf - df) * SingleFactor<F>(b, a)) >> 8);
        } else {
          return sf;
        }
      });
    }
  }
};

// The rules of blend mode 1 without factors.
enum class TransRule {
  kHalfAverage,  // parameter 128, bright off, per-pixel path, source without alpha channel
  kTable,        // other parameters in that case (16-bit: T64; 32-bit: the shift rule)
  kDiff,         // everything else (16-bit: DIFF; 32-bit: the shift rule)
};

// Blend mode 1, parameter 1..254.
template <class PixelT, TransRule kRule>
struct TranslucentOp {
  static constexpr bool kIsCopy = false;
  template <class F>
  static constexpr uint32_t Apply(const BlendContext& c, uint32_t s, uint32_t d, uint32_t b,
                                  uint32_t a) {
    if constexpr (!F::kB && !F::kA && kRule == TransRule::kHalfAverage) {
      static_assert(!F::kBr, "the half average holds only with bright off");
      return PixelT::HalfAverage(s, d);
    } else {
      return MapFields<PixelT>(d, [&](int i) {
        const int sf = SourceField<PixelT, F>(c, s, i);
        const int df = FieldOf<PixelT>(d, i);
        const int p = c.param;
        if constexpr (F::kB && F::kA) {
          return df + int((int64_t(sf - df) * int64_t(b * a) * p) >> 24);
        } else if constexpr (F::kB || F::kA) {
          return df + (((sf - df) * SingleFactor<F>(b, a) * p) >> 16);
        } else if constexpr (sizeof(typename PixelT::Word) == 4) {
          return df + (((sf - df) * p) >> 8);
        } else if constexpr (kRule == TransRule::kTable) {
          static_assert(!F::kBr, "the 64-step table holds only with bright off");
          return int(c.table64[sf][df]);
        } else {
          return df + c.diffParam[sf - df];
        }
      });
    }
  }
};

// Blend modes 2 and 3, parameter 1..255: the source scaled per field, then the packed
// saturating add or subtract on whole pixels.
template <class PixelT, bool kSubtract>
struct AddSubOp {
  static constexpr bool kIsCopy = false;

  template <class F>
  static constexpr uint32_t Scaled(const BlendContext& c, uint32_t s, uint32_t b, uint32_t a) {
    constexpr bool k16 = sizeof(typename PixelT::Word) == 2;
    return MapFields<PixelT>(0, [&](int i) -> int {
      if constexpr (k16 && F::kA && !F::kB) {
        // 16-bit alpha without blend image: alpha scales the raw field before bright.
        int t = (FieldOf<PixelT>(s, i) * int(a)) >> 8;
        if constexpr (F::kBr) t = c.bright[i][t];
        return c.mulParam[t];
      } else {
        const int sf = SourceField<PixelT, F>(c, s, i);
        if constexpr (!F::kB && !F::kA) {
          return c.mulParam[sf];
        } else if constexpr (k16 && F::kB && F::kA) {
          return c.mulParam[(sf * int(b * a)) >> 16];
        } else if constexpr (k16) {
          return c.mulParam[(sf * int(b)) >> 8];
        } else if constexpr (F::kB && F::kA) {
          return int((uint64_t(sf) * (b * a) * uint32_t(c.param)) >> 24);
        } else {
          return (sf * SingleFactor<F>(b, a) * c.param) >> 16;
        }
      }
    });
  }

  template <class F>
  static constexpr uint32_t Apply(const BlendContext& c, uint32_t s, uint32_t d, uint32_t b,
                                  uint32_t a) {
    const uint32_t scaled = Scaled<F>(c, s, b, a);
    if constexpr (kSubtract) {
      return PixelT::Sub(scaled, d);
    } else {
      return PixelT::Add(scaled, d);
    }
  }
};

// Blend mode 4; the parameter is not used.
template <class PixelT>
struct MultiplyOp {
  static constexpr bool kIsCopy = false;
  template <class F>
  static constexpr uint32_t Apply(const BlendContext& c, uint32_t s, uint32_t d, uint32_t b,
                                  uint32_t a) {
    return MapFields<PixelT>(d, [&](int i) {
      const int w = PixelT::kWidth[i];
      const int sf = SourceField<PixelT, F>(c, s, i);
      const int df = FieldOf<PixelT>(d, i);
      if constexpr (F::kB && F::kA) {
        return int((uint64_t(sf) * (b * a) * uint32_t(df)) >> (16 + w));
      } else if constexpr (F::kB || F::kA) {
        return (sf * SingleFactor<F>(b, a) * df) >> (8 + w);
      } else {
        return (sf * df) >> w;
      }
    });
  }
};

}  // namespace zq::soft
