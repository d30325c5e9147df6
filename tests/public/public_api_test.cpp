// The library as a program sees it: only the public header (plus libpng to write and read files).
// The pixels of each call are the graphics tests' concern; here each call reaches its own with
// its arguments in order, under the lock, and only while the library runs.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>
#include <zqlib/zqlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "public/session.h"

namespace {

using namespace zq::pubtest;

// The PNG's pixels as 0x00RRGGBB, row by row.
std::vector<uint32_t> ReadPng(const fs::path& path, unsigned& width) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  std::vector<uint32_t> out;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return out;
  width = image.width;
  for (size_t i = 0; i < rgb.size(); i += 3) out.push_back(Rgb(rgb[i], rgb[i + 1], rgb[i + 2]));
  return out;
}

TEST(PublicApi, StartLoadDrawPresentReadBackEnd) {
  Session s;
  int w = 0, h = 0, bits = 0;
  EXPECT_EQ(zq::GetScreenSizeAndDepth(&w, &h, &bits), 0);
  EXPECT_EQ(std::tuple(w, h, bits), std::tuple(640, 480, 32));
  EXPECT_EQ(zq::GetScreenColorValue(0x12, 0x34, 0x56), Screen(Rgb(0x12, 0x34, 0x56)));
  const std::vector<uint32_t> pic = {Rgb(255, 0, 0),    Rgb(0, 255, 0),     Rgb(0, 0, 255),
                                     Rgb(10, 200, 130), Rgb(255, 255, 255), Rgb(1, 2, 3)};
  WritePng(s.Path("pic.png"), 3, 2, pic);
  const int g = zq::LoadGraphFromFileStd(s.Path("pic.png").c_str());
  ASSERT_GE(g, 0);
  EXPECT_EQ(zq::QueryGraphDimensions(g, &w, &h), 0);
  EXPECT_EQ(std::pair(w, h), std::pair(3, 2));
  // A divided file: two 2 x 2 cells side by side; the second one is used below.
  const std::vector<uint32_t> cells = {Rgb(1, 1, 1), Rgb(2, 2, 2), Rgb(50, 0, 0), Rgb(0, 60, 0),
                                       Rgb(3, 3, 3), Rgb(4, 4, 4), Rgb(0, 0, 70), Rgb(80, 80, 0)};
  WritePng(s.Path("cells.png"), 4, 2, cells);
  int handles[2] = {-1, -1};
  ASSERT_EQ(zq::LoadDividedGraphFromFileStd(s.Path("cells.png").c_str(), 2, 2, 1, 2, 2, handles),
            0);
  const int cell = handles[1];
  // Alpha 0 skipped, alpha 255 copied as it is.
  WritePng(s.Path("alpha.png"), 2, 1, {Rgb(200, 100, 50), 0x01090909});
  const int a = zq::LoadGraphFromFileStd(s.Path("alpha.png").c_str());
  ASSERT_GE(a, 0);
  const uint32_t grey = zq::GetScreenColorValue(60, 70, 80) & 0xFFFFFF;
  const uint32_t white = zq::GetScreenColorValue(255, 255, 255) & 0xFFFFFF;
  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  // Each draw at its own place, some telling pixels each.
  EXPECT_EQ(zq::DrawGraphAt(10, 20, g, 0), 0);
  EXPECT_EQ(zq::DrawGraphMirrored(30, 20, g, 0), 0);
  EXPECT_EQ(zq::DrawGraphRect(40, 20, 46, 24, g, 0), 0);  // twice the size
  EXPECT_EQ(zq::DrawGraphInRect(60, 20, 1, 0, 2, 2, g, 0, 0), 0);
  EXPECT_EQ(zq::DrawGraphInRect(70, 20, 1, 0, 2, 2, g, 0, 1), 0);
  EXPECT_EQ(zq::DrawGraphRectScaled(80, 20, 83, 23, 2, 1, 1, 1, g, 0), 0);
  EXPECT_EQ(zq::DrawFilledBox(100, 100, 104, 102, grey), 0);
  EXPECT_EQ(zq::SetBlendMode(zq::kBlendAlpha, 255), 0);
  EXPECT_EQ(zq::DrawGraphAt(100, 100, a, 1), 0);
  EXPECT_EQ(zq::SetBlendMode(zq::kBlendNone, 0), 0);
  EXPECT_EQ(zq::DrawFrameBox(200, 200, 205, 204, white), 0);
  EXPECT_EQ(zq::DrawGraphAt(300, 300, cell, 0), 0);
  EXPECT_EQ(zq::DrawGraphRotScaledAt(311, 301, 1.0, 0.0, cell, 0, 0), 0);
  // Mirrored about the centre: one pixel to the right, u = 322 - x.
  EXPECT_EQ(zq::DrawGraphRotScaledF(321.0f, 301.0f, 1.0, 0.0, cell, 0, 1), 0);
  EXPECT_EQ(zq::DrawGraphFourCorners(400, 400, 440, 400, 440, 440, 400, 440, cell, 0), 0);
  const struct {
    int x, y;
    uint32_t want;
  } points[] = {{10, 20, pic[0]},     {12, 21, pic[5]},     {13, 21, 0u},
                {10, 22, 0u},         {30, 20, pic[2]},     {32, 21, pic[3]},
                {41, 21, pic[0]},     {44, 20, pic[2]},     {43, 23, pic[4]},
                {60, 20, pic[1]},     {61, 21, pic[5]},     {62, 20, 0u},
                {70, 20, pic[2]},     {71, 21, pic[4]},     {80, 20, pic[5]},
                {82, 22, pic[5]},     {83, 22, 0u},         {100, 100, Rgb(200, 100, 50)},
                {101, 100, grey},     {104, 101, 0u},       {200, 200, white},
                {204, 203, white},    {202, 202, 0u},       {205, 203, 0u},
                {300, 300, cells[2]}, {301, 301, cells[7]}, {310, 300, cells[2]},
                {311, 301, cells[7]}, {321, 300, cells[3]}, {322, 301, cells[6]},
                {405, 405, cells[2]}, {435, 435, cells[7]}};
  for (const auto& [x, y, want] : points) EXPECT_EQ(Pixel(x, y) & 0xFFFFFF, want) << x << "," << y;
  uint32_t v = 0;
  for (auto [x, y, out] : {std::tuple{-1, 0, &v}, {640, 0, &v}, {0, 480, &v}, {0, 0, nullptr}})
    EXPECT_EQ(zq::GetDrawScreenPixel(x, y, out), -1);
  // Presented, the frame as a PNG holds the same pixels.
  EXPECT_EQ(zq::PresentByFlip(), 0);
  EXPECT_EQ(zq::ProcessMessage(), 0);
  ASSERT_EQ(zq::SaveScreenPng(s.Path("shot.png").c_str()), 0);
  unsigned width = 0;
  const std::vector<uint32_t> shot = ReadPng(s.Path("shot.png"), width);
  ASSERT_EQ(std::pair(width, shot.size()), std::pair(640u, size_t(640 * 480)));
  EXPECT_EQ(shot[20 * 640 + 12], pic[2]);
  EXPECT_EQ(shot[301 * 640 + 301], cells[7]);
  EXPECT_EQ(shot[479 * 640 + 639], 0u);
  // Deleting: a deleted handle is refused afterwards; the rest go at the end.
  EXPECT_EQ(zq::DeleteGraphHandle(g), 0);
  EXPECT_EQ(zq::DeleteGraphHandle(g), -1);
  EXPECT_EQ(zq::DrawGraphAt(0, 0, g, 0), -1);
  s.End();
}

