// The SDL2 window presenter (see sdl_window.h).
#include "platform/present/sdl_window.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/present/argb_rows.h"
#include "platform/present/present.h"
#include "platform/size_limits.h"
#include "platform/win/window.h"

namespace zq::platform {

namespace {

// A rectangle of frame pixels, in 64 bits so a client rectangle at the ends of the int32 range
// cannot overflow.
struct Region {
  int64_t left = 0, top = 0, width = 0, height = 0;
};

class SdlPresenter final : public FrameSink {
 public:
  void ShowFrame(const FrameView& frame) override;

  std::mutex mutex;
  bool chosen = false;  // by the program or the environment
  bool active = false;  // SDL's video is up and this is the presenter's sink
  bool warned = false;
  std::thread::id owner;
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int textureWidth = 0;
  int textureHeight = 0;

  void WarnHeadless(const char* why);
  bool Start();
  void CloseWindow();
  void Stop();
  bool Open(int width, int height, const std::string& title);
  bool Upload(const FrameView& frame, const Region& src);
  void Draw();
  void Poll();
};

SdlPresenter& S() {
  static SdlPresenter presenter;
  return presenter;
}

bool EnvSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

void SdlPresenter::WarnHeadless(const char* why) {
  if (warned) return;
  warned = true;
  std::fprintf(stderr, "zqlib: no window presenter (%s); presenting headless\n", why);
}

bool SdlPresenter::Start() {
  if (active) return true;
  // Only the displays the environment names are tried: otherwise SDL would go on to the
  // console's own drivers or its invisible offscreen one. SDL_VIDEODRIVER, when set, wins.
  std::string drivers;
  if (EnvSet("DISPLAY")) drivers = "x11";
  if (EnvSet("WAYLAND_DISPLAY")) drivers += drivers.empty() ? "wayland" : ",wayland";
  if (drivers.empty() && !EnvSet("SDL_VIDEODRIVER")) {
    WarnHeadless("no display");
    return false;
  }
  // Ctrl-C and kill keep ending the process as usual.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
  const bool started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  SDL_ResetHint(SDL_HINT_VIDEODRIVER);
  if (!started) {
    const std::string why = std::string("cannot open the display: ") + SDL_GetError();
    WarnHeadless(why.c_str());
    return false;
  }
  active = true;
  SetFrameSink(this);
  return true;
}

void SdlPresenter::CloseWindow() {
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
  if (window) SDL_DestroyWindow(window);
  texture = nullptr;
  renderer = nullptr;
  window = nullptr;
  textureWidth = textureHeight = 0;
}

void SdlPresenter::Stop() {
  CloseWindow();
  if (!active) return;
  active = false;
  SetFrameSink(nullptr);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool SdlPresenter::Open(int width, int height, const std::string& title) {
  window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                            height, 0);
  // SDL's software renderer: it needs no GL driver, and a frame shown at its own size reaches
  // the window bit for bit.
  renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
  if (!renderer) {
    WarnHeadless(SDL_GetError());
    Stop();
    return false;
  }
  owner = std::this_thread::get_id();
  return true;
}

// Converts the region into the streaming texture (resized to it), X8R8G8B8 as SDL takes it
// without a conversion of its own; what lies outside the frame is black. Frames in that format
// reach the texture unchanged; others are widened exactly as the headless frame is (SDL's own
// 16-bit conversion rounds differently).
bool SdlPresenter::Upload(const FrameView& frame, const Region& src) {
  const ArgbRows convert(frame.format, false);
  if (!convert.Ok()) return false;
  const int w = int(src.width), h = int(src.height);
  if (!texture || textureWidth != w || textureHeight != h) {
    if (texture) SDL_DestroyTexture(texture);
    texture =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
    textureWidth = texture ? w : 0;
    textureHeight = texture ? h : 0;
    if (!texture) return false;
  }
  void* pixels = nullptr;
  int pitch = 0;
  if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0) return false;
  const int64_t x0 = std::max<int64_t>(src.left, 0);
  const int64_t x1 = std::min<int64_t>(src.left + src.width, frame.width);
  const int64_t bytes = convert.PixelBytes();
  for (int64_t y = 0; y < h; ++y) {
    uint32_t* out = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) + y * pitch);
    const int64_t fy = src.top + y;
    if (fy < 0 || fy >= frame.height || x0 >= x1) {
      std::memset(out, 0, size_t(w) * 4);
      continue;
    }
    const int64_t lead = x0 - src.left, count = x1 - x0;
    std::memset(out, 0, size_t(lead) * 4);
    convert(out + lead, frame.pixels + fy * frame.pitch + x0 * bytes, count);
    std::memset(out + lead + count, 0, size_t(w - lead - count) * 4);
  }
  SDL_UnlockTexture(texture);
  return true;
}

void SdlPresenter::Draw() {
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture, nullptr, nullptr);
}

