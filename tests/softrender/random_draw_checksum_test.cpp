// Random draws of every software renderer (unscaled and stretched blits, boxes, lines,
// triangles, rotated draws) in every blend mode, both pixel formats and every source kind,
// folded into one checksum at each CPU dispatch level. The levels must agree: the scalar
// level runs the portable code, the others the 16-byte and AVX2 loops. (Whether the pixels
// are right is the model tests' business; this one shows that every path gives the same.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "platform/os/cpu.h"
#include "softrender/boxes.h"
#include "softrender/draw_memimg.h"
#include "softrender/draw_memimg_stretched.h"
#include "softrender/lines.h"
#include "softrender/rotated.h"
#include "softrender/triangle.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using platform::CpuLevel;
using platform::RECT;
using test::DrawStateScope;
using test::TestImage;

uint64_t Fold(uint64_t h, const TestImage& img) {
  for (uint8_t b : img.bytes) h = (h ^ b) * 0x100000001B3ull;
  return h;
}

void FillRandom(TestImage& img, std::mt19937& rng) {
  for (auto& b : img.bytes) b = uint8_t(rng());
  std::memset(img.bytes.data() + img.bytes.size() - TestImage::kGuard, TestImage::kGuardByte,
              TestImage::kGuard);
  for (auto& e : img.palette) e = uint32_t(rng());
}

struct Counts {
  uint64_t checksum = 0xCBF29CE484222325ull;
  int changed = 0;  // draws that changed the destination
};

Counts RandomDraws(uint32_t seed, int rounds) {
  std::mt19937 rng(seed);
  auto pick = [&rng](int n) { return int(rng() % uint32_t(n)); };
  Counts out;
  for (int round = 0; round < rounds; ++round) {
    const int type = pick(2) ? gfx::kMemImgRgb565 : gfx::kMemImgXrgb8888;
    const int dw = 1 + pick(90), dh = 1 + pick(12);  // widths up to 90
    TestImage dst(dw, dh, type, false, false, pick(2) * 12);
    FillRandom(dst, rng);
    const int kind = pick(3);  // direct, palettised, alpha channel
    const int sw = 1 + pick(80), sh = 1 + pick(10);
    TestImage src(sw, sh, type, kind == 1, kind == 2);
    FillRandom(src, rng);
    src.img.TransColor = src.Get(pick(sw), pick(sh));
    TestImage blend(sw, sh, gfx::kMemImgRgb565, true);
    FillRandom(blend, rng);
    const TestImage* blendImage = pick(3) == 0 ? &blend : nullptr;

    static constexpr int kParams[] = {0, 1, 64, 127, 128, 129, 200, 254, 255};
    const int mode = pick(5);
    const int param = pick(2) ? kParams[pick(9)] : pick(256);
    const uint32_t bright = pick(2) ? 0xFFFFFFu : uint32_t(rng()) & 0xFFFFFFu;
    const RECT area =
        pick(3) ? RECT{0, 0, dw, dh} : RECT{pick(dw), pick(dh), 1 + pick(dw + 4), 1 + pick(dh + 4)};
    DrawStateScope state(mode, param, bright, area);
    for (auto& t : gfx::BlendGraphTable) t = uint8_t(rng());
    const int trans = pick(2);
    const uint32_t colour = uint32_t(rng());
    const TestImage before = dst;

    switch (round % 6) {
      case 0:
        if (trans && pick(2)) src.BuildRuns();
        DrawMemImg(&dst.img, &src.img, pick(dw + 8) - 6, pick(dh + 4) - 2, trans,
                   blendImage ? &blendImage->img : nullptr);
        break;
      case 1: {
        // Any corners: reversed ones mirror their axis.
        RECT r{pick(dw + 20) - 10, pick(dh + 8) - 4, pick(dw + 20) - 10, pick(dh + 8) - 4};
        if (pick(3) == 0) r.left = r.right + sw;  // mirrored at the same size
        DrawMemImgStretched(&dst.img, &src.img, r, trans, blendImage ? &blendImage->img : nullptr);
        break;
      }
      case 2: {
        const RECT r{pick(dw + 4) - 2, pick(dh + 4) - 2, pick(dw + 4), pick(dh + 4)};
        FillMemImgBox(&dst.img, pick(4) ? &r : nullptr, colour);
        break;
      }
      case 3:
        DrawMemImgLine(&dst.img, pick(dw + 10) - 5, pick(dh + 6) - 3, pick(dw + 10) - 5,
                       pick(dh + 6) - 3, colour);
        break;
      case 4: {
        SoftTriangleVertex v[3];
        for (auto& p : v) p = {pick(dw + 10) - 5, pick(dh + 6) - 3, pick(sw + 1), pick(sh + 1)};
        if (pick(2)) {  // texels 1:1 along the rows: the span loops
          const int ou = pick(sw + 1) - pick(dw + 1), ov = pick(sh + 1) - pick(dh + 1);
          for (auto& p : v) p.u = p.x + ou, p.v = p.y + ov;
        }
        DrawMemImgTriangle(&dst.img, pick(3) ? &src.img : nullptr, v, trans,
                           blendImage ? &blendImage->img : nullptr, colour);
        break;
      }
      default:
        DrawMemImgRotated(&dst.img, &src.img, pick(dw + 10) - 5, pick(dh + 6) - 3,
                          float(rng() % 6283) / 1000.0f, 0.25f + float(pick(12)) / 4.0f, trans,
                          pick(2), blendImage ? &blendImage->img : nullptr);
        break;
    }
    EXPECT_TRUE(dst.GuardIntact()) << "round " << round;
    if (dst.bytes != before.bytes) ++out.changed;
    out.checksum = Fold(out.checksum, dst);
  }
  return out;
}

TEST(RandomDrawChecksum, EveryDispatchLevelGivesTheSamePixels) {
  constexpr int kRounds = 20000;
  const Counts scalar = [] {
    platform::LimitCpuLevel(CpuLevel::kScalar);
    return RandomDraws(29, kRounds);
  }();
  // Most draws do something, so the checksum sees the renderers' pixels.
  EXPECT_GT(scalar.changed, kRounds / 2);
  for (CpuLevel level : {CpuLevel::kVector16, CpuLevel::kAvx2}) {
    platform::LimitCpuLevel(level);
    const Counts c = RandomDraws(29, kRounds);
    EXPECT_EQ(c.checksum, scalar.checksum) << "level " << int(platform::CpuDispatchLevel());
    EXPECT_EQ(c.changed, scalar.changed);
  }
  platform::LimitCpuLevel(CpuLevel::kAvx2);
}

}  // namespace
}  // namespace zq::soft
