// The window presenter: an SDL2 window that shows the presented frames as the main window.
// Headless stays the default. A program asks for the window with UseWindowPresenter(true); a
// program that has not chosen (nor set a FrameSink of its own) gets what the environment
// variable ZQ_PRESENTER says ("window" or "headless"), read at its first present.
//
// The window opens at the first frame, sized and titled like the main window's client area (the
// frame's size when there is no main window), and follows later changes of both. A frame of the
// desktop's size is the primary surface: the window shows the part under the client rectangle.
// Any other frame (a software screen) is stretched to the window.
//
// Window events become messages in the main window's queue: closing the window posts Close,
// focus gained and lost activate and deactivate the main window. Events are read whenever a
// frame is shown and by PollPresenterEvents. SDL wants its events read on the thread that opened
// the window; calls from any other thread do nothing.
#pragma once

#include <cstdint>
#include <vector>

namespace zq::platform {

// Selects the SDL2 window (true) or headless presenting (false). Returns whether the window
// presenter is selected: false when it was asked for but SDL's video cannot start (no display);
// presenting then stays headless and stderr says so, once.
bool UseWindowPresenter(bool window);
bool IsWindowPresenterActive();
// Applies ZQ_PRESENTER unless the program or an earlier call has chosen; a present calls it
// when the program has set no sink of its own.
void ApplyPresenterEnvironment();
// Reads pending window events and turns them into messages (see above).
void PollPresenterEvents();
// Closes the window and SDL's video and forgets the choice (the presenter's reset calls it).
void ResetWindowPresenter();

namespace presenttest {
// SDL's id of the open window, 0 while none is open.
uint32_t WindowId();
// Draws the last uploaded frame again and reads the window's pixels back as 0x00RRGGBB, rows
// top to bottom. False when no window is open or SDL cannot read.
bool ReadWindowPixels(int32_t& width, int32_t& height, std::vector<uint32_t>& pixels);
}  // namespace presenttest

}  // namespace zq::platform
