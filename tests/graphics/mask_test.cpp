#include "graphics/mask.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <tuple>
#include <utility>

#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/library_init.h"
#include "support/library_fixture.h"
#include "target_pixels.h"

namespace zq::gfx {
namespace {

using namespace zq::test;

constexpr uint32_t kDrawn = 0x00ABCDEF;

// Never 0, so no old pixel looks like the transparent colour.
uint32_t Old(int x, int y) {
  return 0x00010101u + (uint32_t(x * 7) & 0xFF) * 0x10000u + (uint32_t(y * 3) & 0xFF) * 0x100u;
}

// Protects every pixel left of x = 320.
void ProtectLeftHalf() {
  int32_t pitch = 0;
  uint8_t* pattern = GetMaskPattern(&pitch);
  ASSERT_NE(pattern, nullptr);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 320; ++x) pattern[y * pitch + x] = uint8_t(1 + x % 200);
}

// What a twin would do while the mask is active: draw into the scratch.
void DrawIntoScratch(const std::function<uint32_t(int, int)>& value) {
  if (MEMIMG* image = GetMaskImage())
    FillImage(*image, value);
  else
    FillSurface(GetMaskSurface(), value);
}

uint32_t ScratchPixel(int x, int y) {
  if (MEMIMG* image = GetMaskImage()) return ImagePixel(*image, x, y);
  return GetMaskSurface()->TestGetPixel(x, y);
}

// MaskLayerExists, IsMaskEnabled and the draw state's MaskActive.
std::tuple<int, int, int> MaskState() {
  return {MaskLayerExists(), IsMaskEnabled(), g_DrawState.MaskActive};
}

TEST(MaskLayer, WithoutAMaskScreenTheFlagCannotChangeAndNoHandleIsLive) {
  LibrarySession lib({.bits = 32});
  EXPECT_EQ(SetMaskEnabled(1), -1);
  EXPECT_EQ(SetMaskEnabled(0), -1);
  EXPECT_EQ(MaskState(), std::tuple(0, 1, 0));
  EXPECT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  EXPECT_EQ(GetDrawScreenHandle(), kDrawScreenBack);
  EXPECT_EQ(IsMaskEnabled(), 1);
  EXPECT_EQ(GetMaskImage(), nullptr);
  EXPECT_EQ(GetMaskSurface(), nullptr);
  // The bracket without a scratch touches nothing.
  FillTarget(Old);
  EXPECT_EQ(BeginMaskedDraw(0, 0, 640, 480), 0);
  EXPECT_EQ(EndMaskedDraw(0, 0, 640, 480), 0);
  EXPECT_EQ(TargetPixel(5, 5), Old(5, 5));
  EXPECT_EQ(DeleteAllMaskHandles(), 0);
  for (const HandleValue h :
       {-1, MakeHandleValue(HandleKind::kMask, 0, 0), MakeHandleValue(HandleKind::kGraph, 0, 0),
        kMaskHandleKind | 512, kMaskHandleKind | 0xFFFF})
    EXPECT_EQ(DeleteMaskHandle(h), -1) << std::hex << h;
}

TEST(MaskLayer, PatternPitchIsTheWidthRoundedUpToFourAndSizeZeroCountsAs640By480) {
  LibrarySession lib({.bits = 32});
  g_DD.ScreenWidth = g_DD.ScreenHeight = 0;
  EXPECT_EQ(CreateMaskLayer(1, 0), 0);
  int32_t pitch = 0;
  EXPECT_NE(GetMaskPattern(&pitch), nullptr);
  EXPECT_EQ(std::pair(pitch, g_MaskScreen.Height), std::pair(640, 480));
  // A pattern without a scratch is no mask screen.
  EXPECT_EQ(MaskState(), std::tuple(0, 1, 0));
  ASSERT_EQ(RunScreenModeChange(642, 480, 32, 60), 0);
  ASSERT_EQ(CreateMaskScreen(), 0);
  EXPECT_NE(GetMaskPattern(&pitch), nullptr);
  EXPECT_EQ(std::tuple(pitch, g_MaskScreen.Width, g_MaskScreen.Height, GetMaskImage()->Width),
            std::tuple(644, 642, 480, 642));
  EXPECT_EQ(g_DrawState.MaskActive, 1);
  // A fresh pattern refuses nothing.
  const uint8_t* p = GetMaskPattern(nullptr);
  EXPECT_EQ(std::count(p, p + 644 * 480, 0), 644 * 480);
}

TEST(MaskLayer, FlagsFollowSetMaskEnabledDeletionAndTheGraphicsEnd) {
  LibrarySession lib({.bits = 32});
  ASSERT_EQ(CreateMaskScreen(), 0);
  EXPECT_EQ(MaskState(), std::tuple(1, 1, 1));
  EXPECT_EQ(SetMaskEnabled(0), 0);
  EXPECT_EQ(MaskState(), std::tuple(1, 0, 0));
  EXPECT_EQ(SetMaskEnabled(1), 0);
  EXPECT_EQ(MaskState(), std::tuple(1, 1, 1));
  // The origin is the draw screen's own while the scratch takes the drawing.
  const platform::RECT& o = g_DrawState.DrawOrigin;
  EXPECT_EQ(std::tuple(o.left, o.right, o.bottom), std::tuple(0, 640, 480));
  // Selecting a draw screen keeps the flag.
  EXPECT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  EXPECT_EQ(MaskState(), std::tuple(1, 1, 1));

  EXPECT_EQ(DeleteMaskLayer(), 0);
  EXPECT_EQ(MaskState(), std::tuple(0, 0, 0));
  EXPECT_EQ(GetMaskPattern(nullptr), nullptr);
  EXPECT_EQ(GetMaskImage(), nullptr);
  EXPECT_EQ(g_MaskScreen.MaskScreenFlag, 0);
  EXPECT_EQ(SetMaskEnabled(1), -1);
  // A mode change ends the graphics manager, which takes the mask screen with it.
  ASSERT_EQ(CreateMaskScreen(), 0);
  ASSERT_EQ(RunScreenModeChange(640, 480, 16, 60), 0);
  EXPECT_EQ(MaskState(), std::tuple(0, 1, 0));
  EXPECT_EQ(GetMaskPattern(nullptr), nullptr);
  ASSERT_EQ(CreateMaskScreen(), 0);
  EXPECT_EQ(GetMaskImage()->ColorType, kMemImgRgb565);
}

TEST(MaskLayer, ReleaseKeepsThePatternAndStopsTheBracketUntilRecreated) {
  LibrarySession lib({.bits = 32});
  ASSERT_EQ(CreateMaskScreen(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ProtectLeftHalf();
  EXPECT_EQ(ReleaseMaskSurfaceObjects(), 0);
  EXPECT_EQ(GetMaskImage(), nullptr);
  EXPECT_EQ(std::pair(IsMaskEnabled(), g_DrawState.MaskActive), std::pair(1, 0));
  ASSERT_NE(GetMaskPattern(nullptr), nullptr);
  FillTarget(Old);
  EXPECT_EQ(BeginMaskedDraw(0, 0, 640, 480), 0);
  EXPECT_EQ(EndMaskedDraw(0, 0, 640, 480), 0);
  EXPECT_EQ(TargetPixel(100, 100), Old(100, 100));

  EXPECT_EQ(RecreateMaskScreen(), 0);
  ASSERT_NE(GetMaskImage(), nullptr);
  EXPECT_EQ(g_DrawState.MaskActive, 1);
  int32_t pitch = 0;
  const uint8_t* p = GetMaskPattern(&pitch);
  EXPECT_EQ(p[10 * pitch + 5], 1 + 5);
  EXPECT_EQ(p[10 * pitch + 400], 0);
}

TEST(MaskLayer, ScratchFailuresAreLoggedAndLeaveNoMaskScreen) {
  {
    LibrarySession lib({.bits = 32, .softwareScreen = false});
    platform::ddtest::FailNextCreateSurface(platform::DDERR_OUTOFMEMORY);
    EXPECT_EQ(CreateMaskScreen(), -1);
    EXPECT_EQ(std::pair(MaskLayerExists(), g_DrawState.MaskActive), std::pair(0, 0));
    EXPECT_EQ(GetMaskPattern(nullptr), nullptr);
    EXPECT_EQ(SetMaskEnabled(1), -1);
    lib.End();
    EXPECT_NE(lib.Log().find("マスク用サーフェスの作成に失敗しました"), std::string::npos);
  }
  {
    LibrarySession lib({.bits = 32, .softwareScreen = false});
    // The pattern made by the same call stays when only the scratch fails.
    platform::ddtest::FailNextCreateSurface(platform::DDERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(CreateMaskLayer(1, 1), -1);
    EXPECT_NE(GetMaskPattern(nullptr), nullptr);
    EXPECT_EQ(GetMaskSurface(), nullptr);
    EXPECT_EQ(g_DrawState.MaskActive, 0);
  }
}

// ---- The bracket, on both kinds of screen ---------------------------------------------------

class MaskBracket : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    lib_ =
        std::make_unique<LibrarySession>(LibraryOptions{.bits = 32, .softwareScreen = GetParam()});
    ASSERT_EQ(CreateMaskScreen(), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    ASSERT_EQ(g_DrawState.MaskActive, 1);
    FillTarget(Old);
  }
  void TearDown() override { lib_.reset(); }
  std::unique_ptr<LibrarySession> lib_;
};

TEST_P(MaskBracket, PrepareCopiesTheClippedRectangleIntoTheScratch) {
  DrawIntoScratch([](int, int) { return 0x00777777u; });
  ASSERT_EQ(ApplyDrawArea(200, 60, 300, 100), 0);
  EXPECT_EQ(BeginMaskedDraw(100, 50, 500, 150), 0);
  for (int y = 40; y < 160; y += 3)
    for (int x = 90; x < 510; x += 7) {
      const bool inside = x >= 200 && x < 300 && y >= 60 && y < 100;
      ASSERT_EQ(ScratchPixel(x, y), inside ? Old(x, y) : 0x00777777u) << x << "," << y;
    }
  EXPECT_EQ(ScratchPixel(200, 60), Old(200, 60));
  EXPECT_EQ(ScratchPixel(299, 99), Old(299, 99));
  EXPECT_EQ(ScratchPixel(300, 99), 0x00777777u);
  EXPECT_EQ(ScratchPixel(299, 100), 0x00777777u);
}

TEST_P(MaskBracket, PatternKeepsTheProtectedPixelsAndTransparentDrawsDoNotLand) {
  ProtectLeftHalf();
  EXPECT_EQ(BeginMaskedDraw(100, 50, 500, 150), 0);
  // The twin paints the whole scratch; column 400 in the transparent colour.
  DrawIntoScratch([](int x, int) { return x == 400 ? 0u : kDrawn; });
  EXPECT_EQ(EndMaskedDraw(100, 50, 500, 150), 0);
  for (int y = 0; y < 480; y += 1)
    for (int x = 0; x < 640; x += (y % 50 == 0 ? 1 : 9)) {
      const bool inRect = x >= 100 && x < 500 && y >= 50 && y < 150;
      const uint32_t want = inRect && x >= 320 && x != 400 ? kDrawn : Old(x, y);
      ASSERT_EQ(TargetPixel(x, y), want) << x << "," << y;
    }
  EXPECT_EQ(TargetPixel(319, 100), Old(319, 100));
  EXPECT_EQ(TargetPixel(320, 100), kDrawn);
  EXPECT_EQ(TargetPixel(400, 100), Old(400, 100));
  EXPECT_EQ(TargetPixel(499, 149), kDrawn);
  EXPECT_EQ(TargetPixel(500, 149), Old(500, 149));
}

TEST_P(MaskBracket, RectanglesOutsideTheDrawAreaOrReversedCopyNothing) {
  ASSERT_EQ(ApplyDrawArea(0, 0, 100, 100), 0);
  for (const platform::RECT r : {platform::RECT{200, 200, 300, 300}, {80, 80, 20, 20}}) {
    DrawIntoScratch([](int, int) { return 0x00777777u; });
    EXPECT_EQ(BeginMaskedDraw(r.left, r.top, r.right, r.bottom), 0);
    EXPECT_EQ(ScratchPixel(50, 50), 0x00777777u);
    EXPECT_EQ(ScratchPixel(250, 250), 0x00777777u);
    DrawIntoScratch([](int, int) { return kDrawn; });
    EXPECT_EQ(EndMaskedDraw(r.left, r.top, r.right, r.bottom), 0);
    EXPECT_EQ(TargetPixel(250, 250), Old(250, 250));
    EXPECT_EQ(TargetPixel(50, 50), Old(50, 50));
  }
}

TEST_P(MaskBracket, GraphTargetLargerThanTheMaskIsClippedToIt) {
  // On a hardware screen a system-memory graph store is drawn through a view.
  SetCreateOptionD(1);
  SetCreateOptionFlag(1);
  const HandleValue graph = CreateEmptyGraph(900, 600);
  SetCreateOptionFlag(0);
  SetCreateOptionD(0);
  ASSERT_GE(graph, 0);
  ASSERT_EQ(SelectDrawScreen(graph), 0);
  ASSERT_NE(g_DD.DrawTargetMemImg, nullptr);
  ASSERT_EQ(g_DrawState.DrawArea.right, 900);
  FillTarget(Old);
  ProtectLeftHalf();
  EXPECT_EQ(BeginMaskedDraw(300, 400, 900, 600), 0);
  DrawIntoScratch([](int, int) { return kDrawn; });
  EXPECT_EQ(EndMaskedDraw(300, 400, 900, 600), 0);
  EXPECT_EQ(TargetPixel(310, 410), Old(310, 410));
  EXPECT_EQ(TargetPixel(330, 410), kDrawn);
  EXPECT_EQ(TargetPixel(639, 479), kDrawn);
  // Beyond the mask screen nothing is copied back.
  EXPECT_EQ(TargetPixel(640, 479), Old(640, 479));
  EXPECT_EQ(TargetPixel(639, 480), Old(639, 480));
  EXPECT_EQ(TargetPixel(899, 599), Old(899, 599));
  EXPECT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
}

// Two bytes a pixel: the marks and the copies work on 16-bit screens of both kinds.
TEST(MaskBracket16, ProtectedHalfKeptOnSixteenBitScreens) {
  for (const bool software : {true, false}) {
    LibrarySession lib({.bits = 16, .softwareScreen = software, .windowed = software});
    ASSERT_EQ(GetScreenColorBitDepth(), 16);
    if (!software) {
      ASSERT_EQ(g_DD.ScreenColorBitDepth, 16);
    }
    ASSERT_EQ(CreateMaskScreen(), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    auto old16 = [](int x, int y) { return uint32_t(0x0821 + x * 3 + y * 7) & 0xFFFF; };
    FillTarget(old16);
    ProtectLeftHalf();
    EXPECT_EQ(BeginMaskedDraw(300, 0, 340, 10), 0);
    DrawIntoScratch([](int x, int) { return x == 330 ? 0u : 0xF81Fu; });
    EXPECT_EQ(EndMaskedDraw(300, 0, 340, 10), 0);
    for (int x = 296; x < 344; ++x) {
      const bool drawn = x >= 320 && x < 340 && x != 330;
      ASSERT_EQ(TargetPixel(x, 5), drawn ? 0xF81Fu : old16(x, 5)) << software << " " << x;
    }
    EXPECT_EQ(TargetPixel(325, 10), old16(325, 10));
  }
}

INSTANTIATE_TEST_SUITE_P(Screens, MaskBracket, ::testing::Values(true, false),
                         [](const auto& p) { return p.param ? "Software" : "Hardware"; });

TEST(MaskBracketHardware, FrontScreenInAWindowIsReadAndWrittenAtTheClientOrigin) {
  LibrarySession lib({.bits = 32, .softwareScreen = false});
  platform::InjectMove(100, 60);
  ProcessMessage();
  ASSERT_EQ(CreateMaskScreen(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  ASSERT_EQ(g_DD.DrawTargetSurface, g_DD.PrimarySurface);
  platform::DirectDrawSurface* primary = g_DD.PrimarySurface;
  FillSurface(primary, Old);
  ProtectLeftHalf();
  EXPECT_EQ(BeginMaskedDraw(300, 10, 360, 40), 0);
  // The scratch holds the client rectangle at client coordinates.
  EXPECT_EQ(ScratchPixel(300, 10), Old(400, 70));
  EXPECT_EQ(ScratchPixel(359, 39), Old(459, 99));
  DrawIntoScratch([](int, int) { return kDrawn; });
  EXPECT_EQ(EndMaskedDraw(300, 10, 360, 40), 0);
  EXPECT_EQ(primary->TestGetPixel(100 + 319, 60 + 20), Old(419, 80));
  EXPECT_EQ(primary->TestGetPixel(100 + 320, 60 + 20), kDrawn);
  EXPECT_EQ(primary->TestGetPixel(100 + 359, 60 + 39), kDrawn);
  EXPECT_EQ(primary->TestGetPixel(100 + 360, 60 + 39), Old(460, 99));
  EXPECT_EQ(primary->TestGetPixel(320, 20), Old(320, 20));
}

TEST(MaskBracketHardware, FailedScratchLockDropsTheDrawRatherThanTheMask) {
  LibrarySession lib({.bits = 32, .softwareScreen = false});
  ASSERT_EQ(CreateMaskScreen(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  FillTarget(Old);
  ProtectLeftHalf();
  EXPECT_EQ(BeginMaskedDraw(0, 0, 640, 480), 0);
  DrawIntoScratch([](int, int) { return kDrawn; });
  platform::ddtest::FailNextLock(platform::DDERR_SURFACEBUSY);
  EXPECT_EQ(EndMaskedDraw(0, 0, 640, 480), 0);
  EXPECT_EQ(TargetPixel(10, 10), Old(10, 10));
  EXPECT_EQ(TargetPixel(500, 10), Old(500, 10));
}

}  // namespace
}  // namespace zq::gfx
