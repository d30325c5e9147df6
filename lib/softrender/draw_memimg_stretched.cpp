// Stretched and mirrored software blit. The call is checked and clipped once; the source
// column of every destination column is worked out once per call with the 16.16 error
// counter (mirroring included), the source row once per destination row; then one
// specialised row loop, chosen by templates, gathers the source pixels through that column
// table and applies the blend operator of the case.
#include "softrender/draw_memimg_stretched.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

#include "base/rect.h"
#include "softrender/blit_common.h"
#include "softrender/draw_memimg.h"
#include "softrender/draw_state.h"

namespace zq::soft {
namespace {

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
  int32_t colStep;      // +1 or -1 when the columns are consecutive (one to one), else 0
  uint8_t* rowSrc;      // the gathered source pixels of one row (width x source bytes)
  uint8_t* rowBlend;    // the gathered blend-image bytes of one row
  int32_t firstRow;     // source row of the first destination row
  int32_t rowStep;      // +1, or -1 on a mirrored vertical axis
  int64_t ratioY;
  int64_t errY;              // coverage left of the first row's source row
  uint32_t key;              // colour key cut to the source's pixel width
  platform::CpuLevel level;  // the dispatch level of this call
  BlendContext ctx;
  uint32_t palette[256];    // palettised source: the entries as pixel values
  uint8_t blendTable[256];  // BlendGraphTable as it stands for this call
};

// ---------------------------------------------------------------------------------------
// Gathering: each general row first collects the source pixels (and blend-image bytes) its
// destination pixels show into a contiguous row, then blends that row in vector lanes.

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
        v |= uint64_t(LoadPixel<T>(row + ptrdiff_t(cols[x + k]) * kBytes)) << (k * kBytes * 8);
      StorePixel<uint64_t>(out + x * kBytes, v);
    }
  }
  for (; x < w; ++x)
    StorePixel<T>(out + x * kBytes, LoadPixel<T>(row + ptrdiff_t(cols[x]) * kBytes));
}

// ---------------------------------------------------------------------------------------
// Row loops. A tested pixel is selected, not branched on: a skipped pixel is written back
// unchanged.

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
    BlendSpan<PixelT, Src, Plain, WithAlpha, kB, kRule>(j, d, j.rowSrc, j.rowBlend, 0, j.width);
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
        StorePixel<uint64_t>(d + x * 2, v);
      }
    }
    for (; x < w; ++x) StorePixel<Word>(d + x * int(sizeof(Word)), Word(Src::Copy(j, s, cols[x])));
  }
};

// The plain copy of consecutive columns (a same-size axis): the row as it is, or reversed
// when mirrored, a vector of pixels at a time at the vector levels.
template <class PixelT, bool kReversed>
struct UnitCopyRow {
  static constexpr bool kSourceOnly = true;
  using Word = typename PixelT::Word;
  static constexpr int kBytes = int(sizeof(Word));
  using Block = std::conditional_t<sizeof(Word) == 2, Half16, Lanes8>;  // 32 bytes
  static constexpr int kLanes = LaneTraits<Block>::kCount;

  template <size_t... I>
  static Block Reverse(Block b, std::index_sequence<I...>) {
    return __builtin_shufflevector(b, b, (kLanes - 1 - int(I))...);
  }

