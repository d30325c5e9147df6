#include "graphics/image/graph_image_ops.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/memory.h"

namespace zq::gfx {
namespace {

using Bytes = std::vector<uint8_t>;

// An image over a test-owned vector of pixel bytes.
GraphImage ImageOver(Bytes& bytes, int width, int height, int pitch, int pixelByte) {
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
    for (int width : {3, 4}) {
      // Two rows, one spare byte of padding each.
      const int pitch = width * bytes + 1;
      Bytes pixels(size_t(2 * pitch));
      for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i);
      const Bytes original = pixels;
      GraphImage image = ImageOver(pixels, width, 2, pitch, bytes);
      ASSERT_EQ(ReverseGraphImageX(&image), 0);
      for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < width; ++x)
          for (int k = 0; k < bytes; ++k)
            EXPECT_EQ(pixels[size_t(y * pitch + x * bytes + k)],
                      original[size_t(y * pitch + (width - 1 - x) * bytes + k)])
                << bytes << " " << x << " " << y;
        EXPECT_EQ(pixels[size_t(y * pitch + width * bytes)],
                  original[size_t(y * pitch + width * bytes)]);
      }
    }
  }
  // Pixel sizes outside 1..4 leave the rows as they are; empty images are refused.
  Bytes pixels = {1, 2, 3, 4};
  GraphImage image = ImageOver(pixels, 2, 1, 4, 0);
  EXPECT_EQ(ReverseGraphImageX(&image), 0);
  image = ImageOver(pixels, 0, 1, 2, 1);
  EXPECT_EQ(ReverseGraphImageX(&image), -1);
  image = ImageOver(pixels, 2, 0, 2, 1);
  EXPECT_EQ(ReverseGraphImageX(&image), -1);
  GraphImage empty{};
  EXPECT_EQ(ReverseGraphImageX(&empty), -1);
  EXPECT_EQ(pixels, (Bytes{1, 2, 3, 4}));
}

// Each channel's top bits placed on bit 7 of its byte; no alpha channel reads as 0.
TEST(GetGraphImagePixel, ChannelsAtEightBits) {
  const struct {
    const char* what;
    int depth;
    uint32_t r, g, b, a;
    Bytes bytes;  // pixel 0, pixel 1
    uint32_t first, second;
  } cases[] = {
      // clang-format off
      {"X1R5G5B5; 0x0421 is red, green and blue 1", 16, 0x7C00, 0x03E0, 0x001F, 0,
       {0xFF, 0x7F, 0x21, 0x04}, 0x00F8F8F8, 0x00080808},
      {"A8R8G8B8", 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000,
       {0x44, 0x33, 0x22, 0x11, 0x01, 0x02, 0x03, 0x04}, 0x11223344, 0x04030201},
      {"R8G8B8", 24, 0xFF0000, 0xFF00, 0xFF, 0, {0x44, 0x33, 0x22, 0x11, 0x01, 0x02},
       0x223344, 0x020111},
      {"A2R10G10B10: red 0x3FF, green 0x200, blue 0x001, alpha 2", 32, 0x3FF00000, 0xFFC00, 0x3FF,
       0xC0000000, {0x01, 0x00, 0xF8, 0xBF, 0, 0, 0, 0}, 0x80FF8000, 0},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes pixels = c.bytes;
    GraphImage image = ImageOver(pixels, 2, 1, int(pixels.size()), c.depth / 8);
    SetupColorDataFromMasks(&image.Format, c.depth, c.r, c.g, c.b, c.a);
    EXPECT_EQ(GetGraphImagePixel(&image, 0, 0), c.first);
    EXPECT_EQ(GetGraphImagePixel(&image, 1, 0), c.second);
    // Outside the image: zero.
    for (auto [x, y] : {std::pair(2, 0), std::pair(0, 1), std::pair(-1, 0), std::pair(0, -1)})
      EXPECT_EQ(GetGraphImagePixel(&image, x, y), 0u) << x << "," << y;
  }
  Bytes indices = {0, 7};
  GraphImage image = ImageOver(indices, 2, 1, 2, 1);
  image.Format.Palette[7] = 0xFF123456;
  EXPECT_EQ(GetGraphImagePixel(&image, 1, 0), 0x00123456u);  // the palette colour
  GraphImage released{};
  ReleaseImageBuffers(&released);
  EXPECT_EQ(GetGraphImagePixel(&released, 0, 0), 0u);
}

}  // namespace
}  // namespace zq::gfx
