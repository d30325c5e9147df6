// Lines of one colour and lists of them (box outlines arrive as four lines).
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "softrender/memimg.h"

namespace zq::soft {

// One line of a segment list.
struct SoftLineSegment {
  int32_t x1;
  int32_t y1;
  int32_t x2;  // end point, not drawn
  int32_t y2;
  uint32_t color;       // in the destination's pixel format
  uint32_t blendParam;  // the blend parameter when the segment was made; the line drawing
                        // itself takes the parameter from the draw state
};
static_assert(sizeof(SoftLineSegment) == 24);

// Draws the line from (x1, y1), drawn, towards (x2, y2), not drawn, clipped to the draw area
// and the image, under the current blend mode, parameter and bright colour. Destinations that
// boxes refuse are refused here too. No result.
void DrawMemImgLine(MEMIMG* dest, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);

// Draws count segments in list order; a count of 0 or less draws nothing.
void DrawMemImgLineList(MEMIMG* dest, const SoftLineSegment* segments, int32_t count);

}  // namespace zq::soft
