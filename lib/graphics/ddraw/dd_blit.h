// The DirectDraw path's unscaled draw of a graph: the software blit onto the software screen or
// onto a locked surface rectangle, or the surface's own fast blit when nothing needs software.
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"

namespace zq::gfx {

struct GraphRecord;

// Draws one piece with its top-left corner at (x, y) of the draw screen, within the draw area,
// with the blend mode, parameter, bright colour and blend graph in force; transFlag leaves the
// transparent pixels out. 0 (also when nothing was drawn), or -1 without a DirectDraw object,
// for a piece or store that does not resolve, a blend graph smaller than the piece, or when a
// surface draw cannot begin.
int BltSurface2DToDrawTarget(int32_t x, int32_t y, HandleValue piece, int transFlag);

// Draws the graph's first piece at (x, y). x and y are the 32-bit values received: signed
// integers when intFlag is 1, else the bits of 32-bit floats, truncated toward zero.
int G_DD_DrawImage(uint32_t x, uint32_t y, const GraphRecord* graph, int transFlag, int intFlag);

}  // namespace zq::gfx
