// The Direct3D stand-in's rasteriser on its own: a 640 x 480 textured quad at 1:1 (point, linear,
// alpha-blended; 32-bit texture and target) beside a memcpy of the target's bytes ("vs_memcpy"),
// and 1000 rotated 32 x 32 sprites (two triangles each) beside the software DrawMemImgRotated of
// the same sprites in the same run; the "pixels/s" counters of both compare directly.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "bench_support.h"
#include "graphics/draw_state.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/window.h"
#include "softrender/rotated.h"

namespace {

using namespace zq::platform;

constexpr int kW = 640, kH = 480, kSprites = 1000, kSide = 32;

const PixelFormat kX8888{sizeof(PixelFormat), PF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
const PixelFormat kA8888{
    sizeof(PixelFormat), PF_RGB | PF_ALPHAPIXELS, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};

// A DirectDraw object, the Direct3D object and a device on a 640 x 480 32-bit target.
struct Stage3D {
  Stage3D() {
    ResetWindowSystem();
    ddtest::Reset();
    d3dtest::Reset();
    DirectDrawCreateEx(&dd);
    void* p = nullptr;
    dd->QueryInterface(InterfaceId::Direct3D7, &p);
    d3d = static_cast<Direct3D*>(p);
    target = Surface(kW, kH, kX8888, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE);
    d3d->CreateDevice(IID_IDirect3DHALDevice, target, &device);
  }
  ~Stage3D() {
    for (DirectDrawSurface* s : textures) s->Release();
    device->Release();
    d3d->Release();
    target->Release();
    dd->Release();
  }
  // A surface filled with varied bytes.
  DirectDrawSurface* Surface(uint32_t w, uint32_t h, const PixelFormat& f, uint32_t caps) {
    SurfaceDesc d;
    d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.width = w;
    d.height = h;
    d.pixelFormat = f;
    d.caps.caps = caps;
    DirectDrawSurface* s = nullptr;
    dd->CreateSurface(d, &s);
    SurfaceDesc l;
    s->Lock(nullptr, &l, 0);
    auto* bytes = static_cast<uint8_t*>(l.surface);
    for (size_t i = 0; i < size_t(l.pitch) * h; ++i)
      bytes[i] = uint8_t(uint32_t(i) * 2654435761u >> 24);
    s->Unlock(nullptr);
    return s;
  }
  DirectDrawSurface* Texture(uint32_t w, uint32_t h, const PixelFormat& f) {
    textures.push_back(Surface(w, h, f, DDSCAPS_TEXTURE));
    return textures.back();
  }
  void Draw(const std::vector<D3DTLVERTEX1>& v) {
    device->BeginScene();
    device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX1, v.data(), uint32_t(v.size()), 0);
    device->EndScene();
  }
  uint8_t* TargetBytes() { return const_cast<uint8_t*>(target->TestPixels()); }

  DirectDraw* dd = nullptr;
  Direct3D* d3d = nullptr;
  DirectDrawSurface* target = nullptr;
  Direct3DDevice* device = nullptr;
  std::vector<DirectDrawSurface*> textures;
};

// Two triangles over (x0, y0)-(x1, y1) with texture coordinates (0, 0)-(u1, v1).
void AddQuad(std::vector<D3DTLVERTEX1>& v, float x0, float y0, float x1, float y1, float u1,
             float v1) {
  const D3DTLVERTEX1 tl{x0, y0, 0, 1, 0xFFFFFFFF, 0, 0}, tr{x1, y0, 0, 1, 0xFFFFFFFF, u1, 0},
      bl{x0, y1, 0, 1, 0xFFFFFFFF, 0, v1}, br{x1, y1, 0, 1, 0xFFFFFFFF, u1, v1};
  v.insert(v.end(), {tl, tr, bl, bl, tr, br});
}

// The 640 x 480 quad at 1:1 from a 1024 x 512 texture; argument: 0 point, 1 linear, 2 point
// with source-alpha blending of an alpha texture.
void BM_D3DQuad(benchmark::State& state) {
  const int variant = int(state.range(0));
  Stage3D s;
  s.device->SetTexture(0, s.Texture(1024, 512, variant == 2 ? kA8888 : kX8888));
  s.device->SetTextureStageState(0, D3DTSS_FILTER,
                                 variant == 1 ? D3DTFILTER_LINEAR : D3DTFILTER_POINT);
  if (variant == 2) {
    s.device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    s.device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    s.device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  }
  std::vector<D3DTLVERTEX1> quad;
  AddQuad(quad, -0.5f, -0.5f, kW - 0.5f, kH - 0.5f, kW / 1024.0f, kH / 512.0f);
  for (auto _ : state) {
    s.Draw(quad);
    benchmark::ClobberMemory();
  }
  std::vector<uint8_t> from(size_t(kW) * kH * 4, 1);
  zq::bench::TimeBeside(
      state, double(kW) * kH,
      [&] { zq::bench::CopyRect(s.TargetBytes(), kW * 4, from.data(), kW * 4, kH); },
      [&] { s.Draw(quad); });
  state.counters["pixels/s"] = zq::bench::PixelRate(double(kW) * kH);
}
BENCHMARK(BM_D3DQuad)->ArgName("point_linear_blend")->DenseRange(0, 2);

struct Sprite {
  int x, y;
  float angle;
};

std::vector<Sprite> Sprites() {
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> px(0, kW - 1), py(0, kH - 1);
  std::uniform_real_distribution<float> pa(-3.14159f, 3.14159f);
  std::vector<Sprite> s(kSprites);
  for (auto& e : s) e = {px(rng), py(rng), pa(rng)};
  return s;
}

// Each sprite's corners turned about its centre, less the half pixel.
void AddSprite(std::vector<D3DTLVERTEX1>& v, const Sprite& sp) {
  const float c = std::cos(sp.angle), sn = std::sin(sp.angle), h = kSide / 2.0f;
  auto corner = [&](float dx, float dy, float u, float w) {
    return D3DTLVERTEX1{
        sp.x + dx * c - dy * sn - 0.5f, sp.y + dx * sn + dy * c - 0.5f, 0, 1, 0xFFFFFFFF, u, w};
  };
  const D3DTLVERTEX1 tl = corner(-h, -h, 0, 0), tr = corner(h, -h, 1, 0), bl = corner(-h, h, 0, 1),
                     br = corner(h, h, 1, 1);
  v.insert(v.end(), {tl, tr, bl, bl, tr, br});
}

// Argument: 0 one DrawPrimitive per sprite, blending off; 1 the same with the library's mode-0
// state (source alpha / inverse source alpha, opaque); 2 all sprites in one DrawPrimitive.
void BM_D3DSprites(benchmark::State& state) {
  const int variant = int(state.range(0));
  Stage3D s;
  s.device->SetTexture(0, s.Texture(kSide, kSide, kX8888));
  if (variant == 1) {
    s.device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    s.device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    s.device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  }
  std::vector<std::vector<D3DTLVERTEX1>> each;
  std::vector<D3DTLVERTEX1> all;
  for (const Sprite& sp : Sprites()) {
    each.emplace_back();
    AddSprite(each.back(), sp);
    AddSprite(all, sp);
  }
  for (auto _ : state) {
    s.device->BeginScene();
    if (variant == 2)
      s.device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX1, all.data(),
                              uint32_t(all.size()), 0);
    else
      for (const auto& v : each)
        s.device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX1, v.data(), 6, 0);
    s.device->EndScene();
    benchmark::ClobberMemory();
  }
  state.counters["pixels/s"] = zq::bench::PixelRate(double(kSprites) * kSide * kSide);
}
BENCHMARK(BM_D3DSprites)->ArgName("each_mode0_batched")->DenseRange(0, 2);

