// Flat-colour blend arithmetic: one colour combined with destination pixels in blend modes
// 0 to 4, for 16-bit 5:6:5 and 32-bit destinations. Shared by filled boxes, lines and
// flat-colour triangle spans, which must give identical pixels.
//
// Use: once per call, prepare the colour (bright), resolve the parameter shortcuts
// (ResolveFlatMode) and build the per-call values (MakeFlatColor); then WithFlatOp hands the
// one specialised operation to the caller's loop (BlendRows for runs of pixels, or the
// operation's operator() for single pixels). The operations are small value objects, so each
// loop is compiled per mode and depth and tests nothing per pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "graphics/ddraw/memimg.h"
#include "platform/os/cpu.h"
#include "platform/types.h"
#include "softrender/blend_ops.h"
#include "softrender/blit_common.h"
#include "softrender/soft_tables.h"

namespace zq::soft {

inline constexpr int kFlatNone = -1;  // draws nothing
inline constexpr int kFlatCopy = 0;
inline constexpr int kFlatAlpha = 1;
inline constexpr int kFlatAdd = 2;
inline constexpr int kFlatSub = 3;
inline constexpr int kFlatMul = 4;

// ---- Per-call preparation -------------------------------------------------------------------

// True when the bright colour changes anything (its byte above the low 24 bits is ignored).
constexpr bool IsBrightOn(uint32_t bright) {
  return (bright & 0xFFFFFFu) != 0xFFFFFFu;
}

// Bright scaling of boxes and lines: each channel times its bright byte, shifted right by 8,
// so even a bright byte of 255 lowers a channel (31 becomes 30). Call only when bright is on.
constexpr uint32_t BrightScaleShift16(uint32_t color, uint32_t bright) {
  const uint32_t br = (bright >> 16) & 0xFF, bg = (bright >> 8) & 0xFF, bb = bright & 0xFF;
  color &= 0xFFFF;
  const uint32_t r = ((color >> 11) * br) >> 8;
  const uint32_t g = (((color & 0x7E0) >> 5) * bg) >> 8;
  const uint32_t b = ((color & 0x1F) * bb) >> 8;
  return r << 11 | g << 5 | b;
}

constexpr uint32_t BrightScaleShift32(uint32_t color, uint32_t bright) {
  const uint32_t br = (bright >> 16) & 0xFF, bg = (bright >> 8) & 0xFF, bb = bright & 0xFF;
  const uint32_t r = (((color >> 16) & 0xFF) * br) >> 8;
  const uint32_t g = (((color >> 8) & 0xFF) * bg) >> 8;
  const uint32_t b = ((color & 0xFF) * bb) >> 8;
  return (color & 0xFF000000u) | r << 16 | g << 8 | b;
}

// The parameter shortcuts: which operation a blend mode and parameter come down to.
// Alpha blend at 255 is a copy; alpha, additive and subtractive at 0 draw nothing;
// multiplicative ignores the parameter; a mode outside 0..4 draws nothing.
constexpr int ResolveFlatMode(int32_t mode, uint32_t param) {
  switch (uint32_t(mode)) {
    case 0:
      return kFlatCopy;
    case 1:
      return param == 255 ? kFlatCopy : param == 0 ? kFlatNone : kFlatAlpha;
    case 2:
      return param == 0 ? kFlatNone : kFlatAdd;
    case 3:
      return param == 0 ? kFlatNone : kFlatSub;
    case 4:
      return kFlatMul;
    default:
      return kFlatNone;
  }
}

// The values every flat operation may read, fixed for one call.
struct FlatColor {
  uint32_t color;   // the colour after any bright scaling (16-bit: low 16 bits)
  uint32_t scaled;  // the colour scaled per channel by param / 255 (additive, subtractive)
  uint32_t param;   // blend parameter 0..255
};

// Clamps a blend parameter into 0..255. The draw state only ever holds that range; the clamp
// keeps any other value from indexing past a table row.
constexpr uint32_t ClampBlendParam(int32_t param) {
  return param < 0 ? 0u : param > 255 ? 255u : uint32_t(param);
}

// Builds the per-call values from a prepared colour (bright already applied) and a blend
// parameter 0..255 (larger values count as 255). Pixel selects the depth.
template <typename Pixel>
inline FlatColor MakeFlatColor(uint32_t color, uint32_t param) {
  if (param > 255) param = 255;
  const int32_t* m = SoftMulTable256[param];
  FlatColor c{};
  c.param = param;
  if constexpr (sizeof(Pixel) == 2) {
    c.color = color & 0xFFFF;
    c.scaled = uint32_t(m[c.color >> 11]) << 11 | uint32_t(m[(c.color & 0x7E0) >> 5]) << 5 |
               uint32_t(m[c.color & 0x1F]);
  } else {
    c.color = color;
    c.scaled = uint32_t(m[color & 0xFF]) | uint32_t(m[(color >> 8) & 0xFF]) << 8 |
               uint32_t(m[(color >> 16) & 0xFF]) << 16;
  }
  return c;
}

// ---- Pixel blocks ---------------------------------------------------------------------------
// The operations work in place on blocks of pixels held in vector lanes: 32 or 16 bytes in
// the row loops, or one pixel. All sizes run the same code, so a single pixel always gets
// exactly what it would get inside a block. Blocks are passed by reference only, so no vector
// crosses a call boundary (whose convention for 32-byte vectors would depend on AVX).

template <int Bytes>
struct Block;
template <>
struct Block<32> {
  typedef uint16_t U16 __attribute__((vector_size(32)));
  typedef int16_t S16 __attribute__((vector_size(32)));
  typedef uint32_t U32 __attribute__((vector_size(32)));
};
template <>
struct Block<16> {
  typedef uint16_t U16 __attribute__((vector_size(16)));
  typedef int16_t S16 __attribute__((vector_size(16)));
  typedef uint32_t U32 __attribute__((vector_size(16)));
};
template <>
struct Block<4> {
  typedef uint16_t U16 __attribute__((vector_size(4)));
  typedef int16_t S16 __attribute__((vector_size(4)));
  typedef uint32_t U32 __attribute__((vector_size(4)));
};
template <>
struct Block<2> {
  typedef uint16_t U16 __attribute__((vector_size(2)));
  typedef int16_t S16 __attribute__((vector_size(2)));
};

// The lanes holding a block of Bytes bytes of Pixel pixels: one lane a pixel.
template <typename Pixel, int Bytes>
struct PixelLanesOf {
  using type = typename Block<Bytes>::U32;
};
template <int Bytes>
struct PixelLanesOf<uint16_t, Bytes> {
  using type = typename Block<Bytes>::U16;
};
template <typename Pixel, int Bytes>
using PixelLanes = typename PixelLanesOf<Pixel, Bytes>::type;

// Sets out to 16-bit lanes holding the pair (low, high) in every 32-bit pixel: 32-bit pixels
// are worked on as 16-bit lanes, blue and red in the low bytes, green and the fourth byte in
// the high bytes.
template <int Bytes>
[[gnu::always_inline]] inline void PairLanes(typename Block<Bytes>::U16& out, uint16_t low,
                                             uint16_t high) {
  const typename Block<Bytes>::U32 v = typename Block<Bytes>::U32{} + (uint32_t(high) << 16 | low);
  out = (typename Block<Bytes>::U16)v;
}

// ---- Per-pixel operations -------------------------------------------------------------------
// FlatOp<Pixel, Mode>: Apply<Bytes>(block) combines every pixel of a block with the colour, in
// place; operator()(d) does one pixel. kWritesOnly marks the copy, whose result does not
// depend on the destination.

// One pixel through the block code.
template <typename Pixel, typename Op>
[[gnu::always_inline]] inline Pixel ApplyOne(const Op& op, Pixel d) {
  PixelLanes<Pixel, sizeof(Pixel)> v;
  std::memcpy(&v, &d, sizeof d);
  op.template Apply<sizeof(Pixel)>(v);
  std::memcpy(&d, &v, sizeof d);
  return d;
}

template <typename Pixel, int Mode>
struct FlatOp;

template <typename Pixel>
struct FlatOp<Pixel, kFlatCopy> {
  static constexpr bool kWritesOnly = true;
  Pixel s;
  explicit FlatOp(const FlatColor& c) : s(Pixel(c.color)) {}
  template <int B>
  [[gnu::always_inline]] void Apply(PixelLanes<Pixel, B>& v) const {
    v = PixelLanes<Pixel, B>{} + s;
  }
  Pixel operator()(Pixel) const { return s; }
};

// 16-bit alpha blend: each field F' = dF + p*(sF - dF)/255 truncated toward zero, for the
// parameters 1..254 that reach this operation (ResolveFlatMode turns 0 and 255 into other
// operations). Two exact ways to divide, giving the same lanes:
// - Portable (and single pixels): n = p*(sF - dF) lies within +-16065 (63*255), where
//   |n|/255 = (|n| + 1 + (|n| >> 8)) >> 8, the sign split off and put back.
// - x86 blocks: one signed high-half multiply of t = 2*(sF - dF) by M = ceil(p*2^15/255)
//   (at most 32640 for p <= 254, so a positive 16-bit factor). t*M/2^16 = p*D/255 + D*e/2^15
//   with D = sF - dF, |D| <= 63 and 0 < e < 1 (e = 0 would need 255 | p). p*D/255 is a
//   multiple of 1/255 and |D*e/2^15| < 63/2^15 < 1/255, so the floor is floor(p*D/255) for
//   D >= 0 and, the error being negative, ceil(p*D/255) - 1 for D < 0: adding 1 for
//   negative D gives the truncated quotient (the tests check every p and D).
inline constexpr int16_t FlatAlphaMagic(uint32_t p) {
  return int16_t((p * 32768u + 254u) / 255u);
}

template <>
struct FlatOp<uint16_t, kFlatAlpha> {
  static constexpr bool kWritesOnly = false;
  int16_t sr, sg, sb, p, magic;
  explicit FlatOp(const FlatColor& c)
      : sr(int16_t(c.color >> 11)),
        sg(int16_t((c.color >> 5) & 0x3F)),
        sb(int16_t(c.color & 0x1F)),
        p(int16_t(c.param)),
        magic(FlatAlphaMagic(c.param)) {}

