// The device-context record shared by the bitmap and font halves of the GDI stand-in, and the
// calls each half makes into the other. Not for use outside lib/platform/gdi/.
#pragma once

#include "platform/gdi/bitmap.h"
#include "platform/gdi/font.h"

namespace zq::platform {

class DeviceContext {
 public:
  Bitmap* selected = nullptr;  // memory contexts
  Font* font = nullptr;        // memory contexts: the selected font (the stock font at first)
  bool surface = false;
  PixelTarget surfaceTarget;
  RGBQUAD surfaceColors[256]{};

  const PixelTarget* Target() const {
    if (surface) return &surfaceTarget;
    return selected ? &selected->target : nullptr;
  }
};

namespace gdi_detail {

// Font half (font.cpp).
Font* StockFont();
// The object as a font, or null.
Font* AsFont(HGDIOBJ object);
// Selects the font into a memory context; the previous font, or null for a surface context.
HGDIOBJ SelectFont(HDC dc, Font* font);
// Frees the font; false while it is selected into a context. The stock font is never freed.
bool DeleteFont(Font* font);
// The context lets go of its font before it is deleted.
void ReleaseContextFont(HDC dc);

// Bitmap half (bitmap.cpp).
void ResetBitmapHooks();

}  // namespace gdi_detail

}  // namespace zq::platform
