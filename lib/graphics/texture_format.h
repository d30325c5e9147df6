// Texture formats: the nine-entry table that Direct3D start-up fills from the device's
// enumeration, the choice of an entry for a store's options, the kept device description and
// Z-buffer format, and the three enumeration callbacks.
//
// Entries (each the surface pixel format as enumerated and its ColorData):
//   0 plain 16-bit          1 plain 32-bit (else a copy of 0)
//   2 alpha channel 16-bit  3 alpha channel 32-bit (else a copy of 2)
//   4 alpha test 16-bit (else a copy of 2)   5 alpha test 32-bit (else a copy of 3)
//   6 draw-valid 16-bit (copy of 0)          7 draw-valid 32-bit (copy of 1)
//   8 draw-valid with alpha channel or alpha test (copy of 3)
// An entry whose ColorData bit depth is 0 is empty; textures asked for in an empty entry are
// refused by DirectDraw.
#pragma once

#include <cstdint>

#include "graphics/ddraw/color_data.h"
#include "graphics/surface_data.h"
#include "platform/d3d/d3d.h"

namespace zq::gfx {

inline constexpr int kTextureFormatCount = 9;

struct TextureFormatEntry {
  platform::PixelFormat Format;  // exactly as the enumeration delivered it
  ColorData Data;                // ColorDataFromPixelFormat of Format
};

struct TextureFormatTable {
  TextureFormatEntry Entries[kTextureFormatCount];
};

// The index for a store's option bytes (AlphaChFlag, DrawValid, AlphaTestFlag, ColorBitDepth:
// 16 means 16-bit, anything else 32-bit).
int GetTextureFormatIndex(const SurfaceOptions* request);
const ColorData* GetTextureFormatByRequest(const SurfaceOptions* request);
// The chosen entry's descriptor for a request built from the flags (32-bit when bits32 is
// non-zero, else 16-bit).
const ColorData* SelectTextureFormat(int alphaChannel, int alphaTest, int bits32, int drawValid);
// An entry's pixel format and descriptor; an index outside 0..8 gives an empty entry.
const platform::PixelFormat* GetTextureFormatData(int index);
const ColorData* GetTextureFormatDataB(int index);
// The recorded 16-bit Z-buffer format (the depth asked for is not looked at).
const platform::PixelFormat* GetZBufferPixelFormat(int bitDepth);
// The description of the accepted device, kept from the last successful enumeration.
const platform::D3DDEVICEDESC7* GetKeptDeviceDesc();

// Enumeration callbacks; the context is a pointer to an int found flag that the caller sets to 0.
platform::HRESULT EnumDeviceCallback(const char* description, const char* name,
                                     platform::D3DDEVICEDESC7* desc, void* context);
platform::HRESULT EnumZBufferFormatCallback(platform::PixelFormat* format, void* context);
platform::HRESULT EnumTextureFormatCallback(platform::PixelFormat* format, void* context);

// Start-up steps around the texture enumeration: empty all entries; fill the empty ones by
// copying in table order; write the table to the log.
void ClearTextureFormatTable();
void FillTextureFormatTable();
void LogTextureFormatTable();

}  // namespace zq::gfx
