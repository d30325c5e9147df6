// The Direct3D side while no Direct3D exists: every call answers as it does without a device,
// so the DirectDraw paths may call these unguarded. The simulated Direct3D device replaces
// this file.
#pragma once

#include <cstdint>

#include "platform/gdi/bitmap.h"
#include "platform/types.h"

namespace zq::gfx {

struct GraphRecord;
struct GraphImage;
struct ColorData;
struct Matrix4x4;
struct MovieRecord;

// Pending vertices and open scenes need a device: -1 without one.
int FlushCurrentVertexBatch();
int EndCurrentScene();
// Non-zero when the current device slot holds a device.
int GetCurrentDeviceSlotWord();
// Obtains the Direct3D object from the DirectDraw object: there is none, so -1 after the log.
int GetDirect3DObject();
// Releases the devices and the object; logs that it is already released.
int ReleaseDirect3DObject();
// The texture format for the options (a 32-bit request when bits32 is non-zero, else 16-bit).
// Without a device there is no format: an empty descriptor (bit depth 0).
const ColorData* SelectTextureFormat(int alphaChannel, int alphaTest, int bits32, int drawValid);

// The Direct3D twins, each with its result when Direct3D is not started.
int G_D3D_InitGraphics();
int G_D3D_ResetViewport(int maskTarget);
int G_D3D_CreateGraph(GraphRecord* graph);
int G_D3D_DeleteGraph(GraphRecord* graph);
int G_D3D_DeriveGraph(GraphRecord* graph, int x, int y, int width, int height, GraphRecord* parent);
int G_D3D_SetGraphImage(const ColorData* bitmapFormat, platform::HBITMAP bitmap,
                        platform::HBITMAP alphaBitmap, int srcX, int srcY, GraphRecord* graph,
                        int sourceForm, const GraphImage* image, const GraphImage* alpha);
int G_D3D_SetGraphImageDIB(const ColorData* bitmapFormat, platform::HBITMAP bitmap,
                           platform::HBITMAP alphaBitmap, const platform::RECT* srcRect, int dstX,
                           int dstY, GraphRecord* graph, int sourceForm, const GraphImage* image,
                           const GraphImage* alpha);
int G_D3D_FillGraph(GraphRecord* graph, int red, int green, int blue, int alpha);
int G_D3D_RestoreGraph(GraphRecord* graph);
int G_D3D_SetDrawTarget(int32_t drawScreen);
int G_D3D_SetDrawArea(const platform::RECT* area);
int G_D3D_ApplyDrawMode(int samplingMode);
int G_D3D_ApplyBlendMode(int mode, int param);
int G_D3D_ApplyBright();
int G_D3D_ClearDrawTarget();
int G_D3D_SetBlendGraph(const GraphRecord* graph, int borderParam, int borderRange);
int G_D3D_SetWorldTransform(const Matrix4x4* matrix);
int G_D3D_SetViewTransform(const Matrix4x4* matrix);
int G_D3D_SetProjectionTransform(const Matrix4x4* matrix);

// The drawing twins of the front-end. No Direct3D graph exists without a device: -1.
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
