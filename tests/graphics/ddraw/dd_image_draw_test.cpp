// Image draws of the DirectDraw path: the rotated, triangle and four-corner front-ends on the
// software screen and on simulated surfaces (the bracketed path), with the lock box, guard
// pixels that must stay untouched, failures and the release of locks.
#include "graphics/ddraw/dd_image_draw.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "graphics/ddraw/display.h"
#include "graphics/ddraw/screen_compare.h"
#include "graphics/ddraw/soft_draw_bracket.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/surface_data.h"
#include "platform/ddraw/ddraw.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using platform::RECT;
using test::LibrarySession;
using Tri = soft::SoftTriangleVertex;

SurfaceDataRecord* StoreOf(HandleValue graph) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr || g->PieceCount < 1) return nullptr;
  const Surface2DRecord* piece = LookupSurface2DRecord(g->Pieces[0]);
  return piece ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
}

// Where the texels land: texel (u, v) on pixel (x, y), or u < 0 for the background.
using Map = std::function<std::pair<int, int>(int x, int y)>;
// Texel (x - ox, y - oy) over [x0, x1) x [y0, y1).
Map Placed(int x0, int y0, int x1, int y1, int ox, int oy) {
  return [=](int x, int y) {
    const bool in = x >= x0 && x < x1 && y >= y0 && y < y1;
    return in ? std::pair{x - ox, y - oy} : std::pair{-1, -1};
  };
}
const Map kNothing = [](int, int) { return std::pair{-1, -1}; };

// Every pixel of the 640 x 480 screen: get(x, y) is want(x, y).
void ExpectScreen(const std::function<uint32_t(int, int)>& get,
                  const std::function<uint32_t(int, int)>& want) {
  int bad = 0;
  for (int y = 0; y < 480 && bad < 10; ++y)
    for (int x = 0; x < 640 && bad < 10; ++x)
      if (get(x, y) != want(x, y)) {
        ++bad;
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex << get(x, y) << " want "
                      << want(x, y);
      }
}

// ---------------------------------------------------------------------------------------
// Software screen (16 bits): the direct path.

uint16_t Texel(int u, int v) {
  return uint16_t(0x4000 + (u << 4) + v);
}
constexpr uint16_t kBackground = 0x0841;

class SoftwareScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lib_.Started());
    ASSERT_NE(g_DD.DrawTargetMemImg, nullptr);
    test::FillImage(*g_DD.DrawTargetMemImg, [](int, int) { return kBackground; });
  }
  static HandleValue MakeSourceGraph(int w, int h) { return screencmp::GraphOf(w, h, Texel); }
  uint32_t Get(int x, int y) { return test::ImagePixel(*g_DD.DrawTargetMemImg, x, y); }
  void Expect(const Map& map) {
    ExpectScreen([&](int x, int y) { return Get(x, y); },
                 [&](int x, int y) {
                   const auto [u, v] = map(x, y);
                   return uint32_t(u < 0 ? kBackground : Texel(u, v));
                 });
  }
  LibrarySession lib_{{.bits = 16}};
};

TEST_F(SoftwareScreen, RotatedCentreIsTruncatedAndDerivedPiecesAreViews) {
  const HandleValue g = MakeSourceGraph(4, 3);
  const GraphRecord* rec = GetGraphRecord(g);
  // (10.7, 10.2) truncates to (10, 10): texel (0, 0) at (8, 9).
  EXPECT_EQ(G_DD_DrawImageRotated(10.7f, 10.2f, 1.0, 0.0, rec, 0, 0), 0);
  Expect(Placed(8, 9, 12, 12, 8, 9));
  // -0.5 truncates to 0: texel (2, 1) lands at (0, 0), columns left of 0 are cut.
  SetUp();
  EXPECT_EQ(G_DD_DrawImageRotated(-0.5f, 1.0f, 1.0, 0.0, rec, 0, 0), 0);
  Expect(Placed(0, 0, 2, 3, -2, 0));
  // A 2 x 2 piece at (1, 1) of the 4 x 3 store: its texel (0, 0) is the store's (1, 1).
  SetUp();
  const HandleValue child = DeriveGraphRect(1, 1, 2, 2, g);
  ASSERT_GE(child, 0);
  EXPECT_EQ(G_DD_DrawImageRotated(20.0f, 20.0f, 1.0, 0.0, GetGraphRecord(child), 0, 0), 0);
  Expect(Placed(19, 19, 21, 21, 18, 18));
}

