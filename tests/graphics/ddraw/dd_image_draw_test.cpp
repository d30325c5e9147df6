// Image draws of the DirectDraw path: the rotated, triangle and four-corner front-ends on the
// software screen and on simulated surfaces (the bracketed path), with the lock box, guard
// pixels that must stay untouched, failures and the release of locks.
#include "graphics/ddraw/dd_image_draw.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "graphics/ddraw/display.h"
#include "graphics/ddraw/soft_draw_bracket.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/convert_pixel_rect.h"
#include "graphics/surface_data.h"
#include "platform/ddraw/ddraw.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using platform::RECT;
using test::LibrarySession;

SurfaceDataRecord* StoreOf(HandleValue graph) {
  const GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr || g->PieceCount < 1) return nullptr;
  const Surface2DRecord* piece = LookupSurface2DRecord(g->Pieces[0]);
  return piece ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
}

// 16-bit texel values unique to their position; the background is none of them.
uint16_t Texel(int u, int v) {
  return uint16_t(0x4000 + (u << 4) + v);
}
constexpr uint16_t kBackground = 0x0841;

// Pixel access on a MEMIMG or a simulated surface in the screen's pixel size (the values
// used fit every size).
int ScreenBytes() {
  return GetScreenColorBitDepth() / 8;
}
void Set16(uint8_t* pixels, int32_t pitch, int x, int y, uint16_t v) {
  const uint32_t wide = v;
  std::memcpy(pixels + ptrdiff_t(y) * pitch + x * ScreenBytes(), &wide, size_t(ScreenBytes()));
}
uint16_t Get16(const uint8_t* pixels, int32_t pitch, int x, int y) {
  uint32_t v = 0;
  std::memcpy(&v, pixels + ptrdiff_t(y) * pitch + x * ScreenBytes(), size_t(ScreenBytes()));
  return v > 0xFFFF ? 0xDEAD : uint16_t(v);
}

// A w x h graph whose pixels are Texel(u, v), whatever its store.
HandleValue MakeSourceGraph(int w, int h) {
  const HandleValue g = CreateEmptyGraph(w, h);
  SurfaceDataRecord* store = StoreOf(g);
  if (store == nullptr) return -1;
  if (store->SoftwareFlag) {
    for (int v = 0; v < h; ++v)
      for (int u = 0; u < w; ++u) Set16(store->Image.Pixels, store->Image.Pitch, u, v, Texel(u, v));
  } else {
    platform::SurfaceDesc desc;
    EXPECT_EQ(store->Surface->Lock(nullptr, &desc, 0), platform::DD_OK);
    for (int v = 0; v < h; ++v)
      for (int u = 0; u < w; ++u)
        Set16(static_cast<uint8_t*>(desc.surface), desc.pitch, u, v, Texel(u, v));
    store->Surface->Unlock(nullptr);
  }
  return g;
}

// Expected picture: for each pixel a texel (u, v) or the background.
struct Want {
  int u = -1, v = -1;
};

// The screen-sized expectation with the texel (x - ox, y - oy) over [x0, x1) x [y0, y1).
std::vector<Want> Placed(int x0, int y0, int x1, int y1, int ox, int oy) {
  std::vector<Want> w(640 * 480);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) w[size_t(y) * 640 + x] = Want{x - ox, y - oy};
  return w;
}

// Every pixel of the 640 x 480 screen read through get(x, y).
template <class Get>
void ExpectScreen(Get get, const std::vector<Want>& want) {
  int bad = 0;
  for (int y = 0; y < 480 && bad < 10; ++y)
    for (int x = 0; x < 640 && bad < 10; ++x) {
      const Want w = want[size_t(y) * 640 + x];
      const uint16_t expected = w.u < 0 ? kBackground : Texel(w.u, w.v);
      const uint16_t got = get(x, y);
      if (got != expected) {
        ++bad;
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex << got << " want "
                      << expected;
      }
    }
}

// ---------------------------------------------------------------------------------------
// Software screen: the direct path.

class SoftwareScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lib_.Started());
    MEMIMG* t = g_DD.DrawTargetMemImg;
    ASSERT_NE(t, nullptr);
    for (int y = 0; y < t->Height; ++y)
      for (int x = 0; x < t->Width; ++x) Set16(t->Pixels, t->Pitch, x, y, kBackground);
  }
  uint16_t Get(int x, int y) {
    const MEMIMG* t = g_DD.DrawTargetMemImg;
    return Get16(t->Pixels, t->Pitch, x, y);
  }
  LibrarySession lib_{{.bits = 16}};
};

