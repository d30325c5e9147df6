// The stretched blit: sampling worked out by hand, mirroring, doubling and halving, clipping
// on every side, the hand-over to the unscaled blit, every leaf against a reference model,
// refusals and hostile sizes.
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

void FillRandom(TestImage& img, std::mt19937& rng) {
  for (int y = 0; y < img.img.Height; ++y)
    for (int x = 0; x < img.img.Width; ++x) {
      img.Set(x, y, rng());
      if (img.img.AlphaFlag && !img.img.PaletteFlag) {
        const uint32_t pick = rng() % 4;
        img.SetAlpha(x, y, pick == 0 ? 0 : pick == 1 ? 255 : rng() & 255);
      }
    }
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
  RefPixelCase k;
  k.is16 = s.ColorType == k16;
  k.mode = st.mode;
  k.param = st.param;
  k.bright = st.bright;
  k.srcAlphaChannel = s.AlphaFlag && !s.PaletteFlag;
  k.runPath = true;  // selects the difference rule of blend mode 1
  const uint32_t key = s.PaletteFlag ? (s.TransColor & 0xFF)
                       : k.is16      ? (s.TransColor & 0xFFFF)
                                     : s.TransColor;
  const int64_t x0 = std::max<int64_t>({l, st.area.left, 0});
  const int64_t x1 = std::min<int64_t>({r, st.area.right, dst.img.Width});
  const int64_t y0 = std::max<int64_t>({t, st.area.top, 0});
  const int64_t y1 = std::min<int64_t>({b, st.area.bottom, dst.img.Height});
  for (int64_t y = y0; y < y1; ++y)
    for (int64_t x = x0; x < x1; ++x) {
      int sx = int((x - l) * 65536 / rx), sy = int((y - t) * 65536 / ry);
      if (mx) sx = s.Width - 1 - sx;
      if (my) sy = s.Height - 1 - sy;
      bool withAlpha = false;
      if (k.srcAlphaChannel) {
        const uint32_t a = src.Alpha(sx, sy);
        if (trans != 0 && a == 0) continue;
        withAlpha = trans == 0 || a != 255;
      } else if (trans != 0 && src.Get(sx, sy) == key) {
        continue;
      }
      const uint32_t S = s.PaletteFlag ? src.PaletteEntry(int(src.Get(sx, sy))) : src.Get(sx, sy);
      const int bv = blend ? st.blendTable[blend->At(sx, sy)[0]] : -1;
      const int av = withAlpha ? int(src.Alpha(sx, sy)) : -1;
      dst.Set(int(x), int(y), RefBlend(k, S, dst.Get(int(x), int(y)), bv, av));
    }
}

class StretchTest : public BlitStateTest {
 public:
  void SetUp() override {
    for (int i = 0; i < 256; ++i) table_[i] = uint8_t((i * 7) & 255);
    Use(0, 0);
  }
  // Draws with the blit and with the model onto two copies of the same destination.
  void ExpectLikeModel(TestImage& dst, TestImage& model, const TestImage& src, RECT rc, int trans,
                       const TestImage* blend, const char* what) {
    model.bytes = dst.bytes;
    DrawMemImgStretched(&dst.img, &src.img, rc, trans, blend ? &blend->img : nullptr);
    RefStretch(model, src, rc, trans, blend, st_);
    for (int y = 0; y < dst.img.Height; ++y)
      for (int x = 0; x < dst.img.Width; ++x)
        ASSERT_EQ(dst.Get(x, y), model.Get(x, y)) << what << " at " << x << "," << y;
  }
};

// Expects dst to show src through the given source columns and rows from (x0, y0), and the
// background value everywhere else.
void ExpectSampled(const TestImage& dst, const TestImage& src, int x0, int y0,
                   const std::vector<int>& cols, const std::vector<int>& rows, uint32_t back) {
  for (int y = 0; y < dst.img.Height; ++y)
    for (int x = 0; x < dst.img.Width; ++x) {
      const int i = x - x0, j = y - y0;
      const bool in = i >= 0 && i < int(cols.size()) && j >= 0 && j < int(rows.size());
      ASSERT_EQ(dst.Get(x, y), in ? src.Get(cols[size_t(i)], rows[size_t(j)]) : back)
          << x << "," << y;
    }
}

// ---------------------------------------------------------------------------------------
// Sampling

