// Rotated drawing: pixels of a 4 x 3 source worked by hand from the rotation rules (angle
// 0, quarter and half turns, one odd angle, the mirrored path), rejected inputs,
// and random draws against a literal model of the box walk (32-bit stepping and a bounds
// test at every pixel of the clipped box) with the kernel model's pixels in every mode.
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
#include "softrender/kernel_reference.h"
#include "softrender/triangle.h"
#include "softrender/triangle_geometry_model.h"
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

// Expects d to show a picture from column x0 of row y0 down, one cell per pixel: "uv" the
// texel (u, v), ".." the background, as everywhere outside the picture.
void ExpectPicture(const TestImage& d, int x0, int y0, const std::vector<std::string>& rows,
                   int colorType) {
  for (int y = 0; y < d.img.Height; ++y)
    for (int x = 0; x < d.img.Width; ++x) {
      const size_t r = size_t(y - y0), c = size_t(x - x0);
      uint32_t want = Background(colorType);
      if (y >= y0 && r < rows.size() && x >= x0 && 3 * c + 1 < rows[r].size() &&
          rows[r][3 * c] != '.')
        want = Texel(colorType, rows[r][3 * c] - '0', rows[r][3 * c + 1] - '0');
      EXPECT_EQ(d.Get(x, y), want) << "pixel (" << x << ", " << y << ")";
    }
  EXPECT_TRUE(d.PaddingClean());
}

class Rotated : public ::testing::Test {
 protected:
  void SetUp() override { ResetDrawState(32, 32); }
};

// Hand-worked pixels of a 4 x 3 source centred at (10, 10). The centre maps to source point
// (2, 1), the top-left corner of texel (2, 1).
TEST_F(Rotated, PixelsWorkedByHand) {
  struct Case {
    float angle, scale;
    int turn, x0, y0;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      // Corners (8, 8.5) to (12, 11.5); box 6..16 x 6..15; du = 1, dv = 0; U0 = -2, V0 = -3
      // at (6, 6): texel (0, 0) lands at (10 - 2, 10 - 1).
      {0.0f, 1.0f, 0, 8, 9, {"00 10 20 30", "01 11 21 31", "02 12 22 32"}},
      // sin = 1, cos of the float angle is -4.4e-8, which truncates to 0: Sa = 2^18, Ca = 0,
      // Sn = -2^18, Cn = 0. Corners (11.5, 8) (8.5, 8) (8.5, 12) (11.5, 12); box 6..15 x
      // 6..16; du = 0, dv = -1, dU = 1, dV = 0; U0 = -2, V0 = 5: u = y - 8, v = 11 - x.
      {kPi / 2, 1.0f, 0, 9, 8, {"02 01 00", "12 11 10", "22 21 20", "32 31 30"}},
      // Sa = Sn = 0 (sin of the float angle is -8.7e-8), Ca = Cn = -2^18. Box 6..16 x 6..15;
      // du = -1, dV = -1; U0 = 6, V0 = 5: u = 12 - x, v = 11 - y.
      {kPi, 1.0f, 0, 9, 9, {"32 22 12 02", "31 21 11 01", "30 20 10 00"}},
      // Angle 0.5, scale 1.25: Sa = 125678, Ca = Cn = 230053, Sn = -125678; corners in 14.18
      // (2281954, 1875896) (1810662, 2738594) (2960926, 3366984) (3432218, 2504286); box
      // 4..17 x 5..16; du = 184042, dv = -100542, dU = 100542, dV = 184042, U0 = -1082678,
      // V0 = -54813.
      {0.5f,
       1.25f,
       0,
       7,
       9,
       {".. 01 00 10 .. ..", ".. 01 11 11 20 30", "02 02 12 21 31 30", ".. .. 22 22 32 ..",
        ".. .. .. .. 32 .."}},
      // Turned: whole-pixel corners (8, 8) (8, 11) (12, 11) (12, 8) go to the quad as (12, 8)
      // (8, 8) (12, 11) (8, 11): u = 12 - x, v = y - 8 over rows 8..10 (the bottom corner
      // row is not drawn), columns 9..12 (column 8 has u = 4).
      {0.0f, 1.0f, 1, 9, 8, {"30 20 10 00", "31 21 11 01", "32 22 12 02"}},
  };
  for (int ct : {0, 1}) {
    for (const Case& c : cases) {
      TestImage s = MakeSource(ct, 4, 3), d = MakeDest(ct);
      DrawMemImgRotated(&d.img, &s.img, 10, 10, c.angle, c.scale, 0, c.turn, nullptr);
      SCOPED_TRACE(testing::Message() << "ct " << ct << " angle " << c.angle << " turn " << c.turn);
      ExpectPicture(d, c.x0, c.y0, c.rows, ct);
    }
  }
}

