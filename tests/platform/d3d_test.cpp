// The Direct3D stand-in's objects: enumeration, failure switch, presence, lifetimes, device state
// with its refusals, render targets, viewports, texture limits and the strict scene rules.
#include "platform/d3d/d3d.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/d3d_test_support.h"

namespace zq::platform {
namespace {

using d3dtest::Call;

TEST_F(D3DFixture, EnumerationsDeliverTheListsInOrderAndStopOnZero) {
  std::vector<std::pair<std::string, DeviceGuid>> seen;
  auto collect = [](const char* text, const char* name, D3DDEVICEDESC7* d, void* ctx) {
    auto* out = static_cast<std::vector<std::pair<std::string, DeviceGuid>>*>(ctx);
    out->push_back({std::string(name) + "|" + text, d->deviceGUID});
    return D3DENUMRET_OK;
  };
  ASSERT_EQ(d3d->EnumDevices(collect, &seen), DD_OK);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].second, IID_IDirect3DRGBDevice);
  EXPECT_EQ(seen[1].first.substr(0, 4), "HAL|");
  EXPECT_EQ(seen[1].second, IID_IDirect3DHALDevice);
  EXPECT_EQ(seen[2].second, IID_IDirect3DTnLHalDevice);
  D3DDEVICEDESC7 caps;
  ASSERT_EQ(device->GetCaps(&caps), DD_OK);  // the HAL device's description
  EXPECT_EQ(caps.dwDeviceRenderBitDepth, DDBD_16 | DDBD_32);
  EXPECT_EQ(caps.dwMaxTextureWidth, 2048u);
  EXPECT_EQ(caps.dwTextureCaps, D3DPTEXTURECAPS_POW2);
  EXPECT_EQ(caps.wMaxTextureBlendStages, 8);
  EXPECT_EQ(caps.wMaxSimultaneousTextures, 2);

  // A configured list, stopped by the callback after the second entry.
  d3dtest::SetTextureFormats({k565, kX8888, k4444});
  std::vector<uint32_t> masks;
  auto upToTwo = [](PixelFormat* f, void* ctx) {
    auto* out = static_cast<std::vector<uint32_t>*>(ctx);
    out->push_back(f->redMask);
    return out->size() < 2 ? D3DENUMRET_OK : D3DENUMRET_CANCEL;
  };
  ASSERT_EQ(device->EnumTextureFormats(upToTwo, &masks), DD_OK);
  EXPECT_EQ(masks, (std::vector<uint32_t>{0xF800, 0xFF0000}));
  masks.clear();
  d3dtest::Reset();
  ASSERT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DHALDevice, upToTwo, &masks), DD_OK);
  EXPECT_EQ(masks.size(), 2u);
  EXPECT_EQ(d3d->EnumZBufferFormats(DeviceGuid(77), upToTwo, &masks), D3DERR_INVALIDDEVICE);

  // The default texture formats, by kind: what each pass-over rule of the library meets.
  std::vector<PixelFormat> all;
  auto every = [](PixelFormat* f, void* ctx) {
    static_cast<std::vector<PixelFormat>*>(ctx)->push_back(*f);
    return D3DENUMRET_OK;
  };
  ASSERT_EQ(device->EnumTextureFormats(every, &all), DD_OK);
  ASSERT_EQ(all.size(), 11u);
  const uint32_t kinds[11] = {PF_ALPHA, PF_LUMINANCE, PF_FOURCC,  PF_PALETTEINDEXED8,
                              PF_RGB,   PF_RGB,       PF_RGB,     PF_RGB,
                              PF_RGB,   PF_RGB,       PF_BUMPDUDV};
  const uint32_t alphas[11] = {0xFF, 0, 0, 0, 0, 0, 0x8000, 0xF000, 0, 0xFF000000, 0};  // A8 first
  for (int i = 0; i < 11; ++i) {
    EXPECT_TRUE(all[i].flags & kinds[i]) << i;
    EXPECT_EQ(all[i].alphaMask, alphas[i]) << i;
  }
  EXPECT_EQ(all[5].redMask, 0x7C00u);  // X1:5:5:5
  const d3dtest::Counters c = d3dtest::GetCounters();
  EXPECT_EQ(c.enumTextureFormats, 1);  // since the Reset
  EXPECT_EQ(c.enumZBufferFormats, 1);
}

