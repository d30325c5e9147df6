// The Direct3D stand-in's objects: enumeration, failure switch, presence, lifetimes, device state
// with its refusals, render targets, viewports, texture limits and the strict scenes.
#include "platform/d3d/d3d.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "platform/d3d_test_support.h"

namespace zq::platform {
namespace {

// What the enumerations deliver, in order; a non-null context stops after two entries.
std::vector<std::string> g_seen;
HRESULT Seen(std::string s, void* stop) {
  g_seen.push_back(std::move(s));
  return stop && g_seen.size() == 2 ? D3DENUMRET_CANCEL : D3DENUMRET_OK;
}
HRESULT OnDevice(const char*, const char* name, D3DDEVICEDESC7* d, void* stop) {
  return Seen(std::string(name) + "/" + std::to_string(int(d->deviceGUID)), stop);
}
HRESULT OnFormat(PixelFormat* f, void* stop) {
  const bool dxt1 = f->fourCC == MakeFourCC('D', 'X', 'T', '1');
  char text[48];
  std::snprintf(text, sizeof text, "%x/%u/%x/%x%s", f->flags, f->rgbBitCount,
                f->redMask | f->greenMask | f->blueMask, f->alphaMask, dxt1 ? "/DXT1" : "");
  return Seen(text, stop);
}
using Strings = std::vector<std::string>;

TEST_F(D3DFixture, EnumerationsDeliverTheListsInOrderAndStop) {
  auto run = [](auto enumerate, void* stop) {
    g_seen.clear();
    EXPECT_EQ(enumerate(stop), DD_OK);
    return g_seen;
  };
  auto devices = [&](void* stop) { return d3d->EnumDevices(OnDevice, stop); };
  auto zFormats = [&](void* stop) { return d3d->EnumZBufferFormats(kHal, OnFormat, stop); };
  auto textures = [&](void* stop) { return device->EnumTextureFormats(OnFormat, stop); };
  EXPECT_EQ(run(devices, nullptr), (Strings{"RGB emulation/1", "HAL/2", "T&L HAL/3"}));
  // Z formats: 24-bit Z with 8 stencil bits, 16-bit Z, 32-bit Z (the Z and stencil masks).
  EXPECT_EQ(run(zFormats, nullptr),
            (Strings{"4400/32/ffffffff/0", "400/16/ffff/0", "400/32/ffffffff/0"}));
  // Alpha only, luminance, FourCC, palettised, 5:6:5, X1:5:5:5, 1:5:5:5, 4:4:4:4, X8:8:8:8,
  // 8:8:8:8, bump du/dv.
  EXPECT_EQ(run(textures, nullptr),
            (Strings{"2/8/0/ff", "20000/8/ff/0", "4/0/0/0/DXT1", "60/8/0/0", "40/16/ffff/0",
                     "40/16/7fff/0", "41/16/7fff/8000", "41/16/fff/f000", "40/32/ffffff/0",
                     "41/32/ffffff/ff000000", "80000/16/ffff/0"}));
  EXPECT_EQ(run(devices, &g_seen).size(), 2u);
  EXPECT_EQ(run(zFormats, &g_seen).size(), 2u);
  d3dtest::SetTextureFormats({k565, kX8888, k4444});
  EXPECT_EQ(run(textures, &g_seen), (Strings{"40/16/ffff/0", "40/32/ffffff/0"}));
  EXPECT_EQ(d3d->EnumZBufferFormats(DeviceGuid(77), OnFormat, nullptr), D3DERR_INVALIDDEVICE);
  EXPECT_EQ(d3d->EnumDevices(nullptr, nullptr), DDERR_INVALIDPARAMS);
  D3DDEVICEDESC7 caps;
  ASSERT_EQ(device->GetCaps(&caps), DD_OK);  // the HAL device's
  EXPECT_EQ(caps.deviceGUID, kHal);
  EXPECT_EQ(caps.dwDeviceRenderBitDepth, DDBD_16 | DDBD_32);
  EXPECT_EQ(caps.dwMaxTextureWidth * caps.dwMaxTextureHeight, 2048u * 2048u);
  EXPECT_EQ(caps.dwTextureCaps, D3DPTEXTURECAPS_POW2);
  EXPECT_EQ(caps.wMaxTextureBlendStages * 10 + caps.wMaxSimultaneousTextures, 82);
  const d3dtest::Counters c = d3dtest::GetCounters();
  EXPECT_EQ(c.enumDevices * 100 + c.enumZBufferFormats * 10 + c.enumTextureFormats, 222);
}

// The switch fails the named start-up call once (the library's start-up tests rely on it).
TEST_F(D3DFixture, TheFailureSwitchFailsTheNamedCallOnce) {
  using d3dtest::Call;
  auto release = [](HRESULT hr, auto** p) {  // called after the call that fills *p
    if (*p) (*p)->Release();
    *p = nullptr;
    return hr;
  };
  Direct3D* obj = nullptr;
  Direct3DDevice* dev = nullptr;
  const std::pair<Call, std::function<HRESULT()>> calls[] = {
      {Call::QueryInterface,
       [&] { return release(dd->QueryInterface(InterfaceId::Direct3D7, (void**)&obj), &obj); }},
      {Call::EnumDevices, [&] { return d3d->EnumDevices(OnDevice, nullptr); }},
      {Call::EnumZBufferFormats, [&] { return d3d->EnumZBufferFormats(kHal, OnFormat, nullptr); }},
      {Call::CreateDevice,
       [&] { return release(d3d->CreateDevice(kHal, target.get(), &dev), &dev); }},
      {Call::EnumTextureFormats, [&] { return device->EnumTextureFormats(OnFormat, nullptr); }},
  };
  d3dtest::FailNext(Call::EnumDevices, DDERR_GENERIC);
  d3dtest::Reset();  // drops a pending failure
  EXPECT_EQ(d3d->EnumDevices(OnDevice, nullptr), DD_OK);
  for (const auto& [call, run] : calls) {
    const HRESULT code = DDERR_GENERIC - int(call);
    d3dtest::FailNext(call, code);
    EXPECT_EQ(run(), code) << int(call);
    EXPECT_EQ(run(), DD_OK) << int(call);
  }
}

TEST_F(D3DFixture, AbsenceAndLifetimes) {
  // The device keeps the object, its target and its textures alive.
  SurfacePtr texture = Make(4, 4, k565);
  ASSERT_EQ(device->SetTexture(0, texture.get()), DD_OK);
  const int surfaces = ddtest::LiveSurfaceCount();
  texture.reset();
  target.reset();
  d3d->Release();
  d3d = nullptr;
  EXPECT_EQ(ddtest::LiveSurfaceCount(), surfaces);
  EXPECT_EQ(d3dtest::GetCounters().liveObjects, 1);
  EXPECT_EQ(d3dtest::GetCounters().liveDevices, 1);
  device->Release();
  device = nullptr;
  EXPECT_EQ(d3dtest::GetCounters().liveObjects + d3dtest::GetCounters().liveDevices, 0);
  EXPECT_EQ(ddtest::LiveSurfaceCount(), surfaces - 2);

  void* p = &p;
  d3dtest::Reset(/*present=*/false);
  EXPECT_EQ(dd->QueryInterface(InterfaceId::Direct3D7, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
}

TEST_F(D3DFixture, StatesAreStoredAndTheOnesNotSimulatedRefused) {
  uint32_t v[4] = {};
  device->GetRenderState(D3DRENDERSTATE_SRCBLEND, &v[0]);
  device->GetRenderState(D3DRENDERSTATE_DESTBLEND, &v[1]);
  device->GetTextureStageState(0, D3DTSS_COLOROP, &v[2]);
  device->GetTextureStageState(1, D3DTSS_COLOROP, &v[3]);
  EXPECT_EQ((std::vector<uint32_t>(v, v + 4)),
            (std::vector<uint32_t>{D3DBLEND_ONE, D3DBLEND_ZERO, D3DTOP_MODULATE, D3DTOP_DISABLE}));
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_INVDESTCOLOR), DD_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 1), DD_OK);  // no Z test: inert
  ASSERT_EQ(device->SetTextureStageState(1, D3DTSS_FILTER, D3DTFILTER_LINEAR), DD_OK);
  const std::pair<D3DRENDERSTATETYPE, uint32_t> refusedRender[] = {
      {D3DRENDERSTATE_CULLMODE, 2},  {D3DRENDERSTATE_ZENABLE, 1},   {D3DRENDERSTATE_SRCBLEND, 7},
      {D3DRENDERSTATE_DESTBLEND, 0}, {D3DRENDERSTATE_ALPHAFUNC, 4}, {D3DRENDERSTATE_ALPHAREF, 256},
      {D3DRENDERSTATETYPE(40), 0}};
  for (const auto& [state, value] : refusedRender)
    EXPECT_EQ(device->SetRenderState(state, value), D3DERR_UNSUPPORTEDSTATE) << state;
  const std::pair<D3DTEXTURESTAGESTATETYPE, uint32_t> refusedStage[] = {{D3DTSS_COLOROP, 5},
                                                                        {D3DTSS_ALPHAARG1, 3},
                                                                        {D3DTSS_FILTER, 3},
                                                                        {D3DTSS_ADDRESS, 3},
                                                                        {D3DTSS_TEXCOORDINDEX, 2}};
  for (const auto& [state, value] : refusedStage)
    EXPECT_EQ(device->SetTextureStageState(0, state, value), D3DERR_UNSUPPORTEDSTATE) << state;
  EXPECT_EQ(device->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_MODULATE), DDERR_INVALIDPARAMS);
  device->GetRenderState(D3DRENDERSTATE_SRCBLEND, &v[0]);
  device->GetRenderState(D3DRENDERSTATE_ZENABLE, &v[1]);
  device->GetTextureStageState(1, D3DTSS_FILTER, &v[2]);
  EXPECT_EQ((std::vector<uint32_t>(v, v + 3)),
            (std::vector<uint32_t>{D3DBLEND_INVDESTCOLOR, 0, D3DTFILTER_LINEAR}));

