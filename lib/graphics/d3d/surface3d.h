// 3D pieces: a graph's rectangle on the Direct3D path. Each piece lies at its own position in
// its graph and points at a rectangle of a texture store (a surface-data record), which pieces
// of derived graphs share by reference.
#pragma once

#include <cstdint>

#include "graphics/handle_table.h"
#include "graphics/surface_data.h"
#include "platform/types.h"

namespace zq::gfx {

struct Surface3DRecord {
  uint32_t Check;
  int32_t* LostFlag;  // receives 1 when the piece is deleted
  uint16_t GraphX;    // the piece's position in its graph
  uint16_t GraphY;
  uint16_t Width;
  uint16_t Height;
  uint16_t StoreX;  // the piece's position in its store
  uint16_t StoreY;
  HandleValue SurfaceData;
};

// The side of the texture that stores a piece side on the current device: at least the device's
// minimum, rounded up to a power of two when the device requires it, and square on the larger
// side when the device takes square textures only.
void TextureSizeFor(int width, int height, int* textureWidth, int* textureHeight);
// The largest piece the current device can store in one texture; 0 x 0 without a device.
void MaxPieceSize(int* width, int* height);

// A new piece of width x height at (storeX, storeY) of a shared store, or of a new store of the
// texture size for the piece made with the options; graphX, graphY is its position in its graph.
// flags is carried for later callers. The piece handle, or -1 after a log line.
HandleValue AddSurface3DData(int width, int height, int storeX, int storeY, int flags,
                             HandleValue sharedData, int graphX, int graphY,
                             const SurfaceOptions* options);
Surface3DRecord* LookupSurface3DRecord(HandleValue handle);
// Drops the piece's store reference (releasing the store at 0), writes 1 through its lost flag
// and frees it. 0, also for an invalid handle.
int DeleteSurface3D(HandleValue handle);
int DeleteAllSurface3D();
// Before a piece's store is written: the pending vertices are drawn (they may read the store) and
// the scene is ended when the store is the device's render target. LockSurfaceData and
// FillSurfaceDataColor do it for every store; writers that go around them call this.
void PrepareTextureWrite(HandleValue handle);
// LockSurfaceData / UnlockSurfaceData on the piece's store (rectangles in store pixels); -1 for
// an invalid piece.
int LockSurface3DTexture(HandleValue handle, int32_t* pitch, void** pointer, int writeOnly,
                         const platform::RECT* rect, const ColorData** format);
int UnlockSurface3DTexture(HandleValue handle, const platform::RECT* rect);
// Every piece's store released (kept records), or made again with its colour key.
int ReleaseSurface3DObjects();
int RecreateSurface3DObjects();

int InitSurface3DTable();
void TermSurface3DTable();
const HandleTable& Surface3DTable();

}  // namespace zq::gfx
