// Rotated drawing: pixels of a 4 x 3 source worked by hand from the rotation rules (angle
// 0, scale 2, quarter and half turns, one odd angle, the mirrored path), clipping at each
// edge of the draw area, rejected inputs, and random draws against a literal model of the
// box walk (32-bit stepping and a bounds test at every pixel of the box).
#include "softrender/rotated.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/math.h"
#include "base/rect.h"
#include "graphics/draw_state.h"
#include "softrender/triangle.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using platform::RECT;
using zq::test::ResetDrawState;
using zq::test::TestImage;

constexpr float kPi = 3.14159265358979f;

// The four edges of a rectangle or bounds, compared at once.
template <typename R>
std::array<int32_t, 4> Edges(const R& r) {
  return {int32_t(r.left), int32_t(r.top), int32_t(r.right), int32_t(r.bottom)};
}
using E4 = std::array<int32_t, 4>;

// A source whose texel (u, v) has a value unique to the position and the format; the
// destination background is a value no texel has.
uint32_t Texel(int colorType, int u, int v) {
  return colorType == 0 ? 0x4000u + uint32_t(u << 4) + uint32_t(v)
                        : 0xC1000000u + uint32_t(u << 8) + uint32_t(v);
}
uint32_t Background(int colorType) {
  return colorType == 0 ? 0x0841u : 0x5A0A0B0Cu;
}

TestImage MakeSource(int colorType, int w, int h) {
  TestImage s(w, h, colorType, 0, 0, zq::test::kRowPad);
  for (int v = 0; v < h; ++v)
    for (int u = 0; u < w; ++u) s.Set(u, v, Texel(colorType, u, v));
  return s;
}

TestImage MakeDest(int colorType, int w = 32, int h = 32) {
  TestImage d(w, h, colorType, 0, 0, zq::test::kRowPad);
  d.Fill(Background(colorType));
  return d;
}

// What each destination pixel should show: a texel (u, v), or nothing (-1).
struct Expect {
  int u = -1, v = -1;
};
using TexelMap = std::vector<std::vector<Expect>>;  // [y][x]

TexelMap Blank(int w = 32, int h = 32) {
  return TexelMap(size_t(h), std::vector<Expect>(size_t(w)));
}

// A picture: one cell per pixel from column x0 of row y0 down, "uv" a texel, ".." none.
TexelMap Picture(int x0, int y0, const std::vector<std::string>& rows) {
  TexelMap m = Blank();
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; 3 * c + 1 < rows[r].size(); ++c) {
      const char a = rows[r][3 * c], b = rows[r][3 * c + 1];
      if (a != '.') m[size_t(y0) + r][size_t(x0) + c] = Expect{a - '0', b - '0'};
    }
  }
  return m;
}

void ExpectPixels(TestImage& d, const TexelMap& want, int colorType) {
  for (int y = 0; y < d.img.Height; ++y) {
    for (int x = 0; x < d.img.Width; ++x) {
      const Expect e = want[size_t(y)][size_t(x)];
      const uint32_t w = e.u < 0 ? Background(colorType) : Texel(colorType, e.u, e.v);
      EXPECT_EQ(d.Get(x, y), w) << "pixel (" << x << ", " << y << ")";
    }
  }
  EXPECT_TRUE(d.PaddingClean());
}

class RotatedFormats : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { ResetDrawState(32, 32); }
  int ct() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Both, RotatedFormats, ::testing::Values(0, 1),
                         [](const auto& p) { return p.param == 0 ? "Rgb565" : "Xrgb8888"; });

// --------------------------------------------------------------------------------------
// Hand-worked pixels of a 4 x 3 source centred at (10, 10). The centre maps to source
// point (2, 1), the top-left corner of texel (2, 1).

TEST_P(RotatedFormats, AngleZeroScaleOneIsAPlainBlit) {
  // Corners (8, 8.5) to (12, 11.5); box 6..16 x 6..15; du = 1, dv = 0; U0 = -2, V0 = -3
  // at (6, 6): texel (0, 0) lands at (10 - 2, 10 - 1).
  TestImage s = MakeSource(ct(), 4, 3), d = MakeDest(ct()), blit = MakeDest(ct());
  DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
  for (int v = 0; v < 3; ++v)
    for (int u = 0; u < 4; ++u) blit.Set(8 + u, 9 + v, s.Get(u, v));
  EXPECT_EQ(d.bytes, blit.bytes);
  ExpectPixels(d, Picture(8, 9, {"00 10 20 30", "01 11 21 31", "02 12 22 32"}), ct());
}

