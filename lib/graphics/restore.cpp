#include "graphics/restore.h"

#include <cstring>

#include "base/file_access.h"
#include "base/log.h"
#include "graphics/d3d/d3d_graph.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/ddraw/dd_graph.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_front.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/graph.h"
#include "graphics/graph_load.h"
#include "graphics/image/image_decode.h"
#include "graphics/library_init.h"
#include "graphics/mask.h"
#include "graphics/movie.h"

namespace zq::gfx {

namespace {

// Survives the graphics manager's re-initialisation: only SetGraphRestoreCallback changes it.
GraphRestoreCallback g_restoreCallback = nullptr;

// The images last decoded by RestoreGraphsFromFiles, kept for the next graph of the same file.
struct HeldImages {
  GraphImage main{};
  GraphImage alpha{};
  bool mainHeld = false;
  bool alphaHeld = false;

  HeldImages() = default;
  HeldImages(const HeldImages&) = delete;
  HeldImages& operator=(const HeldImages&) = delete;
  ~HeldImages() { Release(); }
  void Release() {
    ReleaseImageBuffers(&main);
    ReleaseImageBuffers(&alpha);
    mainHeld = alphaHeld = false;
  }
};

// What a reloaded graph was loaded from, as it stood when the graph was dealt with.
struct GraphSource {
  char fileName[sizeof GraphRecord::FileName];
  char directory[sizeof GraphRecord::Directory];
  uint32_t loadFlags;
};

// Exact, case-sensitive, and bounded by the fields (which need not hold a terminating zero).
bool SameSource(const GraphSource& a, const GraphRecord& b) {
  return std::strncmp(a.fileName, b.FileName, sizeof a.fileName) == 0 &&
         std::strncmp(a.directory, b.Directory, sizeof a.directory) == 0 &&
         a.loadFlags == b.LoadFlags;
}

// A field that holds no terminating zero names no file.
template <size_t N>
bool Terminated(const char (&field)[N]) {
  return strnlen(field, N) < N;
}

// Decodes the graph's file from its kept directory into the held images. False after the
// failure line; a directory that cannot be entered fails too, rather than load a file of the
// same name from wherever the previous graph was.
bool DecodeGraphFile(const GraphRecord& graph, HeldImages* held) {
  held->Release();
  const bool entered = base::FileAccessSetDir(graph.Directory) == 0;
  base::LogAddFormat("パス:%s ファイル:%s をロードします", graph.Directory, graph.FileName);
  const int decoded = entered
                          ? LoadImageFile(graph.FileName, nullptr, 0, 0, nullptr, 0, 0, &held->main,
                                          &held->alpha, (graph.LoadFlags & kLoadFlagMirror) ? 1 : 0)
                          : -1;
  if (decoded == -1) {
    base::LogAddFormat("パス:%s ファイル:%s がロードできませんでした", graph.Directory,
                       graph.FileName);
    return false;
  }
  CompleteColorData(&held->main.Format);
  held->mainHeld = true;
  held->alphaHeld = decoded == 0;
  if (held->alphaHeld) CompleteColorData(&held->alpha.Format);
  return true;
}

void ReloadFromFiles() {
  RestoreGraphsFromFiles();
}

}  // namespace

// ---- Light restore -------------------------------------------------------------------------

int RestoreAllGraphSurfaces() {
  if (!IsGraphicsManagerInitialised()) return 0;
  RestoreLostSurfaces();
  GraphHandleTable().ForEach([](HandleValue handle, void*) { RestoreGraphSurfaces(handle); });
  return 0;
}

int RestoreGraphSurfaces(HandleValue handle) {
  GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return -1;
  if (graph->Options.TextureFlag == 1)
    G_D3D_RestoreGraph(graph);
  else
    G_DD_RestoreGraph(graph);
  if (const MovieRecord* movie = GetMovieRecord(graph->Movie)) {
    for (platform::DirectDrawSurface* s : {movie->FrameSurface, movie->OverlaySurface})
      if (s != nullptr && s->IsLost() != platform::DD_OK) s->Restore();
  }
  return 0;
}

// ---- Full rebuild --------------------------------------------------------------------------

int RebuildGraphicsAfterModeChange() {
  ReleaseDirect3DObject();
  ReleaseMaskSurfaceObjects();
  ReleaseOutputSurfaces();
  ReleaseInputDevices();
  ReleaseSurface2DObjects();
  ReleaseClipperObject();
  // A new object already sets the mode and makes the 2D stores and the clipper; the three steps
  // after it find them made and leave them.
  ReleaseDirectDrawObject();
  CreateDirectDrawObject();
  ApplyDisplayMode();
  RecreateSurface2DObjects();
  CreateClipperObject();
  CreateOutputSurfaces();
  RecreateScreenPalette();
  G_DD_SetDrawTarget(GetDrawScreenHandle());
  GetDirect3DObject();
  ClearTargetScreen();
  PresentByFlip();
  MarkAllGraphsForRestore();
  RebuildAllMovies();
  RecreateMaskScreen();
  return 0;
}

int MarkAllGraphsForRestore() {
  RecreateAllFonts();
  GraphHandleTable().ForEach(
      [](HandleValue, void* record) { static_cast<GraphRecord*>(record)->NeedsRestore = 1; });
  if (g_restoreCallback != nullptr) g_restoreCallback();
  return 0;
}

// ---- The restore callback ------------------------------------------------------------------

int SetGraphRestoreCallback(GraphRestoreCallback callback) {
  g_restoreCallback = callback != nullptr ? callback : ReloadFromFiles;
  return 0;
}

int HasGraphRestoreCallback() {
  return g_restoreCallback != nullptr ? 1 : 0;
}

int RestoreGraphsFromFiles() {
  base::LogAddString("グラフィックを復帰します\n");
  char saved[4096];
  const bool dirSaved = base::FileAccessGetDir(saved, sizeof saved) == 0;
  HeldImages held;
  GraphSource previous{};
  bool hasPrevious = false;

  GraphHandleTable().ForEach([&](HandleValue handle, void* record) {
    auto* graph = static_cast<GraphRecord*>(record);
    if (graph->NeedsRestore != 1 || graph->FileName[0] == '\0') return;
    const bool reuse = hasPrevious && held.mainHeld && SameSource(previous, *graph);
    // Copied before the write, which records the graph's source again.
    GraphSource source{};
    std::memcpy(source.fileName, graph->FileName, sizeof source.fileName);
    std::memcpy(source.directory, graph->Directory, sizeof source.directory);
    source.loadFlags = graph->LoadFlags;
    graph->NeedsRestore = 0;
    previous = source;
    hasPrevious = true;
    if (!Terminated(graph->FileName) || !Terminated(graph->Directory)) return;
    if (!reuse && !DecodeGraphFile(*graph, &held)) return;
    // The graph takes its own part of the image, at its own source position.
    SetGraphImage(nullptr, nullptr, nullptr, source.fileName, 0, &held.main,
                  held.alphaHeld ? &held.alpha : nullptr, graph->SrcX, graph->SrcY, handle,
                  source.loadFlags);
  });
  held.Release();
  return dirSaved ? base::FileAccessSetDir(saved) : -1;
}

}  // namespace zq::gfx
