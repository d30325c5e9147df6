// Simulated desktop, main window and message queue (see window.h).
#include "platform/win/window.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/size_limits.h"

namespace zq::platform {

namespace {

PixelFormat MakeRgb(uint32_t bits, uint32_t r, uint32_t g, uint32_t b) {
  return PixelFormat{sizeof(PixelFormat), PF_RGB, 0, bits, r, g, b, 0};
}

bool IsUsableDesktopFormat(const PixelFormat& f) {
  switch (f.rgbBitCount) {
    case 8:
      return (f.flags & PF_PALETTEINDEXED8) != 0;
    case 16:
    case 24:
    case 32:
      return (f.flags & PF_RGB) != 0 && f.redMask && f.greenMask && f.blueMask;
    default:
      return false;
  }
}

}  // namespace

PixelFormat PixelFormatRGB565() {
  return MakeRgb(16, 0xF800, 0x07E0, 0x001F);
}
PixelFormat PixelFormatRGB555() {
  return MakeRgb(16, 0x7C00, 0x03E0, 0x001F);
}
PixelFormat PixelFormatRGB888() {
  return MakeRgb(24, 0xFF0000, 0xFF00, 0xFF);
}
PixelFormat PixelFormatXRGB8888() {
  return MakeRgb(32, 0xFF0000, 0xFF00, 0xFF);
}
PixelFormat PixelFormatPal8() {
  return PixelFormat{sizeof(PixelFormat), PF_RGB | PF_PALETTEINDEXED8, 0, 8, 0, 0, 0, 0};
}

// All state of the simulated window system; one mutex guards it. The window procedure is always
// called with the mutex released, so it may post, move or destroy freely.
struct WindowSystem {
  std::mutex mutex;
  std::condition_variable queued;
  Desktop desktop{1920, 1080, 32, PixelFormatXRGB8888()};
  PixelFormat sixteenBit = PixelFormatRGB565();
  std::atomic<uint64_t> lossSerial{0};
  std::unique_ptr<Window> window;
  std::deque<Message> queue;
  std::thread thread;
  bool threadStop = false;

  static WindowSystem& Get() {
    static WindowSystem system;
    return system;
  }

  void PostLocked(const Message& m) {
    queue.push_back(m);
    queued.notify_all();
  }

