// Blend mode 4 (multiplicative): each destination channel becomes the product of the
// (bright) source channel and itself, scaled back by a shift of the channel's width, and
// further scaled down by the blend amount and the texel's alpha where present (so a factor
// of 0 gives black). The parameter is not read; no texel is ever skipped for its alpha;
// a 32-bit destination's fourth byte is never written.
#pragma once

#include <cstdint>

#include "softrender/pixel_kernel_base.h"
#include "softrender/weighted_kernel.h"

namespace zq::soft {

struct MultiplyMode {
  static constexpr bool kSkipsClearTexels = false;

  template <bool Wide, bool Blend, bool Bright, bool AlphaFactor>
  [[gnu::always_inline]] static void Combine(const KernelContext& c, uint8_t* dp, uint32_t s,
                                             uint32_t t, uint32_t a) {
    ChannelValues sv = SplitChannels<Wide>(s);
    if constexpr (Bright) sv = BrightChannels(c, sv);
    const uint32_t d = LoadDest<Wide>(dp);
    const ChannelValues dv = SplitChannels<Wide>(d);
    constexpr int kFactorShift = 8 * (int(Blend) + int(AlphaFactor));
    uint32_t k = 1;
    if constexpr (Blend) k *= t;
    if constexpr (AlphaFactor) k *= a;
    // Four bytes multiplied reach 255^4, below 2^32: unsigned 32 bits suffice.
    auto product = [k](uint32_t sc, uint32_t dc, int width) {
      return (sc * dc * k) >> (width + kFactorShift);
    };
    constexpr int kRB = Wide ? 8 : 5, kG = Wide ? 8 : 6;
    const uint32_t out = JoinChannels<Wide>(product(sv.r, dv.r, kRB), product(sv.g, dv.g, kG),
                                            product(sv.b, dv.b, kRB));
    // The destination's fourth byte goes back as it was read: one whole store.
    if constexpr (Wide)
      StoreWhole<true>(dp, out | (d & 0xFF000000u));
    else
      StoreWhole<false>(dp, out);
  }

  template <class Src, bool Blend, bool Bright, bool Alpha, bool Trans>
  using Kernel = WeightedKernel<MultiplyMode, Src, Blend, Bright, Alpha, Trans>;
};

}  // namespace zq::soft
