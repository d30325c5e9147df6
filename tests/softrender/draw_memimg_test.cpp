// The unscaled blit: refusals, clipping, keys, palettes, the run-length stream, self-draw
// and a randomized comparison with the reference model.
#include "softrender/draw_memimg.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

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

// Pixels of a as a list, for whole-image comparisons with readable failures.
std::vector<uint32_t> Pixels(const TestImage& a) {
  std::vector<uint32_t> v;
  for (int y = 0; y < a.img.Height; ++y)
    for (int x = 0; x < a.img.Width; ++x) v.push_back(a.Get(x, y));
  return v;
}

class DrawMemImgTest : public BlitStateTest {
 public:
  void SetUp() override {
    for (int i = 0; i < 256; ++i) table_[i] = uint8_t(255 - i);
    Use(0, 0);
  }
};

// ---------------------------------------------------------------------------------------
// Refusals

TEST_F(DrawMemImgTest, RefusedCombinationsLeaveTheDestinationUntouched) {
  TestImage src16(4, 4, k16);
  TestImage src32(4, 4, k32);
  FillPattern(src16, 0x100);
  FillPattern(src32, 0x100);
  TestImage dst16(8, 8, k16);
  TestImage dstPal(8, 8, k16, true);
  TestImage dstAlpha(8, 8, k32, false, true);
  FillPattern(dst16, 0x55);
  FillPattern(dstPal, 0x55);
  FillPattern(dstAlpha, 0x55);
  const auto before16 = dst16.bytes, beforePal = dstPal.bytes, beforeAlpha = dstAlpha.bytes;
  DrawMemImg(&dst16.img, &src32.img, 1, 1, 0, nullptr);
  DrawMemImg(&dstPal.img, &src16.img, 1, 1, 0, nullptr);
  DrawMemImg(&dstAlpha.img, &src32.img, 1, 1, 0, nullptr);
  EXPECT_EQ(dst16.bytes, before16);
  EXPECT_EQ(dstPal.bytes, beforePal);
  EXPECT_EQ(dstAlpha.bytes, beforeAlpha);
  // Blend modes above 4, and parameters outside 0..255.
  Use(5, 100);
  DrawMemImg(&dst16.img, &src16.img, 1, 1, 0, nullptr);
  Use(0, 300);
  DrawMemImg(&dst16.img, &src16.img, 1, 1, 0, nullptr);
  EXPECT_EQ(dst16.bytes, before16);
  // Null images, an image not set up, a descriptor that disagrees with the layout.
  DrawMemImg(nullptr, &src16.img, 0, 0, 0, nullptr);
  DrawMemImg(&dst16.img, nullptr, 0, 0, 0, nullptr);
  Use(0, 0);
  src16.img.SetupMark = 0;
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  src16.img.SetupMark = gfx::kMemImgSetupMark;
  src16.img.AlphaFlag = 1;  // would read 4 bytes a pixel from a 2-byte image
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  src16.img.AlphaFlag = 0;
  src16.img.Pitch = 2;  // rows shorter than the width
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  src16.img.Pitch = 8;
  // A blend image smaller than the source.
  TestImage smallBlend(3, 4, k16, true);
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, &smallBlend.img);
  EXPECT_EQ(dst16.bytes, before16);
  // And the same source does draw once everything is in order.
  DrawMemImg(&dst16.img, &src16.img, 0, 0, 0, nullptr);
  EXPECT_EQ(dst16.Get(3, 3), src16.Get(3, 3));
}

// ---------------------------------------------------------------------------------------
// Clipping

