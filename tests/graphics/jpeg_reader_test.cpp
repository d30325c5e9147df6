// JPEG reader: files made by netpbm (and one CMYK file by ImageMagick) from plain PNM sources
// (tools/make-test-images.sh); decoded pixels must stay within a small distance of the source.
#include "graphics/image/jpeg_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/stream.h"
#include "graphics/image/png_reader.h"
#include "graphics/image_reader_support.h"

namespace zq::gfx {
namespace {

using test::DecodeBytes;
using test::Pnm;
using test::ReadBytes;
using test::ReadPnm;

GraphImage Decode(const std::string& file) {
  GraphImage image{};
  const std::vector<uint8_t> bytes = ReadBytes(file);
  EXPECT_FALSE(bytes.empty()) << file;
  EXPECT_EQ(DecodeBytes(LoadJpegImage, bytes, &image), 0) << file;
  return image;
}

TEST(JpegReader, GreyscaleBecomesGreyRampBytes) {
  const Pnm src = ReadPnm("jpeg/gray.pgm");
  ASSERT_EQ(src.channels, 1);
  GraphImage image = Decode("jpeg/gray.jpg");
  ASSERT_NE(image.Pixels, nullptr);
  EXPECT_EQ(image.Width, src.width);
  EXPECT_EQ(image.Height, src.height);
  EXPECT_EQ(image.Pitch, src.width);  // 21: rows are not padded
  const ColorData& f = image.Format;
  test::ExpectFormat(f, 8, 1, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000);
  for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(f.Palette[i], i * 0x010101u);
  const auto* pixels = static_cast<const uint8_t*>(image.Pixels);
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x)
      ASSERT_LE(std::abs(pixels[y * image.Pitch + x] - src.At(x, y)), 2) << x << "," << y;
  ReleaseImageBuffers(&image);
}

TEST(JpegReader, ColourBecomesBlueFirst24BitPixels) {
  const Pnm src = ReadPnm("jpeg/color.ppm");
  ASSERT_EQ(src.channels, 3);
  const struct {
    const char* file;
    int tolerance;
  } cases[] = {
      {"jpeg/color444.jpg", 3},           // quality 100, no subsampling
      {"jpeg/color_progressive.jpg", 3},  //
      {"jpeg/color_restart.jpg", 3},      // a restart marker every MCU row
      {"jpeg/color_rgb.jpg", 3},          // stored as RGB rather than YCbCr
      {"jpeg/color420.jpg", 8},           // quality 95, chroma halved both ways
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    GraphImage image = Decode(c.file);
    if (image.Pixels == nullptr) continue;
    EXPECT_EQ(image.Width, src.width);
    EXPECT_EQ(image.Height, src.height);
    EXPECT_EQ(image.Pitch, src.width * 3);  // 63: rows are not padded
    const ColorData& f = image.Format;
    test::ExpectFormat(f, 24, 3, 0xFF0000, 0xFF00, 0xFF, 0, 0);
    const auto* pixels = static_cast<const uint8_t*>(image.Pixels);
    for (int y = 0; y < src.height; ++y) {
      for (int x = 0; x < src.width; ++x) {
        const uint8_t* p = pixels + y * image.Pitch + x * 3;
        ASSERT_LE(std::abs(p[0] - src.At(x, y, 2)), c.tolerance) << "blue " << x << "," << y;
        ASSERT_LE(std::abs(p[1] - src.At(x, y, 1)), c.tolerance) << "green " << x << "," << y;
        ASSERT_LE(std::abs(p[2] - src.At(x, y, 0)), c.tolerance) << "red " << x << "," << y;
      }
    }
    ReleaseImageBuffers(&image);
  }
}

TEST(JpegReader, DeclinesCmykAndDataThatIsNotJpeg) {
  const std::vector<std::vector<uint8_t>> inputs = {
      ReadBytes("jpeg/cmyk.jpg"),
      {},
      {0xFF, 0xD8},  // start of image and nothing more
      {0xFF, 0xD8, 0xFF, 0xD9},
      ReadBytes("png/rgb8.png"),
  };
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  for (const auto& bytes : inputs) {
    GraphImage image = test::PatternedImage();
    const GraphImage before = image;
    EXPECT_EQ(DecodeBytes(LoadJpegImage, bytes, &image), -1) << bytes.size() << " bytes";
    EXPECT_TRUE(test::SameBytes(image, before));
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  GraphImage image{};
  EXPECT_EQ(LoadJpegImage(nullptr, &image), -1);
}

// The file with its frame header's height and width replaced.
std::vector<uint8_t> WithSize(std::vector<uint8_t> jpeg, uint16_t width, uint16_t height) {
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

// A stream that hands out one byte a read, so its position shows how far the decoder got.
struct TrickleStream {
  const std::vector<uint8_t>* data;
  size_t position;
  static size_t Read(void* buffer, size_t itemSize, size_t count, void* handle) {
    auto* s = static_cast<TrickleStream*>(handle);
    if (itemSize != 1 || count == 0 || s->position >= s->data->size()) return 0;
    std::memcpy(buffer, s->data->data() + s->position, 1);
    ++s->position;
    return 1;
  }
  static int64_t Tell(void* handle) {
    return int64_t(static_cast<TrickleStream*>(handle)->position);
  }
  static int Seek(void*, int64_t, int) { return -1; }
  static int Eof(void* handle) {
    auto* s = static_cast<TrickleStream*>(handle);
    return s->position >= s->data->size() ? 1 : 0;
  }
  static int Idle(void*) { return 0; }
  static int Close(void*) { return 0; }
};

// Offset of the first byte after the first scan header.
size_t EndOfScanHeader(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 3 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i + 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
  ADD_FAILURE() << "no scan header";
  return 0;
}

TEST(JpegReader, OversizedImagesAreDeclinedBeforeDecoding) {
  // 4.8e9 bytes of pixels, in a baseline and in a progressive file (which would also need
  // whole-image coefficient buffers): refused once the headers are read, before any pixel
  // data is taken from the stream.
  const std::vector<uint8_t> inputs[] = {
      WithSize(ReadBytes("jpeg/color444.jpg"), 40000, 40000),
      WithSize(ReadBytes("jpeg/color_progressive.jpg"), 40000, 40000)};
  for (const auto& bytes : inputs) {
    TrickleStream trickle{&bytes, 0};
    base::DataStream stream{{TrickleStream::Tell, TrickleStream::Seek, TrickleStream::Read,
                             TrickleStream::Eof, TrickleStream::Idle, TrickleStream::Close},
                            &trickle};
    GraphImage image = test::PatternedImage();
    const GraphImage before = image;
    const size_t blocks = base::TrackedBlockCount();
    EXPECT_EQ(LoadJpegImage(&stream, &image), -1);
    EXPECT_EQ(base::TrackedBlockCount(), blocks);
    EXPECT_TRUE(test::SameBytes(image, before));
    EXPECT_EQ(trickle.position, EndOfScanHeader(bytes));
  }
  // The same files at their true size are read through this stream in full.
  const std::vector<uint8_t> real = ReadBytes("jpeg/color_progressive.jpg");
  TrickleStream trickle{&real, 0};
  base::DataStream stream{{TrickleStream::Tell, TrickleStream::Seek, TrickleStream::Read,
                           TrickleStream::Eof, TrickleStream::Idle, TrickleStream::Close},
                          &trickle};
  GraphImage image{};
  ASSERT_EQ(LoadJpegImage(&stream, &image), 0);
  EXPECT_EQ(image.Width, 21);
  ReleaseImageBuffers(&image);
}

TEST(JpegReader, JunkBetweenSegmentsIsRefused) {
  // libjpeg skips stray bytes before a marker with only a warning; here they mean damage.
  std::vector<uint8_t> bytes = ReadBytes("jpeg/color444.jpg");
  size_t frame = 0;
  for (size_t i = 2; i + 1 < bytes.size() && frame == 0; ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) frame = i;
  ASSERT_NE(frame, 0u);
  bytes.insert(bytes.begin() + std::ptrdiff_t(frame), {0x12, 0x34, 0x56});
  GraphImage image{};
  testing::internal::CaptureStderr();
  EXPECT_EQ(DecodeBytes(LoadJpegImage, bytes, &image), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(image.Pixels, nullptr);
}

TEST(JpegReader, OversizedImagesAreDeclined) {
  const std::vector<uint8_t> colour = ReadBytes("jpeg/color444.jpg");
  const std::vector<uint8_t> progressive = ReadBytes("jpeg/color_progressive.jpg");
  const std::vector<uint8_t> grey = ReadBytes("jpeg/gray.jpg");
  const std::vector<std::vector<uint8_t>> inputs = {
      WithSize(progressive, 50000, 50000),  // 7.5e9 bytes of pixels
      WithSize(grey, 65535, 65535),         // beyond what the format allows
      WithSize(colour, 0, 13),
  };
  testing::internal::CaptureStderr();
  for (const auto& bytes : inputs) {
    GraphImage image = test::PatternedImage();
    const GraphImage before = image;
    EXPECT_EQ(DecodeBytes(LoadJpegImage, bytes, &image), -1);
    EXPECT_TRUE(test::SameBytes(image, before));
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(JpegReader, CutAndDamagedFilesFailQuietlyWithoutLeaks) {
  // Every prefix is refused (no grey fill of the missing part). A damaged byte in the
  // compressed data can decode to wrong pixels without any sign, so damaged files must only
  // be handled cleanly: refused, or decoded into a consistent record.
  for (const char* file : {"jpeg/gray.jpg", "jpeg/color444.jpg", "jpeg/color420.jpg",
                           "jpeg/color_progressive.jpg", "jpeg/color_restart.jpg"}) {
    SCOPED_TRACE(file);
    test::CheckHostileVariants(LoadJpegImage, ReadBytes(file), /*strictCorruption=*/false);
  }
}

TEST(JpegReader, PngReaderDeclinesJpegAndTheRecordCanBeReused) {
  // The pipeline tries readers in turn on one record: a decline must leave it fillable.
  const std::vector<uint8_t> bytes = ReadBytes("jpeg/gray.jpg");
  GraphImage image{};
  ASSERT_EQ(DecodeBytes(LoadPngImage, bytes, &image), -1);
  EXPECT_EQ(image.Pixels, nullptr);
  ASSERT_EQ(DecodeBytes(LoadJpegImage, bytes, &image), 0);
  EXPECT_NE(image.Pixels, nullptr);
  ReleaseImageBuffers(&image);
  EXPECT_EQ(image.Pixels, nullptr);
  EXPECT_EQ(image.Width, 0);
}

}  // namespace
}  // namespace zq::gfx
