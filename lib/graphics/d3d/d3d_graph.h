// The Direct3D path's twins of the graph operations. A Direct3D graph is made of textures: it is
// divided into columns of at most the device's largest texture width from the left and rows of
// at most its largest height from the top, one 3D piece (and texture) each, at most 64.
#pragma once

#include <cstdint>

#include "graphics/ddraw/color_data.h"
#include "graphics/handle_table.h"
#include "graphics/image/graph_image.h"
#include "platform/gdi/bitmap.h"
#include "platform/types.h"

namespace zq::gfx {

struct GraphRecord;

// Releases all 3D pieces and brings the device's state in line with the draw state. -1 without
// the Direct3D object, else 0.
int G_D3D_InitGraphics();
// One piece per texture of the division; a draw-valid graph must be one texture. 0, or -1 after
// a log line with no piece left.
int G_D3D_CreateGraph(GraphRecord* graph);
// Deletes the graph's pieces; their stores live on while other pieces share them. 0.
int G_D3D_DeleteGraph(GraphRecord* graph);
// One piece for each parent piece the rectangle overlaps, sharing its store at the overlap.
// 0, or -1 with no piece left.
int G_D3D_DeriveGraph(GraphRecord* graph, int x, int y, int width, int height, GraphRecord* parent);
// Every piece from the source at its position in the graph plus (srcX, srcY), cut to the source.
// -1 without Direct3D, for a missing piece or one that refuses the write (stopping there), or
// when no piece was written; else 0.
int G_D3D_SetGraphImage(const ColorData* bitmapFormat, platform::HBITMAP bitmap,
                        platform::HBITMAP alphaBitmap, int srcX, int srcY, GraphRecord* graph,
                        int sourceForm, const GraphImage* image, const GraphImage* alpha);
// srcRect of the source at (dstX, dstY) of the graph, into each piece it overlaps.
int G_D3D_SetGraphImageDIB(const ColorData* bitmapFormat, platform::HBITMAP bitmap,
                           platform::HBITMAP alphaBitmap, const platform::RECT* srcRect, int dstX,
                           int dstY, GraphRecord* graph, int sourceForm, const GraphImage* image,
                           const GraphImage* alpha);
int G_D3D_FillGraph(GraphRecord* graph, int red, int green, int blue, int alpha);
// The OR of the pieces' restore results; -1 without Direct3D or for a missing piece.
int G_D3D_RestoreGraph(GraphRecord* graph);

// Writes srcRect of the source into the 3D piece at (dstX, dstY) of the piece, converted into
// the texture's format: the alpha image; key to alpha (the store's colour key) when the texture
// has alpha and neither an alpha image nor source alpha exists; the creation dither mode. A
// texture that refuses the lock is written through a system-memory texture of its format.
// 0, or -1 with nothing written.
int WriteImageToSurface3D(const ColorData* bitmapFormat, platform::HBITMAP bitmap,
                          platform::HBITMAP alphaBitmap, int sourceForm, const GraphImage* image,
                          const GraphImage* alpha, const platform::RECT* srcRect, HandleValue piece,
                          int dstX, int dstY);

}  // namespace zq::gfx
