// Direct3D graphs: textures in the format of their options, their keys, the pixels written into
// them (also through a refused lock), fills, the lock, the division into textures, derived
// graphs and the restore after a loss.
#include "graphics/d3d/d3d_graph.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>
#include <vector>

#include "d3d_session.h"
#include "graphics/draw_front.h"
#include "graphics/draw_state.h"
#include "graphics/graph_load.h"
#include "graphics/texture_format.h"
#include "platform/win/window.h"

namespace zq::gfx {
namespace {

using namespace platform;
using test::Direct3DSession;
using test::Graph;
using test::LibrarySession;
using test::Texel;

// A decoded image of w x h whose pixel (x, y) is pixel(x, y), stored in the format's bytes.
struct Image {
  Image(int w, int h, const ColorData& format, const std::function<uint32_t(int, int)>& pixel)
      : bytes(size_t(w) * h * format.PixelByte) {
    image.Format = format;
    image.Width = w;
    image.Height = h;
    image.Pitch = w * format.PixelByte;
    image.Pixels = bytes.data();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint32_t v = pixel(x, y);
        std::memcpy(&bytes[size_t(y * image.Pitch + x * format.PixelByte)], &v, format.PixelByte);
      }
  }
  std::vector<uint8_t> bytes;
  GraphImage image{};
};

ColorData Masks(int bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0) {
  ColorData c{};
  SetupColorDataFromMasks(&c, bits, r, g, b, a);
  return c;
}
const ColorData kRgb24 = Masks(24, 0xFF0000, 0xFF00, 0xFF);

int Load(HandleValue graph, const Image& image) {
  return SetGraphImage(nullptr, nullptr, nullptr, nullptr, 0, &image.image, nullptr, 0, 0, graph,
                       0);
}

TEST(Direct3DGraph, TexturesTakeTheFormatAndKeyOfTheirOptions) {
  test::DrawStateScope keep;  // the transparent colour set below outlives the session
  LibrarySession lib(Direct3DSession());
  ASSERT_EQ(lib.Start(), 0);
  g_DrawState.TransColor = 0xFF00FF;
  struct Row {
    int alpha, test, bits, drawValid, index;
    uint32_t key;
  };
  for (const Row& r : {Row{0, 0, 16, 0, 0, 0xF81F}, Row{0, 1, 16, 0, 4, 0xFC1F},
                       Row{1, 0, 16, 0, 2, 0xFF0F}, Row{1, 0, 32, 0, 3, 0xFFFF00FF},
                       Row{0, 0, 32, 0, 1, 0xFFFF00FF}, Row{0, 0, 32, 1, 7, 0xFFFF00FF}}) {
    const HandleValue graph = Graph(8, 8, r.alpha, r.test, r.bits, r.drawValid);
    ASSERT_GE(graph, 0);
    const SurfaceDataRecord* store = test::PieceStore(graph, 0);
    EXPECT_EQ(store->FormatIndex, uint32_t(r.index));
    ColorKey key{};
    store->Surface->GetColorKey(DDCKEY_SRCBLT, &key);
    EXPECT_EQ(key.low, r.key) << r.index;
    SurfaceCaps caps;
    store->Surface->GetCaps(&caps);
    EXPECT_EQ((caps.caps & DDSCAPS_3DDEVICE) != 0, r.drawValid == 1);
    EXPECT_EQ((caps.caps2 & DDSCAPS2_TEXTUREMANAGE) != 0, r.drawValid == 0);
    EXPECT_EQ(Texel(graph, 0, 7, 7), 0u);  // filled with 0 when made
  }
}

TEST(Direct3DGraph, PixelsFillsAndLocksFollowTheTexturesFormat) {
  LibrarySession lib(Direct3DSession());
  ASSERT_EQ(lib.Start(), 0);
  g_DrawState.TransColor = 0;  // the default (a mode change keeps what an earlier test set)
  ColorData grey{};
  SetupColorDataByte8(&grey);
  const Image orange(2, 1, kRgb24, [](int x, int) { return x == 0 ? 0xFF8000u : 0u; });
  const Image grey200(2, 1, grey, [](int x, int) { return x == 0 ? 200u : 0u; });
  const Image argb(2, 1, Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                   [](int x, int) { return x == 0 ? 0x80FF8000u : 0u; });
  const Image magenta(2, 1, Masks(16, 0xF800, 0x07E0, 0x001F),
                      [](int x, int) { return x == 0 ? 0xF81Fu : 0u; });
  struct Row {
    const Image& image;
    int alpha, test, bits;
    uint32_t first;  // the second pixel is black: 0 in every row (key to alpha where alpha is)
  };
  for (const Row& r : {Row{orange, 0, 1, 16, 0xFE00}, Row{orange, 0, 0, 16, 0xFC00},
                       Row{grey200, 0, 0, 16, 0xCE59}, Row{argb, 1, 0, 32, 0x80FF8000},
                       Row{magenta, 0, 0, 32, 0x00F800F8}})
    for (const bool refuseLock : {false, true}) {
      const HandleValue graph = Graph(2, 1, r.alpha, r.test, r.bits);
      if (refuseLock) ddtest::FailNextLock(DDERR_SURFACEBUSY);
      ASSERT_EQ(Load(graph, r.image), 0);
      EXPECT_EQ(Texel(graph, 0, 0, 0), r.first) << std::hex << r.first << refuseLock;
      EXPECT_EQ(Texel(graph, 0, 1, 0), 0u) << std::hex << r.first << refuseLock;
    }
  for (const auto& [bits, value] : {std::pair{16, 0x8F80u}, std::pair{32, 0x80FF8000u}}) {
    const HandleValue graph = Graph(4, 4, 1, 0, bits);
    ASSERT_EQ(FillGraphColor(graph, 255, 128, 0, 128), 0);
    EXPECT_EQ(Texel(graph, 0, 3, 3), value);
  }
  // A 16-bit texture on the 32-bit display: the lock addresses 2 bytes a pixel.
  const HandleValue graph = Graph(8, 8, 0, 0, 16);
  int32_t pitch = 0;
  void* pointer = nullptr;
  const ColorData* format = nullptr;
  const RECT cell{3, 2, 4, 3};
  const HandleValue piece = GetGraphRecord(graph)->Pieces[0];
  ASSERT_EQ(LockSurface3DTexture(piece, &pitch, &pointer, 1, &cell, &format), 0);
  EXPECT_EQ(format, GetTextureFormatDataB(0));
  *static_cast<uint16_t*>(pointer) = 0x1234;
  EXPECT_EQ(UnlockSurface3DTexture(piece, &cell), 0);
  EXPECT_EQ(Texel(graph, 0, 3, 2), 0x1234u);
}

// (x, y) of the division tests' source as a 24-bit pixel, and as it lands in an X8:8:8 texture.
uint32_t Pattern(int x, int y) {
  return uint32_t(x) << 16 | uint32_t(y) << 8 | 0x5A;
}
uint32_t PatternTexel(int x, int y) {
  return 0xFF000000u | Pattern(x, y);
}

// Per piece: position in the graph, size, position in its store, store size.
struct Expected {
  int x, y, w, h, sx, sy, tw, th;
};

// The graph's pieces are the expected ones and each texel is texel(x, y) of the graph.
void CheckPieces(HandleValue graph, const std::vector<Expected>& pieces,
                 const std::function<uint32_t(int, int)>& texel) {
  ASSERT_EQ(GetGraphRecord(graph)->PieceCount, int(pieces.size()));
  for (size_t i = 0; i < pieces.size(); ++i) {
    const Surface3DRecord* p = test::Piece(graph, int(i));
    const SurfaceDataRecord* store = test::PieceStore(graph, int(i));
    const Expected& e = pieces[i];
    EXPECT_EQ(std::tie(p->GraphX, p->GraphY, p->Width, p->Height, p->StoreX, p->StoreY,
                       store->Width, store->Height),
              std::make_tuple(e.x, e.y, e.w, e.h, e.sx, e.sy, e.tw, e.th))
        << i;
    for (int y = 0; y < e.h; ++y)
      for (int x = 0; x < e.w; ++x) ASSERT_EQ(Texel(graph, int(i), x, y), texel(e.x + x, e.y + y));
  }
}

TEST(Direct3DGraph, GraphsAreDividedIntoTexturesAndDerivedFromThem) {
  LibrarySession lib(Direct3DSession());
  d3dtest::SetDevices(test::DevicesWith(
      [](D3DDEVICEDESC7& d) { d.dwMaxTextureWidth = d.dwMaxTextureHeight = 64; }));
  ASSERT_EQ(lib.Start(), 0);
  const HandleValue parent = Graph(100, 70, 0, 0, 32);
  ASSERT_EQ(Load(parent, Image(100, 70, kRgb24, Pattern)), 0);
  CheckPieces(parent,
              {{0, 0, 64, 64, 0, 0, 64, 64},
               {64, 0, 36, 64, 0, 0, 64, 64},
               {0, 64, 64, 6, 0, 0, 64, 8},
               {64, 64, 36, 6, 0, 0, 64, 8}},
              PatternTexel);
  EXPECT_EQ(Graph(100, 70, 0, 0, 32, 1), -1);  // a draw target must be one texture

  const HandleValue derived = DeriveGraphRect(60, 60, 10, 8, parent);
  const std::vector<Expected> parts = {{0, 0, 4, 4, 60, 60, 64, 64},
                                       {4, 0, 6, 4, 0, 60, 64, 64},
                                       {0, 4, 4, 4, 60, 0, 64, 8},
                                       {4, 4, 6, 4, 0, 0, 64, 8}};
  CheckPieces(derived, parts, [](int x, int y) { return PatternTexel(60 + x, 60 + y); });
  for (int i = 0; i < 4; ++i) EXPECT_EQ(test::PieceStore(derived, i)->RefCount, 2u);
  // A rectangle written across the parent's four textures shows in the derived graph, which
  // keeps its pixels when the parent goes.
  const Image dot(4, 4, kRgb24, [](int, int) { return 0x123456u; });
  ASSERT_EQ(SetGraphImageDIB(nullptr, nullptr, nullptr, nullptr, 0, &dot.image, nullptr, 0, 0, 4, 4,
                             62, 62, parent, 0),
            0);
  ASSERT_EQ(DeleteGraphHandle(parent, 0), 0);
  CheckPieces(derived, parts, [](int x, int y) {
    return x >= 2 && x < 6 && y >= 2 && y < 6 ? 0xFF123456u : PatternTexel(60 + x, 60 + y);
  });
}

TEST(Direct3DGraph, AtMost64Textures) {
  LibrarySession lib(Direct3DSession());
  d3dtest::SetDevices(
      test::DevicesWith([](D3DDEVICEDESC7& d) { d.dwMaxTextureWidth = d.dwMaxTextureHeight = 8; }));
  ASSERT_EQ(lib.Start(), 0);
  const HandleValue graph = Graph(64, 64, 0, 0, 16);
  ASSERT_GE(graph, 0);
  EXPECT_EQ(GetGraphRecord(graph)->PieceCount, 64);
  const int live = ddtest::LiveSurfaceCount();
  EXPECT_EQ(Graph(72, 72, 0, 0, 16), -1);
  EXPECT_EQ(ddtest::LiveSurfaceCount(), live);
}

TEST(Direct3DGraph, OnlyDrawValidTexturesAreLostAndShowThePoisonUntilRewritten) {
  LibrarySession lib(Direct3DSession());
  ASSERT_EQ(lib.Start(), 0);
  const HandleValue large = Graph(640, 480, 0, 0, 32);  // one texture on the default device
  CheckPieces(large, {{0, 0, 640, 480, 0, 0, 1024, 512}}, [](int, int) { return 0u; });
  const Image source(4, 4, kRgb24, Pattern);
  const HandleValue managed = Graph(4, 4, 0, 0, 32), target = Graph(4, 4, 0, 0, 32, 1);
  ASSERT_EQ(Load(managed, source), 0);
  ASSERT_EQ(Load(target, source), 0);
  // A desktop mode change and back: video memory loses its contents.
  SetDesktop(1920, 1080, PixelFormatRGB565());
  SetDesktop(1920, 1080, PixelFormatXRGB8888());
  EXPECT_EQ(G_D3D_RestoreGraph(GetGraphRecord(managed)), 0);
  EXPECT_EQ(G_D3D_RestoreGraph(GetGraphRecord(target)), -1);
  EXPECT_EQ(Texel(managed, 0, 1, 2), PatternTexel(1, 2));
  EXPECT_EQ(Texel(target, 0, 1, 2), 0xCDCDCDCDu);
  EXPECT_EQ(G_D3D_RestoreGraph(GetGraphRecord(target)), 0);
  ASSERT_EQ(Load(target, source), 0);
  EXPECT_EQ(Texel(target, 0, 1, 2), PatternTexel(1, 2));
}

}  // namespace
}  // namespace zq::gfx
