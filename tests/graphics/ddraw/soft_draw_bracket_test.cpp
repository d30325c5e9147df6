#include "graphics/ddraw/soft_draw_bracket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/ddraw/display.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "softrender/boxes.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using platform::RECT;
using test::LibrarySession;

// Fills the whole surface with one raw pixel value.
void FillSurface(platform::DirectDrawSurface* s, uint32_t value) {
  platform::BltFx fx;
  fx.fillColor = value;
  ASSERT_EQ(s->Blt(nullptr, nullptr, nullptr, platform::DDBLT_COLORFILL, &fx), platform::DD_OK);
}

// True when the surface can be locked (nobody holds it), unlocking again.
bool Unlocked(platform::DirectDrawSurface* s) {
  platform::SurfaceDesc d;
  if (platform::Failed(s->Lock(nullptr, &d, 0))) return false;
  s->Unlock(nullptr);
  return true;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(SoftDrawBracket, DrawsReachOnlyTheLockedRectangle) {
  LibrarySession lib({.bits = 32, .softwareScreen = false});
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  platform::DirectDrawSurface* back = g_DD.BackSurface;
  platform::SurfaceCaps caps;
  back->GetCaps(&caps);
  ASSERT_NE(caps.caps & platform::DDSCAPS_VIDEOMEMORY, 0u);
  const RECT area = g_DrawState.DrawArea, box{10, 20, 15, 23};
  // Opaque: the back surface itself is locked, and a fill of the whole work image reaches only
  // the locked rectangle. An additive blend reads video memory through the work surface.
  const struct {
    int mode;
    uint32_t before, fill, inside;
  } rows[] = {{0, 0x00112233, 0x00ABCDEF, 0x00ABCDEF}, {2, 0x00102030, 0x00010203, 0x00112233}};
  for (const auto& r : rows) {
    FillSurface(back, r.before);
    g_DrawState.BlendMode = r.mode;
    g_DrawState.BlendParam = 255;
    uint32_t color = r.fill;
    ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, 1, &color), 0);
    MEMIMG* work = g_DD.SoftWorkTargetImage;
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(work->ColorType, kMemImgXrgb8888);  // a 32-bit screen on 32-bit surfaces
    EXPECT_EQ(g_DD.SoftWorkSourceImage, nullptr);
    EXPECT_EQ(color, r.fill);  // a MEMIMG format needs no colour conversion
    EXPECT_EQ(Unlocked(back), r.mode != 0);
    if (r.mode != 0) {
      EXPECT_FALSE(Unlocked(g_DD.WorkSurface));
    }
    if (r.mode == 0) {  // the work image reads the surface in screen coordinates
      uint32_t v = 0;
      std::memcpy(&v, work->Pixels + int64_t(21) * work->Pitch + 12 * 4, 4);
      EXPECT_EQ(v, r.before);
    }
    soft::FillMemImgBox(work, r.mode == 0 ? nullptr : &box, color);
    EXPECT_EQ(EndSoftDrawOnSurface(), 0);
    EXPECT_EQ(EndSoftDrawOnSurface(), 0);  // a second end does nothing
    EXPECT_TRUE(Unlocked(back));
    EXPECT_TRUE(g_DD.WorkSurface == nullptr || Unlocked(g_DD.WorkSurface));
    EXPECT_EQ(g_DD.SoftWorkTargetImage, nullptr);
    EXPECT_TRUE(SameRect(g_DrawState.DrawArea, area));
    for (int y = 18; y < 25; ++y)
      for (int x = 8; x < 17; ++x) {
        const bool inside = x >= 10 && x < 15 && y >= 20 && y < 23;
        EXPECT_EQ(back->TestGetPixel(x, y) & 0xFFFFFF, inside ? r.inside : r.before)
            << r.mode << " " << x << "," << y;
      }
  }
}

TEST(SoftDrawBracket, ImagesAreUsedDirectlyAndTheSoftwareScreenNeedsNothing) {
  const RECT box{1, 1, 5, 5};
  {
    LibrarySession lib({.softwareScreen = false});
    g_DrawState.CreateSystemMem = 1;
    g_DrawState.CreateDrawValid = 1;
    const HandleValue graph = CreateGraphWithOptions(32, 16, 0, 0, 0);
    g_DrawState.CreateSystemMem = 0;
    g_DrawState.CreateDrawValid = 0;
    ASSERT_EQ(SelectDrawScreen(graph), 0);
    ASSERT_NE(g_DD.DrawTargetMemImg, nullptr);
    ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, 0, nullptr), 0);
    EXPECT_EQ(g_DD.SoftWorkTargetImage, g_DD.DrawTargetMemImg);
    EXPECT_TRUE(Unlocked(g_DD.BackSurface));
    EXPECT_EQ(EndSoftDrawOnSurface(), 0);
    EXPECT_EQ(g_DD.SoftWorkTargetImage, nullptr);
  }
  LibrarySession lib({.bits = 32});
  EXPECT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, 0, nullptr), 0);
  EXPECT_EQ(g_DD.SoftWorkTargetImage, nullptr);
  EXPECT_EQ(EndSoftDrawOnSurface(), 0);
}

