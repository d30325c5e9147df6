// The per-pixel frame of the blend modes 1 to 4: the colour key or the alpha test, the
// source colour and the blend amount, then the mode's own combination, chosen at compile
// time with or without the alpha factor. The modes differ only in that combination (and in
// whether a clear texel is skipped), so the selection steps live here once.
#pragma once

#include <cstdint>

#include "graphics/draw_state.h"
#include "softrender/pixel_kernel_base.h"

namespace zq::soft {

// Mode is a policy with:
//   static constexpr bool kSkipsClearTexels   alpha 0 skipped under the transparent flag
//   template <bool Wide, bool Blend, bool Bright, bool AlphaFactor>
//   static void Combine(const KernelContext&, uint8_t* dest, uint32_t s, uint32_t t, uint32_t a)
// Combine gets the unscaled source colour s (bright is the mode's business, since the
// modes apply it at different steps), the blend amount t (Blend only) and the alpha a
// (AlphaFactor only), and writes the destination pixel once.
template <class Mode, class Src, bool Blend, bool Bright, bool Alpha, bool Trans>
struct WeightedKernel {
  static_assert(!(Src::kPalettised && Alpha), "palettised sources carry no alpha channel");
  static constexpr bool kWide = Src::kWide;
  static constexpr int kTexelBytes = Src::template kTexelBytes<Alpha>;
  static constexpr int kDestBytes = Src::kDestBytes;
  static constexpr bool kReadsBlendImage = Blend;

  [[gnu::always_inline]] static void Apply(const KernelContext& c, uint8_t* d, const uint8_t* texel,
                                           const uint8_t* blendByte) {
    const uint32_t raw = FetchRawTexel<Src, Alpha>(texel);
    if constexpr (Trans && !Alpha) {
      if (raw == c.transColor) return;
    }
    const uint32_t s = SourceColour<Src>(c, raw);
    uint32_t t = 0;
    if constexpr (Blend) t = gfx::BlendGraphTable[*blendByte];

    if constexpr (Alpha) {
      const uint32_t a = texel[Src::kAlphaByte];
      if constexpr (Trans) {
        if constexpr (Mode::kSkipsClearTexels) {
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

// Splits a colour into its channel values: 16-bit red 0..31, green 0..63, blue 0..31, or
// the 32-bit bytes 2, 1, 0.
struct ChannelValues {
  uint32_t r, g, b;
};

template <bool Wide>
[[gnu::always_inline]] inline ChannelValues SplitChannels(uint32_t v) {
  if constexpr (Wide)
    return {(v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF};
  else
    return {(v >> 11) & 0x1F, (v >> 5) & 0x3F, v & 0x1F};
}

// The channels put back in place; a 32-bit result has a fourth byte of 0.
template <bool Wide>
[[gnu::always_inline]] inline uint32_t JoinChannels(uint32_t r, uint32_t g, uint32_t b) {
  if constexpr (Wide)
    return r << 16 | g << 8 | b;
  else
    return r << 11 | g << 5 | b;
}

// Bright on channel values, each through the SoftMulTable256 row of its bright byte.
[[gnu::always_inline]] inline ChannelValues BrightChannels(const KernelContext& c,
                                                           ChannelValues v) {
  return {uint32_t(c.brightR[v.r]), uint32_t(c.brightG[v.g]), uint32_t(c.brightB[v.b])};
}

}  // namespace zq::soft
