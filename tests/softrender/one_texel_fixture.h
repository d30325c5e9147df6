// The fixture of the one-texel kernel tests: a fresh draw state, one texel of a source drawn
// through a small triangle onto one destination pixel, one-texel sources of each kind and
// one-byte blend images.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "graphics/draw_state.h"
#include "softrender/triangle.h"
#include "support/test_image.h"

namespace zq::soft {

class OneTexelTest : public ::testing::Test {
 protected:
  void SetUp() override { zq::test::ResetDrawState(4, 4); }

  static void Mode(int mode, int param) {
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = param;
  }
  static void Bright(uint32_t bright) { gfx::g_DrawState.Bright = bright; }

  // Draws texel (0, 0) of src onto pixel (0, 0) of a 4 x 4 destination filled with
  // `under` and returns that pixel. The triangle's row 0 also reaches column 1, whose
  // texel lies outside the 1-wide source, so it must stay `under`.
  static uint32_t DrawOne(zq::test::TestImage& src, uint32_t under, int32_t trans,
                          zq::test::TestImage* blend = nullptr) {
    zq::test::TestImage d(4, 4, src.img.ColorType, 0, 0, zq::test::kRowPad);
    d.Fill(under);
    const SoftTriangleVertex v[3] = {{0, 0, 0, 0}, {1, 0, 1, 0}, {0, 1, 0, 1}};
    DrawMemImgTriangle(&d.img, &src.img, v, trans, blend ? &blend->img : nullptr, 0);
    EXPECT_EQ(d.Get(1, 0), under);
    EXPECT_EQ(d.Get(0, 1), under);
    EXPECT_TRUE(d.PaddingClean());
    return d.Get(0, 0);
  }

  // A 1 x 1 blend image whose byte maps to t: byte 255 - t, so that several amounts can
  // be in use at once and a kernel that skipped the table would show.
  static zq::test::TestImage BlendOf(uint8_t t) {
    zq::test::TestImage b(1, 1, 2, 0, 0, zq::test::kRowPad);
    b.Set(0, 0, 255u - t);
    gfx::BlendGraphTable[255 - t] = t;
    return b;
  }

  // One-texel sources of each kind.
  static zq::test::TestImage Direct16(uint16_t colour) {
    zq::test::TestImage s(1, 1, 0, 0, 0, zq::test::kRowPad);
    s.Set(0, 0, colour);
    return s;
  }
  static zq::test::TestImage Alpha16(uint16_t colour, uint8_t alpha) {
    zq::test::TestImage s(1, 1, 0, 0, 1, zq::test::kRowPad);
    s.SetAlpha16(0, 0, colour, alpha);
    return s;
  }
  static zq::test::TestImage Direct32(uint32_t texel, int alphaFlag = 0) {
    zq::test::TestImage s(1, 1, 1, 0, alphaFlag, zq::test::kRowPad);
    s.Set(0, 0, texel);
    return s;
  }
  // Index 3 holding entry; index 0 holds a different colour.
  static zq::test::TestImage Palette16(uint16_t entry) {
    zq::test::TestImage s(1, 1, 0, 1, 0, zq::test::kRowPad);
    s.SetPaletteEntry(0, 0x5555);
    s.SetPaletteEntry(3, entry);
    s.Set(0, 0, 3);
    return s;
  }
  static zq::test::TestImage Palette32(uint32_t entry) {
    zq::test::TestImage s(1, 1, 1, 1, 0, zq::test::kRowPad);
    s.palette[0] = 0x55555555;
    s.palette[3] = entry;
    s.Set(0, 0, 3);
    return s;
  }
};

}  // namespace zq::soft
