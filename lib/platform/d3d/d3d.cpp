// Direct3D stand-in: objects, enumeration, device state and the checks before drawing (see d3d.h).
#include "platform/d3d/d3d.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/d3d/device_state.h"
#include "platform/ddraw/surface_access.h"

namespace zq::platform {

namespace {

constexpr int kCalls = int(d3dtest::Call::DrawPrimitive) + 1;

struct Hooks {
  std::mutex mutex;
  bool present = true;
  std::vector<d3dtest::DeviceEntry> devices = d3dtest::DefaultDevices();
  std::vector<PixelFormat> zFormats = d3dtest::DefaultZBufferFormats();
  std::vector<PixelFormat> textureFormats = d3dtest::DefaultTextureFormats();
  HRESULT fail[kCalls] = {};
  d3dtest::Counters counters;
};
Hooks& G() {
  static Hooks hooks;
  return hooks;
}

HRESULT TakeFailure(d3dtest::Call call) {
  std::lock_guard lock(G().mutex);
  HRESULT& slot = G().fail[int(call)];
  const HRESULT hr = slot;
  slot = DD_OK;
  return hr;
}

template <class F>
void Count(F&& f) {
  std::lock_guard lock(G().mutex);
  f(G().counters);
}

PixelFormat Format(uint32_t flags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a,
                   uint32_t fourCC = 0) {
  return PixelFormat{sizeof(PixelFormat), flags, fourCC, bits, r, g, b, a};
}

bool KnownDevice(DeviceGuid id) {
  return id == IID_IDirect3DRGBDevice || id == IID_IDirect3DHALDevice ||
         id == IID_IDirect3DTnLHalDevice;
}

// Calls back with copies of the formats until the callback says stop.
HRESULT EnumFormats(const std::vector<PixelFormat>& formats, EnumPixelFormatsCallback callback,
                    void* context) {
  for (const PixelFormat& f : formats) {
    PixelFormat copy = f;
    if (callback(&copy, context) == D3DENUMRET_CANCEL) break;
  }
  return DD_OK;
}

bool PowerOfTwo(uint32_t v) {
  return v != 0 && (v & (v - 1)) == 0;
}

}  // namespace

// ---- Formats both the targets and the textures must have ----------------------------------------

bool DrawablePixelFormat(const PixelFormat& f) {
  if (!(f.flags & PF_RGB) || (f.flags & (PF_PALETTEINDEXED8 | PF_FOURCC))) return false;
  if (f.rgbBitCount != 16 && f.rgbBitCount != 32) return false;
  const uint32_t alpha = (f.flags & PF_ALPHAPIXELS) ? f.alphaMask : 0;
  for (uint32_t m : {f.redMask, f.greenMask, f.blueMask, alpha}) {
    if (m == 0) continue;
    const uint32_t run = uint32_t(std::countr_one(m >> std::countr_zero(m)));
    if (run != uint32_t(std::popcount(m)) || run > 8) return false;  // holes or wider than 8
  }
  return true;
}

// ---- Direct3D object -------------------------------------------------------------------------

HRESULT CreateDirect3D(DirectDraw* owner, Direct3D** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (HRESULT hr = TakeFailure(d3dtest::Call::QueryInterface); hr != DD_OK) return hr;
  {
    std::lock_guard lock(G().mutex);
    if (!G().present) return E_NOINTERFACE;
  }
  *out = new (std::nothrow) Direct3D(owner);
  return *out ? DD_OK : DDERR_OUTOFMEMORY;
}

Direct3D::Direct3D(DirectDraw* owner) : owner_(owner) {
  owner_->AddRef();
  Count([](d3dtest::Counters& c) { ++c.liveObjects; });
}

Direct3D::~Direct3D() {
  Count([](d3dtest::Counters& c) { --c.liveObjects; });
  owner_->Release();
}

HRESULT Direct3D::EnumDevices(EnumDevicesCallback callback, void* context) {
  if (HRESULT hr = TakeFailure(d3dtest::Call::EnumDevices); hr != DD_OK) return hr;
  if (!callback) return DDERR_INVALIDPARAMS;
  std::vector<d3dtest::DeviceEntry> devices;
  {
    std::lock_guard lock(G().mutex);
    devices = G().devices;
    ++G().counters.enumDevices;
  }
  for (d3dtest::DeviceEntry& d : devices)
    if (callback(d.description.c_str(), d.name.c_str(), &d.desc, context) == D3DENUMRET_CANCEL)
      break;
  return DD_OK;
}

HRESULT Direct3D::EnumZBufferFormats(DeviceGuid device, EnumPixelFormatsCallback callback,
                                     void* context) {
  if (HRESULT hr = TakeFailure(d3dtest::Call::EnumZBufferFormats); hr != DD_OK) return hr;
  if (!callback) return DDERR_INVALIDPARAMS;
  if (!KnownDevice(device)) return D3DERR_INVALIDDEVICE;
  std::vector<PixelFormat> formats;
  {
    std::lock_guard lock(G().mutex);
    formats = G().zFormats;
    ++G().counters.enumZBufferFormats;
  }
  return EnumFormats(formats, callback, context);
}

HRESULT Direct3D::CreateDevice(DeviceGuid device, DirectDrawSurface* target, Direct3DDevice** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  if (HRESULT hr = TakeFailure(d3dtest::Call::CreateDevice); hr != DD_OK) return hr;
  D3DDEVICEDESC7 desc;
  bool found = false;
  {
    std::lock_guard lock(G().mutex);
    for (const d3dtest::DeviceEntry& d : G().devices)
      if (d.desc.deviceGUID == device) {
        desc = d.desc;
        found = true;
      }
  }
  if (!found) return D3DERR_INVALIDDEVICE;
  if (HRESULT hr = CheckRenderTarget(desc, owner_, target); hr != DD_OK) return hr;
  auto* state = new (std::nothrow) DeviceState(desc, target);
  if (!state) return DDERR_OUTOFMEMORY;
  *out = new (std::nothrow) Direct3DDevice(this, state);
  if (!*out) {
    delete state;
    return DDERR_OUTOFMEMORY;
  }
  Count([](d3dtest::Counters& c) { ++c.createDevice; });
  return DD_OK;
}

// ---- Device ----------------------------------------------------------------------------------

Direct3DDevice::Direct3DDevice(Direct3D* owner, DeviceState* state) : owner_(owner), state_(state) {
  owner_->AddRef();
  Count([](d3dtest::Counters& c) { ++c.liveDevices; });
}

Direct3DDevice::~Direct3DDevice() {
  delete state_;
  Count([](d3dtest::Counters& c) { --c.liveDevices; });
  owner_->Release();
}

HRESULT Direct3DDevice::GetCaps(D3DDEVICEDESC7* desc) const {
  if (!desc) return DDERR_INVALIDPARAMS;
  *desc = state_->desc;
  return DD_OK;
}

HRESULT Direct3DDevice::EnumTextureFormats(EnumPixelFormatsCallback callback, void* context) {
  if (HRESULT hr = TakeFailure(d3dtest::Call::EnumTextureFormats); hr != DD_OK) return hr;
  if (!callback) return DDERR_INVALIDPARAMS;
  std::vector<PixelFormat> formats;
  {
    std::lock_guard lock(G().mutex);
    formats = G().textureFormats;
    ++G().counters.enumTextureFormats;
  }
  return EnumFormats(formats, callback, context);
}

HRESULT Direct3DDevice::BeginScene() {
  if (HRESULT hr = TakeFailure(d3dtest::Call::BeginScene); hr != DD_OK) return hr;
  if (state_->inScene) return D3DERR_SCENE_IN_SCENE;
  if (SurfaceAccess::HeldByCaller(state_->target)) return DDERR_SURFACEBUSY;
  state_->inScene = true;
  SurfaceAccess::OpenScene(state_->target);
  Count([](d3dtest::Counters& c) { ++c.beginScene; });
  return DD_OK;
}

HRESULT Direct3DDevice::EndScene() {
  if (!state_->inScene) return D3DERR_SCENE_NOT_IN_SCENE;
  state_->inScene = false;
  SurfaceAccess::CloseScene(state_->target);
  Count([](d3dtest::Counters& c) { ++c.endScene; });
  return DD_OK;
}

HRESULT Direct3DDevice::SetRenderTarget(DirectDrawSurface* target, uint32_t flags) {
  if (HRESULT hr = TakeFailure(d3dtest::Call::SetRenderTarget); hr != DD_OK) return hr;
  if (flags != 0) return DDERR_INVALIDPARAMS;
  if (HRESULT hr = CheckRenderTarget(state_->desc, SurfaceAccess::Owner(state_->target), target);
      hr != DD_OK)
    return hr;
  if (state_->inScene) {
    if (SurfaceAccess::HeldByCaller(target)) return DDERR_SURFACEBUSY;
    SurfaceAccess::OpenScene(target);
    SurfaceAccess::CloseScene(state_->target);
  }
  state_->SetTarget(target);
  Count([](d3dtest::Counters& c) { ++c.renderTargets; });
  return DD_OK;
}

HRESULT Direct3DDevice::GetRenderTarget(DirectDrawSurface** out) {
  if (!out) return DDERR_INVALIDPARAMS;
  state_->target->AddRef();
  *out = state_->target;
  return DD_OK;
}

HRESULT Direct3DDevice::SetViewport(const D3DVIEWPORT7* v) {
  if (HRESULT hr = TakeFailure(d3dtest::Call::SetViewport); hr != DD_OK) return hr;
  if (!v) return DDERR_INVALIDPARAMS;
  const SurfaceAccess::View t = SurfaceAccess::Pixels(state_->target);
  if (v->dwWidth == 0 || v->dwHeight == 0 ||
      uint64_t(v->dwX) + v->dwWidth > uint64_t(uint32_t(t.width)) ||
      uint64_t(v->dwY) + v->dwHeight > uint64_t(uint32_t(t.height)))
    return DDERR_INVALIDPARAMS;
  if (!(v->dvMinZ >= 0.0f && v->dvMinZ <= v->dvMaxZ && v->dvMaxZ <= 1.0f))  // NaN fails too
    return DDERR_INVALIDPARAMS;
  state_->viewport = *v;
  Count([](d3dtest::Counters& c) { ++c.viewports; });
  return DD_OK;
}

HRESULT Direct3DDevice::GetViewport(D3DVIEWPORT7* v) const {
  if (!v) return DDERR_INVALIDPARAMS;
  *v = state_->viewport;
  return DD_OK;
}

HRESULT Direct3DDevice::SetTransform(D3DTRANSFORMSTATETYPE which, const D3DMATRIX* m) {
  if (!m || which < D3DTRANSFORMSTATE_WORLD || which > D3DTRANSFORMSTATE_PROJECTION)
    return DDERR_INVALIDPARAMS;
  state_->transforms[which - 1] = *m;
  Count([](d3dtest::Counters& c) { ++c.transforms; });
  return DD_OK;
}

HRESULT Direct3DDevice::GetTransform(D3DTRANSFORMSTATETYPE which, D3DMATRIX* m) const {
  if (!m || which < D3DTRANSFORMSTATE_WORLD || which > D3DTRANSFORMSTATE_PROJECTION)
    return DDERR_INVALIDPARAMS;
  *m = state_->transforms[which - 1];
  return DD_OK;
}

HRESULT Direct3DDevice::SetRenderState(D3DRENDERSTATETYPE s, uint32_t value) {
  if (HRESULT hr = state_->SetRender(s, value); hr != DD_OK) return hr;
  Count([](d3dtest::Counters& c) { ++c.renderStates; });
  return DD_OK;
}

HRESULT Direct3DDevice::GetRenderState(D3DRENDERSTATETYPE s, uint32_t* value) const {
  if (!value || s < D3DRENDERSTATE_ZENABLE || s > D3DRENDERSTATE_COLORKEYENABLE)
    return DDERR_INVALIDPARAMS;
  *value = state_->render[s];
  return DD_OK;
}

HRESULT Direct3DDevice::SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE s,
                                             uint32_t value) {
  if (HRESULT hr = state_->SetStage(stage, s, value); hr != DD_OK) return hr;
  Count([](d3dtest::Counters& c) { ++c.stageStates; });
  return DD_OK;
}

