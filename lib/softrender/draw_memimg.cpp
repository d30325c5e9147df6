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
#include "softrender/blit_common.h"

namespace zq::soft {
namespace {

using gfx::MEMIMG;

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
// Pixel loops. A vector of pixels at a time, the rest one at a time, both with the same
// operator code. Tests select between results instead of branching (a skipped
// pixel is written back unchanged), so the loops have no control flow.

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
        if (LoadPixel<uint32_t>(s + x) == quad) continue;
      }
      for (int k = 0; k < 4; ++k) {
        const uint32_t i = s[x + k];
        if constexpr (kKey) {
          if (i == key) continue;
        }
        StorePixel<Word>(d + (x + k) * int(sizeof(Word)), Word(pal[i]));
      }
    }
    for (; x < w; ++x) {
      const uint32_t i = s[x];
      if constexpr (kKey) {
        if (i == key) continue;
      }
      StorePixel<Word>(d + x * int(sizeof(Word)), Word(pal[i]));
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

// Both images set up, and rows that hold a width.
bool IsUsablePair(const MEMIMG& dst, const MEMIMG& src, int* dstBytes, int* srcBytes) {
  return IsBlitPair(dst, src, dstBytes, srcBytes) &&
         int64_t(src.Pitch) >= int64_t(src.Width) * *srcBytes &&
         int64_t(dst.Pitch) >= int64_t(dst.Width) * *dstBytes;
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

std::atomic<int> g_avx2Allowed{1};

bool UseAvx2() {
  return CpuHasAvx2() && g_avx2Allowed.load(std::memory_order_relaxed) != 0;
}

}  // namespace

void SetBlitAvx2Allowed(int allowed) {
  g_avx2Allowed.store(allowed ? 1 : 0, std::memory_order_relaxed);
}

void DrawMemImg(gfx::MEMIMG* dst, const gfx::MEMIMG* src, int x, int y, int transFlag,
                const gfx::MEMIMG* blendImage) {
  if (!dst || !src) return;
  int dstBytes = 0, srcBytes = 0;
  if (!IsUsablePair(*dst, *src, &dstBytes, &srcBytes)) return;

  const gfx::GraphicsDrawState& state = gfx::g_DrawState;
  int mode = 0;
  if (!ResolveBlitMode(state, &mode)) return;
  const int param = state.BlendParam;

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

  if (!IsBlendImageFor(blendImage, *src)) return;

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
  job.key = PrepareSourceColours(*src, is16, job.palette);

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
