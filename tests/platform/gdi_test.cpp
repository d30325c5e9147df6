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

using Px = std::vector<uint32_t>;

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
// The same with bit-field masks.
BITMAPINFO Masked(int32_t w, int32_t h, uint16_t bits, uint32_t r, uint32_t g, uint32_t b) {
  BITMAPINFO info = Info(w, h, bits, BI_BITFIELDS);
  const uint32_t m[3] = {r, g, b};
  std::memcpy(info.bmiColors, m, sizeof(m));
  return info;
}

// A memory context with a fresh section selected; reads pixels back in storage order.
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
  uint32_t Stored(int row, int x) const {
    uint32_t v = 0;
    std::memcpy(&v, bits + row * bm.bmWidthBytes + x * (bm.bmBitsPixel / 8), bm.bmBitsPixel / 8);
    return v;
  }
  Px Row(int row, int n) const {
    Px r;
    for (int x = 0; x < n; ++x) r.push_back(Stored(row, x));
    return r;
  }
  // One image row of w pixels at (0, 0).
  int Put(const BITMAPINFO& info, const void* pixels) {
    const int32_t w = info.bmiHeader.biWidth;
    return SetDIBitsToDevice(dc, 0, 0, uint32_t(w), 1, 0, 0, 0, 1, pixels, &info, DIB_RGB_COLORS);
  }
};

Canvas Xrgb(int32_t w, int32_t h) {
  return Canvas(Info(w, -h, 32));
}

TEST(GdiTest, SectionsOfEveryDepthPadRowsToFourBytes) {
  const struct {
    BITMAPINFO info;
    int32_t pitch;
  } cases[] = {{Info(3, 5, 1), 4},
               {Info(3, 5, 4), 4},
               {Info(3, 5, 8), 4},
               {Info(3, 5, 16), 8},
               {Masked(3, 5, 16, 0xF800, 0x07E0, 0x001F), 8},
               {Info(3, 5, 24), 12},
               {Info(3, 5, 32), 12},
               {Masked(3, 5, 32, 0xF800, 0x07E0, 0x001F), 12}};
  for (const auto& c : cases) {
    void* bits = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, &c.info, DIB_RGB_COLORS, &bits);
    ASSERT_NE(b, nullptr) << c.info.bmiHeader.biBitCount;
    BITMAP bm{};
    EXPECT_EQ(GetObjectA(b, 0, nullptr), int32_t(sizeof(BITMAP)));
    EXPECT_EQ(GetObjectA(b, 4, &bm), 0);
    ASSERT_EQ(GetObjectA(b, sizeof(bm), &bm), int32_t(sizeof(BITMAP)));
    EXPECT_EQ((std::vector<int64_t>{bm.bmWidth, bm.bmHeight, bm.bmWidthBytes, bm.bmBitsPixel}),
              (std::vector<int64_t>{3, 5, c.pitch, c.info.bmiHeader.biBitCount}));
    EXPECT_EQ(bm.bmBits, bits);
    EXPECT_TRUE(DeleteObject(b));
  }
}

TEST(GdiTest, HostileSectionsAreRefused) {
  void* bits = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits), nullptr);
  EXPECT_EQ(bits, nullptr);
  const BITMAPINFO bad[] = {Info(0, 4, 24),
                            Info(65536, 4, 24),
                            Info(4, 0, 24),
                            Info(4, -65536, 24),
                            Info(4, 4, 12),
                            Info(4, 4, 8, BI_RLE8),
                            Info(4, 4, 24, BI_BITFIELDS),
                            Masked(4, 4, 16, 0xFC00, 0x07E0, 0x001F),  // overlapping masks
                            Info(65535, 65535, 32)};                   // above 2^31 - 1 bytes
  for (const BITMAPINFO& info : bad)
    EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, nullptr), nullptr)
        << info.bmiHeader.biWidth << " " << info.bmiHeader.biBitCount;
  const BITMAPINFO ok = Info(4, 4, 24);
  EXPECT_EQ(CreateDIBSection(nullptr, &ok, DIB_PAL_COLORS, nullptr), nullptr);
}

