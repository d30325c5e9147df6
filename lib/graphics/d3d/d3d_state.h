// The Direct3D twins of the draw-state setters, behind one device-state record: each twin
// stores its value in the record and changes the device only when the value differs from what
// the device holds; re-creating the device applies the whole record again.
#pragma once

#include <cstdint>

#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/types.h"

namespace zq::gfx {

struct Matrix4x4;

// The state a draw sets for itself: the textures of stages 0 and 1 (a blend texture on stage 1
// multiplies the alpha by its own), the colour key, the alpha test and whether the fragment's
// alpha takes the texture's.
struct D3DDrawSetup {
  platform::DirectDrawSurface* Texture[2];
  uint32_t ColorKey;      // D3DRENDERSTATE_COLORKEYENABLE
  uint32_t AlphaFunc;     // D3DCMP_ALWAYS, or D3DCMP_GREATER (than 0) for the alpha test
  uint32_t TextureAlpha;  // stage 0's alpha operation: D3DTOP_MODULATE or D3DTOP_SELECTARG2
  bool operator==(const D3DDrawSetup&) const = default;
};

struct D3DDeviceStateRecord {
  int32_t DrawScreen;  // -2, -4 or a graph handle: where the render target comes from
  int32_t MaskTarget;  // non-zero: the mask scratch is the render target while it exists
  // The device's render target; null when the device cannot draw into the current draw target
  // (a software store, a graph of several textures, a surface without DDSCAPS_3DDEVICE).
  platform::DirectDrawSurface* RenderTarget;
  platform::RECT DrawArea;  // the last draw area asked for, in draw-screen pixels
  platform::D3DVIEWPORT7 Viewport;
  platform::D3DMATRIX Transforms[3];  // world, view, projection
  uint32_t Filter;                    // D3DTFILTER_* of every stage
  int32_t BlendMode;                  // as passed; modes outside 0..5 have no factors
  uint32_t AlphaBlend;                // D3DRENDERSTATE_ALPHABLENDENABLE
  uint32_t SrcBlend;                  // D3DBLEND_*
  uint32_t DestBlend;
  uint32_t VertexAlpha;  // the blend parameter, 255 in mode 0
  uint32_t VertexColor;  // 0xAARRGGBB of drawn vertices: the bright with the vertex alpha
  D3DDrawSetup Setup;    // as the device holds it
};

extern D3DDeviceStateRecord g_D3DState;

// The record as a new device holds it (back surface as render target, whole-target viewport,
// identity transforms, point sampling, no blending).
void ResetDeviceStateRecord();
// Every value of the record set on the device again (after the device was re-created, or after
// a draw that went around the record).
void ApplyDeviceStateRecord();
// The record holds no render target and no texture (the device is going away).
void ForgetDeviceSurfaces();
// The draw's own state on the device, the pending batch drawn first when it differs. 0, or -1
// when the device refuses a texture.
int ApplyDrawSetup(const D3DDrawSetup& setup);
// A surface about to be released is no longer bound to a stage (the batch drawn first).
void UnbindD3DSurface(const platform::DirectDrawSurface* surface);

// -4 primary surface, -2 back surface, a graph: see d3d_state.cpp. -1 without Direct3D or for a
// handle that does not resolve, else 0.
int G_D3D_SetDrawTarget(int32_t drawScreen);
// The viewport: the area moved by the draw origin, cut to the render target. -1 without Direct3D
// or for an area that is empty after the cut, else the device's result (0 when there is no
// render target).
int G_D3D_SetDrawArea(const platform::RECT* area);
// The render target again (the mask scratch when flag is non-zero and a scratch exists) and the
// viewport for the draw area. 0, or -1 without Direct3D.
int G_D3D_ResetViewport(int flag);
int G_D3D_SetWorldTransform(const Matrix4x4* matrix);
int G_D3D_SetViewTransform(const Matrix4x4* matrix);
int G_D3D_SetProjectionTransform(const Matrix4x4* matrix);
// Point sampling for 0, linear for 1, point for anything else. -1 without Direct3D.
int G_D3D_ApplyDrawMode(int samplingMode);
// The blend factors of the mode and the vertex alpha. -1 without Direct3D.
int G_D3D_ApplyBlendMode(int mode, int param);
// The vertex colour from the bright and the vertex alpha. -1 without Direct3D.
int G_D3D_ApplyBright();
// The vertex colour drawn vertices take.
uint32_t GetD3DVertexColor();

}  // namespace zq::gfx
