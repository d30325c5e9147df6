// Loaded pictures in the graphs' stores, pixel by pixel, on both software screen depths and on
// simulated DirectDraw surfaces; images and bitmaps written into existing graphs; DIB sections
// made from files.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/memory.h"
#include "graph_load_test_util.h"
#include "graphics/ddraw/dd_graph_image.h"
#include "graphics/graph.h"
#include "graphics/graph_load.h"
#include "graphics/image/image_decode.h"
#include "graphics/image_reader_support.h"
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

// Each kind of picture in the store of a software screen of 32 and of 16 bits. A DDS in
// X8R8G8B8 has a non-zero unused byte, which an equal-format copy keeps; a palettised BMP keeps
// its indices and the store's palette is in the store's layout. Alpha comes from the companion's
// red or the PNG's own: ARGB, or a 5:6:5 word with the alpha byte next to it (the unused top
// byte written full).
TEST(LoadedPixels, SoftwareScreens) {
  const test::Pnm png = test::ReadPnm("png/rgb8.ppm"), alpha = test::ReadPnm("png/alpha8.pgm");
  const std::vector<uint32_t> palette = {0x102030, 0xF0E0D0, 0x00FF00, 0x804020};
  Bytes dds;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      for (int shift : {0, 8, 16, 24})
        dds.push_back(uint8_t((0x5A000000 | Pattern(x, y)) >> shift));
  for (int bits : {32, 16}) {
    SCOPED_TRACE(bits);
    LibrarySession lib({.bits = bits});
    FileDirScope dirScope(lib.Dir());
    const auto withAlpha = [&](uint32_t a, uint32_t rgb) {
      return bits == 32 ? a << 24 | rgb : 0xFF000000 | a << 16 | Rgb565(rgb);
    };
    WriteFile("a_a.bmp",
              Bmp24(4, 3, [](int x, int y) { return uint32_t(x * 60 + y) << 16 | 0x77; }));
    const struct {
      const char* name;
      Bytes file;
      int width, height;
      std::function<uint32_t(int, int)> want;
    } cases[] = {
        // clang-format off
        {"p.bmp", Bmp24(7, 5, Pattern), 7, 5,
         [&](int x, int y) { return Opaque(bits, Pattern(x, y)); }},
        {"p.dds", test::DdsFile({.width = 5, .height = 3, .data = dds}), 5, 3,
         [&](int x, int y) {
           return bits == 32 ? 0x5A000000 | Pattern(x, y) : Rgb565(Pattern(x, y));
         }},
        {"pal.bmp", test::Bmp8(5, 2, palette, [](int x, int y) { return (x + y) & 3; }), 5, 2,
         [](int x, int y) { return uint32_t((x + y) & 3); }},
        {"a.bmp", Bmp24(4, 3, Pattern), 4, 3,
         [&](int x, int y) { return withAlpha(uint32_t(x * 60 + y), Pattern(x, y)); }},
        {"rgba.png", test::ReadBytes("png/rgba8.png"), png.width, png.height,
         [&](int x, int y) { return withAlpha(uint32_t(alpha.At(x, y)), png.Rgb(x, y)); }},
        // clang-format on
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      const HandleValue g = LoadGraphFromFileStd(WriteFile(c.name, c.file).c_str());
      ASSERT_NE(g, -1);
      ASSERT_EQ(std::tuple(GetGraphRecord(g)->Width, GetGraphRecord(g)->Height),
                std::tuple(c.width, c.height));
      int wrong = 0;
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
          if (StorePixel(g, x, y) != c.want(x, y) && wrong++ < 4)
            ADD_FAILURE() << "at (" << x << ", " << y << "): " << std::hex << StorePixel(g, x, y)
                          << " wanted " << c.want(x, y);
    }
    const MEMIMG& img = test::StoreOf(LoadGraphFromFileStd("pal.bmp"))->Image;
    EXPECT_EQ(img.PaletteCount, 256);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(bits == 32 ? img.Palette[i] : reinterpret_cast<const uint16_t*>(img.Palette)[i],
                bits == 32 ? palette[size_t(i)] : Rgb565(palette[size_t(i)]));
  }
}

