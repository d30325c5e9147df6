// Pieces shared by the software blitters (unscaled and stretched) and the flat-colour and
// textured pixel code: unaligned pixel access, lane loads and stores of destination words,
// the blend-image factor, the operator bound to its factor set, the compile-time dispatch
// chain, the checks of the images of a blit and its palette table.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "base/memory.h"
#include "platform/os/cpu.h"
#include "softrender/blend_ops.h"
#include "softrender/draw_state.h"
#include "softrender/memimg.h"

namespace zq::soft {

// Pixels are reached through byte pointers (pitches are byte counts and need not be multiples
// of the pixel size, views start anywhere), so every access goes through memcpy: no alignment
// assumption, and it compiles to a plain move.
template <typename Pixel>
inline Pixel LoadPixel(const uint8_t* p) {
  Pixel v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename Pixel>
inline void StorePixel(uint8_t* p, Pixel v) {
  std::memcpy(p, &v, sizeof v);
}

// ---------------------------------------------------------------------------------------
// Lanes of pixel words. V = int32_t is one pixel, otherwise a vector of lanes (blend_ops.h).

// Four or eight 16-bit words, packed: the narrow form of 32-bit lanes of 16-bit pixels.
using Words4 = uint16_t __attribute__((vector_size(8)));
using Words8 = uint16_t __attribute__((vector_size(16)));
template <class V>
using NarrowWords = std::conditional_t<LaneTraits<V>::kCount == 4, Words4, Words8>;

// The Words at p + sizeof(Word) * x, widened to V's lanes. 16-bit lanes hold 16-bit words as
// they are.
template <class Word, class V>
inline V LoadWordLanes(const uint8_t* p, int x) {
  p += ptrdiff_t(x) * ptrdiff_t(sizeof(Word));
  if constexpr (kScalarLanes<V>) {
    return int32_t(LoadPixel<Word>(p));
  } else if constexpr (kHalfLanes<V> || sizeof(Word) == 4) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
  } else {
    static_assert(sizeof(Word) == 2);
    NarrowWords<V> w;
    std::memcpy(&w, p, sizeof w);
    return __builtin_convertvector(w, V);
  }
}

// Stores V's lanes as Words at p + sizeof(Word) * x (the reverse of LoadWordLanes).
template <class Word, class V>
inline void StoreWordLanes(uint8_t* p, int x, V v) {
  p += ptrdiff_t(x) * ptrdiff_t(sizeof(Word));
  if constexpr (kScalarLanes<V>) {
    StorePixel<Word>(p, Word(v));
  } else if constexpr (kHalfLanes<V> || sizeof(Word) == 4) {
    std::memcpy(p, &v, sizeof v);
  } else {
    static_assert(sizeof(Word) == 2);
    const NarrowWords<V> w = __builtin_convertvector(v, NarrowWords<V>);
    std::memcpy(p, &w, sizeof w);
  }
}

template <class PixelT, class V>
inline V LoadDestination(const uint8_t* d, int x) {
  return LoadWordLanes<typename PixelT::Word, V>(d, x);
}

template <class PixelT, class V>
inline void StoreDestination(uint8_t* d, int x, V v) {
  StoreWordLanes<typename PixelT::Word, V>(d, x, v);
}

// The blend factors (0..255) of the blend-image bytes bl[x ..] through the blend table.
template <class V>
inline V LoadBlendFactor(const uint8_t* table, const uint8_t* bl, int x) {
  if constexpr (kScalarLanes<V>) {
    return table[bl[x]];
  } else {
    using E = typename LaneTraits<V>::Element;
    E f[LaneTraits<V>::kCount];
    for (int k = 0; k < LaneTraits<V>::kCount; ++k) f[k] = E(table[bl[x + k]]);
    V b;
    std::memcpy(&b, f, sizeof b);
    return b;
  }
}

// Rows of a sprite's width (a few hundred bytes) are moved in 16-byte steps onto 16-byte
// boundaries of the destination, as pixman moves them: that beats calling the C library's copy
// per row, which stays the faster for rows of a screen's width.
constexpr size_t kShortRowBytes = 1024;
using Bytes16 = uint8_t __attribute__((vector_size(16)));

// A span of at least this many pixels (rows of a screen run as one) first reaches the
// boundary of its vector stores one pixel at a time, so that no store straddles a cache line:
// measured 1-3% faster on a screen. On sprite-wide rows the single pixels cost more than that.
constexpr int kAlignedSpanPixels = 1024;
// Such a span also names the lines it reads and writes this many pixels ahead: the screen's
// blends measured 2-16% faster than with the processor's own prefetch alone.
constexpr int kSpanFetchAheadPixels = 256;

// Asks for the n bytes at p ahead of being written (and maybe read): a loop over sprite-wide
// rows names a row ahead while it works on this one. The processor's own prefetch follows a
// run of lines only after several of them, too late for such a row. Fetching never faults.
// Worth it for rows of more than one cache line that are only written, of more than two
// that are read and written back (two measured slower with it).
constexpr size_t PrefetchRowMin(bool writesOnly) {
  return writesOnly ? 64 : 128;
}
inline void PrefetchRow(const uint8_t* p, size_t n) {
  constexpr size_t kLine = 64;
  for (size_t i = 0; i < n; i += kLine) __builtin_prefetch(p + i, 1);
  __builtin_prefetch(p + n - 1, 1);
}

// Asks for the line at `offset` bytes from p, which may lie past p's block: the address is
// computed as a number, and a fetch never faults.
template <bool kWrite>
inline void FetchAt(const void* p, size_t offset) {
  __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(p) + offset),
                     kWrite ? 1 : 0);
}