TEST_F(DrawMemImgTest, ClipsOnEverySide) {
  for (int ct : {k16, k32}) {
    TestImage src(6, 5, ct);
    FillPattern(src, 0x1000);
    const platform::RECT area{10, 20, 30, 40};
    Use(0, 0, area);
    // Wholly outside: nothing.
    for (auto [x, y] : {std::pair{4, 25}, {30, 25}, {15, 15}, {15, 40}}) {
      TestImage dst(64, 64, ct);
      DrawMemImg(&dst.img, &src.img, x, y, 0, nullptr);
      EXPECT_EQ(Pixels(dst), std::vector<uint32_t>(64 * 64, 0)) << x << "," << y;
    }
    // Straddling each edge, and both corners.
    for (auto [x, y] : {std::pair{7, 25}, {27, 25}, {15, 17}, {15, 38}, {8, 18}, {28, 37}}) {
      TestImage dst(64, 64, ct), ref(64, 64, ct);
      DrawMemImg(&dst.img, &src.img, x, y, 0, nullptr);
      RefDraw(ref, src, x, y, 0, nullptr, st_);
      EXPECT_EQ(Pixels(dst), Pixels(ref)) << x << "," << y;
    }
    // Left edge by 3: source column 3 lands on the area's left edge.
    TestImage dst(64, 64, ct);
    DrawMemImg(&dst.img, &src.img, 7, 25, 0, nullptr);
    EXPECT_EQ(dst.Get(10, 25), src.Get(3, 0));
    EXPECT_EQ(dst.Get(9, 25), 0u);
    EXPECT_EQ(dst.Get(12, 29), src.Get(5, 4));
  }
}

TEST_F(DrawMemImgTest, ClipsToTheDestinationsOwnSize) {
  // The draw area is larger than the image: nothing may be written outside it.
  TestImage src(8, 8, k32);
  FillPattern(src, 0x10);
  TestImage dst(5, 4, k32, false, false, 12);  // 12 bytes of padding per row
  Use(0, 0, {0, 0, 640, 480});
  DrawMemImg(&dst.img, &src.img, 2, 1, 0, nullptr);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      const uint32_t want = (x >= 2 && y >= 1) ? src.Get(x - 2, y - 1) : 0u;
      EXPECT_EQ(dst.Get(x, y), want) << x << "," << y;
    }
    for (int b = 20; b < 32; ++b) EXPECT_EQ(dst.bytes[size_t(y) * 32 + b], 0) << y;
  }
}

TEST_F(DrawMemImgTest, PositionsNearTheIntegerLimitsDoNotOverflow) {
  TestImage src(8, 8, k16);
  FillPattern(src, 0x10);
  TestImage dst(16, 16, k16);
  Use(0, 0, {0, 0, 16, 16});
  DrawMemImg(&dst.img, &src.img, INT_MAX - 3, 0, 0, nullptr);
  DrawMemImg(&dst.img, &src.img, 0, INT_MAX, 0, nullptr);
  DrawMemImg(&dst.img, &src.img, INT_MIN, INT_MIN, 0, nullptr);
  EXPECT_EQ(Pixels(dst), std::vector<uint32_t>(256, 0));
  src.img.Width = -8;  // a negative size draws nothing
  DrawMemImg(&dst.img, &src.img, 4, 4, 0, nullptr);
  EXPECT_EQ(Pixels(dst), std::vector<uint32_t>(256, 0));
}

TEST_F(DrawMemImgTest, BlendImageIsReadAtSourceCoordinates) {
  TestImage src(6, 6, k32);
  FillPattern(src, 0x204060);
  TestImage blend(8, 8, k16, true);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) blend.Set(x, y, uint32_t(y * 16 + x));
  Use(0, 0, {10, 10, 40, 40});
  TestImage dst(64, 64, k32), ref(64, 64, k32);
  FillPattern(dst, 0x808080);
  FillPattern(ref, 0x808080);
  // Clipped by (3, 2): blend column 3 of row 2 meets destination (10, 10).
  DrawMemImg(&dst.img, &src.img, 7, 8, 0, &blend.img);
  RefDraw(ref, src, 7, 8, 0, &blend, st_);
  EXPECT_EQ(Pixels(dst), Pixels(ref));
  const uint32_t b = table_[2 * 16 + 3];
  const uint32_t s = src.Get(3, 2), d0 = 0x808080u + 10 * 131 + 10 * 7;
  const uint32_t blue =
      (d0 & 0xFF) + uint32_t(FloorDiv((int64_t(s & 0xFF) - (d0 & 0xFF)) * b, 256));
  EXPECT_EQ(dst.Get(10, 10) & 0xFF, blue);
}

