#include "graphics/ddraw/dd_graph.h"

#include "graphics/ddraw/display.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/graph.h"
#include "graphics/surface_piece.h"

namespace zq::gfx {

int G_DD_CreateGraph(GraphRecord* graph) {
  const HandleValue piece =
      AddSurface2D(graph->Width, graph->Height, 0, 0, 0, -1, 0, 0, &graph->Options);
  if (piece < 0) return -1;
  graph->Pieces[0] = piece;
  graph->PieceCount = 1;
  return 0;
}

int G_DD_DeleteGraph(GraphRecord* graph) {
  return DeleteGraphPieces(graph);
}

int G_DD_DeriveGraph(GraphRecord* graph, int x, int y, int width, int height, GraphRecord* parent) {
  if (parent->PieceCount < 1) return -1;
  const Surface2DRecord* source = LookupSurface2DRecord(parent->Pieces[0]);
  if (source == nullptr) return -1;
  const HandleValue piece = AddSurface2D(width, height, source->SrcX + x, source->SrcY + y, 0,
                                         source->SurfaceData, 0, 0, &graph->Options);
  if (piece < 0) return -1;
  graph->Pieces[0] = piece;
  graph->PieceCount = 1;
  return 0;
}

int G_DD_FillGraph(GraphRecord* graph, int red, int green, int blue, int alpha) {
  if (GetDirectDrawObject() == nullptr) return -1;
  return FillGraphPieces(graph, red, green, blue, alpha);
}

int G_DD_RestoreGraph(GraphRecord* graph) {
  if (GetDirectDrawObject() == nullptr) return -1;
  return RestoreGraphPieces(graph);
}

int G_DD_InitGraphics() {
  if (GetDirectDrawObject() == nullptr) return -1;
  return InitSurface2DTable();
}

}  // namespace zq::gfx
