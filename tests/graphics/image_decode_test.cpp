// Decoding pipeline: reader order and the user table, decoding files and memory with every
// reader, mirroring, bitmap mode, alpha companions, and failure paths without leaks.
#include "graphics/image/image_decode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/memory.h"
#include "graphics/image/graph_image_ops.h"
#include "graphics/image_reader_support.h"
#include "graphics/image_samples.h"
#include "graphics/pipeline_test_util.h"

namespace zq::gfx {
namespace {

using test::Bytes;
using test::NoLeakScope;
using test::TempDir;

// ---- hand-built files with known pixels (0x00RRGGBB) ----

// 3 x 2, 24 bits, bottom-up: the file's rows are 12 bytes (9 of pixels, 3 of padding).
const uint32_t kBmpColours[2][3] = {{0x0A141E, 0x28323C, 0x46505A}, {0x646E78, 0x828C96, 0xA0AAB4}};
Bytes Bmp24() {
  Bytes rows;
  for (int y = 1; y >= 0; --y) {  // bottom row first
    for (uint32_t c : kBmpColours[y]) {
      rows.push_back(uint8_t(c));
      rows.push_back(uint8_t(c >> 8));
      rows.push_back(uint8_t(c >> 16));
    }
    rows.insert(rows.end(), 3, 0);
  }
  return test::BmpFile({.bits = 24, .width = 3, .height = 2, .pixels = rows});
}

// 3 x 1, 8 bits, top-down, indices 2, 0, 1.
Bytes Bmp8() {
  return test::BmpFile({.bits = 8,
                        .width = 3,
                        .height = -1,
                        .palette = std::vector<uint32_t>(256, 0x000000),
                        .pixels = {2, 0, 1, 0}});
}
const uint32_t kBmp8Palette[3] = {0x102030, 0x405060, 0x708090};
Bytes Bmp8WithPalette() {
  Bytes file = Bmp8();
  for (int i = 0; i < 3; ++i) {  // colour table entries at 54 + 4i: blue, green, red, 0
    file[54 + 4 * i] = uint8_t(kBmp8Palette[i]);
    file[55 + 4 * i] = uint8_t(kBmp8Palette[i] >> 8);
    file[56 + 4 * i] = uint8_t(kBmp8Palette[i] >> 16);
  }
  return file;
}

// 2 x 1 raw BGRA, 8 bits a channel.
Bytes Bgra() {
  return test::BgraFile(0x08080808, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8});
}

// 2 x 2 true-colour TGA, 24 bits, bottom-up (descriptor 0).
Bytes Tga24() {
  return test::TgaFile({.width = 2,
                        .height = 2,
                        .data = {0x99, 0x88, 0x77, 0xCC, 0xBB, 0xAA,  // bottom row
                                 0x33, 0x22, 0x11, 0x66, 0x55, 0x44}});
}

// 1 x 1 DDS, 32-bit ARGB.
Bytes Dds32() {
  test::DdsFileLayout dds;
  dds.pixelFlags = 0x41;
  dds.masks[3] = 0xFF000000;
  dds.data = {0x10, 0x20, 0x30, 0x40};
  return test::DdsFile(dds);
}

GraphImage Patterned() {
  return test::PatternedImage();
}

// ---- a decoded image that releases itself ----

struct Image {
  ~Image() { ReleaseImageBuffers(&image); }
  uint32_t At(int x, int y) const { return GetGraphImagePixel(&image, x, y); }
  GraphImage image{};
};

// ---- user readers that record what they were given ----

struct Visit {
  int reader;
  int64_t position;
  bool emptyRecord;
};
std::vector<Visit> g_visits;

bool IsZero(const GraphImage& image) {
  const auto* p = reinterpret_cast<const uint8_t*>(&image);
  for (size_t i = 0; i < sizeof image; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

// Declines after moving the stream and scribbling on the record.
template <int kId>
int SpyReader(base::DataStream* stream, GraphImage* image) {
  g_visits.push_back({kId, stream->functions.Tell(stream->handle), IsZero(*image)});
  stream->functions.Seek(stream->handle, 7, 0);
  uint8_t scratch[3];
  stream->functions.Read(scratch, 1, sizeof scratch, stream->handle);
  image->Width = 999;
  image->Format.ColorBitDepth = 77;
  return -1;
}

// Takes any data: a 1 x 1 32-bit image of colour 0xCAFE01.
int AcceptAllReader(base::DataStream*, GraphImage* image) {
  g_visits.push_back({100, 0, IsZero(*image)});
  SetupColorDataFromMasks(&image->Format, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  image->Width = image->Height = 1;
  image->Pitch = 4;
  image->Pixels = ZQ_ALLOC(4);
  const uint32_t colour = 0xCAFE01;
  std::memcpy(image->Pixels, &colour, 4);
  return 0;
}

// Takes any data and delivers a format no conversion accepts (12 bits a pixel).
int OddFormatReader(base::DataStream*, GraphImage* image) {
  image->Format.ColorBitDepth = 12;
  image->Format.PixelByte = 2;
  image->Width = 2;
  image->Height = 2;
  image->Pitch = 4;
  image->Pixels = ZQ_CALLOC(8);
  return 0;
}

class ImageDecode : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.Ok());
    ClearUserImageReaders();
    g_visits.clear();
  }
  void TearDown() override { ClearUserImageReaders(); }
  TempDir dir;
  NoLeakScope noLeaks;
};

// ---- reader tables -----------------------------------------------------------------------------

TEST_F(ImageDecode, BuiltInReadersStandInTheirPlaces) {
  ASSERT_EQ(std::size(ImageReaderTable), 7u);
  EXPECT_EQ(ImageReaderTable[0], &ReadBmpImage);
  EXPECT_EQ(ImageReaderTable[1], &LoadJpegImage);
  EXPECT_EQ(ImageReaderTable[2], &LoadPngImage);
  EXPECT_EQ(ImageReaderTable[3], &ReadBgraImage);
  EXPECT_EQ(ImageReaderTable[4], &ReadTgaImage);
  EXPECT_EQ(ImageReaderTable[5], &ReadDdsImage);
  EXPECT_EQ(ImageReaderTable[6], nullptr);
}

TEST_F(ImageDecode, UserTableTakesSixteenReadersAndRefusesNull) {
  EXPECT_EQ(UserImageReaderTable.count, 0);
  EXPECT_EQ(AddUserImageReader(nullptr), -1);
  for (int i = 0; i < kUserImageReaderCapacity; ++i) EXPECT_EQ(AddUserImageReader(SpyReader<1>), 0);
  EXPECT_EQ(AddUserImageReader(SpyReader<2>), -1);
  EXPECT_EQ(UserImageReaderTable.count, kUserImageReaderCapacity);
  ClearUserImageReaders();
  EXPECT_EQ(UserImageReaderTable.count, 0);
}

TEST_F(ImageDecode, UserReadersGoFirstEachRewoundWithAnEmptyRecord) {
  ASSERT_EQ(AddUserImageReader(SpyReader<1>), 0);
  ASSERT_EQ(AddUserImageReader(SpyReader<2>), 0);
  const std::string path = dir.Write("picture.bmp", Bmp24());
  Image out;
  ASSERT_EQ(DecodeImageFile(path.c_str(), nullptr, 0, 0, &out.image, 0), 0);
  ASSERT_EQ(g_visits.size(), 2u);
  EXPECT_EQ(g_visits[0].reader, 1);
  EXPECT_EQ(g_visits[1].reader, 2);
  for (const Visit& v : g_visits) {
    EXPECT_EQ(v.position, 0);
    EXPECT_TRUE(v.emptyRecord);
  }
  // The BMP reader still got the whole file and a clean record after the spies' scribbles.
  EXPECT_EQ(out.image.Width, 3);
  EXPECT_EQ(out.image.Height, 2);
  EXPECT_EQ(out.image.Format.ColorBitDepth, 24);
  EXPECT_EQ(out.At(0, 0), kBmpColours[0][0]);
}

TEST_F(ImageDecode, AcceptingUserReaderWinsOverBuiltInOnes) {
  ASSERT_EQ(AddUserImageReader(SpyReader<1>), 0);
  ASSERT_EQ(AddUserImageReader(AcceptAllReader), 0);
  ASSERT_EQ(AddUserImageReader(SpyReader<3>), 0);
  const Bytes bmp = Bmp24();
  Image out;
  ASSERT_EQ(DecodeImageFile(nullptr, bmp.data(), bmp.size(), 1, &out.image, 0), 0);
  ASSERT_EQ(g_visits.size(), 2u);
  EXPECT_EQ(g_visits[1].reader, 100);
  EXPECT_TRUE(g_visits[1].emptyRecord);
  EXPECT_EQ(out.image.Width, 1);
  EXPECT_EQ(out.At(0, 0), 0xCAFE01u);
}

TEST_F(ImageDecode, DecodeByReadersLeavesAnEmptyRecordWhenNoneAccepts) {
  const Bytes junk = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  base::DataStream stream{*base::GetMemoryStreamFunctions(),
                          base::OpenMemoryStream(junk.data(), junk.size())};
  ASSERT_NE(stream.handle, nullptr);
  ASSERT_EQ(AddUserImageReader(SpyReader<1>), 0);
  GraphImage image = Patterned();
  EXPECT_EQ(DecodeImageByReaders(&stream, &image), -1);
  EXPECT_TRUE(IsZero(image));
  stream.functions.Close(stream.handle);
}

// ---- every reader through files and memory -----------------------------------------------------

TEST_F(ImageDecode, EachBuiltInFormatDecodesFromAFile) {
  struct Case {
    const char* name;
    Bytes bytes;
    int width, height, depth;
    uint32_t first, last;  // pixels (0, 0) and (width - 1, height - 1)
  };
  const Case cases[] = {
      {"a.bmp", Bmp24(), 3, 2, 24, kBmpColours[0][0], kBmpColours[1][2]},
      {"b.bgra", Bgra(), 2, 1, 32, 0x04030201, 0x08070605},
      {"c.tga", Tga24(), 2, 2, 24, 0x112233, 0xAABBCC},
      {"d.dds", Dds32(), 1, 1, 32, 0x40302010, 0x40302010},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.Write(c.name, c.bytes);
    Image out;
    ASSERT_EQ(DecodeImageFile(path.c_str(), nullptr, 0, 0, &out.image, 0), 0);
    EXPECT_EQ(out.image.Width, c.width);
    EXPECT_EQ(out.image.Height, c.height);
    EXPECT_EQ(out.image.Format.ColorBitDepth, c.depth);
    EXPECT_EQ(out.At(0, 0), c.first);
    EXPECT_EQ(out.At(c.width - 1, c.height - 1), c.last);
  }
}

TEST_F(ImageDecode, PngAndJpegDecodeThroughLoadImageFile) {
  const test::Pnm rgb = test::ReadPnm("png/rgb8.ppm");
  ASSERT_EQ(rgb.channels, 3);
  const std::string png = dir.Write("rgb.png", test::ReadBytes("png/rgb8.png"));
  Image image, alpha;
  ASSERT_EQ(LoadImageFile(png.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image.image, &alpha.image, 0),
            1);
  EXPECT_EQ(alpha.image.Pixels, nullptr);
  ASSERT_EQ(image.image.Width, rgb.width);
  ASSERT_EQ(image.image.Height, rgb.height);
  for (int y = 0; y < rgb.height; ++y) {
    for (int x = 0; x < rgb.width; ++x) {
      const uint32_t want = uint32_t(rgb.At(x, y, 0)) << 16 | uint32_t(rgb.At(x, y, 1)) << 8 |
                            uint32_t(rgb.At(x, y, 2));
      ASSERT_EQ(image.At(x, y), want) << x << "," << y;
    }
  }

  // A JPEG under a BMP name: the BMP reader declines, the stream is rewound for the JPEG one.
  const std::string jpeg = dir.Write("looks_like.bmp", test::ReadBytes("jpeg/gray.jpg"));
  Image grey, unused;
  ASSERT_EQ(
      LoadImageFile(jpeg.c_str(), nullptr, 0, 0, nullptr, 0, 0, &grey.image, &unused.image, 0), 1);
  EXPECT_EQ(grey.image.Width, 21);
  EXPECT_EQ(grey.image.Height, 13);
  EXPECT_EQ(grey.image.Format.ColorBitDepth, 8);
  EXPECT_EQ(grey.image.Format.Palette[200], 0xC8C8C8u);
}

TEST_F(ImageDecode, MirrorReversesEveryRowOfEveryPixelSize) {
  const Bytes bmp24 = Bmp24();
  Image wide;
  ASSERT_EQ(DecodeImageFile(nullptr, bmp24.data(), bmp24.size(), 1, &wide.image, 1), 0);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(wide.At(x, y), kBmpColours[y][2 - x]);
  }
  // The padding of the rows is carried, not lost: pitch stays the file's 12 bytes.
  EXPECT_EQ(wide.image.Pitch, 12);

