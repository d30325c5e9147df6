// The Direct3D stand-in's drawing, each expectation worked by hand from the device's rules
// (raster.h, pixel_pipeline.h): coverage, sampling, widening, stages, keys, alpha test, blending,
// writing, Clear, viewport scissor, and the failures that leave the target untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/d3d/d3d.h"
#include "platform/d3d_test_support.h"

namespace zq::platform {
namespace {

using Pixels = std::vector<uint32_t>;

class D3DDraw : public D3DFixture {
 protected:
  // Two triangles (top-left, top-right, bottom-left; bottom-left, top-right, bottom-right) from
  // (x0, y0) to (x1, y1), texture coordinates 0 to 1 in both pairs.
  static std::vector<D3DTLVERTEX2> Quad(float x0, float y0, float x1, float y1, uint32_t color) {
    const D3DTLVERTEX2 tl{x0, y0, 0, 1, color, 0, 0, 0, 0}, tr{x1, y0, 0, 1, color, 1, 0, 1, 0},
        bl{x0, y1, 0, 1, color, 0, 1, 0, 1}, br{x1, y1, 0, 1, color, 1, 1, 1, 1};
    return {tl, tr, bl, bl, tr, br};
  }
  HRESULT Draw(const std::vector<D3DTLVERTEX2>& v) {
    EXPECT_EQ(device->BeginScene(), DD_OK);
    const HRESULT hr = device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX2, v.data(),
                                             uint32_t(v.size()), 0);
    EXPECT_EQ(device->EndScene(), DD_OK);
    return hr;
  }
  HRESULT Draw(float x0, float y0, float x1, float y1, uint32_t color = 0xFFFFFFFF) {
    return Draw(Quad(x0, y0, x1, y1, color));
  }
  void Render(D3DRENDERSTATETYPE s, uint32_t v) { ASSERT_EQ(device->SetRenderState(s, v), DD_OK); }
  void Stage(uint32_t stage, D3DTEXTURESTAGESTATETYPE s, uint32_t v) {
    ASSERT_EQ(device->SetTextureStageState(stage, s, v), DD_OK);
  }
  void Blend(uint32_t src, uint32_t dst) {
    Render(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
    Render(D3DRENDERSTATE_SRCBLEND, src);
    Render(D3DRENDERSTATE_DESTBLEND, dst);
  }
  // A texture of the texels given row by row, bound to the stage.
  SurfacePtr Texture(uint32_t w, uint32_t h, const PixelFormat& f, const Pixels& texels,
                     uint32_t stage = 0) {
    SurfacePtr t = Make(w, h, f);
    Paint(t.get(), [&](int x, int y) { return texels[size_t(y) * w + size_t(x)]; });
    EXPECT_EQ(device->SetTexture(stage, t.get()), DD_OK);
    return t;
  }
  // Every pixel of the 8 x 8 target is inside(x, y) ? in : out.
  template <class F>
  void ExpectTarget(F inside, uint32_t in, uint32_t out = 0) {
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        EXPECT_EQ(target->TestGetPixel(x, y), inside(x, y) ? in : out) << x << "," << y;
  }
  static Pixels Row(DirectDrawSurface* s, int y, int x0, int x1) {
    Pixels r;
    for (int x = x0; x < x1; ++x) r.push_back(s->TestGetPixel(x, y));
    return r;
  }
  void Fill(DirectDrawSurface* s, uint32_t v) {
    Paint(s, [v](int, int) { return v; });
  }
};

TEST_F(D3DDraw, CoverageByPixelCentresAndTheTopLeftRule) {
  ASSERT_EQ(Draw(1.5f, 1.5f, 4.5f, 3.5f, 0xFF102030), DD_OK);
  ExpectTarget([](int x, int y) { return x >= 2 && x <= 4 && y >= 2 && y <= 3; }, 0x102030);
  // Corners on pixel centres: the left and top edges take their centres, right and bottom not;
  // with one / one blending the pixels of the shared diagonal are covered once.
  Fill(target.get(), 0);
  Blend(D3DBLEND_ONE, D3DBLEND_ONE);
  ASSERT_EQ(Draw(2, 2, 4, 4, 0x10101010), DD_OK);
  ExpectTarget([](int x, int y) { return x >= 2 && x <= 3 && y >= 2 && y <= 3; }, 0x101010);
}

TEST_F(D3DDraw, PointAndLinearSampling) {
  SurfacePtr t = Texture(2, 2, k565, {0xF800, 0x07E0, 0x001F, 0xFFFF});
  for (uint32_t filter : {D3DTFILTER_POINT, D3DTFILTER_LINEAR}) {  // at 1:1 the same texels
    Stage(0, D3DTSS_FILTER, filter);
    Fill(target.get(), 0);
    ASSERT_EQ(Draw(2.5f, 2.5f, 4.5f, 4.5f), DD_OK);
    EXPECT_EQ(Row(target.get(), 3, 2, 6), (Pixels{0, 0x00FF0000, 0x0000FF00, 0}));
    EXPECT_EQ(Row(target.get(), 4, 2, 6), (Pixels{0, 0x000000FF, 0x00FFFFFF, 0}));
  }
  // Grey 0 and 255 stretched over 4 pixels: centres at s' = -64, 64, 192, 320 give 0 (texel 0
  // with the clamped texel -1), 255 x 64 / 256, 255 x 192 / 256, 255 (clamped texel 2).
  SurfacePtr grey = Texture(2, 1, kX8888, {0, 0xFFFFFF});
  ASSERT_EQ(Draw(-0.5f, -0.5f, 3.5f, 0.5f), DD_OK);
  EXPECT_EQ(Row(target.get(), 0, 0, 4), (Pixels{0, 0x3F3F3F, 0xBFBFBF, 0xFFFFFF}));
}

TEST_F(D3DDraw, WideningModulateAndWriting) {
  SurfacePtr argb = Make(4, 1, kA8888, kTarget), t565 = Make(4, 1, k565, kTarget);
  ASSERT_EQ(device->SetRenderTarget(argb.get(), 0), DD_OK);
  // 4:4:4:4 alpha 8 reads 136; 5:6:5 red 16 reads 131, green 32 reads 129, alpha 255.
  SurfacePtr t4 = Texture(1, 1, k4444, {0x8000});
  ASSERT_EQ(Draw(-0.5f, -0.5f, 0.5f, 0.5f), DD_OK);
  SurfacePtr t5 = Texture(1, 1, k565, {16u << 11 | 32u << 5});
  ASSERT_EQ(Draw(0.5f, -0.5f, 1.5f, 0.5f), DD_OK);
  // Modulate: (200, 100, 50) x (128, 255, 0) / 255 = (100, 100, 0); alpha 128 x 200 / 255 = 100.
  SurfacePtr t8 = Texture(1, 1, kA8888, {0x80C86432});
  Stage(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  Stage(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  ASSERT_EQ(Draw(1.5f, -0.5f, 2.5f, 0.5f, 0xC880FF00), DD_OK);
  EXPECT_EQ(Row(argb.get(), 0, 0, 3), (Pixels{0x88000000, 0xFF838100, 0x64646400}));
  // 5:6:5 drops low bits: (100, 100, 0) -> (12, 25, 0); selecting the diffuse (8, 252, 16)
  // ignores the texture -> (1, 63, 2).
  ASSERT_EQ(device->SetRenderTarget(t565.get(), 0), DD_OK);
  ASSERT_EQ(Draw(-0.5f, -0.5f, 0.5f, 0.5f, 0xC880FF00), DD_OK);
  Stage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  ASSERT_EQ(Draw(0.5f, -0.5f, 1.5f, 0.5f, 0xFF08FC10), DD_OK);
  EXPECT_EQ(Row(t565.get(), 0, 0, 2), (Pixels{12u << 11 | 25u << 5, 1u << 11 | 63u << 5 | 2u}));
}

// Widening and narrowing of a w-bit channel, written from the rules.
uint32_t Widen(uint32_t v, uint32_t w) {
  return v * 255 / ((1u << w) - 1);
}
uint32_t Narrow(uint32_t c, uint32_t w) {
  return c >> (8 - w);
}

TEST_F(D3DDraw, BlendFactorsAt32And16Bits) {
  const struct {
    uint32_t src, dst, target[3], expect[3];  // expect: 32 bits, worked by hand
  } cases[] = {
      {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, {100, 150, 200}, {149, 124, 124}},
      {D3DBLEND_SRCALPHA, D3DBLEND_ONE, {100, 150, 200}, {200, 200, 225}},
      {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, {100, 150, 200}, {121, 41, 10}},
      {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, {100, 150, 200}, {78, 58, 39}},
      {D3DBLEND_ONE, D3DBLEND_ONE, {200, 200, 200}, {255, 255, 250}},
  };
  SurfacePtr t = Texture(1, 1, kA8888, {0x80C86432});  // (200, 100, 50), alpha 128
  SurfacePtr t565 = Make(4, 1, k565, kTarget);
  const uint32_t src[3] = {200, 100, 50}, widths[3] = {5, 6, 5}, shifts[3] = {11, 5, 0};
  for (const auto& c : cases) {
    Blend(c.src, c.dst);
    ASSERT_EQ(device->SetRenderTarget(target.get(), 0), DD_OK);
    Fill(target.get(), c.target[0] << 16 | c.target[1] << 8 | c.target[2]);
    ASSERT_EQ(Draw(-0.5f, -0.5f, 3.5f, 0.5f), DD_OK);  // four pixels of the one texel
    EXPECT_EQ(Row(target.get(), 0, 0, 4),
              Pixels(4, c.expect[0] << 16 | c.expect[1] << 8 | c.expect[2]));
    // 5:6:5: the target narrowed, read back widened, blended, narrowed again.
    ASSERT_EQ(device->SetRenderTarget(t565.get(), 0), DD_OK);
    uint32_t before = 0, after = 0;
    for (int i = 0; i < 3; ++i) before |= Narrow(c.target[i], widths[i]) << shifts[i];
    Fill(t565.get(), before);
    ASSERT_EQ(Draw(-0.5f, -0.5f, 0.5f, 0.5f), DD_OK);
    for (int i = 0; i < 3; ++i) {
      const uint32_t s = src[i], d = Widen(Narrow(c.target[i], widths[i]), widths[i]), a = 128;
      const uint32_t factor[] = {0, 0, 255, s, a, 255 - a, 255 - d};  // by D3DBLEND_*
      const uint32_t v = s * factor[c.src] / 255 + d * factor[c.dst] / 255;
      after |= Narrow(std::min<uint32_t>(v, 255), widths[i]) << shifts[i];
    }
    EXPECT_EQ(t565->TestGetPixel(0, 0), after) << c.src << "/" << c.dst;
  }
}

TEST_F(D3DDraw, InverseDestinationTwiceRestoresEveryValue) {
  Blend(D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO);
  for (const PixelFormat* f : {&k565, &kA8888}) {
    SurfacePtr s = Make(256, 256, *f, kTarget);
    // Every 16-bit value, or every 8-bit value in each channel.
    auto value = [&](int x, int y) {
      return f == &k565 ? uint32_t(y * 256 + x) : uint32_t(x * 0x01010101u ^ uint32_t(y << 8));
    };
    Paint(s.get(), value);
    ASSERT_EQ(device->SetRenderTarget(s.get(), 0), DD_OK);
    ASSERT_EQ(Draw(-0.5f, -0.5f, 255.5f, 255.5f), DD_OK);
    const uint32_t all = f == &k565 ? 0xFFFFu : 0xFFFFFFFFu;
    EXPECT_EQ(s->TestGetPixel(37, 201), all - value(37, 201));  // max - v in every channel
    ASSERT_EQ(Draw(-0.5f, -0.5f, 255.5f, 255.5f), DD_OK);
    int wrong = 0;
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) wrong += s->TestGetPixel(x, y) != value(x, y);
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(D3DDraw, ColourKeyAlphaTestAndStageOne) {
  // Plain 5:6:5 keyed on magenta; an X8:8:8 texel 0x00FF00FF against key 0xFFFF00FF (channel
  // bits only); with linear sampling the nearest texel decides and the filter reads the keyed
  // texel as it is (pixel 1: 255 x 64 / 256 red and blue, 255 x 192 / 256 green).
  SurfacePtr t = Texture(2, 1, k565, {0x07E0, 0xF81F});
  SurfacePtr x8 = Make(1, 1, kX8888);
  Paint(x8.get(), [](int, int) { return 0x00FF00FFu; });
  for (const auto& [s, k] : {std::pair{t.get(), 0xF81Fu}, std::pair{x8.get(), 0xFFFF00FFu}}) {
    ColorKey key{k, k};
    ASSERT_EQ(s->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  }
  const struct {
    uint32_t keyOn, filter;
    Pixels row;
  } keyed[] = {{0, D3DTFILTER_POINT, {0x00FF00, 0xFF00FF, 0x123456, 0xFF00FF}},
               {1, D3DTFILTER_POINT, {0x00FF00, 0x123456, 0x123456, 0x123456}},
               {1, D3DTFILTER_LINEAR, {0x00FF00, 0x3FBF3F, 0x123456, 0x123456}}};
  for (const auto& c : keyed) {
    Render(D3DRENDERSTATE_COLORKEYENABLE, c.keyOn);
    Stage(0, D3DTSS_FILTER, c.filter);
    ASSERT_EQ(device->SetTexture(0, t.get()), DD_OK);
    Fill(target.get(), 0x123456);
    ASSERT_EQ(Draw(-0.5f, -0.5f, c.filter == D3DTFILTER_POINT ? 1.5f : 3.5f, 0.5f), DD_OK);
    ASSERT_EQ(device->SetTexture(0, x8.get()), DD_OK);
    ASSERT_EQ(Draw(2.5f, -0.5f, 3.5f, 0.5f), DD_OK);
    EXPECT_EQ(Row(target.get(), 0, 0, 4), c.row);
  }
  Render(D3DRENDERSTATE_COLORKEYENABLE, 0);
  Stage(0, D3DTSS_FILTER, D3DTFILTER_POINT);

  // Alpha test: greater than 0 drops 1:5:5:5 texels with the alpha bit clear; at least 0 keeps
  // them.
  SurfacePtr a1 = Texture(2, 1, k1555, {0xFC00, 0x7C00});
  Render(D3DRENDERSTATE_ALPHATESTENABLE, 1);
  for (const auto& [func, second] :
       {std::pair{D3DCMP_GREATER, 0x123456u}, std::pair{D3DCMP_GREATEREQUAL, 0xFF0000u}}) {
    Render(D3DRENDERSTATE_ALPHAFUNC, func);
    Fill(target.get(), 0x123456);
    ASSERT_EQ(Draw(-0.5f, -0.5f, 1.5f, 0.5f), DD_OK);
    EXPECT_EQ(Row(target.get(), 0, 0, 2), (Pixels{0xFF0000, second}));
  }
  Render(D3DRENDERSTATE_ALPHATESTENABLE, 0);

  // Stage 1 multiplies the alpha by its texture's alpha (128 x 200 / 255 = 100, 255 x 200 / 255
  // = 200), point-sampled at its own coordinates; the colour passes through.
  SurfacePtr argb = Make(2, 1, kA8888, kTarget);
  ASSERT_EQ(device->SetRenderTarget(argb.get(), 0), DD_OK);
  SurfacePtr c0 = Texture(1, 1, kA8888, {0xC8102030});
  SurfacePtr b1 = Texture(2, 1, kA8888, {0x80FFFFFF, 0xFF000000}, 1);
  Stage(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  Stage(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
  Stage(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  ASSERT_EQ(Draw(-0.5f, -0.5f, 1.5f, 0.5f), DD_OK);
  EXPECT_EQ(Row(argb.get(), 0, 0, 2), (Pixels{0x64102030, 0xC8102030}));
}

TEST_F(D3DDraw, ViewportScissorsDrawsAndClears) {
  const D3DVIEWPORT7 vp{2, 2, 3, 3, 0, 1};
  ASSERT_EQ(device->SetViewport(&vp), DD_OK);
  auto inside = [](int x, int y) { return x >= 2 && x <= 4 && y >= 2 && y <= 4; };
  ASSERT_EQ(Draw(-100, -100, 100, 100, 0xFF0000FF), DD_OK);
  ExpectTarget(inside, 0xFF);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00), DD_OK);
  ExpectTarget(inside, 0xFF00);
  // Rectangles are cut to the viewport; the colour is packed as a pixel is written: 0x80FF8040
  // gives (31, 32, 8) in 5:6:5.
  SurfacePtr s = Make(8, 8, k565, kTarget);
  ASSERT_EQ(device->SetRenderTarget(s.get(), 0), DD_OK);
  const RECT rects[2] = {{0, 0, 2, 1}, {6, 6, 20, 20}};
  ASSERT_EQ(device->Clear(2, rects, D3DCLEAR_TARGET, 0x80FF8040), DD_OK);
  EXPECT_EQ((Pixels{s->TestGetPixel(1, 0), s->TestGetPixel(7, 7), s->TestGetPixel(2, 0)}),
            (Pixels{0xFC08, 0xFC08, 0}));
  const RECT inverted{3, 3, 1, 1};
  EXPECT_EQ(device->Clear(1, &inverted, D3DCLEAR_TARGET, 0), DDERR_INVALIDRECT);
  EXPECT_EQ(device->Clear(0, nullptr, 0x2, 0), DDERR_INVALIDPARAMS);
}

// Each limit holds to the last float: |x|, |y| <= 2^17, 0 < 1/w <= FLT_MAX, |u| x W and
// |v| x H <= 2^22 for a sampled pair (W = 3: 2^22 / 3 lies between the floats 1398101.25 and
// 1398101.375), anything in a pair no stage samples.
TEST_F(D3DDraw, VertexLimitsHoldToTheLastFloat) {
  D3DDEVICEDESC7 desc = d3dtest::DefaultDevices()[1].desc;
  desc.dwTextureCaps = 0;  // any texture size
  d3dtest::SetDevices({{"any size", "HAL", desc}});
  device->Release();
  device = nullptr;
  ASSERT_EQ(d3d->CreateDevice(kHal, target.get(), &device), DD_OK);
  SurfacePtr tex = Texture(3, 1, kX8888, Pixels(3, 0));
  const float above = std::numeric_limits<float>::infinity();
  auto next = [](float v, float to) { return std::nextafter(v, to); };
  const struct {
    float D3DTLVERTEX2::*field;
    float value;
    HRESULT result;
  } cases[] = {
      {&D3DTLVERTEX2::sx, 131072.0f, DD_OK},
      {&D3DTLVERTEX2::sx, next(131072.0f, above), DDERR_INVALIDPARAMS},
      {&D3DTLVERTEX2::sy, -131072.0f, DD_OK},
      {&D3DTLVERTEX2::sy, next(-131072.0f, -above), DDERR_INVALIDPARAMS},
      {&D3DTLVERTEX2::rhw, std::numeric_limits<float>::max(), DD_OK},
      {&D3DTLVERTEX2::rhw, std::numeric_limits<float>::denorm_min(), DD_OK},
      {&D3DTLVERTEX2::rhw, above, DDERR_INVALIDPARAMS},
      {&D3DTLVERTEX2::rhw, -1.0f, DDERR_INVALIDPARAMS},
      {&D3DTLVERTEX2::tu, 1398101.25f, DD_OK},
      {&D3DTLVERTEX2::tu, -1398101.375f, DDERR_INVALIDPARAMS},
      {&D3DTLVERTEX2::tv, 4194304.0f, DD_OK},
      {&D3DTLVERTEX2::tv, next(4194304.0f, above), DDERR_INVALIDPARAMS},
      {&D3DTLVERTEX2::tu2, std::numeric_limits<float>::quiet_NaN(), DD_OK},
  };
  ASSERT_EQ(device->BeginScene(), DD_OK);
  for (const auto& c : cases) {
    std::vector<D3DTLVERTEX2> v = Quad(0, 0, 1, 1, 0xFFFFFFFF);
    v[4].*c.field = c.value;
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX2, v.data(), 6, 0), c.result)
        << c.value;
  }
  ASSERT_EQ(device->EndScene(), DD_OK);
}

TEST_F(D3DDraw, FailuresLeaveTheTargetUnchanged) {
  Paint(target.get(), [](int x, int y) { return uint32_t(x + 8 * y); });
  const std::vector<uint8_t> before = target->TestReadBack();
  SurfacePtr tex = Texture(2, 2, k565, Pixels(4, 0xFFFF));
  const auto quad = Quad(-0.5f, -0.5f, 7.5f, 7.5f, 0xFFFFFFFF);
  auto draw = [&](uint32_t fvf, uint32_t n, D3DPRIMITIVETYPE type, auto change) {
    std::vector<D3DTLVERTEX2> v = quad;
    change(v[4]);
    return device->DrawPrimitive(type, fvf, v.data(), n, 0);
  };
  const auto list = D3DPT_TRIANGLELIST;
  auto none = [](D3DTLVERTEX2&) {};
  ASSERT_EQ(device->BeginScene(), DD_OK);
  const HRESULT refused[] = {
      draw(D3DFVF_TLVERTEX2, 6, list,
           [](D3DTLVERTEX2& v) { v.sx = std::numeric_limits<float>::quiet_NaN(); }),
      draw(D3DFVF_TLVERTEX2, 6, list, [](D3DTLVERTEX2& v) { v.rhw = 0; }),
      draw(D3DFVF_TLVERTEX2, 6, list, [](D3DTLVERTEX2& v) { v.tu = 3e6f; }),  // 2^22 texels
      draw(D3DFVF_TLVERTEX2, 6, list, [](D3DTLVERTEX2& v) { v.sy = 2e5f; }),
      draw(D3DFVF_TLVERTEX2, 5, list, none),
      draw(D3DFVF_TLVERTEX2, 2, D3DPT_TRIANGLESTRIP, none),
      draw(D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 6, list, none),
      draw(D3DFVF_TLVERTEX2, 6, D3DPRIMITIVETYPE(1), none)};
  EXPECT_EQ(std::vector<HRESULT>(std::begin(refused), std::end(refused)),
            (std::vector<HRESULT>{DDERR_INVALIDPARAMS, DDERR_INVALIDPARAMS, DDERR_INVALIDPARAMS,
                                  DDERR_INVALIDPARAMS, DDERR_INVALIDPARAMS, DDERR_INVALIDPARAMS,
                                  D3DERR_INVALIDVERTEXFORMAT, D3DERR_INVALIDPRIMITIVETYPE}));
  Stage(0, D3DTSS_TEXCOORDINDEX, 1);  // pair 1 of one-pair vertices
  EXPECT_EQ(draw(D3DFVF_TLVERTEX1, 3, list, none), D3DERR_INVALIDVERTEXFORMAT);
  Stage(0, D3DTSS_TEXCOORDINDEX, 0);
  // Lost target, then lost texture: nothing drawn, nor cleared.
  ddtest::MakeAllSurfacesLost();
  EXPECT_EQ(draw(D3DFVF_TLVERTEX2, 6, list, none), DDERR_SURFACELOST);
  ASSERT_EQ(device->EndScene(), DD_OK);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF), DDERR_SURFACELOST);
  EXPECT_EQ(target->TestReadBack(), before);
  ASSERT_EQ(target->Restore(), DD_OK);
  Paint(target.get(), [](int x, int y) { return uint32_t(x + 8 * y); });
  ASSERT_EQ(device->BeginScene(), DD_OK);
  EXPECT_EQ(draw(D3DFVF_TLVERTEX2, 6, list, none), DDERR_SURFACELOST);
  EXPECT_EQ(target->TestReadBack(), before);
  // A texture that is also the render target is not read while written.
  SurfacePtr both = Make(8, 8, kX8888, DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE);
  ASSERT_EQ(device->SetTexture(0, both.get()), DD_OK);
  ASSERT_EQ(device->SetRenderTarget(both.get(), 0), DD_OK);
  EXPECT_EQ(draw(D3DFVF_TLVERTEX2, 6, list, none), DDERR_INVALIDPARAMS);
  ASSERT_EQ(device->EndScene(), DD_OK);
  EXPECT_EQ(d3dtest::GetCounters().drawPrimitive, 0);
}

}  // namespace
}  // namespace zq::platform