  // Replaces each lane's doubled destination field 2*dF by p*(sF - dF)/255 truncated, given
  // 2*sF (both doubled so the x86 form needs no extra doubling).
  template <int B>
  [[gnu::always_inline]] void FieldChange(int16_t s2, typename Block<B>::S16& v) const {
    using S16 = typename Block<B>::S16;
    const S16 t = s2 - v;
#if defined(__SSE2__)
    if constexpr (B == 16) {
      v = __builtin_ia32_pmulhw128(t, S16{} + magic) - (t >> 15);
      return;
    } else if constexpr (B == 32) {
      // Two 16-byte multiplies: the 32-byte one would be AVX2 code in a header built for
      // the baseline processor.
      using Half = typename Block<16>::S16;
      const Half m = Half{} + magic;
      const Half lo = __builtin_shufflevector(t, t, 0, 1, 2, 3, 4, 5, 6, 7);
      const Half hi = __builtin_shufflevector(t, t, 8, 9, 10, 11, 12, 13, 14, 15);
      const Half plo = __builtin_ia32_pmulhw128(lo, m), phi = __builtin_ia32_pmulhw128(hi, m);
      v = __builtin_shufflevector(plo, phi, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15) -
          (t >> 15);
      return;
    }
#endif
    const S16 n = (t >> 1) * p;
    const S16 sign = n >> 15;  // 0 or -1
    const S16 a = (n ^ sign) - sign;
    const S16 q = (a + 1 + (a >> 8)) >> 8;
    v = (q ^ sign) - sign;
  }

