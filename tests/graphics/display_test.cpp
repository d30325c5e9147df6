#include "graphics/ddraw/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/library_init.h"
#include "support/library_fixture.h"
#include "target_pixels.h"

namespace zq::gfx {
namespace {

using test::ImagePixel;
using test::LibrarySession;

// Test patterns: a value for every screen pixel, different in every row and column.
uint32_t Pattern32(int x, int y) {
  return uint32_t((x * 7) & 0xFF) << 16 | uint32_t((y * 5) & 0xFF) << 8 | uint32_t((x + y) & 0xFF);
}
uint16_t Pattern16(int x, int y) {
  return uint16_t(((x * 3) & 0x1F) << 11 | ((y * 5) & 0x3F) << 5 | ((x + y) & 0x1F));
}

void FillImage(MEMIMG& img) {
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x) {
      uint8_t* p = img.Pixels + int64_t(y) * img.Pitch + x * img.Format->PixelByte;
      if (img.Format->PixelByte == 2) {
        const uint16_t v = Pattern16(x, y);
        std::memcpy(p, &v, 2);
      } else {
        const uint32_t v = Pattern32(x, y);
        std::memcpy(p, &v, 4);
      }
    }
}

// The presenter widens a channel by repeating its top bits.
uint32_t Widen(uint32_t v, int bits) {
  uint32_t out = v << (8 - bits);
  for (int filled = bits; filled < 8; filled += bits) out |= out >> bits;
  return out & 0xFF;
}
uint32_t Rgb565ToFrame(uint16_t v) {
  return Widen(v >> 11, 5) << 16 | Widen((v >> 5) & 0x3F, 6) << 8 | Widen(v & 0x1F, 5);
}

uint32_t FramePixel(const platform::Frame& f, int x, int y) {
  return f.pixels[size_t(y) * size_t(f.width) + size_t(x)];
}

void MoveWindow(int32_t left, int32_t top) {
  platform::InjectMove(left, top);
  ProcessMessage();
  platform::RECT r{};
  GetMainWindowRect(&r);
  ASSERT_EQ(r.left, left);
  ASSERT_EQ(r.top, top);
}

// The frame presented from a back buffer holding the pattern: in a window only the window's
// part of the desktop, placed at its corner.
TEST(PresentByFlip, SoftwareFramesReachThePresenterExactly) {
  struct Row {
    const char* what;
    test::LibraryOptions options;
    platform::PixelFormat (*desktop)();
    int32_t left, top;  // the window moved there (windowed)
    std::tuple<int, int, int, int> frame;  // left, top, width, height
  } rows[] = {
      {"16-bit", {.start = false}, platform::PixelFormatRGB565, 0, 0, {0, 0, 640, 480}},
      {"off the left and top", {.bits = 32}, nullptr, -100, -50, {0, 0, 540, 430}},
      {"off the right and bottom",
       {.bits = 32},
       nullptr,
       1920 - 200,
       1080 - 100,
       {1720, 980, 200, 100}},
      {"full screen", {.bits = 32, .windowed = false}, nullptr, 0, 0, {0, 0, 640, 480}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    LibrarySession lib(row.options);
    if (row.desktop != nullptr) {
      ASSERT_TRUE(platform::SetDesktop(1024, 768, row.desktop()));
      ASSERT_EQ(lib.Start(), 0);
    }
    if (row.options.windowed) MoveWindow(row.left, row.top);
    const bool wide = g_DD.SoftBackImage.Format->PixelByte == 4;
    FillImage(g_DD.SoftBackImage);
    const uint64_t before = GetPresentCount(), platformBefore = platform::GetPresentCount();
    ASSERT_EQ(PresentByFlip(), 0);
    EXPECT_EQ(GetPresentCount(), before + 1);
    EXPECT_EQ(platform::GetPresentCount(), platformBefore + 1);
    const platform::Frame f = platform::GetLastPresentedFrame();
    ASSERT_EQ(std::tuple(f.left, f.top, f.width, f.height), row.frame);
    int wrong = 0;
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        const int sx = f.left + x - row.left, sy = f.top + y - row.top;
        wrong += FramePixel(f, x, y) !=
                 (wide ? Pattern32(sx, sy) : Rgb565ToFrame(Pattern16(sx, sy)));
      }
    EXPECT_EQ(wrong, 0);
  }
}

// What the presenter handed on: the frame's place and size.
struct PlaceSink : platform::FrameSink {
  std::tuple<int, int, int, int> seen{};
  void ShowFrame(const platform::FrameView& f) override {
    seen = {f.left, f.top, f.width, f.height};
  }
};

TEST(PresentByFlip, AWindowHandsThePresenterOnlyTheScreen) {
  LibrarySession lib({.bits = 32});
  MoveWindow(30, 40);
  ASSERT_EQ(RunScreenModeChange(64, 64, 32, 60), 0);
  PlaceSink sink;
  platform::SetFrameSink(&sink);
  FillImage(g_DD.SoftBackImage);
  ASSERT_EQ(PresentByFlip(), 0);
  platform::SetFrameSink(nullptr);
  EXPECT_EQ(sink.seen, std::tuple(30, 40, 64, 64));
  const platform::Frame f = platform::GetLastPresentedFrame();
  ASSERT_EQ(std::tuple(f.left, f.top, f.width, f.height), std::tuple(30, 40, 64, 64));
  int wrong = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) wrong += FramePixel(f, x, y) != Pattern32(x, y);
  EXPECT_EQ(wrong, 0);
}

