// Random triangles against independent models written from the rasterizer's rules: rows
// and spans in closed form, textured ones in every blend mode (and modes outside 0..4), for
// every source kind and every combination of blend image, bright, alpha channel and
// transparent flag, through the per-pixel kernel model; flat-colour ones through the flat
// model.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>

#include "graphics/draw_state.h"
#include "softrender/kernel_reference.h"
#include "softrender/triangle.h"
#include "softrender/triangle_geometry_model.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using tri_test::BuildModel;
using tri_test::ForEachTexel;
using namespace kernel_test;
using zq::test::ResetDrawState;
using zq::test::TestImage;

class BlendKernelModelTest : public ::testing::Test {
 protected:
  std::mt19937 rng{61106};
  int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

  // One random triangle of the given kind and mode, checked against the model.
  void CheckOne(const DrawKind& k0, int mode, int iter) {
    DrawKind k = k0;
    ResetDrawState(48, 40);
    const int al = Rand(-5, 20), at = Rand(-5, 20);
    gfx::g_DrawState.DrawArea = {al, at, Rand(al, 53), Rand(at, 45)};
    gfx::g_DrawState.Bright =
        k.bright ? std::array{0u, 0x80FFFFu, uint32_t(rng())}[Rand(0, 2)] : 0xFF000000u | 0xFFFFFF;
    if ((gfx::g_DrawState.Bright & 0xFFFFFF) == 0xFFFFFF) k.bright = false;
    const int p = std::array{0, 255, Rand(1, 4), Rand(0, 255), Rand(0, 255)}[Rand(0, 4)];
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = p;
    for (int i = 0; i < 256; ++i) gfx::BlendGraphTable[i] = uint8_t(Rand(0, 255));
    gfx::BlendGraphTable[Rand(0, 255)] = 0;
    gfx::BlendGraphTable[Rand(0, 255)] = 255;

    auto [src, blend, got, want, v] = tri_test::MakeRandomScene(rng, k.wide, k.palette, k.alpha);
    const int sw = src.img.Width, sh = src.img.Height;
    DrawMemImgTriangle(&got.img, &src.img, v, k.trans, k.blend ? &blend.img : nullptr, 0);

    if (Draws(mode, p, k.palette)) {
      const auto& area = gfx::g_DrawState.DrawArea;
      ForEachTexel(
          BuildModel(v), std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, 48),
          std::min(area.bottom, 40), sw, sh, [&](int x, int y, int tx, int ty) {
            const auto out =
                ModelPixel(k, mode, p, src, tx, ty, want.Get(x, y), uint8_t(blend.Get(tx, ty)));
            if (out) want.Set(x, y, *out);
          });
    }
    ASSERT_EQ(got.bytes, want.bytes)
        << "mode " << mode << " p " << p << " wide " << k.wide << " palette " << k.palette
        << " alpha " << k.alpha << " trans " << k.trans << " blend " << k.blend << " bright "
        << k.bright << " iteration " << iter;
  }
};

TEST_F(BlendKernelModelTest, EveryModeKindAndFlagMatchesTheModel) {
  for (int mode = -1; mode <= 5; ++mode)
    for (int kind = 0; kind < 4; ++kind)
      for (int flags = 0; flags < 16; ++flags) {
        DrawKind k{};
        k.wide = kind & 1;
        k.palette = kind & 2;
        k.blend = flags & 1;
        k.bright = flags & 2;
        k.alpha = flags & 4;
        k.trans = flags & 8;
        if (k.palette && k.alpha) continue;  // palettised sources carry no alpha channel
        for (int iter = 0; iter < 25; ++iter) {
          CheckOne(k, mode, iter);
          if (HasFatalFailure()) return;
        }
      }
}

// Flat colour: the colour scaled by bright (x * bright / 255), then the flat blend rules.
TEST(TriangleModel, FlatModesMatchTheModel) {
  std::mt19937 rng{20261206};
  auto rand = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int iter = 0; iter < 3000; ++iter) {
    const bool wide = rand(0, 1);
    zq::test::ResetDrawState(48, 40);
    const int mode = rand(-1, 5);
    const int p = std::array{0, 255, rand(0, 255)}[rand(0, 2)];
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = p;
    const uint32_t br = rand(0, 1) ? 0xFFFFFFu : uint32_t(rng());
    gfx::g_DrawState.Bright = br;
    const uint32_t colour = uint32_t(rng());  // a 16-bit draw ignores the upper bits
    SoftTriangleVertex v[3];
    for (auto& q : v) q = {rand(-20, 60), rand(-20, 55), rand(-100, 100), rand(-100, 100)};
    TestImage got(48, 40, wide, 0, 0, zq::test::kRowPad);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 48; ++x) got.Set(x, y, uint32_t(rng()));
    TestImage want = got;
    DrawMemImgTriangle(&got.img, nullptr, v, rand(0, 1), nullptr, colour);

    // Bright scales the colour alone (its fourth byte kept), as a copy onto itself would.
    const uint32_t s = blit_test::RefBlend({!wide, 0, 0, br}, colour, colour, -1, -1);
    for (const tri_test::Row& r : tri_test::BuildModel(v).rows) {
      if (r.row < 0 || r.row >= 40) continue;
      for (int64_t x = std::max<int64_t>(r.xl, 0); x <= r.xr && x < 48; ++x)
        want.Set(int(x), int(r.row),
                 test::RefFlat(!wide, mode, p, s, want.Get(int(x), int(r.row))));
    }
    ASSERT_EQ(got.bytes, want.bytes) << "iteration " << iter << " mode " << mode << " p " << p;
  }
}

}  // namespace
}  // namespace zq::soft
