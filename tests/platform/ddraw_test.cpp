// In-memory DirectDraw: lock rules, fills and blits read back pixel by pixel, lost surfaces,
// display modes, attachments and hostile arguments.
#include "platform/ddraw/ddraw.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>

#include "platform/d3d/d3d.h"

namespace zq::platform {
namespace {

struct Releaser {
  void operator()(RefCounted* p) const {
    if (p) p->Release();
  }
};
using SurfacePtr = std::unique_ptr<DirectDrawSurface, Releaser>;

PixelFormat Rgb(uint32_t bits, uint32_t r, uint32_t g, uint32_t b) {
  return PixelFormat{sizeof(PixelFormat), PF_RGB, 0, bits, r, g, b, 0};
}
const PixelFormat k565 = Rgb(16, 0xF800, 0x07E0, 0x001F);
const PixelFormat k8888 = Rgb(32, 0xFF0000, 0xFF00, 0xFF);

SurfaceDesc PlainDesc(uint32_t w, uint32_t h, const PixelFormat* f,
                      uint32_t caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY) {
  SurfaceDesc d;
  d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | (f ? DDSD_PIXELFORMAT : 0);
  d.width = w;
  d.height = h;
  if (f) d.pixelFormat = *f;
  d.caps.caps = caps;
  return d;
}

class DDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetWindowSystem();
    ddtest::Reset();
    ASSERT_EQ(DirectDrawCreateEx(&dd), DD_OK);
  }
  void TearDown() override {
    dd->Release();
    EXPECT_EQ(ddtest::LiveSurfaceCount(), 0);
    ddtest::Reset();
    ResetWindowSystem();
  }

  SurfacePtr Make(uint32_t w, uint32_t h, const PixelFormat& f,
                  uint32_t caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY) {
    DirectDrawSurface* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(PlainDesc(w, h, &f, caps), &s), DD_OK);
    return SurfacePtr(s);
  }

  // Writes value(x, y) into every pixel through a lock.
  template <typename F>
  void Paint(DirectDrawSurface* s, F value) {
    SurfaceDesc d;
    ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT), DD_OK);
    const uint32_t bytes = d.pixelFormat.rgbBitCount / 8;
    for (uint32_t y = 0; y < d.height; ++y)
      for (uint32_t x = 0; x < d.width; ++x) {
        uint32_t v = value(int(x), int(y));
        std::memcpy(static_cast<uint8_t*>(d.surface) + y * uint32_t(d.pitch) + x * bytes, &v,
                    bytes);
      }
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
  }

  Window* MakeWindow() {
    WindowDesc w;
    w.className = "ZqLib";
    w.clientRect = RECT{10, 20, 30, 40};
    w.proc = [this](Window&, const Message& m) { heard.push_back(m); };
    return CreateMainWindow(w);
  }

  DirectDraw* dd = nullptr;
  std::vector<Message> heard;
};

TEST_F(DDrawTest, NewSurfaceIsZeroedAndDescribesItself) {
  SurfacePtr s = Make(5, 3, k565);
  SurfaceDesc d;
  ASSERT_EQ(s->GetSurfaceDesc(&d), DD_OK);
  EXPECT_EQ(d.width, 5u);
  EXPECT_EQ(d.height, 3u);
  EXPECT_EQ(d.pitch, 12);  // 10 bytes rounded up to 4
  EXPECT_EQ(d.pixelFormat.greenMask, 0x07E0u);
  EXPECT_TRUE(d.caps.caps & DDSCAPS_SYSTEMMEMORY);
  for (uint8_t b : s->TestReadBack()) EXPECT_EQ(b, 0);
  // Without a pixel format a surface takes the desktop's.
  DirectDrawSurface* raw = nullptr;
  ASSERT_EQ(dd->CreateSurface(PlainDesc(2, 2, nullptr), &raw), DD_OK);
  SurfacePtr plain(raw);
  PixelFormat f;
  plain->GetPixelFormat(&f);
  EXPECT_EQ(f.rgbBitCount, 32u);
}

