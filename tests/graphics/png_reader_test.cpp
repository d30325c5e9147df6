// PNG reader: files in every colour type and bit depth made by netpbm from plain PNM sources
// (tools/make-test-images.sh); the expected pixels are read from those sources.
#include "graphics/image/png_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/file_access.h"
#include "base/memory.h"
#include "graphics/image/jpeg_reader.h"
#include "graphics/image_reader_support.h"

namespace zq::gfx {
namespace {

using test::DecodeBytes;
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

struct Descriptor {
  int depth;
  uint32_t rm, gm, bm, am, nm;
  uint8_t rl, gl, bl, al, rw, gw, bw, aw;
};

Descriptor Expected(Kind kind) {
  switch (kind) {
    case Kind::kGrey:
    case Kind::kPalette:  // the channels describe palette entries 0x00RRGGBB
      return {8, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000, 16, 8, 0, 0, 8, 8, 8, 0};
    case Kind::kRgb:
      return {24, 0xFF0000, 0xFF00, 0xFF, 0, 0, 16, 8, 0, 0, 8, 8, 8, 0};
    case Kind::kGreyAlpha:  // grey in the low byte stands for all three colours
      return {16, 0xFF, 0xFF, 0xFF, 0xFF00, 0, 0, 0, 0, 8, 8, 8, 8, 8};
    case Kind::kArgb:
      return {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0, 16, 8, 0, 24, 8, 8, 8, 8};
  }
  return {};
}

void ExpectDescriptor(const ColorData& f, const Descriptor& d) {
  test::ExpectFormat(f, d.depth, d.depth / 8, d.rm, d.gm, d.bm, d.am, d.nm);
  EXPECT_EQ((std::array{f.RL, f.GL, f.BL, f.AL}), (std::array{d.rl, d.gl, d.bl, d.al}));
  EXPECT_EQ((std::array{f.RW, f.GW, f.BW, f.AW}), (std::array{d.rw, d.gw, d.bw, d.aw}));
}

// A source sample reduced to 8 bits the way the reader does it: small depths scaled up to
// 0..255, 16-bit samples keep their high byte.
int To8(const Pnm& src, int value) {
  if (src.maxval == 65535) return value >> 8;
  return value * 255 / src.maxval;
}

// The bytes of pixel (x, y) as the reader must store them, worked out from the sources.
std::vector<int> ExpectedPixel(Kind kind, const Pnm& colour, const Pnm& alpha, int x, int y) {
  const auto c = [&](int channel) { return To8(colour, colour.At(x, y, channel)); };
  switch (kind) {
    case Kind::kGrey:
      return {c(0)};
    case Kind::kRgb:
      return {c(2), c(1), c(0)};
    case Kind::kGreyAlpha:
      return {c(0), To8(alpha, alpha.At(x, y))};
    case Kind::kArgb:
      return {c(2), c(1), c(0), To8(alpha, alpha.At(x, y))};
    case Kind::kPalette:
      break;  // checked through the palette
  }
  return {};
}

const uint8_t* PixelAt(const GraphImage& image, int x, int y) {
  return static_cast<const uint8_t*>(image.Pixels) + size_t(y) * image.Pitch +
         size_t(x) * image.Format.PixelByte;
}

// ---- colour types and depths ----

TEST(PngReader, EveryColourTypeAndDepthDecodesToTheSourcePixels) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.png);
    const Pnm colour = ReadPnm(c.colour);
    const Pnm alpha = c.alpha ? ReadPnm(c.alpha) : Pnm{};
    ASSERT_NE(colour.width, 0);
    GraphImage image{};
    ASSERT_EQ(DecodeBytes(LoadPngImage, ReadBytes(c.png), &image), 0);
    const Descriptor d = Expected(c.kind);
    ExpectDescriptor(image.Format, d);
    EXPECT_EQ(image.Width, colour.width);
    EXPECT_EQ(image.Height, colour.height);
    EXPECT_EQ(image.Pitch, colour.width * d.depth / 8);  // the decoder's rows: no padding
    ASSERT_NE(image.Pixels, nullptr);
    if (c.kind == Kind::kGrey) {
      for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(image.Format.Palette[i], i * 0x010101u) << i;
    }
    for (int y = 0; y < colour.height; ++y) {
      for (int x = 0; x < colour.width; ++x) {
        const uint8_t* p = PixelAt(image, x, y);
        if (c.kind == Kind::kPalette) {
          // The script writes the palette in colour-number order, and the colour number of
          // a pixel is (x + y * width) % colours.
          ASSERT_EQ(p[0], (x + y * colour.width) % c.paletteColours) << x << "," << y;
          const uint32_t rgb = (uint32_t(colour.At(x, y, 0)) << 16) |
                               (uint32_t(colour.At(x, y, 1)) << 8) | uint32_t(colour.At(x, y, 2));
          ASSERT_EQ(image.Format.Palette[p[0]], rgb) << x << "," << y;
        } else {
          const std::vector<int> expected = ExpectedPixel(c.kind, colour, alpha, x, y);
          ASSERT_EQ(std::vector<int>(p, p + expected.size()), expected) << x << "," << y;
        }
      }
    }
    if (c.kind == Kind::kPalette) {
      for (int i = c.paletteColours; i < 256; ++i) EXPECT_EQ(image.Format.Palette[i], 0u) << i;
    }
    ReleaseImageBuffers(&image);
  }
}

