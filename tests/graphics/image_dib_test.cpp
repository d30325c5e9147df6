// Decoded images as device-independent-bitmap rows (ConvertImageFormat) and such rows as DIB
// sections (ConvertImageToDIB), read back through the GDI stand-in.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <tuple>
#include <vector>

#include "base/memory.h"
#include "graphics/image/convert_test_formats.h"
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
const ColorData kRgb24 = testing::Rgb888(), k565 = testing::Rgb565();
using testing::MakeFormat;

// Blue, green and red bytes of palette colours.
Bytes Bgr(const ColorData& pal, std::initializer_list<int> indices) {
  Bytes out;
  for (int i : indices)
    out.insert(out.end(), {uint8_t(pal.Palette[i]), uint8_t(pal.Palette[i] >> 8),
                           uint8_t(pal.Palette[i] >> 16)});
  return out;
}

// Rows handed out by ConvertImageFormat; freed when they are a copy.
struct Rows {
  explicit Rows(const GraphImage& image, int forceCopy = 0, int force24 = 0) {
    std::memset(&header, 0xCD, sizeof header);  // shows what is zeroed
    result = ConvertImageFormat(&image, &header, &rows, forceCopy, force24);
  }
  ~Rows() {
    if (result == 1) base::TrackedFree(rows);
  }
  Bytes Row(int y, int pitch, size_t n) const {
    const auto* p = static_cast<const uint8_t*>(rows) + y * pitch;
    return Bytes(p, p + n);
  }
  platform::BITMAPINFO header;
  void* rows = nullptr;
  int result = -2;
};

Bytes Sequence(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(1 + 7 * i);
  return b;
}

class ImageDib : public ::testing::Test {
  test::NoLeakScope noLeaks;
};

// ---- ConvertImageFormat ----

// Palettised and blue-green-red rows are handed out as they are when their pitch is the padded
// one (unless a copy is forced), else copied with each row padded to four bytes with zeros.
TEST_F(ImageDib, PalettisedAndRgbRowsAreSharedOrCopiedByPitch) {
  const struct {
    bool palette;
    int width, height, pitch, forceCopy, result;
  } cases[] = {
      {true, 8, 2, 8, 0, 0},   {true, 8, 2, 8, 1, 1},   {true, 6, 2, 6, 0, 1},
      {true, 6, 2, 8, 0, 0},   {false, 5, 2, 15, 0, 1}, {false, 4, 3, 12, 0, 0},
      {false, 4, 3, 12, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.width << " pitch " << c.pitch << " forced " << c.forceCopy);
    const int bytes = c.palette ? 1 : 3, padded = (c.width * bytes + 3) & ~3;
    TestImage img(c.palette ? Pal8() : kRgb24, c.width, c.height, c.pitch,
                  Sequence(size_t(c.pitch * c.height)));
    Rows out(img.image, c.forceCopy);
    ASSERT_EQ(out.result, c.result);
    EXPECT_EQ(out.rows == img.image.Pixels, c.result == 0);
    const platform::BITMAPINFOHEADER& h = out.header.bmiHeader;
    // Size, width, height (negative: top-down), planes, bit count; compression, image size,
    // resolutions and colour counts are all zero.
    EXPECT_EQ(std::tuple(h.biSize, h.biWidth, h.biHeight, int(h.biPlanes), int(h.biBitCount)),
              std::tuple(40u, c.width, -c.height, 1, 8 * bytes));
    EXPECT_EQ(std::tuple(h.biCompression, h.biSizeImage, h.biXPelsPerMeter, h.biYPelsPerMeter,
                         h.biClrUsed, h.biClrImportant),
              std::tuple(0u, 0u, 0, 0, 0u, 0u));
    if (c.palette) {
      EXPECT_EQ(std::memcmp(out.header.bmiColors, img.image.Format.Palette, 1024), 0);
    } else {  // colour table entry 0 lies inside the 44 bytes that are zeroed
      EXPECT_EQ(std::tuple(out.header.bmiColors[0].rgbBlue, out.header.bmiColors[0].rgbReserved),
                std::tuple(0, 0));
    }
    for (int y = 0; y < c.height; ++y) {
      const auto* src = static_cast<const uint8_t*>(img.image.Pixels) + y * c.pitch;
      Bytes want(src, src + (c.result == 0 ? padded : c.width * bytes));  // shared: as they are
      want.resize(size_t(padded), 0);
      EXPECT_EQ(out.Row(y, padded, size_t(padded)), want) << y;
    }
  }
}