// ---------------------------------------------------------------------------------------
// Keys and palettes

// (Odd widths with the key and 16-bit keys with high bits set are among the random draws
// checked against the model below.)

TEST_F(DrawMemImgTest, PaletteKeyComparesTheIndex) {
  for (int ct : {k16, k32}) {
    TestImage src(9, 2, ct, true);
    src.img.TransColor = 5;
    for (int i = 0; i < 256; ++i) src.SetPaletteEntry(i, ct == k16 ? 0x0101u * i : 0x01010101u * i);
    src.SetPaletteEntry(6, 5u);  // entry 6 holds the value 5: still drawn
    for (int x = 0; x < 9; ++x) {
      src.Set(x, 0, x % 2 ? 5u : 6u);
      src.Set(x, 1, 5);
    }
    src.Set(8, 1, 7);
    TestImage dst(9, 2, ct);
    FillPattern(dst, 0x300);
    const auto before = Pixels(dst);
    DrawMemImg(&dst.img, &src.img, 0, 0, 1, nullptr);
    for (int x = 0; x < 9; ++x) {
      EXPECT_EQ(dst.Get(x, 0), x % 2 ? before[size_t(x)] : 5u) << x;
      EXPECT_EQ(dst.Get(x, 1), x == 8 ? src.PaletteEntry(7) : before[size_t(9 + x)]) << x;
    }
    // Key off: every index drawn, 32-bit entries with their byte 3.
    DrawMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
    EXPECT_EQ(dst.Get(1, 0), src.PaletteEntry(5));
    // Entries past the count draw as 0.
    src.img.PaletteCount = 6;
    DrawMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
    EXPECT_EQ(dst.Get(8, 1), 0u);
    EXPECT_EQ(dst.Get(0, 0), 0u);
    EXPECT_EQ(dst.Get(1, 0), src.PaletteEntry(5));
  }
}

TEST_F(DrawMemImgTest, SixteenBitAlphaSourceReadsFourBytesAndIgnoresItsKey) {
  TestImage src(3, 1, k16, false, true);
  src.img.TransColor = 0x1111;
  const uint32_t colour[3] = {0x1111, 0x2222, 0x3333};
  const uint32_t alpha[3] = {255, 0, 255};
  for (int x = 0; x < 3; ++x) {
    src.Set(x, 0, colour[x]);
    src.SetAlpha(x, 0, alpha[x]);
    src.At(x, 0)[3] = 0x99;  // never read
  }
  TestImage dst(3, 1, k16);
  FillPattern(dst, 0x40);
  DrawMemImg(&dst.img, &src.img, 0, 0, 1, nullptr);
  EXPECT_EQ(Pixels(dst), (std::vector<uint32_t>{0x1111, 0x40 + 7, 0x3333}));
}

// ---------------------------------------------------------------------------------------
// The run-length stream

struct SourceKind {
  int colorType;
  bool palette;
  bool alpha;
};

void FillSprite(TestImage& src, std::mt19937& rng) {
  const bool pal = src.img.PaletteFlag;
  const bool is16 = src.img.ColorType == k16;
  src.img.TransColor = pal ? 3u : (is16 ? 0xF81Fu : 0x00FF00FFu);
  for (int i = 0; i < 256; ++i) src.SetPaletteEntry(i, uint32_t(rng()));
  for (int y = 0; y < src.img.Height; ++y) {
    for (int x = 0; x < src.img.Width; ++x) {
      // Long stretches of one kind, so runs of 64 and remainders occur.
      const int band = ((x / 23) + y) % 4;
      uint32_t v = uint32_t(rng());
      if (pal) v &= 0xFF;
      if (band == 0) v = src.img.TransColor;
      src.Set(x, y, v);
      if (src.img.AlphaFlag) {
        const uint32_t a[4] = {0, 255, uint32_t(rng() % 256), 255};
        src.SetAlpha(x, y, a[band]);
      }
    }
  }
}

