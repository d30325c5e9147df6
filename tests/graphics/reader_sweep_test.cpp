#include <string>

#include "graphics/reader_test_util.h"

namespace zq::test {
namespace {

gfx::ImageReader ReaderOf(const std::string& kind) {
  if (kind == "bmp") return gfx::ReadBmpImage;
  if (kind == "bgra") return gfx::ReadBgraImage;
  if (kind == "tga") return gfx::ReadTgaImage;
  return gfx::ReadDdsImage;
}

TEST(ImageReaderSweep, EverySampleDecodesWithItsOwnReaderOnly) {
  const gfx::ImageReader readers[] = {gfx::ReadBmpImage, gfx::ReadBgraImage, gfx::ReadTgaImage,
                                      gfx::ReadDdsImage};
  for (const SampleFile& sample : SampleFiles()) {
    const gfx::ImageReader own = ReaderOf(sample.kind);
    {
      Decoded d(own, sample.bytes);
      EXPECT_EQ(d.result, 0) << sample.kind << " " << sample.name;
    }
    // The other readers decline it, so the order of the reader table does not matter here.
    for (gfx::ImageReader other : readers)
      if (other != own) ExpectDeclined(other, sample.bytes);
  }
}

TEST(ImageReaderSweep, BgraSignatureWithAnotherChannelCodeIsDeclinedByEveryReader) {
  for (uint32_t code : {0x20202020u, 0x08080810u, 0x10101008u}) {
    const Bytes file = BgraFile(code, 2, 2, Bytes(64, 0x40));
    for (gfx::ImageReader reader :
         {gfx::ReadBmpImage, gfx::ReadBgraImage, gfx::ReadTgaImage, gfx::ReadDdsImage})
      ExpectDeclined(reader, file);
  }
}

TEST(ImageReaderSweep, EveryPrefixAndByteFlipOfEverySampleDeclinesOrDecodes) {
  const gfx::ImageReader readers[] = {gfx::ReadBmpImage, gfx::ReadBgraImage, gfx::ReadTgaImage,
                                      gfx::ReadDdsImage};
  for (const SampleFile& sample : SampleFiles()) {
    SCOPED_TRACE(sample.kind + std::string(" ") + sample.name);
    for (gfx::ImageReader reader : readers) SweepHostileVariants(reader, sample.bytes);
  }
}

}  // namespace
}  // namespace zq::test
