// The public entry points of include/zqlib/zqlib.h: each takes the library lock, calls the
// inner function of the same name and releases the lock. The colour conversions, the rectangle
// clipping and the version run without it. Loading, creating, drawing and the draw state need a
// running library: before LibraryInit and after LibraryEnd they return -1 and touch nothing
// (the start-up settings and the creation options work at any time).
#include <algorithm>
#include <new>

#include "base/lock.h"
#include "base/log.h"
#include "base/memory.h"
#include "base/rect.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_front.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/graph.h"
#include "graphics/graph_load.h"
#include "graphics/graph_pixels.h"
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

// The last net under every entry point: an exception from inside (a container that found no
// memory) fails the call with a log line instead of leaving the library. The inner code has
// already undone its own part when it gets here. where: the entry point's name.
template <typename Fn>
int Guarded(const char* where, Fn&& fn) noexcept {
  try {
    return int(fn());
  } catch (const std::bad_alloc&) {
    base::LogAddFormat("メモリの確保に失敗しました in %s", where);
  } catch (...) {
    base::LogAddFormat("予期しない例外が発生しました in %s", where);
  }
  return -1;
}

// Calls fn under the library lock and hands back its result.
template <typename Fn>
int Locked(Fn&& fn, const char* where = __builtin_FUNCTION()) {
  return Guarded(where, [&] {
    base::LibraryLockGuard lock;
    return int(fn());
  });
}

// Calls fn under the library lock while the library runs; -1 before the start and after the end.
template <typename Fn>
int WhileRunning(Fn&& fn, const char* where = __builtin_FUNCTION()) {
  return Guarded(where, [&] {
    base::LibraryLockGuard lock;
    if (gfx::IsLibraryInitialised() == 0 || gfx::IsLibraryEnding() == 1) return -1;
    return int(fn());
  });
}

// A grid request the handle array can hold, then the cutting; on failure every slot given says
// -1, since no cell survives.
template <typename Fn>
int Divided(const char* caller, int total, int across, int down, int* handles, Fn&& cut) {
  static_assert(sizeof(gfx::HandleValue) == sizeof(int));
  const int result = WhileRunning(
      [&] {
        if (total < 0 ||
            (total > 0 && (across <= 0 || down <= 0 || total > int64_t(across) * down)))
          return base::LogAddFormat("分割数が不正です( 総数 %d 横 %d 縦 %d ) in %s", total, across,
                                    down, caller);
        return cut(reinterpret_cast<gfx::HandleValue*>(handles));
      },
      caller);
  if (result != 0 && handles != nullptr) std::fill_n(handles, std::max(total, 0), -1);
  return result;
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
  const int stopped = Guarded("LibraryEnd", [] {
    gfx::StopMessageThread();
    return 0;
  });
  return result == 0 ? stopped : result;
}
int RunScreenModeChange(int width, int height, int colorBitDepth, int refreshRate) {
  return WhileRunning(
      [&] { return gfx::RunScreenModeChange(width, height, colorBitDepth, refreshRate); });
}
int ProcessMessage() {
  return WhileRunning([&] { return gfx::ProcessMessage(); });
}
int StartMessageThread() {
  return Locked([&] { return gfx::StartMessageThread(); });
}
int UseWindowPresenter(int window) {
  return Locked([&] { return platform::UseWindowPresenter(window != 0) ? 1 : 0; });
}

// ---- Screen ----------------------------------------------------------------------------------

int PresentByFlip() {
  return WhileRunning([&] { return gfx::PresentByFlip(); });
}
int SelectDrawScreen(int drawScreen) {
  return WhileRunning([&] { return gfx::SelectDrawScreen(drawScreen); });
}
int GetDrawScreenHandle() {
  return WhileRunning([&] { return int(gfx::GetDrawScreenHandle()); });
}
int ApplyDrawArea(int left, int top, int right, int bottom) {
  return WhileRunning([&] { return gfx::ApplyDrawArea(left, top, right, bottom); });
}
int ClearTargetScreen() {
  return WhileRunning([&] { return gfx::ClearTargetScreen(); });
}
int GetScreenSizeAndDepth(int* width, int* height, int* colorBitDepth) {
  return WhileRunning([&] { return gfx::GetScreenSizeAndDepth(width, height, colorBitDepth); });
}
uint32_t GetScreenColorValue(int red, int green, int blue) {
  return gfx::GetScreenColorValue(red, green, blue);
}
int SplitScreenColorValue(uint32_t value, int* red, int* green, int* blue) {
  return gfx::SplitScreenColorValue(value, red, green, blue);
}
int GetDrawScreenPixel(int x, int y, uint32_t* value) {
  return WhileRunning([&] { return gfx::GetDrawScreenPixel(x, y, value); });
}
int SaveScreenPng(const char* path) {
  return WhileRunning([&] { return gfx::SaveScreenPng(path); });
}

