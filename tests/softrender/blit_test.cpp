// The unscaled and the stretched blit: refusals and hostile inputs, palettes past their
// count, the run-length stream, self-draw, sampling worked out by hand, the hand-over of
// same-size draws, and random draws of every case against the reference models (clipping,
// mirrors, keys, alpha, blend images, every mode; the unscaled one at every dispatch level).
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <random>
#include <vector>

#include "base/memory.h"
#include "platform/os/cpu.h"
#include "softrender/blit_reference.h"
#include "softrender/draw_memimg.h"
#include "softrender/draw_memimg_stretched.h"

namespace zq::soft::blit_test {
namespace {

using platform::RECT;
constexpr int k16 = gfx::kMemImgRgb565;
constexpr int k32 = gfx::kMemImgXrgb8888;

void FillPattern(TestImage& img, uint32_t seed) {
  for (int y = 0; y < img.img.Height; ++y)
    for (int x = 0; x < img.img.Width; ++x) img.Set(x, y, seed + uint32_t(y * 131 + x * 7));
}

// Source pixel values that name their position.
uint32_t Named(int x, int y) {
  return 0x1000u + uint32_t(y) * 0x100u + uint32_t(x);
}

void FillNamed(TestImage& img) {
  for (int y = 0; y < img.img.Height; ++y)
    for (int x = 0; x < img.img.Width; ++x) img.Set(x, y, Named(x, y));
}

// The model: destination pixel j of the whole rectangle (from its left or top edge) shows
// source pixel j * 65536 / ratio, counted from the far edge on a mirrored axis; each pixel
// then follows the blend rules, blend mode 1 through its difference rule.
void RefStretch(TestImage& dst, const TestImage& src, RECT rc, int trans, const TestImage* blend,
                const RefState& st) {
  const gfx::MEMIMG& s = src.img;
  const bool mx = rc.right < rc.left, my = rc.bottom < rc.top;
  const int64_t l = std::min(rc.left, rc.right), r = std::max(rc.left, rc.right);
  const int64_t t = std::min(rc.top, rc.bottom), b = std::max(rc.top, rc.bottom);
  const int64_t rx = (r - l) * 65536 / s.Width, ry = (b - t) * 65536 / s.Height;
  // runPath: blend mode 1 by its difference rule.
  const RefPixelCase k{
      s.ColorType == k16, st.mode, st.param, st.bright, s.AlphaFlag && !s.PaletteFlag, true};
  const int64_t x0 = std::max<int64_t>({l, st.area.left, 0});
  const int64_t x1 = std::min<int64_t>({r, st.area.right, dst.img.Width});
  const int64_t y0 = std::max<int64_t>({t, st.area.top, 0});
  const int64_t y1 = std::min<int64_t>({b, st.area.bottom, dst.img.Height});
  for (int64_t y = y0; y < y1; ++y)
    for (int64_t x = x0; x < x1; ++x) {
      int sx = int((x - l) * 65536 / rx), sy = int((y - t) * 65536 / ry);
      if (mx) sx = s.Width - 1 - sx;
      if (my) sy = s.Height - 1 - sy;
      bool withAlpha;
      if (RefSelect(src, sx, sy, trans, &withAlpha))
        RefPut(dst, int(x), int(y), src, sx, sy, withAlpha, blend, st, k);
    }
}

class BlitTest : public BlitStateTest {
 public:
  void SetUp() override {
    for (int i = 0; i < 256; ++i) table_[i] = uint8_t(255 - i);
    Use(0, 0);
  }
  // Draws with the blit and with the model onto two copies of the same destination.
  void ExpectLikeModel(TestImage& dst, const TestImage& src, RECT rc, int trans,
                       const TestImage* blend, int what) {
    TestImage model = dst;
    DrawMemImgStretched(&dst.img, &src.img, rc, trans, blend ? &blend->img : nullptr);
    RefStretch(model, src, rc, trans, blend, st_);
    ASSERT_TRUE(dst.PaddingClean());
    ASSERT_EQ(dst.Pixels(), model.Pixels())
        << "draw " << what << ": rect " << rc.left << "," << rc.top << "," << rc.right << ","
        << rc.bottom << " mode " << st_.mode << " p " << st_.param << " trans " << trans;
  }
};

TEST_F(BlitTest, RefusalsAndHostileInputsLeaveTheDestinationUntouched) {
  TestImage src16(4, 4, k16), src32(4, 4, k32);
  FillPattern(src16, 0x100);
  FillPattern(src32, 0x100);
  TestImage dst16(8, 8, k16), dstPal(8, 8, k16, true), dstAlpha(8, 8, k32, false, true);
  const auto before16 = dst16.bytes, beforePal = dstPal.bytes, beforeAlpha = dstAlpha.bytes;
  const RECT rc{0, 0, 7, 6};
  auto both = [&](TestImage* dst, const gfx::MEMIMG* src, const TestImage* blend = nullptr) {
    DrawMemImg(dst ? &dst->img : nullptr, src, 1, 1, 0, blend ? &blend->img : nullptr);
    DrawMemImgStretched(dst ? &dst->img : nullptr, src, rc, 0, blend ? &blend->img : nullptr);
  };
  both(&dst16, &src32.img);
  both(&dstPal, &src16.img);
  both(&dstAlpha, &src32.img);
  both(nullptr, &src16.img);
  both(&dst16, nullptr);
  for (auto [mode, param] : {std::pair{5, 100}, {0, 300}, {1, 0}, {2, 0}, {3, 0}}) {
    Use(mode, param);
    both(&dst16, &src16.img);
  }
  Use(0, 0);
  // Positions near the integer limits.
  DrawMemImg(&dst16.img, &src16.img, INT_MAX - 3, 0, 0, nullptr);
  DrawMemImg(&dst16.img, &src16.img, 0, INT_MAX, 0, nullptr);
  DrawMemImg(&dst16.img, &src16.img, INT_MIN, INT_MIN, 0, nullptr);
  // An image not set up, alpha on a 2-byte layout, rows shorter than the width (unscaled), a
  // negative size, a blend image smaller than the source, sources the counters cannot step,
  // rectangles of no width or height.
  src16.img.SetupMark = 0;
  both(&dst16, &src16.img);
  src16.img.SetupMark = gfx::kMemImgSetupMark;
  src16.img.AlphaFlag = 1;
  both(&dst16, &src16.img);
  src16.img.AlphaFlag = 0;
  src16.img.Pitch = 2;  // (the stretched blit reads only the pixels it samples)
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  src16.img.Pitch = 8;
  src16.img.Width = -4;
  both(&dst16, &src16.img);
  src16.img.Width = 4;
  TestImage small(3, 4, k16, true), wide(65536, 1, k16), empty(0, 3, k16);
  wide.Fill(0x1234);
  both(&dst16, &src16.img, &small);
  DrawMemImgStretched(&dst16.img, &wide.img, rc, 0, nullptr);
  DrawMemImgStretched(&dst16.img, &empty.img, rc, 0, nullptr);
  DrawMemImgStretched(&dst16.img, &src16.img, RECT{3, 3, 3, 9}, 0, nullptr);
  DrawMemImgStretched(&dst16.img, &src16.img, RECT{3, 3, 9, 3}, 0, nullptr);
  EXPECT_EQ(dst16.bytes, before16);
  EXPECT_EQ(dstPal.bytes, beforePal);
  EXPECT_EQ(dstAlpha.bytes, beforeAlpha);
  // And the same source does draw once everything is in order.
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  EXPECT_EQ(dst16.Get(3, 3), src16.Get(3, 3));
}

TEST_F(BlitTest, UnscaledPaletteEntriesPastTheCountDrawAsZero) {
  for (int ct : {k16, k32}) {
    TestImage src(9, 1, ct, true), dst(9, 1, ct);
    for (int i = 0; i < 256; ++i) src.SetPaletteEntry(i, 0x01010101u * uint32_t(i));
    for (int x = 0; x < 9; ++x) src.Set(x, 0, uint32_t(x));
    src.img.PaletteCount = 6;
    DrawMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
    for (int x = 0; x < 9; ++x) EXPECT_EQ(dst.Get(x, 0), x < 6 ? src.PaletteEntry(x) : 0u) << x;
  }
}

TEST_F(BlitTest, UnscaledDamagedStreamStaysInsideRowAndBuffer) {
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

TEST_F(BlitTest, UnscaledSelfDrawReadsTheSourceAsItWas) {
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

TEST_F(BlitTest, UnscaledSelfDrawWithABlendImageInTheSamePixels) {
  // A source view above the destination rectangle and a blend image over its lower rows (the
  // two read in opposite orders), or a blend image whose pitch is not the destination's: both
  // are read as they were before the draw.
  std::mt19937 rng(37);
  for (int type : {k16, k32})
    for (const auto& [srcY, blendY, blendPitch] :
         {std::array{0, 5, 0}, {6, 1, 0}, {0, 4, 7}, {0, 0, 0}}) {
      TestImage screen(40, 12, type);
      for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 40; ++x) screen.Set(x, y, uint32_t(rng()));
      gfx::MEMIMG sprite = screen.img;  // 6 x 4 from the left edge
      sprite.ViewFlag = 1;
      sprite.Width = 6;
      sprite.Height = 4;
      sprite.Pixels = screen.At(0, srcY);
      gfx::MEMIMG blend = sprite;  // one byte a pixel, under the columns the draw writes
      blend.Pixels = screen.At(10, blendY);
      if (blendPitch != 0) blend.Pitch = blendPitch;
      TestImage spriteWas(6, 4, type), blendWas(6, 4, k16, true);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
          spriteWas.Set(x, y, screen.Get(x, srcY + y));
          blendWas.At(x, y)[0] = blend.Pixels[y * blend.Pitch + x];
        }
      TestImage model = screen;
      Use(1, 200, RECT{0, 0, 40, 12});
      DrawMemImg(&screen.img, &sprite, 10, 3, 0, &blend);
      RefDraw(model, spriteWas, 10, 3, 0, &blendWas, st_);
      EXPECT_EQ(screen.Pixels(), model.Pixels()) << type << ": " << srcY << "," << blendY;
    }
}

TEST_F(BlitTest, UnscaledSelfDrawThroughTheStreamReadsTheSourceAsItWas) {
  // A keyed view of the image, with its run-length stream, drawn unclipped onto the image:
  // downwards, upwards over more than one block of 1024 rows, and one pixel aside; blend mode 1
  // at 128 has a run rule of its own.
  for (const auto& c : {std::array{1, 0, 2, 300}, {1, 400, 0, 100}, {1, 0, 2, 0}, {2, 5, 1, 5}})
    for (const int mode : {0, 1}) {
      TestImage img(9, 1800, k16);
      FillPattern(img, 0x4000);
      for (int y = 0; y < 1800; y += 3) img.Set(y / 3 % 9, y, 0x0421);  // keyed pixels
      TestImage part(6, 1300, k16);  // the view's pixels as they were, with their stream
      for (int y = 0; y < 1300; ++y)
        for (int x = 0; x < 6; ++x) part.Set(x, y, img.Get(c[0] + x, c[1] + y));
      part.img.TransColor = 0x0421;
      part.BuildRuns();
      gfx::MEMIMG view = part.img;  // its size, key and stream over the image's own pixels
      view.Pixels = img.At(c[0], c[1]);
      view.Pitch = img.img.Pitch;
      TestImage ref = img;
      Use(mode, 128, RECT{0, 0, 9, 1800});
      DrawMemImg(&img.img, &view, c[2], c[3], 1, nullptr);
      RefDraw(ref, part, c[2], c[3], 1, nullptr, st_);
      EXPECT_EQ(img.Pixels(), ref.Pixels()) << c[1] << " mode " << mode;
    }
}

// Random draws of every case against the reference model, at every dispatch level.
TEST_F(BlitTest, UnscaledRandomDrawsMatchTheReferenceModel) {
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
      // A third of the draws lie wholly inside, where a current stream is read.
      const bool inside = pick(3) == 0;
      const int dw = inside ? w + pick(20) : 1 + pick(w + 20),
                dh = inside ? h + pick(9) : 1 + pick(20);
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
      if (inside) area = {0, 0, dw, dh};
      Use(mode, param, area, bright);
      const int x = inside ? pick(dw - w + 1) : pick(dw + 10) - 6;
      const int y = inside ? pick(dh - h + 1) : pick(dh + 10) - 6;
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

// Whole-width draws, where rows without padding in every image follow one another as one long
// row (a long one first reaches the vector stores' boundary one pixel at a time): padding in any
// one image (source, destination or blend image) keeps the rows apart.
TEST_F(BlitTest, UnscaledWholeWidthDrawsMatchTheReferenceModel) {
  std::mt19937 rng(20261207);
  for (int it = 0; it < 600 && !HasFailure(); ++it) {
    const int ct = it % 2 ? k32 : k16;
    const bool pal = it % 5 == 0, alpha = !pal && it % 3 == 0;
    const int w = 1 + int(rng() % (it % 4 ? 40 : 400)), h = 2 + int(rng() % 6);
    auto pad = [&] { return rng() % 3 ? 0 : 4; };
    TestImage src(w, h, ct, pal, alpha, pad()), dst(w, h + 2, ct, false, false, pad());
    TestImage blend(w, h, k16, true, false, pad());
    for (auto* image : {&src, &dst})
      for (int y = 0; y < image->img.Height; ++y)
        for (int x = 0; x < w; ++x) image->Set(x, y, uint32_t(rng()));
    for (int i = 0; i < 256; ++i) src.SetPaletteEntry(i, uint32_t(rng()));
    for (int y = 0; alpha && y < h; ++y)
      for (int x = 0; x < w; ++x) src.SetAlpha(x, y, rng() % 2 ? 255 : rng() & 0xFF);
    for (auto& b : blend.bytes) b = uint8_t(rng());
    for (auto& t : table_) t = uint8_t(rng());
    const TestImage* bl = rng() % 2 ? &blend : nullptr;
    TestImage ref = dst;
    Use(int(rng() % 5), 200, RECT{0, 0, w, h + 2});
    DrawMemImg(&dst.img, &src.img, 0, 1, 0, bl ? &bl->img : nullptr);
    RefDraw(ref, src, 0, 1, 0, bl, st_);
    ASSERT_TRUE(dst.PaddingClean() && dst.GuardIntact()) << it;
    EXPECT_EQ(dst.Pixels(), ref.Pixels()) << "iteration " << it;
  }
}

// ---------------------------------------------------------------------------------------
// The stretched blit

// Expects dst to show src through the given source columns and rows from (x0, y0), and 0
// everywhere else.
void ExpectSampled(const TestImage& dst, const TestImage& src, int x0, int y0,
                   const std::vector<int>& cols, const std::vector<int>& rows) {
  for (int y = 0; y < dst.img.Height; ++y)
    for (int x = 0; x < dst.img.Width; ++x) {
      const int i = x - x0, j = y - y0;
      const bool in = i >= 0 && i < int(cols.size()) && j >= 0 && j < int(rows.size());
      ASSERT_EQ(dst.Get(x, y), in ? src.Get(cols[size_t(i)], rows[size_t(j)]) : 0u)
          << x << "," << y;
    }
}

TEST_F(BlitTest, StretchedSamplingWorkedByHand) {
  // 3 x 2 onto 7 x 5: ratioX = 458752 / 3 = 152917, so columns j * 65536 / 152917 =
  // 0 0 0 1 1 2 2; ratioY = 163840, rows 0 0 0 1 1. 6 x 4: ratios 131072, columns
  // 0 0 1 1 2 2, rows 0 0 1 1. 2 x 1: ratioX = 43690 gives columns 0 1; ratioY = 32768 row 0.
  struct Size {
    int w, h;
    std::vector<int> cols, rows;
  };
  const Size sizes[] = {{7, 5, {0, 0, 0, 1, 1, 2, 2}, {0, 0, 0, 1, 1}},
                        {6, 4, {0, 0, 1, 1, 2, 2}, {0, 0, 1, 1}},
                        {2, 1, {0, 1}, {0}}};
  for (int type : {k16, k32}) {
    TestImage src(3, 2, type);
    FillNamed(src);
    for (const Size& s : sizes) {
      for (int mode : {0, 2}) {  // the plain copy leaf and a general one (add at 255 onto 0)
        Use(mode, 255);
        TestImage dst(10, 8, type);
        DrawMemImgStretched(&dst.img, &src.img, RECT{2, 1, 2 + s.w, 1 + s.h}, 0, nullptr);
        SCOPED_TRACE(testing::Message() << type << " " << s.w << "x" << s.h << " mode " << mode);
        ExpectSampled(dst, src, 2, 1, s.cols, s.rows);
      }
    }
  }
}

TEST_F(BlitTest, StretchedHugeRectanglesSampleWithoutOverflow) {
  // Extents near 2^32 only keep the rule: 64-bit ratios and cuts.
  TestImage src(3, 2, k32);
  FillNamed(src);
  TestImage dst(16, 8, k32);
  for (const RECT& rc :
       {RECT{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, RECT{INT32_MAX, 4, INT32_MIN, 2},
        RECT{-70000, -40000, 70000, 40000}, RECT{5, 3, 6, 4}}) {
    ExpectLikeModel(dst, src, rc, 0, nullptr, 0);
  }
}

TEST_F(BlitTest, StretchedSameSizeUnmirroredIsTheUnscaledBlit) {
  // 16-bit blend mode 1 at 128: the unscaled blit averages (blue 31 over 1 gives 15), the
  // stretched leaves use the difference rule (1 + 128 * 30 / 255 = 16).
  TestImage src(3, 2, k16), same(3, 2, k16);
  src.Fill(0x001F);
  same.Fill(0x0001);
  TestImage mirrored = same;
  Use(1, 128);
  DrawMemImgStretched(&same.img, &src.img, RECT{0, 0, 3, 2}, 0, nullptr);
  DrawMemImgStretched(&mirrored.img, &src.img, RECT{3, 0, 0, 2}, 0, nullptr);
  EXPECT_EQ(same.Get(1, 1), 0x000Fu);
  EXPECT_EQ(mirrored.Get(1, 1), 0x0010u);

  // The hand-over keeps the unscaled blit's run-length path: a stream that disagrees with
  // the pixels decides what is drawn.
  Use(0, 0);
  TestImage sprite(3, 1, k32);
  FillNamed(sprite);
  sprite.BuildRuns();
  sprite.runs[0] = 0x02;  // three pixels not drawn
  TestImage dst(4, 2, k32);
  DrawMemImgStretched(&dst.img, &sprite.img, RECT{1, 1, 4, 2}, 1, nullptr);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.Get(x, 1), 0u);
  // Stretched, the stream is never read: every pixel is drawn.
  DrawMemImgStretched(&dst.img, &sprite.img, RECT{0, 1, 4, 2}, 1, nullptr);
  EXPECT_EQ(dst.Get(3, 1), Named(2, 0));
}

TEST_F(BlitTest, StretchedRandomDrawsOfEveryLeafFollowTheModel) {
  std::mt19937 rng(7);
  auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
  const int params[] = {0, 1, 128, 200, 255, int(rng() & 255)};
  for (int it = 0; it < 5000; ++it) {
    const int type = pick(2) ? k16 : k32, form = pick(3);  // direct, alpha channel, palettised
    const int sw = 1 + pick(9), sh = 1 + pick(7);
    TestImage src(sw, sh, type, form == 2, form == 1, pick(2) * 3);
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x) {
        src.Set(x, y, uint32_t(rng()));
        if (form == 1) src.SetAlpha(x, y, pick(4) == 0 ? 0 : pick(3) ? 255 : rng() & 255);
      }
    for (int i = 0; i < 256; ++i) src.SetPaletteEntry(i, uint32_t(rng()));
    // A key from the pixels, with bits above a 16-bit key's sometimes set.
    src.img.TransColor = src.Get(pick(sw), pick(sh)) | (pick(2) ? 0 : uint32_t(rng()) << 16);
    TestImage blend(sw + pick(2), sh + pick(2), k16, true);
    for (auto& b : blend.bytes) b = uint8_t(rng());
    const int dw = 1 + pick(40), dh = 1 + pick(16);
    TestImage dst(dw, dh, type, false, false, pick(2) * 6);
    for (int y = 0; y < dh; ++y)
      for (int x = 0; x < dw; ++x) dst.Set(x, y, uint32_t(rng()));
    // Any corners (reversed ones mirror), often a whole multiple or part of the source.
    const int mw = pick(3) ? sw * (1 + pick(3)) / (1 + pick(2)) : pick(dw + 8);
    const int mh = pick(3) ? sh * (1 + pick(3)) / (1 + pick(2)) : pick(dh + 6);
    RECT r{pick(dw + 2) - 4, pick(dh + 2) - 3, 0, 0};
    r.right = r.left + mw;
    r.bottom = r.top + mh;
    if (pick(3) == 0) std::swap(r.left, r.right);
    if (pick(3) == 0) std::swap(r.top, r.bottom);
    if (r.right - r.left == sw && r.bottom - r.top == sh) ++r.right;  // not the hand-over
    for (auto& t : table_) t = uint8_t(rng());
    Use(pick(5), params[pick(6)],
        pick(2) ? RECT{0, 0, dw, dh}
                : RECT{pick(dw / 2 + 1), pick(dh / 2 + 1), dw / 2 + pick(dw), dh / 2 + pick(dh)},
        pick(2) ? 0xFFFFFF : uint32_t(rng()) & 0xFFFFFF);
    ExpectLikeModel(dst, src, r, pick(2), pick(3) ? nullptr : &blend, it);
  }
}

TEST_F(BlitTest, StretchedWideRowsAndSelfDraw) {
  // Wider than the column table kept on the stack.
  TestImage src(700, 3, k16);
  FillNamed(src);
  TestImage dst(1500, 4, k16);
  Use(0, 0, RECT{0, 0, 1500, 4});
  ExpectLikeModel(dst, src, RECT{1499, 0, 0, 4}, 0, nullptr, 0);
  ExpectLikeModel(dst, src, RECT{703, 0, 3, 3}, 0, nullptr, 0);  // mirrored at the same size
  // An image drawn stretched onto itself reads its pixels as they were.
  TestImage self(12, 10, k32);
  FillNamed(self);
  const TestImage before = self;
  gfx::MEMIMG view = self.img;
  view.Width = 4;
  view.Height = 3;
  Use(0, 0, RECT{0, 0, 12, 10});
  DrawMemImgStretched(&self.img, &view, RECT{2, 1, 10, 7}, 0, nullptr);
  for (int y = 1; y < 7; ++y)
    for (int x = 2; x < 10; ++x) ASSERT_EQ(self.Get(x, y), before.Get((x - 2) / 2, (y - 1) / 2));

  // A blend image over pixels the draw writes is read as it was too, also when a clip or a
  // mirror leaves out its first columns: the model reads a copy taken before the draw.
  std::mt19937 rng(36);
  for (int type : {k16, k32})
    for (const auto& [rc, area] : {std::pair{RECT{-3, 0, 21, 12}, RECT{5, 0, 40, 12}},
                                   {RECT{21, 0, -3, 12}, RECT{0, 0, 14, 12}},
                                   {RECT{21, 11, -3, -1}, RECT{6, 1, 17, 12}}}) {
      TestImage sprite(6, 4, type), screen(40, 12, type);
      for (auto* img : {&sprite, &screen})
        for (int y = 0; y < img->img.Height; ++y)
          for (int x = 0; x < img->img.Width; ++x) img->Set(x, y, uint32_t(rng()));
      gfx::MEMIMG blend = screen.img;  // one byte a pixel, rows 2 .. 5 of the destination
      blend.Width = 6;
      blend.Height = 4;
      blend.Pixels = screen.At(8, 2);
      TestImage asItWas(6, 4, k16, true);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) asItWas.At(x, y)[0] = blend.Pixels[y * blend.Pitch + x];
      TestImage model = screen;
      Use(0, 0, area);
      DrawMemImgStretched(&screen.img, &sprite.img, rc, 0, &blend);
      RefStretch(model, sprite, rc, 0, &asItWas, st_);
      EXPECT_EQ(screen.Pixels(), model.Pixels()) << type << ": " << rc.left << "," << rc.top;
    }
}

TEST_F(BlitTest, StretchedSelfDrawWiderThanAPieceAndWithoutMemory) {
  // Doubled across onto itself, mirrored, 8600 columns drawn in pieces of the stack tables:
  // each column shows its source column as it was.
  TestImage self(8700, 3, k32);
  FillNamed(self);
  const TestImage before = self;
  gfx::MEMIMG view = self.img;
  view.Width = 4300;
  view.Pixels = self.At(20, 0);
  Use(0, 0, RECT{0, 0, 8700, 3});
  DrawMemImgStretched(&self.img, &view, RECT{8630, 0, 30, 3}, 0, nullptr);
  for (int x = 0; x < 8700; ++x)
    ASSERT_EQ(self.Get(x, 1), before.Get(x < 30 || x >= 8630 ? x : 4319 - (x - 30) / 2, 1)) << x;
  // The copy of what the draw reads finds no memory: nothing is drawn.
  const TestImage kept = self;
  base::FailTrackedAllocationAt(1);
  DrawMemImgStretched(&self.img, &view, RECT{0, 0, 8600, 3}, 0, nullptr);
  base::FailTrackedAllocationAt(0);
  EXPECT_EQ(self.Pixels(), kept.Pixels());
  // A draw from another image, in pieces too, follows the model and allocates nothing.
  TestImage src(4300, 3, k32);
  FillNamed(src);
  const uint64_t calls = base::TrackedAllocationCalls();
  ExpectLikeModel(self, src, RECT{0, 0, 8699, 3}, 0, nullptr, 0);
  EXPECT_EQ(base::TrackedAllocationCalls(), calls);
}

TEST_F(BlitTest, StretchedReadsOnlyTheSampledSourcePixels) {
  // A source 10 pixels wide whose rows hold only their first two pixels (pitch 2 pixels), as
  // a work image over a locked part does: cut to destination columns 0 .. 3 of a doubling,
  // the draw samples columns 0 and 1 only (the sanitizer would catch any other read).
  std::vector<uint32_t> rows = {0x11, 0x12, 0x21, 0x22, 0x31, 0x32};
  TestImage shape(10, 3, k32);  // lends its descriptor
  gfx::MEMIMG src = shape.img;
  src.Pitch = 8;
  src.Pixels = reinterpret_cast<uint8_t*>(rows.data());
  TestImage dst(20, 6, k32);
  Use(0, 0, RECT{0, 0, 4, 6});
  DrawMemImgStretched(&dst.img, &src, RECT{0, 0, 20, 6}, 0, nullptr);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 20; ++x)
      ASSERT_EQ(dst.Get(x, y), x < 4 ? rows[size_t(y / 2 * 2 + x / 2)] : 0u) << x << "," << y;
}

}  // namespace
}  // namespace zq::soft::blit_test
