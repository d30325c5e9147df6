#include "graphics/draw_front.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "graphics/ddraw/display.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/library_init.h"
#include "graphics/mask.h"
#include "graphics/surface_data.h"
#include "support/library_fixture.h"
#include "target_pixels.h"

namespace zq::gfx {
namespace {

using namespace zq::test;

constexpr uint32_t kRgb = 0x00FFFFFF;

// Never 0, so that no old pixel is the transparent colour.
uint32_t Old(int x, int y) {
  return 0x00010101u + (uint32_t(x * 7) & 0x7F) * 0x10000u + (uint32_t(y * 3) & 0x7F) * 0x100u +
         uint32_t(x + y) % 97;
}

// A graph pixel that tells its position: red = u, green = v, blue 0x40 (never 0).
uint32_t Texel(int u, int v) {
  return uint32_t(u & 0xFF) << 16 | uint32_t(v & 0xFF) << 8 | 0x40;
}

struct GraphStore {
  const Surface2DRecord* piece;
  SurfaceDataRecord* data;
};

GraphStore StoreOf(HandleValue handle) {
  const GraphRecord* graph = GetGraphRecord(handle);
  EXPECT_NE(graph, nullptr);
  const Surface2DRecord* piece = LookupSurface2DRecord(graph->Pieces[0]);
  return GraphStore{piece, GetSurfaceDataRecord(piece->SurfaceData)};
}

void PaintGraph(HandleValue handle, const std::function<uint32_t(int, int)>& value) {
  const GraphStore s = StoreOf(handle);
  const int ox = s.piece->SrcX, oy = s.piece->SrcY;
  if (s.data->SoftwareFlag) {
    for (int v = 0; v < s.piece->Height; ++v)
      for (int u = 0; u < s.piece->Width; ++u)
        SetImagePixel(s.data->Image, ox + u, oy + v, value(u, v));
    return;
  }
  const platform::RECT r{ox, oy, ox + s.piece->Width, oy + s.piece->Height};
  FillSurface(
      s.data->Surface, [&](int x, int y) { return value(x - ox, y - oy); }, &r);
}

uint32_t GraphPixel(HandleValue handle, int u, int v) {
  const GraphStore s = StoreOf(handle);
  if (s.data->SoftwareFlag) return ImagePixel(s.data->Image, s.piece->SrcX + u, s.piece->SrcY + v);
  return s.data->Surface->TestGetPixel(s.piece->SrcX + u, s.piece->SrcY + v);
}

HandleValue TexelGraph(int width, int height) {
  const HandleValue h = CreateEmptyGraph(width, height);
  EXPECT_GE(h, 0);
  PaintGraph(h, Texel);
  return h;
}

std::vector<uint32_t> Snapshot() {
  std::vector<uint32_t> out;
  out.reserve(640 * 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) out.push_back(TargetPixel(x, y) & kRgb);
  return out;
}

// Every pixel equal to Old, or the first difference.
void ExpectUntouched(const char* what) {
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      ASSERT_EQ(TargetPixel(x, y) & kRgb, Old(x, y)) << what << " at " << x << "," << y;
}

// The w x h block at (x0, y0) holds want(u, v).
void ExpectBlock(int x0, int y0, int w, int h, const std::function<uint32_t(int, int)>& want) {
  for (int v = 0; v < h; ++v)
    for (int u = 0; u < w; ++u)
      ASSERT_EQ(TargetPixel(x0 + u, y0 + v) & kRgb, want(u, v)) << u << "," << v;
}

// The rectangle holds want(u, v) and a border four pixels wide around it still holds Old.
void ExpectPlaced(const platform::RECT& r, const std::function<uint32_t(int, int)>& want) {
  for (int y = r.top - 4; y < r.bottom + 4; ++y)
    for (int x = r.left - 4; x < r.right + 4; ++x) {
      const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
      ASSERT_EQ(TargetPixel(x, y) & kRgb, inside ? want(x - r.left, y - r.top) : Old(x, y))
          << x << "," << y;
    }
}

// Each listed pixel still holds Old.
void ExpectOld(std::initializer_list<std::pair<int, int>> points) {
  for (const auto& [x, y] : points) EXPECT_EQ(TargetPixel(x, y) & kRgb, Old(x, y)) << x << "," << y;
}

// Each listed pixel (x, y, colour) of the target, or of the mask scratch.
void ExpectPixels(std::initializer_list<std::tuple<int, int, uint32_t>> points,
                  const MEMIMG* image = nullptr) {
  for (const auto& [x, y, want] : points) {
    const uint32_t got = image ? ImagePixel(*image, x, y) : TargetPixel(x, y);
    EXPECT_EQ(got & kRgb, want) << x << "," << y;
  }
}

class FrontEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    FillTarget(Old);
  }
  LibrarySession lib_{{.bits = 32}};
};

