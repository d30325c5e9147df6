// One pixel drawn onto one pixel, with results worked out by hand from the blend rules.
#include <gtest/gtest.h>

#include "softrender/blend_ops.h"
#include "softrender/blit_reference.h"
#include "softrender/draw_memimg.h"
#include "softrender/soft_tables.h"

namespace zq::soft::blit_test {
namespace {

constexpr int k16 = gfx::kMemImgRgb565;
constexpr int k32 = gfx::kMemImgXrgb8888;

struct OnePixel {
  int colorType = k16;
  int mode = 0;
  int param = 0;
  uint32_t bright = 0xFFFFFF;
  uint32_t S = 0;
  uint32_t D = 0;
  int alpha = -1;      // source alpha channel value, -1 = no alpha channel
  int blendByte = -1;  // blend-image byte (the table maps byte i to i), -1 = none
  int trans = 0;
  bool runs = false;  // build the stream and draw from it
};

uint32_t Draw(const OnePixel& c) {
  DrawStateScope scope;
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = uint8_t(i);
  RefState st;
  st.mode = c.mode;
  st.param = c.param;
  st.bright = c.bright;
  st.area = {0, 0, 1, 1};
  st.blendTable = table;
  Apply(scope, st);
  TestImage src(1, 1, c.colorType, false, c.alpha >= 0);
  TestImage dst(1, 1, c.colorType);
  TestImage blend(1, 1, k16, true);
  src.Set(0, 0, c.S);
  if (c.alpha >= 0) src.SetAlpha(0, 0, uint32_t(c.alpha));
  src.img.TransColor = 0xDEADBEEF;  // never equal to the test pixels
  if (c.runs) src.BuildRuns();
  dst.Set(0, 0, c.D);
  blend.Set(0, 0, uint32_t(c.blendByte));
  DrawMemImg(&dst.img, &src.img, 0, 0, c.trans, c.blendByte >= 0 ? &blend.img : nullptr);
  return dst.Get(0, 0);
}

TEST(BlendRules, TranslucentHalfAverageAndItsBrightVariant16) {
  // Each field's lowest bit dropped, then the halves added.
  EXPECT_EQ(Draw({.mode = 1, .param = 128, .S = 0xFFFF, .D = 0x0000}), 0x7BEFu);
  // Bright on (blue channel 254): each field d + DIFF(128, s - d): R 31-15, G 63-31, B 31-15.
  EXPECT_EQ(Draw({.mode = 1, .param = 128, .bright = 0xFFFFFE, .S = 0x0000, .D = 0xFFFF}), 0x8410u);
}

TEST(BlendRules, TranslucentTableRowIsParameterOverFour16) {
  // Row 25: R = 31*25/63 = 12, G = 25, B = 12.
  for (int p = 100; p <= 103; ++p)
    EXPECT_EQ(Draw({.mode = 1, .param = p, .S = 0xFFFF, .D = 0}), 0x632Cu) << p;
  // Row 26: G = 26.
  EXPECT_EQ(Draw({.mode = 1, .param = 104, .S = 0xFFFF, .D = 0}), 0x634Cu);
}

TEST(BlendRules, TranslucentOnTheStreamUsesItsOwnRule) {
  // 16-bit: DIFF(100, 31) = 12, DIFF(100, 63) = 24 instead of the table's 12, 25.
  EXPECT_EQ(Draw({.mode = 1, .param = 100, .S = 0xFFFF, .D = 0, .trans = 1, .runs = true}),
            0x630Cu);
  EXPECT_EQ(Draw({.mode = 1, .param = 100, .S = 0xFFFF, .D = 0, .trans = 1}), 0x632Cu);
  // 32-bit at 128: 1 + (254*128 >> 8) = 128 with byte 3 kept, against the average 0x7F
  // with byte 3 cleared.
  EXPECT_EQ(Draw({.colorType = k32,
                  .mode = 1,
                  .param = 128,
                  .S = 0xFF,
                  .D = 0x99000001,
                  .trans = 1,
                  .runs = true}),
            0x99000080u);
  EXPECT_EQ(
      Draw({.colorType = k32, .mode = 1, .param = 128, .S = 0xFF, .D = 0x99000001, .trans = 1}),
      0x0000007Fu);
}

TEST(BlendRules, ParameterShortcuts) {
  for (int ct : {k16, k32}) {
    for (int mode : {1, 2, 3}) {
      // Parameter 0 leaves the destination alone whatever the source.
      EXPECT_EQ(Draw({.colorType = ct, .mode = mode, .param = 0, .S = 0xFFFFFF, .D = 0x1234}),
                0x1234u);
    }
    // Mode 1 at 255 is mode 0: plain, with blend factor, with bright, with alpha.
    EXPECT_EQ(Draw({.colorType = ct, .mode = 1, .param = 255, .S = 0x4321, .D = 0x1234}), 0x4321u);
  }
  // 0x7C0 (G = 62) over 0 with blend factor 128: G = 31.
  EXPECT_EQ(Draw({.mode = 1, .param = 255, .S = 0x07C0, .D = 0, .blendByte = 128}), 0x03E0u);
  // 32-bit bright 0x808080 on 0xFF: MUL(128, 255) = 128, byte 3 kept.
  EXPECT_EQ(Draw({.colorType = k32,
                  .mode = 1,
                  .param = 255,
                  .bright = 0x808080,
                  .S = 0xFF,
                  .D = 0x55000000}),
            0x55000080u);
  // Alpha 64 on 32-bit: 0 + (200*64 >> 8) = 50.
  EXPECT_EQ(Draw({.colorType = k32, .mode = 1, .param = 255, .S = 0xC8, .D = 0, .alpha = 64}),
            0x32u);
}

TEST(BlendRules, PackedAddAndSubtract16) {
  // Parameter 255 leaves the source fields as they are.
  EXPECT_EQ(Draw({.mode = 2, .param = 255, .S = 0xFFFF, .D = 0xFFFF}), 0xFFFFu);
  EXPECT_EQ(Draw({.mode = 2, .param = 255, .S = 0x0821, .D = 0x0821}), 0x0822u);
  EXPECT_EQ(Draw({.mode = 3, .param = 255, .S = 0xFFFF, .D = 0xFFFF}), 0x0800u);
  EXPECT_EQ(Draw({.mode = 3, .param = 255, .S = 0x0000, .D = 0x1234}), 0x1A14u);
  EXPECT_EQ(Draw({.mode = 3, .param = 255, .S = 0x1234, .D = 0x0000}), 0x0000u);
  // Parameter 128 halves each field first: MUL(128, 31) = 15, MUL(128, 63) = 31.
  EXPECT_EQ(Draw({.mode = 2, .param = 128, .S = 0xFFFF, .D = 0}), 0x7BEFu);
}

TEST(BlendRules, PackedAddAndSubtract32) {
  EXPECT_EQ(Draw({.colorType = k32, .mode = 2, .param = 255, .S = 0xFFFFFF, .D = 0xFFFFFF}),
            0x01FFFFFFu);
  EXPECT_EQ(Draw({.colorType = k32, .mode = 2, .param = 255, .S = 0x010000, .D = 0x7F0000}),
            0x7F0000u);
  EXPECT_EQ(Draw({.colorType = k32, .mode = 3, .param = 255, .S = 0, .D = 0}), 0x010100u);
  // Byte 3 of the source never enters: it is zero in the scaled pixel.
  EXPECT_EQ(Draw({.colorType = k32, .mode = 3, .param = 255, .S = 0xFF000000, .D = 0xEE101010}),
            0x00111110u);
}

TEST(BlendRules, AlphaScalesBeforeBrightFor16BitAddWithoutBlendImage) {
  // R, B: (31*9 >> 8) = 1, MUL(239, 1) = 0. G: (63*9 >> 8) = 2, MUL(239, 2) = 1.
  // Bright first would give R = B = 1, G = 2.
  EXPECT_EQ(Draw({.mode = 2, .param = 255, .bright = 0xEFEFEF, .S = 0xFFFF, .D = 0, .alpha = 9}),
            0x0020u);
  // 32-bit: bright first, then s*a*p >> 16: MUL(239, 255) = 239, 239*9*255 >> 16 = 8.
  EXPECT_EQ(Draw({.colorType = k32,
                  .mode = 2,
                  .param = 255,
                  .bright = 0xEFEFEF,
                  .S = 0xFFFFFF,
                  .D = 0,
                  .alpha = 9}),
            0x080808u);
}

TEST(BlendRules, AlphaChannelWithKeyOff) {
  // Alpha 255 is a factor: 31*255 >> 8 = 30, 63*255 >> 8 = 62.
  EXPECT_EQ(Draw({.mode = 0, .S = 0xFFFF, .D = 0, .alpha = 255}), 0xF7DEu);
  // Alpha 0: copy and translucent keep d, multiply gives black.
  EXPECT_EQ(Draw({.mode = 0, .S = 0xFFFF, .D = 0x1234, .alpha = 0}), 0x1234u);
  EXPECT_EQ(Draw({.mode = 1, .param = 200, .S = 0xFFFF, .D = 0x1234, .alpha = 0}), 0x1234u);
  EXPECT_EQ(Draw({.mode = 4, .S = 0xFFFF, .D = 0x1234, .alpha = 0}), 0x0000u);
}

TEST(BlendRules, AlphaChannelWithKeyOn) {
  // Alpha 0 is skipped in every mode, multiply included.
  EXPECT_EQ(Draw({.mode = 4, .S = 0xFFFF, .D = 0x1234, .alpha = 0, .trans = 1}), 0x1234u);
  // Alpha 255 copies the colour word.
  EXPECT_EQ(Draw({.mode = 0, .S = 0xFFFF, .D = 0, .alpha = 255, .trans = 1}), 0xFFFFu);
  // 32-bit: the whole value, alpha byte included.
  EXPECT_EQ(Draw({.colorType = k32, .mode = 0, .S = 0xFF123456, .D = 0, .alpha = 255, .trans = 1}),
            0xFF123456u);
  // Alpha 255 in mode 1 takes DIFF: 0 + DIFF(100, 31) = 12, DIFF(100, 63) = 24.
  EXPECT_EQ(Draw({.mode = 1, .param = 100, .S = 0xFFFF, .D = 0, .alpha = 255, .trans = 1}),
            0x630Cu);
}

TEST(BlendRules, ZeroBlendFactor) {
  // Table entry 0: modes 0, 1 and 2 keep d, mode 3 sets R's lowest bit and clears G's,
  // mode 4 gives black.
  for (int mode : {0, 1, 2})
    EXPECT_EQ(Draw({.mode = mode, .param = 200, .S = 0xFFFF, .D = 0x1234, .blendByte = 0}), 0x1234u)
        << mode;
  EXPECT_EQ(Draw({.mode = 3, .param = 200, .S = 0xFFFF, .D = 0x1234, .blendByte = 0}), 0x1A14u);
  EXPECT_EQ(Draw({.mode = 4, .S = 0xFFFF, .D = 0x1234, .blendByte = 0}), 0x0000u);
}

TEST(BlendRules, Multiply) {
  // White onto 0x80: 255*128 >> 8 = 127; byte 3 kept.
  EXPECT_EQ(Draw({.colorType = k32, .mode = 4, .S = 0xFFFFFF, .D = 0xAB808080}), 0xAB7F7F7Fu);
  // 16-bit white onto white: 31*31 >> 5 = 30, 63*63 >> 6 = 62.
  EXPECT_EQ(Draw({.mode = 4, .S = 0xFFFF, .D = 0xFFFF}), 0xF7DEu);
}

TEST(BlendRules, ProductsBeyond32Bits) {
  // 255*255*255*254 = 4211669250; >> 24 = 251.
  EXPECT_EQ(Draw({.colorType = k32,
                  .mode = 1,
                  .param = 254,
                  .S = 0xFF,
                  .D = 0,
                  .alpha = 255,
                  .blendByte = 255}),
            0xFBu);
  // 255^4 = 4228250625; >> 24 = 252, for multiply (then >> 8 of d = 255 kept in the shift)
  // and for add.
  EXPECT_EQ(
      Draw({.colorType = k32, .mode = 4, .S = 0xFF, .D = 0xFF, .alpha = 255, .blendByte = 255}),
      0xFCu);
  EXPECT_EQ(Draw({.colorType = k32,
                  .mode = 2,
                  .param = 255,
                  .S = 0xFF,
                  .D = 0,
                  .alpha = 255,
                  .blendByte = 255}),
            0xFCu);
}

TEST(BlendRules, FourthByteOf32BitPixels) {
  // Plain copy writes the source's byte 3; bright keeps the destination's.
  EXPECT_EQ(Draw({.colorType = k32, .S = 0x7F010203, .D = 0x11000000}), 0x7F010203u);
  EXPECT_EQ(Draw({.colorType = k32, .bright = 0xFEFFFF, .S = 0x7F010203, .D = 0x11000000}),
            0x11000203u);
  // Add stores R's carry, subtract 0, average 0, multiply keeps.
  EXPECT_EQ(Draw({.colorType = k32, .mode = 2, .param = 255, .S = 0x100000, .D = 0x22100000}),
            0x00200000u);
  EXPECT_EQ(Draw({.colorType = k32, .mode = 3, .param = 255, .S = 0x000000, .D = 0x22202020}),
            0x00212120u);
  EXPECT_EQ(Draw({.colorType = k32, .mode = 1, .param = 128, .S = 0x33000000, .D = 0x22000000}),
            0u);
  EXPECT_EQ(Draw({.colorType = k32, .mode = 4, .S = 0x33FFFFFF, .D = 0x22000000}), 0x22000000u);
}

// The reference model agrees with the hand-worked values above: one spot check of each
// table so a slip in the model itself shows.
TEST(BlendRules, ReferenceModelSpotChecks) {
  RefPixelCase k;
  k.mode = 1;
  k.param = 100;
  EXPECT_EQ(RefBlend(k, 0xFFFF, 0, -1, -1), 0x632Cu);
  k.runPath = true;
  EXPECT_EQ(RefBlend(k, 0xFFFF, 0, -1, -1), 0x630Cu);
  k = {};
  k.mode = 3;
  k.param = 255;
  EXPECT_EQ(RefBlend(k, 0, 0x1234, -1, -1), 0x1A14u);
  k.is16 = false;
  k.mode = 2;
  EXPECT_EQ(RefBlend(k, 0xFFFFFF, 0xFFFFFF, -1, -1), 0x01FFFFFFu);
}

}  // namespace
}  // namespace zq::soft::blit_test