  // Applies what a message means to the window state before the procedure sees it.
  static void SetActive(Window& w, bool active) { w.active_ = active; }
  static void MarkDestroying(Window& w) { w.destroying_ = true; }
  static bool Destroying(const Window& w) { return w.destroying_; }
  static const WindowProc& Proc(const Window& w) { return w.proc_; }
  static Window* Make(const WindowDesc& d) {
    auto* w = new Window();
    w->className_ = d.className;
    w->title_ = d.title;
    w->client_ = d.clientRect;
    w->windowed_ = d.windowed;
    w->toolbarHeight_ = d.toolbarHeight;
    w->proc_ = d.proc;
    return w;
  }
  static RECT& Client(Window& w) { return w.client_; }
  static bool Windowed(const Window& w) { return w.windowed_; }
};

namespace {
WindowSystem& Sys() {
  return WindowSystem::Get();
}
}  // namespace

PixelFormat AdapterPixelFormat(uint32_t bitsPerPixel) {
  switch (bitsPerPixel) {
    case 8:
      return PixelFormatPal8();
    case 16: {
      std::lock_guard lock(Sys().mutex);
      return Sys().sixteenBit;
    }
    case 24:
      return PixelFormatRGB888();
    case 32:
      return PixelFormatXRGB8888();
    default:
      return PixelFormat{};
  }
}

Desktop GetDesktop() {
  std::lock_guard lock(Sys().mutex);
  return Sys().desktop;
}

bool SetDesktop(int32_t width, int32_t height, const PixelFormat& format) {
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
  if (!IsUsableDesktopFormat(format)) return false;
  std::lock_guard lock(Sys().mutex);
  Desktop& d = Sys().desktop;
  bool changed = d.width != width || d.height != height || d.bitsPerPixel != format.rgbBitCount ||
                 d.format.redMask != format.redMask || d.format.greenMask != format.greenMask ||
                 d.format.blueMask != format.blueMask;
  d = Desktop{width, height, format.rgbBitCount, format};
  d.format.size = sizeof(PixelFormat);
  if (format.rgbBitCount == 16) Sys().sixteenBit = d.format;
  if (changed) Sys().lossSerial.fetch_add(1);
  return true;
}

uint64_t GetDisplayLossSerial() {
  return Sys().lossSerial.load();
}

// ---- Window ----------------------------------------------------------------------------------

std::string Window::Title() const {
  std::lock_guard lock(Sys().mutex);
  return title_;
}
void Window::SetTitle(std::string_view title) {
  std::lock_guard lock(Sys().mutex);
  title_ = std::string(title);
}
RECT Window::GetClientRect() const {
  std::lock_guard lock(Sys().mutex);
  return client_;
}
void Window::SetClientRect(const RECT& rect) {
  std::lock_guard lock(Sys().mutex);
  RECT old = client_;
  client_ = rect;
  if (old.left != rect.left || old.top != rect.top)
    Sys().PostLocked({MessageKind::Move, rect.left, rect.top, 0});
  if (old.right - old.left != rect.right - rect.left ||
      old.bottom - old.top != rect.bottom - rect.top)
    Sys().PostLocked({MessageKind::Resize, rect.right - rect.left, rect.bottom - rect.top, 0});
}
bool Window::IsWindowed() const {
  std::lock_guard lock(Sys().mutex);
  return windowed_;
}
void Window::SetWindowed(bool windowed) {
  std::lock_guard lock(Sys().mutex);
  windowed_ = windowed;
}
bool Window::IsActive() const {
  std::lock_guard lock(Sys().mutex);
  return active_;
}
int32_t Window::ToolbarHeight() const {
  std::lock_guard lock(Sys().mutex);
  return toolbarHeight_;
}
void Window::SetToolbarHeight(int32_t height) {
  std::lock_guard lock(Sys().mutex);
  toolbarHeight_ = height < 0 ? 0 : height;
}

Window* CreateMainWindow(const WindowDesc& desc) {
  std::lock_guard lock(Sys().mutex);
  if (Sys().window) return nullptr;
  Sys().window.reset(WindowSystem::Make(desc));
  return Sys().window.get();
}

Window* FindWindowByClass(std::string_view className) {
  std::lock_guard lock(Sys().mutex);
  Window* w = Sys().window.get();
  return w && w->ClassName() == className ? w : nullptr;
}

Window* GetMainWindow() {
  std::lock_guard lock(Sys().mutex);
  return Sys().window.get();
}

bool IsWindow(const Window* window) {
  std::lock_guard lock(Sys().mutex);
  return window && Sys().window.get() == window;
}

bool DestroyWindow(Window* window) {
  std::lock_guard lock(Sys().mutex);
  if (!window || Sys().window.get() != window || WindowSystem::Destroying(*window)) return false;
  WindowSystem::MarkDestroying(*window);
  Sys().PostLocked({MessageKind::Destroy});
  return true;
}

// ---- Queue -----------------------------------------------------------------------------------

void PostWindowMessage(const Message& message) {
  std::lock_guard lock(Sys().mutex);
  Sys().PostLocked(message);
}

int PumpMessages() {
  int taken = 0;
  while (taken < kMessagesPerPump) {
    Message m;
    Window* target = nullptr;
    WindowProc proc;
    {
      std::lock_guard lock(Sys().mutex);
      if (Sys().queue.empty()) break;
      m = Sys().queue.front();
      Sys().queue.pop_front();
      target = Sys().window.get();
      if (target) proc = WindowSystem::Proc(*target);
    }
    ++taken;
    if (!target) continue;
    if (proc) proc(*target, m);
    if (m.kind == MessageKind::Destroy) {
      std::lock_guard lock(Sys().mutex);
      if (Sys().window.get() == target) Sys().window.reset();
    }
  }
  return taken;
}

int PendingMessageCount() {
  std::lock_guard lock(Sys().mutex);
  return int(Sys().queue.size());
}

bool WaitForMessage(uint32_t timeoutMs) {
  std::unique_lock lock(Sys().mutex);
  return Sys().queued.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] {
    return !Sys().queue.empty() || Sys().threadStop;
  }) && !Sys().queue.empty();
}

