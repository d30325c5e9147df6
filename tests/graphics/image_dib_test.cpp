// Decoded images as device-independent-bitmap rows (ConvertImageFormat) and such rows as DIB
// sections (ConvertImageToDIB), read back through the GDI stand-in.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <tuple>
#include <vector>

#include "base/memory.h"
#include "graphics/image/image_decode.h"
#include "graphics/pipeline_test_util.h"
#include "platform/gdi/bitmap.h"

namespace zq::gfx {
namespace {

using Bytes = std::vector<uint8_t>;

// An image over a tracked block filled with the given bytes (row after row, pitch apart).
struct TestImage {
  TestImage(const ColorData& format, int width, int height, int pitch, const Bytes& bytes) {
    image.Format = format;
    image.Width = width;
    image.Height = height;
    image.Pitch = pitch;
    image.Pixels = ZQ_CALLOC(size_t(pitch) * size_t(height));
    std::memcpy(image.Pixels, bytes.data(), std::min(bytes.size(), size_t(pitch) * height));
  }
  ~TestImage() { ReleaseImageBuffers(&image); }
  GraphImage image{};
};

ColorData Pal8() {
  ColorData f{};
  SetupColorDataPal8(&f);
  for (int i = 0; i < 256; ++i) f.Palette[i] = uint32_t(i) * 0x010203u & 0xFFFFFF;
  return f;
}
ColorData Rgb24() {
  ColorData f{};
  SetupColorDataRGB24(&f);
  return f;
}
ColorData Masks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorData f{};
  SetupColorDataFromMasks(&f, depth, r, g, b, a);
  return f;
}

// Rows handed out by ConvertImageFormat; freed when they are a copy.
struct Rows {
  explicit Rows(const GraphImage& image, int forceCopy = 0, int force24 = 0) : source(image) {
    std::memset(&header, 0xCD, sizeof header);  // shows what is zeroed
    result = ConvertImageFormat(&image, &header, &rows, forceCopy, force24);
  }
  ~Rows() {
    if (result == 1) base::TrackedFree(rows);
  }
  const uint8_t* Row(int y, int pitch) const {
    return static_cast<const uint8_t*>(rows) + y * pitch;
  }
  const GraphImage& source;
  platform::BITMAPINFO header;
  void* rows = nullptr;
  int result = -2;
};

void ExpectHeader(const platform::BITMAPINFOHEADER& h, int width, int height, int bits) {
  // Size, width, height (negative: top-down), planes, bit count.
  EXPECT_EQ(std::tuple(h.biSize, h.biWidth, h.biHeight, int(h.biPlanes), int(h.biBitCount)),
            std::tuple(40u, width, -height, 1, bits));
  // Compression, image size, resolutions and colour counts are all zero.
  EXPECT_EQ(std::tuple(h.biCompression, h.biSizeImage, h.biXPelsPerMeter, h.biYPelsPerMeter,
                       h.biClrUsed, h.biClrImportant),
            std::tuple(0u, 0u, 0, 0, 0u, 0u));
}

Bytes Sequence(size_t n, int start = 1) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(start + 7 * i);
  return b;
}

class ImageDib : public testing::Test {
  test::NoLeakScope noLeaks;
};

// ---- ConvertImageFormat
// ---------------------------------------------------------------------------

TEST_F(ImageDib, PalettisedRowsAreSharedWhenTheirPitchIsAlreadyPadded) {
  TestImage img(Pal8(), 8, 2, 8, Sequence(16));
  Rows out(img.image);
  ASSERT_EQ(out.result, 0);
  EXPECT_EQ(out.rows, img.image.Pixels);
  ExpectHeader(out.header.bmiHeader, 8, 2, 8);
  EXPECT_EQ(std::memcmp(out.header.bmiColors, img.image.Format.Palette, 1024), 0);

  Rows copy(img.image, 1);
  ASSERT_EQ(copy.result, 1);
  EXPECT_NE(copy.rows, img.image.Pixels);
  EXPECT_EQ(std::memcmp(copy.rows, img.image.Pixels, 16), 0);
}

TEST_F(ImageDib, PalettisedRowsOfAnUnpaddedPitchAreCopiedPadded) {
  const Bytes bytes = Sequence(12);
  TestImage img(Pal8(), 6, 2, 6, bytes);
  Rows out(img.image);
  ASSERT_EQ(out.result, 1);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(Bytes(out.Row(y, 8), out.Row(y, 8) + 8),
              (Bytes{bytes[6 * y], bytes[6 * y + 1], bytes[6 * y + 2], bytes[6 * y + 3],
                     bytes[6 * y + 4], bytes[6 * y + 5], 0, 0}));
  }
  // A wider pitch that happens to be the padded one is shared as it is.
  TestImage wide(Pal8(), 6, 2, 8, Sequence(16));
  Rows shared(wide.image);
  EXPECT_EQ(shared.result, 0);
}

