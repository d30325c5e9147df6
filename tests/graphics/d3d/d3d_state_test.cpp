// The draw state as the device sees it: render target, viewport, transforms, blend factors,
// vertex colour, filter, and the mask scratch as render target.
#include "graphics/d3d/d3d_state.h"

#include <gtest/gtest.h>

#include <tuple>

#include "d3d_session.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/library_init.h"
#include "graphics/mask.h"
#include "platform/win/window.h"

namespace zq::gfx {
namespace {

using namespace platform;
using test::Direct3DSession;
using test::LibrarySession;

using test::DeviceTarget;
using test::RenderState;

TEST(Direct3DState, TheRenderTargetAndViewportFollowTheDrawScreenAndTheMask) {
  LibrarySession lib(Direct3DSession());
  SetDesktop(700, 500, PixelFormatXRGB8888());
  ASSERT_EQ(lib.Start(), 0);
  EXPECT_EQ(DeviceTarget(), GetPrimaryDDSurface());
  // The front buffer of a window at (100, 50) that the desktop cuts at (600, 450).
  GetMainHwnd()->SetClientRect(RECT{100, 50, 740, 530});
  ASSERT_EQ(UpdateDrawAreaForWindow(), 0);
  ASSERT_EQ(ApplyDrawArea(10, 20, 640, 480), 0);
  D3DVIEWPORT7 v{};
  GetCurrentD3DDevice()->GetViewport(&v);
  EXPECT_EQ(std::tie(v.dwX, v.dwY, v.dwWidth, v.dwHeight), std::make_tuple(110u, 70u, 590u, 430u));
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  EXPECT_EQ(DeviceTarget(), g_DD.BackSurface);
  SetCreateOptionFlag(1);
  const HandleValue drawable = CreateGraphWithOptions(64, 64, 1, 0, 0);
  SetCreateOptionFlag(0);
  ASSERT_EQ(SelectDrawScreen(drawable), 0);
  EXPECT_EQ(DeviceTarget(), test::PieceStore(drawable, 0)->Surface);
  // A system-memory DirectDraw graph: the device cannot draw there and says so.
  SetCreateOptionD(1);
  SetCreateOptionFlag(1);
  const HandleValue software = CreateGraphWithOptions(64, 64, 0, 0, 0);
  SetCreateOptionFlag(0);
  ASSERT_EQ(SelectDrawScreen(software), 0);
  EXPECT_EQ(g_D3DState.RenderTarget, nullptr);
  EXPECT_EQ(G_D3D_SetDrawTarget(software + 0x10000), -1);

  ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
  ASSERT_EQ(CreateMaskScreen(), 0);
  ASSERT_EQ(SetMaskEnabled(1), 0);
  EXPECT_EQ(DeviceTarget(), GetMaskSurface());
  GetCurrentD3DDevice()->GetViewport(
      &v);  // the scratch holds the screen at its own origin: not moved
  EXPECT_EQ(std::tie(v.dwX, v.dwY, v.dwWidth, v.dwHeight), std::make_tuple(0u, 0u, 600u, 450u));
  ASSERT_EQ(SetMaskEnabled(0), 0);
  EXPECT_EQ(DeviceTarget(), GetPrimaryDDSurface());
}

TEST(Direct3DState, TransformsBlendingColourAndFilterReachTheDevice) {
  LibrarySession lib(Direct3DSession());
  ASSERT_EQ(lib.Start(), 0);
  D3DMATRIX view{}, projection{};
  GetCurrentD3DDevice()->GetTransform(D3DTRANSFORMSTATE_VIEW, &view);
  GetCurrentD3DDevice()->GetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection);
  EXPECT_NEAR(view.m[3][0], -320.0f, 1e-3f);
  EXPECT_NEAR(view.m[3][1], -240.0f, 1e-3f);
  EXPECT_NEAR(view.m[3][2], 415.3662f, 1e-3f);
  EXPECT_EQ(view.m[3][3], 1.0f);
  EXPECT_NEAR(projection.m[0][0], 1.299038f, 1e-5f);
  EXPECT_NEAR(projection.m[1][1], 1.732051f, 1e-5f);

  SetDrawBrightRGB(255, 128, 0);
  struct Row {
    int mode;
    uint32_t src, dest, alpha;
  };
  for (const Row& r : {Row{1, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 100},
                       Row{2, D3DBLEND_SRCALPHA, D3DBLEND_ONE, 100},
                       Row{3, D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, 100},
                       Row{4, D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, 100},
                       Row{7, D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, 100},  // no factors of its own
                       Row{5, D3DBLEND_SRCALPHA, D3DBLEND_ONE, 100},
                       Row{0, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 255}}) {
    ASSERT_EQ(SetBlendMode(r.mode, 100), 0);
    EXPECT_EQ(RenderState(D3DRENDERSTATE_ALPHABLENDENABLE), 1u) << r.mode;
    EXPECT_EQ(RenderState(D3DRENDERSTATE_SRCBLEND), r.src) << r.mode;
    EXPECT_EQ(RenderState(D3DRENDERSTATE_DESTBLEND), r.dest) << r.mode;
    EXPECT_EQ(GetD3DVertexColor(), r.alpha << 24 | 0xFF8000u) << r.mode;
  }
  // The same state again does not reach the device.
  const int states = d3dtest::GetCounters().renderStates;
  EXPECT_EQ(G_D3D_ApplyBlendMode(0, 5), 0);
  EXPECT_EQ(d3dtest::GetCounters().renderStates, states);

  for (const auto& [mode, filter] :
       {std::pair{1, D3DTFILTER_LINEAR}, std::pair{2, D3DTFILTER_POINT}}) {
    SetSamplingMode(mode);
    for (uint32_t stage : {0u, 1u}) {
      uint32_t value = 0;
      GetCurrentD3DDevice()->GetTextureStageState(stage, D3DTSS_FILTER, &value);
      EXPECT_EQ(value, uint32_t(filter)) << mode;
    }
  }
}

}  // namespace
}  // namespace zq::gfx