  const Bytes bmp8 = Bmp8();
  Image narrow;
  ASSERT_EQ(DecodeImageFile(nullptr, bmp8.data(), bmp8.size(), 1, &narrow.image, 1), 0);
  const auto* row = static_cast<const uint8_t*>(narrow.image.Pixels);
  EXPECT_EQ(row[0], 1);
  EXPECT_EQ(row[1], 0);
  EXPECT_EQ(row[2], 2);

  const Bytes bgra = Bgra();
  Image four;
  ASSERT_EQ(DecodeImageFile(nullptr, bgra.data(), bgra.size(), 1, &four.image, 1), 0);
  EXPECT_EQ(four.At(0, 0), 0x08070605u);
  EXPECT_EQ(four.At(1, 0), 0x04030201u);
}

// ---- bitmap mode
// ---------------------------------------------------------------------------------

struct BitmapOut {
  ~BitmapOut() {
    base::TrackedFree(header);
    base::TrackedFree(rows);
  }
  platform::BITMAPINFO* header = nullptr;
  void* rows = nullptr;
  const uint8_t* Row(int y, int pitch) const {
    return static_cast<const uint8_t*>(rows) + y * pitch;
  }
};

TEST_F(ImageDecode, BitmapModeHandsOutHeaderAndRows) {
  const size_t before = base::TrackedBlockCount();
  {
    const std::string path = dir.Write("x.bmp", Bmp24());
    BitmapOut out;
    GraphImage untouched = Patterned();
    ASSERT_EQ(
        DecodeImageSource(path.c_str(), nullptr, 0, 0, 1, 0, &untouched, &out.header, &out.rows),
        0);
    EXPECT_TRUE(test::SameBytes(untouched, Patterned()));
    EXPECT_EQ(base::TrackedBlockCount(), before + 2);  // header and rows, nothing else
    const platform::BITMAPINFOHEADER& h = out.header->bmiHeader;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 3);
    EXPECT_EQ(h.biHeight, -2);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biCompression, platform::BI_RGB);
    const Bytes top(out.Row(0, 12), out.Row(0, 12) + 9);
    EXPECT_EQ(top, (Bytes{0x1E, 0x14, 0x0A, 0x3C, 0x32, 0x28, 0x5A, 0x50, 0x46}));
  }
  {
    // 13 pixels of 3 bytes: the rows become a padded copy, mirrored here.
    const Bytes png = test::ReadBytes("png/rgb8.png");
    const test::Pnm rgb = test::ReadPnm("png/rgb8.ppm");
    BitmapOut out;
    ASSERT_EQ(DecodeImageSource(nullptr, png.data(), png.size(), 1, 1, 1, nullptr, &out.header,
                                &out.rows),
              0);
    EXPECT_EQ(base::TrackedBlockCount(), before + 2);
    for (int y = 0; y < rgb.height; ++y) {
      for (int x = 0; x < rgb.width; ++x) {
        const uint8_t* p = out.Row(y, 40) + 3 * (rgb.width - 1 - x);
        ASSERT_EQ(p[2], rgb.At(x, y, 0));
        ASSERT_EQ(p[1], rgb.At(x, y, 1));
        ASSERT_EQ(p[0], rgb.At(x, y, 2));
      }
      EXPECT_EQ(out.Row(y, 40)[39], 0);  // padding
    }
  }
}

