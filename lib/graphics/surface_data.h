// Surface-data records: the pixel stores behind graph pieces (a DirectDraw surface, a texture,
// or a MEMIMG on the software path), shared by reference between the pieces cut from them.
#pragma once

#include <cstdint>

#include "graphics/ddraw/color_data.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/handle_table.h"
#include "platform/ddraw/ddraw.h"

namespace zq::gfx {

// The eight bytes that describe a wanted store; a graph's creation options in the same order.
struct SurfaceOptions {
  uint8_t TextureFlag;
  uint8_t AlphaChFlag;
  uint8_t DrawValid;
  uint8_t SystemMemFlag;
  uint8_t AlphaTestFlag;
  uint8_t ColorBitDepth;
  uint8_t SingleChannelFlag;
  uint8_t PaletteFlag;
};
static_assert(sizeof(SurfaceOptions) == 8);

// Pixel-format index of a store.
inline constexpr uint32_t kSurfaceFormatStandard = 9;
inline constexpr uint32_t kSurfaceFormatSoft16 = 10;
inline constexpr uint32_t kSurfaceFormatSoft16Alpha = 11;
inline constexpr uint32_t kSurfaceFormatSoft32 = 12;
inline constexpr uint32_t kSurfaceFormatSoft32Alpha = 13;

struct SurfaceDataRecord {
  uint32_t Check;      // bits 16-26 of the record's handle
  int32_t* OwnerFlag;  // receives 1 when the record is released
  SurfaceOptions Options;
  uint32_t SoftwareFlag;  // 1: the store is Image
  uint32_t FormatIndex;
  uint32_t ZBufferFlag;
  platform::DirectDrawSurface* Surface;
  MEMIMG Image;
  platform::DirectDrawSurface* ZSurface;
  MEMIMG ZImage;
  uint32_t ColorKey;  // 0xRRGGBB
  uint16_t Width;
  uint16_t Height;
  uint32_t RefCount;
  int32_t LockedPitch;
  uint8_t* LockedPointer;  // first pixel of the whole store while locked
  uint32_t LockDepth;
};

HandleValue AddSurfaceData(uint32_t refCount, int width, int height, uint32_t colorKey,
                           const SurfaceOptions* options);
int ReleaseSurfaceData(HandleValue handle);
int AddSurfaceDataRef(HandleValue handle);
int ReleaseSurfaceDataRef(HandleValue handle);
SurfaceDataRecord* GetSurfaceDataRecord(HandleValue handle);
int CreateSurfaceDataSurface(HandleValue handle);
int SetSurfaceDataZBuffer(HandleValue handle, int wanted);
int ReleaseSurfaceDataSurface(HandleValue handle);
int SetSurfaceDataColorKey(HandleValue handle);
// 0 when nothing was lost; -1 when the store was lost and has been restored (its pixels must
// be written again), or for a bad handle.
int RestoreSurfaceData(HandleValue handle);
// 0 locked, -2 already locked (nested), -1 failure. rect (left, top, right, bottom) may be null.
int LockSurfaceData(HandleValue handle, int32_t* pitch, void** pointer, int writeOnly,
                    const platform::RECT* rect, const ColorData** format);
int UnlockSurfaceData(HandleValue handle, const platform::RECT* rect);
int FillSurfaceDataColor(HandleValue handle, int red, int green, int blue, int alpha);
int ReleaseAllSurfaceData();

// Table life: made empty by the graphics manager, freed when the display layer ends.
int InitSurfaceDataTable();
void TermSurfaceDataTable();
const HandleTable& SurfaceDataTable();

}  // namespace zq::gfx
