#include "graphics/image/convert_pixel_rect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "graphics/ddraw/memimg.h"
#include "graphics/image/convert_test_formats.h"
#include "platform/os/cpu.h"

namespace zq::gfx {
namespace {

using platform::RECT;
using namespace zq::gfx::testing;
using Bytes = std::vector<uint8_t>;
using V = std::vector<uint32_t>;

struct Opts {
  int mirror = 0;
  int keyToAlpha = 0;
  uint32_t key = 0;
  int dither = 0;
  int zero = 0;
  int fromRed = 0;
  int skip = 0;
  const void* alpha = nullptr;
  int32_t alphaPitch = 0;
  const ColorData* alphaFormat = nullptr;
};

// Source and destination as vectors of their pixel type; pitches are whole rows of the vector.
template <class D, class S>
int Convert(std::vector<D>& dst, int dstWidth, const ColorData& df, const std::vector<S>& src,
            int srcWidth, const ColorData& sf, RECT r, int dx, int dy, const Opts& o = {}) {
  return ConvertPixelRect(dst.data(), int32_t(dstWidth * sizeof(D)), &df, src.data(),
                          int32_t(srcWidth * sizeof(S)), &sf, o.alpha, o.alphaPitch, o.alphaFormat,
                          dx, dy, &r, o.mirror, o.keyToAlpha, o.key, o.dither, o.zero, o.fromRed,
                          o.skip);
}

// Little-endian bytes of 16- and 32-bit pixels.
Bytes W16(std::initializer_list<uint32_t> pixels) {
  Bytes out;
  for (uint32_t p : pixels) out.insert(out.end(), {uint8_t(p), uint8_t(p >> 8)});
  return out;
}
Bytes W32(std::initializer_list<uint32_t> pixels) {
  Bytes out;
  for (uint32_t p : pixels)
    out.insert(out.end(), {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), uint8_t(p >> 24)});
  return out;
}

ColorData Grey() {
  ColorData grey = MakePal8();
  for (int i = 0; i < 256; ++i) grey.Palette[i] = uint32_t(i) * 0x010101;
  return grey;
}

// Every conversion test runs at each dispatch level (the scalar level also turns the MMX flag
// off): the pixels must not change.
class ConvertTest : public ::testing::TestWithParam<platform::CpuLevel> {
 protected:
  void SetUp() override { platform::LimitCpuLevel(GetParam()); }
  void TearDown() override { platform::LimitCpuLevel(platform::CpuLevel::kAvx2); }
};

// ---- results and refusals ----

TEST_P(ConvertTest, RefusalsWriteNothing) {
  std::vector<uint16_t> src(4, 0x1234), dst(4, 0xAAAA);
  const ColorData f = Rgb565();
  // Empty or reversed rectangles; a width that does not fit in 32 bits is reversed, not huge.
  for (RECT r : {RECT{1, 0, 1, 1}, RECT{0, 1, 4, 1}, RECT{3, 0, 1, 1}, RECT{0, 1, 4, 0},
                 RECT{INT32_MAX, 0, INT32_MIN, 1}})
    EXPECT_EQ(-1, Convert(dst, 4, f, src, 4, f, r, 0, 0));
  // Unusable descriptors.
  ColorData depth12 = f, wrongBytes = f, wildShift = f;
  depth12.ColorBitDepth = 12;
  wrongBytes.PixelByte = 4;
  wildShift.RL = 40;
  EXPECT_EQ(-1, Convert(dst, 2, depth12, src, 2, f, {0, 0, 2, 1}, 0, 0));
  EXPECT_EQ(-1, Convert(dst, 2, f, src, 2, depth12, {0, 0, 2, 1}, 0, 0));
  EXPECT_EQ(-1, Convert(dst, 2, f, src, 2, wrongBytes, {0, 0, 2, 1}, 0, 0));
  EXPECT_EQ(-1, Convert(dst, 2, wildShift, src, 2, f, {0, 0, 2, 1}, 0, 0));
  EXPECT_EQ(-1, Convert(dst, 2, Argb8888(), src, 2, f, {0, 0, 1, 1}, 0, 0,
                        {.alpha = src.data(), .alphaFormat = &depth12}));
  EXPECT_EQ(-1, Convert(dst, 2, f, src, 2, f, {0, 0, 2, 1}, 0, 0, {.dither = 3}));
  // A palette copy from another depth.
  EXPECT_EQ(-1, Convert(dst, 2, MakePal8(), src, 2, f, {0, 0, 2, 1}, 0, 0));
  EXPECT_EQ(std::vector<uint16_t>(4, 0xAAAA), dst);
}

// ---- rectangles ----

TEST_P(ConvertTest, PaletteAndEqualFormatCopiesMoveWholePixels) {
  // 5 x 3 source; rectangle (1, 1)-(4, 3) holds 11 12 13 / 21 92 23. The palette copy returns
  // the largest index and never consults the colours.
  const Bytes src = {0, 1, 2, 3, 99, 10, 11, 12, 13, 14, 20, 21, 92, 23, 24};
  Bytes dst(6 * 2, 0xEE), mirrored(3 * 2, 0xEE);
  ColorData pal = MakePal8();
  pal.Palette[92] = 0x00123456;
  EXPECT_EQ(92, Convert(dst, 6, pal, src, 5, pal, {1, 1, 4, 3}, 2, 0));
  EXPECT_EQ(dst, (Bytes{0xEE, 0xEE, 11, 12, 13, 0xEE, 0xEE, 0xEE, 21, 92, 23, 0xEE}));
  EXPECT_EQ(92, Convert(mirrored, 3, pal, src, 5, pal, {1, 1, 4, 3}, 0, 0, {.mirror = 1}));
  EXPECT_EQ(mirrored, (Bytes{13, 12, 11, 23, 92, 21}));

  const Bytes rgb = Rgb24({0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112});
  Bytes dst24(3 * 3 * 2, 0xEE);
  EXPECT_EQ(0, Convert(dst24, 9, Rgb888(), rgb, 9, Rgb888(), {1, 0, 3, 2}, 1, 0));
  EXPECT_EQ(dst24, (Bytes{0xEE, 0xEE, 0xEE, 6, 5, 4, 9, 8, 7,  //
                          0xEE, 0xEE, 0xEE, 0x0F, 0x0E, 0x0D, 0x12, 0x11, 0x10}));

  // In place, 5:6:5 to 5:5:5.
  std::vector<uint16_t> buf = {0xFFFF, 0xFC08, 0x0020, 0x1234};
  EXPECT_EQ(0, Convert(buf, 4, Rgb555(), buf, 4, Rgb565(), {0, 0, 3, 1}, 0, 0));
  EXPECT_EQ(buf, (std::vector<uint16_t>{0x7FFF, 0x7E08, 0x0000, 0x1234}));

  // The general path mirrors too, at a destination offset.
  std::vector<uint32_t> out(4, 0xEEEEEEEE);
  EXPECT_EQ(0, Convert(out, 4, Argb8888(), std::vector<uint16_t>{31 << 11, 63 << 5, 31}, 3,
                       Rgb565(), {0, 0, 3, 1}, 1, 0, {.mirror = 1}));
  EXPECT_EQ(out, (V{0xEEEEEEEE, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000}));
  // And mirrors a keyed copy on an equal layout.
  std::vector<uint32_t> keyed(3, 0xEEEEEEEE);
  EXPECT_EQ(0, Convert(keyed, 3, Argb8888(),
                       std::vector<uint32_t>{0x00102030, 0x12102031, 0x55102030}, 3, Xrgb8888(),
                       {0, 0, 2, 1}, 0, 0, {.mirror = 1, .keyToAlpha = 1, .key = 0x00102030}));
  EXPECT_EQ(keyed, (V{0xFF102031, 0x00102030, 0xEEEEEEEE}));
}

// ---- one row of pixels ----

// One row of n pixels converted into bytes set to the fill, each read back widened to 32 bits.
struct RowCase {
  const char* what;
  ColorData df, sf;
  Bytes src;
  Opts o;
  V want;
  uint8_t fill = 0;
};

const uint8_t kAlpha[] = {0x80, 0x00, 0xFF};
const ColorData kGrey = Grey(), kEmpty{};

ColorData Pal(std::initializer_list<std::pair<int, uint32_t>> entries) {
  ColorData pal = MakePal8();
  for (auto [i, c] : entries) pal.Palette[i] = c;
  return pal;
}

TEST_P(ConvertTest, OneRow) {
  const auto skip = [](uint32_t key, int mirror = 0) {
    return Opts{.mirror = mirror, .key = key, .skip = 1};
  };
  const auto key = [](uint32_t k) { return Opts{.keyToAlpha = 1, .key = k}; };
  const Opts fromRed{.zero = 1, .fromRed = 1};
  const ColorData pal = Pal({{0, 0xFF8040}, {1, 0x102030}});
  const Bytes rgb3 = Rgb24({0xFF8040, 0x102030, 0xFF8747}),
              red3 = Rgb24({0xB71122, 0x00FFFF, 0x80FFFF});
  const Bytes grey3 = Rgb24({0x102030, 0x405060, 0x708090});
  const ColorData byte8 = *GetMemImgColorData(kMemImgByte8, 0, 0);
  const RowCase rows[] = {
      // clang-format off
      // Skip key: 16-bit pixels compare the key's low 16 bits, 32-bit ones all of it; mirror
      // switches the key off; 8-bit indexes bypass the palette copy when skipping, and on the
      // general path the key compares indexes too, not colours.
      {"skip 16", Rgb565(), Rgb565(), W16({0x1234, 0x5678, 0x1234, 0xABCD}), skip(0xABCD1234),
       {0xEEEE, 0x5678, 0xEEEE, 0xABCD}, 0xEE},
      {"skip 32", Xrgb8888(), Xrgb8888(), W32({0x00001234, 0xABCD1234}), skip(0xABCD1234),
       {0x00001234, 0xEEEEEEEE}, 0xEE},
      {"skip mirrored", Rgb565(), Rgb565(), W16({0x1234, 0x5678, 0x1234, 0xABCD}),
       skip(0xABCD1234, 1), {0xABCD, 0x1234, 0x5678, 0x1234}, 0xEE},
      {"skip 8", MakePal8(), MakePal8(), {5, 6, 5, 7}, skip(0x305), {0xEE, 6, 0xEE, 7}, 0xEE},
      {"skip indexes", Rgb565(), Pal({{5, 0xFF0000}, {6, 0xFF0000}}), {5, 6}, skip(5),
       {0xEEEE, 0xF800}, 0xEE},
      // Key to alpha on an equal colour layout; 5:5:5 into 1:5:5:5, key F80008 packs to 31, 0, 1.
      {"key 8888", Argb8888(), Xrgb8888(), W32({0x00102030, 0x12102031, 0x55102030}),
       key(0x00102030), {0x00102030, 0xFF102031, 0x00102030}},
      {"key 1555", Argb1555(), Rgb555(), W16({0x7C01, 0x7C02, 0xFC01}), key(0x00F80008),
       {0x7C01, 0xFC02, 0x7C01}},
      // Fixed-format paths from a palette and from 24 bits. 5:5:5 sets bit 15. FF,80,40 ->
      // 31,16,8; 10,20,30 -> 2,4,6. From 24 bits the key compares reduced colours: FF8747 reduces
      // to the key's 31,16,8 as well. Into 8:8:8:8 all 32 bits are compared.
      {"pal 555", Rgb555(), pal, {0, 1, 2}, {}, {0xFE08, 0x8886, 0x8000}},
      {"24 555", Rgb555(), Rgb888(), rgb3, {}, {0xFE08, 0x8886, 0xFE08}},
      {"pal 8888", Xrgb8888(), pal, {0, 1, 2}, {}, {0xFFFF8040, 0xFF102030, 0xFF000000}},
      {"pal 1555 keyed", Argb1555(), pal, {0, 1, 2}, key(0xFF8040), {0x7E08, 0x8886, 0x8000}},
      {"24 1555 keyed", Argb1555(), Rgb888(), rgb3, key(0xFF8040), {0x7E08, 0x8886, 0x7E08}},
      {"24 8888 keyed", Argb8888(), Rgb888(), rgb3, key(0xFF8040),
       {0x00FF8040, 0xFF102030, 0xFFFF8747}},
      {"pal 8888 keyed, top byte differs", Argb8888(),
       Pal({{0, 0xFF8040}, {1, 0x102030}, {2, 0x01FF8040}}), {0, 1, 2}, key(0xFF8040),
       {0x00FF8040, 0xFF102030, 0xFFFF8040}},
      // 5:6:5 to X8:8:8 on the fast path: 31 -> 248 and 63 -> 252, the top byte left zero.
      {"565 x888", Xrgb8888(), Rgb565(), W16({0xFFFF, 0xFC08, 0x0000}), {},
       {0x00F8FCF8, 0x00F88040, 0x00000000}, 0xEE},
      // The general path widens by floor(v * 255 / (2^w - 1)), full alpha when the source has
      // none: 5-bit 0, 1, 16, 30, 31; 6-bit 32 -> 129, 63 -> 255, 1 -> 4; 4:4:4:4 red 7 alpha 15,
      // red 15 alpha 8. Narrowing truncates: R 255 -> 31, G 7 -> 1 / R 7 -> 0, B F8 -> 31.
      {"widen 5", Argb8888(), Rgb555(), W16({0 << 10, 1 << 10, 16 << 10, 30 << 10, 31 << 10}), {},
       {0xFF000000, 0xFF080000, 0xFF830000, 0xFFF60000, 0xFFFF0000}},
      {"widen 6", Argb8888(), Rgb565(), W16({32 << 5, 63 << 5, 1 << 5}), {},
       {0xFF008100, 0xFF00FF00, 0xFF000400}},
      {"widen 4", Argb8888(), Argb4444(), W16({0xF700, 0x8F00}), {}, {0xFF770000, 0x88FF0000}},
      {"8 to a 16-bit red", MakeFormat(32, 0xFFFF0000, 0xFF00, 0xFF, 0), Rgb888(),
       Rgb24({0x800102, 0xFF0000, 0x000000}), {}, {0x80800102, 0xFFFF0000, 0x00000000}},
      {"narrow", Rgb565(), Argb8888(), W32({0xFFFF07FF, 0x000700F8}), {}, {0xF83F, 0x001F}},
      {"4444 into x888 sets the top byte", Xrgb8888(), Argb4444(), W16({0x37A1}), {}, {0xFF77AA11}},
      {"no blue in the source", Xrgb8888(), MakeFormat(16, 0xF800, 0x07E0, 0, 0), W16({0xFFFF}), {},
       {0xFFFFFF00}},
      // Key to alpha at destination precision: into 4:4:4:4 the high bits are compared; into
      // 8:8:8:8 after widening (5:5:5 magenta matches FF00FF, not F800F8); off when the source
      // has alpha.
      {"key 4444", Argb4444(), Rgb888(), Rgb24({0xF3AF5F, 0xE0A050, 0xF0A050}), key(0xF0A050),
       {0x0FA5, 0xFEA5, 0x0FA5}},
      {"key widened", Argb8888(), Rgb555(), W16({0x7C1F, 0x7C1E}), key(0xFF00FF),
       {0x00FF00FF, 0xFFFF00F6}},
      {"key not widened", Argb8888(), Rgb555(), W16({0x7C1F, 0x7C1E}), key(0xF800F8),
       {0xFFFF00FF, 0xFFFF00F6}},
      {"key off with source alpha", Argb8888(), Argb4444(), W16({0x0F0F}), key(0x112233),
       {0x00FF00FF}},
      // An alpha image supplies alpha, narrowed with the colours into 4:4:4:4; an empty or no
      // alpha format means no alpha image.
      {"alpha image", Argb8888(), Rgb888(), grey3,
       {.alpha = kAlpha, .alphaPitch = 3, .alphaFormat = &kGrey},
       {0x80102030, 0x00405060, 0xFF708090}},
      {"alpha image 4444", Argb4444(), Rgb888(), grey3,
       {.alpha = kAlpha, .alphaPitch = 3, .alphaFormat = &kGrey}, {0x8123, 0x0456, 0xF789}},
      {"empty alpha format", Argb8888(), Rgb888(), Rgb24({0x102030}),
       {.alpha = kAlpha, .alphaPitch = 1, .alphaFormat = &kEmpty}, {0xFF102030}},
      {"no alpha format", Argb8888(), Rgb888(), Rgb24({0x102030}),
       {.alpha = kAlpha, .alphaPitch = 1}, {0xFF102030}},
      // Alpha converted even when the colour widths agree: a 4-bit alpha at 24..27 (28..31 belong
      // to no channel), from an alpha image or an 8-bit source alpha: 80 -> 8.
      {"alpha 4 of 8888", MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0x0F000000), Rgb888(),
       Rgb24({0x102030, 0x405060}), {.alpha = kAlpha, .alphaPitch = 2, .alphaFormat = &kGrey},
       {0xF8102030, 0xF0405060}},
      {"source alpha 4 of 8888", MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0x0F000000), Argb8888(),
       W32({0x80102030}), {}, {0xF8102030}},
      // Alpha from red with zero colour: into a single channel, red widened to 16 bits (B7 ->
      // B7B7); the image one-channel formats keep the value in their alpha field alone; a 32-bit
      // red into a format without red drops all 32 bits but its top byte still becomes the alpha.
      // An 8-bit red at 0..7 with a 4-bit alpha at 12..15 (8..11 unused): without zero colour
      // the red stays.
      {"red 8", MakeFormat(8, 0xFF, 0xFF, 0xFF, 0xFF), Rgb888(), red3, fromRed, {0xB7, 0x00, 0x80}},
      {"red 16", MakeFormat(16, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF), Rgb888(), red3, fromRed,
       {0xB7B7, 0x0000, 0x8080}},
      {"red byte8", byte8, Rgb888(), red3, fromRed, {0xB7, 0x00, 0x80}},
      {"red word16", *GetMemImgColorData(kMemImgWord16, 0, 0), Rgb888(), red3, fromRed,
       {0xB7B7, 0x0000, 0x8080}},
      {"red 32", byte8, MakeFormat(32, 0xFFFFFFFF, 0, 0, 0), W32({0xABCDEF12}), fromRed, {0xAB}},
      {"red narrow", MakeFormat(16, 0x00FF, 0, 0, 0xF000), Rgb888(), Rgb24({0xB71122}), fromRed,
       {0xBF00}},
      {"red narrow kept", MakeFormat(16, 0x00FF, 0, 0, 0xF000), Rgb888(), Rgb24({0xB71122}),
       {.fromRed = 1}, {0xBFB7}},
      // clang-format on
  };
  for (const RowCase& c : rows) {
    SCOPED_TRACE(c.what);
    const int n = int(c.want.size());
    Bytes dst(size_t(n) * c.df.PixelByte, c.fill);
    const RECT r{0, 0, n, 1};
    ASSERT_EQ(0, ConvertPixelRect(dst.data(), int32_t(dst.size()), &c.df, c.src.data(),
                                  int32_t(c.src.size()), &c.sf, c.o.alpha, c.o.alphaPitch,
                                  c.o.alphaFormat, 0, 0, &r, c.o.mirror, c.o.keyToAlpha, c.o.key,
                                  c.o.dither, c.o.zero, c.o.fromRed, c.o.skip));
    V out(size_t(n), 0);
    for (int i = 0; i < n; ++i)
      std::memcpy(&out[i], &dst[size_t(i) * c.df.PixelByte], c.df.PixelByte);
    EXPECT_EQ(out, c.want);
  }
  // The alpha image follows the source rectangle.
  std::vector<uint32_t> one(1);
  EXPECT_EQ(0,
            Convert(one, 1, Argb8888(), Rgb24({0x102030, 0x405060, 0x708090}), 9, Rgb888(),
                    {2, 0, 3, 1}, 0, 0, {.alpha = kAlpha, .alphaPitch = 3, .alphaFormat = &kGrey}));
  EXPECT_EQ(one[0], 0xFF708090u);
}