TEST_F(SoftwareScreen, QuadMapsTheCornersAndReportsZero) {
  const HandleValue g = MakeSourceGraph(4, 3);
  // Corners (30, 40) (34, 40) (30, 43) (34, 43): texel (x - 30, y - 40) over 4 x 3 pixels.
  EXPECT_EQ(G_DD_DrawImageQuad(30.9f, 40.0f, 34.0f, 40.5f, 30.0f, 43.0f, 34.0f, 43.0f,
                               GetGraphRecord(g), 0),
            0);
  Expect(Placed(30, 40, 34, 43, 30, 40));
  // A triangle without a graph is filled with the colour.
  const Tri tri[3] = {{50, 50, 0, 0}, {52, 50, 0, 0}, {50, 52, 0, 0}};
  EXPECT_EQ(G_DD_DrawImageTriangle(tri, nullptr, 0, 0x1234), 0);
  EXPECT_EQ((std::vector<uint32_t>{Get(50, 50), Get(52, 50), Get(50, 52)}),
            (std::vector<uint32_t>{0x1234, 0x1234, kBackground}));
}

TEST_F(SoftwareScreen, UnresolvedPiecesAndStoresFail) {
  const HandleValue g = MakeSourceGraph(4, 3);
  GraphRecord* rec = GetGraphRecord(g);
  const Tri tri[3] = {{0, 0, 0, 0}, {4, 0, 4, 0}, {0, 3, 0, 3}};
  // A store that no longer resolves is refused instead of being followed.
  Surface2DRecord* piece = LookupSurface2DRecord(rec->Pieces[0]);
  const HandleValue data = piece->SurfaceData;
  piece->SurfaceData = -1;
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, rec, 0, 0), -1);
  EXPECT_EQ(G_DD_DrawImageTriangle(tri, rec, 0, 0), -1);
  piece->SurfaceData = data;
  // A piece handle that does not resolve.
  const HandleValue first = rec->Pieces[0];
  rec->Pieces[0] = first + 0x10000;
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, rec, 0, 0), -1);
  EXPECT_EQ(G_DD_DrawImageTriangle(tri, rec, 0, 0), -1);
  EXPECT_EQ(G_DD_DrawImageQuadInt(0, 0, 4, 0, 0, 3, 4, 3, rec, 0), -1);  // both halves failed
  EXPECT_EQ(G_DD_DrawImageQuadInt(0, 0, 4, 0, 0, 3, 4, 3, nullptr, 0), -1);
  rec->Pieces[0] = first;
  Expect(kNothing);
  // Outside the draw area the direct path still reports 0.
  EXPECT_EQ(G_DD_DrawImageRotated(-100.0f, -100.0f, 1.0, 0.0, rec, 0, 0), 0);
}

TEST(ImageDrawWithoutDirectDraw, RotatedTriangleAndQuadFail) {
  ASSERT_EQ(g_DD.DirectDraw, nullptr);
  GraphRecord rec{};
  rec.Width = 4;
  rec.Height = 3;
  const Tri tri[3] = {{0, 0, 0, 0}, {4, 0, 4, 0}, {0, 3, 0, 3}};
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, &rec, 0, 0), -1);
  EXPECT_EQ(G_DD_DrawImageTriangle(tri, &rec, 0, 0), -1);
  EXPECT_EQ(G_DD_DrawImageQuad(0, 0, 4, 0, 0, 3, 4, 3, &rec, 0), -1);
}

// ---------------------------------------------------------------------------------------
// Simulated surfaces: the bracketed path onto the back surface. The surfaces hold the
// desktop's 32-bit format. At 32 bits the work images are the locked memory itself; at 16
// bits the screen's format needs conversion, so the work is a 5:6:5 copy of exactly the
// locked rectangle (a write outside it would leave the copy's memory).

uint32_t SurfaceTexel(int u, int v) {
  return uint32_t(u * 0x40) << 16 | uint32_t(v * 0x40 + 0x20) << 8 | 0x80u;
}
constexpr uint32_t kSurfaceBackground = 0x00FF00FFu;