  static void Draw(const StretchJob& j, uint8_t* d, const uint8_t* s, const uint8_t*, bool) {
    const int w = j.width;
    const uint8_t* first = s + ptrdiff_t(j.cols[0]) * kBytes;
    if constexpr (!kReversed) {
      std::memcpy(d, first, size_t(w) * kBytes);
    } else {
      int x = 0;
      if (j.level != platform::CpuLevel::kScalar) {
        for (; x + kLanes <= w; x += kLanes) {
          Block b;
          std::memcpy(&b, first - ptrdiff_t(x + kLanes - 1) * kBytes, sizeof b);
          b = Reverse(b, std::make_index_sequence<kLanes>{});
          std::memcpy(d + x * kBytes, &b, sizeof b);
        }
      }
      for (; x < w; ++x) StorePixel<Word>(d + x * kBytes, LoadPixel<Word>(first - x * kBytes));
    }
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

template <class PixelT, class Row>
void Rows(const StretchJob& j) {
  RunAtLevel(j.level, [&] { ForEachRow<PixelT, Row>(j); });
}

// ---------------------------------------------------------------------------------------
// The stretched cases for the shared dispatch chain.

template <class PixelT, class Src, bool kB, bool kBr, bool kKey, class OpT>
void DrawCase(const StretchJob& j) {
  using Plain = Bound<OpT, Factors<kB, false, kBr>>;
  using WithAlpha = Bound<OpT, Factors<kB, true, kBr>>;
  if constexpr (Src::kAlpha) {
    constexpr PixelRule kRule = kKey ? PixelRule::kAlphaShortcuts : PixelRule::kAlpha;
    Rows<PixelT, BlendRow<PixelT, Src, Plain, WithAlpha, kB, kRule>>(j);
  } else if constexpr (Plain::kPlainCopy && !kKey) {
    if constexpr (!Src::kPalette) {
      if (j.colStep == 1) return Rows<PixelT, UnitCopyRow<PixelT, false>>(j);
      if (j.colStep == -1) return Rows<PixelT, UnitCopyRow<PixelT, true>>(j);
    }
    Rows<PixelT, CopyRow<PixelT, Src>>(j);
  } else {
    constexpr PixelRule kRule = kKey ? PixelRule::kKeyed : PixelRule::kPlain;
    Rows<PixelT, BlendRow<PixelT, Src, Plain, WithAlpha, kB, kRule>>(j);
  }
}

// Stretched, blend mode 1 keeps to its difference rule for every parameter.
struct StretchedDrawer {
  static constexpr bool kKeyAlways = false;
  static constexpr bool kOwnTranslucentRules = false;
  template <class PixelT, class Src, bool kB, bool kBr, bool kKey, class OpT>
  static void Case(const StretchJob& j) {
    DrawCase<PixelT, Src, kB, kBr, kKey, OpT>(j);
  }
};

// ---------------------------------------------------------------------------------------
// Checks of the call.

// Both images set up. A work image over a locked rectangle addresses only that rectangle, so
// its pitch may be shorter than its width: the caller vouches for the pixels the draw reaches.
// The 16.16 counters step sources of up to 65535 pixels a side.
bool IsUsablePair(const MEMIMG& dst, const MEMIMG& src, int* dstBytes, int* srcBytes) {
  return IsBlitPair(dst, src, dstBytes, srcBytes) && src.Width > 0 && src.Height > 0 &&
         src.Width < 65536 && src.Height < 65536;
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

void DrawMemImgStretched(MEMIMG* dst, const MEMIMG* src, const platform::RECT& rect, int transFlag,
                         const MEMIMG* blendImage) {
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

  int dstBytes = 0, srcBytes = 0;
  if (!IsUsablePair(*dst, *src, &dstBytes, &srcBytes)) return;

  const GraphicsDrawState& state = g_DrawState;
  int mode = 0;
  if (!ResolveBlitMode(state, &mode)) return;
  const int param = state.BlendParam;

  if (!IsBlendImageFor(blendImage, *src)) return;

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

  // The column table: one error counter stepped over the destination row. It and the gathered
  // rows are kept on the stack; a wider row is drawn in pieces of that width, left to right,
  // the counter running on from one piece to the next.
  const int32_t colStep = mirrorX ? -1 : 1;  // a mirrored axis starts at the far edge
  const int32_t firstCol = int32_t(mirrorX ? src->Width - 1 - ax.off : ax.off);
  auto stepColumns = [&](int32_t& col, int64_t& err, int32_t* out, int n) {
    for (int x = 0; x < n; ++x) {
      if (out) out[x] = col;
      err -= kOne;
      while (err <= 0) {
        col += colStep;
        err += ax.ratio;
      }
    }
  };
  constexpr int kPieceWidth = 4096;
  alignas(64) int32_t cols[kPieceWidth];
  alignas(64) uint8_t rows[kPieceWidth * 5];
  // The first piece's table now; col and err run on to the next piece. The last column read is
  // that piece's last, or, for a wider row, found by stepping on without a table.
  int32_t col = firstCol;
  int64_t err = ax.err;
  const int firstWidth = std::min(kPieceWidth, cw);
  stepColumns(col, err, cols, firstWidth);
  int32_t lastCol = cols[firstWidth - 1];
  if (cw > kPieceWidth) {
    int64_t e = err;
    lastCol = col;
    stepColumns(lastCol, e, nullptr, cw - kPieceWidth - 1);
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
    std::memcpy(job.blendTable, BlendGraphTable, sizeof job.blendTable);
  }
  job.cols = cols;
  job.colStep = ax.ratio == kOne ? colStep : 0;
  job.rowSrc = rows;
  job.rowBlend = rows + size_t(kPieceWidth) * 4;
  job.firstRow = int32_t(mirrorY ? src->Height - 1 - ay.off : ay.off);
  job.rowStep = mirrorY ? -1 : 1;
  job.ratioY = ay.ratio;
  job.errY = ay.err;
  const uint32_t bright = state.Bright & 0xFFFFFFu;
  job.ctx = MakeBlendContext(param, bright);
  job.level = platform::CpuDispatchLevel();

  const bool is16 = dst->ColorType == kMemImgRgb565;
  job.key = PrepareSourceColours(*src, is16, job.palette);

  // Drawing an image onto itself reads the source as it was before the draw. Only the
  // source pixels the draw reads are looked at (a work image may address no more). A scaled
  // or mirrored draw can read any of them after any write, so they are copied first, into
  // tracked memory; without it nothing is drawn.
  const int32_t colLo = std::min(firstCol, lastCol);
  const int32_t colHi = std::max(firstCol, lastCol);
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
  RowsCopy srcCopy, blendCopy;
  int32_t colShift = 0;
  if (Overlaps(job.dst, dstSpan, readFirst, SpanBytes(src->Pitch, readRow, readRows)) ||
      (blendFirst && Overlaps(job.dst, dstSpan, blendFirst,
                              SpanBytes(blendImage->Pitch, size_t(colHi - colLo + 1), readRows)))) {
    // Copies of the read box, addressed from its corner.
    if (!srcCopy.Take(readFirst, src->Pitch, readRow, readRows)) return;
    job.src = srcCopy.Data();
    job.srcPitch = ptrdiff_t(readRow);
    if (blendFirst) {
      if (!blendCopy.Take(blendFirst, blendImage->Pitch, size_t(colHi - colLo + 1), readRows))
        return;
      job.blend = blendCopy.Data();
      job.blendPitch = colHi - colLo + 1;
    }
    colShift = colLo;
    job.firstRow -= rowLo;
  }

  dst->RunLengthFlag = 0;
  const CallFlags flags{blendImage != nullptr, bright != 0xFFFFFFu, transFlag != 0};
  uint8_t* const dstLeft = job.dst;
  for (int x0 = 0; x0 < cw; x0 += kPieceWidth) {
    const int n = std::min(kPieceWidth, cw - x0);
    if (x0 > 0) stepColumns(col, err, cols, n);
    if (colShift != 0)
      for (int x = 0; x < n; ++x) cols[x] -= colShift;
    job.dst = dstLeft + ptrdiff_t(x0) * dstBytes;
    job.width = n;
    if (is16) {
      DrawFormat<StretchedDrawer, Pixel16>(job, *src, mode, flags);
    } else {
      DrawFormat<StretchedDrawer, Pixel32>(job, *src, mode, flags);
    }
  }
}

}  // namespace zq::soft