// ---- alpha companions
// ----------------------------------------------------------------------------

TEST_F(ImageDecode, CompanionNameInsertsBeforeTheLastDotOfTheWholePath) {
  char out[kCompanionNameSize];
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"data/ship.dat", "data/ship_a.dat"},
      {"data/ship", "data/ship_a"},
      {"title", "title_a"},
      {"old.v/ship", "old_a.v/ship"},
      {"a.b/c.d/e", "a.b/c_a.d/e"},
      {"pic.tar.png", "pic.tar_a.png"},
      {".hidden", "_a.hidden"},
      {"ends.", "ends_a."},
      {"", "_a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildAlphaCompanionName(c.path, out, sizeof out), 0) << c.path;
    EXPECT_STREQ(out, c.name);
  }
  EXPECT_EQ(BuildAlphaCompanionName(nullptr, out, sizeof out), -1);
}

TEST_F(ImageDecode, CompanionNameThatWouldNotFitIsRefusedNotCut) {
  char out[kCompanionNameSize];
  // 261 characters + "_a" + the terminating zero fill the 264 bytes exactly.
  const std::string fits = std::string(257, 'f') + ".png";
  ASSERT_EQ(fits.size(), 261u);
  ASSERT_EQ(BuildAlphaCompanionName(fits.c_str(), out, sizeof out), 0);
  EXPECT_EQ(std::string(out), std::string(257, 'f') + "_a.png");
  const std::string tooLong = std::string(258, 'f') + ".png";
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(BuildAlphaCompanionName(tooLong.c_str(), out, sizeof out), -1);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(BuildAlphaCompanionName("ab", out, 4), -1);  // "ab_a" needs 5 bytes with the zero
  EXPECT_EQ(BuildAlphaCompanionName("a", out, 4), 0);
  EXPECT_STREQ(out, "a_a");
}

