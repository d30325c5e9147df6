#include "graphics/ddraw/memimg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>

#include "base/log.h"
#include "base/memory.h"

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
void TouchAll(MEMIMG* img, int pixelBytes) {
  for (int y = 0; y < img->Height; ++y) {
    std::memset(img->Pixels + ptrdiff_t(y) * img->Pitch, 0x5A, size_t(img->Width) * pixelBytes);
  }
  for (int i = 0; i < 256; ++i) img->Palette[i] = 0xA5A5A5A5u;
  if (img->RunLength) {
    std::memset(img->RunLength, 1, size_t(img->Width + 5) * img->Height);
  }
}

// ---- descriptors and platform formats -----------------------------------------------

TEST(MemImgFormats, SharedDescriptors) {
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
  }
  EXPECT_EQ(GetMemImgColorData(0, 0, 0)->GW, 6);
  const ColorData* c16a = GetMemImgColorData(0, 1, 0);
  EXPECT_EQ(std::pair(int(c16a->AL), int(c16a->AW)), std::pair(16, 8));

  const ColorData* pal = GetMemImgColorData(0, 0, 1);
  EXPECT_EQ(pal, GetMemImgColorData(1, 0, 1));
  EXPECT_EQ(std::pair(int(pal->ColorBitDepth), int(pal->PixelByte)), std::pair(8, 1));
  EXPECT_EQ(GetMemImgColorData(4, 0, 0), nullptr);
  EXPECT_EQ(GetMemImgColorData(-1, 0, 0), nullptr);
}

