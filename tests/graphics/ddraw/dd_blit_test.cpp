#include "graphics/ddraw/dd_blit.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "graphics/ddraw/display.h"
#include "graphics/ddraw/screen_compare.h"
#include "graphics/ddraw/soft_draw_bracket.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using platform::RECT;
using test::LibrarySession;
using namespace screencmp;

constexpr int kSpriteW = 9, kSpriteH = 7;  // odd width: the two-pixel key test's last column

// The colour key of black (the default transparent colour) in the store's format: in 32 bits
// the unused top byte is set, as in every packed screen colour.
uint32_t Key(int bits) {
  return bits == 16 ? 0u : 0xFF000000u;
}

// The sprite: every fourth pixel on a diagonal is the colour key, the others a value that no
// pattern pixel near them has.
uint32_t Sprite(int bits, int x, int y) {
  if ((x + y) % 4 == 0) return Key(bits);
  if (bits == 16) return uint32_t(((x * 3 + 5) & 0x1F) << 11 | ((y * 9 + 1) & 0x3F) << 5 | 0x11);
  return 0x00800000u | uint32_t(x * 20 + 3) << 8 | uint32_t(y * 30 + 1);
}

// A graph holding the sprite (an image with systemMem).
HandleValue MakeSprite(int bits, int systemMem = 0) {
  return GraphOf(
      kSpriteW, kSpriteH, [bits](int x, int y) { return Sprite(bits, x, y); }, systemMem);
}

HandleValue FirstPiece(HandleValue graph) {
  return GetGraphRecord(graph)->Pieces[0];
}

TEST(DDBlit, SameSpriteOnBothScreens) {
  for (int bits : {16, 32}) {
    const std::vector<uint32_t> r = SameOnBothPaths(bits, [bits] {
      const HandleValue g = MakeSprite(bits);
      ASSERT_EQ(ApplyDrawArea(0, 0, 60, 46), 0);
      EXPECT_EQ(BltSurface2DToDrawTarget(10, 12, FirstPiece(g), 1), 0);  // keyed copy
      EXPECT_EQ(BltSurface2DToDrawTarget(30, 3, FirstPiece(g), 0), 0);   // plain copy
      g_DrawState.BlendMode = 2;
      g_DrawState.BlendParam = 200;
      EXPECT_EQ(BltSurface2DToDrawTarget(-3, 22, FirstPiece(g), 1), 0);  // cut on the left
      EXPECT_EQ(BltSurface2DToDrawTarget(56, 22, FirstPiece(g), 1), 0);  // cut on the right
      g_DrawState.BlendMode = 1;
      g_DrawState.BlendParam = 128;
      g_DrawState.Bright = 0x80C0FF;
      EXPECT_EQ(BltSurface2DToDrawTarget(20, 42, FirstPiece(g), 1), 0);  // cut at the bottom
      g_DrawState.Bright = 0xFFFFFF;
      g_DrawState.BlendMode = 0;
      // Float coordinates are truncated toward zero: (40.9, -0.5) draws at (40, 0).
      EXPECT_EQ(G_DD_DrawImage(std::bit_cast<uint32_t>(40.9f), std::bit_cast<uint32_t>(-0.5f),
                               GetGraphRecord(g), 0, 0),
                0);
    });
    // The keyed copy: key pixels leave the screen, the others are the sprite; the plain copy
    // writes the key pixels too; outside the draw area nothing changes; the float draw.
    const std::vector<std::pair<uint32_t, uint32_t>> got_want = {
        {At(r, 10, 12), Pattern(bits, 10, 12)},
        {At(r, 11, 12), Sprite(bits, 1, 0)},
        {At(r, 18, 18), Sprite(bits, 8, 6)},
        {At(r, 19, 18), Pattern(bits, 19, 18)},
        {At(r, 30, 3), Key(bits)},
        {At(r, 31, 3), Sprite(bits, 1, 0)},
        {At(r, 60, 23), Pattern(bits, 60, 23)},
        {At(r, 21, 46), Pattern(bits, 21, 46)},
        {At(r, 40, 0), Key(bits)},
        {At(r, 41, 0), Sprite(bits, 1, 0)}};
    for (size_t i = 0; i < got_want.size(); ++i)
      EXPECT_EQ(got_want[i].first, got_want[i].second) << bits << " bits, check " << i;
    EXPECT_NE(At(r, 22, 45), Pattern(bits, 22, 45));
  }
}

