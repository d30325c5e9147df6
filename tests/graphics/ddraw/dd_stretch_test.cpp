#include "graphics/ddraw/dd_stretch.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <vector>

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

uint32_t Source(int bits, int x, int y) {
  return bits == 16 ? uint32_t(0x0841 * (1 + x) + 0x2000 * y)
                    : uint32_t(0x00102030 * (1 + x) + 0x00400000 * y);
}

template <class Fn>
HandleValue MakeGraph(int w, int h, Fn value) {
  return GraphOf(w, h, value);
}

int Draw(int32_t x1, int32_t y1, int32_t x2, int32_t y2, HandleValue graph, int trans = 0) {
  return G_DD_DrawImageStretched(x1, y1, x2, y2, GetGraphRecord(graph), trans, 1, -1);
}

TEST(DDStretch, SoftwareScreenAndSurfacesGiveTheSamePixels) {
  for (int bits : {16, 32}) {
    const std::vector<uint32_t> r = SameOnBothPaths(bits, [&] {
      const HandleValue g = MakeGraph(3, 2, [&](int x, int y) { return Source(bits, x, y); });
      ASSERT_EQ(ApplyDrawArea(0, 0, 60, 44), 0);
      EXPECT_EQ(Draw(2, 3, 9, 8, g), 0);      // 7 x 5
      EXPECT_EQ(Draw(15, 3, 12, 5, g), 0);    // same size, mirrored left-right
      EXPECT_EQ(Draw(20, 3, 23, 5, g), 0);    // same size: the unscaled draw
      EXPECT_EQ(Draw(62, 50, 50, 40, g), 0);  // 12 x 10, half turn, cut right and bottom
      g_DrawState.BlendMode = 1;
      g_DrawState.BlendParam = 100;
      EXPECT_EQ(Draw(2, 20, 8, 24, g), 0);  // 6 x 4, translucent
      g_DrawState.BlendMode = 0;
      // Float coordinates truncate toward zero: 30.9 -> 30, 36.99 -> 36.
      EXPECT_EQ(G_DD_DrawImageStretched(std::bit_cast<int32_t>(30.9f), std::bit_cast<int32_t>(3.2f),
                                        std::bit_cast<int32_t>(36.99f),
                                        std::bit_cast<int32_t>(7.7f), GetGraphRecord(g), 0, 0, -1),
                0);
    });
    // 7 x 5 at (2, 3): columns 0 0 0 1 1 2 2, rows 0 0 0 1 1.
    const int cols[7] = {0, 0, 0, 1, 1, 2, 2}, rows[5] = {0, 0, 0, 1, 1};
    for (int j = 0; j < 5; ++j)
      for (int i = 0; i < 7; ++i) EXPECT_EQ(At(r, 2 + i, 3 + j), Source(bits, cols[i], rows[j]));
    EXPECT_EQ(At(r, 9, 3), Pattern(bits, 9, 3));
    EXPECT_EQ(At(r, 1, 3), Pattern(bits, 1, 3));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(At(r, 12 + x, 3 + y), Source(bits, 2 - x, y));
        EXPECT_EQ(At(r, 20 + x, 3 + y), Source(bits, x, y));
      }
    // The half turn (12 x 10 at (50, 40): four times across, five times down): (59, 43) is
    // pixel (9, 3) of the rectangle, so column 2 - 9 / 4 = 0 and row 1 - 3 / 5 = 1.
    EXPECT_EQ(At(r, 59, 43), Source(bits, 0, 1));
    EXPECT_EQ(At(r, 50, 40), Source(bits, 2, 1));
    EXPECT_EQ(At(r, 60, 40), Pattern(bits, 60, 40));
    // 30.9 .. 36.99 is 30 .. 36: 6 x 4 at (30, 3) doubles.
    EXPECT_EQ(At(r, 30, 3), Source(bits, 0, 0));
    EXPECT_EQ(At(r, 35, 6), Source(bits, 2, 1));
    EXPECT_EQ(At(r, 36, 6), Pattern(bits, 36, 6));
  }
}

