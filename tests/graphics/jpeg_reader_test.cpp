// JPEG reader: files made by netpbm (and one CMYK file by ImageMagick) from plain PNM sources
// (tools/make-test-images.sh); decoded pixels must stay within a small distance of the source.
#include "graphics/image/jpeg_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
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

// Greyscale becomes 8-bit grey-ramp bytes, colour blue-first 24-bit pixels; rows not padded.
TEST(JpegReader, DecodesToTheSourcePixels) {
  const struct {
    const char* file;
    const char* source;
    int tolerance;
  } cases[] = {
      {"jpeg/gray.jpg", "jpeg/gray.pgm", 2},
      {"jpeg/color444.jpg", "jpeg/color.ppm", 3},           // quality 100, no subsampling
      {"jpeg/color_progressive.jpg", "jpeg/color.ppm", 3},  //
      {"jpeg/color_restart.jpg", "jpeg/color.ppm", 3},      // a restart marker every MCU row
      {"jpeg/color_rgb.jpg", "jpeg/color.ppm", 3},          // stored as RGB rather than YCbCr
      {"jpeg/color420.jpg", "jpeg/color.ppm", 8},           // quality 95, chroma halved both ways
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const Pnm src = ReadPnm(c.source);
    ASSERT_NE(src.width, 0);
    Decoded d(LoadJpegImage, ReadBytes(c.file));
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.image.Width, src.width);
    EXPECT_EQ(d.image.Height, src.height);
    EXPECT_EQ(d.image.Pitch, src.width * src.channels);  // 21 pixels
    const ColorData& f = d.image.Format;
    if (src.channels == 1) {
      test::ExpectFormat(f, 8, 1, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000);
      for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(f.Palette[i], i * 0x010101u);
    } else {
      test::ExpectFormat(f, 24, 3, 0xFF0000, 0xFF00, 0xFF, 0, 0);
    }
    for (int y = 0; y < src.height; ++y)
      for (int x = 0; x < src.width; ++x)
        for (int ch = 0; ch < src.channels; ++ch)
          ASSERT_LE(std::abs(d.At(x, y)[ch] - src.At(x, y, src.channels - 1 - ch)), c.tolerance)
              << x << "," << y << " channel " << ch;
  }
}

// The file with its frame header's height and width replaced.
Bytes WithSize(Bytes jpeg, uint16_t width, uint16_t height) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = uint8_t(height >> 8);
      jpeg[i + 6] = uint8_t(height);
      jpeg[i + 7] = uint8_t(width >> 8);
      jpeg[i + 8] = uint8_t(width);
      return jpeg;
    }
  }
  ADD_FAILURE() << "no frame header";
  return jpeg;
}

TEST(JpegReader, DeclinesCmykOversizedDamagedAndDataThatIsNotJpeg) {
  // libjpeg skips stray bytes before a marker with only a warning; here they mean damage.
  Bytes junk = ReadBytes("jpeg/color444.jpg");
  for (size_t i = 2; i + 1 < junk.size(); ++i)
    if (junk[i] == 0xFF && junk[i + 1] == 0xC0) {
      junk.insert(junk.begin() + std::ptrdiff_t(i), {0x12, 0x34, 0x56});
      break;
    }
  const Bytes inputs[] = {
      ReadBytes("jpeg/cmyk.jpg"),
      {},
      {0xFF, 0xD8},  // start of image and nothing more
      {0xFF, 0xD8, 0xFF, 0xD9},
      ReadBytes("png/rgb8.png"),
      junk,
      // 4.8e9 and 7.5e9 bytes of pixels, baseline and progressive (which would also need
      // whole-image coefficient buffers): refused once the headers are read.
      WithSize(ReadBytes("jpeg/color444.jpg"), 40000, 40000),
      WithSize(ReadBytes("jpeg/color_progressive.jpg"), 50000, 50000),
      WithSize(ReadBytes("jpeg/gray.jpg"), 65535, 65535),  // beyond what the format allows
      WithSize(ReadBytes("jpeg/color444.jpg"), 0, 13),
  };
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (const Bytes& bytes : inputs) test::ExpectDeclined(LoadJpegImage, bytes);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  GraphImage image{};
  EXPECT_EQ(LoadJpegImage(nullptr, &image), -1);
}

TEST(JpegReader, CutAndDamagedFilesFailQuietlyWithoutLeaks) {
  // Every prefix is refused (no grey fill of the missing part). A damaged byte in the
  // compressed data can decode to wrong pixels without any sign, so damaged files must only
  // be handled cleanly: refused, or decoded into a consistent record.
  for (const char* file : {"jpeg/gray.jpg", "jpeg/color444.jpg", "jpeg/color420.jpg",
                           "jpeg/color_progressive.jpg", "jpeg/color_restart.jpg"}) {
    SCOPED_TRACE(file);
    test::SweepHostileVariants(LoadJpegImage, ReadBytes(file), true, false);
  }
}

}  // namespace
}  // namespace zq::gfx
