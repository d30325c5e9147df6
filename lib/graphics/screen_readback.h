// Reading the screen back: one pixel of the draw screen, and the last presented frame as a PNG
// file (screenshots).
#pragma once

#include <cstdint>

namespace zq::gfx {

// The pixel value at (x, y) of the current draw screen, in the draw target's format (the
// screen's, or the graph's). 0, or -1 without a draw target, for a null pointer, outside the
// draw screen or when the target surface cannot be locked.
int GetDrawScreenPixel(int x, int y, uint32_t* value);

// Writes the last presented frame as an 8-bit RGB PNG file: in window mode the part under the
// main window's client area (the screen's size at most), full screen the whole frame. 0, or -1
// with a log line for a null path, when no frame was presented since the screen mode was set
// (the start-up's cleared frame does not count), when nothing of the frame lies under the
// window, or when the file cannot be written.
int SaveScreenPng(const char* path);

}  // namespace zq::gfx