// The rows must not overlap.
inline void CopyShortRow(uint8_t* d, const uint8_t* s, size_t n) {
  constexpr size_t kStep = sizeof(Bytes16), kBlock = 4 * kStep;
  auto move = [](uint8_t* to, const uint8_t* from) {
    Bytes16 v;
    std::memcpy(&v, from, kStep);
    std::memcpy(to, &v, kStep);
  };
  if (n < kStep) {
    std::memcpy(d, s, n);
    return;
  }
  // Unaligned steps at both ends; in between the destination's boundaries.
  move(d + n - kStep, s + n - kStep);
  move(d, s);
  const size_t head = kStep - (reinterpret_cast<uintptr_t>(d) & (kStep - 1));
  size_t i = head;
  for (; i + kBlock <= n; i += kBlock) {
    Bytes16 a, b, c, e;
    std::memcpy(&a, s + i, kStep);
    std::memcpy(&b, s + i + kStep, kStep);
    std::memcpy(&c, s + i + 2 * kStep, kStep);
    std::memcpy(&e, s + i + 3 * kStep, kStep);
    std::memcpy(d + i, &a, kStep);
    std::memcpy(d + i + kStep, &b, kStep);
    std::memcpy(d + i + 2 * kStep, &c, kStep);
    std::memcpy(d + i + 3 * kStep, &e, kStep);
  }
  for (; i + kStep <= n; i += kStep) move(d + i, s + i);
}

// Fills n bytes (a multiple of kPixelBytes) with a 16-byte pattern of one pixel repeated: a
// sprite-wide row, unaligned steps at both ends and, in between, steps from the first 16-byte
// boundary of the destination that falls on a whole pixel (a store across a cache line costs
// about twice one within it).
template <size_t kPixelBytes>
inline void FillShortRow(uint8_t* d, size_t n, Bytes16 pattern) {
  constexpr size_t kStep = sizeof(Bytes16);
  static_assert(kStep % kPixelBytes == 0);
  if (n < kStep) {
    std::memcpy(d, &pattern, n);
    return;
  }
  std::memcpy(d, &pattern, kStep);
  std::memcpy(d + n - kStep, &pattern, kStep);
  const size_t head = kStep - (reinterpret_cast<uintptr_t>(d) & (kStep - 1));
  size_t i = (head + kPixelBytes - 1) / kPixelBytes * kPixelBytes;  // at most kStep
  for (; i + 4 * kStep <= n; i += 4 * kStep) {
    for (size_t k = 0; k < 4; ++k) std::memcpy(d + i + k * kStep, &pattern, kStep);
  }
  for (; i + kStep <= n; i += kStep) std::memcpy(d + i, &pattern, kStep);
}

