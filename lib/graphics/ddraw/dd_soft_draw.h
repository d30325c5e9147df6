// The DirectDraw path's software drawings of boxes, box outlines and segment lists, and the
// clear of the draw target. Each draws straight into the draw-target image while the software
// screen is in use (the mask image while the mask is active), otherwise into the locked
// rectangle of the target surface through the software-draw bracket.
#pragma once

#include <cstdint>

#include "softrender/lines.h"

namespace zq::gfx {

// A filled box (x2 and y2 exclusive) in a colour of the screen's pixel format, clipped to the
// draw area, with the current blend mode and bright. A reversed box is filled normalised on
// both paths. 0, or -1 without a DirectDraw object or when a surface draw cannot begin (among
// others when nothing of the box lies in the draw area).
int G_DD_DrawRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);

// The outline from (x1, y1) to (x2 - 1, y2 - 1) as four segments; G_DD_DrawSegmentList's result.
int G_DD_DrawFrameBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);

// Draws count segments in list order. 0, or -1 without a DirectDraw object, for a null list, or
// when a surface draw cannot begin over the segments' bounding box.
int G_DD_DrawSegmentList(const soft::SoftLineSegment* segments, int32_t count);

// Fills the current draw screen with colour 0 under the draw area, blend mode and bright in
// force. 0, or -1 without a DirectDraw object or target, or when a surface draw cannot begin.
int G_DD_ClearDrawTarget();

}  // namespace zq::gfx