TEST(DDBlit, SixteenBitStoreOnA32BitScreenIsRefused) {
  for (bool software : {true, false}) {
    const std::vector<uint32_t> r = RunOn(software, 32, [] {
      g_DrawState.CreateColorBitDepth = 16;
      const HandleValue g = MakeSprite(16, 1);
      g_DrawState.CreateColorBitDepth = 0;
      // Handed to the blit, which refuses mismatched colour types: nothing changes.
      EXPECT_EQ(BltSurface2DToDrawTarget(4, 4, FirstPiece(g), 0), 0);
    });
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) ASSERT_EQ(At(r, x, y), Pattern(32, x, y)) << x << "," << y;
  }
}

TEST(DDBlit, FastBlitOnlyWithoutBlending) {
  LibrarySession lib({.bits = 32, .softwareScreen = false});
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  const HandleValue g = MakeSprite(32);
  const HandleValue imageStore = MakeSprite(32, 1);
  const Surface2DRecord* piece = LookupSurface2DRecord(FirstPiece(g));
  const Surface2DRecord* imagePiece = LookupSurface2DRecord(FirstPiece(imageStore));
  const RECT src{0, 0, kSpriteW, kSpriteH}, dest{5, 5, 5 + kSpriteW, 5 + kSpriteH};
  auto begins = [&](const Surface2DRecord* p) {
    const int result = BeginSoftDrawOnSurface(p, 1, &src, &dest, 0, nullptr);
    EndSoftDrawOnSurface();
    return result;
  };
  EXPECT_EQ(begins(piece), 1);
  EXPECT_EQ(begins(imagePiece), 0);  // an image store needs the software blit
  g_DrawState.BlendMode = 2;
  g_DrawState.BlendParam = 255;
  EXPECT_EQ(begins(piece), 0);
  g_DrawState.BlendMode = 1;  // opaque, but a blend mode all the same
  EXPECT_EQ(begins(piece), 0);
  g_DrawState.BlendMode = 0;
  g_DrawState.Bright = 0xFFFFFE;
  EXPECT_EQ(begins(piece), 0);
  g_DrawState.Bright = 0x01FFFFFF;  // the byte above the colour is ignored: bright is off
  EXPECT_EQ(begins(piece), 1);
  g_DrawState.Bright = 0xFFFFFF;
  EXPECT_EQ(begins(piece), 1);

  // Blend mode 2 draws additively on the surface: a plain copy would have put the sprite.
  platform::BltFx fx;
  fx.fillColor = 0x00010101;
  ASSERT_EQ(g_DD.BackSurface->Blt(nullptr, nullptr, nullptr, platform::DDBLT_COLORFILL, &fx),
            platform::DD_OK);
  g_DrawState.BlendMode = 2;
  g_DrawState.BlendParam = 255;
  EXPECT_EQ(BltSurface2DToDrawTarget(5, 5, FirstPiece(g), 0), 0);
  g_DrawState.BlendMode = 0;
  // The packed saturating add: blue 0x01 + 0x01; green (0x17 >> 1) + (0x01 >> 1) = 11 in the
  // upper seven bits, lowest bit 1 from either operand; red 0x80 + 0x01; fourth byte 0.
  ASSERT_EQ(Sprite(32, 1, 0), 0x00801701u);
  EXPECT_EQ(g_DD.BackSurface->TestGetPixel(6, 5), 0x00811702u);
}

