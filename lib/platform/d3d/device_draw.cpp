// Drawing behind DrawPrimitive and Clear: the checks that need the surfaces, then the rasteriser.
#include <algorithm>
#include <optional>

#include "platform/d3d/device_state.h"
#include "platform/d3d/pixel_pipeline.h"
#include "platform/d3d/raster.h"
#include "platform/ddraw/surface_access.h"
#include "platform/pixel_bytes.h"
#include "platform/pixel_channels.h"

namespace zq::platform {

namespace {

RECT ViewportRect(const D3DVIEWPORT7& v) {
  return RECT{int32_t(v.dwX), int32_t(v.dwY), int32_t(v.dwX + v.dwWidth),
              int32_t(v.dwY + v.dwHeight)};
}

}  // namespace

HRESULT DeviceState::Draw(D3DPRIMITIVETYPE type, int pairs, const void* vertices, uint32_t count) {
  if (SurfaceAccess::Lost(target)) return DDERR_SURFACELOST;
  SurfaceAccess::BeforeWrite(target);
  const SurfaceAccess::View view = SurfaceAccess::Pixels(target);
  const PixelLayout targetLayout(view.format);
  SurfaceAccess::View textures[2] = {};
  std::optional<PixelLayout> layouts[2];
  const PixelLayout* layoutOf[2] = {};
  for (int s = 0; s < 2; ++s) {
    if (!stages[s].texture) continue;
    textures[s] = SurfaceAccess::Pixels(stages[s].texture);
    layoutOf[s] = &layouts[s].emplace(textures[s].format);
  }
  const PixelPipeline pipeline(*this, view, targetLayout, textures, layoutOf);

  RasterJob job;
  job.type = type;
  job.viewport = ViewportRect(viewport);
  for (int s = 0; s < 2; ++s) {
    if (!pipeline.Samples(s)) continue;
    if (stages[s].texture == target) return DDERR_INVALIDPARAMS;  // read while written
    if (SurfaceAccess::Lost(stages[s].texture)) return DDERR_SURFACELOST;
    job.pair[s] = int(stages[s].value[D3DTSS_TEXCOORDINDEX]);
    if (job.pair[s] >= pairs) return D3DERR_INVALIDVERTEXFORMAT;
    job.textureWidth[s] = textures[s].width;
    job.textureHeight[s] = textures[s].height;
  }
  job.vertices = static_cast<const uint8_t*>(vertices);
  job.pairs = pairs;
  job.count = count;
  const HRESULT hr = CheckVertices(job);
  if (hr == DD_OK) Rasterize(job, pipeline);
  return hr;
}

HRESULT DeviceState::Clear(uint32_t count, const RECT* rects, uint32_t color) {
  if (SurfaceAccess::Lost(target)) return DDERR_SURFACELOST;
  if (SurfaceAccess::HeldByCaller(target)) return DDERR_SURFACEBUSY;
  SurfaceAccess::BeforeWrite(target);
  const SurfaceAccess::View t = SurfaceAccess::Pixels(target);
  const uint32_t value = PixelLayout(t.format).Pack(color);
  const RECT vp = ViewportRect(viewport);
  for (uint32_t i = 0; i < std::max<uint32_t>(count, 1); ++i) {
    const RECT r = count == 0 ? vp : rects[i];
    const RECT cut{std::max(r.left, vp.left), std::max(r.top, vp.top), std::min(r.right, vp.right),
                   std::min(r.bottom, vp.bottom)};
    if (cut.left >= cut.right) continue;
    WithPixelBytes(int(t.format.rgbBitCount / 8), [&](auto b) {
      FillPixelRect<decltype(b)::value>(t.pixels, t.pitch, cut, value);
    });
  }
  return DD_OK;
}

}  // namespace zq::platform
