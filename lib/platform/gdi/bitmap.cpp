// GDI bitmap stand-in (see bitmap.h).
#include "platform/gdi/bitmap.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/gdi/context.h"
#include "platform/pixel_channels.h"
#include "platform/size_limits.h"

namespace zq::platform {

namespace {

// The stock 1 x 1 monochrome bitmap every memory context starts with.
Bitmap& StockBitmap() {
  static Bitmap* stock = [] {
    auto* b = new Bitmap();
    b->stock = true;
    b->memory.reset(new uint8_t[4]{});
    b->firstStored = b->memory.get();
    b->colors[1] = RGBQUAD{255, 255, 255, 0};
    b->target = PixelTarget{b->memory.get(), 1, 1, 4, 1, 0, 0, 0, b->colors, 2};
    return b;
  }();
  return *stock;
}

// A pixel layout: bit count, channels of direct formats, colour table (0xRRGGBB) of indexed ones.
struct Format {
  uint32_t bitCount = 0;
  Channel r, g, b;
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
  uint32_t palette[256]{};
  uint32_t colorCount = 0;
  bool Indexed() const { return bitCount <= 8; }
};

uint32_t QuadToRgb(const RGBQUAD& q) {
  return uint32_t(q.rgbRed) << 16 | uint32_t(q.rgbGreen) << 8 | q.rgbBlue;
}

void SetMasks(Format& f, uint32_t r, uint32_t g, uint32_t b) {
  f.redMask = r;
  f.greenMask = g;
  f.blueMask = b;
  f.r = ChannelFromMask(r);
  f.g = ChannelFromMask(g);
  f.b = ChannelFromMask(b);
}

Format FormatOfTarget(const PixelTarget& t) {
  Format f;
  f.bitCount = t.bitCount;
  if (f.Indexed()) {
    f.colorCount = std::min<uint32_t>(t.colorCount, 256);
    for (uint32_t i = 0; i < f.colorCount; ++i) f.palette[i] = QuadToRgb(t.colors[i]);
  } else {
    SetMasks(f, t.redMask, t.greenMask, t.blueMask);
  }
  return f;
}

// A source image described by a BITMAPINFO.
struct Dib {
  Format format;
  int32_t width = 0;
  int32_t height = 0;  // rows
  bool bottomUp = false;
  int64_t stride = 0;
};

int64_t StrideOf(int64_t width, uint32_t bitCount) {
  return (width * bitCount + 31) / 32 * 4;
}

// Validates the header and reads the colour table or masks; the table and masks always follow
// the first 40 bytes (later header versions are not read).
bool ParseDib(const BITMAPINFO* info, uint32_t usage, Dib& out) {
  if (!info || usage != DIB_RGB_COLORS) return false;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER)) return false;
  if (h.biWidth <= 0 || h.biWidth > kMaxImageSide || h.biHeight == 0 ||
      h.biHeight < -kMaxImageSide || h.biHeight > kMaxImageSide)
    return false;
  const uint32_t bits = h.biBitCount;
  Format& f = out.format;
  f.bitCount = bits;
  switch (bits) {
    case 1:
    case 4:
    case 8: {
      if (h.biCompression != BI_RGB) return false;
      uint32_t full = 1u << bits;
      f.colorCount = h.biClrUsed == 0 || h.biClrUsed > full ? full : h.biClrUsed;
      for (uint32_t i = 0; i < f.colorCount; ++i) f.palette[i] = QuadToRgb(info->bmiColors[i]);
      break;
    }
    case 16:
    case 32:
      if (h.biCompression == BI_BITFIELDS) {
        uint32_t m[3];
        std::memcpy(m, info->bmiColors, sizeof(m));
        uint64_t limit = bits == 32 ? 0xFFFFFFFFull : 0xFFFFull;
        // A zero mask is a channel that reads as 0; overlapping or too wide masks are refused.
        if (m[0] > limit || m[1] > limit || m[2] > limit || (m[0] & m[1]) || (m[0] & m[2]) ||
            (m[1] & m[2]))
          return false;
        SetMasks(f, m[0], m[1], m[2]);
      } else if (h.biCompression == BI_RGB) {
        if (bits == 16)
          SetMasks(f, 0x7C00, 0x03E0, 0x001F);
        else
          SetMasks(f, 0xFF0000, 0xFF00, 0xFF);
      } else {
        return false;
      }
      break;
    case 24:
      if (h.biCompression != BI_RGB) return false;
      SetMasks(f, 0xFF0000, 0xFF00, 0xFF);
      break;
    default:
      return false;
  }
  out.width = h.biWidth;
  out.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  out.bottomUp = h.biHeight > 0;
  out.stride = StrideOf(h.biWidth, bits);
  return out.stride * out.height <= kMaxBlockBytes;
}

