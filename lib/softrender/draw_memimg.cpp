// Unscaled software blit. The call is checked and clipped once, every per-call decision
// picks one specialised row loop (templates below), and the loop runs over the clipped
// rectangle or, for an unclipped keyed sprite with a current stream, over its runs.
#include "softrender/draw_memimg.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

#include "base/rect.h"
#include "graphics/draw_state.h"
#include "softrender/blend_ops.h"

namespace zq::soft {
namespace {

using gfx::MEMIMG;

// Pixels may sit at any byte address (views, odd pitches), so every access is a memcpy,
// which compiles to a plain move.
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

// ---------------------------------------------------------------------------------------
// What one call draws, resolved before any loop runs.

struct BlitJob {
  uint8_t* dst;
  ptrdiff_t dstPitch;
  const uint8_t* src;
  ptrdiff_t srcPitch;
  const uint8_t* blend;  // null without blend image
  ptrdiff_t blendPitch;  // 0 without blend image
  int width;
  int height;
  uint32_t key;         // colour key cut to the source's pixel width
  bool avx2;            // run the AVX2 build of the pixel loops
  const uint8_t* runs;  // run-length stream and its end
  const uint8_t* runsEnd;
  BlendContext ctx;
  uint32_t palette[256];    // palettised source: the entries as pixel values
  uint8_t blendTable[256];  // BlendGraphTable as it stands for this call
};

// ---------------------------------------------------------------------------------------
// Source pixel forms. Load<V> reads one pixel (V = int32_t) or one per lane: its
// colour (the palette entry for a palettised source), the value the colour key compares
// (the raw pixel or the index) and its alpha.

using Words4 = uint16_t __attribute__((vector_size(8)));

template <class V>
constexpr bool kScalar = std::is_same_v<V, int32_t>;

// Four-byte words at s + 4*x.
template <class V>
inline V LoadWords(const uint8_t* s, int x) {
  if constexpr (kScalar<V>) {
    return int32_t(Load<uint32_t>(s + x * 4));
  } else {
    V v;
    std::memcpy(&v, s + x * 4, sizeof v);
    return v;
  }
}

template <class PixelT>
struct DirectSource {
  static constexpr bool k16 = sizeof(typename PixelT::Word) == 2;
  static constexpr int kBytes = k16 ? 2 : 4;
  static constexpr bool kAlpha = false;
  static constexpr bool kPalette = false;
  template <class V>
  static void Load(const BlitJob&, const uint8_t* s, int x, V& color, V& key, V& alpha) {
    if constexpr (kHalfLanes<V>) {
      std::memcpy(&color, s + x * 2, sizeof color);
    } else if constexpr (!k16) {
      color = LoadWords<V>(s, x);
    } else if constexpr (kScalar<V>) {
      color = soft::Load<uint16_t>(s + x * 2);
    } else {
      Words4 w;
      std::memcpy(&w, s + x * 2, sizeof w);
      color = __builtin_convertvector(w, V);
    }
    key = color;
    alpha = Splat<V>(255);
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
  static void Load(const BlitJob&, const uint8_t* s, int x, V& color, V& key, V& alpha) {
    if constexpr (kHalfLanes<V>) {
      // Eight 4-byte pixels: colour words in the even halves, alpha bytes in the odd.
      V lo, hi;
      std::memcpy(&lo, s + x * 4, sizeof lo);
      std::memcpy(&hi, s + x * 4 + sizeof lo, sizeof hi);
      if constexpr (std::is_same_v<V, Half8>) {
        color = __builtin_shufflevector(lo, hi, 0, 2, 4, 6, 8, 10, 12, 14);
        alpha = __builtin_shufflevector(lo, hi, 1, 3, 5, 7, 9, 11, 13, 15) & 0xFF;
      } else {
        color = __builtin_shufflevector(lo, hi, 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26,
                                        28, 30);
        alpha = __builtin_shufflevector(lo, hi, 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27,
                                        29, 31) &
                0xFF;
      }
    } else {
      const V w = LoadWords<V>(s, x);
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
  static void Load(const BlitJob& j, const uint8_t* s, int x, V& color, V& key, V& alpha) {
    if constexpr (kScalar<V>) {
      key = s[x];
      color = int32_t(j.palette[s[x]]);
    } else {
      using E = typename LaneTraits<V>::Element;
      for (int k = 0; k < LaneTraits<V>::kCount; ++k) {
        key[k] = E(s[x + k]);
        color[k] = E(j.palette[s[x + k]]);
      }
    }
    alpha = Splat<V>(255);
  }
};

template <class PixelT, class V>
inline V LoadDestination(const uint8_t* d, int x) {
  if constexpr (kHalfLanes<V>) {
    V v;
    std::memcpy(&v, d + x * 2, sizeof v);
    return v;
  } else if constexpr (sizeof(typename PixelT::Word) == 4) {
    return LoadWords<V>(d, x);
  } else if constexpr (kScalar<V>) {
    return Load<uint16_t>(d + x * 2);
  } else {
    Words4 w;
    std::memcpy(&w, d + x * 2, sizeof w);
    return __builtin_convertvector(w, V);
  }
}

template <class PixelT, class V>
inline void StoreDestination(uint8_t* d, int x, V v) {
  if constexpr (kHalfLanes<V>) {
    std::memcpy(d + x * 2, &v, sizeof v);
  } else if constexpr (sizeof(typename PixelT::Word) == 4) {
    std::memcpy(d + x * 4, &v, sizeof v);
  } else if constexpr (kScalar<V>) {
    Store<uint16_t>(d + x * 2, uint16_t(v));
  } else {
    const Words4 w = __builtin_convertvector(v, Words4);
    std::memcpy(d + x * 2, &w, sizeof w);
  }
}

template <class V>
inline V LoadBlendFactor(const uint8_t* table, const uint8_t* bl, int x) {
  if constexpr (kScalar<V>) {
    return table[bl[x]];
  } else {
    V b;
    for (int k = 0; k < LaneTraits<V>::kCount; ++k) b[k] = table[bl[x + k]];  // 0..255
    return b;
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
// Pixel loops. A vector of pixels at a time, the rest one at a time, both with the same
// operator code. Tests select between results instead of branching (a skipped
// pixel is written back unchanged), so the loops have no control flow.

enum class PixelRule {
  kPlain,           // the operator without alpha factor, nothing skipped
  kKeyed,           // the same, pixels equal to the key skipped
  kAlpha,           // every pixel with its alpha as factor
  kAlphaShortcuts,  // alpha 0 skipped, 255 without factor, others with factor
};

template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule, class V>
inline void BlendStep(const BlitJob& j, const BlendContext& c, uint8_t* d, const uint8_t* s,
                      const uint8_t* bl, int x) {
  V sv, kv, av;
  Src::Load(j, s, x, sv, kv, av);
  const V dv = LoadDestination<PixelT, V>(d, x);
  V b{};
  if constexpr (kB) b = LoadBlendFactor<V>(j.blendTable, bl, x);
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
inline void BlendPixelsInLanes(const BlitJob& j, uint8_t* d, const uint8_t* s, const uint8_t* bl,
                               int x0, int x1) {
  // 16-bit pixels go sixteen at a time in 16-bit lanes when the case's arithmetic fits,
  // 32-bit pixels eight at a time.
  constexpr bool kHalf =
      std::is_same_v<PixelT, Pixel16> && Plain::kFits16 && (!Src::kAlpha || WithAlpha::kFits16);
  // The keyed plain copy is a load, compare and blend: it measured faster in 16-byte steps.
  constexpr bool kNarrow = Plain::kPlainCopy && kRule == PixelRule::kKeyed;
  using HalfL = std::conditional_t<kNarrow, Half8, Half16>;
  using L = std::conditional_t<kHalf, HalfL,
                               std::conditional_t<std::is_same_v<PixelT, Pixel32>, Lanes8, Lanes4>>;
  constexpr int kStep = LaneTraits<L>::kCount;
  const BlendContext c = j.ctx;
  int x = x0;
  for (; x + kStep <= x1; x += kStep) {
    BlendStep<PixelT, Src, Plain, WithAlpha, kB, kRule, L>(j, c, d, s, bl, x);
  }
  for (; x < x1; ++x) {
    BlendStep<PixelT, Src, Plain, WithAlpha, kB, kRule, int32_t>(j, c, d, s, bl, x);
  }
}

// The same lane code built for the baseline processor and for AVX2. Each is flattened, so
// the vectors never cross a call (whose passing convention would differ between the two).
template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule>
__attribute__((flatten)) void BlendPixelsBaseline(const BlitJob& j, uint8_t* d, const uint8_t* s,
                                                  const uint8_t* bl, int x0, int x1) {
  BlendPixelsInLanes<PixelT, Src, Plain, WithAlpha, kB, kRule>(j, d, s, bl, x0, x1);
}
template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule>
__attribute__((target("avx2"), flatten)) void BlendPixelsAvx2(const BlitJob& j, uint8_t* d,
                                                              const uint8_t* s, const uint8_t* bl,
                                                              int x0, int x1) {
  BlendPixelsInLanes<PixelT, Src, Plain, WithAlpha, kB, kRule>(j, d, s, bl, x0, x1);
}

template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule>
inline void BlendPixels(const BlitJob& j, uint8_t* d, const uint8_t* s, const uint8_t* bl, int x0,
                        int x1) {
  if (j.avx2) {
    BlendPixelsAvx2<PixelT, Src, Plain, WithAlpha, kB, kRule>(j, d, s, bl, x0, x1);
  } else {
    BlendPixelsBaseline<PixelT, Src, Plain, WithAlpha, kB, kRule>(j, d, s, bl, x0, x1);
  }
}

template <class Row>
void ForEachRow(const BlitJob& j) {
  uint8_t* d = j.dst;
  const uint8_t* s = j.src;
  const uint8_t* b = j.blend;
  for (int y = 0; y < j.height; ++y) {
    Row::Draw(j, d, s, b);
    d += j.dstPitch;
    s += j.srcPitch;
    if (b) b += j.blendPitch;
  }
}

template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule>
struct BlendRow {
  static void Draw(const BlitJob& j, uint8_t* d, const uint8_t* s, const uint8_t* bl) {
    BlendPixels<PixelT, Src, Plain, WithAlpha, kB, kRule>(j, d, s, bl, 0, j.width);
  }
};

// Plain copy, no key: whole rows.
template <int kBytes>
struct CopyRow {
  static void Draw(const BlitJob& j, uint8_t* d, const uint8_t* s, const uint8_t*) {
    std::memcpy(d, s, size_t(j.width) * kBytes);
  }
};

// Plain copy of palette indexes, four per step; with a key, four transparent indexes in a
// row are skipped with one test.
template <class PixelT, bool kKey>
struct PaletteCopyRow {
  using Word = typename PixelT::Word;
  static void Draw(const BlitJob& j, uint8_t* d, const uint8_t* s, const uint8_t*) {
    const int w = j.width;
    const uint32_t key = j.key;
    const uint32_t quad = key * 0x01010101u;
    const uint32_t* pal = j.palette;
    int x = 0;
    for (; x + 4 <= w; x += 4) {
      if constexpr (kKey) {
        if (Load<uint32_t>(s + x) == quad) continue;
      }
      for (int k = 0; k < 4; ++k) {
        const uint32_t i = s[x + k];
        if constexpr (kKey) {
          if (i == key) continue;
        }
        Store<Word>(d + (x + k) * int(sizeof(Word)), Word(pal[i]));
      }
    }
    for (; x < w; ++x) {
      const uint32_t i = s[x];
      if constexpr (kKey) {
        if (i == key) continue;
      }
      Store<Word>(d + x * int(sizeof(Word)), Word(pal[i]));
    }
  }
};

// ---------------------------------------------------------------------------------------
// Run-length path: the stream decides what is drawn; no pixel is compared with the key.

template <class PixelT, class Src, class Plain, class WithAlpha, bool kB>
void DrawRuns(const BlitJob& j) {
  uint8_t* d = j.dst;
  const uint8_t* s = j.src;
  const uint8_t* bl = j.blend;
  const uint8_t* code = j.runs;
  const int w = j.width;
  constexpr bool kMoveWhole =
      Plain::kPlainCopy && !Src::kPalette && Src::kBytes == int(sizeof(typename PixelT::Word));
  for (int y = 0; y < j.height; ++y) {
    int x = 0;
    // A damaged stream can neither run past its buffer nor past the row.
    while (code < j.runsEnd) {
      const uint32_t op = *code++;
      const uint32_t type = op >> 6;
      if (type == 3) break;
      const int n = std::min(int(op & 63) + 1, w - x);
      if (type == 1 || (type == 2 && !Src::kAlpha)) {
        if constexpr (kMoveWhole) {
          std::memcpy(d + x * Src::kBytes, s + x * Src::kBytes, size_t(n) * Src::kBytes);
        } else {
          BlendPixels<PixelT, Src, Plain, WithAlpha, kB, PixelRule::kPlain>(j, d, s, bl, x, x + n);
        }
      } else if (type == 2) {
        BlendPixels<PixelT, Src, Plain, WithAlpha, kB, PixelRule::kAlpha>(j, d, s, bl, x, x + n);
      }
      x += n;
    }
    d += j.dstPitch;
    s += j.srcPitch;
    if (bl) bl += j.blendPitch;
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

template <class PixelT, class Src, bool kRuns, bool kB, bool kBr, bool kKey, class PlainOpT,
          class AlphaOpT>
void DrawCase(const BlitJob& j) {
  using Plain = Bound<PlainOpT, Factors<kB, false, kBr>>;
  using WithAlpha = Bound<AlphaOpT, Factors<kB, true, kBr>>;
  if constexpr (kRuns) {
    DrawRuns<PixelT, Src, Plain, WithAlpha, kB>(j);
  } else if constexpr (Src::kAlpha) {
    constexpr PixelRule kRule = kKey ? PixelRule::kAlphaShortcuts : PixelRule::kAlpha;
    ForEachRow<BlendRow<PixelT, Src, Plain, WithAlpha, kB, kRule>>(j);
  } else if constexpr (Plain::kPlainCopy && Src::kPalette) {
    ForEachRow<PaletteCopyRow<PixelT, kKey>>(j);
  } else if constexpr (Plain::kPlainCopy && !kKey) {
    ForEachRow<CopyRow<int(sizeof(typename PixelT::Word))>>(j);
  } else {
    constexpr PixelRule kRule = kKey ? PixelRule::kKeyed : PixelRule::kPlain;
    ForEachRow<BlendRow<PixelT, Src, Plain, WithAlpha, kB, kRule>>(j);
  }
}

struct CallFlags {
  bool blend;
  bool bright;
  bool key;
};

template <class PixelT, class Src, bool kRuns, class PlainOpT, class AlphaOpT>
void DrawWithFactors(const BlitJob& j, CallFlags f) {
  Branch(f.blend, [&](auto b) {
    Branch(f.bright, [&](auto br) {
      if constexpr (kRuns) {
        // The stream path is only taken with the key on.
        DrawCase<PixelT, Src, true, decltype(b)::value, decltype(br)::value, true, PlainOpT,
                 AlphaOpT>(j);
      } else {
        Branch(f.key, [&](auto k) {
          DrawCase<PixelT, Src, false, decltype(b)::value, decltype(br)::value, decltype(k)::value,
                   PlainOpT, AlphaOpT>(j);
        });
      }
    });
  });
}

template <class PixelT, class Src, bool kRuns>
void DrawMode(const BlitJob& j, int mode, CallFlags f) {
  switch (mode) {
    case 0:
      DrawWithFactors<PixelT, Src, kRuns, CopyOp<PixelT>, CopyOp<PixelT>>(j, f);
      break;
    case 1:
      if constexpr (!kRuns && !Src::kAlpha) {
        // Without factors and bright, the per-pixel path has rules of its own.
        if (!f.blend && !f.bright) {
          auto draw = [&]<TransRule kRule>() {
            using Op = TranslucentOp<PixelT, kRule>;
            Branch(f.key, [&](auto k) {
              DrawCase<PixelT, Src, false, false, false, decltype(k)::value, Op, Op>(j);
            });
          };
          if (j.ctx.param == 128) {
            draw.template operator()<TransRule::kHalfAverage>();
          } else {
            draw.template operator()<TransRule::kTable>();
          }
          break;
        }
      }
      DrawWithFactors<PixelT, Src, kRuns, TranslucentOp<PixelT, TransRule::kDiff>,
                      TranslucentOp<PixelT, TransRule::kDiff>>(j, f);
      break;
    case 2:
      DrawWithFactors<PixelT, Src, kRuns, AddSubOp<PixelT, false>, AddSubOp<PixelT, false>>(j, f);
      break;
    case 3:
      DrawWithFactors<PixelT, Src, kRuns, AddSubOp<PixelT, true>, AddSubOp<PixelT, true>>(j, f);
      break;
    case 4:
      DrawWithFactors<PixelT, Src, kRuns, MultiplyOp<PixelT>, MultiplyOp<PixelT>>(j, f);
      break;
    default:
      break;
  }
}

template <class PixelT, bool kRuns>
void DrawFormat(const BlitJob& j, const MEMIMG& src, int mode, CallFlags f) {
  if (src.PaletteFlag) {
    DrawMode<PixelT, PaletteSource<PixelT>, kRuns>(j, mode, f);
  } else if (src.AlphaFlag) {
    DrawMode<PixelT, AlphaSource<PixelT>, kRuns>(j, mode, f);
  } else {
    DrawMode<PixelT, DirectSource<PixelT>, kRuns>(j, mode, f);
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
  if (m.Width < 0 || m.Height < 0 || m.Pitch < 0) return false;
  return int64_t(m.Pitch) >= int64_t(m.Width) * bytes;
}

int32_t SaturatedEnd(int32_t start, int32_t size) {
  const int64_t end = int64_t(start) + size;
  return int32_t(std::clamp<int64_t>(end, INT32_MIN, INT32_MAX));
}

// Whether two row blocks share any byte.
bool Overlaps(const uint8_t* a, ptrdiff_t aPitch, size_t aRow, const uint8_t* b, ptrdiff_t bPitch,
              size_t bRow, int rows) {
  const uintptr_t a0 = reinterpret_cast<uintptr_t>(a);
  const uintptr_t b0 = reinterpret_cast<uintptr_t>(b);
  const uintptr_t a1 = a0 + uintptr_t(aPitch) * uintptr_t(rows - 1) + aRow;
  const uintptr_t b1 = b0 + uintptr_t(bPitch) * uintptr_t(rows - 1) + bRow;
  return a0 < b1 && b0 < a1;
}

// Copies a row block into scratch so the draw reads it as it was before any write.
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

}  // namespace

void SetBlitAvx2Allowed(int allowed) {
  g_avx2Allowed.store(allowed ? 1 : 0, std::memory_order_relaxed);
}

void DrawMemImg(gfx::MEMIMG* dst, const gfx::MEMIMG* src, int x, int y, int transFlag,
                const gfx::MEMIMG* blendImage) {
  if (!dst || !src) return;
  // Refusals: different colour types, a palettised destination, a destination with alpha.
  if (src->ColorType != dst->ColorType || dst->PaletteFlag || dst->AlphaFlag) return;
  if (dst->ColorType != gfx::kMemImgRgb565 && dst->ColorType != gfx::kMemImgXrgb8888) return;
  const int srcBytes = LayoutBytes(*src, true);
  const int dstBytes = LayoutBytes(*dst, false);
  if (!IsUsable(*src, srcBytes) || !IsUsable(*dst, dstBytes)) return;
  if (src->PaletteFlag && !src->Palette) return;

  const gfx::GraphicsDrawState& state = gfx::g_DrawState;
  int mode = state.BlendMode;
  const int param = state.BlendParam;
  if (mode < 0 || mode > 4 || param < 0 || param > 255) return;
  if (mode == 1 && param == 255) mode = 0;
  if ((mode == 1 || mode == 2 || mode == 3) && param == 0) return;

  // Clip to the draw area and to the destination itself.
  base::RECT area = state.DrawArea;
  const base::RECT own{0, 0, dst->Width, dst->Height};
  base::ClipRectToRect(&area, &own);
  base::RECT r{x, y, SaturatedEnd(x, src->Width), SaturatedEnd(y, src->Height)};
  base::ClipRectToRect(&r, &area);
  const int cw = r.right - r.left;
  const int ch = r.bottom - r.top;
  if (cw <= 0 || ch <= 0) return;
  const int64_t ox = int64_t(r.left) - x;
  const int64_t oy = int64_t(r.top) - y;

  if (blendImage) {
    // Read at source coordinates, so it must cover the source.
    if (!blendImage->Pixels || blendImage->Width < src->Width || blendImage->Height < src->Height ||
        blendImage->Pitch < blendImage->Width)
      return;
  }

  BlitJob job;
  job.width = cw;
  job.height = ch;
  job.dst = dst->Pixels + ptrdiff_t(dstBytes) * r.left + ptrdiff_t(dst->Pitch) * r.top;
  job.dstPitch = dst->Pitch;
  job.src = src->Pixels + ptrdiff_t(srcBytes) * ox + ptrdiff_t(src->Pitch) * oy;
  job.srcPitch = src->Pitch;
  job.blend = nullptr;
  job.blendPitch = 0;
  if (blendImage) {
    job.blend = blendImage->Pixels + ox + ptrdiff_t(blendImage->Pitch) * oy;
    job.blendPitch = blendImage->Pitch;
    std::memcpy(job.blendTable, gfx::BlendGraphTable, sizeof job.blendTable);
  }
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
    job.key = src->TransColor & (is16 ? Pixel16::kKeyMask : Pixel32::kKeyMask);
  }

  const bool runs = transFlag == 1 && src->RunLengthFlag == 1 && src->RunLength &&
                    cw == src->Width && ch == src->Height;
  job.runs = runs ? src->RunLength : nullptr;
  job.runsEnd = runs ? src->RunLength + (size_t(src->Width) + 5) * size_t(src->Height) : nullptr;

  // Drawing an image onto itself reads the source as it was before the draw.
  std::vector<uint8_t> srcCopy;
  std::vector<uint8_t> blendCopy;
  const size_t dstRow = size_t(cw) * dstBytes;
  if (Overlaps(job.dst, job.dstPitch, dstRow, job.src, job.srcPitch, size_t(cw) * srcBytes, ch)) {
    job.src = CopyRows(srcCopy, job.src, job.srcPitch, size_t(cw) * srcBytes, ch);
    job.srcPitch = ptrdiff_t(cw) * srcBytes;
  }
  if (job.blend && Overlaps(job.dst, job.dstPitch, dstRow, job.blend, job.blendPitch, cw, ch)) {
    job.blend = CopyRows(blendCopy, job.blend, job.blendPitch, size_t(cw), ch);
    job.blendPitch = cw;
  }

  dst->RunLengthFlag = 0;
  const CallFlags flags{blendImage != nullptr, bright != 0xFFFFFFu, transFlag != 0};
  if (is16) {
    if (runs) {
      DrawFormat<Pixel16, true>(job, *src, mode, flags);
    } else {
      DrawFormat<Pixel16, false>(job, *src, mode, flags);
    }
  } else {
    if (runs) {
      DrawFormat<Pixel32, true>(job, *src, mode, flags);
    } else {
      DrawFormat<Pixel32, false>(job, *src, mode, flags);
    }
  }
}

}  // namespace zq::soft
