// What the public tests share: colours of the 32-bit screen, a PNG writer, the pixel read-back,
// and a session that starts the library through the public header only.
#pragma once

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
#include <vector>

namespace zq::pubtest {

namespace fs = std::filesystem;

// 0x00RRGGBB of the 32-bit screen.
inline constexpr uint32_t Rgb(int r, int g, int b) {
  return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// A pixel value of the 32-bit software screen: its unused top byte is set.
inline constexpr uint32_t Screen(uint32_t rgb) {
  return 0xFF000000u | rgb;
}

// A PNG of 0x00RRGGBB pixels, top row first; with alpha when one pixel is marked 0x01RRGGBB
// (alpha 0, the others 255).
inline void WritePng(const fs::path& path, int width, int height,
                     const std::vector<uint32_t>& pixels) {
  const bool alpha = std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p >> 24; });
  std::vector<uint8_t> bytes;
  for (uint32_t p : pixels) {
    bytes.insert(bytes.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
    if (alpha) bytes.push_back(p >> 24 ? 0 : 255);
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, bytes.data(), 0, nullptr));
}

// Runs a test in a fresh directory (the log AppLog.txt lands there) with the library started in
// a window on a 640 x 480 screen of 16 or 32 bits, the back screen selected, graphs on the
// Direct3D path when asked; End checks that the leak report is empty.
class Session {
 public:
  explicit Session(int bits = 32, bool direct3D = false) {
    char cwd[4096];
    previous_ = getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
    dir_ = fs::temp_directory_path() /
           ("zqlib-public-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(dir_);
    EXPECT_EQ(chdir(dir_.c_str()), 0);
    EXPECT_EQ(zq::UseWindowPresenter(0), 0);
    EXPECT_EQ(zq::ChangeWindowMode(1), 0);
    EXPECT_EQ(zq::ChooseDirect3DGraphs(direct3D ? 1 : 0), 0);
    started_ = zq::LibraryInit() == 0;
    EXPECT_TRUE(started_);
    EXPECT_EQ(zq::RunScreenModeChange(640, 480, bits, 60), 0);
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
    EXPECT_EQ(zq::ChooseDirect3DGraphs(0), 0);  // the next start is on the software screen
    EXPECT_EQ(zq::TrackedBlockCount(), 0);
    EXPECT_NE(Log().find("ZqLib の終了処理が完了しました"), std::string::npos);
    EXPECT_EQ(Log().find("unreleased memory blocks"), std::string::npos) << Log();
  }
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

inline uint32_t Pixel(int x, int y) {
  uint32_t v = 0xDEADBEEF;
  EXPECT_EQ(zq::GetDrawScreenPixel(x, y, &v), 0) << x << "," << y;
  return v;
}

}  // namespace zq::pubtest
