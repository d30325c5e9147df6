#include <string>

#include "graphics/image_reader_support.h"

namespace zq::test {
namespace {

const gfx::ImageReader kReaders[] = {gfx::ReadBmpImage, gfx::ReadBgraImage, gfx::ReadTgaImage,
                                     gfx::ReadDdsImage};

gfx::ImageReader ReaderOf(const std::string& kind) {
  return kind == "bmp"    ? gfx::ReadBmpImage
         : kind == "bgra" ? gfx::ReadBgraImage
         : kind == "tga"  ? gfx::ReadTgaImage
                          : gfx::ReadDdsImage;
}

// The other readers decline each sample, so the order of the reader table does not matter here;
// a BGRA signature with another channel code is declined by all of them.
TEST(ImageReaderSweep, EverySampleDecodesWithItsOwnReaderOnly) {
  for (const SampleFile& sample : SampleFiles()) {
    SCOPED_TRACE(sample.kind + std::string(" ") + sample.name);
    EXPECT_EQ(Decoded(ReaderOf(sample.kind), sample.bytes).result, 0);
    for (gfx::ImageReader other : kReaders)
      if (other != ReaderOf(sample.kind)) ExpectDeclined(other, sample.bytes);
  }
  for (uint32_t code : {0x20202020u, 0x08080810u, 0x10101008u})
    for (gfx::ImageReader reader : kReaders)
      ExpectDeclined(reader, BgraFile(code, 2, 2, Bytes(64, 0x40)));
}

// Cut pixel data is allowed to decode (the missing bytes read as zeros).
TEST(ImageReaderSweep, EveryPrefixAndByteFlipOfEverySampleDeclinesOrDecodes) {
  for (const SampleFile& sample : SampleFiles()) {
    SCOPED_TRACE(sample.kind + std::string(" ") + sample.name);
    for (gfx::ImageReader reader : kReaders)
      SweepHostileVariants(reader, sample.bytes, false, false);
  }
}

}  // namespace
}  // namespace zq::test