TEST_F(ImageDib, RgbRowsAreSharedOrCopiedByPitch) {
  TestImage five(Rgb24(), 5, 2, 15, Sequence(30));
  Rows out(five.image);
  ASSERT_EQ(out.result, 1);
  ExpectHeader(out.header.bmiHeader, 5, 2, 24);
  for (int y = 0; y < 2; ++y) {
    const auto* src = static_cast<const uint8_t*>(five.image.Pixels) + 15 * y;
    EXPECT_EQ(Bytes(out.Row(y, 16), out.Row(y, 16) + 15), Bytes(src, src + 15));
    EXPECT_EQ(out.Row(y, 16)[15], 0);
  }
  // Colour table entry 0 lies inside the 44 bytes that are zeroed.
  EXPECT_EQ(out.header.bmiColors[0].rgbBlue, 0);
  EXPECT_EQ(out.header.bmiColors[0].rgbReserved, 0);

  TestImage four(Rgb24(), 4, 3, 12, Sequence(36));
  Rows shared(four.image);
  EXPECT_EQ(shared.result, 0);
  EXPECT_EQ(shared.rows, four.image.Pixels);
  Rows forced(four.image, 1);
  EXPECT_EQ(forced.result, 1);
  EXPECT_EQ(std::memcmp(forced.rows, four.image.Pixels, 36), 0);
}

// Each other format becomes blue-green-red bytes; expectations from the widening rule
// floor(v * 255 / (2^width - 1)).
uint8_t Widen(uint32_t v, int width) {
  return uint8_t(v * 255 / ((1u << width) - 1));
}

TEST_F(ImageDib, OtherFormatsConvertToRgbRows) {
  {
    // Forced 24 bits from a palette: each index becomes its colour.
    TestImage img(Pal8(), 3, 1, 3, {5, 0, 255});
    Rows out(img.image, 0, 1);
    ASSERT_EQ(out.result, 1);
    ExpectHeader(out.header.bmiHeader, 3, 1, 24);
    Bytes want;
    for (int index : {5, 0, 255}) {
      const uint32_t c = img.image.Format.Palette[index];
      want.insert(want.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    }
    want.insert(want.end(), 3, 0);
    EXPECT_EQ(Bytes(out.Row(0, 12), out.Row(0, 12) + 12), want);
  }
  {
    // 32-bit ARGB: alpha is dropped.
    TestImage img(Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), 2, 1, 8,
                  {0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB, 0xCC, 0xDD});
    Rows out(img.image);
    ASSERT_EQ(out.result, 1);
    EXPECT_EQ(Bytes(out.Row(0, 8), out.Row(0, 8) + 8),
              (Bytes{0x11, 0x22, 0x33, 0xAA, 0xBB, 0xCC, 0, 0}));
  }
  {
    // X1R5G5B5 and R5G6B5.
    const uint16_t p555[2] = {uint16_t(31 << 10 | 16 << 5 | 1), uint16_t(0x8000 | 7 << 10 | 30)};
    Bytes bytes(4);
    std::memcpy(bytes.data(), p555, 4);
    TestImage img(Masks(16, 0x7C00, 0x03E0, 0x001F, 0), 2, 1, 4, bytes);
    Rows out(img.image);
    ASSERT_EQ(out.result, 1);
    EXPECT_EQ(Bytes(out.Row(0, 8), out.Row(0, 8) + 6),
              (Bytes{Widen(1, 5), Widen(16, 5), 255, Widen(30, 5), 0, Widen(7, 5)}));
    EXPECT_EQ(Bytes(out.Row(0, 8), out.Row(0, 8) + 6),
              (Bytes{8, 131, 255, 246, 0, 57}));  // the same worked by hand

    const uint16_t p565 = uint16_t(3 << 11 | 32 << 5 | 31);
    std::memcpy(bytes.data(), &p565, 2);
    TestImage img565(Masks(16, 0xF800, 0x07E0, 0x001F, 0), 1, 1, 2, bytes);
    Rows out565(img565.image);
    ASSERT_EQ(out565.result, 1);
    EXPECT_EQ(Bytes(out565.Row(0, 4), out565.Row(0, 4) + 3),
              (Bytes{255, Widen(32, 6), Widen(3, 5)}));
  }
  {
    // 24 bits with red and blue swapped is not the bitmap layout: converted, not shared.
    TestImage img(Masks(24, 0xFF, 0xFF00, 0xFF0000, 0), 1, 1, 4, {0x01, 0x02, 0x03});
    Rows out(img.image);
    ASSERT_EQ(out.result, 1);
    EXPECT_EQ(Bytes(out.Row(0, 4), out.Row(0, 4) + 3), (Bytes{0x03, 0x02, 0x01}));
  }
}

