// The state a Direct3D device holds (description, render target, viewport, transforms, render and
// texture-stage states, bound textures, the open scene) and the checks on each change.
#pragma once

#include <cstdint>

#include "platform/d3d/d3d.h"
#include "platform/d3d/raster.h"

namespace zq::platform {

// 16 or 32-bit RGB (not palettised, not FourCC) whose channel masks are runs of at most 8 bits:
// what the device can write as a render target and read as a texture.
bool DrawablePixelFormat(const PixelFormat& f);

// A render target for a device of that description: made with DDSCAPS_3DDEVICE (not a Z buffer),
// by the same DirectDraw object (`owner`), in a drawable format whose depth is one of the
// description's render depths (DDBD_16, DDBD_32). DD_OK, DDERR_INVALIDPARAMS (none, or another
// object's), DDERR_INVALIDCAPS or DDERR_INVALIDPIXELFORMAT.
HRESULT CheckRenderTarget(const D3DDEVICEDESC7& desc, const DirectDraw* owner,
                          DirectDrawSurface* target);

struct StageState {
  uint32_t value[D3DTSS_FILTER + 1] = {};  // indexed by D3DTEXTURESTAGESTATETYPE
  DirectDrawSurface* texture = nullptr;    // holds a reference
};

struct DeviceState {
  DeviceState(const D3DDEVICEDESC7& d, DirectDrawSurface* target);
  ~DeviceState();
  DeviceState(const DeviceState&) = delete;
  DeviceState& operator=(const DeviceState&) = delete;

  // Holds the new target (already checked) and resets the viewport to the whole of it.
  void SetTarget(DirectDrawSurface* t);
  // Only the values listed beside each state in d3d.h are accepted; anything else, or a state
  // that does not exist, is D3DERR_UNSUPPORTEDSTATE with nothing changed.
  HRESULT SetRender(D3DRENDERSTATETYPE s, uint32_t value);
  // Stages below StageCount(); the values listed in d3d.h, else D3DERR_UNSUPPORTEDSTATE.
  HRESULT SetStage(uint32_t stage, D3DTEXTURESTAGESTATETYPE s, uint32_t value);
  uint32_t StageCount() const;
  // Holds the texture (already checked) on the stage, or none.
  void Bind(uint32_t stage, DirectDrawSurface* texture);

  // The drawing behind DrawPrimitive and Clear, after their argument checks (device_draw.cpp).
  HRESULT Draw(D3DPRIMITIVETYPE type, int coordinatePairs, const void* vertices, uint32_t count);
  HRESULT Clear(uint32_t count, const RECT* rects, uint32_t color);

  D3DDEVICEDESC7 desc;
  DirectDrawSurface* target;  // holds a reference
  D3DVIEWPORT7 viewport;
  D3DMATRIX transforms[3];
  uint32_t render[D3DRENDERSTATE_COLORKEYENABLE + 1] = {};  // indexed by D3DRENDERSTATETYPE
  StageState stages[2];
  bool inScene = false;
};

}  // namespace zq::platform