// ---- Injectors -------------------------------------------------------------------------------

void InjectActivate() {
  std::lock_guard lock(Sys().mutex);
  if (Sys().window) WindowSystem::SetActive(*Sys().window, true);
  Sys().PostLocked({MessageKind::Activate});
}

void InjectDeactivate() {
  std::lock_guard lock(Sys().mutex);
  if (Sys().window) {
    WindowSystem::SetActive(*Sys().window, false);
    // A full-screen program that loses the screen loses its video memory with it.
    if (!WindowSystem::Windowed(*Sys().window)) Sys().lossSerial.fetch_add(1);
  }
  Sys().PostLocked({MessageKind::Deactivate});
}

void InjectDisplayModeChange(int32_t width, int32_t height, const PixelFormat& format) {
  if (!SetDesktop(width, height, format)) return;
  std::lock_guard lock(Sys().mutex);
  Sys().PostLocked({MessageKind::DisplayChange, width, height, Sys().desktop.format.rgbBitCount});
}

void InjectMove(int32_t left, int32_t top) {
  std::lock_guard lock(Sys().mutex);
  if (Sys().window) {
    RECT& r = WindowSystem::Client(*Sys().window);
    r = RECT{left, top, left + (r.right - r.left), top + (r.bottom - r.top)};
  }
  Sys().PostLocked({MessageKind::Move, left, top, 0});
}

void InjectResize(int32_t width, int32_t height) {
  std::lock_guard lock(Sys().mutex);
  if (Sys().window) {
    RECT& r = WindowSystem::Client(*Sys().window);
    r.right = r.left + width;
    r.bottom = r.top + height;
  }
  Sys().PostLocked({MessageKind::Resize, width, height, 0});
}

void InjectClose() {
  PostWindowMessage({MessageKind::Close});
}

void ResetWindowSystem() {
  StopMessageThread();
  std::lock_guard lock(Sys().mutex);
  Sys().window.reset();
  Sys().queue.clear();
  Sys().sixteenBit = PixelFormatRGB565();
  Sys().desktop = Desktop{1920, 1080, 32, PixelFormatXRGB8888()};
  Sys().lossSerial.fetch_add(1);
}

// ---- Message thread --------------------------------------------------------------------------

bool StartMessageThread(std::function<void()> onMessages) {
  std::lock_guard lock(Sys().mutex);
  if (Sys().thread.joinable()) return false;
  Sys().threadStop = false;
  Sys().thread = std::thread([fn = std::move(onMessages)] {
    for (;;) {
      {
        std::unique_lock wait(Sys().mutex);
        Sys().queued.wait(wait, [] { return !Sys().queue.empty() || Sys().threadStop; });
        if (Sys().threadStop) return;
      }
      if (fn) {
        fn();
      } else {
        PumpMessages();
      }
    }
  });
  return true;
}

void StopMessageThread() {
  std::thread t;
  {
    std::lock_guard lock(Sys().mutex);
    if (!Sys().thread.joinable()) return;
    Sys().threadStop = true;
    Sys().queued.notify_all();
    t = std::move(Sys().thread);
  }
  t.join();
  std::lock_guard lock(Sys().mutex);
  Sys().threadStop = false;
}

}  // namespace zq::platform
