// Headless presenter and PNG writer (see present.h).
#include "platform/present/present.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <mutex>

#include "platform/pixel_channels.h"
#include "platform/present/sdl_window.h"
#include "platform/size_limits.h"

namespace zq::platform {

namespace {

struct PresenterState {
  std::mutex mutex;
  uint64_t count = 0;
  Frame last;
  FrameSink* sink = nullptr;
};
PresenterState& P() {
  static PresenterState state;
  return state;
}

struct Layout {
  uint32_t bytes = 0;
  Channel r, g, b, a;
  bool alpha = false;
};

bool LayoutOf(const PixelFormat& f, int32_t width, int32_t height, int32_t pitch, Layout& out) {
  if (f.rgbBitCount != 16 && f.rgbBitCount != 24 && f.rgbBitCount != 32) return false;
  if (!f.redMask || !f.greenMask || !f.blueMask) return false;
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
  out.bytes = f.rgbBitCount / 8;
  if (pitch < 0 || int64_t(pitch) < int64_t(width) * out.bytes) return false;
  out.r = ChannelFromMask(f.redMask);
  out.g = ChannelFromMask(f.greenMask);
  out.b = ChannelFromMask(f.blueMask);
  out.alpha = (f.flags & PF_ALPHAPIXELS) && f.alphaMask;
  if (out.alpha) out.a = ChannelFromMask(f.alphaMask);
  return true;
}

uint32_t ToRgb(uint32_t v, const Layout& l) {
  return ChannelTo8(v, l.r) << 16 | ChannelTo8(v, l.g) << 8 | ChannelTo8(v, l.b);
}

void Publish(Frame&& frame) {
  // ZQ_PRESENTER chooses only for a program that has neither chosen nor set a sink of its own.
  bool noSink;
  {
    std::lock_guard lock(P().mutex);
    noSink = !P().sink;
  }
  if (noSink) ApplyPresenterEnvironment();
  FrameSink* sink;
  {
    std::lock_guard lock(P().mutex);
    ++P().count;
    P().last = std::move(frame);
    sink = P().sink;
  }
  if (sink) sink->ShowFrame(GetLastPresentedFrame());
}

bool BuildFrame(const uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                const PixelFormat& format, Frame& frame) {
  Layout l;
  if (!pixels || !LayoutOf(format, width, height, pitch, l)) return false;
  frame.width = width;
  frame.height = height;
  frame.pixels.resize(size_t(width) * size_t(height));
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* p = pixels + int64_t(y) * pitch;
    uint32_t* out = frame.pixels.data() + size_t(y) * size_t(width);
    for (int32_t x = 0; x < width; ++x, p += l.bytes) out[x] = ToRgb(LoadPixel(p, l.bytes), l);
  }
  return true;
}

}  // namespace

bool PresentPixels(const void* pixels, int32_t width, int32_t height, int32_t pitch,
                   const PixelFormat& format) {
  Frame frame;
  if (!BuildFrame(static_cast<const uint8_t*>(pixels), width, height, pitch, format, frame))
    return false;
  Publish(std::move(frame));
  return true;
}

HRESULT PresentSurface(DirectDrawSurface* primary) {
  if (!primary) return DDERR_INVALIDPARAMS;
  if (primary->IsLost() != DD_OK) return DDERR_SURFACELOST;
  SurfaceDesc desc;
  primary->GetSurfaceDesc(&desc);
  Frame frame;
  if (!BuildFrame(primary->TestPixels(), int32_t(desc.width), int32_t(desc.height), desc.pitch,
                  desc.pixelFormat, frame))
    return DDERR_INVALIDPIXELFORMAT;
  Publish(std::move(frame));
  return DD_OK;
}

uint64_t GetPresentCount() {
  std::lock_guard lock(P().mutex);
  return P().count;
}

Frame GetLastPresentedFrame() {
  std::lock_guard lock(P().mutex);
  return P().last;
}

void SetFrameSink(FrameSink* sink) {
  std::lock_guard lock(P().mutex);
  P().sink = sink;
}

void ResetPresenter() {
  ResetWindowPresenter();
  std::lock_guard lock(P().mutex);
  P().count = 0;
  P().last = Frame{};
  P().sink = nullptr;
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
  Layout l;
  if (!path || !pixels || !LayoutOf(format, width, height, pitch, l)) return -1;
  // Rows are converted before libpng is involved, so no C++ object lives across its longjmp.
  const size_t channels = l.alpha ? 4 : 3;
  std::vector<uint8_t> rgb(size_t(width) * size_t(height) * channels);
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(pixels) + int64_t(y) * pitch;
    uint8_t* out = rgb.data() + size_t(y) * size_t(width) * channels;
    rows[size_t(y)] = out;
    for (int32_t x = 0; x < width; ++x, p += l.bytes, out += channels) {
      uint32_t v = LoadPixel(p, l.bytes);
      out[0] = uint8_t(ChannelTo8(v, l.r));
      out[1] = uint8_t(ChannelTo8(v, l.g));
      out[2] = uint8_t(ChannelTo8(v, l.b));
      if (l.alpha) out[3] = uint8_t(ChannelTo8(v, l.a));
    }
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
               l.alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0 ? 0 : -1;
}

}  // namespace zq::platform
