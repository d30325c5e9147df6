// The Direct3D path's drawing twins: graphs as textured quads (one per piece, each at its part
// of the graph), boxes as untextured quads, clearing, the blend graph and copying the draw screen
// into a graph. Draws go through the vertex batch (d3d_batch.h) with the device-state record's
// blend factors, filter, render target and viewport (d3d_state.h).
//
// Placement (x + origin is added to every vertex, origin = the draw origin's left and top):
//   DrawImage      the quad (x - 0.5, y - 0.5) .. (x + w - 0.5, y + h - 0.5): at 1:1 every texel
//                  lands on its pixel, with point and with linear sampling
//   DrawImageStretched  the graph onto (x1, y1) .. (x2, y2) with the same half-pixel offset,
//                  mirrored when a second corner is the smaller
//   both clip every quad to the float draw area moved by -0.5, cutting the texture coordinates
//   in proportion (a narrowed draw area leaves the viewport as it is)
//   DrawImageRotated  the corners (-W/2, -H/2) .. (W/2, H/2) scaled, turned, moved to (x, y) - 0.5
//   DrawImageQuad  the corners as given, without the half-pixel offset
// Colour: texture x vertex colour (the bright, with the vertex alpha of the blend state); alpha:
// texture alpha x vertex alpha for graphs with an alpha channel, and for transparent draws of
// alpha-test graphs (which also test alpha > 0), else the vertex alpha alone; transparent draws
// key out the texture's colour key. A blend graph multiplies the alpha by its blend amounts.
#pragma once

#include <cstdint>

#include "platform/d3d/d3d.h"
#include "platform/types.h"

namespace zq::gfx {

struct GraphRecord;

// 0 when drawn, clipped away or in a blend mode outside 0..5 (nothing drawn); -1 without a
// device, without a render target, for a piece that does not resolve or reads the render target,
// or when the device refuses a call. x, y of DrawImage and the corners of DrawImageStretched are
// the bits of 32-bit floats when intCoordinates is 0.
int G_D3D_DrawImage(int32_t x, int32_t y, const GraphRecord* graph, int32_t trans,
                    int32_t intCoordinates);
int G_D3D_DrawImageStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                             const GraphRecord* graph, int32_t trans, int32_t intCoordinates);
int G_D3D_DrawImageRotated(float x, float y, double scale, double angle, const GraphRecord* graph,
                           int32_t trans, int32_t turn);
// Corners top-left, top-right, bottom-left, bottom-right.
int G_D3D_DrawImageQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                        float y4, const GraphRecord* graph, int32_t trans);

// The ordered box (filled), or the pixels of the software outline each once (columns x1 .. x2 - 1
// of rows y1 and y2 - 1, and columns x1 and x2 - 1 of the rows between), in the screen colour
// times the bright with the blend state's alpha. Without a render target for the draw screen
// the box goes to the DirectDraw twin unchanged. 0, or -1 as above.
int G_D3D_DrawRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);
int G_D3D_DrawFrameBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);

// The viewport of the render target cleared to 0. 0 (also without a render target), or -1
// without a device or when the device refuses.
int G_D3D_ClearDrawTarget();

// The blend graph for later draws, or none. It must be a Direct3D graph of one texture (else -1
// and draws go without); its blend amounts (soft::BuildBlendGraphTable of the two parameters,
// indexed by its texels' red widened to 8 bits) become the alpha of a texture of its size that
// stage 1 multiplies into every graph draw at the graph's own pixel positions.
int G_D3D_SetBlendGraph(const GraphRecord* graph, int borderParam, int borderRange);
// The blend texture of the selected blend graph (made again after the device was), with its
// width and height; null without one.
platform::DirectDrawSurface* GetD3DBlendTexture(int* width, int* height);
// Released with the device, and when the graph it was made from goes.
void ReleaseD3DBlendTexture();
void ForgetD3DBlendGraph(int32_t graphHandle);

// The rectangle (x1, y1) .. (x2, y2) of the draw screen, ordered and cut to it, into every piece
// of the graph it overlaps, from the graph's corner, as much as fits; converted into the pieces'
// texture formats with the creation dither mode. -1 without Direct3D, for a missing piece, when
// the graph is the draw screen or when the draw screen cannot be read; else 0. flag is not read.
int G_D3D_GetDrawScreenGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                             int32_t flag);
// The draw screen's surface locked read-only and the rectangle (draw-screen pixels) converted
// into the graph at (0, 0). 0, 1 when the surface refuses the lock, -1 on failure.
int G_D3D_GetDrawScreenGraphFunction3(platform::DirectDrawSurface* surface,
                                      const platform::RECT* rect, GraphRecord* graph);
// For a texture that refuses the lock: the device draws the rectangle of it into the work
// texture, 256 x 256 at a time (point sampling, no blending), each part taken into the graph by
// Function5. 0 or -1.
int G_D3D_GetDrawScreenGraphFunction4(platform::DirectDrawSurface* texture,
                                      const platform::RECT* rect, GraphRecord* graph);
// The work texture's (0, 0) .. (w, h) locked and converted into the graph at (graphX, graphY).
int G_D3D_GetDrawScreenGraphFunction5(int32_t w, int32_t h, int32_t graphX, int32_t graphY,
                                      GraphRecord* graph);

}  // namespace zq::gfx
