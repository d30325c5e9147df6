// The flat-colour spans of triangles in every blend mode: single pixels with results worked
// by hand from the pixel rules.
#include <gtest/gtest.h>

#include <cstdint>

#include "softrender/triangle.h"
#include "support/test_image.h"

namespace zq::soft {
namespace {

using zq::test::ResetDrawState;
using zq::test::TestImage;

class FlatTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDrawState(4, 4); }

  // Fills the two pixels (0, 0) and (1, 0) of a triangle with colour over `under`.
  uint32_t FlatOne(int colorType, uint32_t colour, uint32_t under) {
    TestImage d(4, 4, colorType, 0, 0, zq::test::kRowPad);
    d.Fill(under);
    const SoftTriangleVertex v[3] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}};
    DrawMemImgTriangle(&d.img, nullptr, v, 1, nullptr, colour);
    EXPECT_EQ(d.Get(0, 0), d.Get(1, 0));
    EXPECT_EQ(d.Get(0, 1), under);  // B's row
    EXPECT_EQ(d.Get(2, 0), under);
    return d.Get(0, 0);
  }
  void Mode(int mode, int param) {
    gfx::g_DrawState.BlendMode = mode;
    gfx::g_DrawState.BlendParam = param;
  }
};

TEST_F(FlatTest, ModesAndBright) {
  struct Case {
    int type, mode, param;
    uint32_t bright, colour, under, want;
  };
  constexpr uint32_t kOff = 0xFFFFFF;
  const Case cases[] = {
      // 16-bit: a 16-bit colour has 16 bits; the shortcuts at 0 and 255; saturated add and
      // subtract; modes outside 0..4 (and -1) draw nothing.
      {0, 0, 0, kOff, 0x1234, 0, 0x1234},
      {0, 0, 0, kOff, 0xABCD1234, 0, 0x1234},
      {0, 1, 128, kOff, 0, 0xFFFF, 0x8410},
      {0, 1, 255, kOff, 0x1234, 0xFFFF, 0x1234},
      {0, 1, 0, kOff, 0x1234, 0xFFFF, 0xFFFF},
      {0, 2, 255, kOff, 0x0821, 0x0821, 0x0822},
      {0, 2, 255, kOff, 0xFFFF, 0xFFFF, 0xFFFF},
      {0, 2, 0, kOff, 0xFFFF, 0x1234, 0x1234},
      {0, 3, 255, kOff, 0, 0x1234, 0x1A14},
      {0, 3, 255, kOff, 0, 0xFFFF, 0xFFDF},
      {0, 3, 0, kOff, 0xFFFF, 0x1234, 0x1234},
      {0, 4, 0, kOff, 0xFFFF, 0xFFFF, 0xF7DE},
      {0, 5, 255, kOff, 0xFFFF, 0x1234, 0x1234},
      {0, -1, 255, kOff, 0xFFFF, 0x1234, 0x1234},
      // 32-bit: the fourth byte as each mode leaves it.
      {1, 0, 0, kOff, 0xAB123456, 0, 0xAB123456},
      {1, 1, 128, kOff, 0x00FFFFFF, 0x5A000000, 0x5A7F7F7F},
      {1, 1, 255, kOff, 0xAB123456, 0, 0xAB123456},
      {1, 1, 0, kOff, 0xAB123456, 7, 7},
      {1, 2, 255, kOff, 0x00FFFFFF, 0x00FFFFFF, 0x01FFFFFF},
      {1, 2, 0, kOff, 0x00FFFFFF, 7, 7},
      {1, 3, 255, kOff, 0, 0xFF123456, 0x00133556},
      {1, 3, 0, kOff, 0x00FFFFFF, 7, 7},
      {1, 4, 17, kOff, 0x00FFFFFF, 0xFFFFFFFF, 0xFFFEFEFE},
      {1, 7, 255, kOff, 0x00FFFFFF, 7, 7},
      // The colour scaled by bright on every call: blue 31 * 254 / 255 = 30; 255 under 128
      // stays 128 (not 127); bright 0 gives black (the fourth byte of a 32-bit colour kept
      // in a copy, cleared by the packed add, which then adds nothing).
      {0, 0, 0, 0xFFFFFE, 0xFFFF, 0, 0xFFFE},
      {1, 0, 0, 0x80FF40, 0x00FFFFFF, 0, 0x0080FF40},
      {1, 0, 0, 0x80FF40, 0x99FFFFFF, 0, 0x9980FF40},
      {0, 0, 0, 0, 0xFFFF, 0x1234, 0},
      {1, 0, 0, 0, 0x55FFFFFF, 0x12345678, 0x55000000},
      {0, 2, 255, 0, 0xFFFF, 0x1234, 0x1234},
      {1, 2, 255, 0, 0x55FFFFFF, 0xAA123456, 0x00123456},
  };
  for (const Case& c : cases) {
    Mode(c.mode, c.param);
    gfx::g_DrawState.Bright = c.bright;
    EXPECT_EQ(FlatOne(c.type, c.colour, c.under), c.want)
        << "type " << c.type << " mode " << c.mode << " p " << c.param << " colour " << c.colour;
  }
}

TEST_F(FlatTest, TransparentFlagAndBlendImageAreNotRead) {
  TestImage tiny(1, 1, 2, 0, 0,
                 zq::test::kRowPad);  // would be refused as a blend image of any textured draw
  TestImage d(4, 4, 0, 0, 0, zq::test::kRowPad);
  const SoftTriangleVertex v[3] = {{0, 0, 0, 0}, {3, 0, 0, 0}, {0, 3, 0, 0}};
  d.Fill(0x1111);
  DrawMemImgTriangle(&d.img, nullptr, v, 1, &tiny.img, 0);
  EXPECT_EQ(d.Get(0, 0), 0u);
  EXPECT_EQ(d.Get(3, 0), 0u);
  EXPECT_EQ(d.Get(0, 2), 0u);
  EXPECT_EQ(d.Get(0, 3), 0x1111u);
}

}  // namespace
}  // namespace zq::soft
