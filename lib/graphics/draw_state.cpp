// Setters and getters of the draw state: where drawing goes, how it is blended and with which
// options new graphs are made. The renderers read g_DrawState directly.
#include "graphics/draw_state.h"

#include <algorithm>
#include <utility>

#include "base/log.h"
#include "graphics/d3d/d3d_draw.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/ddraw/blend_graph.h"
#include "graphics/ddraw/dd_draw_state.h"
#include "graphics/ddraw/display.h"
#include "graphics/graph.h"
#include "graphics/library_init.h"
#include "graphics/mask.h"
#include "graphics/matrix.h"

namespace zq::gfx {
namespace {

// The four values of the last ApplyDrawArea as passed, applied again when the window changes.
platform::RECT g_requestedDrawArea{};

int32_t ClampByte(int32_t value) {
  return std::clamp(value, 0, 255);
}

// Where the draw screen lies on its surface: the window's client rectangle for the front
// buffer of a hardware screen in a window (unless the mask takes the drawing), else nothing.
platform::RECT DrawOriginFor(int32_t drawScreen) {
  platform::RECT origin{0, 0, 0, 0};
  if (drawScreen == kDrawScreenFront && IsWindowedMode() && !GetSoftwareScreenFlag() &&
      !(MaskLayerExists() && g_DrawState.MaskFlag))
    GetMainWindowRect(&origin);
  return origin;
}

// Steps of one selection. -1: a value that names an empty graph slot; 1: no path accepted the
// screen (nothing else changed but the stored value and the origin); 0: selected.
int TrySelectDrawScreen(int32_t drawScreen) {
  GraphicsDrawState& ds = g_DrawState;
  // Graph handles and the screen values are never in 0..32767; a slot number is refused when
  // the slot is empty.
  if (drawScreen >= 0 && drawScreen < kGraphHandleSlots && GetGraphRecordAt(drawScreen) == nullptr)
    return -1;
  ds.DrawScreen = drawScreen;
  ds.DrawOrigin = DrawOriginFor(drawScreen);

  bool accepted = false;
  if (Is3DAvailable() && G_D3D_SetDrawTarget(drawScreen) == 0) accepted = true;
  if (G_DD_SetDrawTarget(drawScreen) == 0) accepted = true;
  if (!accepted) return 1;

  const int32_t previousWidth = ds.DrawScreenWidth, previousHeight = ds.DrawScreenHeight;
  int width = 0, height = 0;
  QueryGraphDimensions(drawScreen, &width, &height);
  ds.DrawScreenWidth = width;
  ds.DrawScreenHeight = height;
  if (width == previousWidth && height == previousHeight) {
    const platform::RECT area = ds.DrawArea;
    ApplyDrawArea(area.left, area.top, area.right, area.bottom);
  } else {
    ApplyDrawArea(0, 0, width, height);
  }

  Matrix4x4 world, view, projection;
  MakeDrawScreenTransforms(width, height, &world, &view, &projection);
  SetWorldMatrix(&world);
  SetViewMatrix(&view);
  SetProjectionMatrix(&projection);
  return 0;
}

}  // namespace

// ---- Blending ---------------------------------------------------------------------------------

int SetSamplingMode(int32_t mode) {
  if (mode == g_DrawState.SamplingMode) return 0;
  g_DrawState.SamplingMode = mode;
  if (Is3DAvailable()) G_D3D_ApplyDrawMode(mode);
  return 0;
}

int GetSamplingMode() {
  return g_DrawState.SamplingMode;
}

int SetBlendMode(int32_t mode, int32_t param) {
  GraphicsDrawState& ds = g_DrawState;
  // The raw parameter is compared, so 300 after a stored 255 is not taken as unchanged.
  if (mode == ds.BlendMode && param == ds.BlendParam) return 0;
  WaitWhileInactive();
  ds.BlendMode = mode;
  ds.BlendParam = ClampByte(param);
  if (Is3DAvailable()) G_D3D_ApplyBlendMode(ds.BlendMode, ds.BlendParam);
  return 0;
}

int SelectBlendGraph(int32_t graph, int32_t borderParam, int32_t borderRange) {
  GraphicsDrawState& ds = g_DrawState;
  if (graph == ds.BlendGraph && borderParam == ds.BlendGraphBorderParam &&
      borderRange == ds.BlendGraphBorderRange)
    return 0;
  if (graph != -1 && GetGraphRecord(graph) == nullptr) return -1;
  ds.BlendGraph = graph;
  WaitWhileInactive();
  ds.BlendGraphBorderParam = ClampByte(borderParam);
  ds.BlendGraphBorderRange = ClampByte(borderRange);
  // Looked up after the wait: the record is what the twins are handed, not the handle.
  const GraphRecord* record = graph == -1 ? nullptr : GetGraphRecord(graph);
  if (Is3DAvailable())
    G_D3D_SetBlendGraph(record, ds.BlendGraphBorderParam, ds.BlendGraphBorderRange);
  G_DD_SetBlendGraph(record, ds.BlendGraphBorderParam, ds.BlendGraphBorderRange);
  return 0;
}

int SetDrawBrightRGB(int32_t red, int32_t green, int32_t blue) {
  const uint32_t bright = g_DrawState.Bright;
  if (red == int32_t((bright >> 16) & 0xFF) && green == int32_t((bright >> 8) & 0xFF) &&
      blue == int32_t(bright & 0xFF))
    return 0;
  g_DrawState.Bright =
      uint32_t(ClampByte(red)) << 16 | uint32_t(ClampByte(green)) << 8 | uint32_t(ClampByte(blue));
  if (Is3DAvailable()) G_D3D_ApplyBright();
  return 0;
}

void SetDrawBrightPacked(uint32_t color) {
  // Masked first, so a colour that differs only above bit 23 counts as unchanged.
  color &= 0xFFFFFF;
  if (color == g_DrawState.Bright) return;
  g_DrawState.Bright = color;
  if (Is3DAvailable()) G_D3D_ApplyBright();
}

// ---- Draw screen and draw area ------------------------------------------------------------------

int SelectDrawScreen(int32_t drawScreen) {
  if (!IsGraphicsManagerInitialised()) return -1;
  WaitWhileInactive();
  const int32_t savedMask = g_DrawState.MaskFlag;
  SetMaskEnabled(0);
  const int32_t previous = g_DrawState.DrawScreen;
  int result = TrySelectDrawScreen(drawScreen);
  if (result == 1) {
    // No path takes it: the previous screen again, and the front buffer should that be refused
    // too, so the fallback always ends.
    if (TrySelectDrawScreen(previous) != 0) TrySelectDrawScreen(kDrawScreenFront);
    result = 0;
  }
  // The mask flag comes back on every path, the refusals included.
  SetMaskEnabled(savedMask);
  return result;
}

int32_t GetDrawScreenHandle() {
  return g_DrawState.DrawScreen;
}

int ApplyDrawArea(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  WaitWhileInactive();
  g_requestedDrawArea = platform::RECT{left, top, right, bottom};

  GraphicsDrawState& ds = g_DrawState;
  int width = 0, height = 0;
  if (QueryGraphDimensions(ds.DrawScreen, &width, &height) != 0) return 0;
  // The drawable part of the draw screen: [minX, maxX) x [minY, maxY).
  int64_t minX = 0, minY = 0, maxX = width, maxY = height;
  const char* label = "Image Buffer";
  if (ds.DrawScreen == kDrawScreenBack || ds.DrawScreen == kDrawScreenFront) {
    label = ds.DrawScreen == kDrawScreenBack ? "Back Buffer" : "Front Buffer";
    if (ds.DrawScreen == kDrawScreenFront && IsWindowedMode()) {
      // Only the part of the window that lies on the desktop can be drawn.
      platform::RECT window{};
      GetMainWindowRect(&window);
      const DesktopScreenInfo& desktop = GetDesktopScreenInfo();
      if (window.left < 0) minX = -int64_t(window.left);
      if (window.top < 0) minY = -int64_t(window.top);
      if (int64_t(window.left) + maxX >= desktop.Width) maxX = int64_t(desktop.Width) - window.left;
      if (int64_t(window.top) + maxY >= desktop.Height) maxY = int64_t(desktop.Height) - window.top;
      // A window wholly off the desktop leaves an empty area inside the screen.
      maxX = std::clamp<int64_t>(maxX, 0, width);
      maxY = std::clamp<int64_t>(maxY, 0, height);
      minX = std::min(minX, maxX);
      minY = std::min(minY, maxY);
    }
  }

  if (right < left) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  auto clampInto = [](int32_t v, int64_t lo, int64_t hi) {
    return int32_t(std::clamp<int64_t>(v, lo, hi));
  };
  left = clampInto(left, minX, maxX);
  right = clampInto(right, minX, maxX);
  top = clampInto(top, minY, maxY);
  bottom = clampInto(bottom, minY, maxY);

  StoreDrawArea(platform::RECT{left, top, right, bottom});
  ds.DrawAreaEmpty = (left == right || top == bottom) ? 1 : 0;
  if (ds.DrawAreaEmpty) return 0;

  if (Is3DAvailable() && G_D3D_SetDrawArea(&ds.DrawArea) != 0)
    base::LogAddFormat("ビューポートの設定に失敗しました %s", label);
  G_DD_SetDrawArea(&ds.DrawArea);
  return 0;
}

void StoreDrawArea(const platform::RECT& area) {
  g_DrawState.DrawArea = area;
  g_DrawState.DrawAreaF[0] = float(area.left);
  g_DrawState.DrawAreaF[1] = float(area.top);
  g_DrawState.DrawAreaF[2] = float(area.right);
  g_DrawState.DrawAreaF[3] = float(area.bottom);
}

int UpdateDrawAreaForWindow() {
  if (!IsGraphicsManagerInitialised()) return 0;
  // The mask is off while the origin of the front buffer changes.
  const bool front = g_DrawState.DrawScreen == kDrawScreenFront;
  const int32_t savedMask = IsMaskEnabled();
  if (front) SetMaskEnabled(0);
  const platform::RECT origin = DrawOriginFor(g_DrawState.DrawScreen);
  SetDrawOriginRect(&origin);
  const platform::RECT requested = g_requestedDrawArea;
  ApplyDrawArea(requested.left, requested.top, requested.right, requested.bottom);
  if (front) SetMaskEnabled(savedMask);
  return 0;
}

int QueryGraphDimensions(int32_t drawScreen, int* width, int* height) {
  int w = 0, h = 0;
  if (drawScreen == kDrawScreenBack || drawScreen == kDrawScreenFront) {
    QueryScreenSize(&w, &h);
  } else {
    const GraphRecord* graph = GetGraphRecord(drawScreen);
    if (graph == nullptr) return -1;
    w = graph->Width;
    h = graph->Height;
  }
  if (width != nullptr) *width = w;
  if (height != nullptr) *height = h;
  return 0;
}

int GetScreenSizeAndDepth(int* width, int* height, int* colorBitDepth) {
  QueryGraphDimensions(kDrawScreenFront, width, height);
  if (colorBitDepth != nullptr) *colorBitDepth = GetScreenColorBitDepth();
  return 0;
}

int SetDrawOriginRect(const platform::RECT* rect) {
  if (rect == nullptr) return -1;
  g_DrawState.DrawOrigin = *rect;
  return 0;
}

// ---- Graph-creation options -----------------------------------------------------------------

int ChooseDirect3DGraphs(int32_t flag) {
  // Before the display exists the choice also decides whether the screen is a software one.
  if (GetDirectDrawObject() == nullptr) SetSoftwareScreenAtStart(flag == 0 ? 1 : 0);
  g_DrawState.ChooseDirect3DGraphs = flag;
  return 0;
}

int GetChooseDirect3DGraphs() {
  return g_DrawState.ChooseDirect3DGraphs;
}

int IsUsing3DGraphs() {
  return g_DrawState.ChooseDirect3DGraphs == 1 && Is3DAvailable() == 1 &&
                 GetSoftwareScreenFlag() == 0 && GetCurrentDeviceSlotWord() != 0
             ? 1
             : 0;
}

int SetCreateOptionB(int32_t alphaTest) {
  g_DrawState.CreateAlphaTest = alphaTest;
  return 0;
}
int GetCreateOptionB() {
  return g_DrawState.CreateAlphaTest;
}

int SetCreateOptionFlag(int32_t drawValid) {
  g_DrawState.CreateDrawValid = drawValid;
  return 0;
}

int SetCreateOptionD(int32_t systemMemory) {
  g_DrawState.CreateSystemMem = systemMemory;
  return 0;
}
int GetCreateOptionD() {
  return g_DrawState.CreateSystemMem;
}

int SetCreateColorBitDepth(int32_t depth) {
  g_DrawState.CreateColorBitDepth = depth;
  return 0;
}
int GetCreateColorBitDepth() {
  return g_DrawState.CreateColorBitDepth;
}

int SetCreateAlphaChannelFlag(int32_t flag) {
  g_DrawState.CreateAlphaChannel = flag;
  return 0;
}
int GetCreateAlphaChannelFlag() {
  return g_DrawState.CreateAlphaChannel;
}

int GetCreateOptionA() {
  return g_DrawState.CreateOptionA;
}

}  // namespace zq::gfx
