// The stretched blit: sampling worked out by hand, the hand-over to the unscaled blit,
// hostile sizes and refusals, and random draws of every leaf (mirrored, cut by the draw
// area, every mode and source kind) against a model.
#include "softrender/draw_memimg_stretched.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "softrender/blit_reference.h"

namespace zq::soft::blit_test {
namespace {

using platform::RECT;
constexpr int k16 = gfx::kMemImgRgb565;
constexpr int k32 = gfx::kMemImgXrgb8888;

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

class StretchTest : public BlitStateTest {
 public:
  void SetUp() override {
    for (int i = 0; i < 256; ++i) table_[i] = uint8_t((i * 7) & 255);
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

TEST_F(StretchTest, SamplingWorkedByHand) {
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

TEST_F(StretchTest, HugeRectanglesSampleWithoutOverflow) {
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

TEST_F(StretchTest, SameSizeUnmirroredIsTheUnscaledBlit) {
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

TEST_F(StretchTest, RandomDrawsOfEveryLeafFollowTheModel) {
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

TEST_F(StretchTest, WideRowsAndSelfDraw) {
  // Wider than the column table kept on the stack.
  TestImage src(700, 3, k16);
  FillNamed(src);
  TestImage dst(1500, 4, k16);
  Use(0, 0, RECT{0, 0, 1500, 4});
  ExpectLikeModel(dst, src, RECT{1499, 0, 0, 4}, 0, nullptr, 0);
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
}

TEST_F(StretchTest, ReadsOnlyTheSampledSourcePixels) {
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

TEST_F(StretchTest, RefusalsLeaveTheDestinationUntouched) {
  TestImage src16(3, 3, k16), src32(3, 3, k32);
  FillNamed(src16);
  FillNamed(src32);
  TestImage dst16(8, 8, k16), dstPal(8, 8, k16, true), dstAlpha(8, 8, k32, false, true);
  const auto b16 = dst16.bytes, bPal = dstPal.bytes, bAlpha = dstAlpha.bytes;
  const RECT rc{0, 0, 7, 6};
  DrawMemImgStretched(&dst16.img, &src32.img, rc, 0, nullptr);
  DrawMemImgStretched(&dstPal.img, &src16.img, rc, 0, nullptr);
  DrawMemImgStretched(&dstAlpha.img, &src32.img, rc, 0, nullptr);
  DrawMemImgStretched(nullptr, &src16.img, rc, 0, nullptr);
  DrawMemImgStretched(&dst16.img, nullptr, rc, 0, nullptr);
  for (const auto& [mode, param] : {std::pair{5, 100}, {1, 0}, {2, 0}, {3, 0}, {0, 300}}) {
    Use(mode, param);
    DrawMemImgStretched(&dst16.img, &src16.img, rc, 0, nullptr);
  }
  // A blend image smaller than the source; sources the counters cannot step; rectangles of
  // no width or height.
  Use(0, 0);
  TestImage small(2, 3, k16, true), wide(65536, 1, k16), empty(0, 3, k16);
  DrawMemImgStretched(&dst16.img, &src16.img, rc, 0, &small.img);
  DrawMemImgStretched(&dst16.img, &wide.img, rc, 0, nullptr);
  DrawMemImgStretched(&dst16.img, &empty.img, rc, 0, nullptr);
  DrawMemImgStretched(&dst16.img, &src16.img, RECT{3, 3, 3, 9}, 0, nullptr);
  DrawMemImgStretched(&dst16.img, &src16.img, RECT{3, 3, 9, 3}, 0, nullptr);
  EXPECT_EQ(dst16.bytes, b16);
  EXPECT_EQ(dstPal.bytes, bPal);
  EXPECT_EQ(dstAlpha.bytes, bAlpha);
}

}  // namespace
}  // namespace zq::soft::blit_test
