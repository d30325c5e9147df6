// The DirectDraw path's stretched and mirrored draw of a graph.
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"

namespace zq::gfx {

struct GraphRecord;

// Draws the graph's first piece (or, with piece other than -1, that 2D piece at its own size)
// scaled into (x1, y1)-(x2, y2), right and bottom exclusive; an axis given in reverse order is
// mirrored. With intCoords 1 the four values are integers, otherwise the bit patterns of 32-bit
// floats, truncated toward zero. transparent turns the colour key on.
// On the software screen the software blit gets the draw target (the mask image while the mask
// is active) and the result is 0 even when nothing is drawn. On a surface target pending
// Direct3D work is finished first; the graph's size unmirrored is drawn unscaled, anything else
// in software through the software-draw bracket. -1 without a DirectDraw object, for a piece that
// does not resolve, and on a surface target for a rectangle of no width or height, one wholly
// outside the draw area, or a bracket that cannot begin.
int G_DD_DrawImageStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                            int transparent, int intCoords, HandleValue piece);

}  // namespace zq::gfx
