// Reading the screen back: draw-screen pixels on both kinds of screen, screenshots of the window's
// client area, and the mask pattern fill.
#include "graphics/screen_readback.h"

#include <gtest/gtest.h>
#include <png.h>

#include <tuple>
#include <vector>

#include "graphics/ddraw/display.h"
#include "graphics/draw_front.h"
#include "graphics/draw_state.h"
#include "graphics/library_init.h"
#include "graphics/mask.h"
#include "graphics/mask_fill.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

// The PNG's pixels as 0x00RRGGBB.
std::vector<uint32_t> ReadPngRgb(const std::string& path, unsigned& width, unsigned& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  std::vector<uint32_t> out;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return out;
  width = image.width;
  height = image.height;
  for (size_t i = 0; i < rgb.size(); i += 3)
    out.push_back(uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]);
  return out;
}

TEST(ScreenReadback, SurfaceTargetsAreReadFromTheDrawOrigin) {
  test::LibrarySession lib({.bits = 32, .softwareScreen = false});
  ASSERT_TRUE(lib.Started());
  platform::InjectMove(100, 50);
  ASSERT_EQ(ProcessMessage(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  ASSERT_EQ(g_DD.DrawTargetSurface, GetPrimaryDDSurface());
  const uint32_t c = GetScreenColorValue(10, 20, 30);
  ASSERT_EQ(DrawFilledBox(0, 0, 2, 2, c), 0);
  // The front buffer is the desktop-sized primary: the client area starts at (100, 50).
  EXPECT_EQ(GetPrimaryDDSurface()->TestGetPixel(100, 50), c);
  EXPECT_EQ(GetPrimaryDDSurface()->TestGetPixel(99, 50), 0u);
  // x, y, the result and the value read (1: left as it was).
  for (const auto& [x, y, result, want] :
       {std::tuple{0, 0, 0, c}, {1, 1, 0, c}, {2, 1, 0, 0u}, {640, 0, -1, 1u}, {0, -1, -1, 1u}}) {
    uint32_t v = 1;
    EXPECT_EQ(GetDrawScreenPixel(x, y, &v), result) << x << "," << y;
    EXPECT_EQ(v, want) << x << "," << y;
  }
  uint32_t v = 1;
  // A locked target cannot be read.
  platform::SurfaceDesc desc;
  ASSERT_TRUE(platform::Succeeded(GetPrimaryDDSurface()->Lock(nullptr, &desc, 0)));
  EXPECT_EQ(GetDrawScreenPixel(0, 0, &v), -1);
  GetPrimaryDDSurface()->Unlock(nullptr);
}

TEST(ScreenReadback, ScreenshotIsTheClientAreaOfThePresentedFrame) {
  test::LibrarySession lib({.bits = 32});
  ASSERT_TRUE(lib.Started());
  EXPECT_EQ(SaveScreenPng(nullptr), -1);
  platform::InjectMove(300, 200);
  ASSERT_EQ(ProcessMessage(), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ASSERT_EQ(ClearTargetScreen(), 0);
  ASSERT_EQ(DrawFilledBox(0, 0, 1, 1, GetScreenColorValue(255, 0, 0)), 0);
  ASSERT_EQ(DrawFilledBox(639, 479, 640, 480, GetScreenColorValue(0, 0, 255)), 0);
  ASSERT_EQ(PresentByFlip(), 0);
  const std::string path = (lib.Dir() / "shot.png").string();
  ASSERT_EQ(SaveScreenPng(path.c_str()), 0);
  unsigned w = 0, h = 0;
  const std::vector<uint32_t> px = ReadPngRgb(path, w, h);
  ASSERT_EQ(std::pair(w, h), std::pair(640u, 480u));
  EXPECT_EQ(std::tuple(px[0], px[1], px[size_t(479) * 640 + 639]),
            std::tuple(0xFF0000u, 0u, 0xFFu));

  // Partly off the desktop (1920 x 1080): only the part on it.
  platform::InjectMove(1600, 900);
  ASSERT_EQ(ProcessMessage(), 0);
  ASSERT_EQ(PresentByFlip(), 0);
  ASSERT_EQ(SaveScreenPng(path.c_str()), 0);
  const std::vector<uint32_t> part = ReadPngRgb(path, w, h);
  EXPECT_EQ(std::pair(w, h), std::pair(320u, 180u));
  ASSERT_FALSE(part.empty());
  EXPECT_EQ(part[0], 0xFF0000u);
  // Wholly off it: nothing to write, before and after a present of nothing.
  platform::InjectMove(4000, 4000);
  ASSERT_EQ(ProcessMessage(), 0);
  EXPECT_EQ(SaveScreenPng(path.c_str()), -1);
  ASSERT_EQ(PresentByFlip(), 0);
  EXPECT_TRUE(platform::GetLastPresentedFrame().pixels.empty());
  EXPECT_EQ(SaveScreenPng(path.c_str()), -1);
}

TEST(MaskFill, SetsTheClippedRectangleOnly) {
  test::LibrarySession lib({.bits = 32});
  ASSERT_TRUE(lib.Started());
  EXPECT_EQ(FillMaskRect(0, 0, 4, 4, 1), -1);
  ASSERT_EQ(CreateMaskScreen(), 0);
  int32_t pitch = 0;
  const uint8_t* pattern = GetMaskPattern(&pitch);
  ASSERT_NE(pattern, nullptr);
  ASSERT_GE(pitch, 640);
  EXPECT_EQ(FillMaskRect(630, 470, 700, 500, 0x1FF), 0);  // past the edges; the low byte
  EXPECT_EQ(FillMaskRect(5, 5, 3, 8, 7), 0);              // reversed: nothing
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      ASSERT_EQ(pattern[int64_t(y) * pitch + x], x >= 630 && y >= 470 ? 0xFF : 0) << x << "," << y;
}

}  // namespace
}  // namespace zq::gfx
