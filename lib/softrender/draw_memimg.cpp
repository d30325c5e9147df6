// Unscaled software blit. The call is checked and clipped once, every per-call decision
// picks one specialised row loop (templates below), and the loop runs over the clipped
// rectangle or, for an unclipped keyed sprite with a current stream, over its runs.
#include "softrender/draw_memimg.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "base/rect.h"
#include "platform/size_limits.h"
#include "softrender/blit_common.h"
#include "softrender/draw_state.h"

namespace zq::soft {
namespace {

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
  uint32_t key;              // colour key cut to the source's pixel width
  platform::CpuLevel level;  // the dispatch level of this call
  const uint8_t* runs;       // run-length stream and its end
  const uint8_t* runsEnd;
  BlendContext ctx;
  uint32_t palette[256];    // palettised source: the entries as pixel values
  uint8_t blendTable[256];  // BlendGraphTable as it stands for this call
};

// ---------------------------------------------------------------------------------------
// Pixel loops (BlendSpan). Tests select between results instead of branching (a skipped
// pixel is written back unchanged), so the loops have no control flow.

template <class Row>
void ForEachRow(const BlitJob& j) {
  uint8_t* d = j.dst;
  const uint8_t* s = j.src;
  const uint8_t* b = j.blend;
  // Sprite-wide rows have the one after next fetched ahead (PrefetchRow; one row ahead
  // measured slower); the processor follows longer ones by itself.
  const size_t rowBytes = size_t(j.width) * Row::kDestinationBytes;
  const bool ahead = rowBytes > PrefetchRowMin(Row::kWritesOnly) && rowBytes < kShortRowBytes;
  if (ahead && j.height > 1) PrefetchRow(d + j.dstPitch, rowBytes);
  for (int y = 0; y < j.height; ++y) {
    if (ahead && y + 2 < j.height) PrefetchRow(d + 2 * j.dstPitch, rowBytes);
    Row::Draw(j, d, s, b);
    d += j.dstPitch;
    s += j.srcPitch;
    if (b) b += j.blendPitch;
  }
}

template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule>
struct BlendRow {
  static constexpr size_t kDestinationBytes = sizeof(typename PixelT::Word);
  static constexpr bool kWritesOnly = false;
  static void Draw(const BlitJob& j, uint8_t* d, const uint8_t* s, const uint8_t* bl) {
    BlendSpan<PixelT, Src, Plain, WithAlpha, kB, kRule>(j, d, s, bl, 0, j.width);
  }
};

// The row loop and its spans in one build per dispatch level: a sprite row is a few
// nanoseconds of work, so a call and the span's set-up per row cost measurably.
template <class PixelT, class Src, class Plain, class WithAlpha, bool kB, PixelRule kRule>
void BlendRows(const BlitJob& j) {
  if (j.level == platform::CpuLevel::kAvx2) {
    RunAvx2([&] {
      ForEachRow<
          BlendRow<PixelT, Src, typename Plain::ForAvx2, typename WithAlpha::ForAvx2, kB, kRule>>(
          j);
    });
  } else {
    RunBaseline([&] { ForEachRow<BlendRow<PixelT, Src, Plain, WithAlpha, kB, kRule>>(j); });
  }
}

// Plain copy, no key: whole rows, short ones by our own loop (CopyShortRow).
template <int kBytes, bool kShort>
struct CopyRow {
  static constexpr size_t kDestinationBytes = kBytes;
  static constexpr bool kWritesOnly = true;
  static void Draw(const BlitJob& j, uint8_t* d, const uint8_t* s, const uint8_t*) {
    if constexpr (kShort) {
      CopyShortRow(d, s, size_t(j.width) * kBytes);
    } else {
      std::memcpy(d, s, size_t(j.width) * kBytes);
    }
  }
};

// Plain copy of palette indexes, four per step; with a key, four transparent indexes in a
// row are skipped with one test.
template <class PixelT, bool kKey>
struct PaletteCopyRow {
  using Word = typename PixelT::Word;
  static constexpr size_t kDestinationBytes = sizeof(Word);
  static constexpr bool kWritesOnly = true;
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
          BlendSpanAtLevel<PixelT, Src, Plain, WithAlpha, kB, PixelRule::kPlain>(j, d, s, bl, x,
                                                                                 x + n);
        }
      } else if (type == 2) {
        BlendSpanAtLevel<PixelT, Src, Plain, WithAlpha, kB, PixelRule::kAlpha>(j, d, s, bl, x,
                                                                               x + n);
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

template <class PixelT, class Src, bool kRuns, bool kB, bool kBr, bool kKey, class OpT>
void DrawCase(const BlitJob& j) {
  using Plain = Bound<OpT, Factors<kB, false, kBr>>;
  using WithAlpha = Bound<OpT, Factors<kB, true, kBr>>;
  if constexpr (kRuns) {
    DrawRuns<PixelT, Src, Plain, WithAlpha, kB>(j);
  } else if constexpr (Src::kAlpha) {
    constexpr PixelRule kRule = kKey ? PixelRule::kAlphaShortcuts : PixelRule::kAlpha;
    BlendRows<PixelT, Src, Plain, WithAlpha, kB, kRule>(j);
  } else if constexpr (Plain::kPlainCopy && Src::kPalette) {
    ForEachRow<PaletteCopyRow<PixelT, kKey>>(j);
  } else if constexpr (Plain::kPlainCopy && !kKey) {
    constexpr int kBytes = int(sizeof(typename PixelT::Word));
    if (size_t(j.width) * kBytes < kShortRowBytes) {
      ForEachRow<CopyRow<kBytes, true>>(j);
    } else {
      ForEachRow<CopyRow<kBytes, false>>(j);
    }
  } else {
    constexpr PixelRule kRule = kKey ? PixelRule::kKeyed : PixelRule::kPlain;
    BlendRows<PixelT, Src, Plain, WithAlpha, kB, kRule>(j);
  }
}

// The unscaled cases for the shared dispatch chain; the run-length path is only taken with
// the key on.
template <bool kRuns>
struct UnscaledDrawer {
  static constexpr bool kKeyAlways = kRuns;
  static constexpr bool kOwnTranslucentRules = !kRuns;
  template <class PixelT, class Src, bool kB, bool kBr, bool kKey, class OpT>
  static void Case(const BlitJob& j) {
    DrawCase<PixelT, Src, kRuns, kB, kBr, kKey, OpT>(j);
  }
};

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

// ---------------------------------------------------------------------------------------
// A source (or blend image) that shares bytes with the destination rectangle. Images that share
// a store share its pitch, so taking the rows from the end that the destination lies towards
// reads every source row before any write reaches it; the row itself is copied first, which
// covers a destination that overlaps its own source row. Nothing is allocated: one row of the
// widest image fits the copies.

constexpr int kMaxRowPixels = platform::kMaxImageSide;
uint8_t g_rowCopy[size_t(kMaxRowPixels) * 4];
uint8_t g_blendRowCopy[kMaxRowPixels];

// The code after the end of the stream's row that starts at code (a damaged stream stops at
// its end).
const uint8_t* NextRunRow(const uint8_t* code, const uint8_t* end) {
  while (code < end && (*code++ >> 6) != 3) {
  }
  return code;
}

template <bool kRuns, class PixelT>
void DrawOneRow(const BlitJob& job, const MEMIMG& src, int mode, CallFlags flags, int row,
                const uint8_t* runs, int srcBytes) {
  BlitJob one = job;
  one.height = 1;
  one.dst = job.dst + job.dstPitch * row;
  std::memcpy(g_rowCopy, job.src + job.srcPitch * row, size_t(job.width) * srcBytes);
  one.src = g_rowCopy;
  if (job.blend) {
    std::memcpy(g_blendRowCopy, job.blend + job.blendPitch * row, size_t(job.width));
    one.blend = g_blendRowCopy;
  }
  one.runs = runs;
  DrawFormat<UnscaledDrawer<kRuns>, PixelT>(one, src, mode, flags);
}

template <bool kRuns, class PixelT>
void DrawRows(const BlitJob& job, const MEMIMG& src, int mode, CallFlags flags, int srcBytes,
              bool upwards) {
  if (!upwards) {
    const uint8_t* runs = job.runs;
    for (int y = 0; y < job.height; ++y) {
      DrawOneRow<kRuns, PixelT>(job, src, mode, flags, y, runs, srcBytes);
      if constexpr (kRuns) runs = NextRunRow(runs, job.runsEnd);
    }
    return;
  }
  if constexpr (!kRuns) {
    for (int y = job.height - 1; y >= 0; --y)
      DrawOneRow<false, PixelT>(job, src, mode, flags, y, nullptr, srcBytes);
  } else {
    // The stream is read forwards only: the row starts of one block of rows at a time, the
    // lowest block first.
    constexpr int kBlock = 1024;
    const uint8_t* starts[kBlock];
    for (int first = (job.height - 1) / kBlock * kBlock; first >= 0; first -= kBlock) {
      const uint8_t* code = job.runs;
      for (int y = 0; y < first; ++y) code = NextRunRow(code, job.runsEnd);
      const int n = std::min(kBlock, job.height - first);
      for (int i = 0; i < n; ++i) {
        starts[i] = code;
        code = NextRunRow(code, job.runsEnd);
      }
      for (int i = n - 1; i >= 0; --i)
        DrawOneRow<true, PixelT>(job, src, mode, flags, first + i, starts[i], srcBytes);
    }
  }
}

// Calls draw.operator()<kRuns, PixelT>() with the call's path and pixel type.
template <class Draw>
void WithPathAndFormat(bool is16, bool runs, Draw&& draw) {
  if (is16) {
    if (runs) {
      draw.template operator()<true, Pixel16>();
    } else {
      draw.template operator()<false, Pixel16>();
    }
  } else {
    if (runs) {
      draw.template operator()<true, Pixel32>();
    } else {
      draw.template operator()<false, Pixel32>();
    }
  }
}

}  // namespace

