#include "softrender/boxes.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "flat_reference.h"
#include "softrender/flat_color.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using platform::RECT;
using zq::test::DrawStateScope;
using zq::test::TestImage;

constexpr int k16 = gfx::kMemImgRgb565;
constexpr int k32 = gfx::kMemImgXrgb8888;

// Fills an 8 x 6 image of dst, draws a 1 x 1 box at (2, 3) and returns that pixel; checks
// that no other pixel changed.
uint32_t OnePixel(int type, uint32_t dst, uint32_t color, const RECT& r = {2, 3, 3, 4}) {
  TestImage img(8, 6, type);
  img.Fill(dst);
  FillMemImgBox(&img.img, &r, color);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) {
      if (!(x == 2 && y == 3)) {
        EXPECT_EQ(img.Get(x, y), dst) << x << "," << y;
      }
    }
  }
  return img.Get(2, 3);
}

TEST(FillMemImgBox, Copy16And32) {
  DrawStateScope st(0, 0);
  EXPECT_EQ(OnePixel(k16, 0x1234, 0xABCD), 0xABCDu);
  EXPECT_EQ(OnePixel(k32, 0x11223344, 0xAABBCCDD), 0xAABBCCDDu);  // fourth byte written
  // Bits above 15 of a 16-bit colour are dropped.
  EXPECT_EQ(OnePixel(k16, 0x1234, 0xFFFFABCD), 0xABCDu);
}

TEST(FillMemImgBox, AlphaBlend) {
  {
    DrawStateScope st(1, 128);
    // Fourth byte of the destination kept, the colour's ignored.
    EXPECT_EQ(OnePixel(k32, 0x5A000000, 0xFFFFFFFF), 0x5A7F7F7Fu);
    // 32-bit rounds toward minus infinity: (10 - 20)*128 + 20*256 = 3840, >> 8 = 15.
    EXPECT_EQ(OnePixel(k32, 0x00141414, 0x000A0A0A), 0x000F0F0Fu);
    // 16-bit rounds toward zero: blue 20 + 128*(10 - 20)/255 = 20 - 5 = 15.
    EXPECT_EQ(OnePixel(k16, 0x0014, 0x000A), 0x000Fu);
  }
  {
    DrawStateScope st(1, 255);  // a copy, fourth byte included
    EXPECT_EQ(OnePixel(k16, 0x1234, 0xABCD), 0xABCDu);
    EXPECT_EQ(OnePixel(k32, 0x11223344, 0xAABBCCDD), 0xAABBCCDDu);
  }
  {
    DrawStateScope st(1, 0);  // nothing
    EXPECT_EQ(OnePixel(k16, 0x1234, 0xABCD), 0x1234u);
    EXPECT_EQ(OnePixel(k32, 0x11223344, 0xAABBCCDD), 0x11223344u);
  }
}

TEST(FillMemImgBox, Additive) {
  {
    DrawStateScope st(2, 255);
    EXPECT_EQ(OnePixel(k16, 0xFFFF, 0xFFFF), 0xFFFFu);
    EXPECT_EQ(OnePixel(k16, 0x0821, 0x0821), 0x0822u);
    EXPECT_EQ(OnePixel(k32, 0x00FFFFFF, 0x00FFFFFF), 0x01FFFFFFu);
  }
  {
    // Parameter 128 scales each field first: 31 -> 15, 63 -> 31, 255 -> 128.
    DrawStateScope st(2, 128);
    EXPECT_EQ(OnePixel(k16, 0, 0xFFFF), 0x7BEFu);
    EXPECT_EQ(OnePixel(k32, 0x77000000, 0x00FFFFFF), 0x00808080u);  // fourth byte dropped
  }
  {
    DrawStateScope st(2, 0);
    EXPECT_EQ(OnePixel(k16, 0x1234, 0xFFFF), 0x1234u);
    EXPECT_EQ(OnePixel(k32, 0x11223344, 0x00FFFFFF), 0x11223344u);
  }
}