TEST_F(ImageDecode, LoadImageFileFindsTheCompanionFile) {
  const std::string path = dir.Write("ship.bmp", Bmp24());
  dir.Write("ship_a.bmp", Bmp8WithPalette());
  Image image, alpha;
  ASSERT_EQ(
      LoadImageFile(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image.image, &alpha.image, 0), 0);
  EXPECT_EQ(image.image.Width, 3);
  EXPECT_EQ(alpha.image.Width, 3);
  EXPECT_EQ(alpha.image.Format.ColorBitDepth, 8);
  EXPECT_EQ(alpha.image.Format.Palette[2], kBmp8Palette[2]);
  EXPECT_EQ(static_cast<const uint8_t*>(alpha.image.Pixels)[0], 2);

  // Mirroring applies to both.
  Image mirrored, mirroredAlpha;
  ASSERT_EQ(LoadImageFile(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &mirrored.image,
                          &mirroredAlpha.image, 1),
            0);
  EXPECT_EQ(mirrored.At(0, 0), kBmpColours[0][2]);
  EXPECT_EQ(static_cast<const uint8_t*>(mirroredAlpha.image.Pixels)[0], 1);
}

TEST_F(ImageDecode, CompanionOfAPathWithADottedDirectory) {
  const std::string path = dir.Write("old.v/ship", Bmp24());
  dir.Write("old_a.v/ship", Bgra());
  Image image, alpha;
  ASSERT_EQ(
      LoadImageFile(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image.image, &alpha.image, 0), 0);
  EXPECT_EQ(alpha.image.Width, 2);
  EXPECT_EQ(alpha.At(0, 0), 0x04030201u);
}

