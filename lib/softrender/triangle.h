// Software triangles: a source image mapped affinely onto a triangle (or onto four
// corners as two triangles), or a triangle of one colour, under the blend state of
// g_DrawState.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "softrender/memimg.h"

namespace zq::soft {

// One corner: destination pixel (x, y) and source texel (u, v). Three consecutive
// records make a triangle.
struct SoftTriangleVertex {
  int32_t x;
  int32_t y;
  int32_t u;
  int32_t v;
};

// Largest coordinate magnitude the 14.18 walk holds: every x, y, u, v and the
// difference of any two of the same kind must lie in -8192..8191; otherwise nothing is
// drawn.
inline constexpr int32_t kTriangleCoordMin = -8192;
inline constexpr int32_t kTriangleCoordMax = 8191;

// Draws one triangle into dest, vertices in any order and winding. With a source, the
// source is mapped by the vertices' texel positions (trans: transparent flag; blendImage:
// 8-bit image read at source coordinates, or null); with a null source the triangle is
// filled with colour (in dest's pixel format). Clipped to the draw area and dest's size.
// Draws nothing for unsupported formats, blend modes or out-of-limit coordinates.
void DrawMemImgTriangle(MEMIMG* dest, const MEMIMG* source, const SoftTriangleVertex* vertices,
                        int32_t trans, const MEMIMG* blendImage, uint32_t colour);

// As DrawMemImgTriangle, clipped to clip (in place of the draw area) and dest's size, for
// callers that may touch only part of the destination.
void DrawMemImgTriangleClipped(MEMIMG* dest, const MEMIMG* source,
                               const SoftTriangleVertex* vertices, int32_t trans,
                               const MEMIMG* blendImage, uint32_t colour,
                               const platform::RECT& clip);

// Draws the whole source onto four corners (x0, y0, ..., x3, y3) as the triangles of
// corners 0-1-2 and 1-2-3, which share the diagonal from corner 1 to corner 2.
void DrawMemImgQuad(MEMIMG* dest, const MEMIMG* source, const int32_t corners[8], int32_t trans,
                    const MEMIMG* blendImage);

void DrawMemImgQuadClipped(MEMIMG* dest, const MEMIMG* source, const int32_t corners[8],
                           int32_t trans, const MEMIMG* blendImage, const platform::RECT& clip);

}  // namespace zq::soft