// Every graph draw of the front end with handle h, and what each returned.
std::vector<int> GraphDraws(HandleValue h) {
  return {DrawGraphAt(10, 10, h, 0),
          DrawGraphRotScaledF(100.0f, 100.0f, 1.0, 0.0, h, 0, 0),
          DrawGraphRotScaledAt(100, 100, 2.0, 1.0, h, 1, 1),
          DrawGraphFourCorners(0, 0, 640, 0, 640, 480, 0, 480, h, 0),
          DrawGraphRect(10, 10, 300, 200, h, 0),
          DrawGraphMirrored(10, 10, h, 0),
          DrawGraphInRect(10, 10, 0, 0, 32, 32, h, 0, 0),
          DrawGraphInRect(10, 10, 0, 0, 32, 32, h, 0, 1),
          DrawGraphRectScaled(10, 10, 300, 200, 0, 0, 32, 16, h, 0)};
}

TEST_F(FrontEnd, EmptyDrawAreaDrawsNothingAndReturnsZero) {
  const HandleValue g = TexelGraph(64, 32);
  for (const platform::RECT area : {platform::RECT{100, 100, 100, 300}, {0, 50, 640, 50}}) {
    ASSERT_EQ(ApplyDrawArea(area.left, area.top, area.right, area.bottom), 0);
    ASSERT_EQ(g_DrawState.DrawAreaEmpty, 1);
    EXPECT_EQ(GraphDraws(g), std::vector<int>(9, 0));
    EXPECT_EQ(std::vector<int>({DrawFilledBox(0, 0, 640, 480, 0x123456),
                                DrawFrameBox(0, 0, 640, 480, 0x123456),
                                DrawBoxDispatch(0, 0, 640, 480, 0x123456, 1),
                                DrawBoxDispatch(0, 0, 640, 480, 0x123456, 0)}),
              std::vector<int>(4, 0));
    ExpectUntouched("empty draw area");
  }
}

TEST_F(FrontEnd, BlendGraphSmallerThanTheGraphRefusesTheDraw) {
  const HandleValue blend = TexelGraph(32, 32);
  const HandleValue wide = TexelGraph(64, 32);
  const HandleValue same = TexelGraph(32, 32);
  const HandleValue small = TexelGraph(16, 16);
  ASSERT_EQ(SelectBlendGraph(blend, 0, 0), 0);
  EXPECT_EQ(DrawGraphAt(10, 10, wide, 0), -1);
  EXPECT_EQ(DrawGraphRect(10, 10, 300, 200, wide, 0), -1);
  EXPECT_EQ(DrawGraphMirrored(10, 10, wide, 0), -1);
  EXPECT_EQ(DrawGraphRotScaledF(200.0f, 200.0f, 1.0, 0.0, wide, 0, 0), -1);
  EXPECT_EQ(DrawGraphFourCorners(10, 10, 74, 10, 74, 42, 10, 42, wide, 0), -1);
  ExpectUntouched("refused by the blend graph");
  EXPECT_EQ(DrawGraphRotScaledF(200.0f, 200.0f, 1.0, 0.0, same, 0, 0), 0);
  EXPECT_EQ(DrawGraphAt(10, 10, small, 0), 0);
  EXPECT_EQ(DrawGraphFourCorners(10, 10, 26, 10, 26, 26, 10, 26, small, 0), 0);
  // Deleting the blend graph deselects it: graphs of any size are drawn again, without it.
  ASSERT_EQ(DeleteGraphHandle(blend, 0), 0);
  EXPECT_EQ(DrawGraphRotScaledF(200.0f, 200.0f, 1.0, 0.0, wide, 0, 0), 0);
}