TEST_F(SoftwareScreen, RotatedCentreIsTruncated) {
  const HandleValue g = MakeSourceGraph(4, 3);
  const GraphRecord* rec = GetGraphRecord(g);
  // (10.7, 10.2) truncates to (10, 10): texel (0, 0) at (8, 9).
  EXPECT_EQ(G_DD_DrawImageRotated(10.7f, 10.2f, 1.0, 0.0, rec, 0, 0), 0);
  ExpectScreen([&](int x, int y) { return Get(x, y); }, Placed(8, 9, 12, 12, 8, 9));
  // -0.5 truncates to 0: texel (2, 1) lands at (0, 0), columns left of 0 are cut.
  SetUp();
  EXPECT_EQ(G_DD_DrawImageRotated(-0.5f, 1.0f, 1.0, 0.0, rec, 0, 0), 0);
  ExpectScreen([&](int x, int y) { return Get(x, y); }, Placed(0, 0, 2, 3, -2, 0));
}

TEST_F(SoftwareScreen, DerivedPieceIsDrawnThroughAView) {
  // A 2 x 2 piece at (1, 1) of the 4 x 3 store: its texel (0, 0) is the store's (1, 1).
  const HandleValue parent = MakeSourceGraph(4, 3);
  const HandleValue child = DeriveGraphRect(1, 1, 2, 2, parent);
  ASSERT_GE(child, 0);
  EXPECT_EQ(G_DD_DrawImageRotated(20.0f, 20.0f, 1.0, 0.0, GetGraphRecord(child), 0, 0), 0);
  ExpectScreen([&](int x, int y) { return Get(x, y); }, Placed(19, 19, 21, 21, 18, 18));
}

TEST_F(SoftwareScreen, QuadMapsTheCornersAndReportsZero) {
  const HandleValue g = MakeSourceGraph(4, 3);
  const GraphRecord* rec = GetGraphRecord(g);
  // Corners (30, 40) (34, 40) (30, 43) (34, 43): texel (x - 30, y - 40) over 4 x 3 pixels.
  EXPECT_EQ(G_DD_DrawImageQuad(30.9f, 40.0f, 34.0f, 40.5f, 30.0f, 43.0f, 34.0f, 43.0f, rec, 0), 0);
  ExpectScreen([&](int x, int y) { return Get(x, y); }, Placed(30, 40, 34, 43, 30, 40));
  // A triangle without a graph is filled with the colour.
  const soft::SoftTriangleVertex tri[3] = {{50, 50, 0, 0}, {52, 50, 0, 0}, {50, 52, 0, 0}};
  EXPECT_EQ(G_DD_DrawImageTriangle(tri, nullptr, 0, 0x1234), 0);
  EXPECT_EQ(Get(50, 50), 0x1234);
  EXPECT_EQ(Get(52, 50), 0x1234);
  EXPECT_EQ(Get(50, 52), kBackground);
}

TEST_F(SoftwareScreen, UnresolvedPiecesAndStoresFail) {
  const HandleValue g = MakeSourceGraph(4, 3);
  GraphRecord* rec = GetGraphRecord(g);
  const soft::SoftTriangleVertex tri[3] = {{0, 0, 0, 0}, {4, 0, 4, 0}, {0, 3, 0, 3}};
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
  EXPECT_EQ(G_DD_DrawImageQuadInt(0, 0, 4, 0, 0, 3, 4, 3, rec, 0), 0);  // results ignored
  rec->Pieces[0] = first;
  ExpectScreen([&](int x, int y) { return Get(x, y); }, std::vector<Want>(640 * 480));
  // Outside the draw area the direct path still reports 0.
  EXPECT_EQ(G_DD_DrawImageRotated(-100.0f, -100.0f, 1.0, 0.0, rec, 0, 0), 0);
}

