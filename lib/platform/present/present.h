// Stand-in for showing the screen: the presenter keeps the last presented frame and counts
// presents (headless; the SDL2 window of sdl_window.h receives the frames as a FrameSink), and
// the PNG writer stores any 16-, 24- or 32-bit pixel block as an 8-bit RGB or RGBA file.
//
// A present costs one copy of the frame's rows, in their own pixel format, into a buffer kept
// from frame to frame (no allocation once a frame of that size was presented), or none for a
// window's part of the displayed surface, copied only if its pixels change before the next
// present; the conversion to 8-bit channels happens only when the frame is read, shown in a
// window or written out.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "platform/types.h"

namespace zq::platform {

// A presented frame as 0x00RRGGBB pixels, rows top to bottom, no padding. left and top: where
// its first pixel lay on the displayed surface (desktop coordinates in a window).
struct Frame {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
  int32_t left = 0;
  int32_t top = 0;
};

// A presented frame in its own pixel format: `height` rows of `width` pixels, `pitch` bytes
// apart. onDesktop: the frame is the part of the displayed surface at left, top (a window shows
// its client area from it); it may then be empty, when nothing of the window is on the desktop.
struct FrameView {
  int32_t width = 0;
  int32_t height = 0;
  int32_t pitch = 0;
  PixelFormat format{};
  const uint8_t* pixels = nullptr;
  int32_t left = 0;
  int32_t top = 0;
  bool onDesktop = false;
};

// The view's pixels with each channel widened to 8 bits by repeating its top bits (5-bit 16
// gives 0x84); empty for an unsupported view.
Frame ToRgbFrame(const FrameView& view);

// Where presented frames go besides the kept copy (a window backend); called on the presenting
// thread. The view holds only during the call.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void ShowFrame(const FrameView& frame) = 0;
};

// Presents a pixel block (a system-memory screen). False for an unsupported format or size.
bool PresentPixels(const void* pixels, int32_t width, int32_t height, int32_t pitch,
                   const PixelFormat& format);
// Presents the primary surface's front buffer (its pixels are read whatever its lock state):
// the whole surface, copied, or only `area` of it cut to the surface (a window's part, read
// with the surface's pitch), kept as a view of the surface until something is about to change
// its pixels or release it. DDERR_SURFACELOST when it is lost.
HRESULT PresentSurface(DirectDrawSurface* primary, const RECT* area = nullptr);
// The caller is about to write a new frame into `surface` and present it: that write does not
// copy the kept frame first. Null (after a write that was not presented) takes it back.
void ExpectPresentOver(DirectDrawSurface* surface);
uint64_t GetPresentCount();
// The last presented frame converted (ToRgbFrame); empty before the first present.
Frame GetLastPresentedFrame();
// Replaces the sink (null: headless only). The caller keeps ownership.
void SetFrameSink(FrameSink* sink);
// Forgets the count, the kept frame and the sink, and closes the window presenter (between
// tests).
void ResetPresenter();

// Writes pixels as a PNG: 16 bits (e.g. 5:6:5 or 5:5:5), 24 bits or 32 bits, channels found by
// the format's masks and widened to 8 bits by repeating their top bits; an alpha mask (with
// PF_ALPHAPIXELS) gives an RGBA file, else RGB. A 16-bit image with an alpha byte beside each
// colour word is described as 32 bits with the colour masks and alpha mask 0xFF0000.
// 0, or -1 for a bad format, size or file.
int WritePngFile(const char* path, const void* pixels, int32_t width, int32_t height, int32_t pitch,
                 const PixelFormat& format);

}  // namespace zq::platform
