#include <climits>

#include "graphics/image_reader_support.h"
#include "support/log_capture.h"

namespace zq::test {
namespace {

using gfx::ReadBmpImage;

void Put(Bytes& b, size_t at, int bytes, uint32_t v) {
  for (int i = 0; i < bytes; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// Rows of 24-bit palette colours (0x00RRGGBB), blue first, each padded to the pitch.
Bytes Rows24(std::initializer_list<std::initializer_list<uint32_t>> rows, size_t pitch) {
  Bytes out;
  for (const auto& row : rows) {
    for (uint32_t c : row) out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    out.resize((out.size() + pitch - 1) / pitch * pitch);
  }
  return out;
}

std::vector<uint32_t> Greys16() {
  std::vector<uint32_t> p;
  for (uint32_t i = 0; i < 16; ++i) p.push_back(0x01000000 | i * 0x010101);  // top byte dropped
  return p;
}

// Each file's decoded size, pitch, pixel block (or its first bytes) and some palette entries.
// Bottom-up files put their last stored row on top. The transfer of 16 and 32 bits widens narrow
// channels by repeating their top bits: 5-bit 31 gives 0xFF, 16 gives 0x84, 1 gives 0x08; 6-bit
// 63 gives 0xFF, 2 gives 0x08; 10-bit channels keep their top eight bits.
TEST(BmpReader, DecodedBlocks) {
  const uint32_t o = 0x102030, l = 0xAABBCC;
  // Rows longer than the piece a bottom-up file's rows are swapped by.
  Bytes wide, wideTurned;
  for (int i = 0; i < 15000; ++i) wide.push_back(uint8_t(i / 5000 * 7 + i));
  for (int r = 2; r >= 0; --r)
    wideTurned.insert(wideTurned.end(), wide.begin() + r * 5000, wide.begin() + (r + 1) * 5000);
  const struct {
    const char* what;
    int depth, pitch;
    bool whole;  // the block, else its first bytes
    Bytes block;
    BmpFileLayout spec;
    std::vector<std::pair<int, uint32_t>> palette;  // entries that must hold these colours
  } cases[] = {
      // clang-format off
      {"24 bottom-up", 24, 12, true,
       {10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0},
       {.bits = 24, .width = 3, .height = 2,
        .pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0,
                   10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0}}},
      {"24 top-down keeps the stored order", 24, 4, true, {1, 2, 3, 0, 4, 5, 6, 0},
       {.bits = 24, .width = 1, .height = -2, .pixels = {1, 2, 3, 0, 4, 5, 6, 0}}},
      {"8 top-down: table cleared past the colours in use, fourth byte dropped", 8, 8, true,
       {0, 1, 2, 3, 0, 9, 9, 9, 3, 2, 1, 0, 1, 8, 8, 8},
       {.bits = 8, .width = 5, .height = -2, .coloursUsed = 4,
        .palette = {0x11223344, 0xFF000000, 0x00FFFFFF, 0x80102030},
        .pixels = {0, 1, 2, 3, 0, 9, 9, 9, 3, 2, 1, 0, 1, 8, 8, 8}},
       {{0, 0x223344}, {1, 0}, {2, 0xFFFFFF}, {3, 0x102030}, {4, 0}, {5, 0}, {7, 0}, {255, 0}}},
      {"8 bottom-up reverses rows", 8, 4, true, {5, 6, 0, 0, 3, 4, 0, 0, 1, 2, 0, 0},
       {.bits = 8, .width = 2, .height = 3, .coloursUsed = 1, .palette = {0xFF},
        .pixels = {1, 2, 0, 0, 3, 4, 0, 0, 5, 6, 0, 0}}},
      {"8 bottom-up rows wider than a swap piece", 8, 5000, true, wideTurned,
       {.bits = 8, .width = 5000, .height = 3, .coloursUsed = 1, .palette = {0xFF},
        .pixels = wide}},
      {"4 unpacks exactly width pixels a row", 8, 8, true,
       {0xA, 0xB, 0xC, 0xD, 0xE, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0},
       {.bits = 4, .width = 5, .height = 2, .palette = Greys16(),
        .pixels = {0x12, 0x34, 0x5F, 0xFF, 0xAB, 0xCD, 0xEF, 0x77}},
       {{15, 0x0F0F0F}, {16, 0}}},
      {"4 of width 9 stays inside its 12-byte pitch", 8, 12, true,
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0},
       {.bits = 4, .width = 9, .height = -1, .palette = std::vector<uint32_t>(16, 0),
        .pixels = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF1}}},
      {"1 goes through the two-entry table to 24 bits", 24, 32, true,
       Rows24({{o, o, o, o, o, o, o, l, o, l}, {l, o, l, o, o, o, o, o, l, l}}, 32),
       {.bits = 1, .width = 10, .height = 2, .palette = {0x00102030, 0xFFAABBCC},
        .pixels = {0xA0, 0xFF, 0xFF, 0xFF, 0x01, 0x40, 0x00, 0x00}}},
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
      // RLE8: a run, an odd literal and its pad byte, end of line, a run, a delta (one right,
      // one line on), a run whose fourth pixel falls outside the row, end of bitmap.
      {"8-bit run-length", 8, 8, true,
       {0, 0, 0, 9, 9, 9, 0, 0, 7, 7, 0, 0, 0, 0, 0, 0, 5, 5, 5, 1, 2, 3, 0, 0},
       {.bits = 8, .compression = 1, .width = 6, .height = 3, .coloursUsed = 2,
        .palette = {0, 0x00FFFFFF},
        .pixels = {3, 5, 0, 3, 1, 2, 3, 4, 0, 0, 2, 7, 0, 2, 1, 1, 4, 9, 0, 1}},
       {{1, 0xFFFFFF}}},
      // RLE4: a run of two nibbles, a literal of three (no pad), end of line, a delta two right,
      // a literal of five and its pad, end of bitmap.
      {"4-bit run-length", 8, 8, true, {1, 2, 1, 3, 4, 5, 0, 0, 0, 0, 6, 7, 8, 9, 0xA, 0},
       {.bits = 4, .compression = 2, .width = 7, .height = -2, .coloursUsed = 16,
        .palette = std::vector<uint32_t>(16, 0x00ABCDEF),
        .pixels = {3, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 2, 0, 0, 5, 0x67, 0x89, 0xA0, 3, 0, 1}},
       {{15, 0xABCDEF}}},
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
    if (c.depth == 8)
      ExpectFormat(d.image.Format, 8, 1, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000);
    else
      ExpectFormat(d.image.Format, 24, 3, 0xFF0000, 0xFF00, 0xFF, 0, 0);
    EXPECT_EQ(d.image.Width, std::abs(c.spec.width));
    EXPECT_EQ(d.image.Height, std::abs(c.spec.height));
    EXPECT_EQ(d.image.Pitch, c.pitch);
    const Bytes block = d.Block();
    ASSERT_GE(block.size(), c.block.size());
    EXPECT_EQ(c.whole ? block : Bytes(block.begin(), block.begin() + ptrdiff_t(c.block.size())),
              c.block);
    for (auto [index, colour] : c.palette)
      EXPECT_EQ(d.image.Format.Palette[index], colour) << index;
  }
}

// ---- declines ----

Bytes ValidBmp() {
  return BmpFile({.bits = 24, .width = 1, .height = 1, .pixels = {1, 2, 3, 0}});
}

TEST(BmpReader, DeclinesBrokenFiles) {
  EXPECT_EQ(Decoded(ReadBmpImage, ValidBmp()).result, 0);  // the base of the patched files
  // Patches of the valid file: {offset, bytes, value}, each applied alone or with the next.
  const struct {
    size_t at;
    int bytes;
    uint32_t value;
    bool withNext;
  } patches[] = {
      // clang-format off
      {1, 1, 'A'},                                                                // signature
      {14, 4, 0}, {14, 4, 12}, {14, 4, 39}, {14, 4, 10000}, {14, 4, 0xFFFFFFF0},  // header size
      // bits a pixel
      {28, 2, 0}, {28, 2, 2}, {28, 2, 3}, {28, 2, 7}, {28, 2, 12}, {28, 2, 48}, {28, 2, 64},
      {10, 4, 58}, {10, 4, 0xFFFFFFFF},  // data offset at or past the end
      // width and height
      {18, 4, 0, true}, {22, 4, 1}, {18, 4, uint32_t(-1), true}, {22, 4, 1},
      {18, 4, uint32_t(INT_MIN), true}, {22, 4, 1}, {18, 4, 1, true}, {22, 4, 0},
      {18, 4, 1, true}, {22, 4, uint32_t(INT_MIN)}, {18, 4, 65536, true}, {22, 4, 1},
      {18, 4, 1, true}, {22, 4, 65536}, {18, 4, 1, true}, {22, 4, uint32_t(-65536)},
      {18, 4, INT_MAX, true}, {22, 4, INT_MAX}, {18, 4, INT_MAX, true}, {22, 4, uint32_t(-INT_MAX)},
      // clang-format on
  };
  Bytes b = ValidBmp();
  for (const auto& p : patches) {
    Put(b, p.at, p.bytes, p.value);
    if (p.withNext) continue;
    SCOPED_TRACE(testing::Message() << "at " << p.at << " value " << p.value);
    ExpectDeclined(ReadBmpImage, b);
    b = ValidBmp();
  }
  ExpectDeclined(ReadBmpImage, {});
  ExpectDeclined(ReadBmpImage, {'B', 'M'});
  // A colour table outside the file: the header reaches the end.
  b = BmpFile({.bits = 8, .width = 1, .height = 1, .pixels = {1, 2, 3, 4}});
  Put(b, 14, 4, uint32_t(b.size() - 14));
  Put(b, 10, 4, 20);
  ExpectDeclined(ReadBmpImage, b);
}

TEST(BmpReader, DeclinesMismatchedCompressionsAndRefusedBitFields) {
  const std::pair<uint32_t, uint32_t> cases[] = {{4, 1}, {24, 1}, {8, 2},  {1, 2}, {24, 3},
                                                 {8, 3}, {24, 4}, {24, 5}, {32, 6}};
  for (auto [bits, compression] : cases) {
    BmpFileLayout s{.bits = int(bits), .compression = compression, .pixels = {1, 2, 3, 4}};
    if (bits <= 8) s.palette.assign(size_t(1) << bits, 0);
    if (compression == 3) s.masks = {0xF800, 0x7E0, 0x1F};
    ExpectDeclined(ReadBmpImage, BmpFile(s));
  }
  // Bit fields the transfer refuses: overlapping, wider than 16 bits.
  for (const std::vector<uint32_t>& masks : {std::vector<uint32_t>{0xFF00, 0x0FF0, 0x000F},
                                             std::vector<uint32_t>{0x1F0000, 0x07E0, 0x001F}})
    ExpectDeclined(
        ReadBmpImage,
        BmpFile({.bits = 16, .compression = 3, .masks = masks, .pixels = {0xFF, 0xFF, 0, 0}}));
}

TEST(BmpReader, DeclinesBlocksOverTheLimitWithALogLine) {
  ScopedLog log;
  Bytes b = ValidBmp();
  Put(b, 18, 4, 65535);
  Put(b, 22, 4, 65535);  // 196608 x 65535 bytes
  ExpectDeclined(ReadBmpImage, b);
  EXPECT_NE(log.Contents().find("65535 x 65535"), std::string::npos);
}

}  // namespace
}  // namespace zq::test
