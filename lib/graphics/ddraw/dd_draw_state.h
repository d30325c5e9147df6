// The DirectDraw path's side of the draw-state setters. The software renderers read the draw
// area from the draw state at each call and draw with pre-transformed coordinates, so these
// twins have nothing to do; they exist so that every setter forwards to both paths alike.
#pragma once

#include "platform/types.h"

namespace zq::gfx {

struct Matrix4x4;

// 0.
int G_DD_SetDrawArea(const platform::RECT* area);
int G_DD_SetWorldTransform(const Matrix4x4* matrix);
int G_DD_SetViewTransform(const Matrix4x4* matrix);
int G_DD_SetProjectionTransform(const Matrix4x4* matrix);

}  // namespace zq::gfx