TEST_F(FrontEnd, InvalidHandlesAndEmptySourcesChangeNothing) {
  const HandleValue stale = TexelGraph(16, 16);
  ASSERT_EQ(DeleteGraphHandle(stale, 0), 0);
  for (HandleValue h : {HandleValue(-1), stale, HandleValue(0), HandleValue(kMaskHandleKind)}) {
    EXPECT_EQ(GraphDraws(h), std::vector<int>(9, -1));
    EXPECT_EQ(FillGraphColor(h, 255, 0, 0, 255), -1);
    EXPECT_EQ(CopyDrawScreenToGraph(0, 0, 16, 16, h, 0), -1);
  }
  // A source of no width or height has no scale.
  const HandleValue g = TexelGraph(64, 32);
  EXPECT_EQ(DrawGraphRectScaled(10, 10, 300, 200, 0, 0, 0, 16, g, 0), -1);
  EXPECT_EQ(DrawGraphRectScaled(10, 10, 300, 200, 0, 0, 32, -1, g, 0), -1);
  ExpectUntouched("refused");
}

// Each draw of the 64 x 32 graph lands on its rectangle, a border four pixels wide around it
// untouched.
TEST_F(FrontEnd, EachDrawPlacesTheGraphOnItsRectangle) {
  const HandleValue g = TexelGraph(64, 32);
  using Texels = uint32_t (*)(int, int);
  const struct {
    const char* what;
    std::function<int()> draw;
    platform::RECT r;
    Texels want;
  } cases[] = {
      {"at", [&] { return DrawGraphAt(100, 50, g, 0); }, {100, 50, 164, 82}, Texel},
      {"rotated at angle 0",
       [&] { return DrawGraphRotScaledF(132.0f, 66.0f, 1.0, 0.0, g, 0, 0); },
       {100, 50, 164, 82},
       Texel},
      {"rotated, integer centre",
       [&] { return DrawGraphRotScaledAt(132, 66, 1.0, 0.0, g, 0, 0); },
       {100, 50, 164, 82},
       Texel},
      {"stretched",
       [&] { return DrawGraphRect(100, 50, 228, 114, g, 0); },
       {100, 50, 228, 114},
       [](int u, int v) { return Texel(u / 2, v / 2); }},
      // x1 > x2: mirrored left to right between x2 and x1.
      {"rect mirrored",
       [&] { return DrawGraphRect(164, 50, 100, 82, g, 0); },
       {100, 50, 164, 82},
       [](int u, int v) { return Texel(63 - u, v); }},
      {"mirrored",
       [&] { return DrawGraphMirrored(100, 50, g, 0); },
       {100, 50, 164, 82},
       [](int u, int v) { return Texel(63 - u, v); }},
      {"part",
       [&] { return DrawGraphInRect(100, 100, 16, 0, 16, 16, g, 0, 0); },
       {100, 100, 116, 116},
       [](int u, int v) { return Texel(u + 16, v); }},
      // Mirrored in place: source column 16 on the rectangle's right edge.
      {"part mirrored",
       [&] { return DrawGraphInRect(100, 100, 16, 0, 16, 16, g, 0, 1); },
       {100, 100, 116, 116},
       [](int u, int v) { return Texel(31 - u, v); }},
      // Source (16, 8) of 32 x 16 at twice the size; given right to left: mirrored.
      {"part scaled",
       [&] { return DrawGraphRectScaled(100, 100, 164, 132, 16, 8, 32, 16, g, 0); },
       {100, 100, 164, 132},
       [](int u, int v) { return Texel(16 + u / 2, 8 + v / 2); }},
      {"part scaled mirrored",
       [&] { return DrawGraphRectScaled(164, 100, 100, 132, 16, 8, 32, 16, g, 0); },
       {100, 100, 164, 132},
       [](int u, int v) { return Texel(16 + (63 - u) / 2, 8 + v / 2); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FillTarget(Old);
    EXPECT_EQ(c.draw(), 0);
    ExpectPlaced(c.r, c.want);
    EXPECT_EQ(g_DrawState.DrawArea.right, 640);
  }
}

TEST_F(FrontEnd, PartsRestoreTheDrawAreaAndFarOffCornersAreClamped) {
  const HandleValue g = TexelGraph(64, 32);
  ASSERT_EQ(ApplyDrawArea(5, 6, 600, 400), 0);
  auto sameArea = [&] {
    const platform::RECT& a = g_DrawState.DrawArea;
    EXPECT_EQ(std::tuple(a.left, a.top, a.right, a.bottom, g_DrawState.DrawAreaF[2],
                         g_DrawState.DrawAreaEmpty),
              std::tuple(5, 6, 600, 400, 600.0f, 0));
  };
  EXPECT_EQ(DrawGraphInRect(100, 100, 16, 0, 16, 16, g, 0, 0), 0);
  sameArea();
  // A refused handle puts the area back too.
  EXPECT_EQ(DrawGraphInRect(100, 100, 16, 0, 16, 16, -1, 0, 0), -1);
  sameArea();
  EXPECT_EQ(DrawGraphInRect(100, 100, 16, 0, 16, 16, -1, 0, 1), -1);
  sameArea();
  // A negative size narrows the area to nothing: nothing is drawn.
  FillTarget(Old);
  DrawGraphInRect(100, 100, 0, 0, -5, 16, g, 0, 0);
  DrawGraphInRect(100, 100, 0, 0, 16, -5, g, 0, 1);
  sameArea();
  ExpectUntouched("negative size");
  // Sizes that overflow on addition are clamped, not wrapped.
  EXPECT_EQ(DrawGraphInRect(INT32_MAX - 5, 100, INT32_MIN, 0, INT32_MAX, 16, g, 0, 0), 0);
  sameArea();
  EXPECT_EQ(DrawGraphRectScaled(-2000000000, 0, 2000000000, 480, 0, 0, 1, 32, g, 0), 0);
  sameArea();
}

TEST_F(FrontEnd, SubtractEmulationStepsLeaveTheDrawStateAsItWas) {
  SetBlendMode(3, 100);
  SetDrawBrightRGB(10, 20, 30);
  const platform::RECT r{10, 10, 50, 50};
  EXPECT_EQ(BeginSubtractBlendDraw(&r), 0);
  // Between the steps the image is added with the caller's parameter.
  auto state = [] {
    return std::tuple(g_DrawState.BlendMode, g_DrawState.BlendParam, g_DrawState.Bright);
  };
  EXPECT_EQ(state(), std::tuple(5, 100, 0x0A141Eu));
  EXPECT_EQ(EndSubtractBlendDraw(&r), 0);
  EXPECT_EQ(state(), std::tuple(3, 100, 0x0A141Eu));
  // Without Direct3D the white boxes go nowhere: the DirectDraw target is untouched.
  ExpectUntouched("subtract steps");
}

TEST_F(FrontEnd, FourCornersMapTheGraphCornersInOrder) {
  const HandleValue g = TexelGraph(64, 32);
  // Top-left, top-right, bottom-right, bottom-left.
  EXPECT_EQ(DrawGraphFourCorners(100, 50, 164, 50, 164, 82, 100, 82, g, 0), 0);
  ExpectBlock(101, 51, 62, 30, [](int u, int v) { return Texel(u + 1, v + 1); });
  ExpectOld({{98, 60}, {166, 60}, {120, 84}});

  // Corners given mirrored: the graph's left column lands on the right.
  FillTarget(Old);
  EXPECT_EQ(DrawGraphFourCorners(364, 250, 300, 250, 300, 282, 364, 282, g, 0), 0);
  for (int v = 2; v < 30; ++v)
    for (int u = 2; u < 62; ++u) {
      const uint32_t p = TargetPixel(363 - u, 250 + v) & kRgb;
      // A mirrored texel column may round either way at the edge of a texel.
      ASSERT_TRUE(p == Texel(u, v) || p == Texel(u - 1, v) || p == Texel(u + 1, v))
          << u << "," << v << ": " << std::hex << p;
    }
}

TEST_F(FrontEnd, BoxesAndFillGraphColor) {
  EXPECT_EQ(DrawBoxDispatch(10, 20, 30, 25, 0x00112233, 1), 0);
  ExpectPixels({{10, 20, 0x112233}, {29, 24, 0x112233}});
  ExpectOld({{30, 24}, {29, 25}});
  EXPECT_EQ(DrawBoxDispatch(100, 100, 110, 105, 0x00445566, 0), 0);
  ExpectPixels({{100, 100, 0x445566}, {109, 104, 0x445566}});
  ExpectOld({{105, 102}, {110, 104}});

  const HandleValue g = TexelGraph(8, 8);
  EXPECT_EQ(FillGraphColor(g, 0x12, 0x34, 0x56, 255), 0);
  EXPECT_EQ(GraphPixel(g, 0, 0) & kRgb, 0x123456u);
  EXPECT_EQ(GraphPixel(g, 7, 7) & kRgb, 0x123456u);
  // The fill is not a draw: the empty draw area does not stop it.
  ASSERT_EQ(ApplyDrawArea(0, 0, 0, 0), 0);
  EXPECT_EQ(FillGraphColor(g, 0x65, 0x43, 0x21, 255), 0);
  EXPECT_EQ(GraphPixel(g, 3, 3) & kRgb, 0x654321u);
}

TEST_F(FrontEnd, CopyDrawScreenToGraphRoundTripsARectangle) {
  SetCreateOptionFlag(1);  // drawable, to be the draw screen at the end
  const HandleValue g = CreateEmptyGraph(64, 32);
  SetCreateOptionFlag(0);
  ASSERT_GE(g, 0);
  // Corners reversed: the same rectangle.
  EXPECT_EQ(CopyDrawScreenToGraph(164, 82, 100, 50, g, 0), 0);
  for (int v = 0; v < 32; ++v)
    for (int u = 0; u < 64; ++u)
      ASSERT_EQ(GraphPixel(g, u, v) & kRgb, Old(100 + u, 50 + v)) << u << "," << v;
  // And back onto a cleared screen at another place.
  ASSERT_EQ(ClearTargetScreen(), 0);
  EXPECT_EQ(TargetPixel(300, 300) & kRgb, 0u);
  EXPECT_EQ(DrawGraphRotScaledF(332.0f, 216.0f, 1.0, 0.0, g, 0, 0), 0);
  ExpectBlock(300, 200, 64, 32, [](int u, int v) { return Old(100 + u, 50 + v); });

  // A rectangle reaching past the screen copies what lies on it; the rest of the graph stays.
  ASSERT_EQ(FillGraphColor(g, 0, 0, 0x77, 255), 0);
  FillTarget(Old);
  EXPECT_EQ(CopyDrawScreenToGraph(620, 470, 700, 600, g, 0), 0);
  EXPECT_EQ(GraphPixel(g, 0, 0) & kRgb, Old(620, 470));
  EXPECT_EQ(GraphPixel(g, 19, 9) & kRgb, Old(639, 479));
  EXPECT_EQ(GraphPixel(g, 20, 9) & kRgb, 0x77u);
  EXPECT_EQ(GraphPixel(g, 19, 10) & kRgb, 0x77u);
  // The draw screen's own graph cannot be its own source.
  ASSERT_EQ(SelectDrawScreen(g), 0);
  EXPECT_EQ(CopyDrawScreenToGraph(0, 0, 8, 8, g, 0), -1);
}

TEST_F(FrontEnd, MaskProtectingHalfTheScreenKeepsItThroughBoxAndGraphDraws) {
  ASSERT_EQ(CreateMaskScreen(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  int32_t pitch = 0;
  uint8_t* pattern = GetMaskPattern(&pitch);
  for (int y = 0; y < 480; ++y) std::memset(pattern + y * pitch, 1, 320);
  const HandleValue g = TexelGraph(64, 32);

  EXPECT_EQ(DrawFilledBox(0, 0, 640, 480, 0x00223344), 0);
  EXPECT_EQ(DrawGraphRotScaledF(320.0f, 200.0f, 1.0, 0.0, g, 0, 0), 0);
  EXPECT_EQ(DrawGraphFourCorners(288, 300, 352, 300, 352, 332, 288, 332, g, 0), 0);
  EXPECT_EQ(DrawFrameBox(300, 400, 340, 420, 0x00556677), 0);
  EXPECT_EQ(DrawGraphAt(300, 100, g, 0), 0);
  ExpectBlock(0, 0, 320, 480, Old);
  ExpectPixels({{320, 0, 0x223344},
                {639, 479, 0x223344},
                {320, 184, Texel(32, 0)},
                {351, 215, Texel(63, 31)},
                {340, 310, Texel(52, 10)},
                {339, 400, 0x556677},
                {330, 410, 0x223344},
                {320, 100, Texel(20, 0)},
                {363, 131, Texel(63, 31)}});
}

// The bracket copies the affected rectangle into the scratch before the draw. With everything
// refused, the apply step marks the whole handed rectangle of the scratch with the transparent
// colour (0) and the target keeps every pixel: the scratch shows which rectangle was handed over.
TEST_F(FrontEnd, DrawsHandTheMaskTheirOrderedAndGrownRectangles) {
  ASSERT_EQ(CreateMaskScreen(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  const HandleValue g = TexelGraph(64, 64);
  int32_t pitch = 0;
  uint8_t* pattern = GetMaskPattern(&pitch);
  std::memset(pattern, 1, size_t(pitch) * 480);
  const struct {
    std::function<int()> draw;
    platform::RECT marked;
  } cases[] = {
      {[&] { return DrawGraphRect(164, 50, 100, 82, g, 0); }, {100, 50, 164, 82}},
      // The bounding box of the turned graph, grown by one pixel each way.
      {[&] { return DrawGraphRotScaledF(100.0f, 100.0f, 1.0, 0.0, g, 0, 0); }, {63, 63, 137, 137}},
      // The corners' box, its right and bottom one pixel further, with the top-left corner alone
      // the leftmost, then alone the rightmost.
      {[&] { return DrawGraphFourCorners(90, 70, 150, 50, 160, 110, 100, 120, g, 0); },
       {90, 50, 161, 121}},
      {[&] { return DrawGraphFourCorners(170, 60, 100, 50, 90, 110, 160, 120, g, 0); },
       {90, 50, 171, 121}}};
  for (const auto& [draw, r] : cases) {
    FillImage(*GetMaskImage(), [](int, int) { return 0x00EEEEEEu; });
    EXPECT_EQ(draw(), 0);
    const int mx = (r.left + r.right) / 2, my = (r.top + r.bottom) / 2;
    ExpectPixels({{r.left, r.top, 0},
                  {r.right - 1, r.bottom - 1, 0},
                  {r.left - 1, my, 0xEEEEEE},
                  {mx, r.top - 1, 0xEEEEEE},
                  {r.right, my, 0xEEEEEE},
                  {mx, r.bottom, 0xEEEEEE}},
                 GetMaskImage());
    ExpectUntouched("everything refused");
  }
}

TEST(FrontEndFrontBuffer, DrawsReachTheDisplayedSurfaceAtTheWindowCorner) {
  LibrarySession lib({.bits = 32});
  platform::InjectMove(40, 30);
  ProcessMessage();
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  FillTarget(Old);
  EXPECT_EQ(DrawFilledBox(10, 10, 20, 20, 0x00ABCDEF), 0);
  platform::DirectDrawSurface* shown = g_DD.PrimarySurface;
  EXPECT_EQ(shown->TestGetPixel(40 + 10, 30 + 10) & kRgb, 0xABCDEFu);
  EXPECT_EQ(shown->TestGetPixel(40 + 19, 30 + 19) & kRgb, 0xABCDEFu);
  // Only the affected rectangle is copied out.
  EXPECT_EQ(shown->TestGetPixel(40 + 20, 30 + 19) & kRgb, 0u);
  // Four-corner draws whose top-left corner alone is the rightmost, then the leftmost: the strip
  // beside that corner is copied out too (in this order no other draw copies a strip out after
  // it was drawn).
  const HandleValue g = CreateEmptyGraph(8, 8);
  ASSERT_EQ(FillGraphColor(g, 0x12, 0x34, 0x56, 255), 0);
  EXPECT_EQ(DrawGraphFourCorners(170, 60, 100, 50, 90, 110, 160, 120, g, 0), 0);
  EXPECT_EQ(DrawGraphFourCorners(90, 70, 150, 50, 160, 110, 100, 120, g, 0), 0);
  EXPECT_EQ(shown->TestGetPixel(40 + 92, 30 + 72) & kRgb, 0x123456u);
  EXPECT_EQ(shown->TestGetPixel(40 + 167, 30 + 62) & kRgb, 0x123456u);
  // After a present, the next draw starts from what is displayed.
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  FillTarget([](int, int) { return 0x00050505u; });
  ASSERT_EQ(PresentByFlip(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  EXPECT_EQ(DrawFrameBox(100, 100, 104, 104, 0x00FEDCBA), 0);
  EXPECT_EQ(shown->TestGetPixel(140, 130) & kRgb, 0xFEDCBAu);
  EXPECT_EQ(shown->TestGetPixel(142, 132) & kRgb, 0x050505u);
  EXPECT_EQ(TargetPixel(300, 300) & kRgb, 0x050505u);
  EXPECT_EQ(ClearTargetScreen(), 0);
  EXPECT_EQ(shown->TestGetPixel(40 + 639, 30 + 479) & kRgb, 0u);
}

TEST(FrontEndHardware, CopyDrawScreenToGraphReadsTheFrontBufferAtTheWindowCorner) {
  LibrarySession lib({.bits = 32, .softwareScreen = false});
  platform::InjectMove(50, 40);
  ProcessMessage();
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  FillSurface(g_DD.PrimarySurface, Old);
  const HandleValue g = CreateEmptyGraph(32, 16);
  ASSERT_GE(g, 0);
  ASSERT_EQ(StoreOf(g).data->SoftwareFlag, 0u);
  EXPECT_EQ(CopyDrawScreenToGraph(10, 20, 42, 36, g, 0), 0);
  for (int v = 0; v < 16; ++v)
    for (int u = 0; u < 32; ++u)
      ASSERT_EQ(GraphPixel(g, u, v) & kRgb, Old(50 + 10 + u, 40 + 20 + v)) << u << "," << v;
}

// ---- The same scene on the software screen and on simulated surfaces -------------------------

enum class Scene { kWithMaskedPart, kNoMask, kOpenMask, kFarOff };

std::vector<uint32_t> RunScene(bool software, Scene scene) {
  LibrarySession lib({.bits = 32, .softwareScreen = software});
  EXPECT_EQ(IsSoftwareScreenInUse(), software ? 1 : 0);
  EXPECT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  if (scene == Scene::kOpenMask) {
    EXPECT_EQ(CreateMaskScreen(), 0);
    EXPECT_EQ(g_DrawState.MaskActive, 1);
  }
  FillTarget(Old);
  const HandleValue g = TexelGraph(64, 32);
  if (scene == Scene::kFarOff) {
    // Corners far off the screen: edges clamped into int, rectangles ordered and clipped.
    ApplyDrawArea(0, 0, 640, 100);
    DrawGraphRectScaled(-2000000000, 0, 2000000000, 480, 0, 0, 1, 32, g, 0);
    DrawGraphRect(INT32_MAX, 200, INT32_MIN, 210, g, 0);
    DrawFilledBox(INT32_MIN, 150, INT32_MAX, 160, 0x00334455);
    DrawFrameBox(INT32_MAX, 170, INT32_MIN, 180, 0x00334455);
    DrawGraphFourCorners(-1e30f, 0, 1e30f, 0, 1e30f, 1e30f, -1e30f, 1e30f, g, 0);
    DrawGraphRotScaledF(320.0f, 240.0f, 1e300, 1.0, g, 0, 0);
    ApplyDrawArea(0, 0, 640, 480);
    return Snapshot();
  }
  // Every front-end draw, boxes with reversed corners, draws reaching past the screen.
  DrawFilledBox(20, 30, 200, 100, 0x00112233);
  DrawFilledBox(260, 150, 220, 130, 0x00102030);
  DrawFrameBox(300, 200, 250, 150, 0x00445566);
  DrawFrameBox(600, 10, 700, 40, 0x00405060);
  DrawGraphFourCorners(100, 300, 164, 300, 164, 332, 100, 332, g, 0);
  DrawGraphFourCorners(-20, -10, 50, 5, 60, 40, -5, 30, g, 0);
  DrawGraphRotScaledF(400.0f, 300.0f, 1.5, 0.7, g, 0, 0);
  DrawGraphRotScaledF(620.0f, 470.0f, 1.5, 0.7, g, 0, 1);
  DrawGraphAt(600, 440, g, 0);
  DrawGraphAt(-30, 460, g, 0);
  DrawGraphAt(500, 20, g, 0);
  DrawGraphRect(620, 120, 520, 180, g, 0);
  DrawGraphMirrored(10, 200, g, 0);
  DrawGraphMirrored(620, 100, g, 0);
  DrawGraphInRect(200, 420, 10, 5, 30, 20, g, 0, 0);
  DrawGraphInRect(400, 20, 10, 5, 30, 20, g, 0, 1);
  DrawGraphInRect(100, 100, 0, 0, -5, 16, g, 0, 1);
  DrawGraphRectScaled(560, 300, 630, 380, 8, 4, 20, 10, g, 0);
  DrawGraphRectScaled(100, 400, 30, 470, 8, 4, 20, 10, g, 0);
  SetBlendMode(1, 128);
  DrawFilledBox(150, 250, 500, 400, 0x00FF8000);
  SetBlendMode(0, 0);
  const HandleValue copy = CreateEmptyGraph(64, 32);
  CopyDrawScreenToGraph(380, 280, 444, 312, copy, 0);
  if (scene != Scene::kWithMaskedPart) return Snapshot();
  // With the mask keeping the left half.
  EXPECT_EQ(CreateMaskScreen(), 0);
  int32_t pitch = 0;
  uint8_t* pattern = GetMaskPattern(&pitch);
  for (int y = 0; y < 480; ++y) std::memset(pattern + y * pitch, 1, 320);
  DrawFilledBox(250, 0, 400, 50, 0x00778899);
  DrawGraphFourCorners(280, 60, 344, 60, 344, 92, 280, 92, copy, 0);
  DrawGraphRotScaledF(320.0f, 440.0f, 1.0, 0.3, g, 0, 1);
  DrawGraphAt(290, 120, copy, 0);
  DrawGraphRect(350, 160, 250, 230, g, 0);
  DrawGraphInRect(300, 240, 0, 0, 40, 20, copy, 0, 1);
  DrawGraphRectScaled(280, 250, 360, 300, 4, 4, 16, 8, copy, 0);
  return Snapshot();
}

void ExpectSame(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want) {
  for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(got[i], want[i]) << i % 640 << "," << i / 640;
}

TEST(FrontEndScreens, HardwareSurfacesGiveTheSoftwareScreensPixels) {
  const std::vector<uint32_t> software = RunScene(true, Scene::kWithMaskedPart);
  ExpectSame(RunScene(false, Scene::kWithMaskedPart), software);
  // The scene did draw.
  EXPECT_EQ(software[40 * 640 + 30], 0x112233u);
  EXPECT_EQ(software[20 * 640 + 330], 0x778899u);
  EXPECT_EQ(software[20 * 640 + 310], Old(310, 20));
  const std::vector<uint32_t> farOff = RunScene(true, Scene::kFarOff);
  ExpectSame(RunScene(false, Scene::kFarOff), farOff);
  EXPECT_EQ(farOff[300 * 640 + 300], Old(300, 300));  // only the narrowed area was drawn
}

// With a pattern that refuses nothing, bracketed draws leave what unbracketed ones do: each hands
// the mask all it touches.
TEST(FrontEndMask, OpenPatternChangesNothingAgainstNoMask) {
  ExpectSame(RunScene(true, Scene::kOpenMask), RunScene(true, Scene::kNoMask));
}

}  // namespace
}  // namespace zq::gfx
