#include "graphics/draw_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "graphics/ddraw/blend_graph.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/graph.h"
#include "graphics/library_init.h"
#include "graphics/surface_data.h"
#include "platform/win/window.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using platform::RECT;
using test::LibrarySession;

void ExpectRect(const RECT& a, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  EXPECT_EQ(std::tuple(a.left, a.top, a.right, a.bottom), std::tuple(left, top, right, bottom));
}

void ExpectArea(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  ExpectRect(g_DrawState.DrawArea, left, top, right, bottom);
  const float* f = g_DrawState.DrawAreaF;
  EXPECT_EQ(std::tuple(f[0], f[1], f[2], f[3]),
            std::tuple(float(left), float(top), float(right), float(bottom)));
}

HandleValue MakeDrawableGraph(int width, int height) {
  SetCreateOptionFlag(1);
  const HandleValue graph = CreateEmptyGraph(width, height);
  SetCreateOptionFlag(0);
  return graph;
}

MEMIMG* StoreImageOf(HandleValue graph) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr || g->PieceCount < 1) return nullptr;
  const Surface2DRecord* piece = LookupSurface2DRecord(g->Pieces[0]);
  SurfaceDataRecord* data = piece ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
  return data ? &data->Image : nullptr;
}

// The table as the blend-graph rule gives it, worked out independently of the library.
void ExpectBlendGraphTable(int p, int q) {
  const int r = q + 1;
  const int k = 256 - (65536 / r + 256) * p / 256;
  for (int i = 0; i < 256; ++i) {
    const int expected = std::min(255, std::max(0, 256 * i / r + k));
    ASSERT_EQ(BlendGraphTable[i], expected) << "entry " << i << " for " << p << ", " << q;
  }
}

// Moves the main window's client area and lets the window procedure see it.
void MoveWindowTo(int32_t left, int32_t top) {
  platform::InjectMove(left, top);
  ProcessMessage();
}

// ---- Blending ---------------------------------------------------------------------------------

TEST(BlendMode, ParameterIsClampedAndTheModeAndSamplingStoredAsPassed) {
  LibrarySession lib;
  EXPECT_EQ(std::tuple(g_DrawState.BlendMode, g_DrawState.BlendParam, GetSamplingMode()),
            std::tuple(0, 0, 0));
  // The second (1, 300): the raw 300 differs from the stored 255. Mode 9: no range check.
  const int cases[][3] = {{1, 300, 255}, {1, 300, 255}, {2, -5, 0}, {9, 128, 128}, {3, 255, 255}};
  for (const auto& [mode, param, stored] : cases) {
    EXPECT_EQ(SetBlendMode(mode, param), 0);
    EXPECT_EQ(std::pair(g_DrawState.BlendMode, g_DrawState.BlendParam), std::pair(mode, stored));
  }
  for (const int mode : {1, 1, 0}) {
    EXPECT_EQ(SetSamplingMode(mode), 0);
    EXPECT_EQ(GetSamplingMode(), mode);
  }
  // While the application is inactive a new mode waits for it: the queued activation is handled.
  platform::InjectDeactivate();
  ASSERT_EQ(ProcessMessage(), 0);
  ASSERT_EQ(IsApplicationActive(), 0);
  platform::InjectActivate();
  EXPECT_EQ(SetBlendMode(2, 100), 0);
  EXPECT_EQ(IsApplicationActive(), 1);
}