// Each other format becomes blue-green-red bytes; expectations from the widening rule
// floor(v * 255 / (2^width - 1)): 5-bit 1, 16, 30 give 8, 131, 246; 6-bit 32 gives 129.
TEST_F(ImageDib, OtherFormatsConvertToRgbRows) {
  const ColorData pal = Pal8();
  const uint16_t p555[2] = {uint16_t(31 << 10 | 16 << 5 | 1), uint16_t(0x8000 | 7 << 10 | 30)};
  const uint16_t p565 = uint16_t(3 << 11 | 32 << 5 | 31);
  Bytes b555(4), b565(2);
  std::memcpy(b555.data(), p555, 4);
  std::memcpy(b565.data(), &p565, 2);
  const struct {
    const char* what;
    ColorData format;
    int width, pitch;
    Bytes bytes;
    int force24;
    Bytes row;
  } cases[] = {
      // clang-format off
      {"palette forced to 24 bits", pal, 3, 3, {5, 0, 255}, 1, Bgr(pal, {5, 0, 255})},
      {"32-bit ARGB drops alpha", MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), 2, 8,
       {0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB, 0xCC, 0xDD}, 0, {0x11, 0x22, 0x33, 0xAA, 0xBB, 0xCC}},
      {"X1R5G5B5", MakeFormat(16, 0x7C00, 0x03E0, 0x001F, 0), 2, 4, b555, 0,
       {8, 131, 255, 246, 0, 57}},
      {"R5G6B5", k565, 1, 2, b565, 0, {255, 129, 24}},
      {"24 bits with red and blue swapped", MakeFormat(24, 0xFF, 0xFF00, 0xFF0000, 0), 1, 4,
       {1, 2, 3}, 0,
       {3, 2, 1}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestImage img(c.format, c.width, 1, c.pitch, c.bytes);
    Rows out(img.image, 0, c.force24);
    ASSERT_EQ(out.result, 1);
    EXPECT_EQ(out.header.bmiHeader.biBitCount, 24);
    Bytes want = c.row;
    want.resize((want.size() + 3) & ~size_t(3), 0);
    EXPECT_EQ(out.Row(0, 0, want.size()), want);
  }
}

TEST_F(ImageDib, UnconvertibleImagesAreRefused) {
  platform::BITMAPINFO header{};
  void* rows = reinterpret_cast<void*>(0x1);
  GraphImage empty{};
  EXPECT_EQ(ConvertImageFormat(&empty, &header, &rows, 0, 0), -1);
  TestImage narrowPitch(kRgb24, 4, 1, 11, Sequence(11));
  EXPECT_EQ(ConvertImageFormat(&narrowPitch.image, &header, &rows, 0, 0), -1);
  // A format the converter has no rule for.
  TestImage odd(k565, 2, 1, 4, Sequence(4));
  odd.image.Format.ColorBitDepth = 12;
  EXPECT_EQ(ConvertImageFormat(&odd.image, &header, &rows, 0, 0), -1);
  // Rows beyond the block limit are refused before anything is read or allocated: the image
  // claims 65535 x 65535 pixels over a tiny block.
  TestImage huge(MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0), 1, 1, 4, Sequence(4));
  huge.image.Width = huge.image.Height = 65535;
  huge.image.Pitch = 65535 * 4;
  EXPECT_EQ(ConvertImageFormat(&huge.image, &header, &rows, 0, 0), -1);
  huge.image.Width = huge.image.Height = 1;
  EXPECT_EQ(rows, reinterpret_cast<void*>(0x1));
}

// ---- ConvertImageToDIB ----