TEST(DDBlit, SpriteFromA555SurfaceKeepsItsColoursAndKey) {
  LibrarySession lib({.softwareScreen = false, .start = false});
  ASSERT_TRUE(platform::SetDesktop(1024, 768, platform::PixelFormatRGB555()));
  ASSERT_EQ(lib.Start(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  // Black in 5:5:5 carries the unused top bit: that is the store's colour key.
  auto sprite = [](int x, int y) -> uint32_t {
    if ((x + y) % 3 == 0) return 0x8000;
    return uint32_t(((x * 3 + 1) & 0x1F) << 10 | ((y * 5 + 2) & 0x1F) << 5 | ((x + y) & 0x1F));
  };
  const HandleValue g = CreateGraphWithOptions(kSpriteW, kSpriteH, 0, 0, 0);
  ASSERT_GE(g, 0);
  const Surface2DRecord* piece = LookupSurface2DRecord(FirstPiece(g));
  platform::DirectDrawSurface* store = GetSurfaceDataRecord(piece->SurfaceData)->Surface;
  ASSERT_NE(store, nullptr);
  platform::ColorKey key{};
  ASSERT_EQ(store->GetColorKey(platform::DDCKEY_SRCBLT, &key), platform::DD_OK);
  ASSERT_EQ(key.low, 0x8000u);
  platform::SurfaceDesc d;
  ASSERT_EQ(store->Lock(nullptr, &d, 0), platform::DD_OK);
  for (int y = 0; y < kSpriteH; ++y)
    for (int x = 0; x < kSpriteW; ++x) {
      const uint16_t v = uint16_t(sprite(x, y));
      std::memcpy(static_cast<uint8_t*>(d.surface) + y * d.pitch + x * 2, &v, 2);
    }
  store->Unlock(nullptr);
  platform::BltFx fx;
  ASSERT_EQ(g_DD.BackSurface->Blt(nullptr, nullptr, nullptr, platform::DDBLT_COLORFILL, &fx),
            platform::DD_OK);

  // Through 5:6:5 work copies of the target and the source, keyed, copied and added onto
  // black: every colour comes back exactly, the key pixels stay black.
  EXPECT_EQ(BltSurface2DToDrawTarget(2, 3, FirstPiece(g), 1), 0);
  g_DrawState.BlendMode = 2;
  g_DrawState.BlendParam = 255;
  EXPECT_EQ(BltSurface2DToDrawTarget(20, 3, FirstPiece(g), 1), 0);
  g_DrawState.BlendMode = 0;
  for (int y = 0; y < kSpriteH; ++y)
    for (int x = 0; x < kSpriteW; ++x) {
      const uint32_t want = sprite(x, y) == 0x8000 ? 0u : sprite(x, y);
      EXPECT_EQ(g_DD.BackSurface->TestGetPixel(2 + x, 3 + y), want) << x << "," << y;
      EXPECT_EQ(g_DD.BackSurface->TestGetPixel(20 + x, 3 + y), want) << x << "," << y;
    }
}

TEST(DDBlit, BadCallsFail) {
  EXPECT_EQ(BltSurface2DToDrawTarget(0, 0, 0, 0), -1);  // no DirectDraw object
  LibrarySession lib({.bits = 32});
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  EXPECT_EQ(BltSurface2DToDrawTarget(0, 0, -1, 0), -1);
  EXPECT_EQ(BltSurface2DToDrawTarget(0, 0, 0x12345678, 0), -1);
  EXPECT_EQ(G_DD_DrawImage(0, 0, nullptr, 0, 1), -1);
  const HandleValue g = MakeSprite(32);
  // Far off the coordinate range: nothing to draw, and no overflow on the way.
  EXPECT_EQ(BltSurface2DToDrawTarget(INT32_MAX - 2, INT32_MAX - 2, FirstPiece(g), 0), 0);
  EXPECT_EQ(BltSurface2DToDrawTarget(INT32_MIN, INT32_MIN, FirstPiece(g), 0), 0);
  // A blend graph smaller than the sprite would be read past its end: refused.
  const HandleValue small = CreateGraphWithOptions(4, 4, 0, 0, 0);
  ASSERT_GE(small, 0);
  g_DrawState.BlendGraph = small;
  EXPECT_EQ(BltSurface2DToDrawTarget(0, 0, FirstPiece(g), 0), -1);
  g_DrawState.BlendGraph = -1;
}

}  // namespace
}  // namespace zq::gfx
