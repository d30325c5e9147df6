#include "graphics/ddraw/memimg_transfer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/ddraw/color_data.h"
#include "graphics/image/convert_test_formats.h"

namespace zq::gfx {
namespace {

using testing::Argb8888;
using testing::Rgb24;
using testing::Rgb565;
using testing::Xrgb8888;

// A set-up image released at the end of the test.
struct Image {
  Image(int width, int height, uint32_t key, int colorType, int palette, int alpha, int runLength) {
    EXPECT_EQ(0, InitMemImg(&m, width, height, -1, key, colorType, palette, alpha, runLength));
  }
  ~Image() { TermMemImg(&m); }
  template <class T>
  T At(int x, int y) const {
    T v;
    std::memcpy(&v, m.Pixels + ptrdiff_t(y) * m.Pitch + ptrdiff_t(x) * sizeof(T), sizeof(T));
    return v;
  }
  template <class T>
  void Set(int x, int y, T v) {
    std::memcpy(m.Pixels + ptrdiff_t(y) * m.Pitch + ptrdiff_t(x) * sizeof(T), &v, sizeof(T));
  }
  std::vector<uint8_t> Stream(size_t n) const { return {m.RunLength, m.RunLength + n}; }
  MEMIMG m{};
};

// A view over caller-owned pixels, as a decoded image is handed to the transfer.
MEMIMG ViewOf(const ColorData* format, void* pixels, int width, int height, int pitch) {
  MEMIMG v{};
  v.SetupMark = kMemImgSetupMark;
  v.ViewFlag = 1;
  v.Width = width;
  v.Height = height;
  v.Pitch = pitch;
  v.Format = format;
  v.Pixels = static_cast<uint8_t*>(pixels);
  return v;
}

// One row of 24-bit pixels viewed as a decoded image.
struct Row24 {
  explicit Row24(std::initializer_list<uint32_t> pixels) : bytes(Rgb24(pixels)) {
    SetupColorDataRGB24(&format);
    view = ViewOf(&format, bytes.data(), int(pixels.size()), 1, int(bytes.size()));
  }
  std::vector<uint8_t> bytes;
  ColorData format{};
  MEMIMG view{};
};

TEST(TransferToMemImg, AlphaImageStreamSplitsLongRuns) {
  // Row 0: 70 opaque pixels. Row 1: 0, 0, 128, 255, 255, then 65 transparent.
  std::vector<uint32_t> src(70 * 2, 0xFF102030);
  const uint32_t row1[5] = {0x00102030, 0x00102030, 0x80102030, 0xFF102030, 0xFF102030};
  for (int x = 0; x < 70; ++x) src[70 + x] = x < 5 ? row1[x] : 0x00405060;
  const ColorData argb = Argb8888();
  const MEMIMG view = ViewOf(&argb, src.data(), 70, 2, 70 * 4);
  Image dst(70, 2, 0, kMemImgXrgb8888, 0, 1, 1);
  ASSERT_EQ(0, TransferToMemImg(&view, nullptr, &dst.m, 0, 0, 70, 2, 0, 0));
  EXPECT_EQ(1, dst.m.RunLengthFlag);
  const std::vector<uint8_t> want = {0x7F, 0x45, 0xC0,                     // 64 + 6 drawn whole
                                     0x01, 0x80, 0x41, 0x3F, 0x00, 0xC0};  // 2 skip, 1 alpha, ...
  EXPECT_EQ(want, dst.Stream(want.size()));
  EXPECT_EQ(0x80102030u, dst.At<uint32_t>(2, 1));
}

TEST(TransferToMemImg, AlphaViewFeedsTheAlphaChannel) {
  const Row24 src({0x102030, 0x405060, 0x708090});
  const MEMIMG& view = src.view;
  std::vector<uint8_t> alpha = {0x00, 0x80, 0xFF};
  ColorData grey{};
  SetupColorDataByte8(&grey);
  const MEMIMG alphaView = ViewOf(&grey, alpha.data(), 3, 1, 3);
  Image dst(3, 1, 0, kMemImgXrgb8888, 0, 1, 1);
  ASSERT_EQ(0, TransferToMemImg(&view, &alphaView, &dst.m, 0, 0, 3, 1, 0, 0));
  EXPECT_EQ(0x00102030u, dst.At<uint32_t>(0, 0));
  EXPECT_EQ(0x80405060u, dst.At<uint32_t>(1, 0));
  EXPECT_EQ(0xFF708090u, dst.At<uint32_t>(2, 0));
  EXPECT_EQ((std::vector<uint8_t>{0x00, 0x80, 0x40, 0xC0}), dst.Stream(4));
}

TEST(TransferToMemImg, KeyedImageStreamFollowsTheTransparentColour) {
  // F800F8 narrows to the same 5:6:5 magenta as FF00FF.
  const Row24 src({0xFF00FF, 0xFF00FF, 0x102030, 0xFF00FF, 0xF800F8});
  const MEMIMG& view = src.view;
  Image dst(5, 1, 0xF81F, kMemImgRgb565, 0, 0, 1);
  ASSERT_EQ(0, TransferToMemImg(&view, nullptr, &dst.m, 0, 0, 5, 1, 0, 0));
  EXPECT_EQ(0x1106, dst.At<uint16_t>(2, 0));
  EXPECT_EQ(1, dst.m.RunLengthFlag);
  EXPECT_EQ((std::vector<uint8_t>{0x01, 0x40, 0x01, 0xC0}), dst.Stream(4));
}

TEST(TransferToMemImg, KeyToAlphaUsesTheImagesKeyAsAColour) {
  // 16-bit image with alpha: colour word, alpha byte, a byte the converter fills (FF).
  const Row24 src({0xFF00FF, 0x102030, 0xF800F8});
  const MEMIMG& view = src.view;
  Image dst(3, 1, 0xF81F, kMemImgRgb565, 0, 1, 1);
  ASSERT_EQ(0, TransferToMemImg(&view, nullptr, &dst.m, 0, 0, 3, 1, 0, 0));
  EXPECT_EQ(0xFF00F81Fu, dst.At<uint32_t>(0, 0));
  EXPECT_EQ(0xFFFF1106u, dst.At<uint32_t>(1, 0));
  EXPECT_EQ(0xFF00F81Fu, dst.At<uint32_t>(2, 0));
  EXPECT_EQ((std::vector<uint8_t>{0x00, 0x40, 0x00, 0xC0}), dst.Stream(4));

  // 32-bit image with alpha: the key's low 24 bits are the colour.
  Image dst32(3, 1, 0x00102030, kMemImgXrgb8888, 0, 1, 1);
  ASSERT_EQ(0, TransferToMemImg(&view, nullptr, &dst32.m, 0, 0, 3, 1, 0, 0));
  EXPECT_EQ(0xFFFF00FFu, dst32.At<uint32_t>(0, 0));
  EXPECT_EQ(0x00102030u, dst32.At<uint32_t>(1, 0));
  EXPECT_EQ((std::vector<uint8_t>{0x40, 0x00, 0x40, 0xC0}), dst32.Stream(4));
}

TEST(TransferToMemImg, PartialTransferDropsTheStream) {
  std::vector<uint32_t> src(4, 0x00112233);
  ColorData x888 = Xrgb8888();
  const MEMIMG view = ViewOf(&x888, src.data(), 2, 2, 8);
  Image dst(2, 2, 0, kMemImgXrgb8888, 0, 0, 1);
  ASSERT_EQ(0, TransferToMemImg(&view, nullptr, &dst.m, 0, 0, 2, 2, 0, 0));
  ASSERT_EQ(1, dst.m.RunLengthFlag);
  ASSERT_EQ(0, TransferToMemImg(&view, nullptr, &dst.m, 0, 0, 1, 1, 1, 1));
  EXPECT_EQ(0, dst.m.RunLengthFlag);
  EXPECT_EQ(0x00112233u, dst.At<uint32_t>(1, 1));
}

TEST(TransferToMemImg, OneChannelTypesReceiveTheRed) {
  const Row24 src({0xB71122, 0x00FFFF, 0x80FFFF});
  const MEMIMG& view = src.view;
  Image byte8(3, 1, 0, kMemImgByte8, 0, 0, 0);
  ASSERT_EQ(0, TransferToMemImg(&view, nullptr, &byte8.m, 0, 0, 3, 1, 0, 0));
  EXPECT_EQ(0xB7, byte8.At<uint8_t>(0, 0));
  EXPECT_EQ(0x00, byte8.At<uint8_t>(1, 0));
  EXPECT_EQ(0x80, byte8.At<uint8_t>(2, 0));
  Image word16(3, 1, 0, kMemImgWord16, 0, 0, 1);
  ASSERT_EQ(0, TransferToMemImg(&view, nullptr, &word16.m, 0, 0, 3, 1, 0, 0));
  EXPECT_EQ(0xB7B7, word16.At<uint16_t>(0, 0));
  EXPECT_EQ(0x8080, word16.At<uint16_t>(2, 0));
  EXPECT_EQ(0, word16.m.RunLengthFlag);  // no stream for the one-channel types
}

TEST(TransferToMemImg, RectanglesOutsideAnImageAreRefused) {
  std::vector<uint16_t> src(4, 0x1234);
  ColorData f565 = Rgb565();
  const MEMIMG view = ViewOf(&f565, src.data(), 2, 2, 4);
  std::vector<uint8_t> alpha(1, 0);
  ColorData grey{};
  SetupColorDataByte8(&grey);
  const MEMIMG smallAlpha = ViewOf(&grey, alpha.data(), 1, 1, 1);
  Image dst(2, 2, 0, kMemImgRgb565, 0, 0, 0);
  dst.Set<uint16_t>(0, 0, 0xEEEE);
  EXPECT_EQ(-1, TransferToMemImg(&view, nullptr, &dst.m, 1, 0, 2, 1, 0, 0));
  EXPECT_EQ(-1, TransferToMemImg(&view, nullptr, &dst.m, 0, -1, 1, 1, 0, 0));
  EXPECT_EQ(-1, TransferToMemImg(&view, nullptr, &dst.m, 0, 0, 1, 1, 2, 0));
  EXPECT_EQ(-1, TransferToMemImg(&view, nullptr, &dst.m, 0, 0, -1, 1, 0, 0));
  EXPECT_EQ(-1, TransferToMemImg(&view, nullptr, &dst.m, 0, 0, 0, 1, 0, 0));  // empty
  EXPECT_EQ(-1, TransferToMemImg(&view, &smallAlpha, &dst.m, 0, 0, 2, 1, 0, 0));
  EXPECT_EQ(-1, TransferToMemImg(nullptr, nullptr, &dst.m, 0, 0, 1, 1, 0, 0));
  EXPECT_EQ(-1, TransferToMemImg(&view, nullptr, nullptr, 0, 0, 1, 1, 0, 0));
  EXPECT_EQ(0xEEEE, dst.At<uint16_t>(0, 0));
}

TEST(TransferMemImgToSurface, SkipsTheTransparentColourWhenAsked) {
  Image src(4, 1, 0xF81F, kMemImgRgb565, 0, 0, 0);
  const uint16_t pixels[4] = {0xF81F, 0x1234, 0xF81F, 0x0001};
  for (int x = 0; x < 4; ++x) src.Set<uint16_t>(x, 0, pixels[x]);
  ColorData f565 = Rgb565();
  std::vector<uint16_t> target(5, 0xEEEE);
  MEMIMG view = ViewOf(&f565, target.data(), 5, 1, 10);
  EXPECT_EQ(0, TransferMemImgToSurface(&view, &src.m, 0, 0, 4, 1, 1, 0, 0xF81F, 1));
  EXPECT_EQ((std::vector<uint16_t>{0xEEEE, 0xEEEE, 0x1234, 0xEEEE, 0x0001}), target);
  EXPECT_EQ(0, TransferMemImgToSurface(&view, &src.m, 0, 0, 4, 1, 1, 0, 0xF81F, 0));
  EXPECT_EQ((std::vector<uint16_t>{0xEEEE, 0xF81F, 0x1234, 0xF81F, 0x0001}), target);
}

TEST(TransferMemImgToSurface, KeyedCopyIntoAnotherFormatTakesTheGeneralRule) {
  Image src(2, 1, 0xF81F, kMemImgRgb565, 0, 0, 0);
  src.Set<uint16_t>(0, 0, 0x1234);
  src.Set<uint16_t>(1, 0, 0xF81F);
  ColorData x888 = Xrgb8888();
  std::vector<uint32_t> target(2, 0xEEEEEEEE);
  MEMIMG view = ViewOf(&x888, target.data(), 2, 1, 8);
  // Red 2, green 17, blue 20 widen to 16, 68, 164 and the unused byte is set.
  EXPECT_EQ(0, TransferMemImgToSurface(&view, &src.m, 0, 0, 2, 1, 0, 0, 0xF81F, 1));
  EXPECT_EQ((std::vector<uint32_t>{0xFF1044A4, 0xEEEEEEEE}), target);
  // Without the key the fixed 5:6:5 row applies: low bits zero, top byte zero.
  EXPECT_EQ(0, TransferMemImgToSurface(&view, &src.m, 0, 0, 2, 1, 0, 0, 0xF81F, 0));
  EXPECT_EQ((std::vector<uint32_t>{0x001044A0, 0x00F800F8}), target);
}

TEST(TransferMemImgToSurface, LeavesPalettisedAndOneChannelSourcesAlone) {
  Image pal(2, 1, 0, kMemImgXrgb8888, 1, 0, 0);
  Image one(2, 1, 0, kMemImgByte8, 0, 0, 0);
  std::vector<uint32_t> target(2, 0xEEEEEEEE);
  ColorData x888 = Xrgb8888();
  MEMIMG view = ViewOf(&x888, target.data(), 2, 1, 8);
  EXPECT_EQ(0, TransferMemImgToSurface(&view, &pal.m, 0, 0, 2, 1, 0, 0, 0, 0));
  EXPECT_EQ(0, TransferMemImgToSurface(&view, &one.m, 0, 0, 2, 1, 0, 0, 0, 0));
  EXPECT_EQ(std::vector<uint32_t>(2, 0xEEEEEEEE), target);
  Image src(2, 1, 0, kMemImgXrgb8888, 0, 0, 0);
  EXPECT_EQ(-1, TransferMemImgToSurface(&view, &src.m, 1, 0, 2, 1, 0, 0, 0, 0));
  EXPECT_EQ(-1, TransferMemImgToSurface(&view, &src.m, 0, 0, 2, 1, 1, 0, 0, 0));
  EXPECT_EQ(std::vector<uint32_t>(2, 0xEEEEEEEE), target);
}

}  // namespace
}  // namespace zq::gfx
