#include "graphics/ddraw/surface2d.h"

#include "base/log.h"
#include "graphics/ddraw/display.h"
#include "graphics/surface_piece.h"
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

  const HandleValue data = TakePieceStore(sharedData, width, height, options);
  if (data < 0) return base::LogAddString("２Ｄサーフェスの作成に失敗しました\n");
  Surface2DRecord* piece = nullptr;
  const HandleValue handle = AllocatePieceRecord(g_table, data, &piece);
  if (handle < 0) return -1;
  piece->SrcX = uint16_t(srcX);
  piece->SrcY = uint16_t(srcY);
  piece->Width = uint16_t(width);
  piece->Height = uint16_t(height);
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
  return DeletePieceRecord<Surface2DRecord>(g_table, handle);
}

int DeleteAllSurface2D() {
  DeleteAllPieceRecords<Surface2DRecord>(g_table);
  return 0;
}

int ReleaseSurface2DObjects() {
  if (GetDirectDrawObject() != nullptr) ReleasePieceStores<Surface2DRecord>(g_table);
  return 0;
}

int RecreateSurface2DObjects() {
  if (GetDirectDrawObject() != nullptr) RecreatePieceStores<Surface2DRecord>(g_table);
  return 0;
}

}  // namespace zq::gfx
