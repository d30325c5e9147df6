// The Direct3D stand-in's drawing, each expectation worked by hand from the device's rules
// (raster.h, pixel_pipeline.h): coverage, sampling, widening, stages, keys, alpha test, blending,
// writing, Clear, viewport scissor, and the failures that leave the target untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/d3d/d3d.h"
#include "platform/d3d_test_support.h"

namespace zq::platform {
namespace {

class D3DDraw : public D3DFixture {
 protected:
  // Writes value(x, y) into every pixel through a lock.
  template <class F>
  void Paint(DirectDrawSurface* s, F value) {
    SurfaceDesc d;
    ASSERT_EQ(s->Lock(nullptr, &d, 0), DD_OK);
    const uint32_t bytes = d.pixelFormat.rgbBitCount / 8;
    for (uint32_t y = 0; y < d.height; ++y)
      for (uint32_t x = 0; x < d.width; ++x) {
        const uint32_t v = value(int(x), int(y));
        std::memcpy(static_cast<uint8_t*>(d.surface) + y * uint32_t(d.pitch) + x * bytes, &v,
                    bytes);
      }
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
  }

  // Two triangles (top-left, top-right, bottom-left; bottom-left, top-right, bottom-right) from
  // (x0, y0) to (x1, y1), texture coordinates (u0, v0) to (u1, v1) in both pairs.
  static std::vector<D3DTLVERTEX2> Quad(float x0, float y0, float x1, float y1, uint32_t color,
                                        float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1) {
    const D3DTLVERTEX2 tl{x0, y0, 0, 1, color, u0, v0, u0, v0};
    const D3DTLVERTEX2 tr{x1, y0, 0, 1, color, u1, v0, u1, v0};
    const D3DTLVERTEX2 bl{x0, y1, 0, 1, color, u0, v1, u0, v1};
    const D3DTLVERTEX2 br{x1, y1, 0, 1, color, u1, v1, u1, v1};
    return {tl, tr, bl, bl, tr, br};
  }

