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
      WithSize(ReadBytes("jpeg/color_progressive.jpg"), 50000, 50000),  // 7.5e9 bytes of pixels
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

// A stream that hands out one byte a read, so its position shows how far the decoder got.
struct TrickleStream {
  const Bytes* data;
  size_t position;
  static size_t Read(void* buffer, size_t itemSize, size_t count, void* handle) {
    auto* s = static_cast<TrickleStream*>(handle);
    if (itemSize != 1 || count == 0 || s->position >= s->data->size()) return 0;
    std::memcpy(buffer, s->data->data() + s->position++, 1);
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
  static int Nothing(void*) { return 0; }
};

// Offset of the first byte after the first scan header.
size_t EndOfScanHeader(const Bytes& jpeg) {
  for (size_t i = 2; i + 3 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i + 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
  ADD_FAILURE() << "no scan header";
  return 0;
}

TEST(JpegReader, OversizedImagesAreDeclinedBeforeDecoding) {
  // 4.8e9 bytes of pixels, in a baseline and in a progressive file (which would also need
  // whole-image coefficient buffers): refused once the headers are read, before any pixel
  // data is taken from the stream. At their true size the files are read through it in full.
  for (const char* file : {"jpeg/color444.jpg", "jpeg/color_progressive.jpg"}) {
    for (bool oversized : {true, false}) {
      SCOPED_TRACE(testing::Message() << file << (oversized ? " oversized" : ""));
      const Bytes bytes = oversized ? WithSize(ReadBytes(file), 40000, 40000) : ReadBytes(file);
      TrickleStream trickle{&bytes, 0};
      base::DataStream stream{{TrickleStream::Tell, TrickleStream::Seek, TrickleStream::Read,
                               TrickleStream::Eof, TrickleStream::Nothing, TrickleStream::Nothing},
                              &trickle};
      GraphImage image = test::PatternedImage();
      const size_t blocks = base::TrackedBlockCount();
      if (!oversized) {
        ASSERT_EQ(LoadJpegImage(&stream, &image), 0);
        EXPECT_EQ(image.Width, 21);
        ReleaseImageBuffers(&image);
        continue;
      }
      EXPECT_EQ(LoadJpegImage(&stream, &image), -1);
      EXPECT_EQ(base::TrackedBlockCount(), blocks);
      EXPECT_TRUE(test::SameBytes(image, test::PatternedImage()));
      EXPECT_EQ(trickle.position, EndOfScanHeader(bytes));
    }
  }
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
