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

// One row of n pixels converted into bytes set to fill, each read back widened to 32 bits.
template <class S>
std::vector<uint32_t> Row(const ColorData& df, const std::vector<S>& src, const ColorData& sf,
                          int n, const Opts& o = {}, uint8_t fill = 0) {
  std::vector<uint8_t> dst(size_t(n) * df.PixelByte, fill);
  const RECT r{0, 0, n, 1};
  EXPECT_EQ(0, ConvertPixelRect(dst.data(), int32_t(dst.size()), &df, src.data(),
                                int32_t(src.size() * sizeof(S)), &sf, o.alpha, o.alphaPitch,
                                o.alphaFormat, 0, 0, &r, o.mirror, o.keyToAlpha, o.key, o.dither,
                                o.zero, o.fromRed, o.skip));
  std::vector<uint32_t> out(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) std::memcpy(&out[i], &dst[size_t(i) * df.PixelByte], df.PixelByte);
  return out;
}

// Every conversion test runs at each dispatch level (the scalar level also turns the MMX flag
// off): the pixels must not change.
class ConvertTest : public ::testing::TestWithParam<platform::CpuLevel> {
 protected:
  void SetUp() override { platform::LimitCpuLevel(GetParam()); }
  void TearDown() override { platform::LimitCpuLevel(platform::CpuLevel::kAvx2); }
};

// ---------------------------------------------------------------------------------------------
// Results and refusals
// ---------------------------------------------------------------------------------------------

TEST_P(ConvertTest, EmptyOrReversedRectangleFailsAndWritesNothing) {
  std::vector<uint16_t> src(4, 0x1234), dst(4, 0xAAAA);
  const ColorData f = Rgb565();
  EXPECT_EQ(-1, Convert(dst, 4, f, src, 4, f, {1, 0, 1, 1}, 0, 0));
  EXPECT_EQ(-1, Convert(dst, 4, f, src, 4, f, {0, 1, 4, 1}, 0, 0));
  EXPECT_EQ(-1, Convert(dst, 4, f, src, 4, f, {3, 0, 1, 1}, 0, 0));
  EXPECT_EQ(-1, Convert(dst, 4, f, src, 4, f, {0, 1, 4, 0}, 0, 0));
  // A width that does not fit in 32 bits is reversed, not huge.
  EXPECT_EQ(-1, Convert(dst, 4, f, src, 4, f, {INT32_MAX, 0, INT32_MIN, 1}, 0, 0));
  EXPECT_EQ(std::vector<uint16_t>(4, 0xAAAA), dst);
}

TEST_P(ConvertTest, UnusableDescriptorsFail) {
  std::vector<uint16_t> src(2, 0x1234), dst(2, 0xAAAA);
  const ColorData good = Rgb565();
  ColorData depth12 = good;
  depth12.ColorBitDepth = 12;
  ColorData wrongBytes = good;
  wrongBytes.PixelByte = 4;
  ColorData wildShift = good;
  wildShift.RL = 40;
  EXPECT_EQ(-1, Convert(dst, 2, depth12, src, 2, good, {0, 0, 2, 1}, 0, 0));
  EXPECT_EQ(-1, Convert(dst, 2, good, src, 2, depth12, {0, 0, 2, 1}, 0, 0));
  EXPECT_EQ(-1, Convert(dst, 2, good, src, 2, wrongBytes, {0, 0, 2, 1}, 0, 0));
  EXPECT_EQ(-1, Convert(dst, 2, wildShift, src, 2, good, {0, 0, 2, 1}, 0, 0));
  Opts o;
  o.alpha = src.data();
  o.alphaFormat = &depth12;
  EXPECT_EQ(-1, Convert(dst, 2, Argb8888(), src, 2, good, {0, 0, 1, 1}, 0, 0, o));
  o.dither = 3;
  o.alpha = nullptr;
  EXPECT_EQ(-1, Convert(dst, 2, good, src, 2, good, {0, 0, 2, 1}, 0, 0, o));
  EXPECT_EQ(std::vector<uint16_t>(2, 0xAAAA), dst);
}