TEST_P(RotatedFormats, ScaleTwo) {
  // hw = 4, hh = 3: corners (6, 7) to (14, 13); box 4..18 x 5..17; du = dV = 0.5 pixel;
  // U0 = -1, V0 = -1.5: u = x / 2 - 3, v = y / 2 - 4.
  TestImage s = MakeSource(ct(), 4, 3), d = MakeDest(ct());
  DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 2.0f, 0, 0, nullptr);
  ExpectPixels(
      d,
      Picture(6, 8,
              {"00 00 10 10 20 20 30 30", "00 00 10 10 20 20 30 30", "01 01 11 11 21 21 31 31",
               "01 01 11 11 21 21 31 31", "02 02 12 12 22 22 32 32", "02 02 12 12 22 22 32 32"}),
      ct());
}

TEST_P(RotatedFormats, QuarterTurnClockwise) {
  // sin = 1, cos of the float angle is -4.4e-8, which truncates to 0: Sa = 2^18, Ca = 0,
  // Sn = -2^18, Cn = 0. Corners (11.5, 8) (8.5, 8) (8.5, 12) (11.5, 12); box 6..15 x 6..16;
  // du = 0, dv = -1, dU = 1, dV = 0; U0 = -2, V0 = 5: u = y - 8, v = 11 - x.
  TestImage s = MakeSource(ct(), 4, 3), d = MakeDest(ct());
  DrawMemImgRotated(&d.img, &s.img, 10, 10, kPi / 2, 1.0f, 0, 0, nullptr);
  ExpectPixels(d, Picture(9, 8, {"02 01 00", "12 11 10", "22 21 20", "32 31 30"}), ct());
}

TEST_P(RotatedFormats, HalfTurn) {
  // Sa = Sn = 0 (sin of the float angle is -8.7e-8), Ca = Cn = -2^18. Box 6..16 x 6..15;
  // du = -1, dV = -1; U0 = 6, V0 = 5: u = 12 - x, v = 11 - y.
  TestImage s = MakeSource(ct(), 4, 3), d = MakeDest(ct());
  DrawMemImgRotated(&d.img, &s.img, 10, 10, kPi, 1.0f, 0, 0, nullptr);
  const TexelMap want = Picture(9, 9, {"32 22 12 02", "31 21 11 01", "30 20 10 00"});
  ExpectPixels(d, want, ct());

  // A negative scale is the same half turn.
  TestImage d2 = MakeDest(ct());
  DrawMemImgRotated(&d2.img, &s.img, 10, 10, 0.0f, -1.0f, 0, 0, nullptr);
  ExpectPixels(d2, want, ct());
}

TEST_P(RotatedFormats, OddAngleAndScale) {
  // Angle 0.5, scale 1.25: Sa = 125678, Ca = Cn = 230053, Sn = -125678; corners in 14.18
  // (2281954, 1875896) (1810662, 2738594) (2960926, 3366984) (3432218, 2504286); box 4..17
  // x 5..16; du = 184042, dv = -100542, dU = 100542, dV = 184042, U0 = -1082678,
  // V0 = -54813.
  TestImage s = MakeSource(ct(), 4, 3), d = MakeDest(ct());
  DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.5f, 1.25f, 0, 0, nullptr);
  ExpectPixels(d,
               Picture(7, 9,
                       {".. 01 00 10 .. ..", ".. 01 11 11 20 30", "02 02 12 21 31 30",
                        ".. .. 22 22 32 ..", ".. .. .. .. 32 .."}),
               ct());
}

TEST_P(RotatedFormats, TurnFlagMirrorsThroughTheQuad) {
  // Whole-pixel corners (8, 8) (8, 11) (12, 11) (12, 8) go to the quad as (12, 8) (8, 8)
  // (12, 11) (8, 11): u = 12 - x, v = y - 8 over rows 8..10 (the bottom corner row is not
  // drawn), columns 9..12 (column 8 has u = 4). The mirrored image lies one column right
  // of the unturned one, and the truncated half row puts it one row higher.
  TestImage s = MakeSource(ct(), 4, 3), d = MakeDest(ct());
  DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, 1, nullptr);
  ExpectPixels(d, Picture(9, 8, {"30 20 10 00", "31 21 11 01", "32 22 12 02"}), ct());
}

