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

// One texel over one pixel, for table-driven cases. Kinds: D16 / A16 (16-bit direct, with
// alpha channel), D32 / A32 (32-bit, A32's alpha in byte 3 of the texel), P16 / P32
// (palettised: `texel` is entry 3, the texel's index). `key` is the transparent colour
// (kDef: left as made), `t` the blend amount (-1: no blend image).
enum TexelKind { D16, A16, D32, A32, P16, P32 };
constexpr int64_t kDef = -1;
constexpr uint32_t kOff = 0xFFFFFF;  // bright off

struct TexelCase {
  TexelKind kind;
  uint32_t texel;
  uint8_t alpha;  // A16 only
  int64_t key;
  int mode, param;
  uint32_t bright;
  int t;
  uint32_t under;
  int trans;
  uint32_t want;
};

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

  static zq::test::TestImage Source(const TexelCase& c) {
    switch (c.kind) {
      case D16:
        return Direct16(uint16_t(c.texel));
      case A16:
        return Alpha16(uint16_t(c.texel), c.alpha);
      case D32:
        return Direct32(c.texel);
      case A32:
        return Direct32(c.texel, 1);
      case P16:
        return Palette16(uint16_t(c.texel));
      case P32:
        return Palette32(c.texel);
    }
    return Direct16(0);
  }

  // Draws every case on its own and expects its hand-worked result.
  template <size_t N>
  static void ExpectCases(const TexelCase (&cases)[N]) {
    for (size_t i = 0; i < N; ++i) {
      const TexelCase& c = cases[i];
      zq::test::TestImage s = Source(c);
      if (c.key != kDef) s.img.TransColor = uint32_t(c.key);
      Mode(c.mode, c.param);
      Bright(c.bright);
      zq::test::TestImage blend = BlendOf(uint8_t(c.t < 0 ? 0 : c.t));
      EXPECT_EQ(DrawOne(s, c.under, c.trans, c.t < 0 ? nullptr : &blend), c.want) << "case " << i;
    }
  }
};

}  // namespace zq::soft