TEST(PublicApi, RefusalsBeforeAndAfterTheLibraryRuns) {
  const std::string png = (fs::temp_directory_path() / "zqlib-public-early.png").string();
  WritePng(png, 2, 1, {Rgb(1, 2, 3), Rgb(4, 5, 6)});
  const std::string shot = png + ".shot.png";
  const int blocks = zq::TrackedBlockCount();
  // Without the library nothing is loaded, made, drawn or saved, and no memory stays behind;
  // the start-up settings and the creation options still answer.
  auto refused = [&] {
    uint32_t v = 0;
    EXPECT_EQ(zq::GetDrawScreenPixel(0, 0, &v), -1);
    EXPECT_EQ(zq::StartMessageThread(), -1);
    EXPECT_EQ(zq::LibraryEnd(), -1);
    EXPECT_EQ(zq::LoadGraphFromFileStd(png.c_str()), -1);
    int cells[2] = {5, 5};
    EXPECT_EQ(zq::LoadDividedGraphFromFileStd(png.c_str(), 2, 2, 1, 1, 1, cells), -1);
    EXPECT_EQ(cells[1], -1);
    for (int r : {zq::CreateEmptyGraph(4, 4), zq::CreateFontToHandle(nullptr, -1, -1, -1, -1, -1),
                  zq::SetBlendMode(zq::kBlendAdd, 9), zq::DrawLine(0, 0, 4, 4, 1),
                  zq::PresentByFlip(), zq::SaveScreenPng(shot.c_str())})
      EXPECT_EQ(r, -1);
    EXPECT_FALSE(fs::exists(shot));
    EXPECT_EQ(zq::TrackedBlockCount(), blocks);
    EXPECT_EQ(zq::SetCreateOptionFlag(0) + zq::ChangeWindowMode(1), 0);
  };
  refused();
  {
    Session s;
    EXPECT_EQ(zq::LibraryInit(), -1);        // a second start
    EXPECT_EQ(zq::ChangeWindowMode(0), -1);  // only before the start
    EXPECT_EQ(zq::LoadGraphFromFileStd(s.Path("missing.png").c_str()), -1);
    EXPECT_EQ(zq::PresentByFlip(), 0);
    EXPECT_EQ(zq::SaveScreenPng(nullptr), -1);
    EXPECT_EQ(zq::SaveScreenPng(s.Path("no-such-dir/x.png").c_str()), -1);
    EXPECT_NE(s.Log().find("x.png に保存できませんでした in SaveScreenPng"), std::string::npos);
  }
  refused();  // after the end, with a frame presented
  fs::remove(png);
}

