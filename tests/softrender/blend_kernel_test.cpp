// Textured kernels of blend modes 1 to 4 for every source kind: single pixels of one
// triangle, with results worked by hand from the pixel rules, and the parameter shortcuts.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "softrender/one_texel_fixture.h"
#include "softrender/triangle.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using zq::test::TestImage;

constexpr uint32_t Rgb16(uint32_t r, uint32_t g, uint32_t b) {
  return r << 11 | g << 5 | b;
}

using BlendKernelTest = OneTexelTest;

// ------------------------------------------------------------------------------------
// Mode 1: alpha blend

TEST_F(BlendKernelTest, Alpha16PlainDividesBy255TowardTheDestination) {
  Mode(1, 254);
  TestImage white = Direct16(0xFFFF);
  EXPECT_EQ(DrawOne(white, 0, 0), 0xF7DEu);  // 254 * 31 / 255 = 30, 254 * 63 / 255 = 62
  Mode(1, 128);
  TestImage red = Direct16(0xF800), black = Direct16(0);
  EXPECT_EQ(DrawOne(red, 0, 0), Rgb16(15, 0, 0));           // 0 + 15.56 -> 15
  EXPECT_EQ(DrawOne(black, 0xFFFF, 0), Rgb16(16, 32, 16));  // 31 - 15.56 -> 16, 63 - 31.62 -> 32
  // The key compares the raw word.
  red.img.TransColor = 0xF800;
  EXPECT_EQ(DrawOne(red, 0x1234, 1), 0x1234u);
  EXPECT_EQ(DrawOne(red, 0, 0), Rgb16(15, 0, 0));
  // Bright red 128: the source red is 15 before the mix; 254 * 15 / 255 = 14.
  Mode(1, 254);
  Bright(0x80FFFF);
  EXPECT_EQ(DrawOne(red, 0, 0), Rgb16(14, 0, 0));
}

TEST_F(BlendKernelTest, Alpha16WithFactors) {
  // Blend amount: k = t * p = 16384; white over black: 31 * k >> 16 = 7, 63 -> 15.
  Mode(1, 128);
  TestImage white = Direct16(0xFFFF);
  TestImage half = BlendOf(128);
  EXPECT_EQ(DrawOne(white, 0, 0, &half), Rgb16(7, 15, 7));
  TestImage none = BlendOf(0);
  EXPECT_EQ(DrawOne(white, 0x1234, 0, &none), 0x1234u);

  // Alpha: k = a * p = 25600; 31 * k >> 16 = 12.
  Mode(1, 200);
  TestImage a128 = Alpha16(0xF800, 128);
  EXPECT_EQ(DrawOne(a128, 0, 0), Rgb16(12, 0, 0));
  EXPECT_EQ(DrawOne(a128, 0, 1), Rgb16(12, 0, 0));
  // Opaque black over white, p = 128: with the flag the plain mix (31 - 15 = 16, 63 - 31 =
  // 32); without it k = 255 * 128 over 65536: 31 * 32896 >> 16 = 15, 63 * 32896 >> 16 = 31.
  Mode(1, 128);
  TestImage opaque = Alpha16(0, 255);
  EXPECT_EQ(DrawOne(opaque, 0xFFFF, 1), Rgb16(16, 32, 16));
  EXPECT_EQ(DrawOne(opaque, 0xFFFF, 0), Rgb16(15, 31, 15));
  // Alpha 0: skipped with the flag, mixed by 0 (unchanged) without it.
  TestImage clear = Alpha16(0xFFFF, 0);
  EXPECT_EQ(DrawOne(clear, 0x1234, 1), 0x1234u);
  EXPECT_EQ(DrawOne(clear, 0x1234, 0), 0x1234u);
  // An alpha source is never keyed.
  opaque.img.TransColor = 0;
  EXPECT_EQ(DrawOne(opaque, 0xFFFF, 1), Rgb16(16, 32, 16));

  // Both: k = t * a * p = 255 * 128 * 254 = 8290560; 31 * k >> 24 = 15.
  Mode(1, 254);
  TestImage full = BlendOf(255);
  TestImage redHalf = Alpha16(0xF800, 128);
  EXPECT_EQ(DrawOne(redHalf, 0, 0, &full), Rgb16(15, 0, 0));
  EXPECT_EQ(DrawOne(redHalf, 0, 1, &full), Rgb16(15, 0, 0));
  // Opaque with the flag: t * p = 64770; 31 * 64770 >> 16 = 30.
  TestImage redOpaque = Alpha16(0xF800, 255);
  EXPECT_EQ(DrawOne(redOpaque, 0, 1, &full), Rgb16(30, 0, 0));
}

