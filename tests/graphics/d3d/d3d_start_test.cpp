// Direct3D start-up: the enumerations, the texture-format table and its log, the work texture,
// the failures, and what a mode change and a release with re-acquisition keep.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "d3d_session.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_front.h"
#include "graphics/draw_state.h"
#include "graphics/texture_format.h"
#include "platform/win/window.h"

namespace zq::gfx {
namespace {

using namespace platform;
using test::Direct3DSession;
using test::LibrarySession;

const PixelFormat kX555 = TestFormat(16, 0x7C00, 0x03E0, 0x001F);
const PixelFormat kNone{};

PixelFormat Flagged(uint32_t flags, uint32_t bits, uint32_t mask = 0, uint32_t fourCC = 0) {
  return PixelFormat{sizeof(PixelFormat), flags, fourCC, bits, mask, mask >> 4, mask >> 8, 0};
}

TEST(TextureFormat, EveryRequestChoosesItsEntryAndBadIndexesAreEmpty) {
  struct Row {
    int alpha, test, bits, drawValid, index;
  };
  const Row rows[] = {{0, 0, 16, 0, 0}, {1, 0, 32, 0, 3}, {0, 1, 16, 0, 4}, {1, 1, 16, 0, 2},
                      {0, 0, 32, 1, 7}, {0, 1, 16, 1, 8}, {2, 0, 16, 1, 6}, {2, 0, 16, 0, 2},
                      {0, 2, 32, 0, 5}, {0, 0, 24, 0, 1}, {1, 0, 16, 1, 8}};
  for (const Row& r : rows) {
    const SurfaceOptions o{
        0, uint8_t(r.alpha), uint8_t(r.drawValid), 0, uint8_t(r.test), uint8_t(r.bits), 0, 0};
    EXPECT_EQ(GetTextureFormatIndex(&o), r.index) << r.alpha << r.test << r.bits << r.drawValid;
    EXPECT_EQ(SelectTextureFormat(r.alpha, r.test, r.bits != 16, r.drawValid),
              GetTextureFormatDataB(r.index));
  }
  for (int bad : {9, -1, 1 << 20}) {
    EXPECT_EQ(GetTextureFormatDataB(bad)->ColorBitDepth, 0);
    EXPECT_EQ(GetTextureFormatData(bad)->rgbBitCount, 0u);
  }
}

// An entry by one letter: 6 5:6:5, 5 X1:5:5:5, 4 4:4:4:4, 1 1:5:5:5, 8 8:8:8:8, X X8:8:8:8, - none.
const PixelFormat& Coded(char c) {
  const PixelFormat* const formats[] = {&k565, &kX555, &k4444, &k1555, &kA8888, &kX8888};
  const size_t i = std::string_view("65418X").find(c);
  return i == std::string_view::npos ? kNone : *formats[i];
}

TEST(TextureFormat, TheTableIsFilledFromTheEnumerationThenInTableOrder) {
  struct Row {
    const char* what;
    std::vector<PixelFormat> formats;
    bool fullScreen555;   // else a 16-bit window on the 32-bit desktop
    const char* entries;  // 0 to 8, coded
  };
  const Row rows[] = {
      {"5:5:5 screen keeps 5:5:5", {k565, kX555}, true, "55----55-"},
      {"32-bit screen keeps the first", {k565, kX555}, false, "66----66-"},
      {"every alpha format", {k565, k4444, k1555, kA8888}, false, "664818668"},
      {"no 1:5:5:5", {k565, k4444, kA8888}, false, "664848668"},
      {"no 32-bit alpha", {k565, k4444, k1555, kX8888}, false, "6X44146X4"},
      {"luminance, bump, FourCC and alpha-only are passed over",
       {Flagged(PF_LUMINANCE | PF_RGB, 16, 0xF000), Flagged(PF_BUMPDUDV | PF_RGB, 16, 0xF000),
        Flagged(PF_RGB, 16, 0xF000, MakeFourCC('Y', 'U', 'Y', '2')),
        Flagged(PF_ALPHA | PF_RGB | PF_ALPHAPIXELS, 16, 0xF000), kX555, k565},
       false,
       "55----55-"},
  };
  for (const Row& r : rows) {
    LibrarySession lib(Direct3DSession(16, !r.fullScreen555));
    if (r.fullScreen555) SetDesktop(1920, 1080, PixelFormatRGB555());
    d3dtest::SetTextureFormats(r.formats);
    ASSERT_EQ(lib.Start(), 0);
    for (int i = 0; i < 9; ++i)
      EXPECT_EQ(std::memcmp(GetTextureFormatData(i), &Coded(r.entries[i]), sizeof(PixelFormat)), 0)
          << r.what << " " << i;
  }
}

TEST(Direct3DStart, DevicesAndZBufferFormatsAreChosenByTheirRules) {
  const DeviceGuid rgb = IID_IDirect3DRGBDevice, hal = IID_IDirect3DHALDevice,
                   tnl = IID_IDirect3DTnLHalDevice;
  struct Device {
    DeviceGuid id;
    uint32_t depths, marker;
  };
  struct Row {
    std::vector<Device> devices;
    bool fullScreen;  // a 16-bit full screen renders at 16 bits, a window at the desktop's 32
    uint32_t kept;
  };
  const uint32_t both = DDBD_16 | DDBD_32;
  const Row rows[] = {
      {{{hal, both, 256}, {tnl, both, 512}}, false, 512},
      {{{tnl, both, 512}, {hal, both, 256}}, false, 512},
      {{{hal, both, 256}, {hal, both, 1024}}, false, 1024},
      {{{hal, both, 256}, {rgb, both, 1024}}, false, 256},
      {{{hal, both, 256}, {tnl, DDBD_16, 1024}}, false, 256},
      {{{hal, DDBD_32, 256}, {tnl, DDBD_16, 1024}}, true, 1024},
  };
  for (const Row& r : rows) {
    LibrarySession lib(Direct3DSession(16, !r.fullScreen));
    std::vector<d3dtest::DeviceEntry> list;
    for (const Device& d : r.devices) {
      list.push_back(d3dtest::DefaultDevices()[size_t(d.id) - 1]);
      list.back().desc.dwDeviceRenderBitDepth = d.depths;
      list.back().desc.dwMaxTextureWidth = d.marker;
    }
    d3dtest::SetDevices(list);
    // Stencil, 24-bit, luminance and FourCC Z formats before the one pure 16-bit format.
    d3dtest::SetZBufferFormats({Flagged(PF_ZBUFFER | PF_STENCILBUFFER, 16, 0xFF00),
                                Flagged(PF_ZBUFFER, 24, 0xFF00),
                                Flagged(PF_ZBUFFER | PF_LUMINANCE, 16),
                                Flagged(PF_ZBUFFER, 16, 0, MakeFourCC('Z', '1', '6', ' ')),
                                Flagged(PF_ZBUFFER, 16, 0xFFF0), Flagged(PF_ZBUFFER, 16, 0x0F00)});
    ASSERT_EQ(lib.Start(), 0);
    EXPECT_EQ(GetKeptDeviceDesc()->dwMaxTextureWidth, r.kept);
    EXPECT_EQ(GetZBufferPixelFormat(16)->redMask, 0xFFF0u);
  }
}

TEST(Direct3DStart, EachFailureIsLoggedAndLeavesNothingBehind) {
  using C = d3dtest::Call;
  const std::pair<int, const char*> rows[] = {
      {int(C::QueryInterface), "Direct3Dオブジェクトの作成に失敗しました"},
      {int(C::EnumDevices), "現在の画面モードで使用できる描画デバイスが見つかりませんでした"},
      {int(C::EnumZBufferFormats), "使用可能なＺバッファが見つかりませんでした"},
      {int(C::CreateDevice), "Ｄｉｒｅｃｔ３Ｄデバイスの作成に失敗しました"},
      {int(C::EnumTextureFormats), "使用可能なテクスチャフォーマットが見つかりませんでした"},
      {-1, "使用可能なテクスチャフォーマットが見つかりませんでした"},  // only 32-bit formats
  };
  for (const auto& [call, line] : rows) {
    LibrarySession lib(Direct3DSession());
    if (call < 0)
      d3dtest::SetTextureFormats({kX8888, kA8888});
    else
      d3dtest::FailNext(C(call), DDERR_GENERIC);
    ASSERT_EQ(lib.Start(), 0) << line;  // not fatal
    EXPECT_NE(lib.Log().find(line), std::string::npos) << line;
    EXPECT_NE(lib.Log().find("３Ｄグラフィック描画機能は使用しません"), std::string::npos);
    EXPECT_EQ(g_D3D.Object, nullptr);
    EXPECT_EQ(GetCurrentDeviceSlotWord(), 0);
    EXPECT_EQ(d3dtest::GetCounters().liveObjects + d3dtest::GetCounters().liveDevices, 0);
    EXPECT_EQ(GetDirect3DObject(), -1);  // nothing to come back to
  }
}

TEST(Direct3DStart, TheTableIsLoggedAndTheWorkTextureMadeOnlyForFewStages) {
  int liveWith[2] = {};
  for (const uint16_t stages : {8, 3}) {
    LibrarySession lib(Direct3DSession());
    d3dtest::SetDevices(
        test::DevicesWith([&](D3DDEVICEDESC7& d) { d.wMaxTextureBlendStages = stages; }));
    ASSERT_EQ(lib.Start(), 0);
    liveWith[stages < 4] = ddtest::LiveSurfaceCount();
    PixelFormat f{};
    if (stages < 4) {
      ASSERT_NE(GetD3DWorkTexture(), nullptr);
      GetD3DWorkTexture()->GetPixelFormat(&f);
      EXPECT_EQ(std::memcmp(&f, GetTextureFormatData(8), sizeof f), 0);
      continue;
    }
    EXPECT_EQ(GetD3DWorkTexture(), nullptr);
    const std::string log = lib.Log();
    for (const char* line :
         {"テクスチャピクセルフォーマット\r\n", "\t通常グラフィック用\r\n",
          "\t\t BIT:16  RED:5  GREEN:6  BLUE:5 \t\t RED:00f800 GREEN:0007e0 BLUE:00001f \r\n",
          "\t\t BIT:32  RED:8  GREEN:8  BLUE:8 \t\t RED:ff0000 GREEN:00ff00 BLUE:0000ff \r\n",
          "\tアルファチャンネル付きグラフィック用\r\n",
          "\t\t BIT:16  ALPHA:4  RED:4  GREEN:4  BLUE:4 \t\t ALPHA:0000f000 RED:00000f00 "
          "GREEN:000000f0 BLUE:0000000f \r\n",
          "\t\t BIT:32  ALPHA:8  RED:8  GREEN:8  BLUE:8 \t\t ALPHA:ff000000 RED:00ff0000 "
          "GREEN:0000ff00 BLUE:000000ff \r\n",
          "３Ｄグラフィック描画機能を使用します\r\n"})
      EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(liveWith[1], liveWith[0] + 1);
}

TEST(Direct3DStart, AModeChangeEnumeratesAgainAReacquisitionDoesNot) {
  test::DrawStateScope keep;  // the transparent colour set below outlives the session
  LibrarySession lib(Direct3DSession());
  ASSERT_EQ(lib.Start(), 0);
  EXPECT_EQ(d3dtest::GetCounters().enumTextureFormats, 1);
  EXPECT_EQ(GetTextureFormatDataB(2)->AM, 0xF000u);
  d3dtest::SetTextureFormats({kX555, k565});
  ASSERT_EQ(RunScreenModeChange(640, 480, 32, 60), 0);
  EXPECT_EQ(d3dtest::GetCounters().enumDevices, 2);
  EXPECT_EQ(GetTextureFormatDataB(0)->RM, 0x7C00u);
  EXPECT_EQ(GetTextureFormatDataB(2)->ColorBitDepth, 0);

  // A graph with a keyed, loaded texture and a changed blend state, then a release.
  g_DrawState.TransColor = 0xFF00FF;
  SetCreateOptionB(0);
  SetCreateColorBitDepth(16);
  const HandleValue graph = CreateGraphWithOptions(4, 4, 1, 0, 0);
  ASSERT_GE(graph, 0);
  FillGraphColor(graph, 255, 255, 255, 255);
  SetBlendMode(2, 100);
  ASSERT_EQ(ReleaseDirect3DObject(), 0);
  EXPECT_EQ(test::PieceStore(graph, 0)->Surface, nullptr);
  EXPECT_EQ(d3dtest::GetCounters().liveObjects + d3dtest::GetCounters().liveDevices, 0);

  ASSERT_EQ(GetDirect3DObject(), 0);
  EXPECT_EQ(d3dtest::GetCounters().enumDevices, 2);
  EXPECT_EQ(d3dtest::GetCounters().enumTextureFormats, 2);
  EXPECT_EQ(GetTextureFormatDataB(0)->RM, 0x7C00u);
  ASSERT_NE(test::PieceStore(graph, 0)->Surface, nullptr);
  EXPECT_EQ(test::Texel(graph, 0, 3, 3), 0u);
  ColorKey key{};
  test::PieceStore(graph, 0)->Surface->GetColorKey(DDCKEY_SRCBLT, &key);
  EXPECT_EQ(key.low, 0xFC1Fu);  // (255, 0, 255) in X1:5:5:5, the unused bit set
  EXPECT_EQ(test::RenderState(D3DRENDERSTATE_DESTBLEND), uint32_t(D3DBLEND_ONE));
  EXPECT_EQ(test::DeviceTarget(), GetPrimaryDDSurface());
}

TEST(Direct3DStart, NothingStartsOnASoftwareScreen) {
  LibrarySession lib({.start = false});
  d3dtest::SetPresent(true);
  ASSERT_EQ(lib.Start(), 0);
  EXPECT_EQ(d3dtest::GetCounters().enumDevices, 0);
  EXPECT_EQ(Is3DAvailable(), 0);
  EXPECT_EQ(GetDirect3DObject(), -1);
  EXPECT_NE(lib.Log().find("３Ｄグラフィック描画機能は使用しません"), std::string::npos);
}

}  // namespace
}  // namespace zq::gfx
