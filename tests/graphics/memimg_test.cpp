#include "graphics/ddraw/memimg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "base/memory.h"
#include "support/log_capture.h"

namespace zq::gfx {
namespace {

// Checks that every test gives back all it allocated.
class MemImgTest : public ::testing::Test {
 protected:
  void SetUp() override { startBlocks_ = base::TrackedBlockCount(); }
  void TearDown() override { EXPECT_EQ(base::TrackedBlockCount(), startBlocks_); }
  size_t Live() const { return base::TrackedBlockCount() - startBlocks_; }

 private:
  size_t startBlocks_ = 0;
};

// Touches every byte the image claims to own, so the sanitizer sees any short block.
void TouchAll(MEMIMG* img) {
  for (int y = 0; y < img->Height; ++y)
    std::memset(img->Pixels + ptrdiff_t(y) * img->Pitch, 0x5A,
                size_t(img->Width) * img->Format->PixelByte);
  for (int i = 0; i < 256; ++i) img->Palette[i] = 0xA5A5A5A5u;
  if (img->RunLength) std::memset(img->RunLength, 1, size_t(img->Width + 5) * img->Height);
}

TEST(MemImgFormats, SharedDescriptorsAndPlatformFormats) {
  // ColorBitDepth, PixelByte, RM, GM, BM, AM, NM.
  using Row = std::tuple<int, int, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>;
  const struct {
    int type, alpha;
    Row want;
  } cases[] = {
      {0, 0, {16, 2, 0xF800, 0x07E0, 0x001F, 0, 0}},
      {0, 1, {32, 4, 0xF800, 0x07E0, 0x001F, 0xFF0000, 0xFF000000}},
      {1, 0, {32, 4, 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000}},
      {1, 1, {32, 4, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0}},
      {2, 0, {8, 1, 0, 0, 0, 0xFF, 0}},
      {3, 0, {16, 2, 0, 0, 0, 0xFFFF, 0}},
  };
  for (const auto& c : cases) {
    const ColorData* d = GetMemImgColorData(c.type, c.alpha, 0);
    ASSERT_NE(d, nullptr) << c.type << c.alpha;
    EXPECT_EQ(d, GetMemImgColorData(c.type, c.alpha, 0));  // shared, not rebuilt
    EXPECT_EQ(Row(d->ColorBitDepth, d->PixelByte, d->RM, d->GM, d->BM, d->AM, d->NM), c.want)
        << c.type << c.alpha;
    const platform::PixelFormat* f = SelectMemImgFormatTable(c.type, c.alpha, 0);
    if (c.type >= 2 || (c.type == 0 && c.alpha)) continue;
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::tuple(f->size, f->flags, f->rgbBitCount, f->redMask, f->greenMask, f->blueMask,
                         f->alphaMask),
              std::tuple(32u, platform::PF_RGB | (c.alpha ? platform::PF_ALPHAPIXELS : 0u),
                         uint32_t(d->ColorBitDepth), d->RM, d->GM, d->BM, d->AM));
  }
  EXPECT_EQ(SelectMemImgFormatTable(2, 0, 0), nullptr);
  EXPECT_EQ(GetMemImgColorData(0, 0, 0)->GW, 6);
  const ColorData* c16a = GetMemImgColorData(0, 1, 0);
  EXPECT_EQ(std::pair(int(c16a->AL), int(c16a->AW)), std::pair(16, 8));
  const ColorData* pal = GetMemImgColorData(0, 0, 1);
  EXPECT_EQ(pal, GetMemImgColorData(1, 0, 1));
  EXPECT_EQ(std::pair(int(pal->ColorBitDepth), int(pal->PixelByte)), std::pair(8, 1));
  EXPECT_EQ(GetMemImgColorData(4, 0, 0), nullptr);
  EXPECT_EQ(GetMemImgColorData(-1, 0, 0), nullptr);
}

TEST_F(MemImgTest, SetUpLayoutsKeysAndBlocks) {
  // Asked: width, height, pitch, key, colour type, palette, alpha, run-length. Given: pitch,
  // pitch shift, key, palette and alpha flags, the format (type, alpha, palette), run-length
  // buffer, tracked blocks (pixels and palette share one).
  const struct {
    int w, h, pitch;
    uint32_t key;
    int type, palette, alpha, rle;
    int wantPitch, shift;
    uint32_t wantKey;
    int wantPalette, wantAlpha, fmtType, fmtAlpha, fmtPalette;
    bool runLength;
    size_t blocks;
  } cases[] = {
      {10, 3, -1, 0xAB1234, 0, 0, 0, 0, 20, -1, 0x1234, 0, 0, 0, 0, 0, false, 1},
      {16, 2, -1, 0, 1, 0, 0, 0, 64, 6, 0, 0, 0, 1, 0, 0, false, 1},
      {10, 2, 48, 0, 1, 0, 0, 0, 48, -1, 0, 0, 0, 1, 0, 0, false, 1},
      {1, 1, 1024, 0, 0, 0, 0, 0, 1024, 10, 0, 0, 0, 0, 0, 0, false, 1},
      // A key packed in the 32-bit alpha format keeps only its colour word; colour word, alpha
      // byte, spare byte.
      {5, 2, -1, 0xFFFFF81F, 0, 0, 1, 0, 20, -1, 0xF81F, 0, 1, 0, 1, 0, false, 1},
      // A palettised image gets no alpha; its key is held to the 8-bit index.
      {7, 3, -1, 0xFFFF, 1, 1, 1, 0, 7, -1, 0xFF, 1, 0, 1, 0, 1, false, 1},
      {9, 2, -1, 0x1234, 2, 0, 0, 0, 9, -1, 0x34, 0, 0, 2, 0, 0, false, 1},
      {9, 2, -1, 0x1234, 3, 1, 0, 0, 9, -1, 0x34, 1, 0, 3, 0, 1, false, 1},
      {6, 4, -1, 0, 0, 0, 0, 1, 12, -1, 0, 0, 0, 0, 0, 0, true, 2},
      {6, 4, -1, 0, 2, 0, 0, 1, 6, -1, 0, 0, 0, 2, 0, 0, false, 1},  // type 2 never has one
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " type " +
                 std::to_string(c.type));
    MEMIMG img{};
    ASSERT_EQ(InitMemImg(&img, c.w, c.h, c.pitch, c.key, c.type, c.palette, c.alpha, c.rle), 0);
    EXPECT_EQ(img.SetupMark, kMemImgSetupMark);
    EXPECT_EQ(std::tuple(img.ViewFlag, img.Width, img.Height, img.Pitch, img.PitchShift,
                         img.ColorType, img.TransColor, img.PaletteFlag, img.AlphaFlag,
                         img.RunLengthFlag, img.RunLength != nullptr),
              std::tuple(0, c.w, c.h, c.wantPitch, c.shift, c.type, c.wantKey, c.wantPalette,
                         c.wantAlpha, 0, c.runLength));
    EXPECT_EQ(img.Format, GetMemImgColorData(c.fmtType, c.fmtAlpha, c.fmtPalette));
    EXPECT_EQ(IsMemImgValid(&img), 1);
    EXPECT_EQ(Live(), c.blocks);
    TouchAll(&img);
    TermMemImg(&img);
    EXPECT_EQ(std::tuple(img.SetupMark, img.Pixels, IsMemImgValid(&img), Live()),
              std::tuple(0u, nullptr, 0, size_t(0)));
    TermMemImg(&img);  // a second call does nothing
  }
}

