// Copy-mode kernels for every source kind and inner flag, and the flat-colour spans in
// every blend mode: single pixels with results worked by hand from the pixel rules.
#include <gtest/gtest.h>

#include <cstdint>

#include "softrender/one_texel_fixture.h"
#include "softrender/triangle.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using zq::test::ResetDrawState;
using zq::test::TestImage;

using KernelTest = OneTexelTest;

// ------------------------------------------------------------------------------------
// 16-bit sources

TEST_F(KernelTest, Direct16PlainKeyAndBright) {
  TestImage s = Direct16(0x1234);
  EXPECT_EQ(DrawOne(s, 0xFFFF, 0), 0x1234u);
  s.img.TransColor = 0x1234;
  EXPECT_EQ(DrawOne(s, 0xFFFF, 1), 0xFFFFu);  // keyed
  EXPECT_EQ(DrawOne(s, 0xFFFF, 0), 0x1234u);  // flag clear: no key
  s.img.TransColor = 0x11234;                 // above 16 bits: never matches
  EXPECT_EQ(DrawOne(s, 0xFFFF, 1), 0x1234u);

  // Bright red 128: red 31 becomes 31 * 128 / 255 = 15; green and blue stay.
  s.Set(0, 0, 0xFFFF);
  gfx::g_DrawState.Bright = 0x80FFFF;
  EXPECT_EQ(DrawOne(s, 0, 0), 0x7FFFu);
  // Bright is off whenever the low 24 bits are all ones.
  gfx::g_DrawState.Bright = 0x12FFFFFF;
  EXPECT_EQ(DrawOne(s, 0, 0), 0xFFFFu);
  // The key looks at the raw texel, before bright.
  gfx::g_DrawState.Bright = 0x80FFFF;
  s.img.TransColor = 0xFFFF;
  EXPECT_EQ(DrawOne(s, 0, 1), 0u);
}

TEST_F(KernelTest, Direct16BlendImage) {
  TestImage s = Direct16(0xF800);
  TestImage full = BlendOf(255);
  EXPECT_EQ(DrawOne(s, 0, 0, &full), 0xF000u);  // red (31*255) >> 8 = 30
  TestImage none = BlendOf(0);
  EXPECT_EQ(DrawOne(s, 0x1234, 0, &none), 0x1234u);
  // With bright red 128 the mix starts from 0x7FFF: 15, 63, 31 times 255 >> 8.
  s.Set(0, 0, 0xFFFF);
  gfx::g_DrawState.Bright = 0x80FFFF;
  TestImage again = BlendOf(255);
  EXPECT_EQ(DrawOne(s, 0, 0, &again), uint32_t(14 << 11 | 62 << 5 | 30));
}

TEST_F(KernelTest, Direct16AlphaChannel) {
  TestImage s = Alpha16(0xF800, 255);
  EXPECT_EQ(DrawOne(s, 0, 0), 0xF000u);  // mix with 255: red 30
  EXPECT_EQ(DrawOne(s, 0, 1), 0xF800u);  // flag set: alpha 255 copies exactly
  s.img.TransColor = 0xF800;             // never keyed with an alpha channel
  EXPECT_EQ(DrawOne(s, 0, 1), 0xF800u);

  s.SetAlpha16(0, 0, 0xFFE0, 128);  // red 31 -> 15, green 63 -> 31
  EXPECT_EQ(DrawOne(s, 0, 0), 0x7BE0u);
  EXPECT_EQ(DrawOne(s, 0, 1), 0x7BE0u);

  s.SetAlpha16(0, 0, 0xFFFF, 0);
  EXPECT_EQ(DrawOne(s, 0x1234, 1), 0x1234u);  // skipped
  EXPECT_EQ(DrawOne(s, 0x1234, 0), 0x1234u);  // mixed with 0: unchanged

  // Bright red 128 on 0xFFFF: alpha 255 with the flag writes the bright colour; alpha
  // 128 mixes it: 15, 63, 31 times 128 >> 8 = 7, 31, 15.
  gfx::g_DrawState.Bright = 0x80FFFF;
  s.SetAlpha16(0, 0, 0xFFFF, 255);
  EXPECT_EQ(DrawOne(s, 0, 1), 0x7FFFu);
  s.SetAlpha16(0, 0, 0xFFFF, 128);
  EXPECT_EQ(DrawOne(s, 0, 1), uint32_t(7 << 11 | 31 << 5 | 15));
}