TEST_F(ImageDib, UnconvertibleImagesAreRefused) {
  platform::BITMAPINFO header{};
  void* rows = reinterpret_cast<void*>(0x1);
  GraphImage empty{};
  EXPECT_EQ(ConvertImageFormat(&empty, &header, &rows, 0, 0), -1);
  EXPECT_EQ(rows, reinterpret_cast<void*>(0x1));

  TestImage narrowPitch(Rgb24(), 4, 1, 11, Sequence(11));
  EXPECT_EQ(ConvertImageFormat(&narrowPitch.image, &header, &rows, 0, 0), -1);

  // A format the converter has no rule for.
  TestImage odd(Masks(16, 0x7C00, 0x03E0, 0x001F, 0), 2, 1, 4, Sequence(4));
  odd.image.Format.ColorBitDepth = 12;
  EXPECT_EQ(ConvertImageFormat(&odd.image, &header, &rows, 0, 0), -1);

  // Rows beyond the block limit are refused before anything is read or allocated: the image
  // claims 65535 x 65535 pixels over a tiny block.
  TestImage huge(Masks(32, 0xFF0000, 0xFF00, 0xFF, 0), 1, 1, 4, Sequence(4));
  huge.image.Width = huge.image.Height = 65535;
  huge.image.Pitch = 65535 * 4;
  EXPECT_EQ(ConvertImageFormat(&huge.image, &header, &rows, 0, 0), -1);
  huge.image.Width = huge.image.Height = 1;
  EXPECT_EQ(rows, reinterpret_cast<void*>(0x1));
}

// ---- ConvertImageToDIB
// ------------------------------------------------------------------------------

struct Section {
  explicit Section(platform::HBITMAP b) : bitmap(b) {
    if (bitmap != nullptr) {
      EXPECT_EQ(platform::GetObjectA(bitmap, sizeof info, &info), int32_t(sizeof info));
    }
  }
  ~Section() {
    if (bitmap != nullptr) {
      EXPECT_TRUE(platform::DeleteObject(bitmap));
    }
  }
  Bytes Row(int y, size_t n) const {
    const auto* p = static_cast<const uint8_t*>(info.bmBits) + size_t(y) * info.bmWidthBytes;
    return Bytes(p, p + n);
  }
  platform::HBITMAP bitmap;
  platform::BITMAP info{};
};

// 3 x 2 blue-green-red rows, 12 bytes a row.
const Bytes kRgbRows = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                        11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};

TEST_F(ImageDib, RgbRowsBecomeATopDownSectionMirroredOnRequest) {
  TestImage img(Rgb24(), 3, 2, 12, kRgbRows);
  Rows rows(img.image);
  ASSERT_EQ(rows.result, 0);

  Section plain(ConvertImageToDIB(&rows.header, rows.rows, 0, nullptr));
  ASSERT_NE(plain.bitmap, nullptr);
  EXPECT_EQ(plain.info.bmWidth, 3);
  EXPECT_EQ(plain.info.bmHeight, 2);
  EXPECT_EQ(plain.info.bmBitsPixel, 24);
  EXPECT_EQ(plain.info.bmWidthBytes, 12);
  EXPECT_EQ(plain.Row(0, 9), Bytes(kRgbRows.begin(), kRgbRows.begin() + 9));
  EXPECT_EQ(plain.Row(1, 9), Bytes(kRgbRows.begin() + 12, kRgbRows.begin() + 21));

  Section mirrored(ConvertImageToDIB(&rows.header, rows.rows, 1, nullptr));
  ASSERT_NE(mirrored.bitmap, nullptr);
  EXPECT_EQ(mirrored.info.bmHeight, 2);
  EXPECT_EQ(mirrored.Row(0, 9), (Bytes{7, 8, 9, 4, 5, 6, 1, 2, 3}));
  EXPECT_EQ(mirrored.Row(1, 9), (Bytes{17, 18, 19, 14, 15, 16, 11, 12, 13}));
}

TEST_F(ImageDib, PalettisedRowsBecomeTheirColours) {
  TestImage img(Pal8(), 2, 1, 2, {3, 200});
  Rows rows(img.image);
  ASSERT_EQ(rows.result, 1);  // 2 bytes padded to 4
  Section section(ConvertImageToDIB(&rows.header, rows.rows, 1, nullptr));
  ASSERT_NE(section.bitmap, nullptr);
  const uint32_t c3 = img.image.Format.Palette[3], c200 = img.image.Format.Palette[200];
  EXPECT_EQ(section.Row(0, 6), (Bytes{uint8_t(c200), uint8_t(c200 >> 8), uint8_t(c200 >> 16),
                                      uint8_t(c3), uint8_t(c3 >> 8), uint8_t(c3 >> 16)}));
}

