// The DirectDraw path's copy of a draw-screen rectangle into a graph.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace zq::gfx {

struct GraphRecord;

// The rectangle a capture copies: the corners ordered, cut to the draw screen and to width x
// height from its top-left corner (the graph it goes into).
platform::RECT ScreenCaptureRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t width,
                                 int32_t height);

// Copies the rectangle (x1, y1)-(x2, y2) of the current draw screen (corners in either order,
// right and bottom exclusive, clipped to the draw screen and to the graph's size) to the graph's
// top-left corner, converting to the graph's pixel format. flag is carried for the Direct3D twin
// and changes nothing here. 0 (also when nothing remains after clipping), or -1 without a
// DirectDraw object or draw target, for a graph whose piece or store does not resolve, for the
// draw screen's own graph, or when a surface cannot be locked.
int G_DD_GetDrawScreenGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                            int32_t flag);

}  // namespace zq::gfx
