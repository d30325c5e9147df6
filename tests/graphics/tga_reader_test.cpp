#include <functional>

#include "graphics/reader_test_util.h"

namespace zq::test {
namespace {

using gfx::ReadTgaImage;

// Six 3-byte pixels P0..P5, each byte distinct.
Bytes Pixel24(int k) {
  return {uint8_t(10 * k + 1), uint8_t(10 * k + 2), uint8_t(10 * k + 3)};
}
Bytes Pixels24(std::initializer_list<int> order) {
  Bytes out;
  for (int k : order) {
    const Bytes p = Pixel24(k);
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}

// ---- true colour and orientation ----

struct OrientationCase {
  int descriptor;
  std::initializer_list<int> topRow;
  std::initializer_list<int> bottomRow;
};

TEST(TgaReader, Type2FollowsBothOrientationBits) {
  const OrientationCase cases[] = {
      {0x00, {3, 4, 5}, {0, 1, 2}},  // bottom to top
      {0x20, {0, 1, 2}, {3, 4, 5}},  // top to bottom
      {0x10, {5, 4, 3}, {2, 1, 0}},  // bottom to top, right to left
      {0x30, {2, 1, 0}, {5, 4, 3}},  // top to bottom, right to left
  };
  for (const OrientationCase& c : cases) {
    TgaFileLayout s{
        .imageType = 2, .width = 3, .height = 2, .pixelBits = 24, .descriptor = c.descriptor};
    s.data = Pixels24({0, 1, 2, 3, 4, 5});
    Decoded d(ReadTgaImage, TgaFile(s));
    ASSERT_EQ(d.result, 0) << c.descriptor;
    ExpectFormat(d.image.Format, 24, 3, 0xFF0000, 0xFF00, 0xFF, 0, 0);
    EXPECT_EQ(d.image.Width, 3);
    EXPECT_EQ(d.image.Height, 2);
    EXPECT_EQ(d.image.Pitch, 9);
    EXPECT_EQ(d.Row(0, 9), Pixels24(c.topRow)) << c.descriptor;
    EXPECT_EQ(d.Row(1, 9), Pixels24(c.bottomRow)) << c.descriptor;
  }
}

TEST(TgaReader, Type2SkipsImageIdAndADeclaredColourMap) {
  TgaFileLayout s{.imageType = 2,
                  .colourMapType = 1,
                  .mapLength = 2,
                  .mapEntryBits = 15,
                  .width = 2,
                  .height = 1,
                  .pixelBits = 16,
                  .descriptor = 0x20};
  s.id = {'i', 'd', '!'};
  s.map = {0xEE, 0xEE, 0xDD, 0xDD};
  s.data = {0xFF, 0x7F, 0x34, 0x92};
  Decoded d(ReadTgaImage, TgaFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectFormat(d.image.Format, 16, 2, 0x7C00, 0x03E0, 0x001F, 0, 0x8000);
  EXPECT_EQ(d.image.Format.RW, 5);
  EXPECT_EQ(d.image.Format.RL, 10);
  EXPECT_EQ(d.image.Pitch, 4);
  EXPECT_EQ(d.Block(), s.data);
}

TEST(TgaReader, Type2Of32BitsAlwaysCarriesAlpha) {
  TgaFileLayout s{.imageType = 2, .width = 1, .height = 1, .pixelBits = 32, .descriptor = 0x20};
  s.data = {1, 2, 3, 4};
  Decoded d(ReadTgaImage, TgaFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectFormat(d.image.Format, 32, 4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0);
  EXPECT_EQ(d.image.Format.AW, 8);
  EXPECT_EQ(d.image.Format.AL, 24);
  EXPECT_EQ(d.Block(), s.data);
}

TEST(TgaReader, ShortPlainDataReadsAsZeros) {
  TgaFileLayout s{.imageType = 2, .width = 2, .height = 1, .pixelBits = 24, .descriptor = 0x20};
  s.data = {1, 2, 3, 4};
  Decoded d(ReadTgaImage, TgaFile(s));
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.Block(), (Bytes{1, 2, 3, 4, 0, 0}));
}

TEST(TgaReader, WidthLimitIs4095) {
  TgaFileLayout s{.imageType = 2, .width = 4095, .height = 1, .pixelBits = 16, .descriptor = 0x20};
  s.data.assign(2 * 4095, 0x5A);
  {
    Decoded d(ReadTgaImage, TgaFile(s));
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.image.Width, 4095);
    EXPECT_EQ(d.image.Pitch, 8190);
    EXPECT_EQ(d.Block(), s.data);
  }
  s.width = 4096;
  ExpectDeclined(ReadTgaImage, TgaFile(s));
  s.width = 1;
  s.height = 4096;
  ExpectDeclined(ReadTgaImage, TgaFile(s));
}

// ---- colour-mapped ----

TEST(TgaReader, Type1MapStartingPastZero) {
  TgaFileLayout s{.imageType = 1,
                  .colourMapType = 1,
                  .mapFirst = 2,
                  .mapLength = 3,
                  .mapEntryBits = 24,
                  .width = 2,
                  .height = 2,
                  .pixelBits = 8,
                  .descriptor = 0x20};
  s.id = {7};
  s.map = Pixels24({2, 3, 4});
  s.data = {2, 3, 4, 0};  // index 0 names an entry the file does not give
  Decoded d(ReadTgaImage, TgaFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectFormat(d.image.Format, 24, 3, 0xFF0000, 0xFF00, 0xFF, 0, 0);
  EXPECT_EQ(d.image.Pitch, 6);
  Bytes expected = Pixels24({2, 3, 4});
  expected.resize(12);
  EXPECT_EQ(d.Block(), expected);
}

TEST(TgaReader, Type9PacketsCrossRowsAndRowsFlip) {
  TgaFileLayout s{.imageType = 9,
                  .colourMapType = 1,
                  .mapLength = 2,
                  .mapEntryBits = 16,
                  .width = 2,
                  .height = 2,
                  .pixelBits = 8,
                  .descriptor = 0x00};
  s.map = {0x34, 0x12, 0xFF, 0x7F};
  s.data = {0x82, 1,   // index 1 three times: across the end of the first stored row
            0x00, 0};  // one literal index 0
  Decoded d(ReadTgaImage, TgaFile(s));
  ASSERT_EQ(d.result, 0);
  ExpectFormat(d.image.Format, 16, 2, 0x7C00, 0x03E0, 0x001F, 0, 0x8000);
  // Stored bottom to top: the second stored row is on top.
  EXPECT_EQ(d.Block(), (Bytes{0xFF, 0x7F, 0x34, 0x12, 0xFF, 0x7F, 0xFF, 0x7F}));
}

// ---- run-length true colour ----

TEST(TgaReader, Type10PacketsCrossRowsAndStopAtTheImageEnd) {
  TgaFileLayout s{.imageType = 10, .width = 3, .height = 2, .pixelBits = 24, .descriptor = 0x20};
  ByteWriter w;
  w.U8(0x81).Raw(Pixel24(0));                                  // P0 twice
  w.U8(0x02).Raw(Pixel24(1)).Raw(Pixel24(2)).Raw(Pixel24(3));  // raw, across the row end
  w.U8(0x80).Raw(Pixel24(4));                                  // P4 once
  w.U8(0x85).Raw(Pixel24(5)).U8(0x7F).Raw(Pixel24(5));         // beyond width x height
  s.data = w.Data();
  Decoded d(ReadTgaImage, TgaFile(s));
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.Block(), Pixels24({0, 0, 1, 2, 3, 4}));
}

TEST(TgaReader, Type10MirroredBottomUp) {
  TgaFileLayout s{.imageType = 10, .width = 2, .height = 2, .pixelBits = 32, .descriptor = 0x18};
  s.data = {0x81, 1, 2, 3, 4, 0x01, 5, 6, 7, 8, 9, 10, 11, 12};
  Decoded d(ReadTgaImage, TgaFile(s));
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.Block(), (Bytes{9, 10, 11, 12, 5, 6, 7, 8, 1, 2, 3, 4, 1, 2, 3, 4}));
}

TEST(TgaReader, CompressedDataEndsBeforeTheFooter) {
  TgaFileLayout s{.imageType = 10, .width = 2, .height = 1, .pixelBits = 24, .descriptor = 0x20};
  s.data = {0x01, 1, 2, 3, 0x77};  // the second value is cut after one byte
  s.footer = true;
  {
    Decoded d(ReadTgaImage, TgaFile(s));
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.Block(), (Bytes{1, 2, 3, 0, 0, 0}));
  }
  // With a non-zero extension offset the footer does not count: its bytes are data.
  s.footerExtensionOffset = 0x55;
  Decoded d(ReadTgaImage, TgaFile(s));
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.Block(), (Bytes{1, 2, 3, 0x77, 0x55, 0}));
}