// ---- long rows against a per-pixel model ----

// Long rows of every width up to 40, started at an odd column, against each row's rule applied
// pixel by pixel here; with the vector flag on, the wide rows must give the same pixels.
class FastRowsTest : public ConvertTest {
 protected:
  uint32_t Next() {
    seed_ = seed_ * 1103515245u + 12345u;
    return seed_ >> 8;
  }
  template <class D, class S, class Rule>
  void Check(const ColorData& df, const ColorData& sf, Rule rule,
             const ColorData* palette = nullptr) {
    const int sb = sf.PixelByte, db = df.PixelByte;
    for (int w = 1; w <= 40; ++w) {
      const int srcWidth = w + 1;
      Bytes src(size_t(srcWidth) * sb * 2);
      for (uint8_t& b : src) b = uint8_t(Next());
      Bytes dst(size_t(w) * db * 2, 0xEE);
      const RECT r{1, 0, srcWidth, 2};
      ASSERT_EQ(0, ConvertPixelRect(dst.data(), w * db, &df, src.data(), srcWidth * sb, &sf,
                                    nullptr, 0, nullptr, 0, 0, &r, 0, 0, 0, 0, 0, 0, 0));
      for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < w; ++x) {
          S in{};
          std::memcpy(&in, &src[(size_t(y) * srcWidth + x + 1) * sb], size_t(sb));
          D out{};
          std::memcpy(&out, &dst[(size_t(y) * w + x) * db], size_t(db));
          const uint32_t p = palette ? palette->Palette[in & 0xFF] : uint32_t(in);
          ASSERT_EQ(D(rule(p)), out) << "width " << w << " at " << x << "," << y;
        }
      }
    }
  }
  uint32_t seed_ = 99;
};

