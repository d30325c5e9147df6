// The window presenter: headless unless asked, the fallback without a display, and (only where a
// display exists, e.g. under xvfb-run) the real window: pixels read back from it, its title and
// size, and window events turned into messages.
#include "platform/present/sdl_window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/present/present.h"
#include "platform/win/window.h"

// Starting SDL's video opens a D-Bus session connection; libdbus keeps process-wide state that
// only dbus_shutdown() frees, which neither SDL nor a library may call for the whole process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

namespace zq::platform {
namespace {

// Sets or unsets an environment variable for one test and restores it afterwards.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvGuard() {
    if (saved_) {
      setenv(name_, saved_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

bool PresentXrgb(const std::vector<uint32_t>& px, int32_t w, int32_t h) {
  return PresentPixels(px.data(), w, h, w * 4, PixelFormatXRGB8888());
}

TEST(WindowPresenterTest, HeadlessUnlessAsked) {
  const std::vector<uint32_t> px(4, 0x123456);
  for (const char* value : {static_cast<const char*>(nullptr), "headless", "sdl"}) {
    SCOPED_TRACE(value ? value : "(unset)");
    EnvGuard env("ZQ_PRESENTER", value);
    ResetPresenter();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(PresentXrgb(px, 2, 2));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(IsWindowPresenterActive());
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    EXPECT_EQ(presenttest::WindowId(), 0u);
    EXPECT_EQ(GetPresentCount(), 1u);
    EXPECT_EQ(GetLastPresentedFrame().pixels, px);
    if (value && std::string(value) == "sdl") {
      EXPECT_EQ(err,
                "zqlib: ZQ_PRESENTER=sdl is neither window nor headless; presenting headless\n");
    } else {
      EXPECT_EQ(err, "");
    }
  }
  ResetPresenter();
}

TEST(WindowPresenterTest, NoDisplayFallsBackToHeadlessOnce) {
  EnvGuard presenter("ZQ_PRESENTER", "window");
  EnvGuard x11("DISPLAY", nullptr);
  EnvGuard wayland("WAYLAND_DISPLAY", nullptr);
  EnvGuard driver("SDL_VIDEODRIVER", nullptr);
  ResetPresenter();
  const std::vector<uint32_t> px = {0xABCDEF};
  testing::internal::CaptureStderr();
  ASSERT_TRUE(PresentXrgb(px, 1, 1));
  EXPECT_FALSE(UseWindowPresenter(true));  // the program's own request fails the same way
  ASSERT_TRUE(PresentXrgb(px, 1, 1));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "zqlib: no window presenter (no display); presenting headless\n");
  EXPECT_FALSE(IsWindowPresenterActive());
  EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
  EXPECT_EQ(GetPresentCount(), 2u);
  EXPECT_EQ(GetLastPresentedFrame().pixels, px);
  ResetPresenter();
}

TEST(WindowPresenterTest, UnreachableDisplayFallsBackToHeadless) {
  EnvGuard x11("DISPLAY", ":4095");
  EnvGuard wayland("WAYLAND_DISPLAY", nullptr);
  EnvGuard driver("SDL_VIDEODRIVER", nullptr);
  ResetPresenter();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(UseWindowPresenter(true));
  const std::string err = testing::internal::GetCapturedStderr();
  const size_t at = err.find("zqlib: no window presenter (cannot open the display: ");
  ASSERT_NE(at, std::string::npos) << err;
  EXPECT_EQ(err.find("zqlib:", at + 1), std::string::npos) << err;
  EXPECT_EQ(err.back(), '\n');
  EXPECT_FALSE(IsWindowPresenterActive());
  EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
  ResetPresenter();
}

struct KeepingSink : FrameSink {
  std::vector<uint32_t> last;
  void ShowFrame(const FrameView& f) override { last = ToRgbFrame(f).pixels; }
};

TEST(WindowPresenterTest, ProgramsOwnSinkOutranksTheEnvironment) {
  EnvGuard presenter("ZQ_PRESENTER", "window");
  ResetPresenter();
  KeepingSink sink;
  SetFrameSink(&sink);
  const std::vector<uint32_t> px = {0x010203, 0x040506};
  ASSERT_TRUE(PresentXrgb(px, 2, 1));
  EXPECT_EQ(sink.last, px);
  EXPECT_FALSE(IsWindowPresenterActive());
  EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
  ResetPresenter();
}

// ---- With a display ---------------------------------------------------------------------------

uint32_t Pattern(int64_t x, int64_t y) {
  return uint32_t(x * 3 + 1) << 16 | uint32_t(y * 5 + 2) << 8 | uint32_t((x ^ y) & 0xFF);
}

class RealWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) GTEST_SKIP() << "no display";
    ResetPresenter();
    ResetWindowSystem();
    ASSERT_TRUE(SetDesktop(64, 48, PixelFormatXRGB8888()));
    WindowDesc desc;
    desc.className = "zqtest";
    desc.title = "zq window";
    desc.clientRect = RECT{10, 5, 42, 29};
    desc.proc = [this](Window&, const Message& m) { seen_.push_back(m.kind); };
    ASSERT_NE(CreateMainWindow(desc), nullptr);
    if (!UseWindowPresenter(true)) GTEST_SKIP() << "SDL video cannot start";
  }
  void TearDown() override {
    ResetPresenter();
    ResetWindowSystem();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
  }
  // Dispatches everything queued and returns what the window procedure saw.
  std::vector<MessageKind> Drain() {
    seen_.clear();
    while (PumpMessages() > 0) {
    }
    return seen_;
  }
  void Push(uint8_t windowEvent, uint32_t windowId) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = windowEvent;
    e.window.windowID = windowId;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
  void ExpectWindowShows(int32_t w, int32_t h, const std::vector<uint32_t>& expect) {
    int32_t rw = 0, rh = 0;
    std::vector<uint32_t> got;
    ASSERT_TRUE(presenttest::ReadWindowPixels(rw, rh, got));
    ASSERT_EQ(rw, w);
    ASSERT_EQ(rh, h);
    for (size_t i = 0; i < expect.size(); ++i)
      ASSERT_EQ(got[i], expect[i]) << "x " << i % size_t(w) << " y " << i / size_t(w);
  }
  std::vector<MessageKind> seen_;
};