TEST_F(D3DFixture, TheFailureSwitchFailsTheNamedCallOnce) {
  SurfacePtr other = Make(8, 8, kX8888, kTarget);
  const D3DVIEWPORT7 vp{0, 0, 4, 4, 0, 1};
  auto none = [](PixelFormat*, void*) { return D3DENUMRET_OK; };
  const std::pair<Call, std::function<HRESULT()>> calls[] = {
      {Call::QueryInterface,
       [&] {
         void* p = nullptr;
         HRESULT hr = dd->QueryInterface(InterfaceId::Direct3D7, &p);
         if (p) static_cast<Direct3D*>(p)->Release();
         return hr;
       }},
      {Call::EnumDevices,
       [&] {
         return d3d->EnumDevices([](const char*, const char*, D3DDEVICEDESC7*, void*) { return 1; },
                                 nullptr);
       }},
      {Call::EnumZBufferFormats, [&] { return d3d->EnumZBufferFormats(kHal, none, nullptr); }},
      {Call::CreateDevice,
       [&] {
         Direct3DDevice* d = nullptr;
         HRESULT hr = d3d->CreateDevice(kHal, target.get(), &d);
         if (d) d->Release();
         return hr;
       }},
      {Call::EnumTextureFormats, [&] { return device->EnumTextureFormats(none, nullptr); }},
      {Call::SetRenderTarget, [&] { return device->SetRenderTarget(other.get(), 0); }},
      {Call::SetViewport, [&] { return device->SetViewport(&vp); }},
      {Call::BeginScene,
       [&] {
         HRESULT hr = device->BeginScene();
         if (hr == DD_OK) device->EndScene();
         return hr;
       }},
      {Call::DrawPrimitive,
       [&] {
         device->BeginScene();
         const D3DTLVERTEX1 v[3] = {
             {0, 0, 0, 1, 0, 0, 0}, {1, 0, 0, 1, 0, 0, 0}, {0, 1, 0, 1, 0, 0, 0}};
         HRESULT hr = device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX1, v, 3, 0);
         device->EndScene();
         return hr;
       }},
  };
  for (const auto& [call, run] : calls) {
    const HRESULT code = DDERR_GENERIC - int(call);
    d3dtest::FailNext(call, code);
    EXPECT_EQ(run(), code) << int(call);
    EXPECT_EQ(run(), DD_OK) << int(call);
  }
}

