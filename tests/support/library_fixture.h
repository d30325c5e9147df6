// Starts the library headless for a test and ends it, checking that nothing leaked.
//
//   zq::test::LibrarySession lib({.bits = 32});          // software screen, 32 bits, window
//   zq::test::LibrarySession hw({.softwareScreen = false}); // simulated DirectDraw surfaces
//   ... lib.End() ... EXPECT_EQ(lib.Log().find("..."), ...);
//
// The session resets the simulated window system, DirectDraw and the presenter, runs in a fresh
// temporary directory (the log AppLog.txt is written there), and on End checks that the leak
// report of the log is empty and no tracked block is left. The transparent colour, which the
// library keeps from one start to the next, is given back as the session found it, so tests
// run in one process see the same start as tests run alone.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "base/memory.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/library_init.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/dshow/dshow.h"
#include "platform/gdi/font.h"
#include "platform/present/present.h"
#include "platform/win/window.h"

namespace zq::test {

struct LibraryOptions {
  int bits = 16;               // screen depth after start: 16 or 32
  bool softwareScreen = true;  // false: the screen buffers are simulated DirectDraw surfaces
  bool windowed = true;
  bool start = true;  // false: only prepare the platform and the directory
  // true: the simulated Direct3D is present before the start (needs softwareScreen = false);
  // tests configure its enumeration between a session made with start = false and Start().
  bool direct3D = false;
};

// Resets every platform stand-in to its defaults.
inline void ResetPlatform() {
  platform::ResetWindowSystem();
  platform::ddtest::Reset();
  platform::dshowtest::Reset();
  platform::d3dtest::Reset(/*present=*/false);
  platform::ResetPresenter();
  platform::gditest::Reset();
  // Tests that only start the library do not depend on the fonts installed.
  platform::gditest::UseSyntheticDefaultFace(true);
}

class LibrarySession {
 public:
  explicit LibrarySession(LibraryOptions options = {}) : options_(options) {
    ResetPlatform();
    transColorBefore_ = gfx::g_DrawState.TransColor;
    blocksBefore_ = base::TrackedBlockCount();
    char cwd[4096];
    previousDir_ = getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
    dir_ = std::filesystem::temp_directory_path() /
           ("zqlib-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::create_directories(dir_);
    if (chdir(dir_.c_str()) != 0) ADD_FAILURE() << "cannot enter " << dir_;
    gfx::SetSoftwareScreenAtStart(options.softwareScreen ? 1 : 0);
    gfx::ChangeWindowMode(options.windowed ? 1 : 0);
    if (options.direct3D) {
      EXPECT_FALSE(options.softwareScreen) << "Direct3D never starts on a software screen";
      platform::d3dtest::SetPresent(true);
    }
    if (options.start) Start();
  }

  ~LibrarySession() {
    if (started_) End();
    gfx::SetSoftwareScreenAtStart(1);
    gfx::ChangeWindowMode(1);
    if (chdir(previousDir_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << previousDir_;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    ResetPlatform();
    gfx::g_DrawState.TransColor = transColorBefore_;
  }
  LibrarySession(const LibrarySession&) = delete;
  LibrarySession& operator=(const LibrarySession&) = delete;

  // LibraryInit, then the screen depth asked for. Returns LibraryInit's result.
  int Start() {
    const int result = gfx::LibraryInit();
    started_ = result == 0;
    if (started_ && options_.bits != 16) {
      EXPECT_EQ(gfx::RunScreenModeChange(640, 480, options_.bits, 60), 0);
    }
    return result;
  }

  // LibraryEnd, then the checks: an empty leak report and no tracked block left.
  void End() {
    if (!started_) return;
    started_ = false;
    EXPECT_EQ(gfx::LibraryEnd(), 0);
    log_ = ReadLog();
    EXPECT_EQ(log_.find("unreleased memory blocks"), std::string::npos) << log_;
    EXPECT_EQ(base::TrackedBlockCount(), blocksBefore_);
    EXPECT_EQ(platform::d3dtest::GetCounters().liveObjects, 0);
    EXPECT_EQ(platform::d3dtest::GetCounters().liveDevices, 0);
  }

  bool Started() const { return started_; }
  // The log as written so far (complete after End).
  std::string Log() const { return started_ ? ReadLog() : log_; }
  const std::filesystem::path& Dir() const { return dir_; }

 private:
  std::string ReadLog() const {
    std::ifstream in(dir_ / "AppLog.txt", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  static inline int counter_ = 0;
  LibraryOptions options_;
  bool started_ = false;
  size_t blocksBefore_ = 0;
  uint32_t transColorBefore_ = 0;
  std::string previousDir_;
  std::filesystem::path dir_;
  std::string log_;
};

}  // namespace zq::test
