// Platform-internal access to the private parts of DirectDraw surfaces, for the DirectDraw
// object's own code and for the Direct3D device, which reads textures and writes render targets
// here rather than through Lock, so that the lock rules stay the ones a caller sees.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ddraw/ddraw.h"

namespace zq::platform {

struct SurfaceAccess {
  // The pixels and what describes them, valid until the surface is flipped or released.
  struct View {
    uint8_t* pixels;
    int32_t pitch;
    int32_t width;
    int32_t height;
    PixelFormat format;
    uint32_t caps;
    bool hasKey;
    ColorKey key;
  };
  static View Pixels(const DirectDrawSurface* s) {
    return View{s->pixels_, s->pitch_,     s->width_,  s->height_,
                s->format_, s->caps_.caps, s->hasKey_, s->key_};
  }
  static DirectDraw* Owner(const DirectDrawSurface* s) { return s->owner_; }
  static bool Lost(DirectDrawSurface* s) { return s->CheckLost(); }
  // Locked by the caller or holding a DC.
  static bool HeldByCaller(const DirectDrawSurface* s) { return s->locked_ || s->dc_; }
  // A Direct3D scene opens or closes on the surface (it then counts as busy).
  static void OpenScene(DirectDrawSurface* s) {
    s->BeforeChange();
    ++s->sceneRefs_;
  }
  // The device is about to write the pixels (a draw or a clear).
  static void BeforeWrite(DirectDrawSurface* s) { s->BeforeChange(); }
  static void CloseScene(DirectDrawSurface* s) { --s->sceneRefs_; }

  static void MarkLost(DirectDrawSurface* s) { s->lost_ = true; }
  static const std::vector<DirectDrawSurface*>& Surfaces(const DirectDraw* dd) {
    return dd->surfaces_;
  }
};

// Holds next in slot instead of what it held: the new object gains a reference, the old one
// loses its.
template <class T>
void ReplaceHeld(T*& slot, T* next) {
  if (next) next->AddRef();
  if (slot) slot->Release();
  slot = next;
}

}  // namespace zq::platform
