#include "graphics/ddraw/dd_graph_image.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "base/memory.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/memimg_transfer.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/convert_pixel_rect.h"
#include "graphics/image/image_decode.h"
#include "graphics/surface_data.h"

namespace zq::gfx {

using platform::HBITMAP;
using platform::RECT;

namespace {

// Pixels to read: a decoded image or the memory of a DIB section, described by a descriptor.
struct PixelSource {
  const uint8_t* pixels = nullptr;
  int32_t pitch = 0;
  const ColorData* format = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

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

// A view header over a source so that TransferToMemImg can read it; owns nothing.
MEMIMG ViewOf(const PixelSource& s) {
  MEMIMG view{};
  view.SetupMark = kMemImgSetupMark;
  view.ViewFlag = 1;
  view.Width = s.width;
  view.Height = s.height;
  view.Pitch = s.pitch;
  view.PitchShift = -1;
  view.Format = s.format;
  view.Pixels = const_cast<uint8_t*>(s.pixels);
  return view;
}

// A palettised store keeps the colours of its indices in the image's own layout: 5:6:5 words for
// colour type 0, 0x00RRGGBB for colour type 1.
void CopyPaletteToStore(const ColorData& from, MEMIMG* image) {
  if (image->ColorType == kMemImgRgb565) {
    auto* words = reinterpret_cast<uint16_t*>(image->Palette);
    for (int i = 0; i < 256; ++i) {
      const uint32_t p = from.Palette[i];
      words[i] = uint16_t(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
    }
  } else {
    for (int i = 0; i < 256; ++i) image->Palette[i] = from.Palette[i] & 0xFFFFFF;
  }
  image->PaletteCount = 256;
}

// The colours of an 8-bit destination as a bitmap colour table.
void StoreColorTable(const SurfaceDataRecord& rec, const ColorData* format,
                     platform::RGBQUAD table[256]) {
  for (int i = 0; i < 256; ++i) {
    uint32_t rgb;
    if (rec.SoftwareFlag && rec.Image.ColorType == kMemImgRgb565) {
      const uint16_t w = reinterpret_cast<const uint16_t*>(rec.Image.Palette)[i];
      const uint32_t r = (w >> 11) & 31, g = (w >> 5) & 63, b = w & 31;
      rgb = ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
    } else {
      rgb = rec.SoftwareFlag ? rec.Image.Palette[i] : format->Palette[i];
    }
    table[i] = platform::RGBQUAD{uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16), 0};
  }
}

// The platform's bitmap transfer into an 8-bit destination: the source as a DIB section, copied
// by BitBlt into a context over the destination's pixels, which picks the nearest colour.
int WriteThroughBitmap(HBITMAP bitmap, const GraphImage* image, const RECT& r, uint8_t* dst,
                       int32_t dstPitch, int32_t dstWidth, int32_t dstHeight,
                       const platform::RGBQUAD colors[256], int dstX, int dstY) {
  HBITMAP made = nullptr;
  if (bitmap == nullptr) {
    auto* header = static_cast<platform::BITMAPINFO*>(ZQ_CALLOC(sizeof(platform::BITMAPINFO)));
    void* rows = nullptr;
    const int converted = header != nullptr ? ConvertImageFormat(image, header, &rows, 0, 1) : -1;
    if (converted < 0) {
      base::TrackedFree(header);
      return base::LogAddString("GraphImage を BMP に変換する処理が失敗しました");
    }
    made = ConvertImageToDIB(header, rows, 0, nullptr);
    if (converted == 1) base::TrackedFree(rows);
    base::TrackedFree(header);
    if (made == nullptr)
      return base::LogAddString("ＢＭＰデータからＢＭＰハンドルを作成する処理が失敗しました");
    bitmap = made;
  }
  platform::PixelTarget target{dst, dstWidth, dstHeight, dstPitch, 8, 0, 0, 0, colors, 256};
  platform::HDC dstDc = platform::CreateSurfaceDC(target);
  platform::HDC srcDc = platform::CreateCompatibleDC(nullptr);
  platform::HGDIOBJ old = srcDc != nullptr ? platform::SelectObject(srcDc, bitmap) : nullptr;
  const bool ok = dstDc != nullptr && old != nullptr &&
                  platform::BitBlt(dstDc, dstX, dstY, r.right - r.left, r.bottom - r.top, srcDc,
                                   r.left, r.top, platform::SRCCOPY);
  if (old != nullptr) platform::SelectObject(srcDc, old);
  if (srcDc != nullptr) platform::DeleteDC(srcDc);
  if (dstDc != nullptr) platform::DeleteSurfaceDC(dstDc);
  if (made != nullptr) platform::DeleteObject(made);
  return ok ? 0 : -1;
}

}  // namespace

int WriteImageToSurface2DRect(const ColorData* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                              int sourceForm, const GraphImage* image, const GraphImage* alpha,
                              const RECT* srcRect, HandleValue piece, int dstX, int dstY) {
  const Surface2DRecord* p = LookupSurface2DRecord(piece);
  if (p == nullptr || srcRect == nullptr) return -1;
  const HandleValue data = p->SurfaceData;
  SurfaceDataRecord* rec = GetSurfaceDataRecord(data);
  if (rec == nullptr) return -1;

  const bool fromBitmap = sourceForm == kSourceFormBitmap;
  PixelSource main, mask;
  bool haveMask = false;
  if (fromBitmap) {
    if (!FromBitmap(bitmap, bitmapFormat, &main)) return -1;
    haveMask = alphaBitmap != nullptr;
    if (haveMask && !FromBitmap(alphaBitmap, bitmapFormat, &mask)) return -1;
  } else {
    if (!FromImage(image, &main)) return -1;
    haveMask = alpha != nullptr;
    if (haveMask && !FromImage(alpha, &mask)) return -1;
  }
  const RECT r = *srcRect;
  const int32_t w = r.right - r.left, h = r.bottom - r.top;
  if (!Inside(r, main.width, main.height)) return -1;
  if (haveMask && !Inside(r, mask.width, mask.height)) return -1;
  if (dstX < 0 || dstY < 0 || int64_t(dstX) + w > p->Width || int64_t(dstY) + h > p->Height)
    return -1;
  const int storeX = p->SrcX + dstX, storeY = p->SrcY + dstY;
  const int dither = fromBitmap ? GetCreateOptionA() : kDitherNone;

  if (rec->SoftwareFlag) {
    MEMIMG* store = &rec->Image;
    if (!IsMemImgValid(store) || store->Format == nullptr) return -1;
    if (store->Format->ColorBitDepth == 8 && main.format->ColorBitDepth != 8) {
      platform::RGBQUAD colors[256];
      StoreColorTable(*rec, store->Format, colors);
      store->RunLengthFlag = 0;
      return WriteThroughBitmap(fromBitmap ? bitmap : nullptr, image, r, store->Pixels,
                                store->Pitch, store->Width, store->Height, colors, storeX, storeY);
    }
    if (store->PaletteFlag) CopyPaletteToStore(*main.format, store);
    if (fromBitmap && dither != kDitherNone) {
      // The bitmap transfer honours the dither option, which TransferToMemImg does not take.
      store->RunLengthFlag = 0;
      return ConvertPixelRect(store->Pixels, store->Pitch, store->Format, main.pixels, main.pitch,
                              main.format, haveMask ? mask.pixels : nullptr, mask.pitch,
                              haveMask ? mask.format : nullptr, storeX, storeY, &r, 0, 0, 0, dither,
                              0, 0, 0) == -1
                 ? -1
                 : 0;
    }
    const MEMIMG source = ViewOf(main);
    const MEMIMG maskView = haveMask ? ViewOf(mask) : MEMIMG{};
    return TransferToMemImg(&source, haveMask ? &maskView : nullptr, store, r.left, r.top, w, h,
                            storeX, storeY) < 0
               ? -1
               : 0;
  }

  // A DirectDraw surface in the screen's format.
  int32_t pitch = 0;
  void* pixels = nullptr;
  const ColorData* format = nullptr;
  const int locked = LockSurfaceData(data, &pitch, &pixels, 1, nullptr, &format);
  if (locked == -1) return -1;
  int result;
  if (format == nullptr) {
    result = -1;
  } else if (format->ColorBitDepth == 8 && main.format->ColorBitDepth != 8) {
    platform::RGBQUAD colors[256];
    StoreColorTable(*rec, format, colors);
    result =
        WriteThroughBitmap(fromBitmap ? bitmap : nullptr, image, r, static_cast<uint8_t*>(pixels),
                           pitch, rec->Width, rec->Height, colors, storeX, storeY);
  } else {
    result = ConvertPixelRect(pixels, pitch, format, main.pixels, main.pitch, main.format,
                              haveMask ? mask.pixels : nullptr, mask.pitch,
                              haveMask ? mask.format : nullptr, storeX, storeY, &r, 0, 0, 0, dither,
                              0, 0, 0) == -1
                 ? -1
                 : 0;
  }
  UnlockSurfaceData(data, nullptr);
  return result;
}

namespace {

// The source's size for clipping: the bitmap's or the image's; 0 x 0 when there is none.
void SourceSize(int sourceForm, HBITMAP bitmap, const GraphImage* image, int32_t* w, int32_t* h) {
  *w = *h = 0;
  if (sourceForm == kSourceFormBitmap) {
    if (bitmap != nullptr) *w = bitmap->target.width, *h = bitmap->target.height;
  } else if (image != nullptr) {
    *w = image->Width, *h = image->Height;
  }
}

}  // namespace

int G_DD_SetGraphImage(const ColorData* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap, int srcX,
                       int srcY, GraphRecord* graph, int sourceForm, const GraphImage* image,
                       const GraphImage* alpha) {
  if (GetDirectDrawObject() == nullptr || graph == nullptr) return -1;
  int32_t sw, sh;
  SourceSize(sourceForm, bitmap, image, &sw, &sh);
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const Surface2DRecord* p = LookupSurface2DRecord(graph->Pieces[i]);
    if (p == nullptr) return -1;
    // A DirectDraw graph is one piece at the graph's origin; its rectangle in the source starts
    // at (srcX, srcY) and is cut to what the source holds.
    const int64_t left = srcX, top = srcY;
    const int64_t right = std::min<int64_t>(left + p->Width, sw);
    const int64_t bottom = std::min<int64_t>(top + p->Height, sh);
    if (left < 0 || top < 0 || right <= left || bottom <= top) return -1;
    const RECT r{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
    if (WriteImageToSurface2DRect(bitmapFormat, bitmap, alphaBitmap, sourceForm, image, alpha, &r,
                                  graph->Pieces[i], 0, 0) != 0)
      return -1;
  }
  return 0;
}

int G_DD_SetGraphImageDIB(const ColorData* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                          const RECT* srcRect, int dstX, int dstY, GraphRecord* graph,
                          int sourceForm, const GraphImage* image, const GraphImage* alpha) {
  if (GetDirectDrawObject() == nullptr || graph == nullptr || srcRect == nullptr) return -1;
  int32_t sw, sh;
  SourceSize(sourceForm, bitmap, image, &sw, &sh);
  // The source rectangle cut to the source, the destination moved with it.
  int64_t left = srcRect->left, top = srcRect->top;
  int64_t right = std::min<int64_t>(srcRect->right, sw),
          bottom = std::min<int64_t>(srcRect->bottom, sh);
  int64_t dx = dstX, dy = dstY;
  if (left < 0) dx -= left, left = 0;
  if (top < 0) dy -= top, top = 0;
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const Surface2DRecord* p = LookupSurface2DRecord(graph->Pieces[i]);
    if (p == nullptr) return -1;
    // Clip to the piece, which covers the graph from its origin.
    int64_t l = left, t = top, rr = right, b = bottom, x = dx, y = dy;
    if (x < 0) l -= x, x = 0;
    if (y < 0) t -= y, y = 0;
    rr = std::min<int64_t>(rr, l + (p->Width - x));
    b = std::min<int64_t>(b, t + (p->Height - y));
    if (rr <= l || b <= t) continue;  // this piece is not overlapped
    const RECT r{int32_t(l), int32_t(t), int32_t(rr), int32_t(b)};
    if (WriteImageToSurface2DRect(bitmapFormat, bitmap, alphaBitmap, sourceForm, image, alpha, &r,
                                  graph->Pieces[i], int(x), int(y)) != 0)
      return -1;
  }
  return 0;
}

}  // namespace zq::gfx
