#include <functional>

#include "graphics/image_reader_support.h"
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

// Files with a format code (numeric, or flags and masks in the header) and their channel masks;
// files with a numeric code often leave the bit count and the pitch unset. The pitch is the
// header's when flagged; blocks are the stored bytes, the short one padded with zeros.
TEST(DdsReader, FormatsPitchesAndBlocks) {
  struct Case {
    DdsFileLayout spec;
    int bits;
    uint32_t r, g, b, a, nm;
    int pitch;
    Bytes block;
  };
  std::vector<Case> cases = {
      // clang-format off
      {{.width = 2, .height = 2, .pixelFlags = 0x41, .bits = 32,
        .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, .data = Sequence(16)},
       32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0, 8, Sequence(16)},
      {{.flags = 0x100F, .width = 2, .height = 2, .pitch = 12, .bits = 32, .data = Sequence(24)},
       32, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000, 12, Sequence(24)},
      {{.width = 2, .bits = 24, .data = {1, 2, 3, 4}}, 24, 0xFF0000, 0xFF00, 0xFF, 0, 0, 6,
       {1, 2, 3, 4, 0, 0}},
      // clang-format on
  };
  const struct {
    uint32_t code;
    int bits;
    uint32_t r, g, b, a, nm;
  } codes[] = {
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
  for (const auto& c : codes) {
    const Bytes data = Sequence(size_t(3 * c.bits / 8));
    cases.push_back({{.width = 3, .pixelFlags = 0x4, .fourCC = c.code, .bits = 0, .data = data},
                     c.bits,
                     c.r,
                     c.g,
                     c.b,
                     c.a,
                     c.nm,
                     3 * c.bits / 8,
                     data});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.spec.fourCC << " " << c.spec.width << "x" << c.spec.height);
    Decoded d(ReadDdsImage, DdsFile(c.spec));
    ASSERT_EQ(d.result, 0);
    ExpectFormat(d.image.Format, c.bits, c.bits / 8, c.r, c.g, c.b, c.a, c.nm);
    EXPECT_EQ(std::tuple(d.image.Width, d.image.Height, d.image.Pitch),
              std::tuple(int(c.spec.width), int(c.spec.height), c.pitch));
    EXPECT_EQ(d.Block(), c.block);
  }
}

// R3G3B2, by code or by masks, becomes a palettised image: each channel c of width w widened to
// c x 255 / (2^w - 1).
TEST(DdsReader, R3G3B2BecomesAPalettisedImage) {
  const DdsFileLayout files[] = {
      {.width = 3, .pixelFlags = 0x4, .fourCC = 27, .bits = 0, .data = {0xFF, 0x25, 0x00}},
      {.width = 3,
       .pixelFlags = 0x40,
       .bits = 8,
       .masks = {0xE0, 0x1C, 0x03, 0},
       .data = {0xFF, 0x25, 0x00}}};
  for (const DdsFileLayout& s : files) {
    Decoded d(ReadDdsImage, DdsFile(s));
    ASSERT_EQ(d.result, 0);
    const gfx::ColorData& f = d.image.Format;
    ExpectFormat(f, 8, 1, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000);
    const std::pair<int, uint32_t> entries[] = {{0x00, 0x000000},
                                                {0xFF, 0xFFFFFF},
                                                {0x25, 0x242455} /* 001 001 01 */,
                                                {0x49, 0x484855} /* 010 010 01 */,
                                                {0xB6, 0xB6B6AA} /* 101 101 10 */,
                                                {0xE0, 0xFF0000},
                                                {0x1C, 0x00FF00},
                                                {0x03, 0x0000FF}};
    for (auto [index, colour] : entries) EXPECT_EQ(f.Palette[index], colour) << index;
    EXPECT_EQ(d.image.Pitch, 3);
    EXPECT_EQ(d.Block(), s.data);
  }
}

// The valid 1 x 1 file with one change is declined.
void ExpectDeclinedWith(const std::function<void(DdsFileLayout&)>& change) {
  DdsFileLayout s{.bits = 32, .data = {1, 2, 3, 4}};
  change(s);
  ExpectDeclined(ReadDdsImage, DdsFile(s));
}

TEST(DdsReader, Declines) {
  EXPECT_EQ(Decoded(ReadDdsImage, DdsFile({.bits = 32, .data = {1, 2, 3, 4}})).result, 0);
  for (uint32_t code : {platform::MakeFourCC('D', 'X', 'T', '1'),
                        platform::MakeFourCC('D', 'X', 'T', '5'), 28u, 34u, 36u, 0u})
    ExpectDeclinedWith([&](DdsFileLayout& s) { s.pixelFlags = 0x4, s.fourCC = code; });
  for (uint32_t flags : {0u, 0x1u, 0x5u, 0x20000u})
    ExpectDeclinedWith([&](DdsFileLayout& s) { s.pixelFlags = flags, s.fourCC = 21; });
  for (uint32_t bits : {0u, 1u, 4u, 12u, 15u, 48u, 64u})
    ExpectDeclinedWith([&](DdsFileLayout& s) { s.bits = bits; });
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
  ExpectDeclinedWith([](DdsFileLayout& s) { s.data.clear(); });
  Bytes b = DdsFile({.bits = 32, .data = {1, 2, 3, 4}});
  b[2] = 'X';
  ExpectDeclined(ReadDdsImage, b);
  ExpectDeclined(ReadDdsImage, {'D', 'D', 'S', ' '});
  ExpectDeclined(ReadDdsImage, {});
}

// ---- raw BGRA ----

TEST(BgraReader, EightAndSixteenBitChannels) {
  const Bytes eight = Sequence(24);
  ByteWriter sixteen;  // blue, green, red, alpha: each keeps its high byte
  sixteen.U16(0x12FF).U16(0x3400).U16(0xFFFF).U16(0x00FF);
  sixteen.U16(0x0001).U16(0x8000).U16(0x7F80).U16(0xAB12);
  const struct {
    Bytes file;
    int width, height, pitch;
    Bytes block;
  } cases[] = {
      // clang-format off
      {BgraFile(0x08080808, 3, 2, eight), 3, 2, 12, eight},
      {BgraFile(0x10101010, 1, 2, sixteen.Data()), 1, 2, 4,
       {0x12, 0x34, 0xFF, 0x00, 0x00, 0x80, 0x7F, 0xAB}},
      {BgraFile(0x08080808, 2, 1, {9, 8, 7, 6}), 2, 1, 8, {9, 8, 7, 6, 0, 0, 0, 0}},  // cut: zeros
      // clang-format on
  };
  for (const auto& c : cases) {
    Decoded d(ReadBgraImage, c.file);
    ASSERT_EQ(d.result, 0);
    const gfx::ColorData& f = d.image.Format;
    ExpectFormat(f, 32, 4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0);
    EXPECT_EQ(std::tuple(f.AW, f.AL, f.RW, f.RL), std::tuple(8, 24, 8, 16));
    EXPECT_EQ(std::tuple(d.image.Width, d.image.Height, d.image.Pitch),
              std::tuple(c.width, c.height, c.pitch));
    EXPECT_EQ(d.Block(), c.block);
  }
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
  ScopedLog log;
  ExpectDeclined(ReadBgraImage, BgraFile(0x08080808, 65535, 65535, one));
  EXPECT_NE(log.Contents().find("65535 x 65535"), std::string::npos);
}

}  // namespace
}  // namespace zq::test
