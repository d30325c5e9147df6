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

// ---- channel derivation -------------------------------------------------------------

TEST(ColorDataMasks, ShiftsAndWidths) {
  const struct {
    int depth;
    uint32_t r, g, b, a;
    std::array<int, 8> layout;
    int64_t nm;  // -1: not checked
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
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.r << " " << c.g << " " << c.b << " " << c.a);
    const ColorData d = Masks(c.depth, c.r, c.g, c.b, c.a);
    EXPECT_EQ(d.ColorBitDepth, c.depth);
    EXPECT_EQ(d.PixelByte, c.depth / 8);
    EXPECT_EQ(Layout(d), c.layout);
    if (c.nm >= 0) {
      EXPECT_EQ(d.NM, uint32_t(c.nm));
    }
  }
  const ColorData d = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
  EXPECT_EQ(d.RM, 0xF800u);
  EXPECT_EQ(d.AM, 0u);
}

TEST(ColorDataMasks, BadDepthRefused) {
  ColorData d{};
  EXPECT_EQ(SetupColorDataFromMasks(&d, -8, 0xFF, 0, 0, 0), -1);
  EXPECT_EQ(SetupColorDataFromMasks(&d, 33, 0xFF, 0, 0, 0), -1);
  EXPECT_EQ(SetupColorDataFromMasks(nullptr, 16, 0xFF, 0, 0, 0), -1);
}

TEST(ColorDataMasks, FromPixelFormat) {
  const platform::PixelFormat pf{
      sizeof(platform::PixelFormat), platform::PF_RGB, 0, 16, 0x7C00, 0x03E0, 0x001F, 0};
  ColorData d{};
  d.Palette[3] = 0xABCDEF;
  EXPECT_EQ(ColorDataFromPixelFormat(&pf, &d), 0);
  EXPECT_EQ(d.ColorBitDepth, 16);
  EXPECT_EQ(d.PixelByte, 2);
  EXPECT_EQ(Layout(d), (std::array<int, 8>{10, 5, 5, 5, 0, 5, 0, 0}));
  EXPECT_EQ(d.NM, 0x8000u);
  EXPECT_EQ(d.Palette[3], 0xABCDEFu);  // palette untouched
  EXPECT_EQ(ColorDataFromPixelFormat(nullptr, &d), -1);
}

// ---- NM -----------------------------------------------------------------------------

TEST(ColorDataNm, UncoveredBitsOrZeroWhenWidthsFill) {
  EXPECT_EQ(Masks(32, 0xFF0000, 0xFF00, 0xFF, 0).NM, 0xFF000000u);
  EXPECT_EQ(Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000).NM, 0u);
  EXPECT_EQ(Masks(24, 0xFF0000, 0xFF00, 0xFF, 0).NM, 0u);
  EXPECT_EQ(Masks(16, 0x7C00, 0x03E0, 0x001F, 0).NM, 0x8000u);
  EXPECT_EQ(Masks(16, 0x7C00, 0x03E0, 0x001F, 0x8000).NM, 0u);
  // 16-bit colour with an alpha byte in a 32-bit pixel: the top byte is spare.
  EXPECT_EQ(Masks(32, 0xF800, 0x07E0, 0x001F, 0xFF0000).NM, 0xFF000000u);

  ColorData d{};
  d.ColorBitDepth = 16;
  d.RM = 0xF800;
  d.RW = 5;
  d.NM = 0x1234;
  EXPECT_EQ(CompleteColorData(&d), 0);
  EXPECT_EQ(d.NM, 0x07FFu);
}

// ---- packing ------------------------------------------------------------------------

TEST(PackColorByData, Rgb565) {
  const ColorData d = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
  EXPECT_EQ(PackColorByData(&d, 255, 255, 255, 0), 0xFFFFu);
  EXPECT_EQ(PackColorByData(&d, 0, 0, 0, 255), 0u);  // no alpha channel: alpha ignored
  // 0x12>>3 = 2 <<11, 0x34>>2 = 13 <<5, 0x56>>3 = 10.
  EXPECT_EQ(PackColorByData(&d, 0x12, 0x34, 0x56, 255), 0x11AAu);
  // 200>>3 = 25 <<11 = 0xC800, 100>>2 = 25 <<5 = 0x320, 50>>3 = 6.
  EXPECT_EQ(PackColorByData(&d, 200, 100, 50, 0), 0xCB26u);
  EXPECT_EQ(PackColorByData(&d, 7, 3, 7, 0), 0u);  // below one step of each channel
}

TEST(PackColorByData, Rgb555AddsUnusedTopBit) {
  const ColorData d = Masks(16, 0x7C00, 0x03E0, 0x001F, 0);
  EXPECT_EQ(PackColorByData(&d, 0, 0, 0, 0), 0x8000u);
  // 2 <<10 = 0x800, 0x34>>3 = 6 <<5 = 0xC0, 0x56>>3 = 0xA.
  EXPECT_EQ(PackColorByData(&d, 0x12, 0x34, 0x56, 0), 0x88CAu);
  EXPECT_EQ(PackColorByData(&d, 255, 255, 255, 0), 0xFFFFu);
}

