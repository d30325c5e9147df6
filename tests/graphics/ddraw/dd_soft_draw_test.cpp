#include "graphics/ddraw/dd_soft_draw.h"

#include <gtest/gtest.h>

#include <cstring>
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

using test::LibrarySession;
using namespace screencmp;

TEST(DDSoftDraw, BoxesFramesAndSegmentsGiveTheSamePixelsOnBothPaths) {
  for (int bits : {16, 32}) {
    const uint32_t c1 = bits == 16 ? 0xF81Fu : 0x00FF00FFu, c2 = bits == 16 ? 0x07E0u : 0xFF00u;
    const uint32_t white = bits == 16 ? 0xFFFFu : 0x00FFFFFFu;
    const soft::SoftLineSegment list[2] = {{2, 46, 40, 46, white, 0}, {62, 45, 62, 5, white, 0}};
    const std::vector<uint32_t> r = SameOnBothPaths(bits, [&] {
      EXPECT_EQ(G_DD_DrawSegmentList(list, 2), 0);
      EXPECT_EQ(G_DD_DrawSegmentList(nullptr, 2), -1);
      ASSERT_EQ(ApplyDrawArea(2, 3, 60, 44), 0);
      EXPECT_EQ(G_DD_DrawRect(5, 6, 20, 18, c1), 0);
      EXPECT_EQ(G_DD_DrawRect(30, 30, 10, 25, c2), 0);  // reversed: filled normalised
      g_DrawState.BlendMode = 2;
      g_DrawState.BlendParam = 160;
      EXPECT_EQ(G_DD_DrawRect(40, 0, 70, 12, c1), 0);  // cut by the draw area
      // Additive blue 1 at parameter 255 raises the 32-bit pattern's blue by exactly 1: a pixel
      // drawn twice would show 2.
      g_DrawState.BlendParam = 255;
      if (bits == 32) {
        EXPECT_EQ(G_DD_DrawFrameBox(42, 14, 47, 19, 1), 0);
        EXPECT_EQ(G_DD_DrawFrameBox(30, 5, 31, 9, 1), 0);  // one pixel wide
      }
      g_DrawState.BlendMode = 1;
      g_DrawState.BlendParam = 100;
      g_DrawState.Bright = 0x80FF40;
      EXPECT_EQ(G_DD_DrawRect(0, 35, 25, 47, c2), 0);
    });
    auto same = [&](int x, int y) { return At(r, x, y) == Pattern(bits, x, y); };
    EXPECT_EQ((std::vector<uint32_t>{At(r, 5, 6), At(r, 19, 17), At(r, 10, 25), At(r, 29, 29)}),
              (std::vector<uint32_t>{c1, c1, c2, c2}));
    EXPECT_TRUE(same(4, 6) && same(20, 17) && same(30, 29));
    EXPECT_TRUE(same(45, 2) && same(60, 5) && same(5, 44));  // around the draw area
    EXPECT_FALSE(same(45, 3));
    // The segments: end points not drawn.
    EXPECT_EQ((std::vector<uint32_t>{At(r, 2, 46), At(r, 39, 46), At(r, 62, 45)}),
              (std::vector<uint32_t>(3, white)));
    EXPECT_TRUE(same(40, 46) && same(62, 5));
    if (bits == 16) continue;
    // Each outline pixel once; a one-pixel-wide box's first and third segments have no length,
    // the second (down, end excluded) and fourth (up, end excluded) overlap on the inner pixels.
    for (int y = 12; y < 21; ++y)
      for (int x = 40; x < 49; ++x) {
        const bool outline = (x >= 42 && x <= 46 && (y == 14 || y == 18)) ||
                             (y >= 14 && y <= 18 && (x == 42 || x == 46));
        EXPECT_EQ(At(r, x, y), Pattern(bits, x, y) + (outline ? 1u : 0u)) << x << "," << y;
      }
    for (int y = 5; y < 10; ++y)
      EXPECT_EQ(At(r, 30, y), Pattern(bits, 30, y) + (y == 6 || y == 7 ? 2 : y < 9 ? 1 : 0)) << y;
    EXPECT_TRUE(same(31, 6));
  }
}

