#include <functional>

#include "graphics/reader_test_util.h"
#include "platform/types.h"
#include "support/log_capture.h"

namespace zq::test {
namespace {

using gfx::ReadBgraImage;
using gfx::ReadDdsImage;

Bytes Sequence(size_t n) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = uint8_t(i + 1);
  return out;
}

// ---- DDS ----

TEST(DdsReader, RgbWithAlphaGivesArgb) {
  DdsFileLayout s{.width = 2, .height = 2, .pixelFlags = 0x41, .bits = 32};
  s.masks[3] = 0xFF000000;
  s.data = Sequence(16);
  Decoded d(ReadDdsImage, DdsFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectFormat(d.image.Format, 32, 4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0);
  EXPECT_EQ(d.image.Format.AW, 8);
  EXPECT_EQ(d.image.Format.AL, 24);
  EXPECT_EQ(d.image.Width, 2);
  EXPECT_EQ(d.image.Height, 2);
  EXPECT_EQ(d.image.Pitch, 8);
  EXPECT_EQ(d.Block(), s.data);
}

TEST(DdsReader, HeaderPitchWhenFlagged) {
  DdsFileLayout s{.flags = 0x100F, .width = 2, .height = 2, .pitch = 12, .bits = 32};
  s.data = Sequence(24);
  Decoded d(ReadDdsImage, DdsFile(s));
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.image.Pitch, 12);
  EXPECT_EQ(d.Block(), s.data);
}

TEST(DdsReader, ShortDataReadsAsZeros) {
  DdsFileLayout s{.width = 2, .height = 1, .pixelFlags = 0x40, .bits = 24};
  s.data = {1, 2, 3, 4};
  Decoded d(ReadDdsImage, DdsFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectFormat(d.image.Format, 24, 3, 0xFF0000, 0xFF00, 0xFF, 0, 0);
  EXPECT_EQ(d.Block(), (Bytes{1, 2, 3, 4, 0, 0}));
}

struct CodeCase {
  uint32_t code;
  int bits;
  uint32_t r, g, b, a, nm;
};

TEST(DdsReader, NumericFormatCodes) {
  const CodeCase cases[] = {
      {20, 24, 0xFF0000, 0xFF00, 0xFF, 0, 0},
      {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0},
      {22, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000},
      {23, 16, 0xF800, 0x07E0, 0x001F, 0, 0},
      {24, 16, 0x7C00, 0x03E0, 0x001F, 0, 0x8000},
      {25, 16, 0x7C00, 0x03E0, 0x001F, 0x8000, 0},
      {26, 16, 0x0F00, 0x00F0, 0x000F, 0xF000, 0},
      {29, 16, 0xE0, 0x1C, 0x03, 0xFF00, 0},
      {30, 16, 0x0F00, 0x00F0, 0x000F, 0, 0xF000},
      {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, 0},
      {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 0},
      {33, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0xFF000000},
      {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, 0},
  };
  for (const CodeCase& c : cases) {
    // Files with a format code often leave the bit count and the pitch unset.
    DdsFileLayout s{.width = 3, .height = 1, .pixelFlags = 0x4, .fourCC = c.code, .bits = 0};
    s.data = Sequence(size_t(3 * c.bits / 8));
    Decoded d(ReadDdsImage, DdsFile(s));
    ASSERT_EQ(d.result, 0) << c.code;
    ExpectFormat(d.image.Format, c.bits, c.bits / 8, c.r, c.g, c.b, c.a, c.nm);
    EXPECT_EQ(d.image.Pitch, 3 * c.bits / 8) << c.code;
    EXPECT_EQ(d.Block(), s.data) << c.code;
  }
}

void ExpectR3G3B2Palette(const gfx::GraphImage& image) {
  ExpectFormat(image.Format, 8, 1, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000);
  EXPECT_EQ(image.Format.Palette[0x00], 0x000000u);
  // Each channel c of width w widened to c x 255 / (2^w - 1).
  EXPECT_EQ(image.Format.Palette[0xFF], 0xFFFFFFu);
  EXPECT_EQ(image.Format.Palette[0x25], 0x242455u);  // 001 001 01: 36, 36, 85
  EXPECT_EQ(image.Format.Palette[0x49], 0x484855u);  // 010 010 01: 72, 72, 85
  EXPECT_EQ(image.Format.Palette[0xB6], 0xB6B6AAu);  // 101 101 10: 182, 182, 170
  EXPECT_EQ(image.Format.Palette[0xE0], 0xFF0000u);
  EXPECT_EQ(image.Format.Palette[0x1C], 0x00FF00u);
  EXPECT_EQ(image.Format.Palette[0x03], 0x0000FFu);
}

TEST(DdsReader, R3G3B2BecomesAPalettisedImage) {
  DdsFileLayout s{.width = 3, .height = 1, .pixelFlags = 0x4, .fourCC = 27, .bits = 0};
  s.data = {0xFF, 0x25, 0x00};
  {
    Decoded d(ReadDdsImage, DdsFile(s));
    ASSERT_EQ(d.result, 0);
    ExpectR3G3B2Palette(d.image);
    EXPECT_EQ(d.image.Pitch, 3);
    EXPECT_EQ(d.Block(), s.data);
  }
  // The same masks given in the header.
  DdsFileLayout m{
      .width = 3, .height = 1, .pixelFlags = 0x40, .bits = 8, .masks = {0xE0, 0x1C, 0x03, 0}};
  m.data = s.data;
  Decoded d(ReadDdsImage, DdsFile(m));
  ASSERT_EQ(d.result, 0);
  ExpectR3G3B2Palette(d.image);
}

DdsFileLayout ValidDds() {
  DdsFileLayout s{.width = 1, .height = 1, .bits = 32};
  s.data = {1, 2, 3, 4};
  return s;
}

TEST(DdsReader, TheBaseOfTheDeclineCasesDecodes) {
  Decoded d(ReadDdsImage, DdsFile(ValidDds()));
  EXPECT_EQ(d.result, 0);
}

// The file of the valid one with one change is declined.
void ExpectDeclinedWith(const std::function<void(DdsFileLayout&)>& change) {
  DdsFileLayout s = ValidDds();
  change(s);
  ExpectDeclined(ReadDdsImage, DdsFile(s));
}

TEST(DdsReader, DeclinesUnknownFormats) {
  for (uint32_t code : {platform::MakeFourCC('D', 'X', 'T', '1'),
                        platform::MakeFourCC('D', 'X', 'T', '5'), 28u, 34u, 36u, 0u})
    ExpectDeclinedWith([&](DdsFileLayout& s) { s.pixelFlags = 0x4, s.fourCC = code; });
  for (uint32_t flags : {0u, 0x1u, 0x5u, 0x20000u})
    ExpectDeclinedWith([&](DdsFileLayout& s) { s.pixelFlags = flags, s.fourCC = 21; });
  for (uint32_t bits : {0u, 1u, 4u, 12u, 15u, 48u, 64u})
    ExpectDeclinedWith([&](DdsFileLayout& s) { s.bits = bits; });
}

TEST(DdsReader, DeclinesBadSizesAndPitches) {
  ExpectDeclinedWith([](DdsFileLayout& s) { s.width = 0; });
  ExpectDeclinedWith([](DdsFileLayout& s) { s.height = 0; });
  ExpectDeclinedWith([](DdsFileLayout& s) { s.width = 65536; });
  ExpectDeclinedWith([](DdsFileLayout& s) { s.height = 0xFFFFFFFF; });
  // A given pitch of width 2: below 2 x 4 bytes, zero, huge; and huge sizes with it.
  for (const uint32_t pitch : {7u, 0u, 0xFFFFFFFFu})
    ExpectDeclinedWith([&](DdsFileLayout& s) { s.flags |= 0x8, s.width = 2, s.pitch = pitch; });
  ExpectDeclinedWith([](DdsFileLayout& s) {
    s.flags |= 0x8, s.pitch = 0xFFFFFFFF, s.width = 0xFFFFFFFF, s.height = 0xFFFFFFFF;
  });
}

TEST(DdsReader, DeclinesBadSignaturesAndMissingData) {
  Bytes b = DdsFile(ValidDds());
  b[2] = 'X';
  ExpectDeclined(ReadDdsImage, b);
  DdsFileLayout s = ValidDds();
  s.data.clear();
  ExpectDeclined(ReadDdsImage, DdsFile(s));
  ExpectDeclined(ReadDdsImage, {'D', 'D', 'S', ' '});
  ExpectDeclined(ReadDdsImage, {});
}

// ---- raw BGRA ----

void ExpectBgraFormat(const gfx::ColorData& f) {
  ExpectFormat(f, 32, 4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0);
  EXPECT_EQ(f.AW, 8);
  EXPECT_EQ(f.AL, 24);
  EXPECT_EQ(f.RW, 8);
  EXPECT_EQ(f.RL, 16);
}

TEST(BgraReader, EightBitChannelsAreTheBlock) {
  const Bytes pixels = Sequence(24);
  Decoded d(ReadBgraImage, BgraFile(0x08080808, 3, 2, pixels));
  ASSERT_EQ(d.result, 0);
  ExpectBgraFormat(d.image.Format);
  EXPECT_EQ(d.image.Width, 3);
  EXPECT_EQ(d.image.Height, 2);
  EXPECT_EQ(d.image.Pitch, 12);
  EXPECT_EQ(d.Block(), pixels);
}

TEST(BgraReader, SixteenBitChannelsKeepTheirHighBytes) {
  ByteWriter w;
  w.U16(0x12FF).U16(0x3400).U16(0xFFFF).U16(0x00FF);  // blue, green, red, alpha
  w.U16(0x0001).U16(0x8000).U16(0x7F80).U16(0xAB12);
  Decoded d(ReadBgraImage, BgraFile(0x10101010, 1, 2, w.Data()));
  ASSERT_EQ(d.result, 0);
  ExpectBgraFormat(d.image.Format);
  EXPECT_EQ(d.image.Pitch, 4);
  EXPECT_EQ(d.Block(), (Bytes{0x12, 0x34, 0xFF, 0x00, 0x00, 0x80, 0x7F, 0xAB}));
}

TEST(BgraReader, EightBitDataCutToHalfReadsAsZeros) {
  Decoded d(ReadBgraImage, BgraFile(0x08080808, 2, 1, {9, 8, 7, 6}));
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.Block(), (Bytes{9, 8, 7, 6, 0, 0, 0, 0}));
}

TEST(BgraReader, Declines) {
  const Bytes one = Sequence(4);
  ExpectDeclined(ReadBgraImage, BgraFile(0x08080800, 1, 1, one));
  ExpectDeclined(ReadBgraImage, BgraFile(0x20202020, 1, 1, one));
  ExpectDeclined(ReadBgraImage, BgraFile(0, 1, 1, one));
  ExpectDeclined(ReadBgraImage, BgraFile(0x08080808, 0, 1, one));
  ExpectDeclined(ReadBgraImage, BgraFile(0x08080808, 1, 0, one));
  ExpectDeclined(ReadBgraImage, BgraFile(0x08080808, 65536, 1, one));
  ExpectDeclined(ReadBgraImage, BgraFile(0x10101010, 1, 0x80000000, one));
  ExpectDeclined(ReadBgraImage, BgraFile(0x08080808, 0xFFFFFFFF, 0xFFFFFFFF, one));
  ExpectDeclined(ReadBgraImage, BgraFile(0x08080808, 1, 1, {}));  // no pixels at all
  // 16-bit rows: the second row is missing.
  ExpectDeclined(ReadBgraImage, BgraFile(0x10101010, 1, 2, Sequence(8)));
  Bytes b = BgraFile(0x08080808, 1, 1, one);
  b[0] = 'A';
  ExpectDeclined(ReadBgraImage, b);
  ExpectDeclined(ReadBgraImage, {'B', 'G', 'R', 'A'});
}

TEST(BgraReader, DeclinesBlocksOverTheLimitWithALogLine) {
  ScopedLog log;
  ExpectDeclined(ReadBgraImage, BgraFile(0x08080808, 65535, 65535, Sequence(4)));
  EXPECT_NE(log.Contents().find("65535 x 65535"), std::string::npos);
}

}  // namespace
}  // namespace zq::test
