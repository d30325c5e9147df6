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

#include "platform/os/cpu.h"
#include "platform/types.h"
#include "softrender/blend_ops.h"
#include "softrender/blit_common.h"
#include "softrender/memimg.h"

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

// The pixel format of a flat pixel word.
template <typename Pixel>
using FlatFormat = std::conditional_t<sizeof(Pixel) == 2, Pixel16, Pixel32>;

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
  FlatColor c{};
  c.param = param;
  c.color = sizeof(Pixel) == 2 ? color & 0xFFFF : color;
  // The additive and subtractive operators' scaled source, once per call.
  const BlendContext ctx = MakeBlendContext(int(param), 0xFFFFFFu);
  c.scaled =
      uint32_t(AddSubOp<FlatFormat<Pixel>, false>::template Scaled<Factors<false, false, false>>(
          ctx, int32_t(c.color), 0, 0));
  return c;
}

// ---- Pixel blocks ---------------------------------------------------------------------------
// The row loops work in place on blocks of 32 or 16 bytes held in the lanes of blend_ops.h:
// 16-bit pixels in 16-bit lanes, 32-bit pixels in 32-bit lanes. Blocks are passed by
// reference only, so no vector crosses a call boundary (whose convention for 32-byte vectors
// would depend on AVX).

template <typename Pixel, int Bytes>
struct FlatLanesOf;
template <>
struct FlatLanesOf<uint16_t, 32> {
  using type = Half16;
};
template <>
struct FlatLanesOf<uint16_t, 16> {
  using type = Half8;
};
template <>
struct FlatLanesOf<uint32_t, 32> {
  using type = Lanes8;
};
template <>
struct FlatLanesOf<uint32_t, 4> {
  using type = Lanes1;
};
template <>
struct FlatLanesOf<uint32_t, 16> {
  using type = Lanes4;
};
template <typename Pixel, int Bytes>
using FlatLanes = typename FlatLanesOf<Pixel, Bytes>::type;

// ---- Per-pixel operations -------------------------------------------------------------------
// FlatOp<Pixel, Mode>: the blend operator of the mode (blend_ops.h, shared with the blitters
// and the textured kernels) with the flat colour as its source and no blend image, alpha or
// bright factor (boxes and lines apply bright to the colour beforehand, by their shift
// rule). Apply<Bytes>(block) combines every pixel of a block in place; operator()(d) does one
// pixel. kWritesOnly marks the copy, whose result does not depend on the destination.

template <typename Pixel, int Mode>
struct FlatOp;

template <typename Pixel>
struct FlatOp<Pixel, kFlatCopy> {
  static constexpr bool kWritesOnly = true;
  Pixel s;
  explicit FlatOp(const FlatColor& c) : s(Pixel(c.color)) {}
  template <int B>
  void Apply(FlatLanes<Pixel, B>& v) const {
    v = Splat<FlatLanes<Pixel, B>>(int32_t(s));
  }
  Pixel operator()(Pixel) const { return s; }
};

// Alpha blend (parameters 1..254: ResolveFlatMode turns 0 and 255 into other operations) and
// multiplicative: the operator applied to the colour as it stands.
template <typename Pixel, class OpT>
struct FlatOperator {
  static constexpr bool kWritesOnly = false;
  // 32-byte blocks exist only in the AVX2 row loop.
  template <int B>
  using NoFactors = Factors<false, false, false, B == 32>;
  BlendContext ctx;
  int32_t s;
  explicit FlatOperator(const FlatColor& c)
      : ctx(MakeBlendContext(int(c.param), 0xFFFFFFu)), s(int32_t(c.color)) {}
  template <int B>
  void Apply(FlatLanes<Pixel, B>& d) const {
    using V = FlatLanes<Pixel, B>;
    d = OpT::template Apply<NoFactors<B>>(ctx, Splat<V>(s), d, V{}, V{});
  }
  Pixel operator()(Pixel d) const {
    return Pixel(OpT::template Apply<NoFactors<4>>(ctx, s, int32_t(d), 0, 0));
  }
};
template <typename Pixel>
struct FlatOp<Pixel, kFlatAlpha>
    : FlatOperator<Pixel, TranslucentOp<FlatFormat<Pixel>, TransRule::kDiff>> {
  using FlatOperator<Pixel, TranslucentOp<FlatFormat<Pixel>, TransRule::kDiff>>::FlatOperator;
};
template <typename Pixel>
struct FlatOp<Pixel, kFlatMul> : FlatOperator<Pixel, MultiplyOp<FlatFormat<Pixel>>> {
  using FlatOperator<Pixel, MultiplyOp<FlatFormat<Pixel>>>::FlatOperator;
};