TEST_F(MemImgTest, RefusedSetUpsChangeNothingAndOversizeIsLogged) {
  MEMIMG img{};
  ASSERT_EQ(InitMemImg(&img, 4, 4, -1, 0, 1, 0, 0, 0), 0);
  uint8_t* pixels = img.Pixels;
  EXPECT_EQ(InitMemImg(&img, 8, 8, -1, 0, 0, 0, 0, 0), -1);  // a second set-up
  EXPECT_EQ(std::tuple(img.Pixels, img.Width, img.ColorType, Live()),
            std::tuple(pixels, 4, 1, size_t(1)));
  TermMemImg(&img);
  // Torn down, it can be set up again.
  ASSERT_EQ(InitMemImg(&img, 8, 8, -1, 0, 0, 0, 0, 0), 0);
  TermMemImg(&img);
  EXPECT_EQ(InitMemImg(nullptr, 4, 4, -1, 0, 0, 0, 0, 0), -1);
  std::optional<test::ScopedLog> log;
  // Width, height, pitch, colour type, palette, run-length; the last six are too big and logged.
  const int bad[][6] = {
      {0, 4, -1, 0, 0, 0},
      {4, -1, -1, 0, 0, 0},
      {4, 4, -1, 4, 0, 0},
      {4, 4, -1, -1, 0, 0},
      {10, 2, 39, 1, 0, 0},  // a pitch shorter than a row
      {10, 2, -2, 1, 0, 0},
      {65536, 1, -1, 0, 0, 0},
      {1, 65536, -1, 0, 0, 0},
      {65535, 65535, -1, 1, 0, 0},  // far beyond 2^31 - 1 bytes
      {1, 65535, 32769, 2, 0, 0},   // 32769 x 65535 = 2147516415 bytes of pixels alone
      // Pixels fit (65535 x 32768 plus the palette), the run-length buffer (65540 x 32768) not.
      {65535, 32768, -1, 0, 1, 1},
      {16, 65535, 0x7FFFFFFF, 1, 0, 0}};  // a pitch that overflows 32-bit products
  for (const auto& [w, h, pitch, type, palette, rle] : bad) {
    if (w == 65536) log.emplace();  // each size refused from here on is logged
    EXPECT_EQ(InitMemImg(&img, w, h, pitch, 0, type, palette, 0, rle), -1) << w << "x" << h;
    EXPECT_EQ(std::pair(img.SetupMark, Live()), std::pair(0u, size_t(0)));
  }
  const std::string text = log->Contents();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
  EXPECT_EQ(IsMemImgValid(nullptr), 0);
  TermMemImg(nullptr);
}

