#include "graphics/d3d/d3d_graph.h"

#include <algorithm>

#include "base/log.h"
#include "graphics/d3d/d3d_draw.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/convert_pixel_rect.h"
#include "graphics/piece_transfer.h"
#include "graphics/surface_data.h"
#include "graphics/surface_piece.h"
#include "graphics/texture_format.h"

namespace zq::gfx {

using platform::HBITMAP;
using platform::RECT;

namespace {

// Deletes the first `count` pieces of a graph whose making failed part-way. -1.
int DropPieces(GraphRecord* graph, int count) {
  graph->PieceCount = count;
  DeleteGraphPieces(graph);
  return -1;
}

// Converts into the texture through a system-memory texture of its format and a fast blit, for
// a texture that refuses the lock. convert(pixels, pitch, x, y) writes the rectangle at (x, y).
template <class Convert>
int WriteThroughTemporary(platform::DirectDrawSurface* texture, int formatIndex, int x, int y,
                          int width, int height, const Convert& convert) {
  platform::SurfaceDesc desc;
  desc.flags = platform::DDSD_CAPS | platform::DDSD_WIDTH | platform::DDSD_HEIGHT |
               platform::DDSD_PIXELFORMAT;
  desc.width = uint32_t(width);
  desc.height = uint32_t(height);
  desc.pixelFormat = *GetTextureFormatData(formatIndex);
  desc.caps.caps = platform::DDSCAPS_TEXTURE | platform::DDSCAPS_SYSTEMMEMORY;
  platform::DirectDrawSurface* temporary = nullptr;
  if (platform::Failed(GetDirectDrawObject()->CreateSurface(desc, &temporary)))
    return base::LogAddString("テクスチャ転送用サーフェスの作成に失敗しました\n");
  platform::SurfaceDesc locked;
  int result = -1;
  if (platform::Succeeded(
          temporary->Lock(nullptr, &locked, platform::DDLOCK_WAIT | platform::DDLOCK_WRITEONLY))) {
    result = convert(locked.surface, locked.pitch, 0, 0);
    temporary->Unlock(nullptr);
  }
  const RECT whole{0, 0, width, height};
  if (result == 0 &&
      platform::Failed(texture->BltFast(x, y, temporary, &whole,
                                        platform::DDBLTFAST_NOCOLORKEY | platform::DDBLTFAST_WAIT)))
    result = -1;
  temporary->Release();
  return result;
}

}  // namespace

int WriteImageToSurface3D(const ColorData* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                          int sourceForm, const GraphImage* image, const GraphImage* alpha,
                          const RECT* srcRect, HandleValue piece, int dstX, int dstY) {
  const Surface3DRecord* p = LookupSurface3DRecord(piece);
  if (p == nullptr || srcRect == nullptr) return -1;
  const SurfaceDataRecord* rec = GetSurfaceDataRecord(p->SurfaceData);
  if (rec == nullptr || rec->Surface == nullptr || rec->Options.TextureFlag != 1) return -1;
  const ColorData* format = GetTextureFormatDataB(int(rec->FormatIndex));
  if (format->ColorBitDepth == 0) return -1;

  TransferSources src;
  const RECT r = *srcRect;
  if (!ReadTransferSources(bitmapFormat, bitmap, alphaBitmap, sourceForm, image, alpha, r, dstX,
                           dstY, p->Width, p->Height, &src))
    return -1;
  // Without alpha of its own, the source's transparent colour becomes alpha 0.
  const int keyToAlpha = format->AW != 0 && !src.haveMask && src.main.format->AW == 0 ? 1 : 0;
  const uint32_t key = rec->ColorKey;
  const int dither = GetCreateOptionA();
  const auto convert = [&](void* pixels, int32_t pitch, int x, int y) {
    return src.ConvertInto(pixels, pitch, format, x, y, r, keyToAlpha, key, dither);
  };
  const int storeX = p->StoreX + dstX, storeY = p->StoreY + dstY;
  int32_t pitch = 0;
  void* pixels = nullptr;
  if (LockSurface3DTexture(piece, &pitch, &pixels, 1, nullptr, nullptr) == -1) {
    PrepareTextureWrite(piece);
    return WriteThroughTemporary(rec->Surface, int(rec->FormatIndex), storeX, storeY,
                                 r.right - r.left, r.bottom - r.top, convert);
  }
  const int result = convert(pixels, pitch, storeX, storeY);
  UnlockSurface3DTexture(piece, nullptr);
  return result;
}

int G_D3D_InitGraphics() {
  DeleteAllSurface3D();
  if (g_D3D.Object == nullptr) return -1;
  InitSurface3DTable();
  // The manager's draw state starts at its defaults: the device follows it.
  const GraphicsDrawState& ds = g_DrawState;
  G_D3D_ApplyBlendMode(ds.BlendMode, ds.BlendParam);
  G_D3D_ApplyDrawMode(ds.SamplingMode);
  G_D3D_ApplyBright();
  return 0;
}

int G_D3D_CreateGraph(GraphRecord* graph) {
  if (graph == nullptr || GetCurrentDeviceSlotWord() == 0) return -1;
  int maxWidth = 0, maxHeight = 0;
  MaxPieceSize(&maxWidth, &maxHeight);
  if (maxWidth < 1 || maxHeight < 1)
    return base::LogAddString("テクスチャの最大サイズが不正です\n");
  const int columns = (graph->Width + maxWidth - 1) / maxWidth;
  const int rows = (graph->Height + maxHeight - 1) / maxHeight;
  if (int64_t(columns) * rows > kGraphMaxPieces)
    return base::LogAddFormat("グラフィックのテクスチャ分割数が %d を越えます (%d x %d)",
                              kGraphMaxPieces, graph->Width, graph->Height);
  // A draw target is one render target.
  if (graph->Options.DrawValid == 1 && columns * rows > 1)
    return base::LogAddFormat("描画可能なグラフィックがテクスチャ一枚に収まりません (%d x %d)",
                              graph->Width, graph->Height);
  int count = 0;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      const int x = column * maxWidth, y = row * maxHeight;
      const HandleValue piece = AddSurface3DData(std::min(maxWidth, graph->Width - x),
                                                 std::min(maxHeight, graph->Height - y), 0, 0, 0,
                                                 -1, x, y, &graph->Options);
      if (piece < 0) return DropPieces(graph, count);
      graph->Pieces[count++] = piece;
    }
  }
  graph->PieceCount = count;
  return 0;
}