// Colours (0xRRGGBB) of count pixels of a row starting at column x0.
void DecodeRow(const Format& f, const uint8_t* row, int32_t x0, int32_t count, uint32_t* out) {
  switch (f.bitCount) {
    case 1:
    case 4:
    case 8: {
      const uint32_t bits = f.bitCount, perByte = 8 / bits, mask = (1u << bits) - 1u;
      for (int32_t i = 0; i < count; ++i) {
        uint32_t x = uint32_t(x0 + i);
        uint32_t shift = 8 - bits * (x % perByte + 1);
        uint32_t index = (row[x / perByte] >> shift) & mask;
        out[i] = index < f.colorCount ? f.palette[index] : 0;
      }
      break;
    }
    default: {
      const uint32_t bytes = f.bitCount / 8;
      const uint8_t* p = row + size_t(x0) * bytes;
      for (int32_t i = 0; i < count; ++i, p += bytes) {
        uint32_t v = LoadPixel(p, bytes);
        out[i] = ChannelTo8(v, f.r) << 16 | ChannelTo8(v, f.g) << 8 | ChannelTo8(v, f.b);
      }
      break;
    }
  }
}

// Nearest colour-table entry by squared distance; the first of equal ones.
uint32_t NearestIndex(const Format& f, uint32_t rgb) {
  uint32_t best = 0;
  int64_t bestDist = INT64_MAX;
  for (uint32_t i = 0; i < f.colorCount; ++i) {
    int64_t dr = int64_t((f.palette[i] >> 16) & 0xFF) - ((rgb >> 16) & 0xFF);
    int64_t dg = int64_t((f.palette[i] >> 8) & 0xFF) - ((rgb >> 8) & 0xFF);
    int64_t db = int64_t(f.palette[i] & 0xFF) - (rgb & 0xFF);
    int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  return best;
}

void EncodeRow(const Format& f, uint8_t* row, int32_t x0, int32_t count, const uint32_t* in) {
  switch (f.bitCount) {
    case 1:
    case 4:
    case 8: {
      const uint32_t bits = f.bitCount, perByte = 8 / bits, mask = (1u << bits) - 1u;
      uint32_t lastRgb = 0, lastIndex = NearestIndex(f, 0);
      for (int32_t i = 0; i < count; ++i) {
        if (in[i] != lastRgb) {
          lastRgb = in[i];
          lastIndex = NearestIndex(f, lastRgb);
        }
        uint32_t x = uint32_t(x0 + i);
        uint32_t shift = 8 - bits * (x % perByte + 1);
        uint8_t& byte = row[x / perByte];
        byte = uint8_t((byte & ~(mask << shift)) | ((lastIndex & mask) << shift));
      }
      break;
    }
    default: {
      const uint32_t bytes = f.bitCount / 8;
      uint8_t* p = row + size_t(x0) * bytes;
      for (int32_t i = 0; i < count; ++i, p += bytes) {
        uint32_t c = in[i];
        StorePixel(p, bytes,
                   ChannelFrom8((c >> 16) & 0xFF, f.r) | ChannelFrom8((c >> 8) & 0xFF, f.g) |
                       ChannelFrom8(c & 0xFF, f.b));
      }
      break;
    }
  }
}

bool SameLayout(const Format& a, const Format& b) {
  if (a.bitCount != b.bitCount) return false;
  if (a.Indexed())
    return a.bitCount == 8 && a.colorCount == b.colorCount &&
           std::memcmp(a.palette, b.palette, a.colorCount * sizeof(uint32_t)) == 0;
  return a.redMask == b.redMask && a.greenMask == b.greenMask && a.blueMask == b.blueMask;
}

uint8_t* TargetRow(const PixelTarget& t, int32_t y) {
  return t.top + int64_t(y) * t.pitch;
}

// Destination steps of one axis of a stretch: dest coordinate and source coordinate per step.
struct AxisMap {
  std::vector<int32_t> dest;
  std::vector<int32_t> src;
};

AxisMap MapAxis(int32_t d0, int32_t dExtent, int32_t s0, int32_t sExtent, int32_t destLimit,
                int32_t srcLimit) {
  AxisMap m;
  const int64_t dn = dExtent < 0 ? -int64_t(dExtent) : dExtent;
  const int64_t sn = sExtent < 0 ? -int64_t(sExtent) : sExtent;
  const int64_t ds = dExtent < 0 ? -1 : 1, ss = sExtent < 0 ? -1 : 1;
  // Only steps that land on the destination are walked, so huge extents cost nothing.
  int64_t kLo = 0, kHi = dn;  // [kLo, kHi)
  if (ds > 0) {
    kLo = std::max<int64_t>(kLo, -int64_t(d0));
    kHi = std::min<int64_t>(kHi, int64_t(destLimit) - d0);
  } else {
    kLo = std::max<int64_t>(kLo, int64_t(d0) - destLimit + 1);
    kHi = std::min<int64_t>(kHi, int64_t(d0) + 1);
  }
  for (int64_t k = kLo; k < kHi; ++k) {
    int64_t s = int64_t(s0) + (k * sn / dn) * ss;
    if (s < 0 || s >= srcLimit) continue;
    m.dest.push_back(int32_t(int64_t(d0) + k * ds));
    m.src.push_back(int32_t(s));
  }
  return m;
}

const uint8_t* DibRow(const Dib& dib, const uint8_t* bits, int32_t imageRow, uint32_t startScan,
                      uint32_t lines) {
  int64_t scan = dib.bottomUp ? int64_t(dib.height) - 1 - imageRow : imageRow;
  if (scan < int64_t(startScan) || scan >= int64_t(startScan) + lines) return nullptr;
  return bits + (scan - startScan) * dib.stride;
}

}  // namespace