TEST_F(DDrawTest, LockRules) {
  SurfacePtr s = Make(4, 4, k8888);
  SurfaceDesc d;
  ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT), DD_OK);
  void* first = d.surface;
  // Nested locks and blits onto a locked surface are refused.
  EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT), DDERR_SURFACEBUSY);
  BltFx fx;
  EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_SURFACEBUSY);
  HDC dc = nullptr;
  EXPECT_EQ(s->GetDC(&dc), DDERR_SURFACEBUSY);
  EXPECT_EQ(s->Unlock(nullptr), DD_OK);
  EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);

  // A rectangle lock points at its corner.
  RECT r{1, 2, 3, 4};
  ASSERT_EQ(s->Lock(&r, &d, 0), DD_OK);
  EXPECT_EQ(static_cast<uint8_t*>(d.surface), static_cast<uint8_t*>(first) + 2 * d.pitch + 4);
  s->Unlock(nullptr);
  for (RECT bad : {RECT{-1, 0, 2, 2}, RECT{0, 0, 5, 2}, RECT{2, 2, 2, 3}, RECT{3, 0, 1, 2}})
    EXPECT_EQ(s->Lock(&bad, &d, 0), DDERR_INVALIDRECT);
  EXPECT_EQ(s->Lock(nullptr, nullptr, 0), DDERR_INVALIDPARAMS);

  // The failure hook refuses exactly one lock.
  ddtest::FailNextLock(DDERR_GENERIC);
  EXPECT_EQ(s->Lock(nullptr, &d, 0), DDERR_GENERIC);
  ASSERT_EQ(s->Lock(nullptr, &d, 0), DD_OK);
  s->Unlock(nullptr);

  // A lost surface cannot be locked.
  ddtest::MakeAllSurfacesLost();
  EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(s->Lock(nullptr, &d, 0), DDERR_SURFACELOST);
}

TEST_F(DDrawTest, RestoredSurfaceHoldsThePoisonPattern) {
  SurfacePtr s16 = Make(3, 2, k565);
  SurfacePtr s32 = Make(3, 2, k8888);
  Paint(s16.get(), [](int x, int y) { return uint32_t(x + 10 * y); });
  Paint(s32.get(), [](int x, int y) { return uint32_t(x + 10 * y); });
  EXPECT_EQ(s16->Restore(), DD_OK);  // not lost: nothing changes
  EXPECT_EQ(s16->TestGetPixel(2, 1), 12u);
  ddtest::MakeAllSurfacesLost();
  BltFx fx;
  EXPECT_EQ(s16->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_SURFACELOST);
  EXPECT_EQ(s32->BltFast(0, 0, s16.get(), nullptr, 0), DDERR_SURFACELOST);
  EXPECT_EQ(s16->Restore(), DD_OK);
  EXPECT_EQ(s32->Restore(), DD_OK);
  EXPECT_EQ(s16->IsLost(), DD_OK);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(s16->TestGetPixel(x, y), 0xCDCDu);
      EXPECT_EQ(s32->TestGetPixel(x, y), 0xCDCDCDCDu);
    }
}