TEST_F(StretchTest, ThreeByTwoSourceOnSizesWorkedByHand) {
  // 7 x 5: ratioX = 458752 / 3 = 152917, so columns j * 65536 / 152917 = 0 0 0 1 1 2 2;
  // ratioY = 163840, rows 0 0 0 1 1. 6 x 4: ratios 131072, columns 0 0 1 1 2 2, rows
  // 0 0 1 1. 2 x 1: ratioX = 43690 gives columns 0 1; ratioY = 32768 gives row 0.
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
        ExpectSampled(dst, src, 2, 1, s.cols, s.rows, 0);
      }
    }
  }
}

// ---------------------------------------------------------------------------------------
// Clipping

TEST_F(StretchTest, CutByTheDrawAreaOnEachSideMirroredOrNot) {
  for (int type : {k16, k32}) {
    TestImage src(5, 4, type);
    FillNamed(src);
    TestImage dst(24, 20, type), model(24, 20, type);
    // Doubling 5 x 4 into (4, 3)-(14, 11), the area cutting 3 columns and 1 row off the
    // left and top: the first drawn column is source column 3 * 65536 / 131072 = 1 with
    // one pixel of coverage left, so the row reads 1 2 2 3 3 4 4; rows 1 1 2 2 3 3 ...
    Use(0, 0, RECT{7, 4, 20, 20});
    DrawMemImgStretched(&dst.img, &src.img, RECT{4, 3, 14, 11}, 0, nullptr);
    ExpectSampled(dst, src, 7, 4, {1, 2, 2, 3, 3, 4, 4}, {0, 1, 1, 2, 2, 3, 3}, 0);
    // Mirrored horizontally: column 5 - 1 - 1 = 3 first.
    TestImage mirrored(24, 20, type);
    DrawMemImgStretched(&mirrored.img, &src.img, RECT{14, 3, 4, 11}, 0, nullptr);
    ExpectSampled(mirrored, src, 7, 4, {3, 2, 2, 1, 1, 0, 0}, {0, 1, 1, 2, 2, 3, 3}, 0);

    // Every side and both mirrors, at an uneven ratio, against the model.
    const RECT areas[] = {
        {6, 0, 24, 20}, {0, 5, 24, 20}, {0, 0, 12, 20}, {0, 0, 24, 9}, {6, 5, 12, 9}};
    for (const RECT& area : areas) {
      Use(1, 77, area);
      for (const RECT& rc :
           {RECT{2, 1, 19, 14}, RECT{19, 1, 2, 14}, RECT{2, 14, 19, 1}, RECT{19, 14, 2, 1}}) {
        ExpectLikeModel(dst, model, src, rc, 0, nullptr, "cut");
      }
    }
    // Wholly outside the area, and rectangles of no width or height, draw nothing.
    const auto before = dst.bytes;
    Use(0, 0, RECT{0, 0, 10, 10});
    DrawMemImgStretched(&dst.img, &src.img, RECT{10, 0, 20, 8}, 0, nullptr);
    DrawMemImgStretched(&dst.img, &src.img, RECT{3, 3, 3, 9}, 0, nullptr);
    DrawMemImgStretched(&dst.img, &src.img, RECT{3, 3, 9, 3}, 0, nullptr);
    EXPECT_EQ(dst.bytes, before);
  }
}

TEST_F(StretchTest, HugeRectanglesSampleWithoutOverflow) {
  // Extents near 2^32 only keep the rule: 64-bit ratios and cuts.
  TestImage src(3, 2, k32);
  FillNamed(src);
  TestImage dst(16, 8, k32), model(16, 8, k32);
  for (const RECT& rc :
       {RECT{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, RECT{INT32_MAX, 4, INT32_MIN, 2},
        RECT{-70000, -40000, 70000, 40000}, RECT{5, 3, 6, 4}}) {
    ExpectLikeModel(dst, model, src, rc, 0, nullptr, "huge");
  }
  // Sources the counters cannot step draw nothing.
  const auto before = dst.bytes;
  TestImage wide(65536, 1, k32), empty(0, 3, k32);
  DrawMemImgStretched(&dst.img, &wide.img, RECT{0, 0, 16, 8}, 0, nullptr);
  DrawMemImgStretched(&dst.img, &empty.img, RECT{0, 0, 16, 8}, 0, nullptr);
  EXPECT_EQ(dst.bytes, before);
}

// ---------------------------------------------------------------------------------------
// Hand-over and rules

TEST_F(StretchTest, SameSizeUnmirroredIsTheUnscaledBlit) {
  // 16-bit blend mode 1 at 128: the unscaled blit averages (blue 31 over 1 gives 15), the
  // stretched leaves use the difference rule (1 + 128 * 30 / 255 = 16).
  TestImage src(3, 2, k16);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) src.Set(x, y, 0x001F);
  Use(1, 128);
  TestImage same(3, 2, k16), mirrored(3, 2, k16);
  for (TestImage* img : {&same, &mirrored})
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) img->Set(x, y, 0x0001);
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

