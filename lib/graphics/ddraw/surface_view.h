// A DirectDraw surface, locked whole, seen as a MEMIMG view in the screen's format.
#pragma once

#include <cstdint>

#include "graphics/ddraw/color_data.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/memimg.h"
#include "platform/ddraw/ddraw.h"

namespace zq::gfx {

// Locks the surface on construction and unlocks it on destruction. Ok() is false when the
// surface is null or the lock fails; the view is then empty.
class LockedSurfaceView {
 public:
  LockedSurfaceView(platform::DirectDrawSurface* surface, uint32_t lockFlags) {
    platform::SurfaceDesc desc;
    if (surface == nullptr || platform::Failed(surface->Lock(nullptr, &desc, lockFlags))) return;
    surface_ = surface;
    view_.SetupMark = kMemImgSetupMark;
    view_.ViewFlag = 1;
    view_.Width = int32_t(desc.width);
    view_.Height = int32_t(desc.height);
    view_.Pitch = desc.pitch;
    view_.PitchShift = -1;
    view_.Format = GetScreenColorData();
    // Every 16-bit screen format (5:6:5 and 5:5:5 alike) is two bytes a pixel.
    view_.ColorType = view_.Format->PixelByte == 2 ? kMemImgRgb565 : kMemImgXrgb8888;
    view_.Pixels = static_cast<uint8_t*>(desc.surface);
  }
  ~LockedSurfaceView() {
    if (surface_ != nullptr) surface_->Unlock(nullptr);
  }
  LockedSurfaceView(const LockedSurfaceView&) = delete;
  LockedSurfaceView& operator=(const LockedSurfaceView&) = delete;

  bool Ok() const { return surface_ != nullptr; }
  MEMIMG* View() { return &view_; }

 private:
  platform::DirectDrawSurface* surface_ = nullptr;
  MEMIMG view_{};
};

}  // namespace zq::gfx
