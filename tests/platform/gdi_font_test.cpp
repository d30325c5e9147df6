// GDI font stand-in: the synthetic face against its written definition in both bitmap layouts,
// selection and deletion rules, bad calls, face lookup by name and character set.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/gdi/font.h"
#include "support/synthetic_face.h"

namespace zq::platform {
namespace {

constexpr MAT2 kIdentity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};

HFONT Make(const char* face, int32_t height = 16, uint32_t charSet = SHIFTJIS_CHARSET,
           int32_t weight = 400) {
  return CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, charSet, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, face);
}

// A memory context holding a font until the end of the scope.
struct Selected {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old;
  HFONT font;
  explicit Selected(HFONT f) : old(SelectObject(dc, f)), font(f) {}
  ~Selected() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(font);
  }
};

// Metrics at every kind of height and the exact bytes of both layouts (the font cache tests
// check the glyphs themselves through the library).
TEST(GdiFontTest, SyntheticFaceMetricsAndLayouts) {
  std::mt19937 rng(24);
  for (int32_t height = -20; height <= 20; height += 5) {
    const bool bold = height % 2 != 0;
    Selected s(Make("ZQ-Synthetic", height, SHIFTJIS_CHARSET, bold ? 600 : 400));
    const test::SynthMetrics want = test::SynthFaceMetrics(height);
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(s.dc, &tm));
    EXPECT_EQ(
        std::vector<int>(
            {tm.tmHeight, tm.tmAscent, tm.tmDescent, tm.tmMaxCharWidth, tm.tmAveCharWidth}),
        std::vector<int>({want.height, want.ascent, want.descent, want.maxWidth, want.aveWidth}));
    for (uint32_t code : {0x20u, 0x8140u, 0x7Fu, 0x7Cu, 0x5Fu, uint32_t(rng() % 0x100),
                          uint32_t(0x8140 + rng() % 0x7000)})
      for (uint32_t format : {GGO_BITMAP, GGO_GRAY4_BITMAP}) {
        const test::SynthGlyph g = test::SynthFaceGlyph(code, height, bold);
        const int pitch = format == GGO_BITMAP ? (g.w + 31) / 32 * 4 : (g.w + 3) / 4 * 4;
        std::vector<uint8_t> want8(g.empty ? 0 : size_t(pitch * g.h), 0);
        for (int y = 0; y < g.h && !g.empty; ++y)
          for (int x = 0; x < g.w; ++x)
            want8[y * pitch + (format == GGO_BITMAP ? x / 8 : x)] |=
                format == GGO_BITMAP ? g.Set(x, y) * (0x80 >> (x % 8)) : g.Level(x, y);
        GLYPHMETRICS gm{};
        std::vector<uint8_t> got(want8.size() + 4, 0xEE);
        ASSERT_EQ(
            GetGlyphOutlineA(s.dc, code, format, &gm, uint32_t(got.size()), got.data(), &kIdentity),
            want8.size());
        got.resize(want8.size());
        EXPECT_EQ(got, want8) << code;
        EXPECT_EQ(std::vector<int>({int(gm.gmBlackBoxX), int(gm.gmBlackBoxY), gm.gmCellIncX}),
                  std::vector<int>({g.w, g.h, g.increment}));
      }
  }
}

TEST(GdiFontTest, SelectionDeletionAndBadCalls) {
  HDC dc = CreateCompatibleDC(nullptr);
  char name[32] = "";
  EXPECT_EQ(GetTextFaceA(dc, sizeof name, name), 12);  // the stock font: synthetic, height 16
  EXPECT_STREQ(name, kSyntheticFaceName);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  EXPECT_EQ(tm.tmHeight, 16);
  HFONT font = Make(kSyntheticFaceName, 20);
  HGDIOBJ stock = SelectObject(dc, font);
  ASSERT_NE(stock, nullptr);
  EXPECT_FALSE(DeleteObject(font));  // selected
  GetTextMetricsA(dc, &tm);
  EXPECT_EQ(tm.tmHeight, 20);
  GLYPHMETRICS gm{};
  std::vector<uint8_t> small(3);
  const MAT2 scaled{{0, 2}, {0, 0}, {0, 0}, {0, 1}};
  EXPECT_EQ(GetGlyphOutlineA(dc, 0x41, 2, &gm, 0, nullptr, &kIdentity), GDI_ERROR);
  EXPECT_EQ(GetGlyphOutlineA(dc, 0x41, GGO_BITMAP, &gm, 0, nullptr, &scaled), GDI_ERROR);
  EXPECT_EQ(GetGlyphOutlineA(dc, 0x41, GGO_BITMAP, nullptr, 0, nullptr, &kIdentity), GDI_ERROR);
  EXPECT_EQ(GetGlyphOutlineA(dc, 0x41, GGO_BITMAP, &gm, 3, small.data(), &kIdentity), GDI_ERROR);
  EXPECT_EQ(GetGlyphOutlineA(dc, 0x41, GGO_METRICS, &gm, 0, nullptr, &kIdentity), 0u);
  EXPECT_EQ(gm.gmCellIncX, 10);
  PixelTarget pixels{small.data(), 1, 1, 4, 8, 0, 0, 0, nullptr, 0};
  HDC surface = CreateSurfaceDC(pixels);  // a context without a font
  EXPECT_EQ(GetGlyphOutlineA(surface, 0x41, GGO_BITMAP, &gm, 0, nullptr, &kIdentity), GDI_ERROR);
  EXPECT_EQ(SelectObject(surface, font), nullptr);
  DeleteSurfaceDC(surface);
  EXPECT_EQ(SelectObject(dc, stock), font);
  EXPECT_TRUE(DeleteObject(font));
  EXPECT_TRUE(DeleteObject(stock));  // never freed
  DeleteDC(dc);
}

TEST(GdiFontTest, FacesAreFoundByExactNameAndCharacterSet) {
  gditest::Reset();
  EXPECT_EQ(Make("No Such Face"), nullptr);
  EXPECT_EQ(Make("IPAGoth"), nullptr);                                // names match whole
  EXPECT_EQ(Make("DejaVu Sans Mono"), nullptr);                       // no U+3042
  EXPECT_EQ(Make("DejaVu Sans Mono", 16, HANGEUL_CHARSET), nullptr);  // no U+AC00
  for (const char* face :
       {"dejavu sans mono", "ipagothic", "IPA\x83\x53\x83\x56\x83\x62\x83\x4E", ""}) {
    Selected s(Make(face, 16, face[0] == 'd' ? DEFAULT_CHARSET : SHIFTJIS_CHARSET));
    ASSERT_NE(s.font, nullptr) << face;
    char name[64];
    GetTextFaceA(s.dc, sizeof name, name);
    EXPECT_STREQ(name, face[0] == 'd' ? "DejaVu Sans Mono" : "IPAGothic");
  }
  EXPECT_EQ(GetOEMCP(), 932u);
}

}  // namespace
}  // namespace zq::platform