TEST_F(RealWindowTest, ShowsTheClientPartOfTheDesktopFrame) {
  std::vector<uint32_t> desktop(64 * 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) desktop[size_t(y * 64 + x)] = Pattern(x, y);
  ASSERT_TRUE(PresentXrgb(desktop, 64, 48));
  const uint32_t id = presenttest::WindowId();
  ASSERT_NE(id, 0u);
  SDL_Window* sdl = SDL_GetWindowFromID(id);
  ASSERT_NE(sdl, nullptr);
  EXPECT_STREQ(SDL_GetWindowTitle(sdl), "zq window");
  int w = 0, h = 0;
  SDL_GetWindowSize(sdl, &w, &h);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 24);
  std::vector<uint32_t> expect(32 * 24);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 32; ++x) expect[size_t(y * 32 + x)] = Pattern(x + 10, y + 5);
  ExpectWindowShows(32, 24, expect);

  // Client area hanging over the desktop's left and bottom edges: black there.
  Window* main = GetMainWindow();
  main->SetClientRect(RECT{-4, 40, 28, 64});
  main->SetTitle("renamed");
  ASSERT_TRUE(PresentXrgb(desktop, 64, 48));
  EXPECT_STREQ(SDL_GetWindowTitle(sdl), "renamed");
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 32; ++x)
      expect[size_t(y * 32 + x)] = (x < 4 || y >= 8) ? 0 : Pattern(x - 4, y + 40);
  ExpectWindowShows(32, 24, expect);

  // A resized client area resizes the window.
  main->SetClientRect(RECT{20, 10, 60, 30});
  ASSERT_TRUE(PresentXrgb(desktop, 64, 48));
  SDL_GetWindowSize(sdl, &w, &h);
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 20);
  expect.assign(40 * 20, 0);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x) expect[size_t(y * 40 + x)] = Pattern(x + 20, y + 10);
  ExpectWindowShows(40, 20, expect);
}