// ---- Draw state ------------------------------------------------------------------------------

int SetBlendMode(int mode, int param) {
  return WhileRunning([&] {
    // The library keeps other modes for its own steps; a program has the five.
    if (mode < kBlendNone || mode > kBlendMultiply)
      return base::LogAddFormat("ブレンドモードの値 %d は使えません in SetBlendMode", mode);
    return gfx::SetBlendMode(mode, param);
  });
}
int SetSamplingMode(int mode) {
  return WhileRunning([&] {
    if (mode != 0 && mode != 1)
      return base::LogAddFormat("サンプリングモードの値 %d は使えません in SetSamplingMode", mode);
    return gfx::SetSamplingMode(mode);
  });
}
int SetDrawBrightRGB(int red, int green, int blue) {
  return WhileRunning([&] { return gfx::SetDrawBrightRGB(red, green, blue); });
}
int SelectBlendGraph(int graph, int borderParam, int borderRange) {
  return WhileRunning([&] { return gfx::SelectBlendGraph(graph, borderParam, borderRange); });
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
  return Locked([&] {
    if (depth != 0 && depth != 16 && depth != 32)
      return base::LogAddFormat(
          "グラフィックのカラービット数 %d は使えません in SetCreateColorBitDepth", depth);
    return gfx::SetCreateColorBitDepth(depth);
  });
}
int ChooseDirect3DGraphs(int flag) {
  return Locked([&] { return gfx::ChooseDirect3DGraphs(flag); });
}

// ---- Graphs ----------------------------------------------------------------------------------

int LoadGraphFromFileStd(const char* fileName) {
  return WhileRunning([&] { return int(gfx::LoadGraphFromFileStd(fileName)); });
}
int LoadDividedGraphFromFileStd(const char* fileName, int total, int across, int down,
                                int cellWidth, int cellHeight, int* handles) {
  return Divided("LoadDividedGraphFromFileStd", total, across, down, handles, [&](auto* cells) {
    return gfx::LoadDividedGraphFromFileStd(fileName, total, across, down, cellWidth, cellHeight,
                                            cells);
  });
}
int CreateEmptyGraph(int width, int height) {
  return WhileRunning([&] { return int(gfx::CreateEmptyGraph(width, height)); });
}
int DeriveGraphRect(int x, int y, int width, int height, int parent) {
  return WhileRunning([&] { return int(gfx::DeriveGraphRect(x, y, width, height, parent)); });
}
int DeleteGraphHandle(int graph, int logFlag) {
  return WhileRunning([&] { return gfx::DeleteGraphHandle(graph, logFlag); });
}
int DeleteAllGraphHandles(int logFlag) {
  return WhileRunning([&] { return gfx::DeleteAllGraphHandles(logFlag); });
}
int QueryGraphDimensions(int graph, int* width, int* height) {
  return WhileRunning([&] { return gfx::QueryGraphDimensions(graph, width, height); });
}

// ---- Drawing ---------------------------------------------------------------------------------

