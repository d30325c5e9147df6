// In-memory DirectDraw: lock rules, fills and blits read back pixel by pixel, lost surfaces,
// display modes, attachments and hostile arguments.
#include "platform/ddraw/ddraw.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "platform/d3d_test_support.h"

namespace zq::platform {
namespace {

using Px = std::vector<uint32_t>;

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
  SurfacePtr MakeFrom(const SurfaceDesc& d) {
    DirectDrawSurface* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(d, &s), DD_OK);
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
        const uint32_t v = value(int(x), int(y));
        std::memcpy(static_cast<uint8_t*>(d.surface) + y * uint32_t(d.pitch) + x * bytes, &v,
                    bytes);
      }
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
  }
  void Fill(DirectDrawSurface* s, uint32_t v) {
    Paint(s, [v](int, int) { return v; });
  }
  // The pixels of row y from x0 to x1.
  static Px Row(DirectDrawSurface* s, int y, int x0, int x1) {
    Px r;
    for (int x = x0; x < x1; ++x) r.push_back(s->TestGetPixel(x, y));
    return r;
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

TEST_F(DDrawTest, NewSurfacesAreZeroedAndDescribeThemselves) {
  SurfacePtr s = Make(5, 3, k565);
  SurfaceDesc d;
  ASSERT_EQ(s->GetSurfaceDesc(&d), DD_OK);
  EXPECT_EQ((Px{d.width, d.height, uint32_t(d.pitch), d.pixelFormat.greenMask}),
            (Px{5, 3, 12, 0x07E0}));  // 10 bytes a row rounded up to 4
  EXPECT_TRUE(d.caps.caps & DDSCAPS_SYSTEMMEMORY);
  EXPECT_EQ(s->TestReadBack(), std::vector<uint8_t>(30, 0));
  // Without a pixel format a surface takes the desktop's.
  SurfacePtr plain = MakeFrom(PlainDesc(2, 2, nullptr));
  PixelFormat f;
  plain->GetPixelFormat(&f);
  EXPECT_EQ(f.rgbBitCount, 32u);
}

TEST_F(DDrawTest, LockRulesAndLostSurfaces) {
  SurfacePtr s = Make(4, 4, kX8888);
  SurfaceDesc d;
  BltFx fx;
  HDC dc = nullptr;
  ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT), DD_OK);
  void* first = d.surface;
  // Pixels start on a cache line, as display memory does.
  EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 64, 0u);
  // Nested locks, fills, contexts of a locked surface are refused.
  EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT), DDERR_SURFACEBUSY);
  EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_SURFACEBUSY);
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

  // Restoring a surface that is not lost changes nothing; a lost one cannot be locked, filled
  // or copied, and comes back holding the poison pattern.
  SurfacePtr s16 = Make(3, 2, k565);
  Paint(s16.get(), [](int x, int y) { return uint32_t(x + 10 * y); });
  Paint(s.get(), [](int x, int y) { return uint32_t(x + 10 * y); });
  EXPECT_EQ(s16->Restore(), DD_OK);
  EXPECT_EQ(s16->TestGetPixel(2, 1), 12u);
  ddtest::MakeAllSurfacesLost();
  EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(s->Lock(nullptr, &d, 0), DDERR_SURFACELOST);
  EXPECT_EQ(s16->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_SURFACELOST);
  EXPECT_EQ(s->BltFast(0, 0, s16.get(), nullptr, 0), DDERR_SURFACELOST);
  EXPECT_EQ(s16->Restore(), DD_OK);
  EXPECT_EQ(s->Restore(), DD_OK);
  EXPECT_EQ(s16->IsLost(), DD_OK);
  EXPECT_EQ(s16->TestReadBack(), std::vector<uint8_t>(12, 0xCD));
  EXPECT_EQ(s->TestReadBack(), std::vector<uint8_t>(64, 0xCD));
}

