// What one source pixel does to one destination pixel, for the whole software renderer (the
// blitters, the textured and rotated kernels, the flat-colour boxes and lines): the two pixel
// formats and one small operator per blend mode. Every choice that is fixed for a
// whole draw (which factors exist, bright on or off, which translucent rule) is a template
// argument, so the pixel loops built from these operators test nothing per pixel.
//
// The operators are written once over a lane type V: int32_t for one pixel, or a GCC
// vector of lanes for several pixels at once (32-bit lanes, or 16-bit lanes for 16-bit
// pixels where the case's arithmetic fits). A lane holds a pixel's bits (a 32-bit pixel
// with byte 3 set is a negative lane); field arithmetic stays within the signed lane range,
// and whatever can pass it (sums of whole pixels, products up to 2^32) uses unsigned lanes.
// The closed forms below give the soft tables' values, so the vector lanes need no gathers;
// one pixel at a time reads the tables' rows of the call (BlendContext), one load each.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "softrender/soft_tables.h"

namespace zq::soft {

// ---------------------------------------------------------------------------------------
// Lane types

using Lanes4 = int32_t __attribute__((vector_size(16)));
using ULanes4 = uint32_t __attribute__((vector_size(16)));
// Eight 16-bit lanes: eight 16-bit pixels at once, for the cases whose arithmetic stays
// within 16 bits (see kFits16 of each operator).
using Half8 = int16_t __attribute__((vector_size(16)));
using UHalf8 = uint16_t __attribute__((vector_size(16)));
// One 32-bit pixel as a vector of one lane: a single pixel through the vector forms, whose
// 16-bit pair arithmetic the processor does in one register where the scalar form needs a
// multiply per field pair.
using Lanes1 = int32_t __attribute__((vector_size(4)));
using ULanes1 = uint32_t __attribute__((vector_size(4)));
using UHalf2 = uint16_t __attribute__((vector_size(4)));
// Twice as wide, for the pixel loops (one AVX2 register, or two SSE2 registers).
using Lanes8 = int32_t __attribute__((vector_size(32)));
using ULanes8 = uint32_t __attribute__((vector_size(32)));
using Half16 = int16_t __attribute__((vector_size(32)));
using UHalf16 = uint16_t __attribute__((vector_size(32)));

template <class V>
struct LaneTraits {
  using Unsigned = uint32_t;
  using Element = int32_t;
  static constexpr int kCount = 1;
};
template <>
struct LaneTraits<Lanes1> {
  using Unsigned = ULanes1;
  using Element = int32_t;
  static constexpr int kCount = 1;
};
template <>
struct LaneTraits<Lanes4> {
  using Unsigned = ULanes4;
  using Element = int32_t;
  static constexpr int kCount = 4;
};
template <>
struct LaneTraits<Half8> {
  using Unsigned = UHalf8;
  using Element = int16_t;
  static constexpr int kCount = 8;
};
template <>
struct LaneTraits<Lanes8> {
  using Unsigned = ULanes8;
  using Element = int32_t;
  static constexpr int kCount = 8;
};
template <>
struct LaneTraits<Half16> {
  using Unsigned = UHalf16;
  using Element = int16_t;
  static constexpr int kCount = 16;
};
template <class V>
using UnsignedLanes = typename LaneTraits<V>::Unsigned;
template <class V>
constexpr bool kHalfLanes = std::is_same_v<V, Half8> || std::is_same_v<V, Half16>;

// Whether U holds 16-bit lanes (any number of them), as opposed to one pixel in 32 bits or
// 32-bit lanes.
template <class U>
struct LaneBits {
  static constexpr int kBits = 8 * int(sizeof(U));
};
template <class U>
requires requires(U u) {
  u[0];
}
struct LaneBits<U> {
  static constexpr int kBits = 8 * int(sizeof(U{}[0]));
};
template <class U>
constexpr bool k16BitLanes = !std::is_arithmetic_v<U> && LaneBits<U>::kBits == 16;

template <class V>
constexpr bool kScalarLanes = std::is_same_v<V, int32_t> || std::is_same_v<V, uint32_t>;
// 32-bit lanes seen as twice as many unsigned 16-bit lanes.
template <class V>
using PairLanes = std::conditional_t<sizeof(V) == 4, UHalf2,
                                     std::conditional_t<sizeof(V) == 16, UHalf8, UHalf16>>;

// v in every lane (cut to the lane width: bit patterns are what lanes hold). Built as one
// lane and a shuffle: GCC 12 builds V{} + v lane by lane in an AVX2-target function, and a
// copy through memory stalls on store forwarding; this form is one broadcast, hoisted out
// of the loops.
template <class V, size_t... I>
inline V SplatLanes(typename LaneTraits<V>::Element v, std::index_sequence<I...>) {
  V x{};
  x[0] = v;
  return __builtin_shufflevector(x, x, (int(I) * 0)...);
}
template <class V>
inline V Splat(int32_t v) {
  using E = typename LaneTraits<V>::Element;
  if constexpr (std::is_same_v<V, int32_t>) {
    return v;
  } else {
    return SplatLanes<V>(E(v), std::make_index_sequence<LaneTraits<V>::kCount>{});
  }
}

// Keeps the vector v in a register from here on; for 32-byte lanes only in code that only
// AVX2 runs. GCC otherwise reads a loaded vector from memory again at each use (an unaligned
// memory operand costs nothing in its model), and the pixel loops would load every pixel
// twice.
template <class V>
inline void InRegister([[maybe_unused]] V& v) {
#if defined(__GNUC__) && !defined(__clang__) && defined(__OPTIMIZE__)
  if constexpr (!kScalarLanes<V>) __asm__("" : "+x"(v));
#endif
}

// cond ? a : b for each lane; cond is a comparison result of the same lane type.
// (GCC's conditional operator works lane-wise on vectors.)
template <class V, class C>
inline V Select(C cond, V a, V b) {
  return cond ? a : b;
}

// ---------------------------------------------------------------------------------------
// The table arithmetic in closed form. Each helper equals its table entry over the table's
// whole domain (the tests compare every entry); being plain arithmetic rather than a
// lookup, it runs in vector lanes.

// SoftMulTable256[x][y] = floor(x*y / 255), for n = x*y in 0..65025.
template <class V>
inline V MulDiv255(V n) {
  return (n + 1 + (n >> 8)) >> 8;
}
template <class V>
inline V Mul255(V x, V y) {
  return MulDiv255(x * y);
}
// SoftDiffMulTable256[p][v] = p*v / 255 truncated toward zero, v = -255..255.
template <class V>
inline V DiffMul255(V p, V v) {
  const V m = MulDiv255(p * Select(v < 0, -v, v));
  return Select(v < 0, -m, m);
}
// SoftBlendTable64[k][s][d] = floor((s*k + d*(63 - k)) / 63), for n up to 63*63.
template <class V>
inline V Blend64(V k, V s, V d) {
  const V n = s * k + d * (63 - k);
  return (n + 1 + (n >> 6)) >> 6;
}

// ---------------------------------------------------------------------------------------
// The packed saturating add and subtract of a prepared colour s and a destination d, on whole
// pixels with guard bits: the low bits of the upper channels follow these exact operations (not
// the per-channel ideal), so their results are part of the pixel rules. U is uint32_t for one
// pixel, or unsigned lanes of 16 or 32 bits.

template <class U>
constexpr U AddPixelSaturated16(U s, U d) {
  if constexpr (k16BitLanes<U>) {
    // The guard above red is the lane's carry: the carry out of R saturates bits 11-15, as
    // c - (c >> 5) does for the guard bits inside the pixel.
    const U a = s & 0xF7DF;
    const U sum = a + (d & 0xF7DF);
    const U c = sum & 0x0820;
    const U carryR = U(sum < a) & 0xF800;
    return sum | (c - (c >> 5)) | carryR | ((s | d) & 0x0820);
  } else {
    const U sum = (s & 0xF7DFu) + (d & 0xF7DFu);
    const U carry = sum & 0x10820u;
    return (sum | (carry - (carry >> 5)) | ((s | d) & 0x0820u)) & 0xFFFFu;
  }
}

template <class U>
constexpr U SubPixelSaturated16(U s, U d) {
  if constexpr (k16BitLanes<U>) {
    // The guard above red survives when R did not borrow.
    const U minuend = d | 0x0820;
    const U subtrahend = s & 0xF7DF;
    const U x = minuend - subtrahend;
    const U g = x & 0x0820;
    const U keepR = U(minuend >= subtrahend) & 0xF800;
    return x & ((g - (g >> 5)) | keepR);
  } else {
    const U x = (d | 0x10820u) - (s & 0xF7DFu);
    const U m = x & 0x10820u;
    return x & (m - (m >> 5)) & 0xFFFFu;
  }
}

// Whether AddBytesSaturated exists for U: x86 has the unsigned saturating byte add for
// 16-byte lanes in its baseline, and for 32-byte lanes in AVX2, whose instruction is written
// as assembly (see ParamDiffMul255) and so only for code that only AVX2 runs (kAvx2Only).
template <class U, bool kAvx2Only>
constexpr bool kHasByteSaturatedAdd =
#if defined(__SSE2__)
    std::is_same_v<U, ULanes4> ||
#endif
#if defined(__GNUC__) && !defined(__clang__) && defined(__OPTIMIZE__)
    (kAvx2Only && std::is_same_v<U, ULanes8>) ||
#endif
    false;

template <class U>
inline U AddBytesSaturated(U a, U b) {
#if defined(__SSE2__)
  if constexpr (sizeof(U) == 16) {
    return U(_mm_adds_epu8(__m128i(a), __m128i(b)));
  }
#endif
#if defined(__GNUC__) && !defined(__clang__) && defined(__OPTIMIZE__)
  if constexpr (sizeof(U) == 32) {
    U r;
    __asm__("vpaddusb %2, %1, %0" : "=x"(r) : "x"(a), "x"(b));
    return r;
  }
#endif
  static_assert(kHasByteSaturatedAdd<U, true>, "no saturating byte add for these lanes");
  return a;
}

// As the 16-bit forms; red's carry reaches byte 3, and a subtraction clears it.
template <bool kAvx2Only = false, class U>
constexpr U AddPixelSaturated32(U s, U d) {
  const U a = s & 0x00FEFEFFu;
  const U b = d & 0x00FEFEFFu;
  const U sum = a + b;
  if constexpr (kHasByteSaturatedAdd<U, kAvx2Only>) {
    // The same in fewer steps. With the low bits of green and red clear in both, a colour
    // byte of a + b saturates exactly when it carries; the sum has each carry in the low bit
    // of the byte above, and the saturated bytes supply the rest.
    return AddBytesSaturated(a, b) | sum | ((s | d) & 0x00010100u);
  } else {
    const U carry = sum & 0x01010100u;
    return sum | (carry - (carry >> 8)) | ((s | d) & 0x00010100u);
  }
}

template <class U>
constexpr U SubPixelSaturated32(U s, U d) {
  const U x = (d | 0x01010100u) - (s & 0xFEFEFEFFu);
  const U m = x & 0x01010100u;
  return x & (m - (m >> 8));
}

// ---------------------------------------------------------------------------------------
// Pixel formats. Fields are numbered red, green, blue, the order of the bright channels.

struct Pixel16 {
  using Word = uint16_t;
  static constexpr int kShift[3] = {11, 5, 0};
  static constexpr int kWidth[3] = {5, 6, 5};
  static constexpr int32_t kFieldBits = 0xFFFF;  // bits the three fields cover
  static constexpr uint32_t kKeyMask = 0xFFFFu;  // a colour key compares this many bits
  template <class V>
  static V HalfAverage(V s, V d) {
    // Unsigned: the sum can pass the top bit of a 16-bit lane.
    using U = UnsignedLanes<V>;
    return V(((U(s) >> 1) & 0x7BEFu) + ((U(d) >> 1) & 0x7BEFu));
  }
  // The packed saturating add and subtract, for the lane templates; kAvx2Only as for
  // Factors.
  template <bool kAvx2Only = false, class U>
  static constexpr U Add(U s, U d) {
    return AddPixelSaturated16(s, d);
  }
  template <class U>
  static constexpr U Sub(U s, U d) {
    return SubPixelSaturated16(s, d);
  }
};

struct Pixel32 {
  using Word = uint32_t;
  static constexpr int kShift[3] = {16, 8, 0};
  static constexpr int kWidth[3] = {8, 8, 8};
  static constexpr int32_t kFieldBits = 0x00FFFFFF;  // byte 3 carries no colour
  static constexpr uint32_t kKeyMask = 0xFFFFFFFFu;
  template <class V>
  static V HalfAverage(V s, V d) {
    using U = UnsignedLanes<V>;
    return V(((U(s) >> 1) & 0x7F7F7Fu) + ((U(d) >> 1) & 0x7F7F7Fu));
  }
  template <bool kAvx2Only = false, class U>
  static constexpr U Add(U s, U d) {
    return AddPixelSaturated32<kAvx2Only>(s, d);
  }
  template <class U>
  static constexpr U Sub(U s, U d) {
    return SubPixelSaturated32(s, d);
  }
};

template <class PixelT, int I, class V>
inline V FieldOf(V pixel) {
  return (pixel >> PixelT::kShift[I]) & ((1 << PixelT::kWidth[I]) - 1);
}

// Builds a pixel from the three field results fn(R), fn(G), fn(B); bits outside the fields
// (byte 3 of a 32-bit pixel) keep d's value.
template <class PixelT, class V, class Fn>
inline V MapFields(V d, Fn&& field) {
  // Assembled unsigned: a field shifted to the top of a 16-bit lane sets its sign bit.
  using U = UnsignedLanes<V>;
  U rest{};
  if constexpr (PixelT::kFieldBits != 0xFFFF) rest = U(d & ~PixelT::kFieldBits);
  return V(rest | (U(field(std::integral_constant<int, 0>{})) << PixelT::kShift[0]) |
           (U(field(std::integral_constant<int, 1>{})) << PixelT::kShift[1]) |
           (U(field(std::integral_constant<int, 2>{})) << PixelT::kShift[2]));
}

// ---------------------------------------------------------------------------------------
// Per-call values: the blend parameter and the bright channels.

struct BlendContext {
  int param = 0;
  int bright[3] = {255, 255, 255};  // R, G, B
  int paramMagic = 0;               // ceil(param * 2^15 / 255), for ParamDiffMul255
  // The soft tables' rows of the parameter and the bright bytes, for one pixel at a time.
  const int32_t* paramMulRow = SoftMulTable256[0];
  const int32_t* paramDiffRow = SoftDiffMulTable256[0] + 255;  // indexed by v = -255..255
  const int32_t* brightRow[3] = {SoftMulTable256[255], SoftMulTable256[255], SoftMulTable256[255]};
};

inline BlendContext MakeBlendContext(int param, uint32_t bright) {
  BlendContext c;
  // Callers pass 0..255; held there so that no table row is read out of range.
  param = param < 0 ? 0 : param > 255 ? 255 : param;
  c.param = param;
  c.bright[0] = int((bright >> 16) & 0xFF);
  c.bright[1] = int((bright >> 8) & 0xFF);
  c.bright[2] = int(bright & 0xFF);
  c.paramMagic = int((uint32_t(param) * 32768u + 254u) / 255u);
  c.paramMulRow = SoftMulTable256[param];
  c.paramDiffRow = SoftDiffMulTable256[param] + 255;
  for (int i = 0; i < 3; ++i) c.brightRow[i] = SoftMulTable256[c.bright[i]];
  return c;
}

// MUL(param, v) and MUL(bright channel I, v) of the call, v = 0..255.
template <class V>
inline V ParamMul255(const BlendContext& c, V v) {
  if constexpr (kScalarLanes<V>) {
    return c.paramMulRow[v];
  } else {
    return Mul255(Splat<V>(c.param), v);
  }
}
template <int I, class V>
inline V BrightMul255(const BlendContext& c, V v) {
  if constexpr (kScalarLanes<V>) {
    return c.brightRow[I][v];
  } else {
    return Mul255(Splat<V>(c.bright[I]), v);
  }
}

// p * v / 255 truncated toward zero (DiffMul255), given t = 2v, for the blend parameter
// p = 1..254 and differences of 16-bit fields, |v| <= 63. In 16-bit lanes on x86 one signed
// high-half multiply of t by M = ceil(p * 2^15 / 255) (at most 32640, a positive 16-bit
// factor): t*M/2^16 = p*v/255 + v*e/2^15 with 0 < e < 1 (e = 0 would need 255 | p). p*v/255
// is a multiple of 1/255 and |v*e/2^15| < 63/2^15 < 1/255, so the floor is floor(p*v/255)
// for v >= 0 and, the error being negative, ceil(p*v/255) - 1 for v < 0: adding 1 for
// negative v gives the truncated quotient.
template <bool kAvx2Only = false, class V>
inline V ParamDiffMul255(const BlendContext& c, V t) {
#if defined(__SSE2__)
  if constexpr (std::is_same_v<V, Half8>) {
    return __builtin_ia32_pmulhw128(t, Splat<V>(c.paramMagic)) - (t >> 15);
  } else if constexpr (std::is_same_v<V, Half16>) {
    V hi;
#if defined(__GNUC__) && !defined(__clang__) && defined(__OPTIMIZE__)
    if constexpr (kAvx2Only) {
      // One AVX2 multiply. A builtin cannot stand here (this header is built for the
      // baseline processor, and the compiler will not inline an AVX2 function into it), so
      // it is one instruction of assembly, reached only from AVX2 code; the scalar level's
      // DiffMul255 is its portable twin, compared with it by the checksum tests. (Unoptimised
      // builds also emit baseline copies of the inlined code, so they take the form below.)
      const V m = Splat<V>(c.paramMagic);
      __asm__("vpmulhw %2, %1, %0" : "=x"(hi) : "x"(t), "x"(m));
      return hi - (t >> 15);
    }
#endif
    // Two 16-byte multiplies.
    const Half8 m = Splat<Half8>(c.paramMagic);
    const Half8 lo =
        __builtin_ia32_pmulhw128(__builtin_shufflevector(t, t, 0, 1, 2, 3, 4, 5, 6, 7), m);
    const Half8 up =
        __builtin_ia32_pmulhw128(__builtin_shufflevector(t, t, 8, 9, 10, 11, 12, 13, 14, 15), m);
    hi = __builtin_shufflevector(lo, up, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return hi - (t >> 15);
  }
#endif
  if constexpr (kScalarLanes<V>) {
    return c.paramDiffRow[t >> 1];
  } else {
    return DiffMul255(Splat<V>(c.param), t >> 1);
  }
}

// The factors present in a case: blend-image factor b, alpha factor a, bright. kAvx2Only
// marks a case whose 32-byte lanes run only in code the AVX2 dispatch level chose (the
// flat-colour rows, the blitters' AVX2 spans); the blitters' baseline builds use 32-byte
// lanes too and never set it. Set anywhere else, it would put an AVX2 instruction into code
// any processor may run.
template <bool kBlendImage, bool kAlpha, bool kBright, bool kAvx2OnlyLanes = false>
struct Factors {
  static constexpr bool kB = kBlendImage;
  static constexpr bool kA = kAlpha;
  static constexpr bool kBr = kBright;
  static constexpr bool kAvx2Only = kAvx2OnlyLanes;
};

// Field I of S after bright.
template <class PixelT, class F, int I, class V>
inline V SourceField(const BlendContext& c, V s) {
  const V v = FieldOf<PixelT, I>(s);
  if constexpr (F::kBr) {
    return BrightMul255<I>(c, v);
  } else {
    return v;
  }
}

// The factor of a case with exactly one of b and a.
template <class F, class V>
inline V SingleFactor(V b, V a) {
  if constexpr (F::kB) {
    return b;
  } else {
    return a;
  }
}

// d + floor((s - d) * k / 2^24) for k < 2^24, as floor((s*k + d*(2^24 - k)) / 2^24): every
// term is non-negative and the sum stays below 2^32, so unsigned lanes hold it exactly.
template <class V>
inline V Lerp24(V s, V d, V k) {
  using U = UnsignedLanes<V>;
  const U ku = U(k);
  return V((U(s) * ku + U(d) * (0x1000000u - ku)) >> 24);
}

// 32-bit pixels, bright off: each field d + floor((s - d) * k / 256) for k = 0..256, as
// floor((s*k + d*(256 - k)) / 256) with red and blue side by side in one lane (each
// product stays below 2^16, so the two never meet); byte 3 keeps d's value.
template <class V>
inline V Lerp256Packed(V s, V d, V k) {
  using U = UnsignedLanes<V>;
  const U su = U(s), du = U(d), ku = U(k), kd = 256u - ku;
  if constexpr (kScalarLanes<V>) {
    const U rb = (((su & 0xFF00FFu) * ku + (du & 0xFF00FFu) * kd) >> 8) & 0xFF00FFu;
    const U g = (((su & 0xFF00u) * ku + (du & 0xFF00u) * kd) >> 8) & 0xFF00u;
    return V((du & 0xFF000000u) | rb | g);
  } else {
    // In 16-bit lanes: blue and red in the even bytes, green and byte 3 in the odd ones
    // (byte 3 weighted 256 by d and 0 by s, so it keeps d's value). Each sum is at most
    // 255 * 256, so it fits its lane.
    using W = PairLanes<V>;
    const W sw = W(su), dw = W(du);
    const W even = ((sw & 0xFF) * W(ku | ku << 16) + (dw & 0xFF) * W(kd | kd << 16)) >> 8;
    const W odd = ((sw >> 8) * W(ku) + (dw >> 8) * W(kd | 256u << 16)) >> 8;
    return V(U(even | odd << 8));
  }
}

// 32-bit pixels in vector lanes: (s * d) >> 8 of each colour byte, byte 3 keeping d's value,
// worked in 16-bit lanes as Lerp256Packed (byte 3 multiplied by 256); each product is at
// most 255 * 256.
template <class V>
inline V MulBytes(V s, V d) {
  using U = UnsignedLanes<V>;
  using W = PairLanes<V>;
  const U su = U(s);
  const W dw = W(U(d));
  const W even = ((W(su) & 0xFF) * (dw & 0xFF)) >> 8;
  const W odd = (W(((su >> 8) & 0xFFu) | 0x01000000u) * (dw >> 8)) >> 8;
  return V(U(even | odd << 8));
}

// 32-bit pixels, bright off: MUL(p, s) of each field, byte 3 zero; red and blue side by
// side as above (each product at most 65025, each sum at most 65280).
template <class V>
inline V MulPacked(V s, V p) {
  using U = UnsignedLanes<V>;
  const U pu = U(p);
  const U rb = (U(s) & 0xFF00FFu) * pu;
  const U g = ((U(s) >> 8) & 0xFFu) * pu;
  return V((((rb + 0x10001u + ((rb >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu) |
           (((g + 1u + (g >> 8)) >> 8) << 8));
}

// ---------------------------------------------------------------------------------------
// Operators. Apply(context, S, D, b, a) returns the new destination pixel; b and a are
// read only when the factor set says they exist. kFits16<F> says whether every
// intermediate value of the case stays within 16-bit lanes on 16-bit pixels (fields of at
// most 6 bits, so products such as 63 * 255 fit; two factors together do not).

// Blend mode 0.
template <class PixelT>
struct CopyOp {
  static constexpr bool kIsCopy = true;
  static constexpr bool k32 = sizeof(typename PixelT::Word) == 4;
  template <class F>
  static constexpr bool kFits16 = !(F::kB && F::kA);
  template <class F, class V>
  static V Apply(const BlendContext& c, V s, V d, V b, V a) {
    if constexpr (!F::kB && !F::kA && !F::kBr) {
      return s;  // the whole source value, byte 3 included
    } else if constexpr (k32 && !F::kBr && (F::kB != F::kA)) {
      return Lerp256Packed(s, d, SingleFactor<F>(b, a));
    } else {
      return MapFields<PixelT>(d, [&](auto i) {
        const V sf = SourceField<PixelT, F, decltype(i)::value>(c, s);
        const V df = FieldOf<PixelT, decltype(i)::value>(d);
        if constexpr (F::kB && F::kA) {
          return df + (((sf - df) * (b * a)) >> 16);
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
  static constexpr bool kFits16 = !F::kB && !F::kA;
  template <class F, class V>
  static V Apply(const BlendContext& c, V s, V d, V b, V a) {
    if constexpr (!F::kB && !F::kA && kRule == TransRule::kHalfAverage) {
      static_assert(!F::kBr, "the half average holds only with bright off");
      return PixelT::HalfAverage(s, d);
    } else if constexpr (sizeof(typename PixelT::Word) == 4 && !F::kB && !F::kA && !F::kBr) {
      return Lerp256Packed(s, d, Splat<V>(c.param));
    } else if constexpr (sizeof(typename PixelT::Word) == 2 && !F::kB && !F::kA &&
                         kRule == TransRule::kDiff) {
      // Each new field stays within its width, so the new pixel is d plus each field's
      // change at the field's place, exact modulo the lane width. Fields are taken doubled,
      // as the high multiply wants them.
      using U = UnsignedLanes<V>;
      auto change = [&](auto i) {
        constexpr int kI = decltype(i)::value;
        constexpr int kShift = PixelT::kShift[kI];
        constexpr int kMask2 = ((1 << PixelT::kWidth[kI]) - 1) << 1;
        const V s1 = SourceField<PixelT, F, kI>(c, s);
        if constexpr (kScalarLanes<V>) {
          const V delta = s1 - FieldOf<PixelT, kI>(d);
          return U(c.paramDiffRow[delta]) << kShift;
        } else {
          V d2;
          if constexpr (kShift == 0) {
            // Doubled unsigned: the top bit leaves the lane.
            d2 = V(U(d) + U(d)) & Splat<V>(kMask2);
          } else {
            d2 = (d >> (kShift - 1)) & Splat<V>(kMask2);
          }
          return U(ParamDiffMul255<F::kAvx2Only>(c, V(s1 + s1 - d2))) << kShift;
        }
      };
      return V(U(d) + change(std::integral_constant<int, 0>{}) +
               change(std::integral_constant<int, 1>{}) + change(std::integral_constant<int, 2>{}));
    } else {
      const V p = Splat<V>(c.param);
      return MapFields<PixelT>(d, [&](auto i) {
        const V sf = SourceField<PixelT, F, decltype(i)::value>(c, s);
        const V df = FieldOf<PixelT, decltype(i)::value>(d);
        if constexpr (F::kB && F::kA) {
          return Lerp24(sf, df, b * a * p);
        } else if constexpr (F::kB || F::kA) {
          return df + (((sf - df) * SingleFactor<F>(b, a) * p) >> 16);
        } else if constexpr (sizeof(typename PixelT::Word) == 4) {
          return df + (((sf - df) * p) >> 8);
        } else {
          // The half average and the difference rule without factors are handled above.
          static_assert(kRule == TransRule::kTable && !F::kBr,
                        "the 64-step table holds only with bright off");
          return Blend64(Splat<V>(c.param >> 2), sf, df);
        }
      });
    }
  }
};

// Blend modes 2 and 3, parameter 1..255: the source scaled per field, then the packed
// saturating add or subtract on whole pixels. kFullParam: the parameter is 255, and
// MUL(255, s) = s, so the scaling by the parameter is left out.
template <class PixelT, bool kSubtract, bool kFullParam = false>
struct AddSubOp {
  static constexpr bool kIsCopy = false;
  template <class F>
  static constexpr bool kFits16 = !(F::kB && F::kA);

  template <class V>
  static V ParamScaled(const BlendContext& c, V v) {
    if constexpr (kFullParam) {
      return v;
    } else {
      return ParamMul255(c, v);
    }
  }

  template <class F, class V>
  static V Scaled(const BlendContext& c, V s, V b, V a) {
    using U = UnsignedLanes<V>;
    constexpr bool k16 = sizeof(typename PixelT::Word) == 2;
    const V p = Splat<V>(c.param);
    return MapFields<PixelT>(V{}, [&](auto i) -> V {
      if constexpr (k16 && F::kA && !F::kB) {
        // 16-bit alpha without blend image: alpha scales the raw field before bright.
        V t = (FieldOf<PixelT, decltype(i)::value>(s) * a) >> 8;
        if constexpr (F::kBr) t = BrightMul255<decltype(i)::value>(c, t);
        return ParamScaled(c, t);
      } else {
        const V sf = SourceField<PixelT, F, decltype(i)::value>(c, s);
        if constexpr (!F::kB && !F::kA) {
          return ParamScaled(c, sf);
        } else if constexpr (k16 && F::kB && F::kA) {
          return ParamScaled(c, (sf * (b * a)) >> 16);
        } else if constexpr (k16) {
          return ParamScaled(c, (sf * b) >> 8);
        } else if constexpr (F::kB && F::kA) {
          return V((U(sf * b * a) * U(p)) >> 24);  // up to 255^4: unsigned
        } else {
          return (sf * SingleFactor<F>(b, a) * p) >> 16;
        }
      }
    });
  }

  template <class F, class V>
  static V Apply(const BlendContext& c, V s, V d, V b, V a) {
    using U = UnsignedLanes<V>;
    U scaled;
    if constexpr (kFullParam && !F::kB && !F::kA && !F::kBr) {
      // The colour fields as they are; the add reads nothing else of them.
      scaled = kSubtract ? U(s) & PixelT::kFieldBits : U(s);
    } else if constexpr (sizeof(typename PixelT::Word) == 4 && !F::kB && !F::kA && !F::kBr &&
                         !kScalarLanes<V>) {
      scaled = U(MulPacked(s, Splat<V>(c.param)));
    } else {
      scaled = U(Scaled<F>(c, s, b, a));
    }
    if constexpr (kSubtract) {
      return V(PixelT::Sub(scaled, U(d)));
    } else {
      return V(PixelT::template Add<F::kAvx2Only>(scaled, U(d)));
    }
  }
};

// Blend mode 4; the parameter is not used.
template <class PixelT>
struct MultiplyOp {
  static constexpr bool kIsCopy = false;
  template <class F>
  static constexpr bool kFits16 = !F::kB && !F::kA;
  template <class F, class V>
  static V Apply(const BlendContext& c, V s, V d, V b, V a) {
    using U = UnsignedLanes<V>;
    if constexpr (sizeof(typename PixelT::Word) == 4 && !F::kB && !F::kA && !kScalarLanes<V>) {
      if constexpr (F::kBr) {
        s = MapFields<PixelT>(
            V{}, [&](auto i) { return SourceField<PixelT, F, decltype(i)::value>(c, s); });
      }
      return MulBytes(s, d);
    }
    return MapFields<PixelT>(d, [&](auto i) -> V {
      constexpr int w = PixelT::kWidth[decltype(i)::value];
      const V sf = SourceField<PixelT, F, decltype(i)::value>(c, s);
      const V df = FieldOf<PixelT, decltype(i)::value>(d);
      if constexpr (F::kB && F::kA) {
        return V((U(sf * b * a) * U(df)) >> (16 + w));  // up to 255^4: unsigned
      } else if constexpr (F::kB || F::kA) {
        return (sf * SingleFactor<F>(b, a) * df) >> (8 + w);
      } else {
        return (sf * df) >> w;
      }
    });
  }
};

}  // namespace zq::soft