TEST(FillMemImgBox, Subtractive) {
  {
    DrawStateScope st(3, 255);
    EXPECT_EQ(OnePixel(k16, 0x1234, 0x1234), 0x0800u);
    EXPECT_EQ(OnePixel(k16, 0xFFFF, 0), 0xFFDFu);
    EXPECT_EQ(OnePixel(k32, 0x00123456, 0x00123456), 0x00010100u);
    EXPECT_EQ(OnePixel(k32, 0xFF123456, 0), 0x00133556u);
  }
  {
    // Parameter 128: 0xFFFF becomes 15, 31, 15; 31 - 15 = 16 blue, green 2*(31 - 15) = 32,
    // red 2*(15 - 7) + 1 = 17.
    DrawStateScope st(3, 128);
    EXPECT_EQ(OnePixel(k16, 0xFFFF, 0xFFFF), uint32_t(17 << 11 | 32 << 5 | 16));
  }
  {
    DrawStateScope st(3, 0);
    EXPECT_EQ(OnePixel(k16, 0x1234, 0xFFFF), 0x1234u);
    EXPECT_EQ(OnePixel(k32, 0x11223344, 0x00FFFFFF), 0x11223344u);
  }
}

TEST(FillMemImgBox, MultiplicativeIgnoresParameter) {
  for (int p : {0, 1, 255}) {
    DrawStateScope st(4, p);
    EXPECT_EQ(OnePixel(k16, 0xFFFF, 0xFFFF), 0xF7DEu);
    // 32-bit: 0x80 * 0x40 >> 8 = 0x20; 16-bit: red 16*16 >> 5 = 8, green 32*32 >> 6 = 16.
    EXPECT_EQ(OnePixel(k32, 0x12404040, 0x00808080), 0x12202020u);
    EXPECT_EQ(OnePixel(k16, 0x8410, 0x8410), uint32_t(8 << 11 | 16 << 5 | 8));
  }
}

TEST(FillMemImgBox, BrightUsesShift) {
  {
    DrawStateScope st(0, 0, 0x00FEFFFF);  // red 254, green and blue 255
    EXPECT_EQ(OnePixel(k16, 0, 0xFFFF), 0xF7DEu);
    EXPECT_EQ(OnePixel(k32, 0, 0xAAFFFFFF), 0xAAFDFEFEu);  // fourth byte unchanged
  }
  {
    // Bright off: the byte above the low 24 bits does not count.
    DrawStateScope st(0, 0, 0xFFFFFFFF);
    EXPECT_EQ(OnePixel(k16, 0, 0xFFFF), 0xFFFFu);
    EXPECT_EQ(OnePixel(k32, 0, 0x00FFFFFF), 0x00FFFFFFu);
  }
  {
    // 255 under bright 128 becomes 127 in a box.
    DrawStateScope st(0, 0, 0x808080);
    EXPECT_EQ(OnePixel(k32, 0, 0x00FFFFFF), 0x007F7F7Fu);
  }
  {
    // Bright scaling comes before the blend: additive with bright 0 adds nothing (the
    // 32-bit fourth byte becomes 0 as the packed add always does).
    DrawStateScope st(2, 255, 0);
    EXPECT_EQ(OnePixel(k16, 0x1234, 0xFFFF), 0x1234u);
    EXPECT_EQ(OnePixel(k32, 0x77123456, 0x00FFFFFF), 0x00123456u);
  }
}

TEST(FillMemImgBox, RefusedDestinationsAndModes) {
  {
    DrawStateScope st(5, 255);
    EXPECT_EQ(OnePixel(k16, 0x1234, 0xFFFF), 0x1234u);
    EXPECT_EQ(OnePixel(k32, 0x1234, 0xFFFF), 0x1234u);
  }
  {
    DrawStateScope st(-1, 255);  // read as unsigned: far above 4
    EXPECT_EQ(OnePixel(k16, 0x1234, 0xFFFF), 0x1234u);
  }
  DrawStateScope st(0, 0);
  const RECT r{0, 0, 8, 6};
  for (int which = 0; which < 5; ++which) {
    TestImage img(8, 6, k32);
    img.Fill(0x01020304);
    if (which == 0) img.img.PaletteFlag = 1;
    if (which == 1) img.img.AlphaFlag = 1;
    if (which == 2) img.img.ColorType = gfx::kMemImgByte8;
    if (which == 3) img.img.Format = zq::test::TestColorData(2);  // size disagrees with type
    if (which == 4) img.img.Format = nullptr;
    FillMemImgBox(&img.img, &r, 0xFFFFFFFF);
    for (uint32_t v : img.Pixels()) ASSERT_EQ(v, 0x01020304u) << which;
  }
  FillMemImgBox(nullptr, &r, 0);  // no image: nothing happens
}