TEST_P(RotatedFormats, ClippedAtEachEdgeOfTheDrawArea) {
  // The unclipped draw covers columns 8..11 and rows 9..11 (texel = (x - 8, y - 9)).
  TestImage s = MakeSource(ct(), 4, 3);
  const RECT areas[] = {
      {9, 0, 32, 32}, {0, 10, 32, 32}, {0, 0, 11, 32}, {0, 0, 32, 11}, {9, 10, 11, 11}};
  for (const RECT& area : areas) {
    ResetDrawState(32, 32);
    gfx::g_DrawState.DrawArea = area;
    TestImage d = MakeDest(ct());
    DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
    TexelMap want = Blank();
    for (int y = 9; y < 12; ++y)
      for (int x = 8; x < 12; ++x)
        if (x >= area.left && x < area.right && y >= area.top && y < area.bottom)
          want[size_t(y)][size_t(x)] = Expect{x - 8, y - 9};
    SCOPED_TRACE(testing::Message() << "area " << area.left << "," << area.top << "," << area.right
                                    << "," << area.bottom);
    ExpectPixels(d, want, ct());
  }
}

TEST_P(RotatedFormats, ClippedBoxTakesPositionsFromItsOwnEdges) {
  // Scale 3: du = trunc(2^18 / 3) = 87381. Unclipped, the box starts at column 2 with
  // u = trunc(-8 * 2^18 / 3) + 2 * 2^18 = -174762, so column 10 has u = 524286 (texel 1).
  // Clipped at left 9, u starts afresh at trunc(-2^18 / 3) + 2 * 2^18 = 436907 and column
  // 10 has u = 524288 (texel 2). Row 11 has v = -349525 + 8 * 87381 (texel row 1).
  TestImage s = MakeSource(ct(), 4, 3), full = MakeDest(ct()), clipped = MakeDest(ct());
  DrawMemImgRotated(&full.img, &s.img, 10, 10, 0.0f, 3.0f, 0, 0, nullptr);
  gfx::g_DrawState.DrawArea = {9, 0, 32, 32};
  DrawMemImgRotated(&clipped.img, &s.img, 10, 10, 0.0f, 3.0f, 0, 0, nullptr);
  const int fullRow[] = {-1, -1, 0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, -1};  // columns 2..17
  const int clipRow[] = {-1, -1, -1, -1, -1, -1, -1, 1, 2, 2, 2, 2, 3, 3, 3, -1};
  for (int x = 2; x < 18; ++x) {
    const int f = fullRow[x - 2], c = clipRow[x - 2];
    EXPECT_EQ(full.Get(x, 11), f < 0 ? Background(ct()) : Texel(ct(), f, 1)) << x;
    EXPECT_EQ(clipped.Get(x, 11), c < 0 ? Background(ct()) : Texel(ct(), c, 1)) << x;
  }
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(clipped.Get(x, y), Background(ct()));
}

TEST_P(RotatedFormats, TransparentTexelsKeepTheDestination) {
  TestImage s = MakeSource(ct(), 4, 3), d = MakeDest(ct());
  s.img.TransColor = Texel(ct(), 1, 1);
  DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 1, 0, nullptr);
  TexelMap want = Picture(8, 9, {"00 10 20 30", "01 .. 21 31", "02 12 22 32"});
  ExpectPixels(d, want, ct());
}

// --------------------------------------------------------------------------------------

class Rotated : public ::testing::Test {
 protected:
  void SetUp() override { ResetDrawState(32, 32); }
};