TEST_F(DDrawTest, ColourFillIsCutToThePixelWidthAndClippedToTheSurface) {
  for (const PixelFormat& f : {k565, kX8888}) {
    SurfacePtr s = Make(6, 5, f);
    Fill(s.get(), 0x1111);
    BltFx fx;
    fx.fillColor = 0xABCD9876;
    RECT r{4, -3, 9, 2}, away{100, 100, 200, 200}, inverted{3, 0, 1, 2};
    ASSERT_EQ(s->Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    EXPECT_EQ(s->Blt(&away, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
    EXPECT_EQ(s->Blt(&inverted, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDRECT);
    EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, nullptr), DDERR_INVALIDPARAMS);
    const uint32_t fill = f.rgbBitCount == 16 ? 0x9876u : 0xABCD9876u;
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x)
        EXPECT_EQ(s->TestGetPixel(x, y), (x >= 4 && y < 2) ? fill : 0x1111u) << x << "," << y;
  }
}

TEST_F(DDrawTest, KeyedAndUnkeyedBltFast16And32) {
  for (const PixelFormat& f : {k565, kX8888}) {
    const uint32_t key = f.rgbBitCount == 16 ? 0xF81Fu : 0xFF00FFu;
    SurfacePtr src = Make(4, 3, f), dst = Make(6, 5, f);
    // Source: the key on alternate pixels, else a value naming the pixel.
    auto srcValue = [key](int x, int y) {
      return (x + y) % 2 ? key : uint32_t(0x100 + x + 16 * y);
    };
    auto dstValue = [](int x, int y) { return uint32_t(0x2000 + x + 16 * y); };
    Paint(src.get(), srcValue);
    Paint(dst.get(), dstValue);
    ColorKey ck{key, key};
    ASSERT_EQ(src->SetColorKey(DDCKEY_SRCBLT, &ck), DD_OK);
    RECT sr{1, 0, 4, 3};
    ASSERT_EQ(dst->BltFast(2, 1, src.get(), &sr, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT), DD_OK);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 6; ++x) {
        const bool in = x >= 2 && x < 5 && y >= 1 && y < 4;
        const uint32_t v = in ? srcValue(x - 1, y - 1) : key;
        EXPECT_EQ(dst->TestGetPixel(x, y), v != key ? v : dstValue(x, y)) << x << "," << y;
      }
    // Without the key flag the key colour is copied too.
    ASSERT_EQ(dst->BltFast(0, 0, src.get(), nullptr, DDBLTFAST_NOCOLORKEY), DD_OK);
    EXPECT_EQ(Row(dst.get(), 0, 0, 2), (Px{0x100, key}));
  }
}

TEST_F(DDrawTest, StretchedBltTakesNearestPixelsAndHonoursTheKey) {
  SurfacePtr src = Make(3, 2, kX8888), dst = Make(6, 4, kX8888);
  Paint(src.get(), [](int x, int y) { return uint32_t(10 * y + x); });  // 0 1 2 / 10 11 12
  auto up = [](int x, int y) { return uint32_t(10 * (y / 2) + x / 2); };
  auto expect = [&](auto value) {
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(dst->TestGetPixel(x, y), value(x, y)) << x << "," << y;
  };
  ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
  expect(up);
  // 3 columns onto 2: column k takes source floor(k * 3 / 2) = 0, 1; 2 rows onto 1 take row 0.
  RECT d2{0, 0, 2, 1};
  Fill(dst.get(), 99);
  ASSERT_EQ(dst->Blt(&d2, src.get(), nullptr, 0, nullptr), DD_OK);
  EXPECT_EQ(Row(dst.get(), 0, 0, 3), (Px{0, 1, 99}));
  // With the source key (11), the pixels that would take 11 keep their value.
  ColorKey key{11, 11};
  src->SetColorKey(DDCKEY_SRCBLT, &key);
  Fill(dst.get(), 99);
  ASSERT_EQ(dst->Blt(nullptr, src.get(), nullptr, DDBLT_KEYSRC, nullptr), DD_OK);
  expect([&](int x, int y) { return up(x, y) == 11 ? 99u : up(x, y); });
  // A copy onto itself, overlapping: rows shift down by one from a snapshot.
  RECT from{0, 0, 6, 3}, to{0, 1, 6, 4};
  ASSERT_EQ(dst->Blt(&to, dst.get(), &from, 0, nullptr), DD_OK);
  EXPECT_EQ((Px{dst->TestGetPixel(0, 1), dst->TestGetPixel(0, 2), dst->TestGetPixel(0, 3)}),
            (Px{0, 0, 10}));
}