TEST_F(BlendKernelTest, Alpha32) {
  Mode(1, 254);
  TestImage white = Direct32(0x00FFFFFF);
  EXPECT_EQ(DrawOne(white, 0x5A000000, 0), 0x5AFDFDFDu);  // 255 * 254 >> 8 = 253
  TestImage full = BlendOf(255);
  EXPECT_EQ(DrawOne(white, 0x5A000000, 0, &full), 0x5AFCFCFCu);  // * 64770 >> 16 = 252
  TestImage none = BlendOf(0);
  EXPECT_EQ(DrawOne(white, 0x5A123456, 0, &none), 0x5A123456u);

  // Alpha 255: 253 with the flag, 252 without (weighted by 255 * 254).
  TestImage opaque = Direct32(0xFFFFFFFF, 1);
  EXPECT_EQ(DrawOne(opaque, 0x5A000000, 1), 0x5AFDFDFDu);
  EXPECT_EQ(DrawOne(opaque, 0x5A000000, 0), 0x5AFCFCFCu);
  TestImage clear = Direct32(0x00FFFFFF, 1);
  EXPECT_EQ(DrawOne(clear, 0x5A123456, 1), 0x5A123456u);
  EXPECT_EQ(DrawOne(clear, 0x5A123456, 0), 0x5A123456u);

  // Both factors, k = 128 * 128 * 254 = 4161536: red 255 over 0 -> 63; blue 0 over 255
  // -> 255 * (2^24 - k) >> 24 = 191.
  TestImage half = BlendOf(128);
  TestImage red = Direct32(0x80FF0000, 1);
  EXPECT_EQ(DrawOne(red, 0x5A0000FF, 0, &half), 0x5A3F00BFu);

  // Bright 0x804020 on white: 128, 64, 32, then (x * 128) >> 8 at p = 128.
  Mode(1, 128);
  Bright(0x804020);
  EXPECT_EQ(DrawOne(white, 0x99000000, 0), 0x99402010u);
}

TEST_F(BlendKernelTest, AlphaPalettised) {
  Mode(1, 128);
  TestImage p16 = Palette16(0xFFFF);
  EXPECT_EQ(DrawOne(p16, 0, 0), Rgb16(15, 31, 15));
  p16.img.TransColor = 3;  // the index is keyed
  EXPECT_EQ(DrawOne(p16, 0x1234, 1), 0x1234u);
  p16.img.TransColor = 0xFFFF;  // the entry is not
  EXPECT_EQ(DrawOne(p16, 0, 1), Rgb16(15, 31, 15));
  TestImage half = BlendOf(128);
  EXPECT_EQ(DrawOne(p16, 0, 0, &half), Rgb16(7, 15, 7));

  // Entry 0xCC112233 at p = 128 over 0x99000000: 0x11 -> 8, 0x22 -> 0x11, 0x33 -> 0x19;
  // the fourth byte is never written.
  TestImage p32 = Palette32(0xCC112233);
  EXPECT_EQ(DrawOne(p32, 0x99000000, 0), 0x99081119u);
  p32.img.TransColor = 3;
  EXPECT_EQ(DrawOne(p32, 0x99000000, 1), 0x99000000u);
}

// ------------------------------------------------------------------------------------
// Mode 2: additive

