#include "graphics/image/convert_pixel_rect.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "base/system.h"
#include "platform/os/cpu.h"
#include "platform/pixel_bytes.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define ZQ_CONVERT_HAS_AVX2 1
#include <immintrin.h>
#else
#define ZQ_CONVERT_HAS_AVX2 0
#endif

namespace zq::gfx {
namespace {

using platform::LoadPixel;
using platform::RECT;
using platform::StorePixel;
using platform::WithPixelBytes;

// The bits a pixel of this depth occupies.
constexpr uint32_t DepthMask(int depth) {
  return depth >= 32 ? 0xFFFFFFFFu : (1u << depth) - 1u;
}

// ---------------------------------------------------------------------------------------------
// Descriptor checks
// ---------------------------------------------------------------------------------------------

bool IsChannelSane(uint8_t width, uint8_t shift) {
  return shift < 32 && width + shift <= 32;
}

// A descriptor the loops can use without reading past a pixel or shifting by 32 or more.
bool IsUsableFormat(const ColorData& c) {
  const int depth = c.ColorBitDepth;
  if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return false;
  if (c.PixelByte != depth / 8) return false;
  return IsChannelSane(c.RW, c.RL) && IsChannelSane(c.GW, c.GL) && IsChannelSane(c.BW, c.BL) &&
         IsChannelSane(c.AW, c.AL);
}

bool SameMasks(const ColorData& a, const ColorData& b) {
  return a.ColorBitDepth == b.ColorBitDepth && a.RM == b.RM && a.GM == b.GM && a.BM == b.BM &&
         a.AM == b.AM;
}

bool IsFormat(const ColorData& c, int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return c.ColorBitDepth == depth && c.RM == r && c.GM == g && c.BM == b && c.AM == a;
}
bool Is565(const ColorData& c) {
  return IsFormat(c, 16, 0xF800, 0x07E0, 0x001F, 0);
}
bool Is555(const ColorData& c) {
  return IsFormat(c, 16, 0x7C00, 0x03E0, 0x001F, 0);
}
bool Is1555(const ColorData& c) {
  return IsFormat(c, 16, 0x7C00, 0x03E0, 0x001F, 0x8000);
}
bool IsX888(const ColorData& c) {
  return IsFormat(c, 32, 0xFF0000, 0xFF00, 0xFF, 0);
}
bool Is8888(const ColorData& c) {
  return IsFormat(c, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
}
bool Is888(const ColorData& c) {
  return c.ColorBitDepth == 24 && c.RM == 0xFF0000 && c.GM == 0xFF00 && c.BM == 0xFF;
}

// The pixel of colour 0x00RRGGBB with alpha 255 in the descriptor's format, NM bits included.
uint32_t PackKeyColor(const ColorData& c, uint32_t rgb) {
  return PackColorByData(&c, int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF), 255);
}

// ---------------------------------------------------------------------------------------------
// The rectangle as addresses
// ---------------------------------------------------------------------------------------------

struct Walk {
  uint8_t* dst;  // first destination pixel written (the row's last with mirror)
  ptrdiff_t dstPitch;
  ptrdiff_t dstStep;   // bytes from one written pixel to the next (negative with mirror)
  const uint8_t* src;  // first source pixel
  ptrdiff_t srcPitch;
  const uint8_t* alpha;  // first alpha-image pixel, or null
  ptrdiff_t alphaPitch;
  int64_t w, h;
  bool wide;  // the AVX2 rows may be used
};

// ---------------------------------------------------------------------------------------------
// Palette copy: indexes as they are; returns the largest.
// ---------------------------------------------------------------------------------------------

int PaletteCopy(const Walk& k) {
  uint8_t largest = 0;
  uint8_t* d = k.dst;
  const uint8_t* s = k.src;
  for (int64_t y = 0; y < k.h; ++y, d += k.dstPitch, s += k.srcPitch) {
    for (int64_t x = 0; x < k.w; ++x) {
      const uint8_t i = s[x];
      d[x * k.dstStep] = i;
      largest = std::max(largest, i);
    }
  }
  return largest;
}

// ---------------------------------------------------------------------------------------------
// Equal-format copy
// ---------------------------------------------------------------------------------------------

template <int B>
void CopySkipKey(const Walk& k, uint32_t key) {
  const uint32_t reduced = key & DepthMask(B * 8);
  uint8_t* d = k.dst;
  const uint8_t* s = k.src;
  for (int64_t y = 0; y < k.h; ++y, d += k.dstPitch, s += k.srcPitch) {
    for (int64_t x = 0; x < k.w; ++x) {
      const uint32_t v = LoadPixel<B>(s + x * B);
      if (v != reduced) StorePixel<B>(d + x * B, v);
    }
  }
}

template <int B>
void CopyMirrored(const Walk& k) {
  uint8_t* d = k.dst;
  const uint8_t* s = k.src;
  for (int64_t y = 0; y < k.h; ++y, d += k.dstPitch, s += k.srcPitch) {
    for (int64_t x = 0; x < k.w; ++x) StorePixel<B>(d + x * k.dstStep, LoadPixel<B>(s + x * B));
  }
}

void CopyRows(const Walk& k, int bytes) {
  const size_t rowBytes = size_t(k.w) * size_t(bytes);
  uint8_t* d = k.dst;
  const uint8_t* s = k.src;
  // memmove: the in-place call hands the same rows in as source and destination.
  for (int64_t y = 0; y < k.h; ++y, d += k.dstPitch, s += k.srcPitch) std::memmove(d, s, rowBytes);
}

// ---------------------------------------------------------------------------------------------
// Key to alpha on an equal colour layout
// ---------------------------------------------------------------------------------------------

template <int B>
void KeyToAlphaSameLayout(const Walk& k, const ColorData& dst, uint32_t keyPixel) {
  const uint32_t depthMask = DepthMask(B * 8);
  // 16- and 32-bit pixels are compared with every non-colour bit set, as the key carries them.
  const uint32_t fill = (B == 2 || B == 4) ? ~(dst.RM | dst.GM | dst.BM) & depthMask : 0u;
  const uint32_t key = keyPixel & depthMask;
  const uint32_t alphaBits = dst.AM & depthMask;
  uint8_t* d = k.dst;
  const uint8_t* s = k.src;
  for (int64_t y = 0; y < k.h; ++y, d += k.dstPitch, s += k.srcPitch) {
    for (int64_t x = 0; x < k.w; ++x) {
      const uint32_t v = LoadPixel<B>(s + x * B) | fill;
      StorePixel<B>(d + x * k.dstStep, v == key ? v & ~alphaBits : v | alphaBits);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Fixed-format fast paths
// ---------------------------------------------------------------------------------------------

// One row of a fixed conversion. The row loops are kept out of line, where the compiler
// vectorises them; with the vector flag set, a copy compiled for AVX2 runs instead.
template <int SB, int DB, class Op>
[[gnu::always_inline]] inline void FastRowBody(uint8_t* d, const uint8_t* s, ptrdiff_t w, Op op) {
  for (ptrdiff_t x = 0; x < w; ++x) StorePixel<DB>(d + x * DB, op(LoadPixel<SB>(s + x * SB)));
}

template <int SB, int DB, class Op>
[[gnu::noinline]] void FastRow(uint8_t* d, const uint8_t* s, ptrdiff_t w, Op op) {
  FastRowBody<SB, DB>(d, s, w, op);
}

// 24-bit to X8:8:8 as byte moves, which vectorise where assembled words do not.
[[gnu::noinline]] void Rgb24ToX888Row(uint8_t* d, const uint8_t* s, ptrdiff_t w) {
  for (ptrdiff_t x = 0; x < w; ++x) {
    d[4 * x] = s[3 * x];
    d[4 * x + 1] = s[3 * x + 1];
    d[4 * x + 2] = s[3 * x + 2];
    d[4 * x + 3] = 0xFF;
  }
}

inline uint32_t X888To565Pixel(uint32_t p) {
  return ((p & 0xF80000) >> 8) | ((p & 0xFC00) >> 5) | ((p & 0xF8) >> 3);
}

[[gnu::noinline]] void X888To565Row(uint8_t* d, const uint8_t* s, ptrdiff_t w) {
  FastRowBody<4, 2>(d, s, w, X888To565Pixel);
}

#if ZQ_CONVERT_HAS_AVX2
template <int SB, int DB, class Op>
[[gnu::noinline, gnu::target("avx2")]] void FastRowAvx2(uint8_t* d, const uint8_t* s, ptrdiff_t w,
                                                        Op op) {
  FastRowBody<SB, DB>(d, s, w, op);
}

// Eight pixels a step: two groups of four 3-byte pixels spread to 4 bytes by a byte shuffle.
// Each 16-byte load reads 4 bytes past its group, so the last pixels go the scalar way.
[[gnu::noinline, gnu::target("avx2")]] void Rgb24ToX888RowAvx2(uint8_t* d, const uint8_t* s,
                                                               ptrdiff_t w) {
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                          0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m256i top = _mm256_set1_epi32(int32_t(0xFF000000u));
  ptrdiff_t x = 0;
  for (; x + 10 <= w; x += 8) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x + 12));
    const __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * x),
                        _mm256_or_si256(_mm256_shuffle_epi8(v, spread), top));
  }
  for (; x < w; ++x) {
    d[4 * x] = s[3 * x];
    d[4 * x + 1] = s[3 * x + 1];
    d[4 * x + 2] = s[3 * x + 2];
    d[4 * x + 3] = 0xFF;
  }
}