TEST_F(DrawMemImgTest, StreamMatchesPerPixelPathExceptTranslucentWithoutFactors) {
  std::mt19937 rng(7);
  const SourceKind kinds[] = {{k16, false, false}, {k16, false, true}, {k16, true, false},
                              {k32, false, false}, {k32, false, true}, {k32, true, false}};
  for (const SourceKind& kind : kinds) {
    TestImage src(150, 4, kind.colorType, kind.palette, kind.alpha);
    FillSprite(src, rng);
    TestImage blend(150, 4, k16, true);
    for (auto& b : blend.bytes) b = uint8_t(rng());
    for (int mode = 0; mode <= 4; ++mode) {
      for (int param : {1, 100, 128, 254}) {
        for (uint32_t bright : {0xFFFFFFu, 0x80C0FFu}) {
          for (bool withBlend : {false, true}) {
            Use(mode, param, {0, 0, 640, 480}, bright);
            const TestImage* bl = withBlend ? &blend : nullptr;
            TestImage viaRuns(152, 6, kind.colorType), viaPixels(152, 6, kind.colorType),
                ref(152, 6, kind.colorType);
            FillPattern(viaRuns, 0x3C3C3C);
            FillPattern(viaPixels, 0x3C3C3C);
            FillPattern(ref, 0x3C3C3C);
            src.BuildRuns();
            DrawMemImg(&viaRuns.img, &src.img, 1, 1, 1, bl ? &bl->img : nullptr);
            RefDraw(ref, src, 1, 1, 1, bl, st_);
            EXPECT_EQ(viaRuns.img.RunLengthFlag, 0);
            src.img.RunLengthFlag = 0;
            DrawMemImg(&viaPixels.img, &src.img, 1, 1, 1, bl ? &bl->img : nullptr);
            const std::string what = "ct " + std::to_string(kind.colorType) + " pal " +
                                     std::to_string(kind.palette) + " alpha " +
                                     std::to_string(kind.alpha) + " mode " + std::to_string(mode) +
                                     " p " + std::to_string(param) + " bright " +
                                     std::to_string(bright) + " blend " + std::to_string(withBlend);
            ASSERT_EQ(Pixels(viaRuns), Pixels(ref)) << what;
            // The paths agree except in mode 1 without factors, bright off, for a source
            // without alpha channel (16-bit at every parameter but 1, where both rules
            // give d; 32-bit at 128).
            const bool differs = mode == 1 && !withBlend && bright == 0xFFFFFF && !kind.alpha &&
                                 (kind.colorType == k16 ? param != 1 : param == 128);
            if (differs) {
              EXPECT_NE(Pixels(viaRuns), Pixels(viaPixels)) << what;
            } else {
              EXPECT_EQ(Pixels(viaRuns), Pixels(viaPixels)) << what;
            }
          }
        }
      }
    }
  }
}

TEST_F(DrawMemImgTest, TheStreamIsUsedOnlyUnclippedAndWithFlagOne) {
  // Mode 1 at 100 tells the paths apart on 16-bit pixels.
  TestImage src(4, 2, k16);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) src.Set(x, y, 0xFFFF);
  src.img.TransColor = 0x1234;
  src.BuildRuns();
  Use(1, 100, {0, 0, 8, 8});
  auto drawAt = [&](int x, int trans) {
    TestImage dst(8, 8, k16);
    DrawMemImg(&dst.img, &src.img, x, 0, trans, nullptr);
    return dst.Get(x, 0);
  };
  EXPECT_EQ(drawAt(4, 1), 0x630Cu);  // stream: DIFF
  EXPECT_EQ(drawAt(4, 2), 0x632Cu);  // key on, but not flag 1: per pixel, table
  EXPECT_EQ(drawAt(5, 1), 0x632Cu);  // one pixel over the edge: per pixel
  // A stream that the source's pixels no longer match still decides: the pixel now equal
  // to the key is drawn, DIFF(100, 2) = 0, DIFF(100, 17) = 6, DIFF(100, 20) = 7.
  src.Set(0, 0, 0x1234);
  EXPECT_EQ(drawAt(4, 1), 0x00C7u);
}

