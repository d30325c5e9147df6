#include <climits>

#include "graphics/reader_test_util.h"
#include "support/log_capture.h"

namespace zq::test {
namespace {

using gfx::ReadBmpImage;

void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

// 24-bit bytes of palette colours (0x00RRGGBB), blue first.
Bytes Colours24(std::initializer_list<uint32_t> colours) {
  Bytes out;
  for (uint32_t c : colours) out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
  return out;
}

void ExpectPal8(const gfx::ColorData& f) {
  ExpectFormat(f, 8, 1, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000);
}
void ExpectRgb24(const gfx::ColorData& f) {
  ExpectFormat(f, 24, 3, 0xFF0000, 0xFF00, 0xFF, 0, 0);
}

// ---- uncompressed depths ----

TEST(BmpReader, Plain24BottomUpPutsTheLastStoredRowOnTop) {
  BmpFileLayout s{.bits = 24, .width = 3, .height = 2};
  s.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
  Decoded d(ReadBmpImage, BmpFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectRgb24(d.image.Format);
  EXPECT_EQ(d.image.Width, 3);
  EXPECT_EQ(d.image.Height, 2);
  EXPECT_EQ(d.image.Pitch, 12);
  EXPECT_EQ(d.Row(0, 9), (Bytes{10, 11, 12, 13, 14, 15, 16, 17, 18}));
  EXPECT_EQ(d.Row(1, 9), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(BmpReader, Plain8TopDownWithColourTableClearedPastTheColoursInUse) {
  BmpFileLayout s{.bits = 8, .width = 5, .height = -2, .coloursUsed = 4};
  s.palette = {0x11223344, 0xFF000000, 0x00FFFFFF, 0x80102030};
  s.pixels = {0, 1, 2, 3, 0, 9, 9, 9, 3, 2, 1, 0, 1, 8, 8, 8};
  Decoded d(ReadBmpImage, BmpFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectPal8(d.image.Format);
  EXPECT_EQ(d.image.Pitch, 8);
  EXPECT_EQ(d.Block(), s.pixels);
  EXPECT_EQ(d.image.Format.Palette[0], 0x223344u);  // fourth byte dropped
  EXPECT_EQ(d.image.Format.Palette[1], 0u);
  EXPECT_EQ(d.image.Format.Palette[2], 0xFFFFFFu);
  EXPECT_EQ(d.image.Format.Palette[3], 0x102030u);
  // The pixel data follows the four entries; it must not show up as colours.
  for (int i = 4; i < 256; ++i) EXPECT_EQ(d.image.Format.Palette[i], 0u) << i;
}

TEST(BmpReader, Plain4UnpacksExactlyWidthPixelsARow) {
  BmpFileLayout s{.bits = 4, .width = 5, .height = 2};
  for (uint32_t i = 0; i < 16; ++i) s.palette.push_back(0x01000000 | i * 0x010101);
  // Stored bottom row first; the nibbles past the width are not pixels.
  s.pixels = {0x12, 0x34, 0x5F, 0xFF, 0xAB, 0xCD, 0xEF, 0x77};
  Decoded d(ReadBmpImage, BmpFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectPal8(d.image.Format);
  EXPECT_EQ(d.image.Pitch, 8);
  EXPECT_EQ(d.Block(), (Bytes{0xA, 0xB, 0xC, 0xD, 0xE, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0}));
  EXPECT_EQ(d.image.Format.Palette[15], 0x0F0F0Fu);
  EXPECT_EQ(d.image.Format.Palette[16], 0u);
}

TEST(BmpReader, OneBitGoesThroughTheTwoEntryTableTo24Bits) {
  BmpFileLayout s{.bits = 1, .width = 10, .height = 2};
  s.palette = {0x00102030, 0xFFAABBCC};
  s.pixels = {0xA0, 0xFF, 0xFF, 0xFF, 0x01, 0x40, 0x00, 0x00};  // bottom row first
  Decoded d(ReadBmpImage, BmpFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectRgb24(d.image.Format);
  EXPECT_EQ(d.image.Pitch, 32);
  const uint32_t o = 0x102030, l = 0xAABBCC;
  Bytes top = Colours24({o, o, o, o, o, o, o, l, o, l});
  Bytes bottom = Colours24({l, o, l, o, o, o, o, o, l, l});
  top.resize(32);
  bottom.resize(32);
  EXPECT_EQ(d.Row(0, 32), top);
  EXPECT_EQ(d.Row(1, 32), bottom);
}

// Each file's decoded depth, pitch and pixel block (or its first bytes). The transfer of 16 and
// 32 bits widens narrow channels by repeating their top bits: 5-bit 31 gives 0xFF, 16 gives 0x84,
// 1 gives 0x08; 6-bit 63 gives 0xFF, 2 gives 0x08; 10-bit channels keep their top eight bits.
TEST(BmpReader, DecodedBlocks) {
  const struct {
    const char* what;
    int depth, pitch;
    bool whole;  // the block, else its first bytes
    Bytes block;
    BmpFileLayout spec;
  } cases[] = {
      // clang-format off
      {"24 top-down keeps the stored order", 24, 4, true, {1, 2, 3, 0, 4, 5, 6, 0},
       {.bits = 24, .width = 1, .height = -2, .pixels = {1, 2, 3, 0, 4, 5, 6, 0}}},
      {"8 bottom-up reverses rows", 8, 4, true, {5, 6, 0, 0, 3, 4, 0, 0, 1, 2, 0, 0},
       {.bits = 8, .width = 2, .height = 3, .coloursUsed = 1, .palette = {0xFF},
        .pixels = {1, 2, 0, 0, 3, 4, 0, 0, 5, 6, 0, 0}}},
      {"4 of width 9 stays inside its 12-byte pitch", 8, 12, true,
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0},
       {.bits = 4, .width = 9, .height = -1, .palette = std::vector<uint32_t>(16, 0),
        .pixels = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF1}}},
      {"plain 16 is X1R5G5B5", 24, 12, true,
       {0xFF, 0xFF, 0xFF, 0, 0, 0, 0x84, 0x84, 0x84, 0x08, 0, 0xFF},
       {.bits = 16, .width = 4, .height = -1,
        .pixels = {0xFF, 0x7F, 0x00, 0x80, 0x10, 0x42, 0x01, 0x7C}}},
      {"16-bit fields use the file's masks", 24, 12, true,
       {0, 0, 0xFF, 0, 0xFF, 0, 0x08, 0x08, 0x08, 0, 0, 0},
       {.bits = 16, .compression = 3, .width = 3, .height = -1, .masks = {0xF800, 0x07E0, 0x001F},
        .pixels = {0x00, 0xF8, 0xE0, 0x07, 0x41, 0x08, 0, 0}}},
      {"plain 32 drops the top byte", 24, 8, true,
       {4, 3, 2, 0, 0, 0, 0, 0, 0x33, 0x22, 0x11, 0xFF, 0xFF, 0xFF, 0, 0},
       {.bits = 32, .width = 2, .height = 2,
        .pixels = {0x33, 0x22, 0x11, 0xAA, 0xFF, 0xFF, 0xFF, 0x00,    // bottom
                   0x04, 0x03, 0x02, 0x01, 0x00, 0x00, 0x00, 0x80}}},  // top
      {"32-bit fields of 10 bits: red 0x3FF, green 0x200, blue 0x001", 24, 4, false,
       {0x00, 0x80, 0xFF},
       {.bits = 32, .compression = 3, .masks = {0x3FF00000, 0x000FFC00, 0x000003FF},
        .pixels = {0x01, 0x00, 0xF8, 0x3F}}},
      {"32-bit fields in blue, green, red order", 24, 4, false, {0x33, 0x22, 0x11},
       {.bits = 32, .compression = 3, .masks = {0xFF, 0xFF00, 0xFF0000},
        .pixels = {0x11, 0x22, 0x33, 0x44}}},
      {"pixel data cut to half reads as zeros", 24, 8, true,
       {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8},
       {.bits = 24, .width = 2, .height = 2, .pixels = {1, 2, 3, 4, 5, 6, 7, 8}}},  // bottom row
      // Run-length data that ends early (no end of bitmap), a delta past the image, a literal
      // cut by the end of the data, a 4-bit run wider than the row.
      {"8-bit run-length early end of line", 8, 4, true, {1, 1, 0, 0, 2, 0, 0, 0},
       {.bits = 8, .compression = 1, .width = 4, .height = -2, .coloursUsed = 1, .palette = {0},
        .pixels = {2, 1, 0, 0, 1, 2}}},
      {"8-bit run-length delta past the image stops", 8, 4, true, {0, 0, 0, 0, 3, 0, 0, 0},
       {.bits = 8, .compression = 1, .width = 2, .height = 2, .coloursUsed = 1, .palette = {0},
        .pixels = {1, 3, 0, 2, 0, 5, 2, 7, 0, 0, 2, 7, 0, 1}}},
      {"8-bit literal cut by the end of data", 8, 4, true, {1, 2, 0, 0},
       {.bits = 8, .compression = 1, .width = 4, .height = 1, .coloursUsed = 1, .palette = {0},
        .pixels = {0, 5, 1, 2}}},
      {"4-bit run wider than the row is clipped", 8, 4, true, {1, 2, 3, 0, 0xA, 0xB, 0xA, 0},
       {.bits = 4, .compression = 2, .width = 3, .height = 2, .coloursUsed = 2, .palette = {0, 0},
        .pixels = {9, 0xAB, 0, 0, 0, 4, 0x12, 0x34, 0, 1}}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Decoded d(ReadBmpImage, BmpFile(c.spec));
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.image.Format.ColorBitDepth, c.depth);
    EXPECT_EQ(d.image.Pitch, c.pitch);
    const Bytes block = d.Block();
    ASSERT_GE(block.size(), c.block.size());
    EXPECT_EQ(c.whole ? block : Bytes(block.begin(), block.begin() + ptrdiff_t(c.block.size())),
              c.block);
  }
}

TEST(BmpReader, BitFieldsTheTransferRefusesAreDeclined) {
  const std::vector<uint32_t> refused[] = {{0xFF00, 0x0FF0, 0x000F},     // overlapping
                                           {0x1F0000, 0x07E0, 0x001F}};  // wider than 16 bits
  for (const std::vector<uint32_t>& masks : refused) {
    BmpFileLayout s{.bits = 16, .compression = 3, .width = 1, .height = 1};
    s.masks = masks;
    s.pixels = {0xFF, 0xFF, 0, 0};
    ExpectDeclined(ReadBmpImage, BmpFile(s));
  }
}

// ---- run-length data ----

TEST(BmpReader, Rle8RunsLiteralsDeltaAndClippedRun) {
  BmpFileLayout s{.bits = 8, .compression = 1, .width = 6, .height = 3, .coloursUsed = 2};
  s.palette = {0, 0x00FFFFFF};
  s.pixels = {3, 5,                 // run: 5 5 5
              0, 3, 1, 2, 3, 0x04,  // odd literal, then a pad byte that is no run
              0, 0,                 // end of line
              2, 7,                 // 7 7
              0, 2, 1, 1,           // delta: one right, one line on
              4, 9,                 // 9 9 9, the fourth falls outside the row
              0, 1};
  Decoded d(ReadBmpImage, BmpFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectPal8(d.image.Format);
  EXPECT_EQ(d.image.Pitch, 8);
  EXPECT_EQ(d.Block(), (Bytes{0, 0, 0, 9, 9, 9, 0, 0,  //
                              7, 7, 0, 0, 0, 0, 0, 0,  //
                              5, 5, 5, 1, 2, 3, 0, 0}));
  EXPECT_EQ(d.image.Format.Palette[1], 0xFFFFFFu);
}

TEST(BmpReader, Rle4NibblesDeltaAndOddLiteral) {
  BmpFileLayout s{.bits = 4, .compression = 2, .width = 7, .height = -2, .coloursUsed = 16};
  s.palette.assign(16, 0x00ABCDEF);
  s.pixels = {3,    0x12,                    // 1 2 1
              0,    3,    0x34, 0x50,        // literal 3 4 5 (two bytes, no pad)
              0,    0,                       // end of line
              0,    2,    2,    0,           // delta two right
              0,    5,    0x67, 0x89, 0xA0,  // literal of five: three bytes and a pad
              0x03,                          // the pad
              0,    1};
  Decoded d(ReadBmpImage, BmpFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectPal8(d.image.Format);
  EXPECT_EQ(d.image.Pitch, 8);
  EXPECT_EQ(d.Block(), (Bytes{1, 2, 1, 3, 4, 5, 0, 0, 0, 0, 6, 7, 8, 9, 0xA, 0}));
  EXPECT_EQ(d.image.Format.Palette[15], 0xABCDEFu);
}

// ---- declines ----

Bytes ValidBmp() {
  BmpFileLayout s{.bits = 24, .width = 1, .height = 1};
  s.pixels = {1, 2, 3, 0};
  return BmpFile(s);
}

TEST(BmpReader, TheBaseOfTheDeclineCasesDecodes) {
  Decoded d(ReadBmpImage, ValidBmp());
  EXPECT_EQ(d.result, 0);
}

TEST(BmpReader, DeclinesBrokenHeaders) {
  Bytes b = ValidBmp();
  b[1] = 'A';
  ExpectDeclined(ReadBmpImage, b);
  for (uint32_t size : {0u, 12u, 39u, 10000u, 0xFFFFFFF0u}) {
    b = ValidBmp();
    Put32(b, 14, size);
    ExpectDeclined(ReadBmpImage, b);
  }
  ExpectDeclined(ReadBmpImage, {});
  ExpectDeclined(ReadBmpImage, {'B', 'M'});
}

TEST(BmpReader, DeclinesUnsupportedBitCountsAndMismatchedCompressions) {
  for (uint32_t bits : {0u, 2u, 3u, 7u, 12u, 48u, 64u}) {
    Bytes b = ValidBmp();
    Put16(b, 28, bits);
    ExpectDeclined(ReadBmpImage, b);
  }
  const std::pair<uint32_t, uint32_t> cases[] = {{4, 1}, {24, 1}, {8, 2},  {1, 2}, {24, 3},
                                                 {8, 3}, {24, 4}, {24, 5}, {32, 6}};
  for (auto [bits, compression] : cases) {
    BmpFileLayout s{.bits = int(bits), .compression = compression, .width = 1, .height = 1};
    if (bits <= 8) s.palette.assign(size_t(1) << bits, 0);
    if (compression == 3) s.masks = {0xF800, 0x7E0, 0x1F};
    s.pixels = {1, 2, 3, 4};
    ExpectDeclined(ReadBmpImage, BmpFile(s));
  }
}

TEST(BmpReader, DeclinesDataOffsetsAtOrPastTheEnd) {
  Bytes b = ValidBmp();
  Put32(b, 10, uint32_t(b.size()));
  ExpectDeclined(ReadBmpImage, b);
  Put32(b, 10, 0xFFFFFFFF);
  ExpectDeclined(ReadBmpImage, b);
}

TEST(BmpReader, DeclinesBadSizes) {
  const std::pair<int32_t, int32_t> sizes[] = {{0, 1},
                                               {-1, 1},
                                               {INT_MIN, 1},
                                               {1, 0},
                                               {1, INT_MIN},
                                               {65536, 1},
                                               {1, 65536},
                                               {1, -65536},
                                               {INT_MAX, INT_MAX},
                                               {INT_MAX, -INT_MAX}};
  for (auto [width, height] : sizes) {
    Bytes b = ValidBmp();
    Put32(b, 18, uint32_t(width));
    Put32(b, 22, uint32_t(height));
    ExpectDeclined(ReadBmpImage, b);
  }
}

TEST(BmpReader, DeclinesBlocksOverTheLimitWithALogLine) {
  ScopedLog log;
  Bytes b = ValidBmp();
  Put32(b, 18, 65535);
  Put32(b, 22, 65535);  // 196608 x 65535 bytes
  ExpectDeclined(ReadBmpImage, b);
  EXPECT_NE(log.Contents().find("65535 x 65535"), std::string::npos);
}

TEST(BmpReader, DeclinesAColourTableOutsideTheFile) {
  BmpFileLayout s{.bits = 8, .width = 1, .height = 1};
  s.pixels = {1, 2, 3, 4};
  Bytes b = BmpFile(s);
  Put32(b, 14, uint32_t(b.size() - 14));  // the header reaches the end: no table left
  Put32(b, 10, 20);
  ExpectDeclined(ReadBmpImage, b);
}

}  // namespace
}  // namespace zq::test
