// The Direct3D layer: the Direct3D object obtained from the DirectDraw object, the one device
// slot, start-up with its enumerations, release and re-creation of the device after the display
// was rebuilt, and the work texture.
//
// Life:
//   RunScreenModeChange   ReleaseDirect3DObject, (new mode), StartDirect3DLayer on a hardware
//                         screen: enumerates, fills the texture-format table, makes the device
//   display rebuild       ReleaseDirect3DObject ... GetDirect3DObject: the object and the device
//                         again without enumerating; every 3D piece gets a store again (filled
//                         with 0) and the whole device-state record is applied again
// Between a release and the next acquisition the 3D pieces keep their records with empty stores.
#pragma once

#include <cstdint>

#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"

namespace zq::gfx {

// The work texture's width and height.
inline constexpr int kD3DWorkTextureSide = 256;

struct Direct3DState {
  platform::Direct3D* Object;                // null while Direct3D is absent
  platform::Direct3DDevice* Device;          // the device slot
  platform::DirectDrawSurface* WorkTexture;  // draw-valid; made at start-up on devices with
                                             // fewer than 4 blend stages, else on first use
  int32_t Enumerated;  // 1 after a successful start: the table, Z format and description hold
};

extern Direct3DState g_D3D;

// Start-up on the current screen mode. 0, or -1 after a log line with nothing left obtained.
int StartDirect3DLayer();
// Deletes the device, then releases the object. 0.
int ReleaseDirect3DObject();
// The object again and the device re-created (RecreateD3DDevice). 0, or -1 after a log line.
int GetDirect3DObject();
// The device with the kept description on the current target surface, every 3D piece's store,
// the work texture and the device-state record again. 0, or -1 after a log line.
int RecreateD3DDevice();
// Unbinds the textures and the render target, releases every 3D piece's store and the work
// texture and empties the device slot. 0.
int DeleteD3DDevice();
// Non-zero while the device slot holds a device.
int GetCurrentDeviceSlotWord();
platform::Direct3DDevice* GetCurrentD3DDevice();
platform::DirectDrawSurface* GetD3DWorkTexture();
// The work texture, made now when start-up did not make it; null when it cannot be made.
platform::DirectDrawSurface* TakeD3DWorkTexture();

}  // namespace zq::gfx