TEST_F(BlendKernelTest, Additive16) {
  Mode(2, 255);
  TestImage red1 = Direct16(0x0800), red16 = Direct16(0x8000);
  EXPECT_EQ(DrawOne(red1, 0x0800, 0), 0x0800u);  // lowest red bits ORed
  EXPECT_EQ(DrawOne(red16, 0x8000, 0), 0xF800u);
  TestImage blue1 = Direct16(0x0001), green2 = Direct16(0x0040);
  EXPECT_EQ(DrawOne(blue1, 0x001F, 0), 0x003Fu);  // blue overflow sets green's lowest bit
  EXPECT_EQ(DrawOne(green2, 0x07C0, 0), 0x0FC0u);

  Mode(2, 128);  // white scaled to 15, 31, 15
  TestImage white = Direct16(0xFFFF);
  EXPECT_EQ(DrawOne(white, 0, 0), 0x7BEFu);
  Mode(2, 4);  // every field scales to 0
  EXPECT_EQ(DrawOne(white, 0x1234, 0), 0x1234u);

  // Blend amount 255 at p = 255: (31 * 255) >> 8 = 30, (63 * 255) >> 8 = 62.
  Mode(2, 255);
  TestImage full = BlendOf(255);
  EXPECT_EQ(DrawOne(white, 0, 0, &full), 0xF7DEu);
  TestImage none = BlendOf(0);
  EXPECT_EQ(DrawOne(white, 0x1234, 0, &none), 0x1234u);
  // Bright red 128 first, then t = 128: (15 * 128) >> 8 = 7.
  Bright(0x80FFFF);
  TestImage half = BlendOf(128);
  TestImage red = Direct16(0xF800);
  EXPECT_EQ(DrawOne(red, 0, 0, &half), Rgb16(7, 0, 0));
}

TEST_F(BlendKernelTest, Additive16AlphaChannel) {
  Mode(2, 255);
  TestImage opaque = Alpha16(0xFFFF, 255);
  EXPECT_EQ(DrawOne(opaque, 0, 1), 0xFFFFu);
  EXPECT_EQ(DrawOne(opaque, 0, 0), 0xF7DEu);  // (31 * 255) >> 8 = 30
  TestImage clear = Alpha16(0xFFFF, 0);
  EXPECT_EQ(DrawOne(clear, 0x1234, 1), 0x1234u);
  EXPECT_EQ(DrawOne(clear, 0x1234, 0), 0x1234u);
  opaque.img.TransColor = 0xFFFF;  // never keyed
  EXPECT_EQ(DrawOne(opaque, 0, 1), 0xFFFFu);

  // Without blend image the alpha comes before bright: (31 * 200) >> 8 = 24, then
  // 128 * 24 / 255 = 12 (bright first would give 15 * 200 >> 8 = 11).
  Bright(0x80FFFF);
  TestImage red = Alpha16(0xF800, 200);
  EXPECT_EQ(DrawOne(red, 0, 0), Rgb16(12, 0, 0));
  // With a blend image bright comes first: (15 * 255 * 200) >> 16 = 11 (alpha first
  // would give 128 * 24 / 255 = 12).
  TestImage full = BlendOf(255);
  EXPECT_EQ(DrawOne(red, 0, 0, &full), Rgb16(11, 0, 0));
  // Both factors without bright: (31 * 128 * 128) >> 16 = 7.
  Bright(0xFFFFFF);
  TestImage half = BlendOf(128);
  TestImage redHalf = Alpha16(0xF800, 128);
  EXPECT_EQ(DrawOne(redHalf, 0, 0, &half), Rgb16(7, 0, 0));
}

TEST_F(BlendKernelTest, Additive32WritesTheWholePixel) {
  Mode(2, 255);
  TestImage blue1 = Direct32(0x000001);
  EXPECT_EQ(DrawOne(blue1, 0x0000FF, 0), 0x000001FFu);
  TestImage ones = Direct32(0x010101);
  EXPECT_EQ(DrawOne(ones, 0x010101, 0), 0x00010102u);
  TestImage red = Direct32(0x800000);
  EXPECT_EQ(DrawOne(red, 0x800000, 0), 0x01FF0000u);  // the red carry in the fourth byte
  TestImage white = Direct32(0xFFFFFFFF);
  EXPECT_EQ(DrawOne(white, 0x00FFFFFF, 0), 0x01FFFFFFu);
  TestImage black = Direct32(0xAA000000);
  EXPECT_EQ(DrawOne(black, 0xFF654321, 0), 0x00654321u);  // the fourth byte is lost

  Mode(2, 128);
  EXPECT_EQ(DrawOne(white, 0x5A000000, 0), 0x00808080u);
  // With a factor p is a multiplier: (255 * 255 * 255) >> 16 = 253.
  Mode(2, 255);
  TestImage full = BlendOf(255);
  EXPECT_EQ(DrawOne(white, 0, 0, &full), 0x00FDFDFDu);
  TestImage none = BlendOf(0);
  EXPECT_EQ(DrawOne(white, 0xAA123456, 0, &none), 0x00123456u);
}

