// PLACEHOLDERS: see placeholders.h.
#include "graphics/placeholders.h"

#include <utility>

#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/library_init.h"

namespace zq::gfx {

// ---- Draw state --------------------------------------------------------------------------

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

namespace {

int SelectDrawScreenOnce(int32_t drawScreen, bool fallback) {
  if (!IsGraphicsManagerInitialised()) return -1;
  WaitWhileInactive();
  if (drawScreen >= 0 && drawScreen < kGraphHandleSlots && GetGraphRecordAt(drawScreen) == nullptr)
    return -1;
  const int32_t previous = g_DrawState.DrawScreen;
  const int prevWidth = g_DrawState.DrawScreenWidth, prevHeight = g_DrawState.DrawScreenHeight;
  g_DrawState.DrawScreen = drawScreen;
  g_DrawState.DrawOrigin = platform::RECT{0, 0, 0, 0};
  if (drawScreen == kDrawScreenFront && IsWindowedMode() && !GetSoftwareScreenFlag() &&
      !(MaskLayerExists() && g_DrawState.MaskFlag))
    GetMainWindowRect(&g_DrawState.DrawOrigin);
  if (G_DD_SetDrawTarget(drawScreen) != 0) {
    if (!fallback) SelectDrawScreenOnce(previous, true);
    return 0;
  }
  int w = 0, h = 0;
  QueryGraphDimensions(drawScreen, &w, &h);
  g_DrawState.DrawScreenWidth = w;
  g_DrawState.DrawScreenHeight = h;
  if (w == prevWidth && h == prevHeight) {
    const platform::RECT a = g_DrawState.DrawArea;
    ApplyDrawArea(a.left, a.top, a.right, a.bottom);
  } else {
    ApplyDrawArea(0, 0, w, h);
  }
  return 0;
}

}  // namespace

int SelectDrawScreen(int32_t drawScreen) {
  return SelectDrawScreenOnce(drawScreen, false);
}

int ApplyDrawArea(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  WaitWhileInactive();
  int width = 0, height = 0;
  const int32_t screen = g_DrawState.DrawScreen;
  if (screen == kDrawScreenBack || screen == kDrawScreenFront) {
    QueryScreenSize(&width, &height);
    if (screen == kDrawScreenFront && IsWindowedMode()) {
      // Only the part of the window on the desktop can be drawn.
      platform::RECT window{};
      GetMainWindowRect(&window);
      const DesktopScreenInfo& desk = GetDesktopScreenInfo();
      if (window.left < 0) left = -window.left;
      if (window.top < 0) top = -window.top;
      if (window.left + width >= desk.Width) width = desk.Width - window.left;
      if (window.top + height >= desk.Height) height = desk.Height - window.top;
    }
  } else {
    const GraphRecord* graph = GetGraphRecord(screen);
    if (graph == nullptr) return 0;
    width = graph->Width;
    height = graph->Height;
  }
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  if (right < left) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  auto clamp = [](int32_t v, int32_t hi) { return v < 0 ? 0 : (v > hi ? hi : v); };
  left = clamp(left, width);
  right = clamp(right, width);
  top = clamp(top, height);
  bottom = clamp(bottom, height);
  g_DrawState.DrawArea = platform::RECT{left, top, right, bottom};
  g_DrawState.DrawAreaF[0] = float(left);
  g_DrawState.DrawAreaF[1] = float(top);
  g_DrawState.DrawAreaF[2] = float(right);
  g_DrawState.DrawAreaF[3] = float(bottom);
  g_DrawState.DrawAreaEmpty = (left == right || top == bottom) ? 1 : 0;
  return 0;
}

// ---- Fonts ------------------------------------------------------------------------------------

void ResetDefaultFontSettings() {}
int InitFontSystem() {
  return 0;
}
int EndFontSystem() {
  return 0;
}

// ---- Mask -------------------------------------------------------------------------------------

int MaskLayerExists() {
  return 0;
}
int DeleteMaskLayer() {
  return 0;
}
int DeleteAllMaskHandles() {
  return 0;
}

// ---- Movies -----------------------------------------------------------------------------------

int CloseMovie(HandleValue) {
  return 0;
}
int PlayAllMovieGraphs() {
  return 0;
}
int PauseAllMovieGraphs() {
  return 0;
}
int ReleaseAllMovieSurfaces() {
  return 0;
}

// ---- Restore ----------------------------------------------------------------------------------

namespace {
GraphRestoreCallback g_restoreCallback = nullptr;
}

int SetGraphRestoreCallback(GraphRestoreCallback callback) {
  g_restoreCallback = callback;
  return 0;
}
int HasGraphRestoreCallback() {
  return g_restoreCallback != nullptr ? 1 : 0;
}
int RestoreAllGraphSurfaces() {
  return 0;
}
int RebuildGraphicsAfterModeChange() {
  return 0;
}

}  // namespace zq::gfx