TEST(TgaReader, CompressedDataCutShortLeavesZeros) {
  TgaFileLayout s{.imageType = 10, .width = 3, .height = 1, .pixelBits = 16, .descriptor = 0x20};
  s.data = {0x82};  // a repeat packet without its value
  Decoded d(ReadTgaImage, TgaFile(s));
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.Block(), Bytes(6, 0));
}

// ---- declines ----

TgaFileLayout ValidTga() {
  TgaFileLayout s{.imageType = 2, .width = 1, .height = 1, .pixelBits = 24, .descriptor = 0x20};
  s.data = {1, 2, 3};
  return s;
}

TEST(TgaReader, TheBaseOfTheDeclineCasesDecodes) {
  // 21 bytes: shorter than a footer, so the file has none.
  const Bytes file = TgaFile(ValidTga());
  ASSERT_EQ(file.size(), 21u);
  Decoded d(ReadTgaImage, file);
  ASSERT_EQ(d.result, 0);
  EXPECT_EQ(d.Block(), (Bytes{1, 2, 3}));
}

// The file of base with one change is declined.
void ExpectDeclinedWith(const TgaFileLayout& base,
                        const std::function<void(TgaFileLayout&)>& change) {
  TgaFileLayout s = base;
  change(s);
  ExpectDeclined(ReadTgaImage, TgaFile(s));
}