// ---------------------------------------------------------------------------------------------
// Palette copy
// ---------------------------------------------------------------------------------------------

TEST_P(ConvertTest, PaletteCopyMovesIndexesAndReturnsTheLargest) {
  // 5 x 3 source; rectangle (1, 1)-(4, 3) holds 11 12 13 / 21 92 23.
  const std::vector<uint8_t> src = {0,  1,  2,  3,  99,  //
                                    10, 11, 12, 13, 14,  //
                                    20, 21, 92, 23, 24};
  std::vector<uint8_t> dst(6 * 2, 0xEE);
  ColorData pal = MakePal8();
  pal.Palette[92] = 0x00123456;  // never consulted
  EXPECT_EQ(92, Convert(dst, 6, pal, src, 5, pal, {1, 1, 4, 3}, 2, 0));
  const std::vector<uint8_t> want = {0xEE, 0xEE, 11, 12, 13, 0xEE,  //
                                     0xEE, 0xEE, 21, 92, 23, 0xEE};
  EXPECT_EQ(want, dst);

  Opts mirror;
  mirror.mirror = 1;
  std::vector<uint8_t> mirrored(3 * 2, 0xEE);
  EXPECT_EQ(92, Convert(mirrored, 3, pal, src, 5, pal, {1, 1, 4, 3}, 0, 0, mirror));
  EXPECT_EQ((std::vector<uint8_t>{13, 12, 11, 23, 92, 21}), mirrored);
}

TEST_P(ConvertTest, PaletteCopyRefusesAnotherDepth) {
  std::vector<uint16_t> src(2, 0x1234);
  std::vector<uint8_t> dst(2, 0xEE);
  EXPECT_EQ(-1, Convert(dst, 2, MakePal8(), src, 2, Rgb565(), {0, 0, 2, 1}, 0, 0));
  EXPECT_EQ(std::vector<uint8_t>(2, 0xEE), dst);
}

// ---------------------------------------------------------------------------------------------
// Equal-format copy
// ---------------------------------------------------------------------------------------------

TEST_P(ConvertTest, EqualFormat24BitCopyWritesWholePixels) {
  const std::vector<uint8_t> src = Rgb24({0x010203, 0x040506, 0x070809,  //
                                          0x0A0B0C, 0x0D0E0F, 0x101112});
  std::vector<uint8_t> dst(3 * 3 * 2, 0xEE);
  const ColorData f = Rgb888();
  const RECT r{1, 0, 3, 2};
  EXPECT_EQ(0, ConvertPixelRect(dst.data(), 9, &f, src.data(), 9, &f, nullptr, 0, nullptr, 1, 0, &r,
                                0, 0, 0, 0, 0, 0, 0));
  const std::vector<uint8_t> want = {0xEE, 0xEE, 0xEE, 6,    5,    4,    9,    8,    7,  //
                                     0xEE, 0xEE, 0xEE, 0x0F, 0x0E, 0x0D, 0x12, 0x11, 0x10};
  EXPECT_EQ(want, dst);
}