namespace zq::soft::blit_test {
namespace {

// The pixel loops compute the table entries in closed form; every entry must agree, in
// single lanes and in both vector lane types.
TEST(BlendRules, ClosedFormsEqualTheTables) {
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) ASSERT_EQ(Mul255<int32_t>(x, y), SoftMulTable256[x][y]);
  for (int p = 0; p < 256; ++p)
    for (int v = -255; v <= 255; ++v)
      ASSERT_EQ(DiffMul255<int32_t>(p, v), SoftDiffMulTable256[p][255 + v]) << p << " " << v;
  for (int k = 0; k < 64; ++k)
    for (int s = 0; s < 64; ++s)
      for (int d = 0; d < 64; ++d) ASSERT_EQ(Blend64<int32_t>(k, s, d), SoftBlendTable64[k][s][d]);
  // 16-bit lanes over the ranges they are used for: fields up to 63.
  for (int p = 0; p < 256; ++p) {
    for (int v = -63; v <= 63; ++v) {
      const Half8 r = DiffMul255(Splat<Half8>(p), Splat<Half8>(v));
      ASSERT_EQ(r[3], SoftDiffMulTable256[p][255 + v]);
      if (v >= 0) {
        ASSERT_EQ(Mul255(Splat<Half8>(p), Splat<Half8>(v))[5], SoftMulTable256[p][v]);
      }
    }
  }
  for (int k = 0; k < 64; ++k)
    for (int s = 0; s < 64; ++s)
      for (int d = 0; d < 64; ++d)
        ASSERT_EQ(Blend64(Splat<Half8>(k), Splat<Half8>(s), Splat<Half8>(d))[0],
                  SoftBlendTable64[k][s][d]);
}

// The lane forms of the packed add and subtract equal the shared scalar ones.
TEST(BlendRules, PackedLaneFormsEqualTheScalarOnes) {
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  for (int i = 0; i < 200000; ++i) {
    const uint32_t s16 = next() >> 16, d16 = next() >> 16;
    const UHalf8 s8 = UHalf8{} + uint16_t(s16), d8 = UHalf8{} + uint16_t(d16);
    ASSERT_EQ(Pixel16::Add(s8, d8)[2], AddPixelSaturated16(s16, d16)) << s16 << " " << d16;
    ASSERT_EQ(Pixel16::Sub(s8, d8)[6], SubPixelSaturated16(s16, d16)) << s16 << " " << d16;
    const ULanes4 s4 = ULanes4{} + s16, d4 = ULanes4{} + d16;
    ASSERT_EQ(Pixel16::Add(s4, d4)[1], AddPixelSaturated16(s16, d16));
    ASSERT_EQ(Pixel16::Sub(s4, d4)[1], SubPixelSaturated16(s16, d16));
    const uint32_t s32 = next() & 0xFFFFFF, d32 = next();
    const ULanes4 a = ULanes4{} + s32, b = ULanes4{} + d32;
    ASSERT_EQ(Pixel32::Add(a, b)[0], AddPixelSaturated32(s32, d32));
    ASSERT_EQ(Pixel32::Sub(a, b)[0], SubPixelSaturated32(s32, d32));
  }
}

}  // namespace
}  // namespace zq::soft::blit_test
