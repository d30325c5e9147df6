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

TEST_F(BlendKernelTest, Alpha16) {
  const TexelCase cases[] = {
      // Plain: 254 * 31 / 255 = 30, 254 * 63 / 255 = 62; at 128 0 + 15.56 -> 15, and
      // 31 - 15.56 -> 16, 63 - 31.62 -> 32 toward the destination.
      {D16, 0xFFFF, 0, kDef, 1, 254, kOff, -1, 0, 0, 0xF7DE},
      {D16, 0xF800, 0, kDef, 1, 128, kOff, -1, 0, 0, Rgb16(15, 0, 0)},
      {D16, 0, 0, kDef, 1, 128, kOff, -1, 0xFFFF, 0, Rgb16(16, 32, 16)},
      // The key compares the raw word, only under the flag.
      {D16, 0xF800, 0, 0xF800, 1, 128, kOff, -1, 0x1234, 1, 0x1234},
      {D16, 0xF800, 0, 0xF800, 1, 128, kOff, -1, 0, 0, Rgb16(15, 0, 0)},
      // Bright red 128: the source red is 15 before the mix; 254 * 15 / 255 = 14.
      {D16, 0xF800, 0, kDef, 1, 254, 0x80FFFF, -1, 0, 0, Rgb16(14, 0, 0)},
      // Blend amount: k = t * p = 16384; white over black: 31 * k >> 16 = 7, 63 -> 15.
      {D16, 0xFFFF, 0, kDef, 1, 128, kOff, 128, 0, 0, Rgb16(7, 15, 7)},
      {D16, 0xFFFF, 0, kDef, 1, 128, kOff, 0, 0x1234, 0, 0x1234},
      // Alpha: k = a * p = 25600; 31 * k >> 16 = 12, with or without the flag.
      {A16, 0xF800, 128, kDef, 1, 200, kOff, -1, 0, 0, Rgb16(12, 0, 0)},
      {A16, 0xF800, 128, kDef, 1, 200, kOff, -1, 0, 1, Rgb16(12, 0, 0)},
      // Opaque black over white, p = 128: with the flag the plain mix (31 - 15 = 16, 63 - 31
      // = 32); without it k = 255 * 128 over 65536: 31 * 32896 >> 16 = 15, 63 -> 31.
      {A16, 0, 255, kDef, 1, 128, kOff, -1, 0xFFFF, 1, Rgb16(16, 32, 16)},
      {A16, 0, 255, kDef, 1, 128, kOff, -1, 0xFFFF, 0, Rgb16(15, 31, 15)},
      // Alpha 0: skipped with the flag, mixed by 0 (unchanged) without it.
      {A16, 0xFFFF, 0, kDef, 1, 128, kOff, -1, 0x1234, 1, 0x1234},
      {A16, 0xFFFF, 0, kDef, 1, 128, kOff, -1, 0x1234, 0, 0x1234},
      // An alpha source is never keyed.
      {A16, 0, 255, 0, 1, 128, kOff, -1, 0xFFFF, 1, Rgb16(16, 32, 16)},
      // Both: k = t * a * p = 255 * 128 * 254 = 8290560; 31 * k >> 24 = 15. Opaque with
      // the flag: t * p = 64770; 31 * 64770 >> 16 = 30.
      {A16, 0xF800, 128, kDef, 1, 254, kOff, 255, 0, 0, Rgb16(15, 0, 0)},
      {A16, 0xF800, 128, kDef, 1, 254, kOff, 255, 0, 1, Rgb16(15, 0, 0)},
      {A16, 0xF800, 255, kDef, 1, 254, kOff, 255, 0, 1, Rgb16(30, 0, 0)},
  };
  ExpectCases(cases);
}

