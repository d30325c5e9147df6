#include "graphics/ddraw/memimg_transfer.h"

#include <cstddef>
#include <cstring>

#include "graphics/image/convert_pixel_rect.h"

namespace zq::gfx {
namespace {

// Run-length codes: the kind in bits 7-6, count - 1 in bits 5-0.
constexpr uint8_t kRunSkip = 0x00;
constexpr uint8_t kRunOpaque = 0x40;
constexpr uint8_t kRunAlpha = 0x80;
constexpr uint8_t kRowEnd = 0xC0;
constexpr int kMaxRun = 64;

bool IsUsableImage(const MEMIMG* image) {
  return image != nullptr && image->SetupMark == kMemImgSetupMark && image->Pixels != nullptr &&
         image->Format != nullptr && image->Width >= 0 && image->Height >= 0;
}

// The rectangle (x, y, width, height) lies inside the image.
bool Covers(const MEMIMG* image, int x, int y, int width, int height) {
  return x >= 0 && y >= 0 && width >= 0 && height >= 0 && int64_t(x) + width <= image->Width &&
         int64_t(y) + height <= image->Height;
}

// The image's colour key (a raw pixel of its format) as 0x00RRGGBB, each channel placed in
// the top bits of its byte so that packing it back into the format gives the key again.
uint32_t KeyAsRgb(const ColorData& f, uint32_t key) {
  auto channel = [key](uint32_t mask, int shift, int width) -> uint32_t {
    if (width == 0) return 0;
    const uint32_t v = (key & mask) >> shift;
    return width <= 8 ? (v << (8 - width)) & 0xFF : (v >> (width - 8)) & 0xFF;
  };
  return channel(f.RM, f.RL, f.RW) << 16 | channel(f.GM, f.GL, f.GW) << 8 |
         channel(f.BM, f.BL, f.BW);
}

// Writes the stream row by row; classify(row, x) gives the kind of one pixel.
template <class Classify>
void WriteRuns(const MEMIMG* image, Classify classify) {
  uint8_t* out = image->RunLength;
  const uint8_t* row = image->Pixels;
  for (int32_t y = 0; y < image->Height; ++y, row += image->Pitch) {
    int32_t x = 0;
    while (x < image->Width) {
      const uint8_t kind = classify(row, x);
      int32_t count = 1;
      while (count < kMaxRun && x + count < image->Width && classify(row, x + count) == kind) {
        ++count;
      }
      *out++ = uint8_t(kind | (count - 1));
      x += count;
    }
    *out++ = kRowEnd;
  }
}

// Rebuilds the stream from the pixels: by alpha for images with an alpha channel, by the
// colour key otherwise. Each row takes at most width + 1 bytes of its width + 5.
void BuildRunLength(MEMIMG* image) {
  const int bytes = image->Format->PixelByte;
  if (image->AlphaFlag) {
    // Alpha sits in byte 2 of a 16-bit image's 4-byte pixel and in byte 3 of a 32-bit one.
    const int alphaByte = image->ColorType == kMemImgRgb565 ? 2 : 3;
    WriteRuns(image, [bytes, alphaByte](const uint8_t* row, int32_t x) {
      const uint8_t a = row[ptrdiff_t(x) * bytes + alphaByte];
      return a == 0 ? kRunSkip : a == 255 ? kRunOpaque : kRunAlpha;
    });
    return;
  }
  const uint32_t key = image->TransColor;
  auto keyed = [key](uint32_t v) { return v == key ? kRunSkip : kRunOpaque; };
  switch (bytes) {
    case 1:
      WriteRuns(image, [&](const uint8_t* row, int32_t x) { return keyed(row[x]); });
      break;
    case 2:
      WriteRuns(image, [&](const uint8_t* row, int32_t x) {
        uint16_t v;
        std::memcpy(&v, row + ptrdiff_t(x) * 2, 2);
        return keyed(v);
      });
      break;
    default:
      WriteRuns(image, [&](const uint8_t* row, int32_t x) {
        uint32_t v;
        std::memcpy(&v, row + ptrdiff_t(x) * 4, 4);
        return keyed(v);
      });
      break;
  }
}

}  // namespace

int TransferToMemImg(const MEMIMG* source, const MEMIMG* alpha, MEMIMG* dest, int srcX, int srcY,
                     int width, int height, int dstX, int dstY) {
  if (!IsUsableImage(source) || !IsUsableImage(dest)) return -1;
  if (alpha != nullptr && !IsUsableImage(alpha)) return -1;
  dest->RunLengthFlag = 0;
  if (!Covers(source, srcX, srcY, width, height) || !Covers(dest, dstX, dstY, width, height) ||
      (alpha != nullptr && !Covers(alpha, srcX, srcY, width, height))) {
    return -1;
  }

  const bool oneChannel = dest->ColorType == kMemImgByte8 || dest->ColorType == kMemImgWord16;
  // Key to alpha compares colours as 0x00RRGGBB; the image holds its key as a raw pixel.
  const uint32_t key = KeyAsRgb(*dest->Format, dest->TransColor);
  const platform::RECT rect{srcX, srcY, srcX + width, srcY + height};
  const int result = ConvertPixelRect(
      dest->Pixels, dest->Pitch, dest->Format, source->Pixels, source->Pitch, source->Format,
      alpha ? alpha->Pixels : nullptr, alpha ? alpha->Pitch : 0, alpha ? alpha->Format : nullptr,
      dstX, dstY, &rect, 0, 1, key, kDitherNone, oneChannel ? 1 : 0, oneChannel ? 1 : 0, 0);
  // The one-channel types take no failure from the converter.
  if (result == -1 && !oneChannel) return -1;

  const bool wholeImage = dstX == 0 && dstY == 0 && width == dest->Width && height == dest->Height;
  if (wholeImage && dest->RunLength != nullptr &&
      (dest->ColorType == kMemImgRgb565 || dest->ColorType == kMemImgXrgb8888)) {
    BuildRunLength(dest);
    dest->RunLengthFlag = 1;
  }
  return 0;
}

int TransferMemImgToSurface(MEMIMG* destView, const MEMIMG* source, int srcX, int srcY, int width,
                            int height, int dstX, int dstY, uint32_t transColor, int useTrans) {
  if (!IsUsableImage(source) || !IsUsableImage(destView)) return -1;
  if (source->PaletteFlag || source->ColorType == kMemImgByte8 ||
      source->ColorType == kMemImgWord16) {
    return 0;
  }
  if (!Covers(source, srcX, srcY, width, height) || !Covers(destView, dstX, dstY, width, height)) {
    return -1;
  }
  destView->RunLengthFlag = 0;
  const platform::RECT rect{srcX, srcY, srcX + width, srcY + height};
  return ConvertPixelRect(destView->Pixels, destView->Pitch, destView->Format, source->Pixels,
                          source->Pitch, source->Format, nullptr, 0, nullptr, dstX, dstY, &rect, 0,
                          0, transColor, kDitherNone, 0, 0, useTrans ? 1 : 0);
}

}  // namespace zq::gfx
