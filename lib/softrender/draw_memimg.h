// Unscaled software blit of one MEMIMG onto another.
#pragma once

#include "softrender/memimg.h"

namespace zq::soft {

// Draws the whole source with its top-left corner at destination pixel (x, y), clipped to
// the draw area and to the destination's own size, with the blend mode, parameter and
// bright colour of the draw state. A non-zero transFlag turns the source's colour key on
// (for a source with alpha channel: alpha 0 skips, alpha 255 draws without alpha factor);
// exactly 1 also lets an unclipped source with a current run-length stream be drawn from
// the stream. blendImage (one byte a pixel, read at source coordinates, at least the
// source's size) steers a per-pixel blend through BlendGraphTable; null for none.
// Reports nothing; a refused or empty draw leaves the destination untouched.
void DrawMemImg(MEMIMG* dst, const MEMIMG* src, int x, int y, int transFlag,
                const MEMIMG* blendImage);

}  // namespace zq::soft