TEST(ImageDrawWithoutDirectDraw, RotatedAndTriangleFailQuadReportsZero) {
  ASSERT_EQ(g_DD.DirectDraw, nullptr);
  GraphRecord rec{};
  rec.Width = 4;
  rec.Height = 3;
  const soft::SoftTriangleVertex tri[3] = {{0, 0, 0, 0}, {4, 0, 4, 0}, {0, 3, 0, 3}};
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, &rec, 0, 0), -1);
  EXPECT_EQ(G_DD_DrawImageTriangle(tri, &rec, 0, 0), -1);
  EXPECT_EQ(G_DD_DrawImageQuad(0, 0, 4, 0, 0, 3, 4, 3, &rec, 0), 0);
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
    ASSERT_EQ(IsSoftwareScreenInUse(), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    ASSERT_NE(g_DD.DrawTargetSurface, nullptr);
    platform::PixelFormat f;
    g_DD.DrawTargetSurface->GetPixelFormat(&f);
    ASSERT_EQ(f.rgbBitCount, 32u);
    Fill(g_DD.DrawTargetSurface, 640, 480, [](int, int) { return kSurfaceBackground; });
  }
  template <class Value>
  static void Fill(platform::DirectDrawSurface* s, int w, int h, Value value) {
    platform::SurfaceDesc desc;
    ASSERT_EQ(s->Lock(nullptr, &desc, 0), platform::DD_OK);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint32_t v = value(x, y);
        std::memcpy(static_cast<uint8_t*>(desc.surface) + ptrdiff_t(y) * desc.pitch + x * 4, &v, 4);
      }
    s->Unlock(nullptr);
  }
  // A w x h graph on a surface store holding SurfaceTexel(u, v).
  HandleValue MakeGraph(int w, int h) {
    const HandleValue g = CreateEmptyGraph(w, h);
    SurfaceDataRecord* store = StoreOf(g);
    EXPECT_NE(store, nullptr);
    EXPECT_EQ(store->SoftwareFlag, 0u);
    Fill(store->Surface, w, h, [](int u, int v) { return SurfaceTexel(u, v); });
    return g;
  }
  // What a texel looks like after the work copy: through 5:6:5 and back at 16 bits.
  static uint32_t Shown(uint32_t v) {
    if (GetParam() == 32) return v;
    const ColorData* wide = GetMemImgColorData(kMemImgXrgb8888, 0, 0);
    const ColorData* narrow = GetMemImgColorData(kMemImgRgb565, 0, 0);
    const RECT one{0, 0, 1, 1};
    uint32_t mid = 0, back = 0;
    ConvertPixelRect(&mid, 4, narrow, &v, 4, wide, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0,
                     kDitherNone, 0, 0, 0);
    ConvertPixelRect(&back, 4, wide, &mid, 4, narrow, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0,
                     kDitherNone, 0, 0, 0);
    return back & 0x00FFFFFFu;
  }
  uint32_t Get(int x, int y) { return g_DD.DrawTargetSurface->TestGetPixel(x, y) & 0x00FFFFFFu; }
  // Every pixel: a texel where want says so, else the background (round-tripped inside the
  // locked box, raw outside it).
  void ExpectSurface(const std::vector<Want>& want, std::vector<RECT> boxes = {}) {
    int bad = 0;
    for (int y = 0; y < 480 && bad < 10; ++y)
      for (int x = 0; x < 640 && bad < 10; ++x) {
        const Want w = want[size_t(y) * 640 + x];
        bool inBox = false;
        for (const RECT& b : boxes)
          inBox = inBox || (x >= b.left && x < b.right && y >= b.top && y < b.bottom);
        const uint32_t expected = w.u >= 0 ? Shown(SurfaceTexel(w.u, w.v))
                                  : inBox  ? Shown(kSurfaceBackground)
                                           : kSurfaceBackground;
        if (Get(x, y) != expected) {
          ++bad;
          ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex << Get(x, y) << " want "
                        << expected;
        }
      }
  }
  // Both the target and the graph's store are unlocked again.
  void ExpectUnlocked(HandleValue graph) {
    platform::SurfaceDesc desc;
    EXPECT_EQ(g_DD.DrawTargetSurface->Lock(nullptr, &desc, 0), platform::DD_OK);
    g_DD.DrawTargetSurface->Unlock(nullptr);
    SurfaceDataRecord* store = StoreOf(graph);
    if (store != nullptr && store->Surface != nullptr) {
      EXPECT_EQ(store->Surface->Lock(nullptr, &desc, 0), platform::DD_OK);
      store->Surface->Unlock(nullptr);
    }
  }
  LibrarySession lib_{{.bits = GetParam(), .softwareScreen = false}};
};

INSTANTIATE_TEST_SUITE_P(Depths, SurfaceScreen, ::testing::Values(16, 32),
                         [](const auto& p) { return "Bits" + std::to_string(p.param); });

