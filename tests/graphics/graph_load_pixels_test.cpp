// Loaded pictures in the graphs' stores, pixel by pixel, on both software screen depths and on
// simulated DirectDraw surfaces; images and bitmaps written into existing graphs; DIB sections
// made from files; loaded graphs drawn on the screen.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/memory.h"
#include "graph_load_test_util.h"
#include "graphics/ddraw/dd_graph_image.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_front.h"
#include "graphics/graph.h"
#include "graphics/graph_load.h"
#include "graphics/image/graph_image_ops.h"
#include "graphics/image/image_decode.h"
#include "support/library_fixture.h"

namespace zq::gfx {
namespace {

using test::Bmp24;
using test::Bytes;
using test::FileDirScope;
using test::LibrarySession;
using test::Pattern;
using test::Rgb565;
using test::StorePixel;
using test::WriteFile;
using test::Xrgb;

// The store value of an opaque 24-bit colour on a screen of the given depth.
uint32_t Opaque(int bits, uint32_t rgb) {
  return bits == 32 ? Xrgb(rgb) : Rgb565(rgb);
}

void ExpectStore(HandleValue g, int width, int height,
                 const std::function<uint32_t(int, int)>& want, const char* what) {
  ASSERT_NE(g, -1) << what;
  ASSERT_EQ(GetGraphRecord(g)->Width, width) << what;
  ASSERT_EQ(GetGraphRecord(g)->Height, height) << what;
  int wrong = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (StorePixel(g, x, y) != want(x, y) && wrong++ < 4)
        ADD_FAILURE() << what << " at (" << x << ", " << y << "): " << std::hex
                      << StorePixel(g, x, y) << " wanted " << want(x, y);
  EXPECT_EQ(wrong, 0) << what;
}

Bytes Tga24(int width, int height) {
  Bytes data;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = Pattern(x, y);
      data.insert(data.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    }
  // Descriptor 0x20: rows stored from the top.
  return test::TgaFile(
      {.width = width, .height = height, .pixelBits = 24, .descriptor = 0x20, .data = data});
}

// X8R8G8B8 with a non-zero unused byte, which an equal-format copy keeps.
Bytes DdsX888(int width, int height) {
  Bytes data;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = Pattern(x, y);
      data.insert(data.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0x5A});
    }
  return test::DdsFile({.width = uint32_t(width), .height = uint32_t(height), .data = data});
}