  D3DMATRIX m{}, back{}, world{};
  m.m[3][0] = -320.0f;
  ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_VIEW, &m), DD_OK);
  ASSERT_EQ(device->GetTransform(D3DTRANSFORMSTATE_VIEW, &back), DD_OK);
  ASSERT_EQ(device->GetTransform(D3DTRANSFORMSTATE_WORLD, &world), DD_OK);
  EXPECT_EQ(back.m[3][0] + world.m[2][2], -319.0f);  // stored, and the identity by default
  EXPECT_EQ(device->SetTransform(D3DTRANSFORMSTATETYPE(4), &m), DDERR_INVALIDPARAMS);
  const d3dtest::Counters c = d3dtest::GetCounters();
  EXPECT_EQ(c.renderStates * 100 + c.stageStates * 10 + c.transforms, 211);
}

TEST_F(D3DFixture, RenderTargetsViewportsAndTextureLimits) {
  SurfacePtr texTarget = Make(16, 16, k565, DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE);
  SurfacePtr plain = Make(8, 8, kX8888, DDSCAPS_OFFSCREENPLAIN);
  SurfacePtr palettised = Make(8, 8, kPal8, kTarget);
  SurfacePtr wide = Make(8, 8, kA2R10G10B10, kTarget);
  EXPECT_EQ(device->SetRenderTarget(plain.get(), 0), DDERR_INVALIDCAPS);
  EXPECT_EQ(device->SetRenderTarget(palettised.get(), 0), DDERR_INVALIDPIXELFORMAT);
  EXPECT_EQ(device->SetRenderTarget(wide.get(), 0), DDERR_INVALIDPIXELFORMAT);
  EXPECT_EQ(device->SetRenderTarget(nullptr, 0), DDERR_INVALIDPARAMS);
  // A viewport must lie inside the target; a refused one changes nothing.
  const D3DVIEWPORT7 inside{2, 3, 5, 4, 0.0f, 1.0f};
  ASSERT_EQ(device->SetViewport(&inside), DD_OK);
  for (D3DVIEWPORT7 bad : {D3DVIEWPORT7{4, 0, 5, 1, 0, 1}, D3DVIEWPORT7{0, 8, 1, 1, 0, 1},
                           D3DVIEWPORT7{0, 0, 0, 1, 0, 1}, D3DVIEWPORT7{0xFFFFFFFF, 0, 2, 1, 0, 1},
                           D3DVIEWPORT7{0, 0, 1, 1, 0.5f, 0.25f}})
    EXPECT_EQ(device->SetViewport(&bad), DDERR_INVALIDPARAMS);
  D3DVIEWPORT7 vp;
  device->GetViewport(&vp);
  EXPECT_EQ((std::vector<uint32_t>{vp.dwX, vp.dwY, vp.dwWidth, vp.dwHeight}),
            (std::vector<uint32_t>{2, 3, 5, 4}));
  // A render-target texture is accepted, and the viewport becomes all of it.
  ASSERT_EQ(device->SetRenderTarget(texTarget.get(), 0), DD_OK);
  device->GetViewport(&vp);
  EXPECT_EQ((std::vector<uint32_t>{vp.dwX, vp.dwY, vp.dwWidth, vp.dwHeight}),
            (std::vector<uint32_t>{0, 0, 16, 16}));
  DirectDrawSurface* held = nullptr;
  ASSERT_EQ(device->GetRenderTarget(&held), DD_OK);
  EXPECT_EQ(held, texTarget.get());
  held->Release();

  // Square power-of-two textures 4 to 64 texels wide, one at a time, rendering at 16 bits.
  D3DDEVICEDESC7 small = d3dtest::DefaultDevices()[1].desc;
  small.dwMinTextureWidth = 4;
  small.dwMaxTextureWidth = small.dwMaxTextureHeight = 64;
  small.dwTextureCaps = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY;
  small.wMaxSimultaneousTextures = 1;
  small.dwDeviceRenderBitDepth = DDBD_16;
  d3dtest::SetDevices({{"small", "HAL", small}});
  Direct3DDevice* sd = nullptr;
  EXPECT_EQ(d3d->CreateDevice(kHal, target.get(), &sd), DDERR_INVALIDPIXELFORMAT);  // 32 bits
  EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DTnLHalDevice, texTarget.get(), &sd),
            D3DERR_INVALIDDEVICE);
  ASSERT_EQ(d3d->CreateDevice(kHal, texTarget.get(), &sd), DD_OK);
  const struct {
    uint32_t w, h, caps;
    const PixelFormat* f;
    HRESULT expect;
  } textures[] = {{64, 64, DDSCAPS_TEXTURE, &k565, DD_OK},
                  {128, 128, DDSCAPS_TEXTURE, &k565, D3DERR_TEXTURE_BADSIZE},
                  {48, 48, DDSCAPS_TEXTURE, &k565, D3DERR_TEXTURE_BADSIZE},
                  {2, 2, DDSCAPS_TEXTURE, &k565, D3DERR_TEXTURE_BADSIZE},
                  {32, 16, DDSCAPS_TEXTURE, &k565, D3DERR_TEXTURE_BADSIZE},
                  {16, 16, DDSCAPS_OFFSCREENPLAIN, &k565, DDERR_INVALIDCAPS},
                  {16, 16, DDSCAPS_TEXTURE, &kPal8, DDERR_INVALIDPIXELFORMAT},
                  {16, 16, DDSCAPS_TEXTURE, &kRgb24, DDERR_INVALIDPIXELFORMAT}};
  for (const auto& t : textures) {
    SurfacePtr s = Make(t.w, t.h, *t.f, t.caps);
    EXPECT_EQ(sd->SetTexture(0, s.get()), t.expect) << t.w << "x" << t.h;
  }
  EXPECT_EQ(sd->SetTexture(1, nullptr), DDERR_INVALIDPARAMS);  // one simultaneous texture
  sd->Release();
}

