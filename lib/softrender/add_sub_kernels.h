// Blend modes 2 (additive) and 3 (subtractive): the source colour is scaled down by the
// parameter, bright, the blend amount and the texel's alpha, and then added to or
// subtracted from the destination with the packed saturating operations, which write the
// whole pixel (a 32-bit destination's fourth byte gets the red carry, or 0). Both modes
// scale the source alike; they differ only in the packed operation.
#pragma once

#include <cstdint>

#include "softrender/packed_ops.h"
#include "softrender/pixel_kernel_base.h"
#include "softrender/weighted_kernel.h"

namespace zq::soft {

// The scaled source colour S, fourth byte 0. Mp is the SoftMulTable256 row of p, Br the
// bright rows. 16-bit fields always end in Mp; 32-bit bytes do so only without factors,
// and otherwise take p as one more multiplier divided out by a shift of 8, like t and a.
// Bright comes first, except in 16-bit with the alpha factor alone, where it acts on the
// alpha product. 32-bit products reach 255^4, below 2^32, in unsigned 32 bits.
template <bool Wide, bool Blend, bool Bright, bool AlphaFactor>
[[gnu::always_inline]] inline uint32_t ScaledSource(const KernelContext& c, uint32_t s, uint32_t t,
                                                    uint32_t a) {
  ChannelValues v = SplitChannels<Wide>(s);
  const int32_t* m = c.paramMul;
  auto viaRow = [m](const ChannelValues& x) {
    return JoinChannels<Wide>(uint32_t(m[x.r]), uint32_t(m[x.g]), uint32_t(m[x.b]));
  };

  if constexpr (!Wide && AlphaFactor && !Blend) {
    v = {(v.r * a) >> 8, (v.g * a) >> 8, (v.b * a) >> 8};
    if constexpr (Bright) v = BrightChannels(c, v);
    return viaRow(v);
  } else {
    if constexpr (Bright) v = BrightChannels(c, v);
    if constexpr (!Blend && !AlphaFactor) {
      return viaRow(v);
    } else {
      constexpr int kFactors = int(Blend) + int(AlphaFactor);
      uint32_t k = 1;
      if constexpr (Blend) k *= t;
      if constexpr (AlphaFactor) k *= a;
      if constexpr (Wide) {
        k *= uint32_t(c.blendParam);
        constexpr int kShift = 8 + 8 * kFactors;
        return JoinChannels<true>((v.r * k) >> kShift, (v.g * k) >> kShift, (v.b * k) >> kShift);
      } else {
        constexpr int kShift = 8 * kFactors;
        return viaRow({(v.r * k) >> kShift, (v.g * k) >> kShift, (v.b * k) >> kShift});
      }
    }
  }
}

// Modes 2 and 3 differ only in the packed operation that meets the destination.
template <uint32_t (*Op16)(uint32_t, uint32_t), uint32_t (*Op32)(uint32_t, uint32_t)>
struct PackedMode {
  static constexpr bool kSkipsClearTexels = true;

  template <bool Wide, bool Blend, bool Bright, bool AlphaFactor>
  [[gnu::always_inline]] static void Combine(const KernelContext& c, uint8_t* dp, uint32_t s,
                                             uint32_t t, uint32_t a) {
    const uint32_t S = ScaledSource<Wide, Blend, Bright, AlphaFactor>(c, s, t, a);
    if constexpr (Wide)
      StoreWhole<true>(dp, Op32(S, LoadDest<true>(dp)));
    else
      StoreWhole<false>(dp, Op16(S, LoadDest<false>(dp)));
  }

  template <class Src, bool Blend, bool Bright, bool Alpha, bool Trans>
  using Kernel = WeightedKernel<PackedMode, Src, Blend, Bright, Alpha, Trans>;
};

using AdditiveMode = PackedMode<AddPixelSaturated16, AddPixelSaturated32>;
using SubtractiveMode = PackedMode<SubPixelSaturated16, SubPixelSaturated32>;

}  // namespace zq::soft