uint32_t To565(uint32_t p) {
  return ((p >> 16) & 0xFF) >> 3 << 11 | ((p >> 8) & 0xFF) >> 2 << 5 | (p & 0xFF) >> 3;
}

TEST_P(FastRowsTest, EveryFixedFormatRow) {
  Check<uint32_t, uint32_t>(Xrgb8888(), Rgb888(), [](uint32_t p) { return p | 0xFF000000u; });
  Check<uint16_t, uint32_t>(Rgb565(), Rgb888(), To565);
  Check<uint16_t, uint32_t>(Rgb565(), Xrgb8888(), To565);
  Check<uint32_t, uint16_t>(Xrgb8888(), Rgb565(), [](uint32_t p) {
    return (p >> 11) << 19 | ((p >> 5) & 63) << 10 | (p & 31) << 3;
  });
  Check<uint16_t, uint16_t>(Rgb555(), Rgb565(), [](uint32_t p) {
    return (p >> 11) << 10 | ((p >> 5) & 63) >> 1 << 5 | (p & 31);
  });
  Check<uint16_t, uint16_t>(Rgb565(), Rgb555(), [](uint32_t p) {
    const uint32_t g = (p >> 5) & 31;
    return ((p >> 10) & 31) << 11 | (2 * g + (g & 1)) << 5 | (p & 31);
  });
  ColorData pal = MakePal8();
  for (uint32_t& e : pal.Palette) e = Next() & 0xFFFFFF;
  Check<uint16_t, uint8_t>(Rgb565(), pal, To565, &pal);
}