TEST_F(DDrawTest, ColourFillIsClippedToTheSurface16And32) {
  for (const PixelFormat& f : {k565, k8888}) {
    SurfacePtr s = Make(6, 5, f);
    Paint(s.get(), [](int, int) { return 0x1111u; });
    BltFx fx;
    fx.fillColor = 0xABCD9876;  // cut to the pixel width
    RECT r{4, -3, 9, 2};        // partly outside
    ASSERT_EQ(s->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    const uint32_t fill = f.rgbBitCount == 16 ? 0x9876u : 0xABCD9876u;
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x)
        EXPECT_EQ(s->TestGetPixel(x, y), (x >= 4 && y < 2) ? fill : 0x1111u) << x << "," << y;
    // Wholly outside, or inverted.
    RECT away{100, 100, 200, 200};
    EXPECT_EQ(s->Blt(&away, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
    RECT inverted{3, 0, 1, 2};
    EXPECT_EQ(s->Blt(&inverted, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDRECT);
    EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(s->TestGetPixel(0, 4), 0x1111u);
  }
}

TEST_F(DDrawTest, KeyedAndUnkeyedBltFast16And32) {
  for (const PixelFormat& f : {k565, k8888}) {
    const uint32_t key = f.rgbBitCount == 16 ? 0xF81Fu : 0xFF00FFu;
    SurfacePtr src = Make(4, 3, f);
    SurfacePtr dst = Make(6, 5, f);
    // Source: key on the diagonal-ish pattern, else a value naming the pixel.
    auto srcValue = [key](int x, int y) {
      return (x + y) % 2 ? key : uint32_t(0x100 + x + 16 * y);
    };
    Paint(src.get(), srcValue);
    Paint(dst.get(), [](int x, int y) { return uint32_t(0x2000 + x + 16 * y); });
    ColorKey ck{key, key};
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &ck), DD_OK);
    RECT sr{1, 0, 4, 3};
    ASSERT_EQ(dst->BltFast(2, 1, src.get(), &sr, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT), DD_OK);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) {
        uint32_t expect = 0x2000 + x + 16 * y;
        if (x >= 2 && x < 5 && y >= 1 && y < 4) {
          uint32_t v = srcValue(x - 2 + 1, y - 1);
          if (v != key) expect = v;
        }
        EXPECT_EQ(dst->TestGetPixel(x, y), expect) << x << "," << y;
      }
    // Without the key flag the key colour is copied too.
    ASSERT_EQ(dst->BltFast(0, 0, src.get(), nullptr, DDBLTFAST_NOCOLORKEY), DD_OK);
    EXPECT_EQ(dst->TestGetPixel(1, 0), key);
    EXPECT_EQ(dst->TestGetPixel(0, 0), 0x100u);
  }
}

TEST_F(DDrawTest, StretchedBltTakesNearestPixelsAndHonoursTheKey) {
  SurfacePtr src = Make(3, 2, k8888);
  SurfacePtr dst = Make(6, 4, k8888);
  Paint(src.get(), [](int x, int y) { return uint32_t(10 * y + x); });  // 0 1 2 / 10 11 12
  ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
  const uint32_t up[4][6] = {
      {0, 0, 1, 1, 2, 2}, {0, 0, 1, 1, 2, 2}, {10, 10, 11, 11, 12, 12}, {10, 10, 11, 11, 12, 12}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(dst->TestGetPixel(x, y), up[y][x]);
  // 3 columns onto 2: column k takes source floor(k * 3 / 2) = 0, 1.
  RECT d2{0, 0, 2, 1};
  Paint(dst.get(), [](int, int) { return 99u; });
  ASSERT_EQ(dst->Blt(&d2, src.get(), nullptr, 0, nullptr), DD_OK);
  EXPECT_EQ(dst->TestGetPixel(0, 0), 0u);
  EXPECT_EQ(dst->TestGetPixel(1, 0), 1u);  // row 0 of 2 onto 1 row: floor(0 * 2 / 1) = 0
  EXPECT_EQ(dst->TestGetPixel(2, 0), 99u);
  // With the source key (11), the pixels that would take 11 keep their value.
  ColorKey key{11, 11};
  src->SetColorKey(DDCKEY_SRCBLT, &key);
  Paint(dst.get(), [](int, int) { return 99u; });
  ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_KEYSRC, nullptr), DD_OK);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(dst->TestGetPixel(x, y), up[y][x] == 11 ? 99u : up[y][x]);
  // A copy onto itself, overlapping: rows shift down by one from a snapshot.
  RECT from{0, 0, 6, 3}, to{0, 1, 6, 4};
  ASSERT_EQ(dst->Blt(&to, dst.get(), &from, 0, nullptr), DD_OK);
  EXPECT_EQ(dst->TestGetPixel(0, 1), 0u);
  EXPECT_EQ(dst->TestGetPixel(0, 2), 0u);
  EXPECT_EQ(dst->TestGetPixel(0, 3), 10u);
}