TEST_F(DrawMemImgTest, DamagedStreamStaysInsideRowAndBuffer) {
  TestImage src(5, 3, k32);
  FillPattern(src, 0x10);
  src.BuildRuns();
  auto& runs = src.runs;
  std::fill(runs.begin(), runs.end(), uint8_t(0x7F));  // 64-pixel runs, never a row end
  TestImage dst(8, 4, k32);
  DrawMemImg(&dst.img, &src.img, 0, 0, 1, nullptr);
  // Row 0 takes its 5 pixels from the first code; the rest of the buffer is consumed by
  // that row, so later rows get nothing.
  for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.Get(x, 0), x < 5 ? src.Get(x, 0) : 0u) << x;
  for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.Get(x, 1), 0u) << x;
}

// ---------------------------------------------------------------------------------------
// Drawing an image onto itself

TEST_F(DrawMemImgTest, SelfDrawReadsTheSourceAsItWas) {
  for (int ct : {k16, k32}) {
    for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {3, 2}, {0, 0}}) {
      for (int mode : {0, 2}) {
        TestImage img(12, 9, ct), ref(12, 9, ct), copy(12, 9, ct);
        FillPattern(img, 0x5000);
        FillPattern(ref, 0x5000);
        FillPattern(copy, 0x5000);
        Use(mode, 200);
        DrawMemImg(&img.img, &img.img, dx, dy, 0, nullptr);
        RefDraw(ref, copy, dx, dy, 0, nullptr, st_);
        EXPECT_EQ(Pixels(img), Pixels(ref)) << ct << " " << dx << "," << dy << " mode " << mode;
      }
    }
    // A view into the same pixels, overlapping the destination rectangle.
    TestImage img(12, 9, ct), ref(12, 9, ct);
    FillPattern(img, 0x5000);
    FillPattern(ref, 0x5000);
    gfx::MEMIMG view = img.img;
    view.ViewFlag = 1;
    view.Width = 6;
    view.Height = 5;
    view.Pixels = img.At(2, 1);
    Use(0, 0);
    DrawMemImg(&img.img, &view, 3, 2, 0, nullptr);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) ref.Set(3 + x, 2 + y, 0x5000u + (1 + y) * 131 + (2 + x) * 7);
    EXPECT_EQ(Pixels(img), Pixels(ref)) << ct;
  }
}

// ---------------------------------------------------------------------------------------
// Randomized: many draws, every case, against the reference model; one checksum.

uint64_t Fold(uint64_t h, const std::vector<uint32_t>& pixels) {
  for (uint32_t v : pixels) h = (h ^ v) * 0x100000001B3ull;
  return h;
}

// One run of random draws; returns the checksum of the drawn pixels and sets *reference
// to that of the model's.
uint64_t RandomDraws(DrawMemImgTest* t, uint64_t* reference);

TEST_F(DrawMemImgTest, RandomDrawsMatchTheReferenceModel) {
  // At every dispatch level: the same pixels as the model.
  uint64_t first = 0;
  for (auto level :
       {platform::CpuLevel::kAvx2, platform::CpuLevel::kVector16, platform::CpuLevel::kScalar}) {
    platform::LimitCpuLevel(level);
    uint64_t model = 0;
    const uint64_t drawn = RandomDraws(this, &model);
    EXPECT_EQ(drawn, model) << int(level);
    if (level == platform::CpuLevel::kAvx2) first = model;
    EXPECT_EQ(model, first);
  }
  platform::LimitCpuLevel(platform::CpuLevel::kAvx2);
}

