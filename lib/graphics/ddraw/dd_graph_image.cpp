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
      return base::LogAddLine("GraphImage を BMP に変換する処理が失敗しました");
    }
    made = ConvertImageToDIB(header, rows, 0, nullptr);
    if (converted == 1) base::TrackedFree(rows);
    base::TrackedFree(header);
    if (made == nullptr)
      return base::LogAddLine("ＢＭＰデータからＢＭＰハンドルを作成する処理が失敗しました");
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
  TransferSources src;
  const RECT r = *srcRect;
  if (!ReadTransferSources(bitmapFormat, bitmap, alphaBitmap, sourceForm, image, alpha, r, dstX,
                           dstY, p->Width, p->Height, &src))
    return -1;
  const PixelSource& main = src.main;
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
      return src.ConvertInto(store->Pixels, store->Pitch, store->Format, storeX, storeY, r, 0, 0,
                             dither);
    }
    const MEMIMG source = ViewOf(main);
    const MEMIMG maskView = src.haveMask ? ViewOf(src.mask) : MEMIMG{};
    return TransferToMemImg(&source, src.haveMask ? &maskView : nullptr, store, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, storeX, storeY) < 0
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
    result = src.ConvertInto(pixels, pitch, format, storeX, storeY, r, 0, 0, dither);
  }
  UnlockSurfaceData(data, nullptr);
  return result;
}

int G_DD_SetGraphImage(const ColorData* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap, int srcX,
                       int srcY, GraphRecord* graph, int sourceForm, const GraphImage* image,
                       const GraphImage* alpha) {
  if (GetDirectDrawObject() == nullptr || graph == nullptr) return -1;
  const PieceClipper clip(sourceForm, bitmap, image);
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const Surface2DRecord* p = LookupSurface2DRecord(graph->Pieces[i]);
    if (p == nullptr) return -1;
    // A DirectDraw graph is one piece at the graph's origin.
    PieceWrite w;
    if (!clip.ForGraph(srcX, srcY, 0, 0, p->Width, p->Height, &w) ||
        WriteImageToSurface2DRect(bitmapFormat, bitmap, alphaBitmap, sourceForm, image, alpha,
                                  &w.source, graph->Pieces[i], w.x, w.y) != 0)
      return -1;
  }
  return 0;
}

int G_DD_SetGraphImageDIB(const ColorData* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                          const RECT* srcRect, int dstX, int dstY, GraphRecord* graph,
                          int sourceForm, const GraphImage* image, const GraphImage* alpha) {
  if (GetDirectDrawObject() == nullptr || graph == nullptr || srcRect == nullptr) return -1;
  const PieceClipper clip(sourceForm, bitmap, image);
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const Surface2DRecord* p = LookupSurface2DRecord(graph->Pieces[i]);
    if (p == nullptr) return -1;
    PieceWrite w;
    if (!clip.ForRect(*srcRect, dstX, dstY, 0, 0, p->Width, p->Height, &w))
      continue;  // this piece is not overlapped
    if (WriteImageToSurface2DRect(bitmapFormat, bitmap, alphaBitmap, sourceForm, image, alpha,
                                  &w.source, graph->Pieces[i], w.x, w.y) != 0)
      return -1;
  }
  return 0;
}

}  // namespace zq::gfx
