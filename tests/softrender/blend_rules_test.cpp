// One pixel drawn onto one pixel, with results worked out by hand from the blend rules, and
// every entry of the tables against its rule. (The vector loops' closed forms and packed
// helpers meet the models in every random draw test, and the scalar ones through the
// checksum test of the dispatch levels.)
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>

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

// One row per case: format, mode, parameter, bright, S, D, source alpha (-1 none), blend
// byte (-1 none), transparent flag, drawn from the stream; and the hand-worked result.
struct Row {
  OnePixel c;
  uint32_t want;
  const char* why;
};
Row R(int ct, int mode, int param, uint32_t bright, uint32_t S, uint32_t D, int alpha,
      int blendByte, int trans, bool runs, uint32_t want, const char* why) {
  return {OnePixel{ct, mode, param, bright, S, D, alpha, blendByte, trans, runs}, want, why};
}
constexpr uint32_t kOff = 0xFFFFFF;  // bright off

TEST(BlendRules, OnePixelWorkedByHand) {
  const Row rows[] = {
      // Translucent 16-bit: each field's lowest bit dropped, then the halves added; bright
      // on (blue 254): d + DIFF(128, s - d) per field: R 31-15, G 63-31, B 31-15.
      R(k16, 1, 128, kOff, 0xFFFF, 0, -1, -1, 0, false, 0x7BEF, "half average"),
      R(k16, 1, 128, 0xFFFFFE, 0, 0xFFFF, -1, -1, 0, false, 0x8410, "half, bright"),
      // Table row 25 for parameters 100..103 (R = 31*25/63 = 12, G = 25, B = 12); row 26 at 104.
      R(k16, 1, 103, kOff, 0xFFFF, 0, -1, -1, 0, false, 0x632C, "row 25 at 103"),
      R(k16, 1, 104, kOff, 0xFFFF, 0, -1, -1, 0, false, 0x634C, "row 26 at 104"),
      // The stream's own rule: DIFF(100, 31) = 12, DIFF(100, 63) = 24 against the table's
      // 12, 25; 32-bit at 128: 1 + (254*128 >> 8) = 128 with byte 3 kept, against the
      // average 0x7F with byte 3 cleared.
      R(k16, 1, 100, kOff, 0xFFFF, 0, -1, -1, 1, true, 0x630C, "stream DIFF"),
      R(k16, 1, 100, kOff, 0xFFFF, 0, -1, -1, 1, false, 0x632C, "per pixel table"),
      R(k32, 1, 128, kOff, 0xFF, 0x99000001, -1, -1, 1, true, 0x99000080, "stream 32"),
      R(k32, 1, 128, kOff, 0xFF, 0x99000001, -1, -1, 1, false, 0x7F, "average 32"),
      // Shortcuts: parameter 0 leaves d alone in modes 1..3; mode 1 at 255 is mode 0 (plain,
      // with blend factor: G 62 -> 31, with bright: MUL(128, 255) = 128 and byte 3 kept,
      // with alpha 64: 200*64 >> 8 = 50).
      R(k16, 1, 0, kOff, 0xFFFFFF, 0x1234, -1, -1, 0, false, 0x1234, "16 mode 1 at 0"),
      R(k32, 1, 255, kOff, 0x4321, 0x1234, -1, -1, 0, false, 0x4321, "32 mode 1 at 255"),
      R(k16, 1, 255, kOff, 0x07C0, 0, -1, 128, 0, false, 0x03E0, "255 with factor"),
      R(k32, 1, 255, 0x808080, 0xFF, 0x55000000, -1, -1, 0, false, 0x55000080, "255 bright"),
      R(k32, 1, 255, kOff, 0xC8, 0, 64, -1, 0, false, 0x32, "255 with alpha"),
      // Packed add and subtract, 16-bit: parameter 255 keeps the source fields; 128 halves
      // them first (MUL(128, 31) = 15, MUL(128, 63) = 31).
      R(k16, 2, 255, kOff, 0x0821, 0x0821, -1, -1, 0, false, 0x0822, "add low bits"),
      R(k16, 3, 255, kOff, 0, 0x1234, -1, -1, 0, false, 0x1A14, "sub zero"),
      // 32-bit: byte 3 of the source never enters (zero in the scaled pixel).
      R(k32, 2, 255, kOff, 0xFFFFFF, 0xFFFFFF, -1, -1, 0, false, 0x01FFFFFF, "add 32 carry"),
      R(k32, 3, 255, kOff, 0xFF000000, 0xEE101010, -1, -1, 0, false, 0x00111110, "sub 32 byte 3"),
      // Alpha before bright for 16-bit add without blend image: R, B (31*9 >> 8) = 1,
      // MUL(239, 1) = 0; G (63*9 >> 8) = 2, MUL(239, 2) = 1 (bright first: 1, 2, 1). 32-bit:
      // bright first, then s*a*p >> 16: MUL(239, 255) = 239, 239*9*255 >> 16 = 8.
      R(k16, 2, 255, 0xEFEFEF, 0xFFFF, 0, 9, -1, 0, false, 0x0020, "alpha then bright"),
      R(k32, 2, 255, 0xEFEFEF, 0xFFFFFF, 0, 9, -1, 0, false, 0x080808, "bright then alpha"),
      // Alpha channel, key off: 255 is a factor (31*255 >> 8 = 30, 63*255 >> 8 = 62); alpha 0
      // keeps d in copy and translucent, multiply gives black.
      R(k16, 0, 0, kOff, 0xFFFF, 0, 255, -1, 0, false, 0xF7DE, "alpha 255 key off"),
      R(k16, 1, 200, kOff, 0xFFFF, 0x1234, 0, -1, 0, false, 0x1234, "alpha 0 translucent"),
      R(k16, 4, 0, kOff, 0xFFFF, 0x1234, 0, -1, 0, false, 0, "alpha 0 multiply"),
      // Key on: alpha 0 skipped in every mode; alpha 255 copies the colour word (32-bit: the
      // whole value, alpha byte included); mode 1 takes DIFF: DIFF(100, 31) = 12, (100, 63) = 24.
      R(k16, 4, 0, kOff, 0xFFFF, 0x1234, 0, -1, 1, false, 0x1234, "alpha 0 skipped"),
      R(k32, 0, 0, kOff, 0xFF123456, 0, 255, -1, 1, false, 0xFF123456, "alpha 255 copies 32"),
      R(k16, 1, 100, kOff, 0xFFFF, 0, 255, -1, 1, false, 0x630C, "alpha 255 DIFF"),
      // Table entry 0: modes 0..2 keep d, mode 3 sets R's lowest bit and clears G's, 4 black.
      R(k16, 3, 200, kOff, 0xFFFF, 0x1234, -1, 0, 0, false, 0x1A14, "factor 0 mode 3"),
      R(k16, 4, 0, kOff, 0xFFFF, 0x1234, -1, 0, 0, false, 0, "factor 0 mode 4"),
      // Multiply: 255*128 >> 8 = 127 with byte 3 kept; 16-bit 31*31 >> 5 = 30, 63*63 >> 6 = 62.
      R(k32, 4, 0, kOff, 0xFFFFFF, 0xAB808080, -1, -1, 0, false, 0xAB7F7F7F, "multiply 32"),
      // Products beyond 32 bits: 255*255*255*254 >> 24 = 251; 255^4 >> 24 = 252 for multiply
      // (d = 255 kept in the shift) and for add.
      R(k32, 1, 254, kOff, 0xFF, 0, 255, 255, 0, false, 0xFB, "translucent 4 factors"),
      R(k32, 4, 0, kOff, 0xFF, 0xFF, 255, 255, 0, false, 0xFC, "multiply 4 factors"),
      R(k32, 2, 255, kOff, 0xFF, 0, 255, 255, 0, false, 0xFC, "add 4 factors"),
      // Fourth byte: plain copy writes the source's, bright keeps the destination's; add
      // stores R's carry, subtract 0, average 0, multiply keeps.
      R(k32, 0, 0, kOff, 0x7F010203, 0x11000000, -1, -1, 0, false, 0x7F010203, "byte 3 copy"),
      R(k32, 0, 0, 0xFEFFFF, 0x7F010203, 0x11000000, -1, -1, 0, false, 0x11000203, "byte 3 br"),
      R(k32, 2, 255, kOff, 0x100000, 0x22100000, -1, -1, 0, false, 0x00200000, "byte 3 add"),
      R(k32, 3, 255, kOff, 0, 0x22202020, -1, -1, 0, false, 0x00212120, "byte 3 sub"),
      R(k32, 1, 128, kOff, 0x33000000, 0x22000000, -1, -1, 0, false, 0, "byte 3 average"),
      R(k32, 4, 0, kOff, 0x33FFFFFF, 0x22000000, -1, -1, 0, false, 0x22000000, "byte 3 mul"),
  };
  for (const Row& r : rows) EXPECT_EQ(Draw(r.c), r.want) << r.why;
}