TEST_F(DDrawTest, PaddedPitchesAreHonoured) {
  ddtest::SetPitchPadding(10);  // rounded up to 12
  SurfacePtr src = Make(3, 3, k565), dst = Make(3, 3, k565);
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
  EXPECT_EQ(dst->TestReadBack(), (std::vector<uint8_t>{0, 0, 1, 0, 2, 0, 0, 1, 1, 1, 2, 1, 0x44,
                                                       0x44, 0x44, 0x44, 0x44, 0x44}));
  // The padding after each row is never written.
  for (int y = 0; y < 3; ++y)
    for (int i = 6; i < d.pitch; ++i) EXPECT_EQ(base[y * d.pitch + i], 0x77) << y << ":" << i;
}

TEST_F(DDrawTest, RectanglesOutsideSurfacesAreClippedNeverWritten) {
  SurfacePtr src = Make(4, 4, kX8888), dst = Make(4, 4, kX8888);
  Paint(src.get(), [](int x, int y) { return uint32_t(1 + x + 4 * y); });
  // Destination hanging over the top-left corner, and a source rectangle reaching outside the
  // source: only (0,0)-(1,1) is written, from source (2,2)-(3,3).
  RECT sr{2, 2, 9, 9};
  for (const bool overhang : {true, false}) {
    Fill(dst.get(), 0);
    ASSERT_EQ(overhang ? dst->BltFast(-2, -2, src.get(), nullptr, 0)
                       : dst->BltFast(0, 0, src.get(), &sr, 0),
              DD_OK);
    EXPECT_EQ((Px{dst->TestGetPixel(0, 0), dst->TestGetPixel(1, 1), dst->TestGetPixel(2, 0),
                  dst->TestGetPixel(2, 2)}),
              (Px{11, 16, 0, 0}));
  }
  // Extreme coordinates do not overflow anything.
  RECT huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  EXPECT_EQ(dst->BltFast(INT_MAX, INT_MAX, src.get(), nullptr, 0), DD_OK);
  EXPECT_EQ(dst->BltFast(INT_MIN, INT_MIN, src.get(), nullptr, 0), DD_OK);
  EXPECT_EQ(dst->Blt(&huge, src.get(), nullptr, 0, nullptr), DD_OK);
  EXPECT_EQ(dst->Blt(nullptr, src.get(), &huge, 0, nullptr), DD_OK);
  EXPECT_EQ(dst->Blt(&huge, src.get(), &huge, 0, nullptr), DD_OK);
  // The whole 4 x 4 source lies at the centre of a huge rectangle mapped 1:1 onto a huge one.
  Fill(dst.get(), 0);
  RECT big{-1000000, -1000000, 1000004, 1000004};
  ASSERT_EQ(dst->Blt(&big, src.get(), &big, 0, nullptr), DD_OK);
  EXPECT_EQ((Px{dst->TestGetPixel(0, 0), dst->TestGetPixel(3, 3)}), (Px{1, 16}));
  RECT inverted{3, 3, 1, 1};
  EXPECT_EQ(dst->BltFast(0, 0, src.get(), &inverted, 0), DDERR_INVALIDRECT);
  EXPECT_EQ(dst->Blt(&inverted, src.get(), nullptr, 0, nullptr), DDERR_INVALIDRECT);
  SurfacePtr other = Make(4, 4, k565);  // formats of different widths are not mixed
  EXPECT_EQ(dst->BltFast(0, 0, other.get(), nullptr, 0), DDERR_INVALIDPIXELFORMAT);
}