// ---- Contexts and objects --------------------------------------------------------------------

namespace {
std::atomic<bool> g_failNextCreateDC{false};
}  // namespace

HDC CreateCompatibleDC(HDC) {
  if (g_failNextCreateDC.exchange(false)) return nullptr;
  auto* dc = new (std::nothrow) DeviceContext();
  if (dc) {
    dc->selected = &StockBitmap();
    dc->font = gdi_detail::StockFont();
  }
  return dc;
}

bool DeleteDC(HDC dc) {
  if (!dc || dc->surface) return false;
  if (dc->selected && !dc->selected->stock) dc->selected->selectedIn = nullptr;
  gdi_detail::ReleaseContextFont(dc);
  delete dc;
  return true;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, uint32_t usage, void** bits) {
  if (bits) *bits = nullptr;
  Dib dib;
  if (!ParseDib(info, usage, dib)) return nullptr;
  auto* b = new (std::nothrow) Bitmap();
  if (!b) return nullptr;
  const size_t bytes = size_t(dib.stride * dib.height);
  b->memory.reset(new (std::nothrow) uint8_t[bytes]());
  if (!b->memory) {
    delete b;
    return nullptr;
  }
  b->firstStored = b->memory.get();
  const Format& f = dib.format;
  PixelTarget& t = b->target;
  t.width = dib.width;
  t.height = dib.height;
  t.pitch = int32_t(dib.bottomUp ? -dib.stride : dib.stride);
  t.top = dib.bottomUp ? b->memory.get() + (dib.height - 1) * dib.stride : b->memory.get();
  t.bitCount = f.bitCount;
  t.redMask = f.redMask;
  t.greenMask = f.greenMask;
  t.blueMask = f.blueMask;
  if (f.Indexed()) {
    for (uint32_t i = 0; i < f.colorCount; ++i) b->colors[i] = info->bmiColors[i];
    t.colors = b->colors;
    t.colorCount = f.colorCount;
  }
  if (bits) *bits = b->memory.get();
  return b;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (Font* font = gdi_detail::AsFont(object)) return gdi_detail::SelectFont(dc, font);
  auto* bitmap = dynamic_cast<Bitmap*>(object);
  if (!dc || dc->surface || !bitmap) return nullptr;
  if (!bitmap->stock && bitmap->selectedIn && bitmap->selectedIn != dc) return nullptr;
  Bitmap* previous = dc->selected;
  if (previous && !previous->stock) previous->selectedIn = nullptr;
  dc->selected = bitmap;
  if (!bitmap->stock) bitmap->selectedIn = dc;
  return previous;
}

