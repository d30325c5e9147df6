#include "graphics/ddraw/surface2d.h"

#include "base/log.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "platform/size_limits.h"

namespace zq::gfx {
namespace {

HandleTable g_table(HandleKind::kSurface2D, sizeof(Surface2DRecord));

}  // namespace

int InitSurface2DTable() {
  // Pieces still held give their store references back; then the table starts at 0.
  DeleteAllSurface2D();
  return g_table.Init();
}

void TermSurface2DTable() {
  DeleteAllSurface2D();
  g_table.Term();
}

const HandleTable& Surface2DTable() {
  return g_table;
}

HandleValue AddSurface2D(int width, int height, int srcX, int srcY, int, HandleValue sharedData,
                         int, int, const SurfaceOptions* options) {
  if (GetDirectDrawObject() == nullptr)
    return base::LogAddString("DirectDraw が初期化されていません\n");
  if (!g_table.IsInitialised() && g_table.Init() != 0)
    return base::LogAddString("メモリの確保に失敗しました\n");
  if (g_table.Count() >= g_table.SlotCount())
    return base::LogAddString("２Ｄサーフェスの数が許容量を越えました\n");
  // The piece must have a positive size and lie inside its store.
  const SurfaceDataRecord* shared = sharedData >= 0 ? GetSurfaceDataRecord(sharedData) : nullptr;
  const bool badShared = sharedData >= 0 && shared == nullptr;
  const int storeWidth = shared ? shared->Width : platform::kMaxImageSide;
  const int storeHeight = shared ? shared->Height : platform::kMaxImageSide;
  if (badShared || width < 1 || height < 1 || srcX < 0 || srcY < 0 ||
      int64_t(srcX) + width > storeWidth || int64_t(srcY) + height > storeHeight ||
      (!shared && options == nullptr))
    return base::LogAddString("２Ｄサーフェスの作成に失敗しました\n");

  HandleValue data;
  if (shared != nullptr) {
    data = sharedData;
    AddSurfaceDataRef(data);
  } else {
    data = AddSurfaceData(1, width, height, g_DrawState.TransColor, options);
    if (data < 0) return base::LogAddString("２Ｄサーフェスの作成に失敗しました\n");
  }
  void* raw = nullptr;
  const HandleValue handle = g_table.Allocate(&raw);
  if (handle < 0) {
    if (ReleaseSurfaceDataRef(data) == 0) ReleaseSurfaceData(data);
    return base::LogAddString("メモリの確保に失敗しました\n");
  }
  auto* piece = static_cast<Surface2DRecord*>(raw);
  piece->SrcX = uint16_t(srcX);
  piece->SrcY = uint16_t(srcY);
  piece->Width = uint16_t(width);
  piece->Height = uint16_t(height);
  piece->SurfaceData = data;
  return handle;
}

Surface2DRecord* LookupSurface2DRecord(HandleValue handle) {
  if (!g_table.IsInitialised()) return nullptr;
  return g_table.Lookup<Surface2DRecord>(handle);
}

int SetSurface2DLink(HandleValue handle, int32_t* flag) {
  Surface2DRecord* piece = LookupSurface2DRecord(handle);
  if (piece == nullptr) return 0;
  piece->LostFlag = flag;
  if (flag != nullptr) *flag = 0;
  return 0;
}

int DeleteSurface2D(HandleValue handle) {
  Surface2DRecord* piece = LookupSurface2DRecord(handle);
  if (piece == nullptr) return 0;
  if (ReleaseSurfaceDataRef(piece->SurfaceData) == 0) ReleaseSurfaceData(piece->SurfaceData);
  if (piece->LostFlag != nullptr) *piece->LostFlag = 1;
  g_table.Free(handle);
  return 0;
}

int DeleteAllSurface2D() {
  if (!g_table.IsInitialised()) return 0;
  g_table.ForEach([](HandleValue h, void*) { DeleteSurface2D(h); });
  return 0;
}

int ReleaseSurface2DObjects() {
  if (GetDirectDrawObject() == nullptr || !g_table.IsInitialised()) return 0;
  g_table.ForEach([](HandleValue, void* rec) {
    ReleaseSurfaceDataSurface(static_cast<Surface2DRecord*>(rec)->SurfaceData);
  });
  return 0;
}

int RecreateSurface2DObjects() {
  if (GetDirectDrawObject() == nullptr || !g_table.IsInitialised()) return 0;
  g_table.ForEach([](HandleValue, void* rec) {
    const HandleValue data = static_cast<Surface2DRecord*>(rec)->SurfaceData;
    CreateSurfaceDataSurface(data);
    SetSurfaceDataColorKey(data);
  });
  return 0;
}

}  // namespace zq::gfx