TEST(TgaReader, DeclinesUnsupportedHeaders) {
  for (int type : {0, 3, 4, 8, 11, 32})
    ExpectDeclinedWith(ValidTga(), [&](TgaFileLayout& s) { s.imageType = type; });
  for (int bits : {0, 8, 15, 31, 48})
    ExpectDeclinedWith(ValidTga(), [&](TgaFileLayout& s) { s.pixelBits = bits; });
  ExpectDeclinedWith(ValidTga(), [](TgaFileLayout& s) { s.xOrigin = 1; });
  ExpectDeclinedWith(ValidTga(), [](TgaFileLayout& s) { s.yOrigin = 1; });
  ExpectDeclinedWith(ValidTga(), [](TgaFileLayout& s) { s.width = 0; });
  ExpectDeclinedWith(ValidTga(), [](TgaFileLayout& s) { s.height = 0; });
}

TEST(TgaReader, DeclinesBadColourMaps) {
  TgaFileLayout base{.imageType = 1,
                     .colourMapType = 1,
                     .mapLength = 1,
                     .mapEntryBits = 24,
                     .width = 1,
                     .height = 1,
                     .pixelBits = 8,
                     .descriptor = 0x20};
  base.map = {1, 2, 3};
  base.data = {0};
  {
    Decoded d(ReadTgaImage, TgaFile(base));
    EXPECT_EQ(d.result, 0);
  }
  ExpectDeclinedWith(base, [](TgaFileLayout& s) { s.pixelBits = 16; });  // indices are one byte
  ExpectDeclinedWith(base, [](TgaFileLayout& s) { s.mapFirst = 256; });  // first + length past 256
  ExpectDeclinedWith(base, [](TgaFileLayout& s) { s.mapFirst = 200, s.mapLength = 57; });
  ExpectDeclinedWith(base, [](TgaFileLayout& s) { s.mapEntryBits = 8; });
  ExpectDeclinedWith(base,
                     [](TgaFileLayout& s) { s.mapLength = 0, s.map.clear(); });  // nothing to read
}

TEST(TgaReader, DeclinesMissingData) {
  TgaFileLayout s = ValidTga();
  s.data.clear();
  ExpectDeclined(ReadTgaImage, TgaFile(s));
  s.imageType = 10;
  ExpectDeclined(ReadTgaImage, TgaFile(s));
  s.footer = true;  // only the footer follows the header
  ExpectDeclined(ReadTgaImage, TgaFile(s));
  ExpectDeclined(ReadTgaImage, {});
}

}  // namespace
}  // namespace zq::test