TEST_F(DDrawTest, PaddedPitchesAreHonoured) {
  ddtest::SetPitchPadding(10);  // rounded up to 12
  SurfacePtr src = Make(3, 3, k565);
  SurfacePtr dst = Make(3, 3, k565);
  SurfaceDesc d;
  ASSERT_EQ(dst->Lock(nullptr, &d, 0), DD_OK);
  EXPECT_EQ(d.pitch, 8 + 12);
  auto* base = static_cast<uint8_t*>(d.surface);
  std::memset(base, 0x77, size_t(d.pitch) * 3);  // padding bytes included
  dst->Unlock(nullptr);
  Paint(src.get(), [](int x, int y) { return uint32_t(0x100 * y + x); });
  ASSERT_EQ(dst->BltFast(0, 0, src.get(), nullptr, 0), DD_OK);
  BltFx fx;
  fx.fillColor = 0x4444;
  RECT r{0, 2, 3, 3};
  ASSERT_EQ(dst->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
  const std::vector<uint8_t> packed = dst->TestReadBack();
  ASSERT_EQ(packed.size(), 18u);
  const uint8_t expect[18] = {0, 0, 1, 0,    2,    0,    0,    1,    1,
                              1, 2, 1, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44};
  for (size_t i = 0; i < 18; ++i) EXPECT_EQ(packed[i], expect[i]) << i;
  // The padding after each row is never written.
  for (int y = 0; y < 3; ++y)
    for (int i = 6; i < d.pitch; ++i) EXPECT_EQ(base[y * d.pitch + i], 0x77) << y << ":" << i;
}

TEST_F(DDrawTest, RectanglesOutsideSurfacesAreClippedNeverWritten) {
  SurfacePtr src = Make(4, 4, k8888);
  SurfacePtr dst = Make(4, 4, k8888);
  Paint(src.get(), [](int x, int y) { return uint32_t(1 + x + 4 * y); });
  Paint(dst.get(), [](int, int) { return 0u; });
  // Destination hanging over the top-left corner: only (0,0)-(1,1) of it lies inside.
  ASSERT_EQ(dst->BltFast(-2, -2, src.get(), nullptr, 0), DD_OK);
  EXPECT_EQ(dst->TestGetPixel(0, 0), 11u);  // source (2,2)
  EXPECT_EQ(dst->TestGetPixel(1, 1), 16u);  // source (3,3)
  EXPECT_EQ(dst->TestGetPixel(2, 0), 0u);
  // Source rectangle reaching outside the source: only real source pixels are copied.
  Paint(dst.get(), [](int, int) { return 0u; });
  RECT sr{2, 2, 9, 9};
  ASSERT_EQ(dst->BltFast(0, 0, src.get(), &sr, 0), DD_OK);
  EXPECT_EQ(dst->TestGetPixel(0, 0), 11u);
  EXPECT_EQ(dst->TestGetPixel(1, 1), 16u);
  EXPECT_EQ(dst->TestGetPixel(2, 2), 0u);
  // Extreme coordinates do not overflow anything.
  EXPECT_EQ(dst->BltFast(INT_MAX, INT_MAX, src.get(), nullptr, 0), DD_OK);
  EXPECT_EQ(dst->BltFast(INT_MIN, INT_MIN, src.get(), nullptr, 0), DD_OK);
  RECT huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  EXPECT_EQ(dst->Blt(&huge, src.get(), nullptr, 0, nullptr), DD_OK);
  EXPECT_EQ(dst->Blt(nullptr, src.get(), &huge, 0, nullptr), DD_OK);
  EXPECT_EQ(dst->Blt(&huge, src.get(), &huge, 0, nullptr), DD_OK);
  // The whole 4 x 4 source lies at the centre of a huge rectangle mapped 1:1 onto a huge one.
  Paint(dst.get(), [](int, int) { return 0u; });
  RECT big{-1000000, -1000000, 1000004, 1000004};
  ASSERT_EQ(dst->Blt(&big, src.get(), &big, 0, nullptr), DD_OK);
  EXPECT_EQ(dst->TestGetPixel(0, 0), 1u);
  EXPECT_EQ(dst->TestGetPixel(3, 3), 16u);
  RECT inverted{3, 3, 1, 1};
  EXPECT_EQ(dst->BltFast(0, 0, src.get(), &inverted, 0), DDERR_INVALIDRECT);
  EXPECT_EQ(dst->Blt(&inverted, src.get(), nullptr, 0, nullptr), DDERR_INVALIDRECT);
  // Formats of different widths are not mixed.
  SurfacePtr other = Make(4, 4, k565);
  EXPECT_EQ(dst->BltFast(0, 0, other.get(), nullptr, 0), DDERR_INVALIDPIXELFORMAT);
}

TEST_F(DDrawTest, HostileCreatesAreRefused) {
  DirectDrawSurface* s = nullptr;
  EXPECT_EQ(dd->CreateSurface(PlainDesc(0, 4, &k565), &s), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->CreateSurface(PlainDesc(65536, 4, &k565), &s), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->CreateSurface(PlainDesc(4, 65536, &k565), &s), DDERR_INVALIDPARAMS);
  // 65535 x 65535 x 4 bytes is far beyond 2^31 - 1.
  EXPECT_EQ(dd->CreateSurface(PlainDesc(65535, 65535, &k8888), &s), DDERR_INVALIDPARAMS);
  // 32768 x 16384 x 4 = 2^31 exactly: one byte too many.
  EXPECT_EQ(dd->CreateSurface(PlainDesc(32768, 16384, &k8888), &s), DDERR_INVALIDPARAMS);
  PixelFormat odd = k565;
  odd.rgbBitCount = 12;
  EXPECT_EQ(dd->CreateSurface(PlainDesc(4, 4, &odd), &s), DDERR_INVALIDPIXELFORMAT);
  PixelFormat overlap = Rgb(16, 0xFC00, 0x07E0, 0x001F);
  EXPECT_EQ(dd->CreateSurface(PlainDesc(4, 4, &overlap), &s), DDERR_INVALIDPIXELFORMAT);
  PixelFormat wide = Rgb(16, 0x1F0000, 0x07E0, 0x001F);
  EXPECT_EQ(dd->CreateSurface(PlainDesc(4, 4, &wide), &s), DDERR_INVALIDPIXELFORMAT);
  PixelFormat pal = Rgb(8, 0, 0, 0);
  EXPECT_EQ(dd->CreateSurface(PlainDesc(4, 4, &pal), &s), DDERR_INVALIDPIXELFORMAT);
  PixelFormat fourcc{
      sizeof(PixelFormat), PF_FOURCC, MakeFourCC('Y', 'U', 'Y', '2'), 16, 0, 0, 0, 0};
  EXPECT_EQ(dd->CreateSurface(PlainDesc(4, 4, &fourcc), &s), DDERR_INVALIDPIXELFORMAT);
  EXPECT_EQ(dd->CreateSurface(PlainDesc(4, 4, &k565, DDSCAPS_OVERLAY), &s), DDERR_NOOVERLAYHW);
  EXPECT_EQ(
      dd->CreateSurface(PlainDesc(4, 4, &k565, DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY), &s),
      DDERR_INVALIDCAPS);
  SurfaceDesc noCaps = PlainDesc(4, 4, &k565);
  noCaps.flags &= ~DDSD_CAPS;
  EXPECT_EQ(dd->CreateSurface(noCaps, &s), DDERR_INVALIDPARAMS);
  SurfaceDesc noSize = PlainDesc(4, 4, &k565);
  noSize.flags &= ~DDSD_WIDTH;
  EXPECT_EQ(dd->CreateSurface(noSize, &s), DDERR_INVALIDPARAMS);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(ddtest::LiveSurfaceCount(), 0);
  ddtest::FailNextCreateSurface(DDERR_OUTOFMEMORY);
  EXPECT_EQ(dd->CreateSurface(PlainDesc(4, 4, &k565), &s), DDERR_OUTOFMEMORY);
  ASSERT_EQ(dd->CreateSurface(PlainDesc(4, 4, &k565), &s), DD_OK);
  s->Release();
}

TEST_F(DDrawTest, VideoMemoryCanBeRefused) {
  SurfacePtr any = Make(4, 4, k565, DDSCAPS_OFFSCREENPLAIN);
  SurfaceCaps caps;
  any->GetCaps(&caps);
  EXPECT_TRUE(caps.caps & DDSCAPS_VIDEOMEMORY);
  ddtest::SetRefuseVideoMemory(true);
  DirectDrawSurface* s = nullptr;
  EXPECT_EQ(
      dd->CreateSurface(PlainDesc(4, 4, &k565, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY), &s),
      DDERR_OUTOFVIDEOMEMORY);
  ASSERT_EQ(dd->CreateSurface(PlainDesc(4, 4, &k565, DDSCAPS_OFFSCREENPLAIN), &s), DD_OK);
  s->GetCaps(&caps);
  EXPECT_TRUE(caps.caps & DDSCAPS_SYSTEMMEMORY);
  EXPECT_FALSE(caps.caps & DDSCAPS_VIDEOMEMORY);
  s->Release();
  DDCaps driver;
  ASSERT_EQ(dd->GetCaps(&driver, nullptr), DD_OK);
  EXPECT_EQ(driver.vidMemFree, 0u);
}

TEST_F(DDrawTest, ColourKeysAreCutToThePixelWidth) {
  SurfacePtr s = Make(2, 2, k565);
  ColorKey got;
  EXPECT_EQ(s->GetColorKey(DDCKEY_SRCBLT, &got), DDERR_NOCOLORKEY);
  ColorKey k{0xFFFF1234, 0xABCD1234};
  ASSERT_EQ(s->SetColorKey(DDCKEY_SRCBLT, &k), DD_OK);
  ASSERT_EQ(s->GetColorKey(DDCKEY_SRCBLT, &got), DD_OK);
  EXPECT_EQ(got.low, 0x1234u);
  EXPECT_EQ(got.high, 0x1234u);
  EXPECT_EQ(s->SetColorKey(0, &k), DDERR_INVALIDPARAMS);
  ASSERT_EQ(s->SetColorKey(DDCKEY_SRCBLT, nullptr), DD_OK);
  EXPECT_EQ(s->GetColorKey(DDCKEY_SRCBLT, &got), DDERR_NOCOLORKEY);
}

TEST_F(DDrawTest, PrimaryFlipsOnlyInExclusiveMode) {
  Window* w = MakeWindow();
  ASSERT_NE(w, nullptr);
  SurfaceDesc pd;
  pd.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  pd.caps.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  pd.backBufferCount = 1;
  DirectDrawSurface* primary = nullptr;
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  EXPECT_EQ(dd->CreateSurface(pd, &primary), DDERR_NOEXCLUSIVEMODE);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  ASSERT_EQ(dd->CreateSurface(pd, &primary), DD_OK);
  SurfacePtr front(primary);
  DirectDrawSurface* again = nullptr;
  EXPECT_EQ(dd->CreateSurface(pd, &again), DDERR_PRIMARYSURFACEALREADYEXISTS);
  SurfaceDesc d;
  front->GetSurfaceDesc(&d);
  EXPECT_EQ(d.width, 640u);
  EXPECT_EQ(d.height, 480u);
  EXPECT_EQ(d.pixelFormat.rgbBitCount, 16u);
  EXPECT_EQ(d.backBufferCount, 1u);
  DirectDrawSurface* backRaw = nullptr;
  ASSERT_EQ(front->GetAttachedSurface(SurfaceCaps{DDSCAPS_BACKBUFFER, 0}, &backRaw), DD_OK);
  SurfacePtr back(backRaw);
  EXPECT_EQ(front->DeleteAttachedSurface(0, back.get()), DDERR_CANNOTDETACHSURFACE);
  BltFx fx;
  fx.fillColor = 0x1111;
  front->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);
  fx.fillColor = 0x2222;
  back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);
  ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
  EXPECT_EQ(front->TestGetPixel(639, 479), 0x2222u);
  EXPECT_EQ(back->TestGetPixel(0, 0), 0x1111u);
  SurfaceDesc ld;
  back->Lock(nullptr, &ld, 0);
  EXPECT_EQ(front->Flip(nullptr, 0), DDERR_SURFACEBUSY);
  back->Unlock(nullptr);
  EXPECT_EQ(back->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
}