// Draws rect with a random colour over random pixels and compares with the model applied to
// the expected box.
void CheckBox(int type, int w, int h, const RECT* rect, const RECT& expect, std::mt19937& rng) {
  const bool is16 = type == k16;
  TestImage img(w, h, type, false, false, 6);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.Set(x, y, is16 ? rng() & 0xFFFF : rng());
  const auto before = img;
  const uint32_t color = is16 ? rng() & 0xFFFF : rng();
  FillMemImgBox(&img.img, rect, color);
  const auto& st = gfx::g_DrawState;
  const uint32_t s = test::RefBright(is16, color, st.Bright);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool inside =
          x >= expect.left && x < expect.right && y >= expect.top && y < expect.bottom;
      const uint32_t d = before.Get(x, y);
      const uint32_t want = inside ? test::RefFlat(is16, st.BlendMode, st.BlendParam, s, d) : d;
      ASSERT_EQ(img.Get(x, y), want)
          << "mode " << st.BlendMode << " p " << st.BlendParam << " at " << x << "," << y;
    }
  ASSERT_TRUE(img.GuardIntact());
}

TEST(FillMemImgBox, EveryModeParameterAndBrightAgainstModel) {
  std::mt19937 rng(11);
  const RECT r{3, 2, 17, 9};
  for (int type : {k16, k32})
    for (int mode = 0; mode <= 5; ++mode)
      for (int p : {0, 1, 64, 128, 200, 254, 255})
        for (uint32_t bright : {0xFFFFFFu, 0x00FFFFu, 0x808080u, 0x10C0FFu, 0u}) {
          DrawStateScope st(mode, p, bright);
          CheckBox(type, 21, 11, &r, r, rng);
        }
}

TEST(FillMemImgBox, RectangleNormalisingAndClipping) {
  std::mt19937 rng(3);
  for (int type : {k16, k32}) {
    DrawStateScope st(2, 200, 0xFFFFFF, {2, 1, 15, 8});
    // No rectangle: the whole image, clipped to the draw area.
    CheckBox(type, 20, 10, nullptr, {2, 1, 15, 8}, rng);
    // Reversed corners fill the normalised box.
    const RECT rev{12, 7, 4, 3};
    CheckBox(type, 20, 10, &rev, {4, 3, 12, 7}, rng);
    // Overhanging every side of the draw area.
    const RECT big{-100, -5, 100, 50};
    CheckBox(type, 20, 10, &big, {2, 1, 15, 8}, rng);
    // Zero width or height, and wholly outside: nothing.
    const RECT zw{5, 2, 5, 6}, zh{5, 4, 9, 4}, out{15, 1, 19, 8}, above{2, -9, 9, 1};
    for (const RECT* r : {&zw, &zh, &out, &above}) CheckBox(type, 20, 10, r, {0, 0, 0, 0}, rng);
    // Extreme coordinates do not overflow.
    const RECT ext{INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX};
    CheckBox(type, 20, 10, &ext, {2, 1, 15, 8}, rng);
  }
  // A draw area larger than the image is cut to the image.
  for (int type : {k16, k32}) {
    DrawStateScope st(0, 0, 0xFFFFFF, {-4, -4, 640, 480});
    CheckBox(type, 9, 7, nullptr, {0, 0, 9, 7}, rng);
  }
}

// Mode 0 rows of every length and start, so the pairwise and tail stores are all exercised.
TEST(FillMemImgBox, CopyRowsOfEveryLengthAndOffset) {
  std::mt19937 rng(5);
  DrawStateScope st(0, 0);
  for (int type : {k16, k32})
    for (int left = 0; left < 4; ++left)
      for (int w = 1; w < 20; ++w) {
        const RECT r{left, 1, left + w, 3};
        CheckBox(type, 25, 4, &r, r, rng);
      }
  // Colour 0 (a byte-wise fill) and a colour whose bytes differ.
  for (uint32_t c : {0u, 0xFFFFu, 0x0101u, 0x0102u}) {
    TestImage img(7, 3, k16, false, false, 1);  // pitch 15
    img.Fill(0x5555);
    const RECT r{1, 0, 6, 3};
    FillMemImgBox(&img.img, &r, c);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) EXPECT_EQ(img.Get(x, y), x >= 1 && x < 6 ? c : 0x5555u);
    EXPECT_TRUE(img.GuardIntact());
  }
}

// Restores the row block size after a test that forces one.
class BlockBytesScope {
 public:
  explicit BlockBytesScope(int bytes) : saved_(FlatRowBlockBytes()) { FlatRowBlockBytes() = bytes; }
  ~BlockBytesScope() { FlatRowBlockBytes() = saved_; }

 private:
  int saved_;
};