TEST(GdiTest, IndexedSourcesGoThroughTheirColourTables) {
  Canvas t = Xrgb(10, 1);
  // 1 bit: entries (0x10, 0x20, 0x30) and (0xF0, 0xE0, 0xD0); bits 1011 0000 01.
  BITMAPINFO one = Info(10, -1, 1);
  one.bmiColors[0] = RGBQUAD{0x30, 0x20, 0x10, 0};
  one.bmiColors[1] = RGBQUAD{0xD0, 0xE0, 0xF0, 0};
  const uint8_t oneBits[4] = {0xB0, 0x40, 0, 0};
  ASSERT_EQ(t.Put(one, oneBits), 1);
  const uint32_t a = 0x102030, b = 0xF0E0D0;
  EXPECT_EQ(t.Row(0, 10), (Px{b, a, b, b, a, a, a, a, a, b}));
  // 4 bits, high nibble first: 0x2F 0x50 gives indices 2, 15, 5; entry i = (i, 2i, 3i).
  BITMAPINFO four = Info(3, -1, 4);
  for (int i = 0; i < 16; ++i)
    four.bmiColors[i] = RGBQUAD{uint8_t(3 * i), uint8_t(2 * i), uint8_t(i), 0};
  const uint8_t fourBits[4] = {0x2F, 0x50, 0, 0};
  ASSERT_EQ(t.Put(four, fourBits), 1);
  EXPECT_EQ(t.Row(0, 4), (Px{0x020406, 0x0F1E2D, 0x050A0F, b}));  // column 3 untouched
  // 8 bits, bottom-up: the first stored row is the image's bottom row.
  Canvas u = Xrgb(2, 2), v = Xrgb(2, 2);
  BITMAPINFO eight = Info(2, 2, 8);
  for (int i = 0; i < 256; ++i)
    eight.bmiColors[i] = RGBQUAD{uint8_t(i + 2), uint8_t(i + 1), uint8_t(i), 0};
  const uint8_t eightBits[8] = {7, 9, 0, 0, 3, 4, 0, 0};
  ASSERT_EQ(SetDIBitsToDevice(u.dc, 0, 0, 2, 2, 0, 0, 0, 2, eightBits, &eight, DIB_RGB_COLORS), 2);
  EXPECT_EQ(u.Row(0, 2), (Px{0x030405, 0x040506}));
  EXPECT_EQ(u.Row(1, 2), (Px{0x070809, 0x090A0B}));
  // Only the stored line 1 (the top row) supplied.
  ASSERT_EQ(SetDIBitsToDevice(v.dc, 0, 0, 2, 2, 0, 0, 1, 1, eightBits + 4, &eight, DIB_RGB_COLORS),
            1);
  EXPECT_EQ((Px{v.Stored(0, 1), v.Stored(1, 0)}), (Px{0x040506, 0}));
}

TEST(GdiTest, DirectSourcesAndBitFields) {
  // 16 bits without bit fields are 5:5:5 (a 5-bit 16 widens to 0x84); 5:6:5 bit fields (green
  // 32 of 63 is 0x82); 24 bits are blue, green, red; 32 bits drop the top byte; masks decide.
  const uint16_t p555[4] = {0x7FFF, 0x4210, 0x001F, 0}, p565[4] = {0xF800, 0x0400, 0x0011, 0};
  const uint8_t p24[8] = {0x01, 0x02, 0x03, 0xAA, 0xBB, 0xCC, 0, 0};
  const uint32_t p32 = 0xFF123456, pBgr = 0x00112233;
  const struct {
    BITMAPINFO info;
    const void* pixels;
    Px want;
  } rows[] = {{Info(3, -1, 16), p555, {0xFFFFFF, 0x848484, 0x0000FF}},
              {Masked(3, -1, 16, 0xF800, 0x07E0, 0x001F), p565, {0xFF0000, 0x008200, 0x00008C}},
              {Info(2, -1, 24), p24, {0x030201, 0xCCBBAA}},
              {Info(1, -1, 32), &p32, {0x123456}},
              {Masked(1, -1, 32, 0xFF, 0xFF00, 0xFF0000), &pBgr, {0x332211}}};
  for (const auto& r : rows) {
    Canvas t = Xrgb(3, 1);
    t.Put(r.info, r.pixels);
    EXPECT_EQ(t.Row(0, int(r.want.size())), r.want) << r.info.bmiHeader.biBitCount;
  }
}

