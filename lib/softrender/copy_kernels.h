// Blend mode 0 (copy): the source colour replaces the destination. A blend image or an
// alpha channel turns the copy into a weighted mix; bright lowers the source first.
#pragma once

#include "graphics/draw_state.h"
#include "softrender/pixel_kernel_base.h"

namespace zq::soft {

template <class Src, bool Blend, bool Bright, bool Alpha, bool Trans>
struct CopyKernel {
  static_assert(!(Src::kPalettised && Alpha), "palettised sources carry no alpha channel");
  static constexpr bool kWide = Src::kWide;
  static constexpr int kTexelBytes = Src::template kTexelBytes<Alpha>;
  static constexpr int kDestBytes = Src::kDestBytes;
  static constexpr bool kReadsBlendImage = Blend;

  // The opaque result: the bright channels (32-bit: fourth byte kept), else the whole
  // source colour, fourth byte included.
  static void StoreOpaque(uint8_t* d, uint32_t s) {
    if constexpr (Bright)
      StoreChannels<kWide>(d, s);
    else
      StoreWhole<kWide>(d, s);
  }

  static void Apply(const KernelContext& c, uint8_t* d, const uint8_t* texel,
                    const uint8_t* blendByte) {
    const uint32_t raw = FetchRawTexel<Src, Alpha>(texel);
    if constexpr (Trans && !Alpha) {
      if (raw == c.transColor) return;
    }
    uint32_t s = SourceColour<Src>(c, raw);
    if constexpr (Bright) s = ApplyBright<kWide>(c, s);
    uint32_t t = 0;
    if constexpr (Blend) t = gfx::BlendGraphTable[*blendByte];

    if constexpr (Alpha) {
      const uint32_t a = texel[Src::kAlphaByte];
      if constexpr (Trans) {
        if (a == 0) return;
        if (a == 255) {
          if constexpr (Blend)
            StoreChannels<kWide>(d, MixChannels<kWide, 8>(s, LoadDest<kWide>(d), t));
          else
            StoreOpaque(d, s);
          return;
        }
      }
      if constexpr (Blend)
        StoreChannels<kWide>(d, MixChannels<kWide, 16>(s, LoadDest<kWide>(d), t * a));
      else
        StoreChannels<kWide>(d, MixChannels<kWide, 8>(s, LoadDest<kWide>(d), a));
    } else if constexpr (Blend) {
      StoreChannels<kWide>(d, MixChannels<kWide, 8>(s, LoadDest<kWide>(d), t));
    } else {
      StoreOpaque(d, s);
    }
  }
};

struct CopyMode {
  template <class Src, bool Blend, bool Bright, bool Alpha, bool Trans>
  using Kernel = CopyKernel<Src, Blend, Bright, Alpha, Trans>;
};

}  // namespace zq::soft
