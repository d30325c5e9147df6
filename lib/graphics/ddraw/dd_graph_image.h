// The DirectDraw path's transfer of decoded images and platform bitmaps into graph pieces.
#pragma once

#include <cstdint>

#include "graphics/ddraw/color_data.h"
#include "graphics/handle_table.h"
#include "graphics/image/graph_image.h"
#include "graphics/piece_transfer.h"
#include "platform/gdi/bitmap.h"
#include "platform/types.h"

namespace zq::gfx {

struct GraphRecord;

// Writes srcRect of the source into the 2D piece at (dstX, dstY) of the piece. The rectangle must
// lie inside the source and the piece. A software store takes the pixels through TransferToMemImg
// (its palette, for a palettised store fed an 8-bit image); a DirectDraw surface is locked and
// converted into. A store of 8 bits fed a wider source goes through the platform's bitmap
// transfer, which picks the nearest palette entry. 0, or -1 with nothing written.
int WriteImageToSurface2DRect(const ColorData* bitmapFormat, platform::HBITMAP bitmap,
                              platform::HBITMAP alphaBitmap, int sourceForm,
                              const GraphImage* image, const GraphImage* alpha,
                              const platform::RECT* srcRect, HandleValue piece, int dstX, int dstY);

// Every piece of the graph from the source at the piece's own position plus (srcX, srcY), the
// rectangle cut to what the source holds. -1 without DirectDraw, for a missing piece or a piece
// that refuses the write (stopping there), else 0.
int G_DD_SetGraphImage(const ColorData* bitmapFormat, platform::HBITMAP bitmap,
                       platform::HBITMAP alphaBitmap, int srcX, int srcY, GraphRecord* graph,
                       int sourceForm, const GraphImage* image, const GraphImage* alpha);

// srcRect of the source at (dstX, dstY) of the graph, into each piece it overlaps, clipped to the
// piece and to the source. Results as G_DD_SetGraphImage.
int G_DD_SetGraphImageDIB(const ColorData* bitmapFormat, platform::HBITMAP bitmap,
                          platform::HBITMAP alphaBitmap, const platform::RECT* srcRect, int dstX,
                          int dstY, GraphRecord* graph, int sourceForm, const GraphImage* image,
                          const GraphImage* alpha);

}  // namespace zq::gfx
