// The textured pixel kernel: the colour key or the alpha test, the source colour and the
// blend amount, then the blend mode's operator (blend_ops.h, shared with the blitters),
// chosen at compile time with or without the alpha factor. The modes differ only in the
// operator and in whether a clear texel is skipped, so the selection steps live here once.
#pragma once

#include <cstdint>
#include <type_traits>

#include "softrender/blend_ops.h"
#include "softrender/draw_state.h"
#include "softrender/pixel_kernel_base.h"

namespace zq::soft {

// A blend mode for the kernels: OpFor<PixelT> is the operator of a pixel format; a mode
// that skips clear texels leaves the destination alone where the alpha is 0 under the
// transparent flag. The fourth byte of a 32-bit destination keeps its value unless the
// operator writes the whole pixel (copy without factors, additive, subtractive).
template <template <class> class OpFor, bool SkipsClearTexels>
struct OperatorMode {
  static constexpr bool kSkipsClearTexels = SkipsClearTexels;

  template <bool Wide, bool Blend, bool Bright, bool AlphaFactor>
  [[gnu::always_inline]] static void Combine(const KernelContext& c, uint8_t* dp, uint32_t s,
                                             uint32_t t, uint32_t a) {
    using PixelT = std::conditional_t<Wide, Pixel32, Pixel16>;
    const int32_t d = int32_t(LoadDest<Wide>(dp));
    const int32_t out = OpFor<PixelT>::template Apply<Factors<Blend, AlphaFactor, Bright>>(
        c.blend, int32_t(s), d, int32_t(t), int32_t(a));
    StoreWhole<Wide>(dp, uint32_t(out));
  }

  template <class Src, bool Blend, bool Bright, bool Alpha, bool Trans>
  struct Kernel;
};

template <template <class> class OpFor, bool SkipsClearTexels>
template <class Src, bool Blend, bool Bright, bool Alpha, bool Trans>
struct OperatorMode<OpFor, SkipsClearTexels>::Kernel {
  using Mode = OperatorMode<OpFor, SkipsClearTexels>;
  static_assert(!(Src::kPalettised && Alpha), "palettised sources carry no alpha channel");
  static constexpr bool kWide = Src::kWide;
  static constexpr int kTexelBytes = Src::template kTexelBytes<Alpha>;
  static constexpr int kDestBytes = Src::kDestBytes;
  static constexpr bool kReadsBlendImage = Blend;
  // What the kernel is made of, for loops that apply it to runs of texels.
  using Source = Src;
  template <class PixelT>
  using Op = OpFor<PixelT>;
  static constexpr bool kBright = Bright;
  static constexpr bool kAlphaChannel = Alpha;
  static constexpr bool kTransparent = Trans;
  static constexpr bool kSkipsClearTexels = SkipsClearTexels;

  [[gnu::always_inline]] static void Apply(const KernelContext& c, uint8_t* d, const uint8_t* texel,
                                           const uint8_t* blendByte) {
    const uint32_t raw = FetchRawTexel<Src, Alpha>(texel);
    if constexpr (Trans && !Alpha) {
      if (raw == c.transColor) return;
    }
    const uint32_t s = SourceColour<Src>(c, raw);
    uint32_t t = 0;
    if constexpr (Blend) t = BlendGraphTable[*blendByte];

    if constexpr (Alpha) {
      const uint32_t a = texel[Src::kAlphaByte];
      if constexpr (Trans) {
        if constexpr (SkipsClearTexels) {
          if (a == 0) return;
        }
        // An opaque texel under the transparent flag is drawn without the alpha factor.
        if (a == 255) {
          Mode::template Combine<kWide, Blend, Bright, false>(c, d, s, t, 0);
          return;
        }
      }
      Mode::template Combine<kWide, Blend, Bright, true>(c, d, s, t, a);
    } else {
      Mode::template Combine<kWide, Blend, Bright, false>(c, d, s, t, 0);
    }
  }
};

template <class PixelT>
using AlphaBlendOp = TranslucentOp<PixelT, TransRule::kDiff>;
template <class PixelT>
using AdditiveOp = AddSubOp<PixelT, false>;
template <class PixelT>
using SubtractiveOp = AddSubOp<PixelT, true>;

// Blend mode 0; an alpha of 0 under the transparent flag leaves the pixel alone.
using CopyMode = OperatorMode<CopyOp, true>;
// Blend mode 1, parameter 1..254 (0 and 255 are settled before a kernel is chosen): the
// 16-bit plain mix divides by 255, the 32-bit one shifts by 8.
using AlphaBlendMode = OperatorMode<AlphaBlendOp, true>;
// Blend modes 2 and 3: the scaled source, then the packed saturating add or subtract.
using AdditiveMode = OperatorMode<AdditiveOp, true>;
using SubtractiveMode = OperatorMode<SubtractiveOp, true>;
// Blend mode 4: the parameter is not read; no texel is skipped for its alpha.
using MultiplyMode = OperatorMode<MultiplyOp, false>;

}  // namespace zq::soft
