// Copying a rectangle of the draw screen into a Direct3D graph: read from the draw screen's
// surface or image, or, for a texture that refuses the lock, drawn by the device into the work
// texture part by part and read from there.
#include <algorithm>

#include "base/rect.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_draw.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/ddraw/dd_screen_capture.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/convert_pixel_rect.h"
#include "graphics/texture_format.h"

namespace zq::gfx {

using namespace platform;

namespace {

// Converts the w x h pixels at `pixels` (rows `pitch` bytes apart) into every piece of the graph
// that the rectangle placed at (graphX, graphY) of the graph overlaps. 0 or -1.
int ConvertIntoGraph(const uint8_t* pixels, int32_t pitch, const ColorData* format, int32_t w,
                     int32_t h, int32_t graphX, int32_t graphY, GraphRecord* graph) {
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const HandleValue handle = graph->Pieces[i];
    const Surface3DRecord* p = LookupSurface3DRecord(handle);
    if (p == nullptr) return -1;
    // The overlap in graph pixels.
    const int32_t l = std::max<int32_t>(graphX, p->GraphX),
                  t = std::max<int32_t>(graphY, p->GraphY);
    const int32_t r = std::min<int32_t>(graphX + w, p->GraphX + p->Width);
    const int32_t b = std::min<int32_t>(graphY + h, p->GraphY + p->Height);
    if (r <= l || b <= t) continue;
    int32_t storePitch = 0;
    void* store = nullptr;
    const ColorData* storeFormat = nullptr;
    const int locked = LockSurface3DTexture(handle, &storePitch, &store, 1, nullptr, &storeFormat);
    if (locked != 0 && locked != -2) return -1;
    const RECT source{l - graphX, t - graphY, r - graphX, b - graphY};
    const int converted =
        ConvertPixelRect(store, storePitch, storeFormat, pixels, pitch, format, nullptr, 0, nullptr,
                         p->StoreX + (l - p->GraphX), p->StoreY + (t - p->GraphY), &source, 0, 0, 0,
                         GetCreateOptionA(), 0, 0, 0);
    UnlockSurface3DTexture(handle, nullptr);
    if (converted == -1) return -1;
  }
  return 0;
}

bool IsTexture(DirectDrawSurface* surface) {
  SurfaceCaps caps;
  return Succeeded(surface->GetCaps(&caps)) && (caps.caps & DDSCAPS_TEXTURE) != 0;
}

// The device state that Function4 draws with: the texture copied as it is into the target.
void SetCopyState(DirectDrawSurface* texture) {
  Direct3DDevice* d = g_D3D.Device;
  d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
  d->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, 0);
  d->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_ALWAYS);
  d->SetTextureStageState(0, D3DTSS_FILTER, D3DTFILTER_POINT);
  d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  d->SetTexture(0, texture);
  if (GetKeptDeviceDesc()->wMaxTextureBlendStages >= 2)
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
}

}  // namespace

int G_D3D_GetDrawScreenGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                             int32_t) {
  if (g_D3D.Object == nullptr || g_D3D.Device == nullptr || graph == nullptr ||
      graph->PieceCount < 1)
    return -1;
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const Surface3DRecord* p = LookupSurface3DRecord(graph->Pieces[i]);
    if (p == nullptr || GetSurfaceDataRecord(p->SurfaceData) == nullptr) return -1;
  }
  if (g_DrawState.DrawScreen == graph->Handle) return -1;

  const RECT r = ScreenCaptureRect(x1, y1, x2, y2, graph->Width, graph->Height);
  if (base::IsRectEmpty(r)) return 0;

  if (const MEMIMG* image = g_DD.DrawTargetMemImg; image != nullptr) {
    if (!IsMemImgValid(image) || r.right > image->Width || r.bottom > image->Height) return -1;
    const uint8_t* first =
        image->Pixels + int64_t(r.top) * image->Pitch + int64_t(r.left) * image->Format->PixelByte;
    return ConvertIntoGraph(first, image->Pitch, image->Format, r.right - r.left, r.bottom - r.top,
                            0, 0, graph);
  }
  DirectDrawSurface* surface = g_DD.DrawTargetSurface;
  if (surface == nullptr) return -1;
  const int result = G_D3D_GetDrawScreenGraphFunction3(surface, &r, graph);
  if (result != 1) return result;
  return IsTexture(surface) ? G_D3D_GetDrawScreenGraphFunction4(surface, &r, graph) : -1;
}

