// Decoded images as device-independent-bitmap rows, and such rows as platform bitmaps.
#include <cstdlib>
#include <cstring>

#include "base/memory.h"
#include "graphics/image/convert_pixel_rect.h"
#include "graphics/image/image_decode.h"
#include "platform/size_limits.h"

namespace zq::gfx {
namespace {

int64_t RoundUp4(int64_t bytes) {
  return (bytes + 3) & ~int64_t(3);
}

// A zero-filled block of height rows of pitch bytes (row padding stays zero), or null.
uint8_t* AllocRows(int64_t pitch, int64_t height) {
  const int64_t bytes = pitch * height;
  if (bytes <= 0 || bytes > platform::kMaxBlockBytes) return nullptr;
  return static_cast<uint8_t*>(ZQ_CALLOC(size_t(bytes)));
}

// Copies the first rowBytes of every row into a new block of rows of pitch bytes.
uint8_t* CopyRows(const GraphImage& image, int64_t rowBytes, int64_t pitch) {
  uint8_t* rows = AllocRows(pitch, image.Height);
  if (rows == nullptr) return nullptr;
  const auto* src = static_cast<const uint8_t*>(image.Pixels);
  for (int64_t y = 0; y < image.Height; ++y) {
    std::memcpy(rows + y * pitch, src + y * image.Pitch, size_t(rowBytes));
  }
  return rows;
}

}  // namespace

int ConvertImageFormat(const GraphImage* image, platform::BITMAPINFO* header, void** rows,
                       int forceCopy, int force24) {
  if (image == nullptr || header == nullptr || rows == nullptr) return -1;
  const ColorData& format = image->Format;
  // Untrusted records: the rows must really hold width pixels each.
  if (image->Pixels == nullptr || image->Width <= 0 || image->Height <= 0 ||
      format.PixelByte == 0 || int64_t(image->Pitch) < int64_t(image->Width) * format.PixelByte) {
    return -1;
  }

  std::memset(&header->bmiHeader, 0, sizeof header->bmiHeader);
  std::memset(&header->bmiColors[0], 0, sizeof header->bmiColors[0]);
  platform::BITMAPINFOHEADER& h = header->bmiHeader;
  h.biSize = sizeof(platform::BITMAPINFOHEADER);
  h.biWidth = image->Width;
  h.biHeight = -image->Height;
  h.biPlanes = 1;
  h.biCompression = platform::BI_RGB;

  const int64_t width = image->Width;
  if (format.ColorBitDepth == 8 && force24 == 0) {
    if (format.PixelByte != 1) return -1;
    h.biBitCount = 8;
    static_assert(sizeof header->bmiColors == sizeof format.Palette);
    std::memcpy(header->bmiColors, format.Palette, sizeof header->bmiColors);
    const int64_t pitch = RoundUp4(width);
    if (forceCopy != 1 && pitch == image->Pitch) {
      *rows = image->Pixels;
      return 0;
    }
    uint8_t* copy = CopyRows(*image, width, pitch);
    if (copy == nullptr) return -1;
    *rows = copy;
    return 1;
  }

  h.biBitCount = 24;
  const int64_t pitch = RoundUp4(3 * width);
  if (format.ColorBitDepth == 24 && format.PixelByte == 3 && format.RM == 0xFF0000 &&
      format.GM == 0xFF00 && format.BM == 0xFF && forceCopy != 1) {
    if (pitch == image->Pitch) {
      *rows = image->Pixels;
      return 0;
    }
    uint8_t* copy = CopyRows(*image, 3 * width, pitch);
    if (copy == nullptr) return -1;
    *rows = copy;
    return 1;
  }

  uint8_t* converted = AllocRows(pitch, image->Height);
  if (converted == nullptr) return -1;
  ColorData rgb24{};
  SetupColorDataRGB24(&rgb24);
  const platform::RECT whole{0, 0, image->Width, image->Height};
  // A format the converter refuses would leave the rows blank: report it instead of handing
  // out a picture that is not the image.
  if (ConvertPixelRect(converted, int32_t(pitch), &rgb24, image->Pixels, image->Pitch, &format,
                       nullptr, 0, nullptr, 0, 0, &whole, 0, 0, 0, kDitherNone, 0, 0, 0) == -1) {
    base::TrackedFree(converted);
    return -1;
  }
  *rows = converted;
  return 1;
}

platform::HBITMAP ConvertImageToDIB(const platform::BITMAPINFO* header, const void* rows,
                                    int mirror, ColorData* target) {
  if (header == nullptr || rows == nullptr) return nullptr;
  const int32_t width = header->bmiHeader.biWidth;
  const int64_t height = std::llabs(int64_t(header->bmiHeader.biHeight));
  if (width <= 0 || height == 0 || height > platform::kMaxImageSide) return nullptr;

  platform::BITMAPINFO section{};
  platform::BITMAPINFOHEADER& h = section.bmiHeader;
  h.biSize = sizeof(platform::BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = -int32_t(height);
  h.biPlanes = 1;
  if (target == nullptr) {
    h.biBitCount = 24;
    h.biCompression = platform::BI_RGB;
  } else if (target->ColorBitDepth == 16 ||
             (target->ColorBitDepth > 24 && header->bmiHeader.biBitCount != 24)) {
    const uint32_t masks[3] = {target->RM, target->GM, target->BM};
    std::memcpy(section.bmiColors, masks, sizeof masks);
    h.biCompression = platform::BI_BITFIELDS;
    h.biBitCount = target->ColorBitDepth;
  } else {
    h.biCompression = platform::BI_RGB;
    // A 24-bit source goes into a 24-bit section, and the caller learns of it through target.
    if (target->ColorBitDepth == 32) SetupColorDataRGB24(target);
    h.biBitCount = target->ColorBitDepth;
  }

  platform::HDC dc = platform::CreateCompatibleDC(nullptr);
  if (dc == nullptr) return nullptr;
  void* bits = nullptr;
  platform::HBITMAP bitmap =
      platform::CreateDIBSection(dc, &section, platform::DIB_RGB_COLORS, &bits);
  if (bitmap == nullptr || bits == nullptr) {
    if (bitmap != nullptr) platform::DeleteObject(bitmap);
    platform::DeleteDC(dc);
    return nullptr;
  }

  platform::HGDIOBJ previous = platform::SelectObject(dc, bitmap);
  int32_t moved;
  if (mirror != 0) {
    // Source x runs from the last column backwards. The rows keep their top-to-bottom order,
    // the same as without mirroring.
    moved = platform::StretchDIBits(dc, 0, 0, width, int32_t(height), width - 1, 0, -width,
                                    int32_t(height), rows, header, platform::DIB_RGB_COLORS,
                                    platform::SRCCOPY);
  } else {
    moved = platform::SetDIBitsToDevice(dc, 0, 0, uint32_t(width), uint32_t(height), 0, 0, 0,
                                        uint32_t(height), rows, header, platform::DIB_RGB_COLORS);
  }
  platform::SelectObject(dc, previous);
  platform::DeleteDC(dc);
  // Rows the transfer cannot read would leave a blank bitmap that looks like success.
  if (moved == 0) {
    platform::DeleteObject(bitmap);
    return nullptr;
  }
  return bitmap;
}

}  // namespace zq::gfx