TEST(DDSoftDraw, NothingToDrawDrawsNothing) {
  for (bool software : {true, false}) {
    const std::vector<uint32_t> r = RunOn(software, 32, [&] {
      ASSERT_EQ(ApplyDrawArea(10, 10, 30, 30), 0);
      // The direct path hands the work to the renderer; the bracket finds nothing to lock.
      const soft::SoftLineSegment one{1, 1, 20, 1, 0x00FFFFFF, 0};
      EXPECT_EQ(G_DD_DrawRect(0, 0, 10, 40, 0x00FFFFFF), software ? 0 : -1);
      EXPECT_EQ(G_DD_DrawRect(30, 10, 40, 20, 0x00FFFFFF), software ? 0 : -1);
      EXPECT_EQ(G_DD_DrawSegmentList(&one, 0), software ? 0 : -1);
      EXPECT_EQ(G_DD_DrawSegmentList(&one, -3), software ? 0 : -1);
    });
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) ASSERT_EQ(At(r, x, y), Pattern(32, x, y)) << x << "," << y;
  }
  ASSERT_EQ(GetDirectDrawObject(), nullptr);  // without DirectDraw every front-end fails
  const soft::SoftLineSegment one{0, 0, 5, 5, 1, 0};
  EXPECT_EQ(G_DD_DrawRect(0, 0, 10, 10, 1), -1);
  EXPECT_EQ(G_DD_DrawFrameBox(0, 0, 10, 10, 1), -1);
  EXPECT_EQ(G_DD_DrawSegmentList(&one, 1), -1);
  EXPECT_EQ(G_DD_ClearDrawTarget(), -1);
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
  // A list longer than one batch of converted colours: one pixel a segment, each converted.
  std::vector<soft::SoftLineSegment> many;
  for (int32_t x = 0; x < 150; ++x)
    many.push_back({x, 20, x + 1, 20, x % 3 ? 0x7C1Fu : 0x03E0u, 255});
  EXPECT_EQ(G_DD_DrawSegmentList(many.data(), 150), 0);
  for (int32_t x = 0; x < 150; ++x)
    ASSERT_EQ(g_DD.BackSurface->TestGetPixel(x, 20), x % 3 ? 0x7C1Fu : 0x03E0u) << x;
  g_DrawState.BlendMode = 0;
  for (int x = 0; x < 9; ++x)
    EXPECT_EQ(
        (std::vector<uint32_t>{g_DD.BackSurface->TestGetPixel(x, 3),
                               g_DD.BackSurface->TestGetPixel(x, 5),
                               g_DD.BackSurface->TestGetPixel(x, 7)}),
        (x < 8 ? std::vector<uint32_t>{0x03E0, 0x7C1F, 0x001F} : std::vector<uint32_t>(3, 0)));
}

TEST(DDSoftDraw, ClearDrawTargetOnEachTargetKind) {
  // The screens: software back image and back surface; the draw area and blend mode are obeyed
  // (adding colour 0 changes nothing).
  for (bool software : {true, false})
    for (int mode : {0, 2}) {
      const std::vector<uint32_t> r = RunOn(software, 32, [&] {
        ASSERT_EQ(ApplyDrawArea(4, 5, 30, 20), 0);
        g_DrawState.BlendMode = mode;
        g_DrawState.BlendParam = 255;
        EXPECT_EQ(G_DD_ClearDrawTarget(), 0);
      });
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
          const bool cleared = mode == 0 && x >= 4 && x < 30 && y >= 5 && y < 20;
          ASSERT_EQ(At(r, x, y), cleared ? 0u : Pattern(32, x, y))
              << software << " " << x << "," << y;
        }
    }
  // Graphs as targets on a surface screen: a system-memory store and a surface store.
  for (int systemMem : {1, 0}) {
    LibrarySession lib({.bits = 32, .softwareScreen = false});
    g_DrawState.CreateSystemMem = systemMem;
    g_DrawState.CreateDrawValid = 1;
    const HandleValue graph = CreateGraphWithOptions(20, 10, 0, 0, 0);
    g_DrawState.CreateSystemMem = 0;
    g_DrawState.CreateDrawValid = 0;
    ASSERT_EQ(SelectDrawScreen(graph), 0);
    SurfaceDataRecord* data =
        GetSurfaceDataRecord(LookupSurface2DRecord(GetGraphRecord(graph)->Pieces[0])->SurfaceData);
    ASSERT_EQ(data->SoftwareFlag, uint32_t(systemMem));
    auto pixel = [&](int x, int y) {
      uint32_t v = 0;
      if (!systemMem) return data->Surface->TestGetPixel(x, y) & 0xFFFFFF;
      std::memcpy(&v, data->Image.Pixels + int64_t(y) * data->Image.Pitch + x * 4, 4);
      return v & 0xFFFFFF;
    };
    EXPECT_EQ(G_DD_FillGraph(GetGraphRecord(graph), 255, 255, 255, 255), 0);
    ASSERT_EQ(pixel(19, 9), 0xFFFFFFu);
    EXPECT_EQ(G_DD_ClearDrawTarget(), 0);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 20; ++x) ASSERT_EQ(pixel(x, y), 0u) << systemMem << " " << x << "," << y;
    EXPECT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  }
}

}  // namespace
}  // namespace zq::gfx