TEST_F(StretchTest, EveryLeafFollowsTheModelInBothFormats) {
  std::mt19937 rng(7);
  const int params[] = {0, 1, 128, 200, 255};
  for (int type : {k16, k32}) {
    for (int form = 0; form < 3; ++form) {  // direct, alpha channel, palettised
      TestImage src(5, 4, type, form == 2, form == 1);
      FillRandom(src, rng);
      if (form == 2) {
        for (int i = 0; i < 256; ++i) src.SetPaletteEntry(i, rng());
        src.img.TransColor = src.Get(1, 1);
      } else {
        src.img.TransColor = src.Get(2, 0);
      }
      TestImage blend(6, 5, k16, true);
      FillRandom(blend, rng);
      TestImage dst(17, 13, type), model(17, 13, type);
      FillRandom(dst, rng);
      for (int mode = 0; mode <= 4; ++mode)
        for (int param : params)
          for (int combo = 0; combo < 8; ++combo) {
            const bool withBlend = combo & 1, bright = combo & 2, trans = combo & 4;
            Use(mode, param, RECT{1, 2, 16, 12}, bright ? 0x40C0FF : 0xFFFFFF);
            // Enlarged and mirrored; doubled across and halved down; the same size mirrored
            // on each axis and both; exactly doubled and halved. The area cuts the first two.
            const RECT rects[] = {{16, 0, 3, 13}, {0, 11, 10, 9}, {5, 0, 0, 4},
                                  {0, 4, 5, 0},   {5, 4, 0, 0},   {0, 0, 10, 8}};
            for (const RECT& r : rects) {
              ExpectLikeModel(dst, model, src, r, trans, withBlend ? &blend : nullptr, "rect");
            }
          }
    }
  }
}
TEST_F(StretchTest, WideRowsAndSelfDraw) {
  // Wider than the column table kept on the stack.
  TestImage src(700, 3, k16);
  FillNamed(src);
  TestImage dst(1500, 4, k16), model(1500, 4, k16);
  Use(0, 0, RECT{0, 0, 1500, 4});
  ExpectLikeModel(dst, model, src, RECT{1499, 0, 0, 4}, 0, nullptr, "wide");
  ExpectLikeModel(dst, model, src, RECT{703, 0, 3, 3}, 0, nullptr, "wide mirrored, same size");
  // An image drawn stretched onto itself reads its pixels as they were.
  TestImage self(12, 10, k32), before(12, 10, k32);
  FillNamed(self);
  before.bytes = self.bytes;
  gfx::MEMIMG view;
  gfx::MEMIMG* whole = &self.img;
  view = *whole;
  view.Width = 4;
  view.Height = 3;
  Use(0, 0, RECT{0, 0, 12, 10});
  DrawMemImgStretched(&self.img, &view, RECT{2, 1, 10, 7}, 0, nullptr);
  for (int y = 1; y < 7; ++y)
    for (int x = 2; x < 10; ++x) ASSERT_EQ(self.Get(x, y), before.Get((x - 2) / 2, (y - 1) / 2));
}

TEST_F(StretchTest, SixteenBitKeyComparesSixteenBitsInEveryLeaf) {
  TestImage src(2, 1, k16);
  src.Set(0, 0, 0x1234);
  src.Set(1, 0, 0x0841);
  src.img.TransColor = 0xABCD1234;  // bits above 15 are not part of a 16-bit key
  for (int mode : {0, 2}) {
    Use(mode, 255);
    TestImage dst(4, 1, k16);
    DrawMemImgStretched(&dst.img, &src.img, RECT{0, 0, 4, 1}, 1, nullptr);
    EXPECT_EQ(dst.Get(0, 0), 0u) << mode;
    EXPECT_EQ(dst.Get(1, 0), 0u) << mode;
    EXPECT_EQ(dst.Get(2, 0), 0x0841u) << mode;
  }
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
  // A blend image smaller than the source.
  Use(0, 0);
  TestImage small(2, 3, k16, true);
  DrawMemImgStretched(&dst16.img, &src16.img, rc, 0, &small.img);
  EXPECT_EQ(dst16.bytes, b16);
  EXPECT_EQ(dstPal.bytes, bPal);
  EXPECT_EQ(dstAlpha.bytes, bAlpha);
}

}  // namespace
}  // namespace zq::soft::blit_test
