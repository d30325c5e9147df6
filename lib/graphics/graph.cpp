#include "graphics/graph.h"

#include <cstring>

#include "base/log.h"
#include "base/system.h"
#include "graphics/d3d/d3d_graph.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/ddraw/dd_graph.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/mask.h"
#include "graphics/movie.h"
#include "platform/size_limits.h"

namespace zq::gfx {
namespace {

HandleTable g_graphs(HandleKind::kGraph, sizeof(GraphRecord));
int g_managerInitialised = 0;
int g_3dAvailable = 0;

bool ValidSize(int width, int height) {
  return width >= 1 && height >= 1 && width <= platform::kMaxImageSide &&
         height <= platform::kMaxImageSide;
}

}  // namespace

const HandleTable& GraphHandleTable() {
  return g_graphs;
}
int IsGraphicsManagerInitialised() {
  return g_managerInitialised;
}
int Is3DAvailable() {
  return g_3dAvailable;
}

GraphRecord* GetGraphRecord(HandleValue handle) {
  if (!g_graphs.IsInitialised()) return nullptr;
  return g_graphs.Lookup<GraphRecord>(handle);
}

GraphRecord* GetGraphRecordAt(int32_t slot) {
  if (!g_graphs.IsInitialised()) return nullptr;
  return static_cast<GraphRecord*>(g_graphs.RecordAt(slot));
}

HandleValue GetGraphRecordHandle(const GraphRecord* record) {
  return record->Handle;
}

HandleValue AllocGraphHandle(int width, int height, int wantDirect3D, int, GraphRecord** record,
                             int alphaChannel, int palette) {
  if (!g_graphs.IsInitialised() && g_graphs.Init() != 0)
    base::ExitOnFatalError("メモリの確保に失敗しました");
  if (g_graphs.Count() >= g_graphs.SlotCount())
    base::ExitOnFatalError("グラフィックの数が許容量を越えました終了します");
  void* raw = nullptr;
  const HandleValue handle = g_graphs.Allocate(&raw);
  if (handle < 0) base::ExitOnFatalError("メモリの確保に失敗しました");
  auto* graph = static_cast<GraphRecord*>(raw);
  graph->Handle = handle;
  graph->Width = width;
  graph->Height = height;
  graph->Movie = -1;
  graph->LostFlag = nullptr;
  for (HandleValue& p : graph->Pieces) p = -1;

  const GraphicsDrawState& ds = g_DrawState;
  SurfaceOptions& o = graph->Options;
  o.TextureFlag =
      (wantDirect3D && ds.ChooseDirect3DGraphs && g_3dAvailable && !GetSoftwareScreenFlag()) ? 1
                                                                                             : 0;
  if (ds.CreateDrawValid == 1) {
    o.DrawValid = 1;
    o.AlphaChFlag = 0;
    o.AlphaTestFlag = 0;
  } else {
    o.DrawValid = 0;
    o.AlphaChFlag = uint8_t(alphaChannel);
    o.AlphaTestFlag = uint8_t(ds.CreateAlphaTest);
  }
  o.SingleChannelFlag = 0;
  if (o.TextureFlag == 1) {
    o.ColorBitDepth = uint8_t(ds.CreateColorBitDepth != 0 ? ds.CreateColorBitDepth
                              : alphaChannel == 1         ? 32
                                                          : GetScreenColorBitDepth());
    o.SystemMemFlag = 0;
    o.PaletteFlag = 0;
  } else {
    o.ColorBitDepth =
        uint8_t(ds.CreateColorBitDepth != 0 ? ds.CreateColorBitDepth : GetScreenColorBitDepth());
    o.SystemMemFlag = uint8_t(ds.CreateSystemMem);
    o.PaletteFlag = uint8_t(palette);
  }
  if (record != nullptr) *record = graph;
  return handle;
}

HandleValue CreateGraphWithOptions(int width, int height, int wantDirect3D, int alphaChannel,
                                   int palette) {
  // Sizes outside 1..65535 are refused rather than cut to 16 bits by the store.
  if (!ValidSize(width, height)) return base::LogAddString("グラフィックの作成に失敗しました\n");
  GraphRecord* graph = nullptr;
  const HandleValue handle =
      AllocGraphHandle(width, height, wantDirect3D, 0, &graph, alphaChannel, palette);
  const int result =
      graph->Options.TextureFlag == 1 ? G_D3D_CreateGraph(graph) : G_DD_CreateGraph(graph);
  if (result != 0) {
    // A record without pieces is of no use to anyone: free it rather than leave it behind.
    g_graphs.Free(handle);
    return base::LogAddString("グラフィックの作成に失敗しました\n");
  }
  return handle;
}

HandleValue CreateEmptyGraph(int width, int height) {
  return CreateGraphWithOptions(width, height, 1, g_DrawState.CreateAlphaChannel, 0);
}

int DeleteGraphHandle(HandleValue handle, int logFlag) {
  GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return -1;
  // Never leave a deleted graph as the draw target. Selecting waits while the application is
  // inactive, and a rebuild's restore callback may delete the graph meanwhile: look again.
  if (g_DrawState.DrawScreen == handle) {
    SelectDrawScreen(kDrawScreenFront);
    graph = GetGraphRecord(handle);
    if (graph == nullptr) return -1;
  }
  // Nor as the blend graph, which every later graph draw would check and refuse. Its parameters
  // stay for the next one.
  if (g_DrawState.BlendGraph == handle) {
    SelectBlendGraph(-1, g_DrawState.BlendGraphBorderParam, g_DrawState.BlendGraphBorderRange);
    graph = GetGraphRecord(handle);
    if (graph == nullptr) return -1;
  }
  // A derived graph shares its parent's movie: the movie closes with its last holder.
  if (graph->Movie >= 0) {
    bool shared = false;
    g_graphs.ForEach([&](HandleValue other, void* record) {
      shared |= other != handle && static_cast<GraphRecord*>(record)->Movie == graph->Movie;
    });
    if (!shared) CloseMovie(handle);
  }
  if (graph->Options.TextureFlag == 1)
    G_D3D_DeleteGraph(graph);
  else
    G_DD_DeleteGraph(graph);
  if (logFlag) base::LogAddFormat("グラフィック %s の削除", graph->FileName);
  if (graph->LostFlag != nullptr) *graph->LostFlag = 1;
  g_graphs.Free(handle);
  return 0;
}

int DeleteAllGraphHandles(int logFlag) {
  if (!g_managerInitialised || !g_graphs.IsInitialised()) return 0;
  g_graphs.ForEach([logFlag](HandleValue h, void*) { DeleteGraphHandle(h, logFlag); });
  return 0;
}

int SetGraphLostFlagPtr(HandleValue handle, int32_t* flag) {
  GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return -1;
  graph->LostFlag = flag;
  if (flag != nullptr) *flag = 0;
  return 0;
}

HandleValue DeriveGraphRect(int x, int y, int width, int height, HandleValue parentHandle) {
  const GraphRecord* parent = GetGraphRecord(parentHandle);
  if (parent == nullptr) return -1;
  // The rectangle must start inside the parent and have a positive size.
  if (x < 0 || y < 0 || x >= parent->Width || y >= parent->Height || width <= 0 || height <= 0)
    return -1;
  if (int64_t(x) + width > parent->Width) width = parent->Width - x;
  if (int64_t(y) + height > parent->Height) height = parent->Height - y;
  GraphRecord* graph = nullptr;
  const HandleValue handle =
      AllocGraphHandle(width, height, parent->Options.TextureFlag, 0, &graph,
                       parent->Options.AlphaChFlag, parent->Options.PaletteFlag);
  parent = GetGraphRecord(parentHandle);
  graph->Movie = parent->Movie;
  std::memcpy(graph->FileName, parent->FileName, sizeof graph->FileName);
  std::memcpy(graph->Directory, parent->Directory, sizeof graph->Directory);
  graph->Options = parent->Options;
  graph->LoadFlags = parent->LoadFlags;
  graph->SrcX = parent->SrcX + x;
  graph->SrcY = parent->SrcY + y;
  GraphRecord* mutableParent = GetGraphRecord(parentHandle);
  const int result = graph->Options.TextureFlag == 1
                         ? G_D3D_DeriveGraph(graph, x, y, width, height, mutableParent)
                         : G_DD_DeriveGraph(graph, x, y, width, height, mutableParent);
  if (result != 0) {
    g_graphs.Free(handle);
    return base::LogAddLine("グラフィックの派生に失敗しました終了します");
  }
  return handle;
}

int InitGraphicsManager() {
  if (g_managerInitialised) return 0;
  base::LogAddString("グラフィック管理系の初期化を行います\n");
  base::LogIndentIn();
  // Everything starts empty; the transparent colour is the caller's to keep.
  g_graphs.Init();
  // Pieces first, so that none is left naming a store of the emptied table.
  DeleteAllSurface2D();
  DeleteAllSurface3D();
  InitSurfaceDataTable();
  InitMovieTable();
  g_DrawState = GraphicsDrawState{};
  GraphicsDrawState& ds = g_DrawState;
  ds.TransColor = 0;
  ds.BlendGraph = -1;
  ds.ZBufferUse = 0;
  ds.ZWrite = 1;
  ds.ChooseDirect3DGraphs = 1;
  ds.CreateAlphaTest = 1;
  ds.SamplingMode = 0;
  ds.BlendMode = 0;
  ds.BlendParam = 0;
  ds.Bright = 0xFFFFFF;

  g_managerInitialised = 1;
  G_DD_InitGraphics();
  g_3dAvailable = G_D3D_InitGraphics() != -1 ? 1 : 0;
  base::LogAddString(g_3dAvailable ? "３Ｄグラフィック描画機能を使用します\n"
                                   : "３Ｄグラフィック描画機能は使用しません\n");
  ds.CreateColorBitDepth = 0;
  ds.MaskFlag = 1;
  ds.MaskActive = (ds.MaskFlag && MaskLayerExists()) ? 1 : 0;

  ds.DrawScreen = kDrawScreenBack;
  SelectDrawScreen(kDrawScreenFront);
  int w = 0, h = 0;
  QueryGraphDimensions(ds.DrawScreen, &w, &h);
  ApplyDrawArea(0, 0, w, h);

  ResetDefaultFontSettings();
  InitFontSystem();
  base::LogIndentOut();
  base::LogAddString("グラフィック管理系の初期化は正常に終了しました\n");
  return 0;
}

int EndGraphicsManager() {
  if (!g_managerInitialised) return 0;
  DeleteMaskLayer();
  DeleteAllMaskHandles();
  DeleteAllGraphHandles(0);
  TermMovieTable();
  EndFontSystem();
  g_managerInitialised = 0;
  g_graphs.Term();
  base::LogAddString("グラフィック管理系の終了処理は正常に終了しました\n");
  return 0;
}

int StartGraphics(platform::Window* mainWindow) {
  SetDirectDrawMainWindow(mainWindow);
  // Without a screen nothing could be drawn, read or presented: the start-up fails.
  return StartDirectDrawLayer() == 0 ? 0 : -1;
}

int EndGraphics() {
  EndDirectDrawLayer();
  return 0;
}

}  // namespace zq::gfx
