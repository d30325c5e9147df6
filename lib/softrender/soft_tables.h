// Read-only arithmetic tables of the software renderers, ready before any drawing.
#pragma once

#include <cstdint>

namespace zq::soft {

// [k][s][d] = (s*k + d*(63 - k)) / 63, truncated.
extern const uint8_t (&SoftBlendTable64)[64][64][64];
// [x][y] = x*y / 255, truncated.
extern const int32_t (&SoftMulTable256)[256][256];
// Row p, slot 255 + v = p*v / 255 truncated toward zero, v = -255..255; slot 511 unused (0).
extern const int32_t (&SoftDiffMulTable256)[256][512];

// Fills the blend-graph table for the blend graph's two parameters p and q (each 0..255,
// values outside are clamped): with r = q + 1 and k = 256 - ((65536 / r + 256) * p / 256),
// entry i = 256 * i / r + k, clamped to 0..255.
void BuildBlendGraphTable(int p, int q, uint8_t table[256]);

}  // namespace zq::soft
