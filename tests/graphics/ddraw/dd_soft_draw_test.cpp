#include "graphics/ddraw/dd_soft_draw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "graphics/ddraw/dd_graph.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/screen_compare.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using platform::RECT;
using test::LibrarySession;
using namespace screencmp;

TEST(DDSoftDraw, BoxesGiveTheSamePixelsOnBothPaths) {
  for (int bits : {16, 32}) {
    const uint32_t c1 = bits == 16 ? 0xF81Fu : 0x00FF00FFu;
    const uint32_t c2 = bits == 16 ? 0x07E0u : 0x0000FF00u;
    const std::vector<uint32_t> r = SameOnBothPaths(bits, [&] {
      ASSERT_EQ(ApplyDrawArea(2, 3, 60, 44), 0);
      EXPECT_EQ(G_DD_DrawRect(5, 6, 20, 18, c1), 0);
      EXPECT_EQ(G_DD_DrawRect(30, 30, 10, 25, c2), 0);  // reversed: filled normalised
      g_DrawState.BlendMode = 2;
      g_DrawState.BlendParam = 160;
      EXPECT_EQ(G_DD_DrawRect(40, 0, 70, 12, c1), 0);  // cut by the draw area
      g_DrawState.BlendMode = 1;
      g_DrawState.BlendParam = 100;
      g_DrawState.Bright = 0x80FF40;
      EXPECT_EQ(G_DD_DrawRect(0, 35, 25, 47, c2), 0);
    });
    EXPECT_EQ(At(r, 5, 6), c1);
    EXPECT_EQ(At(r, 19, 17), c1);
    EXPECT_EQ(At(r, 4, 6), Pattern(bits, 4, 6));
    EXPECT_EQ(At(r, 20, 17), Pattern(bits, 20, 17));
    EXPECT_EQ(At(r, 10, 25), c2);
    EXPECT_EQ(At(r, 29, 29), c2);
    EXPECT_EQ(At(r, 30, 29), Pattern(bits, 30, 29));
    EXPECT_EQ(At(r, 45, 2), Pattern(bits, 45, 2));  // above the draw area
    EXPECT_NE(At(r, 45, 3), Pattern(bits, 45, 3));
    EXPECT_EQ(At(r, 60, 5), Pattern(bits, 60, 5));  // right of the draw area
    EXPECT_EQ(At(r, 5, 44), Pattern(bits, 5, 44));  // below the draw area
  }
}

TEST(DDSoftDraw, BoxOutsideTheDrawAreaDrawsNothing) {
  for (bool software : {true, false}) {
    LibrarySession lib(Options(software, 32));
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    PutPattern(32);
    ASSERT_EQ(ApplyDrawArea(10, 10, 30, 30), 0);
    // The direct path hands the box to the renderer; the bracket finds nothing to lock.
    EXPECT_EQ(G_DD_DrawRect(0, 0, 10, 40, 0x00FFFFFF), software ? 0 : -1);
    EXPECT_EQ(G_DD_DrawRect(30, 10, 40, 20, 0x00FFFFFF), software ? 0 : -1);
    const std::vector<uint32_t> r = ReadRegion();
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) ASSERT_EQ(At(r, x, y), Pattern(32, x, y)) << x << "," << y;
  }
}