// Every entry of the blend tables against their rules:
//   blend64[k][s][d]  = (s*k + d*(63 - k)) / 63
//   mul256[x][y]      = x*y / 255
//   diffMul[p][255+v] = p*v / 255, truncated toward zero (slot 511 unused, 0)
// and of the blend-graph table for every pair of parameters: with both clamped to 0..255,
// r = q + 1, k = 256 - (65536 / r + 256) * p / 256, entry i = 256 * i / r + k held to
// 0..255.
TEST(SoftTables, EveryEntryFollowsItsRule) {
  for (int k = 0; k < 64; ++k)
    for (int s = 0; s < 64; ++s)
      for (int d = 0; d < 64; ++d)
        ASSERT_EQ(SoftBlendTable64[k][s][d], (s * k + d * (63 - k)) / 63)
            << k << " " << s << " " << d;
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) ASSERT_EQ(SoftMulTable256[x][y], x * y / 255) << x << " " << y;
  for (int p = 0; p < 256; ++p) {
    for (int v = -255; v <= 255; ++v) ASSERT_EQ(SoftDiffMulTable256[p][255 + v], p * v / 255);
    EXPECT_EQ(SoftDiffMulTable256[p][511], 0);
  }
}

std::array<uint8_t, 256> Build(int p, int q) {
  std::array<uint8_t, 256> t;
  t.fill(0xCD);
  BuildBlendGraphTable(p, q, t.data());
  return t;
}

TEST(BlendGraphTable, EveryParameterPairFollowsTheRule) {
  for (int p = -2; p < 258; ++p)
    for (int q = -2; q < 258; ++q) {
      const int64_t pc = std::clamp(p, 0, 255), r = std::clamp(q, 0, 255) + 1;
      const int64_t k = 256 - (65536 / r + 256) * pc / 256;
      const auto t = Build(p, q);
      for (int i = 0; i < 256; ++i)
        ASSERT_EQ(t[size_t(i)], std::clamp<int64_t>(256 * i / r + k, 0, 255))
            << p << " " << q << " " << i;
    }
  EXPECT_EQ(Build(1 << 30, 3), Build(255, 3));
  BuildBlendGraphTable(1, 1, nullptr);  // no table: nothing to write
}

}  // namespace
}  // namespace zq::soft::blit_test