void CheckFormatsOnSoftwareScreen(int bits) {
  LibrarySession lib({.bits = bits});
  FileDirScope dirScope(lib.Dir());
  const std::string data = ZQ_TEST_DATA_DIR;

  WriteFile("p.bmp", Bmp24(7, 5, Pattern));
  ExpectStore(
      LoadGraphFromFileStd("p.bmp"), 7, 5,
      [&](int x, int y) { return Opaque(bits, Pattern(x, y)); }, "bmp");

  WriteFile("p.tga", Tga24(6, 4));
  ExpectStore(
      LoadGraphFromFileStd("p.tga"), 6, 4,
      [&](int x, int y) { return Opaque(bits, Pattern(x, y)); }, "tga");

  WriteFile("p.dds", DdsX888(5, 3));
  ExpectStore(
      LoadGraphFromFileStd("p.dds"), 5, 3,
      [&](int x, int y) { return bits == 32 ? 0x5A000000 | Pattern(x, y) : Rgb565(Pattern(x, y)); },
      "dds");

  const test::Ppm png = test::ReadPpm(data + "/png/rgb8.ppm");
  WriteFile("p.png", test::ReadFile(data + "/png/rgb8.png"));
  ExpectStore(
      LoadGraphFromFileStd("p.png"), png.width, png.height,
      [&](int x, int y) { return Opaque(bits, png.At(x, y)); }, "png");

  // JPEG is lossy: the store must hold exactly the decoder's colours, converted.
  WriteFile("p.jpg", test::ReadFile(data + "/jpeg/color444.jpg"));
  GraphImage decoded{};
  ASSERT_EQ(DecodeImageFile("p.jpg", nullptr, 0, 0, &decoded, 0), 0);
  ExpectStore(
      LoadGraphFromFileStd("p.jpg"), decoded.Width, decoded.Height,
      [&](int x, int y) { return Opaque(bits, GetGraphImagePixel(&decoded, x, y) & 0xFFFFFF); },
      "jpeg");
  ReleaseImageBuffers(&decoded);

  // A palettised BMP keeps its indices; the store's palette is in its own layout.
  const std::vector<uint32_t> palette = {0x102030, 0xF0E0D0, 0x00FF00, 0x804020};
  WriteFile("pal.bmp", test::Bmp8(5, 2, palette, [](int x, int y) { return (x + y) & 3; }));
  const HandleValue pal = LoadGraphFromFileStd("pal.bmp");
  ExpectStore(
      pal, 5, 2, [](int x, int y) { return uint32_t((x + y) & 3); }, "8-bit bmp");
  const MEMIMG& img = test::StoreOf(pal)->Image;
  EXPECT_EQ(img.PaletteCount, 256);
  for (int i = 0; i < 4; ++i) {
    if (bits == 32)
      EXPECT_EQ(img.Palette[i], palette[size_t(i)]);
    else
      EXPECT_EQ(reinterpret_cast<const uint16_t*>(img.Palette)[i], Rgb565(palette[size_t(i)]));
  }

  // Alpha from the companion's red: ARGB, or a 5:6:5 word with the alpha byte next to it (the
  // unused top byte is written full).
  WriteFile("a.bmp", Bmp24(4, 3, Pattern));
  WriteFile("a_a.bmp", Bmp24(4, 3, [](int x, int y) { return uint32_t(x * 60 + y) << 16 | 0x77; }));
  ExpectStore(
      LoadGraphFromFileStd("a.bmp"), 4, 3,
      [&](int x, int y) {
        const uint32_t a = uint32_t(x * 60 + y);
        return bits == 32 ? a << 24 | Pattern(x, y) : 0xFF000000 | a << 16 | Rgb565(Pattern(x, y));
      },
      "alpha companion");

  // A PNG with its own alpha channel.
  WriteFile("rgba.png", test::ReadFile(data + "/png/rgba8.png"));
  GraphImage rgba{};
  ASSERT_EQ(DecodeImageFile("rgba.png", nullptr, 0, 0, &rgba, 0), 0);
  ExpectStore(
      LoadGraphFromFileStd("rgba.png"), rgba.Width, rgba.Height,
      [&](int x, int y) {
        const uint32_t p = GetGraphImagePixel(&rgba, x, y);
        return bits == 32 ? p : 0xFF000000 | (p >> 24) << 16 | Rgb565(p);
      },
      "rgba png");
  ReleaseImageBuffers(&rgba);
}

TEST(LoadedPixels, ThirtyTwoBitSoftwareScreen) {
  CheckFormatsOnSoftwareScreen(32);
}

TEST(LoadedPixels, SixteenBitSoftwareScreen) {
  CheckFormatsOnSoftwareScreen(16);
}

TEST(LoadedPixels, StandardSurfacesHoldTheConvertedPixels) {
  for (int bits : {16, 32}) {
    // Full screen, so the display takes the depth asked for (a window keeps the desktop's).
    LibrarySession lib({.bits = bits, .softwareScreen = false, .windowed = false});
    FileDirScope dirScope(lib.Dir());
    WriteFile("s.bmp", Bmp24(9, 4, Pattern));
    const HandleValue g = LoadGraphFromFileStd("s.bmp");
    ASSERT_NE(g, -1);
    const SurfaceDataRecord* rec = test::StoreOf(g);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->SoftwareFlag, 0u);
    ASSERT_NE(rec->Surface, nullptr);
    const HandleValue data = test::PieceOf(g)->SurfaceData;
    int32_t pitch = 0;
    void* pixels = nullptr;
    const ColorData* format = nullptr;
    ASSERT_EQ(LockSurfaceData(data, &pitch, &pixels, 0, nullptr, &format), 0);
    ASSERT_EQ(format->ColorBitDepth, bits);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 9; ++x) {
        const uint8_t* p = static_cast<uint8_t*>(pixels) + y * pitch + x * (bits / 8);
        uint32_t v = 0;
        std::memcpy(&v, p, size_t(bits / 8));
        EXPECT_EQ(v, Opaque(bits, Pattern(x, y))) << bits << " bits at " << x << ", " << y;
      }
    UnlockSurfaceData(data, nullptr);
  }
}

// ---- Drawn on the screen ----------------------------------------------------------------------

// The pixel at (x, y) of the current draw target.
uint32_t TargetPixel(int x, int y) {
  const MEMIMG* img = g_DD.DrawTargetMemImg;
  uint32_t v = 0;
  std::memcpy(&v, img->Pixels + int64_t(y) * img->Pitch + int64_t(x) * img->Format->PixelByte,
              size_t(img->Format->PixelByte));
  return v;
}