TEST_F(RealWindowTest, SixteenBitFramesOfClientSize) {
  // 5:6:5 and 5:5:5 colour words and their 8-bit channels (top bits repeated below).
  const uint16_t w565[4] = {0xF800, 0x07E0, 0x0410, 0x841F};
  const uint32_t rgb565[4] = {0xFF0000, 0x00FF00, 0x008284, 0x8482FF};
  const uint16_t w555[4] = {0x7C00, 0x03E0, 0x4210, 0x001F};
  const uint32_t rgb555[4] = {0xFF0000, 0x00FF00, 0x848484, 0x0000FF};
  struct Case {
    const uint16_t* words;
    const uint32_t* rgb;
    PixelFormat format;
  };
  for (const Case& c :
       {Case{w565, rgb565, PixelFormatRGB565()}, Case{w555, rgb555, PixelFormatRGB555()}}) {
    std::vector<uint16_t> frame(32 * 24);
    std::vector<uint32_t> expect(32 * 24);
    for (size_t i = 0; i < frame.size(); ++i) {
      const size_t k = (i % 32 + i / 32) % 4;
      frame[i] = c.words[k];
      expect[i] = c.rgb[k];
    }
    ASSERT_TRUE(PresentPixels(frame.data(), 32, 24, 64, c.format));
    ExpectWindowShows(32, 24, expect);
  }
}

TEST_F(RealWindowTest, WindowEventsBecomeMessages) {
  ASSERT_TRUE(PresentXrgb(std::vector<uint32_t>(64 * 48, 0), 64, 48));
  const uint32_t id = presenttest::WindowId();
  ASSERT_NE(id, 0u);
  // Whatever the display itself reported while the window opened is not under test.
  SDL_Delay(50);
  PollPresenterEvents();
  Drain();

  SDL_Event quit{};
  quit.type = SDL_QUIT;
  ASSERT_EQ(SDL_PushEvent(&quit), 1);
  PollPresenterEvents();
  EXPECT_EQ(Drain(), std::vector<MessageKind>{MessageKind::Close});

  // A close click brings a window close and a quit: one Close message.
  Push(SDL_WINDOWEVENT_CLOSE, id);
  ASSERT_EQ(SDL_PushEvent(&quit), 1);
  PollPresenterEvents();
  EXPECT_EQ(Drain(), std::vector<MessageKind>{MessageKind::Close});

  Push(SDL_WINDOWEVENT_FOCUS_LOST, id);
  PollPresenterEvents();
  EXPECT_FALSE(GetMainWindow()->IsActive());
  EXPECT_EQ(Drain(), std::vector<MessageKind>{MessageKind::Deactivate});
  Push(SDL_WINDOWEVENT_FOCUS_GAINED, id);
  PollPresenterEvents();
  EXPECT_TRUE(GetMainWindow()->IsActive());
  EXPECT_EQ(Drain(), std::vector<MessageKind>{MessageKind::Activate});

  // Events of another window mean nothing; a present also reads the events.
  Push(SDL_WINDOWEVENT_FOCUS_LOST, id + 1);
  Push(SDL_WINDOWEVENT_CLOSE, id + 1);
  PollPresenterEvents();
  EXPECT_TRUE(Drain().empty());
  Push(SDL_WINDOWEVENT_FOCUS_LOST, id);
  ASSERT_TRUE(PresentXrgb(std::vector<uint32_t>(64 * 48, 0), 64, 48));
  EXPECT_EQ(Drain(), std::vector<MessageKind>{MessageKind::Deactivate});
}

}  // namespace
}  // namespace zq::platform
