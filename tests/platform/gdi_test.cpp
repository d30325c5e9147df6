// GDI bitmap stand-in: DIB sections of every depth, the row transfers (mirroring and bit fields
// included) with pixels worked out by hand, BitBlt through surface contexts, hostile arguments.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "platform/gdi/bitmap.h"

namespace zq::platform {
namespace {

BITMAPINFO Info(int32_t w, int32_t h, uint16_t bits, uint32_t compression = BI_RGB) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = bits;
  info.bmiHeader.biCompression = compression;
  return info;
}

void SetMasks(BITMAPINFO& info, uint32_t r, uint32_t g, uint32_t b) {
  uint32_t m[3] = {r, g, b};
  std::memcpy(info.bmiColors, m, sizeof(m));
}

// A memory context with a fresh top-down section selected; reads pixels back.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  uint8_t* bits = nullptr;
  BITMAP bm{};

  explicit Canvas(const BITMAPINFO& info) {
    dc = CreateCompatibleDC(nullptr);
    void* p = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &p);
    bits = static_cast<uint8_t*>(p);
    old = SelectObject(dc, bitmap);
    GetObjectA(bitmap, sizeof(bm), &bm);
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  // Pixel of the stored row (storage order) and column.
  uint32_t Stored(int row, int x) const {
    const uint8_t* p = bits + row * bm.bmWidthBytes + x * (bm.bmBitsPixel / 8);
    uint32_t v = 0;
    std::memcpy(&v, p, bm.bmBitsPixel / 8);
    return v;
  }
  // The first n pixels of a stored row.
  std::vector<uint32_t> Row(int row, int n) const {
    std::vector<uint32_t> r;
    for (int x = 0; x < n; ++x) r.push_back(Stored(row, x));
    return r;
  }
};
using Px = std::vector<uint32_t>;

Canvas Xrgb(int32_t w, int32_t h) {
  return Canvas(Info(w, -h, 32));
}

TEST(GdiTest, SectionsOfEveryDepthPadRowsToFourBytes) {
  struct Case {
    uint16_t bits;
    uint32_t compression;
    int32_t pitch;
  } cases[] = {{1, BI_RGB, 4},        {4, BI_RGB, 4},   {8, BI_RGB, 4},   {16, BI_RGB, 8},
               {16, BI_BITFIELDS, 8}, {24, BI_RGB, 12}, {32, BI_RGB, 12}, {32, BI_BITFIELDS, 12}};
  for (const Case& c : cases) {
    BITMAPINFO info = Info(3, 5, c.bits, c.compression);
    if (c.compression == BI_BITFIELDS) SetMasks(info, 0xF800, 0x07E0, 0x001F);
    void* bits = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits);
    ASSERT_NE(b, nullptr) << c.bits;
    BITMAP bm{};
    EXPECT_EQ(GetObjectA(b, 0, nullptr), int32_t(sizeof(BITMAP)));
    EXPECT_EQ(GetObjectA(b, 4, &bm), 0);
    ASSERT_EQ(GetObjectA(b, sizeof(bm), &bm), int32_t(sizeof(BITMAP)));
    EXPECT_EQ(bm.bmWidth, 3);
    EXPECT_EQ(bm.bmHeight, 5);
    EXPECT_EQ(bm.bmWidthBytes, c.pitch) << c.bits;
    EXPECT_EQ(bm.bmBitsPixel, c.bits);
    EXPECT_EQ(bm.bmBits, bits);
    EXPECT_TRUE(DeleteObject(b));
  }
}