// An operator with its factor set fixed.
template <class OpT, class F>
struct Bound {
  // The same in code that only the AVX2 dispatch level runs.
  using ForAvx2 = Bound<OpT, Factors<F::kB, F::kA, F::kBr, true>>;
  static constexpr bool kAvx2Only = F::kAvx2Only;
  static constexpr bool kPlainCopy = OpT::kIsCopy && !F::kB && !F::kA && !F::kBr;
  static constexpr bool kFits16 = OpT::template kFits16<F>;
  template <class V>
  static V Apply(const BlendContext& c, V s, V d, V b, V a) {
    return OpT::template Apply<F>(c, s, d, b, a);
  }
};

// How a row loop treats each source pixel. A tested pixel is selected, not branched on: a
// skipped pixel is written back unchanged.
enum class PixelRule {
  kPlain,           // the operator without alpha factor, nothing skipped
  kKeyed,           // the same, pixels equal to the key skipped
  kAlpha,           // every pixel with its alpha as factor
  kAlphaShortcuts,  // alpha 0 skipped, 255 without factor, others with factor
};

// ---------------------------------------------------------------------------------------
// Source pixel forms. Load reads pixels x .. x + lanes - 1 of a source row (one pixel for
// V = int32_t) as their colour (the palette entry for a palettised source), the value the
// colour key compares (the raw pixel or the index) and their alpha; Copy reads one pixel as
// a pixel value for the plain copy. Job supplies the palette table.

