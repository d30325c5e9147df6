// The pixel kernel matrix: source kind x blend mode x inner flags (blend image, bright,
// alpha channel, transparent flag). One kernel type is chosen once per call and handed to
// the caller's visitor, which instantiates its own row loop for it; so no flag is ever
// tested per pixel.
//
// A kernel type K provides:
//   K::kWide, K::kTexelBytes, K::kDestBytes, K::kReadsBlendImage
//   static void K::Apply(const KernelContext&, uint8_t* dest, const uint8_t* texel,
//                        const uint8_t* blendByte)   // blendByte only when kReadsBlendImage
// and is applied to pixels whose (u, v) already passed the bounds test.
//
// A blend mode is a policy with a member template Kernel<Src, Blend, Bright, Alpha, Trans>.
#pragma once

#include <cstdint>
#include <type_traits>

#include "softrender/memimg.h"
#include "softrender/pixel_kernel_base.h"
#include "softrender/weighted_kernel.h"

namespace zq::soft {

template <class K>
struct KernelTag {
  using type = K;
};

namespace kernel_detail {

template <class F>
inline void WithBool(bool b, F&& f) {
  if (b)
    f(std::true_type{});
  else
    f(std::false_type{});
}

// Expands the inner flags, in their fixed order, into one kernel type.
template <class Src, class Mode, class Visitor>
void VisitFlags(const KernelFlags& flags, Visitor&& visit) {
  WithBool(flags.blendImage, [&](auto blend) {
    WithBool(flags.bright, [&](auto bright) {
      auto withAlpha = [&](auto alpha) {
        WithBool(flags.transparent, [&](auto trans) {
          visit(KernelTag<
                typename Mode::template Kernel<Src, decltype(blend)::value, decltype(bright)::value,
                                               decltype(alpha)::value, decltype(trans)::value>>{});
        });
      };
      // Palettised sources never carry an alpha channel; their kernels ignore the flag.
      if constexpr (Src::kPalettised)
        withAlpha(std::false_type{});
      else
        WithBool(flags.alphaChannel, withAlpha);
    });
  });
}

// The five handlers of one source kind with their entry tests on the blend parameter.
template <class Src, class Visitor>
bool VisitMode(int32_t mode, int32_t param, const KernelFlags& flags, Visitor&& visit) {
  switch (static_cast<uint32_t>(mode)) {
    case 0:
      VisitFlags<Src, CopyMode>(flags, visit);
      return true;
    case 1:
      // Alpha blend at full strength is a copy; at zero it changes nothing.
      if (param == 255) {
        VisitFlags<Src, CopyMode>(flags, visit);
        return true;
      }
      if (param == 0) return false;
      VisitFlags<Src, AlphaBlendMode>(flags, visit);
      return true;
    case 2:
      if (param == 0) return false;
      VisitFlags<Src, AdditiveMode>(flags, visit);
      return true;
    case 3:
      // A palettised source still draws at zero: its subtrahends are 0, but the packed
      // subtract rewrites the low bits of green and red (and clears a fourth byte).
      if (param == 0 && !Src::kPalettised) return false;
      VisitFlags<Src, SubtractiveMode>(flags, visit);
      return true;
    case 4:
      VisitFlags<Src, MultiplyMode>(flags, visit);
      return true;
    default:
      return false;
  }
}

}  // namespace kernel_detail

// Chooses the kernel for a source, blend mode and parameter and inner flags, and calls
// visit(KernelTag<Kernel>{}) once. Returns false, without calling visit, when the
// combination draws nothing (colour type other than 0 and 1, blend mode outside 0..4, or
// an entry test that refuses the parameter).
template <class Visitor>
bool VisitPixelKernel(const MEMIMG& src, int32_t mode, int32_t param, const KernelFlags& flags,
                      Visitor&& visit) {
  using namespace kernel_detail;
  const bool palettised = src.PaletteFlag == 1;
  switch (src.ColorType) {
    case kMemImgRgb565:
      return palettised ? VisitMode<Source16Palette>(mode, param, flags, visit)
                        : VisitMode<Source16Direct>(mode, param, flags, visit);
    case kMemImgXrgb8888:
      return palettised ? VisitMode<Source32Palette>(mode, param, flags, visit)
                        : VisitMode<Source32Direct>(mode, param, flags, visit);
    default:
      return false;
  }
}

}  // namespace zq::soft