TEST_P(SurfaceScreen, RotatedDrawLandsOnTheLockedRectangleOnly) {
  const HandleValue g = MakeGraph(4, 3);
  const GraphRecord* rec = GetGraphRecord(g);
  EXPECT_EQ(G_DD_DrawImageRotated(10.7f, 10.2f, 1.0, 0.0, rec, 0, 0), 0);
  // The same pixels as on the software screen; every other pixel is untouched.
  ExpectSurface(Placed(8, 9, 12, 12, 8, 9), {RECT{8, 9, 12, 12}});
  ExpectUnlocked(g);
}

TEST_P(SurfaceScreen, QuarterTurnAndMirrorMatchTheDirectPath) {
  const HandleValue g = MakeGraph(4, 3);
  const GraphRecord* rec = GetGraphRecord(g);
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 3.14159265358979 / 2, rec, 0, 0), 0);
  // u = y - 8, v = 11 - x over columns 9..11, rows 8..11.
  std::vector<Want> want(640 * 480);
  for (int y = 8; y < 12; ++y)
    for (int x = 9; x < 12; ++x) want[size_t(y) * 640 + x] = Want{y - 8, 11 - x};
  ExpectSurface(want, {RECT{9, 8, 12, 12}});
  // Mirrored at (30, 10): u = 32 - x, v = y - 8 over columns 29..32, rows 8..10; its lock box
  // is the corners' 28..33 x 8..12.
  EXPECT_EQ(G_DD_DrawImageRotated(30.0f, 10.0f, 1.0, 0.0, rec, 0, 1), 0);
  for (int y = 8; y < 11; ++y)
    for (int x = 29; x < 33; ++x) want[size_t(y) * 640 + x] = Want{32 - x, y - 8};
  ExpectSurface(want, {RECT{9, 8, 12, 12}, RECT{28, 8, 33, 12}});
  ExpectUnlocked(g);
}

TEST_P(SurfaceScreen, DrawAreaBorderStaysUntouched) {
  // Draw area 9..11 x 10..12 cuts the 4 x 3 image (columns 8..11, rows 9..11) on every side.
  const HandleValue g = MakeGraph(4, 3);
  const GraphRecord* rec = GetGraphRecord(g);
  g_DrawState.DrawArea = RECT{9, 10, 11, 12};
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, rec, 0, 0), 0);
  ExpectSurface(Placed(9, 10, 11, 12, 8, 9), {RECT{9, 10, 11, 12}});
  // Wholly outside the area the bracketed path finds nothing to lock.
  EXPECT_EQ(G_DD_DrawImageRotated(100.0f, 100.0f, 1.0, 0.0, rec, 0, 0), -1);
  const soft::SoftTriangleVertex tri[3] = {{100, 100, 0, 0}, {104, 100, 4, 0}, {100, 103, 0, 3}};
  EXPECT_EQ(G_DD_DrawImageTriangle(tri, rec, 0, 0), -1);
  ExpectUnlocked(g);
}

TEST_P(SurfaceScreen, QuadThroughTwoBracketedTriangles) {
  const HandleValue g = MakeGraph(4, 3);
  const GraphRecord* rec = GetGraphRecord(g);
  EXPECT_EQ(G_DD_DrawImageQuad(30, 40, 34, 40, 30, 43, 34, 43, rec, 0), 0);
  // The first triangle locks 30..35 x 40..44, the second as well.
  ExpectSurface(Placed(30, 40, 34, 43, 30, 40), {RECT{30, 40, 35, 44}});
  ExpectUnlocked(g);
}

TEST_P(SurfaceScreen, ALockThatFailsReleasesTheLocksAlreadyTaken) {
  const HandleValue g = MakeGraph(4, 3);
  const GraphRecord* rec = GetGraphRecord(g);
  // The store is held locked elsewhere: the target is locked first, then the store's lock is
  // refused, and the target's lock must be given back.
  SurfaceDataRecord* store = StoreOf(g);
  platform::SurfaceDesc desc;
  ASSERT_EQ(store->Surface->Lock(nullptr, &desc, 0), platform::DD_OK);
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, rec, 0, 0), -1);
  store->Surface->Unlock(nullptr);
  ExpectUnlocked(g);
  ExpectSurface(std::vector<Want>(640 * 480));
  // A failed target lock leaves nothing locked either.
  platform::ddtest::FailNextLock(platform::DDERR_SURFACEBUSY);
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, rec, 0, 0), -1);
  ExpectUnlocked(g);
  // And the next draw works.
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 1.0, 0.0, rec, 0, 0), 0);
  ExpectSurface(Placed(8, 9, 12, 12, 8, 9), {RECT{8, 9, 12, 12}});
}