TEST(DDSoftDraw, FrameBoxDrawsEachOutlinePixelOnce) {
  // Additive blue 1 at parameter 255 raises blue by exactly 1 (the pattern's blue stays below
  // 255): a pixel drawn twice would show 2.
  const std::vector<uint32_t> r = SameOnBothPaths(32, [] {
    g_DrawState.BlendMode = 2;
    g_DrawState.BlendParam = 255;
    EXPECT_EQ(G_DD_DrawFrameBox(10, 20, 15, 25, 0x00000001), 0);
    EXPECT_EQ(G_DD_DrawFrameBox(30, 5, 31, 9, 0x00000001), 0);  // one pixel wide
  });
  for (int y = 18; y < 27; ++y)
    for (int x = 8; x < 17; ++x) {
      const bool outline = (x >= 10 && x <= 14 && (y == 20 || y == 24)) ||
                           (y >= 20 && y <= 24 && (x == 10 || x == 14));
      EXPECT_EQ(At(r, x, y), Pattern(32, x, y) + (outline ? 1u : 0u)) << x << "," << y;
    }
  // A one-pixel-wide box: its first and third segments have no length and draw nothing; the
  // second (down, end excluded) and the fourth (up, end excluded) overlap on the inner pixels.
  EXPECT_EQ(At(r, 30, 5), Pattern(32, 30, 5) + 1);
  EXPECT_EQ(At(r, 30, 6), Pattern(32, 30, 6) + 2);
  EXPECT_EQ(At(r, 30, 7), Pattern(32, 30, 7) + 2);
  EXPECT_EQ(At(r, 30, 8), Pattern(32, 30, 8) + 1);
  EXPECT_EQ(At(r, 30, 9), Pattern(32, 30, 9));
  EXPECT_EQ(At(r, 31, 6), Pattern(32, 31, 6));
}

TEST(DDSoftDraw, SegmentListsGiveTheSamePixelsOnBothPaths) {
  for (int bits : {16, 32}) {
    const uint32_t c = bits == 16 ? 0xFFFFu : 0x00FFFFFFu;
    const soft::SoftLineSegment list[3] = {
        {2, 2, 40, 2, c, 0}, {5, 10, 30, 40, c, 0}, {50, 45, 50, 5, c, 0}};
    const std::vector<uint32_t> r = SameOnBothPaths(bits, [&] {
      EXPECT_EQ(G_DD_DrawSegmentList(list, 3), 0);
      EXPECT_EQ(G_DD_DrawSegmentList(nullptr, 2), -1);
    });
    EXPECT_EQ(At(r, 2, 2), c);
    EXPECT_EQ(At(r, 39, 2), c);
    EXPECT_EQ(At(r, 40, 2), Pattern(bits, 40, 2));  // end point not drawn
    EXPECT_EQ(At(r, 5, 10), c);
    EXPECT_EQ(At(r, 50, 45), c);
    EXPECT_EQ(At(r, 50, 5), Pattern(bits, 50, 5));
  }
}

TEST(DDSoftDraw, EmptySegmentListDrawsNothing) {
  for (bool software : {true, false}) {
    LibrarySession lib(Options(software, 32));
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    PutPattern(32);
    const soft::SoftLineSegment one{1, 1, 20, 1, 0x00FFFFFF, 0};
    // Nothing to draw: the direct path returns 0, the bracket finds an empty box.
    EXPECT_EQ(G_DD_DrawSegmentList(&one, 0), software ? 0 : -1);
    EXPECT_EQ(G_DD_DrawSegmentList(&one, -3), software ? 0 : -1);
    const std::vector<uint32_t> r = ReadRegion();
    for (int x = 0; x < kW; ++x) EXPECT_EQ(At(r, x, 1), Pattern(32, x, 1));
  }
}