TEST_F(KernelTest, Direct16AlphaAndBlendImage) {
  TestImage s = Alpha16(0xF800, 255);
  TestImage full = BlendOf(255);
  EXPECT_EQ(DrawOne(s, 0, 0, &full), 0xF000u);  // (31 * 65025) >> 16 = 30
  TestImage half = BlendOf(128);
  EXPECT_EQ(DrawOne(s, 0, 1, &half), 0x7800u);  // alpha 255, flag: mix with t: 15
  s.SetAlpha16(0, 0, 0xF800, 128);
  EXPECT_EQ(DrawOne(s, 0, 1, &half), 0x3800u);  // (31 * 16384) >> 16 = 7
  EXPECT_EQ(DrawOne(s, 0, 0, &half), 0x3800u);
  s.SetAlpha16(0, 0, 0xF800, 0);
  EXPECT_EQ(DrawOne(s, 0x1234, 1, &half), 0x1234u);
}

TEST_F(KernelTest, Palette16) {
  TestImage s(1, 1, 0, 1, 0, zq::test::kRowPad);
  s.SetPaletteEntry(3, 0xABCD);
  s.SetPaletteEntry(0, 0x1111);
  s.Set(0, 0, 3);
  EXPECT_EQ(DrawOne(s, 0, 0), 0xABCDu);
  s.img.TransColor = 3;
  EXPECT_EQ(DrawOne(s, 0x4444, 1), 0x4444u);  // the index is keyed
  s.img.TransColor = 0xABCD;                  // the entry is not
  EXPECT_EQ(DrawOne(s, 0x4444, 1), 0xABCDu);
  s.Set(0, 0, 0);
  s.img.TransColor = 0x100;  // no index reaches 0x100
  EXPECT_EQ(DrawOne(s, 0x4444, 1), 0x1111u);
  // An alpha-channel flag on a palettised source is not read.
  s.img.AlphaFlag = 1;
  EXPECT_EQ(DrawOne(s, 0x4444, 0), 0x1111u);
  s.img.AlphaFlag = 0;

  s.SetPaletteEntry(0, 0xFFFF);
  gfx::g_DrawState.Bright = 0xFFFFFE;  // blue 31 -> 30
  EXPECT_EQ(DrawOne(s, 0, 0), 0xFFFEu);
  TestImage full = BlendOf(255);
  gfx::g_DrawState.Bright = 0xFFFFFF;
  EXPECT_EQ(DrawOne(s, 0, 0, &full), uint32_t(30 << 11 | 62 << 5 | 30));
}

// ------------------------------------------------------------------------------------
// 32-bit sources

TEST_F(KernelTest, Direct32PlainKeyAndBright) {
  TestImage s = Direct32(0xAB112233);
  EXPECT_EQ(DrawOne(s, 0, 0), 0xAB112233u);  // all four bytes
  s.img.TransColor = 0x00112233;             // differs only in the fourth byte
  EXPECT_EQ(DrawOne(s, 0, 1), 0xAB112233u);
  s.img.TransColor = 0xAB112233;
  EXPECT_EQ(DrawOne(s, 0x77777777, 1), 0x77777777u);

  // Any bright keeps the destination's fourth byte; 0xFFFFFE lowers only blue.
  s.Set(0, 0, 0xAB1122FF);
  gfx::g_DrawState.Bright = 0xFFFFFE;
  EXPECT_EQ(DrawOne(s, 0x77000000, 0), 0x771122FEu);
  gfx::g_DrawState.Bright = 0x804020;  // red 128, green 64, blue 32
  s.Set(0, 0, 0x00FFFFFF);
  EXPECT_EQ(DrawOne(s, 0x77000000, 0), 0x77804020u);
}

TEST_F(KernelTest, Direct32BlendImage) {
  TestImage s = Direct32(0x00FF8040);
  TestImage half = BlendOf(128);
  EXPECT_EQ(DrawOne(s, 0x99000000, 0, &half), 0x997F4020u);
  // Over a non-zero destination: ((s - d) * t + (d << 8)) >> 8 per byte.
  s.Set(0, 0, 0x00000000);
  EXPECT_EQ(DrawOne(s, 0x99FF8040, 0, &half), 0x997F4020u);
}