TEST_F(ImageDecode, MissingOrBrokenCompanionLeavesTheAlphaRecordAlone) {
  const std::string path = dir.Write("solo.bmp", Bmp24());
  Image image;
  GraphImage alpha = Patterned();
  ASSERT_EQ(LoadImageFile(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image.image, &alpha, 0), 1);
  EXPECT_TRUE(test::SameBytes(alpha, Patterned()));
  EXPECT_EQ(image.image.Width, 3);

  const std::string broken = dir.Write("broken.bmp", Bmp24());
  dir.Write("broken_a.bmp", Bytes{'B', 'M', 1, 2, 3});
  Image image2;
  ASSERT_EQ(LoadImageFile(broken.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image2.image, &alpha, 0),
            1);
  EXPECT_TRUE(test::SameBytes(alpha, Patterned()));
}

TEST_F(ImageDecode, CompanionFromMemory) {
  const Bytes bmp = Bmp24();
  const Bytes bgra = Bgra();
  {
    Image image, alpha;
    ASSERT_EQ(LoadImageFile(nullptr, bmp.data(), bmp.size(), 1, bgra.data(), bgra.size(), 1,
                            &image.image, &alpha.image, 0),
              0);
    EXPECT_EQ(alpha.At(1, 0), 0x08070605u);
  }
  {
    // Memory flag with no data: no companion is tried.
    Image image;
    GraphImage alpha = Patterned();
    EXPECT_EQ(
        LoadImageFile(nullptr, bmp.data(), bmp.size(), 1, nullptr, 99, 1, &image.image, &alpha, 0),
        1);
    EXPECT_TRUE(test::SameBytes(alpha, Patterned()));
  }
  {
    // Another flag value means no companion either.
    Image image;
    GraphImage alpha = Patterned();
    EXPECT_EQ(LoadImageFile(nullptr, bmp.data(), bmp.size(), 1, bgra.data(), bgra.size(), 2,
                            &image.image, &alpha, 0),
              1);
    EXPECT_TRUE(test::SameBytes(alpha, Patterned()));
  }
}