TEST_F(D3DFixture, ScenesAreStrict) {
  const D3DTLVERTEX1 v[3] = {{0, 0, 0, 1, 0, 0, 0}, {4, 0, 0, 1, 0, 0, 0}, {0, 4, 0, 1, 0, 0, 0}};
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX1, v, 3, 0),
            D3DERR_SCENE_NOT_IN_SCENE);
  EXPECT_EQ(device->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
  // A flipping chain whose back buffer is the render target.
  ASSERT_EQ(dd->SetCooperativeLevel(MakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  SurfaceDesc desc;
  desc.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.backBufferCount = 1;
  desc.caps.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
  DirectDrawSurface *front = nullptr, *back = nullptr;
  ASSERT_EQ(dd->CreateSurface(desc, &front), DD_OK);
  SurfacePtr frontPtr(front);
  ASSERT_EQ(front->GetAttachedSurface(SurfaceCaps{DDSCAPS_BACKBUFFER}, &back), DD_OK);
  SurfacePtr backPtr(back), other = Make(8, 8, kX8888, kTarget);
  // Every caller access to the render target fails inside the scene, as source or destination.
  auto accesses = [&](DirectDrawSurface* s) {
    SurfaceDesc d;
    HDC dc = nullptr;
    BltFx fx;
    std::vector<HRESULT> r = {s->Lock(nullptr, &d, 0)};
    if (r.back() == DD_OK) s->Unlock(nullptr);
    r.push_back(s->GetDC(&dc));
    if (r.back() == DD_OK) s->ReleaseDC(dc);
    r.push_back(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx));
    r.push_back(s->BltFast(0, 0, other.get(), nullptr, 0));
    r.push_back(other->BltFast(0, 0, s, nullptr, 0));
    r.push_back(front->Flip(nullptr, DDFLIP_WAIT));
    return r;
  };
  const std::vector<HRESULT> busy(6, DDERR_SURFACEBUSY), free(6, DD_OK);
  ASSERT_EQ(device->SetRenderTarget(back, 0), DD_OK);
  ASSERT_EQ(device->BeginScene(), DD_OK);
  EXPECT_EQ(device->BeginScene(), D3DERR_SCENE_IN_SCENE);
  EXPECT_EQ(accesses(back), busy);
  // The scene moves with the render target; a locked one cannot take it.
  SurfaceDesc d;
  ASSERT_EQ(other->Lock(nullptr, &d, 0), DD_OK);
  EXPECT_EQ(device->SetRenderTarget(other.get(), 0), DDERR_SURFACEBUSY);
  other->Unlock(nullptr);
  ASSERT_EQ(device->SetRenderTarget(target.get(), 0), DD_OK);
  EXPECT_EQ(accesses(back), free);
  EXPECT_EQ(target->Lock(nullptr, &d, 0), DDERR_SURFACEBUSY);
  ASSERT_EQ(device->EndScene(), DD_OK);
  // A scene cannot begin on a target the caller has locked.
  ASSERT_EQ(target->Lock(nullptr, &d, 0), DD_OK);
  EXPECT_EQ(device->BeginScene(), DDERR_SURFACEBUSY);
  target->Unlock(nullptr);
  const d3dtest::Counters c = d3dtest::GetCounters();
  EXPECT_EQ(c.beginScene * 100 + c.endScene * 10 + c.renderTargets, 112);
}

}  // namespace
}  // namespace zq::platform