int DrawGraphAt(int x, int y, int graph, int trans) {
  return WhileRunning([&] { return gfx::DrawGraphAt(x, y, graph, trans); });
}
int DrawGraphRect(int x1, int y1, int x2, int y2, int graph, int trans) {
  return WhileRunning([&] { return gfx::DrawGraphRect(x1, y1, x2, y2, graph, trans); });
}
int DrawGraphMirrored(int x, int y, int graph, int trans) {
  return WhileRunning([&] { return gfx::DrawGraphMirrored(x, y, graph, trans); });
}
int DrawGraphInRect(int x, int y, int srcX, int srcY, int width, int height, int graph, int trans,
                    int mirror) {
  return WhileRunning(
      [&] { return gfx::DrawGraphInRect(x, y, srcX, srcY, width, height, graph, trans, mirror); });
}
int DrawGraphRectScaled(int x1, int y1, int x2, int y2, int srcX, int srcY, int srcWidth,
                        int srcHeight, int graph, int trans) {
  return WhileRunning([&] {
    return gfx::DrawGraphRectScaled(x1, y1, x2, y2, srcX, srcY, srcWidth, srcHeight, graph, trans);
  });
}
int DrawGraphRotScaledF(float x, float y, double scale, double angle, int graph, int trans,
                        int turn) {
  return WhileRunning(
      [&] { return gfx::DrawGraphRotScaledF(x, y, scale, angle, graph, trans, turn); });
}
int DrawGraphRotScaledAt(int x, int y, double scale, double angle, int graph, int trans, int turn) {
  return WhileRunning(
      [&] { return gfx::DrawGraphRotScaledAt(x, y, scale, angle, graph, trans, turn); });
}
int DrawGraphFourCorners(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                         float y4, int graph, int trans) {
  return WhileRunning(
      [&] { return gfx::DrawGraphFourCorners(x1, y1, x2, y2, x3, y3, x4, y4, graph, trans); });
}
int FillGraphColor(int graph, int red, int green, int blue, int alpha) {
  return WhileRunning([&] { return gfx::FillGraphColor(graph, red, green, blue, alpha); });
}
int DrawFilledBox(int x1, int y1, int x2, int y2, uint32_t color) {
  return WhileRunning([&] { return gfx::DrawFilledBox(x1, y1, x2, y2, color); });
}
int DrawFrameBox(int x1, int y1, int x2, int y2, uint32_t color) {
  return WhileRunning([&] { return gfx::DrawFrameBox(x1, y1, x2, y2, color); });
}
int DrawLine(int x1, int y1, int x2, int y2, uint32_t color) {
  return WhileRunning([&] { return gfx::DrawLine(x1, y1, x2, y2, color); });
}
int CopyDrawScreenToGraph(int x1, int y1, int x2, int y2, int graph, int flag) {
  return WhileRunning([&] { return gfx::CopyDrawScreenToGraph(x1, y1, x2, y2, graph, flag); });
}

// ---- Fonts -----------------------------------------------------------------------------------

int CreateFontToHandle(const char* faceName, int size, int thickness, int type, int charsetIndex,
                       int edgeSize) {
  return WhileRunning([&] {
    return int(
        gfx::CreateFontToHandle(faceName, size, thickness, type, charsetIndex, edgeSize, -1, -1));
  });
}
int DeleteFontHandle(int font) {
  return WhileRunning([&] { return gfx::DeleteFontHandle(font); });
}
int SetFontCharSpacing(int spacing, int font) {
  return WhileRunning([&] { return gfx::SetFontCharSpacing(spacing, font); });
}
int GetDefaultFontHandle() {
  return WhileRunning([&] { return int(gfx::GetDefaultFontHandle()); });
}
int SetDefaultFontSize(int size, int thickness) {
  return WhileRunning([&] { return gfx::SetDefaultFontSize(nullptr, size, thickness); });
}
int GetFontSize(int font) {
  return WhileRunning([&] { return gfx::GetFontSize(font); });
}

// ---- Text ------------------------------------------------------------------------------------

int DrawStringWithFont(int x, int y, const char* string, uint32_t color, int font,
                       uint32_t edgeColor, int vertical) {
  return WhileRunning(
      [&] { return gfx::DrawStringWithFont(x, y, string, color, font, edgeColor, vertical); });
}
int MeasureStringWidth(const char* string, int length, int font, int vertical) {
  return WhileRunning([&] { return gfx::MeasureStringWidth(string, length, font, vertical); });
}

// ---- Mask ------------------------------------------------------------------------------------

int CreateMaskScreen() {
  return WhileRunning([&] { return gfx::CreateMaskScreen(); });
}
int FillMaskRect(int left, int top, int right, int bottom, int value) {
  return WhileRunning([&] { return gfx::FillMaskRect(left, top, right, bottom, value); });
}
int SetMaskEnabled(int flag) {
  return WhileRunning([&] { return gfx::SetMaskEnabled(flag); });
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
  return WhileRunning([&] { return gfx::PlayMovieGraph(graph); });
}
int PauseMovieGraph(int graph) {
  return WhileRunning([&] { return gfx::PauseMovieGraph(graph); });
}

// ---- Restore ---------------------------------------------------------------------------------