TEST(DisplayDevice, AWindowedScreenMustFitTheDesktop) {
  LibrarySession lib({.bits = 32});  // on the 1920 x 1080 desktop
  const struct {
    int width, height, result;
  } rows[] = {{1921, 480, -1}, {640, 1081, -1}, {4097, 480, -1}, {1920, 1080, 0}, {800, 600, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.width * 10000 + row.height);
    const std::tuple<int, int> before(GetScreenWidth(), GetScreenHeight());
    EXPECT_EQ(RunScreenModeChange(row.width, row.height, 32, 60), row.result);
    EXPECT_EQ(std::tuple(GetScreenWidth(), GetScreenHeight()),
              row.result == 0 ? std::tuple(row.width, row.height) : before);
    const std::string line = "デスクトップ 1920x1080 より大きい画面 " +
                             std::to_string(row.width) + "x" + std::to_string(row.height);
    EXPECT_EQ(lib.Log().find(line) != std::string::npos, row.result != 0);
  }
}

TEST(SoftScreen, FrontImageIsResyncedFromTheDisplayedSurface) {
  // A 16-bit screen on a 32-bit desktop: out to 8 bits a channel and back is exact.
  LibrarySession lib;
  FillImage(g_DD.SoftBackImage);
  ASSERT_EQ(PresentByFlip(), 0);
  EXPECT_EQ(g_DD.FrontResyncFlag, 1);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  EXPECT_EQ(g_DD.FrontResyncFlag, 0);
  for (int y = 0; y < 480; y += 9)
    for (int x = 0; x < 640; x += 5)
      ASSERT_EQ(ImagePixel(g_DD.SoftFrontImage, x, y), Pattern16(x, y)) << x << "," << y;
}

TEST(SoftScreen, ResyncOnlyTakesThePartOnTheDesktop) {
  LibrarySession lib({.bits = 32});
  MoveWindow(-10, -20);
  FillImage(g_DD.SoftBackImage);
  ASSERT_EQ(PresentByFlip(), 0);
  std::memset(g_DD.SoftFrontImage.Pixels, 0x77, size_t(g_DD.SoftFrontImage.Pitch) * 480);
  ASSERT_EQ(SyncSoftScreenFromSurface(), 0);
  EXPECT_EQ(ImagePixel(g_DD.SoftFrontImage, 5, 5), 0x77777777u);  // off the desktop
  EXPECT_EQ(ImagePixel(g_DD.SoftFrontImage, 10, 20) & 0xFFFFFF, Pattern32(10, 20));
  EXPECT_EQ(ImagePixel(g_DD.SoftFrontImage, 639, 479) & 0xFFFFFF, Pattern32(639, 479));
}

TEST(SoftScreen, FlushCopiesOnlyTheRectangle) {
  LibrarySession lib({.bits = 32});
  MoveWindow(30, 40);
  FillImage(g_DD.SoftFrontImage);
  const platform::RECT r{10, 12, 20, 15};
  ASSERT_EQ(FlushSoftScreenRect(&r), 0);
  platform::DirectDrawSurface* primary = GetPrimaryDDSurface();
  EXPECT_EQ(primary->TestGetPixel(30 + 10, 40 + 12) & 0xFFFFFF, Pattern32(10, 12));
  EXPECT_EQ(primary->TestGetPixel(30 + 19, 40 + 14) & 0xFFFFFF, Pattern32(19, 14));
  EXPECT_EQ(primary->TestGetPixel(30 + 20, 40 + 14), 0u);
  EXPECT_EQ(primary->TestGetPixel(30 + 10, 40 + 15), 0u);
  // A rectangle reaching outside the screen is cut to it.
  const platform::RECT wide{600, 470, 900, 900};
  EXPECT_EQ(FlushSoftScreenRect(&wide), 0);
  EXPECT_EQ(primary->TestGetPixel(30 + 639, 40 + 479) & 0xFFFFFF, Pattern32(639, 479));
  EXPECT_EQ(primary->TestGetPixel(30 + 640, 40 + 479), 0u);
}

