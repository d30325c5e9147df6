// The unscaled blit: refusals and hostile positions, palettes past their count, the
// run-length stream, self-draw, and random draws of every case against the reference model
// (clipping, keys, alpha, blend images, every mode, at every dispatch level).
#include "softrender/draw_memimg.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "platform/os/cpu.h"
#include "softrender/blit_reference.h"

namespace zq::soft::blit_test {
namespace {

constexpr int k16 = gfx::kMemImgRgb565;
constexpr int k32 = gfx::kMemImgXrgb8888;

void FillPattern(TestImage& img, uint32_t seed) {
  for (int y = 0; y < img.img.Height; ++y)
    for (int x = 0; x < img.img.Width; ++x) img.Set(x, y, seed + uint32_t(y * 131 + x * 7));
}

class DrawMemImgTest : public BlitStateTest {
 public:
  void SetUp() override {
    for (int i = 0; i < 256; ++i) table_[i] = uint8_t(255 - i);
    Use(0, 0);
  }
};

TEST_F(DrawMemImgTest, RefusalsAndHostilePositionsLeaveTheDestinationUntouched) {
  TestImage src16(4, 4, k16), src32(4, 4, k32);
  FillPattern(src16, 0x100);
  FillPattern(src32, 0x100);
  TestImage dst16(8, 8, k16), dstPal(8, 8, k16, true), dstAlpha(8, 8, k32, false, true);
  const auto before16 = dst16.bytes, beforePal = dstPal.bytes, beforeAlpha = dstAlpha.bytes;
  DrawMemImg(&dst16.img, &src32.img, 1, 1, 0, nullptr);
  DrawMemImg(&dstPal.img, &src16.img, 1, 1, 0, nullptr);
  DrawMemImg(&dstAlpha.img, &src32.img, 1, 1, 0, nullptr);
  DrawMemImg(nullptr, &src16.img, 0, 0, 0, nullptr);
  DrawMemImg(&dst16.img, nullptr, 0, 0, 0, nullptr);
  for (auto [mode, param] : {std::pair{5, 100}, {0, 300}}) {
    Use(mode, param);
    DrawMemImg(&dst16.img, &src16.img, 1, 1, 0, nullptr);
  }
  Use(0, 0);
  // Positions near the integer limits.
  DrawMemImg(&dst16.img, &src16.img, INT_MAX - 3, 0, 0, nullptr);
  DrawMemImg(&dst16.img, &src16.img, 0, INT_MAX, 0, nullptr);
  DrawMemImg(&dst16.img, &src16.img, INT_MIN, INT_MIN, 0, nullptr);
  // An image not set up, alpha on a 2-byte layout, rows shorter than the width, a negative
  // size, a blend image smaller than the source.
  src16.img.SetupMark = 0;
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  src16.img.SetupMark = gfx::kMemImgSetupMark;
  src16.img.AlphaFlag = 1;
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  src16.img.AlphaFlag = 0;
  src16.img.Pitch = 2;
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  src16.img.Pitch = 8;
  src16.img.Width = -4;
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  src16.img.Width = 4;
  TestImage smallBlend(3, 4, k16, true);
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, &smallBlend.img);
  EXPECT_EQ(dst16.bytes, before16);
  EXPECT_EQ(dstPal.bytes, beforePal);
  EXPECT_EQ(dstAlpha.bytes, beforeAlpha);
  // And the same source does draw once everything is in order.
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  EXPECT_EQ(dst16.Get(3, 3), src16.Get(3, 3));
}

TEST_F(DrawMemImgTest, PaletteEntriesPastTheCountDrawAsZero) {
  for (int ct : {k16, k32}) {
    TestImage src(9, 1, ct, true), dst(9, 1, ct);
    for (int i = 0; i < 256; ++i) src.SetPaletteEntry(i, 0x01010101u * uint32_t(i));
    for (int x = 0; x < 9; ++x) src.Set(x, 0, uint32_t(x));
    src.img.PaletteCount = 6;
    DrawMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
    for (int x = 0; x < 9; ++x) EXPECT_EQ(dst.Get(x, 0), x < 6 ? src.PaletteEntry(x) : 0u) << x;
  }
}

TEST_F(DrawMemImgTest, DamagedStreamStaysInsideRowAndBuffer) {
  TestImage src(5, 3, k32);
  FillPattern(src, 0x10);
  src.BuildRuns();
  std::fill(src.runs.begin(), src.runs.end(), uint8_t(0x7F));  // 64-pixel runs, no row end
  TestImage dst(8, 4, k32);
  DrawMemImg(&dst.img, &src.img, 0, 0, 1, nullptr);
  // Row 0 takes its 5 pixels from the first code and consumes the rest of the buffer, so
  // later rows get nothing.
  for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.Get(x, 0), x < 5 ? src.Get(x, 0) : 0u) << x;
  for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.Get(x, 1), 0u) << x;
}