// Sixteen pixels a step: each 32-bit result fits 16 bits, so the unsigned pack is exact.
[[gnu::noinline, gnu::target("avx2")]] void X888To565RowAvx2(uint8_t* d, const uint8_t* s,
                                                             ptrdiff_t w) {
  const __m256i red = _mm256_set1_epi32(0xF800);
  const __m256i green = _mm256_set1_epi32(0x07E0);
  const __m256i blue = _mm256_set1_epi32(0x001F);
  ptrdiff_t x = 0;
  for (; x + 16 <= w; x += 16) {
    __m256i part[2];
    for (int i = 0; i < 2; ++i) {
      const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * x + 32 * i));
      part[i] = _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(p, 8), red),
                                                _mm256_and_si256(_mm256_srli_epi32(p, 5), green)),
                                _mm256_and_si256(_mm256_srli_epi32(p, 3), blue));
    }
    // The pack interleaves 128-bit halves; put the four 64-bit quarters back in order.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(part[0], part[1]), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 2 * x), packed);
  }
  for (; x < w; ++x) StorePixel<2>(d + 2 * x, X888To565Pixel(LoadPixel<4>(s + 4 * x)));
}
#endif

// Whether this call may use the wide vector rows: the dispatch level must be AVX2 and the
// library's vector flag must allow them.
bool UseWideRows() {
#if ZQ_CONVERT_HAS_AVX2
  return base::IsMmxUsable() != 0 && platform::CpuDispatchLevel() == platform::CpuLevel::kAvx2;
#else
  return false;
#endif
}

