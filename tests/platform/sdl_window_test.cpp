// The window presenter: headless unless asked, the fallback without a display, and (only where a
// display exists, e.g. under xvfb-run) the real window: pixels read back from it, its title and
// size, and window events turned into messages.
#include "platform/present/sdl_window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
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

// Sets (or, with nullptr, unsets) an environment variable for one test and restores it.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~EnvGuard() { saved_ ? setenv(name_, saved_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

bool PresentXrgb(const std::vector<uint32_t>& px, int32_t w, int32_t h) {
  return PresentPixels(px.data(), w, h, w * 4, PixelFormatXRGB8888());
}

// Presents, asks for the window, presents again: all headless; returns what was printed.
std::string PresentHeadless(const std::vector<uint32_t>& px) {
  ResetPresenter();
  testing::internal::CaptureStderr();
  EXPECT_TRUE(PresentXrgb(px, int32_t(px.size()), 1));
  EXPECT_FALSE(UseWindowPresenter(true));
  EXPECT_TRUE(PresentXrgb(px, int32_t(px.size()), 1));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(IsWindowPresenterActive());
  EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
  EXPECT_EQ(presenttest::WindowId(), 0u);
  EXPECT_EQ(GetPresentCount(), 2u);
  EXPECT_EQ(GetLastPresentedFrame().pixels, px);
  ResetPresenter();
  return err;
}

TEST(WindowPresenterTest, HeadlessUnlessAskedAndWhereNoDisplayOpens) {
  const std::vector<uint32_t> px = {0x123456, 0xABCDEF};
  for (const char* value : {static_cast<const char*>(nullptr), "headless", "sdl"}) {
    EnvGuard env("ZQ_PRESENTER", value);
    ResetPresenter();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(PresentXrgb(px, 2, 1));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(IsWindowPresenterActive());
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    EXPECT_EQ(GetLastPresentedFrame().pixels, px);
    EXPECT_EQ(err, value && std::string(value) == "sdl"
                       ? "zqlib: ZQ_PRESENTER=sdl is neither window nor headless; presenting "
                         "headless\n"
                       : "");
  }
  // Asked for a window with no display: said once, and the program's own request fails too.
  EnvGuard presenter("ZQ_PRESENTER", "window"), wayland("WAYLAND_DISPLAY", nullptr),
      driver("SDL_VIDEODRIVER", nullptr);
  {
    EnvGuard x11("DISPLAY", nullptr);
    EXPECT_EQ(PresentHeadless(px),
              "zqlib: no window presenter (no display); presenting headless\n");
  }
  EnvGuard x11("DISPLAY", ":4095");  // a display that cannot be reached
  const std::string err = PresentHeadless(px);
  const size_t at = err.find("zqlib: no window presenter (cannot open the display: ");
  ASSERT_NE(at, std::string::npos) << err;
  EXPECT_EQ(err.find("zqlib:", at + 1), std::string::npos) << err;
  EXPECT_EQ(err.back(), '\n');
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
  std::vector<MessageKind> seen_;
};

TEST_F(RealWindowTest, ShowsTheClientPartOfTheDesktopFrame) {
  std::vector<uint32_t> desktop(64 * 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) desktop[size_t(y * 64 + x)] = Pattern(x, y);
  // The same desktop as a primary surface, presented as the client area's part alone.
  DirectDraw* dd = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(&dd), DD_OK);
  SurfaceDesc pd;
  pd.flags = DDSD_CAPS;
  pd.caps.caps = DDSCAPS_PRIMARYSURFACE;
  DirectDrawSurface* primary = nullptr;
  ASSERT_EQ(dd->CreateSurface(pd, &primary), DD_OK);
  SurfaceDesc locked;
  ASSERT_EQ(primary->Lock(nullptr, &locked, 0), DD_OK);
  for (int y = 0; y < 48; ++y)
    std::memcpy(static_cast<uint8_t*>(locked.surface) + int64_t(y) * locked.pitch,
                desktop.data() + y * 64, 64 * 4);
  primary->Unlock(nullptr);
  Window* main = GetMainWindow();
  // Client area inside the desktop, hanging over its left and bottom edges (black there), and
  // resized: the window follows, with its title.
  const struct {
    RECT client;
    const char* title;
  } rows[] = {
      {{10, 5, 42, 29}, "zq window"}, {{-4, 40, 28, 64}, "renamed"}, {{20, 10, 60, 30}, "r"}};
  for (const auto& [r, part] : {std::pair(rows[0], false), std::pair(rows[1], false),
                                 std::pair(rows[2], false), std::pair(rows[0], true),
                                 std::pair(rows[1], true), std::pair(rows[2], true)}) {
    SCOPED_TRACE(part);
    main->SetClientRect(r.client);
    main->SetTitle(r.title);
    if (part)
      ASSERT_EQ(PresentSurface(primary, &r.client), DD_OK);
    else
      ASSERT_TRUE(PresentXrgb(desktop, 64, 48));
    SDL_Window* sdl = SDL_GetWindowFromID(presenttest::WindowId());
    ASSERT_NE(sdl, nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(sdl), r.title);
    const int w = r.client.right - r.client.left, h = r.client.bottom - r.client.top;
    int sw = 0, sh = 0, rw = 0, rh = 0;
    SDL_GetWindowSize(sdl, &sw, &sh);
    EXPECT_EQ(sw * 1000 + sh, w * 1000 + h);
    std::vector<uint32_t> got;
    ASSERT_TRUE(presenttest::ReadWindowPixels(rw, rh, got));
    ASSERT_EQ(rw * 1000 + rh, w * 1000 + h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int dx = x + r.client.left, dy = y + r.client.top;
        const bool in = dx >= 0 && dx < 64 && dy >= 0 && dy < 48;
        ASSERT_EQ(got[size_t(y * w + x)], in ? Pattern(dx, dy) : 0u) << x << "," << y;
      }
  }
  primary->Release();
  dd->Release();
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
  for (const bool gained : {false, true}) {
    Push(gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST, id);
    PollPresenterEvents();
    EXPECT_EQ(GetMainWindow()->IsActive(), gained);
    EXPECT_EQ(Drain(),
              std::vector<MessageKind>{gained ? MessageKind::Activate : MessageKind::Deactivate});
  }
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