TEST(SoftDrawBracket, EmptyOrOutsideRectangleLocksNothing) {
  LibrarySession lib({.softwareScreen = false});
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ASSERT_EQ(ApplyDrawArea(100, 100, 200, 200), 0);
  const RECT area = g_DrawState.DrawArea;
  const RECT cases[] = {
      {10, 10, 50, 50},      // wholly outside the draw area
      {100, 100, 100, 150},  // no width
      {150, 150, 120, 180},  // reversed
      {200, 100, 260, 150},  // only touches the right edge
  };
  for (const RECT& r : cases) {
    uint32_t color = 5;
    EXPECT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &r, 1, &color), -1);
    EXPECT_EQ(g_DD.SoftWorkTargetImage, nullptr);
    EXPECT_TRUE(Unlocked(g_DD.BackSurface));
    EXPECT_TRUE(SameRect(g_DrawState.DrawArea, area));
    EXPECT_EQ(color, 5u);
  }
  EXPECT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, nullptr, 0, nullptr), -1);
  // A piece whose store does not resolve.
  const HandleValue graph = CreateGraphWithOptions(8, 8, 0, 0, 0);
  Surface2DRecord piece = *LookupSurface2DRecord(GetGraphRecord(graph)->Pieces[0]);
  piece.SurfaceData = -1;
  const RECT inside{100, 100, 110, 110};
  EXPECT_EQ(BeginSoftDrawOnSurface(&piece, 0, nullptr, &inside, 0, nullptr), -1);
  EXPECT_TRUE(Unlocked(g_DD.BackSurface));
}

TEST(SoftDrawBracket, FailedLocksReleaseWhatWasTaken) {
  LibrarySession lib({.bits = 32, .softwareScreen = false});
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  const HandleValue graph = CreateGraphWithOptions(8, 8, 0, 0, 0);
  ASSERT_GE(graph, 0);
  const Surface2DRecord* piece = LookupSurface2DRecord(GetGraphRecord(graph)->Pieces[0]);
  ASSERT_NE(piece, nullptr);
  SurfaceDataRecord* data = GetSurfaceDataRecord(piece->SurfaceData);
  ASSERT_NE(data, nullptr);
  ASSERT_NE(data->Surface, nullptr);
  const RECT area = g_DrawState.DrawArea;
  const RECT src{0, 0, 8, 8}, dest{4, 4, 12, 12};

  // The first lock (the target) fails: nothing is held.
  platform::ddtest::FailNextLock(platform::DDERR_GENERIC);
  EXPECT_EQ(BeginSoftDrawOnSurface(piece, 0, &src, &dest, 0, nullptr), -1);
  EXPECT_TRUE(Unlocked(g_DD.BackSurface));
  EXPECT_TRUE(Unlocked(data->Surface));

  // The second lock (the source) fails: the target's lock is released again.
  platform::SurfaceDesc held;
  ASSERT_EQ(data->Surface->Lock(nullptr, &held, 0), platform::DD_OK);
  EXPECT_EQ(BeginSoftDrawOnSurface(piece, 0, &src, &dest, 0, nullptr), -1);
  EXPECT_TRUE(Unlocked(g_DD.BackSurface));
  EXPECT_EQ(g_DD.SoftWorkTargetImage, nullptr);
  EXPECT_EQ(g_DD.SoftWorkSourceImage, nullptr);
  EXPECT_TRUE(SameRect(g_DrawState.DrawArea, area));
  data->Surface->Unlock(nullptr);
  // Nothing is left for a later end to release.
  EXPECT_EQ(EndSoftDrawOnSurface(), 0);
  EXPECT_TRUE(Unlocked(data->Surface));

  // Both succeed: the source reads the piece in piece coordinates.
  FillSurface(data->Surface, 0x00405060);
  ASSERT_EQ(BeginSoftDrawOnSurface(piece, 0, &src, &dest, 0, nullptr), 0);
  MEMIMG* source = g_DD.SoftWorkSourceImage;
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->Width, 8);
  EXPECT_EQ(source->Height, 8);
  EXPECT_EQ(source->ColorType, kMemImgXrgb8888);
  uint32_t v = 0;
  std::memcpy(&v, source->Pixels + int64_t(7) * source->Pitch + 7 * 4, 4);
  EXPECT_EQ(v, 0x00405060u);
  EXPECT_EQ(EndSoftDrawOnSurface(), 0);
  EXPECT_TRUE(Unlocked(g_DD.BackSurface));
  EXPECT_TRUE(Unlocked(data->Surface));
}

