// Stretched and mirrored software blit of one MEMIMG onto another.
#pragma once

#include "platform/types.h"
#include "softrender/memimg.h"

namespace zq::soft {

// Draws the whole source into rect (right and bottom exclusive), each axis scaled by
// nearest-pixel selection; an axis whose two coordinates come in reverse order is mirrored.
// Destination pixel j of the unclipped rectangle (counted from its left or top edge) shows
// source column or row j * 65536 / ratio, ratio = extent * 65536 / source size (both
// truncated), counted from the far edge on a mirrored axis. Clipped to the draw area and to
// the destination's own size; blend mode, parameter and bright come from the draw state and
// each pixel follows the software blend rules (blend mode 1 always through its difference
// rule). A non-zero transFlag turns the colour key on (alpha 0 / 255 shortcuts for a source
// with alpha channel). blendImage (one byte a pixel, at least the source's size) is read at
// source coordinates; null for none. A same-size unmirrored rectangle is drawn by DrawMemImg.
// Draws nothing for a source of width or height 0 or 65536 and above, different colour
// types, a palettised destination or one with an alpha channel; reports nothing. Only the
// source pixels the clipped draw samples are read, so an image whose pitch is shorter than its
// width (a work image over a locked rectangle) may be passed when those pixels lie in it.
void DrawMemImgStretched(MEMIMG* dst, const MEMIMG* src, const platform::RECT& rect, int transFlag,
                         const MEMIMG* blendImage);

}  // namespace zq::soft