TEST_F(BlendKernelTest, Additive32AlphaChannel) {
  Mode(2, 255);
  TestImage opaque = Direct32(0xFFFFFFFF, 1);
  EXPECT_EQ(DrawOne(opaque, 0, 1), 0x00FFFFFFu);
  EXPECT_EQ(DrawOne(opaque, 0, 0), 0x00FDFDFDu);
  TestImage clear = Direct32(0x00FFFFFF, 1);
  EXPECT_EQ(DrawOne(clear, 0xAB123456, 1), 0xAB123456u);  // skipped: fourth byte kept
  EXPECT_EQ(DrawOne(clear, 0xAB123456, 0), 0x00123456u);  // drawn with a zero source
  // Bright first: red 255 under 128 is 128, (128 * 200 * 255) >> 16 = 99.
  Bright(0x80FFFF);
  TestImage red = Direct32(0xC8FF0000, 1);
  EXPECT_EQ(DrawOne(red, 0, 0), 0x00630000u);
  // All four factors: (255 * 128 * 128 * 255) >> 24 = 63.
  Bright(0xFFFFFF);
  TestImage half = BlendOf(128);
  TestImage redHalf = Direct32(0x80FF0000, 1);
  EXPECT_EQ(DrawOne(redHalf, 0, 0, &half), 0x003F0000u);
  // And the largest: (255^4) >> 24 = 252; opaque under the flag: 255^3 >> 16 = 253.
  TestImage full = BlendOf(255);
  EXPECT_EQ(DrawOne(opaque, 0, 0, &full), 0x00FCFCFCu);
  EXPECT_EQ(DrawOne(opaque, 0, 1, &full), 0x00FDFDFDu);
}

TEST_F(BlendKernelTest, AdditivePalettised) {
  Mode(2, 255);
  TestImage p16 = Palette16(0x0001);
  EXPECT_EQ(DrawOne(p16, 0x001F, 0), 0x003Fu);
  p16.img.TransColor = 3;
  EXPECT_EQ(DrawOne(p16, 0x001F, 1), 0x001Fu);
  // The entry's fourth byte is not added; the destination's is replaced by the carry.
  TestImage p32 = Palette32(0xCC808080);
  EXPECT_EQ(DrawOne(p32, 0xAA808080, 0), 0x01FFFFFFu);
  p32.img.TransColor = 0x100;  // no index matches
  EXPECT_EQ(DrawOne(p32, 0xAA000000, 1), 0x00808080u);
  Mode(2, 128);
  TestImage half = BlendOf(128);
  // (128 * 128 * 128) >> 16 = 32 per byte.
  EXPECT_EQ(DrawOne(p32, 0xAA000000, 0, &half), 0x00202020u);
}

// ------------------------------------------------------------------------------------
// Mode 3: subtractive

TEST_F(BlendKernelTest, Subtractive16) {
  Mode(3, 255);
  TestImage black = Direct16(0);
  EXPECT_EQ(DrawOne(black, 0xFFFF, 0), 0xFFDFu);  // green's lowest bit is always 0
  TestImage same = Direct16(0x1234);
  EXPECT_EQ(DrawOne(same, 0x1234, 0), 0x0800u);
  TestImage small = Direct16(0x0841);
  EXPECT_EQ(DrawOne(small, 0x8410, 0), 0x8BCFu);
  TestImage white = Direct16(0xFFFF);
  EXPECT_EQ(DrawOne(white, 0x1234, 0), 0u);

  // Blend amount 255: X = f - 1, so blue 31 subtracts 30 from 31.
  TestImage blue = Direct16(0x001F);
  TestImage full = BlendOf(255);
  EXPECT_EQ(DrawOne(blue, 0x001F, 0, &full), 0x0801u);
  EXPECT_EQ(DrawOne(blue, 0x001F, 0), 0x0800u);

  // Alpha 255: 31 subtracted with the flag, 30 without.
  TestImage opaque = Alpha16(0x001F, 255);
  EXPECT_EQ(DrawOne(opaque, 0x001F, 1), 0x0800u);
  EXPECT_EQ(DrawOne(opaque, 0x001F, 0), 0x0801u);
  // Alpha before bright: (3 * 128) >> 8 = 1, then 200 * 1 / 255 = 0; blue 5 stays 5.
  Bright(0xFFFFC8);
  TestImage dim = Alpha16(0x0003, 128);
  EXPECT_EQ(DrawOne(dim, 0x0005, 0), 0x0805u);
  // Alpha 0: skipped with the flag, a zero subtrahend without it.
  Bright(0xFFFFFF);
  TestImage clear = Alpha16(0xFFFF, 0);
  EXPECT_EQ(DrawOne(clear, 0x1234, 1), 0x1234u);
  EXPECT_EQ(DrawOne(clear, 0x1234, 0), 0x1A14u);
}