TEST_F(D3DFixture, AbsenceAndLifetimes) {
  EXPECT_EQ(d3dtest::GetCounters().liveObjects, 1);
  EXPECT_EQ(d3dtest::GetCounters().liveDevices, 1);
  // The device keeps the object, its target and its textures alive.
  SurfacePtr texture = Make(4, 4, k565, DDSCAPS_TEXTURE);
  ASSERT_EQ(device->SetTexture(0, texture.get()), DD_OK);
  const int surfaces = ddtest::LiveSurfaceCount();
  texture.reset();
  target.reset();
  EXPECT_EQ(ddtest::LiveSurfaceCount(), surfaces);
  d3d->Release();
  d3d = nullptr;
  EXPECT_EQ(d3dtest::GetCounters().liveObjects, 1);
  device->Release();
  device = nullptr;
  EXPECT_EQ(d3dtest::GetCounters().liveObjects, 0);
  EXPECT_EQ(d3dtest::GetCounters().liveDevices, 0);
  EXPECT_EQ(ddtest::LiveSurfaceCount(), surfaces - 2);

  d3dtest::SetPresent(false);
  void* p = &p;
  EXPECT_EQ(dd->QueryInterface(InterfaceId::Direct3D7, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  d3dtest::Reset();
  ASSERT_EQ(dd->QueryInterface(InterfaceId::Direct3D7, &p), DD_OK);
  d3d = static_cast<Direct3D*>(p);
}

TEST_F(D3DFixture, StatesAreStoredAndUnusedOnesRefused) {
  uint32_t v = 0;
  ASSERT_EQ(device->GetRenderState(D3DRENDERSTATE_DESTBLEND, &v), DD_OK);
  EXPECT_EQ(v, D3DBLEND_ZERO);
  ASSERT_EQ(device->GetTextureStageState(1, D3DTSS_COLOROP, &v), DD_OK);
  EXPECT_EQ(v, D3DTOP_DISABLE);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_INVDESTCOLOR), DD_OK);
  ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 1), DD_OK);
  ASSERT_EQ(device->SetTextureStageState(1, D3DTSS_FILTER, D3DTFILTER_LINEAR), DD_OK);
  const struct {
    D3DRENDERSTATETYPE state;
    uint32_t value;
  } refusedRender[] = {{D3DRENDERSTATE_CULLMODE, 2},         {D3DRENDERSTATE_ZENABLE, 1},
                       {D3DRENDERSTATE_SRCBLEND, 7},         {D3DRENDERSTATE_DESTBLEND, 0},
                       {D3DRENDERSTATE_ALPHAFUNC, 4},        {D3DRENDERSTATE_ALPHAREF, 256},
                       {D3DRENDERSTATE_ALPHABLENDENABLE, 2}, {D3DRENDERSTATETYPE(40), 0}};
  for (const auto& r : refusedRender)
    EXPECT_EQ(device->SetRenderState(r.state, r.value), D3DERR_UNSUPPORTEDSTATE) << r.state;
  const struct {
    D3DTEXTURESTAGESTATETYPE state;
    uint32_t value;
  } refusedStage[] = {{D3DTSS_COLOROP, 5},       {D3DTSS_ALPHAARG1, 3},
                      {D3DTSS_FILTER, 3},        {D3DTSS_ADDRESS, 3},
                      {D3DTSS_TEXCOORDINDEX, 2}, {D3DTEXTURESTAGESTATETYPE(0), 1}};
  for (const auto& r : refusedStage)
    EXPECT_EQ(device->SetTextureStageState(0, r.state, r.value), D3DERR_UNSUPPORTEDSTATE)
        << r.state;
  EXPECT_EQ(device->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_MODULATE), DDERR_INVALIDPARAMS);
  device->GetRenderState(D3DRENDERSTATE_SRCBLEND, &v);
  EXPECT_EQ(v, D3DBLEND_INVDESTCOLOR);
  device->GetRenderState(D3DRENDERSTATE_ZENABLE, &v);
  EXPECT_EQ(v, 0u);
  device->GetTextureStageState(1, D3DTSS_FILTER, &v);
  EXPECT_EQ(v, D3DTFILTER_LINEAR);

  D3DMATRIX m{};
  m.m[3][0] = -320.0f;
  ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_VIEW, &m), DD_OK);
  D3DMATRIX back{}, world{};
  ASSERT_EQ(device->GetTransform(D3DTRANSFORMSTATE_VIEW, &back), DD_OK);
  EXPECT_EQ(back.m[3][0], -320.0f);
  ASSERT_EQ(device->GetTransform(D3DTRANSFORMSTATE_WORLD, &world), DD_OK);
  EXPECT_EQ(world.m[2][2], 1.0f);
  EXPECT_EQ(device->SetTransform(D3DTRANSFORMSTATETYPE(4), &m), DDERR_INVALIDPARAMS);
  const d3dtest::Counters c = d3dtest::GetCounters();
  EXPECT_EQ(c.renderStates, 2);
  EXPECT_EQ(c.stageStates, 1);
  EXPECT_EQ(c.transforms, 1);
}