class SurfaceScreen : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lib_.Started());
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    test::FillSurface(g_DD.DrawTargetSurface, [](int, int) { return kSurfaceBackground; });
    ASSERT_EQ(Get(0, 0), kSurfaceBackground);  // a 32-bit surface
  }
  // A w x h graph on a surface store holding SurfaceTexel(u, v).
  HandleValue MakeGraph(int w, int h) {
    const HandleValue g = screencmp::GraphOf(w, h, SurfaceTexel);
    EXPECT_EQ(StoreOf(g)->SoftwareFlag, 0u);
    return g;
  }
  // What a colour looks like after the work copy: at 16 bits it goes through 5:6:5 and back,
  // its low bits dropped and read back as zeros.
  static uint32_t Shown(uint32_t v) { return GetParam() == 32 ? v : v & 0x00F8FCF8u; }
  uint32_t Get(int x, int y) { return g_DD.DrawTargetSurface->TestGetPixel(x, y) & 0x00FFFFFFu; }
  // Every pixel: a texel where the map says so, else the background (round-tripped inside the
  // locked boxes, raw outside them).
  void Expect(const Map& map, std::vector<RECT> boxes = {}) {
    ExpectScreen([&](int x, int y) { return Get(x, y); },
                 [&](int x, int y) {
                   const auto [u, v] = map(x, y);
                   bool inBox = false;
                   for (const RECT& b : boxes)
                     inBox = inBox || (x >= b.left && x < b.right && y >= b.top && y < b.bottom);
                   return u >= 0  ? Shown(SurfaceTexel(u, v))
                          : inBox ? Shown(kSurfaceBackground)
                                  : kSurfaceBackground;
                 });
  }
  // Both the target and the graph's store are unlocked again.
  void ExpectUnlocked(HandleValue graph) {
    platform::SurfaceDesc desc;
    for (platform::DirectDrawSurface* s : {g_DD.DrawTargetSurface, StoreOf(graph)->Surface}) {
      EXPECT_EQ(s->Lock(nullptr, &desc, 0), platform::DD_OK);
      s->Unlock(nullptr);
    }
  }
  LibrarySession lib_{{.bits = GetParam(), .softwareScreen = false}};
};

INSTANTIATE_TEST_SUITE_P(Depths, SurfaceScreen, ::testing::Values(16, 32),
                         [](const auto& p) { return "Bits" + std::to_string(p.param); });

TEST_P(SurfaceScreen, RotatedDrawsLandOnTheLockedRectangleOnly) {
  const HandleValue g = MakeGraph(4, 3);
  const GraphRecord* rec = GetGraphRecord(g);
  // The same pixels as on the software screen; every other pixel is untouched.
  EXPECT_EQ(G_DD_DrawImageRotated(10.7f, 10.2f, 1.0, 0.0, rec, 0, 0), 0);
  Expect(Placed(8, 9, 12, 12, 8, 9), {RECT{8, 9, 12, 12}});
  ExpectUnlocked(g);
  // A quarter turn: u = y - 8, v = 11 - x over columns 9..11, rows 8..11. Mirrored at (30,
  // 10): u = 32 - x, v = y - 8 over columns 29..32, rows 8..10; its lock box is the corners'
  // 28..33 x 8..12.
  SetUp();
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 3.14159265358979 / 2, rec, 0, 0), 0);
  EXPECT_EQ(G_DD_DrawImageRotated(30.0f, 10.0f, 1.0, 0.0, rec, 0, 1), 0);
  Expect(
      [](int x, int y) {
        if (x >= 9 && x < 12 && y >= 8 && y < 12) return std::pair{y - 8, 11 - x};
        if (x >= 29 && x < 33 && y >= 8 && y < 11) return std::pair{32 - x, y - 8};
        return std::pair{-1, -1};
      },
      {RECT{9, 8, 12, 12}, RECT{28, 8, 33, 12}});
  ExpectUnlocked(g);
}