TEST_F(DDrawTest, HostileCreatesAreRefused) {
  PixelFormat odd = k565, overlap = TestFormat(16, 0xFC00, 0x07E0, 0x001F),
              wide = TestFormat(16, 0x1F0000, 0x07E0, 0x001F), pal = TestFormat(8, 0, 0, 0),
              fourcc{
                  sizeof(PixelFormat), PF_FOURCC, MakeFourCC('Y', 'U', 'Y', '2'), 16, 0, 0, 0, 0};
  odd.rgbBitCount = 12;
  SurfaceDesc noCaps = PlainDesc(4, 4, &k565), noSize = PlainDesc(4, 4, &k565);
  noCaps.flags &= ~DDSD_CAPS;
  noSize.flags &= ~DDSD_WIDTH;
  const std::pair<SurfaceDesc, HRESULT> rows[] = {
      {PlainDesc(0, 4, &k565), DDERR_INVALIDPARAMS},
      {PlainDesc(65536, 4, &k565), DDERR_INVALIDPARAMS},
      {PlainDesc(4, 65536, &k565), DDERR_INVALIDPARAMS},
      {PlainDesc(65535, 65535, &kX8888), DDERR_INVALIDPARAMS},  // far beyond 2^31 - 1 bytes
      {PlainDesc(32768, 16384, &kX8888), DDERR_INVALIDPARAMS},  // 2^31 exactly: one too many
      {PlainDesc(4, 4, &odd), DDERR_INVALIDPIXELFORMAT},
      {PlainDesc(4, 4, &overlap), DDERR_INVALIDPIXELFORMAT},
      {PlainDesc(4, 4, &wide), DDERR_INVALIDPIXELFORMAT},
      {PlainDesc(4, 4, &pal), DDERR_INVALIDPIXELFORMAT},
      {PlainDesc(4, 4, &fourcc), DDERR_INVALIDPIXELFORMAT},
      {PlainDesc(4, 4, &k565, DDSCAPS_OVERLAY), DDERR_NOOVERLAYHW},
      {PlainDesc(4, 4, &k565, DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY), DDERR_INVALIDCAPS},
      {noCaps, DDERR_INVALIDPARAMS},
      {noSize, DDERR_INVALIDPARAMS}};
  DirectDrawSurface* s = nullptr;
  for (const auto& [desc, code] : rows) {
    EXPECT_EQ(dd->CreateSurface(desc, &s), code) << desc.width << "x" << desc.height;
    EXPECT_EQ(s, nullptr);
  }
  EXPECT_EQ(ddtest::LiveSurfaceCount(), 0);
  ddtest::FailNextCreateSurface(DDERR_OUTOFMEMORY);
  EXPECT_EQ(dd->CreateSurface(PlainDesc(4, 4, &k565), &s), DDERR_OUTOFMEMORY);
  MakeFrom(PlainDesc(4, 4, &k565));
}

TEST_F(DDrawTest, VideoMemoryCanBeRefusedAndColourKeysAreCut) {
  SurfacePtr any = Make(4, 4, k565, DDSCAPS_OFFSCREENPLAIN);
  SurfaceCaps caps;
  any->GetCaps(&caps);
  EXPECT_TRUE(caps.caps & DDSCAPS_VIDEOMEMORY);
  ddtest::SetRefuseVideoMemory(true);
  DirectDrawSurface* s = nullptr;
  EXPECT_EQ(
      dd->CreateSurface(PlainDesc(4, 4, &k565, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY), &s),
      DDERR_OUTOFVIDEOMEMORY);
  SurfacePtr system = Make(4, 4, k565, DDSCAPS_OFFSCREENPLAIN);
  system->GetCaps(&caps);
  EXPECT_EQ(caps.caps & (DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY), DDSCAPS_SYSTEMMEMORY);
  DDCaps driver;
  ASSERT_EQ(dd->GetCaps(&driver, nullptr), DD_OK);
  EXPECT_EQ(driver.vidMemFree, 0u);
  // Keys are cut to the pixel width.
  ColorKey got, k{0xFFFF1234, 0xABCD1234};
  EXPECT_EQ(system->GetColorKey(DDCKEY_SRCBLT, &got), DDERR_NOCOLORKEY);
  ASSERT_EQ(system->SetColorKey(DDCKEY_SRCBLT, &k), DD_OK);
  ASSERT_EQ(system->GetColorKey(DDCKEY_SRCBLT, &got), DD_OK);
  EXPECT_EQ((Px{got.low, got.high}), (Px{0x1234, 0x1234}));
  EXPECT_EQ(system->SetColorKey(0, &k), DDERR_INVALIDPARAMS);
  ASSERT_EQ(system->SetColorKey(DDCKEY_SRCBLT, nullptr), DD_OK);
  EXPECT_EQ(system->GetColorKey(DDCKEY_SRCBLT, &got), DDERR_NOCOLORKEY);
}

