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

TEST_F(KernelTest, Direct16) {
  const TexelCase cases[] = {
      // Plain; keyed only under the flag; a key above 16 bits never matches.
      {D16, 0x1234, 0, kDef, 0, 0, kOff, -1, 0xFFFF, 0, 0x1234},
      {D16, 0x1234, 0, 0x1234, 0, 0, kOff, -1, 0xFFFF, 1, 0xFFFF},
      {D16, 0x1234, 0, 0x1234, 0, 0, kOff, -1, 0xFFFF, 0, 0x1234},
      {D16, 0x1234, 0, 0x11234, 0, 0, kOff, -1, 0xFFFF, 1, 0x1234},
      // Bright red 128: red 31 becomes 31 * 128 / 255 = 15; green and blue stay. Bright is
      // off whenever the low 24 bits are all ones. The key looks at the raw texel.
      {D16, 0xFFFF, 0, 0x11234, 0, 0, 0x80FFFF, -1, 0, 0, 0x7FFF},
      {D16, 0xFFFF, 0, 0x11234, 0, 0, 0x12FFFFFF, -1, 0, 0, 0xFFFF},
      {D16, 0xFFFF, 0, 0xFFFF, 0, 0, 0x80FFFF, -1, 0, 1, 0},
      // Blend image: red (31*255) >> 8 = 30; amount 0 keeps d; with bright red 128 the mix
      // starts from 0x7FFF: 15, 63, 31 times 255 >> 8.
      {D16, 0xF800, 0, kDef, 0, 0, kOff, 255, 0, 0, 0xF000},
      {D16, 0xF800, 0, kDef, 0, 0, kOff, 0, 0x1234, 0, 0x1234},
      {D16, 0xFFFF, 0, kDef, 0, 0, 0x80FFFF, 255, 0, 0, 14 << 11 | 62 << 5 | 30},
      // Alpha channel: 255 mixes (red 30) without the flag and copies exactly with it,
      // never keyed; 128 halves (red 31 -> 15, green 63 -> 31) with or without the flag;
      // 0 is skipped with the flag and mixes to d without.
      {A16, 0xF800, 255, kDef, 0, 0, kOff, -1, 0, 0, 0xF000},
      {A16, 0xF800, 255, kDef, 0, 0, kOff, -1, 0, 1, 0xF800},
      {A16, 0xF800, 255, 0xF800, 0, 0, kOff, -1, 0, 1, 0xF800},
      {A16, 0xFFE0, 128, 0xF800, 0, 0, kOff, -1, 0, 0, 0x7BE0},
      {A16, 0xFFE0, 128, 0xF800, 0, 0, kOff, -1, 0, 1, 0x7BE0},
      {A16, 0xFFFF, 0, 0xF800, 0, 0, kOff, -1, 0x1234, 1, 0x1234},
      {A16, 0xFFFF, 0, 0xF800, 0, 0, kOff, -1, 0x1234, 0, 0x1234},
      // Bright red 128 on 0xFFFF: alpha 255 with the flag writes the bright colour; alpha
      // 128 mixes it: 15, 63, 31 times 128 >> 8 = 7, 31, 15.
      {A16, 0xFFFF, 255, 0xF800, 0, 0, 0x80FFFF, -1, 0, 1, 0x7FFF},
      {A16, 0xFFFF, 128, 0xF800, 0, 0, 0x80FFFF, -1, 0, 1, 7 << 11 | 31 << 5 | 15},
      // Alpha and blend image: (31 * 65025) >> 16 = 30; alpha 255 under the flag mixes with
      // t alone: 15; alpha 128, t 128: (31 * 16384) >> 16 = 7; alpha 0 skipped.
      {A16, 0xF800, 255, kDef, 0, 0, kOff, 255, 0, 0, 0xF000},
      {A16, 0xF800, 255, kDef, 0, 0, kOff, 128, 0, 1, 0x7800},
      {A16, 0xF800, 128, kDef, 0, 0, kOff, 128, 0, 1, 0x3800},
      {A16, 0xF800, 128, kDef, 0, 0, kOff, 128, 0, 0, 0x3800},
      {A16, 0xF800, 0, kDef, 0, 0, kOff, 128, 0x1234, 1, 0x1234},
  };
  ExpectCases(cases);
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

TEST_F(KernelTest, Direct32) {
  const TexelCase cases[] = {
      // All four bytes; a key differing only in the fourth byte does not match.
      {D32, 0xAB112233, 0, kDef, 0, 0, kOff, -1, 0, 0, 0xAB112233},
      {D32, 0xAB112233, 0, 0x00112233, 0, 0, kOff, -1, 0, 1, 0xAB112233},
      {D32, 0xAB112233, 0, 0xAB112233, 0, 0, kOff, -1, 0x77777777, 1, 0x77777777},
      // Any bright keeps the destination's fourth byte; 0xFFFFFE lowers only blue;
      // 0x804020 is red 128, green 64, blue 32.
      {D32, 0xAB1122FF, 0, 0xAB112233, 0, 0, 0xFFFFFE, -1, 0x77000000, 0, 0x771122FE},
      {D32, 0x00FFFFFF, 0, 0xAB112233, 0, 0, 0x804020, -1, 0x77000000, 0, 0x77804020},
      // Blend image over a zero or non-zero destination: ((s - d) * t + (d << 8)) >> 8.
      {D32, 0x00FF8040, 0, kDef, 0, 0, kOff, 128, 0x99000000, 0, 0x997F4020},
      {D32, 0x00000000, 0, kDef, 0, 0, kOff, 128, 0x99FF8040, 0, 0x997F4020},
      // Alpha channel: 255 under the flag writes the whole texel, alpha byte too; without
      // it a mix with 255, fourth byte kept; 254 mixes; 0 is skipped; never keyed.
      {A32, 0xFF102030, 0, kDef, 0, 0, kOff, -1, 0x00AABBCC, 1, 0xFF102030},
      {A32, 0xFF102030, 0, kDef, 0, 0, kOff, -1, 0x5A000000, 0, 0x5A0F1F2F},
      {A32, 0xFE102030, 0, kDef, 0, 0, kOff, -1, 0x5A000000, 1, 0x5A0F1F2F},
      {A32, 0x00102030, 0, kDef, 0, 0, kOff, -1, 0x5A445566, 1, 0x5A445566},
      {A32, 0xFF102030, 0, 0xFF102030, 0, 0, kOff, -1, 0, 1, 0xFF102030},
      // Bright: the bright channels, fourth byte kept.
      {A32, 0xFF1020FF, 0, 0xFF102030, 0, 0, 0xFFFFFE, -1, 0x5A000000, 1, 0x5A1020FE},
      // With a blend image: (255 * 65025) >> 16; alpha 255 under the flag: (255*255) >> 8.
      {A32, 0xFF0000FF, 0, 0xFF102030, 0, 0, kOff, 255, 0x5A000000, 0, 0x5A0000FD},
      {A32, 0xFF0000FF, 0, 0xFF102030, 0, 0, kOff, 255, 0x5A000000, 1, 0x5A0000FE},
  };
  ExpectCases(cases);
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

TEST_F(FlatTest, ModesAndBright) {
  struct Case {
    int type, mode, param;
    uint32_t bright, colour, under, want;
  };
  constexpr uint32_t kOff = 0xFFFFFF;
  const Case cases[] = {
      // 16-bit: a 16-bit colour has 16 bits; the shortcuts at 0 and 255; saturated add and
      // subtract; modes outside 0..4 (and -1) draw nothing.
      {0, 0, 0, kOff, 0x1234, 0, 0x1234},
      {0, 0, 0, kOff, 0xABCD1234, 0, 0x1234},
      {0, 1, 128, kOff, 0, 0xFFFF, 0x8410},
      {0, 1, 255, kOff, 0x1234, 0xFFFF, 0x1234},
      {0, 1, 0, kOff, 0x1234, 0xFFFF, 0xFFFF},
      {0, 2, 255, kOff, 0x0821, 0x0821, 0x0822},
      {0, 2, 255, kOff, 0xFFFF, 0xFFFF, 0xFFFF},
      {0, 2, 0, kOff, 0xFFFF, 0x1234, 0x1234},
      {0, 3, 255, kOff, 0, 0x1234, 0x1A14},
      {0, 3, 255, kOff, 0, 0xFFFF, 0xFFDF},
      {0, 3, 0, kOff, 0xFFFF, 0x1234, 0x1234},
      {0, 4, 0, kOff, 0xFFFF, 0xFFFF, 0xF7DE},
      {0, 5, 255, kOff, 0xFFFF, 0x1234, 0x1234},
      {0, -1, 255, kOff, 0xFFFF, 0x1234, 0x1234},
      // 32-bit: the fourth byte as each mode leaves it.
      {1, 0, 0, kOff, 0xAB123456, 0, 0xAB123456},
      {1, 1, 128, kOff, 0x00FFFFFF, 0x5A000000, 0x5A7F7F7F},
      {1, 1, 255, kOff, 0xAB123456, 0, 0xAB123456},
      {1, 1, 0, kOff, 0xAB123456, 7, 7},
      {1, 2, 255, kOff, 0x00FFFFFF, 0x00FFFFFF, 0x01FFFFFF},
      {1, 2, 0, kOff, 0x00FFFFFF, 7, 7},
      {1, 3, 255, kOff, 0, 0xFF123456, 0x00133556},
      {1, 3, 0, kOff, 0x00FFFFFF, 7, 7},
      {1, 4, 17, kOff, 0x00FFFFFF, 0xFFFFFFFF, 0xFFFEFEFE},
      {1, 7, 255, kOff, 0x00FFFFFF, 7, 7},
      // The colour scaled by bright on every call: blue 31 * 254 / 255 = 30; 255 under 128
      // stays 128 (not 127); bright 0 gives black (the fourth byte of a 32-bit colour kept
      // in a copy, cleared by the packed add, which then adds nothing).
      {0, 0, 0, 0xFFFFFE, 0xFFFF, 0, 0xFFFE},
      {1, 0, 0, 0x80FF40, 0x00FFFFFF, 0, 0x0080FF40},
      {1, 0, 0, 0x80FF40, 0x99FFFFFF, 0, 0x9980FF40},
      {0, 0, 0, 0, 0xFFFF, 0x1234, 0},
      {1, 0, 0, 0, 0x55FFFFFF, 0x12345678, 0x55000000},
      {0, 2, 255, 0, 0xFFFF, 0x1234, 0x1234},
      {1, 2, 255, 0, 0x55FFFFFF, 0xAA123456, 0x00123456},
  };
  for (const Case& c : cases) {
    Mode(c.mode, c.param);
    gfx::g_DrawState.Bright = c.bright;
    EXPECT_EQ(FlatOne(c.type, c.colour, c.under), c.want)
        << "type " << c.type << " mode " << c.mode << " p " << c.param << " colour " << c.colour;
  }
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