TEST(MemImgFormats, PlatformFormats) {
  // size, flags, rgbBitCount, red, green, blue and alpha masks.
  using Row = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>;
  const struct {
    int type, alpha;
    Row want;
  } cases[] = {
      {0, 0, {32, platform::PF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0}},
      {1, 0, {32, platform::PF_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0}},
      {1,
       1,
       {32, platform::PF_RGB | platform::PF_ALPHAPIXELS, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
  };
  for (const auto& c : cases) {
    const platform::PixelFormat* f = SelectMemImgFormatTable(c.type, c.alpha, 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(
        Row(f->size, f->flags, f->rgbBitCount, f->redMask, f->greenMask, f->blueMask, f->alphaMask),
        c.want)
        << c.type << c.alpha;
  }
  EXPECT_EQ(SelectMemImgFormatTable(2, 0, 0), nullptr);
}

// ---- set-up and tear-down -----------------------------------------------------------

TEST_F(MemImgTest, SetUp16BitAutomaticPitch) {
  MEMIMG img{};
  ASSERT_EQ(InitMemImg(&img, 10, 3, -1, 0xAB1234, 0, 0, 0, 0), 0);
  EXPECT_EQ(img.SetupMark, kMemImgSetupMark);
  // ViewFlag, Width, Height, Pitch, PitchShift, ColorType, PaletteFlag, AlphaFlag, RunLengthFlag.
  EXPECT_EQ(std::tuple(img.ViewFlag, img.Width, img.Height, img.Pitch, img.PitchShift,
                       img.ColorType, img.PaletteFlag, img.AlphaFlag, img.RunLengthFlag),
            std::tuple(0, 10, 3, 20, -1, 0, 0, 0, 0));
  EXPECT_EQ(img.Format, GetMemImgColorData(0, 0, 0));
  EXPECT_EQ(img.TransColor, 0x1234u);
  EXPECT_EQ(img.RunLength, nullptr);
  ASSERT_NE(img.Pixels, nullptr);
  ASSERT_NE(img.Palette, nullptr);
  EXPECT_EQ(IsMemImgValid(&img), 1);
  EXPECT_EQ(Live(), 1u);  // pixels and palette in one block
  TouchAll(&img, 2);
  TermMemImg(&img);
  EXPECT_EQ(img.SetupMark, 0u);
  EXPECT_EQ(img.Pixels, nullptr);
  EXPECT_EQ(IsMemImgValid(&img), 0);
  TermMemImg(&img);  // a second call does nothing
}

TEST_F(MemImgTest, PitchAndPitchShift) {
  MEMIMG a{};
  ASSERT_EQ(InitMemImg(&a, 16, 2, -1, 0, 1, 0, 0, 0), 0);
  EXPECT_EQ(a.Pitch, 64);
  EXPECT_EQ(a.PitchShift, 6);
  TouchAll(&a, 4);
  TermMemImg(&a);

  MEMIMG b{};
  ASSERT_EQ(InitMemImg(&b, 10, 2, 48, 0, 1, 0, 0, 0), 0);
  EXPECT_EQ(b.Pitch, 48);
  EXPECT_EQ(b.PitchShift, -1);
  TouchAll(&b, 4);
  TermMemImg(&b);

  MEMIMG c{};
  ASSERT_EQ(InitMemImg(&c, 1, 1, 1024, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(c.PitchShift, 10);
  TermMemImg(&c);

  MEMIMG d{};
  EXPECT_EQ(InitMemImg(&d, 10, 2, 39, 0, 1, 0, 0, 0), -1);  // shorter than a row
  EXPECT_EQ(InitMemImg(&d, 10, 2, -2, 0, 1, 0, 0, 0), -1);
  EXPECT_EQ(d.SetupMark, 0u);
}

TEST_F(MemImgTest, AlphaAndPaletteLayouts) {
  MEMIMG a{};
  // A key packed in the 32-bit alpha format keeps only its colour word.
  ASSERT_EQ(InitMemImg(&a, 5, 2, -1, 0xFFFFF81F, 0, 0, 1, 0), 0);
  EXPECT_EQ(a.TransColor, 0xF81Fu);
  EXPECT_EQ(a.AlphaFlag, 1);
  EXPECT_EQ(a.Pitch, 20);  // colour word, alpha byte, spare byte
  EXPECT_EQ(a.Format, GetMemImgColorData(0, 1, 0));
  TouchAll(&a, 4);
  TermMemImg(&a);

  MEMIMG p{};
  ASSERT_EQ(InitMemImg(&p, 7, 3, -1, 0xFFFF, 1, 1, 1, 0), 0);
  EXPECT_EQ(p.PaletteFlag, 1);
  EXPECT_EQ(p.AlphaFlag, 0);  // a palettised image gets no alpha
  EXPECT_EQ(p.Pitch, 7);
  EXPECT_EQ(p.Format, GetMemImgColorData(1, 0, 1));
  EXPECT_EQ(p.TransColor, 0xFFu);  // key held to the 8-bit index
  TouchAll(&p, 1);
  TermMemImg(&p);

  MEMIMG b{};
  ASSERT_EQ(InitMemImg(&b, 9, 2, -1, 0x1234, 2, 0, 0, 0), 0);
  EXPECT_EQ(b.TransColor, 0x34u);
  EXPECT_EQ(b.Pitch, 9);
  EXPECT_EQ(b.Format->PixelByte, 1);
  TermMemImg(&b);

  MEMIMG w{};
  ASSERT_EQ(InitMemImg(&w, 9, 2, -1, 0x1234, 3, 1, 0, 0), 0);
  EXPECT_EQ(w.TransColor, 0x34u);
  EXPECT_EQ(w.Pitch, 9);  // palettised colour type 3: one byte
  TermMemImg(&w);
}

TEST_F(MemImgTest, RunLengthBuffer) {
  MEMIMG a{};
  ASSERT_EQ(InitMemImg(&a, 6, 4, -1, 0, 0, 0, 0, 1), 0);
  ASSERT_NE(a.RunLength, nullptr);
  EXPECT_EQ(a.RunLengthFlag, 0);
  EXPECT_EQ(Live(), 2u);
  TouchAll(&a, 2);  // (6 + 5) x 4 run-length bytes
  TermMemImg(&a);
  EXPECT_EQ(Live(), 0u);

  MEMIMG b{};
  ASSERT_EQ(InitMemImg(&b, 6, 4, -1, 0, 2, 0, 0, 1), 0);
  EXPECT_EQ(b.RunLength, nullptr);  // colour type 2 never has one
  EXPECT_EQ(Live(), 1u);
  TermMemImg(&b);
}

TEST_F(MemImgTest, SecondSetUpRefused) {
  MEMIMG img{};
  ASSERT_EQ(InitMemImg(&img, 4, 4, -1, 0, 1, 0, 0, 0), 0);
  uint8_t* pixels = img.Pixels;
  EXPECT_EQ(InitMemImg(&img, 8, 8, -1, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(img.Pixels, pixels);
  EXPECT_EQ(img.Width, 4);
  EXPECT_EQ(img.ColorType, 1);
  EXPECT_EQ(Live(), 1u);
  TermMemImg(&img);
  // Torn down, it can be set up again.
  ASSERT_EQ(InitMemImg(&img, 8, 8, -1, 0, 0, 0, 0, 0), 0);
  TermMemImg(&img);
}

TEST_F(MemImgTest, BadArgumentsRefused) {
  MEMIMG img{};
  EXPECT_EQ(InitMemImg(nullptr, 4, 4, -1, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(InitMemImg(&img, 0, 4, -1, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(InitMemImg(&img, 4, -1, -1, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(InitMemImg(&img, 4, 4, -1, 0, 4, 0, 0, 0), -1);
  EXPECT_EQ(InitMemImg(&img, 4, 4, -1, 0, -1, 0, 0, 0), -1);
  EXPECT_EQ(img.SetupMark, 0u);
  EXPECT_EQ(IsMemImgValid(nullptr), 0);
  TermMemImg(nullptr);
}

// The log receives one line for each refused size.
class MemImgLogTest : public MemImgTest {
 protected:
  void SetUp() override {
    MemImgTest::SetUp();
    char templ[] = "/tmp/zq_memimg_XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir_ = templ;
    ASSERT_EQ(base::LogOpen(dir_.c_str()), 0);
  }
  void TearDown() override {
    std::string path = base::LogFilePath();
    base::LogClose();
    std::remove(path.c_str());
    rmdir(dir_.c_str());
    MemImgTest::TearDown();
  }
  static int LogLines() {
    std::ifstream in(base::LogFilePath(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    int lines = 0;
    for (char c : text.str()) lines += c == '\n';
    return lines;
  }

 private:
  std::string dir_;
};

TEST_F(MemImgLogTest, OversizeRefusedWithLogLineAndNoAllocation) {
  MEMIMG img{};
  EXPECT_EQ(InitMemImg(&img, 65536, 1, -1, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(InitMemImg(&img, 1, 65536, -1, 0, 0, 0, 0, 0), -1);
  // 65535 x 65535 x 4 bytes is far beyond 2^31 - 1.
  EXPECT_EQ(InitMemImg(&img, 65535, 65535, -1, 0, 1, 0, 0, 0), -1);
  // 32769 x 65535 = 2147516415 bytes of pixels alone.
  EXPECT_EQ(InitMemImg(&img, 1, 65535, 32769, 0, 2, 0, 0, 0), -1);
  // Pixels fit (65535 x 32768 plus the palette), the run-length buffer (65540 x 32768)
  // does not.
  EXPECT_EQ(InitMemImg(&img, 65535, 32768, -1, 0, 0, 1, 0, 1), -1);
  // A huge pitch that overflows 32-bit products.
  EXPECT_EQ(InitMemImg(&img, 16, 65535, 0x7FFFFFFF, 0, 1, 0, 0, 0), -1);
  EXPECT_EQ(img.SetupMark, 0u);
  EXPECT_EQ(Live(), 0u);
  EXPECT_EQ(LogLines(), 6);
}

// ---- views --------------------------------------------------------------------------

TEST_F(MemImgTest, ViewAddressesTheRectangle) {
  MEMIMG img{};
  ASSERT_EQ(InitMemImg(&img, 8, 4, 64, 0xFFABCDEF, 1, 0, 0, 1), 0);  // 32-bit key kept whole
  img.PaletteCount = 17;
  MEMIMG view{};
  view.RunLengthFlag = 1;
  MakeMemImgView(&view, &img, 2, 1, 3, 2);
  EXPECT_EQ(view.SetupMark, kMemImgSetupMark);
  // ViewFlag, Width, Height, Pitch, PitchShift, ColorType, PaletteCount, RunLengthFlag.
  EXPECT_EQ(std::tuple(view.ViewFlag, view.Width, view.Height, view.Pitch, view.PitchShift,
                       view.ColorType, view.PaletteCount, view.RunLengthFlag),
            std::tuple(1, 3, 2, 64, 6, 1, 17, 0));
  EXPECT_EQ(view.Format, img.Format);
  EXPECT_EQ(view.TransColor, 0xFFABCDEFu);
  EXPECT_EQ(view.Palette, img.Palette);
  EXPECT_EQ(view.RunLength, nullptr);
  EXPECT_EQ(view.Pixels, img.Pixels + 2 * 4 + 1 * 64);
  EXPECT_EQ(IsMemImgValid(&view), 1);

  // Writing through the view lands in the image.
  view.Pixels[0] = 0x77;
  EXPECT_EQ(img.Pixels[72], 0x77);

  // Tearing the view down frees nothing.
  const size_t live = Live();
  TermMemImg(&view);
  EXPECT_EQ(Live(), live);
  EXPECT_EQ(IsMemImgValid(&img), 1);
  TermMemImg(&img);
}

TEST_F(MemImgTest, ViewOfPalettisedAndAlphaImages) {
  MEMIMG p{};
  ASSERT_EQ(InitMemImg(&p, 8, 4, -1, 0, 0, 1, 0, 0), 0);
  MEMIMG v{};
  MakeMemImgView(&v, &p, 3, 2, 2, 2);
  EXPECT_EQ(v.Pixels, p.Pixels + 3 + 2 * 8);
  EXPECT_EQ(v.PaletteFlag, 1);
  TermMemImg(&p);

  MEMIMG a{};
  ASSERT_EQ(InitMemImg(&a, 8, 4, -1, 0, 0, 0, 1, 0), 0);
  MakeMemImgView(&v, &a, 3, 2, 2, 2);
  EXPECT_EQ(v.Pixels, a.Pixels + 3 * 4 + 2 * 32);
  EXPECT_EQ(v.AlphaFlag, 1);
  TermMemImg(&a);
}

TEST_F(MemImgTest, ViewIsKeptInsideItsSource) {
  MEMIMG img{};
  ASSERT_EQ(InitMemImg(&img, 8, 4, -1, 0, 0, 0, 0, 0), 0);
  MEMIMG v{};
  MakeMemImgView(&v, &img, 6, 3, 10, 10);
  EXPECT_EQ(std::pair(v.Width, v.Height), std::pair(2, 1));
  EXPECT_EQ(v.Pixels, img.Pixels + 6 * 2 + 3 * 16);
  MakeMemImgView(&v, &img, -3, -1, 4, 4);
  EXPECT_EQ(v.Pixels, img.Pixels);
  EXPECT_EQ(std::pair(v.Width, v.Height), std::pair(4, 4));
  MakeMemImgView(&v, &img, 20, 1, 4, -4);
  EXPECT_EQ(std::pair(v.Width, v.Height), std::pair(0, 0));
  // A view of a view, and a record turned into a view of itself.
  MEMIMG vv{};
  MakeMemImgView(&v, &img, 1, 1, 6, 3);
  MakeMemImgView(&vv, &v, 1, 1, 2, 2);
  EXPECT_EQ(vv.Pixels, img.Pixels + 2 * 2 + 2 * 16);
  MakeMemImgView(&v, &v, 1, 0, 3, 3);
  EXPECT_EQ(v.Pixels, img.Pixels + 2 * 2 + 1 * 16);
  EXPECT_EQ(v.Width, 3);
  MakeMemImgView(nullptr, &img, 0, 0, 1, 1);
  TermMemImg(&img);
}

// ---- one-channel images ---------------------------------------------------------------

TEST_F(MemImgTest, CreateOfTypeReleasesAnOwnedImage) {
  MEMIMG img{};
  ASSERT_EQ(InitMemImg(&img, 32, 32, -1, 0, 1, 0, 0, 1), 0);
  EXPECT_EQ(Live(), 2u);
  ASSERT_EQ(CreateMemImgOfType(&img, 5, 6), 0);
  EXPECT_EQ(Live(), 1u);  // the old pixels and run-length buffer are gone
  // ColorType, Pitch, PaletteFlag, AlphaFlag.
  EXPECT_EQ(std::tuple(img.ColorType, img.Pitch, img.PaletteFlag, img.AlphaFlag),
            std::tuple(3, 10, 0, 0));
  EXPECT_EQ(img.TransColor, 0u);
  EXPECT_EQ(img.RunLength, nullptr);
  EXPECT_EQ(img.Format, GetMemImgColorData(3, 0, 0));
  TouchAll(&img, 2);
  TermMemImg(&img);
}

TEST_F(MemImgTest, CreateOfTypeOnAViewLeavesTheSource) {
  MEMIMG src{};
  ASSERT_EQ(InitMemImg(&src, 8, 8, -1, 0, 0, 0, 0, 0), 0);
  MEMIMG view{};
  MakeMemImgView(&view, &src, 0, 0, 4, 4);
  ASSERT_EQ(CreateMemImgOfType(&view, 3, 3), 0);
  EXPECT_EQ(view.ViewFlag, 0);
  EXPECT_NE(view.Pixels, src.Pixels);
  EXPECT_EQ(IsMemImgValid(&src), 1);
  TouchAll(&src, 2);
  EXPECT_EQ(Live(), 2u);
  TermMemImg(&view);
  TermMemImg(&src);
}

TEST_F(MemImgTest, CreateOfTypeFailureLeavesRecordEmpty) {
  MEMIMG img{};
  ASSERT_EQ(InitMemImg(&img, 4, 4, -1, 0, 1, 0, 0, 0), 0);
  EXPECT_EQ(CreateMemImgOfType(&img, 0, 4), -1);
  EXPECT_EQ(img.SetupMark, 0u);
  EXPECT_EQ(Live(), 0u);
  EXPECT_EQ(CreateMemImgOfType(nullptr, 4, 4), -1);
}

}  // namespace
}  // namespace zq::gfx
