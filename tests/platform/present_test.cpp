// Headless presenter and PNG writer; written files are read back with libpng itself.
#include "platform/present/present.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "platform/win/window.h"

// Single-object allocations (std::vector's) are counted, so a test can show a call made none;
// out of line, so that the compiler sees no mismatch between new and the free in delete.
namespace {
std::atomic<uint64_t> g_allocations{0};
}
[[gnu::noinline]] void* operator new(size_t n, const std::nothrow_t&) noexcept {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(n ? n : 1);
}
[[gnu::noinline]] void* operator new(size_t n) {
  if (void* p = operator new(n, std::nothrow)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

namespace zq::platform {
namespace {

PixelFormat Rgb(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0) {
  return PixelFormat{sizeof(PixelFormat), PF_RGB | (a ? PF_ALPHAPIXELS : 0u), 0, bits, r, g, b, a};
}

struct TempPng {
  std::string path;
  TempPng() {
    char name[] = "/tmp/zq_present_XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path = name;
  }
  ~TempPng() { unlink(path.c_str()); }
};

// Decodes with libpng's own reader into 8-bit RGB or RGBA.
std::vector<uint8_t> ReadPng(const std::string& path, bool alpha, uint32_t& w, uint32_t& h) {
  png_image image;
  std::memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  std::vector<uint8_t> out(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.data(), 0, nullptr)) return {};
  w = image.width;
  h = image.height;
  return out;
}

TEST(PresentTest, PngRefusesBadInput) {
  const uint32_t px[4] = {};
  TempPng f;
  const PixelFormat x8 = Rgb(32, 0xFF0000, 0xFF00, 0xFF);
  EXPECT_EQ(WritePngFile(f.path.c_str(), px, 0, 1, 4, x8), -1);
  EXPECT_EQ(WritePngFile(f.path.c_str(), px, 2, 1, 4, x8), -1);  // pitch below the row
  EXPECT_EQ(WritePngFile(f.path.c_str(), nullptr, 1, 1, 4, x8), -1);
  EXPECT_EQ(WritePngFile(f.path.c_str(), px, 1, 1, 4, Rgb(8, 0, 0, 0)), -1);
  EXPECT_EQ(WritePngFile(f.path.c_str(), px, 1, 1, 4, Rgb(16, 0xF800, 0, 0x001F)), -1);
  EXPECT_EQ(WritePngFile("/nonexistent-dir/x.png", px, 1, 1, 4, x8), -1);
}

// The widening by hand: the channel's bits copied down from the top of the byte until it is
// full; wider channels keep their top 8 bits.
uint32_t Widen(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  const int bits = std::popcount(mask);
  const uint32_t v = (pixel & mask) >> std::countr_zero(mask);
  if (bits >= 8) return v >> (bits - 8);
  uint32_t out = v << (8 - bits);
  for (int filled = bits; filled < 8; filled += bits) out |= out >> bits;
  return out & 0xFF;
}

TEST(PresentTest, FramesAndPngsWidenEveryFormatExactly) {
  // 5:6:5, 5:5:5 and X8R8G8B8 have rows of their own; the others take the general ones.
  const PixelFormat formats[] = {Rgb(16, 0xF800, 0x07E0, 0x001F),
                                 Rgb(16, 0x7C00, 0x03E0, 0x001F),
                                 Rgb(32, 0xFF0000, 0xFF00, 0xFF),
                                 Rgb(24, 0xFF0000, 0xFF00, 0xFF),
                                 Rgb(16, 0x0F00, 0x00F0, 0x000F, 0xF000),
                                 Rgb(16, 0xE0, 0x1C, 0x03),
                                 Rgb(16, 0xF800, 0x07C0, 0x003E, 0x0001),
                                 Rgb(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000),
                                 Rgb(32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000)};
  const int32_t w = 261, h = 256;  // every 16-bit word, and rows that end in a partial block
  for (const PixelFormat& f : formats) {
    SCOPED_TRACE(testing::Message() << f.rgbBitCount << " bits, red " << f.redMask);
    const uint32_t bytes = f.rgbBitCount / 8;
    const int32_t pitch = int32_t(w * bytes + 3);
    std::vector<uint8_t> px(size_t(pitch) * h, 0xA5);
    std::vector<uint32_t> argb(size_t(w) * h);
    for (size_t i = 0; i < argb.size(); ++i) {
      const uint32_t v = bytes == 2 ? uint32_t(i) : uint32_t(i) * 2654435761u;
      std::memcpy(&px[i / w * pitch + i % w * bytes], &v, bytes);
      argb[i] = Widen(v, f.alphaMask) << 24 | Widen(v, f.redMask) << 16 |
                Widen(v, f.greenMask) << 8 | Widen(v, f.blueMask);
    }
    ASSERT_TRUE(PresentPixels(px.data(), w, h, pitch, f));
    const Frame frame = GetLastPresentedFrame();
    ASSERT_EQ(frame.pixels.size(), argb.size());
    for (size_t i = 0; i < argb.size(); ++i) ASSERT_EQ(frame.pixels[i], argb[i] & 0xFFFFFF) << i;
    // A file without alpha reads back opaque.
    TempPng file;
    ASSERT_EQ(WritePngFile(file.path.c_str(), px.data(), w, h, pitch, f), 0);
    uint32_t rw = 0, rh = 0;
    const std::vector<uint8_t> read = ReadPng(file.path, true, rw, rh);
    ASSERT_EQ(read.size(), argb.size() * 4);
    for (size_t i = 0; i < argb.size(); ++i) {
      const uint8_t* p = &read[i * 4];
      ASSERT_EQ(uint32_t(p[3] << 24 | p[0] << 16 | p[1] << 8 | p[2]),
                f.alphaMask ? argb[i] : argb[i] | 0xFF000000)
          << i;
    }
  }
  ResetPresenter();
}

struct CountingSink : FrameSink {
  int frames = 0;
  uint32_t firstPixel = 0;
  void ShowFrame(const FrameView& f) override {
    ++frames;
    firstPixel = ToRgbFrame(f).pixels.at(0);
  }
};

TEST(PresentTest, PresenterKeepsTheLastFrameAndCounts) {
  ResetPresenter();
  ResetWindowSystem();
  EXPECT_EQ(GetPresentCount(), 0u);
  CountingSink sink;
  SetFrameSink(&sink);
  const uint16_t px[2] = {0xF800, 0x001F};
  ASSERT_TRUE(PresentPixels(px, 2, 1, 4, Rgb(16, 0xF800, 0x07E0, 0x001F)));
  EXPECT_FALSE(PresentPixels(px, 2, 1, 2, Rgb(16, 0xF800, 0x07E0, 0x001F)));
  EXPECT_FALSE(PresentPixels(px, 0, 1, 4, Rgb(16, 0xF800, 0x07E0, 0x001F)));
  Frame f = GetLastPresentedFrame();
  ASSERT_EQ(f.pixels.size(), 2u);
  EXPECT_EQ(f.pixels[0], 0xFF0000u);
  EXPECT_EQ(f.pixels[1], 0x0000FFu);
  EXPECT_EQ(sink.frames, 1);

  // The primary surface of a 640 x 480 desktop.
  ASSERT_TRUE(SetDesktop(640, 480, PixelFormatXRGB8888()));
  DirectDraw* dd = nullptr;
  ASSERT_EQ(DirectDrawCreateEx(&dd), DD_OK);
  SurfaceDesc pd;
  pd.flags = DDSD_CAPS;
  pd.caps.caps = DDSCAPS_PRIMARYSURFACE;
  DirectDrawSurface* primary = nullptr;
  ASSERT_EQ(dd->CreateSurface(pd, &primary), DD_OK);
  BltFx fx;
  fx.fillColor = 0x00336699;
  primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);
  ASSERT_EQ(PresentSurface(primary), DD_OK);
  EXPECT_EQ(GetPresentCount(), 2u);
  f = GetLastPresentedFrame();
  EXPECT_EQ(f.width, 640);
  EXPECT_EQ(f.height, 480);
  EXPECT_EQ(f.pixels[640 * 480 - 1], 0x336699u);
  EXPECT_EQ(sink.firstPixel, 0x336699u);
  // Presenting again allocates nothing, and the kept frame is a copy of the surface's pixels.
  SetFrameSink(nullptr);
  const uint64_t allocations = g_allocations.load();
  ASSERT_EQ(PresentSurface(primary), DD_OK);
  EXPECT_EQ(g_allocations.load(), allocations);
  fx.fillColor = 0;
  primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx);
  EXPECT_EQ(GetLastPresentedFrame().pixels[0], 0x336699u);
  ddtest::MakeAllSurfacesLost();
  EXPECT_EQ(PresentSurface(primary), DDERR_SURFACELOST);
  EXPECT_EQ(GetPresentCount(), 3u);
  primary->Release();
  dd->Release();
  ResetPresenter();
  ResetWindowSystem();
}

// What a sink saw of the last frame: its place, size and whether it is a part of the desktop.
struct PlaceSink : FrameSink {
  std::tuple<int, int, int, int, bool> seen{};
  void ShowFrame(const FrameView& f) override {
    seen = {f.left, f.top, f.width, f.height, f.onDesktop};
  }
};

// A 640 x 480 32-bit desktop whose primary surface holds Pattern(x, y) in every pixel, its
// fourth byte set (a frame has none).
uint32_t Pattern(int64_t x, int64_t y) {
  return uint32_t(x & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | uint32_t((x ^ y) & 0xFF);
}
struct PatternDesktop {
  PatternDesktop() {
    ResetPresenter();
    ResetWindowSystem();
    EXPECT_TRUE(SetDesktop(640, 480, PixelFormatXRGB8888()));
    EXPECT_EQ(DirectDrawCreateEx(&dd), DD_OK);
    SurfaceDesc pd;
    pd.flags = DDSD_CAPS;
    pd.caps.caps = DDSCAPS_PRIMARYSURFACE;
    EXPECT_EQ(dd->CreateSurface(pd, &primary), DD_OK);
    SurfaceDesc desc;
    EXPECT_EQ(primary->Lock(nullptr, &desc, 0), DD_OK);
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        const uint32_t v = Pattern(x, y) | 0xA5000000u;
        std::memcpy(static_cast<uint8_t*>(desc.surface) + int64_t(y) * desc.pitch + x * 4, &v, 4);
      }
    primary->Unlock(nullptr);
  }
  ~PatternDesktop() {
    if (primary) primary->Release();
    dd->Release();
    ResetPresenter();
    ResetWindowSystem();
  }
  DirectDraw* dd = nullptr;
  DirectDrawSurface* primary = nullptr;
};

// Pixels of a frame that differ from the pattern at its place.
int WrongPixels(const Frame& f) {
  int wrong = 0;
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x)
      wrong += f.pixels[size_t(y) * size_t(f.width) + size_t(x)] != Pattern(f.left + x, f.top + y);
  return wrong;
}