TEST(BlendGraph, SelectionRebuildsTheTableWithClampedParametersAndRefusesDeadHandles) {
  LibrarySession lib;
  EXPECT_EQ(g_DrawState.BlendGraph, -1);
  const HandleValue graph = CreateEmptyGraph(32, 32), stale = CreateEmptyGraph(8, 8);
  ASSERT_EQ(DeleteGraphHandle(stale, 0), 0);
  // Graph and parameters given; the result; the graph and parameters stored (clamped to 0..255
  // before the table is built). A refused handle changes nothing.
  const struct {
    HandleValue graph;
    int p, q, result;
    HandleValue stored;
    int sp, sq;
  } cases[] = {{-1, 128, 127, 0, -1, 128, 127},      {graph, 300, -7, 0, graph, 255, 0},
               {stale, 100, 100, -1, graph, 255, 0}, {5, 100, 100, -1, graph, 255, 0},
               {-2, 100, 100, -1, graph, 255, 0},    {0x7FFFFFFF, 100, 100, -1, graph, 255, 0},
               {-1, 0, 255, 0, -1, 0, 255},          {graph, 300, -7, 0, graph, 255, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(SelectBlendGraph(c.graph, c.p, c.q), c.result) << c.graph;
    EXPECT_EQ(std::tuple(g_DrawState.BlendGraph, g_DrawState.BlendGraphBorderParam,
                         g_DrawState.BlendGraphBorderRange),
              std::tuple(c.stored, c.sp, c.sq));
    ExpectBlendGraphTable(c.sp, c.sq);
  }
  // The raw 300 differs from the stored 255, so the same call rebuilds the table again; values
  // equal to the stored ones leave it as it is.
  BlendGraphTable[0] = 99;
  EXPECT_EQ(SelectBlendGraph(graph, 300, -7), 0);
  EXPECT_EQ(BlendGraphTable[0], 0);
  BlendGraphTable[0] = 99;
  EXPECT_EQ(SelectBlendGraph(graph, 255, 0), 0);
  EXPECT_EQ(BlendGraphTable[0], 99);
}

TEST(BlendGraph, ImageIsTheWholeStoreOfTheFirstPiece) {
  LibrarySession lib({.bits = 32});
  const HandleValue part = DeriveGraphRect(4, 2, 8, 4, CreateEmptyGraph(20, 10));
  ASSERT_GE(part, 0);
  g_DrawState.BlendGraph = -1;
  EXPECT_EQ(GetBlendGraphMemImg(), nullptr);
  g_DrawState.BlendGraph = part;
  MEMIMG* image = GetBlendGraphMemImg();
  ASSERT_NE(image, nullptr);
  // The parent's store, not a view of the derived piece.
  EXPECT_EQ(std::pair(image->Width, image->Height), std::pair(20, 10));
  DeleteGraphHandle(part, 0);
  EXPECT_EQ(GetBlendGraphMemImg(), nullptr);  // stale handle
  g_DrawState.BlendGraph = 0x12345678;
  EXPECT_EQ(GetBlendGraphMemImg(), nullptr);
  g_DrawState.BlendGraph = -1;
}

// ---- Bright -----------------------------------------------------------------------------------

TEST(Bright, FromComponentsAndPacked) {
  LibrarySession lib;
  EXPECT_EQ(g_DrawState.Bright, 0xFFFFFFu);
  // Components are clamped; bits above 23 of a packed value are dropped, both from the stored
  // value and from the comparison. Red 0 after red 255 is a change too.
  const uint32_t rgb[][4] = {{255, 0, 128, 0xFF0080},
                             {255, 128, 0, 0xFF8000},
                             {300, uint32_t(-5), 128, 0xFF0080},
                             {0, 0, 128, 0x000080}};
  for (const auto& [r, g, b, want] : rgb) {
    EXPECT_EQ(SetDrawBrightRGB(int(r), int(g), int(b)), 0);
    EXPECT_EQ(g_DrawState.Bright, want) << r << "," << g << "," << b;
  }
  const uint32_t packed[][2] = {
      {0x123456, 0x123456}, {0xAB654321, 0x654321}, {0xFF654321, 0x654321}, {0x01FFFFFF, 0xFFFFFF}};
  for (const auto& [value, want] : packed) {
    SetDrawBrightPacked(value);
    EXPECT_EQ(g_DrawState.Bright, want) << std::hex << value;
  }
}

// ---- Draw area --------------------------------------------------------------------------------

TEST(DrawArea, CornersAreOrderedAndClippedToTheDrawScreen) {
  LibrarySession lib;
  const HandleValue graph = MakeDrawableGraph(256, 128);
  // Draw screen, the corners given, the area stored, empty.
  const struct {
    HandleValue screen;
    int32_t in[4], want[4];
    int empty;
  } cases[] = {
      {kDrawScreenBack, {100, 50, 10, 5}, {10, 5, 100, 50}, 0},
      {kDrawScreenBack, {-20, -30, 1000, 2000}, {0, 0, 640, 480}, 0},
      {kDrawScreenBack, {640, 480, -1, -1}, {0, 0, 640, 480}, 0},
      {kDrawScreenBack, {700, 0, 800, 10}, {640, 0, 640, 10}, 1},  // wholly right of the screen
      {kDrawScreenBack, {5, 7, 9, 7}, {5, 7, 9, 7}, 1},            // no height
      {kDrawScreenBack, {1, 2, 3, 4}, {1, 2, 3, 4}, 0},
      // Extreme values neither overflow nor escape the screen.
      {kDrawScreenBack, {INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN}, {0, 0, 640, 480}, 0},
      {graph, {-5, 10, 300, 20}, {0, 10, 256, 20}, 0},
      {graph, {300, 200, 400, 300}, {256, 128, 256, 128}, 1},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(SelectDrawScreen(c.screen), 0);
    EXPECT_EQ(ApplyDrawArea(c.in[0], c.in[1], c.in[2], c.in[3]), 0);
    ExpectArea(c.want[0], c.want[1], c.want[2], c.want[3]);
    EXPECT_EQ(g_DrawState.DrawAreaEmpty, c.empty) << c.in[0] << "," << c.in[1];
  }
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
}

TEST(DrawArea, FollowsTheDrawScreenSizeOnSelection) {
  LibrarySession lib;
  const HandleValue a = MakeDrawableGraph(256, 256), b = MakeDrawableGraph(256, 256),
                    c = MakeDrawableGraph(256, 100);
  ASSERT_TRUE(a >= 0 && b >= 0 && c >= 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ASSERT_EQ(ApplyDrawArea(10, 10, 100, 100), 0);
  // Another size: the whole new draw screen. The same size: the area that was set stays, also
  // one that clamped to nothing on the screen before.
  const struct {
    HandleValue screen;
    int32_t want[4], apply[4];
  } steps[] = {{a, {0, 0, 256, 256}, {5, 6, 7, 8}},
               {b, {5, 6, 7, 8}, {}},
               {c, {0, 0, 256, 100}, {}},
               {kDrawScreenBack, {0, 0, 640, 480}, {}},
               {a, {0, 0, 256, 256}, {300, 0, 400, 10}},
               {b, {256, 0, 256, 10}, {}}};
  for (const auto& step : steps) {
    ASSERT_EQ(SelectDrawScreen(step.screen), 0);
    EXPECT_EQ(GetDrawScreenHandle(), step.screen);
    EXPECT_EQ(g_DD.DrawTargetMemImg,
              step.screen == kDrawScreenBack ? &g_DD.SoftBackImage : StoreImageOf(step.screen));
    ExpectArea(step.want[0], step.want[1], step.want[2], step.want[3]);
    EXPECT_EQ(g_DrawState.DrawAreaEmpty, step.want[0] == step.want[2]);
    if (step.apply[2] != 0) {
      ASSERT_EQ(ApplyDrawArea(step.apply[0], step.apply[1], step.apply[2], step.apply[3]), 0);
    }
  }
  EXPECT_EQ(g_DrawState.DrawScreenHeight, 256);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
}

TEST(DrawArea, FrontBufferTakesTheWindowsPartOnTheDesktop) {
  LibrarySession lib;  // a 640 x 480 window on the 1920 x 1080 desktop
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  ASSERT_EQ(ApplyDrawArea(0, 0, 640, 480), 0);

  // Partly off the left and top: the window's move applies the requested area again.
  MoveWindowTo(-100, -50);
  ExpectArea(100, 50, 640, 480);
  // Left and top are raised to the visible part, never lowered to it.
  ASSERT_EQ(ApplyDrawArea(150, 20, 300, 400), 0);
  ExpectArea(150, 50, 300, 400);
  // An area wholly in the hidden part collapses onto the visible edge.
  ASSERT_EQ(ApplyDrawArea(10, 10, 60, 30), 0);
  ExpectArea(100, 50, 100, 50);
  EXPECT_EQ(g_DrawState.DrawAreaEmpty, 1);
  ASSERT_EQ(ApplyDrawArea(300, 400, 0, 0), 0);  // reversed corners
  ExpectArea(100, 50, 300, 400);

  // Partly off the right and bottom: cut at the desktop's edge.
  ASSERT_EQ(ApplyDrawArea(0, 0, 640, 480), 0);
  MoveWindowTo(1500, 700);
  ExpectArea(0, 0, 420, 380);
  EXPECT_EQ(g_DrawState.DrawAreaEmpty, 0);

  // Wholly right of or below the desktop: empty, and inside the screen.
  for (const auto& [x, y] : {std::pair{2000, 100}, {100, 1200}, {-700, 0}, {0, -500}}) {
    MoveWindowTo(x, y);
    const RECT& a = g_DrawState.DrawArea;
    EXPECT_TRUE(g_DrawState.DrawAreaEmpty == 1 && a.left >= 0 && a.right <= 640 &&
                a.left <= a.right && a.top >= 0 && a.bottom <= 480 && a.top <= a.bottom)
        << x << "," << y;
  }

  // Back on the desktop: the requested area again, whole.
  MoveWindowTo(10, 20);
  ExpectArea(0, 0, 640, 480);
  // The back buffer has the same size, so it keeps the area; but it is not cut by the window.
  MoveWindowTo(-100, -50);
  ExpectArea(100, 50, 640, 480);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ExpectArea(100, 50, 640, 480);
  ASSERT_EQ(ApplyDrawArea(0, 0, 640, 480), 0);
  ExpectArea(0, 0, 640, 480);
  MoveWindowTo(-200, -60);
  ExpectArea(0, 0, 640, 480);
}

TEST(DrawOrigin, WindowRectangleForTheFrontBufferOfAHardwareScreenOnly) {
  {
    LibrarySession lib;
    MoveWindowTo(30, 40);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
    ExpectRect(g_DrawState.DrawOrigin, 0, 0, 0, 0);  // none on a software screen
    const RECT origin{1, 2, 3, 4};
    EXPECT_EQ(SetDrawOriginRect(&origin), 0);
    EXPECT_EQ(SetDrawOriginRect(nullptr), -1);
    ExpectRect(g_DrawState.DrawOrigin, 1, 2, 3, 4);
  }
  LibrarySession lib({.softwareScreen = false});
  MoveWindowTo(30, 40);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  const RECT& o = g_DrawState.DrawOrigin;
  ExpectRect(o, 30, 40, 670, 520);
  // A move and a resize update it through the window procedure.
  MoveWindowTo(50, 60);
  ExpectRect(o, 50, 60, 690, 540);
  platform::InjectResize(320, 200);
  ProcessMessage();
  ExpectRect(o, 50, 60, 370, 260);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);  // the back buffer has none
  ExpectRect(o, 0, 0, 0, 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
}

// ---- Draw screen ------------------------------------------------------------------------------

TEST(DrawScreen, UnknownAndStaleScreensKeepThePreviousOne) {
  LibrarySession lib;
  const HandleValue a = MakeDrawableGraph(64, 32);
  const HandleValue stale = MakeDrawableGraph(16, 16);
  ASSERT_GE(a, 0);
  ASSERT_EQ(DeleteGraphHandle(stale, 0), 0);
  ASSERT_EQ(SelectDrawScreen(a), 0);
  ASSERT_EQ(ApplyDrawArea(1, 2, 30, 20), 0);

  // A slot number with no graph is refused outright; a stale handle and a value no path knows
  // select the previous screen again.
  for (const int32_t bad : {5, 0x7FFF, stale, -3, -1, 0x8000, INT32_MIN}) {
    EXPECT_EQ(SelectDrawScreen(bad), bad == 5 || bad == 0x7FFF ? -1 : 0) << bad;
    EXPECT_EQ(GetDrawScreenHandle(), a) << bad;
    EXPECT_EQ(g_DD.DrawTargetMemImg, StoreImageOf(a)) << bad;
    EXPECT_EQ(std::pair(g_DrawState.DrawScreenWidth, g_DrawState.DrawScreenHeight),
              std::pair(64, 32));
    ExpectArea(1, 2, 30, 20);
  }
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
}

TEST(DrawScreen, RefusedFallbackEndsOnTheFrontBuffer) {
  LibrarySession lib;
  const HandleValue gone1 = MakeDrawableGraph(16, 16);
  const HandleValue gone2 = MakeDrawableGraph(16, 16);
  ASSERT_EQ(DeleteGraphHandle(gone1, 0), 0);
  ASSERT_EQ(DeleteGraphHandle(gone2, 0), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  // A previous screen that no longer exists (as after its graph vanished behind our back):
  // the fallback to it is refused too, and the front buffer is taken.
  g_DrawState.DrawScreen = gone1;
  EXPECT_EQ(SelectDrawScreen(gone2), 0);
  EXPECT_EQ(GetDrawScreenHandle(), kDrawScreenFront);
  EXPECT_EQ(g_DD.DrawTargetMemImg, &g_DD.SoftFrontImage);
  ExpectArea(0, 0, 640, 480);
  // The same with a previous value that names an empty slot.
  g_DrawState.DrawScreen = 3;
  EXPECT_EQ(SelectDrawScreen(-3), 0);
  EXPECT_EQ(GetDrawScreenHandle(), kDrawScreenFront);
}

TEST(QueryGraphDimensions, ScreenIs640x480BeforeAnyModeAndGraphsTheirSize) {
  {
    LibrarySession lib({.start = false});
    ASSERT_EQ(IsGraphicsManagerInitialised(), 0);
    EXPECT_EQ(SelectDrawScreen(kDrawScreenFront), -1);
    EXPECT_EQ(SelectDrawScreen(kDrawScreenBack), -1);
    EXPECT_EQ(UpdateDrawAreaForWindow(), 0);  // no window procedure work either
    int w = -1, h = -1, depth = -1;
    EXPECT_EQ(QueryGraphDimensions(kDrawScreenBack, &w, nullptr), 0);
    EXPECT_EQ(QueryGraphDimensions(kDrawScreenFront, nullptr, &h), 0);
    EXPECT_EQ(std::pair(w, h), std::pair(640, 480));
    w = h = -1;
    EXPECT_EQ(GetScreenSizeAndDepth(&w, &h, &depth), 0);
    EXPECT_EQ(std::tuple(w, h, depth), std::tuple(640, 480, 16));
    EXPECT_EQ(GetScreenSizeAndDepth(nullptr, nullptr, nullptr), 0);
    // No graph table yet: any handle is invalid and nothing is written.
    w = h = -1;
    EXPECT_EQ(QueryGraphDimensions(0x08000000, &w, &h), -1);
    EXPECT_EQ(std::pair(w, h), std::pair(-1, -1));
  }
  LibrarySession lib({.bits = 32});
  ASSERT_EQ(RunScreenModeChange(800, 600, 32, 60), 0);
  const HandleValue graph = CreateEmptyGraph(33, 17);
  int w = 0, h = 0, depth = 0;
  EXPECT_EQ(QueryGraphDimensions(graph, &w, &h), 0);
  EXPECT_EQ(std::pair(w, h), std::pair(33, 17));
  EXPECT_EQ(QueryGraphDimensions(kDrawScreenBack, &w, &h), 0);
  EXPECT_EQ(std::pair(w, h), std::pair(800, 600));
  w = 0;
  EXPECT_EQ(GetScreenSizeAndDepth(&w, nullptr, &depth), 0);
  EXPECT_EQ(std::pair(w, depth), std::pair(800, 32));
  ASSERT_EQ(DeleteGraphHandle(graph, 0), 0);
  w = -1;
  EXPECT_EQ(QueryGraphDimensions(graph, &w, &h), -1);
  EXPECT_EQ(w, -1);
}

// ---- Creation options -------------------------------------------------------------------------

TEST(CreationOptions, SetGetAndTheirEffectOnNewGraphs) {
  LibrarySession lib;
  auto options = [] {
    return std::tuple(GetCreateOptionB(), GetCreateOptionD(), GetCreateColorBitDepth(),
                      GetCreateAlphaChannelFlag());
  };
  EXPECT_EQ(options(), std::tuple(1, 0, 0, 0));
  EXPECT_EQ(GetCreateOptionA(), 0);
  EXPECT_EQ(GetChooseDirect3DGraphs(), 1);

  EXPECT_EQ(SetCreateOptionB(0), 0);
  EXPECT_EQ(SetCreateOptionD(1), 0);
  EXPECT_EQ(SetCreateColorBitDepth(32), 0);
  EXPECT_EQ(SetCreateAlphaChannelFlag(1), 0);
  EXPECT_EQ(options(), std::tuple(0, 1, 32, 1));
  const HandleValue g = CreateEmptyGraph(8, 8);
  ASSERT_GE(g, 0);
  const SurfaceOptions& o = GetGraphRecord(g)->Options;
  // AlphaTestFlag, SystemMemFlag, ColorBitDepth, AlphaChFlag, DrawValid.
  EXPECT_EQ(
      std::tuple(o.AlphaTestFlag, o.SystemMemFlag, o.ColorBitDepth, o.AlphaChFlag, o.DrawValid),
      std::tuple(0, 1, 32, 1, 0));

  // A screen-mode change brings every option back to its default.
  ASSERT_EQ(RunScreenModeChange(640, 480, 16, 60), 0);
  EXPECT_EQ(options(), std::tuple(1, 0, 0, 0));
}

// Before the display exists the choice also decides the screen; after, only the option changes,
// and without Direct3D no graph goes there.
TEST(CreationOptions, Direct3DChoiceIsStoredAndDecidesTheScreenBeforeTheDisplay) {
  for (const bool started : {false, true}) {
    LibrarySession lib({.start = started});
    ASSERT_EQ(GetDirectDrawObject() != nullptr, started);
    for (const int flag : {0, 1}) {
      EXPECT_EQ(ChooseDirect3DGraphs(flag), 0);
      EXPECT_EQ(
          std::tuple(g_DD.SoftwareScreenAtStart, GetChooseDirect3DGraphs(), IsUsing3DGraphs()),
          std::tuple(started || flag == 0 ? 1 : 0, flag, 0));
    }
  }
}

}  // namespace
}  // namespace zq::gfx
