// The drawing front-end: every request to draw a graph or a box, clear the draw screen or copy it
// into a graph passes here. Each graph and box draw
//   - returns 0 at once while the draw area is empty,
//   - refuses an invalid graph handle (-1) and a selected blend graph that is invalid or smaller
//     than the drawn graph (-1),
//   - brings a movie-fed graph to its current frame,
//   - brackets the draw for the mask layer (while mask active) and for the front buffer of the
//     software screen (copy-in when the screen was presented since, copy-out afterwards), over
//     the rectangle the draw can touch, ordered and clipped to the draw screen,
//   - and hands it to the twin of the graph's path (Direct3D or DirectDraw).
// Results: the twin's (0 or -1), 0 when the draw state let nothing be drawn, -1 for a refusal.
// Colours are pixel values of the screen's format (GetScreenColorValue).
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"
#include "platform/types.h"

namespace zq::gfx {

// The graph's top-left corner at (x, y).
int DrawGraphAt(int32_t x, int32_t y, HandleValue graph, int32_t trans);
// The whole graph stretched onto (x1, y1)-(x2, y2); mirrored left to right when x2 < x1 and top
// to bottom when y2 < y1.
int DrawGraphRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, HandleValue graph, int32_t trans);
// The graph mirrored left to right with its box at (x, y).
int DrawGraphMirrored(int32_t x, int32_t y, HandleValue graph, int32_t trans);
// The part of the graph at (srcX, srcY) of width x height drawn at (x, y), mirrored in place when
// mirror is set. The draw area is narrowed for the call and always put back.
int DrawGraphInRect(int32_t x, int32_t y, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                    HandleValue graph, int32_t trans, int32_t mirror);
// The source part stretched onto (x1, y1)-(x2, y2) (mirrored on an axis given in reverse). -1
// also for a source width or height below 1.
int DrawGraphRectScaled(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t srcX, int32_t srcY,
                        int32_t srcWidth, int32_t srcHeight, HandleValue graph, int32_t trans);
// The graph centred at (x, y), scaled and turned by angle (radians); turn mirrors it.
int DrawGraphRotScaledF(float x, float y, double scale, double angle, HandleValue graph,
                        int32_t trans, int32_t turn);
int DrawGraphRotScaledAt(int32_t x, int32_t y, double scale, double angle, HandleValue graph,
                         int32_t trans, int32_t turn);
// The graph's top-left, top-right, bottom-right and bottom-left corners land on the four points.
int DrawGraphFourCorners(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                         float y4, HandleValue graph, int32_t trans);
// Every piece of the graph filled; no bracketing. 0, or -1 (invalid handle or the twin's).
int FillGraphColor(HandleValue graph, int32_t red, int32_t green, int32_t blue, int32_t alpha);

// Boxes with corners as passed (x2 and y2 exclusive); no handle or blend-graph check.
int DrawBoxDispatch(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t fill);
int DrawFilledBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);
int DrawFrameBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);
// One line from (x1, y1), drawn, towards (x2, y2), not drawn, under the blend mode and bright,
// made in software on either path (one segment of the DirectDraw twin's list).
int DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);

// Clears the draw screen on both paths. 0.
int ClearTargetScreen();
// The rectangle of the draw screen copied into the graph; flag goes to the twin unchanged.
int CopyDrawScreenToGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, HandleValue graph,
                          int32_t flag);

// The string (Shift-JIS) with its line's top left at (x, y) (vertical: downwards, each glyph a
// quarter turn clockwise) in the colour, outlined in the edge colour (both screen pixel values),
// bracketed as the graph draws are over the text's box. A texture-cache font goes to the
// Direct3D twin while new graphs would take that path, every other font to the DirectDraw twin.
// 0 for a null or empty string or an empty draw area (the font is not checked), and, while the
// draw is bracketed, for an x at or beyond the draw area's right edge; -1 with a log line for an
// invalid font; else the twin's result.
int DrawStringWithFont(int32_t x, int32_t y, const char* string, uint32_t color, HandleValue font,
                       uint32_t edgeColor, int32_t vertical);
// The font's character height as it was made, or -1.
int GetFontSize(HandleValue font);

// Subtractive blending on the Direct3D path, in three steps around the draw: the target is
// inverted over the rectangle, the image added, and the target inverted back. Both leave the
// draw state as it was before the first. 0.
int BeginSubtractBlendDraw(const platform::RECT* rect);
int EndSubtractBlendDraw(const platform::RECT* rect);

}  // namespace zq::gfx