TEST_F(D3DFixture, RenderTargetsViewportsAndTextureLimits) {
  SurfacePtr texTarget = Make(16, 16, k565, DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE);
  SurfacePtr plain = Make(8, 8, kX8888);
  SurfacePtr palettised = Make(8, 8, kPal8, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE);
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
  EXPECT_EQ(vp.dwX + vp.dwY + vp.dwWidth + vp.dwHeight, 14u);
  // A render-target texture is accepted, and the viewport becomes all of it.
  ASSERT_EQ(device->SetRenderTarget(texTarget.get(), 0), DD_OK);
  device->GetViewport(&vp);
  EXPECT_EQ(vp.dwX + vp.dwY, 0u);
  EXPECT_EQ(vp.dwWidth * vp.dwHeight, 256u);
  DirectDrawSurface* held = nullptr;
  ASSERT_EQ(device->GetRenderTarget(&held), DD_OK);
  EXPECT_EQ(held, texTarget.get());
  held->Release();

  // Texture limits of the description (here at most 64, powers of two, square only).
  D3DDEVICEDESC7 small = d3dtest::DefaultDevices()[1].desc;
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
                  {32, 16, DDSCAPS_TEXTURE, &k565, D3DERR_TEXTURE_BADSIZE},
                  {16, 16, DDSCAPS_OFFSCREENPLAIN, &k565, DDERR_INVALIDCAPS},
                  {16, 16, DDSCAPS_TEXTURE, &kPal8, DDERR_INVALIDPIXELFORMAT},
                  {16, 16, DDSCAPS_TEXTURE, &kRgb24, DDERR_INVALIDPIXELFORMAT}};
  for (const auto& t : textures) {
    SurfacePtr s = Make(t.w, t.h, *t.f, t.caps);
    EXPECT_EQ(sd->SetTexture(0, s.get()), t.expect) << t.w << "x" << t.h;
  }
  SurfacePtr ok = Make(8, 8, k565, DDSCAPS_TEXTURE);
  EXPECT_EQ(sd->SetTexture(1, ok.get()), DDERR_INVALIDPARAMS);  // one simultaneous texture
  sd->Release();
}

TEST_F(D3DFixture, ScenesAreStrict) {
  const D3DTLVERTEX1 v[3] = {{0, 0, 0, 1, 0, 0, 0}, {4, 0, 0, 1, 0, 0, 0}, {0, 4, 0, 1, 0, 0, 0}};
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX1, v, 3, 0),
            D3DERR_SCENE_NOT_IN_SCENE);
  EXPECT_EQ(device->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
  SurfacePtr other = Make(8, 8, kX8888, kTarget);
  SurfacePtr third = Make(8, 8, kX8888, kTarget);
  ASSERT_EQ(device->BeginScene(), DD_OK);
  EXPECT_EQ(device->BeginScene(), D3DERR_SCENE_IN_SCENE);
  // Every caller access to the target is busy inside the scene, as source or destination.
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
    return r;
  };
  for (HRESULT hr : accesses(target.get())) EXPECT_EQ(hr, DDERR_SURFACEBUSY);
  // The scene moves with the render target.
  ASSERT_EQ(device->SetRenderTarget(third.get(), 0), DD_OK);
  for (HRESULT hr : accesses(target.get())) EXPECT_EQ(hr, DD_OK);
  EXPECT_EQ(accesses(third.get())[0], DDERR_SURFACEBUSY);
  SurfaceDesc d;
  ASSERT_EQ(other->Lock(nullptr, &d, 0), DD_OK);
  EXPECT_EQ(device->SetRenderTarget(other.get(), 0), DDERR_SURFACEBUSY);  // locked by the caller
  other->Unlock(nullptr);
  ASSERT_EQ(device->EndScene(), DD_OK);
  for (HRESULT hr : accesses(third.get())) EXPECT_EQ(hr, DD_OK);
  // A scene cannot begin on a target the caller has locked.
  ASSERT_EQ(third->Lock(nullptr, &d, 0), DD_OK);
  EXPECT_EQ(device->BeginScene(), DDERR_SURFACEBUSY);
  third->Unlock(nullptr);
  const d3dtest::Counters c = d3dtest::GetCounters();
  EXPECT_EQ(c.beginScene, 1);
  EXPECT_EQ(c.endScene, 1);
  EXPECT_EQ(c.renderTargets, 1);
}

TEST_F(D3DFixture, FlipOfAChainInASceneIsBusy) {
  Window* w = MakeWindow();
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  SurfaceDesc desc;
  desc.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.backBufferCount = 1;
  desc.caps.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
  DirectDrawSurface* front = nullptr;
  ASSERT_EQ(dd->CreateSurface(desc, &front), DD_OK);
  SurfacePtr frontPtr(front);
  SurfaceCaps backCaps{DDSCAPS_BACKBUFFER};
  DirectDrawSurface* back = nullptr;
  ASSERT_EQ(front->GetAttachedSurface(backCaps, &back), DD_OK);
  SurfacePtr backPtr(back);
  ASSERT_EQ(device->SetRenderTarget(back, 0), DD_OK);
  ASSERT_EQ(device->BeginScene(), DD_OK);
  EXPECT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACEBUSY);
  ASSERT_EQ(device->EndScene(), DD_OK);
  EXPECT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
}

}  // namespace
}  // namespace zq::platform