TEST(GdiTest, TargetsOfEveryKind) {
  const BITMAPINFO s24 = Info(3, -1, 24);
  const uint8_t grey[12] = {0x84, 0x84, 0x84, 0xFF, 0xFF, 0xFF, 0x14, 0x14, 0xF0, 0};
  // 5:6:5 bit fields keep the top 5 / 6 / 5 bits of 0x84 (16, 33, 16); 5:5:5 the top 5.
  Canvas c565(Masked(3, -1, 16, 0xF800, 0x07E0, 0x001F)), c555(Info(3, -1, 16));
  c565.Put(s24, grey);
  c555.Put(s24, grey);
  EXPECT_EQ(c565.Row(0, 2), (Px{0x8430, 0xFFFF}));
  EXPECT_EQ(c555.Stored(0, 1), 0x7FFFu);
  // 24-bit bottom-up target: image row 0 is the last stored row.
  Canvas c24(Info(3, 2, 24));
  c24.Put(s24, grey);
  EXPECT_EQ((Px{c24.Stored(1, 0), c24.Stored(0, 0)}), (Px{0x848484, 0}));
  // 8-bit target: the nearest table entry, (240, 20, 20) nearer to (250, 10, 10) than (255, 0, 0).
  BITMAPINFO t8 = Info(3, -1, 8);
  t8.bmiHeader.biClrUsed = 4;
  t8.bmiColors[1] = RGBQUAD{0, 0, 255, 0};
  t8.bmiColors[2] = RGBQUAD{0, 255, 0, 0};
  t8.bmiColors[3] = RGBQUAD{10, 10, 250, 0};
  Canvas c8(t8);
  const uint8_t reds[12] = {0, 0, 255, 20, 20, 240, 0, 255, 0, 0};
  c8.Put(s24, reds);
  EXPECT_EQ(c8.Row(0, 3), (Px{1, 3, 2}));
}