TEST(DDSoftDraw, SegmentColoursFollowA555Screen) {
  LibrarySession lib({.softwareScreen = false, .start = false});
  ASSERT_TRUE(platform::SetDesktop(1024, 768, platform::PixelFormatRGB555()));
  ASSERT_EQ(lib.Start(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  platform::BltFx fx;
  fx.fillColor = 0;
  ASSERT_EQ(g_DD.BackSurface->Blt(nullptr, nullptr, nullptr, platform::DDBLT_COLORFILL, &fx),
            platform::DD_OK);
  // Additive: the draw goes through a 5:6:5 copy, so the 5:5:5 green must be converted.
  g_DrawState.BlendMode = 2;
  g_DrawState.BlendParam = 255;
  const soft::SoftLineSegment list[2] = {{0, 3, 8, 3, 0x03E0, 255}, {0, 5, 8, 5, 0x7C1F, 255}};
  EXPECT_EQ(G_DD_DrawSegmentList(list, 2), 0);
  EXPECT_EQ(G_DD_DrawRect(0, 7, 8, 8, 0x001F), 0);
  g_DrawState.BlendMode = 0;
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(g_DD.BackSurface->TestGetPixel(x, 3), 0x03E0u);
    EXPECT_EQ(g_DD.BackSurface->TestGetPixel(x, 5), 0x7C1Fu);
    EXPECT_EQ(g_DD.BackSurface->TestGetPixel(x, 7), 0x001Fu);
  }
  EXPECT_EQ(g_DD.BackSurface->TestGetPixel(8, 3), 0u);
}

TEST(DDSoftDraw, ClearDrawTargetOnEachTargetKind) {
  // The screens: software back image and back surface; the draw area is obeyed.
  for (bool software : {true, false}) {
    const std::vector<uint32_t> r = RunOn(software, 32, [] {
      ASSERT_EQ(ApplyDrawArea(4, 5, 30, 20), 0);
      EXPECT_EQ(G_DD_ClearDrawTarget(), 0);
    });
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const bool inside = x >= 4 && x < 30 && y >= 5 && y < 20;
        ASSERT_EQ(At(r, x, y), inside ? 0u : Pattern(32, x, y)) << software << " " << x << "," << y;
      }
  }
  // The fill obeys the blend mode: adding colour 0 changes nothing.
  for (bool software : {true, false}) {
    const std::vector<uint32_t> r = RunOn(software, 32, [] {
      g_DrawState.BlendMode = 2;
      g_DrawState.BlendParam = 255;
      EXPECT_EQ(G_DD_ClearDrawTarget(), 0);
    });
    EXPECT_EQ(At(r, 7, 9), Pattern(32, 7, 9));
  }
  // Graphs as targets on a surface screen: a system-memory store and a surface store.
  for (int systemMem : {1, 0}) {
    LibrarySession lib({.bits = 32, .softwareScreen = false});
    g_DrawState.CreateSystemMem = systemMem;
    const HandleValue graph = CreateGraphWithOptions(20, 10, 0, 0, 0);
    g_DrawState.CreateSystemMem = 0;
    ASSERT_GE(graph, 0);
    ASSERT_EQ(SelectDrawScreen(graph), 0);
    const Surface2DRecord* piece = LookupSurface2DRecord(GetGraphRecord(graph)->Pieces[0]);
    SurfaceDataRecord* data = GetSurfaceDataRecord(piece->SurfaceData);
    ASSERT_EQ(data->SoftwareFlag, uint32_t(systemMem));
    EXPECT_EQ(G_DD_FillGraph(GetGraphRecord(graph), 255, 255, 255, 255), 0);
    auto pixel = [&](int x, int y) {
      if (systemMem) {
        uint32_t v = 0;
        std::memcpy(&v, data->Image.Pixels + int64_t(y) * data->Image.Pitch + x * 4, 4);
        return v & 0xFFFFFF;
      }
      return data->Surface->TestGetPixel(x, y) & 0xFFFFFF;
    };
    ASSERT_EQ(pixel(19, 9), 0xFFFFFFu);
    EXPECT_EQ(G_DD_ClearDrawTarget(), 0);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 20; ++x) ASSERT_EQ(pixel(x, y), 0u) << systemMem << " " << x << "," << y;
    EXPECT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  }
}

TEST(DDSoftDraw, WithoutDirectDrawEveryFrontEndFails) {
  ASSERT_EQ(GetDirectDrawObject(), nullptr);
  const soft::SoftLineSegment one{0, 0, 5, 5, 1, 0};
  EXPECT_EQ(G_DD_DrawRect(0, 0, 10, 10, 1), -1);
  EXPECT_EQ(G_DD_DrawFrameBox(0, 0, 10, 10, 1), -1);
  EXPECT_EQ(G_DD_DrawSegmentList(&one, 1), -1);
  EXPECT_EQ(G_DD_ClearDrawTarget(), -1);
}

}  // namespace
}  // namespace zq::gfx