bool DeleteObject(HGDIOBJ object) {
  if (Font* font = gdi_detail::AsFont(object)) return gdi_detail::DeleteFont(font);
  auto* bitmap = dynamic_cast<Bitmap*>(object);
  if (!bitmap) return false;
  if (bitmap->stock) return true;
  if (bitmap->selectedIn) return false;
  delete bitmap;
  return true;
}

int32_t GetObjectA(HGDIOBJ object, int32_t size, void* buffer) {
  auto* bitmap = dynamic_cast<Bitmap*>(object);
  if (!bitmap) return 0;
  if (!buffer) return int32_t(sizeof(BITMAP));
  if (size < int32_t(sizeof(BITMAP))) return 0;
  const PixelTarget& t = bitmap->target;
  BITMAP bm{0,
            t.width,
            t.height,
            t.pitch < 0 ? -t.pitch : t.pitch,
            1,
            uint16_t(t.bitCount),
            bitmap->firstStored};
  std::memcpy(buffer, &bm, sizeof(bm));
  return int32_t(sizeof(BITMAP));
}

// ---- Transfers -------------------------------------------------------------------------------

int32_t SetDIBitsToDevice(HDC dc, int32_t xDest, int32_t yDest, uint32_t w, uint32_t h,
                          int32_t xSrc, int32_t ySrc, uint32_t startScan, uint32_t lines,
                          const void* bits, const BITMAPINFO* info, uint32_t usage) {
  Dib dib;
  if (!dc || !bits || !ParseDib(info, usage, dib)) return 0;
  const PixelTarget* t = dc->Target();
  if (!t) return 0;
  const Format dest = FormatOfTarget(*t);
  // Columns i in [iLo, iHi) lie inside both the image and the target.
  int64_t iLo = std::max<int64_t>({0, -int64_t(xSrc), -int64_t(xDest)});
  int64_t iHi =
      std::min<int64_t>({int64_t(w), int64_t(dib.width) - xSrc, int64_t(t->width) - xDest});
  if (iLo >= iHi) return int32_t(lines);
  // Rows j in [jLo, jHi) likewise; huge requests cost nothing beyond the overlap.
  int64_t jLo = std::max<int64_t>({0, -int64_t(ySrc), -int64_t(yDest)});
  int64_t jHi =
      std::min<int64_t>({int64_t(h), int64_t(dib.height) - ySrc, int64_t(t->height) - yDest});
  const int32_t count = int32_t(iHi - iLo);
  std::vector<uint32_t> colors(static_cast<size_t>(count));
  const auto* src = static_cast<const uint8_t*>(bits);
  for (int64_t j = jLo; j < jHi; ++j) {
    const int64_t dy = int64_t(yDest) + j, sy = int64_t(ySrc) + j;
    const uint8_t* row = DibRow(dib, src, int32_t(sy), startScan, lines);
    if (!row) continue;
    DecodeRow(dib.format, row, int32_t(xSrc + iLo), count, colors.data());
    EncodeRow(dest, TargetRow(*t, int32_t(dy)), int32_t(xDest + iLo), count, colors.data());
  }
  return int32_t(lines);
}