// Each refusal of a call the library cannot carry out: -1 and a line in the log.
TEST(PublicApi, FailuresSaySoInTheLog) {
  Session s;
  // Only the start-up's own cleared frame was presented.
  EXPECT_EQ(zq::SaveScreenPng(s.Path("early.png").c_str()), -1);
  EXPECT_FALSE(fs::exists(s.Path("early.png")));
  for (int r : {zq::SetBlendMode(5, 100), zq::SetBlendMode(-1, 100), zq::SetCreateColorBitDepth(24),
                zq::SetSamplingMode(2)})
    EXPECT_EQ(r, -1);
  WritePng(s.Path("cells.png"), 4, 2, std::vector<uint32_t>(8, Rgb(9, 9, 9)));
  const std::string cells = s.Path("cells.png");
  int handles[5] = {7, 7, 7, 7, 7};
  EXPECT_EQ(zq::LoadDividedGraphFromFileStd(cells.c_str(), 5, 2, 1, 2, 2, handles), -1);
  for (int h : handles) EXPECT_EQ(h, -1);
  EXPECT_EQ(zq::LoadDividedGraphFromFileStd(cells.c_str(), -1, 2, 1, 2, 2, handles), -1);
  // A cell outside the picture: the cells made before it go too.
  std::fill_n(handles, 5, 7);
  EXPECT_EQ(zq::LoadDividedGraphFromFileStd(cells.c_str(), 3, 3, 1, 2, 2, handles), -1);
  EXPECT_EQ(handles[0] + handles[2], -2);
  EXPECT_EQ(handles[3], 7);  // beyond the total: not the library's
  const std::string log = s.Log();
  for (const char* where :
       {"in SaveScreenPng", "ブレンドモードの値 5", "ブレンドモードの値 -1", "カラービット数 24",
        "サンプリングモードの値 2", "分割数が不正です( 総数 5 横 2 縦 1 )", "( 総数 -1 横 2 縦 1 )",
        "グラフィックの分割に失敗しました"})
    EXPECT_NE(log.find(where), std::string::npos) << where;
}