TEST(PngReader, ReadsThroughTheFileStream) {
  const Pnm src = ReadPnm("png/gray8.pgm");
  const base::FileValue file =
      base::FileAccessOpen(test::TestDataPath("png/gray8.png").c_str(), 0, 1);
  ASSERT_NE(file, 0u);
  base::DataStream stream{*base::GetFileStreamFunctions(), reinterpret_cast<void*>(file)};
  GraphImage image{};
  ASSERT_EQ(LoadPngImage(&stream, &image), 0);
  stream.functions.Close(stream.handle);
  EXPECT_EQ(image.Width, src.width);
  EXPECT_EQ(image.Height, src.height);
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) ASSERT_EQ(*PixelAt(image, x, y), src.At(x, y));
  ReleaseImageBuffers(&image);
}

// ---- files made here: exact control of the header ----

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

void AddChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
  PutBigEndian(png, uint32_t(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  PutBigEndian(png, uint32_t(crc32(0, png.data() + start, uInt(png.size() - start))));
}

// A PNG of the given header whose image data is the given filtered rows, compressed here.
std::vector<uint8_t> MakePng(uint32_t width, uint32_t height, int depth, int colourType,
                             const std::vector<uint8_t>& rows,
                             const std::vector<uint8_t>& palette = {}) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBigEndian(header, width);
  PutBigEndian(header, height);
  header.insert(header.end(), {uint8_t(depth), uint8_t(colourType), 0, 0, 0});
  AddChunk(png, "IHDR", header);
  if (!palette.empty()) AddChunk(png, "PLTE", palette);
  uLongf packedSize = compressBound(uLong(rows.size()));
  std::vector<uint8_t> packed(packedSize);
  EXPECT_EQ(compress(packed.data(), &packedSize, rows.data(), uLong(rows.size())), Z_OK);
  packed.resize(packedSize);
  AddChunk(png, "IDAT", packed);
  AddChunk(png, "IEND", {});
  return png;
}

constexpr size_t kEndOfFirstIdatHeader = 8 + 25 + 8;