void DrawMemImg(MEMIMG* dst, const MEMIMG* src, int x, int y, int transFlag,
                const MEMIMG* blendImage) {
  if (!dst || !src) return;
  int dstBytes = 0, srcBytes = 0;
  if (!IsUsablePair(*dst, *src, &dstBytes, &srcBytes)) return;

  const GraphicsDrawState& state = g_DrawState;
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
    std::memcpy(job.blendTable, BlendGraphTable, sizeof job.blendTable);
  }
  const uint32_t bright = state.Bright & 0xFFFFFFu;
  job.ctx = MakeBlendContext(param, bright);
  job.level = platform::CpuDispatchLevel();

  const bool is16 = dst->ColorType == kMemImgRgb565;
  job.key = PrepareSourceColours(*src, is16, job.palette);

  const bool runs = transFlag == 1 && src->RunLengthFlag == 1 && src->RunLength &&
                    cw == src->Width && ch == src->Height;
  job.runs = runs ? src->RunLength : nullptr;
  job.runsEnd = runs ? src->RunLength + (size_t(src->Width) + 5) * size_t(src->Height) : nullptr;

  dst->RunLengthFlag = 0;
  const CallFlags flags{blendImage != nullptr, bright != 0xFFFFFFu, transFlag != 0};
  // Drawing an image onto a store it shares reads the source as it was before the draw.
  const size_t dstRow = size_t(cw) * dstBytes;
  bool srcMeets =
      Overlaps(job.dst, job.dstPitch, dstRow, job.src, job.srcPitch, size_t(cw) * srcBytes, ch);
  bool blendMeets =
      job.blend && Overlaps(job.dst, job.dstPitch, dstRow, job.blend, job.blendPitch, cw, ch);
  // Row order keeps what is read intact only for images with the destination's pitch that lie
  // on one side of it. Anything else (a blend image over the other side, another pitch) is
  // copied whole, into tracked memory; without it nothing is drawn.
  RowsCopy srcCopy, blendCopy;
  const bool oneOrder = (!srcMeets || job.srcPitch == job.dstPitch) &&
                        (!blendMeets || job.blendPitch == job.dstPitch) &&
                        !(srcMeets && blendMeets && (job.src < job.dst) != (job.blend < job.dst));
  if (!oneOrder) {
    if (srcMeets) {
      if (!srcCopy.Take(job.src, job.srcPitch, size_t(cw) * srcBytes, ch)) return;
      job.src = srcCopy.Data();
      job.srcPitch = ptrdiff_t(cw) * srcBytes;
    }
    if (blendMeets) {
      if (!blendCopy.Take(job.blend, job.blendPitch, size_t(cw), ch)) return;
      job.blend = blendCopy.Data();
      job.blendPitch = cw;
    }
    srcMeets = blendMeets = false;
  }
  // No image the library makes is wider than the row copies.
  if ((srcMeets || blendMeets) && cw > kMaxRowPixels) return;
  const bool upwards = job.dst > (srcMeets ? job.src : job.blend);
  // Rows that follow each other without a gap in every image are one long row: a plain copy
  // is then one C library call, which moves a screen faster than a call per row does.
  if (!runs && !srcMeets && !blendMeets && job.height > 1 && job.dstPitch == ptrdiff_t(dstRow) &&
      job.srcPitch == ptrdiff_t(cw) * srcBytes && (!job.blend || job.blendPitch == cw) &&
      int64_t(cw) * ch <= INT32_MAX) {
    job.width = cw * ch;
    job.height = 1;
  }
  WithPathAndFormat(is16, runs, [&]<bool kRuns, class PixelT>() {
    if (srcMeets || blendMeets) {
      DrawRows<kRuns, PixelT>(job, *src, mode, flags, srcBytes, upwards);
    } else {
      DrawFormat<UnscaledDrawer<kRuns>, PixelT>(job, *src, mode, flags);
    }
  });
}

}  // namespace zq::soft