TEST(GdiTest, HostileSectionsAreRefused) {
  void* bits = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits), nullptr);
  EXPECT_EQ(bits, nullptr);
  BITMAPINFO bad[] = {Info(0, 4, 24),
                      Info(65536, 4, 24),
                      Info(4, 0, 24),
                      Info(4, -65536, 24),
                      Info(4, 4, 12),
                      Info(4, 4, 8, BI_RLE8),
                      Info(4, 4, 24, BI_BITFIELDS),
                      Info(4, 4, 16, BI_BITFIELDS)};
  SetMasks(bad[7], 0xFC00, 0x07E0, 0x001F);  // overlapping masks
  for (const BITMAPINFO& info : bad)
    EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr), nullptr)
        << info.bmiHeader.biWidth << " " << info.bmiHeader.biBitCount;
  BITMAPINFO ok = Info(4, 4, 24);
  EXPECT_EQ(CreateDIBSection(nullptr, &ok, DIB_PAL_COLORS, nullptr), nullptr);
  // 65535 x 65535 x 32 bits is above 2^31 - 1 bytes.
  BITMAPINFO huge = Info(65535, 65535, 32);
  EXPECT_EQ(CreateDIBSection(nullptr, &huge, DIB_RGB_COLORS, nullptr), nullptr);
}

TEST(GdiTest, IndexedSourcesGoThroughTheirColourTables) {
  Canvas t = Xrgb(10, 1);
  // 1 bit: entries (0x10, 0x20, 0x30) and (0xF0, 0xE0, 0xD0); bits 1011 0000 01.
  BITMAPINFO one = Info(10, -1, 1);
  one.bmiColors[0] = RGBQUAD{0x30, 0x20, 0x10, 0};
  one.bmiColors[1] = RGBQUAD{0xD0, 0xE0, 0xF0, 0};
  const uint8_t oneBits[4] = {0xB0, 0x40, 0, 0};
  ASSERT_EQ(SetDIBitsToDevice(t.dc, 0, 0, 10, 1, 0, 0, 0, 1, oneBits, &one, DIB_RGB_COLORS), 1);
  const uint32_t a = 0x102030, b = 0xF0E0D0;
  const uint32_t expect1[10] = {b, a, b, b, a, a, a, a, a, b};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(t.Stored(0, x), expect1[x]) << x;

  // 4 bits, high nibble first: 0x2F 0x50 gives indices 2, 15, 5; entry i = (i, 2i, 3i).
  BITMAPINFO four = Info(3, -1, 4);
  for (int i = 0; i < 16; ++i)
    four.bmiColors[i] = RGBQUAD{uint8_t(3 * i), uint8_t(2 * i), uint8_t(i), 0};
  const uint8_t fourBits[4] = {0x2F, 0x50, 0, 0};
  ASSERT_EQ(SetDIBitsToDevice(t.dc, 0, 0, 3, 1, 0, 0, 0, 1, fourBits, &four, DIB_RGB_COLORS), 1);
  EXPECT_EQ(t.Row(0, 4), (Px{0x020406, 0x0F1E2D, 0x050A0F, b}));  // column 3 untouched

  // 8 bits, bottom-up: the first stored row is the image's bottom row.
  Canvas u = Xrgb(2, 2);
  BITMAPINFO eight = Info(2, 2, 8);
  for (int i = 0; i < 256; ++i)
    eight.bmiColors[i] = RGBQUAD{uint8_t(i + 2), uint8_t(i + 1), uint8_t(i), 0};
  const uint8_t eightBits[8] = {7, 9, 0, 0, 3, 4, 0, 0};
  ASSERT_EQ(SetDIBitsToDevice(u.dc, 0, 0, 2, 2, 0, 0, 0, 2, eightBits, &eight, DIB_RGB_COLORS), 2);
  EXPECT_EQ(u.Row(0, 2), (Px{0x030405, 0x040506}));
  EXPECT_EQ(u.Row(1, 2), (Px{0x070809, 0x090A0B}));
  // Only the stored line 1 (the top row) supplied.
  Canvas v = Xrgb(2, 2);
  ASSERT_EQ(SetDIBitsToDevice(v.dc, 0, 0, 2, 2, 0, 0, 1, 1, eightBits + 4, &eight, DIB_RGB_COLORS),
            1);
  EXPECT_EQ(v.Stored(0, 1), 0x040506u);
  EXPECT_EQ(v.Stored(1, 0), 0u);
}