TEST_F(BlendKernelTest, Subtractive32) {
  Mode(3, 255);
  TestImage black = Direct32(0x77000000);
  EXPECT_EQ(DrawOne(black, 0xAB123456, 0), 0x00133556u);
  TestImage same = Direct32(0x00123456);
  EXPECT_EQ(DrawOne(same, 0xFF123456, 0), 0x00010100u);
  TestImage ones = Direct32(0x00010101), twos = Direct32(0x00020202);
  EXPECT_EQ(DrawOne(ones, 0x00808080, 0), 0x0081817Fu);
  EXPECT_EQ(DrawOne(twos, 0x00808080, 0), 0x007F7F7Eu);
  TestImage white = Direct32(0x00FFFFFF);
  EXPECT_EQ(DrawOne(white, 0x12345678, 0), 0u);

  // t = 255, p = 255: byte 255 subtracts 253, byte 1 subtracts 0. From white: blue 2,
  // green 255, red 2 with green's no-borrow bit.
  TestImage mixed = Direct32(0x00FF01FF);
  TestImage full = BlendOf(255);
  EXPECT_EQ(DrawOne(mixed, 0x00FFFFFF, 0, &full), 0x0003FF02u);

  // Alpha 128: (255 * 128 * 255) >> 16 = 127 off red 255 -> 128, plus green's bit.
  TestImage red = Direct32(0x80FF0000, 1);
  EXPECT_EQ(DrawOne(red, 0x00FF0000, 0), 0x00810100u);
  TestImage clear = Direct32(0x00FFFFFF, 1);
  EXPECT_EQ(DrawOne(clear, 0xAB123456, 1), 0xAB123456u);
  EXPECT_EQ(DrawOne(clear, 0xAB123456, 0), 0x00133556u);
  // Bright 0: a zero subtrahend whatever the source.
  Bright(0);
  EXPECT_EQ(DrawOne(white, 0xAB123456, 0), 0x00133556u);
}

TEST_F(BlendKernelTest, SubtractivePalettised) {
  Mode(3, 255);
  TestImage p16 = Palette16(0x1234);
  EXPECT_EQ(DrawOne(p16, 0x1234, 0), 0x0800u);
  p16.img.TransColor = 3;
  EXPECT_EQ(DrawOne(p16, 0x1234, 1), 0x1234u);
  TestImage p32 = Palette32(0xEE010101);
  EXPECT_EQ(DrawOne(p32, 0x99808080, 0), 0x0081817Fu);
}

// ------------------------------------------------------------------------------------
// Mode 4: multiplicative