TEST_F(DDrawTest, DisplayModesChangeTheDesktopAndLoseVideoMemory) {
  Window* w = MakeWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 32, 0, 0), DDERR_NOEXCLUSIVEMODE);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  EXPECT_EQ(dd->SetDisplayMode(641, 480, 32, 0, 0), DDERR_INVALIDMODE);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 15, 0, 0), DDERR_INVALIDMODE);
  ASSERT_EQ(dd->SetDisplayMode(800, 600, 32, 0, 0), DD_OK);

  SurfaceDesc pd;
  pd.flags = DDSD_CAPS;
  pd.caps.caps = DDSCAPS_PRIMARYSURFACE;
  DirectDrawSurface* raw = nullptr;
  ASSERT_EQ(dd->CreateSurface(pd, &raw), DD_OK);
  SurfacePtr primary(raw);
  SurfacePtr video = Make(8, 8, k8888, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY);
  SurfacePtr system = Make(8, 8, k8888);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  // Each change is announced to the window: 1920 x 1080 → 800 x 600 → 640 x 480 x 16.
  ASSERT_EQ(PumpMessages(), 2);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].kind, MessageKind::DisplayChange);
  EXPECT_EQ(heard[0].a, 800);
  EXPECT_EQ(heard[1].b, 480);
  EXPECT_EQ(heard[1].c, 16u);
  EXPECT_EQ(GetDesktop().width, 640);
  EXPECT_EQ(GetDesktop().bitsPerPixel, 16u);
  SurfaceDesc mode;
  dd->GetDisplayMode(&mode);
  EXPECT_EQ(mode.pixelFormat.greenMask, 0x07E0u);
  EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(system->IsLost(), DD_OK);
  EXPECT_EQ(video->Restore(), DD_OK);
  EXPECT_EQ(video->TestGetPixel(7, 7), 0xCDCDCDCDu);
  // The primary belongs to a mode that no longer exists.
  EXPECT_EQ(primary->Restore(), DDERR_WRONGMODE);

  int seen = 0;
  bool found = false;
  dd->EnumDisplayModes(0, nullptr, [&](const SurfaceDesc& m) {
    ++seen;
    found |= m.width == 640 && m.height == 480 && m.pixelFormat.rgbBitCount == 32;
    return true;
  });
  EXPECT_TRUE(found);
  EXPECT_GT(seen, 4);
  int stopped = 0;
  dd->EnumDisplayModes(0, nullptr, [&](const SurfaceDesc&) { return ++stopped < 3; });
  EXPECT_EQ(stopped, 3);

  // Leaving exclusive mode gives the desktop back, and says so.
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  EXPECT_EQ(GetDesktop().width, 1920);
  EXPECT_EQ(GetDesktop().bitsPerPixel, 32u);
  ASSERT_EQ(PumpMessages(), 1);
  EXPECT_EQ(heard.back().a, 1920);
}