TEST(GdiTest, DirectSourcesAndBitFields) {
  Canvas t = Xrgb(3, 1);
  // 16 bits without bit fields are 5:5:5; a 5-bit 16 widens to 0x84.
  BITMAPINFO s555 = Info(3, -1, 16);
  const uint16_t p555[4] = {0x7FFF, 0x4210, 0x001F, 0};
  SetDIBitsToDevice(t.dc, 0, 0, 3, 1, 0, 0, 0, 1, p555, &s555, DIB_RGB_COLORS);
  EXPECT_EQ(t.Row(0, 3), (Px{0xFFFFFF, 0x848484, 0x0000FF}));
  // 5:6:5 bit fields: green 32 of 63 is 1000 0010.
  BITMAPINFO s565 = Info(3, -1, 16, BI_BITFIELDS);
  SetMasks(s565, 0xF800, 0x07E0, 0x001F);
  const uint16_t p565[4] = {0xF800, 0x0400, 0x0011, 0};
  SetDIBitsToDevice(t.dc, 0, 0, 3, 1, 0, 0, 0, 1, p565, &s565, DIB_RGB_COLORS);
  EXPECT_EQ(t.Row(0, 3), (Px{0xFF0000, 0x008200, 0x00008C}));
  // 24 bits: blue, green, red bytes.
  BITMAPINFO s24 = Info(2, -1, 24);
  const uint8_t p24[8] = {0x01, 0x02, 0x03, 0xAA, 0xBB, 0xCC, 0, 0};
  SetDIBitsToDevice(t.dc, 0, 0, 2, 1, 0, 0, 0, 1, p24, &s24, DIB_RGB_COLORS);
  EXPECT_EQ(t.Row(0, 2), (Px{0x030201, 0xCCBBAA}));
  // 32 bits: the top byte is dropped; with bit fields the masks decide.
  BITMAPINFO s32 = Info(1, -1, 32);
  const uint32_t p32 = 0xFF123456;
  SetDIBitsToDevice(t.dc, 0, 0, 1, 1, 0, 0, 0, 1, &p32, &s32, DIB_RGB_COLORS);
  EXPECT_EQ(t.Stored(0, 0), 0x123456u);
  BITMAPINFO bgr = Info(1, -1, 32, BI_BITFIELDS);
  SetMasks(bgr, 0xFF, 0xFF00, 0xFF0000);
  const uint32_t pBgr = 0x00112233;
  SetDIBitsToDevice(t.dc, 0, 0, 1, 1, 0, 0, 0, 1, &pBgr, &bgr, DIB_RGB_COLORS);
  EXPECT_EQ(t.Stored(0, 0), 0x332211u);
}

