#include "graphics/piece_transfer.h"

#include <algorithm>

#include "graphics/image/convert_pixel_rect.h"

namespace zq::gfx {

using platform::HBITMAP;
using platform::RECT;

namespace {

bool FromImage(const GraphImage* image, PixelSource* out) {
  if (image == nullptr || image->Pixels == nullptr || image->Format.ColorBitDepth == 0)
    return false;
  // Rows shorter than the pixels they claim would be read past their end.
  if (image->Width < 1 || image->Height < 1 || image->Format.PixelByte < 1 ||
      image->Format.PixelByte * 8 != image->Format.ColorBitDepth ||
      int64_t(image->Pitch) < int64_t(image->Width) * image->Format.PixelByte)
    return false;
  *out = {static_cast<const uint8_t*>(image->Pixels), image->Pitch, &image->Format, image->Width,
          image->Height};
  return true;
}

bool FromBitmap(HBITMAP bitmap, const ColorData* format, PixelSource* out) {
  if (bitmap == nullptr || format == nullptr || format->ColorBitDepth == 0) return false;
  const platform::PixelTarget& t = bitmap->target;
  // The descriptor must match the section's pixel size, or rows would be read past their end.
  if (t.top == nullptr || t.bitCount != format->ColorBitDepth) return false;
  *out = {t.top, t.pitch, format, t.width, t.height};
  return true;
}

bool Inside(const RECT& r, int32_t width, int32_t height) {
  return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= width &&
         r.bottom <= height;
}

}  // namespace

bool ReadTransferSources(const ColorData* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                         int sourceForm, const GraphImage* image, const GraphImage* alpha,
                         const RECT& srcRect, int dstX, int dstY, int pieceWidth, int pieceHeight,
                         TransferSources* out) {
  bool read;
  if (sourceForm == kSourceFormBitmap) {
    out->haveMask = alphaBitmap != nullptr;
    read = FromBitmap(bitmap, bitmapFormat, &out->main) &&
           (!out->haveMask || FromBitmap(alphaBitmap, bitmapFormat, &out->mask));
  } else {
    out->haveMask = alpha != nullptr;
    read = FromImage(image, &out->main) && (!out->haveMask || FromImage(alpha, &out->mask));
  }
  if (!read || !Inside(srcRect, out->main.width, out->main.height)) return false;
  if (out->haveMask && !Inside(srcRect, out->mask.width, out->mask.height)) return false;
  const int64_t w = int64_t(srcRect.right) - srcRect.left,
                h = int64_t(srcRect.bottom) - srcRect.top;
  return dstX >= 0 && dstY >= 0 && dstX + w <= pieceWidth && dstY + h <= pieceHeight;
}

int TransferSources::ConvertInto(void* dst, int32_t pitch, const ColorData* format, int x, int y,
                                 const RECT& rect, int keyToAlpha, uint32_t key, int dither) const {
  return ConvertPixelRect(dst, pitch, format, main.pixels, main.pitch, main.format,
                          haveMask ? mask.pixels : nullptr, mask.pitch,
                          haveMask ? mask.format : nullptr, x, y, &rect, 0, keyToAlpha, key, dither,
                          0, 0, 0) == -1
             ? -1
             : 0;
}

PieceClipper::PieceClipper(int sourceForm, HBITMAP bitmap, const GraphImage* image) {
  if (sourceForm == kSourceFormBitmap) {
    if (bitmap != nullptr) width_ = bitmap->target.width, height_ = bitmap->target.height;
  } else if (image != nullptr) {
    width_ = image->Width, height_ = image->Height;
  }
}

bool PieceClipper::ForGraph(int srcX, int srcY, int graphX, int graphY, int width, int height,
                            PieceWrite* out) const {
  const int64_t left = int64_t(srcX) + graphX, top = int64_t(srcY) + graphY;
  const int64_t right = std::min<int64_t>(left + width, width_);
  const int64_t bottom = std::min<int64_t>(top + height, height_);
  if (left < 0 || top < 0 || right <= left || bottom <= top) return false;
  *out = {RECT{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)}, 0, 0};
  return true;
}

bool PieceClipper::ForRect(const RECT& srcRect, int dstX, int dstY, int graphX, int graphY,
                           int width, int height, PieceWrite* out) const {
  // The source rectangle cut to the source, the destination moved with it.
  int64_t left = srcRect.left, top = srcRect.top;
  int64_t right = std::min<int64_t>(srcRect.right, width_);
  int64_t bottom = std::min<int64_t>(srcRect.bottom, height_);
  // The destination in piece pixels.
  int64_t x = int64_t(dstX) - graphX, y = int64_t(dstY) - graphY;
  if (left < 0) x -= left, left = 0;
  if (top < 0) y -= top, top = 0;
  // Clip to the piece.
  if (x < 0) left -= x, x = 0;
  if (y < 0) top -= y, y = 0;
  right = std::min<int64_t>(right, left + (width - x));
  bottom = std::min<int64_t>(bottom, top + (height - y));
  if (right <= left || bottom <= top) return false;
  *out = {RECT{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)}, int32_t(x),
          int32_t(y)};
  return true;
}

}  // namespace zq::gfx
