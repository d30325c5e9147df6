// PNG reader: files in every colour type and bit depth made by netpbm from plain PNM sources
// (tools/make-test-images.sh); the expected pixels are read from those sources.
#include "graphics/image/png_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "graphics/image_reader_support.h"

namespace zq::gfx {
namespace {

using test::Bytes;
using test::Decoded;
using test::Pnm;
using test::ReadBytes;
using test::ReadPnm;

// What the reader should deliver for each kind of file.
enum class Kind { kGrey, kRgb, kPalette, kGreyAlpha, kArgb };

struct Case {
  const char* png;
  Kind kind;
  const char* colour;  // PGM for greyscale kinds, PPM otherwise
  const char* alpha;   // PGM, for kinds with alpha
  int paletteColours;  // for kPalette
};

// Every colour type and bit depth that tools/make-test-images.sh writes.
const Case kCases[] = {
    {"png/gray1.png", Kind::kGrey, "png/gray1.pgm", nullptr, 0},
    {"png/gray2.png", Kind::kGrey, "png/gray2.pgm", nullptr, 0},
    {"png/gray2_interlaced.png", Kind::kGrey, "png/gray2.pgm", nullptr, 0},
    {"png/gray4.png", Kind::kGrey, "png/gray4.pgm", nullptr, 0},
    {"png/gray8.png", Kind::kGrey, "png/gray8.pgm", nullptr, 0},
    {"png/gray8_trns.png", Kind::kGrey, "png/gray8.pgm", nullptr, 0},  // level 0 transparent
    {"png/gray16.png", Kind::kGrey, "png/gray16.pgm", nullptr, 0},
    {"png/rgb8.png", Kind::kRgb, "png/rgb8.ppm", nullptr, 0},
    {"png/rgb8_interlaced.png", Kind::kRgb, "png/rgb8.ppm", nullptr, 0},
    {"png/rgb8_trns.png", Kind::kRgb, "png/rgb8.ppm", nullptr, 0},  // one colour transparent
    {"png/rgb16.png", Kind::kRgb, "png/rgb16.ppm", nullptr, 0},
    // Palettes of 2, 4, 16 and 200 colours are stored with 1, 2, 4 and 8 bits an index.
    {"png/palette2.png", Kind::kPalette, "png/indexed2.ppm", nullptr, 2},
    {"png/palette4.png", Kind::kPalette, "png/indexed4.ppm", nullptr, 4},
    {"png/palette16.png", Kind::kPalette, "png/indexed16.ppm", nullptr, 16},
    {"png/palette16_interlaced.png", Kind::kPalette, "png/indexed16.ppm", nullptr, 16},
    {"png/palette200.png", Kind::kPalette, "png/indexed200.ppm", nullptr, 200},
    {"png/palette8_trns.png", Kind::kArgb, "png/indexed8.ppm", "png/indexed8_alpha.pgm", 0},
    {"png/grayalpha8.png", Kind::kGreyAlpha, "png/gray8.pgm", "png/alpha8.pgm", 0},
    {"png/grayalpha16.png", Kind::kGreyAlpha, "png/gray16.pgm", "png/alpha16.pgm", 0},
    {"png/rgba8.png", Kind::kArgb, "png/rgb8.ppm", "png/alpha8.pgm", 0},
    {"png/rgba16.png", Kind::kArgb, "png/rgb16.ppm", "png/alpha16.pgm", 0},
};

// The descriptor of each kind, in the order of Kind: depth, masks (red, green, blue, alpha,
// uncovered), shifts and widths (red, green, blue, alpha). Palette channels describe entries
// 0x00RRGGBB; grey with alpha has its grey in the low byte, standing for all three colours.
void ExpectDescriptor(const ColorData& f, Kind kind) {
  const struct {
    int depth;
    uint32_t rm, gm, bm, am, nm;
    std::array<int, 8> layout;
  } kinds[] = {{8, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000, {16, 8, 0, 0, 8, 8, 8, 0}},
               {24, 0xFF0000, 0xFF00, 0xFF, 0, 0, {16, 8, 0, 0, 8, 8, 8, 0}},
               {8, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000, {16, 8, 0, 0, 8, 8, 8, 0}},
               {16, 0xFF, 0xFF, 0xFF, 0xFF00, 0, {0, 0, 0, 8, 8, 8, 8, 8}},
               {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0, {16, 8, 0, 24, 8, 8, 8, 8}}};
  const auto& d = kinds[int(kind)];
  test::ExpectFormat(f, d.depth, d.depth / 8, d.rm, d.gm, d.bm, d.am, d.nm);
  EXPECT_EQ((std::array<int, 8>{f.RL, f.GL, f.BL, f.AL, f.RW, f.GW, f.BW, f.AW}), d.layout);
}

// A source sample reduced to 8 bits the way the reader does it: small depths scaled up to
// 0..255, 16-bit samples keep their high byte.
int To8(const Pnm& src, int value) {
  return src.maxval == 65535 ? value >> 8 : value * 255 / src.maxval;
}

TEST(PngReader, EveryColourTypeAndDepthDecodesToTheSourcePixels) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.png);
    const Pnm colour = ReadPnm(c.colour);
    const Pnm alpha = c.alpha ? ReadPnm(c.alpha) : Pnm{};
    ASSERT_NE(colour.width, 0);
    Decoded d(LoadPngImage, ReadBytes(c.png));
    ASSERT_EQ(d.result, 0);
    const ColorData& f = d.image.Format;
    ExpectDescriptor(f, c.kind);
    EXPECT_EQ(d.image.Width, colour.width);
    EXPECT_EQ(d.image.Height, colour.height);
    EXPECT_EQ(d.image.Pitch, colour.width * f.PixelByte);  // the decoder's rows: no padding
    if (c.kind == Kind::kGrey) {
      for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(f.Palette[i], i * 0x010101u) << i;
    }
    for (int y = 0; y < colour.height; ++y) {
      for (int x = 0; x < colour.width; ++x) {
        const uint8_t* p = d.At(x, y);
        const auto c8 = [&](int channel) { return To8(colour, colour.At(x, y, channel)); };
        const int a8 = c.alpha ? To8(alpha, alpha.At(x, y)) : 0;
        std::vector<int> want;
        switch (c.kind) {
          case Kind::kPalette:
            // The script writes the palette in colour-number order, and the colour number of
            // a pixel is (x + y * width) % colours.
            ASSERT_EQ(p[0], (x + y * colour.width) % c.paletteColours) << x << "," << y;
            ASSERT_EQ(f.Palette[p[0]], colour.Rgb(x, y)) << x << "," << y;
            continue;
          case Kind::kGrey:
            want = {c8(0)};
            break;
          case Kind::kRgb:
            want = {c8(2), c8(1), c8(0)};
            break;
          case Kind::kGreyAlpha:
            want = {c8(0), a8};
            break;
          case Kind::kArgb:
            want = {c8(2), c8(1), c8(0), a8};
            break;
        }
        ASSERT_EQ(std::vector<int>(p, p + want.size()), want) << x << "," << y;
      }
    }
    if (c.kind == Kind::kPalette) {
      for (int i = c.paletteColours; i < 256; ++i) EXPECT_EQ(f.Palette[i], 0u) << i;
    }
  }
}

