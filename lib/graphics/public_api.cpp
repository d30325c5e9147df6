// The public entry points of include/zqlib/zqlib.h: each takes the library lock, calls the
// inner function of the same name and releases the lock. The colour conversions and the
// rectangle clipping run without it.
#include "base/lock.h"
#include "base/memory.h"
#include "base/rect.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_front.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/graph.h"
#include "graphics/graph_load.h"
#include "graphics/library_init.h"
#include "graphics/mask.h"
#include "graphics/mask_fill.h"
#include "graphics/movie.h"
#include "graphics/restore.h"
#include "graphics/screen_readback.h"
#include "graphics/text.h"
#include "platform/present/sdl_window.h"
#include "zqlib/zqlib.h"

namespace zq {

namespace {

// Calls fn under the library lock and hands back its result.
template <typename Fn>
auto Locked(Fn&& fn) {
  base::LibraryLockGuard lock;
  return fn();
}

}  // namespace

static_assert(kDrawScreenBack == gfx::kDrawScreenBack && kDrawScreenFront == gfx::kDrawScreenFront);
static_assert(sizeof(platform::RECT) == 4 * sizeof(int));

// ---- Start and end ---------------------------------------------------------------------------

int ChangeWindowMode(int windowed) {
  return Locked([&] { return gfx::ChangeWindowMode(windowed); });
}
int LibraryInit() {
  return Locked([&] { return gfx::LibraryInit(); });
}
int LibraryEnd() {
  const int result = Locked([&] { return gfx::LibraryEnd(); });
  // Outside the lock: the message thread may be waiting for it.
  gfx::StopMessageThread();
  return result;
}
int RunScreenModeChange(int width, int height, int colorBitDepth, int refreshRate) {
  return Locked(
      [&] { return gfx::RunScreenModeChange(width, height, colorBitDepth, refreshRate); });
}
int ProcessMessage() {
  return Locked([&] { return gfx::ProcessMessage(); });
}
int StartMessageThread() {
  return Locked([&] { return gfx::StartMessageThread(); });
}
int UseWindowPresenter(int window) {
  return Locked([&] { return platform::UseWindowPresenter(window != 0) ? 1 : 0; });
}

// ---- Screen ----------------------------------------------------------------------------------

int PresentByFlip() {
  return Locked([&] { return gfx::PresentByFlip(); });
}
int SelectDrawScreen(int drawScreen) {
  return Locked([&] { return gfx::SelectDrawScreen(drawScreen); });
}
int GetDrawScreenHandle() {
  return Locked([&] { return int(gfx::GetDrawScreenHandle()); });
}
int ApplyDrawArea(int left, int top, int right, int bottom) {
  return Locked([&] { return gfx::ApplyDrawArea(left, top, right, bottom); });
}
int ClearTargetScreen() {
  return Locked([&] { return gfx::ClearTargetScreen(); });
}
int GetScreenSizeAndDepth(int* width, int* height, int* colorBitDepth) {
  return Locked([&] { return gfx::GetScreenSizeAndDepth(width, height, colorBitDepth); });
}
uint32_t GetScreenColorValue(int red, int green, int blue) {
  return gfx::GetScreenColorValue(red, green, blue);
}
int SplitScreenColorValue(uint32_t value, int* red, int* green, int* blue) {
  return gfx::SplitScreenColorValue(value, red, green, blue);
}
int GetDrawScreenPixel(int x, int y, uint32_t* value) {
  return Locked([&] { return gfx::GetDrawScreenPixel(x, y, value); });
}
int SaveScreenPng(const char* path) {
  return Locked([&] { return gfx::SaveScreenPng(path); });
}

// ---- Draw state ------------------------------------------------------------------------------

int SetBlendMode(int mode, int param) {
  return Locked([&] { return gfx::SetBlendMode(mode, param); });
}
int SetSamplingMode(int mode) {
  return Locked([&] { return gfx::SetSamplingMode(mode); });
}
int SetDrawBrightRGB(int red, int green, int blue) {
  return Locked([&] { return gfx::SetDrawBrightRGB(red, green, blue); });
}
int SelectBlendGraph(int graph, int borderParam, int borderRange) {
  return Locked([&] { return gfx::SelectBlendGraph(graph, borderParam, borderRange); });
}

// ---- Graph-creation options ------------------------------------------------------------------

int SetCreateOptionFlag(int drawValid) {
  return Locked([&] { return gfx::SetCreateOptionFlag(drawValid); });
}
int SetCreateAlphaChannelFlag(int flag) {
  return Locked([&] { return gfx::SetCreateAlphaChannelFlag(flag); });
}
int SetCreateOptionB(int alphaTest) {
  return Locked([&] { return gfx::SetCreateOptionB(alphaTest); });
}
int SetCreateOptionD(int systemMemory) {
  return Locked([&] { return gfx::SetCreateOptionD(systemMemory); });
}
int SetCreateColorBitDepth(int depth) {
  return Locked([&] { return gfx::SetCreateColorBitDepth(depth); });
}
int ChooseDirect3DGraphs(int flag) {
  return Locked([&] { return gfx::ChooseDirect3DGraphs(flag); });
}

// ---- Graphs ----------------------------------------------------------------------------------

int LoadGraphFromFileStd(const char* fileName) {
  return Locked([&] { return int(gfx::LoadGraphFromFileStd(fileName)); });
}
int LoadDividedGraphFromFileStd(const char* fileName, int total, int across, int down,
                                int cellWidth, int cellHeight, int* handles) {
  static_assert(sizeof(gfx::HandleValue) == sizeof(int));
  return Locked([&] {
    return gfx::LoadDividedGraphFromFileStd(fileName, total, across, down, cellWidth, cellHeight,
                                            reinterpret_cast<gfx::HandleValue*>(handles));
  });
}
int CreateEmptyGraph(int width, int height) {
  return Locked([&] { return int(gfx::CreateEmptyGraph(width, height)); });
}
int DeriveGraphRect(int x, int y, int width, int height, int parent) {
  return Locked([&] { return int(gfx::DeriveGraphRect(x, y, width, height, parent)); });
}
int DeleteGraphHandle(int graph, int logFlag) {
  return Locked([&] { return gfx::DeleteGraphHandle(graph, logFlag); });
}
int DeleteAllGraphHandles(int logFlag) {
  return Locked([&] { return gfx::DeleteAllGraphHandles(logFlag); });
}
int QueryGraphDimensions(int graph, int* width, int* height) {
  return Locked([&] { return gfx::QueryGraphDimensions(graph, width, height); });
}

// ---- Drawing ---------------------------------------------------------------------------------

int DrawGraphAt(int x, int y, int graph, int trans) {
  return Locked([&] { return gfx::DrawGraphAt(x, y, graph, trans); });
}
int DrawGraphRect(int x1, int y1, int x2, int y2, int graph, int trans) {
  return Locked([&] { return gfx::DrawGraphRect(x1, y1, x2, y2, graph, trans); });
}
int DrawGraphMirrored(int x, int y, int graph, int trans) {
  return Locked([&] { return gfx::DrawGraphMirrored(x, y, graph, trans); });
}
int DrawGraphInRect(int x, int y, int srcX, int srcY, int width, int height, int graph, int trans,
                    int mirror) {
  return Locked(
      [&] { return gfx::DrawGraphInRect(x, y, srcX, srcY, width, height, graph, trans, mirror); });
}
int DrawGraphRectScaled(int x1, int y1, int x2, int y2, int srcX, int srcY, int srcWidth,
                        int srcHeight, int graph, int trans) {
  return Locked([&] {
    return gfx::DrawGraphRectScaled(x1, y1, x2, y2, srcX, srcY, srcWidth, srcHeight, graph, trans);
  });
}
int DrawGraphRotScaledF(float x, float y, double scale, double angle, int graph, int trans,
                        int turn) {
  return Locked([&] { return gfx::DrawGraphRotScaledF(x, y, scale, angle, graph, trans, turn); });
}
int DrawGraphRotScaledAt(int x, int y, double scale, double angle, int graph, int trans, int turn) {
  return Locked([&] { return gfx::DrawGraphRotScaledAt(x, y, scale, angle, graph, trans, turn); });
}
int DrawGraphFourCorners(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                         float y4, int graph, int trans) {
  return Locked(
      [&] { return gfx::DrawGraphFourCorners(x1, y1, x2, y2, x3, y3, x4, y4, graph, trans); });
}
int FillGraphColor(int graph, int red, int green, int blue, int alpha) {
  return Locked([&] { return gfx::FillGraphColor(graph, red, green, blue, alpha); });
}
int DrawFilledBox(int x1, int y1, int x2, int y2, uint32_t color) {
  return Locked([&] { return gfx::DrawFilledBox(x1, y1, x2, y2, color); });
}
int DrawFrameBox(int x1, int y1, int x2, int y2, uint32_t color) {
  return Locked([&] { return gfx::DrawFrameBox(x1, y1, x2, y2, color); });
}
int CopyDrawScreenToGraph(int x1, int y1, int x2, int y2, int graph, int flag) {
  return Locked([&] { return gfx::CopyDrawScreenToGraph(x1, y1, x2, y2, graph, flag); });
}

// ---- Fonts -----------------------------------------------------------------------------------

int CreateFontToHandle(const char* faceName, int size, int thickness, int type, int charsetIndex,
                       int edgeSize) {
  return Locked([&] {
    return int(
        gfx::CreateFontToHandle(faceName, size, thickness, type, charsetIndex, edgeSize, -1, -1));
  });
}
int DeleteFontHandle(int font) {
  return Locked([&] { return gfx::DeleteFontHandle(font); });
}
int SetFontCharSpacing(int spacing, int font) {
  return Locked([&] { return gfx::SetFontCharSpacing(spacing, font); });
}
int GetDefaultFontHandle() {
  return Locked([&] { return int(gfx::GetDefaultFontHandle()); });
}
int SetDefaultFontSize(int size, int thickness) {
  return Locked([&] { return gfx::SetDefaultFontSize(nullptr, size, thickness); });
}
int GetFontSize(int font) {
  return Locked([&] { return gfx::GetFontSize(font); });
}

// ---- Text ------------------------------------------------------------------------------------

int DrawStringWithFont(int x, int y, const char* string, uint32_t color, int font,
                       uint32_t edgeColor, int vertical) {
  return Locked(
      [&] { return gfx::DrawStringWithFont(x, y, string, color, font, edgeColor, vertical); });
}
int MeasureStringWidth(const char* string, int length, int font, int vertical) {
  return Locked([&] { return gfx::MeasureStringWidth(string, length, font, vertical); });
}

// ---- Mask ------------------------------------------------------------------------------------

int CreateMaskScreen() {
  return Locked([&] { return gfx::CreateMaskScreen(); });
}
int FillMaskRect(int left, int top, int right, int bottom, int value) {
  return Locked([&] { return gfx::FillMaskRect(left, top, right, bottom, value); });
}
int SetMaskEnabled(int flag) {
  return Locked([&] { return gfx::SetMaskEnabled(flag); });
}

// ---- Helpers ---------------------------------------------------------------------------------

int ClipRectToRect(int* rect, const int* clip) {
  if (rect == nullptr || clip == nullptr) return -1;
  platform::RECT r{rect[0], rect[1], rect[2], rect[3]};
  const platform::RECT c{clip[0], clip[1], clip[2], clip[3]};
  base::ClipRectToRect(&r, &c);
  rect[0] = r.left;
  rect[1] = r.top;
  rect[2] = r.right;
  rect[3] = r.bottom;
  return 0;
}
// ---- Movies ----------------------------------------------------------------------------------

int PlayMovieGraph(int graph) {
  return Locked([&] { return gfx::PlayMovieGraph(graph); });
}
int PauseMovieGraph(int graph) {
  return Locked([&] { return gfx::PauseMovieGraph(graph); });
}

// ---- Restore ---------------------------------------------------------------------------------

int SetGraphRestoreCallback(void (*callback)()) {
  return Locked([&] { return gfx::SetGraphRestoreCallback(callback); });
}

int TrackedBlockCount() {
  return Locked([&] {
    const size_t n = base::TrackedBlockCount();
    return n > size_t(INT32_MAX) ? int(INT32_MAX) : int(n);
  });
}

}  // namespace zq
