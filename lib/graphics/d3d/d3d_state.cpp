#include "graphics/d3d/d3d_state.h"

#include <algorithm>
#include <cstring>

#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/mask.h"
#include "graphics/matrix.h"
#include "graphics/texture_format.h"

namespace zq::gfx {

using namespace platform;

D3DDeviceStateRecord g_D3DState{};

namespace {

// Whether a value is set on the device whatever the record says (after a re-creation).
enum class Push { kIfChanged, kAlways };

struct BlendFactors {
  uint32_t src, dest;
};
// Modes 0 to 5; mode 0 blends as mode 1 with a vertex alpha of 255.
constexpr BlendFactors kBlendFactors[] = {
    {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA}, {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
    {D3DBLEND_SRCALPHA, D3DBLEND_ONE},         {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO},
    {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR},        {D3DBLEND_SRCALPHA, D3DBLEND_ONE},
};
constexpr int kBlendModes = int(std::size(kBlendFactors));

// Texture stages the library uses (at most 2), and stages that take a texture.
uint32_t StageCount() {
  return std::min<uint32_t>(2, GetKeptDeviceDesc()->wMaxTextureBlendStages);
}
uint32_t TextureCount() {
  return std::min<uint32_t>(StageCount(), GetKeptDeviceDesc()->wMaxSimultaneousTextures);
}

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

// The texture of a Direct3D graph of one draw-valid piece, or a DirectDraw graph's surface made
// with DDSCAPS_3DDEVICE; null for any other graph.
DirectDrawSurface* GraphRenderTarget(const GraphRecord& graph) {
  if (graph.PieceCount < 1) return nullptr;
  const SurfaceDataRecord* store = nullptr;
  if (graph.Options.TextureFlag == 1) {
    const Surface3DRecord* piece = LookupSurface3DRecord(graph.Pieces[0]);
    if (graph.PieceCount != 1 || piece == nullptr) return nullptr;
    store = GetSurfaceDataRecord(piece->SurfaceData);
    if (store == nullptr || store->Options.DrawValid != 1) return nullptr;
  } else {
    const Surface2DRecord* piece = LookupSurface2DRecord(graph.Pieces[0]);
    store = piece != nullptr ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
    if (store == nullptr || store->SoftwareFlag || store->Surface == nullptr) return nullptr;
    SurfaceCaps caps;
    store->Surface->GetCaps(&caps);
    if ((caps.caps & DDSCAPS_3DDEVICE) == 0) return nullptr;
  }
  return store->Surface;
}

// The render target for the record's draw screen and mask flag. -1 for a graph handle that does
// not resolve or names a graph not made drawable; 0 with the surface, or null when the device
// cannot draw there.
int ResolveRenderTarget(DirectDrawSurface** out) {
  *out = nullptr;
  const int32_t screen = g_D3DState.DrawScreen;
  DirectDrawSurface* target = nullptr;
  if (screen == kDrawScreenFront) {
    target = g_DD.PrimarySurface;
  } else if (screen == kDrawScreenBack) {
    target = g_DD.BackSurface;
  } else {
    const GraphRecord* graph = GetGraphRecord(screen);
    if (graph == nullptr || graph->Options.DrawValid != 1) return -1;
    target = GraphRenderTarget(*graph);
  }
  if (g_D3DState.MaskTarget != 0 && GetMaskSurface() != nullptr) target = GetMaskSurface();
  *out = target;
  return 0;
}

void SetRenderTarget(DirectDrawSurface* target, Push push) {
  D3DDeviceStateRecord& r = g_D3DState;
  if (target == nullptr) {
    // The device keeps its old target, which nothing draws into: no scene stays open on it.
    EndCurrentScene();
    r.RenderTarget = nullptr;
    return;
  }
  if (push == Push::kIfChanged && target == r.RenderTarget) return;
  FlushCurrentVertexBatch();
  if (Failed(g_D3D.Device->SetRenderTarget(target, 0))) {
    EndCurrentScene();
    r.RenderTarget = nullptr;
    return;
  }
  r.RenderTarget = target;
  // A new target comes with a viewport over all of it.
  g_D3D.Device->GetViewport(&r.Viewport);
}

// The viewport for the area moved by (dx, dy), cut to the render target. -1 for an area that is
// empty after the cut or refused by the device.
int SetViewport(const RECT& area, int32_t dx, int32_t dy, Push push) {
  D3DDeviceStateRecord& r = g_D3DState;
  SurfaceDesc desc;
  r.RenderTarget->GetSurfaceDesc(&desc);
  const int64_t left = std::max<int64_t>(int64_t(area.left) + dx, 0);
  const int64_t top = std::max<int64_t>(int64_t(area.top) + dy, 0);
  const int64_t right = std::min<int64_t>(int64_t(area.right) + dx, desc.width);
  const int64_t bottom = std::min<int64_t>(int64_t(area.bottom) + dy, desc.height);
  if (right <= left || bottom <= top) return -1;
  D3DVIEWPORT7 viewport = r.Viewport;
  viewport.dwX = uint32_t(left);
  viewport.dwY = uint32_t(top);
  viewport.dwWidth = uint32_t(right - left);
  viewport.dwHeight = uint32_t(bottom - top);
  if (push == Push::kIfChanged && std::memcmp(&viewport, &r.Viewport, sizeof viewport) == 0)
    return 0;
  FlushCurrentVertexBatch();
  if (Failed(g_D3D.Device->SetViewport(&viewport))) return -1;
  r.Viewport = viewport;
  return 0;
}

// The viewport of the record's draw area on the current target, moved by the draw origin
// unless it is drawn directly. 0 when there is no render target.
int SetAreaViewport(bool direct, Push push) {
  if (g_D3DState.RenderTarget == nullptr) return 0;
  const RECT& origin = g_DrawState.DrawOrigin;
  return SetViewport(g_D3DState.DrawArea, direct ? 0 : origin.left, direct ? 0 : origin.top, push);
}

int SetTransform(int index, const D3DMATRIX& matrix, Push push) {
  D3DMATRIX& held = g_D3DState.Transforms[index];
  if (push == Push::kIfChanged && std::memcmp(&held, &matrix, sizeof matrix) == 0) return 0;
  held = matrix;
  if (g_D3D.Device == nullptr) return -1;
  FlushCurrentVertexBatch();
  return Failed(g_D3D.Device->SetTransform(D3DTRANSFORMSTATETYPE(index + 1), &matrix)) ? -1 : 0;
}

int SetTransformFrom(int index, const Matrix4x4* matrix) {
  if (matrix == nullptr) return -1;
  D3DMATRIX m;
  static_assert(sizeof m == sizeof *matrix);
  std::memcpy(&m, matrix, sizeof m);
  return SetTransform(index, m, Push::kIfChanged);
}

void SetFilter(uint32_t filter, Push push) {
  if (push == Push::kIfChanged && filter == g_D3DState.Filter) return;
  g_D3DState.Filter = filter;
  FlushCurrentVertexBatch();
  for (uint32_t stage = 0; stage < StageCount(); ++stage)
    g_D3D.Device->SetTextureStageState(stage, D3DTSS_FILTER, filter);
}

template <class Record>
void SetRenderState(uint32_t Record::*field, Record& record, D3DRENDERSTATETYPE state,
                    uint32_t value, Push push) {
  if (push == Push::kIfChanged && record.*field == value) return;
  record.*field = value;
  FlushCurrentVertexBatch();
  g_D3D.Device->SetRenderState(state, value);
}

void SetRenderState(uint32_t D3DDeviceStateRecord::*field, D3DRENDERSTATETYPE state, uint32_t value,
                    Push push) {
  SetRenderState(field, g_D3DState, state, value, push);
}

// States no draw changes: the alpha test compares with 0 (its function switches it on and off),
// and stage 1, when it is on, passes the colour and multiplies the alpha by its texture's.
void PushFixedStates() {
  Direct3DDevice* d = g_D3D.Device;
  d->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, 1);
  d->SetRenderState(D3DRENDERSTATE_ALPHAREF, 0);
  if (StageCount() < 2) return;
  d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
  d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  d->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  d->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
  d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
}

// The stage's texture on the device; false when the device refuses it (the stage then holds none).
bool SetStageTexture(uint32_t stage, DirectDrawSurface* texture, Push push) {
  D3DDrawSetup& held = g_D3DState.Setup;
  if (push == Push::kIfChanged && held.Texture[stage] == texture) return true;
  FlushCurrentVertexBatch();
  if (stage >= TextureCount()) {
    held.Texture[stage] = nullptr;
    return texture == nullptr;
  }
  const bool ok = Succeeded(g_D3D.Device->SetTexture(stage, texture));
  if (!ok) g_D3D.Device->SetTexture(stage, nullptr);
  held.Texture[stage] = ok ? texture : nullptr;
  // Stage 1 runs only while it has a texture.
  if (stage == 1 && StageCount() >= 2)
    g_D3D.Device->SetTextureStageState(
        1, D3DTSS_COLOROP, held.Texture[1] != nullptr ? D3DTOP_SELECTARG2 : D3DTOP_DISABLE);
  return ok;
}

int PushDrawSetup(const D3DDrawSetup& setup, Push push) {
  D3DDrawSetup& held = g_D3DState.Setup;
  bool ok = SetStageTexture(0, setup.Texture[0], push);
  ok = SetStageTexture(1, setup.Texture[1], push) && ok;
  SetRenderState(&D3DDrawSetup::ColorKey, held, D3DRENDERSTATE_COLORKEYENABLE, setup.ColorKey,
                 push);
  SetRenderState(&D3DDrawSetup::AlphaFunc, held, D3DRENDERSTATE_ALPHAFUNC, setup.AlphaFunc, push);
  if (push == Push::kAlways || held.TextureAlpha != setup.TextureAlpha) {
    held.TextureAlpha = setup.TextureAlpha;
    FlushCurrentVertexBatch();
    g_D3D.Device->SetTextureStageState(0, D3DTSS_ALPHAOP, setup.TextureAlpha);
  }
  return ok ? 0 : -1;
}

void SetBlendFactors(Push push) {
  const int mode = g_D3DState.BlendMode;
  if (mode < 0 || mode >= kBlendModes) return;  // no factors: nothing is drawn in such a mode
  SetRenderState(&D3DDeviceStateRecord::AlphaBlend, D3DRENDERSTATE_ALPHABLENDENABLE, 1, push);
  SetRenderState(&D3DDeviceStateRecord::SrcBlend, D3DRENDERSTATE_SRCBLEND, kBlendFactors[mode].src,
                 push);
  SetRenderState(&D3DDeviceStateRecord::DestBlend, D3DRENDERSTATE_DESTBLEND,
                 kBlendFactors[mode].dest, push);
}

void UpdateVertexColor() {
  g_D3DState.VertexColor = g_D3DState.VertexAlpha << 24 | (g_DrawState.Bright & 0xFFFFFF);
}

}  // namespace

void ResetDeviceStateRecord() {
  D3DDeviceStateRecord& r = g_D3DState;
  r = D3DDeviceStateRecord{};
  r.DrawScreen = kDrawScreenBack;
  r.RenderTarget = g_DD.BackSurface;
  if (g_D3D.Device != nullptr) g_D3D.Device->GetViewport(&r.Viewport);
  r.DrawArea = RECT{0, 0, int32_t(r.Viewport.dwWidth), int32_t(r.Viewport.dwHeight)};
  for (D3DMATRIX& m : r.Transforms) m = Identity();
  r.Filter = D3DTFILTER_POINT;
  r.AlphaBlend = 0;
  r.SrcBlend = D3DBLEND_ONE;
  r.DestBlend = D3DBLEND_ZERO;
  r.VertexAlpha = 255;
  UpdateVertexColor();
  // The device's defaults.
  r.Setup = D3DDrawSetup{{nullptr, nullptr}, 0, D3DCMP_ALWAYS, D3DTOP_SELECTARG1};
  if (g_D3D.Device != nullptr) PushFixedStates();
}

void ApplyDeviceStateRecord() {
  if (g_D3D.Device == nullptr) return;
  DirectDrawSurface* target = nullptr;
  ResolveRenderTarget(&target);
  SetRenderTarget(target, Push::kAlways);
  SetAreaViewport(false, Push::kAlways);
  for (int i = 0; i < 3; ++i) SetTransform(i, g_D3DState.Transforms[i], Push::kAlways);
  SetFilter(g_D3DState.Filter, Push::kAlways);
  SetBlendFactors(Push::kAlways);
  PushFixedStates();
  PushDrawSetup(g_D3DState.Setup, Push::kAlways);
}

void ForgetDeviceSurfaces() {
  g_D3DState.RenderTarget = nullptr;
  g_D3DState.Setup.Texture[0] = g_D3DState.Setup.Texture[1] = nullptr;
}

int ApplyDrawSetup(const D3DDrawSetup& setup) {
  if (g_D3D.Device == nullptr) return -1;
  if (setup == g_D3DState.Setup) return 0;
  return PushDrawSetup(setup, Push::kIfChanged);
}

void UnbindD3DSurface(const DirectDrawSurface* surface) {
  if (g_D3D.Device == nullptr || surface == nullptr) return;
  for (uint32_t stage = 0; stage < 2; ++stage)
    if (g_D3DState.Setup.Texture[stage] == surface)
      SetStageTexture(stage, nullptr, Push::kIfChanged);
}

int G_D3D_SetDrawTarget(int32_t drawScreen) {
  const int32_t previous = g_D3DState.DrawScreen;
  g_D3DState.DrawScreen = drawScreen;
  DirectDrawSurface* target = nullptr;
  if (ResolveRenderTarget(&target) != 0) {
    g_D3DState.DrawScreen = previous;
    return -1;
  }
  if (g_D3D.Device == nullptr) return -1;
  SetRenderTarget(target, Push::kIfChanged);
  return 0;
}

int G_D3D_SetDrawArea(const RECT* area) {
  if (area == nullptr) return -1;
  g_D3DState.DrawArea = *area;
  if (g_D3D.Device == nullptr) return -1;
  return SetAreaViewport(false, Push::kIfChanged);
}

int G_D3D_ResetViewport(int flag) {
  g_D3DState.MaskTarget = flag;
  if (g_D3D.Device == nullptr) return -1;
  DirectDrawSurface* target = nullptr;
  ResolveRenderTarget(&target);
  SetRenderTarget(target, Push::kIfChanged);
  // The scratch holds the screen at its own origin; a window's front buffer is then not moved.
  const bool direct = flag != 0 && IsPrimaryDrawTarget() == 1;
  g_D3DState.DrawArea = g_DrawState.DrawArea;
  SetAreaViewport(direct, Push::kIfChanged);
  return 0;
}

int G_D3D_SetWorldTransform(const Matrix4x4* matrix) {
  return SetTransformFrom(0, matrix);
}

int G_D3D_SetViewTransform(const Matrix4x4* matrix) {
  return SetTransformFrom(1, matrix);
}

int G_D3D_SetProjectionTransform(const Matrix4x4* matrix) {
  return SetTransformFrom(2, matrix);
}

int G_D3D_ApplyDrawMode(int samplingMode) {
  const uint32_t filter = samplingMode == 1 ? D3DTFILTER_LINEAR : D3DTFILTER_POINT;
  if (g_D3D.Device == nullptr) {
    g_D3DState.Filter = filter;
    return -1;
  }
  SetFilter(filter, Push::kIfChanged);
  return 0;
}

int G_D3D_ApplyBlendMode(int mode, int param) {
  g_D3DState.BlendMode = mode;
  g_D3DState.VertexAlpha = mode == 0 ? 255u : uint32_t(std::clamp(param, 0, 255));
  UpdateVertexColor();
  if (g_D3D.Device == nullptr) return -1;
  SetBlendFactors(Push::kIfChanged);
  return 0;
}

int G_D3D_ApplyBright() {
  UpdateVertexColor();
  return g_D3D.Device == nullptr ? -1 : 0;
}

uint32_t GetD3DVertexColor() {
  return g_D3DState.VertexColor;
}

}  // namespace zq::gfx
