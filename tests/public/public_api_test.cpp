// The library as a program sees it: only the public header (plus libpng to read files back).
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>
#include <zqlib/zqlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

// 0x00RRGGBB of the 32-bit screen.
constexpr uint32_t Rgb(int r, int g, int b) {
  return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// A pixel value of the 32-bit software screen: its unused top byte is set.
constexpr uint32_t Screen(uint32_t rgb) {
  return 0xFF000000u | rgb;
}

// A 24-bit bottom-up BMP; pixels given top row first as 0x00RRGGBB.
void WriteBmp(const fs::path& path, int width, int height, const std::vector<uint32_t>& pixels) {
  const int rowBytes = (width * 3 + 3) & ~3;
  const uint32_t dataSize = uint32_t(rowBytes * height);
  std::vector<uint8_t> f(54 + dataSize, 0);
  auto put16 = [&](size_t at, uint32_t v) {
    f[at] = uint8_t(v);
    f[at + 1] = uint8_t(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  f[0] = 'B';
  f[1] = 'M';
  put32(2, 54 + dataSize);
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(width));
  put32(22, uint32_t(height));
  put16(26, 1);
  put16(28, 24);
  put32(34, dataSize);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = f.data() + 54 + size_t(height - 1 - y) * size_t(rowBytes);
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[size_t(y * width + x)];
      row[x * 3] = uint8_t(p);
      row[x * 3 + 1] = uint8_t(p >> 8);
      row[x * 3 + 2] = uint8_t(p >> 16);
    }
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
}

// An 8-bit RGBA PNG; pixels as R, G, B, A bytes, top row first.
void WritePng(const fs::path& path, int width, int height, const std::vector<uint8_t>& rgba) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = PNG_FORMAT_RGBA;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr));
}

struct Picture {
  unsigned width = 0, height = 0;
  std::vector<uint8_t> rgb;
  uint32_t At(unsigned x, unsigned y) const {
    const uint8_t* p = rgb.data() + (size_t(y) * width + x) * 3;
    return Rgb(p[0], p[1], p[2]);
  }
};

