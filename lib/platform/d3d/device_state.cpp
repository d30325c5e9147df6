// Device state and its checks (see device_state.h).
#include "platform/d3d/device_state.h"

#include <algorithm>

#include "platform/ddraw/surface_access.h"

namespace zq::platform {

namespace {

bool Flag(uint32_t v) {
  return v <= 1;
}

bool Blend(uint32_t v) {
  return v >= D3DBLEND_ZERO && v <= D3DBLEND_INVDESTCOLOR;
}

bool Op(uint32_t v) {
  return v >= D3DTOP_DISABLE && v <= D3DTOP_MODULATE;
}

bool Arg(uint32_t v) {
  return v == D3DTA_DIFFUSE || v == D3DTA_CURRENT || v == D3DTA_TEXTURE;
}

D3DVIEWPORT7 WholeViewport(DirectDrawSurface* t) {
  const SurfaceAccess::View v = SurfaceAccess::Pixels(t);
  D3DVIEWPORT7 vp;
  vp.dwWidth = uint32_t(v.width);
  vp.dwHeight = uint32_t(v.height);
  return vp;
}

}  // namespace

HRESULT CheckRenderTarget(const D3DDEVICEDESC7& desc, const DirectDraw* owner,
                          DirectDrawSurface* target) {
  if (!target || SurfaceAccess::Owner(target) != owner) return DDERR_INVALIDPARAMS;
  const SurfaceAccess::View v = SurfaceAccess::Pixels(target);
  if (!(v.caps & DDSCAPS_3DDEVICE) || (v.caps & DDSCAPS_ZBUFFER)) return DDERR_INVALIDCAPS;
  if (!DrawablePixelFormat(v.format)) return DDERR_INVALIDPIXELFORMAT;
  const uint32_t depth = v.format.rgbBitCount == 16 ? DDBD_16 : DDBD_32;
  if (!(desc.dwDeviceRenderBitDepth & depth)) return DDERR_INVALIDPIXELFORMAT;
  return DD_OK;
}

DeviceState::DeviceState(const D3DDEVICEDESC7& d, DirectDrawSurface* t) : desc(d), target(t) {
  target->AddRef();
  viewport = WholeViewport(target);
  for (D3DMATRIX& m : transforms)
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) m.m[i][j] = i == j ? 1.0f : 0.0f;
  render[D3DRENDERSTATE_ZENABLE] = 0;
  render[D3DRENDERSTATE_ZWRITEENABLE] = 0;
  render[D3DRENDERSTATE_CULLMODE] = D3DCULL_NONE;
  render[D3DRENDERSTATE_ALPHABLENDENABLE] = 0;
  render[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_ONE;
  render[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_ZERO;
  render[D3DRENDERSTATE_ALPHATESTENABLE] = 0;
  render[D3DRENDERSTATE_ALPHAREF] = 0;
  render[D3DRENDERSTATE_ALPHAFUNC] = D3DCMP_ALWAYS;
  render[D3DRENDERSTATE_COLORKEYENABLE] = 0;
  for (uint32_t i = 0; i < 2; ++i) {
    uint32_t* s = stages[i].value;
    s[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    s[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    s[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    s[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    s[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    s[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    s[D3DTSS_TEXCOORDINDEX] = i;
    s[D3DTSS_ADDRESS] = D3DTADDRESS_CLAMP;
    s[D3DTSS_FILTER] = D3DTFILTER_POINT;
  }
}

DeviceState::~DeviceState() {
  if (inScene) SurfaceAccess::CloseScene(target);
  for (StageState& s : stages) ReplaceHeld<DirectDrawSurface>(s.texture, nullptr);
  target->Release();
}

void DeviceState::SetTarget(DirectDrawSurface* t) {
  ReplaceHeld(target, t);
  viewport = WholeViewport(target);
}

HRESULT DeviceState::SetRender(D3DRENDERSTATETYPE s, uint32_t value) {
  bool ok = false;
  switch (s) {
    case D3DRENDERSTATE_ZENABLE:  // Z buffering is not simulated
      ok = value == 0;
      break;
    case D3DRENDERSTATE_ZWRITEENABLE:
    case D3DRENDERSTATE_ALPHABLENDENABLE:
    case D3DRENDERSTATE_ALPHATESTENABLE:
    case D3DRENDERSTATE_COLORKEYENABLE:
      ok = Flag(value);
      break;
    case D3DRENDERSTATE_CULLMODE:
      ok = value == D3DCULL_NONE;
      break;
    case D3DRENDERSTATE_SRCBLEND:
    case D3DRENDERSTATE_DESTBLEND:
      ok = Blend(value);
      break;
    case D3DRENDERSTATE_ALPHAREF:
      ok = value <= 255;
      break;
    case D3DRENDERSTATE_ALPHAFUNC:
      ok = value >= D3DCMP_GREATER && value <= D3DCMP_ALWAYS;
      break;
  }
  if (!ok) return D3DERR_UNSUPPORTEDSTATE;
  render[s] = value;
  return DD_OK;
}

uint32_t DeviceState::StageCount() const {
  return std::min<uint32_t>(2, desc.wMaxTextureBlendStages);
}

HRESULT DeviceState::SetStage(uint32_t stage, D3DTEXTURESTAGESTATETYPE s, uint32_t value) {
  if (stage >= StageCount()) return DDERR_INVALIDPARAMS;
  bool ok = false;
  switch (s) {
    case D3DTSS_COLOROP:
    case D3DTSS_ALPHAOP:
      ok = Op(value);
      break;
    case D3DTSS_COLORARG1:
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG1:
    case D3DTSS_ALPHAARG2:
      ok = Arg(value);
      break;
    case D3DTSS_TEXCOORDINDEX:
      ok = value <= 1;
      break;
    case D3DTSS_ADDRESS:
      ok = value == D3DTADDRESS_WRAP || value == D3DTADDRESS_CLAMP;
      break;
    case D3DTSS_FILTER:
      ok = value == D3DTFILTER_POINT || value == D3DTFILTER_LINEAR;
      break;
  }
  if (!ok) return D3DERR_UNSUPPORTEDSTATE;
  stages[stage].value[s] = value;
  return DD_OK;
}

void DeviceState::Bind(uint32_t stage, DirectDrawSurface* texture) {
  ReplaceHeld(stages[stage].texture, texture);
}

}  // namespace zq::platform
