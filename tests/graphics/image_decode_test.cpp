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
#include "graphics/pipeline_test_util.h"

namespace zq::gfx {
namespace {

using test::Bytes;

// ---- hand-built files with known pixels (0x00RRGGBB) ----

// 3 x 2, 24 bits, bottom-up: the file's rows are 12 bytes (9 of pixels, 3 of padding).
const uint32_t kBmpColours[2][3] = {{0x0A141E, 0x28323C, 0x46505A}, {0x646E78, 0x828C96, 0xA0AAB4}};
Bytes Bmp24() {
  Bytes rows;
  for (int y = 1; y >= 0; --y) {  // bottom row first
    for (uint32_t c : kBmpColours[y])
      rows.insert(rows.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    rows.insert(rows.end(), 3, 0);
  }
  return test::BmpFile({.bits = 24, .width = 3, .height = 2, .pixels = rows});
}

// 3 x 1, 8 bits, top-down, indices 2, 0, 1.
const std::vector<uint32_t> kBmp8Palette = {0x102030, 0x405060, 0x708090};
Bytes Bmp8(std::vector<uint32_t> palette = {}) {
  palette.resize(256, 0);
  return test::BmpFile(
      {.bits = 8, .width = 3, .height = -1, .palette = palette, .pixels = {2, 0, 1, 0}});
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
  return test::DdsFile({.pixelFlags = 0x41,
                        .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                        .data = {0x10, 0x20, 0x30, 0x40}});
}

const GraphImage kPatterned = test::PatternedImage();

// ---- a decoded image that releases itself ----

struct Image {
  ~Image() { ReleaseImageBuffers(&image); }
  uint32_t At(int x, int y) const { return GetGraphImagePixel(&image, x, y); }
  uint8_t Byte(int i) const { return static_cast<const uint8_t*>(image.Pixels)[i]; }
  GraphImage image{};
};

// LoadImageFile on a file, with no memory source.
int Load(const std::string& path, Image& image, GraphImage* alpha, int mirror = 0) {
  return LoadImageFile(path.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image.image, alpha, mirror);
}

// ---- user readers that record what they were given ----

struct Visit {
  int reader;
  int64_t position;
  bool emptyRecord;
};
std::vector<Visit> g_visits;

bool IsZero(const GraphImage& image) {
  static const GraphImage zero{};  // static: its padding is zero too
  return std::memcmp(&image, &zero, sizeof image) == 0;
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
  image->Width = image->Height = 2;
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
  test::TempDir dir;
  test::NoLeakScope noLeaks;
};

// ---- reader tables -----------------------------------------------------------------------------

TEST_F(ImageDecode, BuiltInAndUserReaderTables) {
  ASSERT_EQ(std::size(ImageReaderTable), 7u);
  const ImageReader builtIn[] = {&ReadBmpImage, &LoadJpegImage, &LoadPngImage, &ReadBgraImage,
                                 &ReadTgaImage, &ReadDdsImage,  nullptr};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(ImageReaderTable[i], builtIn[i]) << i;
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
  Image out;
  ASSERT_EQ(
      DecodeImageFile(dir.Write("picture.bmp", Bmp24()).c_str(), nullptr, 0, 0, &out.image, 0), 0);
  ASSERT_EQ(g_visits.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(g_visits[i].reader, i + 1);
    EXPECT_EQ(g_visits[i].position, 0);
    EXPECT_TRUE(g_visits[i].emptyRecord);
  }
  // The BMP reader still got the whole file and a clean record after the spies' scribbles.
  EXPECT_EQ(std::tuple(out.image.Width, out.image.Height, int(out.image.Format.ColorBitDepth)),
            std::tuple(3, 2, 24));
  EXPECT_EQ(out.At(0, 0), kBmpColours[0][0]);

  // An accepting user reader wins over the built-in ones and the readers after it.
  ClearUserImageReaders();
  g_visits.clear();
  ASSERT_EQ(AddUserImageReader(SpyReader<1>), 0);
  ASSERT_EQ(AddUserImageReader(AcceptAllReader), 0);
  ASSERT_EQ(AddUserImageReader(SpyReader<3>), 0);
  const Bytes bmp = Bmp24();
  Image accepted;
  ASSERT_EQ(DecodeImageFile(nullptr, bmp.data(), bmp.size(), 1, &accepted.image, 0), 0);
  ASSERT_EQ(g_visits.size(), 2u);
  EXPECT_EQ(g_visits[1].reader, 100);
  EXPECT_TRUE(g_visits[1].emptyRecord);
  EXPECT_EQ(accepted.image.Width, 1);
  EXPECT_EQ(accepted.At(0, 0), 0xCAFE01u);
}

TEST_F(ImageDecode, DecodeByReadersLeavesAnEmptyRecordWhenNoneAccepts) {
  const Bytes junk(12, 'j');
  base::DataStream stream{*base::GetMemoryStreamFunctions(),
                          base::OpenMemoryStream(junk.data(), junk.size())};
  ASSERT_NE(stream.handle, nullptr);
  ASSERT_EQ(AddUserImageReader(SpyReader<1>), 0);
  GraphImage image = kPatterned;
  EXPECT_EQ(DecodeImageByReaders(&stream, &image), -1);
  EXPECT_TRUE(IsZero(image));
  stream.functions.Close(stream.handle);
}

// ---- every reader through files and memory -----------------------------------------------------

// Each format through LoadImageFile with no companion (result 1). A JPEG under a BMP name: the
// BMP reader declines, the stream is rewound for the JPEG one.
TEST_F(ImageDecode, EachBuiltInFormatDecodesFromAFile) {
  const test::Pnm rgb = test::ReadPnm("png/rgb8.ppm");
  const struct {
    const char* name;
    Bytes bytes;
    int width, height, depth;
    uint32_t first, last;  // pixels (0, 0) and (width - 1, height - 1)
  } cases[] = {
      {"a.bmp", Bmp24(), 3, 2, 24, kBmpColours[0][0], kBmpColours[1][2]},
      {"b.bgra", Bgra(), 2, 1, 32, 0x04030201, 0x08070605},
      {"c.tga", Tga24(), 2, 2, 24, 0x112233, 0xAABBCC},
      {"d.dds", Dds32(), 1, 1, 32, 0x40302010, 0x40302010},
      {"e.png", test::ReadBytes("png/rgb8.png"), rgb.width, rgb.height, 24, rgb.Rgb(0, 0),
       rgb.Rgb(rgb.width - 1, rgb.height - 1)},
      {"looks_like.bmp", test::ReadBytes("jpeg/gray.jpg"), 21, 13, 8, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Image out, alpha;
    ASSERT_EQ(Load(dir.Write(c.name, c.bytes), out, &alpha.image), 1);
    EXPECT_EQ(alpha.image.Pixels, nullptr);
    EXPECT_EQ(std::tuple(out.image.Width, out.image.Height, int(out.image.Format.ColorBitDepth)),
              std::tuple(c.width, c.height, c.depth));
    if (c.depth == 8) {  // lossy: its grey ramp only
      EXPECT_EQ(out.image.Format.Palette[200], 0xC8C8C8u);
      continue;
    }
    EXPECT_EQ(out.At(0, 0), c.first);
    EXPECT_EQ(out.At(c.width - 1, c.height - 1), c.last);
  }
}

// ---- bitmap mode ----

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
    BitmapOut out;
    GraphImage untouched = kPatterned;
    ASSERT_EQ(DecodeImageSource(dir.Write("x.bmp", Bmp24()).c_str(), nullptr, 0, 0, 1, 0,
                                &untouched, &out.header, &out.rows),
              0);
    EXPECT_TRUE(test::SameBytes(untouched, kPatterned));
    EXPECT_EQ(base::TrackedBlockCount(), before + 2);  // header and rows, nothing else
    const platform::BITMAPINFOHEADER& h = out.header->bmiHeader;
    EXPECT_EQ(std::tuple(h.biSize, h.biWidth, h.biHeight, int(h.biBitCount), h.biCompression),
              std::tuple(40u, 3, -2, 24, uint32_t(platform::BI_RGB)));
    EXPECT_EQ(Bytes(out.Row(0, 12), out.Row(0, 12) + 9),
              (Bytes{0x1E, 0x14, 0x0A, 0x3C, 0x32, 0x28, 0x5A, 0x50, 0x46}));
  }
  // 13 pixels of 3 bytes: the rows become a padded copy, mirrored here.
  const Bytes png = test::ReadBytes("png/rgb8.png");
  const test::Pnm rgb = test::ReadPnm("png/rgb8.ppm");
  BitmapOut out;
  ASSERT_EQ(
      DecodeImageSource(nullptr, png.data(), png.size(), 1, 1, 1, nullptr, &out.header, &out.rows),
      0);
  EXPECT_EQ(base::TrackedBlockCount(), before + 2);
  for (int y = 0; y < rgb.height; ++y) {
    for (int x = 0; x < rgb.width; ++x) {
      const uint8_t* p = out.Row(y, 40) + 3 * (rgb.width - 1 - x);
      ASSERT_EQ(uint32_t(p[2]) << 16 | p[1] << 8 | p[0], rgb.Rgb(x, y));
    }
    EXPECT_EQ(out.Row(y, 40)[39], 0);  // padding
  }
}

// ---- alpha companions ----

TEST_F(ImageDecode, CompanionNameInsertsBeforeTheLastDotOrIsRefused) {
  char out[kCompanionNameSize];
  // 261 characters + "_a" + the terminating zero fill the 264 bytes exactly.
  const std::string fits = std::string(257, 'f') + ".png", tooLong = std::string(258, 'f') + ".png";
  const std::string fitsName = std::string(257, 'f') + "_a.png";
  const struct {
    const char* path;
    const char* name;  // null: refused, leaving an empty string
    size_t size = kCompanionNameSize;
  } cases[] = {
      // clang-format off
      {"data/ship.dat", "data/ship_a.dat"}, {"data/ship", "data/ship_a"}, {"title", "title_a"},
      {"old.v/ship", "old_a.v/ship"}, {"a.b/c.d/e", "a.b/c_a.d/e"},
      {"pic.tar.png", "pic.tar_a.png"}, {".hidden", "_a.hidden"}, {"ends.", "ends_a."}, {"", "_a"},
      {fits.c_str(), fitsName.c_str()}, {tooLong.c_str(), nullptr},
      {"ab", nullptr, 4}, {"a", "a_a", 4},  // "ab_a" needs 5 bytes with the zero
      // clang-format on
  };
  for (const auto& c : cases) {
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(BuildAlphaCompanionName(c.path, out, c.size), c.name ? 0 : -1) << c.path;
    EXPECT_STREQ(out, c.name ? c.name : "");
  }
  EXPECT_EQ(BuildAlphaCompanionName(nullptr, out, sizeof out), -1);
}

TEST_F(ImageDecode, LoadImageFileFindsTheCompanionFile) {
  const std::string path = dir.Write("ship.bmp", Bmp24());
  dir.Write("ship_a.bmp", Bmp8(kBmp8Palette));
  Image image, alpha, mirrored, mirroredAlpha;
  ASSERT_EQ(Load(path, image, &alpha.image), 0);
  EXPECT_EQ(image.image.Width, 3);
  EXPECT_EQ(std::tuple(alpha.image.Width, int(alpha.image.Format.ColorBitDepth)), std::tuple(3, 8));
  EXPECT_EQ(alpha.image.Format.Palette[2], kBmp8Palette[2]);
  EXPECT_EQ(alpha.Byte(0), 2);
  // Mirroring applies to both.
  ASSERT_EQ(Load(path, mirrored, &mirroredAlpha.image, 1), 0);
  EXPECT_EQ(mirrored.At(0, 0), kBmpColours[0][2]);
  EXPECT_EQ(mirroredAlpha.Byte(0), 1);
  // A dotted directory takes the name.
  dir.Write("old_a.v/ship", Bgra());
  Image dotted, dottedAlpha;
  ASSERT_EQ(Load(dir.Write("old.v/ship", Bmp24()), dotted, &dottedAlpha.image), 0);
  EXPECT_EQ(dottedAlpha.At(0, 0), 0x04030201u);
}

TEST_F(ImageDecode, NoCompanionLeavesTheAlphaRecordAlone) {
  const Bytes bmp = Bmp24(), bgra = Bgra();
  dir.Write("broken_a.bmp", Bytes{'B', 'M', 1, 2, 3});
  dir.Write("p_a.bmp", bmp);
  for (const char* name : {"solo.bmp", "broken.bmp"}) {  // missing, undecodable
    Image image;
    GraphImage alpha = kPatterned;
    ASSERT_EQ(Load(dir.Write(name, bmp), image, &alpha), 1) << name;
    EXPECT_EQ(image.image.Width, 3);
    EXPECT_TRUE(test::SameBytes(alpha, kPatterned));
  }
  Image noRecord;
  EXPECT_EQ(Load(dir.Write("p.bmp", bmp), noRecord, nullptr), 1);
  {
    Image image, alpha;
    ASSERT_EQ(LoadImageFile(nullptr, bmp.data(), bmp.size(), 1, bgra.data(), bgra.size(), 1,
                            &image.image, &alpha.image, 0),
              0);
    EXPECT_EQ(alpha.At(1, 0), 0x08070605u);
  }
  // From memory: no companion without its data, nor for another flag value, nor without a path.
  const struct {
    const uint8_t* data;
    size_t size;
    int flag;
  } memory[] = {{nullptr, 99, 1}, {bgra.data(), bgra.size(), 2}, {nullptr, 0, 0}};
  for (const auto& m : memory) {
    Image image;
    GraphImage alpha = kPatterned;
    EXPECT_EQ(LoadImageFile(nullptr, bmp.data(), bmp.size(), 1, m.data, m.size, m.flag,
                            &image.image, &alpha, 0),
              1);
    EXPECT_TRUE(test::SameBytes(alpha, kPatterned));
  }
}

TEST_F(ImageDecode, CompanionOfAPathTooLongForItsNameIsSkipped) {
  // Two nested directories make a real path whose companion name cannot fit; a companion cut
  // to 263 characters would be the decoy. One character shorter fits, and the companion is found.
  const std::string base = dir.Path("");
  const size_t room = 262 - base.size();  // path length 262 + "_a" + zero = 265 bytes
  ASSERT_GT(room, 20u);
  const std::string sub = std::string(room / 2, 'd') + "/";
  for (size_t length : {262u, 261u}) {
    const std::string path =
        dir.Write(sub + std::string(room - sub.size() - 4 - (262 - length), 'n') + ".bmp", Bmp24());
    ASSERT_EQ(path.size(), length);
    std::string companion = path;
    companion.insert(path.size() - 4, "_a");
    dir.Write(companion.substr(base.size()), Bgra());
    dir.Write(companion.substr(base.size(), 263 - base.size()), Bgra());  // the cut name
    Image image;
    GraphImage alpha = kPatterned;
    EXPECT_EQ(Load(path, image, &alpha), length == 262 ? 1 : 0);
    EXPECT_EQ(image.image.Width, 3);
    EXPECT_TRUE(length == 261 ? alpha.Width == 2 : test::SameBytes(alpha, kPatterned));
    if (length == 261) ReleaseImageBuffers(&alpha);
  }
}

// ---- failures ----

TEST_F(ImageDecode, FailuresReturnMinusOneAndTouchNothing) {
  const Bytes junk = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::string junkPath = dir.Write("junk.bmp", junk);
  GraphImage image = kPatterned, alpha = kPatterned;
  EXPECT_EQ(DecodeImageFile(dir.Path("missing.bmp").c_str(), nullptr, 0, 0, &image, 0), -1);
  EXPECT_EQ(DecodeImageFile(nullptr, nullptr, 0, 0, &image, 0), -1);
  EXPECT_EQ(DecodeImageFile(nullptr, nullptr, 10, 1, &image, 0), -1);
  EXPECT_EQ(DecodeImageFile(nullptr, junk.data(), 0, 1, &image, 0), -1);
  EXPECT_EQ(DecodeImageFile(nullptr, junk.data(), junk.size(), 1, &image, 1), -1);
  EXPECT_EQ(DecodeImageFile(junkPath.c_str(), nullptr, 0, 0, &image, 0), -1);
  EXPECT_EQ(DecodeImageFile(dir.Path("").c_str(), nullptr, 0, 0, &image, 0), -1);  // a directory
  EXPECT_EQ(LoadImageFile(junkPath.c_str(), nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0), -1);
  EXPECT_TRUE(test::SameBytes(image, kPatterned));
  EXPECT_TRUE(test::SameBytes(alpha, kPatterned));
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
  GraphImage image = kPatterned;
  // The mirroring conversion refuses a 12-bit format: the decoded block must go.
  EXPECT_EQ(DecodeImageFile(nullptr, any.data(), any.size(), 1, &image, 1), -1);
  EXPECT_EQ(DecodeImageFile(dir.Write("odd.img", any).c_str(), nullptr, 0, 0, &image, 1), -1);
  EXPECT_TRUE(test::SameBytes(image, kPatterned));
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

// Prefixes and inverted bytes of one sample of each format, in each mode: decoded or refused,
// nothing leaked, nothing read out of bounds (the sanitizers watch).
TEST_F(ImageDecode, HostileBytesInEveryModeLeakNothing) {
  std::vector<Bytes> files = {test::ReadBytes("png/gray2.png"), test::ReadBytes("jpeg/gray.jpg")};
  for (const test::SampleFile& s : test::SampleFiles()) files.push_back(s.bytes);
  testing::internal::CaptureStderr();
  auto run = [](const Bytes& bytes) {
    for (int mirror = 0; mirror < 2; ++mirror) {
      Image out;
      const int r = DecodeImageFile(nullptr, bytes.data(), bytes.size(), 1, &out.image, mirror);
      ASSERT_TRUE(r == 0 || r == -1);
      ASSERT_TRUE(r != 0 || out.image.Pitch >= out.image.Width * out.image.Format.PixelByte);
    }
    BitmapOut out;
    const int r = DecodeImageSource(nullptr, bytes.data(), bytes.size(), 1, 1, 1, nullptr,
                                    &out.header, &out.rows);
    ASSERT_TRUE(r == 0 || r == -1);
    ASSERT_EQ(r == 0, out.rows != nullptr);
  };
  for (const Bytes& file : files) {
    ASSERT_FALSE(file.empty());
    for (size_t n = 0; n < file.size(); n += 1 + n / 64)
      run(Bytes(file.begin(), file.begin() + ptrdiff_t(n)));
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
