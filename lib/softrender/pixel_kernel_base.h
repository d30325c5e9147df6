// Building blocks shared by every textured pixel kernel: the source kinds and their texel
// layouts, the per-call kernel context, and the per-pixel steps (fetch, load, write) around
// the blend operators of blend_ops.h. Pixel access comes from blit_common.h and the bright
// test from the flat-colour code, their one homes. Both textured rasterizers use these, so
// their pixels agree.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "softrender/blend_ops.h"
#include "softrender/draw_state.h"
#include "softrender/flat_color.h"
#include "softrender/memimg.h"

namespace zq::soft {

static_assert(std::endian::native == std::endian::little,
              "32-bit pixels are addressed byte by byte as blue, green, red, fourth");

// ---------------------------------------------------------------------------------------
// Source kinds. Wide = 32-bit pixels (colour type 1), otherwise 16-bit 5:6:5.

template <bool Wide, bool Palettised>
struct SourceKind {
  static constexpr bool kWide = Wide;
  static constexpr bool kPalettised = Palettised;
  static constexpr int kDestBytes = Wide ? 4 : 2;
  // A 16-bit texel with alpha channel is the colour word, the alpha byte and a spare byte.
  template <bool Alpha>
  static constexpr int kTexelBytes = Palettised ? 1 : (Wide || Alpha ? 4 : 2);
  static constexpr int kAlphaByte = Wide ? 3 : 2;  // in a texel with alpha channel
};

using Source16Direct = SourceKind<false, false>;
using Source16Palette = SourceKind<false, true>;
using Source32Direct = SourceKind<true, false>;
using Source32Palette = SourceKind<true, true>;

// Largest source side: width << 18 must stay below 2^31 so that a negative 14.18
// position can never pass the unsigned bounds test.
inline constexpr int32_t kMaxSourceSide = 8191;

// The inner flags that split each blend-mode handler.
struct KernelFlags {
  bool blendImage;
  bool bright;
  bool alphaChannel;  // read only for direct sources
  bool transparent;
};

// Everything a kernel reads besides the texel and the destination pixel, fixed per call.
struct KernelContext {
  const uint8_t* srcPixels;
  ptrdiff_t srcPitch;
  uint32_t uLimit;  // width << 18
  uint32_t vLimit;  // height << 18
  const uint8_t* palette;
  uint32_t transColor;
  const uint8_t* blendPixels;
  ptrdiff_t blendPitch;
  BlendContext blend;  // the blend parameter and the bright channels
  int32_t blendParam;
};

// The source and blend image a kernel may read safely: sides 1..8191, pixels present, a
// palette where one is read, and a blend image covering the source (it is addressed
// with source coordinates and has no bound of its own).
inline bool IsDrawableSource(const MEMIMG& src, const MEMIMG* blend) {
  if (src.Width <= 0 || src.Height <= 0 || src.Width > kMaxSourceSide ||
      src.Height > kMaxSourceSide || src.Pixels == nullptr)
    return false;
  if (src.PaletteFlag == 1 && src.Palette == nullptr) return false;
  if (blend != nullptr &&
      (blend->Pixels == nullptr || blend->Width < src.Width || blend->Height < src.Height))
    return false;
  return true;
}

// The per-call values of the kernels, from the source, the blend image and the draw state.
inline KernelContext MakeKernelContext(const MEMIMG& src, const MEMIMG* blend,
                                       const GraphicsDrawState& state) {
  const uint32_t bright = state.Bright;
  const int32_t param = int32_t(ClampBlendParam(state.BlendParam));
  KernelContext c{};
  c.srcPixels = src.Pixels;
  c.srcPitch = src.Pitch;
  c.uLimit = uint32_t(src.Width) << 18;
  c.vLimit = uint32_t(src.Height) << 18;
  c.palette = reinterpret_cast<const uint8_t*>(src.Palette);
  c.transColor = src.TransColor;
  c.blendPixels = blend ? blend->Pixels : nullptr;
  c.blendPitch = blend ? blend->Pitch : 0;
  c.blend = MakeBlendContext(param, bright & 0xFFFFFFu);
  c.blendParam = param;
  return c;
}

inline KernelFlags MakeKernelFlags(const MEMIMG& src, const MEMIMG* blend, int32_t trans,
                                   const GraphicsDrawState& state) {
  return KernelFlags{blend != nullptr, IsBrightOn(state.Bright), src.AlphaFlag == 1, trans != 0};
}

// ---------------------------------------------------------------------------------------
// Per-pixel steps. The larger ones are forced inline: a call per pixel would cost more than
// the step itself, and the compiler does not always see that across 240 kernels.

// The raw texel as the colour key sees it: the index byte, the colour word, or all four
// bytes of a 32-bit texel.
template <class Src, bool Alpha>
inline uint32_t FetchRawTexel(const uint8_t* texel) {
  if constexpr (Src::kPalettised)
    return texel[0];
  else if constexpr (Src::kWide)
    return LoadPixel<uint32_t>(texel);
  else
    return LoadPixel<uint16_t>(texel);
}

// The source colour: the palette entry of an index, else the texel's colour.
template <class Src>
inline uint32_t SourceColour(const KernelContext& c, uint32_t raw) {
  if constexpr (!Src::kPalettised)
    return raw;
  else if constexpr (Src::kWide)
    return LoadPixel<uint32_t>(c.palette + raw * 4);
  else
    return LoadPixel<uint16_t>(c.palette + raw * 2);
}

template <bool Wide>
inline uint32_t LoadDest(const uint8_t* d) {
  if constexpr (Wide)
    return LoadPixel<uint32_t>(d);
  else
    return LoadPixel<uint16_t>(d);
}

// Whole-pixel write: one 16-bit word, or all four bytes.
template <bool Wide>
inline void StoreWhole(uint8_t* d, uint32_t v) {
  if constexpr (Wide)
    StorePixel<uint32_t>(d, v);
  else
    StorePixel<uint16_t>(d, uint16_t(v));
}

}  // namespace zq::soft