TEST(PngReader, SidesUpTo65535AreRead) {
  // One row of 65535 grey pixels and one column of 65535: both at the limit, both read.
  std::vector<uint8_t> row(1 + 65535);
  for (size_t x = 0; x < 65535; ++x) row[1 + x] = uint8_t(x % 251);
  GraphImage image{};
  ASSERT_EQ(DecodeBytes(LoadPngImage, MakePng(65535, 1, 8, 0, row), &image), 0);
  EXPECT_EQ(image.Width, 65535);
  EXPECT_EQ(image.Height, 1);
  for (int x = 0; x < 65535; x += 997) ASSERT_EQ(*PixelAt(image, x, 0), x % 251);
  ReleaseImageBuffers(&image);

  std::vector<uint8_t> column(65535 * 2);
  for (size_t y = 0; y < 65535; ++y) column[2 * y + 1] = uint8_t(y % 253);
  ASSERT_EQ(DecodeBytes(LoadPngImage, MakePng(1, 65535, 8, 0, column), &image), 0);
  EXPECT_EQ(image.Height, 65535);
  EXPECT_EQ(image.Pitch, 1);
  for (int y = 0; y < 65535; y += 1009) ASSERT_EQ(*PixelAt(image, 0, y), y % 253);
  ReleaseImageBuffers(&image);
}

TEST(PngReader, OversizedImagesAreDeclinedBeforeTheirDataIsRead) {
  const std::vector<uint8_t> someRows(64, 0);
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
    const GraphImage before = image;
    size_t position = 0;
    EXPECT_EQ(DecodeBytes(LoadPngImage, MakePng(c.width, c.height, 8, c.colourType, someRows),
                          &image, &position),
              -1);
    EXPECT_TRUE(test::SameBytes(image, before));
    // Nothing of the image data was consumed: the decode never started.
    EXPECT_LE(position, kEndOfFirstIdatHeader);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(PngReader, IndicesBeyondThePaletteReadBlack) {
  // A two-entry palette and indices 0, 1, 2, 255: the missing entries are defined as black.
  const std::vector<uint8_t> palette = {10, 20, 30, 40, 50, 60};
  const std::vector<uint8_t> rows = {0, 0, 1, 2, 255};
  GraphImage image{};
  testing::internal::CaptureStderr();
  ASSERT_EQ(DecodeBytes(LoadPngImage, MakePng(4, 1, 8, 3, rows, palette), &image), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(image.Format.Palette[0], 0x0A141Eu);
  EXPECT_EQ(image.Format.Palette[1], 0x28323Cu);
  EXPECT_EQ(image.Format.Palette[2], 0u);
  EXPECT_EQ(image.Format.Palette[255], 0u);
  EXPECT_EQ(*PixelAt(image, 3, 0), 255);
  ReleaseImageBuffers(&image);
}

// ---- data that is not a PNG, or a damaged one ----

TEST(PngReader, DeclinesDataThatIsNotPng) {
  const std::vector<std::vector<uint8_t>> inputs = {
      {},
      {0x89, 'P', 'N', 'G'},
      {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},  // the signature alone
      {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0},
      ReadBytes("jpeg/gray.jpg"),
  };
  for (const auto& bytes : inputs) {
    GraphImage image = test::PatternedImage();
    const GraphImage before = image;
    EXPECT_EQ(DecodeBytes(LoadPngImage, bytes, &image), -1) << bytes.size() << " bytes";
    EXPECT_TRUE(test::SameBytes(image, before));
  }
  GraphImage image{};
  EXPECT_EQ(LoadPngImage(nullptr, &image), -1);
}

TEST(PngReader, CutAndDamagedFilesAreDeclinedQuietlyWithoutLeaks) {
  // Files of critical chunks only: every damaged byte breaks a checksum or the structure.
  for (const char* file : {"png/rgb8.png", "png/palette16.png", "png/grayalpha16.png"}) {
    SCOPED_TRACE(file);
    test::CheckHostileVariants(LoadPngImage, ReadBytes(file), /*strictCorruption=*/true);
  }
  // A damaged ancillary chunk (tRNS) is skipped by design, so those may still decode.
  for (const char* file :
       {"png/palette8_trns.png", "png/rgb8_interlaced.png", "png/gray1.png", "png/rgba16.png"}) {
    SCOPED_TRACE(file);
    test::CheckHostileVariants(LoadPngImage, ReadBytes(file), /*strictCorruption=*/false);
  }
}

}  // namespace
}  // namespace zq::gfx