TEST_P(SurfaceScreen, LockBoxIsExactlyWhatTheDrawWrites) {
  // Scale 0.2: the corners all truncate to the centre, yet the centre pixel is drawn; the
  // lock box holds it.
  auto corners = [](const RECT& r) { return std::tuple(r.left, r.top, r.right, r.bottom); };
  const RECT tiny = ImageDrawLockBox(RotatedImageDraw{4, 3, 10, 10, 0.0f, 0.2f, 0});
  EXPECT_EQ(corners(tiny), std::tuple(10, 10, 11, 11));
  const HandleValue g = MakeGraph(4, 3);
  EXPECT_EQ(G_DD_DrawImageRotated(10.0f, 10.0f, 0.2, 0.0, GetGraphRecord(g), 0, 0), 0);
  EXPECT_EQ(Get(10, 10), Shown(SurfaceTexel(2, 1)));
  // Angle 0, scale 1, 4 x 3 at (10, 10): columns 8..11, rows 9..11.
  const RECT r = ImageDrawLockBox(RotatedImageDraw{4, 3, 10, 10, 0.0f, 1.0f, 0});
  EXPECT_EQ(corners(r), std::tuple(8, 9, 12, 12));
  // A triangle's spans include their right end: one past the largest corner.
  const soft::SoftTriangleVertex tri[3] = {{2, 3, 0, 0}, {9, 3, 0, 0}, {2, 7, 0, 0}};
  EXPECT_EQ(corners(ImageDrawLockBox(tri)), std::tuple(2, 3, 10, 8));
  // Clipped to the draw area.
  g_DrawState.DrawArea = RECT{9, 0, 640, 480};
  EXPECT_EQ(ImageDrawLockBox(RotatedImageDraw{4, 3, 10, 10, 0.0f, 1.0f, 0}).left, 9);
}

TEST_P(SurfaceScreen, BracketRefusesAnEmptyRectangleAndAMissingStore) {
  const RECT outside{700, 10, 720, 20};
  EXPECT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &outside, 0, nullptr), -1);
  const HandleValue g = MakeGraph(4, 3);
  Surface2DRecord piece = *LookupSurface2DRecord(GetGraphRecord(g)->Pieces[0]);
  piece.SurfaceData = -1;
  const RECT inside{0, 0, 10, 10};
  EXPECT_EQ(BeginSoftDrawOnSurface(&piece, 0, nullptr, &inside, 0, nullptr), -1);
  ExpectUnlocked(g);
  // A begin and end over 0..10 x 0..10: the work target addresses screen coordinates.
  ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &inside, 0, nullptr), 0);
  MEMIMG* work = g_DD.SoftWorkTargetImage;
  ASSERT_NE(work, nullptr);
  EXPECT_EQ(work->ColorType, GetParam() == 16 ? kMemImgRgb565 : kMemImgXrgb8888);
  EXPECT_EQ(g_DD.SoftWorkSourceImage, nullptr);
  const uint32_t white = GetParam() == 16 ? 0xFFFFu : 0x00FFFFFFu;
  std::memcpy(work->Pixels + 6 * work->Pitch + 5 * work->Format->PixelByte, &white,
              work->Format->PixelByte);
  EXPECT_EQ(EndSoftDrawOnSurface(), 0);
  EXPECT_EQ(Get(5, 6), Shown(0x00FFFFFFu));
  ExpectUnlocked(g);
}

TEST_P(SurfaceScreen, ColourIsConvertedOnlyThroughAWorkCopy) {
  // Colour conversion with a colour: at 16 bits (a copy) the screen value 0x00FF0000 becomes
  // 5:6:5 red; at 32 bits the surface is worked on directly and the colour stays.
  uint32_t colour = 0x00FF0000u;
  const RECT inside{0, 0, 4, 4};
  g_DrawState.BlendMode = 1;  // a blend: the opaque rule does not apply
  g_DrawState.BlendParam = 128;
  ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &inside, 1, &colour), 0);
  EXPECT_EQ(colour, GetParam() == 16 ? 0xF800u : 0x00FF0000u);
  EndSoftDrawOnSurface();
}

