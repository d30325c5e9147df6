// The DirectDraw path's string drawing through a font's glyph cache.
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"

namespace zq::gfx {

// Draws the string (Shift-JIS) with its line's top left at (x, y) (vertical: downwards) in the
// colour, with the font's outline in the edge colour (both screen pixel values), within the
// draw area. A texture-cache font draws each glyph as a graph draw of its cell. A memory-cache
// font writes its glyphs straight into the target while they need no blend (blend mode 0, or 1
// at 255, no blend graph, types 0 and 1); otherwise the string is composed in the font's draw
// screen and blitted from there under the blend mode, parameter and blend graph (the blend
// graph read from the text's box's top left on). The target is the mask's scratch while the
// mask is active. 0, or -1 without a DirectDraw object, for an invalid font, when its cache
// cannot be made, when a blend graph is smaller than the text's box, or when the target cannot
// be drawn on.
int G_DD_DrawText(int32_t x, int32_t y, const char* string, uint32_t color, HandleValue font,
                  uint32_t edgeColor, int32_t vertical);

}  // namespace zq::gfx
