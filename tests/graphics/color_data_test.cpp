#include "graphics/ddraw/color_data.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

namespace zq::gfx {
namespace {

ColorData Masks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorData d{};
  EXPECT_EQ(SetupColorDataFromMasks(&d, depth, r, g, b, a), 0);
  return d;
}

// Shift and width of each channel: RL, RW, GL, GW, BL, BW, AL, AW.
std::array<int, 8> Layout(const ColorData& d) {
  return {d.RL, d.RW, d.GL, d.GW, d.BL, d.BW, d.AL, d.AW};
}

// ---- channel derivation ----

TEST(ColorDataMasks, ShiftsWidthsAndUncoveredBits) {
  const struct {
    int depth;
    uint32_t r, g, b, a;
    std::array<int, 8> layout;  // all zero: not checked
    int64_t nm;                 // -1: not checked
  } cases[] = {
      {16, 0xF800, 0x07E0, 0x001F, 0, {11, 5, 5, 6, 0, 5, 0, 0}, 0},
      {16, 0x0F00, 0x00F0, 0x000F, 0xF000, {8, 4, 4, 4, 0, 4, 12, 4}, 0},
      {32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000, {20, 10, 10, 10, 0, 10, 30, 2}, 0},
      // A zero mask gets shift 0 and width 0; NM holds the uncovered green bits.
      {16, 0xF800, 0, 0x001F, 0, {11, 5, 0, 0, 0, 5, 0, 0}, 0x07E0},
      // Non-contiguous: only the run from the lowest set bit counts.
      {16, 0x0F0F, 0x00F0 << 8, 0x8001, 0, {0, 4, 12, 4, 0, 1, 0, 0}, -1},
      // Top bit and full word.
      {32, 0x80000000, 0xFFFFFFFF, 0, 0, {31, 1, 0, 32, 0, 0, 0, 0}, -1},
      {32, 0xFF0000, 0xFF00, 0xFF, 0, {}, 0xFF000000},
      {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, {}, 0},
      {24, 0xFF0000, 0xFF00, 0xFF, 0, {}, 0},
      {16, 0x7C00, 0x03E0, 0x001F, 0, {10, 5, 5, 5, 0, 5, 0, 0}, 0x8000},
      {16, 0x7C00, 0x03E0, 0x001F, 0x8000, {}, 0},
      // 16-bit colour with an alpha byte in a 32-bit pixel: the top byte is spare.
      {32, 0xF800, 0x07E0, 0x001F, 0xFF0000, {}, 0xFF000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.r << " " << c.g << " " << c.b << " " << c.a);
    const ColorData d = Masks(c.depth, c.r, c.g, c.b, c.a);
    EXPECT_EQ(std::tuple(int(d.ColorBitDepth), int(d.PixelByte), d.RM, d.GM, d.BM, d.AM),
              std::tuple(c.depth, c.depth / 8, c.r, c.g, c.b, c.a));
    EXPECT_TRUE((c.layout == std::array<int, 8>{} || Layout(d) == c.layout));
    EXPECT_EQ(c.nm < 0 ? -1 : int64_t(d.NM), c.nm);
  }
  ColorData d{};
  EXPECT_EQ(SetupColorDataFromMasks(&d, -8, 0xFF, 0, 0, 0), -1);
  EXPECT_EQ(SetupColorDataFromMasks(&d, 33, 0xFF, 0, 0, 0), -1);
  EXPECT_EQ(SetupColorDataFromMasks(nullptr, 16, 0xFF, 0, 0, 0), -1);
  // Completing a hand-filled descriptor recomputes NM.
  d.ColorBitDepth = 16;
  d.RM = 0xF800;
  d.RW = 5;
  d.NM = 0x1234;
  EXPECT_EQ(CompleteColorData(&d), 0);
  EXPECT_EQ(d.NM, 0x07FFu);
}

TEST(ColorDataMasks, FromPixelFormat) {
  const platform::PixelFormat pf{
      sizeof(platform::PixelFormat), platform::PF_RGB, 0, 16, 0x7C00, 0x03E0, 0x001F, 0};
  ColorData d{};
  d.Palette[3] = 0xABCDEF;
  EXPECT_EQ(ColorDataFromPixelFormat(&pf, &d), 0);
  EXPECT_EQ(std::tuple(d.ColorBitDepth, d.PixelByte, d.NM), std::tuple(16, 2, 0x8000u));
  EXPECT_EQ(Layout(d), (std::array<int, 8>{10, 5, 5, 5, 0, 5, 0, 0}));
  EXPECT_EQ(d.Palette[3], 0xABCDEFu);  // palette untouched
  EXPECT_EQ(ColorDataFromPixelFormat(nullptr, &d), -1);
}

// ---- packing ----

// Each channel's top bits (or the value shifted up into a wider channel); uncovered bits set.
TEST(PackColorByData, Table) {
  ColorData pal{}, rgb24{}, bad{};
  SetupColorDataPal8(&pal);
  SetupColorDataRGB24(&rgb24);
  // Impossible hand-filled widths and shifts do not shift past the word (width held to 32).
  bad.ColorBitDepth = 32;
  bad.RW = 200, bad.RL = 3, bad.GW = 8, bad.GL = 40;
  const ColorData r565 = Masks(16, 0xF800, 0x07E0, 0x001F, 0),
                  r555 = Masks(16, 0x7C00, 0x03E0, 0x001F, 0);
  const ColorData argb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
  const ColorData wide = Masks(32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000);
  const ColorData noGreen = Masks(16, 0xF800, 0, 0x001F, 0);
  const struct {
    const ColorData* f;
    int r, g, b, a;
    uint32_t want;
  } cases[] = {
      {&r565, 255, 255, 255, 0, 0xFFFF},
      {&r565, 0, 0, 0, 255, 0},                // no alpha channel: alpha ignored
      {&r565, 0x12, 0x34, 0x56, 255, 0x11AA},  // 2 << 11, 13 << 5, 10
      {&r565, 200, 100, 50, 0, 0xCB26},        // 25 << 11, 25 << 5, 6
      {&r565, 7, 3, 7, 0, 0},                  // below one step of each channel
      {&r565, 0, 0, 4096, 0, 0x001F},          // out of range: held to 0..255, no spill
      {&r565, -5, 0, 0, 0, 0},
      {&r555, 0, 0, 0, 0, 0x8000},  // the unused top bit
      {&r555, 0x12, 0x34, 0x56, 0, 0x88CA},
      {&r555, 255, 255, 255, 0, 0xFFFF},
      {&argb, 0x12, 0x34, 0x56, 0x78, 0x78123456},
      {&argb, 0, 0, 0, 0, 0},
      {&wide, 255, 128, 1, 255, 0xFFC80004},  // 1020 << 20, 512 << 10, 4, 3 << 30
      {&wide, 0, 0, 0, 64, 0x40000000},
      {&noGreen, 0, 255, 0, 0, 0x07E0},  // green has no bits: only NM fills them
      {&noGreen, 255, 0, 255, 0, 0xFFFF},
      {&pal, 0x12, 0x34, 0x56, 0x78, 0xFF123456},
      {&rgb24, 0x12, 0x34, 0x56, 0x78, 0x123456},
      {&bad, 255, 255, 0, 0, 0xF8000000},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PackColorByData(c.f, c.r, c.g, c.b, c.a), c.want)
        << std::hex << c.f->RM << " " << c.r << " " << c.g << " " << c.b << " " << c.a;
  const ColorData x = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
  EXPECT_EQ(PackColorByData(&x, 0x12, 0x34, 0x56, 0x78), 0xFF123456u);
  const ColorData abgr = Masks(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000);
  EXPECT_EQ(PackColorByData(&abgr, 0x12, 0x34, 0x56, 0x78), 0x78563412u);
  const ColorData single = Masks(16, 0, 0, 0, 0xFFFF);
  EXPECT_EQ(PackColorByData(&single, 255, 255, 255, 0xAB), 0xAB00u);
  EXPECT_EQ(PackColorByData(nullptr, 1, 2, 3, 4), 0u);
}

// ---- comparison ----

TEST(IsSameColorData, DepthAndMasksOnly) {
  const ColorData a = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
  ColorData b = a;
  b.Palette[0] = 1;
  b.NM = 5;
  b.PixelByte = 4;
  EXPECT_EQ(IsSameColorData(&a, &b), 1);
  b = a;
  b.AM = 0x10000;
  EXPECT_EQ(IsSameColorData(&a, &b), 0);
  b = a;
  b.ColorBitDepth = 32;
  EXPECT_EQ(IsSameColorData(&a, &b), 0);
  const ColorData c = Masks(16, 0x001F, 0x07E0, 0xF800, 0);
  EXPECT_EQ(IsSameColorData(&a, &c), 0);
  EXPECT_EQ(IsSameColorData(&a, nullptr), 0);
}

}  // namespace
}  // namespace zq::gfx