TEST_F(MemImgTest, ViewsAddressTheirRectangleInsideTheSource) {
  MEMIMG img{};
  ASSERT_EQ(InitMemImg(&img, 8, 4, 64, 0xFFABCDEF, 1, 0, 0, 1), 0);  // 32-bit key kept whole
  img.PaletteCount = 17;
  MEMIMG view{};
  view.RunLengthFlag = 1;
  MakeMemImgView(&view, &img, 2, 1, 3, 2);
  EXPECT_EQ(view.SetupMark, kMemImgSetupMark);
  EXPECT_EQ(std::tuple(view.ViewFlag, view.Width, view.Height, view.Pitch, view.PitchShift,
                       view.ColorType, view.PaletteCount, view.RunLengthFlag, view.TransColor),
            std::tuple(1, 3, 2, 64, 6, 1, 17, 0, 0xFFABCDEFu));
  EXPECT_EQ(std::tuple(view.Format, view.Palette, view.RunLength, view.Pixels),
            std::tuple(img.Format, img.Palette, nullptr, img.Pixels + 2 * 4 + 1 * 64));
  EXPECT_EQ(IsMemImgValid(&view), 1);
  // Tearing the view down frees nothing.
  TermMemImg(&view);
  EXPECT_EQ(Live(), 2u);
  TermMemImg(&img);

  ASSERT_EQ(InitMemImg(&img, 8, 4, -1, 0, 0, 0, 0, 0), 0);
  // Asked x, y, w, h; the view's offset in pixels from the source's start, its size.
  const int cases[][6] = {
      {6, 3, 10, 10, 6 + 3 * 8, 2 * 10 + 1}, {-3, -1, 4, 4, 0, 4 * 10 + 4}, {20, 1, 4, -4, -1, 0}};
  for (const auto& [x, y, w, h, at, size] : cases) {
    MEMIMG v{};
    MakeMemImgView(&v, &img, x, y, w, h);
    if (at >= 0) {
      EXPECT_EQ(v.Pixels, img.Pixels + at * 2) << x << "," << y;
    }
    EXPECT_EQ(v.Width * 10 + v.Height, size) << x << "," << y;
  }
  // A view of a view, and a record turned into a view of itself.
  MEMIMG v{}, vv{};
  MakeMemImgView(&v, &img, 1, 1, 6, 3);
  MakeMemImgView(&vv, &v, 1, 1, 2, 2);
  EXPECT_EQ(vv.Pixels, img.Pixels + 2 * 2 + 2 * 16);
  MakeMemImgView(&v, &v, 1, 0, 3, 3);
  EXPECT_EQ(v.Pixels, img.Pixels + 2 * 2 + 1 * 16);
  EXPECT_EQ(v.Width, 3);
  MakeMemImgView(nullptr, &img, 0, 0, 1, 1);
  TermMemImg(&img);
  // Palettised and alpha sources: one and four bytes a pixel.
  for (const auto& [palette, alpha, bytes] : {std::tuple{1, 0, 1}, {0, 1, 4}}) {
    ASSERT_EQ(InitMemImg(&img, 8, 4, -1, 0, 0, palette, alpha, 0), 0);
    MakeMemImgView(&v, &img, 3, 2, 2, 2);
    EXPECT_EQ(std::tuple(v.Pixels, v.PaletteFlag, v.AlphaFlag),
              std::tuple(img.Pixels + 3 * bytes + 2 * 8 * bytes, palette, alpha));
    TermMemImg(&img);
  }
}