TEST_F(DDrawTest, PrimaryFlipsOnlyInExclusiveMode) {
  Window* w = MakeWindow();
  SurfaceDesc pd;
  pd.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  pd.caps.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  pd.backBufferCount = 1;
  DirectDrawSurface* primary = nullptr;
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  EXPECT_EQ(dd->CreateSurface(pd, &primary), DDERR_NOEXCLUSIVEMODE);
  // Only one object holds exclusive mode.
  DirectDraw* other = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(&other), DD_OK);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  EXPECT_EQ(other->SetCooperativeLevel(w, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
            DDERR_EXCLUSIVEMODEALREADYSET);
  EXPECT_EQ(other->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(other->SetCooperativeLevel(w, DDSCL_NORMAL | DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  other->Release();
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  SurfacePtr front = MakeFrom(pd);
  EXPECT_EQ(dd->CreateSurface(pd, &primary), DDERR_PRIMARYSURFACEALREADYEXISTS);
  SurfaceDesc d;
  front->GetSurfaceDesc(&d);
  EXPECT_EQ((Px{d.width, d.height, d.pixelFormat.rgbBitCount, d.backBufferCount}),
            (Px{640, 480, 16, 1}));
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
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 32, 0, 0), DDERR_NOEXCLUSIVEMODE);
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
  EXPECT_EQ(dd->SetDisplayMode(641, 480, 32, 0, 0), DDERR_INVALIDMODE);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 15, 0, 0), DDERR_INVALIDMODE);
  ASSERT_EQ(dd->SetDisplayMode(800, 600, 32, 0, 0), DD_OK);
  SurfaceDesc pd;
  pd.flags = DDSD_CAPS;
  pd.caps.caps = DDSCAPS_PRIMARYSURFACE;
  SurfacePtr primary = MakeFrom(pd);
  SurfacePtr video = Make(8, 8, kX8888, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY);
  SurfacePtr system = Make(8, 8, kX8888);
  ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
  // Each change is announced to the window: 1920 x 1080 -> 800 x 600 -> 640 x 480 x 16.
  ASSERT_EQ(PumpMessages(), 2);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0].kind, MessageKind::DisplayChange);
  EXPECT_EQ((Px{uint32_t(heard[0].a), uint32_t(heard[1].b), heard[1].c}), (Px{800, 480, 16}));
  EXPECT_EQ(GetDesktop().width, 640);
  EXPECT_EQ(GetDesktop().bitsPerPixel, 16u);
  SurfaceDesc mode;
  dd->GetDisplayMode(&mode);
  EXPECT_EQ((Px{mode.pixelFormat.greenMask, mode.refreshRate}), (Px{0x07E0, 60}));
  EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(system->IsLost(), DD_OK);
  EXPECT_EQ(video->Restore(), DD_OK);
  EXPECT_EQ(video->TestGetPixel(7, 7), 0xCDCDCDCDu);
  EXPECT_EQ(primary->Restore(), DDERR_WRONGMODE);  // its mode no longer exists
  // Leaving exclusive mode gives the desktop back, and says so.
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  EXPECT_EQ(GetDesktop().width, 1920);
  EXPECT_EQ(GetDesktop().bitsPerPixel, 32u);
  ASSERT_EQ(PumpMessages(), 1);
  EXPECT_EQ(heard.back().a, 1920);
}