uint64_t RandomDraws(DrawMemImgTest* fixture, uint64_t* reference) {
  auto& table_ = fixture->table_;
  auto& st_ = fixture->st_;
  auto Use = [fixture](int mode, int param, platform::RECT area, uint32_t bright) {
    fixture->Use(mode, param, area, bright);
  };
  std::mt19937 rng(20260612);
  auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
  uint64_t drawn = 0xCBF29CE484222325ull, expected = drawn;
  const int kIterations = 6000;
  for (int it = 0; it < kIterations; ++it) {
    const int ct = pick(2) ? k32 : k16;
    const bool pal = pick(4) == 0;
    const bool alpha = !pal && pick(3) == 0;
    const int w = 1 + pick(19), h = 1 + pick(9);
    TestImage src(w, h, ct, pal, alpha, pick(3));
    const int dw = 1 + pick(30), dh = 1 + pick(20);
    TestImage dst(dw, dh, ct, false, false, pick(3) * 2), ref(dw, dh, ct, false, false, 0);
    // Few distinct colours, so keys hit and runs form.
    uint32_t colours[4];
    for (auto& c : colours) c = pal ? uint32_t(pick(8)) : uint32_t(rng());
    for (int i = 0; i < 256; ++i) src.SetPaletteEntry(i, uint32_t(rng()));
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        src.Set(x, y, pick(3) ? colours[pick(4)] : (pal ? rng() & 0xFF : uint32_t(rng())));
        if (alpha) {
          const uint32_t choices[4] = {0, 255, uint32_t(rng() & 0xFF), uint32_t(rng() & 0xFF)};
          src.SetAlpha(x, y, choices[pick(4)]);
        }
      }
    }
    src.img.TransColor = pick(5) ? src.Get(pick(w), pick(h)) : uint32_t(rng());
    if (!pal && ct == k16 && pick(2)) src.img.TransColor &= 0xFFFF;
    for (int y = 0; y < dh; ++y)
      for (int x = 0; x < dw; ++x) {
        const uint32_t v = uint32_t(rng());
        dst.Set(x, y, v);
        ref.Set(x, y, v);
      }
    const bool buildRuns = pick(2);
    if (buildRuns) src.BuildRuns();
    TestImage blend(w + pick(3), h + pick(2), k16, true);
    for (auto& b : blend.bytes) b = uint8_t(rng());
    const bool withBlend = pick(3) == 0;
    for (auto& t : table_) t = uint8_t(pick(4) == 0 ? (pick(2) ? 0 : 255) : rng());
    const int params[] = {0, 1, 127, 128, 129, 254, 255, 100, 103, int(rng() & 0xFF)};
    const int mode = pick(6) == 0 ? pick(6) : pick(5);
    const int param = params[pick(10)];
    const uint32_t bright =
        pick(2) ? 0xFFFFFFu : (pick(3) ? uint32_t(rng() & 0xFFFFFF) : 0xFFFFFEu);
    platform::RECT area{pick(12) - 2, pick(12) - 2, 0, 0};
    area.right = area.left + pick(40);
    area.bottom = area.top + pick(30);
    Use(mode, param, area, bright);
    const int x = pick(dw + 10) - 6, y = pick(dh + 10) - 6;
    const int trans = pick(4) == 0 ? 0 : (pick(4) == 0 ? 2 : 1);
    const TestImage* bl = withBlend ? &blend : nullptr;

    DrawMemImg(&dst.img, &src.img, x, y, trans, bl ? &bl->img : nullptr);
    RefDraw(ref, src, x, y, trans, bl, st_);
    const auto got = Pixels(dst), want = Pixels(ref);
    drawn = Fold(drawn, got);
    expected = Fold(expected, want);
    // Row padding of the destination is never written.
    for (int row = 0; row < dh; ++row)
      for (int b = dw * dst.Bytes(); b < dst.img.Pitch; ++b)
        EXPECT_EQ(dst.bytes[size_t(row) * size_t(dst.img.Pitch) + size_t(b)], 0) << it;
    if (got != want) {
      ADD_FAILURE() << "iteration " << it << ": ct " << ct << " pal " << pal << " alpha " << alpha
                    << " " << w << "x" << h << " at " << x << "," << y << " mode " << mode << " p "
                    << param << " bright " << bright << " trans " << trans << " runs " << buildRuns
                    << " blend " << withBlend;
      break;
    }
  }
  *reference = expected;
  return drawn;
}

}  // namespace
}  // namespace zq::soft::blit_test