HRESULT Direct3DDevice::GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE s,
                                             uint32_t* value) const {
  if (!value || stage >= state_->StageCount() || s < D3DTSS_COLOROP || s > D3DTSS_FILTER)
    return DDERR_INVALIDPARAMS;
  *value = state_->stages[stage].value[s];
  return DD_OK;
}

HRESULT Direct3DDevice::SetTexture(uint32_t stage, DirectDrawSurface* texture) {
  if (stage >= std::min<uint32_t>(2, state_->desc.wMaxSimultaneousTextures))
    return DDERR_INVALIDPARAMS;
  if (texture) {
    const SurfaceAccess::View v = SurfaceAccess::Pixels(texture);
    if (SurfaceAccess::Owner(texture) != SurfaceAccess::Owner(state_->target))
      return DDERR_INVALIDPARAMS;
    if (!(v.caps & DDSCAPS_TEXTURE)) return DDERR_INVALIDCAPS;
    if (!DrawablePixelFormat(v.format)) return DDERR_INVALIDPIXELFORMAT;
    const D3DDEVICEDESC7& d = state_->desc;
    const uint32_t w = uint32_t(v.width), h = uint32_t(v.height);
    if (w < d.dwMinTextureWidth || h < d.dwMinTextureHeight || w > d.dwMaxTextureWidth ||
        h > d.dwMaxTextureHeight)
      return D3DERR_TEXTURE_BADSIZE;
    if ((d.dwTextureCaps & D3DPTEXTURECAPS_POW2) && !(PowerOfTwo(w) && PowerOfTwo(h)))
      return D3DERR_TEXTURE_BADSIZE;
    if ((d.dwTextureCaps & D3DPTEXTURECAPS_SQUAREONLY) && w != h) return D3DERR_TEXTURE_BADSIZE;
  }
  state_->Bind(stage, texture);
  Count([](d3dtest::Counters& c) { ++c.setTexture; });
  return DD_OK;
}

