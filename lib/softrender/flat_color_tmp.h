// Flat-colour blend arithmetic: one prepared colour s combined with one destination pixel
// d in blend modes 1 to 4 (mode 0 is a plain store; modes 2 and 3 combine the scaled
// colour through the packed saturating operations). Interim home, used by the
// flat-colour triangle spans until the filled boxes provide the shared one.
#pragma once

#include <cstdint>

namespace zq::soft::flat_tmp {

// Mode 1, 16-bit: each field moves towards s by Dp[sF - dF] (Dp: centre of the
// SoftDiffMulTable256 row of the parameter).
inline uint32_t FlatAlpha16(uint32_t s, uint32_t d, const int32_t* diffCentre) {
  auto field = [&](uint32_t sf, uint32_t df) {
    return uint32_t(int32_t(df) + diffCentre[int32_t(sf) - int32_t(df)]);
  };
  return (field(s >> 11 & 0x1F, d >> 11 & 0x1F) << 11 | field(s >> 5 & 0x3F, d >> 5 & 0x3F) << 5 |
          field(s & 0x1F, d & 0x1F)) &
         0xFFFFu;
}

// Mode 1, 32-bit: bytes 0-2 = ((s - d) * p + (d << 8)) >> 8, never negative; d's fourth
// byte kept.
inline uint32_t FlatAlpha32(uint32_t s, uint32_t d, int32_t p) {
  auto byte = [&](int shift) {
    const int32_t sb = int32_t(s >> shift & 0xFF), db = int32_t(d >> shift & 0xFF);
    return uint32_t(((sb - db) * p + (db << 8)) >> 8) << shift;
  };
  return byte(0) | byte(8) | byte(16) | (d & 0xFF000000u);
}

// Modes 2 and 3: the colour scaled by the parameter's SoftMulTable256 row, per field.
inline uint32_t FlatScale16(uint32_t s, const int32_t* mul) {
  return uint32_t(mul[s >> 11 & 0x1F]) << 11 | uint32_t(mul[s >> 5 & 0x3F]) << 5 |
         uint32_t(mul[s & 0x1F]);
}

inline uint32_t FlatScale32(uint32_t s, const int32_t* mul) {
  return uint32_t(mul[s & 0xFF]) | uint32_t(mul[s >> 8 & 0xFF]) << 8 |
         uint32_t(mul[s >> 16 & 0xFF]) << 16;
}

// Mode 4: fields multiplied, divided by their full scale with a shift.
inline uint32_t FlatMultiply16(uint32_t s, uint32_t d) {
  return ((s >> 11 & 0x1F) * (d >> 11 & 0x1F) >> 5) << 11 |
         ((s >> 5 & 0x3F) * (d >> 5 & 0x3F) >> 6) << 5 | ((s & 0x1F) * (d & 0x1F) >> 5);
}

inline uint32_t FlatMultiply32(uint32_t s, uint32_t d) {
  auto byte = [&](int shift) { return ((s >> shift & 0xFF) * (d >> shift & 0xFF) >> 8) << shift; };
  return byte(0) | byte(8) | byte(16) | (d & 0xFF000000u);
}

}  // namespace zq::soft::flat_tmp