// ---- files made here: exact control of the header ----

void PutBigEndian(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

void AddChunk(Bytes& png, const char* type, const Bytes& data) {
  PutBigEndian(png, uint32_t(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  PutBigEndian(png, uint32_t(crc32(0, png.data() + start, uInt(png.size() - start))));
}

// A PNG of the given header whose image data is the given filtered rows, compressed here.
Bytes MakePng(uint32_t width, uint32_t height, int colourType, const Bytes& rows,
              const Bytes& palette = {}) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  PutBigEndian(header, width);
  PutBigEndian(header, height);
  header.insert(header.end(), {8, uint8_t(colourType), 0, 0, 0});
  AddChunk(png, "IHDR", header);
  if (!palette.empty()) AddChunk(png, "PLTE", palette);
  uLongf packedSize = compressBound(uLong(rows.size()));
  Bytes packed(packedSize);
  EXPECT_EQ(compress(packed.data(), &packedSize, rows.data(), uLong(rows.size())), Z_OK);
  packed.resize(packedSize);
  AddChunk(png, "IDAT", packed);
  AddChunk(png, "IEND", {});
  return png;
}

TEST(PngReader, SidesUpTo65535AreRead) {
  // One row of 65535 grey pixels and one column of 65535: both at the limit, both read.
  Bytes row(1 + 65535), column(65535 * 2);
  for (size_t x = 0; x < 65535; ++x) row[1 + x] = uint8_t(x % 251);
  for (size_t y = 0; y < 65535; ++y) column[2 * y + 1] = uint8_t(y % 253);
  Decoded wide(LoadPngImage, MakePng(65535, 1, 0, row));
  ASSERT_EQ(wide.result, 0);
  EXPECT_EQ(wide.image.Width, 65535);
  EXPECT_EQ(wide.image.Height, 1);
  for (int x = 0; x < 65535; x += 997) ASSERT_EQ(*wide.At(x, 0), x % 251);
  Decoded tall(LoadPngImage, MakePng(1, 65535, 0, column));
  ASSERT_EQ(tall.result, 0);
  EXPECT_EQ(tall.image.Height, 65535);
  EXPECT_EQ(tall.image.Pitch, 1);
  for (int y = 0; y < 65535; y += 1009) ASSERT_EQ(*tall.At(0, y), y % 253);
}

TEST(PngReader, OversizedImagesAreDeclinedBeforeTheirDataIsRead) {
  const struct {
    uint32_t width, height;
    int colourType;
  } cases[] = {
      {65536, 1, 0},      // one pixel too wide
      {1, 65536, 0},      // one pixel too high
      {70000, 1, 0},      //
      {40000, 40000, 2},  // RGB: 4.8e9 bytes
      {65535, 32769, 0},  // grey: 2^31 + 32767 bytes, just over the block limit
      {65535, 65535, 6},  // RGBA: over 2^34 bytes
  };
  testing::internal::CaptureStderr();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    GraphImage image = test::PatternedImage();
    size_t position = 0;
    EXPECT_EQ(
        test::DecodeBytes(LoadPngImage, MakePng(c.width, c.height, c.colourType, Bytes(64, 0)),
                          &image, &position),
        -1);
    EXPECT_TRUE(test::SameBytes(image, test::PatternedImage()));
    // Nothing of the image data was consumed (signature, header, IDAT length and type).
    EXPECT_LE(position, 8u + 25 + 8);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// ---- data that is not a PNG, or a damaged one ----

TEST(PngReader, DeclinesDataThatIsNotPngOrDamaged) {
  for (const Bytes& bytes :
       {Bytes{}, Bytes{0x89, 'P', 'N', 'G'},
        Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},  // the signature
        Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}, ReadBytes("jpeg/gray.jpg")})
    test::ExpectDeclined(LoadPngImage, bytes);
  GraphImage image{};
  EXPECT_EQ(LoadPngImage(nullptr, &image), -1);
  // Files of critical chunks only: every damaged byte breaks a checksum or the structure.
  for (const char* file : {"png/rgb8.png", "png/palette16.png", "png/grayalpha16.png"}) {
    SCOPED_TRACE(file);
    test::SweepHostileVariants(LoadPngImage, ReadBytes(file), true, true);
  }
  // A damaged ancillary chunk (tRNS) is skipped by design, so those may still decode.
  for (const char* file :
       {"png/palette8_trns.png", "png/rgb8_interlaced.png", "png/gray1.png", "png/rgba16.png"}) {
    SCOPED_TRACE(file);
    test::SweepHostileVariants(LoadPngImage, ReadBytes(file), true, false);
  }
}

}  // namespace
}  // namespace zq::gfx