TEST_F(BlendKernelTest, Alpha32AndPalettised) {
  const TexelCase cases[] = {
      // 255 * 254 >> 8 = 253; with blend amount 255: * 64770 >> 16 = 252; amount 0: d.
      {D32, 0x00FFFFFF, 0, kDef, 1, 254, kOff, -1, 0x5A000000, 0, 0x5AFDFDFD},
      {D32, 0x00FFFFFF, 0, kDef, 1, 254, kOff, 255, 0x5A000000, 0, 0x5AFCFCFC},
      {D32, 0x00FFFFFF, 0, kDef, 1, 254, kOff, 0, 0x5A123456, 0, 0x5A123456},
      // Alpha 255: 253 with the flag, 252 without (weighted by 255 * 254); alpha 0.
      {A32, 0xFFFFFFFF, 0, kDef, 1, 254, kOff, -1, 0x5A000000, 1, 0x5AFDFDFD},
      {A32, 0xFFFFFFFF, 0, kDef, 1, 254, kOff, -1, 0x5A000000, 0, 0x5AFCFCFC},
      {A32, 0x00FFFFFF, 0, kDef, 1, 254, kOff, -1, 0x5A123456, 1, 0x5A123456},
      {A32, 0x00FFFFFF, 0, kDef, 1, 254, kOff, -1, 0x5A123456, 0, 0x5A123456},
      // Both factors, k = 128 * 128 * 254 = 4161536: red 255 over 0 -> 63; blue 0 over 255
      // -> 255 * (2^24 - k) >> 24 = 191.
      {A32, 0x80FF0000, 0, kDef, 1, 254, kOff, 128, 0x5A0000FF, 0, 0x5A3F00BF},
      // Bright 0x804020 on white: 128, 64, 32, then (x * 128) >> 8 at p = 128.
      {D32, 0x00FFFFFF, 0, kDef, 1, 128, 0x804020, -1, 0x99000000, 0, 0x99402010},
      // Palettised: the index is keyed, the entry is not.
      {P16, 0xFFFF, 0, kDef, 1, 128, kOff, -1, 0, 0, Rgb16(15, 31, 15)},
      {P16, 0xFFFF, 0, 3, 1, 128, kOff, -1, 0x1234, 1, 0x1234},
      {P16, 0xFFFF, 0, 0xFFFF, 1, 128, kOff, -1, 0, 1, Rgb16(15, 31, 15)},
      {P16, 0xFFFF, 0, kDef, 1, 128, kOff, 128, 0, 0, Rgb16(7, 15, 7)},
      // Entry 0xCC112233 at p = 128 over 0x99000000: 0x11 -> 8, 0x22 -> 0x11, 0x33 -> 0x19;
      // the fourth byte is never written.
      {P32, 0xCC112233, 0, kDef, 1, 128, kOff, -1, 0x99000000, 0, 0x99081119},
      {P32, 0xCC112233, 0, 3, 1, 128, kOff, -1, 0x99000000, 1, 0x99000000},
  };
  ExpectCases(cases);
}

// ------------------------------------------------------------------------------------
// Mode 2: additive

TEST_F(BlendKernelTest, Additive16) {
  const TexelCase cases[] = {
      // The lowest red bits ORed; red saturates; blue's and green's overflows set the next
      // field's lowest bit.
      {D16, 0x0800, 0, kDef, 2, 255, kOff, -1, 0x0800, 0, 0x0800},
      {D16, 0x8000, 0, kDef, 2, 255, kOff, -1, 0x8000, 0, 0xF800},
      {D16, 0x0001, 0, kDef, 2, 255, kOff, -1, 0x001F, 0, 0x003F},
      {D16, 0x0040, 0, kDef, 2, 255, kOff, -1, 0x07C0, 0, 0x0FC0},
      // p = 128 scales white to 15, 31, 15; p = 4 scales every field to 0.
      {D16, 0xFFFF, 0, kDef, 2, 128, kOff, -1, 0, 0, 0x7BEF},
      {D16, 0xFFFF, 0, kDef, 2, 4, kOff, -1, 0x1234, 0, 0x1234},
      // Blend amount 255 at p = 255: (31 * 255) >> 8 = 30, (63 * 255) >> 8 = 62; amount 0.
      {D16, 0xFFFF, 0, kDef, 2, 255, kOff, 255, 0, 0, 0xF7DE},
      {D16, 0xFFFF, 0, kDef, 2, 255, kOff, 0, 0x1234, 0, 0x1234},
      // Bright red 128 first, then t = 128: (15 * 128) >> 8 = 7.
      {D16, 0xF800, 0, kDef, 2, 255, 0x80FFFF, 128, 0, 0, Rgb16(7, 0, 0)},
      // Alpha channel: 255 copies under the flag, (31 * 255) >> 8 = 30 without; alpha 0
      // adds nothing; never keyed.
      {A16, 0xFFFF, 255, kDef, 2, 255, kOff, -1, 0, 1, 0xFFFF},
      {A16, 0xFFFF, 255, kDef, 2, 255, kOff, -1, 0, 0, 0xF7DE},
      {A16, 0xFFFF, 0, kDef, 2, 255, kOff, -1, 0x1234, 1, 0x1234},
      {A16, 0xFFFF, 0, kDef, 2, 255, kOff, -1, 0x1234, 0, 0x1234},
      {A16, 0xFFFF, 255, 0xFFFF, 2, 255, kOff, -1, 0, 1, 0xFFFF},
      // Without blend image the alpha comes before bright: (31 * 200) >> 8 = 24, then
      // 128 * 24 / 255 = 12 (bright first would give 15 * 200 >> 8 = 11). With a blend
      // image bright comes first: (15 * 255 * 200) >> 16 = 11 (alpha first: 12).
      {A16, 0xF800, 200, kDef, 2, 255, 0x80FFFF, -1, 0, 0, Rgb16(12, 0, 0)},
      {A16, 0xF800, 200, kDef, 2, 255, 0x80FFFF, 255, 0, 0, Rgb16(11, 0, 0)},
      // Both factors without bright: (31 * 128 * 128) >> 16 = 7.
      {A16, 0xF800, 128, kDef, 2, 255, kOff, 128, 0, 0, Rgb16(7, 0, 0)},
  };
  ExpectCases(cases);
}

