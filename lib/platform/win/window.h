// Simulated desktop, main window and message queue: stands in for the Win32 window class, the
// window itself, its client rectangle and toolbar, the display mode of the desktop and the
// thread message queue. Tests drive it through the injectors; nothing is ever shown.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace zq::platform {

// ---- Desktop ---------------------------------------------------------------------------------

struct Desktop {
  int32_t width;
  int32_t height;
  uint32_t bitsPerPixel;
  PixelFormat format;
};

// Standard formats of the simulated adapter.
PixelFormat PixelFormatRGB565();
PixelFormat PixelFormatRGB555();
PixelFormat PixelFormatRGB888();    // 24 bits, blue in byte 0
PixelFormat PixelFormatXRGB8888();  // 32 bits, top byte unused
PixelFormat PixelFormatPal8();
// The format the adapter uses at a depth: 8, 16 (the desktop's 16-bit format; 5:6:5 unless the
// desktop was set to 5:5:5), 24 or 32. Another depth gives a zeroed format.
PixelFormat AdapterPixelFormat(uint32_t bitsPerPixel);

Desktop GetDesktop();
// Sets the desktop without any message (test set-up, or the display layer changing the mode).
// Default: 1920 x 1080, 32-bit X8R8G8B8. Returns false for an unusable size or format.
bool SetDesktop(int32_t width, int32_t height, const PixelFormat& format);
// Raised whenever video memory loses its contents: a desktop mode change, or the window losing
// activation while it runs full screen. Surfaces compare it with the value they were made under.
uint64_t GetDisplayLossSerial();

// ---- Messages --------------------------------------------------------------------------------

enum class MessageKind { Activate, Deactivate, DisplayChange, Move, Resize, Close, Destroy };

// DisplayChange: a = width, b = height, c = bits per pixel. Move: a, b = new client left, top.
// Resize: a, b = new client width, height. Others carry nothing.
struct Message {
  MessageKind kind;
  int32_t a = 0;
  int32_t b = 0;
  uint32_t c = 0;
};

class Window;
// The window procedure the library registers; runs on the thread that pumps.
using WindowProc = std::function<void(Window& window, const Message& message)>;

// At most this many messages are handed out per pump call.
inline constexpr int kMessagesPerPump = 5;

// ---- The main window -------------------------------------------------------------------------

struct WindowDesc {
  std::string className;
  std::string title;
  RECT clientRect{0, 0, 640, 480};  // desktop coordinates
  bool windowed = true;
  int32_t toolbarHeight = 0;
  WindowProc proc;
};

class Window {
 public:
  const std::string& ClassName() const { return className_; }
  std::string Title() const;
  void SetTitle(std::string_view title);
  // Client rectangle in desktop coordinates; it may lie partly off the desktop.
  RECT GetClientRect() const;
  // Moves or resizes the client area; posts Move and/or Resize when they change.
  void SetClientRect(const RECT& rect);
  bool IsWindowed() const;
  void SetWindowed(bool windowed);
  bool IsActive() const;
  int32_t ToolbarHeight() const;
  void SetToolbarHeight(int32_t height);

 private:
  friend struct WindowSystem;
  Window() = default;
  std::string className_;
  std::string title_;
  RECT client_{};
  bool windowed_ = true;
  bool active_ = true;
  bool destroying_ = false;
  int32_t toolbarHeight_ = 0;
  WindowProc proc_;
};

// Only one main window exists; a second one (whatever its class) is refused with null.
Window* CreateMainWindow(const WindowDesc& desc);
// The live window of that class, or null.
Window* FindWindowByClass(std::string_view className);
// The live main window whatever its class, or null (the presenter shows it).
Window* GetMainWindow();
bool IsWindow(const Window* window);
// Posts Destroy; the window is gone once that message has been dispatched.
bool DestroyWindow(Window* window);

// ---- Queue -----------------------------------------------------------------------------------

void PostWindowMessage(const Message& message);
// Dispatches up to kMessagesPerPump queued messages to the window procedure (messages without a
// window are dropped); returns how many were taken off the queue.
int PumpMessages();
int PendingMessageCount();
// Waits until a message is queued or the time runs out; true when one is queued.
bool WaitForMessage(uint32_t timeoutMs);

// ---- Injectors (tests) -----------------------------------------------------------------------

void InjectActivate();
void InjectDeactivate();
// Changes the desktop to the mode and posts DisplayChange.
void InjectDisplayModeChange(int32_t width, int32_t height, const PixelFormat& format);
void InjectMove(int32_t left, int32_t top);
void InjectResize(int32_t width, int32_t height);
void InjectClose();

// Forgets the window and the queue and restores the default desktop (between tests).
void ResetWindowSystem();

// ---- Optional message thread (programs; tests pump themselves) -------------------------------

// Starts a thread that calls onMessages whenever messages are queued (the library's message
// processing goes there). Returns false when one is already running.
bool StartMessageThread(std::function<void()> onMessages);
// Stops and joins the thread; nothing when none runs.
void StopMessageThread();

}  // namespace zq::platform
