// A textured pixel kernel applied to a run of texels that lie side by side in memory (a
// source row, or a row buffer gathered from the source), through the blitters' span loops:
// vector lanes at the vector dispatch levels, the same operators one pixel at a time at the
// scalar level. Used by the rasterizers where a row's texels form such a run.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <type_traits>

#include "platform/os/cpu.h"
#include "softrender/blit_common.h"
#include "softrender/pixel_kernel_base.h"

namespace zq::soft {

// How kernel K treats each texel, in the span loops' terms. kAvailable where the span loops
// have that treatment: direct sources, and not a kernel that draws a clear texel under the
// transparent flag (multiply), which keeps the per-pixel loop.
template <class K>
struct RunRule {
  using PixelT = std::conditional_t<K::kWide, Pixel32, Pixel16>;
  using Src = std::conditional_t<K::kAlphaChannel, AlphaSource<PixelT>, DirectSource<PixelT>>;
  static constexpr bool kAvailable =
      !K::Source::kPalettised && !(K::kAlphaChannel && K::kTransparent && !K::kSkipsClearTexels);
  static constexpr PixelRule kRule =
      K::kAlphaChannel ? (K::kTransparent ? PixelRule::kAlphaShortcuts : PixelRule::kAlpha)
                       : (K::kTransparent ? PixelRule::kKeyed : PixelRule::kPlain);
  using Plain =
      Bound<typename K::template Op<PixelT>, Factors<K::kReadsBlendImage, false, K::kBright>>;
  using WithAlpha =
      Bound<typename K::template Op<PixelT>, Factors<K::kReadsBlendImage, true, K::kBright>>;
  // A 16-bit texel never equals a key beyond 16 bits, which the 16-bit lanes would cut.
  static bool KeyFits(const KernelContext& c) { return K::kWide || c.transColor <= 0xFFFFu; }
};

// What the span loops read of a call.
struct RunJob {
  BlendContext ctx;
  uint32_t key;
  platform::CpuLevel level;
  uint8_t blendTable[256];
};

template <class K>
RunJob MakeRunJob(const KernelContext& c) {
  RunJob job;
  job.ctx = c.blend;
  job.key = c.transColor;
  job.level = platform::CpuDispatchLevel();
  if constexpr (K::kReadsBlendImage) {
    std::copy(std::begin(BlendGraphTable), std::end(BlendGraphTable), job.blendTable);
  }
  return job;
}

// n texels (K::kTexelBytes apart) and their blend bytes onto n destination pixels.
template <class K>
inline void DrawKernelRun(const RunJob& job, uint8_t* d, const uint8_t* texels,
                          const uint8_t* blend, int n) {
  using R = RunRule<K>;
  BlendSpanAtLevel<typename R::PixelT, typename R::Src, typename R::Plain, typename R::WithAlpha,
                   K::kReadsBlendImage, R::kRule>(job, d, texels, blend, 0, n);
}

}  // namespace zq::soft