TEST_F(BlendKernelTest, Additive32WritesTheWholePixel) {
  const TexelCase cases[] = {
      {D32, 0x000001, 0, kDef, 2, 255, kOff, -1, 0x0000FF, 0, 0x000001FF},
      {D32, 0x010101, 0, kDef, 2, 255, kOff, -1, 0x010101, 0, 0x00010102},
      // The red carry in the fourth byte; the fourth byte is otherwise lost.
      {D32, 0x800000, 0, kDef, 2, 255, kOff, -1, 0x800000, 0, 0x01FF0000},
      {D32, 0xFFFFFFFF, 0, kDef, 2, 255, kOff, -1, 0x00FFFFFF, 0, 0x01FFFFFF},
      {D32, 0xAA000000, 0, kDef, 2, 255, kOff, -1, 0xFF654321, 0, 0x00654321},
      {D32, 0xFFFFFFFF, 0, kDef, 2, 128, kOff, -1, 0x5A000000, 0, 0x00808080},
      // With a factor p is a multiplier: (255 * 255 * 255) >> 16 = 253.
      {D32, 0xFFFFFFFF, 0, kDef, 2, 255, kOff, 255, 0, 0, 0x00FDFDFD},
      {D32, 0xFFFFFFFF, 0, kDef, 2, 255, kOff, 0, 0xAA123456, 0, 0x00123456},
      // Alpha channel: skipped at 0 under the flag (fourth byte kept), drawn with a zero
      // source without it.
      {A32, 0xFFFFFFFF, 0, kDef, 2, 255, kOff, -1, 0, 1, 0x00FFFFFF},
      {A32, 0xFFFFFFFF, 0, kDef, 2, 255, kOff, -1, 0, 0, 0x00FDFDFD},
      {A32, 0x00FFFFFF, 0, kDef, 2, 255, kOff, -1, 0xAB123456, 1, 0xAB123456},
      {A32, 0x00FFFFFF, 0, kDef, 2, 255, kOff, -1, 0xAB123456, 0, 0x00123456},
      // Bright first: red 255 under 128 is 128, (128 * 200 * 255) >> 16 = 99.
      {A32, 0xC8FF0000, 0, kDef, 2, 255, 0x80FFFF, -1, 0, 0, 0x00630000},
      // All four factors: (255 * 128 * 128 * 255) >> 24 = 63; the largest: (255^4) >> 24 =
      // 252; opaque under the flag: 255^3 >> 16 = 253.
      {A32, 0x80FF0000, 0, kDef, 2, 255, kOff, 128, 0, 0, 0x003F0000},
      {A32, 0xFFFFFFFF, 0, kDef, 2, 255, kOff, 255, 0, 0, 0x00FCFCFC},
      {A32, 0xFFFFFFFF, 0, kDef, 2, 255, kOff, 255, 0, 1, 0x00FDFDFD},
      // Palettised: the index keyed; the entry's fourth byte is not added, the
      // destination's is replaced by the carry; (128 * 128 * 128) >> 16 = 32 per byte.
      {P16, 0x0001, 0, kDef, 2, 255, kOff, -1, 0x001F, 0, 0x003F},
      {P16, 0x0001, 0, 3, 2, 255, kOff, -1, 0x001F, 1, 0x001F},
      {P32, 0xCC808080, 0, kDef, 2, 255, kOff, -1, 0xAA808080, 0, 0x01FFFFFF},
      {P32, 0xCC808080, 0, 0x100, 2, 255, kOff, -1, 0xAA000000, 1, 0x00808080},
      {P32, 0xCC808080, 0, 0x100, 2, 128, kOff, 128, 0xAA000000, 0, 0x00202020},
  };
  ExpectCases(cases);
}