void CheckDrawnOnSoftwareScreen(int bits) {
  LibrarySession lib({.bits = bits});
  FileDirScope dirScope(lib.Dir());
  const std::string data = ZQ_TEST_DATA_DIR;
  WriteFile("p.bmp", Bmp24(7, 5, Pattern));
  WriteFile("p.tga", Tga24(6, 4));
  WriteFile("p.dds", DdsX888(5, 3));
  WriteFile("p.png", test::ReadFile(data + "/png/rgb8.png"));
  WriteFile("p.jpg", test::ReadFile(data + "/jpeg/color444.jpg"));
  const std::vector<uint32_t> palette = {0x102030, 0xF0E0D0, 0x00FF00, 0x804020};
  WriteFile("pal.bmp", test::Bmp8(5, 2, palette, [](int x, int y) { return (x + y) & 3; }));
  GraphImage jpeg{};
  ASSERT_EQ(DecodeImageFile("p.jpg", nullptr, 0, 0, &jpeg, 0), 0);
  const test::Ppm png = test::ReadPpm(data + "/png/rgb8.ppm");
  // Each picture's colours as drawn opaquely: the screen keeps red, green and blue.
  struct Case {
    const char* name;
    std::function<uint32_t(int, int)> colour;
  } cases[] = {
      {"p.bmp", Pattern},
      {"p.tga", Pattern},
      {"p.dds", Pattern},
      {"p.png", [&](int x, int y) { return png.At(x, y); }},
      {"p.jpg", [&](int x, int y) { return GetGraphImagePixel(&jpeg, x, y) & 0xFFFFFF; }},
      {"pal.bmp", [&](int x, int y) { return palette[size_t((x + y) & 3)]; }},
  };
  const uint32_t colourMask = bits == 32 ? 0xFFFFFF : 0xFFFF;
  for (const Case& c : cases) {
    const HandleValue g = LoadGraphFromFileStd(c.name);
    ASSERT_NE(g, -1) << c.name;
    const int w = GetGraphRecord(g)->Width, h = GetGraphRecord(g)->Height;
    ASSERT_EQ(DrawGraphAt(10, 20, g, 0), 0) << c.name;
    int wrong = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint32_t want = Opaque(bits, c.colour(x, y)) & colourMask;
        if ((TargetPixel(10 + x, 20 + y) & colourMask) != want && wrong++ < 4)
          ADD_FAILURE() << c.name << " at " << x << ", " << y;
      }
    EXPECT_EQ(wrong, 0) << c.name;
  }
  ReleaseImageBuffers(&jpeg);
}

TEST(LoadedAndDrawn, ThirtyTwoBitSoftwareScreen) {
  CheckDrawnOnSoftwareScreen(32);
}

TEST(LoadedAndDrawn, SixteenBitSoftwareScreen) {
  CheckDrawnOnSoftwareScreen(16);
}

// ---- Writing into existing graphs ------------------------------------------------------------

