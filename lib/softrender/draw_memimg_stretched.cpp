// Stretched and mirrored software blit. The call is checked and clipped once; the source
// column of every destination column is worked out once per call with the 16.16 error
// counter (mirroring included), the source row once per destination row; then one
// specialised row loop, chosen by templates, gathers the source pixels through that column
// table and applies the blend operator of the case.
#include "softrender/draw_memimg_stretched.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

#include "base/rect.h"
#include "graphics/draw_state.h"
#include "softrender/blend_ops.h"
#include "softrender/draw_memimg.h"

namespace zq::soft {
namespace {

using gfx::MEMIMG;

// Pixels may sit at any byte address (views, odd pitches): every access is a memcpy.
template <class T>
inline T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
inline void Store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

constexpr int64_t kOne = 65536;  // one destination pixel in the error counters

// ---------------------------------------------------------------------------------------
// What one call draws, resolved before any loop runs.

struct StretchJob {
  uint8_t* dst;  // top-left pixel of the clipped rectangle
  ptrdiff_t dstPitch;
  int width;  // clipped width and height
  int height;
  const uint8_t* src;  // row 0 of the source
  ptrdiff_t srcPitch;
  const uint8_t* blend;  // row 0 of the blend image, null without one
  ptrdiff_t blendPitch;
  const int32_t* cols;  // source column of each destination column
  uint8_t* rowSrc;      // the gathered source pixels of one row (width x source bytes)
  uint8_t* rowBlend;    // the gathered blend-image bytes of one row
  int32_t firstRow;     // source row of the first destination row
  int32_t rowStep;      // +1, or -1 on a mirrored vertical axis
  int64_t ratioY;
  int64_t errY;  // coverage left of the first row's source row
  uint32_t key;  // colour key cut to the source's pixel width
  bool avx2;
  BlendContext ctx;
  uint32_t palette[256];    // palettised source: the entries as pixel values
  uint8_t blendTable[256];  // BlendGraphTable as it stands for this call
};

// ---------------------------------------------------------------------------------------
// Gathering: each general row first collects the source pixels (and blend-image bytes) its
// destination pixels show into a contiguous row, then blends that row in vector lanes.

template <class V>
constexpr bool kScalar = std::is_same_v<V, int32_t>;

// out[x] = the kBytes-byte pixel at column cols[x] of row, for x < w.
template <int kBytes>
inline void GatherRow(uint8_t* out, const uint8_t* row, const int32_t* cols, int w) {
  using T =
      std::conditional_t<kBytes == 1, uint8_t, std::conditional_t<kBytes == 2, uint16_t, uint32_t>>;
  int x = 0;
  if constexpr (kBytes < 4) {
    // Several narrow pixels a store.
    constexpr int kPer = 8 / kBytes;
    for (; x + kPer <= w; x += kPer) {
      uint64_t v = 0;
#pragma GCC unroll 8
      for (int k = 0; k < kPer; ++k)
        v |= uint64_t(Load<T>(row + ptrdiff_t(cols[x + k]) * kBytes)) << (k * kBytes * 8);
      Store<uint64_t>(out + x * kBytes, v);
    }
  }
  for (; x < w; ++x) Store<T>(out + x * kBytes, Load<T>(row + ptrdiff_t(cols[x]) * kBytes));
}

// Source pixel forms. Lanes reads pixels x .. x + lanes - 1 of a gathered row as their
// colour (the palette entry for a palettised source), the value the colour key compares and
// their alpha; Copy reads one pixel of a source row for the plain copy.

using Words4 = uint16_t __attribute__((vector_size(8)));

template <class PixelT>
struct DirectSource {
  using Word = typename PixelT::Word;
  static constexpr int kBytes = int(sizeof(Word));
  static constexpr bool kAlpha = false;
  static constexpr bool kPalette = false;
  template <class V>
  static void Lanes(const StretchJob&, const uint8_t* p, int x, V& color, V& key, V& alpha) {
    if constexpr (kScalar<V>) {
      color = int32_t(Load<Word>(p + x * kBytes));
    } else if constexpr (kHalfLanes<V> || kBytes == 4) {
      std::memcpy(&color, p + x * kBytes, sizeof color);
    } else {
      Words4 w;
      std::memcpy(&w, p + x * 2, sizeof w);
      color = __builtin_convertvector(w, V);
    }
    key = color;
    alpha = Splat<V>(255);
  }
  static uint32_t Copy(const StretchJob&, const uint8_t* row, int32_t col) {
    return Load<Word>(row + ptrdiff_t(col) * kBytes);
  }
};

// 16-bit with alpha channel: colour word, alpha byte, one unread byte.
// 32-bit with alpha channel: the whole value is the colour, alpha is byte 3.
template <class PixelT>
struct AlphaSource {
  static constexpr bool k16 = sizeof(typename PixelT::Word) == 2;
  static constexpr int kBytes = 4;
  static constexpr bool kAlpha = true;
  static constexpr bool kPalette = false;
  template <class V>
  static void Lanes(const StretchJob&, const uint8_t* p, int x, V& color, V& key, V& alpha) {
    if constexpr (kHalfLanes<V>) {
      static_assert(std::is_same_v<V, Half16>);
      // Sixteen 4-byte pixels: colour words in the even halves, alpha bytes in the odd.
      V lo, hi;
      std::memcpy(&lo, p + x * 4, sizeof lo);
      std::memcpy(&hi, p + x * 4 + sizeof lo, sizeof hi);
      color = __builtin_shufflevector(lo, hi, 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28,
                                      30);
      alpha = __builtin_shufflevector(lo, hi, 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29,
                                      31) &
              0xFF;
    } else {
      V w;
      std::memcpy(&w, p + x * 4, sizeof w);
      color = k16 ? (w & 0xFFFF) : w;
      alpha = (w >> (k16 ? 16 : 24)) & 0xFF;
    }
    key = color;
  }
};

template <class PixelT>
struct PaletteSource {
  static constexpr int kBytes = 1;
  static constexpr bool kAlpha = false;
  static constexpr bool kPalette = true;
  template <class V>
  static void Lanes(const StretchJob& j, const uint8_t* p, int x, V& color, V& key, V& alpha) {
    if constexpr (kScalar<V>) {
      key = p[x];
      color = int32_t(j.palette[p[x]]);
    } else {
      using E = typename LaneTraits<V>::Element;
      E keys[LaneTraits<V>::kCount], colors[LaneTraits<V>::kCount];
      for (int k = 0; k < LaneTraits<V>::kCount; ++k) {
        keys[k] = E(p[x + k]);
        colors[k] = E(j.palette[p[x + k]]);
      }
      std::memcpy(&key, keys, sizeof key);
      std::memcpy(&color, colors, sizeof color);
    }
    alpha = Splat<V>(255);
  }
  static uint32_t Copy(const StretchJob& j, const uint8_t* row, int32_t col) {
    return j.palette[row[col]];
  }
};

template <class V>
inline V LoadBlendFactor(const StretchJob& j, const uint8_t* bl, int x) {
  if constexpr (kScalar<V>) {
    return j.blendTable[bl[x]];
  } else {
    V b;
    for (int k = 0; k < LaneTraits<V>::kCount; ++k) b[k] = j.blendTable[bl[x + k]];
    return b;
  }
}

template <class PixelT, class V>
inline V LoadDestination(const uint8_t* d, int x) {
  using Word = typename PixelT::Word;
  constexpr int kBytes = int(sizeof(Word));
  if constexpr (kScalar<V>) {
    return int32_t(Load<Word>(d + x * kBytes));
  } else if constexpr (kHalfLanes<V> || kBytes == 4) {
    V v;
    std::memcpy(&v, d + x * kBytes, sizeof v);
    return v;
  } else {
    Word w[LaneTraits<V>::kCount];
    std::memcpy(w, d + x * kBytes, sizeof w);
    V v;
    for (int k = 0; k < LaneTraits<V>::kCount; ++k) v[k] = w[k];
    return v;
  }
}

template <class PixelT, class V>
inline void StoreDestination(uint8_t* d, int x, V v) {
  using Word = typename PixelT::Word;
  constexpr int kBytes = int(sizeof(Word));
  if constexpr (kScalar<V>) {
    Store<Word>(d + x * kBytes, Word(v));
  } else if constexpr (kHalfLanes<V> || kBytes == 4) {
    std::memcpy(d + x * kBytes, &v, sizeof v);
  } else {
    Word w[LaneTraits<V>::kCount];
    for (int k = 0; k < LaneTraits<V>::kCount; ++k) w[k] = Word(v[k]);
    std::memcpy(d + x * kBytes, w, sizeof w);
  }
}

// An operator with its factor set fixed.
template <class OpT, class F>
struct Bound {
  static constexpr bool kPlainCopy = OpT::kIsCopy && !F::kB && !F::kA && !F::kBr;
  static constexpr bool kFits16 = OpT::template kFits16<F>;
  template <class V>
  static V Apply(const BlendContext& c, V s, V d, V b, V a) {
    return OpT::template Apply<F>(c, s, d, b, a);
  }
};

// ---------------------------------------------------------------------------------------
// Row loops. A tested pixel is selected, not branched on: a skipped pixel is written back
// unchanged.

enum class PixelRule {
  kPlain,           // the operator without alpha factor, nothing skipped
  kKeyed,           // the same, pixels equal to the key skipped
  kAlpha,           // every pixel with its alpha as factor
  kAlphaShortcuts,  // alpha 0 skipped, 255 without factor, others with factor
};

template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule, class V>
inline void BlendStep(const StretchJob& j, const BlendContext& c, uint8_t* d, const uint8_t* s,
                      const uint8_t* bl, int x) {
  V sv, kv, av;
  Src::Lanes(j, s, x, sv, kv, av);
  const V dv = LoadDestination<PixelT, V>(d, x);
  V b{};
  if constexpr (kB) b = LoadBlendFactor<V>(j, bl, x);
  V out;
  if constexpr (kRule == PixelRule::kAlpha) {
    out = WithAlpha::Apply(c, sv, dv, b, av);
  } else if constexpr (kRule == PixelRule::kAlphaShortcuts) {
    const V whole = Plain::Apply(c, sv, dv, b, av);
    const V part = WithAlpha::Apply(c, sv, dv, b, av);
    out = Select(av == Splat<V>(0), dv, Select(av == Splat<V>(255), whole, part));
  } else {
    out = Plain::Apply(c, sv, dv, b, av);
    if constexpr (kRule == PixelRule::kKeyed) {
      out = Select(kv == Splat<V>(int32_t(j.key)), dv, out);
    }
  }
  StoreDestination<PixelT, V>(d, x, out);
}

template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule>
struct BlendRow {
  // Whether the row's result depends only on the source row (so a repeated source row may
  // be copied from the destination row above).
  static constexpr bool kSourceOnly = false;
  static void Draw(const StretchJob& j, uint8_t* d, const uint8_t* srcRow, const uint8_t* blendRow,
                   bool newRow) {
    // A source row drawn again (enlarging downwards) is gathered once.
    if (newRow) {
      GatherRow<Src::kBytes>(j.rowSrc, srcRow, j.cols, j.width);
      if constexpr (kB) GatherRow<1>(j.rowBlend, blendRow, j.cols, j.width);
    }
    const uint8_t* s = j.rowSrc;
    const uint8_t* bl = j.rowBlend;
    // 16-bit pixels sixteen at a time in 16-bit lanes when the case's arithmetic fits,
    // 32-bit pixels eight at a time.
    constexpr bool kHalf =
        std::is_same_v<PixelT, Pixel16> && Plain::kFits16 && (!Src::kAlpha || WithAlpha::kFits16);
    using L =
        std::conditional_t<kHalf, Half16,
                           std::conditional_t<std::is_same_v<PixelT, Pixel32>, Lanes8, Lanes4>>;
    constexpr int kStep = LaneTraits<L>::kCount;
    const BlendContext c = j.ctx;
    const int w = j.width;
    int x = 0;
    for (; x + kStep <= w; x += kStep) {
      BlendStep<PixelT, Src, Plain, WithAlpha, kB, kRule, L>(j, c, d, s, bl, x);
    }
    for (; x < w; ++x) {
      BlendStep<PixelT, Src, Plain, WithAlpha, kB, kRule, int32_t>(j, c, d, s, bl, x);
    }
  }
};

// The plain copy without key: each destination pixel takes its source pixel's value.
template <class PixelT, class Src>
struct CopyRow {
  static constexpr bool kSourceOnly = true;
  static void Draw(const StretchJob& j, uint8_t* d, const uint8_t* s, const uint8_t*, bool) {
    using Word = typename PixelT::Word;
    const int32_t* cols = j.cols;
    const int w = j.width;
    int x = 0;
    if constexpr (sizeof(Word) == 2) {
      // Four 16-bit pixels a store.
      for (; x + 4 <= w; x += 4) {
        const uint64_t v = uint64_t(Src::Copy(j, s, cols[x])) |
                           uint64_t(Src::Copy(j, s, cols[x + 1])) << 16 |
                           uint64_t(Src::Copy(j, s, cols[x + 2])) << 32 |
                           uint64_t(Src::Copy(j, s, cols[x + 3])) << 48;
        Store<uint64_t>(d + x * 2, v);
      }
    }
    for (; x < w; ++x) Store<Word>(d + x * int(sizeof(Word)), Word(Src::Copy(j, s, cols[x])));
  }
};

template <class PixelT, class Row>
inline void ForEachRow(const StretchJob& j) {
  const size_t rowBytes = size_t(j.width) * sizeof(typename PixelT::Word);
  uint8_t* d = j.dst;
  int64_t err = j.errY;
  int32_t row = j.firstRow;
  int32_t drawnRow = -1;
  for (int y = 0; y < j.height; ++y) {
    if (Row::kSourceOnly && row == drawnRow) {
      std::memcpy(d, d - j.dstPitch, rowBytes);  // the same source row gives the same row
    } else {
      const uint8_t* bl = j.blend ? j.blend + j.blendPitch * row : nullptr;
      Row::Draw(j, d, j.src + j.srcPitch * row, bl, row != drawnRow);
      drawnRow = row;
    }
    d += j.dstPitch;
    // The next row's source row; after the last row the position stays where it is.
    if (y + 1 < j.height) {
      err -= kOne;
      while (err <= 0) {
        row += j.rowStep;
        err += j.ratioY;
      }
    }
  }
}

// The same loops built for the baseline processor and for AVX2. Each is flattened, so the
// vectors never cross a call (whose passing convention would differ between the two).
template <class PixelT, class Row>
__attribute__((flatten)) void RowsBaseline(const StretchJob& j) {
  ForEachRow<PixelT, Row>(j);
}
template <class PixelT, class Row>
__attribute__((target("avx2"), flatten)) void RowsAvx2(const StretchJob& j) {
  ForEachRow<PixelT, Row>(j);
}
template <class PixelT, class Row>
void Rows(const StretchJob& j) {
  if (j.avx2) {
    RowsAvx2<PixelT, Row>(j);
  } else {
    RowsBaseline<PixelT, Row>(j);
  }
}

// ---------------------------------------------------------------------------------------
// Dispatch: each run-time choice becomes a template argument, once per call.

template <class Fn>
inline void Branch(bool v, Fn&& fn) {
  if (v) {
    fn(std::true_type{});
  } else {
    fn(std::false_type{});
  }
}

template <class PixelT, class Src, bool kB, bool kBr, bool kKey, class OpT>
void DrawCase(const StretchJob& j) {
  using Plain = Bound<OpT, Factors<kB, false, kBr>>;
  using WithAlpha = Bound<OpT, Factors<kB, true, kBr>>;
  if constexpr (Src::kAlpha) {
    constexpr PixelRule kRule = kKey ? PixelRule::kAlphaShortcuts : PixelRule::kAlpha;
    Rows<PixelT, BlendRow<PixelT, Src, Plain, WithAlpha, kB, kRule>>(j);
  } else if constexpr (Plain::kPlainCopy && !kKey) {
    Rows<PixelT, CopyRow<PixelT, Src>>(j);
  } else {
    constexpr PixelRule kRule = kKey ? PixelRule::kKeyed : PixelRule::kPlain;
    Rows<PixelT, BlendRow<PixelT, Src, Plain, WithAlpha, kB, kRule>>(j);
  }
}

struct CallFlags {
  bool blend;
  bool bright;
  bool key;
};

template <class PixelT, class Src, class OpT>
void DrawWithFactors(const StretchJob& j, CallFlags f) {
  Branch(f.blend, [&](auto b) {
    Branch(f.bright, [&](auto br) {
      Branch(f.key, [&](auto k) {
        DrawCase<PixelT, Src, decltype(b)::value, decltype(br)::value, decltype(k)::value, OpT>(j);
      });
    });
  });
}

template <class PixelT, class Src>
void DrawMode(const StretchJob& j, int mode, CallFlags f) {
  switch (mode) {
    case 0:
      DrawWithFactors<PixelT, Src, CopyOp<PixelT>>(j, f);
      break;
    case 1:
      // Stretched, blend mode 1 keeps to its difference rule for every parameter.
      DrawWithFactors<PixelT, Src, TranslucentOp<PixelT, TransRule::kDiff>>(j, f);
      break;
    case 2:
      DrawWithFactors<PixelT, Src, AddSubOp<PixelT, false>>(j, f);
      break;
    case 3:
      DrawWithFactors<PixelT, Src, AddSubOp<PixelT, true>>(j, f);
      break;
    case 4:
      DrawWithFactors<PixelT, Src, MultiplyOp<PixelT>>(j, f);
      break;
    default:
      break;
  }
}

template <class PixelT>
void DrawFormat(const StretchJob& j, const MEMIMG& src, int mode, CallFlags f) {
  if (src.PaletteFlag) {
    DrawMode<PixelT, PaletteSource<PixelT>>(j, mode, f);
  } else if (src.AlphaFlag) {
    DrawMode<PixelT, AlphaSource<PixelT>>(j, mode, f);
  } else {
    DrawMode<PixelT, DirectSource<PixelT>>(j, mode, f);
  }
}

// ---------------------------------------------------------------------------------------
// Checks of the call.

// Bytes a pixel by the image's flags; the loops are built for exactly these layouts.
int LayoutBytes(const MEMIMG& m, bool asSource) {
  if (asSource && m.PaletteFlag) return 1;
  if (m.ColorType == gfx::kMemImgRgb565) return (asSource && m.AlphaFlag) ? 4 : 2;
  return 4;
}

// Set up, with pixels, a descriptor agreeing with the flags, and rows that hold a width.
bool IsUsable(const MEMIMG& m, int bytes) {
  if (m.SetupMark != gfx::kMemImgSetupMark || !m.Pixels || !m.Format) return false;
  if (m.Format->PixelByte != bytes) return false;
  // A work image over a locked rectangle addresses only that rectangle, so its pitch may be
  // shorter than its width: the caller vouches for the pixels the draw reaches.
  return m.Width >= 0 && m.Height >= 0 && m.Pitch >= 0;
}

// Whether two byte ranges [a, a + aLen) and [b, b + bLen) meet.
bool Overlaps(const uint8_t* a, size_t aLen, const uint8_t* b, size_t bLen) {
  const uintptr_t a0 = reinterpret_cast<uintptr_t>(a);
  const uintptr_t b0 = reinterpret_cast<uintptr_t>(b);
  return a0 < b0 + bLen && b0 < a0 + aLen;
}

// The bytes an image's rows span, from its first pixel to the end of its last row.
size_t SpanBytes(ptrdiff_t pitch, size_t rowBytes, int rows) {
  return rows <= 0 ? 0 : size_t(pitch) * size_t(rows - 1) + rowBytes;
}

// Copies rows into scratch so the draw reads them as they were before any write.
const uint8_t* CopyRows(std::vector<uint8_t>& scratch, const uint8_t* p, ptrdiff_t pitch,
                        size_t rowBytes, int rows) {
  scratch.resize(rowBytes * size_t(rows));
  for (int y = 0; y < rows; ++y)
    std::memcpy(scratch.data() + rowBytes * y, p + pitch * y, rowBytes);
  return scratch.data();
}

std::atomic<int> g_avx2Allowed{1};

bool UseAvx2() {
  static const bool kHasAvx2 = __builtin_cpu_supports("avx2");
  return kHasAvx2 && g_avx2Allowed.load(std::memory_order_relaxed) != 0;
}

// One axis of the draw: where the clipped part starts in the source and with what coverage.
struct AxisStart {
  int64_t ratio;  // destination pixels per source pixel x 65536
  int64_t off;    // source pixels skipped by the clip
  int64_t err;    // coverage left of the first drawn source pixel, 1 .. ratio
};

AxisStart StartOfAxis(int64_t extent, int64_t size, int64_t cut) {
  AxisStart a;
  a.ratio = extent * kOne / size;
  a.off = cut * kOne / a.ratio;
  a.err = a.ratio - (cut * kOne) % a.ratio;
  return a;
}

}  // namespace

void SetStretchAvx2Allowed(int allowed) {
  g_avx2Allowed.store(allowed ? 1 : 0, std::memory_order_relaxed);
}

void DrawMemImgStretched(gfx::MEMIMG* dst, const gfx::MEMIMG* src, const platform::RECT& rect,
                         int transFlag, const gfx::MEMIMG* blendImage) {
  if (!dst || !src) return;
  // Normalise; reversed corners mirror their axis.
  const bool mirrorX = rect.right < rect.left;
  const bool mirrorY = rect.bottom < rect.top;
  const int32_t left0 = mirrorX ? rect.right : rect.left;
  const int32_t right0 = mirrorX ? rect.left : rect.right;
  const int32_t top0 = mirrorY ? rect.bottom : rect.top;
  const int32_t bottom0 = mirrorY ? rect.top : rect.bottom;
  const int64_t w = int64_t(right0) - left0;
  const int64_t h = int64_t(bottom0) - top0;
  if (w == 0 || h == 0) return;

  if (w == src->Width && h == src->Height && !mirrorX && !mirrorY) {
    DrawMemImg(dst, src, left0, top0, transFlag, blendImage);
    return;
  }

  // Refusals: different colour types, a palettised destination, a destination with alpha
  // (as the unscaled blit), a source size the 16.16 counters cannot step.
  if (src->ColorType != dst->ColorType || dst->PaletteFlag || dst->AlphaFlag) return;
  if (dst->ColorType != gfx::kMemImgRgb565 && dst->ColorType != gfx::kMemImgXrgb8888) return;
  const int srcBytes = LayoutBytes(*src, true);
  const int dstBytes = LayoutBytes(*dst, false);
  if (!IsUsable(*src, srcBytes) || !IsUsable(*dst, dstBytes)) return;
  if (src->Width <= 0 || src->Height <= 0 || src->Width >= 65536 || src->Height >= 65536) return;
  if (src->PaletteFlag && !src->Palette) return;

  const gfx::GraphicsDrawState& state = gfx::g_DrawState;
  int mode = state.BlendMode;
  const int param = state.BlendParam;
  if (mode < 0 || mode > 4 || param < 0 || param > 255) return;
  if (mode == 1 && param == 255) mode = 0;
  if ((mode == 1 || mode == 2 || mode == 3) && param == 0) return;

  if (blendImage) {
    // Read at source coordinates, so it must cover the source.
    if (!blendImage->Pixels || blendImage->Width < src->Width || blendImage->Height < src->Height ||
        blendImage->Pitch < blendImage->Width)
      return;
  }

  // Clip to the draw area and to the destination itself.
  base::RECT area = state.DrawArea;
  const base::RECT own{0, 0, dst->Width, dst->Height};
  base::ClipRectToRect(&area, &own);
  base::RECT r{left0, top0, right0, bottom0};
  base::ClipRectToRect(&r, &area);
  const int cw = r.right - r.left;
  const int ch = r.bottom - r.top;
  if (cw <= 0 || ch <= 0) return;

  // Ratios and cuts in 64 bits: no extent can overflow them. Destination pixel j of the
  // whole rectangle shows source pixel j * 65536 / ratio (below the source size).
  const AxisStart ax = StartOfAxis(w, src->Width, int64_t(r.left) - left0);
  const AxisStart ay = StartOfAxis(h, src->Height, int64_t(r.top) - top0);

  // The column table: one error counter stepped over the destination row.
  // Scratch: the column table and the gathered rows, on the stack for common widths.
  constexpr int kStackWidth = 1024;
  int32_t colsOnStack[kStackWidth];
  uint8_t rowOnStack[kStackWidth * 5];
  std::vector<int32_t> colsScratch;
  std::vector<uint8_t> rowScratch;
  int32_t* cols = colsOnStack;
  uint8_t* rows = rowOnStack;
  if (cw > kStackWidth) {
    colsScratch.resize(size_t(cw));
    rowScratch.resize(size_t(cw) * 5);
    cols = colsScratch.data();
    rows = rowScratch.data();
  }
  {
    // A mirrored axis starts at the far edge and steps back.
    const int32_t step = mirrorX ? -1 : 1;
    int32_t col = int32_t(mirrorX ? src->Width - 1 - ax.off : ax.off);
    int64_t err = ax.err;
    for (int x = 0; x < cw; ++x) {
      cols[x] = col;
      err -= kOne;
      while (err <= 0) {
        col += step;
        err += ax.ratio;
      }
    }
  }

  StretchJob job;
  job.dst = dst->Pixels + ptrdiff_t(dstBytes) * r.left + ptrdiff_t(dst->Pitch) * r.top;
  job.dstPitch = dst->Pitch;
  job.width = cw;
  job.height = ch;
  job.src = src->Pixels;
  job.srcPitch = src->Pitch;
  job.blend = nullptr;
  job.blendPitch = 0;
  if (blendImage) {
    job.blend = blendImage->Pixels;
    job.blendPitch = blendImage->Pitch;
    std::memcpy(job.blendTable, gfx::BlendGraphTable, sizeof job.blendTable);
  }
  job.cols = cols;
  job.rowSrc = rows;
  job.rowBlend = rows + size_t(cw) * 4;
  job.firstRow = int32_t(mirrorY ? src->Height - 1 - ay.off : ay.off);
  job.rowStep = mirrorY ? -1 : 1;
  job.ratioY = ay.ratio;
  job.errY = ay.err;
  const uint32_t bright = state.Bright & 0xFFFFFFu;
  job.ctx = MakeBlendContext(param, bright);
  job.avx2 = UseAvx2();

  const bool is16 = dst->ColorType == gfx::kMemImgRgb565;
  if (src->PaletteFlag) {
    // The entries as pixel values; indexes past the count read 0.
    const int count = std::clamp(src->PaletteCount, 0, 256);
    const auto* entries = reinterpret_cast<const uint8_t*>(src->Palette);
    for (int i = 0; i < 256; ++i) {
      if (i >= count) {
        job.palette[i] = 0;
      } else if (is16) {
        job.palette[i] = Load<uint16_t>(entries + i * 2);
      } else {
        job.palette[i] = Load<uint32_t>(entries + i * 4);
      }
    }
    job.key = src->TransColor & 0xFFu;
  } else {
    // Every leaf compares the key at the source's pixel width.
    job.key = src->TransColor & (is16 ? Pixel16::kKeyMask : Pixel32::kKeyMask);
  }

  // Drawing an image onto itself reads the source as it was before the draw. Only the
  // source pixels the draw reads are looked at (a work image may address no more).
  const int32_t colLo = std::min(cols[0], cols[cw - 1]);
  const int32_t colHi = std::max(cols[0], cols[cw - 1]);
  const int64_t lastRow = ((int64_t(r.top) - top0 + ch - 1) * kOne) / ay.ratio;
  const int32_t rowLo = int32_t(mirrorY ? src->Height - 1 - lastRow : ay.off);
  const int32_t rowHi = int32_t(mirrorY ? src->Height - 1 - ay.off : lastRow);
  const size_t readRow = size_t(colHi - colLo + 1) * srcBytes;
  const uint8_t* readFirst =
      src->Pixels + ptrdiff_t(rowLo) * src->Pitch + ptrdiff_t(colLo) * srcBytes;
  const size_t dstSpan = SpanBytes(job.dstPitch, size_t(cw) * dstBytes, ch);
  const int readRows = rowHi - rowLo + 1;
  const uint8_t* blendFirst =
      blendImage ? blendImage->Pixels + ptrdiff_t(rowLo) * blendImage->Pitch + colLo : nullptr;
  std::vector<uint8_t> srcCopy;
  std::vector<uint8_t> blendCopy;
  if (Overlaps(job.dst, dstSpan, readFirst, SpanBytes(src->Pitch, readRow, readRows)) ||
      (blendFirst && Overlaps(job.dst, dstSpan, blendFirst,
                              SpanBytes(blendImage->Pitch, size_t(colHi - colLo + 1), readRows)))) {
    // Copies of the read box, addressed from its corner.
    job.src = CopyRows(srcCopy, readFirst, src->Pitch, readRow, readRows);
    job.srcPitch = ptrdiff_t(readRow);
    if (blendFirst) {
      job.blend =
          CopyRows(blendCopy, blendFirst, blendImage->Pitch, size_t(colHi - colLo + 1), readRows);
      job.blendPitch = colHi - colLo + 1;
    }
    for (int x = 0; x < cw; ++x) cols[x] -= colLo;
    job.firstRow -= rowLo;
  }

  dst->RunLengthFlag = 0;
  const CallFlags flags{blendImage != nullptr, bright != 0xFFFFFFu, transFlag != 0};
  if (is16) {
    DrawFormat<Pixel16>(job, *src, mode, flags);
  } else {
    DrawFormat<Pixel32>(job, *src, mode, flags);
  }
}

}  // namespace zq::soft
