#include "softrender/boxes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <tuple>

#include "platform/os/cpu.h"
#include "softrender/blit_reference.h"
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

TEST(FillMemImgBox, OnePixelWorkedByHand) {
  struct Case {
    int mode, param;
    uint32_t bright;
    int type;
    uint32_t dst, color, want;
  };
  constexpr uint32_t kOff = 0xFFFFFF;
  const Case cases[] = {
      // Copy: the 32-bit fourth byte written; bits above 15 of a 16-bit colour dropped.
      {0, 0, kOff, k16, 0x1234, 0xABCD, 0xABCD},
      {0, 0, kOff, k16, 0x1234, 0xFFFFABCD, 0xABCD},
      // Alpha blend at 128: the destination's fourth byte kept, the colour's ignored; 32-bit
      // rounds toward minus infinity: (10 - 20)*128 + 20*256 = 3840, >> 8 = 15; 16-bit
      // toward zero: blue 20 + 128*(10 - 20)/255 = 20 - 5 = 15.
      {1, 128, kOff, k32, 0x5A000000, 0xFFFFFFFF, 0x5A7F7F7F},
      {1, 128, kOff, k16, 0x0014, 0x000A, 0x000F},
      // At 255 a copy, fourth byte included; at 0 nothing.
      {1, 255, kOff, k16, 0x1234, 0xABCD, 0xABCD},
      {1, 0, kOff, k32, 0x11223344, 0xAABBCCDD, 0x11223344},
      // Additive; at 128 each field scaled first (31 -> 15, 63 -> 31, 255 -> 128), the
      // fourth byte dropped; at 0 nothing.
      {2, 255, kOff, k16, 0x0821, 0x0821, 0x0822},
      {2, 255, kOff, k32, 0x00FFFFFF, 0x00FFFFFF, 0x01FFFFFF},
      {2, 128, kOff, k16, 0, 0xFFFF, 0x7BEF},
      {2, 128, kOff, k32, 0x77000000, 0x00FFFFFF, 0x00808080},
      {2, 0, kOff, k32, 0x11223344, 0x00FFFFFF, 0x11223344},
      // Subtractive; at 128 0xFFFF becomes 15, 31, 15: 31 - 15 = 16 blue, green
      // 2*(31 - 15) = 32, red 2*(15 - 7) + 1 = 17; at 0 nothing.
      {3, 255, kOff, k16, 0x1234, 0x1234, 0x0800},
      {3, 255, kOff, k32, 0xFF123456, 0, 0x00133556},
      {3, 128, kOff, k16, 0xFFFF, 0xFFFF, 17 << 11 | 32 << 5 | 16},
      {3, 0, kOff, k32, 0x11223344, 0x00FFFFFF, 0x11223344},
      // Multiplicative ignores the parameter: 32-bit 0x80 * 0x40 >> 8 = 0x20; 16-bit red
      // 16*16 >> 5 = 8, green 32*32 >> 6 = 16.
      {4, 0, kOff, k16, 0xFFFF, 0xFFFF, 0xF7DE},
      {4, 1, kOff, k32, 0x12404040, 0x00808080, 0x12202020},
      {4, 255, kOff, k16, 0x8410, 0x8410, 8 << 11 | 16 << 5 | 8},
      // Bright by shift: red 254 (fourth byte unchanged); 0xFFFFFFFF is off (the byte above
      // the low 24 bits does not count); 255 under 128 becomes 127 in a box.
      {0, 0, 0x00FEFFFF, k16, 0, 0xFFFF, 0xF7DE},
      {0, 0, 0x00FEFFFF, k32, 0, 0xAAFFFFFF, 0xAAFDFEFE},
      {0, 0, 0xFFFFFFFF, k16, 0, 0xFFFF, 0xFFFF},
      {0, 0, 0x808080, k32, 0, 0x00FFFFFF, 0x007F7F7F},
      // Bright comes before the blend: additive with bright 0 adds nothing (the 32-bit
      // fourth byte becomes 0 as the packed add always does).
      {2, 255, 0, k16, 0x1234, 0xFFFF, 0x1234},
      {2, 255, 0, k32, 0x77123456, 0x00FFFFFF, 0x00123456},
      // Parameters outside 0..255 clamp (300 as 255: a copy; -5 as 0: nothing); modes above
      // 4, and -1 read as unsigned, draw nothing.
      {1, 300, kOff, k16, 0x1234, 0xABCD, 0xABCD},
      {2, -5, kOff, k32, 0x11223344, 0x00FFFFFF, 0x11223344},
      {5, 255, kOff, k16, 0x1234, 0xFFFF, 0x1234},
      {-1, 255, kOff, k16, 0x1234, 0xFFFF, 0x1234},
  };
  for (const Case& c : cases) {
    DrawStateScope st(c.mode, c.param, c.bright);
    EXPECT_EQ(OnePixel(c.type, c.dst, c.color), c.want)
        << "mode " << c.mode << " p " << c.param << " type " << c.type << " colour " << c.color;
  }
}

TEST(FillMemImgBox, RefusedDestinations) {
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

// Caps the dispatch level for one test.
class LevelScope {
 public:
  explicit LevelScope(platform::CpuLevel level) { platform::LimitCpuLevel(level); }
  ~LevelScope() { platform::LimitCpuLevel(platform::CpuLevel::kAvx2); }
};

constexpr platform::CpuLevel kEveryLevel[] = {
    platform::CpuLevel::kScalar, platform::CpuLevel::kVector16, platform::CpuLevel::kAvx2};

// Random boxes in every mode (and 5), parameter and bright, rows of every length and start
// (whole blocks of every block size and a rest), in every dispatch level, against the model
// (which divides directly where the 16-bit alpha blend divides by 255 without the table).
TEST(FillMemImgBox, RandomBoxesAgainstModel) {
  std::mt19937 rng(23);
  auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
  for (auto level : kEveryLevel) {
    LevelScope scope(level);
    for (int it = 0; it < 1500; ++it) {
      const int mode = pick(6), p = pick(3) ? pick(256) : std::array{0, 1, 128, 254, 255}[pick(5)];
      const uint32_t bright = pick(3) ? 0xFFFFFF : pick(8) ? uint32_t(rng()) & 0xFFFFFF : 0;
      DrawStateScope st(mode, p, bright);
      const int left = pick(5), top = pick(3);
      const RECT box{left, top, left + 1 + pick(pick(2) ? 20 : 60), 3 + pick(2)};
      CheckBox(pick(2) ? k16 : k32, 66, 5, &box, box, rng);
    }
  }
  // Colour 0 (a byte-wise fill) and colours whose bytes are equal or differ.
  for (uint32_t c : {0u, 0xFFFFu, 0x0101u, 0x0102u}) {
    TestImage img(7, 3, k16, false, false, 1);  // pitch 15
    img.Fill(0x5555);
    const RECT r{1, 0, 6, 3};
    DrawStateScope st(0, 0);
    FillMemImgBox(&img.img, &r, c);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) EXPECT_EQ(img.Get(x, y), x >= 1 && x < 6 ? c : 0x5555u);
    EXPECT_TRUE(img.GuardIntact());
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