TEST(PresentTest, AnAreaOfTheSurfaceIsPresentedAlone) {
  PatternDesktop desk;
  DirectDrawSurface* primary = desk.primary;
  PlaceSink sink;
  SetFrameSink(&sink);
  const struct {
    RECT area;
    std::tuple<int, int, int, int> frame;  // left, top, width, height
  } rows[] = {
      {{10, 20, 74, 84}, {10, 20, 64, 64}},
      {{-5, 470, 30, 500}, {0, 470, 30, 10}},
      {{600, -10, 700, 5}, {600, 0, 40, 5}},
      {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 640, 480}},
      {{700, 0, 800, 10}, {640, 0, 0, 0}},  // off the surface: an empty frame
      {{50, 60, 40, 70}, {50, 60, 0, 0}},   // reversed
  };
  uint64_t count = GetPresentCount();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.area.left);
    ASSERT_EQ(PresentSurface(primary, &row.area), DD_OK);
    EXPECT_EQ(GetPresentCount(), ++count);
    const auto [left, top, width, height] = row.frame;
    EXPECT_EQ(sink.seen, std::tuple(left, top, width, height, true));
    const Frame f = GetLastPresentedFrame();
    ASSERT_EQ(f.pixels.size(), size_t(width) * size_t(height));
    EXPECT_EQ(WrongPixels(f), 0);
  }
  SetFrameSink(nullptr);
}