template <class PixelT>
struct DirectSource {
  using Word = typename PixelT::Word;
  static constexpr int kBytes = int(sizeof(Word));
  static constexpr bool kAlpha = false;
  static constexpr bool kPalette = false;
  template <class Job, class V>
  static void Load(const Job&, const uint8_t* s, int x, V& color, V& key, V& alpha) {
    color = LoadWordLanes<Word, V>(s, x);
    key = color;
    alpha = Splat<V>(255);
  }
  template <class Job>
  static uint32_t Copy(const Job&, const uint8_t* row, int32_t col) {
    return LoadPixel<Word>(row + ptrdiff_t(col) * kBytes);
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
  template <class Job, class V>
  static void Load(const Job&, const uint8_t* s, int x, V& color, V& key, V& alpha) {
    if constexpr (kHalfLanes<V>) {
      // 4-byte pixels: colour words in the even halves, alpha bytes in the odd.
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
      const V w = LoadWordLanes<uint32_t, V>(s, x);
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
  template <class Job, class V>
  static void Load(const Job& j, const uint8_t* s, int x, V& color, V& key, V& alpha) {
    if constexpr (kScalarLanes<V>) {
      key = s[x];
      color = int32_t(j.palette[s[x]]);
    } else {
      using E = typename LaneTraits<V>::Element;
      E keys[LaneTraits<V>::kCount], colors[LaneTraits<V>::kCount];
      for (int k = 0; k < LaneTraits<V>::kCount; ++k) {
        keys[k] = E(s[x + k]);
        colors[k] = E(j.palette[s[x + k]]);
      }
      std::memcpy(&key, keys, sizeof key);
      std::memcpy(&color, colors, sizeof color);
    }
    alpha = Splat<V>(255);
  }
  template <class Job>
  static uint32_t Copy(const Job& j, const uint8_t* row, int32_t col) {
    return j.palette[row[col]];
  }
};

// Whether every lane of v is 0.
template <class V>
inline bool NoLaneSet(V v) {
  uint64_t words[sizeof(V) / 8];
  std::memcpy(words, &v, sizeof v);
  uint64_t any = 0;
  for (uint64_t w : words) any |= w;
  return any == 0;
}

// One step of a row loop: source pixels x .. over destination pixels x .. by the rule, with
// the blend-image factors when kB and the colour key. Job supplies the blend table.
template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule, class V,
          class Job>
inline void BlendStep(const Job& j, const BlendContext& c, uint8_t* d, const uint8_t* s,
                      const uint8_t* bl, int x, int32_t key) {
  V sv, kv, av;
  Src::Load(j, s, x, sv, kv, av);
  V dv = LoadDestination<PixelT, V>(d, x);
  // One load of each pixel, in 32-bit lanes (16-bit lanes measured no faster). A plain copy
  // never reads the destination; pinned, it would be loaded all the same.
  if constexpr (Plain::kAvx2Only && !kHalfLanes<V>) {
    InRegister(sv);
    if constexpr (!Plain::kPlainCopy || kRule != PixelRule::kPlain) InRegister(dv);
  }
  V b{};
  if constexpr (kB) b = LoadBlendFactor<V>(j.blendTable, bl, x);
  V out;
  if constexpr (kRule == PixelRule::kAlpha) {
    out = WithAlpha::Apply(c, sv, dv, b, av);
  } else if constexpr (kRule == PixelRule::kAlphaShortcuts) {
    if constexpr (!kScalarLanes<V>) {
      // Sprites have wide areas of one alpha: a vector of clear texels leaves the
      // destination as it is, one of opaque texels takes the rule without the factor. The
      // first lane says whether to look (a single load, where random alpha rarely passes).
      if (((uint32_t(av[0]) + 1) & 0xFEu) == 0) {  // 0 or 255
        if (NoLaneSet(av)) return;
        if (NoLaneSet(av ^ Splat<V>(255))) {
          StoreDestination<PixelT, V>(d, x, Plain::Apply(c, sv, dv, b, av));
          return;
        }
      }
    }
    const V whole = Plain::Apply(c, sv, dv, b, av);
    const V part = WithAlpha::Apply(c, sv, dv, b, av);
    out = Select(av == Splat<V>(0), dv, Select(av == Splat<V>(255), whole, part));
  } else {
    out = Plain::Apply(c, sv, dv, b, av);
    if constexpr (kRule == PixelRule::kKeyed) {
      out = Select(kv == Splat<V>(key), dv, out);
    }
  }
  StoreDestination<PixelT, V>(d, x, out);
}

// Pixels x0 .. x1 - 1 of a row: a vector of pixels at a time, the rest one at a time, both
// with the same operator code; at the scalar dispatch level all one at a
// time. Job supplies the dispatch level besides what BlendStep reads.
template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule,
          class Job>
inline void BlendSpan(const Job& j, uint8_t* d, const uint8_t* s, const uint8_t* bl, int x0,
                      int x1) {
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
  // Locals, so the stores into the destination cannot make the loop read them again.
  const BlendContext c = j.ctx;
  const int32_t key = int32_t(j.key);
  const int xv = j.level != platform::CpuLevel::kScalar ? x1 : x0;
  int x = x0;
  using W = typename PixelT::Word;
  constexpr uintptr_t kStoreBytes = uintptr_t(kStep) * sizeof(W);
  // Not with alpha shortcuts: their vectors follow the source's own columns, where sprites
  // have their areas of one alpha (shifted, alpha/32-bit/screen measured 1.2x slower).
  const bool longSpan = xv - x >= kAlignedSpanPixels;
  if (kRule != PixelRule::kAlphaShortcuts && longSpan && uintptr_t(d) % sizeof(W) == 0) {
    for (; uintptr_t(d + x * sizeof(W)) % kStoreBytes != 0; ++x)
      BlendStep<PixelT, Src, Plain, WithAlpha, kB, kRule, int32_t>(j, c, d, s, bl, x, key);
  }
  // Counted, so that the loop keeps the simple form it has without the head (counting to xv
  // measured 6-16% slower on 16-bit sprite rows); the long span's loop is a copy of it, so
  // that sprite rows keep that form too.
  const int vectors = xv > x ? (xv - x) / kStep : 0;
  if (longSpan) {
    for (int i = 0; i < vectors; ++i, x += kStep) {
      const size_t ahead = size_t(x + kSpanFetchAheadPixels);
      FetchAt<true>(d, ahead * sizeof(W));
      FetchAt<false>(s, ahead * Src::kBytes);
      if constexpr (kB) FetchAt<false>(bl, ahead);
      BlendStep<PixelT, Src, Plain, WithAlpha, kB, kRule, L>(j, c, d, s, bl, x, key);
    }
  } else {
    for (int i = 0; i < vectors; ++i, x += kStep) {
      BlendStep<PixelT, Src, Plain, WithAlpha, kB, kRule, L>(j, c, d, s, bl, x, key);
    }
  }
  for (; x < x1; ++x) {
    BlendStep<PixelT, Src, Plain, WithAlpha, kB, kRule, int32_t>(j, c, d, s, bl, x, key);
  }
}

// The span built for the baseline processor and for AVX2, called per run: the run-length
// loop and the textured triangles' runs share one build of each span (row loops build their
// spans in with them, as BlendRows does). Each is flattened, so the vectors never cross a call. The
// AVX2 build's operators may use AVX2 instructions (Factors' kAvx2Only).
template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule,
          class Job>
__attribute__((flatten)) void BlendSpanBaseline(const Job& j, uint8_t* d, const uint8_t* s,
                                                const uint8_t* bl, int x0, int x1) {
  BlendSpan<PixelT, Src, Plain, WithAlpha, kB, kRule>(j, d, s, bl, x0, x1);
}
template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule,
          class Job>
ZQ_TARGET_AVX2 __attribute__((flatten)) void BlendSpanAvx2(const Job& j, uint8_t* d,
                                                           const uint8_t* s, const uint8_t* bl,
                                                           int x0, int x1) {
  BlendSpan<PixelT, Src, typename Plain::ForAvx2, typename WithAlpha::ForAvx2, kB, kRule>(
      j, d, s, bl, x0, x1);
}
template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule,
          class Job>
inline void BlendSpanAtLevel(const Job& j, uint8_t* d, const uint8_t* s, const uint8_t* bl, int x0,
                             int x1) {
  if (j.level == platform::CpuLevel::kAvx2) {
    BlendSpanAvx2<PixelT, Src, Plain, WithAlpha, kB, kRule>(j, d, s, bl, x0, x1);
  } else {
    BlendSpanBaseline<PixelT, Src, Plain, WithAlpha, kB, kRule>(j, d, s, bl, x0, x1);
  }
}

// Whole loops built for the baseline processor and for AVX2: fn() runs in the build the
// dispatch level chose. Each build is flattened, so the vectors never cross a call (whose
// passing convention would differ between the two).
template <class Fn>
__attribute__((flatten)) void RunBaseline(const Fn& fn) {
  fn();
}
template <class Fn>
ZQ_TARGET_AVX2 __attribute__((flatten)) void RunAvx2(const Fn& fn) {
  fn();
}
template <class Fn>
inline void RunAtLevel(platform::CpuLevel level, const Fn& fn) {
  if (level == platform::CpuLevel::kAvx2) {
    RunAvx2(fn);
  } else {
    RunBaseline(fn);
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

// The factors a call has: a blend image, a bright colour, a colour key.
struct CallFlags {
  bool blend;
  bool bright;
  bool key;
};

// The choices both blitters make alike. Drawer supplies
//   template <class PixelT, class Src, bool kB, bool kBr, bool kKey, class OpT>
//   static void Case(const Job&);     the loops of one case
//   static constexpr bool kKeyAlways;  the key is on whatever the flags say
//   static constexpr bool kOwnTranslucentRules;  blend mode 1 without blend image or bright
//                                    has the per-pixel rules (half average, 64-step table)
template <class Drawer, class PixelT, class Src, class OpT, class Job>
void DrawWithFactors(const Job& j, CallFlags f) {
  Branch(f.blend, [&](auto b) {
    constexpr bool kB = decltype(b)::value;
    Branch(f.bright, [&](auto br) {
      constexpr bool kBr = decltype(br)::value;
      Branch(f.key || Drawer::kKeyAlways, [&](auto k) {
        constexpr bool kKey = decltype(k)::value;
        if constexpr (!Drawer::kKeyAlways || kKey) {
          Drawer::template Case<PixelT, Src, kB, kBr, kKey, OpT>(j);
        }
      });
    });
  });
}

// Without blend image and bright: only the key is still open.
template <class Drawer, class PixelT, class Src, class OpT, class Job>
void DrawWithoutFactors(const Job& j, CallFlags f) {
  Branch(f.key || Drawer::kKeyAlways, [&](auto k) {
    constexpr bool kKey = decltype(k)::value;
    if constexpr (!Drawer::kKeyAlways || kKey) {
      Drawer::template Case<PixelT, Src, false, false, kKey, OpT>(j);
    }
  });
}

// Blend modes 2 and 3. At parameter 255 without blend image and bright the source is added
// or subtracted as it is: those cases have loops without the scaling.
template <class Drawer, class PixelT, class Src, bool kSubtract, class Job>
void DrawAddSub(const Job& j, CallFlags f) {
  if (j.ctx.param == 255 && !f.blend && !f.bright) {
    DrawWithoutFactors<Drawer, PixelT, Src, AddSubOp<PixelT, kSubtract, true>>(j, f);
  } else {
    DrawWithFactors<Drawer, PixelT, Src, AddSubOp<PixelT, kSubtract>>(j, f);
  }
}

template <class Drawer, class PixelT, class Src, class Job>
void DrawMode(const Job& j, int mode, CallFlags f) {
  switch (mode) {
    case 0:
      DrawWithFactors<Drawer, PixelT, Src, CopyOp<PixelT>>(j, f);
      break;
    case 1:
      if constexpr (Drawer::kOwnTranslucentRules && !Src::kAlpha) {
        if (!f.blend && !f.bright) {
          if (j.ctx.param == 128) {
            DrawWithoutFactors<Drawer, PixelT, Src, TranslucentOp<PixelT, TransRule::kHalfAverage>>(
                j, f);
          } else {
            DrawWithoutFactors<Drawer, PixelT, Src, TranslucentOp<PixelT, TransRule::kTable>>(j, f);
          }
          break;
        }
      }
      DrawWithFactors<Drawer, PixelT, Src, TranslucentOp<PixelT, TransRule::kDiff>>(j, f);
      break;
    case 2:
      DrawAddSub<Drawer, PixelT, Src, false>(j, f);
      break;
    case 3:
      DrawAddSub<Drawer, PixelT, Src, true>(j, f);
      break;
    case 4:
      DrawWithFactors<Drawer, PixelT, Src, MultiplyOp<PixelT>>(j, f);
      break;
    default:
      break;
  }
}

template <class Drawer, class PixelT, class Job>
void DrawFormat(const Job& j, const MEMIMG& src, int mode, CallFlags f) {
  if (src.PaletteFlag) {
    DrawMode<Drawer, PixelT, PaletteSource<PixelT>>(j, mode, f);
  } else if (src.AlphaFlag) {
    DrawMode<Drawer, PixelT, AlphaSource<PixelT>>(j, mode, f);
  } else {
    DrawMode<Drawer, PixelT, DirectSource<PixelT>>(j, mode, f);
  }
}

// ---------------------------------------------------------------------------------------
// Checks of a blit call.

// Bytes a pixel by the image's flags; the loops are built for exactly these layouts.
inline int LayoutBytes(const MEMIMG& m, bool asSource) {
  if (asSource && m.PaletteFlag) return 1;
  if (m.ColorType == kMemImgRgb565) return (asSource && m.AlphaFlag) ? 4 : 2;
  return 4;
}

// Set up, with pixels, a descriptor agreeing with the flags, no negative size or pitch.
inline bool IsSetUpImage(const MEMIMG& m, int bytes) {
  if (m.SetupMark != kMemImgSetupMark || !m.Pixels || !m.Format) return false;
  if (m.Format->PixelByte != bytes) return false;
  return m.Width >= 0 && m.Height >= 0 && m.Pitch >= 0;
}

// Whether the pair can be blitted at all: the same colour type (16-bit 5:6:5 or 32-bit), a
// destination without palette or alpha, both set up for their layouts, a palette where one
// is read. Gives the bytes a pixel of each.
inline bool IsBlitPair(const MEMIMG& dst, const MEMIMG& src, int* dstBytes, int* srcBytes) {
  if (src.ColorType != dst.ColorType || dst.PaletteFlag || dst.AlphaFlag) return false;
  if (dst.ColorType != kMemImgRgb565 && dst.ColorType != kMemImgXrgb8888) return false;
  *srcBytes = LayoutBytes(src, true);
  *dstBytes = LayoutBytes(dst, false);
  if (!IsSetUpImage(src, *srcBytes) || !IsSetUpImage(dst, *dstBytes)) return false;
  return !src.PaletteFlag || src.Palette;
}

// No blend image, or one with pixels covering the source: it is read at source coordinates.
inline bool IsBlendImageFor(const MEMIMG* blend, const MEMIMG& src) {
  return !blend || (blend->Pixels && blend->Width >= src.Width && blend->Height >= src.Height &&
                    blend->Pitch >= blend->Width);
}

// The blend mode the draw state asks for, with its parameter shortcuts: false when nothing
// is drawn (a mode or parameter out of range, a parameter 0 that leaves everything as is).
inline bool ResolveBlitMode(const GraphicsDrawState& state, int* mode) {
  *mode = state.BlendMode;
  const int param = state.BlendParam;
  if (*mode < 0 || *mode > 4 || param < 0 || param > 255) return false;
  if (*mode == 1 && param == 255) *mode = 0;
  return !((*mode == 1 || *mode == 2 || *mode == 3) && param == 0);
}

// The colour key cut to the source's pixel width and, for a palettised source, the entries
// as pixel values (indexes past the count read 0).
inline uint32_t PrepareSourceColours(const MEMIMG& src, bool is16, uint32_t (&palette)[256]) {
  if (!src.PaletteFlag) return src.TransColor & (is16 ? Pixel16::kKeyMask : Pixel32::kKeyMask);
  const int count = std::clamp(src.PaletteCount, 0, 256);
  const auto* entries = reinterpret_cast<const uint8_t*>(src.Palette);
  for (int i = 0; i < 256; ++i) {
    if (i >= count) {
      palette[i] = 0;
    } else if (is16) {
      palette[i] = LoadPixel<uint16_t>(entries + i * 2);
    } else {
      palette[i] = LoadPixel<uint32_t>(entries + i * 4);
    }
  }
  return src.TransColor & 0xFFu;
}

// A copy of rows in tracked memory, so a draw reads them as they were before any write; freed
// with the object.
class RowsCopy {
 public:
  RowsCopy() = default;
  RowsCopy(const RowsCopy&) = delete;
  RowsCopy& operator=(const RowsCopy&) = delete;
  ~RowsCopy() { base::TrackedFree(data_); }
  // False when memory ran out (the copy then holds nothing).
  bool Take(const uint8_t* p, ptrdiff_t pitch, size_t rowBytes, int rows) {
    data_ = static_cast<uint8_t*>(ZQ_ALLOC(rowBytes * size_t(rows)));
    if (data_ == nullptr) return false;
    for (int y = 0; y < rows; ++y) std::memcpy(data_ + rowBytes * y, p + pitch * y, rowBytes);
    return true;
  }
  const uint8_t* Data() const { return data_; }

 private:
  uint8_t* data_ = nullptr;
};

}  // namespace zq::soft
