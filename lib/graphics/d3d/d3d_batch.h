// The Direct3D device's scene and vertex batch. Draws queue pre-transformed triangles that share
// the device's current state; the batch is drawn with one DrawPrimitive when a draw needs another
// state (the state setters flush before they change the device), when it is full, and before
// anything reads, writes or locks what the pending triangles read or draw into.
//
// The scene opens at the first queued draw (BeginScene) and stays open until EndCurrentScene, so
// pending vertices exist only inside an open scene. The device refuses any lock or blit of its
// render target while a scene is open: everything that touches the render target ends the scene
// first.
#pragma once

#include <cstddef>

#include "platform/d3d/d3d.h"

namespace zq::gfx {

// Draws the pending vertices with one DrawPrimitive (a triangle list) and empties the batch.
// 0 (also with nothing pending), or -1 without Direct3D, without a device or when the device
// refuses the draw (the vertices are dropped then).
int FlushCurrentVertexBatch();
// Flushes and ends the open scene; nothing to do without one. 0, or -1 without Direct3D, without
// a device or when the flush failed.
int EndCurrentScene();

// Room for `count` more vertices (whole triangles, at most a batch) drawn with the device's
// current state: the batch is drawn first when they do not fit, and the scene opened when none
// is open. The caller writes every one of them. Null without a device or when the scene cannot
// begin.
platform::D3DTLVERTEX2* QueueSpace(size_t count);

// Before a surface is written, locked or released: the pending triangles (which may read it) are
// drawn, and the scene is ended when it is the device's render target.
void PrepareSurfaceWrite(const platform::DirectDrawSurface* surface);

// The device is going away: the scene is ended and the batch's memory given back.
void ReleaseVertexBatch();

}  // namespace zq::gfx