HRESULT Direct3DDevice::DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t vertexFormat,
                                      const void* vertices, uint32_t count, uint32_t flags) {
  if (HRESULT hr = TakeFailure(d3dtest::Call::DrawPrimitive); hr != DD_OK) return hr;
  if (!state_->inScene) return D3DERR_SCENE_NOT_IN_SCENE;
  if (type != D3DPT_TRIANGLELIST && type != D3DPT_TRIANGLESTRIP && type != D3DPT_TRIANGLEFAN)
    return D3DERR_INVALIDPRIMITIVETYPE;
  if (vertexFormat != D3DFVF_TLVERTEX1 && vertexFormat != D3DFVF_TLVERTEX2)
    return D3DERR_INVALIDVERTEXFORMAT;
  if (!vertices || flags != 0 || count < 3 || count > D3DMAXNUMVERTICES ||
      (type == D3DPT_TRIANGLELIST && count % 3 != 0))
    return DDERR_INVALIDPARAMS;
  if (HRESULT hr = state_->Draw(type, vertexFormat == D3DFVF_TLVERTEX2 ? 2 : 1, vertices, count);
      hr != DD_OK)
    return hr;
  Count([count](d3dtest::Counters& c) {
    ++c.drawPrimitive;
    c.vertices += count;
  });
  return DD_OK;
}

