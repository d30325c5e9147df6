#include <functional>

#include "graphics/image_reader_support.h"

namespace zq::test {
namespace {

using gfx::ReadTgaImage;

// 3-byte pixels Pk of distinct bytes 10k+1, 10k+2, 10k+3, in the given order.
Bytes Pixels24(std::initializer_list<int> order) {
  Bytes out;
  for (int k : order)
    out.insert(out.end(), {uint8_t(10 * k + 1), uint8_t(10 * k + 2), uint8_t(10 * k + 3)});
  return out;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Each file's depth and block (its pitch is width x bytes a pixel); 24 bits is R8G8B8, 16 bits
// X1R5G5B5, 32 bits A8R8G8B8. Descriptor bit 5 stores rows from the top, bit 4 from the right.
TEST(TgaReader, DecodedBlocks) {
  const Bytes p012345 = Pixels24({0, 1, 2, 3, 4, 5});
  const struct {
    const char* what;
    int depth;
    Bytes block;
    TgaFileLayout spec;
  } cases[] = {
      // clang-format off
      {"bottom to top", 24, Pixels24({3, 4, 5, 0, 1, 2}),
       {.width = 3, .height = 2, .descriptor = 0x00, .data = p012345}},
      {"top to bottom", 24, p012345,
       {.width = 3, .height = 2, .descriptor = 0x20, .data = p012345}},
      {"bottom to top, right to left", 24, Pixels24({5, 4, 3, 2, 1, 0}),
       {.width = 3, .height = 2, .descriptor = 0x10, .data = p012345}},
      {"top to bottom, right to left", 24, Pixels24({2, 1, 0, 5, 4, 3}),
       {.width = 3, .height = 2, .descriptor = 0x30, .data = p012345}},
      {"type 2 skips the image id and a declared colour map", 16, {0xFF, 0x7F, 0x34, 0x92},
       {.colourMapType = 1, .mapLength = 2, .mapEntryBits = 15, .width = 2, .pixelBits = 16,
        .descriptor = 0x20, .id = {'i', 'd', '!'}, .map = {0xEE, 0xEE, 0xDD, 0xDD},
        .data = {0xFF, 0x7F, 0x34, 0x92}}},
      {"32 bits always carry alpha", 32, {1, 2, 3, 4},
       {.pixelBits = 32, .descriptor = 0x20, .data = {1, 2, 3, 4}}},
      {"short plain data reads as zeros", 24, {1, 2, 3, 4, 0, 0},
       {.width = 2, .descriptor = 0x20, .data = {1, 2, 3, 4}}},
      {"the widest", 16, Bytes(2 * 4095, 0x5A),
       {.width = 4095, .pixelBits = 16, .descriptor = 0x20, .data = Bytes(2 * 4095, 0x5A)}},
      {"type 1 map starting past zero; index 0 names an entry the file does not give", 24,
       Cat({Pixels24({2, 3, 4}), Bytes(3, 0)}),
       {.imageType = 1, .colourMapType = 1, .mapFirst = 2, .mapLength = 3, .mapEntryBits = 24,
        .width = 2, .height = 2, .pixelBits = 8, .descriptor = 0x20, .id = {7},
        .map = Pixels24({2, 3, 4}), .data = {2, 3, 4, 0}}},
      {"type 9: a run across the stored rows, rows flipped", 16,
       {0xFF, 0x7F, 0x34, 0x12, 0xFF, 0x7F, 0xFF, 0x7F},
       {.imageType = 9, .colourMapType = 1, .mapLength = 2, .mapEntryBits = 16, .width = 2,
        .height = 2, .pixelBits = 8, .map = {0x34, 0x12, 0xFF, 0x7F}, .data = {0x82, 1, 0x00, 0}}},
      // P0 twice, raw P1 P2 P3 across the row end, P4 once, packets beyond width x height.
      {"type 10 packets cross rows and stop at the image end", 24, Pixels24({0, 0, 1, 2, 3, 4}),
       {.imageType = 10, .width = 3, .height = 2, .descriptor = 0x20,
        .data = Cat({{0x81}, Pixels24({0}), {0x02}, Pixels24({1, 2, 3}), {0x80}, Pixels24({4}),
                     {0x85}, Pixels24({5}), {0x7F}, Pixels24({5})})}},
      {"type 10 mirrored bottom-up", 32, {9, 10, 11, 12, 5, 6, 7, 8, 1, 2, 3, 4, 1, 2, 3, 4},
       {.imageType = 10, .width = 2, .height = 2, .pixelBits = 32, .descriptor = 0x18,
        .data = {0x81, 1, 2, 3, 4, 0x01, 5, 6, 7, 8, 9, 10, 11, 12}}},
      {"compressed data ends before the footer", 24, {1, 2, 3, 0, 0, 0},
       {.imageType = 10, .width = 2, .descriptor = 0x20, .data = {0x01, 1, 2, 3, 0x77},
        .footer = true}},
      {"a footer with an extension offset does not count: its bytes are data", 24,
       {1, 2, 3, 0x77, 0x55, 0},
       {.imageType = 10, .width = 2, .descriptor = 0x20, .data = {0x01, 1, 2, 3, 0x77},
        .footer = true, .footerExtensionOffset = 0x55}},
      {"a repeat packet without its value leaves zeros", 16, Bytes(6, 0),
       {.imageType = 10, .width = 3, .pixelBits = 16, .descriptor = 0x20, .data = {0x82}}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Decoded d(ReadTgaImage, TgaFile(c.spec));
    ASSERT_EQ(d.result, 0);
    const gfx::ColorData& f = d.image.Format;
    if (c.depth == 24) ExpectFormat(f, 24, 3, 0xFF0000, 0xFF00, 0xFF, 0, 0);
    if (c.depth == 16) {
      ExpectFormat(f, 16, 2, 0x7C00, 0x03E0, 0x001F, 0, 0x8000);
      EXPECT_EQ(std::tuple(f.RW, f.RL), std::tuple(5, 10));
    }
    if (c.depth == 32) {
      ExpectFormat(f, 32, 4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0);
      EXPECT_EQ(std::tuple(f.AW, f.AL), std::tuple(8, 24));
    }
    EXPECT_EQ(std::tuple(d.image.Width, d.image.Height, d.image.Pitch),
              std::tuple(c.spec.width, c.spec.height, c.spec.width * c.depth / 8));
    EXPECT_EQ(d.Block(), c.block);
  }
}

// ---- declines ----

// The file of base with one change is declined.
void ExpectDeclinedWith(const TgaFileLayout& base,
                        const std::function<void(TgaFileLayout&)>& change) {
  TgaFileLayout s = base;
  change(s);
  ExpectDeclined(ReadTgaImage, TgaFile(s));
}

TEST(TgaReader, DeclinesUnsupportedHeadersAndMissingData) {
  // 21 bytes: shorter than a footer, so the file has none.
  const TgaFileLayout valid{.descriptor = 0x20, .data = {1, 2, 3}};
  ASSERT_EQ(TgaFile(valid).size(), 21u);
  EXPECT_EQ(Decoded(ReadTgaImage, TgaFile(valid)).result, 0);
  for (int type : {0, 3, 4, 8, 11, 32})
    ExpectDeclinedWith(valid, [&](TgaFileLayout& s) { s.imageType = type; });
  for (int bits : {0, 8, 15, 31, 48})
    ExpectDeclinedWith(valid, [&](TgaFileLayout& s) { s.pixelBits = bits; });
  ExpectDeclinedWith(valid, [](TgaFileLayout& s) { s.xOrigin = 1; });
  ExpectDeclinedWith(valid, [](TgaFileLayout& s) { s.yOrigin = 1; });
  ExpectDeclinedWith(valid, [](TgaFileLayout& s) { s.width = 0; });
  ExpectDeclinedWith(valid, [](TgaFileLayout& s) { s.height = 0; });
  ExpectDeclinedWith(valid, [](TgaFileLayout& s) { s.width = 4096, s.data.assign(3 * 4096, 1); });
  ExpectDeclinedWith(valid, [](TgaFileLayout& s) { s.height = 4096, s.data.assign(3 * 4096, 1); });
  ExpectDeclinedWith(valid, [](TgaFileLayout& s) { s.data.clear(); });
  ExpectDeclinedWith(valid, [](TgaFileLayout& s) { s.data.clear(), s.imageType = 10; });
  // Only the footer follows the header.
  ExpectDeclinedWith(valid,
                     [](TgaFileLayout& s) { s.data.clear(), s.imageType = 10, s.footer = true; });
  ExpectDeclined(ReadTgaImage, {});
}

TEST(TgaReader, DeclinesBadColourMaps) {
  // clang-format off
  const TgaFileLayout base{.imageType = 1, .colourMapType = 1, .mapLength = 1, .mapEntryBits = 24,
                           .pixelBits = 8, .descriptor = 0x20, .map = {1, 2, 3}, .data = {0}};
  // clang-format on
  EXPECT_EQ(Decoded(ReadTgaImage, TgaFile(base)).result, 0);
  ExpectDeclinedWith(base, [](TgaFileLayout& s) { s.pixelBits = 16; });  // indices are one byte
  ExpectDeclinedWith(base, [](TgaFileLayout& s) { s.mapFirst = 256; });  // first + length past 256
  ExpectDeclinedWith(base, [](TgaFileLayout& s) { s.mapFirst = 200, s.mapLength = 57; });
  ExpectDeclinedWith(base, [](TgaFileLayout& s) { s.mapEntryBits = 8; });
  ExpectDeclinedWith(base,
                     [](TgaFileLayout& s) { s.mapLength = 0, s.map.clear(); });  // nothing to read
}

}  // namespace
}  // namespace zq::test
