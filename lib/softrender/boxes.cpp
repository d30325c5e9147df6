#include "softrender/boxes.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "base/rect.h"
#include "softrender/draw_state.h"
#include "softrender/flat_color.h"

namespace zq::soft {
namespace {

// A row of identical pixels, as runs of 32-bit stores: a 16-bit row stores its pixels in
// pairs (after one single store when the row starts between two 32-bit words, and one at an
// odd end). The runs go through wmemset (32-bit units on this platform), a plain memset when
// all bytes of the pixel agree.
static_assert(sizeof(wchar_t) == 4);

template <typename Pixel>
void FillRowCopy(uint8_t* p, size_t n, Pixel s) {
  if constexpr (sizeof(Pixel) == 2) {
    if ((reinterpret_cast<uintptr_t>(p) & 3) != 0) {
      StorePixel<uint16_t>(p, s);
      p += 2;
      --n;
    }
    if ((n & 1) != 0) StorePixel<uint16_t>(p + (n - 1) * 2, s);
    n /= 2;
  }
  const uint32_t word = sizeof(Pixel) == 2 ? uint32_t(s) * 0x00010001u : uint32_t(s);
  if (word == (word & 0xFF) * 0x01010101u) {
    std::memset(p, int(word & 0xFF), n * 4);
  } else if ((reinterpret_cast<uintptr_t>(p) & 3) == 0) {
    std::wmemset(reinterpret_cast<wchar_t*>(p), wchar_t(word), n);
  } else {
    for (size_t i = 0; i < n; ++i) StorePixel<uint32_t>(p + i * 4, word);
  }
}

template <typename Pixel, typename Op>
void FillRows(uint8_t* row, std::ptrdiff_t pitch, int32_t w, int32_t h, const Op& op) {
  // Rows that follow each other without a gap are one long row.
  if (pitch == std::ptrdiff_t(w) * std::ptrdiff_t(sizeof(Pixel)) && int64_t(w) * h <= INT32_MAX) {
    w *= h;
    h = 1;
  }
  if constexpr (Op::kWritesOnly) {
    const Pixel s = op(Pixel{});
    const size_t rowBytes = size_t(w) * sizeof(Pixel);
    if (rowBytes < kShortRowBytes) {
      uint8_t bytes[sizeof(Bytes16)];
      for (size_t i = 0; i < sizeof bytes; i += sizeof s) std::memcpy(bytes + i, &s, sizeof s);
      Bytes16 pattern;
      std::memcpy(&pattern, bytes, sizeof pattern);
      const bool ahead = rowBytes > PrefetchRowMin(true);
      for (int32_t y = 0; y < h; ++y, row += pitch) {
        if (ahead && y + 1 < h) PrefetchRow(row + pitch, rowBytes);
        FillShortRow<sizeof(Pixel)>(row, rowBytes, pattern);
      }
    } else {
      for (int32_t y = 0; y < h; ++y, row += pitch) FillRowCopy<Pixel>(row, size_t(w), s);
    }
  } else {
    BlendRows<Pixel>(row, pitch, w, h, op);
  }
}

}  // namespace

void FillMemImgBox(MEMIMG* dest, const platform::RECT* rect, uint32_t color) {
  const int bytes = FlatDestinationBytes(dest);
  if (bytes == 0) return;

  platform::RECT box{0, 0, dest->Width, dest->Height};
  if (rect != nullptr) {
    box.left = std::min(rect->left, rect->right);
    box.right = std::max(rect->left, rect->right);
    box.top = std::min(rect->top, rect->bottom);
    box.bottom = std::max(rect->top, rect->bottom);
  }
  const GraphicsDrawState& state = g_DrawState;
  platform::RECT area;
  if (!FlatDrawBounds(*dest, state.DrawArea, &area)) return;
  base::ClipRectToRect(&box, &area);
  if (base::IsRectEmpty(box)) return;

  const int32_t w = box.right - box.left;
  const int32_t h = box.bottom - box.top;
  uint8_t* start = PixelAddress(*dest, box.left, box.top, bytes);
  const std::ptrdiff_t pitch = dest->Pitch;

  WithBoxFlatOp(bytes, color, state.BlendMode, state.BlendParam, state.Bright, [&](const auto& op) {
    using Pixel = decltype(op(0));
    FillRows<Pixel>(start, pitch, w, h, op);
  });
}

}  // namespace zq::soft