// ------------------------------------------------------------------------------------
// Mode 3: subtractive

TEST_F(BlendKernelTest, Subtractive16) {
  const TexelCase cases[] = {
      {D16, 0, 0, kDef, 3, 255, kOff, -1, 0xFFFF, 0, 0xFFDF},  // green's lowest bit always 0
      {D16, 0x1234, 0, kDef, 3, 255, kOff, -1, 0x1234, 0, 0x0800},
      {D16, 0x0841, 0, kDef, 3, 255, kOff, -1, 0x8410, 0, 0x8BCF},
      {D16, 0xFFFF, 0, kDef, 3, 255, kOff, -1, 0x1234, 0, 0},
      // Blend amount 255: X = f - 1, so blue 31 subtracts 30 from 31.
      {D16, 0x001F, 0, kDef, 3, 255, kOff, 255, 0x001F, 0, 0x0801},
      {D16, 0x001F, 0, kDef, 3, 255, kOff, -1, 0x001F, 0, 0x0800},
      // Alpha 255: 31 subtracted with the flag, 30 without.
      {A16, 0x001F, 255, kDef, 3, 255, kOff, -1, 0x001F, 1, 0x0800},
      {A16, 0x001F, 255, kDef, 3, 255, kOff, -1, 0x001F, 0, 0x0801},
      // Alpha before bright: (3 * 128) >> 8 = 1, then 200 * 1 / 255 = 0; blue 5 stays 5.
      {A16, 0x0003, 128, kDef, 3, 255, 0xFFFFC8, -1, 0x0005, 0, 0x0805},
      // Alpha 0: skipped with the flag, a zero subtrahend without it.
      {A16, 0xFFFF, 0, kDef, 3, 255, kOff, -1, 0x1234, 1, 0x1234},
      {A16, 0xFFFF, 0, kDef, 3, 255, kOff, -1, 0x1234, 0, 0x1A14},
      // Palettised: the index keyed.
      {P16, 0x1234, 0, kDef, 3, 255, kOff, -1, 0x1234, 0, 0x0800},
      {P16, 0x1234, 0, 3, 3, 255, kOff, -1, 0x1234, 1, 0x1234},
  };
  ExpectCases(cases);
}

TEST_F(BlendKernelTest, Subtractive32) {
  const TexelCase cases[] = {
      {D32, 0x77000000, 0, kDef, 3, 255, kOff, -1, 0xAB123456, 0, 0x00133556},
      {D32, 0x00123456, 0, kDef, 3, 255, kOff, -1, 0xFF123456, 0, 0x00010100},
      {D32, 0x00010101, 0, kDef, 3, 255, kOff, -1, 0x00808080, 0, 0x0081817F},
      {D32, 0x00020202, 0, kDef, 3, 255, kOff, -1, 0x00808080, 0, 0x007F7F7E},
      {D32, 0x00FFFFFF, 0, kDef, 3, 255, kOff, -1, 0x12345678, 0, 0},
      // t = 255, p = 255: byte 255 subtracts 253, byte 1 subtracts 0. From white: blue 2,
      // green 255, red 2 with green's no-borrow bit.
      {D32, 0x00FF01FF, 0, kDef, 3, 255, kOff, 255, 0x00FFFFFF, 0, 0x0003FF02},
      // Alpha 128: (255 * 128 * 255) >> 16 = 127 off red 255 -> 128, plus green's bit.
      {A32, 0x80FF0000, 0, kDef, 3, 255, kOff, -1, 0x00FF0000, 0, 0x00810100},
      {A32, 0x00FFFFFF, 0, kDef, 3, 255, kOff, -1, 0xAB123456, 1, 0xAB123456},
      {A32, 0x00FFFFFF, 0, kDef, 3, 255, kOff, -1, 0xAB123456, 0, 0x00133556},
      // Bright 0: a zero subtrahend whatever the source.
      {D32, 0x00FFFFFF, 0, kDef, 3, 255, 0, -1, 0xAB123456, 0, 0x00133556},
      {P32, 0xEE010101, 0, kDef, 3, 255, kOff, -1, 0x99808080, 0, 0x0081817F},
  };
  ExpectCases(cases);
}

// ------------------------------------------------------------------------------------
// Mode 4: multiplicative

