#include "softrender/soft_tables.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace zq::soft {
namespace {

// Expectations below are worked out by hand from
//   blend64[k][s][d] = (s*k + d*(63 - k)) / 63
//   mul256[x][y]     = x*y / 255
//   diffMul[p][255+v] = p*v / 255, truncated toward zero.

TEST(SoftBlendTable64, CornersAndInterior) {
  EXPECT_EQ(SoftBlendTable64[0][0][0], 0);
  EXPECT_EQ(SoftBlendTable64[63][63][63], 63);
  EXPECT_EQ(SoftBlendTable64[0][10][20], 20);   // k = 0 keeps the destination
  EXPECT_EQ(SoftBlendTable64[63][10][20], 10);  // k = 63 takes the source
  EXPECT_EQ(SoftBlendTable64[0][63][0], 0);
  EXPECT_EQ(SoftBlendTable64[63][0][63], 0);
  EXPECT_EQ(SoftBlendTable64[32][63][0], 32);   // 2016 / 63
  EXPECT_EQ(SoftBlendTable64[32][0][63], 31);   // 1953 / 63
  EXPECT_EQ(SoftBlendTable64[10][40][7], 12);   // 771 / 63 = 12.2
  EXPECT_EQ(SoftBlendTable64[50][33][61], 38);  // 2443 / 63 = 38.8
  EXPECT_EQ(SoftBlendTable64[1][62][62], 62);   // 62 * 63 / 63
}

TEST(SoftMulTable256, CornersAndInterior) {
  EXPECT_EQ(SoftMulTable256[0][0], 0);
  EXPECT_EQ(SoftMulTable256[0][255], 0);
  EXPECT_EQ(SoftMulTable256[255][0], 0);
  EXPECT_EQ(SoftMulTable256[255][255], 255);
  EXPECT_EQ(SoftMulTable256[255][1], 1);
  EXPECT_EQ(SoftMulTable256[254][1], 0);     // 254 / 255
  EXPECT_EQ(SoftMulTable256[128][128], 64);  // 16384 / 255 = 64.25
  EXPECT_EQ(SoftMulTable256[100][200], 78);  // 20000 / 255 = 78.4
  EXPECT_EQ(SoftMulTable256[200][100], 78);
  EXPECT_EQ(SoftMulTable256[17][15], 1);      // 255 / 255
  EXPECT_EQ(SoftMulTable256[254][254], 253);  // 64516 / 255 = 253.0
}

TEST(SoftDiffMulTable256, TruncatesTowardZero) {
  const auto& t = SoftDiffMulTable256;
  EXPECT_EQ(t[0][0], 0);
  EXPECT_EQ(t[0][510], 0);
  EXPECT_EQ(t[255][0], -255);
  EXPECT_EQ(t[255][510], 255);
  EXPECT_EQ(t[255][255], 0);
  EXPECT_EQ(t[128][255 - 1], 0);  // -0.5 -> 0, not -1
  EXPECT_EQ(t[128][255 + 1], 0);
  EXPECT_EQ(t[128][0], -128);
  EXPECT_EQ(t[200][255 - 100], -78);  // -78.4 -> -78
  EXPECT_EQ(t[200][255 + 100], 78);
  EXPECT_EQ(t[1][0], -1);
  EXPECT_EQ(t[1][1], 0);      // -254 / 255
  EXPECT_EQ(t[255][511], 0);  // unused slot
}

// ---- blend-graph table --------------------------------------------------------------

std::array<uint8_t, 256> Build(int p, int q) {
  std::array<uint8_t, 256> t;
  t.fill(0xCD);
  BuildBlendGraphTable(p, q, t.data());
  return t;
}

TEST(BlendGraphTable, FullRangeAndZeroParameters) {
  // p 0, q 255: r 256, k 256; i + 256 clamps to 255 everywhere.
  for (uint8_t v : Build(0, 255)) EXPECT_EQ(v, 255);
  // p 0, q 0: r 1, k 256.
  for (uint8_t v : Build(0, 0)) EXPECT_EQ(v, 255);
}

TEST(BlendGraphTable, HighestParameters) {
  // p 255, q 255: r 256, (256 + 256) * 255 / 256 = 510, k = -254; entry i - 254.
  const auto t = Build(255, 255);
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[254], 0);
  EXPECT_EQ(t[255], 1);
}

TEST(BlendGraphTable, SharpEdge) {
  // p 128, q 0: r 1, (65536 + 256) * 128 / 256 = 32896, k = -32640; entry 256 i - 32640.
  const auto t = Build(128, 0);
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[127], 0);
  EXPECT_EQ(t[128], 128);
  EXPECT_EQ(t[129], 255);
  EXPECT_EQ(t[255], 255);
}

TEST(BlendGraphTable, RampsWithTruncation) {
  // p 64, q 3: r 4, 65536/4 = 16384, (16384 + 256) * 64 / 256 = 4160, k = -3904; 64 i - 3904.
  auto t = Build(64, 3);
  EXPECT_EQ(t[60], 0);
  EXPECT_EQ(t[61], 0);
  EXPECT_EQ(t[62], 64);
  EXPECT_EQ(t[63], 128);
  EXPECT_EQ(t[64], 192);
  EXPECT_EQ(t[65], 255);
  // p 100, q 7: r 8, 8192 + 256 = 8448, * 100 / 256 = 3300, k = -3044; 32 i - 3044.
  t = Build(100, 7);
  EXPECT_EQ(t[95], 0);
  EXPECT_EQ(t[96], 28);
  EXPECT_EQ(t[100], 156);
  EXPECT_EQ(t[103], 252);
  EXPECT_EQ(t[104], 255);
  // p 10, q 254: r 255, 65536/255 = 257, (257 + 256) * 10 / 256 = 20, k = 236;
  // 256 i / 255 + 236: i 0 -> 236, i 19 -> 19 + 236 = 255, i 18 -> 254.
  t = Build(10, 254);
  EXPECT_EQ(t[0], 236);
  EXPECT_EQ(t[18], 254);
  EXPECT_EQ(t[19], 255);
  EXPECT_EQ(t[255], 255);
}

TEST(BlendGraphTable, OutOfRangeParametersAreClamped) {
  EXPECT_EQ(Build(128, -1), Build(128, 0));  // never divides by zero
  EXPECT_EQ(Build(128, 1000), Build(128, 255));
  EXPECT_EQ(Build(-7, 3), Build(0, 3));
  EXPECT_EQ(Build(1 << 30, 3), Build(255, 3));
  BuildBlendGraphTable(1, 1, nullptr);  // no table: nothing to write
}

}  // namespace
}  // namespace zq::soft
