#include "graphics/d3d/surface3d.h"

#include <algorithm>
#include <bit>

#include "base/log.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/surface_piece.h"
#include "graphics/texture_format.h"
#include "platform/size_limits.h"

namespace zq::gfx {
namespace {

HandleTable g_table(HandleKind::kSurface3D, sizeof(Surface3DRecord));

bool PowerOfTwoOnly(const platform::D3DDEVICEDESC7& d) {
  return (d.dwTextureCaps & platform::D3DPTEXTURECAPS_POW2) != 0;
}
bool SquareOnly(const platform::D3DDEVICEDESC7& d) {
  return (d.dwTextureCaps & platform::D3DPTEXTURECAPS_SQUAREONLY) != 0;
}

// A side limit as the device can use it: a power of two no larger when it wants powers of two.
int UsableSide(uint32_t limit, bool powerOfTwo) {
  limit = std::min<uint32_t>(limit, uint32_t(platform::kMaxImageSide));
  return int(powerOfTwo && limit != 0 ? std::bit_floor(limit) : limit);
}

}  // namespace

void MaxPieceSize(int* width, int* height) {
  *width = *height = 0;
  if (GetCurrentDeviceSlotWord() == 0) return;
  const platform::D3DDEVICEDESC7& d = *GetKeptDeviceDesc();
  *width = UsableSide(d.dwMaxTextureWidth, PowerOfTwoOnly(d));
  *height = UsableSide(d.dwMaxTextureHeight, PowerOfTwoOnly(d));
  if (SquareOnly(d)) *width = *height = std::min(*width, *height);
}

void TextureSizeFor(int width, int height, int* textureWidth, int* textureHeight) {
  const platform::D3DDEVICEDESC7& d = *GetKeptDeviceDesc();
  // The minimum first, so that rounding up keeps the result a power of two.
  uint64_t w = std::max<uint64_t>(uint64_t(std::max(width, 0)), d.dwMinTextureWidth);
  uint64_t h = std::max<uint64_t>(uint64_t(std::max(height, 0)), d.dwMinTextureHeight);
  if (PowerOfTwoOnly(d)) {
    w = std::bit_ceil(w);
    h = std::bit_ceil(h);
  }
  if (SquareOnly(d)) w = h = std::max(w, h);
  // Beyond what a store can be: refused when the store is made.
  constexpr uint64_t kTooLarge = uint64_t(platform::kMaxImageSide) + 1;
  *textureWidth = int(std::min(w, kTooLarge));
  *textureHeight = int(std::min(h, kTooLarge));
}

int InitSurface3DTable() {
  // Pieces still held give their store references back; then the table starts at 0.
  DeleteAllSurface3D();
  return g_table.Init();
}

void TermSurface3DTable() {
  DeleteAllSurface3D();
  g_table.Term();
}

const HandleTable& Surface3DTable() {
  return g_table;
}

HandleValue AddSurface3DData(int width, int height, int storeX, int storeY, int,
                             HandleValue sharedData, int graphX, int graphY,
                             const SurfaceOptions* options) {
  if (GetCurrentDeviceSlotWord() == 0)
    return base::LogAddString("Ｄｉｒｅｃｔ３Ｄが初期化されていません\n");
  if (!g_table.IsInitialised() && g_table.Init() != 0)
    return base::LogAddString("メモリの確保に失敗しました\n");
  if (g_table.Count() >= g_table.SlotCount())
    return base::LogAddString("３Ｄサーフェスの数が許容量を越えました\n");
  // The piece must have a positive size, lie inside its store and inside a graph's extent.
  const SurfaceDataRecord* shared = sharedData >= 0 ? GetSurfaceDataRecord(sharedData) : nullptr;
  const bool badShared = sharedData >= 0 && shared == nullptr;
  int storeWidth = 0, storeHeight = 0;
  if (shared != nullptr) {
    storeWidth = shared->Width;
    storeHeight = shared->Height;
  } else if (width > 0 && height > 0) {
    TextureSizeFor(width, height, &storeWidth, &storeHeight);
  }
  if (badShared || width < 1 || height < 1 || storeX < 0 || storeY < 0 || graphX < 0 ||
      graphY < 0 || int64_t(storeX) + width > storeWidth ||
      int64_t(storeY) + height > storeHeight || int64_t(graphX) + width > platform::kMaxImageSide ||
      int64_t(graphY) + height > platform::kMaxImageSide || (!shared && options == nullptr))
    return base::LogAddString("３Ｄサーフェスの作成に失敗しました\n");

  const HandleValue data = TakePieceStore(sharedData, storeWidth, storeHeight, options);
  if (data < 0) return base::LogAddString("３Ｄサーフェスの作成に失敗しました\n");
  Surface3DRecord* piece = nullptr;
  const HandleValue handle = AllocatePieceRecord(g_table, data, &piece);
  if (handle < 0) return -1;
  piece->GraphX = uint16_t(graphX);
  piece->GraphY = uint16_t(graphY);
  piece->Width = uint16_t(width);
  piece->Height = uint16_t(height);
  piece->StoreX = uint16_t(storeX);
  piece->StoreY = uint16_t(storeY);
  return handle;
}

Surface3DRecord* LookupSurface3DRecord(HandleValue handle) {
  if (!g_table.IsInitialised()) return nullptr;
  return g_table.Lookup<Surface3DRecord>(handle);
}

int DeleteSurface3D(HandleValue handle) {
  return DeletePieceRecord<Surface3DRecord>(g_table, handle);
}

int DeleteAllSurface3D() {
  DeleteAllPieceRecords<Surface3DRecord>(g_table);
  return 0;
}

void PrepareTextureWrite(HandleValue handle) {
  const Surface3DRecord* piece = LookupSurface3DRecord(handle);
  const SurfaceDataRecord* store = piece ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
  if (store != nullptr) PrepareSurfaceWrite(store->Surface);
}

int LockSurface3DTexture(HandleValue handle, int32_t* pitch, void** pointer, int writeOnly,
                         const platform::RECT* rect, const ColorData** format) {
  const Surface3DRecord* piece = LookupSurface3DRecord(handle);
  if (piece == nullptr) return -1;
  return LockSurfaceData(piece->SurfaceData, pitch, pointer, writeOnly, rect, format);
}

int UnlockSurface3DTexture(HandleValue handle, const platform::RECT* rect) {
  const Surface3DRecord* piece = LookupSurface3DRecord(handle);
  if (piece == nullptr) return -1;
  return UnlockSurfaceData(piece->SurfaceData, rect);
}

int ReleaseSurface3DObjects() {
  ReleasePieceStores<Surface3DRecord>(g_table);
  return 0;
}

int RecreateSurface3DObjects() {
  RecreatePieceStores<Surface3DRecord>(g_table);
  return 0;
}

}  // namespace zq::gfx