TEST_F(MemImgTest, CreateOfTypeReplacesAnOwnedImageAndLeavesAViewsSource) {
  MEMIMG img{};
  ASSERT_EQ(InitMemImg(&img, 32, 32, -1, 0, 1, 0, 0, 1), 0);
  EXPECT_EQ(Live(), 2u);
  ASSERT_EQ(CreateMemImgOfType(&img, 5, 6), 0);
  EXPECT_EQ(Live(), 1u);  // the old pixels and run-length buffer are gone
  EXPECT_EQ(std::tuple(img.ColorType, img.Pitch, img.PaletteFlag, img.AlphaFlag, img.TransColor,
                       img.RunLength, img.Format),
            std::tuple(3, 10, 0, 0, 0u, nullptr, GetMemImgColorData(3, 0, 0)));
  TouchAll(&img);
  // A failure leaves the record empty.
  EXPECT_EQ(CreateMemImgOfType(&img, 0, 4), -1);
  EXPECT_EQ(std::pair(img.SetupMark, Live()), std::pair(0u, size_t(0)));
  EXPECT_EQ(CreateMemImgOfType(nullptr, 4, 4), -1);

  MEMIMG src{};
  ASSERT_EQ(InitMemImg(&src, 8, 8, -1, 0, 0, 0, 0, 0), 0);
  MEMIMG view{};
  MakeMemImgView(&view, &src, 0, 0, 4, 4);
  ASSERT_EQ(CreateMemImgOfType(&view, 3, 3), 0);
  EXPECT_EQ(view.ViewFlag, 0);
  EXPECT_NE(view.Pixels, src.Pixels);
  EXPECT_EQ(IsMemImgValid(&src), 1);
  TouchAll(&src);
  EXPECT_EQ(Live(), 2u);
  TermMemImg(&view);
  TermMemImg(&src);
}

}  // namespace
}  // namespace zq::gfx