TEST(GdiTest, TransfersAreClippedToImageAndTarget) {
  Canvas t = Xrgb(3, 3);
  const BITMAPINFO s32 = Info(3, -2, 32);
  const uint32_t px[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(SetDIBitsToDevice(t.dc, -1, 2, 3, 2, 0, 0, 0, 2, px, &s32, DIB_RGB_COLORS), 2);
  EXPECT_EQ(t.Row(2, 3), (Px{2, 3, 0}));
  EXPECT_EQ(t.Stored(1, 0), 0u);
  // Source rectangle reaching past the image, target far away, extreme values.
  SetDIBitsToDevice(t.dc, 0, 0, 100, 100, 2, 1, 0, 2, px, &s32, DIB_RGB_COLORS);
  EXPECT_EQ(t.Row(0, 2), (Px{6, 0}));
  EXPECT_EQ(SetDIBitsToDevice(t.dc, INT_MAX, INT_MIN, UINT_MAX, UINT_MAX, INT_MIN, INT_MAX, 0, 2,
                              px, &s32, DIB_RGB_COLORS),
            2);
  // Rows run from far above the target to far below it: only the overlap is visited. Row
  // 2^31 of the request is image row 0 on target row 0.
  Canvas tall = Xrgb(3, 3);
  EXPECT_EQ(SetDIBitsToDevice(tall.dc, 0, INT_MIN, 3, UINT_MAX, 0, INT_MIN, 0, 2, px, &s32,
                              DIB_RGB_COLORS),
            2);
  EXPECT_EQ((Px{tall.Stored(0, 0), tall.Stored(1, 2), tall.Stored(2, 0)}), (Px{1, 6, 0}));
  EXPECT_EQ(SetDIBitsToDevice(tall.dc, 0, 1, 3, UINT_MAX, 0, 0, 0, 2, px, &s32, DIB_RGB_COLORS), 2);
  EXPECT_EQ((Px{tall.Stored(1, 0), tall.Stored(2, 2), tall.Stored(0, 0)}), (Px{1, 6, 1}));
  EXPECT_EQ(StretchDIBits(t.dc, INT_MAX, 0, INT_MIN, 3, 0, 0, INT_MIN, INT_MIN, px, &s32,
                          DIB_RGB_COLORS, SRCCOPY),
            3);
  EXPECT_EQ(SetDIBitsToDevice(nullptr, 0, 0, 1, 1, 0, 0, 0, 1, px, &s32, DIB_RGB_COLORS), 0);
  EXPECT_EQ(StretchDIBits(t.dc, 0, 0, 3, 3, 0, 0, 3, 2, px, &s32, DIB_RGB_COLORS, 0x1234), 0);
  EXPECT_EQ(StretchDIBits(t.dc, 0, 0, 0, 3, 0, 0, 3, 2, px, &s32, DIB_RGB_COLORS, SRCCOPY), 0);
}

TEST(GdiTest, StretchMirrorsWithOppositeSigns) {
  const BITMAPINFO s32 = Info(3, -2, 32);
  const uint32_t px[6] = {0xA, 0xB, 0xC, 0xD, 0xE, 0xF};
  // Source or destination walking backwards mirrors; both backwards does not.
  const struct {
    int32_t dx, dw, sx, sw;
    Px row0;
  } rows[] = {{0, 3, 2, -3, {0xC, 0xB, 0xA}},
              {2, -3, 0, 3, {0xC, 0xB, 0xA}},
              {2, -3, 2, -3, {0xA, 0xB, 0xC}}};
  for (const auto& r : rows) {
    Canvas t = Xrgb(3, 2);
    ASSERT_EQ(
        StretchDIBits(t.dc, r.dx, 0, r.dw, 2, r.sx, 0, r.sw, 2, px, &s32, DIB_RGB_COLORS, SRCCOPY),
        2);
    EXPECT_EQ(t.Row(0, 3), r.row0);
    EXPECT_EQ(t.Stored(1, 1), 0xEu);
  }
  // Twice the size: nearest pixels, rows doubled too.
  Canvas t = Xrgb(6, 4);
  StretchDIBits(t.dc, 0, 0, 6, 4, 0, 0, 3, 2, px, &s32, DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(t.Row(0, 6), (Px{0xA, 0xA, 0xB, 0xB, 0xC, 0xC}));
  EXPECT_EQ((Px{t.Stored(1, 5), t.Stored(2, 0), t.Stored(3, 3)}), (Px{0xC, 0xD, 0xE}));
  // Mirrored from a bottom-up 24-bit source (red, blue) into a 5:6:5 target.
  const BITMAPINFO s24 = Info(2, 1, 24);
  const uint8_t p24[8] = {0, 0, 0xFF, 0xFF, 0, 0, 0, 0};
  Canvas c(Masked(2, -1, 16, 0xF800, 0x07E0, 0x001F));
  StretchDIBits(c.dc, 0, 0, 2, 1, 1, 0, -2, 1, p24, &s24, DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(c.Row(0, 2), (Px{0x001F, 0xF800}));
}

TEST(GdiTest, SelectionRules) {
  HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
  const BITMAPINFO info = Info(2, 2, 32);
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
  DirectDrawSurface *s1 = nullptr, *s2 = nullptr;
  ASSERT_EQ(dd->CreateSurface(sd, &s1), DD_OK);
  ASSERT_EQ(dd->CreateSurface(sd, &s2), DD_OK);
  // A 32-bit section drawn into the 5:6:5 surface, converted on the way.
  Canvas src = Xrgb(3, 2);
  const uint32_t colours[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0x848484, 0xFFFFFF, 0};
  std::memcpy(src.bits, colours, sizeof(colours));
  HDC d1 = nullptr, d2 = nullptr;
  ASSERT_EQ(s1->GetDC(&d1), DD_OK);
  SurfaceDesc ld;
  EXPECT_EQ(s1->Lock(nullptr, &ld, 0), DDERR_SURFACEBUSY);  // the context holds it
  ASSERT_TRUE(BitBlt(d1, 0, 0, 3, 2, src.dc, 0, 0, SRCCOPY));
  EXPECT_FALSE(BitBlt(d1, 0, 0, 3, 2, src.dc, 0, 0, 0));
  EXPECT_EQ(s1->ReleaseDC(d1), DD_OK);
  EXPECT_EQ(s1->ReleaseDC(d1), DDERR_INVALIDPARAMS);
  const uint32_t expect[6] = {0xF800, 0x07E0, 0x001F, 0x8430, 0xFFFF, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s1->TestGetPixel(i % 3, i / 3), expect[i]) << i;
  // Surface to surface through both contexts, clipped at the far corner.
  ASSERT_EQ(s1->GetDC(&d1), DD_OK);
  ASSERT_EQ(s2->GetDC(&d2), DD_OK);
  ASSERT_TRUE(BitBlt(d2, 1, 1, 5, 5, d1, 0, 0, SRCCOPY));
  s1->ReleaseDC(d1);
  s2->ReleaseDC(d2);
  EXPECT_EQ((Px{s2->TestGetPixel(1, 1), s2->TestGetPixel(2, 1), s2->TestGetPixel(0, 1),
                s2->TestGetPixel(2, 0)}),
            (Px{0xF800, 0x07E0, 0, 0}));
  // A context cannot be had from a lost surface.
  ddtest::MakeAllSurfacesLost();
  EXPECT_EQ(s1->GetDC(&d1), DDERR_SURFACELOST);
  s1->Release();
  s2->Release();
  dd->Release();
}

}  // namespace
}  // namespace zq::platform