bool ReadPng(const fs::path& path, Picture& p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  p.width = image.width;
  p.height = image.height;
  p.rgb.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

// Runs a test in a fresh directory (the log AppLog.txt lands there) with the library started in
// a window on a 640 x 480 32-bit screen, the back screen selected; End checks that the leak
// report is empty.
class Session {
 public:
  Session() {
    char cwd[4096];
    previous_ = getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
    dir_ = fs::temp_directory_path() /
           ("zqlib-public-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(dir_);
    EXPECT_EQ(chdir(dir_.c_str()), 0);
    EXPECT_EQ(zq::UseWindowPresenter(0), 0);
    EXPECT_EQ(zq::ChangeWindowMode(1), 0);
    started_ = zq::LibraryInit() == 0;
    EXPECT_TRUE(started_);
    EXPECT_EQ(zq::RunScreenModeChange(640, 480, 32, 60), 0);
    EXPECT_EQ(zq::SelectDrawScreen(zq::kDrawScreenBack), 0);
  }
  ~Session() {
    if (started_) End();
    EXPECT_EQ(chdir(previous_.c_str()), 0);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void End() {
    started_ = false;
    EXPECT_EQ(zq::LibraryEnd(), 0);
    EXPECT_EQ(zq::TrackedBlockCount(), 0);
    std::ifstream in(dir_ / "AppLog.txt", std::ios::binary);
    std::stringstream log;
    log << in.rdbuf();
    EXPECT_NE(log.str().find("ZqLib の終了処理が完了しました"), std::string::npos);
    EXPECT_EQ(log.str().find("unreleased memory blocks"), std::string::npos) << log.str();
  }
  const fs::path& Dir() const { return dir_; }
  std::string Log() const {
    std::stringstream log;
    log << std::ifstream(dir_ / "AppLog.txt", std::ios::binary).rdbuf();
    return log.str();
  }
  // Files are named in full: the library's file layer keeps the directory it first saw.
  std::string Path(const char* name) const { return (dir_ / name).string(); }

 private:
  static inline int counter_ = 0;
  bool started_ = false;
  std::string previous_;
  fs::path dir_;
};

uint32_t Pixel(int x, int y) {
  uint32_t v = 0xDEADBEEF;
  EXPECT_EQ(zq::GetDrawScreenPixel(x, y, &v), 0) << x << "," << y;
  return v;
}

// ---- Start, load, draw, present, read back, end ---------------------------------------------

TEST(PublicApi, StartLoadDrawPresentReadBackEnd) {
  Session s;
  int w = 0, h = 0, bits = 0;
  EXPECT_EQ(zq::GetScreenSizeAndDepth(&w, &h, &bits), 0);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(bits, 32);
  EXPECT_EQ(zq::GetScreenColorValue(0x12, 0x34, 0x56), Screen(Rgb(0x12, 0x34, 0x56)));

  // A 3 x 2 BMP (odd width: padded rows).
  const std::vector<uint32_t> bmp = {Rgb(255, 0, 0),    Rgb(0, 255, 0),     Rgb(0, 0, 255),
                                     Rgb(10, 200, 130), Rgb(255, 255, 255), Rgb(1, 2, 3)};
  WriteBmp(s.Dir() / "pic.bmp", 3, 2, bmp);
  const int g = zq::LoadGraphFromFileStd(s.Path("pic.bmp").c_str());
  ASSERT_GE(g, 0);
  EXPECT_EQ(zq::QueryGraphDimensions(g, &w, &h), 0);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);

  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  EXPECT_EQ(zq::DrawGraphAt(10, 20, g, 0), 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Pixel(10 + x, 20 + y), Screen(bmp[size_t(y * 3 + x)]));
  EXPECT_EQ(Pixel(9, 20), 0u);
  EXPECT_EQ(Pixel(13, 21), 0u);
  EXPECT_EQ(Pixel(10, 22), 0u);

  // Mirrored: the rows reversed left to right.
  EXPECT_EQ(zq::DrawGraphMirrored(30, 20, g, 0), 0);
  EXPECT_EQ(Pixel(30, 20), Screen(bmp[2]));
  EXPECT_EQ(Pixel(32, 21), Screen(bmp[3]));
  // Stretched to twice the size: each source pixel covers 2 x 2.
  EXPECT_EQ(zq::DrawGraphRect(40, 20, 46, 24, g, 0), 0);
  EXPECT_EQ(Pixel(41, 21), Screen(bmp[0]));
  EXPECT_EQ(Pixel(44, 20), Screen(bmp[2]));
  EXPECT_EQ(Pixel(43, 23), Screen(bmp[4]));

  // A part: the right column of the graph, then the same part mirrored in place.
  EXPECT_EQ(zq::DrawGraphInRect(60, 20, 1, 0, 2, 2, g, 0, 0), 0);
  EXPECT_EQ(Pixel(60, 20), Screen(bmp[1]));
  EXPECT_EQ(Pixel(61, 21), Screen(bmp[5]));
  EXPECT_EQ(Pixel(62, 20), 0u);
  EXPECT_EQ(zq::DrawGraphInRect(70, 20, 1, 0, 2, 2, g, 0, 1), 0);
  EXPECT_EQ(Pixel(70, 20), Screen(bmp[2]));
  EXPECT_EQ(Pixel(71, 21), Screen(bmp[4]));
  // A source part stretched: pixel (2, 1) alone onto 3 x 3.
  EXPECT_EQ(zq::DrawGraphRectScaled(80, 20, 83, 23, 2, 1, 1, 1, g, 0), 0);
  EXPECT_EQ(Pixel(80, 20), Screen(bmp[5]));
  EXPECT_EQ(Pixel(82, 22), Screen(bmp[5]));
  EXPECT_EQ(Pixel(83, 22), 0u);

  // A PNG with alpha 0 and 255 over a filled box, drawn with its transparency: alpha 0 is
  // skipped, alpha 255 copied as it is.
  WritePng(s.Dir() / "alpha.png", 2, 1, {200, 100, 50, 255, 9, 9, 9, 0});
  const int a = zq::LoadGraphFromFileStd(s.Path("alpha.png").c_str());
  ASSERT_GE(a, 0);
  const uint32_t grey = zq::GetScreenColorValue(60, 70, 80);
  EXPECT_EQ(zq::DrawFilledBox(100, 100, 104, 102, grey), 0);
  EXPECT_EQ(Pixel(103, 101), grey);
  EXPECT_EQ(Pixel(104, 101), 0u);  // right edge exclusive
  EXPECT_EQ(zq::SetBlendMode(zq::kBlendAlpha, 255), 0);
  EXPECT_EQ(zq::DrawGraphAt(100, 100, a, 1), 0);
  EXPECT_EQ(zq::SetBlendMode(zq::kBlendNone, 0), 0);
  EXPECT_EQ(Pixel(100, 100), Screen(Rgb(200, 100, 50)));
  EXPECT_EQ(Pixel(101, 100), grey);

  // An outlined box: the border only.
  const uint32_t white = zq::GetScreenColorValue(255, 255, 255);
  EXPECT_EQ(zq::DrawFrameBox(200, 200, 205, 204, white), 0);
  EXPECT_EQ(Pixel(200, 200), white);
  EXPECT_EQ(Pixel(204, 203), white);
  EXPECT_EQ(Pixel(202, 202), 0u);
  EXPECT_EQ(Pixel(205, 203), 0u);

  // A divided file: two 2 x 2 cells side by side; the second drawn alone.
  const std::vector<uint32_t> cells = {Rgb(1, 1, 1), Rgb(2, 2, 2), Rgb(50, 0, 0), Rgb(0, 60, 0),
                                       Rgb(3, 3, 3), Rgb(4, 4, 4), Rgb(0, 0, 70), Rgb(80, 80, 0)};
  WriteBmp(s.Dir() / "cells.bmp", 4, 2, cells);
  int handles[2] = {-1, -1};
  ASSERT_EQ(zq::LoadDividedGraphFromFileStd(s.Path("cells.bmp").c_str(), 2, 2, 1, 2, 2, handles),
            0);
  EXPECT_EQ(zq::DrawGraphAt(300, 300, handles[1], 0), 0);
  EXPECT_EQ(Pixel(300, 300), Screen(Rgb(50, 0, 0)));
  EXPECT_EQ(Pixel(301, 300), Screen(Rgb(0, 60, 0)));
  EXPECT_EQ(Pixel(300, 301), Screen(Rgb(0, 0, 70)));
  EXPECT_EQ(Pixel(301, 301), Screen(Rgb(80, 80, 0)));

  // Read-back refusals.
  uint32_t v = 0;
  EXPECT_EQ(zq::GetDrawScreenPixel(-1, 0, &v), -1);
  EXPECT_EQ(zq::GetDrawScreenPixel(640, 0, &v), -1);
  EXPECT_EQ(zq::GetDrawScreenPixel(0, 480, &v), -1);
  EXPECT_EQ(zq::GetDrawScreenPixel(0, 0, nullptr), -1);

  // Presented, the frame as a PNG holds the same pixels.
  EXPECT_EQ(zq::PresentByFlip(), 0);
  EXPECT_EQ(zq::ProcessMessage(), 0);
  ASSERT_EQ(zq::SaveScreenPng(s.Path("shot.png").c_str()), 0);
  Picture shot;
  ASSERT_TRUE(ReadPng(s.Dir() / "shot.png", shot));
  EXPECT_EQ(shot.width, 640u);
  EXPECT_EQ(shot.height, 480u);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(shot.At(10 + x, 20 + y), bmp[size_t(y * 3 + x)]);
  EXPECT_EQ(shot.At(100, 100), Rgb(200, 100, 50));
  EXPECT_EQ(shot.At(301, 301), Rgb(80, 80, 0));
  EXPECT_EQ(shot.At(639, 479), 0u);

  // Deleting: a deleted handle is refused afterwards; the rest go at the end.
  EXPECT_EQ(zq::DeleteGraphHandle(g), 0);
  EXPECT_EQ(zq::DeleteGraphHandle(g), -1);
  EXPECT_EQ(zq::DrawGraphAt(0, 0, g, 0), -1);
  s.End();
}

TEST(PublicApi, RefusalsBeforeAndAfterTheLibraryRuns) {
  const std::string bmp = (fs::temp_directory_path() / "zqlib-public-early.bmp").string();
  WriteBmp(bmp, 2, 1, {Rgb(1, 2, 3), Rgb(4, 5, 6)});
  const std::string shot = bmp + ".png";
  const int blocks = zq::TrackedBlockCount();
  // Without the library nothing is loaded, made, drawn or saved, and no memory stays behind;
  // the start-up settings and the creation options still answer.
  auto refused = [&] {
    uint32_t v = 0;
    EXPECT_EQ(zq::GetDrawScreenPixel(0, 0, &v), -1);
    EXPECT_EQ(zq::StartMessageThread(), -1);
    EXPECT_EQ(zq::LibraryEnd(), -1);
    EXPECT_EQ(zq::LoadGraphFromFileStd(bmp.c_str()), -1);
    int cells[2] = {5, 5};
    EXPECT_EQ(zq::LoadDividedGraphFromFileStd(bmp.c_str(), 2, 2, 1, 1, 1, cells), -1);
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
    EXPECT_EQ(zq::SaveScreenPng((s.Dir() / "no-such-dir" / "x.png").c_str()), -1);
    EXPECT_NE(s.Log().find("x.png に保存できませんでした in SaveScreenPng"), std::string::npos);
  }
  refused();  // after the end, with a frame presented
  fs::remove(bmp);
}

// Each refusal of a call the library cannot carry out: -1 and a line in the log.
TEST(PublicApi, FailuresSaySoInTheLog) {
  Session s;
  // Only the start-up's own cleared frame was presented.
  EXPECT_EQ(zq::SaveScreenPng(s.Path("early.png").c_str()), -1);
  EXPECT_FALSE(fs::exists(s.Dir() / "early.png"));
  for (int r : {zq::SetBlendMode(5, 100), zq::SetBlendMode(-1, 100), zq::SetCreateColorBitDepth(24),
                zq::SetSamplingMode(2)})
    EXPECT_EQ(r, -1);
  WriteBmp(s.Dir() / "cells.bmp", 4, 2, std::vector<uint32_t>(8, Rgb(9, 9, 9)));
  const std::string cells = s.Path("cells.bmp");
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

// ---- Lines -----------------------------------------------------------------------------------

TEST(PublicApi, LinesInEachBlendMode) {
  Session s;
  // Over (200, 100, 50) in the colour (100, 150, 250), bytes B, G, R, X of the 32-bit screen:
  // copy; alpha 128: d + (s - d) * 128 / 256; add 255: saturating, the lowest green bit set by
  // blue's overflow and the fourth byte by red's; subtract 255: green keeps only its top seven
  // bits' difference, red's lowest bit is green's no-borrow flag (0 here); multiply: s * d / 256
  // with the fourth byte kept.
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
    // The first end is drawn, the second is not.
    for (int x : {4, 5, 14, 15}) EXPECT_EQ(Pixel(x, y), x == 4 || x == 15 ? back : c.pixel) << x;
  }
  EXPECT_EQ(zq::SetBlendMode(zq::kBlendNone, 0), 0);
  // Steep: one pixel a row, the column stepping once the error reaches the row count; and a
  // line from outside the draw area, clipped to it.
  EXPECT_EQ(zq::DrawLine(20, 10, 22, 15, color), 0);
  EXPECT_EQ(zq::DrawLine(-5, 30, 3, 30, color), 0);
  for (auto [x, y, drawn] : {std::tuple{20, 10, true},
                             {20, 11, true},
                             {20, 12, true},
                             {21, 13, true},
                             {21, 14, true},
                             {22, 15, false},
                             {21, 12, false},
                             {20, 13, false},
                             {0, 30, true},
                             {2, 30, true},
                             {3, 30, false}})
    EXPECT_EQ(Pixel(x, y), drawn ? color : back) << x << "," << y;
}

// ---- Draw screens, draw area, creation options, blend graph, mask ---------------------------

TEST(PublicApi, DrawableGraphDrawAreaAndCopy) {
  Session s;
  EXPECT_EQ(zq::SetCreateOptionFlag(1), 0);
  const int target = zq::CreateEmptyGraph(8, 8);
  EXPECT_EQ(zq::SetCreateOptionFlag(0), 0);
  ASSERT_GE(target, 0);
  ASSERT_EQ(zq::SelectDrawScreen(target), 0);
  EXPECT_EQ(zq::GetDrawScreenHandle(), target);
  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  const uint32_t c = zq::GetScreenColorValue(30, 60, 90);
  EXPECT_EQ(zq::ApplyDrawArea(2, 2, 6, 6), 0);
  EXPECT_EQ(zq::DrawFilledBox(0, 0, 8, 8, c), 0);  // clipped to the draw area
  EXPECT_EQ(Pixel(2, 2), c);
  EXPECT_EQ(Pixel(5, 5), c);
  EXPECT_EQ(Pixel(1, 1), 0u);
  EXPECT_EQ(Pixel(6, 6), 0u);
  uint32_t v = 0;
  EXPECT_EQ(zq::GetDrawScreenPixel(8, 0, &v), -1);  // the graph's size bounds the read

  // The graph drawn onto the back screen, then a part of the screen copied into a new graph.
  ASSERT_EQ(zq::SelectDrawScreen(zq::kDrawScreenBack), 0);
  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  EXPECT_EQ(zq::DrawGraphAt(100, 50, target, 0), 0);
  EXPECT_EQ(Pixel(102, 52), c);
  EXPECT_EQ(Pixel(101, 51), 0u);
  const int copy = zq::CreateEmptyGraph(4, 4);
  ASSERT_GE(copy, 0);
  EXPECT_EQ(zq::CopyDrawScreenToGraph(101, 51, 105, 55, copy, 0), 0);
  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  EXPECT_EQ(zq::DrawGraphAt(0, 0, copy, 0), 0);
  EXPECT_EQ(Pixel(0, 0), 0u);
  EXPECT_EQ(Pixel(1, 1), c);
  EXPECT_EQ(Pixel(3, 3), c);

  // A derived graph shows the part of its parent.
  const int part = zq::DeriveGraphRect(1, 1, 2, 2, copy);
  ASSERT_GE(part, 0);
  EXPECT_EQ(zq::DrawGraphAt(20, 20, part, 0), 0);
  EXPECT_EQ(Pixel(20, 20), c);
  EXPECT_EQ(Pixel(22, 22), 0u);

  // Bright: each channel multiplied by bright / 255 (255 and 0 are exact).
  EXPECT_EQ(zq::FillGraphColor(copy, 200, 100, 50, 255), 0);
  EXPECT_EQ(zq::SetDrawBrightRGB(255, 0, 255), 0);
  EXPECT_EQ(zq::DrawGraphAt(40, 40, copy, 0), 0);
  EXPECT_EQ(zq::SetDrawBrightRGB(255, 255, 255), 0);
  EXPECT_EQ(0xFFFFFFu & Pixel(40, 40), Rgb(200, 0, 50));
  EXPECT_EQ(zq::DeleteAllGraphHandles(), 0);
  EXPECT_EQ(zq::DrawGraphAt(0, 0, copy, 0), -1);
}

TEST(PublicApi, BlendGraphSteersACopyByItsValues) {
  Session s;
  // Border parameter 128 and range 255 make the blend table the identity (factor = blend
  // byte), and a copy with a blend factor b gives d + (s - d) * b / 256, rounded down (compared
  // in the colour fields). The blend image is read one byte per drawn pixel, so the first pixel
  // of the blend graph, bytes blue 0, green 128, red 255, steers the first three pixels.
  WriteBmp(s.Dir() / "ramp.bmp", 3, 1, {Rgb(255, 128, 0), Rgb(7, 7, 7), Rgb(7, 7, 7)});
  WriteBmp(s.Dir() / "red.bmp", 3, 1, {Rgb(255, 0, 0), Rgb(255, 0, 0), Rgb(255, 0, 0)});
  const int ramp = zq::LoadGraphFromFileStd(s.Path("ramp.bmp").c_str());
  const int red = zq::LoadGraphFromFileStd(s.Path("red.bmp").c_str());
  ASSERT_GE(ramp, 0);
  ASSERT_GE(red, 0);
  EXPECT_EQ(zq::SelectBlendGraph(red + 1000, 0, 0), -1);  // not a live handle
  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  EXPECT_EQ(zq::SelectBlendGraph(ramp, 128, 255), 0);
  EXPECT_EQ(zq::DrawGraphAt(10, 10, red, 0), 0);
  EXPECT_EQ(zq::SelectBlendGraph(-1, 0, 0), 0);
  EXPECT_EQ(0xFFFFFFu & Pixel(10, 10), Rgb(0, 0, 0));
  EXPECT_EQ(0xFFFFFFu & Pixel(11, 10), Rgb(255 * 128 / 256, 0, 0));
  EXPECT_EQ(0xFFFFFFu & Pixel(12, 10), Rgb(255 * 255 / 256, 0, 0));
  // Without the blend graph the copy is plain again.
  EXPECT_EQ(zq::DrawGraphAt(10, 11, red, 0), 0);
  EXPECT_EQ(Pixel(10, 11), Screen(Rgb(255, 0, 0)));
}

TEST(PublicApi, MaskKeepsPixelsUnderNonZeroBytes) {
  Session s;
  EXPECT_EQ(zq::FillMaskRect(0, 0, 10, 10, 1), -1);  // no mask yet
  EXPECT_EQ(zq::SetMaskEnabled(1), -1);
  ASSERT_EQ(zq::CreateMaskScreen(), 0);
  EXPECT_EQ(zq::FillMaskRect(12, 10, 10, 20, 1), 0);  // reversed: empty
  EXPECT_EQ(zq::FillMaskRect(10, 10, 14, 12, 1), 0);
  EXPECT_EQ(zq::FillMaskRect(-5, -5, 2, 1, 1), 0);  // clipped to the screen
  EXPECT_EQ(zq::ClearTargetScreen(), 0);
  const uint32_t c = zq::GetScreenColorValue(90, 180, 20);
  EXPECT_EQ(zq::SetMaskEnabled(1), 0);
  EXPECT_EQ(zq::DrawFilledBox(0, 0, 20, 20, c), 0);
  EXPECT_EQ(zq::SetMaskEnabled(0), 0);
  EXPECT_EQ(Pixel(10, 10), 0u);
  EXPECT_EQ(Pixel(13, 11), 0u);
  EXPECT_EQ(Pixel(0, 0), 0u);
  EXPECT_EQ(Pixel(1, 0), 0u);
  EXPECT_EQ(Pixel(2, 0), c);
  EXPECT_EQ(Pixel(0, 1), c);
  EXPECT_EQ(Pixel(14, 11), c);
  EXPECT_EQ(Pixel(10, 12), c);
  EXPECT_EQ(Pixel(11, 15), c);
  // Mask off: everything drawn.
  EXPECT_EQ(zq::DrawFilledBox(0, 0, 20, 20, zq::GetScreenColorValue(1, 2, 3)), 0);
  EXPECT_EQ(Pixel(10, 10), Screen(Rgb(1, 2, 3)));
}

// ---- Helpers that run without the lock ----------------------------------------------------------

TEST(PublicApi, ClipAndColourHelpers) {
  int r[4] = {-10, 5, 50, 500};
  const int clip[4] = {0, 0, 40, 100};
  EXPECT_EQ(zq::ClipRectToRect(r, clip), 0);
  EXPECT_EQ(r[0], 0);
  EXPECT_EQ(r[1], 5);
  EXPECT_EQ(r[2], 40);
  EXPECT_EQ(r[3], 100);
  int reversed[4] = {30, 30, 10, 10};  // collapsed first, then clipped
  EXPECT_EQ(zq::ClipRectToRect(reversed, clip), 0);
  EXPECT_EQ(reversed[0], 30);
  EXPECT_EQ(reversed[2], 30);
  EXPECT_EQ(reversed[1], 30);
  EXPECT_EQ(reversed[3], 30);
  EXPECT_EQ(zq::ClipRectToRect(nullptr, clip), -1);

  Session s;
  int red = 0, green = 0, blue = 0;
  EXPECT_EQ(zq::SplitScreenColorValue(Rgb(7, 8, 9), &red, &green, &blue), 0);
  EXPECT_EQ(red, 7);
  EXPECT_EQ(green, 8);
  EXPECT_EQ(blue, 9);
}

// ---- The lock: two threads at once draw what they draw one after the other ------------------

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

std::vector<uint32_t> ReadScreen() {
  std::vector<uint32_t> pixels(640 * 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      uint32_t& p = pixels[size_t(y * 640 + x)];
      zq::GetDrawScreenPixel(x, y, &p);
      // The colour fields: the additive draws leave their own carries in the unused top byte,
      // so only the last one of them shows there.
      p &= 0xFFFFFF;
    }
  return pixels;
}

TEST(PublicApi, TwoThreadsDrawingAtOnceMatchOneAfterTheOther) {
  Session s;
  std::vector<uint32_t> picture(16 * 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) picture[size_t(y * 16 + x)] = Rgb(x * 4, y * 3, (x + y) * 2 + 1);
  WriteBmp(s.Dir() / "sprite.bmp", 16, 16, picture);
  const int sprite = zq::LoadGraphFromFileStd(s.Path("sprite.bmp").c_str());
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
    const std::vector<uint32_t> together = ReadScreen();
    size_t differing = 0;
    for (size_t i = 0; i < together.size(); ++i) differing += together[i] != sequential[i];
    EXPECT_EQ(differing, 0u) << "round " << round;
  }
  // The picture is not trivial: both threads' boxes overlap and saturate somewhere.
  size_t lit = 0, saturated = 0;
  for (uint32_t p : sequential) {
    lit += p != 0;
    saturated += (p & 0xFF00) == 0xFF00;
  }
  EXPECT_GT(lit, 640u * 480u / 4);
  EXPECT_GT(saturated, 0u);
  EXPECT_EQ(zq::SetBlendMode(zq::kBlendNone, 0), 0);
}

// ---- The message thread ----------------------------------------------------------------------

TEST(PublicApi, MessageThreadRunsUntilTheEnd) {
  Session s;
  EXPECT_EQ(zq::StartMessageThread(), 0);
  EXPECT_EQ(zq::StartMessageThread(), -1);  // one at a time
  // Drawing and presenting go on beside it.
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(zq::ClearTargetScreen(), 0);
    EXPECT_EQ(zq::DrawFilledBox(i, i, i + 10, i + 10, zq::GetScreenColorValue(9, 9, 9)), 0);
    EXPECT_EQ(zq::PresentByFlip(), 0);
    EXPECT_EQ(zq::ProcessMessage(), 0);
  }
  s.End();  // stops the thread
  // A new start may run a new one.
  Session again;
  EXPECT_EQ(zq::StartMessageThread(), 0);
}

}  // namespace