TEST_F(DrawMemImgTest, SelfDrawReadsTheSourceAsItWas) {
  for (int ct : {k16, k32}) {
    for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {3, 2}, {0, 0}}) {
      TestImage img(12, 9, ct);
      FillPattern(img, 0x5000);
      TestImage ref = img, copy = img;
      Use(dx & 1 ? 0 : 2, 200);
      DrawMemImg(&img.img, &img.img, dx, dy, 0, nullptr);
      RefDraw(ref, copy, dx, dy, 0, nullptr, st_);
      EXPECT_EQ(img.Pixels(), ref.Pixels()) << ct << " " << dx << "," << dy;
    }
    // A view into the same pixels, overlapping the destination rectangle.
    TestImage img(12, 9, ct);
    FillPattern(img, 0x5000);
    TestImage ref = img;
    gfx::MEMIMG view = img.img;
    view.ViewFlag = 1;
    view.Width = 6;
    view.Height = 5;
    view.Pixels = img.At(2, 1);
    Use(0, 0);
    DrawMemImg(&img.img, &view, 3, 2, 0, nullptr);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) ref.Set(3 + x, 2 + y, 0x5000u + (1 + y) * 131 + (2 + x) * 7);
    EXPECT_EQ(img.Pixels(), ref.Pixels()) << ct;
  }
}

// Random draws of every case against the reference model, at every dispatch level.
TEST_F(DrawMemImgTest, RandomDrawsMatchTheReferenceModel) {
  for (auto level :
       {platform::CpuLevel::kAvx2, platform::CpuLevel::kVector16, platform::CpuLevel::kScalar}) {
    platform::LimitCpuLevel(level);
    std::mt19937 rng(20260612);
    auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
    for (int it = 0; it < 4000 && !HasFailure(); ++it) {
      const int ct = pick(2) ? k32 : k16;
      const bool pal = pick(4) == 0;
      const bool alpha = !pal && pick(3) == 0;
      const int w = 1 + pick(pick(4) ? 19 : 80), h = 1 + pick(9);
      TestImage src(w, h, ct, pal, alpha, pick(3));
      const int dw = 1 + pick(w + 20), dh = 1 + pick(20);
      TestImage dst(dw, dh, ct, false, false, pick(3) * 2);
      // Few distinct colours, so keys hit and runs form.
      uint32_t colours[4];
      for (auto& c : colours) c = pal ? uint32_t(pick(8)) : uint32_t(rng());
      for (int i = 0; i < 256; ++i) src.SetPaletteEntry(i, uint32_t(rng()));
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          src.Set(x, y, pick(3) ? colours[pick(4)] : (pal ? rng() & 0xFF : uint32_t(rng())));
          if (alpha) {
            const uint32_t choices[4] = {0, 255, uint32_t(rng() & 0xFF), uint32_t(rng() & 0xFF)};
            src.SetAlpha(x, y, choices[pick(4)]);
            if (ct == k16) src.At(x, y)[3] = uint8_t(rng());  // the spare byte is never read
          }
        }
      src.img.TransColor = pick(5) ? src.Get(pick(w), pick(h)) : uint32_t(rng());
      if (!pal && ct == k16 && pick(2)) src.img.TransColor &= 0xFFFF;
      for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) dst.Set(x, y, uint32_t(rng()));
      TestImage ref = dst;
      const bool buildRuns = pick(2);
      if (buildRuns) src.BuildRuns();
      TestImage blend(w + pick(3), h + pick(2), k16, true);
      for (auto& b : blend.bytes) b = uint8_t(rng());
      const TestImage* bl = pick(3) == 0 ? &blend : nullptr;
      for (auto& t : table_) t = uint8_t(pick(4) == 0 ? (pick(2) ? 0 : 255) : rng());
      const int params[] = {0, 1, 127, 128, 129, 254, 255, 100, 103, int(rng() & 0xFF)};
      const int mode = pick(6) == 0 ? pick(6) : pick(5);
      const int param = params[pick(10)];
      const uint32_t bright =
          pick(2) ? 0xFFFFFFu : (pick(3) ? uint32_t(rng() & 0xFFFFFF) : 0xFFFFFEu);
      platform::RECT area{pick(12) - 2, pick(12) - 2, 0, 0};
      area.right = area.left + pick(dw + 12);
      area.bottom = area.top + pick(30);
      Use(mode, param, area, bright);
      const int x = pick(dw + 10) - 6, y = pick(dh + 10) - 6;
      const int trans = pick(4) == 0 ? 0 : (pick(4) == 0 ? 2 : 1);

      DrawMemImg(&dst.img, &src.img, x, y, trans, bl ? &bl->img : nullptr);
      RefDraw(ref, src, x, y, trans, bl, st_);
      ASSERT_TRUE(dst.PaddingClean() && dst.GuardIntact()) << it;
      EXPECT_EQ(dst.Pixels(), ref.Pixels())
          << "level " << int(level) << " iteration " << it << ": ct " << ct << " pal " << pal
          << " alpha " << alpha << " " << w << "x" << h << " at " << x << "," << y << " mode "
          << mode << " p " << param << " bright " << bright << " trans " << trans << " runs "
          << buildRuns << " blend " << (bl != nullptr);
    }
  }
  platform::LimitCpuLevel(platform::CpuLevel::kAvx2);
}

}  // namespace
}  // namespace zq::soft::blit_test