// 5:5:5 to 5:6:5 as the converter's 16-bit path does it: green's lowest bit is repeated;
// 5:6:5 back to 5:5:5 drops that bit again.
uint16_t Rgb555To565(uint16_t p) {
  const uint32_t g = (p >> 5) & 0x1F;
  return uint16_t(((p >> 10) & 0x1F) << 11 | ((g << 1) | (g & 1)) << 5 | (p & 0x1F));
}
uint16_t Pattern555(int x, int y) {
  return uint16_t((((x * 3) & 0x1F) << 10 | ((y * 7 + x) & 0x1F) << 5 | ((x + y) & 0x1F)));
}

TEST(SoftDrawBracket, WorkCopyOnA555DesktopConvertsBothWaysExactly) {
  LibrarySession lib({.softwareScreen = false, .start = false});
  ASSERT_TRUE(platform::SetDesktop(1024, 768, platform::PixelFormatRGB555()));
  ASSERT_EQ(lib.Start(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  platform::DirectDrawSurface* back = g_DD.BackSurface;
  platform::SurfaceDesc d;
  ASSERT_EQ(back->Lock(nullptr, &d, 0), platform::DD_OK);
  ASSERT_EQ(d.pixelFormat.greenMask, 0x03E0u);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      const uint16_t v = Pattern555(x, y);
      std::memcpy(static_cast<uint8_t*>(d.surface) + y * d.pitch + x * 2, &v, 2);
    }
  back->Unlock(nullptr);

  // Additive blending reads the destination: a converted 5:6:5 work copy, and the colour is
  // converted too (5:5:5 red 0x7C00 becomes 5:6:5 red 0xF800).
  g_DrawState.BlendMode = 2;
  g_DrawState.BlendParam = 255;
  const RECT box{5, 6, 30, 20};
  uint32_t color = 0x7C00;
  ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, 1, &color), 0);
  EXPECT_EQ(color, 0xF800u);
  MEMIMG* work = g_DD.SoftWorkTargetImage;
  ASSERT_NE(work, nullptr);
  ASSERT_EQ(work->ColorType, kMemImgRgb565);
  for (int y = box.top; y < box.bottom; ++y)
    for (int x = box.left; x < box.right; ++x) {
      uint16_t v = 0;
      std::memcpy(&v, work->Pixels + int64_t(y) * work->Pitch + x * 2, 2);
      ASSERT_EQ(v, Rgb555To565(Pattern555(x, y))) << x << "," << y;
    }
  // Only the left half gets the red; the right half goes back unchanged.
  const RECT half{5, 6, 17, 20};
  soft::FillMemImgBox(work, &half, color);
  EXPECT_EQ(EndSoftDrawOnSurface(), 0);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      const uint16_t p = Pattern555(x, y);
      const bool red = x >= half.left && x < half.right && y >= half.top && y < half.bottom;
      ASSERT_EQ(back->TestGetPixel(x, y), red ? (0x7C00u | (p & 0x03FFu)) : p) << x << "," << y;
    }

  // An opaque draw (mode 0, or mode 1 at full strength) that asks for colour conversion works
  // on the 5:5:5 surface directly, the colour as given; a blend, or a draw that does not ask,
  // works on a 5:6:5 copy (a 5:6:5 green written there comes back as 5:5:5 green).
  const struct {
    int mode, param, convert;
    bool direct;
  } rows[] = {{0, 0, 1, true}, {1, 255, 1, true}, {1, 128, 1, false}, {0, 0, 0, false}};
  for (const auto& r : rows) {
    g_DrawState.BlendMode = r.mode;
    g_DrawState.BlendParam = r.param;
    color = 0x7C00;
    ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, r.convert, &color), 0);
    EXPECT_EQ(color, r.convert && !r.direct ? 0xF800u : 0x7C00u) << r.mode << r.convert;
    soft::FillMemImgBox(g_DD.SoftWorkTargetImage, &box, r.direct ? 0x03E0 : 0x07E0);
    EXPECT_EQ(EndSoftDrawOnSurface(), 0);
    EXPECT_EQ((std::vector<uint32_t>{back->TestGetPixel(5, 6), back->TestGetPixel(29, 19),
                                     back->TestGetPixel(30, 19), back->TestGetPixel(4, 6)}),
              (std::vector<uint32_t>{0x03E0, 0x03E0, Pattern555(30, 19), Pattern555(4, 6)}))
        << r.mode << r.convert;
  }
  g_DrawState.BlendMode = 0;
}

}  // namespace
}  // namespace zq::gfx
