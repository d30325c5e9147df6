// The Direct3D path's string drawing through a font's texture cache.
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"

namespace zq::gfx {

// Makes the font's cache again when it was lost and draws the string glyph by glyph through the
// drawing front-end (its cache graph's cells), within the draw area. 0, or -1 for an invalid
// font or when its cache cannot be made.
int G_D3D_DrawText(int32_t x, int32_t y, const char* string, uint32_t color, HandleValue font,
                   uint32_t edgeColor, int32_t vertical);

}  // namespace zq::gfx