TEST_F(DDrawTest, WindowClipperLimitsBltsToTheClientArea) {
  Window* w = MakeWindow();  // client rectangle (10, 20) - (30, 40)
  ASSERT_EQ(dd->SetCooperativeLevel(w, DDSCL_NORMAL), DD_OK);
  SurfaceDesc pd;
  pd.flags = DDSD_CAPS;
  pd.caps.caps = DDSCAPS_PRIMARYSURFACE;
  SurfacePtr primary = MakeFrom(pd);
  DirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(dd->CreateClipper(0, &clipper), DD_OK);
  ASSERT_EQ(clipper->SetHWnd(0, w), DD_OK);
  ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
  clipper->Release();  // the surface keeps it
  SurfacePtr src = Make(40, 40, kX8888);
  auto value = [](int x, int y) { return uint32_t(0x10000 + x + 256 * y); };
  Paint(src.get(), value);
  RECT dr{0, 0, 40, 40};
  ASSERT_EQ(primary->Blt(&dr, src.get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
  EXPECT_EQ(Row(primary.get(), 20, 9, 11), (Px{0, value(10, 20)}));
  EXPECT_EQ(Row(primary.get(), 39, 29, 31), (Px{value(29, 39), 0}));
  EXPECT_EQ(primary->TestGetPixel(10, 40), 0u);
}

TEST_F(DDrawTest, ZBufferAttachmentPaletteAndInterfaces) {
  SurfaceDesc zd = PlainDesc(8, 8, nullptr, DDSCAPS_ZBUFFER | DDSCAPS_VIDEOMEMORY);
  SurfacePtr z = MakeFrom(zd);
  SurfacePtr target = Make(8, 8, k565, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE);
  SurfacePtr small = Make(4, 4, k565), plain = Make(8, 8, k565);
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
  zd.flags |= DDSD_PIXELFORMAT;
  zd.pixelFormat = PixelFormat{sizeof(PixelFormat), PF_ZBUFFER, 0, 12, 0, 0, 0, 0};
  DirectDrawSurface* raw = nullptr;
  EXPECT_EQ(dd->CreateSurface(zd, &raw), DDERR_INVALIDPIXELFORMAT);

  PaletteEntry entries[256];
  for (int i = 0; i < 256; ++i)
    entries[i] = PaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};
  DirectDrawPalette* pal = nullptr;
  EXPECT_EQ(dd->CreatePalette(0, entries, &pal), DDERR_INVALIDPARAMS);
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &pal), DD_OK);
  PaletteEntry back[2];
  ASSERT_EQ(pal->GetEntries(0, 200, 2, back), DD_OK);
  EXPECT_EQ((Px{back[1].red, back[1].green}), (Px{201, 54}));
  EXPECT_EQ(pal->GetEntries(0, 255, 2, back), DDERR_INVALIDPARAMS);
  EXPECT_EQ(small->SetPalette(pal), DDERR_INVALIDPIXELFORMAT);
  SurfacePtr s8 =
      Make(2, 2, PixelFormat{sizeof(PixelFormat), PF_RGB | PF_PALETTEINDEXED8, 0, 8, 0, 0, 0, 0});
  ASSERT_EQ(s8->SetPalette(pal), DD_OK);
  pal->Release();
  void* out = nullptr;
  EXPECT_EQ(small->QueryInterface(InterfaceId::Direct3DTexture7, &out), E_NOINTERFACE);
  ASSERT_EQ(dd->QueryInterface(InterfaceId::DirectDraw7, &out), DD_OK);
  static_cast<DirectDraw*>(out)->Release();
}

}  // namespace
}  // namespace zq::platform
