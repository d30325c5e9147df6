#include "graphics/ddraw/dd_screen_capture.h"

#include <algorithm>
#include <utility>

#include "base/rect.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/memimg_transfer.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/ddraw/surface_view.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/convert_pixel_rect.h"
#include "graphics/surface_data.h"

namespace zq::gfx {

using platform::RECT;

namespace {

// Converts the source rectangle into the graph's store at the piece's corner.
int WriteIntoStore(const MEMIMG& source, const RECT& r, const Surface2DRecord& piece,
                   HandleValue dataHandle, SurfaceDataRecord& data) {
  const int32_t w = r.right - r.left, h = r.bottom - r.top;
  if (data.SoftwareFlag)
    return TransferToMemImg(&source, nullptr, &data.Image, r.left, r.top, w, h, piece.SrcX,
                            piece.SrcY) < 0
               ? -1
               : 0;
  int32_t pitch = 0;
  void* pixels = nullptr;
  const ColorData* format = nullptr;
  const int locked = LockSurfaceData(dataHandle, &pitch, &pixels, 1, nullptr, &format);
  if (locked != 0 && locked != -2) return -1;
  const int result =
      ConvertPixelRect(pixels, pitch, format, source.Pixels, source.Pitch, source.Format, nullptr,
                       0, nullptr, piece.SrcX, piece.SrcY, &r, 0, 0, 0, kDitherNone, 0, 0, 0);
  UnlockSurfaceData(dataHandle, nullptr);
  return result == -1 ? -1 : 0;
}

}  // namespace

RECT ScreenCaptureRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width,
                       int32_t height) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  RECT r{x1, y1, x2, y2};
  const RECT screen{0, 0, g_DrawState.DrawScreenWidth, g_DrawState.DrawScreenHeight};
  base::ClipRectToRect(&r, &screen);
  r.right = int32_t(std::min<int64_t>(r.right, int64_t(r.left) + width));
  r.bottom = int32_t(std::min<int64_t>(r.bottom, int64_t(r.top) + height));
  return r;
}

int G_DD_GetDrawScreenGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                            int32_t) {
  if (g_DD.DirectDraw == nullptr || graph == nullptr || graph->PieceCount < 1) return -1;
  const Surface2DRecord* piece = LookupSurface2DRecord(graph->Pieces[0]);
  SurfaceDataRecord* data = piece != nullptr ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
  if (data == nullptr) return -1;
  MEMIMG* image = g_DD.DrawTargetMemImg;
  platform::DirectDrawSurface* surface = g_DD.DrawTargetSurface;
  // Reading and writing one store at once would overlap.
  if ((image != nullptr && image == &data->Image) ||
      (surface != nullptr && surface == data->Surface))
    return -1;

  // Only as much as fits into the graph from its corner.
  RECT r = ScreenCaptureRect(x1, y1, x2, y2, piece->Width, piece->Height);

  if (image != nullptr && IsMemImgValid(image)) {
    const RECT inImage{0, 0, image->Width, image->Height};
    base::ClipRectToRect(&r, &inImage);
    if (base::IsRectEmpty(r)) return 0;
    return WriteIntoStore(*image, r, *piece, piece->SurfaceData, *data);
  }
  if (surface == nullptr) return -1;
  LockedSurfaceView target(surface, platform::DDLOCK_WAIT | platform::DDLOCK_READONLY);
  if (!target.Ok()) return -1;
  // The draw screen lies at the draw origin of its surface (the window's client corner on the
  // primary surface of a window).
  const int32_t ox = g_DrawState.DrawOrigin.left, oy = g_DrawState.DrawOrigin.top;
  const MEMIMG& view = *target.View();
  const RECT onSurface{-ox, -oy, view.Width - ox, view.Height - oy};
  base::ClipRectToRect(&r, &onSurface);
  if (base::IsRectEmpty(r)) return 0;
  const RECT moved{r.left + ox, r.top + oy, r.right + ox, r.bottom + oy};
  return WriteIntoStore(view, moved, *piece, piece->SurfaceData, *data);
}

}  // namespace zq::gfx