int SetGraphRestoreCallback(void (*callback)()) {
  return WhileRunning([&] { return gfx::SetGraphRestoreCallback(callback); });
}

int GetLibraryVersion() {
  return ZQLIB_VERSION;
}

int TrackedBlockCount() {
  return Locked([&] {
    const size_t n = base::TrackedBlockCount();
    return n > size_t(INT32_MAX) ? int(INT32_MAX) : int(n);
  });
}

// ---- Reading the options back ---------------------------------------------------------------

// The creation options answer at any time, as their setters do: a program that saves one before
// the start must not save (and later set back) a refusal.
int GetCreateOptionB() {
  return Locked([&] { return gfx::GetCreateOptionB(); });
}
int GetCreateOptionD() {
  return Locked([&] { return gfx::GetCreateOptionD(); });
}
int GetCreateColorBitDepth() {
  return Locked([&] { return gfx::GetCreateColorBitDepth(); });
}
int GetCreateAlphaChannelFlag() {
  return Locked([&] { return gfx::GetCreateAlphaChannelFlag(); });
}
int GetSamplingMode() {
  return WhileRunning([&] { return gfx::GetSamplingMode(); });
}

// ---- Graphs from files, memory and pixels ----------------------------------------------------

int LoadGraphFromFile(const char* fileName, int direct3D, int mirror) {
  return WhileRunning([&] { return int(gfx::LoadGraphFromFile(fileName, direct3D, mirror, 0)); });
}
int LoadDividedGraphFromFile(const char* fileName, int total, int across, int down, int cellWidth,
                             int cellHeight, int* handles, int direct3D, int mirror) {
  return Divided("LoadDividedGraphFromFile", total, across, down, handles, [&](auto* cells) {
    return gfx::LoadDividedGraphFromFile(fileName, total, across, down, cellWidth, cellHeight,
                                         cells, direct3D, mirror);
  });
}
int LoadGraphFromMemory(const void* data, size_t size, const void* alphaData, size_t alphaSize) {
  return WhileRunning(
      [&] { return int(gfx::LoadGraphFromMemory(data, size, alphaData, alphaSize)); });
}
int LoadDividedGraphFromMemory(const void* data, size_t size, int total, int across, int down,
                               int cellWidth, int cellHeight, int* handles, const void* alphaData,
                               size_t alphaSize) {
  return Divided("LoadDividedGraphFromMemory", total, across, down, handles, [&](auto* cells) {
    return gfx::LoadDividedGraphFromMemory(data, size, total, across, down, cellWidth, cellHeight,
                                           cells, alphaData, alphaSize);
  });
}
int CreateGraphFromImage(const PixelBuffer* image) {
  return WhileRunning([&] {
    gfx::PixelBufferView view;
    if (gfx::ViewPixelBuffer(image, "CreateGraphFromImage", &view) != 0) return -1;
    return int(gfx::CreateGraphFromImage(&view.image, view.Alpha(), 1, 0, 0));
  });
}
int CreateDivGraphFromGraphImage(const PixelBuffer* image, int total, int across, int down,
                                 int cellWidth, int cellHeight, int* handles) {
  return Divided("CreateDivGraphFromGraphImage", total, across, down, handles, [&](auto* cells) {
    gfx::PixelBufferView view;
    if (gfx::ViewPixelBuffer(image, "CreateDivGraphFromGraphImage", &view) != 0) return -1;
    return gfx::CreateDivGraphFromGraphImage(&view.image, view.Alpha(), total, across, down,
                                             cellWidth, cellHeight, cells, 1, 0, 0);
  });
}
int SetGraphImage(const PixelBuffer* image, int graph) {
  return WhileRunning([&] {
    int width = 0, height = 0;
    // An invalid handle is refused without a log line, as everywhere.
    if (gfx::QueryGraphDimensions(graph, &width, &height) != 0) return -1;
    gfx::PixelBufferView view;
    if (gfx::ViewPixelBuffer(image, "SetGraphImage", &view) != 0) return -1;
    if (view.image.Width != width || view.image.Height != height)
      return base::LogAddFormat(
          "グラフィックと画素データの大きさが違います( %d x %d と %d x %d ) in SetGraphImage",
          width, height, view.image.Width, view.image.Height);
    return gfx::SetGraphImage(nullptr, nullptr, nullptr, nullptr, 0, &view.image, view.Alpha(), 0,
                              0, graph, 0);
  });
}

}  // namespace zq