int G_D3D_GetDrawScreenGraphFunction3(DirectDrawSurface* surface, const RECT* rect,
                                      GraphRecord* graph) {
  if (surface == nullptr || rect == nullptr || graph == nullptr) return -1;
  PrepareSurfaceWrite(surface);
  // The draw screen lies at the draw origin of its surface (the window's client corner on the
  // primary surface of a window); only the part on the surface is read.
  const int32_t ox = g_DrawState.DrawOrigin.left, oy = g_DrawState.DrawOrigin.top;
  SurfaceDesc desc;
  if (Failed(surface->GetSurfaceDesc(&desc))) return -1;
  RECT r = *rect;
  const RECT onSurface{-ox, -oy, int32_t(desc.width) - ox, int32_t(desc.height) - oy};
  base::ClipRectToRect(&r, &onSurface);
  if (base::IsRectEmpty(r)) return 0;
  const RECT locked{r.left + ox, r.top + oy, r.right + ox, r.bottom + oy};
  SurfaceDesc view;
  if (Failed(surface->Lock(&locked, &view, DDLOCK_WAIT | DDLOCK_READONLY))) return 1;
  ColorData format{};
  ColorDataFromPixelFormat(&view.pixelFormat, &format);
  const int result = ConvertIntoGraph(static_cast<const uint8_t*>(view.surface), view.pitch,
                                      &format, r.right - r.left, r.bottom - r.top,
                                      r.left - rect->left, r.top - rect->top, graph);
  surface->Unlock(&locked);
  return result;
}

int G_D3D_GetDrawScreenGraphFunction4(DirectDrawSurface* texture, const RECT* rect,
                                      GraphRecord* graph) {
  if (texture == nullptr || rect == nullptr || graph == nullptr || g_D3D.Device == nullptr)
    return -1;
  DirectDrawSurface* work = TakeD3DWorkTexture();
  SurfaceDesc desc;
  if (work == nullptr || Failed(texture->GetSurfaceDesc(&desc))) return -1;
  EndCurrentScene();
  Direct3DDevice* d = g_D3D.Device;
  int result = Failed(d->SetRenderTarget(work, 0)) ? -1 : 0;
  if (result == 0) SetCopyState(texture);
  const double tw = desc.width, th = desc.height;
  constexpr int32_t kSide = kD3DWorkTextureSide;
  for (int32_t top = rect->top; result == 0 && top < rect->bottom; top += kSide) {
    for (int32_t left = rect->left; result == 0 && left < rect->right; left += kSide) {
      const int32_t w = std::min(kSide, rect->right - left),
                    h = std::min(kSide, rect->bottom - top);
      // The part at the work texture's corner, texel for pixel.
      const float x0 = -0.5f, y0 = -0.5f, x1 = float(w) - 0.5f, y1 = float(h) - 0.5f;
      const float u0 = float(left / tw), v0 = float(top / th);
      const float u1 = float((left + w) / tw), v1 = float((top + h) / th);
      const D3DTLVERTEX2 v[6] = {
          {x0, y0, 0, 1, 0xFFFFFFFFu, u0, v0, 0, 0}, {x1, y0, 0, 1, 0xFFFFFFFFu, u1, v0, 0, 0},
          {x0, y1, 0, 1, 0xFFFFFFFFu, u0, v1, 0, 0}, {x0, y1, 0, 1, 0xFFFFFFFFu, u0, v1, 0, 0},
          {x1, y0, 0, 1, 0xFFFFFFFFu, u1, v0, 0, 0}, {x1, y1, 0, 1, 0xFFFFFFFFu, u1, v1, 0, 0}};
      if (Failed(d->BeginScene())) {
        result = -1;
        break;
      }
      const bool drawn = Succeeded(d->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX2, v, 6, 0));
      d->EndScene();
      result =
          drawn ? G_D3D_GetDrawScreenGraphFunction5(w, h, left - rect->left, top - rect->top, graph)
                : -1;
    }
  }
  // Everything the record says, back on the device.
  ApplyDeviceStateRecord();
  return result;
}

int G_D3D_GetDrawScreenGraphFunction5(int32_t w, int32_t h, int32_t graphX, int32_t graphY,
                                      GraphRecord* graph) {
  DirectDrawSurface* work = GetD3DWorkTexture();
  if (work == nullptr || graph == nullptr || w < 1 || h < 1 || w > kD3DWorkTextureSide ||
      h > kD3DWorkTextureSide)
    return -1;
  const RECT part{0, 0, w, h};
  SurfaceDesc view;
  if (Failed(work->Lock(&part, &view, DDLOCK_WAIT | DDLOCK_READONLY))) return -1;
  ColorData format{};
  ColorDataFromPixelFormat(&view.pixelFormat, &format);
  const int result = ConvertIntoGraph(static_cast<const uint8_t*>(view.surface), view.pitch,
                                      &format, w, h, graphX, graphY, graph);
  work->Unlock(&part);
  return result;
}

}  // namespace zq::gfx