// A window's part is kept as a view of the surface, so whatever changes the surface afterwards
// (or frees it) must leave the kept frame as it was presented; only the write of the next frame,
// announced with ExpectPresentOver, may change it.
TEST(PresentTest, AWindowsFrameOutlivesChangesOfItsSurface) {
  const RECT area{10, 20, 74, 84};
  auto writeAll = [](DirectDrawSurface* s) {
    SurfaceDesc d;
    ASSERT_EQ(s->Lock(nullptr, &d, 0), DD_OK);
    std::memset(d.surface, 0x11, size_t(d.pitch) * d.height);
    s->Unlock(nullptr);
  };
  const struct {
    const char* change;
    bool expected;  // announced as the next frame's write (ExpectPresentOver)
    std::function<void(PatternDesktop&)> run;
  } rows[] = {{"lock", false, [&](PatternDesktop& d) { writeAll(d.primary); }},
              {"colour fill", false,
               [](PatternDesktop& d) {
                 BltFx fx;
                 fx.fillColor = 0x00123456;
                 EXPECT_EQ(d.primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx), DD_OK);
               }},
              {"blt from itself", false,
               [](PatternDesktop& d) {
                 const RECT from{0, 0, 100, 100};
                 EXPECT_EQ(d.primary->BltFast(5, 5, d.primary, &from, 0), DD_OK);
               }},
              {"restore", false,
               [](PatternDesktop& d) {
                 ddtest::MakeAllSurfacesLost();
                 EXPECT_EQ(d.primary->Restore(), DD_OK);
               }},
              {"release", false,
               [](PatternDesktop& d) {
                 d.primary->Release();
                 d.primary = nullptr;
               }},
              {"write taken back", false,
               [&](PatternDesktop& d) {
                 ExpectPresentOver(d.primary);
                 ExpectPresentOver(nullptr);
                 writeAll(d.primary);
               }},
              {"second write", false,
               [&](PatternDesktop& d) {
                 ExpectPresentOver(d.primary);
                 const RECT none{0, 0, 1, 1};
                 SurfaceDesc unchanged;
                 ASSERT_EQ(d.primary->Lock(&none, &unchanged, 0), DD_OK);
                 d.primary->Unlock(&none);
                 writeAll(d.primary);
               }},
              {"announced write", true, [&](PatternDesktop& d) {
                 ExpectPresentOver(d.primary);
                 writeAll(d.primary);
               }}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.change);
    PatternDesktop desk;
    ASSERT_EQ(PresentSurface(desk.primary, &area), DD_OK);
    row.run(desk);
    const Frame f = GetLastPresentedFrame();
    ASSERT_EQ(f.width, 64);
    ASSERT_EQ(f.height, 64);
    if (row.expected) {
      EXPECT_EQ(f.pixels[0], 0x111111u);
    } else {
      EXPECT_EQ(WrongPixels(f), 0);
    }
  }
  // A whole-surface present after it lets the view go: the surface can then be released and the
  // presenter reset without touching it (the sanitizer build sees any touch).
  PatternDesktop desk;
  ASSERT_EQ(PresentSurface(desk.primary, &area), DD_OK);
  ASSERT_EQ(PresentSurface(desk.primary), DD_OK);
  desk.primary->Release();
  desk.primary = nullptr;
  ResetPresenter();
  EXPECT_EQ(GetPresentCount(), 0u);
}

}  // namespace
}  // namespace zq::platform
