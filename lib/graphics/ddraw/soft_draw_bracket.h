// The software-draw bracket: presents a rectangle of the draw-target surface (and a piece's
// pixels) as work images in system memory for the software rasterizers, and writes the work
// back afterwards. Does nothing on the software screen, where the rasterizers draw straight
// into the screen's images.
#pragma once

#include <cstdint>

#include "graphics/ddraw/surface2d.h"
#include "platform/types.h"

namespace zq::gfx {

// Prepares g_DD.SoftWorkTargetImage (the draw target, or the mask surface while mask active,
// addressed in screen coordinates) and g_DD.SoftWorkSourceImage (the piece in piece
// coordinates, or null without a piece). destRect is clipped to the draw area: only that
// rectangle of the target is locked, and an empty one fails with nothing locked. srcRect is
// the part of the piece the draw reads (null: the whole piece).
//
// colorConversion with color: *color (a screen pixel value) is rewritten into the work
// image's format when the draw goes through a converted copy. With colorConversion set, an
// opaque draw onto a screen format that needs conversion locks the target directly.
// fastBlit is accepted for the unscaled blit, which may use the surfaces' own copy; this
// bracket never chooses that copy and answers as for a software draw.
//
// 0 on success (then exactly one EndSoftDrawOnSurface must follow), -1 on failure, with every
// lock already taken released.
int BeginSoftDrawOnSurface(const Surface2DRecord* piece, int fastBlit,
                           const platform::RECT* srcRect, const platform::RECT* destRect,
                           int colorConversion, uint32_t* color);

// Converts a work copy back into the target surface, releases the locks and forgets them.
// Always 0.
int EndSoftDrawOnSurface();

}  // namespace zq::gfx
