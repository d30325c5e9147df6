// Drawing on the Direct3D path with the simulated device. Expectations follow the device's rules
// (pixel_pipeline.h): channels widened as c x 255 / max, products / 255 truncated, narrowed by
// dropping low bits.
#include "graphics/d3d/d3d_draw.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <numbers>
#include <tuple>
#include <vector>

#include "d3d_session.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/draw_front.h"
#include "graphics/graph_load.h"
#include "graphics/graph_load_test_util.h"
#include "graphics/mask.h"
#include "graphics/mask_fill.h"
#include "graphics/restore.h"
#include "graphics/screen_readback.h"
#include "graphics/target_pixels.h"
#include "platform/present/present.h"
#include "platform/win/window.h"

namespace zq::gfx {
namespace {

using namespace platform;
using Fn = std::function<uint32_t(int, int)>;

// Channel widths from blue up: blue, green, red, alpha.
struct Fmt {
  int w[4];
};
constexpr Fmt k565{{5, 6, 5, 0}}, k888{{8, 8, 8, 0}};

// 0xAARRGGBB narrowed into the format (low bits dropped).
uint32_t Pack(Fmt f, uint32_t argb) {
  uint32_t v = 0;
  for (int c = 0, shift = 0; c < 4; shift += f.w[c++])
    if (f.w[c] != 0) v |= ((argb >> 8 * c & 0xFF) >> (8 - f.w[c])) << shift;
  return v;
}
// A raw pixel widened to 0xAARRGGBB; alpha 255 when the format has none.
uint32_t Unpack(Fmt f, uint32_t raw) {
  uint32_t v = 0;
  for (int c = 0, shift = 0; c < 4; shift += f.w[c++]) {
    const uint32_t max = (1u << f.w[c]) - 1;
    v |= (f.w[c] != 0 ? (raw >> shift & max) * 255 / max : 255) << 8 * c;
  }
  return v;
}

// A hardware screen of `bits` (full screen: surfaces of that depth) on the back buffer; with
// maxTexture, devices whose textures are at most that large.
struct Screen {
  explicit Screen(int bits, bool windowed = false, uint32_t maxTexture = 0)
      : lib(test::Direct3DSession(bits, windowed)) {
    if (maxTexture != 0)
      d3dtest::SetDevices(test::DevicesWith(
          [&](D3DDEVICEDESC7& d) { d.dwMaxTextureWidth = d.dwMaxTextureHeight = maxTexture; }));
    EXPECT_EQ(lib.Start(), 0);
    g_DrawState.TransColor = 0;
    SelectDrawScreen(kDrawScreenBack);
  }
  test::LibrarySession lib;
};

uint32_t Px(int x, int y) {
  EndCurrentScene();
  return test::TargetPixel(x, y, g_DrawState.DrawOrigin.left, g_DrawState.DrawOrigin.top);
}
void FillScreen(uint32_t raw) {
  EndCurrentScene();
  test::FillTarget([&](int, int) { return raw; });
}
// f(x, y) over w x h, row by row; Snap: the draw screen's pixels.
std::vector<uint32_t> Picture(int w, int h, const Fn& f) {
  std::vector<uint32_t> v;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) v.push_back(f(x, y));
  return v;
}
std::vector<uint32_t> Snap(int w, int h) {
  return Picture(w, h, Px);
}

// A Direct3D graph whose texel (x, y) is raw(x, y), written into each piece's store.
HandleValue Textured(int w, int h, int bits, int alpha, int alphaTest, const Fn& raw) {
  const HandleValue g = test::Graph(w, h, alpha, alphaTest, bits);
  for (int i = 0; i < GetGraphRecord(g)->PieceCount; ++i) {
    const Surface3DRecord* p = test::Piece(g, i);
    const RECT r{p->StoreX, p->StoreY, p->StoreX + p->Width, p->StoreY + p->Height};
    test::FillSurface(
        test::PieceStore(g, i)->Surface,
        [&](int x, int y) { return raw(x - p->StoreX + p->GraphX, y - p->StoreY + p->GraphY); },
        &r);
  }
  return g;
}
uint32_t Pattern(int x, int y) {
  return uint32_t(x) << 16 | uint32_t(y) << 8 | 0x5A;
}

TEST(Direct3DDraw, TexelsLandOnTheirPixelsWithPointAndLinearSampling) {
  for (const int bits : {16, 32}) {
    Screen s(bits);
    const Fmt screen = bits == 16 ? k565 : k888;
    for (const int graphBits : {16, 32}) {
      const Fmt tex = graphBits == 16 ? k565 : k888;
      const Fn texel = [&](int x, int y) {
        return Pack(tex, 0x1E1478u + 0x280000u * x + 0x3C00u * y);
      };
      const HandleValue g = Textured(4, 3, graphBits, 0, 0, texel);
      for (const int linear : {0, 1}) {
        SetSamplingMode(linear);
        ClearTargetScreen();
        ASSERT_EQ(DrawGraphAt(10, 20, g, 0), 0);
        EXPECT_EQ(Snap(16, 25), Picture(16, 25, [&](int x, int y) {
                    const bool in = x >= 10 && x < 14 && y >= 20 && y < 23;
                    return in ? Pack(screen, Unpack(tex, texel(x - 10, y - 20))) : 0u;
                  }));
      }
    }
  }
  Screen s(32, true);
  GetMainHwnd()->SetClientRect(RECT{100, 50, 740, 530});
  UpdateDrawAreaForWindow();
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  const HandleValue ramp = Textured(2, 1, 32, 0, 0, [](int x, int) { return x ? 0xFFFFFFu : 0u; });
  ASSERT_EQ(DrawGraphAt(10, 20, ramp, 0), 0);
  EXPECT_EQ(Px(11, 20), 0xFFFFFFu);
  EXPECT_EQ(GetPrimaryDDSurface()->TestGetPixel(111, 70) & 0xFFFFFF, 0xFFFFFFu);
  // The mask switched on and off again: draws land at the window's place as before.
  ASSERT_EQ(CreateMaskScreen(), 0);
  ASSERT_EQ(SetMaskEnabled(1), 0);
  ASSERT_EQ(SetMaskEnabled(0), 0);
  ASSERT_EQ(DrawGraphAt(30, 40, ramp, 0), 0);
  ASSERT_EQ(DrawGraphAt(630, 470, ramp, 0), 0);  // within the window, beyond 640 x 480
  EndCurrentScene();
  EXPECT_EQ(GetPrimaryDDSurface()->TestGetPixel(131, 90) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(GetPrimaryDDSurface()->TestGetPixel(31, 40) & 0xFFFFFF, 0u);
  EXPECT_EQ(GetPrimaryDDSurface()->TestGetPixel(731, 520) & 0xFFFFFF, 0xFFFFFFu);
  // Twice the size, linear: the weights of texel centres a quarter pixel apart.
  SetSamplingMode(1);
  ASSERT_EQ(DrawGraphRect(0, 0, 4, 1, ramp, 0), 0);
  EXPECT_EQ(Snap(4, 1), (std::vector<uint32_t>{0, 0x3F3F3F, 0xBFBFBF, 0xFFFFFF}));
}

TEST(Direct3DDraw, TransparentDrawsKeyAndTestAlpha) {
  Screen s(32);
  const HandleValue plain = Textured(2, 1, 16, 0, 0, [](int x, int) { return x ? 0xFFFFu : 0u; });
  g_DrawState.TransColor = 0xFF00FF;
  const HandleValue tested = Textured(1, 1, 16, 0, 1, [](int, int) { return 0x7C1Fu; });
  ASSERT_EQ(test::PieceStore(tested, 0)->FormatIndex, 4u);  // 1:5:5:5, magenta of alpha 0
  for (const auto& [g, trans, want] : {std::tuple{plain, 1, 0x123456u},
                                       {plain, 0, 0u},
                                       {tested, 1, 0x123456u},
                                       {tested, 0, 0xFF00FFu}}) {
    FillScreen(0x123456);
    ASSERT_EQ(DrawGraphAt(0, 0, g, trans), 0);
    EXPECT_EQ(Px(0, 0), want) << trans;
  }
  EXPECT_EQ(Px(1, 0), 0x123456u);
}

TEST(Direct3DDraw, AreasRotationsAndCorners) {
  Screen s(32);
  const Fn texel = [](int x, int y) { return 0x404040u + 0x100000u * x + 0x20u * y; };
  const HandleValue g = Textured(4, 2, 32, 0, 0, texel), glyph = Textured(3, 2, 32, 0, 0, texel);
  auto after = [&](const std::function<int()>& draw) {
    FillScreen(0);
    EXPECT_EQ(draw(), 0);
    return Snap(40, 30);
  };
  // Angle 0 about the centre and the corners less 0.5 are DrawGraphAt, also clipped by an area.
  for (const RECT a : {RECT{0, 0, 640, 480}, RECT{0, 0, 12, 21}}) {
    ApplyDrawArea(a.left, a.top, a.right, a.bottom);
    const std::vector<uint32_t> at = after([&] { return DrawGraphAt(10, 20, g, 0); });
    EXPECT_EQ(after([&] { return DrawGraphRotScaledF(12, 21, 1, 0, g, 0, 0); }), at);
    EXPECT_EQ(after([&] {
                return DrawGraphFourCorners(9.5, 19.5, 13.5, 19.5, 13.5, 21.5, 9.5, 21.5, g, 0);
              }),
              at);
  }
  ApplyDrawArea(0, 0, 640, 480);
  // Pixel (x, y) shows graph pixel (m0 x + m1 y + m2, m3 x + m4 y + m5) of a w x 2 graph.
  auto mapped = [&](int w, std::array<int, 6> m) {
    return Picture(40, 30, [&](int x, int y) {
      const int gx = m[0] * x + m[1] * y + m[2], gy = m[3] * x + m[4] * y + m[5];
      return gx >= 0 && gx < w && gy >= 0 && gy < 2 ? texel(gx, gy) : 0u;
    });
  };
  EXPECT_EQ(after([&] { return DrawGraphRotScaledF(12, 21, 1, 0, g, 0, 1); }),
            mapped(4, {-1, 0, 13, 0, 1, -20}));
  EXPECT_EQ(after([&] { return DrawGraphRotScaledF(12, 21, 1, std::numbers::pi / 2, g, 0, 0); }),
            mapped(4, {0, 1, -19, -1, 0, 12}));
  // The vertical glyph's corners (R, T = 30, 10): pixel (gx, gy) on (R - 1 - gy, T + gx).
  EXPECT_EQ(after([&] {
              return DrawGraphFourCorners(29.5, 9.5, 29.5, 12.5, 27.5, 12.5, 27.5, 9.5, glyph, 0);
            }),
            mapped(3, {0, 1, -10, -1, 0, 29}));
  // Mirrored DrawGraphInRect: source column 1 on the rectangle's right; the viewport stays.
  std::vector<uint32_t> part = mapped(4, {-1, 0, 13, 0, 1, -20});
  for (size_t i = 0; i < part.size(); ++i)
    part[i] = i == 20 * 40 + 11 || i == 20 * 40 + 12 ? part[i] : 0;
  EXPECT_EQ(after([&] { return DrawGraphInRect(11, 20, 1, 0, 2, 1, g, 0, 1); }), part);
  // A corner beyond the positions the device takes (+-131072): -1, and nothing is queued that
  // would make the device refuse the batch with the draw queued before it.
  const std::vector<uint32_t> plain = after([&] { return DrawGraphAt(10, 20, g, 0); });
  FillScreen(0);
  ASSERT_EQ(DrawGraphAt(10, 20, g, 0), 0);
  EXPECT_EQ(DrawGraphFourCorners(9.5, 19.5, 131073.5, 19.5, 13.5, 21.5, 9.5, 21.5, g, 0), -1);
  EXPECT_EQ(DrawGraphRotScaledF(131100, 21, 1, 0, g, 0, 0), -1);
  EXPECT_EQ(Snap(40, 30), plain);
  D3DVIEWPORT7 v{};
  GetCurrentD3DDevice()->GetViewport(&v);
  EXPECT_EQ(std::tie(v.dwX, v.dwY, v.dwWidth, v.dwHeight), std::tuple(0u, 0u, 640u, 480u));
}

// Draws a 100 x 70 graph twice and reads the pixels back.
std::vector<uint32_t> DrawLarge() {
  const HandleValue g = Textured(100, 70, 32, 0, 0, Pattern);
  DrawGraphAt(3, 4, g, 0);
  DrawGraphRect(260, 10, 110, 115, g, 0);  // mirrored and stretched by 1.5
  return Snap(270, 120);
}

TEST(Direct3DDraw, GraphsOfSeveralTexturesDrawAndCopyAsOne) {
  std::vector<uint32_t> whole;
  {
    Screen s(32);
    whole = DrawLarge();
  }
  Screen s(32, false, 64);  // 100 x 70 takes four textures
  EXPECT_EQ(DrawLarge(), whole);
  // The graph drawn at (3, 4) copied into a divided graph (reversed corners) and drawn again.
  const HandleValue copy = test::Graph(100, 70, 0, 0, 32);
  ASSERT_EQ(CopyDrawScreenToGraph(103, 74, 3, 4, copy, 0), 0);
  FillScreen(0);
  ASSERT_EQ(DrawGraphAt(0, 0, copy, 0), 0);
  EXPECT_EQ(Snap(100, 70), Picture(100, 70, Pattern));
  // From a drawable graph's texture, read directly and, with its lock refused, through the
  // work texture: the same texels.
  const HandleValue drawable = test::Graph(60, 40, 0, 0, 32, 1);
  ASSERT_EQ(SelectDrawScreen(drawable), 0);
  DrawGraphAt(0, 0, copy, 0);
  for (const bool refuse : {false, true}) {
    const HandleValue part = test::Graph(60, 40, 0, 0, 16);
    if (refuse) ddtest::FailNextLock(DDERR_SURFACEBUSY);
    ASSERT_EQ(CopyDrawScreenToGraph(0, 0, 60, 40, part, 0), 0);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 60; ++x) ASSERT_EQ(test::Texel(part, 0, x, y), Pack(k565, Pattern(x, y)));
  }
  EXPECT_EQ(CopyDrawScreenToGraph(0, 0, 60, 40, drawable, 0), -1);
}

TEST(Direct3DDraw, BoxOutlinesCoverEachPixelOnce) {
  Screen s(32);
  SetBlendMode(2, 255);
  const uint32_t grey = GetScreenColorValue(10, 10, 10);
  // The reversed box's outline runs through columns 1 and 5, rows 2 and 5; the other box's
  // through columns 8 and 10, rows 2 and 5.
  const auto ring = [](int x, int y, int l, int r) {
    return x >= l && x <= r && y >= 2 && y <= 5 && (x == l || x == r || y == 2 || y == 5);
  };
  const Fn outline = [&](int x, int y) {
    return ring(x, y, 1, 5) || ring(x, y, 8, 10) ? 0x0A0A0Au : 0u;
  };
  const auto boxes = [&] {
    return DrawFrameBox(5, 5, 2, 3, grey) | DrawFrameBox(8, 2, 11, 6, grey);
  };
  ClearTargetScreen();
  ASSERT_EQ(boxes(), 0);
  EXPECT_EQ(Snap(12, 8), Picture(12, 8, outline));
  // A system-memory graph as draw screen: the DirectDraw twins draw the same outline.
  SetCreateOptionD(1);
  SetCreateOptionFlag(1);
  const HandleValue soft = CreateGraphWithOptions(12, 8, 0, 0, 0);
  SetCreateOptionFlag(0);
  SetCreateOptionD(0);
  ASSERT_EQ(SelectDrawScreen(soft), 0);
  ClearTargetScreen();
  ASSERT_EQ(boxes(), 0);
  EXPECT_EQ(g_D3DState.RenderTarget, nullptr);
  EXPECT_EQ(Snap(12, 8), Picture(12, 8, outline));
}

TEST(Direct3DDraw, SubtractEmulationLeavesUncoveredPixelsAlone) {
  Screen s(32);
  FillScreen(0xC8C8C8);
  SetBlendMode(3, 128);
  // White with one keyed (black) texel, turned about its centre: the affected rectangle reaches
  // 5 pixels beyond the graph.
  const HandleValue g =
      Textured(4, 4, 32, 0, 0, [](int x, int y) { return x == 1 && y == 1 ? 0u : 0xFFFFFFu; });
  ASSERT_EQ(DrawGraphRotScaledF(10.0f, 10.0f, 1.0, 0.0, g, 1, 0), 0);
  EXPECT_EQ(Snap(20, 20), Picture(20, 20, [](int x, int y) {
              const bool covered = x >= 8 && x < 12 && y >= 8 && y < 12 && !(x == 9 && y == 9);
              return covered ? 0x484848u : 0xC8C8C8u;
            }));
}

TEST(Direct3DDraw, TheBatchDrawsInOrderAndTheSceneEndsBeforeReadsAndPresents) {
  Screen s(32);
  const HandleValue red = Textured(2, 1, 32, 0, 0, [](int, int) { return 0xFF0000u; });
  const HandleValue blue = Textured(2, 1, 32, 0, 0, [](int, int) { return 0x0000FFu; });
  auto primitives = [](int n, const std::function<void(int)>& draw) {
    EndCurrentScene();
    const int before = d3dtest::GetCounters().drawPrimitive;
    for (int i = 0; i < n; ++i) draw(i);
    EndCurrentScene();
    return d3dtest::GetCounters().drawPrimitive - before;
  };
  EXPECT_EQ(primitives(100, [&](int i) { DrawGraphAt(i, 0, red, 0); }), 1);
  EXPECT_EQ(primitives(100, [&](int i) { DrawGraphAt(i, 0, i % 2 ? red : blue, 0); }), 100);
  const auto modeThenDraw = [&](int i) {
    SetBlendMode(i == 0 ? 0 : 2, 255);  // other blend factors
    DrawGraphAt(0, 0, red, 0);
  };
  EXPECT_EQ(primitives(2, modeThenDraw), 2);
  SetBlendMode(0, 0);
  // A frame: clear, a Direct3D draw, a DirectDraw-path box over it, a Direct3D draw over that,
  // presented without an explicit scene end.
  ClearTargetScreen();
  DrawGraphAt(0, 0, red, 0);
  ChooseDirect3DGraphs(0);
  DrawFilledBox(1, 0, 3, 1, GetScreenColorValue(0, 255, 0));
  ChooseDirect3DGraphs(1);
  DrawGraphAt(2, 0, blue, 0);
  ASSERT_EQ(PresentByFlip(), 0);
  EXPECT_EQ(EndCurrentScene(), 0);  // none open
  const Frame frame = GetLastPresentedFrame();
  EXPECT_EQ(std::vector<uint32_t>(frame.pixels.begin(), frame.pixels.begin() + 5),
            (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0x0000FF, 0}));
  // A fill between two draws of one frame; then the render target locks and reads them.
  DrawGraphAt(0, 1, red, 0);
  ASSERT_EQ(FillGraphColor(red, 0, 255, 0, 255), 0);
  DrawGraphAt(2, 1, red, 0);
  uint32_t first = 0, second = 0;
  ASSERT_EQ(GetDrawScreenPixel(0, 1, &first), 0);
  ASSERT_EQ(GetDrawScreenPixel(2, 1, &second), 0);
  EXPECT_EQ(std::tie(first, second), std::tuple(0xFF0000u, 0x00FF00u));
  // Clearing keeps to the draw area.
  FillScreen(0x111111);
  ApplyDrawArea(1, 0, 3, 1);
  ClearTargetScreen();
  ApplyDrawArea(0, 0, 640, 480);
  EXPECT_EQ(Snap(4, 1), (std::vector<uint32_t>{0x111111, 0, 0, 0x111111}));
}