TEST_F(BlendKernelTest, Multiplicative16) {
  Mode(4, 255);
  TestImage white = Direct16(0xFFFF);
  EXPECT_EQ(DrawOne(white, 0xFFFF, 0), 0xF7DEu);  // 31 * 31 >> 5 = 30, 63 * 63 >> 6 = 62
  TestImage black = Direct16(0);
  EXPECT_EQ(DrawOne(black, 0x1234, 0), 0u);
  // Blend amount 255: (31 * 31 * 255) >> 13 = 29, (63 * 63 * 255) >> 14 = 61.
  TestImage full = BlendOf(255);
  EXPECT_EQ(DrawOne(white, 0xFFFF, 0, &full), Rgb16(29, 61, 29));
  TestImage none = BlendOf(0);
  EXPECT_EQ(DrawOne(white, 0xFFFF, 0, &none), 0u);

  // Alpha 255: 30 with the flag, (31 * 31 * 255) >> 13 = 29 without.
  TestImage opaque = Alpha16(0xF800, 255);
  EXPECT_EQ(DrawOne(opaque, 0xF800, 1), Rgb16(30, 0, 0));
  EXPECT_EQ(DrawOne(opaque, 0xF800, 0), Rgb16(29, 0, 0));
  // Alpha 0 is never skipped: black.
  TestImage clear = Alpha16(0xFFFF, 0);
  EXPECT_EQ(DrawOne(clear, 0xFFFF, 1), 0u);
  EXPECT_EQ(DrawOne(clear, 0xFFFF, 0), 0u);
  // Both factors 128: (31 * 31 * 128 * 128) >> 21 = 7, (63 * 63 * 128 * 128) >> 22 = 15.
  TestImage half = BlendOf(128);
  TestImage whiteHalf = Alpha16(0xFFFF, 128);
  EXPECT_EQ(DrawOne(whiteHalf, 0xFFFF, 0, &half), Rgb16(7, 15, 7));
  // Bright red 0 makes red 0; green 255 leaves green as it is.
  Bright(0x00FFFF);
  EXPECT_EQ(DrawOne(white, 0xFFFF, 0), Rgb16(0, 62, 30));
}

TEST_F(BlendKernelTest, Multiplicative32) {
  Mode(4, 0);
  TestImage white = Direct32(0x00FFFFFF);
  EXPECT_EQ(DrawOne(white, 0x77FFFFFF, 0), 0x77FEFEFEu);  // fourth byte kept
  TestImage black = Direct32(0xFF000000);
  EXPECT_EQ(DrawOne(black, 0x77123456, 0), 0x77000000u);
  TestImage full = BlendOf(255), none = BlendOf(0);
  EXPECT_EQ(DrawOne(white, 0x77FFFFFF, 0, &full), 0x77FDFDFDu);
  EXPECT_EQ(DrawOne(white, 0x77FFFFFF, 0, &none), 0x77000000u);

  TestImage opaque = Direct32(0xFFFFFFFF, 1);
  EXPECT_EQ(DrawOne(opaque, 0x77FFFFFF, 1), 0x77FEFEFEu);
  EXPECT_EQ(DrawOne(opaque, 0x77FFFFFF, 0), 0x77FDFDFDu);
  // Four bytes of 255 multiplied: 255^4 >> 24 = 252 (the product passes 2^31).
  EXPECT_EQ(DrawOne(opaque, 0x77FFFFFF, 0, &full), 0x77FCFCFCu);
  EXPECT_EQ(DrawOne(opaque, 0x77FFFFFF, 1, &full), 0x77FDFDFDu);
  TestImage clear = Direct32(0x00FFFFFF, 1);
  clear.img.TransColor = 0x00FFFFFF;  // equal to the texel: not keyed
  EXPECT_EQ(DrawOne(clear, 0x77FFFFFF, 1), 0x77000000u);
  EXPECT_EQ(DrawOne(clear, 0x77FFFFFF, 0), 0x77000000u);

  // Bright red 0, green 255, blue 128: red 0, green 254, blue (128 * 255) >> 8 = 127.
  Bright(0x00FF80);
  EXPECT_EQ(DrawOne(white, 0x77FFFFFF, 0), 0x7700FE7Fu);
}

TEST_F(BlendKernelTest, MultiplicativePalettisedAndParameter) {
  Mode(4, 0);
  TestImage p16 = Palette16(0xFFFF);
  EXPECT_EQ(DrawOne(p16, 0xFFFF, 0), 0xF7DEu);
  p16.img.TransColor = 3;
  EXPECT_EQ(DrawOne(p16, 0xFFFF, 1), 0xFFFFu);
  TestImage p32 = Palette32(0x00804020);
  for (int p : {0, 1, 128, 254, 255}) {
    Mode(4, p);
    // 0x80 * 0xFF >> 8 = 0x7F, 0x40 -> 0x3F, 0x20 -> 0x1F; the parameter is not read.
    EXPECT_EQ(DrawOne(p32, 0x12FFFFFF, 0), 0x127F3F1Fu) << p;
  }
}