TEST_P(ConvertTest, SkipKey) {
  using V = std::vector<uint32_t>;
  Opts o;
  o.skip = 1;
  o.key = 0xABCD1234;
  // 16-bit pixels compare the key's low 16 bits; 32-bit ones all of it.
  const std::vector<uint16_t> src16 = {0x1234, 0x5678, 0x1234, 0xABCD};
  EXPECT_EQ(Row(Rgb565(), src16, Rgb565(), 4, o, 0xEE), (V{0xEEEE, 0x5678, 0xEEEE, 0xABCD}));
  EXPECT_EQ(Row(Xrgb8888(), std::vector<uint32_t>{0x00001234, 0xABCD1234}, Xrgb8888(), 2, o, 0xEE),
            (V{0x00001234, 0xEEEEEEEE}));
  // Mirror switches the key off: every pixel is written, right to left.
  o.mirror = 1;
  EXPECT_EQ(Row(Rgb565(), src16, Rgb565(), 4, o, 0xEE), (V{0xABCD, 0x1234, 0x5678, 0x1234}));
  o.mirror = 0;
  // 8-bit indexes bypass the palette copy when skipping: index 5 stays, whatever its colour.
  o.key = 0x305;
  EXPECT_EQ(Row(MakePal8(), std::vector<uint8_t>{5, 6, 5, 7}, MakePal8(), 4, o, 0xEE),
            (V{0xEE, 6, 0xEE, 7}));
  // On the general path the key compares indexes too, not colours.
  ColorData pal = MakePal8();
  pal.Palette[5] = 0x00FF0000;
  pal.Palette[6] = 0x00FF0000;
  o.key = 5;
  EXPECT_EQ(Row(Rgb565(), std::vector<uint8_t>{5, 6}, pal, 2, o, 0xEE), (V{0xEEEE, 0xF800}));
}

// ---------------------------------------------------------------------------------------------
// Key to alpha on an equal colour layout
// ---------------------------------------------------------------------------------------------

TEST_P(ConvertTest, KeyToAlphaOnEqualLayout) {
  const std::vector<uint32_t> src = {0x00102030, 0x12102031, 0x55102030};
  Opts o;
  o.keyToAlpha = 1;
  o.key = 0x00102030;
  EXPECT_EQ(Row(Argb8888(), src, Xrgb8888(), 3, o),
            (std::vector<uint32_t>{0x00102030, 0xFF102031, 0x00102030}));
  o.mirror = 1;
  std::vector<uint32_t> dst(3, 0xEEEEEEEE);
  EXPECT_EQ(0, Convert(dst, 3, Argb8888(), src, 3, Xrgb8888(), {0, 0, 2, 1}, 0, 0, o));
  EXPECT_EQ((std::vector<uint32_t>{0xFF102031, 0x00102030, 0xEEEEEEEE}), dst);
  // 5:5:5 into 1:5:5:5; key F80008 packs to 31, 0, 1.
  o.mirror = 0;
  o.key = 0x00F80008;
  EXPECT_EQ(Row(Argb1555(), std::vector<uint16_t>{0x7C01, 0x7C02, 0xFC01}, Rgb555(), 3, o),
            (std::vector<uint32_t>{0x7C01, 0xFC02, 0x7C01}));
}

// ---------------------------------------------------------------------------------------------
// Fixed-format fast paths (the plain rows are checked against a per-pixel model below)
// ---------------------------------------------------------------------------------------------

TEST_P(ConvertTest, PaletteAndRgb24Sources) {
  using V = std::vector<uint32_t>;
  ColorData pal = MakePal8();
  pal.Palette[0] = 0x00FF8040;
  pal.Palette[1] = 0x00102030;
  pal.Palette[2] = 0x00000000;
  const std::vector<uint8_t> idx = {0, 1, 2};
  const std::vector<uint8_t> rgb = Rgb24({0xFF8040, 0x102030, 0xFF8747});
  Opts key;
  key.keyToAlpha = 1;
  key.key = 0x00FF8040;
  // 5:5:5 sets bit 15. FF,80,40 -> 31,16,8; 10,20,30 -> 2,4,6.
  EXPECT_EQ(Row(Rgb555(), idx, pal, 3), (V{0xFE08, 0x8886, 0x8000}));
  EXPECT_EQ(Row(Rgb555(), rgb, Rgb888(), 3), (V{0xFE08, 0x8886, 0xFE08}));
  EXPECT_EQ(Row(Xrgb8888(), idx, pal, 3), (V{0xFFFF8040, 0xFF102030, 0xFF000000}));
  EXPECT_EQ(Row(Argb1555(), idx, pal, 3, key), (V{0x7E08, 0x8886, 0x8000}));
  // From 24 bits the key compares reduced colours: FF8747 reduces to the key's 31,16,8 as well.
  EXPECT_EQ(Row(Argb1555(), rgb, Rgb888(), 3, key), (V{0x7E08, 0x8886, 0x7E08}));
  // Into 8:8:8:8 all 32 bits are compared.
  EXPECT_EQ(Row(Argb8888(), rgb, Rgb888(), 3, key), (V{0x00FF8040, 0xFF102030, 0xFFFF8747}));
  pal.Palette[2] = 0x01FF8040;  // differs from the key only in the top byte
  EXPECT_EQ(Row(Argb8888(), idx, pal, 3, key), (V{0x00FF8040, 0xFF102030, 0xFFFF8040}));
}