TEST(GdiTest, TargetsOfEveryKind) {
  BITMAPINFO s24 = Info(3, -1, 24);
  const uint8_t grey[12] = {0x84, 0x84, 0x84, 0xFF, 0xFF, 0xFF, 0x14, 0x14, 0xF0, 0};
  // 5:6:5 bit-field target: 0x84 keeps its top 5 / 6 / 5 bits: 16, 33, 16.
  BITMAPINFO t565 = Info(3, -1, 16, BI_BITFIELDS);
  SetMasks(t565, 0xF800, 0x07E0, 0x001F);
  Canvas c565(t565);
  SetDIBitsToDevice(c565.dc, 0, 0, 3, 1, 0, 0, 0, 1, grey, &s24, DIB_RGB_COLORS);
  EXPECT_EQ(c565.Stored(0, 0), 0x8430u);
  EXPECT_EQ(c565.Stored(0, 1), 0xFFFFu);
  // 5:5:5 target.
  Canvas c555(Info(3, -1, 16));
  SetDIBitsToDevice(c555.dc, 0, 0, 3, 1, 0, 0, 0, 1, grey, &s24, DIB_RGB_COLORS);
  EXPECT_EQ(c555.Stored(0, 1), 0x7FFFu);
  // 24-bit bottom-up target: image row 0 is the last stored row.
  Canvas c24(Info(3, 2, 24));
  SetDIBitsToDevice(c24.dc, 0, 0, 3, 1, 0, 0, 0, 1, grey, &s24, DIB_RGB_COLORS);
  EXPECT_EQ(c24.Stored(1, 0), 0x848484u);
  EXPECT_EQ(c24.Stored(0, 0), 0u);
  // 8-bit target: the nearest table entry, (240, 20, 20) nearer to (250, 10, 10) than (255, 0, 0).
  BITMAPINFO t8 = Info(3, -1, 8);
  t8.bmiHeader.biClrUsed = 4;
  t8.bmiColors[1] = RGBQUAD{0, 0, 255, 0};
  t8.bmiColors[2] = RGBQUAD{0, 255, 0, 0};
  t8.bmiColors[3] = RGBQUAD{10, 10, 250, 0};
  Canvas c8(t8);
  const uint8_t reds[12] = {0, 0, 255, 20, 20, 240, 0, 255, 0, 0};
  SetDIBitsToDevice(c8.dc, 0, 0, 3, 1, 0, 0, 0, 1, reds, &s24, DIB_RGB_COLORS);
  EXPECT_EQ(c8.Row(0, 3), (Px{1, 3, 2}));
  // 4-bit grey-ramp target (entry i = 17 i): 0x22 → 2, 0xFF → 15, 0 → 0, packed high nibble first.
  BITMAPINFO t4 = Info(3, -1, 4);
  for (int i = 0; i < 16; ++i)
    t4.bmiColors[i] = RGBQUAD{uint8_t(17 * i), uint8_t(17 * i), uint8_t(17 * i), 0};
  Canvas c4(t4);
  const uint8_t greys[12] = {0x22, 0x22, 0x22, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  SetDIBitsToDevice(c4.dc, 0, 0, 3, 1, 0, 0, 0, 1, greys, &s24, DIB_RGB_COLORS);
  EXPECT_EQ(c4.bits[0], 0x2F);
  EXPECT_EQ(c4.bits[1], 0x00);
  // 1-bit target, black and white: white, black, light grey give bits 1 0 1 from the top bit.
  BITMAPINFO t1 = Info(3, -1, 1);
  t1.bmiColors[1] = RGBQUAD{255, 255, 255, 0};
  Canvas c1(t1);
  const uint8_t bw[12] = {0xFF, 0xFF, 0xFF, 0, 0, 0, 200, 200, 200, 0};
  SetDIBitsToDevice(c1.dc, 0, 0, 3, 1, 0, 0, 0, 1, bw, &s24, DIB_RGB_COLORS);
  EXPECT_EQ(c1.bits[0], 0xA0);
}

TEST(GdiTest, TransfersAreClippedToImageAndTarget) {
  Canvas t = Xrgb(3, 3);
  BITMAPINFO s32 = Info(3, -2, 32);
  const uint32_t px[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(SetDIBitsToDevice(t.dc, -1, 2, 3, 2, 0, 0, 0, 2, px, &s32, DIB_RGB_COLORS), 2);
  EXPECT_EQ(t.Row(2, 3), (Px{2, 3, 0}));
  EXPECT_EQ(t.Stored(1, 0), 0u);
  // Source rectangle reaching past the image, target far away, extreme values.
  SetDIBitsToDevice(t.dc, 0, 0, 100, 100, 2, 1, 0, 2, px, &s32, DIB_RGB_COLORS);
  EXPECT_EQ(t.Stored(0, 0), 6u);
  EXPECT_EQ(t.Stored(0, 1), 0u);
  EXPECT_EQ(SetDIBitsToDevice(t.dc, INT_MAX, INT_MIN, UINT_MAX, UINT_MAX, INT_MIN, INT_MAX, 0, 2,
                              px, &s32, DIB_RGB_COLORS),
            2);
  // Rows run from far above the target to far below it: only the overlap is visited. Row
  // 2^31 of the request is image row 0 on target row 0.
  Canvas tall = Xrgb(3, 3);
  EXPECT_EQ(SetDIBitsToDevice(tall.dc, 0, INT_MIN, 3, UINT_MAX, 0, INT_MIN, 0, 2, px, &s32,
                              DIB_RGB_COLORS),
            2);
  EXPECT_EQ(tall.Stored(0, 0), 1u);
  EXPECT_EQ(tall.Stored(1, 2), 6u);
  EXPECT_EQ(tall.Stored(2, 0), 0u);
  EXPECT_EQ(SetDIBitsToDevice(tall.dc, 0, 1, 3, UINT_MAX, 0, 0, 0, 2, px, &s32, DIB_RGB_COLORS), 2);
  EXPECT_EQ(tall.Stored(1, 0), 1u);
  EXPECT_EQ(tall.Stored(2, 2), 6u);
  EXPECT_EQ(tall.Stored(0, 0), 1u);
  EXPECT_EQ(StretchDIBits(t.dc, INT_MAX, 0, INT_MIN, 3, 0, 0, INT_MIN, INT_MIN, px, &s32,
                          DIB_RGB_COLORS, SRCCOPY),
            3);
  EXPECT_EQ(SetDIBitsToDevice(nullptr, 0, 0, 1, 1, 0, 0, 0, 1, px, &s32, DIB_RGB_COLORS), 0);
  EXPECT_EQ(StretchDIBits(t.dc, 0, 0, 3, 3, 0, 0, 3, 2, px, &s32, DIB_RGB_COLORS, 0x1234), 0);
  EXPECT_EQ(StretchDIBits(t.dc, 0, 0, 0, 3, 0, 0, 3, 2, px, &s32, DIB_RGB_COLORS, SRCCOPY), 0);
}

TEST(GdiTest, StretchMirrorsWithOppositeSigns) {
  BITMAPINFO s32 = Info(3, -2, 32);
  const uint32_t px[6] = {0xA, 0xB, 0xC, 0xD, 0xE, 0xF};
  {
    // Source x = width - 1 with source width -width reverses every row.
    Canvas t = Xrgb(3, 2);
    ASSERT_EQ(StretchDIBits(t.dc, 0, 0, 3, 2, 2, 0, -3, 2, px, &s32, DIB_RGB_COLORS, SRCCOPY), 2);
    EXPECT_EQ(t.Row(0, 3), (Px{0xC, 0xB, 0xA}));
    EXPECT_EQ(t.Stored(1, 0), 0xFu);
  }
  {
    // The same with the destination walking backwards.
    Canvas t = Xrgb(3, 2);
    StretchDIBits(t.dc, 2, 0, -3, 2, 0, 0, 3, 2, px, &s32, DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(t.Row(0, 3), (Px{0xC, 0xB, 0xA}));
  }
  {
    // Both backwards: no mirror.
    Canvas t = Xrgb(3, 2);
    StretchDIBits(t.dc, 2, 0, -3, 2, 2, 0, -3, 2, px, &s32, DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(t.Row(0, 3), (Px{0xA, 0xB, 0xC}));
  }
  {
    // Twice the size: nearest pixels, rows doubled too.
    Canvas t = Xrgb(6, 4);
    StretchDIBits(t.dc, 0, 0, 6, 4, 0, 0, 3, 2, px, &s32, DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(t.Row(0, 6), (Px{0xA, 0xA, 0xB, 0xB, 0xC, 0xC}));
    EXPECT_EQ(t.Stored(1, 5), 0xCu);
    EXPECT_EQ(t.Stored(2, 0), 0xDu);
    EXPECT_EQ(t.Stored(3, 3), 0xEu);
  }
  {
    // Mirrored from a bottom-up 24-bit source into a 16-bit 5:6:5 target.
    BITMAPINFO s24 = Info(2, 1, 24);
    const uint8_t p24[8] = {0, 0, 0xFF, 0xFF, 0, 0, 0, 0};  // red, blue
    BITMAPINFO t565 = Info(2, -1, 16, BI_BITFIELDS);
    SetMasks(t565, 0xF800, 0x07E0, 0x001F);
    Canvas t(t565);
    StretchDIBits(t.dc, 0, 0, 2, 1, 1, 0, -2, 1, p24, &s24, DIB_RGB_COLORS, SRCCOPY);
    EXPECT_EQ(t.Stored(0, 0), 0x001Fu);
    EXPECT_EQ(t.Stored(0, 1), 0xF800u);
  }
}

TEST(GdiTest, SelectionRules) {
  HDC a = CreateCompatibleDC(nullptr);
  HDC b = CreateCompatibleDC(nullptr);
  BITMAPINFO info = Info(2, 2, 32);
  HBITMAP bm = CreateDIBSection(a, &info, DIB_RGB_COLORS, nullptr);
  HGDIOBJ stock = SelectObject(a, bm);
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(SelectObject(b, bm), nullptr);  // already in another context
  EXPECT_FALSE(DeleteObject(bm));           // still selected
  EXPECT_EQ(SelectObject(a, stock), bm);
  EXPECT_TRUE(DeleteObject(bm));
  EXPECT_TRUE(DeleteObject(stock));  // the stock bitmap is never freed
  EXPECT_EQ(GetObjectA(nullptr, 0, nullptr), 0);
  EXPECT_TRUE(DeleteDC(a));
  EXPECT_TRUE(DeleteDC(b));
  EXPECT_FALSE(DeleteDC(nullptr));
  EXPECT_TRUE(GdiFlush());
}

TEST(GdiTest, BitBltThroughSurfaceContexts) {
  ResetWindowSystem();
  DirectDraw* dd = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(&dd), DD_OK);
  SurfaceDesc sd;
  sd.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  sd.width = 3;
  sd.height = 2;
  sd.pixelFormat = PixelFormat{sizeof(PixelFormat), PF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
  sd.caps.caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  DirectDrawSurface* s1 = nullptr;
  DirectDrawSurface* s2 = nullptr;
  ASSERT_EQ(dd->CreateSurface(sd, &s1), DD_OK);
  ASSERT_EQ(dd->CreateSurface(sd, &s2), DD_OK);

  // A 32-bit section drawn into the 5:6:5 surface, converted on the way.
  Canvas src = Xrgb(3, 2);
  const uint32_t colours[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0x848484, 0xFFFFFF, 0};
  std::memcpy(src.bits, colours, sizeof(colours));
  HDC dc1 = nullptr;
  ASSERT_EQ(s1->GetDC(&dc1), DD_OK);
  SurfaceDesc ld;
  EXPECT_EQ(s1->Lock(nullptr, &ld, 0), DDERR_SURFACEBUSY);  // the context holds it
  ASSERT_TRUE(BitBlt(dc1, 0, 0, 3, 2, src.dc, 0, 0, SRCCOPY));
  EXPECT_FALSE(BitBlt(dc1, 0, 0, 3, 2, src.dc, 0, 0, 0));
  EXPECT_EQ(s1->ReleaseDC(dc1), DD_OK);
  EXPECT_EQ(s1->ReleaseDC(dc1), DDERR_INVALIDPARAMS);
  const uint32_t expect[6] = {0xF800, 0x07E0, 0x001F, 0x8430, 0xFFFF, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s1->TestGetPixel(i % 3, i / 3), expect[i]) << i;

  // Surface to surface through both contexts, clipped at the far corner.
  HDC d1 = nullptr, d2 = nullptr;
  ASSERT_EQ(s1->GetDC(&d1), DD_OK);
  ASSERT_EQ(s2->GetDC(&d2), DD_OK);
  ASSERT_TRUE(BitBlt(d2, 1, 1, 5, 5, d1, 0, 0, SRCCOPY));
  s1->ReleaseDC(d1);
  s2->ReleaseDC(d2);
  EXPECT_EQ(s2->TestGetPixel(1, 1), 0xF800u);
  EXPECT_EQ(s2->TestGetPixel(2, 1), 0x07E0u);
  EXPECT_EQ(s2->TestGetPixel(0, 1), 0u);
  EXPECT_EQ(s2->TestGetPixel(2, 0), 0u);

  // A context cannot be had from a lost surface.
  ddtest::MakeAllSurfacesLost();
  HDC lost = nullptr;
  EXPECT_EQ(s1->GetDC(&lost), DDERR_SURFACELOST);
  s1->Release();
  s2->Release();
  dd->Release();
}

}  // namespace
}  // namespace zq::platform