// ------------------------------------------------------------------------------------
// Parameter shortcuts

// One texel of every source kind, with alpha 77 where it has an alpha channel.
std::vector<TestImage> EveryKind() {
  std::vector<TestImage> kinds;
  kinds.reserve(6);  // the images point into themselves: they must not move
  kinds.emplace_back(1, 1, 0, 0, 0, zq::test::kRowPad);
  kinds.back().Set(0, 0, 0xA5C3);
  kinds.emplace_back(1, 1, 0, 0, 1, zq::test::kRowPad);
  kinds.back().SetAlpha16(0, 0, 0xA5C3, 77);
  kinds.emplace_back(1, 1, 1, 0, 0, zq::test::kRowPad);
  kinds.back().Set(0, 0, 0x33C3A5E1);
  kinds.emplace_back(1, 1, 1, 0, 1, zq::test::kRowPad);
  kinds.back().Set(0, 0, 0x4DC3A5E1);
  kinds.emplace_back(1, 1, 0, 1, 0, zq::test::kRowPad);
  kinds.back().SetPaletteEntry(9, 0xA5C3);
  kinds.back().Set(0, 0, 9);
  kinds.emplace_back(1, 1, 1, 1, 0, zq::test::kRowPad);
  kinds.back().palette[9] = 0x33C3A5E1;
  kinds.back().Set(0, 0, 9);
  return kinds;
}

TEST_F(BlendKernelTest, AlphaBlendAtFullStrengthDrawsAsCopy) {
  for (TestImage& s : EveryKind()) {
    const uint32_t under = s.img.ColorType == 0 ? 0x5A5Au : 0x5A6B7C8Du;
    for (uint32_t bright : {0xFFFFFFu, 0x80C0FFu}) {
      for (bool withBlend : {false, true}) {
        for (int trans = 0; trans < 2; ++trans) {
          Bright(bright);
          TestImage blend = BlendOf(100);
          TestImage* b = withBlend ? &blend : nullptr;
          Mode(0, 17);
          const uint32_t copy = DrawOne(s, under, trans, b);
          Mode(1, 255);
          EXPECT_EQ(DrawOne(s, under, trans, b), copy);
        }
      }
    }
  }
}

TEST_F(BlendKernelTest, ParameterZero) {
  for (TestImage& s : EveryKind()) {
    const bool wide = s.img.ColorType == 1;
    const uint32_t under = wide ? 0xAB123456u : 0x1234u;
    for (int trans = 0; trans < 2; ++trans) {
      TestImage half = BlendOf(128);
      for (TestImage* b : {static_cast<TestImage*>(nullptr), &half}) {
        Mode(1, 0);
        EXPECT_EQ(DrawOne(s, under, trans, b), under);
        Mode(2, 0);
        EXPECT_EQ(DrawOne(s, under, trans, b), under);
        // Subtractive at 0: nothing for direct sources; palettised ones subtract zero,
        // which still sets red's lowest bit, clears green's (16-bit) and the fourth byte.
        Mode(3, 0);
        const uint32_t zeroSub = wide ? 0x00133556u : 0x1A14u;
        EXPECT_EQ(DrawOne(s, under, trans, b), s.img.PaletteFlag ? zeroSub : under);
      }
    }
  }
}

TEST_F(BlendKernelTest, SubtractivePalettisedAtZeroStillKeys) {
  Mode(3, 0);
  TestImage p16 = Palette16(0xFFFF);
  p16.img.TransColor = 3;
  EXPECT_EQ(DrawOne(p16, 0x1234, 1), 0x1234u);
  EXPECT_EQ(DrawOne(p16, 0x1234, 0), 0x1A14u);
}

TEST_F(BlendKernelTest, ModesOutsideTheTableDrawNothing) {
  for (TestImage& s : EveryKind()) {
    const uint32_t under = s.img.ColorType == 0 ? 0x1234u : 0xAB123456u;
    for (int mode : {5, -1, 1000, int(0x80000002)}) {
      Mode(mode, 128);
      EXPECT_EQ(DrawOne(s, under, 0), under) << mode;
    }
  }
}

}  // namespace
}  // namespace zq::soft