TEST(PresentByFlip, HardwareScreenInAWindowAndFullScreen) {
  {
    LibrarySession lib({.bits = 32, .softwareScreen = false});
    MoveWindow(-5, 7);
    platform::BltFx fx;
    fx.fillColor = 0x00336699;
    ASSERT_EQ(g_DD.BackSurface->Blt(nullptr, nullptr, nullptr, platform::DDBLT_COLORFILL, &fx),
              platform::DD_OK);
    ASSERT_EQ(PresentByFlip(), 0);
    // The client area (-5, 7) to (635, 487) cut to the desktop.
    const platform::Frame f = platform::GetLastPresentedFrame();
    EXPECT_EQ(std::tuple(f.left, f.top, f.width, f.height), std::tuple(0, 7, 635, 480));
    EXPECT_EQ(std::count(f.pixels.begin(), f.pixels.end(), 0x336699u), 635 * 480);
  }
  {
    LibrarySession lib({.bits = 16, .softwareScreen = false, .windowed = false});
    platform::BltFx fx;
    fx.fillColor = 0xF800;
    ASSERT_EQ(g_DD.BackSurface->Blt(nullptr, nullptr, nullptr, platform::DDBLT_COLORFILL, &fx),
              platform::DD_OK);
    const uint64_t before = GetPresentCount();
    ASSERT_EQ(PresentByFlip(), 0);
    EXPECT_EQ(GetPresentCount(), before + 1);
    const platform::Frame f = platform::GetLastPresentedFrame();
    ASSERT_EQ(f.width, 640);
    EXPECT_EQ(FramePixel(f, 639, 479), 0xFF0000u);
  }
}

std::tuple<int, int, int> Split(uint32_t value) {
  int r = -1, g = -1, b = -1;
  SplitScreenColorValue(value, &r, &g, &b);
  return {r, g, b};
}

TEST(ScreenColor, ValuesAndSplitsFollowTheScreenFormat) {
  {
    LibrarySession lib;  // 16-bit software screen
    EXPECT_EQ(std::tuple(GetScreenColorValue(255, 0, 0), GetScreenColorValue(8, 4, 8),
                         GetScreenColorValue(255, 255, 255)),
              std::tuple(0xF800u, 0x0821u, 0xFFFFu));
    EXPECT_EQ(Split(0x0821), std::tuple(255 / 31, 255 / 63, 255 / 31));
    EXPECT_EQ(Split(0xFFFF), std::tuple(255, 255, 255));
    // The display itself is the 32-bit desktop.
    EXPECT_EQ(std::tuple(GetScreenColorData()->ColorBitDepth, GetScreenColorData()->RM,
                         GetDisplayModeInfo()->rgbBitCount),
              std::tuple(32, 0xFF0000u, 32u));
  }
  {
    LibrarySession lib({.bits = 32});
    EXPECT_EQ(GetScreenColorValue(1, 2, 3), 0xFF010203u);  // the unused top byte counts as set
    EXPECT_EQ(Split(0x00A0B0C0), std::tuple(0xA0, 0xB0, 0xC0));
  }
  LibrarySession lib({.start = false});
  ASSERT_TRUE(platform::SetDesktop(1024, 768, platform::PixelFormatRGB555()));
  ASSERT_EQ(lib.Start(), 0);
  // On a software screen values are in the image's 5:6:5 format, not the desktop's 5:5:5.
  EXPECT_EQ(GetScreenColorValue(0, 255, 0), 0x07E0u);
  EXPECT_EQ(GetScreenColorData()->GM, 0x03E0u);
}

TEST(DisplayDevice, MemImgScreenFormatAndSurfaceCopies) {
  LibrarySession lib({.bits = 32, .softwareScreen = false});
  MEMIMG img;
  std::memset(&img, 0xAB, sizeof img);
  ASSERT_EQ(CreateMemImgScreenFormat(&img, 5, 3, -1), 0);
  EXPECT_EQ(img.ColorType, kMemImgXrgb8888);
  EXPECT_EQ(img.Width, 5);
  TermMemImg(&img);
  ASSERT_EQ(CreateMemImgScreenFormat(&img, 5, 3, kMemImgRgb565), 0);
  EXPECT_EQ(img.ColorType, kMemImgRgb565);
  TermMemImg(&img);

  platform::BltFx fx;
  fx.fillColor = 0x00ABCDEF;
  ASSERT_EQ(g_DD.BackSurface->Blt(nullptr, nullptr, nullptr, platform::DDBLT_COLORFILL, &fx),
            platform::DD_OK);
  const platform::RECT src{10, 10, 14, 12};
  platform::DirectDrawSurface* work = GetWorkSurface();
  ASSERT_NE(work, nullptr);
  for (int mode : {0, 1, -1}) {
    fx.fillColor = 0;
    work->Blt(nullptr, nullptr, nullptr, platform::DDBLT_COLORFILL, &fx);
    ASSERT_EQ(CopySurfaceRect(work, g_DD.BackSurface, 100, 50, &src, mode), 0) << mode;
    EXPECT_EQ(work->TestGetPixel(100, 50), 0x00ABCDEFu) << mode;
    EXPECT_EQ(work->TestGetPixel(103, 51), 0x00ABCDEFu) << mode;
    EXPECT_EQ(work->TestGetPixel(104, 51), 0u) << mode;
    EXPECT_EQ(work->TestGetPixel(100, 52), 0u) << mode;
  }
  EXPECT_EQ(CopySurfaceRect(nullptr, work, 0, 0, &src, 0), -1);
  platform::DDCaps caps;
  EXPECT_EQ(GetDirectDrawCaps(&caps), 0);
  EXPECT_EQ(RecreateScreenPalette(), 0);  // not an 8-bit screen: nothing to do
}

}  // namespace
}  // namespace zq::gfx
