// The software-draw bracket: presents a rectangle of a DirectDraw surface target (and a piece to
// draw from) as MEMIMGs, so that the software renderers can draw on a hardware screen.
//
//   if (BeginSoftDrawOnSurface(piece, 0, &src, &dest, 0, nullptr) < 0) return -1;
//   DrawSomething(g_DD.SoftWorkTargetImage, g_DD.SoftWorkSourceImage, ...);
//   EndSoftDrawOnSurface();
//
// Between the two calls the draw area of the draw state is narrowed to the clipped destination
// rectangle, so no renderer can reach a pixel outside what was locked or copied.
#pragma once

#include <cstdint>

#include "graphics/ddraw/surface2d.h"
#include "platform/types.h"

namespace zq::gfx {

// Prepares a software draw onto the draw target (the mask surface while the mask is active).
// Does nothing and returns 0 while the software screen is in use. Otherwise:
//  - destRect (draw-screen pixels, right and bottom exclusive) is clipped to the draw area and
//    to the target; an empty result gives -1 with nothing locked;
//  - g_DD.SoftWorkTargetImage addresses the target in draw-screen coordinates: the draw-target
//    image itself (or a view at the draw origin) when the target is a MEMIMG; else the locked
//    rectangle of the target surface, directly when its format is a MEMIMG format, through a
//    converted work copy when it is not, and through the system-memory work surface when a
//    blend reads the destination of a video-memory surface. Colour type 0 for 16-bit targets,
//    1 otherwise;
//  - with convertColor set and color given, *color is converted from the target's format into
//    the work image's when a converted copy is used; with convertColor set, an opaque fill
//    (no piece; blend mode 0, or 1 with parameter 255; no blend graph; bright off) on a target
//    whose format needs conversion but has the work format's pixel size locks it directly;
//  - with a piece, g_DD.SoftWorkSourceImage presents it in piece coordinates (the store's image,
//    a view of the piece, or the locked srcRect of the store's surface, converted when its
//    format is not a MEMIMG format); srcRect null = the whole piece, an empty one gives -1;
//    without a piece it is null;
//  - a failed lock releases every lock already taken and gives -1.
// With fastBlit 1 it returns 1 instead, locking nothing, when the piece can be copied by the
// surface's own fast blit: source and target are surfaces of one format, the mask is inactive,
// and no blend mode, bright colour, blend graph or alpha channel is in effect. The copy is then
// made by SoftDrawHardwareBlit. Every result of 0 or more is paired with EndSoftDrawOnSurface.
int BeginSoftDrawOnSurface(const Surface2DRecord* piece, int fastBlit,
                           const platform::RECT* srcRect, const platform::RECT* destRect,
                           int convertColor, uint32_t* color);

// Finishes the draw: converts a work copy back, unlocks, copies the work surface's rectangle
// back, restores the draw area and forgets every record. Always 0; nothing on a software screen
// or without a begin.
int EndSoftDrawOnSurface();

// A colour in the target's pixel format as the work image holds it: converted while the draw
// goes through a converted work copy, else unchanged.
uint32_t SoftDrawWorkColor(uint32_t targetColor);
// A screen pixel value in the MEMIMG format of the screen's colour type (the format of work
// images and of software stores): converted when the display's format is another one.
uint32_t ScreenColorToWorkColor(uint32_t screenColor);
// 1 while the draw goes through a converted work copy, else 0.
int IsSoftDrawConverting();

// After a begin that returned 1: the fast blit of the recorded source rectangle onto the
// recorded destination, with the source's colour key when transparent is non-zero. 0 or -1.
int SoftDrawHardwareBlit(int transparent);

}  // namespace zq::gfx