TEST_F(Rotated, RejectedInputsDrawNothing) {
  TestImage s = MakeSource(0, 4, 3);
  auto untouched = [&](auto&& draw) {
    TestImage d = MakeDest(0);
    draw(d);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) ASSERT_EQ(d.Get(x, y), Background(0)) << x << "," << y;
  };
  auto plain = [&](TestImage& d, float angle, float scale, int x = 10, int y = 10) {
    DrawMemImgRotated(&d.img, &s.img, x, y, angle, scale, 0, 0, nullptr);
    DrawMemImgRotated(&d.img, &s.img, x, y, angle, scale, 0, 1, nullptr);
  };
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  untouched([&](TestImage& d) { plain(d, 0.0f, 0.0f); });  // all corners equal
  untouched([&](TestImage& d) { plain(d, nan, 1.0f); });
  untouched([&](TestImage& d) { plain(d, inf, 1.0f); });
  untouched([&](TestImage& d) { plain(d, 0.2f, nan); });
  untouched([&](TestImage& d) { plain(d, 0.2f, inf); });
  untouched([&](TestImage& d) { plain(d, 0.2f, -inf); });
  untouched([&](TestImage& d) { plain(d, 0.2f, 1e30f); });  // corners beyond 14.18
  untouched([&](TestImage& d) { plain(d, 0.0f, 1.0f, 8192, 10); });
  untouched([&](TestImage& d) { plain(d, 0.0f, 1.0f, 10, -8193); });
  untouched([&](TestImage& d) { plain(d, 0.0f, 1.0f, INT32_MIN, INT32_MAX); });
  // Steps of 2^18 / 1e-4 leave 32 bits.
  untouched(
      [&](TestImage& d) { DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1e-4f, 0, 0, nullptr); });
  // Blend modes outside 0..4; mode 1 at parameter 0.
  for (int mode : {5, -1, 1}) {
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = 0;
    untouched([&](TestImage& d) { plain(d, 0.0f, 1.0f); });
  }
  ResetDrawState(32, 32);
  // Format rejections: mismatched colour types, palettised or alpha destination, colour
  // type 2, a source beyond 8191 columns, a blend image smaller than the source.
  untouched([&](TestImage& d) {
    TestImage s32 = MakeSource(1, 4, 3);
    DrawMemImgRotated(&d.img, &s32.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
  });
  untouched([&](TestImage& d) {
    d.img.PaletteFlag = 1;
    DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
    d.img.PaletteFlag = 0;
    d.img.AlphaFlag = 1;
    DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
    d.img.AlphaFlag = 0;
  });
  untouched([&](TestImage& d) {
    TestImage s2 = MakeSource(0, 4, 3);
    s2.img.ColorType = 2;
    d.img.ColorType = 2;
    DrawMemImgRotated(&d.img, &s2.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
    d.img.ColorType = 0;
  });
  untouched([&](TestImage& d) {
    TestImage wide(8192, 1, 0, 0, 0, zq::test::kRowPad);
    DrawMemImgRotated(&d.img, &wide.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
  });
  untouched([&](TestImage& d) {
    TestImage blend(4, 2, 2, 0, 0, zq::test::kRowPad);
    DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, &blend.img);
  });
  untouched([&](TestImage& d) {
    DrawMemImgRotated(&d.img, nullptr, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
    DrawMemImgRotated(nullptr, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
  });
}

TEST_F(Rotated, TallSourceNeedsNoRowTable) {
  // 6000 rows: source row 5000 lands on destination row 10 (texel v = y - (y0 - 3000)).
  TestImage s(2, 6000, 0, 0, 0, zq::test::kRowPad), d = MakeDest(0);
  for (int v = 0; v < 6000; ++v) s.Set(0, v, uint32_t(v)), s.Set(1, v, uint32_t(v) ^ 0x8000u);
  DrawMemImgRotated(&d.img, &s.img, 10, 10 + 3000 - 5000, 0.0f, 1.0f, 0, 0, nullptr);
  for (int y = 0; y < 32; ++y) {
    EXPECT_EQ(d.Get(9, y), uint32_t(5000 - 10 + y)) << y;
    EXPECT_EQ(d.Get(10, y), uint32_t(5000 - 10 + y) ^ 0x8000u) << y;
    EXPECT_EQ(d.Get(8, y), Background(0));
    EXPECT_EQ(d.Get(11, y), Background(0));
  }
}

TEST_F(Rotated, PalettisedSourceReadsItsOwnPalette) {
  // Index 5 lies beyond the entry count: it reads the image's own palette slot.
  TestImage s(2, 2, 0, 1, 0, zq::test::kRowPad), d = MakeDest(0);
  s.img.PaletteCount = 4;
  for (int i = 0; i < 8; ++i) s.SetPaletteEntry(i, uint16_t(0x1111 * (i + 1)));
  s.Set(0, 0, 1);
  s.Set(1, 0, 2);
  s.Set(0, 1, 3);
  s.Set(1, 1, 5);
  DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
  EXPECT_EQ(d.Get(9, 9), 0x2222u);
  EXPECT_EQ(d.Get(10, 9), 0x3333u);
  EXPECT_EQ(d.Get(9, 10), 0x4444u);
  EXPECT_EQ(d.Get(10, 10), 0x6666u);
  EXPECT_EQ(d.Get(11, 10), Background(0));
}

TEST_F(Rotated, ClearsTheRunLengthFlagOnlyWhenDrawing) {
  TestImage s = MakeSource(0, 4, 3), d = MakeDest(0);
  d.img.RunLengthFlag = 1;
  DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 0.0f, 0, 0, nullptr);
  EXPECT_EQ(d.img.RunLengthFlag, 1);
  DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
  EXPECT_EQ(d.img.RunLengthFlag, 0);
}

// --------------------------------------------------------------------------------------
// Random draws against a literal model: every pixel of the clipped box, positions stepped
// in 32 bits with wrap-around exactly as the rules state, the unsigned bounds test at each
// pixel, and the copy (or key test) of the texel.

void ModelRotated(TestImage& d, const TestImage& s, int x, int y, float angle, float scale,
                  int trans, const RECT& area) {
  const uint32_t W = uint32_t(s.img.Width), H = uint32_t(s.img.Height);
  float sn, cn, sa, ca;
  base::SinCosFloat(-angle, &sn, &cn);
  base::SinCosFloat(angle, &sa, &ca);
  const int32_t Sn = base::FloatToInt(sn * 262144.0f), Cn = base::FloatToInt(cn * 262144.0f);
  const int32_t Sa = base::FloatToInt(sa * 262144.0f), Ca = base::FloatToInt(ca * 262144.0f);
  const float hw = float(double(W) * scale * 0.5), hh = float(double(H) * scale * 0.5);
  const float cw = float(Ca) * hw, sw = float(Sa) * hw, ch = float(Ca) * hh, sh = float(Sa) * hh;
  const int32_t X[4] = {
      base::FloatToInt(sh - cw) + x * 262144, base::FloatToInt(-cw - sh) + x * 262144,
      base::FloatToInt(cw - sh) + x * 262144, base::FloatToInt(cw + sh) + x * 262144};
  const int32_t Y[4] = {
      base::FloatToInt(-sw - ch) + y * 262144, base::FloatToInt(ch - sw) + y * 262144,
      base::FloatToInt(sw + ch) + y * 262144, base::FloatToInt(sw - ch) + y * 262144};
  int mnx = 0, mxx = 0, mny = 0, mxy = 0;
  for (int i = 1; i < 4; ++i) {
    if (X[i] > X[mxx]) mxx = i;
    if (X[i] < X[mnx]) mnx = i;
    if (Y[i] > Y[mxy]) mxy = i;
    if (Y[i] < Y[mny]) mny = i;
  }
  RECT box{X[mnx] / 262144 - 2, Y[mny] / 262144 - 2, X[mxx] / 262144 + 4, Y[mxy] / 262144 + 4};
  base::ClipRectToRect(&box, &area);
  if (box.left == box.right || box.top == box.bottom || mxy == mny) return;
  const int32_t rows = box.bottom - box.top;
  const uint32_t du = uint32_t(base::FloatToInt(float(Ca) / scale));
  const uint32_t dv = uint32_t(base::FloatToInt(float(Sn) / scale));
  const int32_t dx = box.left - x, dyT = box.top - y, dyB = box.bottom - y;
  auto q = [scale](int32_t n) { return uint32_t(base::FloatToInt(float(double(n) / scale))); };
  const uint32_t U0 = q(Cn * dx - Sn * dyT) + ((W >> 1) << 18);
  const uint32_t V0 = q(Sn * dx + Cn * dyT) + ((H >> 1) << 18);
  const uint32_t U1 = q(Cn * dx - Sn * dyB) + ((W >> 1) << 18);
  const uint32_t V1 = q(Sn * dx + Cn * dyB) + ((H >> 1) << 18);
  const uint32_t dU = uint32_t(int32_t(U1 - U0) / rows), dV = uint32_t(int32_t(V1 - V0) / rows);
  uint32_t u = U0, v = V0;
  const int32_t width = box.right - box.left;
  for (int32_t r = 0; r < rows; ++r) {
    for (int32_t i = 0; i < width; ++i) {
      if (u < (W << 18) && v < (H << 18)) {
        const uint32_t t = const_cast<TestImage&>(s).Get(int(u >> 18), int(v >> 18));
        if (!(trans && t == s.img.TransColor)) d.Set(box.left + i, box.top + r, t);
      }
      u += du;
      v += dv;
    }
    u += dU - uint32_t(width) * du;
    v += dV - uint32_t(width) * dv;
  }
}

TEST_F(Rotated, RandomDrawsMatchTheLiteralModel) {
  std::mt19937 rng(20261206);
  auto uni = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int drawn = 0;
  for (int n = 0; n < 3000; ++n) {
    const int ct = n % 2;
    const int w = pick(1, 40), h = pick(1, 40);
    TestImage s = MakeSource(ct, w, h);
    s.img.TransColor = Texel(ct, pick(0, w - 1), pick(0, h - 1));
    const int x = pick(-10, 74), y = pick(-10, 74);
    float angle = uni(-7.0f, 7.0f);
    if (n % 7 == 0) angle = float(pick(-4, 4)) * kPi / 2;
    float scale = uni(0.1f, 4.0f) * (pick(0, 3) == 0 ? -1.0f : 1.0f);
    if (n % 5 == 0) scale = float(pick(1, 3));
    const int trans = pick(0, 1);
    gfx::g_DrawState.DrawArea = {pick(0, 30), pick(0, 30), pick(34, 64), pick(34, 64)};
    if (n % 3 == 0) gfx::g_DrawState.DrawArea = {0, 0, 64, 64};

    TestImage got = MakeDest(ct, 64, 64), want = MakeDest(ct, 64, 64);
    DrawMemImgRotated(&got.img, &s.img, x, y, angle, scale, trans, 0, nullptr);
    ModelRotated(want, s, x, y, angle, scale, trans, gfx::g_DrawState.DrawArea);
    ASSERT_EQ(got.bytes, want.bytes) << "draw " << n << ": " << w << "x" << h << " at " << x << ","
                                     << y << " angle " << angle << " scale " << scale;
    if (got.bytes != MakeDest(ct, 64, 64).bytes) ++drawn;
  }
  EXPECT_GT(drawn, 2000);  // about half the draws reach the area
}

// --------------------------------------------------------------------------------------
// The write box: exactly the bounding box of the pixels a draw changes.

RECT ChangedBox(TestImage& d, int ct) {
  RECT r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (int y = 0; y < d.img.Height; ++y)
    for (int x = 0; x < d.img.Width; ++x)
      if (d.Get(x, y) != Background(ct)) {
        r.left = std::min(r.left, x);
        r.top = std::min(r.top, y);
        r.right = std::max(r.right, x + 1);
        r.bottom = std::max(r.bottom, y + 1);
      }
  return r;
}

TEST_F(Rotated, WriteBoxIsExactlyWhatTheWalkWritesAndHoldsTheMirroredPath) {
  // Hand-worked: the 4 x 3 mirrored draw at (10, 10) writes columns 9..12, rows 8..10;
  // its corners (8..12, 8..11) give the box 8..13 x 8..12.
  RECT box;
  ASSERT_TRUE(RotatedWriteBox(4, 3, 10, 10, 0.0f, 1.0f, 1, RECT{0, 0, 32, 32}, &box));
  EXPECT_EQ(Edges(box), (E4{8, 8, 13, 12}));

  // Unturned: exactly the changed pixels' box. Turned: a box holding every write.
  std::mt19937 rng(7);
  auto uni = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int n = 0; n < 700; ++n) {
    const int turn = n % 2, ct = n % 2;
    const int w = pick(1, 9), h = pick(1, 9);
    TestImage s = MakeSource(ct, w, h), d = MakeDest(ct);
    const int x = pick(-8, 40), y = pick(-8, 40);
    const float angle = uni(-4.0f, 4.0f), scale = uni(-3.0f, 3.0f);
    const RECT area{pick(0, 10), pick(0, 10), pick(20, 32), pick(20, 32)};
    gfx::g_DrawState.DrawArea = area;
    const bool any = RotatedWriteBox(w, h, x, y, angle, scale, turn, area, &box);
    DrawMemImgRotated(&d.img, &s.img, x, y, angle, scale, 0, turn, nullptr);
    const RECT changed = ChangedBox(d, ct);
    if (turn == 0) {
      ASSERT_EQ(any, changed.left != INT32_MAX) << n;
      if (!any) continue;
      EXPECT_EQ(Edges(box), Edges(changed)) << n;
      continue;
    }
    if (changed.left == INT32_MAX) continue;
    ASSERT_TRUE(any) << n;
    EXPECT_LE(box.left, changed.left) << n;
    EXPECT_LE(box.top, changed.top) << n;
    EXPECT_GE(box.right, changed.right) << n;
    EXPECT_GE(box.bottom, changed.bottom) << n;
    EXPECT_GE(box.left, area.left);
    EXPECT_LE(box.right, area.right);
  }
}

TEST_F(Rotated, WriteBoxCatchesThePixelThePartialBoxMisses) {
  // Scale 0.2: every corner truncates to the centre, so the corners' own box is empty, yet
  // the centre pixel maps to source point (2, 1) and is drawn.
  TestImage s = MakeSource(0, 4, 3), d = MakeDest(0);
  DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 0.2f, 0, 0, nullptr);
  EXPECT_EQ(d.Get(10, 10), Texel(0, 2, 1));
  RECT box;
  ASSERT_TRUE(RotatedWriteBox(4, 3, 10, 10, 0.0f, 0.2f, 0, RECT{0, 0, 32, 32}, &box));
  EXPECT_EQ(Edges(box), (E4{10, 10, 11, 11}));
  EXPECT_FALSE(RotatedWriteBox(4, 3, 10, 10, 0.0f, 0.0f, 0, RECT{0, 0, 32, 32}, &box));
  EXPECT_FALSE(RotatedWriteBox(4, 3, 10, 10, 0.0f, 1.0f, 0, RECT{20, 20, 32, 32}, &box));
}