HRESULT Direct3DDevice::Clear(uint32_t count, const RECT* rects, uint32_t flags, uint32_t color) {
  if (flags != D3DCLEAR_TARGET || (count > 0 && !rects)) return DDERR_INVALIDPARAMS;
  for (uint32_t i = 0; i < count; ++i)
    if (rects[i].right < rects[i].left || rects[i].bottom < rects[i].top) return DDERR_INVALIDRECT;
  return state_->Clear(count, rects, color);
}

// ---- Test hooks ------------------------------------------------------------------------------

namespace d3dtest {

std::vector<DeviceEntry> DefaultDevices() {
  D3DDEVICEDESC7 d;
  d.dwDeviceRenderBitDepth = DDBD_16 | DDBD_32;
  d.dwDeviceZBufferBitDepth = DDBD_16 | DDBD_24 | DDBD_32;
  d.dwMinTextureWidth = d.dwMinTextureHeight = 1;
  d.dwMaxTextureWidth = d.dwMaxTextureHeight = 2048;
  d.dwTextureCaps = D3DPTEXTURECAPS_POW2;
  d.wMaxTextureBlendStages = 8;
  d.wMaxSimultaneousTextures = 2;
  std::vector<DeviceEntry> list;
  for (auto [text, id] : {std::pair{"RGB emulation", IID_IDirect3DRGBDevice},
                          std::pair{"HAL", IID_IDirect3DHALDevice},
                          std::pair{"T&L HAL", IID_IDirect3DTnLHalDevice}}) {
    d.deviceGUID = id;
    list.push_back({std::string("Simulated ") + text, text, d});
  }
  return list;
}

std::vector<PixelFormat> DefaultZBufferFormats() {
  return {Format(PF_ZBUFFER | PF_STENCILBUFFER, 32, 0, 0x00FFFFFF, 0xFF000000, 0),
          Format(PF_ZBUFFER, 16, 0, 0xFFFF, 0, 0), Format(PF_ZBUFFER, 32, 0, 0xFFFFFFFF, 0, 0)};
}

std::vector<PixelFormat> DefaultTextureFormats() {
  const uint32_t rgba = PF_RGB | PF_ALPHAPIXELS;
  return {Format(PF_ALPHA, 8, 0, 0, 0, 0xFF),
          Format(PF_LUMINANCE, 8, 0xFF, 0, 0, 0),
          Format(PF_FOURCC, 0, 0, 0, 0, 0, MakeFourCC('D', 'X', 'T', '1')),
          Format(PF_RGB | PF_PALETTEINDEXED8, 8, 0, 0, 0, 0),
          Format(PF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0),
          Format(PF_RGB, 16, 0x7C00, 0x03E0, 0x001F, 0),
          Format(rgba, 16, 0x7C00, 0x03E0, 0x001F, 0x8000),
          Format(rgba, 16, 0x0F00, 0x00F0, 0x000F, 0xF000),
          Format(PF_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0),
          Format(rgba, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
          Format(PF_BUMPDUDV, 16, 0x00FF, 0xFF00, 0, 0)};
}

void SetPresent(bool present) {
  std::lock_guard lock(G().mutex);
  G().present = present;
}

void SetDevices(std::vector<DeviceEntry> devices) {
  std::lock_guard lock(G().mutex);
  G().devices = std::move(devices);
}

void SetZBufferFormats(std::vector<PixelFormat> formats) {
  std::lock_guard lock(G().mutex);
  G().zFormats = std::move(formats);
}

void SetTextureFormats(std::vector<PixelFormat> formats) {
  std::lock_guard lock(G().mutex);
  G().textureFormats = std::move(formats);
}

void FailNext(Call call, HRESULT code) {
  std::lock_guard lock(G().mutex);
  G().fail[int(call)] = code;
}

Counters GetCounters() {
  std::lock_guard lock(G().mutex);
  return G().counters;
}

void Reset(bool present) {
  std::lock_guard lock(G().mutex);
  G().present = present;
  G().devices = DefaultDevices();
  G().zFormats = DefaultZBufferFormats();
  G().textureFormats = DefaultTextureFormats();
  std::fill(std::begin(G().fail), std::end(G().fail), DD_OK);
  const Counters old = G().counters;
  G().counters = Counters{};
  G().counters.liveObjects = old.liveObjects;
  G().counters.liveDevices = old.liveDevices;
}

}  // namespace d3dtest

}  // namespace zq::platform
