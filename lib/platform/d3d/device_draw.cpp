// Drawing behind DrawPrimitive and Clear.
#include <algorithm>
#include <bit>

#include "platform/d3d/device_state.h"
#include "platform/ddraw/surface_access.h"
#include "platform/pixel_bytes.h"
#include "platform/pixel_channels.h"

namespace zq::platform {

HRESULT DeviceState::Draw(D3DPRIMITIVETYPE, int, const void*, uint32_t) {
  if (SurfaceAccess::Lost(target)) return DDERR_SURFACELOST;
  return DDERR_GENERIC;  // the rasteriser is not built yet
}

HRESULT DeviceState::Clear(uint32_t count, const RECT* rects, uint32_t color) {
  if (SurfaceAccess::Lost(target)) return DDERR_SURFACELOST;
  if (SurfaceAccess::HeldByCaller(target)) return DDERR_SURFACEBUSY;
  const SurfaceAccess::View t = SurfaceAccess::Pixels(target);
  const PixelFormat& f = t.format;
  const uint32_t alpha = (f.flags & PF_ALPHAPIXELS) ? f.alphaMask : 0;
  const uint32_t value = ChannelFrom8((color >> 16) & 0xFF, ChannelFromMask(f.redMask)) |
                         ChannelFrom8((color >> 8) & 0xFF, ChannelFromMask(f.greenMask)) |
                         ChannelFrom8(color & 0xFF, ChannelFromMask(f.blueMask)) |
                         ChannelFrom8(color >> 24, ChannelFromMask(alpha));
  const RECT vp{int32_t(viewport.dwX), int32_t(viewport.dwY),
                int32_t(viewport.dwX + viewport.dwWidth),
                int32_t(viewport.dwY + viewport.dwHeight)};
  const uint32_t n = count == 0 ? 1 : count;
  for (uint32_t i = 0; i < n; ++i) {
    RECT r = count == 0 ? vp : rects[i];
    r = RECT{std::max(r.left, vp.left), std::max(r.top, vp.top), std::min(r.right, vp.right),
             std::min(r.bottom, vp.bottom)};
    const int bytes = int(f.rgbBitCount / 8);
    for (int32_t y = r.top; y < r.bottom; ++y) {
      uint8_t* p = t.pixels + int64_t(y) * t.pitch + int64_t(r.left) * bytes;
      for (int32_t x = r.left; x < r.right; ++x, p += bytes) StorePixel(p, uint32_t(bytes), value);
    }
  }
  return DD_OK;
}

}  // namespace zq::platform