TEST_F(BlendKernelTest, Multiplicative16) {
  const TexelCase cases[] = {
      // 31 * 31 >> 5 = 30, 63 * 63 >> 6 = 62.
      {D16, 0xFFFF, 0, kDef, 4, 255, kOff, -1, 0xFFFF, 0, 0xF7DE},
      {D16, 0, 0, kDef, 4, 255, kOff, -1, 0x1234, 0, 0},
      // Blend amount 255: (31 * 31 * 255) >> 13 = 29, (63 * 63 * 255) >> 14 = 61; amount 0.
      {D16, 0xFFFF, 0, kDef, 4, 255, kOff, 255, 0xFFFF, 0, Rgb16(29, 61, 29)},
      {D16, 0xFFFF, 0, kDef, 4, 255, kOff, 0, 0xFFFF, 0, 0},
      // Alpha 255: 30 with the flag, (31 * 31 * 255) >> 13 = 29 without.
      {A16, 0xF800, 255, kDef, 4, 255, kOff, -1, 0xF800, 1, Rgb16(30, 0, 0)},
      {A16, 0xF800, 255, kDef, 4, 255, kOff, -1, 0xF800, 0, Rgb16(29, 0, 0)},
      // Alpha 0 is never skipped: black.
      {A16, 0xFFFF, 0, kDef, 4, 255, kOff, -1, 0xFFFF, 1, 0},
      {A16, 0xFFFF, 0, kDef, 4, 255, kOff, -1, 0xFFFF, 0, 0},
      // Both factors 128: (31 * 31 * 128 * 128) >> 21 = 7, (63 * 63 * 128 * 128) >> 22 = 15.
      {A16, 0xFFFF, 128, kDef, 4, 255, kOff, 128, 0xFFFF, 0, Rgb16(7, 15, 7)},
      // Bright red 0 makes red 0; green 255 leaves green as it is.
      {D16, 0xFFFF, 0, kDef, 4, 255, 0x00FFFF, -1, 0xFFFF, 0, Rgb16(0, 62, 30)},
      {P16, 0xFFFF, 0, kDef, 4, 0, kOff, -1, 0xFFFF, 0, 0xF7DE},
      {P16, 0xFFFF, 0, 3, 4, 0, kOff, -1, 0xFFFF, 1, 0xFFFF},
  };
  ExpectCases(cases);
}

TEST_F(BlendKernelTest, Multiplicative32) {
  const TexelCase cases[] = {
      {D32, 0x00FFFFFF, 0, kDef, 4, 0, kOff, -1, 0x77FFFFFF, 0, 0x77FEFEFE},  // byte 3 kept
      {D32, 0xFF000000, 0, kDef, 4, 0, kOff, -1, 0x77123456, 0, 0x77000000},
      {D32, 0x00FFFFFF, 0, kDef, 4, 0, kOff, 255, 0x77FFFFFF, 0, 0x77FDFDFD},
      {D32, 0x00FFFFFF, 0, kDef, 4, 0, kOff, 0, 0x77FFFFFF, 0, 0x77000000},
      {A32, 0xFFFFFFFF, 0, kDef, 4, 0, kOff, -1, 0x77FFFFFF, 1, 0x77FEFEFE},
      {A32, 0xFFFFFFFF, 0, kDef, 4, 0, kOff, -1, 0x77FFFFFF, 0, 0x77FDFDFD},
      // Four bytes of 255 multiplied: 255^4 >> 24 = 252 (the product passes 2^31).
      {A32, 0xFFFFFFFF, 0, kDef, 4, 0, kOff, 255, 0x77FFFFFF, 0, 0x77FCFCFC},
      {A32, 0xFFFFFFFF, 0, kDef, 4, 0, kOff, 255, 0x77FFFFFF, 1, 0x77FDFDFD},
      // A key equal to the texel does not key an alpha source; alpha 0 gives black.
      {A32, 0x00FFFFFF, 0, 0x00FFFFFF, 4, 0, kOff, -1, 0x77FFFFFF, 1, 0x77000000},
      {A32, 0x00FFFFFF, 0, 0x00FFFFFF, 4, 0, kOff, -1, 0x77FFFFFF, 0, 0x77000000},
      // Bright red 0, green 255, blue 128: red 0, green 254, blue (128 * 255) >> 8 = 127.
      {D32, 0x00FFFFFF, 0, kDef, 4, 0, 0x00FF80, -1, 0x77FFFFFF, 0, 0x7700FE7F},
  };
  ExpectCases(cases);
}

TEST_F(BlendKernelTest, MultiplicativeIgnoresTheParameter) {
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
  const TexelCase cases[] = {
      {P16, 0xFFFF, 0, 3, 3, 0, kOff, -1, 0x1234, 1, 0x1234},
      {P16, 0xFFFF, 0, 3, 3, 0, kOff, -1, 0x1234, 0, 0x1A14},
  };
  ExpectCases(cases);
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
