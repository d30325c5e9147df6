// Blend mode 1 (alpha blend), parameter 1..254: each channel of the destination moves
// toward the (bright) source by p / 255 in 16-bit and p / 256 in 32-bit, further weighted
// by the blend amount and the texel's alpha where present. The two depths differ on
// purpose in the plain mix: 16-bit divides by 255 through SoftDiffMulTable256 (the change
// truncated toward the destination), 32-bit shifts by 8. The fourth byte of a 32-bit
// destination is never written. Parameters 0 and 255 are settled before a kernel is chosen.
#pragma once

#include <cstdint>

#include "softrender/pixel_kernel_base.h"
#include "softrender/weighted_kernel.h"

namespace zq::soft {

struct AlphaBlendMode {
  static constexpr bool kSkipsClearTexels = true;

  template <bool Wide, bool Blend, bool Bright, bool AlphaFactor>
  [[gnu::always_inline]] static void Combine(const KernelContext& c, uint8_t* dp, uint32_t s,
                                             uint32_t t, uint32_t a) {
    if constexpr (Bright) s = ApplyBright<Wide>(c, s);
    const uint32_t d = LoadDest<Wide>(dp);
    const uint32_t p = uint32_t(c.blendParam);
    uint32_t out;
    if constexpr (Blend && AlphaFactor) {
      out = MixChannels<Wide, 24>(s, d, t * a * p);
    } else if constexpr (Blend) {
      out = MixChannels<Wide, 16>(s, d, t * p);
    } else if constexpr (AlphaFactor) {
      out = MixChannels<Wide, 16>(s, d, a * p);
    } else if constexpr (Wide) {
      out = MixChannels<Wide, 8>(s, d, p);
    } else {
      // d + p * (s - d) / 255 per field, truncated toward zero. Each field stays within
      // its range, so the signed changes can be added to the whole word in place (modulo
      // 2^32, which the exact 16-bit result makes harmless).
      const ChannelValues sv = SplitChannels<false>(s), dv = SplitChannels<false>(d);
      const int32_t* diff = c.paramDiff;
      auto change = [diff](uint32_t sc, uint32_t dc) {
        return uint32_t(diff[int32_t(sc) - int32_t(dc)]);
      };
      out = d + (change(sv.r, dv.r) << 11) + (change(sv.g, dv.g) << 5) + change(sv.b, dv.b);
    }
    // A 32-bit result carries the destination's own fourth byte, so one whole store
    // leaves that byte as it was.
    StoreWhole<Wide>(dp, out);
  }

  template <class Src, bool Blend, bool Bright, bool Alpha, bool Trans>
  using Kernel = WeightedKernel<AlphaBlendMode, Src, Blend, Bright, Alpha, Trans>;
};

}  // namespace zq::soft
