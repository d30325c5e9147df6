// The tables are computed by the compiler, so they exist before any drawing and
// need no start-up step.
#include "softrender/soft_tables.h"

namespace zq::soft {
namespace {

struct Tables {
  uint8_t blend64[64][64][64];
  int32_t mul256[256][256];
  int32_t diffMul256[256][512];

  constexpr Tables() : blend64{}, mul256{}, diffMul256{} {
    for (int k = 0; k < 64; ++k)
      for (int s = 0; s < 64; ++s)
        for (int d = 0; d < 64; ++d) blend64[k][s][d] = uint8_t((s * k + d * (63 - k)) / 63);
    for (int x = 0; x < 256; ++x)
      for (int y = 0; y < 256; ++y) mul256[x][y] = x * y / 255;
    // C++ division truncates toward zero, as the negative half of the table needs.
    for (int p = 0; p < 256; ++p)
      for (int v = -255; v <= 255; ++v) diffMul256[p][255 + v] = p * v / 255;
  }
};

constinit const Tables kTables;

}  // namespace

constinit const uint8_t (&SoftBlendTable64)[64][64][64] = kTables.blend64;
constinit const int32_t (&SoftMulTable256)[256][256] = kTables.mul256;
constinit const int32_t (&SoftDiffMulTable256)[256][512] = kTables.diffMul256;

}  // namespace zq::soft