TEST_F(ImageDecode, NoCompanionFileWithoutAPathOrAnAlphaRecord) {
  const Bytes bmp = Bmp24();
  Image image;
  GraphImage alpha = Patterned();
  EXPECT_EQ(
      LoadImageFile(nullptr, bmp.data(), bmp.size(), 1, nullptr, 0, 0, &image.image, &alpha, 0), 1);
  EXPECT_TRUE(test::SameBytes(alpha, Patterned()));

  const std::string path = dir.Write("p.bmp", bmp);
  dir.Write("p_a.bmp", bmp);
  Image image2;
  EXPECT_EQ(LoadImageFile(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image2.image, nullptr, 0),
            1);
}

TEST_F(ImageDecode, CompanionOfAPathTooLongForItsNameIsSkipped) {
  // Two nested directories make a real path whose companion name cannot fit; a companion cut
  // to 263 characters would be the decoy below.
  const std::string base = dir.Path("");
  const size_t room = 262 - base.size();  // path length 262 + "_a" + zero = 265 bytes
  ASSERT_GT(room, 20u);
  const std::string sub = std::string(room / 2, 'd') + "/";
  std::string name = sub + std::string(room - sub.size() - 4, 'n') + ".bmp";
  const std::string path = dir.Write(name, Bmp24());
  ASSERT_EQ(path.size(), 262u);
  std::string companion = path;
  companion.insert(path.size() - 4, "_a");
  dir.Write(companion.substr(base.size()), Bgra());
  dir.Write(companion.substr(base.size(), 263 - base.size()), Bgra());  // the cut name

  Image image;
  GraphImage alpha = Patterned();
  EXPECT_EQ(LoadImageFile(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image.image, &alpha, 0), 1);
  EXPECT_EQ(image.image.Width, 3);
  EXPECT_TRUE(test::SameBytes(alpha, Patterned()));

  // One character shorter fits, and the companion is found.
  name = sub + std::string(room - sub.size() - 5, 'n') + ".bmp";
  const std::string shorter = dir.Write(name, Bmp24());
  ASSERT_EQ(shorter.size(), 261u);
  companion = shorter;
  companion.insert(shorter.size() - 4, "_a");
  dir.Write(companion.substr(base.size()), Bgra());
  Image image2, alpha2;
  EXPECT_EQ(
      LoadImageFile(shorter.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image2.image, &alpha2.image, 0),
      0);
  EXPECT_EQ(alpha2.image.Width, 2);
}

// ---- failures
// --------------------------------------------------------------------------------------