TEST_F(KernelTest, Direct32AlphaChannel) {
  TestImage s = Direct32(0xFF102030, 1);
  EXPECT_EQ(DrawOne(s, 0x00AABBCC, 1), 0xFF102030u);  // whole texel, alpha byte too
  EXPECT_EQ(DrawOne(s, 0x5A000000, 0), 0x5A0F1F2Fu);  // mix with 255, fourth byte kept
  s.Set(0, 0, 0xFE102030);
  EXPECT_EQ(DrawOne(s, 0x5A000000, 1), 0x5A0F1F2Fu);  // 254: mix, fourth byte kept
  s.Set(0, 0, 0x00102030);
  EXPECT_EQ(DrawOne(s, 0x5A445566, 1), 0x5A445566u);
  s.img.TransColor = 0xFF102030;  // an alpha source is never keyed
  s.Set(0, 0, 0xFF102030);
  EXPECT_EQ(DrawOne(s, 0, 1), 0xFF102030u);

  gfx::g_DrawState.Bright = 0xFFFFFE;
  s.Set(0, 0, 0xFF1020FF);
  EXPECT_EQ(DrawOne(s, 0x5A000000, 1), 0x5A1020FEu);  // bright channels, fourth kept

  gfx::g_DrawState.Bright = 0xFFFFFF;
  TestImage full = BlendOf(255);
  s.Set(0, 0, 0xFF0000FF);
  EXPECT_EQ(DrawOne(s, 0x5A000000, 0, &full), 0x5A0000FDu);  // (255 * 65025) >> 16
  EXPECT_EQ(DrawOne(s, 0x5A000000, 1, &full), 0x5A0000FEu);  // alpha 255: (255*255) >> 8
}

TEST_F(KernelTest, Palette32) {
  TestImage s(1, 1, 1, 1, 0, zq::test::kRowPad);
  s.palette[5] = 0xCC112233;
  s.Set(0, 0, 5);
  EXPECT_EQ(DrawOne(s, 0, 0), 0xCC112233u);  // the whole entry
  s.img.TransColor = 5;
  EXPECT_EQ(DrawOne(s, 0x01010101, 1), 0x01010101u);
  s.img.TransColor = 0xCC112233;
  EXPECT_EQ(DrawOne(s, 0x01010101, 1), 0xCC112233u);
  gfx::g_DrawState.Bright = 0x7FFFFF;  // red 0x11 * 127 / 255 = 8
  EXPECT_EQ(DrawOne(s, 0x01000000, 0), 0x01082233u);
}

// ------------------------------------------------------------------------------------
// Flat-colour spans

class FlatTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDrawState(4, 4); }

  // Fills the two pixels (0, 0) and (1, 0) of a triangle with colour over `under`.
  uint32_t FlatOne(int colorType, uint32_t colour, uint32_t under) {
    TestImage d(4, 4, colorType, 0, 0, zq::test::kRowPad);
    d.Fill(under);
    const SoftTriangleVertex v[3] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}};
    DrawMemImgTriangle(&d.img, nullptr, v, 1, nullptr, colour);
    EXPECT_EQ(d.Get(0, 0), d.Get(1, 0));
    EXPECT_EQ(d.Get(0, 1), under);  // B's row
    EXPECT_EQ(d.Get(2, 0), under);
    return d.Get(0, 0);
  }
  void Mode(int mode, int param) {
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = param;
  }
};

TEST_F(FlatTest, Modes16) {
  EXPECT_EQ(FlatOne(0, 0x1234, 0), 0x1234u);
  EXPECT_EQ(FlatOne(0, 0xABCD1234, 0), 0x1234u);  // a 16-bit colour has 16 bits
  Mode(1, 128);
  EXPECT_EQ(FlatOne(0, 0, 0xFFFF), 0x8410u);
  Mode(1, 255);
  EXPECT_EQ(FlatOne(0, 0x1234, 0xFFFF), 0x1234u);
  Mode(1, 0);
  EXPECT_EQ(FlatOne(0, 0x1234, 0xFFFF), 0xFFFFu);
  Mode(2, 255);
  EXPECT_EQ(FlatOne(0, 0x0821, 0x0821), 0x0822u);
  EXPECT_EQ(FlatOne(0, 0xFFFF, 0xFFFF), 0xFFFFu);
  Mode(2, 0);
  EXPECT_EQ(FlatOne(0, 0xFFFF, 0x1234), 0x1234u);
  Mode(3, 255);
  EXPECT_EQ(FlatOne(0, 0, 0x1234), 0x1A14u);
  EXPECT_EQ(FlatOne(0, 0, 0xFFFF), 0xFFDFu);
  Mode(3, 0);
  EXPECT_EQ(FlatOne(0, 0xFFFF, 0x1234), 0x1234u);
  Mode(4, 0);
  EXPECT_EQ(FlatOne(0, 0xFFFF, 0xFFFF), 0xF7DEu);
  Mode(5, 255);
  EXPECT_EQ(FlatOne(0, 0xFFFF, 0x1234), 0x1234u);
  Mode(-1, 255);
  EXPECT_EQ(FlatOne(0, 0xFFFF, 0x1234), 0x1234u);
}