// Rows long enough for whole blocks plus a rest, with every block size the machine runs
// (16 bytes always, 32 where AVX2 is present), against the model.
TEST(FillMemImgBox, WideRowsInEveryBlockSize) {
  std::vector<int> sizes = {16};
  if (FlatRowBlockBytes() == 32) sizes.push_back(32);
  std::mt19937 rng(23);
  for (int blockBytes : sizes) {
    BlockBytesScope blocks(blockBytes);
    for (int type : {k16, k32})
      for (int mode = 0; mode <= 4; ++mode)
        for (int p : {1, 77, 128, 254})
          for (uint32_t bright : {0xFFFFFFu, 0x3080F0u}) {
            DrawStateScope st(mode, p, bright);
            const RECT r{1, 1, 1 + 16 * 3 + 5, 4};
            CheckBox(type, 60, 5, &r, r, rng);
            const RECT r2{3, 0, 3 + 8 + 7, 2};
            CheckBox(type, 60, 5, &r2, r2, rng);
          }
  }
}

// 16-bit alpha blend divides by 255 without the table: every destination value against a
// few colours at chosen parameters, and every parameter against every field distance, in
// both block sizes, against the model (which divides directly).
TEST(FillMemImgBox, AlphaBlend16EveryDestinationValueAndParameter) {
  std::vector<int> sizes = {16};
  if (FlatRowBlockBytes() == 32) sizes.push_back(32);
  for (int blockBytes : sizes) {
    BlockBytesScope blocks(blockBytes);
    for (int p : {1, 2, 127, 128, 200, 253, 254})
      for (uint32_t color : {0x0000u, 0xFFFFu, 0x8410u, 0x7BEFu, 0x1234u}) {
        DrawStateScope st(1, p, 0xFFFFFF, {0, 0, 256, 256});
        TestImage img(256, 256, k16);
        for (int v = 0; v < 65536; ++v) img.Set(v & 255, v >> 8, uint32_t(v));
        FillMemImgBox(&img.img, nullptr, color);
        for (int v = 0; v < 65536; ++v) {
          ASSERT_EQ(img.Get(v & 255, v >> 8), test::RefFlat(true, 1, p, color, uint32_t(v)))
              << "p " << p << " colour " << color << " d " << v;
        }
      }
    for (int p = 1; p <= 254; ++p)
      for (uint32_t color : {0x0000u, 0xFFFFu, 0x8410u}) {
        DrawStateScope st(1, p);
        TestImage img(64, 1, k16);
        for (uint32_t x = 0; x < 64; ++x)
          img.Set(int(x), 0, (x & 31) << 11 | x << 5 | (31 - (x & 31)));
        const TestImage before = img;
        FillMemImgBox(&img.img, nullptr, color);
        for (int x = 0; x < 64; ++x) {
          ASSERT_EQ(img.Get(x, 0), test::RefFlat(true, 1, p, color, before.Get(x, 0)))
              << "p " << p << " colour " << color << " x " << x;
        }
      }
  }
}

TEST(FillMemImgBox, ParameterOutsideItsRangeIsClamped) {
  {
    DrawStateScope st(1, 300);  // as 255: a copy
    EXPECT_EQ(OnePixel(k16, 0x1234, 0xABCD), 0xABCDu);
  }
  {
    DrawStateScope st(2, -5);  // as 0: nothing
    EXPECT_EQ(OnePixel(k32, 0x11223344, 0x00FFFFFF), 0x11223344u);
  }
}

TEST(FillMemImgBox, BottomUpImageAndHostileSizes) {
  DrawStateScope st(0, 0);
  // Row 0 is the last row in memory; the pitch is negative.
  TestImage img(8, 4, k16);
  img.img.Pixels = img.bytes.data() + 3 * 16;
  img.img.Pitch = -16;
  const RECT r{1, 0, 3, 2};
  FillMemImgBox(&img.img, &r, 0x7777);
  for (int row = 0; row < 4; ++row)
    for (int x = 0; x < 8; ++x) {
      uint16_t v;
      std::memcpy(&v, img.bytes.data() + row * 16 + x * 2, 2);
      EXPECT_EQ(v, (row == 3 || row == 2) && x >= 1 && x < 3 ? 0x7777 : 0) << row << "," << x;
    }
  // Negative sizes draw nothing.
  TestImage neg(8, 4, k32);
  neg.img.Width = -8;
  FillMemImgBox(&neg.img, nullptr, 0xFFFFFFFF);
  neg.img.Width = 8;
  neg.img.Height = INT32_MIN;
  FillMemImgBox(&neg.img, nullptr, 0xFFFFFFFF);
  neg.img.Height = 4;
  for (uint32_t v : neg.Pixels()) EXPECT_EQ(v, 0u);
}

}  // namespace
}  // namespace zq::soft