TEST_F(DDrawTest, OnlyOneObjectHoldsExclusiveMode) {
  Window* w = MakeWindow();
  DirectDraw* other = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(&other), DD_OK);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  EXPECT_EQ(other->SetCooperativeLevel(w, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
            DDERR_EXCLUSIVEMODEALREADYSET);
  EXPECT_EQ(other->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(other->SetCooperativeLevel(w, DDSCL_NORMAL | DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  other->Release();
}

TEST_F(DDrawTest, WindowClipperLimitsBltsToTheClientArea) {
  Window* w = MakeWindow();  // client rectangle (10, 20) - (30, 40)
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  SurfaceDesc pd;
  pd.flags = DDSD_CAPS;
  pd.caps.caps = DDSCAPS_PRIMARYSURFACE;
  DirectDrawSurface* raw = nullptr;
  ASSERT_EQ(dd->CreateSurface(pd, &raw), DD_OK);
  SurfacePtr primary(raw);
  DirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(dd->CreateClipper(0, &clipper), DD_OK);
  ASSERT_EQ(clipper->SetHWnd(0, w), DD_OK);
  ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
  clipper->Release();  // the surface keeps it
  std::vector<RECT> list;
  DirectDrawClipper* got = nullptr;
  ASSERT_EQ(primary->GetClipper(&got), DD_OK);
  ASSERT_EQ(got->GetClipList(&list), DD_OK);
  got->Release();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].right, 30);

  SurfacePtr src = Make(40, 40, k8888);
  Paint(src.get(), [](int x, int y) { return uint32_t(0x10000 + x + 256 * y); });
  RECT dr{0, 0, 40, 40};
  ASSERT_EQ(primary->Blt(&dr, src.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(primary->TestGetPixel(10, 20), 0x10000u + 10 + 256 * 20);
  EXPECT_EQ(primary->TestGetPixel(29, 39), 0x10000u + 29 + 256 * 39);
  EXPECT_EQ(primary->TestGetPixel(9, 20), 0u);
  EXPECT_EQ(primary->TestGetPixel(30, 39), 0u);
  EXPECT_EQ(primary->TestGetPixel(10, 40), 0u);
}

TEST_F(DDrawTest, ZBufferAttachment) {
  SurfaceDesc zd = PlainDesc(8, 8, nullptr, DDSCAPS_ZBUFFER | DDSCAPS_VIDEOMEMORY);
  DirectDrawSurface* raw = nullptr;
  ASSERT_EQ(dd->CreateSurface(zd, &raw), DD_OK);
  SurfacePtr z(raw);
  SurfacePtr target = Make(8, 8, k565, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE);
  SurfacePtr small = Make(4, 4, k565);
  SurfacePtr plain = Make(8, 8, k565);
  EXPECT_EQ(target->AddAttachedSurface(plain.get()), DDERR_CANNOTATTACHSURFACE);
  EXPECT_EQ(small->AddAttachedSurface(z.get()), DDERR_CANNOTATTACHSURFACE);
  ASSERT_EQ(target->AddAttachedSurface(z.get()), DD_OK);
  EXPECT_EQ(target->AddAttachedSurface(z.get()), DDERR_SURFACEALREADYATTACHED);
  DirectDrawSurface* found = nullptr;
  ASSERT_EQ(target->GetAttachedSurface(SurfaceCaps{DDSCAPS_ZBUFFER, 0}, &found), DD_OK);
  EXPECT_EQ(found, z.get());
  found->Release();
  EXPECT_EQ(target->DeleteAttachedSurface(0, plain.get()), DDERR_SURFACENOTATTACHED);
  ASSERT_EQ(target->DeleteAttachedSurface(0, z.get()), DD_OK);
  EXPECT_EQ(target->GetAttachedSurface(SurfaceCaps{DDSCAPS_ZBUFFER, 0}, &found), DDERR_NOTFOUND);
  PixelFormat zf{sizeof(PixelFormat), PF_ZBUFFER, 0, 12, 0, 0, 0, 0};
  zd.flags |= DDSD_PIXELFORMAT;
  zd.pixelFormat = zf;
  EXPECT_EQ(dd->CreateSurface(zd, &raw), DDERR_INVALIDPIXELFORMAT);
}

TEST_F(DDrawTest, PaletteAndInterfaces) {
  PaletteEntry entries[256];
  for (int i = 0; i < 256; ++i)
    entries[i] = PaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};
  DirectDrawPalette* pal = nullptr;
  EXPECT_EQ(dd->CreatePalette(0, entries, &pal), DDERR_INVALIDPARAMS);
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &pal), DD_OK);
  PaletteEntry back[2];
  ASSERT_EQ(pal->GetEntries(0, 200, 2, back), DD_OK);
  EXPECT_EQ(back[1].red, 201);
  EXPECT_EQ(back[1].green, 54);
  EXPECT_EQ(pal->GetEntries(0, 255, 2, back), DDERR_INVALIDPARAMS);
  SurfacePtr s16 = Make(2, 2, k565);
  EXPECT_EQ(s16->SetPalette(pal), DDERR_INVALIDPIXELFORMAT);
  PixelFormat p8{sizeof(PixelFormat), PF_RGB | PF_PALETTEINDEXED8, 0, 8, 0, 0, 0, 0};
  SurfacePtr s8 = Make(2, 2, p8);
  ASSERT_EQ(s8->SetPalette(pal), DD_OK);
  pal->Release();

  void* out = reinterpret_cast<void*>(1);
  d3dtest::SetPresent(false);  // a machine without Direct3D
  EXPECT_EQ(dd->QueryInterface(InterfaceId::Direct3D7, &out), E_NOINTERFACE);
  d3dtest::SetPresent(true);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(s16->QueryInterface(InterfaceId::Direct3DTexture7, &out), E_NOINTERFACE);
  ASSERT_EQ(dd->QueryInterface(InterfaceId::DirectDraw7, &out), DD_OK);
  static_cast<DirectDraw*>(out)->Release();
}

}  // namespace
}  // namespace zq::platform
