// The Direct3D drawing twins while the device's drawing is not built: the vertex batch and the
// scene, clearing, the blend graph, the image and box draws and the screen capture. Each answers
// as it does when it cannot draw, so callers may call them unguarded.
#pragma once

#include <cstdint>

namespace zq::gfx {

struct GraphRecord;
struct MovieRecord;

// Pending vertices and open scenes: none are kept yet, -1.
int FlushCurrentVertexBatch();
int EndCurrentScene();

int G_D3D_ClearDrawTarget();
int G_D3D_SetBlendGraph(const GraphRecord* graph, int borderParam, int borderRange);

// The drawing twins of the front-end: -1, nothing drawn.
int G_D3D_DrawImage(int32_t x, int32_t y, const GraphRecord* graph, int32_t trans,
                    int32_t intCoordinates);
int G_D3D_DrawImageStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                             const GraphRecord* graph, int32_t trans, int32_t intCoordinates);
int G_D3D_DrawImageRotated(float x, float y, double scale, double angle, const GraphRecord* graph,
                           int32_t trans, int32_t turn);
int G_D3D_DrawImageQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                        float y4, const GraphRecord* graph, int32_t trans);
int G_D3D_DrawRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);
int G_D3D_DrawFrameBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color);
// Takes a movie's frame into the graph's textures; no Direct3D graph exists without a device: -1.
int G_D3D_UpdateMovieTexture(MovieRecord* movie, GraphRecord* graph);
int G_D3D_GetDrawScreenGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                             int32_t flag);

}  // namespace zq::gfx