TEST_F(ImageDecode, FailuresReturnMinusOneAndTouchNothing) {
  const Bytes junk = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::string junkPath = dir.Write("junk.bmp", junk);
  GraphImage image = Patterned();
  GraphImage alpha = Patterned();
  EXPECT_EQ(DecodeImageFile(dir.Path("missing.bmp").c_str(), nullptr, 0, 0, &image, 0), -1);
  EXPECT_EQ(DecodeImageFile(nullptr, nullptr, 0, 0, &image, 0), -1);
  EXPECT_EQ(DecodeImageFile(nullptr, nullptr, 10, 1, &image, 0), -1);
  EXPECT_EQ(DecodeImageFile(nullptr, junk.data(), 0, 1, &image, 0), -1);
  EXPECT_EQ(DecodeImageFile(nullptr, junk.data(), junk.size(), 1, &image, 1), -1);
  EXPECT_EQ(DecodeImageFile(junkPath.c_str(), nullptr, 0, 0, &image, 0), -1);
  EXPECT_EQ(DecodeImageFile(dir.Path("").c_str(), nullptr, 0, 0, &image, 0), -1);  // a directory
  EXPECT_EQ(LoadImageFile(junkPath.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0), -1);
  EXPECT_TRUE(test::SameBytes(image, Patterned()));
  EXPECT_TRUE(test::SameBytes(alpha, Patterned()));
  BitmapOut out;
  EXPECT_EQ(
      DecodeImageSource(junkPath.c_str(), nullptr, 0, 0, 1, 0, nullptr, &out.header, &out.rows),
      -1);
  EXPECT_EQ(out.header, nullptr);
  EXPECT_EQ(out.rows, nullptr);
}

TEST_F(ImageDecode, MirrorAndBitmapFailuresFreeEverything) {
  ASSERT_EQ(AddUserImageReader(OddFormatReader), 0);
  const Bytes any = {1, 2, 3};
  const std::string path = dir.Write("odd.img", any);
  GraphImage image = Patterned();
  // The mirroring conversion refuses a 12-bit format: the decoded block must go.
  EXPECT_EQ(DecodeImageFile(nullptr, any.data(), any.size(), 1, &image, 1), -1);
  EXPECT_EQ(DecodeImageFile(path.c_str(), nullptr, 0, 0, &image, 1), -1);
  EXPECT_TRUE(test::SameBytes(image, Patterned()));
  // So does the conversion to bitmap rows: the header block goes too.
  BitmapOut out;
  EXPECT_EQ(
      DecodeImageSource(nullptr, any.data(), any.size(), 1, 1, 0, nullptr, &out.header, &out.rows),
      -1);
  EXPECT_EQ(out.header, nullptr);
  // Without mirror the odd image itself is handed out as decoded.
  Image plain;
  EXPECT_EQ(DecodeImageFile(nullptr, any.data(), any.size(), 1, &plain.image, 0), 0);
  EXPECT_EQ(plain.image.Format.ColorBitDepth, 12);
}

// Every prefix and every inverted byte of one sample of each format, in each mode: decoded or
// refused, nothing leaked, nothing read out of bounds (the sanitizers watch).
TEST_F(ImageDecode, HostileBytesInEveryModeLeakNothing) {
  std::vector<Bytes> files = {Bmp24(),
                              Bgra(),
                              Tga24(),
                              Dds32(),
                              test::ReadBytes("png/gray2.png"),
                              test::ReadBytes("jpeg/gray.jpg")};
  for (const test::SampleFile& s : test::SampleFiles()) files.push_back(s.bytes);
  testing::internal::CaptureStderr();
  for (const Bytes& file : files) {
    ASSERT_FALSE(file.empty());
    auto run = [&](const Bytes& bytes) {
      for (int mode = 0; mode < 3; ++mode) {
        if (mode < 2) {
          Image out;
          const int r = DecodeImageFile(nullptr, bytes.data(), bytes.size(), 1, &out.image, mode);
          ASSERT_TRUE(r == 0 || r == -1);
          if (r == 0) {
            ASSERT_GE(out.image.Pitch, out.image.Width * out.image.Format.PixelByte);
          }
        } else {
          BitmapOut out;
          const int r = DecodeImageSource(nullptr, bytes.data(), bytes.size(), 1, 1, 1, nullptr,
                                          &out.header, &out.rows);
          ASSERT_TRUE(r == 0 || r == -1);
          ASSERT_EQ(r == 0, out.rows != nullptr);
        }
      }
    };
    for (size_t n = 0; n < file.size(); n += 1 + n / 64) {
      run(Bytes(file.begin(), file.begin() + ptrdiff_t(n)));
    }
    Bytes damaged = file;
    for (size_t at = 0; at < file.size(); at += 1 + at / 64) {
      damaged[at] = uint8_t(~file[at]);
      run(damaged);
      damaged[at] = file[at];
    }
  }
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace zq::gfx