TEST(Direct3DDraw, BlendGraphsMaskAndDrawableGraphs) {
  Screen s(32);
  // Blend values: x on row 0, 255 - x on row 1.
  const Fn amount = [](int x, int y) { return uint32_t(y ? 255 - x : x); };
  const HandleValue ramp =
      Textured(256, 2, 32, 0, 0, [&](int x, int y) { return amount(x, y) << 16; });
  const HandleValue image = Textured(256, 2, 32, 0, 0, [](int, int) { return 0xC86432u; });
  FillScreen(0x6496C8);
  SetBlendMode(1, 255);
  ASSERT_EQ(SelectBlendGraph(ramp, 128, 0), 0);
  ASSERT_EQ(DrawGraphAt(0, 0, image, 0), 0);
  EXPECT_EQ(Snap(256, 2), Picture(256, 2, [&](int x, int y) {
              const uint32_t a = amount(x, y);
              return a < 128 ? 0x6496C8u : a == 128 ? 0x957C7Cu : 0xC86432u;
            }));
  // Deleting the blend graph deselects it: the next draw is a plain one.
  DeleteGraphHandle(ramp, 0);
  ASSERT_EQ(DrawGraphAt(0, 0, image, 0), 0);
  EXPECT_EQ(Snap(256, 2), Picture(256, 2, [](int, int) { return 0xC86432u; }));
  SetBlendMode(0, 0);

  // A mask: rows under a non-zero pattern keep the target.
  ASSERT_EQ(CreateMaskScreen(), 0);
  FillMaskRect(0, 1, 640, 2, 1);
  ASSERT_EQ(SetMaskEnabled(1), 0);
  FillScreen(0x123456);
  ASSERT_EQ(DrawGraphRect(0, 0, 2, 3, image, 0), 0);
  ASSERT_EQ(SetMaskEnabled(0), 0);
  EXPECT_EQ(Snap(2, 3), Picture(2, 3, [](int, int y) { return y == 1 ? 0x123456u : 0xC86432u; }));

  // A drawable graph takes Direct3D and DirectDraw-path draws and shows them when drawn.
  const HandleValue drawable = test::Graph(3, 1, 0, 0, 32, 1);
  ASSERT_EQ(SelectDrawScreen(drawable), 0);
  ClearTargetScreen();
  DrawGraphAt(0, 0, image, 0);
  ChooseDirect3DGraphs(0);
  DrawFilledBox(1, 0, 2, 1, GetScreenColorValue(0, 255, 0));
  ChooseDirect3DGraphs(1);
  SelectDrawScreen(kDrawScreenBack);
  FillScreen(0);
  ASSERT_EQ(DrawGraphAt(0, 0, drawable, 0), 0);
  EXPECT_EQ(Snap(4, 1), Picture(4, 1, [](int x, int) {
              return x == 1 ? 0x00FF00u : x < 3 ? 0xC86432u : 0u;
            }));
  // Deleting the draw screen moves drawing to the front buffer; nothing stale is drawn.
  ASSERT_EQ(SelectDrawScreen(drawable), 0);
  DrawGraphAt(0, 0, image, 0);
  ASSERT_EQ(DeleteGraphHandle(drawable, 0), 0);
  EXPECT_EQ(DrawGraphAt(0, 0, image, 0), 0);
  EXPECT_EQ(PresentByFlip(), 0);
}

TEST(Direct3DDraw, DrawsGoOnAfterARebuild) {
  Screen s(32);
  test::WriteFile("p.bmp", test::Bmp24(4, 3, Pattern));
  SetGraphRestoreCallback(nullptr);  // graphs come back from their files
  const HandleValue g = LoadGraphFromFileStd("p.bmp");
  ASSERT_EQ(DrawGraphAt(0, 0, g, 0), 0);  // still in the batch when the device goes
  ASSERT_EQ(RebuildGraphicsAfterModeChange(), 0);
  FillScreen(0);
  ASSERT_EQ(DrawGraphAt(0, 0, g, 0), 0);
  EXPECT_EQ(Snap(5, 3), Picture(5, 3, [](int x, int y) { return x < 4 ? Pattern(x, y) : 0u; }));
}

}  // namespace
}  // namespace zq::gfx
