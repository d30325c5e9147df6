// Plain types shared by the platform stand-ins and the library above them.
#pragma once

#include <cstdint>

namespace zq::platform {

// A rectangle in pixels; right and bottom are exclusive.
struct RECT {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// Pixel-format record of surfaces and display modes (32 bytes, little-endian fields).
struct PixelFormat {
  uint32_t size;         // sizeof(PixelFormat)
  uint32_t flags;        // PF_* bits
  uint32_t fourCC;       // with PF_FOURCC
  uint32_t rgbBitCount;  // bits per pixel
  uint32_t redMask;
  uint32_t greenMask;
  uint32_t blueMask;
  uint32_t alphaMask;  // with PF_ALPHAPIXELS
};
static_assert(sizeof(PixelFormat) == 32);

inline constexpr uint32_t PF_ALPHAPIXELS = 0x00000001;
inline constexpr uint32_t PF_FOURCC = 0x00000004;
inline constexpr uint32_t PF_PALETTEINDEXED8 = 0x00000020;
inline constexpr uint32_t PF_RGB = 0x00000040;

// Drops the caller's reference to a stand-in object (DirectDraw, Direct3D, DirectShow) and clears
// the pointer, so a second release is harmless.
template <class T>
void ReleaseInterface(T*& object) {
  if (object != nullptr) {
    object->Release();
    object = nullptr;
  }
}

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}

}  // namespace zq::platform
