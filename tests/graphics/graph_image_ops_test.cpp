#include "graphics/image/graph_image_ops.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/memory.h"

namespace zq::gfx {
namespace {

// An image over a test-owned vector of pixel bytes.
GraphImage ImageOver(std::vector<uint8_t>& bytes, int width, int height, int pitch, int pixelByte) {
  GraphImage image{};
  image.Format.PixelByte = uint16_t(pixelByte);
  image.Format.ColorBitDepth = uint16_t(8 * pixelByte);
  image.Width = width;
  image.Height = height;
  image.Pitch = pitch;
  image.Pixels = bytes.data();
  return image;
}

TEST(ReverseGraphImageX, SwapsPixelsAroundTheMiddleOfEachRow) {
  for (int bytes = 1; bytes <= 4; ++bytes) {
    // Width 3, two rows, one spare byte of padding each.
    const int pitch = 3 * bytes + 1;
    std::vector<uint8_t> pixels(size_t(2 * pitch));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i);
    const std::vector<uint8_t> original = pixels;
    GraphImage image = ImageOver(pixels, 3, 2, pitch, bytes);
    ASSERT_EQ(ReverseGraphImageX(&image), 0);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x)
        for (int k = 0; k < bytes; ++k)
          EXPECT_EQ(pixels[size_t(y * pitch + x * bytes + k)],
                    original[size_t(y * pitch + (2 - x) * bytes + k)])
              << bytes << " " << x << " " << y;
      EXPECT_EQ(pixels[size_t(y * pitch + 3 * bytes)], original[size_t(y * pitch + 3 * bytes)]);
    }
    ASSERT_EQ(ReverseGraphImageX(&image), 0);
    EXPECT_EQ(pixels, original);  // twice restores
  }
}

TEST(ReverseGraphImageX, EvenWidthAndOddPixelSizes) {
  std::vector<uint8_t> pixels = {1, 2, 3, 4};
  GraphImage image = ImageOver(pixels, 4, 1, 4, 1);
  EXPECT_EQ(ReverseGraphImageX(&image), 0);
  EXPECT_EQ(pixels, (std::vector<uint8_t>{4, 3, 2, 1}));
  // Pixel sizes outside 1..4 leave the rows as they are.
  image = ImageOver(pixels, 2, 1, 4, 0);
  EXPECT_EQ(ReverseGraphImageX(&image), 0);
  EXPECT_EQ(pixels, (std::vector<uint8_t>{4, 3, 2, 1}));
}

TEST(ReverseGraphImageX, EmptyImagesAreRefused) {
  std::vector<uint8_t> pixels = {1, 2};
  GraphImage image = ImageOver(pixels, 0, 1, 2, 1);
  EXPECT_EQ(ReverseGraphImageX(&image), -1);
  image = ImageOver(pixels, 2, 0, 2, 1);
  EXPECT_EQ(ReverseGraphImageX(&image), -1);
  GraphImage empty{};
  EXPECT_EQ(ReverseGraphImageX(&empty), -1);
  EXPECT_EQ(pixels, (std::vector<uint8_t>{1, 2}));
}

void SetMasks(GraphImage* image, uint32_t r, uint8_t rw, uint8_t rl, uint32_t g, uint8_t gw,
              uint8_t gl, uint32_t b, uint8_t bw, uint8_t bl, uint32_t a, uint8_t aw, uint8_t al) {
  ColorData& f = image->Format;
  f.RM = r, f.RW = rw, f.RL = rl;
  f.GM = g, f.GW = gw, f.GL = gl;
  f.BM = b, f.BW = bw, f.BL = bl;
  f.AM = a, f.AW = aw, f.AL = al;
}

TEST(GetGraphImagePixel, X1R5G5B5PlacesTopBitsOnBitSeven) {
  std::vector<uint8_t> pixels = {0xFF, 0x7F, 0x21, 0x04};
  GraphImage image = ImageOver(pixels, 2, 1, 4, 2);
  SetMasks(&image, 0x7C00, 5, 10, 0x03E0, 5, 5, 0x001F, 5, 0, 0, 0, 0);
  EXPECT_EQ(GetGraphImagePixel(&image, 0, 0), 0x00F8F8F8u);
  // 0x0421: red 1, green 1, blue 1.
  EXPECT_EQ(GetGraphImagePixel(&image, 1, 0), 0x00080808u);
}

TEST(GetGraphImagePixel, Argb32IsUnchangedAnd24BitHasNoAlpha) {
  std::vector<uint8_t> pixels = {0x44, 0x33, 0x22, 0x11, 0x01, 0x02, 0x03, 0x04};
  GraphImage image = ImageOver(pixels, 2, 1, 8, 4);
  SetMasks(&image, 0xFF0000, 8, 16, 0xFF00, 8, 8, 0xFF, 8, 0, 0xFF000000, 8, 24);
  EXPECT_EQ(GetGraphImagePixel(&image, 0, 0), 0x11223344u);
  EXPECT_EQ(GetGraphImagePixel(&image, 1, 0), 0x04030201u);
  GraphImage rgb = ImageOver(pixels, 2, 1, 4, 3);
  SetMasks(&rgb, 0xFF0000, 8, 16, 0xFF00, 8, 8, 0xFF, 8, 0, 0, 0, 0);
  EXPECT_EQ(GetGraphImagePixel(&rgb, 1, 0), 0x00020111u);  // bytes 0x11 0x01 0x02
}

TEST(GetGraphImagePixel, TenBitChannelsKeepTheirTopEightBits) {
  // A2R10G10B10: red 0x3FF, green 0x200, blue 0x001, alpha 2.
  const uint32_t v = 2u << 30 | 0x3FFu << 20 | 0x200u << 10 | 0x001u;
  std::vector<uint8_t> pixels(4);
  std::memcpy(pixels.data(), &v, 4);
  GraphImage image = ImageOver(pixels, 1, 1, 4, 4);
  SetMasks(&image, 0x3FF00000, 10, 20, 0xFFC00, 10, 10, 0x3FF, 10, 0, 0xC0000000, 2, 30);
  EXPECT_EQ(GetGraphImagePixel(&image, 0, 0), 0x80FF8000u);
}

TEST(GetGraphImagePixel, PalettisedGivesThePaletteColour) {
  std::vector<uint8_t> pixels = {0, 7};
  GraphImage image = ImageOver(pixels, 2, 1, 2, 1);
  image.Format.Palette[7] = 0xFF123456;
  EXPECT_EQ(GetGraphImagePixel(&image, 1, 0), 0x00123456u);
}

TEST(GetGraphImagePixel, NoPixelsOrOutsideGivesZero) {
  std::vector<uint8_t> pixels = {0xFF, 0xFF, 0xFF, 0xFF};
  GraphImage image = ImageOver(pixels, 1, 1, 4, 4);
  SetMasks(&image, 0xFF0000, 8, 16, 0xFF00, 8, 8, 0xFF, 8, 0, 0xFF000000, 8, 24);
  EXPECT_EQ(GetGraphImagePixel(&image, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(GetGraphImagePixel(&image, 1, 0), 0u);
  EXPECT_EQ(GetGraphImagePixel(&image, 0, 1), 0u);
  EXPECT_EQ(GetGraphImagePixel(&image, -1, 0), 0u);
  EXPECT_EQ(GetGraphImagePixel(&image, 0, -1), 0u);
  GraphImage released{};
  ReleaseImageBuffers(&released);
  EXPECT_EQ(GetGraphImagePixel(&released, 0, 0), 0u);
}

}  // namespace
}  // namespace zq::gfx
