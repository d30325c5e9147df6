#include "softrender/soft_tables.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <utility>
#include <vector>

namespace zq::soft {
namespace {

// Expectations below are worked out by hand from
//   blend64[k][s][d] = (s*k + d*(63 - k)) / 63
//   mul256[x][y]     = x*y / 255
//   diffMul[p][255+v] = p*v / 255, truncated toward zero.

TEST(SoftTables, CornersAndInterior) {
  // {k, s, d, blend64}: k = 0 keeps the destination, k = 63 takes the source.
  const int blend[][4] = {
      {0, 0, 0, 0},     {63, 63, 63, 63}, {0, 10, 20, 20}, {63, 10, 20, 10},
      {0, 63, 0, 0},    {63, 0, 63, 0},   {32, 63, 0, 32},  // 2016 / 63
      {32, 0, 63, 31},                                      // 1953 / 63
      {10, 40, 7, 12},                                      // 771 / 63 = 12.2
      {50, 33, 61, 38},                                     // 2443 / 63 = 38.8
      {1, 62, 62, 62},                                      // 62 * 63 / 63
  };
  for (const auto& e : blend)
    EXPECT_EQ(SoftBlendTable64[e[0]][e[1]][e[2]], e[3]) << e[0] << " " << e[1] << " " << e[2];
  // {x, y, mul256}
  const int mul[][3] = {
      {0, 0, 0},       {0, 255, 0},    {255, 0, 0},
      {255, 255, 255}, {255, 1, 1},    {254, 1, 0},  // 254 / 255
      {128, 128, 64},                                // 16384 / 255 = 64.25
      {100, 200, 78},  {200, 100, 78},               // 20000 / 255 = 78.4
      {17, 15, 1},                                   // 255 / 255
      {254, 254, 253},                               // 64516 / 255 = 253.0
  };
  for (const auto& e : mul) EXPECT_EQ(SoftMulTable256[e[0]][e[1]], e[2]) << e[0] << " " << e[1];
  // {p, 255 + v, diffMul}: truncated toward zero.
  const int diff[][3] = {
      {0, 0, 0},
      {0, 510, 0},
      {255, 0, -255},
      {255, 510, 255},
      {255, 255, 0},
      {128, 255 - 1, 0},  // -0.5 -> 0, not -1
      {128, 255 + 1, 0},
      {128, 0, -128},
      {200, 255 - 100, -78},  // -78.4 -> -78
      {200, 255 + 100, 78},
      {1, 0, -1},
      {1, 1, 0},      // -254 / 255
      {255, 511, 0},  // unused slot
  };
  for (const auto& e : diff)
    EXPECT_EQ(SoftDiffMulTable256[e[0]][e[1]], e[2]) << e[0] << " " << e[1];
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

TEST(BlendGraphTable, EdgesAndRamps) {
  struct Case {
    int p, q;
    std::vector<std::pair<int, int>> entries;  // index, value
  };
  const Case cases[] = {
      // p 255, q 255: r 256, (256 + 256) * 255 / 256 = 510, k = -254; entry i - 254.
      {255, 255, {{0, 0}, {254, 0}, {255, 1}}},
      // p 128, q 0: r 1, (65536 + 256) * 128 / 256 = 32896, k = -32640; entry 256 i - 32640.
      {128, 0, {{0, 0}, {127, 0}, {128, 128}, {129, 255}, {255, 255}}},
      // p 64, q 3: r 4, 65536/4 = 16384, (16384 + 256) * 64 / 256 = 4160, k = -3904;
      // 64 i - 3904.
      {64, 3, {{60, 0}, {61, 0}, {62, 64}, {63, 128}, {64, 192}, {65, 255}}},
      // p 100, q 7: r 8, 8192 + 256 = 8448, * 100 / 256 = 3300, k = -3044; 32 i - 3044.
      {100, 7, {{95, 0}, {96, 28}, {100, 156}, {103, 252}, {104, 255}}},
      // p 10, q 254: r 255, 65536/255 = 257, (257 + 256) * 10 / 256 = 20, k = 236;
      // 256 i / 255 + 236: i 0 -> 236, i 19 -> 19 + 236 = 255, i 18 -> 254.
      {10, 254, {{0, 236}, {18, 254}, {19, 255}, {255, 255}}},
  };
  for (const Case& c : cases) {
    const auto t = Build(c.p, c.q);
    for (auto [i, v] : c.entries) EXPECT_EQ(t[size_t(i)], v) << c.p << " " << c.q << " " << i;
  }
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