TEST(SetGraphImage, FromASourcePositionAndIntoARectangle) {
  LibrarySession lib({.bits = 32});
  FileDirScope dirScope(lib.Dir());
  WriteFile("big.bmp", Bmp24(6, 6, Pattern));
  GraphImage image{};
  ASSERT_EQ(DecodeImageFile("big.bmp", nullptr, 0, 0, &image, 0), 0);
  const HandleValue g = CreateGraphWithOptions(4, 4, 1, 0, 0);
  ASSERT_EQ(SetGraphImage(nullptr, nullptr, nullptr, "big.bmp", 0, &image, nullptr, 2, 1, g, 7), 0);
  const GraphRecord* r = GetGraphRecord(g);
  EXPECT_EQ(r->SrcX, 2);
  EXPECT_EQ(r->SrcY, 1);
  EXPECT_EQ(r->LoadFlags, 7u);
  EXPECT_STREQ(r->FileName, "big.bmp");
  // The graph reaches past the picture's right edge: the columns the picture holds are written.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(StorePixel(g, x, y), Xrgb(Pattern(x + 2, y + 1)));
  EXPECT_EQ(SetGraphImage(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, 6, 0, g, 0), -1);
  EXPECT_EQ(SetGraphImage(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, -1, 0, g, 0), -1);
  EXPECT_EQ(SetGraphImage(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, 0, 0, -1, 0), -1);

  // A rectangle of the picture at a point of the graph, clipped to the graph.
  const HandleValue h = CreateGraphWithOptions(5, 4, 1, 0, 0);
  std::vector<uint32_t> before;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) before.push_back(StorePixel(h, x, y));
  ASSERT_EQ(SetGraphImageDIB(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, 1, 2, 4, 5, 3,
                             2, h, 0),
            0);
  EXPECT_EQ(GetGraphRecord(h)->SrcX, 1);
  EXPECT_EQ(GetGraphRecord(h)->SrcY, 2);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(StorePixel(h, x, y),
                x >= 3 && y >= 2 ? Xrgb(Pattern(x - 2, y)) : before[size_t(y * 5 + x)])
          << x << ", " << y;
  // Partly above and left of the graph: only the part that lands inside is written.
  ASSERT_EQ(SetGraphImageDIB(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, 0, 0, 3, 3, -2,
                             -1, h, 0),
            0);
  EXPECT_EQ(StorePixel(h, 0, 0), Xrgb(Pattern(2, 1)));
  EXPECT_EQ(StorePixel(h, 0, 1), Xrgb(Pattern(2, 2)));
  EXPECT_EQ(StorePixel(h, 1, 0), before[1]);
  EXPECT_EQ(StorePixel(h, 0, 2), before[10]);
  // Nothing overlaps: nothing written, the position recorded by its low 16 bits.
  ASSERT_EQ(SetGraphImageDIB(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, 0x10001, -1,
                             0x10003, 1, 0, 0, h, 0),
            0);
  EXPECT_EQ(GetGraphRecord(h)->SrcX, 1);
  EXPECT_EQ(GetGraphRecord(h)->SrcY, 0xFFFF);
  EXPECT_EQ(StorePixel(h, 0, 0), Xrgb(Pattern(2, 1)));
  ReleaseImageBuffers(&image);
}

TEST(SetGraphImage, PalettisedStoreFedAWiderImagePicksTheNearestColours) {
  LibrarySession lib({.bits = 32});
  FileDirScope dirScope(lib.Dir());
  const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  WriteFile("pal.bmp", test::Bmp8(3, 1, palette, [](int, int) { return 0; }));
  const HandleValue g = LoadGraphFromFileStd("pal.bmp");
  ASSERT_EQ(GetGraphRecord(g)->Options.PaletteFlag, 1);
  const uint32_t colours[3] = {0xF01010, 0x10E010, 0xEEEEEE};
  WriteFile("rgb.bmp", Bmp24(3, 1, [&](int x, int) { return colours[x]; }));
  GraphImage image{};
  ASSERT_EQ(DecodeImageFile("rgb.bmp", nullptr, 0, 0, &image, 0), 0);
  ASSERT_EQ(SetGraphImage(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, 0, 0, g, 0), 0);
  EXPECT_EQ(StorePixel(g, 0, 0), 1u);
  EXPECT_EQ(StorePixel(g, 1, 0), 2u);
  EXPECT_EQ(StorePixel(g, 2, 0), 4u);
  ReleaseImageBuffers(&image);
}

TEST(SetGraphImage, FromAPlatformBitmap) {
  for (int bits : {16, 32}) {
    LibrarySession lib({.bits = bits});
    FileDirScope dirScope(lib.Dir());
    WriteFile("b.bmp", Bmp24(5, 3, Pattern));
    platform::HBITMAP bitmap = CreateDIBFromImageFile("b.bmp", 0, nullptr);
    ASSERT_NE(bitmap, nullptr);
    ColorData format{};
    SetupColorDataRGB24(&format);
    const HandleValue g = CreateGraphWithOptions(5, 3, 1, 0, 0);
    ASSERT_EQ(SetGraphImage(&format, bitmap, nullptr, nullptr, kSourceFormBitmap, nullptr, nullptr,
                            0, 0, g, 0),
              0);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) EXPECT_EQ(StorePixel(g, x, y), Opaque(bits, Pattern(x, y)));
    // A descriptor that does not match the bitmap's pixels is refused.
    ColorData wrong{};
    SetupColorDataFromMasks(&wrong, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    EXPECT_EQ(SetGraphImage(&wrong, bitmap, nullptr, nullptr, kSourceFormBitmap, nullptr, nullptr,
                            0, 0, g, 0),
              -1);
    EXPECT_EQ(SetGraphImage(nullptr, bitmap, nullptr, nullptr, kSourceFormBitmap, nullptr, nullptr,
                            0, 0, g, 0),
              -1);
    EXPECT_TRUE(platform::DeleteObject(bitmap));
  }
}

// ---- DIB sections from files ----------------------------------------------------------------

