// Stand-in for the GDI bitmap services: memory device contexts, DIB sections, the row transfers
// SetDIBitsToDevice and StretchDIBits, BitBlt between device contexts and GetObjectA. Pixels are
// moved through 8-bit-per-channel colours (narrow channels widened by repeating their top bits,
// then cut to the target's widths); indexed targets take the nearest colour-table entry, the
// first of equals. Copies between identical layouts move the raw bytes.
#pragma once

#include <cstdint>
#include <memory>

namespace zq::platform {

// ---- Records ---------------------------------------------------------------------------------

struct BITMAPINFOHEADER {
  uint32_t biSize;  // 40
  int32_t biWidth;
  int32_t biHeight;  // negative: rows stored top to bottom
  uint16_t biPlanes;
  uint16_t biBitCount;  // 1, 4, 8, 16, 24, 32
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;  // 0: 2^biBitCount entries for indexed bitmaps
  uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
  uint8_t rgbBlue;
  uint8_t rgbGreen;
  uint8_t rgbRed;
  uint8_t rgbReserved;
};

// The header followed by the colour table, or by three 32-bit masks (red, green, blue) with
// BI_BITFIELDS. Callers may pass a shorter block: only the entries the header calls for are read.
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[256];
};

// Description of a bitmap as GetObjectA gives it.
struct BITMAP {
  int32_t bmType;  // 0
  int32_t bmWidth;
  int32_t bmHeight;      // rows, always positive
  int32_t bmWidthBytes;  // row pitch, a multiple of 4
  uint16_t bmPlanes;     // 1
  uint16_t bmBitsPixel;
  void* bmBits;  // first stored row
};

inline constexpr uint32_t BI_RGB = 0;
inline constexpr uint32_t BI_RLE8 = 1;
inline constexpr uint32_t BI_RLE4 = 2;
inline constexpr uint32_t BI_BITFIELDS = 3;
inline constexpr uint32_t DIB_RGB_COLORS = 0;
inline constexpr uint32_t DIB_PAL_COLORS = 1;  // not supported
inline constexpr uint32_t SRCCOPY = 0x00CC0020;

// ---- Objects ---------------------------------------------------------------------------------

class GdiObject {
 public:
  virtual ~GdiObject() = default;
};
// Pixel memory a device context draws into.
struct PixelTarget {
  uint8_t* top = nullptr;  // the image's top row
  int32_t width = 0;
  int32_t height = 0;
  int32_t pitch = 0;  // bytes from one image row to the one below (negative when bottom-up)
  uint32_t bitCount = 0;
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
  const RGBQUAD* colors = nullptr;  // indexed formats
  uint32_t colorCount = 0;
};
class DeviceContext;

// A DIB section, or the stock bitmap; its fields belong to the GDI stand-in.
class Bitmap : public GdiObject {
 public:
  PixelTarget target;
  std::unique_ptr<uint8_t[]> memory;
  uint8_t* firstStored = nullptr;
  RGBQUAD colors[256]{};
  DeviceContext* selectedIn = nullptr;
  bool stock = false;
};

using HGDIOBJ = GdiObject*;
using HBITMAP = Bitmap*;
using HDC = DeviceContext*;

// A memory device context; the reference context is not needed and may be null.
HDC CreateCompatibleDC(HDC reference);
// Deletes the context; its selected bitmap stays alive. False for null or a surface context.
bool DeleteDC(HDC dc);
// A DIB section (rows padded to 4 bytes, zero-filled). Null for an unsupported header, a usage
// other than DIB_RGB_COLORS, a width or |height| of 0 or above 65535, or more than 2^31 - 1
// bytes. bits (optional) receives the pixel pointer.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, uint32_t usage, void** bits);
// Selects a bitmap or a font (font.h) into a memory context and returns the one of its kind
// selected before (initially the stock 1 x 1 monochrome bitmap, or the stock font). Null when the
// bitmap is selected into another context.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Frees a bitmap or a font; false while it is selected into a context. The stock objects are
// never freed.
bool DeleteObject(HGDIOBJ object);
// With a bitmap: writes a BITMAP (when size allows) and returns sizeof(BITMAP); with a null
// buffer returns the size needed; 0 for anything else.
int32_t GetObjectA(HGDIOBJ object, int32_t size, void* buffer);

// Copies w x h source pixels at (xSrc, ySrc) to (xDest, yDest). Source coordinates count from
// the image's top row whatever the storage order; the bits hold the stored rows startScan to
// startScan + lines - 1 (storage order). Clipped to the image and the target. Returns the number
// of lines given, or 0 on failure.
int32_t SetDIBitsToDevice(HDC dc, int32_t xDest, int32_t yDest, uint32_t w, uint32_t h,
                          int32_t xSrc, int32_t ySrc, uint32_t startScan, uint32_t lines,
                          const void* bits, const BITMAPINFO* info, uint32_t usage);
// Nearest-pixel stretch. A negative width or height walks from the origin pixel backwards, so
// opposite signs of the source and destination extents mirror: source x = width - 1 with source
// width -width reverses every row. Returns the destination height, or 0 on failure.
int32_t StretchDIBits(HDC dc, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                      int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight,
                      const void* bits, const BITMAPINFO* info, uint32_t usage, uint32_t rop);
// SRCCOPY between two contexts (memory or surface), clipped to both.
bool BitBlt(HDC dest, int32_t x, int32_t y, int32_t w, int32_t h, HDC src, int32_t xSrc,
            int32_t ySrc, uint32_t rop);
// Drawing is immediate here; kept for callers that flush.
bool GdiFlush();

// ---- For the DirectDraw stand-in ---------------------------------------------------------------

// A context fixed on foreign memory (a surface's pixels). Deleted with DeleteSurfaceDC only.
HDC CreateSurfaceDC(const PixelTarget& target);
void DeleteSurfaceDC(HDC dc);

// ---- Test hooks (gditest::Reset in font.h turns them off) -----------------------------------

namespace gditest {
// The next CreateCompatibleDC gives null.
void FailNextCreateCompatibleDC();
}  // namespace gditest

}  // namespace zq::platform