  template <int B>
  [[gnu::always_inline]] void Apply(typename Block<B>::U16& d) const {
    using S16 = typename Block<B>::S16;
    using U16 = typename Block<B>::U16;
    // Each field doubled (room to spare in a 16-bit lane). The new pixel is d plus each
    // field's change at the field's place: every new field stays within its width, so the
    // sum taken modulo 2^16 is exactly the packed new pixel.
    S16 r = (S16)((d >> 10) & 0x3E), g = (S16)((d >> 4) & 0x7E), b = (S16)((d + d) & 0x3E);
    FieldChange<B>(int16_t(sr * 2), r);
    FieldChange<B>(int16_t(sg * 2), g);
    FieldChange<B>(int16_t(sb * 2), b);
    d += ((U16)r << 11) + ((U16)g << 5) + (U16)b;
  }
  uint16_t operator()(uint16_t d) const {
    return ApplyOne(*this, d);
  }
};

// 32-bit alpha blend: ((s - d)*p + (d << 8)) >> 8 per colour byte equals
// (s*p + d*(256 - p)) >> 8, whose terms are never negative and together below 2^16, so each
// byte is worked in a 16-bit lane. The fourth byte is kept (multiplier 256, nothing added).
template <>
struct FlatOp<uint32_t, kFlatAlpha> {
  static constexpr bool kWritesOnly = false;
  uint16_t inv, addB, addG, addR;
  explicit FlatOp(const FlatColor& c)
      : inv(uint16_t(256 - c.param)),
        addB(uint16_t((c.color & 0xFF) * c.param)),
        addG(uint16_t(((c.color >> 8) & 0xFF) * c.param)),
        addR(uint16_t(((c.color >> 16) & 0xFF) * c.param)) {}
  template <int B>
  [[gnu::always_inline]] void Apply(typename Block<B>::U32& d) const {
    using U16 = typename Block<B>::U16;
    U16 mulEven, addEven, mulOdd, addOdd;
    PairLanes<B>(mulEven, inv, inv);
    PairLanes<B>(addEven, addB, addR);
    PairLanes<B>(mulOdd, inv, 256);
    PairLanes<B>(addOdd, addG, 0);
    const U16 v = (U16)d;
    const U16 even = ((v & 0xFF) * mulEven + addEven) >> 8;
    const U16 odd = ((v >> 8) * mulOdd + addOdd) >> 8;
    d = (typename Block<B>::U32)(even | odd << 8);
  }
  uint32_t operator()(uint32_t d) const { return ApplyOne(*this, d); }
};

// The pixel format of a flat pixel word.
template <typename Pixel>
using FlatFormat = std::conditional_t<sizeof(Pixel) == 2, Pixel16, Pixel32>;

// Additive and subtractive: the packed saturating add or subtract of the scaled colour.
template <typename Pixel, bool kSubtract>
struct FlatPackedOp {
  static constexpr bool kWritesOnly = false;
  uint32_t s;
  explicit FlatPackedOp(const FlatColor& c) : s(c.scaled) {}
  template <class U>
  [[gnu::always_inline]] static U Packed(U s, U d) {
    if constexpr (kSubtract) {
      return FlatFormat<Pixel>::Sub(s, d);
    } else {
      return FlatFormat<Pixel>::Add(s, d);
    }
  }
  template <int B>
  [[gnu::always_inline]] void Apply(PixelLanes<Pixel, B>& d) const {
    using V = PixelLanes<Pixel, B>;
    d = Packed(V{} + Pixel(s), d);
  }
  Pixel operator()(Pixel d) const { return Pixel(Packed<uint32_t>(s, d)); }
};
template <typename Pixel>
struct FlatOp<Pixel, kFlatAdd> : FlatPackedOp<Pixel, false> {
  using FlatPackedOp<Pixel, false>::FlatPackedOp;
};
template <typename Pixel>
struct FlatOp<Pixel, kFlatSub> : FlatPackedOp<Pixel, true> {
  using FlatPackedOp<Pixel, true>::FlatPackedOp;
};

// Multiplicative: 16-bit fields (s*d) >> 5 (green >> 6); 32-bit colour bytes (s*d) >> 8 in
// 16-bit lanes, the fourth byte kept (multiplier 256).
template <>
struct FlatOp<uint16_t, kFlatMul> {
  static constexpr bool kWritesOnly = false;
  uint16_t sr, sg, sb;
  explicit FlatOp(const FlatColor& c)
      : sr(uint16_t(c.color >> 11)),
        sg(uint16_t((c.color >> 5) & 0x3F)),
        sb(uint16_t(c.color & 0x1F)) {}
  template <int B>
  [[gnu::always_inline]] void Apply(typename Block<B>::U16& d) const {
    using U16 = typename Block<B>::U16;
    const U16 r = ((d >> 11) * sr) >> 5;
    const U16 g = (((d >> 5) & 0x3F) * sg) >> 6;
    const U16 b = ((d & 0x1F) * sb) >> 5;
    d = r << 11 | g << 5 | b;
  }
  uint16_t operator()(uint16_t d) const { return ApplyOne(*this, d); }
};

template <>
struct FlatOp<uint32_t, kFlatMul> {
  static constexpr bool kWritesOnly = false;
  uint16_t sr, sg, sb;
  explicit FlatOp(const FlatColor& c)
      : sr(uint16_t((c.color >> 16) & 0xFF)),
        sg(uint16_t((c.color >> 8) & 0xFF)),
        sb(uint16_t(c.color & 0xFF)) {}
  template <int B>
  [[gnu::always_inline]] void Apply(typename Block<B>::U32& d) const {
    using U16 = typename Block<B>::U16;
    U16 mulEven, mulOdd;
    PairLanes<B>(mulEven, sb, sr);
    PairLanes<B>(mulOdd, sg, 256);
    const U16 v = (U16)d;
    const U16 even = ((v & 0xFF) * mulEven) >> 8;
    const U16 odd = ((v >> 8) * mulOdd) >> 8;
    d = (typename Block<B>::U32)(even | odd << 8);
  }
  uint32_t operator()(uint32_t d) const { return ApplyOne(*this, d); }
};

// ---- Row loops ------------------------------------------------------------------------------
// Rows are worked in blocks of 32 bytes at the AVX2 dispatch level, of 16 bytes at the 16-byte
// level and one pixel at a time at the scalar level (all give the same pixels); the pixels
// left at a row's end go one by one.

// The operation is taken by value: a local copy cannot alias the pixels, so its constants
// stay in registers for the whole row.
template <int BlockBytes, typename Pixel, typename Op>
[[gnu::always_inline]] inline void BlendRowBlocks(uint8_t* p, int32_t w, const Op op) {
  constexpr int32_t kPerBlock = BlockBytes / int32_t(sizeof(Pixel));
  int32_t x = 0;
  for (; x + kPerBlock <= w; x += kPerBlock, p += BlockBytes) {
    PixelLanes<Pixel, BlockBytes> v;
    std::memcpy(&v, p, BlockBytes);
    op.template Apply<BlockBytes>(v);
    std::memcpy(p, &v, BlockBytes);
  }
  for (; x < w; ++x, p += sizeof(Pixel)) StorePixel<Pixel>(p, op(LoadPixel<Pixel>(p)));
}

template <int BlockBytes, typename Pixel, typename Op>
void BlendRowsOf(uint8_t* row, std::ptrdiff_t pitch, int32_t w, int32_t h, const Op op) {
  for (int32_t y = 0; y < h; ++y, row += pitch) BlendRowBlocks<BlockBytes, Pixel>(row, w, op);
}

template <typename Pixel, typename Op>
ZQ_TARGET_AVX2 void BlendRows32(uint8_t* row, std::ptrdiff_t pitch, int32_t w, int32_t h,
                                const Op op) {
  for (int32_t y = 0; y < h; ++y, row += pitch) BlendRowBlocks<32, Pixel>(row, w, op);
}

// h rows of w pixels, pitch bytes apart, each pixel combined by op.
template <typename Pixel, typename Op>
void BlendRows(uint8_t* row, std::ptrdiff_t pitch, int32_t w, int32_t h, const Op& op) {
  switch (platform::CpuDispatchLevel()) {
    case platform::CpuLevel::kAvx2:
      BlendRows32<Pixel>(row, pitch, w, h, op);
      break;
    case platform::CpuLevel::kVector16:
      BlendRowsOf<16, Pixel>(row, pitch, w, h, op);
      break;
    case platform::CpuLevel::kScalar:
      BlendRowsOf<int(sizeof(Pixel)), Pixel>(row, pitch, w, h, op);
      break;
  }
}

// Calls body(op) once with the operation of a resolved mode (ResolveFlatMode); kFlatNone
// calls nothing. body is a generic lambda, so its loop is compiled once per operation.
template <typename Pixel, typename Body>
void WithFlatOp(int resolvedMode, const FlatColor& c, Body&& body) {
  switch (resolvedMode) {
    case kFlatCopy:
      body(FlatOp<Pixel, kFlatCopy>(c));
      break;
    case kFlatAlpha:
      body(FlatOp<Pixel, kFlatAlpha>(c));
      break;
    case kFlatAdd:
      body(FlatOp<Pixel, kFlatAdd>(c));
      break;
    case kFlatSub:
      body(FlatOp<Pixel, kFlatSub>(c));
      break;
    case kFlatMul:
      body(FlatOp<Pixel, kFlatMul>(c));
      break;
    default:
      break;
  }
}

// ---- Destinations ---------------------------------------------------------------------------

// The rectangle a flat drawing may touch: the draw area cut to the image's own size.
// Returns false when nothing is left.
constexpr bool FlatDrawBounds(const gfx::MEMIMG& image, const platform::RECT& drawArea,
                              platform::RECT* out) {
  platform::RECT r = drawArea;
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > image.Width) r.right = image.Width;
  if (r.bottom > image.Height) r.bottom = image.Height;
  *out = r;
  return r.left < r.right && r.top < r.bottom;
}