TEST_P(SurfaceScreen, BlendOnVideoMemoryWorksOnACopy) {
  platform::SurfaceCaps caps;
  g_DD.DrawTargetSurface->GetCaps(&caps);
  ASSERT_NE(caps.caps & platform::DDSCAPS_VIDEOMEMORY, 0u);
  const RECT box{0, 0, 8, 8};
  const uint32_t white = GetParam() == 16 ? 0xFFFFu : 0x00FFFFFFu;
  auto put = [&] {
    MEMIMG* w = g_DD.SoftWorkTargetImage;
    std::memcpy(w->Pixels + 2 * w->Pitch + 3 * w->Format->PixelByte, &white, w->Format->PixelByte);
  };
  // An opaque draw on the 32-bit screen works on the surface itself; a blend, which reads
  // the destination, works on a copy that reaches the surface only at the end.
  g_DrawState.BlendMode = 1;
  g_DrawState.BlendParam = 128;
  ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, 0, nullptr), 0);
  put();
  EXPECT_EQ(Get(3, 2), kSurfaceBackground);
  EndSoftDrawOnSurface();
  EXPECT_EQ(Get(3, 2), Shown(0x00FFFFFFu));
  if (GetParam() == 32) {
    Fill(g_DD.DrawTargetSurface, 640, 480, [](int, int) { return kSurfaceBackground; });
    g_DrawState.BlendMode = 0;
    ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, 0, nullptr), 0);
    put();
    EXPECT_EQ(Get(3, 2), 0x00FFFFFFu);
    EndSoftDrawOnSurface();
  }
}

// A 5:5:5 desktop: the 16-bit screen's surfaces need conversion into the 5:6:5 work format,
// and only an opaque draw that asks for colour conversion works on the surface directly.
TEST(SoftDrawBracket, OpaqueDrawWithColourConversionLocksTheTargetDirectly) {
  LibrarySession lib({.bits = 16, .softwareScreen = false, .start = false});
  ASSERT_TRUE(platform::SetDesktop(1920, 1080, platform::PixelFormatRGB555()));
  ASSERT_EQ(lib.Start(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  platform::DirectDrawSurface* target = g_DD.DrawTargetSurface;
  ASSERT_NE(target, nullptr);
  const RECT box{2, 3, 6, 7};
  auto put = [](uint16_t v) {  // one pixel at (4, 5) through the work image
    MEMIMG* w = g_DD.SoftWorkTargetImage;
    std::memcpy(w->Pixels + 5 * w->Pitch + 4 * 2, &v, 2);
  };

  // Opaque (mode 0) with conversion: the colour stays in the screen's 5:5:5 and the work is
  // the surface itself, so a raw 5:5:5 value lands unchanged.
  uint32_t colour = 0x7C00;  // 5:5:5 red
  ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, 1, &colour), 0);
  EXPECT_EQ(colour, 0x7C00u);
  put(0x7C00);
  EndSoftDrawOnSurface();
  EXPECT_EQ(target->TestGetPixel(4, 5), 0x7C00u);

  // A blend (mode 1, parameter 128) reads the destination: a converted copy, and the colour
  // rewritten into 5:6:5. A 5:6:5 red written there comes back as 5:5:5 red.
  g_DrawState.BlendMode = 1;
  g_DrawState.BlendParam = 128;
  colour = 0x7C00;
  ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, 1, &colour), 0);
  EXPECT_EQ(colour, 0xF800u);
  put(0x001F);  // 5:6:5 blue
  EndSoftDrawOnSurface();
  EXPECT_EQ(target->TestGetPixel(4, 5), 0x001Fu);  // 5:5:5 blue
  // Full strength counts as opaque again; without the conversion flag it never does.
  g_DrawState.BlendParam = 255;
  colour = 0x03E0;
  ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, 1, &colour), 0);
  EXPECT_EQ(colour, 0x03E0u);
  EndSoftDrawOnSurface();
  g_DrawState.BlendMode = 0;
  ASSERT_EQ(BeginSoftDrawOnSurface(nullptr, 0, nullptr, &box, 0, &colour), 0);
  EXPECT_EQ(colour, 0x03E0u);  // no conversion asked
  put(0x07E0);                 // 5:6:5 green, converted back
  EndSoftDrawOnSurface();
  EXPECT_EQ(target->TestGetPixel(4, 5), 0x03E0u);
}

}  // namespace
}  // namespace zq::gfx