struct Section {
  explicit Section(platform::HBITMAP b) : bitmap(b) {
    EXPECT_TRUE(!bitmap ||
                platform::GetObjectA(bitmap, sizeof info, &info) == int32_t(sizeof info));
  }
  ~Section() { EXPECT_TRUE(!bitmap || platform::DeleteObject(bitmap)); }
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

// Rows become a top-down section, mirrored on request; palettised rows become their colours. A
// target format chooses the layout: 5:6:5 bit fields (each channel cut to its top bits), a
// 32-bit target with 24-bit rows turns into the 24-bit preset, 8-bit rows into a 32-bit target
// take bit fields with the target's masks (red in the low byte here).
TEST_F(ImageDib, SectionsByRowsMirrorAndTarget) {
  TestImage rgb(kRgb24, 3, 2, 12, kRgbRows), pal(Pal8(), 2, 1, 2, {3, 200}),
      one(Pal8(), 1, 1, 4, {9});
  const Rows rgbRows(rgb.image), palRows(pal.image), oneRows(one.image);
  ASSERT_EQ(std::tuple(rgbRows.result, palRows.result), std::tuple(0, 1));  // 2 bytes padded to 4
  const uint32_t c9 = one.image.Format.Palette[9];
  const Bytes top(kRgbRows.begin(), kRgbRows.begin() + 9),
      bottom(kRgbRows.begin() + 12, kRgbRows.begin() + 21);
  const struct {
    const Rows& rows;
    int mirror;
    std::optional<ColorData> target;
    int bits, targetDepth;  // of the section, of the target afterwards
    Bytes row0, row1;
  } cases[] = {
      // clang-format off
      {rgbRows, 0, {}, 24, 0, top, bottom},
      {rgbRows, 1, {}, 24, 0, {7, 8, 9, 4, 5, 6, 1, 2, 3}, {17, 18, 19, 14, 15, 16, 11, 12, 13}},
      {palRows, 1, {}, 24, 0, Bgr(pal.image.Format, {200, 3}), {}},
      // Blue 1, green 2, red 3 / 4, 5, 6 / 7, 8, 9.
      {rgbRows, 0, k565, 16, 16, {0, 0, 1 << 5, 0, 2 << 5, 1 << 3}, {}},
      {rgbRows, 0, MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), 24, 24, top, bottom},
      {rgbRows, 0, kRgb24, 24, 24, top, bottom},
      {oneRows, 0, MakeFormat(32, 0xFF, 0xFF00, 0xFF0000, 0), 32, 32,
       {uint8_t(c9 >> 16), uint8_t(c9 >> 8), uint8_t(c9), 0}, {}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.bits << " " << c.mirror);
    std::optional<ColorData> target = c.target;
    Section s(
        ConvertImageToDIB(&c.rows.header, c.rows.rows, c.mirror, target ? &*target : nullptr));
    ASSERT_NE(s.bitmap, nullptr);
    EXPECT_EQ(
        std::tuple(s.info.bmWidth, s.info.bmHeight, int(s.info.bmBitsPixel)),
        std::tuple(c.rows.header.bmiHeader.biWidth, -c.rows.header.bmiHeader.biHeight, c.bits));
    EXPECT_EQ(s.Row(0, c.row0.size()), c.row0);
    EXPECT_EQ(s.Row(1, c.row1.size()), c.row1);
    if (target) {
      EXPECT_EQ(std::tuple(int(target->ColorBitDepth), int(target->PixelByte)),
                std::tuple(c.targetDepth, c.targetDepth / 8));
    }
  }
}

TEST_F(ImageDib, SectionFailuresReturnNull) {
  TestImage img(kRgb24, 3, 2, 12, kRgbRows);
  Rows rows(img.image);
  EXPECT_EQ(ConvertImageToDIB(nullptr, rows.rows, 0, nullptr), nullptr);
  EXPECT_EQ(ConvertImageToDIB(&rows.header, nullptr, 0, nullptr), nullptr);
  // No width, too high, rows of a layout the transfer cannot read (no blank bitmap passes for a
  // picture), mirrored or not.
  for (int i = 0; i < 4; ++i) {
    platform::BITMAPINFO bad = rows.header;
    if (i == 0) bad.bmiHeader.biWidth = 0;
    if (i == 1) bad.bmiHeader.biHeight = -70000;
    if (i >= 2) bad.bmiHeader.biBitCount = 7;
    EXPECT_EQ(ConvertImageToDIB(&bad, rows.rows, i == 3, nullptr), nullptr) << i;
  }
  // A target depth no section can have.
  ColorData odd = kRgb24;
  odd.ColorBitDepth = 12;
  EXPECT_EQ(ConvertImageToDIB(&rows.header, rows.rows, 0, &odd), nullptr);
}

}  // namespace
}  // namespace zq::gfx