// Depth of a destination that flat drawing accepts: 2 or 4 bytes a pixel, or 0 when refused
// (no pixels, a palettised or alpha-channel image, a colour type other than 16-bit 5:6:5 and
// 32-bit, or a pixel size that disagrees with the colour type).
constexpr int FlatDestinationBytes(const gfx::MEMIMG* image) {
  if (image == nullptr || image->Pixels == nullptr || image->Format == nullptr) return 0;
  if (image->PaletteFlag != 0 || image->AlphaFlag != 0) return 0;
  const int bytes = image->ColorType == gfx::kMemImgRgb565     ? 2
                    : image->ColorType == gfx::kMemImgXrgb8888 ? 4
                                                               : 0;
  return bytes != 0 && image->Format->PixelByte == bytes ? bytes : 0;
}

// Address of pixel (x, y); the offset is formed in pointer width, so large pitches and
// negative (bottom-up) pitches do not overflow.
inline uint8_t* PixelAddress(const gfx::MEMIMG& image, int32_t x, int32_t y, int bytes) {
  return image.Pixels + std::ptrdiff_t(y) * image.Pitch + std::ptrdiff_t(x) * bytes;
}

// Calls body(op) with the operation for the current draw state and a box or line colour
// (bright by the shift rule), for a destination of the given depth (2 or 4 bytes).
template <typename Body>
void WithBoxFlatOp(int bytes, uint32_t color, int32_t mode, int32_t blendParam, uint32_t bright,
                   Body&& body) {
  const uint32_t param = ClampBlendParam(blendParam);
  const int resolved = ResolveFlatMode(mode, param);
  if (resolved == kFlatNone) return;
  if (bytes == 2) {
    color &= 0xFFFF;
    if (IsBrightOn(bright)) color = BrightScaleShift16(color, bright);
    WithFlatOp<uint16_t>(resolved, MakeFlatColor<uint16_t>(color, param), body);
  } else {
    if (IsBrightOn(bright)) color = BrightScaleShift32(color, bright);
    WithFlatOp<uint32_t>(resolved, MakeFlatColor<uint32_t>(color, param), body);
  }
}

}  // namespace zq::soft