TEST(PackColorByData, ThirtyTwoBit) {
  const ColorData x = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
  EXPECT_EQ(PackColorByData(&x, 0x12, 0x34, 0x56, 0x78), 0xFF123456u);
  const ColorData a = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
  EXPECT_EQ(PackColorByData(&a, 0x12, 0x34, 0x56, 0x78), 0x78123456u);
  EXPECT_EQ(PackColorByData(&a, 0, 0, 0, 0), 0u);
  // Blue in the high byte (ABGR).
  const ColorData b = Masks(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000);
  EXPECT_EQ(PackColorByData(&b, 0x12, 0x34, 0x56, 0x78), 0x78563412u);
}

TEST(PackColorByData, PalettisedDescriptor) {
  ColorData d{};
  SetupColorDataPal8(&d);
  EXPECT_EQ(PackColorByData(&d, 0x12, 0x34, 0x56, 0x78), 0xFF123456u);
  SetupColorDataRGB24(&d);
  EXPECT_EQ(PackColorByData(&d, 0x12, 0x34, 0x56, 0x78), 0x123456u);
}

TEST(PackColorByData, WideChannelsShiftUp) {
  const ColorData d = Masks(32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000);
  // R 255<<2 = 1020 <<20, G 128<<2 = 512 <<10, B 1<<2 = 4, A 255>>6 = 3 <<30.
  EXPECT_EQ(PackColorByData(&d, 255, 128, 1, 255), 0xFFC80004u);
  EXPECT_EQ(PackColorByData(&d, 0, 0, 0, 64), 0x40000000u);
  // A 16-bit single channel.
  const ColorData w = Masks(16, 0, 0, 0, 0xFFFF);
  EXPECT_EQ(PackColorByData(&w, 255, 255, 255, 0xAB), 0xAB00u);
}

TEST(PackColorByData, ZeroWidthChannelAndHostileValues) {
  const ColorData d = Masks(16, 0xF800, 0, 0x001F, 0);
  // Green has no bits: only NM fills them, whatever green is.
  EXPECT_EQ(PackColorByData(&d, 0, 255, 0, 0), 0x07E0u);
  EXPECT_EQ(PackColorByData(&d, 255, 0, 255, 0), 0xFFFFu);
  // Out-of-range components are held to 0..255 and cannot spill into a neighbour.
  const ColorData r = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
  EXPECT_EQ(PackColorByData(&r, 0, 0, 4096, 0), 0x001Fu);
  EXPECT_EQ(PackColorByData(&r, -5, 0, 0, 0), 0u);
  // Impossible hand-filled widths and shifts do not shift past the word.
  ColorData bad{};
  bad.ColorBitDepth = 32;
  bad.RW = 200;
  bad.RL = 3;
  bad.GW = 8;
  bad.GL = 40;
  EXPECT_EQ(PackColorByData(&bad, 255, 255, 0, 0), 0xF8000000u);  // width held to 32
  EXPECT_EQ(PackColorByData(nullptr, 1, 2, 3, 4), 0u);
}

// ---- comparison and presets ---------------------------------------------------------

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

TEST(ColorDataPresets, Pal8Byte8Rgb24) {
  ColorData d{};
  d.Palette[7] = 0x112233;
  EXPECT_EQ(SetupColorDataPal8(&d), 0);
  EXPECT_EQ(std::tuple(d.ColorBitDepth, d.PixelByte), std::tuple(8, 1));
  EXPECT_EQ(std::tuple(d.RM, d.GM, d.BM, d.AM, d.NM),
            std::tuple(0xFF0000u, 0xFF00u, 0xFFu, 0u, 0xFF000000u));
  EXPECT_EQ(d.RW + d.GW + d.BW, 24);
  EXPECT_EQ(std::tuple(d.AW, d.RL, d.GL, d.BL), std::tuple(0, 16, 8, 0));
  EXPECT_EQ(d.Palette[7], 0x112233u);

  EXPECT_EQ(SetupColorDataByte8(&d), 0);
  EXPECT_EQ(d.NM, 0xFF000000u);
  EXPECT_EQ(d.Palette[0], 0u);
  EXPECT_EQ(d.Palette[7], 0x070707u);
  EXPECT_EQ(d.Palette[0x80], 0x808080u);
  EXPECT_EQ(d.Palette[255], 0xFFFFFFu);

  EXPECT_EQ(SetupColorDataRGB24(&d), 0);
  EXPECT_EQ(std::tuple(d.ColorBitDepth, d.PixelByte, d.RL), std::tuple(24, 3, 16));
  EXPECT_EQ(std::tuple(d.BM, d.NM), std::tuple(0xFFu, 0u));
  EXPECT_EQ(d.Palette[255], 0xFFFFFFu);  // palette left as it was
}

}  // namespace
}  // namespace zq::gfx