  HRESULT Draw(const std::vector<D3DTLVERTEX2>& v) {
    EXPECT_EQ(device->BeginScene(), DD_OK);
    const HRESULT hr = device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX2, v.data(),
                                             uint32_t(v.size()), 0);
    EXPECT_EQ(device->EndScene(), DD_OK);
    return hr;
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
  // A texture of w x h in the format, painted with value(x, y), bound to the stage.
  template <class F>
  SurfacePtr Texture(uint32_t w, uint32_t h, const PixelFormat& f, F value, uint32_t stage = 0) {
    SurfacePtr t = Make(w, h, f);
    Paint(t.get(), value);
    EXPECT_EQ(device->SetTexture(stage, t.get()), DD_OK);
    return t;
  }
  // The target's pixels at y within [x0, x1).
  std::vector<uint32_t> Row(DirectDrawSurface* s, int y, int x0, int x1) {
    std::vector<uint32_t> r;
    for (int x = x0; x < x1; ++x) r.push_back(s->TestGetPixel(x, y));
    return r;
  }
  using Pixels = std::vector<uint32_t>;
};

TEST_F(D3DDraw, CoverageByPixelCentresAndTheTopLeftRule) {
  ASSERT_EQ(Draw(Quad(1.5f, 1.5f, 4.5f, 3.5f, 0xFF102030)), DD_OK);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(target->TestGetPixel(x, y),
                (x >= 2 && x <= 4 && y >= 2 && y <= 3) ? 0x00102030u : 0u)
          << x << "," << y;
  // Corners on pixel centres: the left and top edges take their centres, right and bottom not;
  // with one / one blending the pixels of the shared diagonal are covered once.
  Paint(target.get(), [](int, int) { return 0u; });
  Blend(D3DBLEND_ONE, D3DBLEND_ONE);
  ASSERT_EQ(Draw(Quad(2, 2, 4, 4, 0x10101010)), DD_OK);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(target->TestGetPixel(x, y), (x >= 2 && x <= 3 && y >= 2 && y <= 3) ? 0x101010u : 0u)
          << x << "," << y;
  // Snapping to 1/16: 1.53 takes 1.5 (24.48 -> 24), 1.47 too; 4.47 -> 4.5 (71.52 -> 72).
  Paint(target.get(), [](int, int) { return 0u; });
  ASSERT_EQ(Draw(Quad(1.47f, 1.53f, 4.47f, 2.53f, 0x10101010)), DD_OK);
  EXPECT_EQ(Row(target.get(), 2, 1, 6), (Pixels{0, 0x101010, 0x101010, 0x101010, 0}));
  EXPECT_EQ(Row(target.get(), 3, 1, 6), (Pixels{0, 0, 0, 0, 0}));
}

TEST_F(D3DDraw, PointSamplingAtOneToOne) {
  SurfacePtr t = Texture(2, 2, k565, [](int x, int y) {
    const uint32_t v[2][2] = {{0xF800, 0x07E0}, {0x001F, 0xFFFF}};
    return v[y][x];
  });
  ASSERT_EQ(Draw(Quad(2.5f, 2.5f, 4.5f, 4.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(Row(target.get(), 3, 2, 6), (Pixels{0, 0x00FF0000, 0x0000FF00, 0}));
  EXPECT_EQ(Row(target.get(), 4, 2, 6), (Pixels{0, 0x000000FF, 0x00FFFFFF, 0}));
  // Linear sampling at 1:1 takes the same texels (weights 0).
  Stage(0, D3DTSS_FILTER, D3DTFILTER_LINEAR);
  Paint(target.get(), [](int, int) { return 0u; });
  ASSERT_EQ(Draw(Quad(2.5f, 2.5f, 4.5f, 4.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(Row(target.get(), 3, 2, 6), (Pixels{0, 0x00FF0000, 0x0000FF00, 0}));
  EXPECT_EQ(Row(target.get(), 4, 2, 6), (Pixels{0, 0x000000FF, 0x00FFFFFF, 0}));
}

TEST_F(D3DDraw, LinearSamplingStretchedWithClampAndWrap) {
  SurfacePtr t = Texture(2, 1, kX8888, [](int x, int) { return x ? 0xFFFFFFu : 0u; });
  Stage(0, D3DTSS_FILTER, D3DTFILTER_LINEAR);
  // Centres at u = 1/8, 3/8, 5/8, 7/8: s' = -64, 64, 192, 320 -> 0, 255 x 64/256, 255 x 192/256,
  // and texel 1 with the clamped texel 2.
  ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 3.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(Row(target.get(), 0, 0, 4), (Pixels{0, 0x3F3F3F, 0xBFBFBF, 0xFFFFFF}));
  // Wrapped, texel -1 is texel 1 and texel 2 is texel 0: 255 x 64/256, then as before, then
  // 255 x 192/256 from texel 1 weighted 192.
  Stage(0, D3DTSS_ADDRESS, D3DTADDRESS_WRAP);
  ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 3.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(Row(target.get(), 0, 0, 4), (Pixels{0x3F3F3F, 0x3F3F3F, 0xBFBFBF, 0xBFBFBF}));
}

TEST_F(D3DDraw, WideningModulateAndWriting) {
  // 4:4:4:4 alpha 8 reads 136; 5:6:5 red 16 reads 131 and green 32 reads 129.
  SurfacePtr argb = Make(4, 1, kA8888, kTarget);
  ASSERT_EQ(device->SetRenderTarget(argb.get(), 0), DD_OK);
  SurfacePtr t4 = Texture(1, 1, k4444, [](int, int) { return 0x8000u; });
  ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(argb->TestGetPixel(0, 0), 0x88000000u);
  SurfacePtr t5 = Texture(1, 1, k565, [](int, int) { return (16u << 11) | (32u << 5); });
  ASSERT_EQ(Draw(Quad(0.5f, -0.5f, 1.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(argb->TestGetPixel(1, 0), 0xFF838100u);  // no alpha in the texture: 255
  // Modulate: (200, 100, 50) x (128, 255, 0) / 255 = (100, 100, 0); alpha 128 x 200 / 255 = 100.
  SurfacePtr t8 = Texture(1, 1, kA8888, [](int, int) { return 0x80C86432u; });
  Stage(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  Stage(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  ASSERT_EQ(Draw(Quad(1.5f, -0.5f, 2.5f, 0.5f, 0xC880FF00)), DD_OK);
  EXPECT_EQ(argb->TestGetPixel(2, 0), 0x64646400u);
  // Writing into 5:6:5 drops low bits: (100, 100, 0) -> (12, 25, 0).
  SurfacePtr t565 = Make(4, 1, k565, kTarget);
  ASSERT_EQ(device->SetRenderTarget(t565.get(), 0), DD_OK);
  ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0xC880FF00)), DD_OK);
  EXPECT_EQ(t565->TestGetPixel(0, 0), (12u << 11) | (25u << 5));
  // Selecting the diffuse colour ignores the texture.
  Stage(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  ASSERT_EQ(Draw(Quad(0.5f, -0.5f, 1.5f, 0.5f, 0xFF08FC10)), DD_OK);
  EXPECT_EQ(t565->TestGetPixel(1, 0), (1u << 11) | (63u << 5) | 2u);
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
    uint32_t src, dst;
    uint32_t target[3];
    uint32_t expect[3];  // 32 bits, worked by hand
  } cases[] = {
      {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, {100, 150, 200}, {149, 124, 124}},
      {D3DBLEND_SRCALPHA, D3DBLEND_ONE, {100, 150, 200}, {200, 200, 225}},
      {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, {100, 150, 200}, {121, 41, 10}},
      {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, {100, 150, 200}, {78, 58, 39}},
      {D3DBLEND_ONE, D3DBLEND_ONE, {200, 200, 200}, {255, 255, 250}},
  };
  SurfacePtr t = Texture(1, 1, kA8888, [](int, int) { return 0x80C86432u; });
  SurfacePtr t565 = Make(1, 1, k565, kTarget);
  const uint32_t src[3] = {200, 100, 50}, widths[3] = {5, 6, 5}, shifts[3] = {11, 5, 0};
  for (const auto& c : cases) {
    Blend(c.src, c.dst);
    ASSERT_EQ(device->SetRenderTarget(target.get(), 0), DD_OK);
    Paint(target.get(),
          [&](int, int) { return c.target[0] << 16 | c.target[1] << 8 | c.target[2]; });
    ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
    EXPECT_EQ(target->TestGetPixel(0, 0), c.expect[0] << 16 | c.expect[1] << 8 | c.expect[2]);
    // 5:6:5: the target narrowed, read back widened, blended, narrowed again.
    ASSERT_EQ(device->SetRenderTarget(t565.get(), 0), DD_OK);
    uint32_t before = 0, after = 0;
    for (int i = 0; i < 3; ++i) before |= Narrow(c.target[i], widths[i]) << shifts[i];
    Paint(t565.get(), [&](int, int) { return before; });
    ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
    for (int i = 0; i < 3; ++i) {
      const uint32_t s = src[i], d = Widen(Narrow(c.target[i], widths[i]), widths[i]), a = 128;
      auto term = [&](uint32_t factor, uint32_t v) {
        const uint32_t f[] = {0, 0, 255, s, a, 255 - a, 255 - d};
        return v * f[factor] / 255;
      };
      after |= Narrow(std::min<uint32_t>(term(c.src, s) + term(c.dst, d), 255), widths[i])
               << shifts[i];
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
      return f == &k565 ? uint32_t(y * 256 + x) : uint32_t(x * 0x01010101u ^ (y << 8));
    };
    Paint(s.get(), value);
    ASSERT_EQ(device->SetRenderTarget(s.get(), 0), DD_OK);
    auto quad = Quad(-0.5f, -0.5f, 255.5f, 255.5f, 0xFFFFFFFF);
    ASSERT_EQ(Draw(quad), DD_OK);
    const uint32_t all = f == &k565 ? 0xFFFFu : 0xFFFFFFFFu;
    EXPECT_EQ(s->TestGetPixel(37, 201), all - value(37, 201));  // max - v in every channel
    ASSERT_EQ(Draw(quad), DD_OK);
    int wrong = 0;
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) wrong += s->TestGetPixel(x, y) != value(x, y);
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(D3DDraw, ColourKeyAlphaTestAndStageOne) {
  // Plain 5:6:5 texture keyed on 0xF81F.
  SurfacePtr t = Texture(2, 1, k565, [](int x, int) { return x ? 0xF81Fu : 0x07E0u; });
  ColorKey key{0xF81F, 0xF81F};
  ASSERT_EQ(t->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  Paint(target.get(), [](int, int) { return 0x123456u; });
  ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 1.5f, 0.5f, 0xFFFFFFFF)), DD_OK);  // key off: drawn
  EXPECT_EQ(Row(target.get(), 0, 0, 2), (Pixels{0x00FF00, 0xFF00FF}));
  Render(D3DRENDERSTATE_COLORKEYENABLE, 1);
  Paint(target.get(), [](int, int) { return 0x123456u; });
  ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 1.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(Row(target.get(), 0, 0, 2), (Pixels{0x00FF00, 0x123456}));
  // The key compares channel bits only: X8:8:8 texel 0x00FF00FF against key 0xFFFF00FF.
  SurfacePtr x8 = Texture(1, 1, kX8888, [](int, int) { return 0x00FF00FFu; });
  key = {0xFFFF00FF, 0xFFFF00FF};
  ASSERT_EQ(x8->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  ASSERT_EQ(Draw(Quad(2.5f, -0.5f, 3.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(target->TestGetPixel(3, 0), 0x123456u);
  // With linear sampling the point texel decides, the filter reads the keyed texels as they are:
  // the quad over the two texels stretched to 4 pixels keeps pixels 0 and 1 (nearest texel 0).
  t.reset();
  SurfacePtr t2 = Texture(2, 1, k565, [](int x, int) { return x ? 0xF81Fu : 0x07E0u; });
  key = {0xF81F, 0xF81F};
  ASSERT_EQ(t2->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  Stage(0, D3DTSS_FILTER, D3DTFILTER_LINEAR);
  Paint(target.get(), [](int, int) { return 0x123456u; });
  ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 3.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(Row(target.get(), 0, 0, 4), (Pixels{0x00FF00, 0x3FBF3F, 0x123456, 0x123456}));
  Render(D3DRENDERSTATE_COLORKEYENABLE, 0);
  Stage(0, D3DTSS_FILTER, D3DTFILTER_POINT);

  // Alpha test greater than 0 drops 1:5:5:5 texels with the alpha bit clear.
  SurfacePtr a1 = Texture(2, 1, k1555, [](int x, int) { return x ? 0x7C00u : 0xFC00u; });
  Render(D3DRENDERSTATE_ALPHATESTENABLE, 1);
  Render(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_GREATER);
  Paint(target.get(), [](int, int) { return 0x123456u; });
  ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 1.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(Row(target.get(), 0, 0, 2), (Pixels{0xFF0000, 0x123456}));
  Render(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_GREATEREQUAL);  // alpha >= 0 keeps both
  ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 1.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(Row(target.get(), 0, 0, 2), (Pixels{0xFF0000, 0xFF0000}));
  Render(D3DRENDERSTATE_ALPHATESTENABLE, 0);

  // Stage 1 multiplies the alpha by its texture's alpha (128 x 200 / 255 = 100), point-sampled
  // at its own coordinates; the colour passes through.
  SurfacePtr argb = Make(2, 1, kA8888, kTarget);
  ASSERT_EQ(device->SetRenderTarget(argb.get(), 0), DD_OK);
  SurfacePtr c0 = Texture(1, 1, kA8888, [](int, int) { return 0xC8102030u; });
  SurfacePtr b1 = Texture(
      2, 1, kA8888, [](int x, int) { return x ? 0xFF000000u : 0x80FFFFFFu; }, 1);
  Stage(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  Stage(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
  Stage(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  Stage(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  ASSERT_EQ(Draw(Quad(-0.5f, -0.5f, 1.5f, 0.5f, 0xFFFFFFFF)), DD_OK);
  EXPECT_EQ(Row(argb.get(), 0, 0, 2), (Pixels{0x64102030, 0xC8102030}));
}

TEST_F(D3DDraw, ViewportScissorsDrawsAndClears) {
  const D3DVIEWPORT7 vp{2, 2, 3, 3, 0, 1};
  ASSERT_EQ(device->SetViewport(&vp), DD_OK);
  auto inside = [](int x, int y) { return x >= 2 && x <= 4 && y >= 2 && y <= 4; };
  ASSERT_EQ(Draw(Quad(-100, -100, 100, 100, 0xFF0000FF)), DD_OK);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(target->TestGetPixel(x, y), inside(x, y) ? 0xFFu : 0u);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00), DD_OK);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(target->TestGetPixel(x, y), inside(x, y) ? 0xFF00u : 0u);
  // Rectangles are cut to the viewport; the colour is packed as a pixel is written.
  SurfacePtr s = Make(8, 8, k565, kTarget);
  ASSERT_EQ(device->SetRenderTarget(s.get(), 0), DD_OK);
  const RECT rects[2] = {{0, 0, 2, 1}, {6, 6, 20, 20}};
  ASSERT_EQ(device->Clear(2, rects, D3DCLEAR_TARGET, 0x80FF8040), DD_OK);
  EXPECT_EQ(s->TestGetPixel(1, 0), 0xFC08u);
  EXPECT_EQ(s->TestGetPixel(7, 7), 0xFC08u);
  EXPECT_EQ(s->TestGetPixel(2, 0), 0u);
  const RECT inverted{3, 3, 1, 1};
  EXPECT_EQ(device->Clear(1, &inverted, D3DCLEAR_TARGET, 0), DDERR_INVALIDRECT);
  EXPECT_EQ(device->Clear(0, nullptr, 0x2, 0), DDERR_INVALIDPARAMS);
}

TEST_F(D3DDraw, FailuresLeaveTheTargetUnchanged) {
  Paint(target.get(), [](int x, int y) { return uint32_t(x + 8 * y); });
  const std::vector<uint8_t> before = target->TestReadBack();
  SurfacePtr tex = Texture(2, 2, k565, [](int, int) { return 0xFFFFu; });
  auto quad = Quad(-0.5f, -0.5f, 7.5f, 7.5f, 0xFFFFFFFF);
  ASSERT_EQ(device->BeginScene(), DD_OK);
  auto draw = [&](const void* v, uint32_t fvf, uint32_t n, D3DPRIMITIVETYPE type) {
    return device->DrawPrimitive(type, fvf, v, n, 0);
  };
  std::vector<D3DTLVERTEX2> bad = quad;
  bad[4].sx = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(draw(bad.data(), D3DFVF_TLVERTEX2, 6, D3DPT_TRIANGLELIST), DDERR_INVALIDPARAMS);
  bad = quad;
  bad[5].rhw = 0;
  EXPECT_EQ(draw(bad.data(), D3DFVF_TLVERTEX2, 6, D3DPT_TRIANGLELIST), DDERR_INVALIDPARAMS);
  bad = quad;
  bad[5].tu = 3e6f;  // beyond 2^22 texels
  EXPECT_EQ(draw(bad.data(), D3DFVF_TLVERTEX2, 6, D3DPT_TRIANGLELIST), DDERR_INVALIDPARAMS);
  bad = quad;
  bad[2].sy = 2e5f;
  EXPECT_EQ(draw(bad.data(), D3DFVF_TLVERTEX2, 6, D3DPT_TRIANGLELIST), DDERR_INVALIDPARAMS);
  EXPECT_EQ(draw(quad.data(), D3DFVF_TLVERTEX2, 5, D3DPT_TRIANGLELIST), DDERR_INVALIDPARAMS);
  EXPECT_EQ(draw(quad.data(), D3DFVF_TLVERTEX2, 2, D3DPT_TRIANGLESTRIP), DDERR_INVALIDPARAMS);
  EXPECT_EQ(draw(quad.data(), D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 6, D3DPT_TRIANGLELIST),
            D3DERR_INVALIDVERTEXFORMAT);
  EXPECT_EQ(draw(quad.data(), D3DFVF_TLVERTEX2, 6, D3DPRIMITIVETYPE(1)),
            D3DERR_INVALIDPRIMITIVETYPE);
  // Stage 0 reading pair 1 of one-pair vertices.
  Stage(0, D3DTSS_TEXCOORDINDEX, 1);
  EXPECT_EQ(draw(quad.data(), D3DFVF_TLVERTEX1, 3, D3DPT_TRIANGLELIST), D3DERR_INVALIDVERTEXFORMAT);
  Stage(0, D3DTSS_TEXCOORDINDEX, 0);
  // Lost texture, then lost target: nothing drawn, nor cleared.
  ddtest::MakeAllSurfacesLost();
  EXPECT_EQ(draw(quad.data(), D3DFVF_TLVERTEX2, 6, D3DPT_TRIANGLELIST), DDERR_SURFACELOST);
  ASSERT_EQ(device->EndScene(), DD_OK);
  EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF), DDERR_SURFACELOST);
  EXPECT_EQ(target->TestReadBack(), before);
  ASSERT_EQ(target->Restore(), DD_OK);
  Paint(target.get(), [](int x, int y) { return uint32_t(x + 8 * y); });
  ASSERT_EQ(device->BeginScene(), DD_OK);
  EXPECT_EQ(draw(quad.data(), D3DFVF_TLVERTEX2, 6, D3DPT_TRIANGLELIST), DDERR_SURFACELOST);
  EXPECT_EQ(target->TestReadBack(), before);
  // A texture that is also the render target is not read while written.
  ASSERT_EQ(tex->Restore(), DD_OK);
  SurfacePtr both = Make(8, 8, kX8888, DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE);
  ASSERT_EQ(device->SetTexture(0, both.get()), DD_OK);
  ASSERT_EQ(device->SetRenderTarget(both.get(), 0), DD_OK);
  EXPECT_EQ(draw(quad.data(), D3DFVF_TLVERTEX2, 6, D3DPT_TRIANGLELIST), DDERR_INVALIDPARAMS);
  ASSERT_EQ(device->EndScene(), DD_OK);
  EXPECT_EQ(d3dtest::GetCounters().drawPrimitive, 0);
}

}  // namespace
}  // namespace zq::platform
