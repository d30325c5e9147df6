#include "graphics/ddraw/dd_stretch.h"

#include <algorithm>
#include <bit>

#include "base/math.h"
#include "base/rect.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/ddraw/blend_graph.h"
#include "graphics/ddraw/dd_blit.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/soft_draw_bracket.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/mask.h"
#include "softrender/draw_memimg_stretched.h"

namespace zq::gfx {

using platform::RECT;

namespace {

int32_t Coordinate(int32_t value, int intCoords) {
  return intCoords == 1 ? value : base::FloatToInt(std::bit_cast<float>(value));
}

// The source pixels [first, end) that destination pixels cut .. cut + count - 1 of an axis
// sample (pixel j shows source pixel j * 65536 / ratio), within the source's size; mirrored,
// counted from the far edge.
void SourceSpan(int64_t cut, int64_t count, int64_t ratio, int64_t size, bool mirror,
                int32_t* first, int32_t* end) {
  int64_t a = cut * 65536 / ratio;
  int64_t b = std::min(size, (cut + count - 1) * 65536 / ratio + 1);
  if (mirror) {
    const int64_t t = a;
    a = size - b;
    b = size - t;
  }
  *first = int32_t(a);
  *end = int32_t(b);
}

}  // namespace

int G_DD_DrawImageStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                            int transparent, int intCoords, HandleValue piece) {
  if (GetDirectDrawObject() == nullptr) return -1;
  x1 = Coordinate(x1, intCoords);
  y1 = Coordinate(y1, intCoords);
  x2 = Coordinate(x2, intCoords);
  y2 = Coordinate(y2, intCoords);
  const bool mirrorX = x2 < x1, mirrorY = y2 < y1;
  const RECT norm{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};

  // A piece handle draws that piece at its own size, once.
  Surface2DRecord* rec = nullptr;
  HandleValue pieceHandle = piece;
  int64_t drawW = 0, drawH = 0;
  if (piece != -1) {
    rec = LookupSurface2DRecord(piece);
    if (rec != nullptr) {
      drawW = rec->Width;
      drawH = rec->Height;
    }
  } else if (graph != nullptr && graph->PieceCount > 0) {
    pieceHandle = graph->Pieces[0];
    rec = LookupSurface2DRecord(pieceHandle);
    drawW = graph->Width;
    drawH = graph->Height;
  }
  if (rec == nullptr) return -1;
  SurfaceDataRecord* data = GetSurfaceDataRecord(rec->SurfaceData);
  if (data == nullptr) return -1;
  const MEMIMG* blend = GetBlendGraphMemImg();

  if (IsSoftwareScreenInUse()) {
    MEMIMG view;
    const MEMIMG* source = &data->Image;
    if (!IsMemImgValid(source)) return -1;
    if (data->Width != rec->Width || data->Height != rec->Height) {
      MakeMemImgView(&view, &data->Image, rec->SrcX, rec->SrcY, rec->Width, rec->Height);
      source = &view;
    }
    MEMIMG* dest = g_DrawState.MaskActive == 1 ? GetMaskImage() : g_DD.DrawTargetMemImg;
    if (dest == nullptr) return -1;
    soft::DrawMemImgStretched(dest, source, RECT{x1, y1, x2, y2}, transparent, blend);
    return 0;
  }

  // Pending Direct3D work reaches the surface before anything else.
  FlushCurrentVertexBatch();
  if (g_DD.EndSceneBeforeDrawFlag) EndCurrentScene();
  const int64_t w = int64_t(norm.right) - norm.left, h = int64_t(norm.bottom) - norm.top;
  if (w == 0 || h == 0 || drawW <= 0 || drawH <= 0) return -1;
  // Same size and unmirrored: the unscaled draw of the piece, with its results.
  if (w == drawW && h == drawH && !mirrorX && !mirrorY)
    return BltSurface2DToDrawTarget(x1, y1, pieceHandle, transparent);

  const int64_t ratioX = w * 65536 / drawW, ratioY = h * 65536 / drawH;
  RECT dest = norm;
  base::ClipRectToRect(&dest, &g_DrawState.DrawArea);
  if (base::IsRectEmpty(dest)) return -1;
  // Exactly the piece pixels the blit will read: the bracket locks no more, no less.
  RECT src{};
  SourceSpan(int64_t(dest.left) - norm.left, int64_t(dest.right) - dest.left, ratioX, drawW,
             mirrorX, &src.left, &src.right);
  SourceSpan(int64_t(dest.top) - norm.top, int64_t(dest.bottom) - dest.top, ratioY, drawH, mirrorY,
             &src.top, &src.bottom);
  if (BeginSoftDrawOnSurface(rec, 0, &src, &dest, 0, nullptr) < 0) return -1;
  soft::DrawMemImgStretched(g_DD.SoftWorkTargetImage, g_DD.SoftWorkSourceImage,
                            RECT{x1, y1, x2, y2}, transparent, blend);
  EndSoftDrawOnSurface();
  return 0;
}

}  // namespace zq::gfx