TEST_F(Rotated, TinyScalesDrawWhatTheWrappedPositionsSelect) {
  // Below a scale of about 1/2000 the box's positions wrap around 32 bits (each pixel of
  // margin is 2^18 / scale units) while the steps still fit: the walk must follow the
  // wrapped positions, for whole boxes and boxes cut by the draw area.
  for (int ct : {0, 1}) {
    for (const RECT area : {RECT{0, 0, 32, 32}, RECT{9, 10, 32, 11}, RECT{9, 9, 12, 12}}) {
      for (float scale : {1.0f / 2500, 1.0f / 3000, -1.0f / 4000, 1.0f / 5000, 1.0f / 7000}) {
        for (float angle : {0.0f, 0.3f, 2.0f}) {
          gfx::g_DrawState.DrawArea = area;
          TestImage s = MakeSource(ct, 4, 3), got = MakeDest(ct), want = MakeDest(ct);
          DrawMemImgRotated(&got.img, &s.img, 10, 10, angle, scale, 0, 0, nullptr);
          ModelRotated(want, s, 10, 10, angle, scale, 0, area);
          ASSERT_EQ(got.bytes, want.bytes) << "scale " << scale << " angle " << angle;
          RECT box;
          if (RotatedWriteBox(4, 3, 10, 10, angle, scale, 0, area, &box)) {
            EXPECT_EQ(Edges(box), Edges(ChangedBox(got, ct))) << scale << " " << angle;
          }
        }
      }
    }
    // Scale 1/3000 over row 10 from column 9: du = 786432000 (the float quotient), the
    // box starts at u = -du + (2 << 18), so column 10 samples u = 2 << 18 and v = 1 << 18:
    // texel (2, 1), and nothing else is drawn, though column 13's position wraps.
    gfx::g_DrawState.DrawArea = {9, 10, 32, 11};
    TestImage s = MakeSource(ct, 4, 3), d = MakeDest(ct);
    DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f / 3000, 0, 0, nullptr);
    EXPECT_EQ(d.Get(10, 10), Texel(ct, 2, 1));
    EXPECT_EQ(Edges(ChangedBox(d, ct)), (E4{10, 10, 11, 11}));
  }
}

}  // namespace
}  // namespace zq::soft
