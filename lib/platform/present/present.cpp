// Headless presenter and PNG writer (see present.h).
#include "platform/present/present.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/present/argb_rows.h"
#include "platform/present/sdl_window.h"
#include "platform/size_limits.h"

namespace zq::platform {

namespace {

struct PresenterState {
  std::mutex mutex;  // the count and the sink
  uint64_t count = 0;
  FrameSink* sink = nullptr;
  // The kept frame, its rows packed in their own format. A present holds frameMutex until its
  // sink has shown the frame from the buffer; frameMutex is taken before mutex, never after.
  std::mutex frameMutex;
  FrameView kept;
  std::vector<uint8_t> bytes;
  // A window's frame is kept as a view of the displayed surface's rows, copied into bytes only
  // when something is about to change them (the surface's change hook); ownWrite: the next
  // change is the write of the frame that replaces it, which needs no copy.
  DirectDrawSurface* viewed = nullptr;
  bool ownWrite = false;
};
PresenterState& P() {
  static PresenterState state;
  return state;
}

// A pixel block the presenter and the PNG writer accept: a convertible format and sizes whose
// rows fit their pitch.
bool ShapeOk(const void* pixels, const ArgbRows& rows, int32_t width, int32_t height,
             int32_t pitch) {
  if (!pixels || !rows.Ok()) return false;
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
  return pitch >= 0 && int64_t(pitch) >= int64_t(width) * rows.PixelBytes();
}

// Copies the kept frame's rows into the presenter's own buffer; frameMutex held. Same size or
// smaller: the vector keeps its capacity, so nothing is allocated.
void CopyKeptRows(PresenterState& p, const FrameView& in, size_t rowBytes) {
  p.bytes.resize(rowBytes * size_t(in.height));
  if (size_t(in.pitch) == rowBytes) {
    if (!p.bytes.empty()) std::memcpy(p.bytes.data(), in.pixels, p.bytes.size());
  } else {
    for (int32_t y = 0; y < in.height; ++y)
      std::memcpy(p.bytes.data() + size_t(y) * rowBytes, in.pixels + int64_t(y) * in.pitch,
                  rowBytes);
  }
  p.kept = in;
  p.kept.pitch = int32_t(rowBytes);
  p.kept.pixels = p.bytes.data();
}

// Stops viewing a surface without copying; frameMutex held.
void ForgetView(PresenterState& p) {
  if (p.viewed) p.viewed->SetChangeHook(nullptr);
  p.viewed = nullptr;
  p.ownWrite = false;
}

// The viewed surface's pixels are about to change: the kept frame becomes a copy, unless the
// change is the write of the next frame (which then replaces the view).
void BeforeViewedChange(DirectDrawSurface* surface) {
  PresenterState& p = P();
  std::lock_guard frameLock(p.frameMutex);
  if (surface != p.viewed) return;
  if (p.ownWrite) {
    // Still watched: the surface may yet be released before the frame is presented.
    p.ownWrite = false;
    surface->SetChangeHook(BeforeViewedChange);
    return;
  }
  p.viewed = nullptr;
  CopyKeptRows(p, p.kept, size_t(p.kept.width) * (p.kept.format.rgbBitCount / 8));
}

// Keeps the frame's rows (a copy, or a view of `viewed`, the surface they lie on) and hands it
// to the sink. A part of the displayed surface may be empty (a window wholly off the desktop):
// that is presented as an empty frame.
bool Present(FrameView in, DirectDrawSurface* viewed = nullptr) {
  const ArgbRows rows(in.format, false);
  if (in.onDesktop && (in.width == 0 || in.height == 0)) {
    if (!rows.Ok()) return false;
    in.width = in.height = 0;
  } else if (!ShapeOk(in.pixels, rows, in.width, in.height, in.pitch)) {
    return false;
  }
  // ZQ_PRESENTER chooses only for a program that has neither chosen nor set a sink of its own.
  bool noSink;
  {
    std::lock_guard lock(P().mutex);
    noSink = !P().sink;
  }
  if (noSink) ApplyPresenterEnvironment();

  PresenterState& p = P();
  std::lock_guard frameLock(p.frameMutex);
  ForgetView(p);
  if (viewed && in.width > 0 && in.height > 0) {
    // Room for the copy a change may call for, so that the change hook never allocates.
    p.bytes.reserve(size_t(in.width) * rows.PixelBytes() * size_t(in.height));
    p.kept = in;
    p.viewed = viewed;
    viewed->SetChangeHook(BeforeViewedChange);
  } else {
    CopyKeptRows(p, in, size_t(in.width) * rows.PixelBytes());
  }
  FrameSink* sink;
  {
    std::lock_guard lock(p.mutex);
    ++p.count;
    sink = p.sink;
  }
  if (sink) sink->ShowFrame(p.kept);
  return true;
}

}  // namespace

Frame ToRgbFrame(const FrameView& view) {
  const ArgbRows rows(view.format, false);
  if (!ShapeOk(view.pixels, rows, view.width, view.height, view.pitch)) return {};
  Frame frame;
  frame.width = view.width;
  frame.height = view.height;
  frame.left = view.left;
  frame.top = view.top;
  frame.pixels.resize(size_t(view.width) * size_t(view.height));
  for (int32_t y = 0; y < view.height; ++y)
    rows(frame.pixels.data() + size_t(y) * size_t(view.width),
         view.pixels + int64_t(y) * view.pitch, view.width);
  return frame;
}

bool PresentPixels(const void* pixels, int32_t width, int32_t height, int32_t pitch,
                   const PixelFormat& format) {
  return Present(FrameView{width, height, pitch, format, static_cast<const uint8_t*>(pixels)});
}

HRESULT PresentSurface(DirectDrawSurface* primary, const RECT* area) {
  if (!primary) return DDERR_INVALIDPARAMS;
  if (primary->IsLost() != DD_OK) return DDERR_SURFACELOST;
  SurfaceDesc desc;
  primary->GetSurfaceDesc(&desc);
  FrameView view{int32_t(desc.width), int32_t(desc.height), desc.pitch, desc.pixelFormat,
                 primary->TestPixels()};
  view.onDesktop = true;
  if (area) {
    // Cut to the surface in 64 bits: a window's rectangle may lie anywhere.
    const int64_t left = std::clamp<int64_t>(area->left, 0, view.width);
    const int64_t top = std::clamp<int64_t>(area->top, 0, view.height);
    const int64_t right = std::clamp<int64_t>(area->right, left, view.width);
    const int64_t bottom = std::clamp<int64_t>(area->bottom, top, view.height);
    view.left = int32_t(left);
    view.top = int32_t(top);
    view.width = int32_t(right - left);
    view.height = int32_t(bottom - top);
    if (view.width > 0 && view.height > 0)
      view.pixels += top * view.pitch + left * int64_t(desc.pixelFormat.rgbBitCount / 8);
  }
  // A window's part is kept as a view; a whole surface may be a flipping chain's front, whose
  // pixels the back buffer takes over, so it is copied.
  if (!Present(view, area ? primary : nullptr)) return DDERR_INVALIDPIXELFORMAT;
  return DD_OK;
}

void ExpectPresentOver(DirectDrawSurface* surface) {
  PresenterState& p = P();
  std::lock_guard frameLock(p.frameMutex);
  p.ownWrite = surface && surface == p.viewed;
}

uint64_t GetPresentCount() {
  std::lock_guard lock(P().mutex);
  return P().count;
}

Frame GetLastPresentedFrame() {
  std::lock_guard lock(P().frameMutex);
  return ToRgbFrame(P().kept);
}

void SetFrameSink(FrameSink* sink) {
  std::lock_guard lock(P().mutex);
  P().sink = sink;
}

void ResetPresenter() {
  ResetWindowPresenter();
  PresenterState& p = P();
  std::lock_guard frameLock(p.frameMutex);
  std::lock_guard lock(p.mutex);
  ForgetView(p);
  p.count = 0;
  p.sink = nullptr;
  p.kept = FrameView{};
  std::vector<uint8_t>().swap(p.bytes);
}

// ---- PNG -------------------------------------------------------------------------------------

namespace {

void PngError(png_structp png, png_const_charp) {
  longjmp(png_jmpbuf(png), 1);
}
void PngWarning(png_structp, png_const_charp) {}

}  // namespace

int WritePngFile(const char* path, const void* pixels, int32_t width, int32_t height, int32_t pitch,
                 const PixelFormat& format) {
  const ArgbRows convert(format, true);
  if (!path || !ShapeOk(pixels, convert, width, height, pitch)) return -1;
  // Rows are converted before libpng is involved, so no C++ object lives across its longjmp.
  const size_t w = size_t(width);
  std::vector<uint32_t> argb(w * size_t(height));
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    uint32_t* out = argb.data() + size_t(y) * w;
    convert(out, static_cast<const uint8_t*>(pixels) + int64_t(y) * pitch, width);
    rows[size_t(y)] = reinterpret_cast<png_bytep>(out);
  }
  FILE* file = std::fopen(path, "wb");
  if (!file) return -1;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    std::fclose(file);
    return -1;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return -1;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
               convert.HasAlpha() ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // The words lie in memory as blue, green, red, then alpha or an unused byte.
  png_set_bgr(png);
  if (!convert.HasAlpha()) png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0 ? 0 : -1;
}

}  // namespace zq::platform