TEST_F(ImageDib, TargetFormatsChooseTheSectionLayout) {
  TestImage img(Rgb24(), 3, 2, 12, kRgbRows);
  Rows rows(img.image);
  {
    // 5:6:5 target: bit fields, each channel cut to its top bits.
    ColorData target = Masks(16, 0xF800, 0x07E0, 0x001F, 0);
    Section s(ConvertImageToDIB(&rows.header, rows.rows, 0, &target));
    ASSERT_NE(s.bitmap, nullptr);
    EXPECT_EQ(s.info.bmBitsPixel, 16);
    uint16_t px[3];
    std::memcpy(px, s.Row(0, 6).data(), 6);
    // Pixel 0 is blue 1, green 2, red 3; pixel 2 blue 7, green 8, red 9.
    EXPECT_EQ(px[0], uint16_t((3 >> 3) << 11 | (2 >> 2) << 5 | (1 >> 3)));
    EXPECT_EQ(px[2], uint16_t((9 >> 3) << 11 | (8 >> 2) << 5 | (7 >> 3)));
    EXPECT_EQ(target.ColorBitDepth, 16);  // left alone
  }
  {
    // 32-bit target with a 24-bit source: the target turns into the 24-bit preset.
    ColorData target = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    Section s(ConvertImageToDIB(&rows.header, rows.rows, 0, &target));
    ASSERT_NE(s.bitmap, nullptr);
    EXPECT_EQ(s.info.bmBitsPixel, 24);
    EXPECT_EQ(target.ColorBitDepth, 24);
    EXPECT_EQ(target.PixelByte, 3);
    EXPECT_EQ(target.AM, 0u);
    EXPECT_EQ(s.Row(1, 9), Bytes(kRgbRows.begin() + 12, kRgbRows.begin() + 21));
  }
  {
    // 24-bit target: plain 24-bit section.
    ColorData target = Rgb24();
    Section s(ConvertImageToDIB(&rows.header, rows.rows, 0, &target));
    ASSERT_NE(s.bitmap, nullptr);
    EXPECT_EQ(s.info.bmBitsPixel, 24);
  }
  {
    // 32-bit target with 8-bit rows: bit fields with the target's colour masks.
    TestImage pal(Pal8(), 1, 1, 4, {9});
    Rows palRows(pal.image);
    ColorData target = Masks(32, 0xFF, 0xFF00, 0xFF0000, 0);  // red in the low byte
    Section s(ConvertImageToDIB(&palRows.header, palRows.rows, 0, &target));
    ASSERT_NE(s.bitmap, nullptr);
    EXPECT_EQ(s.info.bmBitsPixel, 32);
    const uint32_t c = pal.image.Format.Palette[9];
    uint32_t got;
    std::memcpy(&got, s.Row(0, 4).data(), 4);
    EXPECT_EQ(got, (c >> 16 & 0xFF) | (c & 0xFF00) | (c & 0xFF) << 16);
    EXPECT_EQ(target.ColorBitDepth, 32);
  }
}

TEST_F(ImageDib, SectionFailuresReturnNull) {
  TestImage img(Rgb24(), 3, 2, 12, kRgbRows);
  Rows rows(img.image);
  EXPECT_EQ(ConvertImageToDIB(nullptr, rows.rows, 0, nullptr), nullptr);
  EXPECT_EQ(ConvertImageToDIB(&rows.header, nullptr, 0, nullptr), nullptr);
  platform::BITMAPINFO bad = rows.header;
  bad.bmiHeader.biWidth = 0;
  EXPECT_EQ(ConvertImageToDIB(&bad, rows.rows, 0, nullptr), nullptr);
  bad = rows.header;
  bad.bmiHeader.biHeight = -70000;
  EXPECT_EQ(ConvertImageToDIB(&bad, rows.rows, 0, nullptr), nullptr);
  // Rows of a layout the transfer cannot read: no blank bitmap passes for a picture.
  bad = rows.header;
  bad.bmiHeader.biBitCount = 7;
  EXPECT_EQ(ConvertImageToDIB(&bad, rows.rows, 0, nullptr), nullptr);
  EXPECT_EQ(ConvertImageToDIB(&bad, rows.rows, 1, nullptr), nullptr);
  // A target depth no section can have.
  ColorData odd = Rgb24();
  odd.ColorBitDepth = 12;
  EXPECT_EQ(ConvertImageToDIB(&rows.header, rows.rows, 0, &odd), nullptr);
}

}  // namespace
}  // namespace zq::gfx
