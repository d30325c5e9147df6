#include "graphics/graph_pixels.h"

#include <cstdint>

#include "base/log.h"
#include "graphics/ddraw/color_data.h"
#include "platform/size_limits.h"

namespace zq::gfx {

namespace {

// The bytes a pixel of a known format takes, 0 for an unknown one.
int BytesPerPixel(int format) {
  switch (format) {
    case kPixelIndexed8:
      return 1;
    case kPixelRgb565:
    case kPixelXrgb1555:
      return 2;
    case kPixelRgb888:
      return 3;
    case kPixelXrgb8888:
    case kPixelArgb8888:
      return 4;
    default:
      return 0;
  }
}

// The descriptor the readers would give pixels of this format.
ColorData FormatOf(int format, const uint32_t* palette) {
  ColorData data{};
  switch (format) {
    case kPixelIndexed8:
      SetupColorDataPal8(&data);
      for (int i = 0; i < 256; ++i) data.Palette[i] = palette[i] & 0xFFFFFF;
      break;
    case kPixelRgb565:
      SetupColorDataFromMasks(&data, 16, 0xF800, 0x07E0, 0x001F, 0);
      break;
    case kPixelXrgb1555:
      SetupColorDataFromMasks(&data, 16, 0x7C00, 0x03E0, 0x001F, 0);
      break;
    case kPixelRgb888:
      SetupColorDataRGB24(&data);
      break;
    case kPixelXrgb8888:
      SetupColorDataFromMasks(&data, 32, 0xFF0000, 0xFF00, 0xFF, 0);
      break;
    default:  // kPixelArgb8888
      SetupColorDataFromMasks(&data, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
      break;
  }
  return data;
}

// Rows of pitch bytes that hold rowBytes each, with the whole block within the limit (64-bit
// arithmetic: no product of two ints overflows it).
bool RowsFit(int64_t pitch, int64_t rowBytes, int64_t height) {
  return pitch >= rowBytes && pitch * height <= platform::kMaxBlockBytes;
}

// A record that points into the caller's memory; the pixels are never written through it.
GraphImage View(const ColorData& format, int width, int height, int pitch, const void* pixels) {
  GraphImage view{};
  view.Format = format;
  view.Width = width;
  view.Height = height;
  view.Pitch = pitch;
  view.Pixels = const_cast<void*>(pixels);
  return view;
}

}  // namespace

int ViewPixelBuffer(const PixelBuffer* buffer, const char* caller, PixelBufferView* view) {
  if (buffer == nullptr) return base::LogAddFormat("画素データの指定がありません in %s", caller);
  const PixelBuffer& b = *buffer;
  const int bytes = BytesPerPixel(b.format);
  const bool sized = b.width >= 1 && b.width <= platform::kMaxImageSide && b.height >= 1 &&
                     b.height <= platform::kMaxImageSide;
  if (b.pixels == nullptr || bytes == 0 || !sized || (b.format == kPixelIndexed8 && !b.palette) ||
      !RowsFit(b.pitch, int64_t(b.width) * bytes, b.height) ||
      (b.alpha != nullptr && !RowsFit(b.alphaPitch, b.width, b.height)))
    return base::LogAddFormat(
        "画素データの指定が不正です( 幅 %d 高さ %d ピッチ %d 形式 %d アルファピッチ %d ) in %s",
        b.width, b.height, b.pitch, b.format, b.alpha != nullptr ? b.alphaPitch : 0, caller);

  view->image = View(FormatOf(b.format, b.palette), b.width, b.height, b.pitch, b.pixels);
  view->hasAlpha = b.alpha != nullptr;
  if (view->hasAlpha) {
    // An alpha image gives its red channel: a grey ramp makes each byte its own alpha.
    ColorData grey{};
    SetupColorDataByte8(&grey);
    view->alpha = View(grey, b.width, b.height, b.alphaPitch, b.alpha);
  }
  return 0;
}

}  // namespace zq::gfx