TEST(DDStretch, ResultsOnEachPath) {
  for (bool software : {true, false}) {
    LibrarySession lib(Options(software, 32));
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    PutPattern(32);
    const HandleValue g = MakeGraph(4, 4, [](int x, int y) { return uint32_t(x + 16 * y + 1); });
    ASSERT_EQ(ApplyDrawArea(10, 10, 30, 30), 0);
    // No width, no height, wholly outside: -1 on a surface, 0 (nothing drawn) on the screen.
    EXPECT_EQ(Draw(12, 12, 12, 20, g), software ? 0 : -1);
    EXPECT_EQ(Draw(12, 12, 20, 12, g), software ? 0 : -1);
    EXPECT_EQ(Draw(0, 0, 8, 8, g), software ? 0 : -1);
    const std::vector<uint32_t> region = ReadRegion();
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) ASSERT_EQ(At(region, x, y), Pattern(32, x, y));
    // An unknown piece, and no graph.
    EXPECT_EQ(G_DD_DrawImageStretched(10, 10, 20, 20, GetGraphRecord(g), 0, 1, 12345), -1);
    EXPECT_EQ(G_DD_DrawImageStretched(10, 10, 20, 20, nullptr, 0, 1, -1), -1);
    // A piece handle draws that piece, stretched by its own size.
    const HandleValue piece = GetGraphRecord(g)->Pieces[0];
    EXPECT_EQ(G_DD_DrawImageStretched(10, 10, 18, 18, nullptr, 0, 1, piece), 0);
    EXPECT_EQ(At(ReadRegion(), 17, 17), 4u + 16 * 3);
  }
  EXPECT_EQ(G_DD_DrawImageStretched(0, 0, 4, 4, nullptr, 0, 1, -1), -1);  // no DirectDraw
}

// On a 5:5:5 desktop both the target and the piece go through converted work copies of exactly
// the locked rectangles: a read outside the piece's lock would leave them (and fail under the
// address sanitizer); the pixels come back exactly.
TEST(DDStretch, MirroredCutDrawReadsOnlyTheLockedSource) {
  LibrarySession lib({.softwareScreen = false, .start = false});
  ASSERT_TRUE(platform::SetDesktop(1024, 768, platform::PixelFormatRGB555()));
  ASSERT_EQ(lib.Start(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  auto value = [](int x, int y) { return uint32_t((x * 0x421 + y * 0x1000) & 0x7FFF); };
  const HandleValue g = MakeGraph(10, 6, value);
  ASSERT_EQ(ApplyDrawArea(25, 13, 200, 200), 0);
  // 10 x 6 doubled into (20, 10)-(40, 22), mirrored on both axes; the area cuts 5 columns
  // and 3 rows: destination (25 + i, 13 + j) shows column 9 - (5 + i) / 2, row 5 - (3 + j) / 2.
  ASSERT_EQ(Draw(40, 22, 20, 10, g), 0);
  for (int y = 13; y < 22; ++y)
    for (int x = 25; x < 40; ++x)
      ASSERT_EQ(g_DD.BackSurface->TestGetPixel(x, y), value(9 - (x - 20) / 2, 5 - (y - 10) / 2))
          << x << "," << y;
  // Three times larger, the area keeping destination pixels 2 and 3 of each axis: they show
  // source pixels 0 and 1, one more than the area's share of the rectangle (2 / 3) suggests.
  ASSERT_EQ(ApplyDrawArea(22, 12, 24, 14), 0);
  ASSERT_EQ(Draw(20, 10, 50, 28, g), 0);
  ASSERT_EQ(Draw(50, 28, 20, 10, g), 0);  // the half turn over it: columns 9 and 8, rows 5 and 4
  for (int y = 12; y < 14; ++y)
    for (int x = 22; x < 24; ++x)
      EXPECT_EQ(g_DD.BackSurface->TestGetPixel(x, y), value(9 - (x - 20) / 3, 5 - (y - 10) / 3));
}

}  // namespace
}  // namespace zq::gfx
