#include "graphics/library_init.h"

#include <gtest/gtest.h>

#include <tuple>

#include "base/file_access.h"
#include "base/memory.h"
#include "base/system.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_graph.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using test::LibraryOptions;
using test::LibrarySession;

class LibraryStartTest : public ::testing::TestWithParam<int> {};

TEST_P(LibraryStartTest, StartsWithASoftwareScreenAndEndsWithoutLeaks) {
  const int bits = GetParam();
  LibrarySession lib({.bits = bits});
  ASSERT_TRUE(lib.Started());
  EXPECT_EQ(GetScreenColorBitDepth(), bits);
  EXPECT_EQ(GetSoftwareScreenFlag(), 1);
  EXPECT_EQ(IsSoftwareScreenInUse(), 1);
  EXPECT_NE(GetDirectDrawObject(), nullptr);
  EXPECT_NE(GetPrimaryDDSurface(), nullptr);
  EXPECT_EQ(GetOverlayFormat(), nullptr);
  EXPECT_EQ(IsGraphicsManagerInitialised(), 1);
  EXPECT_EQ(Is3DAvailable(), 0);
  // The front buffer is the draw target: the front image of the screen's format.
  EXPECT_EQ(g_DrawState.DrawScreen, kDrawScreenFront);
  ASSERT_EQ(g_DD.DrawTargetMemImg, &g_DD.SoftFrontImage);
  EXPECT_EQ(g_DD.SoftFrontImage.ColorType, bits == 16 ? kMemImgRgb565 : kMemImgXrgb8888);
  EXPECT_EQ(g_DD.SoftFrontImage.Width, 640);
  EXPECT_EQ(g_DD.SoftFrontImage.Height, 480);
  EXPECT_EQ(g_DrawState.DrawArea.right, 640);
  EXPECT_EQ(g_DrawState.DrawArea.bottom, 480);
  EXPECT_EQ(g_DD.EndSceneBeforeDrawFlag, 1);
  // Start-up presents one cleared frame.
  EXPECT_GE(GetPresentCount(), 1u);
  // A graph on the software screen holds a MEMIMG store of the screen's depth.
  const HandleValue g = CreateEmptyGraph(16, 16);
  ASSERT_GE(g, 0);
  EXPECT_EQ(GetGraphRecord(g)->Options.ColorBitDepth, bits);
  lib.End();  // the graph is released by the shutdown
  const std::string log = lib.Log();
  EXPECT_NE(log.find("グラフィック管理系の初期化は正常に終了しました"), std::string::npos);
  EXPECT_NE(log.find("３Ｄグラフィック描画機能は使用しません"), std::string::npos);
  EXPECT_EQ(log.find("ＭＭＸ命令を使用します") != std::string::npos, base::IsMmxUsable() == 1);
  EXPECT_NE(log.find("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました"), std::string::npos);
  EXPECT_NE(log.find("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に解放されています"), std::string::npos);
  EXPECT_NE(log.find("メインサーフェスを破棄をします... 完了しました"), std::string::npos);
  EXPECT_EQ(GetDirectDrawObject(), nullptr);
  EXPECT_EQ(platform::FindWindowByClass("ZqLib"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Depths, LibraryStartTest, ::testing::Values(16, 32));

TEST(LibraryInit, HardwareSurfacesInAWindowAndFullScreen) {
  {
    LibrarySession lib({.bits = 32, .softwareScreen = false});
    ASSERT_TRUE(lib.Started());
    EXPECT_EQ(GetSoftwareScreenFlag(), 0);
    EXPECT_EQ(g_DD.DrawTargetMemImg, nullptr);
    EXPECT_EQ(g_DD.DrawTargetSurface, GetPrimaryDDSurface());
    EXPECT_EQ(IsPrimaryDrawTarget(), 1);
  }
  {
    LibrarySession lib({.bits = 16, .windowed = false});
    ASSERT_TRUE(lib.Started());
    // Full screen sets the desktop to the screen mode; the end restores it.
    EXPECT_EQ(platform::GetDesktop().width, 640);
    EXPECT_EQ(platform::GetDesktop().bitsPerPixel, 16u);
    EXPECT_EQ(IsPrimaryDrawTarget(), 0);
    lib.End();
    EXPECT_EQ(platform::GetDesktop().width, 1920);
    EXPECT_EQ(platform::GetDesktop().bitsPerPixel, 32u);
  }
}

TEST(LibraryInit, RelativeFileNamesStartFromTheStartDirectory) {
  char before[4096];
  ASSERT_EQ(base::FileAccessGetDir(before, sizeof before), 0);  // pins the directory seen first
  LibrarySession lib({.start = false});                         // enters a fresh directory
  { std::ofstream("here.bin") << "x"; }
  ASSERT_EQ(lib.Start(), 0);
  const base::FileValue file = base::FileAccessOpen("here.bin", 0, 1);
  EXPECT_NE(file, 0u);
  if (file != 0) base::FileAccessClose(file);
}

TEST(LibraryInit, RefusesASecondStartAnExistingWindowClassAndA24BitDesktop) {
  {
    LibrarySession lib;
    const size_t blocks = base::TrackedBlockCount();
    EXPECT_EQ(LibraryInit(), -1);
    EXPECT_EQ(base::TrackedBlockCount(), blocks);
  }
  for (const bool windowClass : {true, false}) {
    LibrarySession lib({.start = false});
    platform::WindowDesc desc;
    desc.className = "ZqLib";
    if (windowClass) {
      ASSERT_NE(platform::CreateMainWindow(desc), nullptr);
    } else {
      ASSERT_TRUE(platform::SetDesktop(1024, 768, platform::PixelFormatRGB888()));
      EXPECT_EQ(platform::FindWindowByClass("ZqLib"), nullptr);
    }
    EXPECT_EQ(lib.Start(), -1);
    EXPECT_EQ(IsLibraryInitialised(), 0);
    EXPECT_EQ(platform::FindWindowByClass("ZqLib") != nullptr, windowClass);
    EXPECT_EQ(base::TrackedBlockCount(), 0u);
  }
}

TEST(LibraryInit, ScreenModeChangeRefusesOtherDepthsAndKeepsTheScreen) {
  LibrarySession lib;
  g_DrawState.TransColor = 0x123456;
  const HandleValue g = CreateEmptyGraph(8, 8);
  ASSERT_GE(g, 0);
  EXPECT_EQ(RunScreenModeChange(640, 480, 24, 60), -1);
  EXPECT_EQ(RunScreenModeChange(0, 480, 16, 60), -1);
  EXPECT_EQ(GetScreenColorBitDepth(), 16);
  EXPECT_NE(GetGraphRecord(g), nullptr);  // a refused change deletes nothing
  EXPECT_EQ(RunScreenModeChange(800, 600, 32, 60), 0);
  // Every mode change deletes all graphs and keeps the transparent colour.
  EXPECT_EQ(GetGraphRecord(g), nullptr);
  EXPECT_EQ(g_DrawState.TransColor, 0x123456u);
  int w = 0, h = 0;
  QueryScreenSize(&w, &h);
  EXPECT_EQ(std::tuple(w, h, g_DD.SoftBackImage.Width, g_DD.SoftBackImage.ColorType),
            std::tuple(800, 600, 800, int(kMemImgXrgb8888)));
}

TEST(LibraryInit, QueryScreenSizeBeforeAnyModeIs640x480) {
  LibrarySession lib({.start = false});
  int w = 0, h = 0;
  EXPECT_EQ(QueryScreenSize(&w, nullptr) + QueryScreenSize(nullptr, &h), 0);
  EXPECT_EQ(std::tuple(w, h, GetScreenColorBitDepth()), std::tuple(640, 480, 16));
}

TEST(MainWindowProc, ActivationIsTrackedAndWaitingEndsOnReactivation) {
  LibrarySession lib;
  platform::InjectDeactivate();
  EXPECT_EQ(ProcessMessage(), 0);
  EXPECT_EQ(IsApplicationActive(), 0);
  platform::InjectActivate();
  // Waiting processes the activation and returns.
  EXPECT_EQ(WaitWhileInactive(), 0);
  EXPECT_EQ(IsApplicationActive(), 1);
}

// A close request, a desktop of 24 bits, or one smaller than the 640 x 480 screen: the window
// goes away and message processing ends.
TEST(MainWindowProc, CloseAndUnsuitableDesktopsEndMessageProcessing) {
  for (const auto& [width, bits] : {std::pair{0, 0u}, {1280, 24u}, {639, 32u}}) {
    LibrarySession lib;
    if (width == 0)
      platform::InjectClose();
    else
      platform::InjectDisplayModeChange(width, 1024, platform::AdapterPixelFormat(bits));
    int result = 0;
    for (int i = 0; i < 5 && result == 0; ++i) result = ProcessMessage();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(platform::FindWindowByClass("ZqLib"), nullptr);
    lib.End();
    if (width == 0) continue;
    EXPECT_NE(lib.Log().find("復元関数が登録されていないためか画面が２４ビットカラーに変更された"
                             "ため終了します"),
              std::string::npos);
    EXPECT_NE(lib.Log().find(
                  "またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します"),
              std::string::npos);
  }
}

TEST(MainWindowRect, AddsTheToolbarHeight) {
  LibrarySession lib;
  GetMainHwnd()->SetClientRect(platform::RECT{10, 20, 650, 500});
  GetMainHwnd()->SetToolbarHeight(24);
  platform::RECT r{};
  EXPECT_EQ(GetMainWindowRect(&r), 0);
  EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom), std::tuple(10, 44, 650, 524));
}

TEST(Direct3DAbsent, EveryTwinAnswersWithoutADevice) {
  LibrarySession lib;
  EXPECT_EQ(G_D3D_InitGraphics(), -1);
  EXPECT_EQ(EndCurrentScene(), -1);
  EXPECT_EQ(FlushCurrentVertexBatch(), -1);
  EXPECT_EQ(GetCurrentDeviceSlotWord(), 0);
  EXPECT_EQ(G_D3D_ResetViewport(0), -1);
  EXPECT_EQ(G_DD_ResetViewport(1), 0);
  EXPECT_EQ(G_D3D_CreateGraph(nullptr), -1);
  EXPECT_EQ(G_D3D_SetDrawTarget(kDrawScreenBack), -1);
}

TEST(DirectDrawLayer, TheClipperIsCreatedOnce) {
  LibrarySession lib;
  platform::DirectDrawClipper* first = g_DD.Clipper;
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(CreateClipperObject(), 0);
  EXPECT_EQ(CreateDirectDrawObject(), 0);
  EXPECT_EQ(g_DD.Clipper, first);
}

}  // namespace
}  // namespace zq::gfx