// Additive and subtractive: the packed saturating add or subtract of the colour scaled once
// per call (MakeFlatColor), the operator's last step.
template <typename Pixel, bool kSubtract>
struct FlatPackedOp {
  static constexpr bool kWritesOnly = false;
  uint32_t s;
  explicit FlatPackedOp(const FlatColor& c) : s(c.scaled) {}
  // kAvx2Only: 32-byte blocks exist only in the AVX2 row loop.
  template <bool kAvx2Only, class U>
  static U Packed(U s, U d) {
    if constexpr (kSubtract) {
      return FlatFormat<Pixel>::Sub(s, d);
    } else {
      return FlatFormat<Pixel>::template Add<kAvx2Only>(s, d);
    }
  }
  template <int B>
  void Apply(FlatLanes<Pixel, B>& d) const {
    using V = FlatLanes<Pixel, B>;
    using U = UnsignedLanes<V>;
    d = V(Packed<B == 32>(U(Splat<V>(int32_t(s))), U(d)));
  }
  Pixel operator()(Pixel d) const { return Pixel(Packed<false, uint32_t>(s, d)); }
};
template <typename Pixel>
struct FlatOp<Pixel, kFlatAdd> : FlatPackedOp<Pixel, false> {
  using FlatPackedOp<Pixel, false>::FlatPackedOp;
};
template <typename Pixel>
struct FlatOp<Pixel, kFlatSub> : FlatPackedOp<Pixel, true> {
  using FlatPackedOp<Pixel, true>::FlatPackedOp;
};

// ---- Row loops ------------------------------------------------------------------------------
// Rows are worked in blocks of 32 bytes at the AVX2 dispatch level, of 16 bytes at the 16-byte
// level and one pixel at a time at the scalar level (all give the same pixels); the pixels
// left at a row's end go one by one.

// The operation is taken by value: a local copy cannot alias the pixels, so its constants
// stay in registers for the whole row.
template <int BlockBytes, typename Pixel, typename Op>
inline void BlendRowBlocks(uint8_t* p, int32_t w, const Op op) {
  constexpr int32_t kPerBlock = BlockBytes / int32_t(sizeof(Pixel));
  int32_t x = 0;
  if (w >= kAlignedSpanPixels && uintptr_t(p) % sizeof(Pixel) == 0) {
    for (; uintptr_t(p) % BlockBytes != 0; ++x, p += sizeof(Pixel))
      StorePixel<Pixel>(p, op(LoadPixel<Pixel>(p)));
  }
  // Counted, as BlendSpan's vector loop is: counting to w after the head costs sprite rows.
  const int32_t blocks = (w - x) / kPerBlock;
  for (int32_t i = 0; i < blocks; ++i, x += kPerBlock, p += BlockBytes) {
    FlatLanes<Pixel, BlockBytes> v;
    std::memcpy(&v, p, BlockBytes);
    if constexpr (BlockBytes == 32) InRegister(v);
    op.template Apply<BlockBytes>(v);
    std::memcpy(p, &v, BlockBytes);
  }
  for (; x < w; ++x, p += sizeof(Pixel)) StorePixel<Pixel>(p, op(LoadPixel<Pixel>(p)));
}

template <typename Pixel, typename Op>
__attribute__((flatten)) void BlendRows16(uint8_t* row, std::ptrdiff_t pitch, int32_t w, int32_t h,
                                          const Op op) {
  for (int32_t y = 0; y < h; ++y, row += pitch) BlendRowBlocks<16, Pixel>(row, w, op);
}

template <typename Pixel, typename Op>
__attribute__((flatten)) void BlendRowsScalar(uint8_t* row, std::ptrdiff_t pitch, int32_t w,
                                              int32_t h, const Op op) {
  for (int32_t y = 0; y < h; ++y, row += pitch) {
    uint8_t* p = row;
    for (int32_t x = 0; x < w; ++x, p += sizeof(Pixel))
      StorePixel<Pixel>(p, op(LoadPixel<Pixel>(p)));
  }
}

template <typename Pixel, typename Op>
ZQ_TARGET_AVX2 __attribute__((flatten)) void BlendRows32(uint8_t* row, std::ptrdiff_t pitch,
                                                         int32_t w, int32_t h, const Op op) {
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
      BlendRows16<Pixel>(row, pitch, w, h, op);
      break;
    case platform::CpuLevel::kScalar:
      BlendRowsScalar<Pixel>(row, pitch, w, h, op);
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
constexpr bool FlatDrawBounds(const MEMIMG& image, const platform::RECT& drawArea,
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
constexpr int FlatDestinationBytes(const MEMIMG* image) {
  if (image == nullptr || image->Pixels == nullptr || image->Format == nullptr) return 0;
  if (image->PaletteFlag != 0 || image->AlphaFlag != 0) return 0;
  const int bytes = image->ColorType == kMemImgRgb565     ? 2
                    : image->ColorType == kMemImgXrgb8888 ? 4
                                                          : 0;
  return bytes != 0 && image->Format->PixelByte == bytes ? bytes : 0;
}

// Address of pixel (x, y); the offset is formed in pointer width, so large pitches and
// negative (bottom-up) pitches do not overflow.
inline uint8_t* PixelAddress(const MEMIMG& image, int32_t x, int32_t y, int bytes) {
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