// ---- Writing into existing graphs ----

TEST(SetGraphImage, FromASourcePositionAndIntoARectangle) {
  LibrarySession lib({.bits = 32});
  FileDirScope dirScope(lib.Dir());
  WriteFile("big.bmp", Bmp24(6, 6, Pattern));
  GraphImage image{};
  ASSERT_EQ(DecodeImageFile("big.bmp", nullptr, 0, 0, &image, 0), 0);
  const HandleValue g = CreateGraphWithOptions(4, 4, 1, 0, 0);
  ASSERT_EQ(SetGraphImage(nullptr, nullptr, nullptr, "big.bmp", 0, &image, nullptr, 2, 1, g, 7), 0);
  const GraphRecord* r = GetGraphRecord(g);
  EXPECT_EQ(std::tuple(r->SrcX, r->SrcY, r->LoadFlags), std::tuple(2, 1, 7u));
  EXPECT_STREQ(r->FileName, "big.bmp");
  // The graph reaches past the picture's right edge: the columns the picture holds are written.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(StorePixel(g, x, y), Xrgb(Pattern(x + 2, y + 1)));
  for (auto [x, graph] : {std::pair(6, g), std::pair(-1, g), std::pair(0, HandleValue(-1))})
    EXPECT_EQ(SetGraphImage(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, x, 0, graph, 0),
              -1);

  // A rectangle of the picture at a point of the graph, clipped to the graph.
  const HandleValue h = CreateGraphWithOptions(5, 4, 1, 0, 0);
  std::vector<uint32_t> before;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) before.push_back(StorePixel(h, x, y));
  ASSERT_EQ(SetGraphImageDIB(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, 1, 2, 4, 5, 3,
                             2, h, 0),
            0);
  EXPECT_EQ(std::tuple(GetGraphRecord(h)->SrcX, GetGraphRecord(h)->SrcY), std::tuple(1, 2));
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
  EXPECT_EQ(std::tuple(GetGraphRecord(h)->SrcX, GetGraphRecord(h)->SrcY), std::tuple(1, 0xFFFF));
  EXPECT_EQ(StorePixel(h, 0, 0), Xrgb(Pattern(2, 1)));
  ReleaseImageBuffers(&image);
}

