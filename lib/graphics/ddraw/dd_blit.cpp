#include "graphics/ddraw/dd_blit.h"

#include <bit>
#include <cstdint>

#include "base/math.h"
#include "base/rect.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/ddraw/blend_graph.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/soft_draw_bracket.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/mask.h"
#include "softrender/draw_memimg.h"

namespace zq::gfx {

using platform::RECT;

int BltSurface2DToDrawTarget(int32_t x, int32_t y, HandleValue pieceHandle, int transFlag) {
  if (GetDirectDrawObject() == nullptr) return -1;
  const Surface2DRecord* piece = LookupSurface2DRecord(pieceHandle);
  if (piece == nullptr) return -1;
  SurfaceDataRecord* data = GetSurfaceDataRecord(piece->SurfaceData);
  if (data == nullptr) return -1;
  const MEMIMG* blend = GetBlendGraphMemImg();
  // The blend image is read at source coordinates over the whole piece.
  if (blend != nullptr && (blend->Width < piece->Width || blend->Height < piece->Height)) return -1;
  // A piece reaching past the coordinate range lies outside every draw area.
  if (int64_t(x) + piece->Width > INT32_MAX || int64_t(y) + piece->Height > INT32_MAX) return 0;

  if (IsSoftwareScreenInUse()) {
    MEMIMG* dest = g_DrawState.MaskActive == 1 ? GetMaskImage() : g_DD.DrawTargetMemImg;
    if (dest == nullptr || !data->SoftwareFlag || !IsMemImgValid(&data->Image)) return -1;
    MEMIMG view;
    const MEMIMG* source = &data->Image;
    if (piece->SrcX != 0 || piece->SrcY != 0 || piece->Width != data->Image.Width ||
        piece->Height != data->Image.Height) {
      MakeMemImgView(&view, &data->Image, piece->SrcX, piece->SrcY, piece->Width, piece->Height);
      source = &view;
    }
    soft::DrawMemImg(dest, source, x, y, transFlag, blend);
    return 0;
  }

  if (g_DD.EndSceneBeforeDrawFlag) EndCurrentScene();
  FlushCurrentVertexBatch();
  RECT dest{x, y, x + piece->Width, y + piece->Height};
  base::ClipRectToRect(&dest, &g_DrawState.DrawArea);
  if (base::IsRectEmpty(dest)) return 0;
  const RECT src{dest.left - x, dest.top - y, dest.right - x, dest.bottom - y};
  const int begun = BeginSoftDrawOnSurface(piece, 1, &src, &dest, 0, nullptr);
  if (begun < 0) return -1;
  if (begun == 1)
    SoftDrawHardwareBlit(transFlag);
  else
    soft::DrawMemImg(g_DD.SoftWorkTargetImage, g_DD.SoftWorkSourceImage, x, y, transFlag, blend);
  EndSoftDrawOnSurface();
  return 0;
}

int G_DD_DrawImage(uint32_t x, uint32_t y, const GraphRecord* graph, int transFlag, int intFlag) {
  FlushCurrentVertexBatch();
  if (graph == nullptr || graph->PieceCount < 1) return -1;
  const int32_t ix = intFlag == 1 ? int32_t(x) : base::FloatToInt(std::bit_cast<float>(x));
  const int32_t iy = intFlag == 1 ? int32_t(y) : base::FloatToInt(std::bit_cast<float>(y));
  return BltSurface2DToDrawTarget(ix, iy, graph->Pieces[0], transFlag);
}

}  // namespace zq::gfx