TEST_F(Rotated, RejectedInputsDrawNothing) {
  TestImage s = MakeSource(0, 4, 3);
  auto untouched = [&](auto&& draw) {
    TestImage d = MakeDest(0);
    draw(d);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) ASSERT_EQ(d.Get(x, y), Background(0)) << x << "," << y;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float angle, scale;
    int x, y;
  };
  // All corners equal; not numbers; corners beyond 14.18; steps of 2^18 / 1e-4 leave 32
  // bits.
  const Case cases[] = {{0.0f, 0.0f, 10, 10},
                        {nan, 1.0f, 10, 10},
                        {inf, 1.0f, 10, 10},
                        {0.2f, nan, 10, 10},
                        {0.2f, inf, 10, 10},
                        {0.2f, -inf, 10, 10},
                        {0.2f, 1e30f, 10, 10},
                        {0.0f, 1.0f, 8192, 10},
                        {0.0f, 1.0f, 10, -8193},
                        {0.0f, 1e-4f, 10, 10},
                        {0.0f, 1.0f, INT32_MIN, INT32_MAX}};
  for (const Case& c : cases)
    for (int turn : {0, 1}) {
      if (turn && c.scale > 0.0f && c.scale < 1e-3f) continue;  // the quad path's own limits
      untouched([&](TestImage& d) {
        DrawMemImgRotated(&d.img, &s.img, c.x, c.y, c.angle, c.scale, 0, turn, nullptr);
      });
    }
  // Blend modes outside 0..4; mode 1 at parameter 0.
  for (int mode : {5, -1, 1}) {
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = 0;
    untouched([&](TestImage& d) {
      DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, mode & 1, nullptr);
    });
  }
  ResetDrawState(32, 32);
  // Mismatched colour types, palettised, alpha or colour type 2 destination, a source beyond
  // 8191 columns, a blend image smaller than the source, no image.
  TestImage s32 = MakeSource(1, 4, 3), wide(8192, 1, 0, 0, 0, zq::test::kRowPad);
  TestImage blend(4, 2, 2, 0, 0, zq::test::kRowPad);
  untouched([&](TestImage& d) {
    DrawMemImgRotated(&d.img, &s32.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
    DrawMemImgRotated(&d.img, &wide.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
    DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, &blend.img);
    DrawMemImgRotated(&d.img, nullptr, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
    DrawMemImgRotated(nullptr, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
    for (int flag : {0, 1, 2}) {
      d.img.PaletteFlag = flag == 0;
      d.img.AlphaFlag = flag == 1;
      d.img.ColorType = flag == 2 ? 2 : 0;
      s.img.ColorType = d.img.ColorType;
      DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
    }
    d.img.ColorType = s.img.ColorType = 0;
    d.img.AlphaFlag = 0;
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

TEST_F(Rotated, PalettisedSourceAndTheRunLengthFlag) {
  // Index 5 lies beyond the entry count: it reads the image's own palette slot.
  TestImage s(2, 2, 0, 1, 0, zq::test::kRowPad), d = MakeDest(0);
  s.img.PaletteCount = 4;
  for (int i = 0; i < 8; ++i) s.SetPaletteEntry(i, uint16_t(0x1111 * (i + 1)));
  for (auto [x, y, i] : {std::tuple{0, 0, 1}, {1, 0, 2}, {0, 1, 3}, {1, 1, 5}}) s.Set(x, y, i);
  d.img.RunLengthFlag = 1;
  DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 0.0f, 0, 0, nullptr);  // draws nothing
  EXPECT_EQ(d.img.RunLengthFlag, 1);
  DrawMemImgRotated(&d.img, &s.img, 10, 10, 0.0f, 1.0f, 0, 0, nullptr);
  EXPECT_EQ(d.img.RunLengthFlag, 0);
  EXPECT_EQ(d.Get(9, 9), 0x2222u);
  EXPECT_EQ(d.Get(10, 9), 0x3333u);
  EXPECT_EQ(d.Get(9, 10), 0x4444u);
  EXPECT_EQ(d.Get(10, 10), 0x6666u);
  EXPECT_EQ(d.Get(11, 10), Background(0));
}

// --------------------------------------------------------------------------------------
// Random draws against a literal model: every pixel of the clipped box, positions stepped
// in 32 bits with wrap-around exactly as the rules state, the unsigned bounds test at each
// pixel, and the copy (or key test) of the texel.

// pixel(tx, ty, d) gives the new value of a destination pixel d that shows texel (tx, ty).
template <class Pixel>
void ModelRotated(TestImage& d, const TestImage& s, int x, int y, float angle, float scale,
                  const RECT& area, Pixel&& pixel) {
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
      if (u < (W << 18) && v < (H << 18))
        d.Set(box.left + i, box.top + r,
              pixel(int(u >> 18), int(v >> 18), d.Get(box.left + i, box.top + r)));
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
  for (int n = 0; n < 4000; ++n) {
    // Half the draws copy texels that name their position; the others blend random texels
    // of every kind in every mode through the kernel model.
    const bool copy = n % 4 < 2;
    kernel_test::DrawKind k{n % 2 == 1,      !copy && pick(0, 3) == 0, false,
                            pick(0, 1) == 1, !copy && pick(0, 2) == 0, !copy && pick(0, 2) == 0};
    k.alpha = !copy && !k.palette && pick(0, 2) == 0;
    ResetDrawState(48, 40);
    const int mode = copy ? 0 : pick(-1, 5), p = std::array{0, 255, pick(0, 255)}[pick(0, 2)];
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = p;
    gfx::g_DrawState.Bright = k.bright ? uint32_t(rng()) & 0xFFFFFE : 0xFFFFFF;
    for (auto& t : gfx::BlendGraphTable) t = uint8_t(rng());
    auto [src, blend, got, want, v] = tri_test::MakeRandomScene(rng, k.wide, k.palette, k.alpha);
    TestImage named = MakeSource(k.wide, pick(1, 40), pick(1, 40));
    named.img.TransColor = named.Get(pick(0, named.img.Width - 1), pick(0, named.img.Height - 1));
    TestImage& source = copy ? named : src;
    const int x = pick(-10, 58), y = pick(-10, 50);
    float angle = uni(-7.0f, 7.0f);
    if (n % 7 == 0) angle = float(pick(-4, 4)) * kPi / 2;
    float scale = uni(0.1f, 4.0f) * (pick(0, 3) == 0 ? -1.0f : 1.0f);
    if (n % 5 == 0) scale = float(pick(1, 3));
    gfx::g_DrawState.DrawArea = {pick(0, 20), pick(0, 20), pick(24, 48), pick(24, 40)};
    if (n % 3 == 0) gfx::g_DrawState.DrawArea = {0, 0, 48, 40};

    const auto before = got.bytes;
    DrawMemImgRotated(&got.img, &source.img, x, y, angle, scale, k.trans, 0,
                      k.blend ? &blend.img : nullptr);
    if (kernel_test::Draws(mode, p, k.palette))
      ModelRotated(want, source, x, y, angle, scale, gfx::g_DrawState.DrawArea,
                   [&](int tx, int ty, uint32_t d) {
                     const uint8_t b = k.blend ? uint8_t(blend.Get(tx, ty)) : 0;
                     return kernel_test::ModelPixel(k, mode, p, source, tx, ty, d, b).value_or(d);
                   });
    ASSERT_EQ(got.bytes, want.bytes)
        << "draw " << n << ": " << source.img.Width << "x" << source.img.Height << " at " << x
        << "," << y << " angle " << angle << " scale " << scale << " mode " << mode;
    drawn += got.bytes != before;
  }
  EXPECT_GT(drawn, 1600);  // about half the draws reach the area
}

// The write box: exactly the bounding box of the pixels a draw changes.
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
    const int turn = n % 2, ct = n % 2, w = pick(1, 9), h = pick(1, 9);
    TestImage s = MakeSource(ct, w, h), d = MakeDest(ct);
    const int x = pick(-8, 40), y = pick(-8, 40);
    const float angle = uni(-4.0f, 4.0f), scale = uni(-3.0f, 3.0f);
    const RECT area{pick(0, 10), pick(0, 10), pick(20, 32), pick(20, 32)};
    gfx::g_DrawState.DrawArea = area;
    const bool any = RotatedWriteBox(w, h, x, y, angle, scale, turn, area, &box);
    DrawMemImgRotated(&d.img, &s.img, x, y, angle, scale, 0, turn, nullptr);
    RECT c{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};  // the changed pixels' box
    for (int py = 0; py < 32; ++py)
      for (int px = 0; px < 32; ++px)
        if (d.Get(px, py) != Background(ct))
          c = {std::min(c.left, px), std::min(c.top, py), std::max(c.right, px + 1),
               std::max(c.bottom, py + 1)};
    if (turn == 0) {
      ASSERT_EQ(any, c.left != INT32_MAX) << n;
      if (any) {
        EXPECT_EQ(Edges(box), Edges(c)) << n;
      }
    } else if (c.left != INT32_MAX) {
      ASSERT_TRUE(any) << n;
      EXPECT_TRUE(box.left <= c.left && box.top <= c.top && box.right >= c.right &&
                  box.bottom >= c.bottom && box.left >= area.left && box.right <= area.right)
          << n;
    }
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
  auto changedBox = [](TestImage& d, int ct) {
    RECT r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int y = 0; y < d.img.Height; ++y)
      for (int x = 0; x < d.img.Width; ++x)
        if (d.Get(x, y) != Background(ct))
          r = {std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1),
               std::max(r.bottom, y + 1)};
    return r;
  };
  for (int ct : {0, 1}) {
    for (const RECT area : {RECT{0, 0, 32, 32}, RECT{9, 10, 32, 11}, RECT{9, 9, 12, 12}}) {
      for (float scale : {1.0f / 2500, 1.0f / 3000, -1.0f / 4000, 1.0f / 5000, 1.0f / 7000}) {
        for (float angle : {0.0f, 0.3f, 2.0f}) {
          gfx::g_DrawState.DrawArea = area;
          TestImage s = MakeSource(ct, 4, 3), got = MakeDest(ct), want = MakeDest(ct);
          DrawMemImgRotated(&got.img, &s.img, 10, 10, angle, scale, 0, 0, nullptr);
          ModelRotated(want, s, 10, 10, angle, scale, area,
                       [&](int tx, int ty, uint32_t) { return s.Get(tx, ty); });
          ASSERT_EQ(got.bytes, want.bytes) << "scale " << scale << " angle " << angle;
          RECT box;
          if (RotatedWriteBox(4, 3, 10, 10, angle, scale, 0, area, &box)) {
            EXPECT_EQ(Edges(box), Edges(changedBox(got, ct))) << scale << " " << angle;
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
    EXPECT_EQ(Edges(changedBox(d, ct)), (E4{10, 10, 11, 11}));
  }
}

}  // namespace
}  // namespace zq::soft