TEST_P(ConvertTest, Fast565ToX888LeavesTheTopByteZero) {
  const std::vector<uint16_t> src = {0xFFFF, 0xFC08, 0x0000};
  std::vector<uint32_t> dst(3, 0xEEEEEEEE);
  EXPECT_EQ(0, Convert(dst, 3, Xrgb8888(), src, 3, Rgb565(), {0, 0, 3, 1}, 0, 0));
  // 31 -> 248 and 63 -> 252 here, unlike the general path.
  EXPECT_EQ((std::vector<uint32_t>{0x00F8FCF8, 0x00F88040, 0x00000000}), dst);
}

TEST_P(ConvertTest, InPlace565To555) {
  std::vector<uint16_t> buf = {0xFFFF, 0xFC08, 0x0020, 0x1234};
  const ColorData s = Rgb565(), d = Rgb555();
  RECT r{0, 0, 3, 1};
  EXPECT_EQ(0, ConvertPixelRect(buf.data(), 8, &d, buf.data(), 8, &s, nullptr, 0, nullptr, 0, 0, &r,
                                0, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ((std::vector<uint16_t>{0x7FFF, 0x7E08, 0x0000, 0x1234}), buf);
}

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
      std::vector<uint8_t> src(size_t(srcWidth) * sb * 2);
      for (uint8_t& b : src) b = uint8_t(Next());
      std::vector<uint8_t> dst(size_t(w) * db * 2, 0xEE);
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

TEST_P(FastRowsTest, Rgb24ToX888) {
  Check<uint32_t, uint32_t>(Xrgb8888(), Rgb888(), [](uint32_t p) { return p | 0xFF000000u; });
}

TEST_P(FastRowsTest, Rgb24To565) {
  Check<uint16_t, uint32_t>(Rgb565(), Rgb888(), [](uint32_t p) {
    const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
  });
}

TEST_P(FastRowsTest, X888To565) {
  Check<uint16_t, uint32_t>(Rgb565(), Xrgb8888(), [](uint32_t p) {
    const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
  });
}

TEST_P(FastRowsTest, Rgb565ToX888) {
  Check<uint32_t, uint16_t>(Xrgb8888(), Rgb565(), [](uint32_t p) {
    const uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
    return r << 19 | g << 10 | b << 3;
  });
}

TEST_P(FastRowsTest, Rgb565To555And555To565) {
  Check<uint16_t, uint16_t>(Rgb555(), Rgb565(), [](uint32_t p) {
    const uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
    return r << 10 | (g >> 1) << 5 | b;
  });
  Check<uint16_t, uint16_t>(Rgb565(), Rgb555(), [](uint32_t p) {
    const uint32_t r = (p >> 10) & 31, g = (p >> 5) & 31, b = p & 31;
    return r << 11 | (2 * g + (g & 1)) << 5 | b;
  });
}

TEST_P(FastRowsTest, PaletteTo565) {
  ColorData pal = MakePal8();
  for (uint32_t& e : pal.Palette) e = Next() & 0xFFFFFF;
  Check<uint16_t, uint8_t>(
      Rgb565(), pal,
      [](uint32_t p) {
        const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
      },
      &pal);
}

// ---------------------------------------------------------------------------------------------
// General path: widening and narrowing
// ---------------------------------------------------------------------------------------------

TEST_P(ConvertTest, GeneralPathWidensAndNarrows) {
  using V = std::vector<uint32_t>;
  // 5 -> 8: red 0, 1, 16, 30, 31 of 5:5:5; full alpha since the source has none.
  EXPECT_EQ(Row(Argb8888(), std::vector<uint16_t>{0 << 10, 1 << 10, 16 << 10, 30 << 10, 31 << 10},
                Rgb555(), 5),
            (V{0xFF000000, 0xFF080000, 0xFF830000, 0xFFF60000, 0xFFFF0000}));
  // 6 -> 8: 32 -> 128 + 96/63 = 129; 63 -> 255; 1 -> 4 + 3/63 = 4.
  EXPECT_EQ(Row(Argb8888(), std::vector<uint16_t>{32 << 5, 63 << 5, 1 << 5}, Rgb565(), 3),
            (V{0xFF008100, 0xFF00FF00, 0xFF000400}));
  // 4 -> 8 including alpha: 4:4:4:4 red 7, alpha 15 / red 15, alpha 8.
  EXPECT_EQ(Row(Argb8888(), std::vector<uint16_t>{0xF700, 0x8F00}, Argb4444(), 2),
            (V{0xFF770000, 0x88FF0000}));
  // 8 -> 16: red 16 bits at the top of the word.
  EXPECT_EQ(Row(MakeFormat(32, 0xFFFF0000, 0xFF00, 0xFF, 0), Rgb24({0x800102, 0xFF0000, 0x000000}),
                Rgb888(), 3),
            (V{0x80800102, 0xFFFF0000, 0x00000000}));
  // 8 -> 5 by truncation: R 255 -> 31, G 7 -> 1, B 255 -> 31 / R 7 -> 0, G 0, B F8 -> 31.
  EXPECT_EQ(Row(Rgb565(), std::vector<uint32_t>{0xFFFF07FF, 0x000700F8}, Argb8888(), 2),
            (V{0xF83F, 0x001F}));
  // 4:4:4:4 into X8:8:8 takes the general path, which sets the unused top byte.
  EXPECT_EQ(Row(Xrgb8888(), std::vector<uint16_t>{0x37A1}, Argb4444(), 1), (V{0xFF77AA11}));
  // No blue in the source (zero mask); the destination's blue is 8 bits wide.
  EXPECT_EQ(Row(Xrgb8888(), std::vector<uint16_t>{0xFFFF}, MakeFormat(16, 0xF800, 0x07E0, 0, 0), 1),
            (V{0xFFFFFF00}));
}

TEST_P(ConvertTest, GeneralPathMirrors) {
  const std::vector<uint16_t> src = {31 << 11, 63 << 5, 31};
  std::vector<uint32_t> dst(4, 0xEEEEEEEE);
  Opts o;
  o.mirror = 1;
  EXPECT_EQ(0, Convert(dst, 4, Argb8888(), src, 3, Rgb565(), {0, 0, 3, 1}, 1, 0, o));
  EXPECT_EQ((std::vector<uint32_t>{0xEEEEEEEE, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000}), dst);
}

TEST_P(ConvertTest, GeneralPathLongRowsCrossScratchChunks) {
  // 600 pixels: several internal steps; each pixel's red is its column & 31.
  std::vector<uint16_t> src(600);
  for (int x = 0; x < 600; ++x) src[x] = uint16_t((x & 31) << 10);
  std::vector<uint32_t> dst(600);
  EXPECT_EQ(0, Convert(dst, 600, Argb8888(), src, 600, Rgb555(), {0, 0, 600, 1}, 0, 0));
  for (int x = 0; x < 600; ++x) {
    const uint32_t v = x & 31;
    const uint32_t red = v * 255 / 31;  // floor(v * 255 / 31) for 5 -> 8 bits
    ASSERT_EQ(0xFF000000u | red << 16, dst[x]) << x;
  }
}

// ---------------------------------------------------------------------------------------------
// Key to alpha at destination precision
// ---------------------------------------------------------------------------------------------

TEST_P(ConvertTest, KeyToAlphaAtDestinationPrecision) {
  using V = std::vector<uint32_t>;
  Opts o;
  o.keyToAlpha = 1;
  // Into 4:4:4:4 the high bits are compared.
  o.key = 0x00F0A050;
  EXPECT_EQ(Row(Argb4444(), Rgb24({0xF3AF5F, 0xE0A050, 0xF0A050}), Rgb888(), 3, o),
            (V{0x0FA5, 0xFEA5, 0x0FA5}));
  // Into 8:8:8:8 after widening: 5:5:5 magenta, and nearly (30 -> 246).
  const std::vector<uint16_t> magenta = {0x7C1F, 0x7C1E};
  o.key = 0x00FF00FF;
  EXPECT_EQ(Row(Argb8888(), magenta, Rgb555(), 2, o), (V{0x00FF00FF, 0xFFFF00F6}));
  o.key = 0x00F800F8;  // widened components are 255, 0, 255: no match
  EXPECT_EQ(Row(Argb8888(), magenta, Rgb555(), 2, o), (V{0xFFFF00FF, 0xFFFF00F6}));
  // Off when the source has alpha: 4:4:4:4, alpha 0, red F, blue F.
  o.key = 0x00112233;
  EXPECT_EQ(Row(Argb8888(), std::vector<uint16_t>{0x0F0F}, Argb4444(), 1, o), (V{0x00FF00FF}));
}

// ---------------------------------------------------------------------------------------------
// Dither
// ---------------------------------------------------------------------------------------------

TEST_P(ConvertTest, OrderedDither) {
  // R 83 (3 dropped bits = 3), G 41 (dropped 1), B 1E (dropped 6); row 1 white.
  std::vector<uint8_t> src = Rgb24({0x83411E, 0x83411E, 0x83411E, 0x83411E});
  const std::vector<uint8_t> white = Rgb24({0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF});
  src.insert(src.end(), white.begin(), white.end());
  std::vector<uint16_t> dst(8);
  Opts o;
  o.dither = kDitherOrdered;
  EXPECT_EQ(0, Convert(dst, 4, Rgb565(), src, 12, Rgb888(), {0, 0, 4, 2}, 0, 0, o));
  // Row 0 thresholds (matrix 0 8 2 10): R 0 4 1 5, G 0 2 0 2, B 0 4 1 5.
  // 16,16,3 plus a unit where the threshold is below the dropped bits; white clamps.
  const std::vector<uint16_t> want = {17 << 11 | 17 << 5 | 4,
                                      16 << 11 | 16 << 5 | 4,
                                      17 << 11 | 17 << 5 | 4,
                                      16 << 11 | 16 << 5 | 4,
                                      0xFFFF,
                                      0xFFFF,
                                      0xFFFF,
                                      0xFFFF};
  EXPECT_EQ(want, dst);
}

TEST_P(ConvertTest, CarriedRemainderDither) {
  std::vector<uint8_t> src;
  for (int i = 0; i < 8; ++i) {
    const std::vector<uint8_t> p = Rgb24({0x83411E});
    src.insert(src.end(), p.begin(), p.end());
  }
  std::vector<uint16_t> dst(8);
  Opts o;
  o.dither = kDitherCarry;
  EXPECT_EQ(0, Convert(dst, 4, Rgb565(), src, 12, Rgb888(), {0, 0, 4, 2}, 0, 0, o));
  // Accumulators (in dropped-bit units) R +3 over 7, G +1 over 3, B +6 over 7, carried on
  // into the second row.
  const std::vector<uint16_t> want = {16 << 11 | 16 << 5 | 3, 16 << 11 | 16 << 5 | 4,
                                      17 << 11 | 16 << 5 | 4, 16 << 11 | 17 << 5 | 4,
                                      16 << 11 | 16 << 5 | 3, 17 << 11 | 16 << 5 | 4,
                                      16 << 11 | 16 << 5 | 4, 17 << 11 | 17 << 5 | 4};
  EXPECT_EQ(want, dst);
}

TEST_P(ConvertTest, DitherCarryIntoTheTopBitDoesNotWrap) {
  // Red 10 bits at 20..29 into red 8 bits at 24..31: a carry onto FF must clamp, not wrap.
  const ColorData src = MakeFormat(32, 0x3FF00000, 0x000FFC00, 0x3FF, 0xC0000000);
  const ColorData dst = MakeFormat(32, 0xFF000000, 0xFF0000, 0xFF00, 0xFF);
  // Red 3FF with dropped bits 3; alpha 3 of 2 bits widens to FF. Both modes carry on the
  // second pixel (ordered: threshold 2 < 3; carried: 6 > 3), and the first in ordered mode.
  const std::vector<uint32_t> pixels = {0xFFF00000, 0xFFF00000};
  for (int mode : {kDitherOrdered, kDitherCarry}) {
    std::vector<uint32_t> out(2);
    Opts o;
    o.dither = mode;
    EXPECT_EQ(0, Convert(out, 2, dst, pixels, 2, src, {0, 0, 2, 1}, 0, 0, o));
    EXPECT_EQ((std::vector<uint32_t>{0xFF0000FF, 0xFF0000FF}), out) << mode;
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

// ---------------------------------------------------------------------------------------------
// Alpha image, alpha from red, zero colour
// ---------------------------------------------------------------------------------------------

TEST_P(ConvertTest, AlphaImageSuppliesAlpha) {
  ColorData grey = MakePal8();
  for (int i = 0; i < 256; ++i) grey.Palette[i] = uint32_t(i) * 0x010101;
  const std::vector<uint8_t> alpha = {0x80, 0x00, 0xFF};
  const std::vector<uint8_t> src = Rgb24({0x102030, 0x405060, 0x708090});
  Opts o;
  o.alpha = alpha.data();
  o.alphaPitch = 3;
  o.alphaFormat = &grey;
  std::vector<uint32_t> dst(3);
  EXPECT_EQ(0, Convert(dst, 3, Argb8888(), src, 9, Rgb888(), {0, 0, 3, 1}, 0, 0, o));
  EXPECT_EQ((std::vector<uint32_t>{0x80102030, 0x00405060, 0xFF708090}), dst);

  // Into 4:4:4:4 the alpha narrows with the colours: 80 -> 8.
  std::vector<uint16_t> dst16(3);
  EXPECT_EQ(0, Convert(dst16, 3, Argb4444(), src, 9, Rgb888(), {0, 0, 3, 1}, 0, 0, o));
  EXPECT_EQ((std::vector<uint16_t>{0x8123, 0x0456, 0xF789}), dst16);

  // The alpha image follows the source rectangle.
  std::vector<uint32_t> one(1);
  EXPECT_EQ(0, Convert(one, 1, Argb8888(), src, 9, Rgb888(), {2, 0, 3, 1}, 0, 0, o));
  EXPECT_EQ(0xFF708090u, one[0]);
}

TEST_P(ConvertTest, AlphaIsConvertedEvenWhenColourWidthsAgree) {
  // 8:8:8 colour with a 4-bit alpha at 24..27; bits 28..31 belong to no channel.
  const ColorData dst = MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0x0F000000);
  ASSERT_EQ(0xF0000000u, dst.NM);
  ColorData grey = MakePal8();
  for (int i = 0; i < 256; ++i) grey.Palette[i] = uint32_t(i) * 0x010101;
  const std::vector<uint8_t> alpha = {0x80, 0xFF};
  const std::vector<uint8_t> src = Rgb24({0x102030, 0x405060});
  Opts o;
  o.alpha = alpha.data();
  o.alphaPitch = 2;
  o.alphaFormat = &grey;
  std::vector<uint32_t> out(2);
  EXPECT_EQ(0, Convert(out, 2, dst, src, 6, Rgb888(), {0, 0, 2, 1}, 0, 0, o));
  EXPECT_EQ((std::vector<uint32_t>{0xF8102030, 0xFF405060}), out);

  // Source alpha of 8 bits into the same format: A8 80 -> 8.
  const std::vector<uint32_t> argb = {0x80102030};
  std::vector<uint32_t> out2(1);
  EXPECT_EQ(0, Convert(out2, 1, dst, argb, 1, Argb8888(), {0, 0, 1, 1}, 0, 0));
  EXPECT_EQ(0xF8102030u, out2[0]);
}

TEST_P(ConvertTest, EmptyAlphaFormatMeansNoAlphaImage) {
  const std::vector<uint8_t> alpha = {0x80};
  const std::vector<uint8_t> src = Rgb24({0x102030});
  const ColorData empty{};
  Opts o;
  o.alpha = alpha.data();
  o.alphaPitch = 1;
  for (const ColorData* f : {&empty, static_cast<const ColorData*>(nullptr)}) {
    o.alphaFormat = f;
    std::vector<uint32_t> dst(1);
    EXPECT_EQ(0, Convert(dst, 1, Argb8888(), src, 3, Rgb888(), {0, 0, 1, 1}, 0, 0, o));
    EXPECT_EQ(0xFF102030u, dst[0]);
  }
}

TEST_P(ConvertTest, AlphaFromRed) {
  using V = std::vector<uint32_t>;
  const std::vector<uint8_t> src = Rgb24({0xB71122, 0x00FFFF, 0x80FFFF});
  Opts o;
  o.zero = 1;
  o.fromRed = 1;
  // Into a single channel; red widened to 16 bits: B7 -> B7B7, 80 -> 8080.
  EXPECT_EQ(Row(MakeFormat(8, 0xFF, 0xFF, 0xFF, 0xFF), src, Rgb888(), 3, o), (V{0xB7, 0x00, 0x80}));
  EXPECT_EQ(Row(MakeFormat(16, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF), src, Rgb888(), 3, o),
            (V{0xB7B7, 0x0000, 0x8080}));
  // The image one-channel formats keep the value in their alpha field alone.
  EXPECT_EQ(Row(*GetMemImgColorData(kMemImgByte8, 0, 0), src, Rgb888(), 3, o),
            (V{0xB7, 0x00, 0x80}));
  EXPECT_EQ(Row(*GetMemImgColorData(kMemImgWord16, 0, 0), src, Rgb888(), 3, o),
            (V{0xB7B7, 0x0000, 0x8080}));
  // A 32-bit red into a format without red: the red drops all 32 bits; its top byte still
  // becomes the alpha.
  EXPECT_EQ(Row(*GetMemImgColorData(kMemImgByte8, 0, 0), std::vector<uint32_t>{0xABCDEF12},
                MakeFormat(32, 0xFFFFFFFF, 0, 0, 0), 1, o),
            (V{0xAB}));
  // 8-bit red at 0..7, 4-bit alpha at 12..15; bits 8..11 are unused (NM).
  const ColorData narrow = MakeFormat(16, 0x00FF, 0, 0, 0xF000);
  ASSERT_EQ(0x0F00u, narrow.NM);
  EXPECT_EQ(Row(narrow, src, Rgb888(), 1, o), (V{0xBF00}));
  // Without zero colour the red stays as well.
  o.zero = 0;
  EXPECT_EQ(Row(narrow, src, Rgb888(), 1, o), (V{0xBFB7}));
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
