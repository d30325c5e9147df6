// Library start-up and shutdown, the main window and its messages.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "platform/win/window.h"

namespace zq::gfx {

// The desktop as read from the system once at start-up.
struct DesktopScreenInfo {
  int32_t Width;
  int32_t Height;
  int32_t ColorBits;
};

// Starts the library: log, system report, main window (class "ZqLib"), graphics and the draw
// screen. 0, or -1 (a second start, a 24-bit desktop in window mode, a failed window or
// graphics start).
int LibraryInit();
// Ends the library in order, ending with the report of unreleased memory blocks. 0, or -1 when
// it was not started.
int LibraryEnd();
int IsLibraryInitialised();
int IsLibraryEnding();

// Runs in a window (1) or full screen (0). Only before the library starts; -1 afterwards.
int ChangeWindowMode(int windowed);
int IsWindowedMode();
// Processes up to five window messages. 0, or -1 once the window is gone. A nested call
// returns 0 at once.
int ProcessMessage();
// Starts the library's message thread: whenever messages are queued it takes the library lock,
// processes them and sleeps 17 ms. 0, or -1 before the start, while ending, or when a message
// thread already runs.
int StartMessageThread();
// Stops and joins the message thread (nothing when none runs). The caller must not hold the
// library lock: the thread may be waiting for it.
void StopMessageThread();
// While the application is inactive, processes messages until it is active again or the
// library ends, then restores the graphs' surfaces. 0.
int WaitWhileInactive();
int IsApplicationActive();
void MainWindowProc(platform::Window& window, const platform::Message& message);

platform::Window* GetMainHwnd();
// The client rectangle in desktop coordinates, moved down by the toolbar's height. 0.
int GetMainWindowRect(platform::RECT* rect);
const DesktopScreenInfo& GetDesktopScreenInfo();
// The screen mode's size (640 x 480 while unset); either pointer may be null. 0.
int QueryScreenSize(int* width, int* height);
// Logs the system report, with the MMX line when the instruction set is there. 0.
int LogSystemInfo();
// No input devices exist yet: logs the end of input handling. 0.
int ReleaseInputDevices();

}  // namespace zq::gfx