TEST_P(SurfaceScreen, DrawAreaBorderStaysUntouched) {
  // Draw area 9..11 x 10..12 cuts the 4 x 3 image (columns 8..11, rows 9..11) on every side.
  const HandleValue g = MakeGraph(4, 3);
  const GraphRecord* rec = GetGraphRecord(g);
  g_DrawState.DrawArea = RECT{9, 10, 11, 12};
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, rec, 0, 0), 0);
  Expect(Placed(9, 10, 11, 12, 8, 9), {RECT{9, 10, 11, 12}});
  // Wholly outside the area the bracketed path finds nothing to lock.
  EXPECT_EQ(G_DD_DrawImageRotated(100.0f, 100.0f, 1.0, 0.0, rec, 0, 0), -1);
  const Tri tri[3] = {{100, 100, 0, 0}, {104, 100, 4, 0}, {100, 103, 0, 3}};
  EXPECT_EQ(G_DD_DrawImageTriangle(tri, rec, 0, 0), -1);
  ExpectUnlocked(g);
}

TEST_P(SurfaceScreen, QuadThroughTwoBracketedTriangles) {
  const HandleValue g = MakeGraph(4, 3);
  EXPECT_EQ(G_DD_DrawImageQuad(30, 40, 34, 40, 30, 43, 34, 43, GetGraphRecord(g), 0), 0);
  // The first triangle locks 30..35 x 40..44, the second as well.
  Expect(Placed(30, 40, 34, 43, 30, 40), {RECT{30, 40, 35, 44}});
  ExpectUnlocked(g);
}

TEST_P(SurfaceScreen, ALockThatFailsReleasesTheLocksAlreadyTaken) {
  const HandleValue g = MakeGraph(4, 3);
  const GraphRecord* rec = GetGraphRecord(g);
  // The store is held locked elsewhere: the target is locked first, then the store's lock is
  // refused, and the target's lock must be given back.
  platform::SurfaceDesc desc;
  ASSERT_EQ(StoreOf(g)->Surface->Lock(nullptr, &desc, 0), platform::DD_OK);
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, rec, 0, 0), -1);
  StoreOf(g)->Surface->Unlock(nullptr);
  ExpectUnlocked(g);
  Expect(kNothing);
  // A failed target lock leaves nothing locked either, and the next draw works.
  platform::ddtest::FailNextLock(platform::DDERR_SURFACEBUSY);
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, rec, 0, 0), -1);
  ExpectUnlocked(g);
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, rec, 0, 0), 0);
  Expect(Placed(8, 9, 12, 12, 8, 9), {RECT{8, 9, 12, 12}});
}

TEST_P(SurfaceScreen, LockBoxIsExactlyWhatTheDrawWrites) {
  auto corners = [](const RECT& r) { return std::tuple(r.left, r.top, r.right, r.bottom); };
  // Scale 0.2: the corners all truncate to the centre, yet the centre pixel is drawn; the
  // lock box holds it.
  EXPECT_EQ(corners(ImageDrawLockBox(RotatedImageDraw{4, 3, 10, 10, 0.0f, 0.2f, 0})),
            std::tuple(10, 10, 11, 11));
  const HandleValue g = MakeGraph(4, 3);
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 0.2, 0.0, GetGraphRecord(g), 0, 0), 0);
  EXPECT_EQ(Get(10, 10), Shown(SurfaceTexel(2, 1)));
  // Angle 0, scale 1, 4 x 3 at (10, 10): columns 8..11, rows 9..11.
  EXPECT_EQ(corners(ImageDrawLockBox(RotatedImageDraw{4, 3, 10, 10, 0.0f, 1.0f, 0})),
            std::tuple(8, 9, 12, 12));
  // A triangle's spans include their right end: one past the largest corner.
  const Tri tri[3] = {{2, 3, 0, 0}, {9, 3, 0, 0}, {2, 7, 0, 0}};
  EXPECT_EQ(corners(ImageDrawLockBox(tri)), std::tuple(2, 3, 10, 8));
  // Clipped to the draw area.
  g_DrawState.DrawArea = RECT{9, 0, 640, 480};
  EXPECT_EQ(ImageDrawLockBox(RotatedImageDraw{4, 3, 10, 10, 0.0f, 1.0f, 0}).left, 9);
}

}  // namespace
}  // namespace zq::gfx
