// Rotated and scaled drawing: a source image turned by an angle and scaled about a centre
// point, drawn by inverse mapping (each destination pixel of the turned image's box looks
// up its nearest texel), or mirrored left to right through the four-corner triangles.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "softrender/memimg.h"

namespace zq::soft {

// Draws source into dest so that source point (width >> 1, height >> 1) lands on (x, y),
// turned clockwise by angle (radians; rows grow downwards) and scaled by scale, under the
// blend state of g_DrawState. trans: transparent flag; turn: non-zero draws the image
// mirrored left to right through DrawMemImgQuad; blendImage: 8-bit image read at source
// coordinates, or null. Clipped to the draw area and dest's size.
//
// Draws nothing for mismatched or unsupported formats, blend modes the kernels refuse,
// non-finite angle or scale, a centre beyond -8192..8191, turned corners beyond the 14.18
// range, box pixels 8192 or more pixels from the centre, and scales so small that the
// per-pixel source steps overflow 32 bits. Source positions wrap around 32 bits as they
// step; a pixel is drawn whenever its wrapped position lies inside the source.
void DrawMemImgRotated(MEMIMG* dest, const MEMIMG* source, int32_t x, int32_t y, float angle,
                       float scale, int32_t trans, int32_t turn, const MEMIMG* blendImage);

// The smallest rectangle (right and bottom exclusive) holding every pixel that a rotated
// draw of a sourceWidth x sourceHeight image with these arguments may write when it is
// clipped to clip: the draw area narrowed to the destination's size, as the draw itself
// clips. False, with *box left empty, when the draw can write nothing. Used to lock no more
// and no less than the draw needs.
bool RotatedWriteBox(int32_t sourceWidth, int32_t sourceHeight, int32_t x, int32_t y, float angle,
                     float scale, int32_t turn, const platform::RECT& clip, platform::RECT* box);

}  // namespace zq::soft
