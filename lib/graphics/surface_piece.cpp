#include "graphics/surface_piece.h"

#include "graphics/d3d/surface3d.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"

namespace zq::gfx {

HandleValue TakePieceStore(HandleValue shared, int width, int height,
                           const SurfaceOptions* options) {
  if (shared >= 0) {
    AddSurfaceDataRef(shared);
    return shared;
  }
  return AddSurfaceData(1, width, height, g_DrawState.TransColor, options);
}

void DropPieceStore(HandleValue store) {
  if (ReleaseSurfaceDataRef(store) == 0) ReleaseSurfaceData(store);
}

HandleValue GetPieceStore(HandleValue piece) {
  if ((piece & kHandleKindMask) == kSurface3DHandleKind) {
    const Surface3DRecord* p = LookupSurface3DRecord(piece);
    return p != nullptr ? p->SurfaceData : -1;
  }
  const Surface2DRecord* p = LookupSurface2DRecord(piece);
  return p != nullptr ? p->SurfaceData : -1;
}

int DeleteGraphPieces(GraphRecord* graph) {
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const HandleValue piece = graph->Pieces[i];
    if ((piece & kHandleKindMask) == kSurface3DHandleKind)
      DeleteSurface3D(piece);
    else
      DeleteSurface2D(piece);
    graph->Pieces[i] = -1;
  }
  graph->PieceCount = 0;
  return 0;
}

int FillGraphPieces(GraphRecord* graph, int red, int green, int blue, int alpha) {
  int result = 0;
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const HandleValue store = GetPieceStore(graph->Pieces[i]);
    if (store < 0 || FillSurfaceDataColor(store, red, green, blue, alpha) != 0) result = -1;
  }
  return result;
}

int RestoreGraphPieces(GraphRecord* graph) {
  int result = 0;
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const HandleValue store = GetPieceStore(graph->Pieces[i]);
    if (store < 0) return -1;
    result |= RestoreSurfaceData(store);
  }
  return result;
}

}  // namespace zq::gfx
