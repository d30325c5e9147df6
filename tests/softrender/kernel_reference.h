// The rasterizers' texture kernels (shared by triangles and rotated draws) as a model: which
// texels are skipped, the colour and factors each texel brings, then the blend rules of the
// blit model (blend mode 1 by its difference rule).
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>

#include "graphics/draw_state.h"
#include "softrender/blit_reference.h"
#include "support/test_image.h"

namespace zq::soft::kernel_test {

using zq::test::TestImage;

struct DrawKind {
  bool wide, palette, alpha, trans, blend, bright;
};

// The new destination pixel for one texel over d, or nothing when the pixel is skipped.
inline std::optional<uint32_t> ModelPixel(const DrawKind& k, int mode, int p, TestImage& src,
                                          int tx, int ty, uint32_t d, uint8_t blendByte) {
  const uint8_t* texel = src.At(tx, ty);
  uint32_t raw = 0;
  std::memcpy(&raw, texel, k.palette ? 1 : k.wide ? 4 : 2);
  const int a = k.alpha ? texel[k.wide ? 3 : 2] : 255;
  if (k.trans && !k.alpha && raw == src.img.TransColor) return std::nullopt;
  if (k.trans && k.alpha && a == 0 && mode != 4) return std::nullopt;
  uint32_t colour = raw;
  if (k.palette) {
    colour = 0;
    std::memcpy(&colour, reinterpret_cast<uint8_t*>(src.palette.data()) + raw * (k.wide ? 4 : 2),
                k.wide ? 4 : 2);
  }
  // Subtracting at parameter 0 still runs: a zero source through the subtraction.
  if (mode == 3 && p == 0) return k.wide ? test::RefSub32(0, d) : test::RefSub16(0, d);
  // The alpha factor applies unless an opaque texel meets the transparent flag.
  const bool af = k.alpha && !(k.trans && a == 255);
  const blit_test::RefPixelCase c{!k.wide, mode, p, gfx::g_DrawState.Bright, k.alpha, true};
  return blit_test::RefBlend(c, colour, d, k.blend ? gfx::BlendGraphTable[blendByte] : -1,
                             af ? a : -1);
}

// Whether a mode and parameter draw at all, for a source kind.
inline bool Draws(int mode, int p, bool palette) {
  if (mode < 0 || mode > 4) return false;
  if (p != 0 || mode == 0) return true;
  return mode == 4 || (mode == 3 && palette);
}

}  // namespace zq::soft::kernel_test