int32_t StretchDIBits(HDC dc, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                      int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight,
                      const void* bits, const BITMAPINFO* info, uint32_t usage, uint32_t rop) {
  Dib dib;
  if (!dc || !bits || rop != SRCCOPY || !ParseDib(info, usage, dib)) return 0;
  if (destWidth == 0 || destHeight == 0 || srcWidth == 0 || srcHeight == 0) return 0;
  const PixelTarget* t = dc->Target();
  if (!t) return 0;
  const Format dest = FormatOfTarget(*t);
  AxisMap xs = MapAxis(xDest, destWidth, xSrc, srcWidth, t->width, dib.width);
  AxisMap ys = MapAxis(yDest, destHeight, ySrc, srcHeight, t->height, dib.height);
  const int32_t result = destHeight < 0 ? -destHeight : destHeight;
  if (xs.dest.empty() || ys.dest.empty()) return result;
  // The destination columns form one run (ascending or descending); gather it left to right.
  const int32_t left = std::min(xs.dest.front(), xs.dest.back());
  const int32_t count = int32_t(xs.dest.size());
  std::vector<uint32_t> rowColors(static_cast<size_t>(dib.width)), out(static_cast<size_t>(count));
  const auto* src = static_cast<const uint8_t*>(bits);
  for (size_t j = 0; j < ys.dest.size(); ++j) {
    const uint8_t* row = DibRow(dib, src, ys.src[j], 0, uint32_t(dib.height));
    DecodeRow(dib.format, row, 0, dib.width, rowColors.data());
    for (size_t i = 0; i < xs.dest.size(); ++i)
      out[size_t(xs.dest[i] - left)] = rowColors[size_t(xs.src[i])];
    EncodeRow(dest, TargetRow(*t, ys.dest[j]), left, count, out.data());
  }
  return result;
}

bool BitBlt(HDC destDc, int32_t x, int32_t y, int32_t w, int32_t h, HDC srcDc, int32_t xSrc,
            int32_t ySrc, uint32_t rop) {
  if (!destDc || !srcDc || rop != SRCCOPY || w < 0 || h < 0) return false;
  const PixelTarget* d = destDc->Target();
  const PixelTarget* s = srcDc->Target();
  if (!d || !s) return false;
  int64_t iLo = std::max<int64_t>({0, -int64_t(x), -int64_t(xSrc)});
  int64_t iHi = std::min<int64_t>({int64_t(w), int64_t(d->width) - x, int64_t(s->width) - xSrc});
  int64_t jLo = std::max<int64_t>({0, -int64_t(y), -int64_t(ySrc)});
  int64_t jHi = std::min<int64_t>({int64_t(h), int64_t(d->height) - y, int64_t(s->height) - ySrc});
  if (iLo >= iHi || jLo >= jHi) return true;
  const Format df = FormatOfTarget(*d), sf = FormatOfTarget(*s);
  const int32_t count = int32_t(iHi - iLo);
  if (SameLayout(df, sf)) {
    const size_t bytes = df.bitCount / 8;
    // Copying within one image downwards walks the rows from the bottom so none is read after
    // it was overwritten.
    const bool upward = d->top == s->top && y > ySrc;
    for (int64_t n = 0; n < jHi - jLo; ++n) {
      const int64_t j = upward ? jHi - 1 - n : jLo + n;
      uint8_t* to = TargetRow(*d, int32_t(y + j)) + (x + iLo) * int64_t(bytes);
      const uint8_t* from = TargetRow(*s, int32_t(ySrc + j)) + (xSrc + iLo) * int64_t(bytes);
      std::memmove(to, from, size_t(count) * bytes);
    }
    return true;
  }
  std::vector<uint32_t> colors(static_cast<size_t>(count));
  for (int64_t j = jLo; j < jHi; ++j) {
    DecodeRow(sf, TargetRow(*s, int32_t(ySrc + j)), int32_t(xSrc + iLo), count, colors.data());
    EncodeRow(df, TargetRow(*d, int32_t(y + j)), int32_t(x + iLo), count, colors.data());
  }
  return true;
}

bool GdiFlush() {
  return true;
}

HDC CreateSurfaceDC(const PixelTarget& target) {
  auto* dc = new (std::nothrow) DeviceContext();
  if (!dc) return nullptr;
  dc->surface = true;
  dc->surfaceTarget = target;
  if (target.colors) {
    uint32_t n = std::min<uint32_t>(target.colorCount, 256);
    std::copy(target.colors, target.colors + n, dc->surfaceColors);
    dc->surfaceTarget.colors = dc->surfaceColors;
    dc->surfaceTarget.colorCount = n;
  }
  return dc;
}

void DeleteSurfaceDC(HDC dc) {
  if (dc && dc->surface) delete dc;
}

namespace gditest {
void FailNextCreateCompatibleDC() {
  g_failNextCreateDC = true;
}
}  // namespace gditest

void gdi_detail::ResetBitmapHooks() {
  g_failNextCreateDC = false;
}

}  // namespace zq::platform
