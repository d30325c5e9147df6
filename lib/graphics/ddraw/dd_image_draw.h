// The DirectDraw path's image draws in software: a graph turned and scaled about a centre,
// mapped onto a triangle, or onto four corners. On the software screen the rasterizer draws
// straight into the draw-target image; otherwise into the rectangle of the target surface
// that the draw can touch, between BeginSoftDrawOnSurface and EndSoftDrawOnSurface.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "softrender/triangle.h"

namespace zq::gfx {

struct GraphRecord;

// The graph's first piece centred at (x, y) (truncated toward zero), scaled, turned by angle
// (radians, clockwise) and, with turn, mirrored left to right. 0, or -1 when there is no
// DirectDraw object, the first piece or its store does not resolve, or nothing can be locked.
int G_DD_DrawImageRotated(float x, float y, double scale, double angle, const GraphRecord* graph,
                          int32_t trans, int32_t turn);

// One triangle: with a graph its first piece mapped by the vertices' texel positions, without
// one filled with colour. 0, or -1 as G_DD_DrawImageRotated.
int G_DD_DrawImageTriangle(const soft::SoftTriangleVertex* vertices, const GraphRecord* graph,
                           int32_t trans, uint32_t colour);

// The graph mapped onto four corners as the triangles of corners 0-1-2 and 1-2-3; corner 0
// takes texel (0, 0), 1 (width, 0), 2 (0, height), 3 (width, height). 0 when either triangle was
// drawn; -1 without a DirectDraw object or a graph, or when both triangles failed.
int G_DD_DrawImageQuadInt(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                          int32_t x3, int32_t y3, const GraphRecord* graph, int32_t trans);
// As G_DD_DrawImageQuadInt with the corners truncated toward zero, and its result.
int G_DD_DrawImageQuad(float x0, float y0, float x1, float y1, float x2, float y2, float x3,
                       float y3, const GraphRecord* graph, int32_t trans);

// The rectangle the bracketed path locks for an image draw: exactly the pixels the rasterizer
// may write, within the draw area of the draw screen (empty when it writes nothing).
struct RotatedImageDraw {
  int32_t sourceWidth, sourceHeight;  // the piece drawn
  int32_t x, y;                       // the centre in whole pixels
  float angle, scale;
  int32_t turn;
};
platform::RECT ImageDrawLockBox(const RotatedImageDraw& draw);
platform::RECT ImageDrawLockBox(const soft::SoftTriangleVertex* triangle);

}  // namespace zq::gfx