TEST_P(ConvertTest, GeneralPathLongRowsCrossScratchChunks) {
  // 600 pixels: several internal steps; each pixel's red is its column & 31.
  std::vector<uint16_t> src(600);
  for (int x = 0; x < 600; ++x) src[x] = uint16_t((x & 31) << 10);
  std::vector<uint32_t> dst(600);
  EXPECT_EQ(0, Convert(dst, 600, Argb8888(), src, 600, Rgb555(), {0, 0, 600, 1}, 0, 0));
  for (int x = 0; x < 600; ++x)
    ASSERT_EQ(0xFF000000u | uint32_t(x & 31) * 255 / 31 << 16, dst[x]) << x;
}

// ---- dither ----

TEST_P(ConvertTest, OrderedAndCarriedRemainderDither) {
  // R 83 (3 dropped bits = 3), G 41 (dropped 1), B 1E (dropped 6); 4 x 2 pixels.
  const Bytes grey = Rgb24({0x83411E, 0x83411E, 0x83411E, 0x83411E});
  Bytes src = grey;
  src.insert(src.end(), grey.begin(), grey.end());
  const auto px = [](int r, int g, int b) { return uint16_t(r << 11 | g << 5 | b); };
  std::vector<uint16_t> carried(8), ordered(8);
  // Accumulators (in dropped-bit units) R +3 over 7, G +1 over 3, B +6 over 7, carried on into
  // the second row.
  EXPECT_EQ(0, Convert(carried, 4, Rgb565(), src, 12, Rgb888(), {0, 0, 4, 2}, 0, 0,
                       {.dither = kDitherCarry}));
  EXPECT_EQ(carried,
            (std::vector<uint16_t>{px(16, 16, 3), px(16, 16, 4), px(17, 16, 4), px(16, 17, 4),
                                   px(16, 16, 3), px(17, 16, 4), px(16, 16, 4), px(17, 17, 4)}));
  // Row 0 thresholds (matrix 0 8 2 10): R 0 4 1 5, G 0 2 0 2, B 0 4 1 5; 16,16,3 plus a unit
  // where the threshold is below the dropped bits. Row 1 white clamps.
  std::fill(src.begin() + 12, src.end(), 0xFF);
  EXPECT_EQ(0, Convert(ordered, 4, Rgb565(), src, 12, Rgb888(), {0, 0, 4, 2}, 0, 0,
                       {.dither = kDitherOrdered}));
  EXPECT_EQ(ordered, (std::vector<uint16_t>{px(17, 17, 4), px(16, 16, 4), px(17, 17, 4),
                                            px(16, 16, 4), 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}));
}