template <int SB, int DB, class Op>
void FastLoop(const Walk& k, Op op) {
  auto row = &FastRow<SB, DB, Op>;
#if ZQ_CONVERT_HAS_AVX2
  if (k.wide) row = &FastRowAvx2<SB, DB, Op>;
#endif
  uint8_t* d = k.dst;
  const uint8_t* s = k.src;
  const ptrdiff_t w = ptrdiff_t(k.w), dstPitch = k.dstPitch, srcPitch = k.srcPitch;
  for (int64_t y = k.h; y > 0; --y, d += dstPitch, s += srcPitch) row(d, s, w, op);
}

using RowFn = void (*)(uint8_t*, const uint8_t*, ptrdiff_t);

void RowLoop(const Walk& k, RowFn row) {
  uint8_t* d = k.dst;
  const uint8_t* s = k.src;
  const ptrdiff_t w = ptrdiff_t(k.w), dstPitch = k.dstPitch, srcPitch = k.srcPitch;
  for (int64_t y = k.h; y > 0; --y, d += dstPitch, s += srcPitch) row(d, s, w);
}

void Rgb24ToX888(const Walk& k) {
#if ZQ_CONVERT_HAS_AVX2
  if (k.wide) return RowLoop(k, &Rgb24ToX888RowAvx2);
#endif
  RowLoop(k, &Rgb24ToX888Row);
}

void X888To565(const Walk& k) {
#if ZQ_CONVERT_HAS_AVX2
  if (k.wide) return RowLoop(k, &X888To565RowAvx2);
#endif
  RowLoop(k, &X888To565Row);
}

// A palettised source through a 256-entry table of finished destination pixels.
template <int DB>
void PaletteFastLoop(const Walk& k, const uint32_t (&table)[256]) {
  FastLoop<1, DB>(k, [&table](uint32_t i) { return table[i]; });
}

template <class F>
void BuildPaletteTable(uint32_t (&table)[256], const uint32_t* palette, F f) {
  for (int i = 0; i < 256; ++i) table[i] = f(palette[i]);
}

