// The triangle and the rotated drawing share one pixel kernel matrix, so a pixel that both
// draw from the same texel must come out the same, in every blend mode, for every source
// kind and inner flag. Where each draw takes its texels is found first by copy-mode probes
// of a source whose texels hold their own coordinates; the comparison then covers the
// pixels on which the two agree (they must be many, or the test proves nothing).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "graphics/draw_state.h"
#include "softrender/rotated.h"
#include "softrender/triangle.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using zq::test::ResetDrawState;
using zq::test::TestImage;

constexpr int kW = 64, kH = 48;              // destination
constexpr int kSrcW = 24, kSrcH = 20;        // source
constexpr uint32_t kUntouched = 0xFFFFFFFF;  // no probe texel has this value

// One draw of a source onto a destination, with the transparent flag and blend image.
using Draw = std::function<void(TestImage& dest, TestImage& src, int trans, TestImage* blend)>;

// The texel index (y * kSrcW + x) each destination pixel received, or -1.
std::vector<int> ProbeTexels(const Draw& draw) {
  ResetDrawState(kW, kH);
  TestImage probe(kSrcW, kSrcH, 1, 0, 0, zq::test::kRowPad);
  for (int y = 0; y < kSrcH; ++y)
    for (int x = 0; x < kSrcW; ++x) probe.Set(x, y, uint32_t(y * kSrcW + x));
  TestImage d(kW, kH, 1, 0, 0, zq::test::kRowPad);
  d.Fill(kUntouched);
  draw(d, probe, 0, nullptr);
  std::vector<int> map;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) map.push_back(d.Get(x, y) == kUntouched ? -1 : int(d.Get(x, y)));
  return map;
}

struct Geometry {
  const char* name;
  Draw triangle;  // a flat-topped triangle: every pixel is drawn at most once
  Draw rotated;
};

// The source drawn at (cx, cy), scale `scale`, angle 0; the triangle maps the same texels
// onto its upper-left half.
Geometry Upright(const char* name, int cx, int cy, int scale) {
  const int x0 = cx - kSrcW / 2 * scale, y0 = cy - kSrcH / 2 * scale;
  Geometry g;
  g.name = name;
  g.triangle = [=](TestImage& d, TestImage& s, int trans, TestImage* b) {
    const SoftTriangleVertex v[3] = {
        {x0, y0, 0, 0}, {x0 + kSrcW * scale, y0, kSrcW, 0}, {x0, y0 + kSrcH * scale, 0, kSrcH}};
    DrawMemImgTriangle(&d.img, &s.img, v, trans, b ? &b->img : nullptr, 0);
  };
  g.rotated = [=](TestImage& d, TestImage& s, int trans, TestImage* b) {
    DrawMemImgRotated(&d.img, &s.img, cx, cy, 0.0f, float(scale), trans, 0, b ? &b->img : nullptr);
  };
  return g;
}

class RotatedTriangleParityTest : public ::testing::Test {
 protected:
  std::mt19937 rng{5105};
  uint32_t Rand() { return uint32_t(rng()); }
  int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
};

TEST_F(RotatedTriangleParityTest, SameTexelSamePixelInEveryMode) {
  for (const Geometry& g : {Upright("scale 1", 30, 22, 1), Upright("scale 2", 31, 23, 2)}) {
    const std::vector<int> tMap = ProbeTexels(g.triangle), rMap = ProbeTexels(g.rotated);
    int shared = 0, drawn = 0;
    for (size_t i = 0; i < tMap.size(); ++i) {
      drawn += tMap[i] >= 0;
      shared += tMap[i] >= 0 && tMap[i] == rMap[i];
    }
    // The probes must agree on nearly every pixel of the triangle, or nothing is shown.
    ASSERT_GT(drawn, 200) << g.name;
    ASSERT_GE(shared * 10, drawn * 9) << g.name;

    for (int mode = 0; mode <= 4; ++mode) {
      for (int kind = 0; kind < 4; ++kind) {
        for (int flags = 0; flags < 16; ++flags) {
          const bool wide = kind & 1, palette = kind & 2;
          const bool blend = flags & 1, bright = flags & 2, alpha = flags & 4;
          const int trans = (flags >> 3) & 1;
          if (palette && alpha) continue;
          ResetDrawState(kW, kH);
          gfx::g_DrawState.BlendMode = mode;
          gfx::g_DrawState.BlendParam = std::array{0, 255, Rand(1, 254)}[Rand(0, 2)];
          gfx::g_DrawState.Bright = bright ? Rand() & 0xFFFFFE : 0xFFFFFF;
          for (int i = 0; i < 256; ++i) gfx::BlendGraphTable[i] = uint8_t(Rand());

          TestImage src(kSrcW, kSrcH, wide, palette, alpha, zq::test::kRowPad);
          for (int y = 0; y < kSrcH; ++y)
            for (int x = 0; x < kSrcW; ++x) {
              uint32_t v = Rand();
              if (alpha)
                v = (v & ~(wide ? 0xFF000000u : 0xFF0000u)) |
                    uint32_t(std::array{0u, 255u, Rand() & 0xFF}[Rand(0, 2)]) << (wide ? 24 : 16);
              src.Set(x, y, v);
            }
          for (auto& e : src.palette) e = Rand();
          src.img.TransColor = src.Get(Rand(0, kSrcW - 1), Rand(0, kSrcH - 1));
          TestImage blendImg(kSrcW, kSrcH, 2, 0, 0, zq::test::kRowPad);
          for (int y = 0; y < kSrcH; ++y)
            for (int x = 0; x < kSrcW; ++x) blendImg.Set(x, y, Rand() & 0xFF);

          TestImage a(kW, kH, wide, 0, 0, zq::test::kRowPad), b(kW, kH, wide, 0, 0, zq::test::kRowPad);
          for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
              const uint32_t v = Rand();
              a.Set(x, y, v);
              b.Set(x, y, v);
            }
          g.triangle(a, src, trans, blend ? &blendImg : nullptr);
          g.rotated(b, src, trans, blend ? &blendImg : nullptr);

          for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
              const size_t i = size_t(y) * kW + size_t(x);
              if (tMap[i] >= 0 && tMap[i] == rMap[i]) {
                ASSERT_EQ(a.Get(x, y), b.Get(x, y))
                    << g.name << " mode " << mode << " kind " << kind << " flags " << flags
                    << " at " << x << ", " << y;
              }
            }
          ASSERT_TRUE(a.PaddingClean() && b.PaddingClean());
        }
      }
    }
  }
}

}  // namespace
}  // namespace zq::soft