int G_D3D_DeleteGraph(GraphRecord* graph) {
  if (graph != nullptr) ForgetD3DBlendGraph(graph->Handle);
  return DeleteGraphPieces(graph);
}

int G_D3D_DeriveGraph(GraphRecord* graph, int x, int y, int width, int height,
                      GraphRecord* parent) {
  if (graph == nullptr || parent == nullptr || GetCurrentDeviceSlotWord() == 0) return -1;
  const int64_t right = int64_t(x) + width, bottom = int64_t(y) + height;
  int count = 0;
  for (int i = 0; i < parent->PieceCount && i < kGraphMaxPieces; ++i) {
    const Surface3DRecord* p = LookupSurface3DRecord(parent->Pieces[i]);
    if (p == nullptr) return DropPieces(graph, count);
    // The overlap of the rectangle with this parent piece, in the parent's pixels.
    const int64_t l = std::max<int64_t>(x, p->GraphX), t = std::max<int64_t>(y, p->GraphY);
    const int64_t r = std::min<int64_t>(right, p->GraphX + p->Width);
    const int64_t b = std::min<int64_t>(bottom, p->GraphY + p->Height);
    if (r <= l || b <= t) continue;
    const HandleValue piece = AddSurface3DData(
        int(r - l), int(b - t), int(p->StoreX + (l - p->GraphX)), int(p->StoreY + (t - p->GraphY)),
        0, p->SurfaceData, int(l - x), int(t - y), &graph->Options);
    if (piece < 0) return DropPieces(graph, count);
    graph->Pieces[count++] = piece;
  }
  if (count == 0) return -1;
  graph->PieceCount = count;
  return 0;
}

int G_D3D_SetGraphImage(const ColorData* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                        int srcX, int srcY, GraphRecord* graph, int sourceForm,
                        const GraphImage* image, const GraphImage* alpha) {
  if (GetCurrentDeviceSlotWord() == 0 || graph == nullptr) return -1;
  const PieceClipper clip(sourceForm, bitmap, image);
  int written = 0;
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const Surface3DRecord* p = LookupSurface3DRecord(graph->Pieces[i]);
    if (p == nullptr) return -1;
    PieceWrite w;
    // A piece beyond the source's end keeps its pixels.
    if (!clip.ForGraph(srcX, srcY, p->GraphX, p->GraphY, p->Width, p->Height, &w)) continue;
    if (WriteImageToSurface3D(bitmapFormat, bitmap, alphaBitmap, sourceForm, image, alpha,
                              &w.source, graph->Pieces[i], w.x, w.y) != 0)
      return -1;
    ++written;
  }
  return written > 0 ? 0 : -1;
}

int G_D3D_SetGraphImageDIB(const ColorData* bitmapFormat, HBITMAP bitmap, HBITMAP alphaBitmap,
                           const RECT* srcRect, int dstX, int dstY, GraphRecord* graph,
                           int sourceForm, const GraphImage* image, const GraphImage* alpha) {
  if (GetCurrentDeviceSlotWord() == 0 || graph == nullptr || srcRect == nullptr) return -1;
  const PieceClipper clip(sourceForm, bitmap, image);
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const Surface3DRecord* p = LookupSurface3DRecord(graph->Pieces[i]);
    if (p == nullptr) return -1;
    PieceWrite w;
    if (!clip.ForRect(*srcRect, dstX, dstY, p->GraphX, p->GraphY, p->Width, p->Height, &w))
      continue;  // this piece is not overlapped
    if (WriteImageToSurface3D(bitmapFormat, bitmap, alphaBitmap, sourceForm, image, alpha,
                              &w.source, graph->Pieces[i], w.x, w.y) != 0)
      return -1;
  }
  return 0;
}

int G_D3D_FillGraph(GraphRecord* graph, int red, int green, int blue, int alpha) {
  if (GetCurrentDeviceSlotWord() == 0 || graph == nullptr) return -1;
  return FillGraphPieces(graph, red, green, blue, alpha);
}

int G_D3D_RestoreGraph(GraphRecord* graph) {
  if (GetCurrentDeviceSlotWord() == 0 || graph == nullptr) return -1;
  return RestoreGraphPieces(graph);
}

}  // namespace zq::gfx