// True when a fast path did the whole rectangle.
bool TryFastPaths(const Walk& k, const ColorData& src, const ColorData& dst, bool keyToAlpha,
                  bool alphaTransfer, uint32_t key) {
  if (src.ColorBitDepth == 8) {
    uint32_t table[256];
    const uint32_t* pal = src.Palette;
    if (!keyToAlpha && Is565(dst)) {
      BuildPaletteTable(table, pal, [](uint32_t p) {
        return ((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F);
      });
      PaletteFastLoop<2>(k, table);
    } else if (!keyToAlpha && Is555(dst)) {
      BuildPaletteTable(table, pal, [](uint32_t p) {
        return ((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F) | 0x8000;
      });
      PaletteFastLoop<2>(k, table);
    } else if (!keyToAlpha && IsX888(dst)) {
      BuildPaletteTable(table, pal, [](uint32_t p) { return p | 0xFF000000u; });
      PaletteFastLoop<4>(k, table);
    } else if (keyToAlpha && Is1555(dst)) {
      BuildPaletteTable(table, pal, [key](uint32_t p) {
        const uint32_t q = p == key ? p : p | 0x01000000u;
        return ((q >> 9) & 0xFC00) | ((q >> 6) & 0x03E0) | ((q >> 3) & 0x001F);
      });
      PaletteFastLoop<2>(k, table);
    } else if (keyToAlpha && Is8888(dst)) {
      BuildPaletteTable(table, pal, [key](uint32_t p) { return p == key ? p : p | 0xFF000000u; });
      PaletteFastLoop<4>(k, table);
    } else {
      return false;
    }
    return true;
  }
  if (Is888(src)) {
    if (!keyToAlpha && Is565(dst)) {
      FastLoop<3, 2>(k, [](uint32_t p) {
        return ((p >> 19) << 11) | (((p >> 10) & 0x3F) << 5) | ((p >> 3) & 0x1F);
      });
    } else if (!keyToAlpha && Is555(dst)) {
      FastLoop<3, 2>(k, [](uint32_t p) {
        return ((p >> 19) << 10) | (((p >> 11) & 0x1F) << 5) | ((p >> 3) & 0x1F) | 0x8000;
      });
    } else if (!keyToAlpha && IsX888(dst)) {
      Rgb24ToX888(k);  // p | FF000000
    } else if (keyToAlpha && Is1555(dst)) {
      auto reduce = [](uint32_t p) {
        return ((p >> 19) << 10) | (((p >> 11) & 0x1F) << 5) | ((p >> 3) & 0x1F);
      };
      const uint32_t reducedKey = reduce(key & 0xFFFFFF);
      FastLoop<3, 2>(k, [reduce, reducedKey](uint32_t p) {
        const uint32_t v = reduce(p);
        return v == reducedKey ? v : v | 0x8000;
      });
    } else if (keyToAlpha && Is8888(dst)) {
      FastLoop<3, 4>(k, [key](uint32_t p) { return p == key ? p : p | 0xFF000000u; });
    } else {
      return false;
    }
    return true;
  }
  if (IsX888(src) && !alphaTransfer) {
    if (!keyToAlpha && Is565(dst)) {
      X888To565(k);
      return true;
    }
    return false;
  }
  if (Is565(src) && !alphaTransfer) {
    if (!keyToAlpha && IsX888(dst)) {
      FastLoop<2, 4>(k, [](uint32_t p) {
        return ((p & 0xF800) << 8) | ((p & 0x07E0) << 5) | ((p & 0x001F) << 3);
      });
    } else if (!keyToAlpha && Is555(dst)) {
      FastLoop<2, 2>(k, [](uint32_t p) { return ((p & 0xFFC0) >> 1) | (p & 0x001F); });
    } else {
      return false;
    }
    return true;
  }
  if (Is555(src) && !alphaTransfer) {
    if (!keyToAlpha && Is565(dst)) {
      FastLoop<2, 2>(k, [](uint32_t p) { return ((p & 0x7FE0) << 1) | (p & 0x003F); });
      return true;
    }
  }
  return false;
}

struct Options {
  bool mirror, keyToAlpha, zeroColor, alphaFromRed, skipKey, alphaFromImage;
  int dither;
  uint32_t key;
};

// ---------------------------------------------------------------------------------------------
// Dithered 8:8:8 to 5:6:5: the general path's result for these formats, channel by channel.
// ---------------------------------------------------------------------------------------------

constexpr uint8_t kBayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

// A channel of 8 bits narrowed by kDrop bits, plus one unit when bump is 1, clamped.
template <int kDrop>
inline uint32_t Narrow8(uint32_t v, uint32_t bump) {
  return std::min((v >> kDrop) + bump, 0xFFu >> kDrop);
}

// The ordered dither's unit: the matrix entry scaled to the dropped bits is below them.
template <int kDrop>
constexpr uint32_t OrderedThreshold(int index) {
  return (uint32_t(kBayer[index]) << kDrop) >> 4;
}

inline uint32_t Ordered565Pixel(uint32_t p, int index) {
  const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
  return Narrow8<3>(r, uint32_t(OrderedThreshold<3>(index) < (r & 7))) << 11 |
         Narrow8<2>(g, uint32_t(OrderedThreshold<2>(index) < (g & 3))) << 5 |
         Narrow8<3>(b, uint32_t(OrderedThreshold<3>(index) < (b & 7)));
}

// Pixels x .. w - 1 of row `row` (counted from the rectangle's top), one at a time.
template <int SB>
void Ordered565Tail(uint8_t* d, const uint8_t* s, int64_t x, int64_t w, int64_t row) {
  for (; x < w; ++x) {
    const int index = int(row & 3) * 4 + int(x & 3);
    StorePixel<2>(d + 2 * x, Ordered565Pixel(LoadPixel<SB>(s + SB * x), index));
  }
}

// Eight 32-bit pixels a step. The matrix repeats every four columns, so each row has one
// vector of thresholds per channel, one of four.
using Words8x32 = uint32_t __attribute__((vector_size(32)));
using Words8x16 = uint16_t __attribute__((vector_size(16)));

[[gnu::always_inline]] inline void Ordered565Body(const Walk& k) {
  Words8x32 t3[4], t2[4];
  for (int row = 0; row < 4; ++row) {
    for (int i = 0; i < 8; ++i) {
      t3[row][i] = OrderedThreshold<3>(row * 4 + (i & 3));
      t2[row][i] = OrderedThreshold<2>(row * 4 + (i & 3));
    }
  }
  uint8_t* d = k.dst;
  const uint8_t* s = k.src;
  const int64_t w = k.w;
  for (int64_t y = 0; y < k.h; ++y, d += k.dstPitch, s += k.srcPitch) {
    const Words8x32 tr = t3[y & 3], tg = t2[y & 3];
    int64_t x = 0;
    for (; x + 8 <= w; x += 8) {
      Words8x32 p;
      std::memcpy(&p, s + 4 * x, sizeof p);
      const Words8x32 r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      const Words8x32 rq = r >> 3, gq = g >> 2, bq = b >> 3;
      // A true lane compares as all ones; the unit is added only below the channel's
      // maximum, which is Narrow8's clamp.
      const Words8x32 out = (rq + (Words8x32((tr < (r & 7)) & (rq < 31)) & 1)) << 11 |
                            (gq + (Words8x32((tg < (g & 3)) & (gq < 63)) & 1)) << 5 |
                            (bq + (Words8x32((tr < (b & 7)) & (bq < 31)) & 1));
      const Words8x16 packed = __builtin_convertvector(out, Words8x16);
      std::memcpy(d + 2 * x, &packed, sizeof packed);
    }
    Ordered565Tail<4>(d, s, x, w, y);
  }
}

[[gnu::noinline]] void Ordered565(const Walk& k) {
  Ordered565Body(k);
}

#if ZQ_CONVERT_HAS_AVX2
[[gnu::noinline, gnu::target("avx2")]] void Ordered565Avx2(const Walk& k) {
  Ordered565Body(k);
}
#endif

// The carried remainders: one accumulator per channel, carried across pixels and rows.
template <int SB>
void Carried565(const Walk& k) {
  uint32_t accR = 0, accG = 0, accB = 0;
  uint8_t* d = k.dst;
  const uint8_t* s = k.src;
  for (int64_t y = 0; y < k.h; ++y, d += k.dstPitch, s += k.srcPitch) {
    for (int64_t x = 0; x < k.w; ++x) {
      const uint32_t p = LoadPixel<SB>(s + SB * x);
      const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      accR += r & 7;
      accG += g & 3;
      accB += b & 7;
      const uint32_t v = Narrow8<3>(r, uint32_t(accR > 7)) << 11 |
                         Narrow8<2>(g, uint32_t(accG > 3)) << 5 | Narrow8<3>(b, uint32_t(accB > 7));
      accR &= 7;
      accG &= 3;
      accB &= 7;
      StorePixel<2>(d + 2 * x, v);
    }
  }
}

// 8:8:8 sources (24-bit, or 32-bit with or without alpha) into 5:6:5 with a dither, neither
// mirrored nor keyed nor with zero colour: the destination has no alpha, so alpha plays no
// part. False for every other call.
bool TryDither565(const Walk& k, const ColorData& src, const ColorData& dst, const Options& o) {
  if (o.dither == kDitherNone || o.mirror || o.skipKey || o.zeroColor || !Is565(dst)) return false;
  const bool is32 = IsX888(src) || Is8888(src);
  if (!is32 && !Is888(src)) return false;
  if (o.dither == kDitherCarry) {
    if (is32) {
      Carried565<4>(k);
    } else {
      Carried565<3>(k);
    }
    return true;
  }
  const platform::CpuLevel level = platform::CpuDispatchLevel();
  if (!is32) {
    for (int64_t y = 0; y < k.h; ++y) {
      Ordered565Tail<3>(k.dst + y * k.dstPitch, k.src + y * k.srcPitch, 0, k.w, y);
    }
  } else if (level == platform::CpuLevel::kScalar || base::IsMmxUsable() == 0) {
    for (int64_t y = 0; y < k.h; ++y) {
      Ordered565Tail<4>(k.dst + y * k.dstPitch, k.src + y * k.srcPitch, 0, k.w, y);
    }
#if ZQ_CONVERT_HAS_AVX2
  } else if (level == platform::CpuLevel::kAvx2) {
    Ordered565Avx2(k);
#endif
  } else {
    Ordered565(k);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// General path
// ---------------------------------------------------------------------------------------------

constexpr int kChunk = 256;           // pixels converted per step through the scratch arrays
constexpr uint32_t kTableMax = 1023;  // channel ranges up to this go through lookup tables

enum Channel { kR, kG, kB, kA, kRedToAlpha, kChannels };

// How one channel's value moves from its source width to its destination width.
struct WidthConv {
  uint32_t srcMask = 0;  // where the value sits in its source word
  int srcShift = 0;
  int narrow = 0;      // > 0: bits dropped
  int widen = 0;       // > 0: bits added; the low part is value * fill / range
  uint32_t fill = 0;   // 2^widen - 1
  uint32_t range = 1;  // source mask >> source shift (1 stands in for an empty channel)

  void Set(uint32_t mask, int shift, int srcWidth, int dstWidth) {
    srcMask = mask;
    srcShift = shift;
    const int d = srcWidth - dstWidth;
    narrow = d > 0 ? d : 0;
    widen = d < 0 ? -d : 0;
    fill = widen > 0 ? uint32_t((uint64_t(1) << widen) - 1) : 0;
    // An empty source channel reads as 0 whatever the destination width.
    range = (mask >> shift) != 0 ? mask >> shift : 1;
  }
  uint32_t MaxValue() const { return srcMask >> srcShift; }
  uint32_t Convert(uint32_t v) const {
    const uint64_t wide = ((uint64_t(v) >> narrow) << widen) + uint64_t(v) * fill / range;
    return uint32_t(wide);
  }
};

struct DitherChannel {
  uint32_t low = 0;   // the source bits the narrowing drops (0: the channel never carries)
  uint32_t unit = 0;  // one destination step
  uint32_t threshold[16] = {};
};

struct General {
  WidthConv conv[kChannels];
  const uint32_t* table[kChannels] = {};  // lookup tables when all ranges are small
  uint32_t dstRL, dstGL, dstBL, dstAL;
  uint32_t dstRM, dstGM, dstBM, dstAM;
  uint32_t alphaConst = 0;   // alpha when it comes from neither the source nor an alpha image
  uint32_t colorKeep = ~0u;  // 0 with zero colour
  uint32_t redToAlpha = 0;   // ~0 with alpha from red
  uint32_t keyR = 0, keyG = 0, keyB = 0;
  DitherChannel dither[4];
  bool alphaFromImage = false;
};

struct CarryState {
  uint64_t acc[4] = {};
};

template <bool Tables>
inline uint32_t Conv(const General& g, int c, uint32_t word) {
  const WidthConv& cv = g.conv[c];
  const uint32_t v = (word & cv.srcMask) >> cv.srcShift;
  if constexpr (Tables) {
    return g.table[c][v];
  } else {
    return cv.Convert(v);
  }
}

// Converts n source words (and alpha-image words) into unwritten destination values.
template <bool Tables, bool WidthsDiffer, int Dither, bool KeyToAlpha>
void ConvertChunk(const General& settings, CarryState& carryState, const uint32_t* s,
                  const uint32_t* a, uint32_t* out, int n, int64_t row, int64_t col0) {
  // Local copies: the stores to out could otherwise alias them and force a reload per pixel.
  const General g = settings;
  CarryState carry = carryState;
  const uint32_t* aw = g.alphaFromImage ? a : s;
  const uint32_t allMasks = g.dstRM | g.dstGM | g.dstBM | g.dstAM;
  for (int i = 0; i < n; ++i) {
    const uint32_t sv = s[i];
    const uint32_t av = aw[i];
    uint32_t r = Conv<Tables>(g, kR, sv);
    uint32_t gr = Conv<Tables>(g, kG, sv);
    uint32_t b = Conv<Tables>(g, kB, sv);
    uint32_t alpha = Conv<Tables>(g, kA, av) | g.alphaConst;
    alpha = (alpha & ~g.redToAlpha) | (Conv<Tables>(g, kRedToAlpha, sv) & g.redToAlpha);
    r &= g.colorKeep;
    gr &= g.colorKeep;
    b &= g.colorKeep;
    const uint32_t rs = r << g.dstRL, gs = gr << g.dstGL, bs = b << g.dstBL;
    uint32_t v = rs | gs | bs | ((alpha << g.dstAL) & g.dstAM);
    if constexpr (!WidthsDiffer) {
      if constexpr (KeyToAlpha) {
        v = (rs == g.keyR && gs == g.keyG && bs == g.keyB) ? v & ~g.dstAM : v | g.dstAM;
      }
    } else {
      const uint32_t masks[4] = {g.dstRM, g.dstGM, g.dstBM, g.dstAM};
      uint32_t part[4];
      for (int c = 0; c < 4; ++c) {
        // 64 bits: a carry into the top bit of the word must not wrap.
        uint64_t p = v & masks[c];
        if constexpr (Dither != kDitherNone) {
          const DitherChannel& dc = g.dither[c];
          const uint32_t x = (c == kA ? av : sv) & dc.low;
          if constexpr (Dither == kDitherOrdered) {
            const int idx = int(row & 3) * 4 + int((col0 + i) & 3);
            if (dc.threshold[idx] < x) p += dc.unit;
          } else {
            carry.acc[c] += x;
            if (carry.acc[c] > dc.low) p += dc.unit;
            carry.acc[c] &= dc.low;
          }
        }
        part[c] = uint32_t(std::min<uint64_t>(p, masks[c]));
      }
      v = (v & ~allMasks) | part[0] | part[1] | part[2] | part[3];
      if constexpr (KeyToAlpha) {
        v = (part[0] == g.keyR && part[1] == g.keyG && part[2] == g.keyB) ? v & ~g.dstAM
                                                                          : v | g.dstAM;
      }
    }
    out[i] = v;
  }
  carryState = carry;
}

using ChunkFn = void (*)(const General&, CarryState&, const uint32_t*, const uint32_t*, uint32_t*,
                         int, int64_t, int64_t);

template <bool Tables, bool WidthsDiffer>
ChunkFn PickChunkFn(int dither, bool keyToAlpha) {
  if constexpr (!WidthsDiffer) {
    return keyToAlpha ? &ConvertChunk<Tables, false, kDitherNone, true>
                      : &ConvertChunk<Tables, false, kDitherNone, false>;
  } else {
    switch (dither) {
      case kDitherOrdered:
        return keyToAlpha ? &ConvertChunk<Tables, true, kDitherOrdered, true>
                          : &ConvertChunk<Tables, true, kDitherOrdered, false>;
      case kDitherCarry:
        return keyToAlpha ? &ConvertChunk<Tables, true, kDitherCarry, true>
                          : &ConvertChunk<Tables, true, kDitherCarry, false>;
      default:
        return keyToAlpha ? &ConvertChunk<Tables, true, kDitherNone, true>
                          : &ConvertChunk<Tables, true, kDitherNone, false>;
    }
  }
}

// Reads n pixels: raw values, and the colour words (palette entries for 8-bit images).
using ReadFn = void (*)(const uint8_t*, int, const uint32_t*, uint32_t*, uint32_t*);

template <int B>
void ReadChunk(const uint8_t* p, int n, const uint32_t* palette, uint32_t* raw, uint32_t* word) {
  for (int i = 0; i < n; ++i) {
    const uint32_t v = LoadPixel<B>(p + ptrdiff_t(i) * B);
    raw[i] = v;
    if constexpr (B == 1) {
      word[i] = palette[v];
    } else {
      word[i] = v;
    }
  }
}

ReadFn PickReader(int bytes) {
  ReadFn fn = nullptr;
  WithPixelBytes(bytes, [&fn](auto b) { fn = &ReadChunk<decltype(b)::value>; });
  return fn;
}

using WriteFn = void (*)(uint8_t*, ptrdiff_t, const uint32_t*, const uint32_t*, int, uint32_t,
                         uint32_t);

template <int B, bool SkipKey>
void WriteChunk(uint8_t* d, ptrdiff_t step, const uint32_t* v, const uint32_t* raw, int n,
                uint32_t orBits, uint32_t key) {
  for (int i = 0; i < n; ++i) {
    if constexpr (SkipKey) {
      if (raw[i] == key) continue;
    }
    StorePixel<B>(d + i * step, v[i] | orBits);
  }
}

WriteFn PickWriter(int bytes, bool skipKey) {
  WriteFn fn = nullptr;
  WithPixelBytes(bytes, [&fn, skipKey](auto b) {
    constexpr int B = decltype(b)::value;
    fn = skipKey ? &WriteChunk<B, true> : &WriteChunk<B, false>;
  });
  return fn;
}

void GeneralPath(const Walk& k, const ColorData& src, const ColorData& dst, const ColorData& alpha,
                 const Options& o) {
  General g;
  g.alphaFromImage = o.alphaFromImage;
  const bool widthsDiffer = src.RW != dst.RW || src.GW != dst.GW || src.BW != dst.BW;

  g.conv[kR].Set(src.RM, src.RL, src.RW, dst.RW);
  g.conv[kG].Set(src.GM, src.GL, src.GW, dst.GW);
  g.conv[kB].Set(src.BM, src.BL, src.BW, dst.BW);
  if (o.alphaFromImage) {
    g.conv[kA].Set(alpha.RM, alpha.RL, alpha.RW, dst.AW);
  } else if (src.AW == 0) {
    g.conv[kA].Set(0, 0, 0, 0);
    g.alphaConst = dst.AM >> dst.AL;
  } else if (dst.AM == 0) {
    g.conv[kA].Set(0, 0, 0, 0);
  } else {
    g.conv[kA].Set(src.AM, src.AL, src.AW, dst.AW);
  }
  // Alpha from red takes the source's red at its own width to the alpha width, so it holds
  // whether or not the destination has a red channel of its own.
  if (o.alphaFromRed) g.conv[kRedToAlpha].Set(src.RM, src.RL, src.RW, dst.AW);
  g.redToAlpha = o.alphaFromRed ? ~0u : 0u;
  g.colorKeep = o.zeroColor ? 0u : ~0u;

  g.dstRL = dst.RL, g.dstGL = dst.GL, g.dstBL = dst.BL, g.dstAL = dst.AL;
  g.dstRM = dst.RM, g.dstGM = dst.GM, g.dstBM = dst.BM, g.dstAM = dst.AM;

  if (o.keyToAlpha) {
    const uint32_t packed = PackKeyColor(dst, o.key);
    g.keyR = packed & dst.RM;
    g.keyG = packed & dst.GM;
    g.keyB = packed & dst.BM;
  }

  if (widthsDiffer && o.dither != kDitherNone) {
    // Alpha's dropped bits come from the alpha image's red or the source's alpha.
    const int alphaWidth = o.alphaFromImage ? alpha.RW : src.AW;
    const int alphaShift = o.alphaFromImage ? alpha.RL : src.AL;
    const int srcWidth[4] = {src.RW, src.GW, src.BW, alphaWidth};
    const int srcShift[4] = {src.RL, src.GL, src.BL, alphaShift};
    const int dstWidth[4] = {dst.RW, dst.GW, dst.BW, dst.AW};
    const int dstShift[4] = {dst.RL, dst.GL, dst.BL, dst.AL};
    for (int c = 0; c < 4; ++c) {
      const int d = srcWidth[c] - dstWidth[c];
      if (d <= 0) continue;
      DitherChannel& dc = g.dither[c];
      dc.low = uint32_t(((uint64_t(1) << d) - 1) << srcShift[c]);
      dc.unit = uint32_t(1) << dstShift[c];
      for (int i = 0; i < 16; ++i) {
        dc.threshold[i] = uint32_t(((uint64_t(kBayer[i]) << d) >> 4) << srcShift[c]);
      }
    }
  }

  bool tables = true;
  for (const WidthConv& cv : g.conv) tables = tables && cv.MaxValue() <= kTableMax;
  uint32_t tableStore[kChannels][kTableMax + 1];
  if (tables) {
    for (int c = 0; c < kChannels; ++c) {
      const WidthConv& cv = g.conv[c];
      for (uint32_t v = 0; v <= cv.MaxValue(); ++v) tableStore[c][v] = cv.Convert(v);
      g.table[c] = tableStore[c];
    }
  }
  const ChunkFn convert = tables
                              ? (widthsDiffer ? PickChunkFn<true, true>(o.dither, o.keyToAlpha)
                                              : PickChunkFn<true, false>(o.dither, o.keyToAlpha))
                              : (widthsDiffer ? PickChunkFn<false, true>(o.dither, o.keyToAlpha)
                                              : PickChunkFn<false, false>(o.dither, o.keyToAlpha));

  const ReadFn readSrc = PickReader(src.PixelByte);
  const ReadFn readAlpha = o.alphaFromImage ? PickReader(alpha.PixelByte) : nullptr;
  const WriteFn write = PickWriter(dst.PixelByte, o.skipKey);
  const uint32_t orBits = (dst.ColorBitDepth == 16 || dst.ColorBitDepth == 32) ? dst.NM : 0u;
  const uint32_t key = o.key & DepthMask(src.ColorBitDepth);
  const int sb = src.PixelByte, ab = alpha.PixelByte;

  uint32_t raw[kChunk], word[kChunk], alphaRaw[kChunk], alphaWord[kChunk], out[kChunk];
  CarryState carry;
  uint8_t* d = k.dst;
  const uint8_t* s = k.src;
  const uint8_t* a = k.alpha;
  for (int64_t y = 0; y < k.h; ++y, d += k.dstPitch, s += k.srcPitch) {
    for (int64_t x0 = 0; x0 < k.w; x0 += kChunk) {
      const int n = int(std::min<int64_t>(kChunk, k.w - x0));
      readSrc(s + x0 * sb, n, src.Palette, raw, word);
      if (readAlpha) readAlpha(a + x0 * ab, n, alpha.Palette, alphaRaw, alphaWord);
      convert(g, carry, word, alphaWord, out, n, y, x0);
      write(d + x0 * k.dstStep, k.dstStep, out, raw, n, orBits, key);
    }
    if (a) a += k.alphaPitch;
  }
}

}  // namespace

int ConvertPixelRect(void* dstPixels, int32_t dstPitch, const ColorData* dstFormat,
                     const void* srcPixels, int32_t srcPitch, const ColorData* srcFormat,
                     const void* alphaPixels, int32_t alphaPitch, const ColorData* alphaFormat,
                     int32_t dstX, int32_t dstY, const RECT* srcRect, int mirror, int keyToAlpha,
                     uint32_t keyColor, int ditherMode, int zeroColor, int alphaFromRed,
                     int skipKey) {
  if (dstPixels == nullptr || dstFormat == nullptr || srcPixels == nullptr ||
      srcFormat == nullptr || srcRect == nullptr) {
    return -1;
  }
  // Read in place: a descriptor with its palette is about a kilobyte, and restoring a screen
  // converts many small rectangles.
  static const ColorData kNoFormat{};
  const ColorData& dst = *dstFormat;
  const ColorData& src = *srcFormat;
  const ColorData& alpha = alphaFormat != nullptr ? *alphaFormat : kNoFormat;
  // An alpha image needs pixels and a real format; an empty descriptor means none.
  const bool alphaImage = alphaPixels != nullptr && alpha.ColorBitDepth != 0;

  if (!IsUsableFormat(dst) || !IsUsableFormat(src) || (alphaImage && !IsUsableFormat(alpha))) {
    return -1;
  }
  if (ditherMode < kDitherNone || ditherMode > kDitherCarry) return -1;

  Options o;
  o.mirror = mirror != 0;
  o.keyToAlpha = keyToAlpha != 0;
  o.zeroColor = zeroColor != 0;
  o.alphaFromRed = alphaFromRed != 0;
  o.skipKey = skipKey != 0;
  o.dither = ditherMode;
  o.key = keyColor;

  const bool alphaTransfer = dst.AW != 0 && (alphaImage || src.AW != 0);
  o.alphaFromImage = dst.AW != 0 && alphaImage && src.AW == 0;
  if (alphaTransfer || dst.AW == 0 || o.alphaFromRed) o.keyToAlpha = false;
  if (alphaTransfer || o.mirror) o.skipKey = false;

  const int64_t w = int64_t(srcRect->right) - srcRect->left;
  const int64_t h = int64_t(srcRect->bottom) - srcRect->top;
  if (w <= 0 || h <= 0) return -1;

  Walk k{};
  const int db = dst.PixelByte, sb = src.PixelByte;
  k.w = w;
  k.h = h;
  k.dstPitch = dstPitch;
  k.dstStep = o.mirror ? -db : db;
  k.dst = static_cast<uint8_t*>(dstPixels) + int64_t(dstY) * dstPitch + int64_t(dstX) * db +
          (o.mirror ? (w - 1) * db : 0);
  k.srcPitch = srcPitch;
  k.src = static_cast<const uint8_t*>(srcPixels) + int64_t(srcRect->top) * srcPitch +
          int64_t(srcRect->left) * sb;
  k.alphaPitch = alphaPitch;
  k.alpha = o.alphaFromImage
                ? static_cast<const uint8_t*>(alphaPixels) + int64_t(srcRect->top) * alphaPitch +
                      int64_t(srcRect->left) * alpha.PixelByte
                : nullptr;

  // Palette copy: indexes move unchanged; no colour is ever quantised to a palette.
  if (dst.ColorBitDepth == 8 && !o.zeroColor && !o.skipKey) {
    if (src.ColorBitDepth != 8) return -1;
    return PaletteCopy(k);
  }

  // Equal formats.
  if (!o.keyToAlpha && !o.alphaFromImage && !o.zeroColor && !o.alphaFromRed &&
      SameMasks(src, dst)) {
    if (o.skipKey) {
      WithPixelBytes(db, [&](auto b) { CopySkipKey<decltype(b)::value>(k, o.key); });
    } else if (o.mirror) {
      WithPixelBytes(db, [&](auto b) { CopyMirrored<decltype(b)::value>(k); });
    } else {
      CopyRows(k, db);
    }
    return 0;
  }

  // Key to alpha where only the alpha layout differs.
  if (!o.skipKey && o.keyToAlpha && !o.zeroColor && !o.alphaFromRed &&
      src.ColorBitDepth == dst.ColorBitDepth && src.RM == dst.RM && src.GM == dst.GM &&
      src.BM == dst.BM) {
    const uint32_t keyPixel = PackKeyColor(dst, o.key);
    WithPixelBytes(db, [&](auto b) { KeyToAlphaSameLayout<decltype(b)::value>(k, dst, keyPixel); });
    return 0;
  }

  if (!o.skipKey && o.dither == kDitherNone && !o.zeroColor && !o.alphaFromRed && !o.mirror &&
      !alphaImage) {
    k.wide = UseWideRows();
    if (TryFastPaths(k, src, dst, o.keyToAlpha, alphaTransfer, o.key)) return 0;
  }

  if (!alphaImage && TryDither565(k, src, dst, o)) return 0;
  GeneralPath(k, src, dst, alpha, o);
  return 0;
}

}  // namespace zq::gfx