TEST(SetGraphImage, PalettisedStoreFedAWiderImagePicksTheNearestColours) {
  LibrarySession lib({.bits = 32});
  FileDirScope dirScope(lib.Dir());
  WriteFile("pal.bmp", test::Bmp8(3, 1, {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
                                  [](int, int) { return 0; }));
  const HandleValue g = LoadGraphFromFileStd("pal.bmp");
  ASSERT_EQ(GetGraphRecord(g)->Options.PaletteFlag, 1);
  const uint32_t colours[3] = {0xF01010, 0x10E010, 0xEEEEEE};
  WriteFile("rgb.bmp", Bmp24(3, 1, [&](int x, int) { return colours[x]; }));
  GraphImage image{};
  ASSERT_EQ(DecodeImageFile("rgb.bmp", nullptr, 0, 0, &image, 0), 0);
  ASSERT_EQ(SetGraphImage(nullptr, nullptr, nullptr, nullptr, 0, &image, nullptr, 0, 0, g, 0), 0);
  EXPECT_EQ(std::tuple(StorePixel(g, 0, 0), StorePixel(g, 1, 0), StorePixel(g, 2, 0)),
            std::tuple(1u, 2u, 4u));
  ReleaseImageBuffers(&image);
}

TEST(SetGraphImage, FromAPlatformBitmap) {
  for (int bits : {16, 32}) {
    LibrarySession lib({.bits = bits});
    FileDirScope dirScope(lib.Dir());
    WriteFile("b.bmp", Bmp24(5, 3, Pattern));
    platform::HBITMAP bitmap = CreateDIBFromImageFile("b.bmp", 0, nullptr);
    ASSERT_NE(bitmap, nullptr);
    ColorData format{}, wrong{};
    SetupColorDataRGB24(&format);
    // A descriptor that does not match the bitmap's pixels is refused, and so is none.
    SetupColorDataFromMasks(&wrong, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    const HandleValue g = CreateGraphWithOptions(5, 3, 1, 0, 0);
    for (ColorData* f : {&wrong, static_cast<ColorData*>(nullptr), &format})
      EXPECT_EQ(SetGraphImage(f, bitmap, nullptr, nullptr, kSourceFormBitmap, nullptr, nullptr, 0,
                              0, g, 0),
                f == &format ? 0 : -1);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) EXPECT_EQ(StorePixel(g, x, y), Opaque(bits, Pattern(x, y)));
    EXPECT_TRUE(platform::DeleteObject(bitmap));
  }
}

// ---- DIB sections from files ----

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
  ColorData t32{}, t565{}, t8{};
  SetupColorDataFromMasks(&t32, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  SetupColorDataFromMasks(&t565, 16, 0xF800, 0x07E0, 0x001F, 0);
  SetupColorDataPal8(&t8);
  const Bytes bytes = test::ReadFile("p24.bmp");
  const struct {
    platform::HBITMAP bitmap;
    unsigned bitCount;
    int mirror;  // -1: not 24 bits
  } sections[] = {
      {CreateDIBFromImageFile("p24.bmp", 0, nullptr), 24, 0},
      {CreateDIBFromImageFile("p24.bmp", 1, nullptr), 24, 1},
      // A 32-bit target with 24-bit rows becomes the 24-bit preset and a 24-bit section.
      {CreateDIBFromImageFile("p24.bmp", 0, &t32), 24, 0},
      {CreateDIBGraph(nullptr, bytes.data(), bytes.size(), 1, 0, nullptr), 24, 0},  // from memory
      // A 5:6:5 target: bit fields, each channel's top bits.
      {CreateDIBFromImageFile("p24.bmp", 0, &t565), 16, -1},
      // 8-bit rows keep the file's colours, with or without an 8-bit target.
      {CreateDIBFromImageFile("p8.bmp", 0, nullptr), 8, -1},
      {CreateDIBFromImageFile("p8.bmp", 0, &t8), 8, -1},
  };
  EXPECT_EQ(t32.ColorBitDepth, 24);
  for (const auto& s : sections) {
    ASSERT_NE(s.bitmap, nullptr);
    EXPECT_EQ(s.bitmap->target.bitCount, s.bitCount);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 5; ++x) {
        EXPECT_TRUE(s.mirror < 0 || Dib24At(s.bitmap, x, y) == Pattern(s.mirror ? 4 - x : x, y));
        EXPECT_TRUE(s.bitCount != 8 ||
                    s.bitmap->target.top[y * s.bitmap->target.pitch + x] == x % 3);
      }
    if (s.bitCount == 8) {
      for (int i = 0; i < 3; ++i) {
        const platform::RGBQUAD q = s.bitmap->target.colors[i];
        EXPECT_EQ(uint32_t(q.rgbRed) << 16 | uint32_t(q.rgbGreen) << 8 | q.rgbBlue,
                  palette[size_t(i)]);
      }
    }
    if (s.bitCount == 16) {
      uint16_t word;
      std::memcpy(&word, s.bitmap->target.top + s.bitmap->target.pitch + 3 * 2, 2);
      EXPECT_EQ(word, Rgb565(Pattern(3, 1)));
    }
    EXPECT_TRUE(platform::DeleteObject(s.bitmap));
  }
  // 8-bit targets cannot take 24-bit rows; missing files give nothing. Nothing is left behind.
  const size_t blocks = base::TrackedBlockCount();
  EXPECT_EQ(CreateDIBFromImageFile("p24.bmp", 0, &t8), nullptr);
  EXPECT_NE(lib.Log().find("ＤＩＢの作成に失敗しました3\r\n"), std::string::npos);
  EXPECT_EQ(CreateDIBFromImageFile("none.bmp", 0, nullptr), nullptr);
  EXPECT_EQ(base::TrackedBlockCount(), blocks);
}

}  // namespace
}  // namespace zq::gfx