void SdlPresenter::Poll() {
  if (!window || std::this_thread::get_id() != owner) return;
  const uint32_t id = SDL_GetWindowID(window);
  // One close click brings both a window close and a quit event: one Close message.
  bool closed = false;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    bool close = e.type == SDL_QUIT;
    if (e.type == SDL_WINDOWEVENT && e.window.windowID == id) {
      // The injectors also set the main window's active flag, as the system does on a focus
      // change.
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) InjectActivate();
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) InjectDeactivate();
      close = e.window.event == SDL_WINDOWEVENT_CLOSE;
    }
    if (close && !closed) PostWindowMessage({MessageKind::Close});
    closed = closed || close;
  }
}

void SdlPresenter::ShowFrame(const FrameView& frame) {
  std::lock_guard lock(mutex);
  // An empty part of the desktop still shows: the window is then all black.
  if (!active || (!frame.onDesktop && (frame.width <= 0 || frame.height <= 0 || !frame.pixels)))
    return;
  // The main window's client area; without a usable one the window takes the frame's size.
  std::string title = "zqlib";
  Region client{0, 0, frame.width, frame.height};
  bool hasClient = false;
  if (Window* main = GetMainWindow()) {
    title = main->Title();
    const RECT r = main->GetClientRect();
    const Region c{r.left, r.top, int64_t(r.right) - r.left, int64_t(r.bottom) - r.top};
    if (c.width > 0 && c.height > 0 && c.width <= kMaxImageSide && c.height <= kMaxImageSide) {
      client = c;
      hasClient = true;
    }
  }
  if (client.width <= 0 || client.height <= 0) return;  // an empty frame and no window
  if (!window && !Open(int(client.width), int(client.height), title)) return;
  if (title != SDL_GetWindowTitle(window)) SDL_SetWindowTitle(window, title.c_str());
  int w = 0, h = 0;
  SDL_GetWindowSize(window, &w, &h);
  if (w != client.width || h != client.height)
    SDL_SetWindowSize(window, int(client.width), int(client.height));

  // A part of the displayed surface, or a whole desktop-sized frame, holds the client area at
  // its place on the desktop.
  const Desktop desktop = GetDesktop();
  const bool primary =
      hasClient &&
      (frame.onDesktop || (frame.width == desktop.width && frame.height == desktop.height));
  const Region src = primary ? Region{client.left - frame.left, client.top - frame.top,
                                      client.width, client.height}
                             : Region{0, 0, frame.width, frame.height};
  if (Upload(frame, src)) {
    Draw();
    SDL_RenderPresent(renderer);
  }
  Poll();
}

}  // namespace

bool UseWindowPresenter(bool window) {
  SdlPresenter& s = S();
  std::lock_guard lock(s.mutex);
  s.chosen = true;
  if (window) return s.Start();
  s.Stop();
  return false;
}

bool IsWindowPresenterActive() {
  SdlPresenter& s = S();
  std::lock_guard lock(s.mutex);
  return s.active;
}

void ApplyPresenterEnvironment() {
  SdlPresenter& s = S();
  std::lock_guard lock(s.mutex);
  if (s.chosen) return;
  s.chosen = true;
  const char* v = std::getenv("ZQ_PRESENTER");
  if (!v || !*v || std::strcmp(v, "headless") == 0) return;
  if (std::strcmp(v, "window") == 0) {
    s.Start();
    return;
  }
  std::fprintf(stderr,
               "zqlib: ZQ_PRESENTER=%s is neither window nor headless; presenting headless\n", v);
}

void PollPresenterEvents() {
  SdlPresenter& s = S();
  std::lock_guard lock(s.mutex);
  s.Poll();
}

void ResetWindowPresenter() {
  SdlPresenter& s = S();
  std::lock_guard lock(s.mutex);
  s.Stop();
  s.chosen = false;
  s.warned = false;
}

namespace presenttest {

uint32_t WindowId() {
  SdlPresenter& s = S();
  std::lock_guard lock(s.mutex);
  return s.window ? SDL_GetWindowID(s.window) : 0;
}

bool ReadWindowPixels(int32_t& width, int32_t& height, std::vector<uint32_t>& pixels) {
  SdlPresenter& s = S();
  std::lock_guard lock(s.mutex);
  if (!s.renderer || !s.texture) return false;
  int w = 0, h = 0;
  if (SDL_GetRendererOutputSize(s.renderer, &w, &h) != 0 || w <= 0 || h <= 0) return false;
  s.Draw();
  pixels.assign(size_t(w) * size_t(h), 0);
  if (SDL_RenderReadPixels(s.renderer, nullptr, SDL_PIXELFORMAT_RGB888, pixels.data(), w * 4) != 0)
    return false;
  SDL_RenderPresent(s.renderer);
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  width = w;
  height = h;
  return true;
}

}  // namespace presenttest

}  // namespace zq::platform