uint32_t Dib24At(platform::HBITMAP b, int x, int y) {
  const uint8_t* p = b->target.top + int64_t(y) * b->target.pitch + x * 3;
  return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

TEST(CreateDIBFromImageFile, SectionFormatsTargetsAndMirror) {
  LibrarySession lib({.bits = 32});
  FileDirScope dirScope(lib.Dir());
  const std::vector<uint32_t> palette = {0x102030, 0x405060, 0x708090};
  WriteFile("p8.bmp", test::Bmp8(5, 2, palette, [](int x, int) { return x % 3; }));
  WriteFile("p24.bmp", Bmp24(5, 2, Pattern));

  platform::HBITMAP pal = CreateDIBFromImageFile("p8.bmp", 0, nullptr);
  ASSERT_NE(pal, nullptr);
  EXPECT_EQ(pal->target.bitCount, 8u);
  for (int i = 0; i < 3; ++i) {
    const platform::RGBQUAD q = pal->target.colors[i];
    EXPECT_EQ(uint32_t(q.rgbRed) << 16 | uint32_t(q.rgbGreen) << 8 | q.rgbBlue, palette[size_t(i)]);
  }
  EXPECT_EQ(pal->target.top[4], 1);
  EXPECT_TRUE(platform::DeleteObject(pal));

  platform::HBITMAP plain = CreateDIBFromImageFile("p24.bmp", 0, nullptr);
  platform::HBITMAP mirrored = CreateDIBFromImageFile("p24.bmp", 1, nullptr);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(mirrored, nullptr);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(Dib24At(plain, x, y), Pattern(x, y));
      EXPECT_EQ(Dib24At(mirrored, x, y), Pattern(4 - x, y));
    }
  EXPECT_TRUE(platform::DeleteObject(plain));
  EXPECT_TRUE(platform::DeleteObject(mirrored));

  // A 32-bit target with 24-bit rows becomes the 24-bit preset and a 24-bit section.
  ColorData target{};
  SetupColorDataFromMasks(&target, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  platform::HBITMAP as24 = CreateDIBFromImageFile("p24.bmp", 0, &target);
  ASSERT_NE(as24, nullptr);
  EXPECT_EQ(as24->target.bitCount, 24u);
  EXPECT_EQ(target.ColorBitDepth, 24);
  EXPECT_TRUE(platform::DeleteObject(as24));

  // A 5:6:5 target: bit fields, each channel's top bits.
  ColorData t565{};
  SetupColorDataFromMasks(&t565, 16, 0xF800, 0x07E0, 0x001F, 0);
  platform::HBITMAP as16 = CreateDIBFromImageFile("p24.bmp", 0, &t565);
  ASSERT_NE(as16, nullptr);
  EXPECT_EQ(as16->target.bitCount, 16u);
  uint16_t word;
  std::memcpy(&word, as16->target.top + as16->target.pitch + 3 * 2, 2);
  EXPECT_EQ(word, Rgb565(Pattern(3, 1)));
  EXPECT_TRUE(platform::DeleteObject(as16));

  // 8-bit targets cannot take 24-bit rows; missing files give nothing. Nothing is left behind.
  const size_t blocks = base::TrackedBlockCount();
  ColorData t8{};
  SetupColorDataPal8(&t8);
  EXPECT_EQ(CreateDIBFromImageFile("p24.bmp", 0, &t8), nullptr);
  EXPECT_NE(lib.Log().find("ＤＩＢの作成に失敗しました3\r\n"), std::string::npos);
  EXPECT_EQ(CreateDIBFromImageFile("none.bmp", 0, nullptr), nullptr);
  EXPECT_EQ(base::TrackedBlockCount(), blocks);
  // An 8-bit target with 8-bit rows keeps the file's colours.
  platform::HBITMAP pal8 = CreateDIBFromImageFile("p8.bmp", 0, &t8);
  ASSERT_NE(pal8, nullptr);
  EXPECT_EQ(pal8->target.colors[2].rgbRed, 0x70);
  EXPECT_TRUE(platform::DeleteObject(pal8));
  // From memory.
  const Bytes bytes = test::ReadFile("p24.bmp");
  platform::HBITMAP fromMemory = CreateDIBGraph(nullptr, bytes.data(), bytes.size(), 1, 0, nullptr);
  ASSERT_NE(fromMemory, nullptr);
  EXPECT_EQ(Dib24At(fromMemory, 2, 1), Pattern(2, 1));
  EXPECT_TRUE(platform::DeleteObject(fromMemory));
}

}  // namespace
}  // namespace zq::gfx