TEST(PublicApi, StartsWithoutALogWhereNoneCanBeWritten) {
  char cwd[4096];
  const std::string previous = getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
  const fs::path dir = fs::temp_directory_path() / ("zqlib-nolog-" + std::to_string(getpid()));
  fs::create_directories(dir / "AppLog.txt");  // a directory: no file can be made there
  ASSERT_EQ(chdir(dir.c_str()), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(zq::UseWindowPresenter(0), 0);
  EXPECT_EQ(zq::LibraryInit(), 0);
  EXPECT_EQ(zq::DrawFilledBox(0, 0, 8, 8, zq::GetScreenColorValue(1, 2, 3)), 0);
  EXPECT_EQ(zq::SetBlendMode(9, 0), -1);  // a failure with nowhere to write its line
  EXPECT_EQ(zq::LibraryEnd(), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(zq::TrackedBlockCount(), 0);
  EXPECT_NE(err.find("AppLog.txt"), std::string::npos) << err;
  EXPECT_EQ(err.find("AppLog.txt"), err.rfind("AppLog.txt")) << err;  // said once
  EXPECT_EQ(chdir(previous.c_str()), 0);
  fs::remove_all(dir);
}

TEST(PublicApi, BlendModesLinesBrightBlendGraphAndMask) {
  Session s;
  // The five modes by their names, each a line over (200, 100, 50) in (100, 150, 250), bytes B,
  // G, R, X of the 32-bit screen; the first end drawn, the second not.
  const uint32_t back = zq::GetScreenColorValue(200, 100, 50);
  const uint32_t color = zq::GetScreenColorValue(100, 150, 250);
  const struct {
    int mode, param;
    uint32_t pixel;
  } cases[] = {{zq::kBlendNone, 0, 0xFF6496FA},
               {zq::kBlendAlpha, 128, 0xFF967D96},
               {zq::kBlendAdd, 255, 0x01FFFBFF},
               {zq::kBlendSubtract, 255, 0x00640000},
               {zq::kBlendMultiply, 77, 0xFF4E3A30}};
  EXPECT_EQ(zq::DrawFilledBox(0, 0, 40, 40, back), 0);
  for (const auto& c : cases) {
    const int y = 5 + c.mode * 2;
    EXPECT_EQ(zq::SetBlendMode(c.mode, c.param), 0);
    EXPECT_EQ(zq::DrawLine(5, y, 15, y, color), 0);
    for (int x : {4, 5, 14, 15}) EXPECT_EQ(Pixel(x, y), x == 4 || x == 15 ? back : c.pixel) << x;
  }
  EXPECT_EQ(zq::SetBlendMode(zq::kBlendNone, 0), 0);
  // Bright: each channel times bright / 255 (255 and 0 are exact).
  const int filled = zq::CreateEmptyGraph(2, 2);
  EXPECT_EQ(zq::FillGraphColor(filled, 200, 100, 50, 255), 0);
  EXPECT_EQ(zq::SetDrawBrightRGB(255, 0, 255), 0);
  EXPECT_EQ(zq::DrawGraphAt(40, 40, filled, 0), 0);
  EXPECT_EQ(zq::SetDrawBrightRGB(255, 255, 255), 0);
  EXPECT_EQ(Pixel(40, 40) & 0xFFFFFF, Rgb(200, 0, 50));
  // Border 128 and range 255 make the blend table the identity: the first pixel of the blend
  // graph, bytes blue 0, green 128, red 255, steers the first three pixels of a copy.
  WritePng(s.Path("red.png"), 3, 1, std::vector<uint32_t>(3, Rgb(255, 0, 0)));
  WritePng(s.Path("ramp.png"), 3, 1, {Rgb(255, 128, 0), Rgb(7, 7, 7), Rgb(7, 7, 7)});
  const int red = zq::LoadGraphFromFileStd(s.Path("red.png").c_str());
  const int blend = zq::LoadGraphFromFileStd(s.Path("ramp.png").c_str());
  EXPECT_EQ(zq::SelectBlendGraph(red + 1000, 0, 0), -1);  // not a live handle
  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  EXPECT_EQ(zq::SelectBlendGraph(blend, 128, 255), 0);
  EXPECT_EQ(zq::DrawGraphAt(10, 10, red, 0), 0);
  EXPECT_EQ(zq::SelectBlendGraph(-1, 0, 0), 0);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Pixel(10 + i, 10) & 0xFFFFFF, Rgb(255 *
                                                    (i == 0   ? 0
                                                     : i == 1 ? 128
                                                              : 255) /
                                                    256,
                                                0, 0));
  // The mask keeps the pixels under non-zero bytes while it is enabled.
  EXPECT_EQ(zq::FillMaskRect(0, 0, 10, 10, 1), -1);  // no mask yet
  EXPECT_EQ(zq::SetMaskEnabled(1), -1);
  ASSERT_EQ(zq::CreateMaskScreen(), 0);
  EXPECT_EQ(zq::FillMaskRect(10, 10, 14, 12, 1), 0);
  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  EXPECT_EQ(zq::SetMaskEnabled(1), 0);
  EXPECT_EQ(zq::DrawFilledBox(0, 0, 20, 20, color), 0);
  EXPECT_EQ(zq::SetMaskEnabled(0), 0);
  EXPECT_EQ(zq::DrawFilledBox(0, 15, 20, 20, back), 0);
  for (const auto& [x, y, want] :
       {std::tuple{10, 10, 0u}, {13, 11, 0u}, {14, 11, color}, {10, 12, color}, {10, 16, back}})
    EXPECT_EQ(Pixel(x, y), want) << x << "," << y;
}

TEST(PublicApi, DrawableGraphDrawAreaCopyAndHelpers) {
  Session s;
  EXPECT_EQ(zq::SetCreateOptionFlag(1), 0);
  const int target = zq::CreateEmptyGraph(8, 8);
  EXPECT_EQ(zq::SetCreateOptionFlag(0), 0);
  ASSERT_EQ(zq::SelectDrawScreen(target), 0);
  EXPECT_EQ(zq::GetDrawScreenHandle(), target);
  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  const uint32_t c = zq::GetScreenColorValue(30, 60, 90);
  EXPECT_EQ(zq::ApplyDrawArea(2, 2, 6, 6), 0);
  EXPECT_EQ(zq::DrawFilledBox(0, 0, 8, 8, c), 0);  // clipped to the draw area
  EXPECT_EQ(std::tuple(Pixel(2, 2), Pixel(5, 5), Pixel(1, 1), Pixel(6, 6)),
            std::tuple(c, c, 0u, 0u));
  uint32_t v = 0;
  EXPECT_EQ(zq::GetDrawScreenPixel(8, 0, &v), -1);  // the graph's size bounds the read
  // The graph drawn onto the back screen, a part of it copied into a new graph, a part of that
  // derived.
  ASSERT_EQ(zq::SelectDrawScreen(zq::kDrawScreenBack), 0);
  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  EXPECT_EQ(zq::DrawGraphAt(100, 50, target, 0), 0);
  const int copy = zq::CreateEmptyGraph(4, 4);
  EXPECT_EQ(zq::CopyDrawScreenToGraph(101, 51, 105, 55, copy, 0), 0);
  const int part = zq::DeriveGraphRect(1, 0, 2, 2, copy);
  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  EXPECT_EQ(zq::DrawGraphAt(20, 20, part, 0), 0);
  EXPECT_EQ(std::tuple(Pixel(20, 20), Pixel(20, 21), Pixel(22, 22)), std::tuple(0u, c, 0u));
  EXPECT_EQ(zq::DeleteAllGraphHandles(), 0);
  EXPECT_EQ(zq::DrawGraphAt(0, 0, copy, 0), -1);
  int r[4] = {-10, 5, 50, 500};
  const int clip[4] = {0, 0, 40, 100};
  EXPECT_EQ(zq::ClipRectToRect(r, clip), 0);
  EXPECT_EQ(std::vector<int>(r, r + 4), std::vector<int>({0, 5, 40, 100}));
  int reversed[4] = {30, 30, 10, 10};  // collapsed first, then clipped
  EXPECT_EQ(zq::ClipRectToRect(reversed, clip), 0);
  EXPECT_EQ(std::vector<int>(reversed, reversed + 4), std::vector<int>({30, 30, 30, 30}));
  EXPECT_EQ(zq::ClipRectToRect(nullptr, clip), -1);
  int red = 0, green = 0, blue = 0;
  EXPECT_EQ(zq::SplitScreenColorValue(Rgb(7, 8, 9), &red, &green, &blue), 0);
  EXPECT_EQ(std::tuple(red, green, blue), std::tuple(7, 8, 9));
}

// Each thread's draws, all under the additive blend: saturating adds whose result does not
// depend on their order, so any interleaving of whole calls gives one picture, and only calls
// that overlap inside the library (a missing lock) could change it.
void DrawWork(int thread, int sprite) {
  const uint32_t box = zq::GetScreenColorValue(3 + thread, 5, 7 - thread);
  for (int i = 0; i < 60; ++i) {
    const int x = 40 + (i * 37 + thread * 101) % 520;
    const int y = 30 + (i * 53 + thread * 67) % 400;
    zq::DrawGraphRotScaledAt(x, y, 1.5 + (i % 3) * 0.5, i * 0.37 + thread, sprite, 0, i % 2);
    zq::DrawGraphRect(x - 30, y - 20, x + 34 + thread * 9, y + 12, sprite, 0);
    zq::DrawGraphFourCorners(float(x), float(y), float(x + 40), float(y + 5), float(x + 35),
                             float(y + 44), float(x - 3), float(y + 39), sprite, 0);
    zq::DrawFilledBox(x - 50, y - 50, x + 50, y + 10, box);
  }
}

// The colour fields: the additive draws leave their own carries in the unused top byte, so only
// the last one of them shows there.
std::vector<uint32_t> ReadScreen() {
  std::vector<uint32_t> pixels(640 * 480);
  for (int i = 0; i < 640 * 480; ++i) pixels[size_t(i)] = Pixel(i % 640, i / 640) & 0xFFFFFF;
  return pixels;
}

TEST(PublicApi, TwoThreadsDrawingAtOnceMatchOneAfterTheOther) {
  Session s;
  std::vector<uint32_t> picture(16 * 16);
  for (int i = 0; i < 256; ++i)
    picture[size_t(i)] = Rgb(i % 16 * 4, i / 16 * 3, (i % 16 + i / 16) * 2 + 1);
  WritePng(s.Path("sprite.png"), 16, 16, picture);
  const int sprite = zq::LoadGraphFromFileStd(s.Path("sprite.png").c_str());
  ASSERT_GE(sprite, 0);
  // Clearing fills under the blend mode too: clear plainly, then draw adding.
  auto clear = [] {
    ASSERT_EQ(zq::SetBlendMode(zq::kBlendNone, 0), 0);
    ASSERT_EQ(zq::ClearTargetScreen(), 0);
    ASSERT_EQ(zq::SetBlendMode(zq::kBlendAdd, 255), 0);
  };
  clear();
  DrawWork(0, sprite);
  DrawWork(1, sprite);
  const std::vector<uint32_t> sequential = ReadScreen();
  for (int round = 0; round < 3; ++round) {
    clear();
    std::thread a(DrawWork, 0, sprite), b(DrawWork, 1, sprite);
    a.join();
    b.join();
    EXPECT_TRUE(ReadScreen() == sequential) << "round " << round;
  }
  // The picture is not trivial: both threads' boxes overlap and saturate somewhere.
  EXPECT_GT(std::count_if(sequential.begin(), sequential.end(), [](uint32_t p) { return p != 0; }),
            640 * 480 / 4);
  EXPECT_GT(std::count_if(sequential.begin(), sequential.end(),
                          [](uint32_t p) { return (p & 0xFF00) == 0xFF00; }),
            0);
  EXPECT_EQ(zq::SetBlendMode(zq::kBlendNone, 0), 0);
}

TEST(PublicApi, MessageThreadRunsUntilTheEnd) {
  Session s;
  EXPECT_EQ(zq::StartMessageThread(), 0);
  EXPECT_EQ(zq::StartMessageThread(), -1);  // one at a time
  // Drawing and presenting go on beside it.
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(zq::DrawFilledBox(i, i, i + 10, i + 10, zq::GetScreenColorValue(9, 9, 9)), 0);
    EXPECT_EQ(zq::PresentByFlip(), 0);
    EXPECT_EQ(zq::ProcessMessage(), 0);
  }
  s.End();        // stops the thread
  Session again;  // a new start may run a new one
  EXPECT_EQ(zq::StartMessageThread(), 0);
}

}  // namespace
