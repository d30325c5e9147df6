// The Direct3D stand-in's drawing where the random model (d3d_model_test.cpp) does not reach:
// edges on pixel centres, the viewport scissor, Clear, and the failures that leave the target
// untouched. Expectations worked by hand from the device's rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "platform/d3d/d3d.h"
#include "platform/d3d_test_support.h"

namespace zq::platform {
namespace {

class D3DDraw : public D3DFixture {
 protected:
  // Two triangles from (x0, y0) to (x1, y1), texture coordinates 0 to 1 in both pairs.
  static std::vector<D3DTLVERTEX2> Quad(float x0, float y0, float x1, float y1, uint32_t color) {
    const D3DTLVERTEX2 tl{x0, y0, 0, 1, color, 0, 0, 0, 0}, tr{x1, y0, 0, 1, color, 1, 0, 1, 0},
        bl{x0, y1, 0, 1, color, 0, 1, 0, 1}, br{x1, y1, 0, 1, color, 1, 1, 1, 1};
    return {tl, tr, bl, bl, tr, br};
  }
  HRESULT Draw(float x0, float y0, float x1, float y1, uint32_t color) {
    const std::vector<D3DTLVERTEX2> v = Quad(x0, y0, x1, y1, color);
    EXPECT_EQ(device->BeginScene(), DD_OK);
    const HRESULT hr = device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX2, v.data(), 6, 0);
    EXPECT_EQ(device->EndScene(), DD_OK);
    return hr;
  }
  // Every pixel of the 8 x 8 target is inside(x, y) ? in : out.
  template <class F>
  void ExpectTarget(F inside, uint32_t in, uint32_t out = 0) {
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        EXPECT_EQ(target->TestGetPixel(x, y), inside(x, y) ? in : out) << x << "," << y;
  }
};

TEST_F(D3DDraw, CoverageByPixelCentresAndTheTopLeftRule) {
  ASSERT_EQ(Draw(1.5f, 1.5f, 4.5f, 3.5f, 0xFF102030), DD_OK);
  ExpectTarget([](int x, int y) { return x >= 2 && x <= 4 && y >= 2 && y <= 3; }, 0x102030);
  // Corners on pixel centres: the left and top edges take their centres, right and bottom not;
  // with one / one blending the pixels of the shared diagonal are covered once.
  Paint(target.get(), [](int, int) { return 0u; });
  for (auto [s, v] : {std::pair{D3DRENDERSTATE_ALPHABLENDENABLE, 1u},
                      {D3DRENDERSTATE_SRCBLEND, uint32_t(D3DBLEND_ONE)},
                      {D3DRENDERSTATE_DESTBLEND, uint32_t(D3DBLEND_ONE)}})
    ASSERT_EQ(device->SetRenderState(s, v), DD_OK);
  ASSERT_EQ(Draw(2, 2, 4, 4, 0x10101010), DD_OK);
  ExpectTarget([](int x, int y) { return x >= 2 && x <= 3 && y >= 2 && y <= 3; }, 0x101010);
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
  EXPECT_EQ(
      (std::vector<uint32_t>{s->TestGetPixel(1, 0), s->TestGetPixel(7, 7), s->TestGetPixel(2, 0)}),
      (std::vector<uint32_t>{0xFC08, 0xFC08, 0}));
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
  SurfacePtr tex = Make(3, 1, kX8888);
  ASSERT_EQ(device->SetTexture(0, tex.get()), DD_OK);
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
  SurfacePtr tex = Make(2, 2, k565);
  ASSERT_EQ(device->SetTexture(0, tex.get()), DD_OK);
  const auto quad = Quad(-0.5f, -0.5f, 7.5f, 7.5f, 0xFFFFFFFF);
  const auto list = D3DPT_TRIANGLELIST;
  auto none = [](D3DTLVERTEX2&) {};
  auto draw = [&](uint32_t fvf, uint32_t n, D3DPRIMITIVETYPE type, auto change) {
    std::vector<D3DTLVERTEX2> v = quad;
    change(v[4]);
    return device->DrawPrimitive(type, fvf, v.data(), n, 0);
  };
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
  ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1), DD_OK);  // pair 1 of one
  EXPECT_EQ(draw(D3DFVF_TLVERTEX1, 3, list, none), D3DERR_INVALIDVERTEXFORMAT);
  ASSERT_EQ(device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0), DD_OK);
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
