// The DirectDraw path's twins of the graph operations.
#pragma once

#include <cstdint>

namespace zq::gfx {

struct GraphRecord;

// One 2D piece of the graph's size with its option bytes; 0 or -1.
int G_DD_CreateGraph(GraphRecord* graph);
// Deletes the graph's pieces; their stores live on while other pieces share them. 0.
int G_DD_DeleteGraph(GraphRecord* graph);
// Pieces over the parent's store at (x, y), each adding a reference; 0 or -1.
int G_DD_DeriveGraph(GraphRecord* graph, int x, int y, int width, int height, GraphRecord* parent);
int G_DD_FillGraph(GraphRecord* graph, int red, int green, int blue, int alpha);
// The OR of the pieces' restore results; -1 when DirectDraw is not up or a piece is missing.
int G_DD_RestoreGraph(GraphRecord* graph);
// Deletes all 2D pieces; -1 without a DirectDraw object.
int G_DD_InitGraphics();

}  // namespace zq::gfx
