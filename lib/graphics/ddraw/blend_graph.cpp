#include "graphics/ddraw/blend_graph.h"

#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/surface_data.h"
#include "softrender/soft_tables.h"

namespace zq::gfx {

int G_DD_SetBlendGraph(const GraphRecord* /*graph*/, int borderParam, int borderRange) {
  soft::BuildBlendGraphTable(borderParam, borderRange, BlendGraphTable);
  return 0;
}

MEMIMG* GetBlendGraphMemImg() {
  if (g_DrawState.BlendGraph == -1) return nullptr;
  const GraphRecord* graph = GetGraphRecord(g_DrawState.BlendGraph);
  if (graph == nullptr || graph->Options.TextureFlag == 1 || graph->PieceCount < 1) return nullptr;
  const Surface2DRecord* piece = LookupSurface2DRecord(graph->Pieces[0]);
  if (piece == nullptr) return nullptr;
  SurfaceDataRecord* data = GetSurfaceDataRecord(piece->SurfaceData);
  if (data == nullptr || !IsMemImgValid(&data->Image)) return nullptr;
  return &data->Image;
}

}  // namespace zq::gfx