// The same sprites drawn by the software renderer in mode 0 (as bench/rotate_bench.cpp).
void BM_SoftRotated32(benchmark::State& state) {
  zq::gfx::g_DrawState = zq::gfx::GraphicsDrawState{};
  zq::gfx::g_DrawState.DrawArea = {0, 0, kW, kH};
  zq::gfx::g_DrawState.BlendParam = 255;
  zq::gfx::g_DrawState.Bright = 0xFFFFFF;
  zq::bench::HashedImage screen(kW, kH, 1);
  zq::bench::HashedImage sprite(kSide, kSide, 1);
  const std::vector<Sprite> sprites = Sprites();
  for (auto _ : state) {
    for (const Sprite& sp : sprites)
      zq::soft::DrawMemImgRotated(&screen.m, &sprite.m, sp.x, sp.y, sp.angle, 1.0f, 0, 0, nullptr);
    benchmark::DoNotOptimize(screen.pixels.data());
    benchmark::ClobberMemory();
  }
  state.counters["pixels/s"] = zq::bench::PixelRate(double(kSprites) * kSide * kSide);
}
BENCHMARK(BM_SoftRotated32);

const bool kMemcpyScreens = zq::bench::RegisterMemcpyScreens(kW, kH);

}  // namespace

BENCHMARK_MAIN();