TEST_P(ConvertTest, DitherCarryIntoTheTopBitDoesNotWrap) {
  // Red 10 bits at 20..29 into red 8 bits at 24..31: a carry onto FF must clamp, not wrap.
  const ColorData src = MakeFormat(32, 0x3FF00000, 0x000FFC00, 0x3FF, 0xC0000000);
  const ColorData dst = MakeFormat(32, 0xFF000000, 0xFF0000, 0xFF00, 0xFF);
  // Red 3FF with dropped bits 3; alpha 3 of 2 bits widens to FF. Both modes carry on the
  // second pixel (ordered: threshold 2 < 3; carried: 6 > 3), and the first in ordered mode.
  for (int mode : {kDitherOrdered, kDitherCarry}) {
    std::vector<uint32_t> out(2);
    EXPECT_EQ(0, Convert(out, 2, dst, std::vector<uint32_t>{0xFFF00000, 0xFFF00000}, 2, src,
                         {0, 0, 2, 1}, 0, 0, {.dither = mode}));
    EXPECT_EQ(out, (V{0xFF0000FF, 0xFF0000FF})) << mode;
  }
}

TEST_P(ConvertTest, Dithered565MatchesTheRuleOnOddWidths) {
  // Random 8:8:8 images (24-bit and 32-bit, with and without alpha) of odd widths, from an
  // offset rectangle, against the rule per channel: the dropped bits x and the kept value
  // q; ordered: a unit when (matrix entry << dropped) >> 4 < x; carried: a unit when the
  // channel's accumulator passes the dropped-bit mask; never above the channel's maximum.
  static constexpr uint32_t kMatrix[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
  uint32_t seed = 5;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (const ColorData& sf : {Xrgb8888(), Argb8888(), Rgb888()}) {
    for (int mode : {kDitherOrdered, kDitherCarry}) {
      for (int w = 1; w <= 41; w += 2) {
        const int sb = sf.PixelByte, srcW = w + 2, rows = 3;
        std::vector<uint8_t> src(size_t(srcW) * sb * (rows + 1));
        for (uint8_t& b : src) b = uint8_t(next());
        std::vector<uint16_t> got(size_t(w) * rows);
        Opts o;
        o.dither = mode;
        ASSERT_EQ(0,
                  Convert(got, w, Rgb565(), src, srcW * sb, sf, {2, 1, srcW, rows + 1}, 0, 0, o));
        std::vector<uint16_t> want;
        uint32_t acc[3] = {};
        for (int y = 0; y < rows; ++y) {
          for (int x = 0; x < w; ++x) {
            uint32_t p = 0;
            std::memcpy(&p, &src[(size_t(y + 1) * srcW + x + 2) * sb], 3);
            uint32_t v = 0;
            for (int c = 0; c < 3; ++c) {
              const int drop = c == 1 ? 2 : 3, shift = c == 0 ? 11 : c == 1 ? 5 : 0;
              const uint32_t ch = (p >> (16 - 8 * c)) & 0xFF, mask = (1u << drop) - 1;
              uint32_t unit = ((kMatrix[(y & 3) * 4 + (x & 3)] << drop) >> 4) < (ch & mask);
              if (mode == kDitherCarry) {
                acc[c] += ch & mask;
                unit = acc[c] > mask;
                acc[c] &= mask;
              }
              v |= std::min((ch >> drop) + unit, 0xFFu >> drop) << shift;
            }
            want.push_back(uint16_t(v));
          }
        }
        ASSERT_EQ(want, got) << "depth " << sf.ColorBitDepth << " mode " << mode << " width " << w;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryLevel, ConvertTest,
                         ::testing::Values(platform::CpuLevel::kScalar,
                                           platform::CpuLevel::kVector16,
                                           platform::CpuLevel::kAvx2));
INSTANTIATE_TEST_SUITE_P(EveryLevel, FastRowsTest,
                         ::testing::Values(platform::CpuLevel::kScalar,
                                           platform::CpuLevel::kVector16,
                                           platform::CpuLevel::kAvx2));

}  // namespace
}  // namespace zq::gfx