TEST_F(FlatTest, Modes32) {
  EXPECT_EQ(FlatOne(1, 0xAB123456, 0), 0xAB123456u);
  Mode(1, 128);
  EXPECT_EQ(FlatOne(1, 0x00FFFFFF, 0x5A000000), 0x5A7F7F7Fu);
  Mode(1, 255);
  EXPECT_EQ(FlatOne(1, 0xAB123456, 0), 0xAB123456u);
  Mode(1, 0);
  EXPECT_EQ(FlatOne(1, 0xAB123456, 7), 7u);
  Mode(2, 255);
  EXPECT_EQ(FlatOne(1, 0x00FFFFFF, 0x00FFFFFF), 0x01FFFFFFu);
  Mode(2, 0);
  EXPECT_EQ(FlatOne(1, 0x00FFFFFF, 7), 7u);
  Mode(3, 255);
  EXPECT_EQ(FlatOne(1, 0, 0xFF123456), 0x00133556u);
  Mode(3, 0);
  EXPECT_EQ(FlatOne(1, 0x00FFFFFF, 7), 7u);
  Mode(4, 17);
  EXPECT_EQ(FlatOne(1, 0x00FFFFFF, 0xFFFFFFFF), 0xFFFEFEFEu);
  Mode(7, 255);
  EXPECT_EQ(FlatOne(1, 0x00FFFFFF, 7), 7u);
}

TEST_F(FlatTest, ColourScaledByBrightEveryCall) {
  gfx::g_DrawState.Bright = 0xFFFFFE;  // blue 31 * 254 / 255 = 30
  EXPECT_EQ(FlatOne(0, 0xFFFF, 0), 0xFFFEu);
  gfx::g_DrawState.Bright = 0x80FF40;  // 255 under 128 stays 128 (not 127)
  EXPECT_EQ(FlatOne(1, 0x00FFFFFF, 0), 0x0080FF40u);
  EXPECT_EQ(FlatOne(1, 0x99FFFFFF, 0), 0x9980FF40u);
  gfx::g_DrawState.Bright = 0;
  EXPECT_EQ(FlatOne(0, 0xFFFF, 0x1234), 0u);
  EXPECT_EQ(FlatOne(1, 0x55FFFFFF, 0x12345678), 0x55000000u);
  Mode(2, 255);
  EXPECT_EQ(FlatOne(0, 0xFFFF, 0x1234), 0x1234u);
  EXPECT_EQ(FlatOne(1, 0x55FFFFFF, 0xAA123456), 0x00123456u);
}

TEST_F(FlatTest, TransparentFlagAndBlendImageAreNotRead) {
  TestImage tiny(1, 1, 2, 0, 0,
                 zq::test::kRowPad);  // would be refused as a blend image of any textured draw
  TestImage d(4, 4, 0, 0, 0, zq::test::kRowPad);
  const SoftTriangleVertex v[3] = {{0, 0, 0, 0}, {3, 0, 0, 0}, {0, 3, 0, 0}};
  d.Fill(0x1111);
  DrawMemImgTriangle(&d.img, nullptr, v, 1, &tiny.img, 0);
  EXPECT_EQ(d.Get(0, 0), 0u);
  EXPECT_EQ(d.Get(3, 0), 0u);
  EXPECT_EQ(d.Get(0, 2), 0u);
  EXPECT_EQ(d.Get(0, 3), 0x1111u);
}

}  // namespace
}  // namespace zq::soft
