#include "softrender/boxes.h"

#include <algorithm>
#include <cstring>

#include "base/rect.h"
#include "graphics/draw_state.h"
#include "softrender/flat_color.h"

namespace zq::soft {
namespace {

// A row of identical pixels: eight bytes of the repeated pixel per store (two or four
// pixels at once), a plain memset when all bytes of the pixel agree.
template <typename Pixel>
void FillRowCopy(uint8_t* p, int32_t w, Pixel s) {
  const size_t bytes = size_t(w) * sizeof(Pixel);
  const uint64_t pattern = sizeof(Pixel) == 2 ? uint64_t(s) * 0x0001000100010001ull
                                              : uint64_t(s) * 0x0000000100000001ull;
  if (pattern == uint64_t(s & 0xFF) * 0x0101010101010101ull) {
    std::memset(p, int(s & 0xFF), bytes);
    return;
  }
  size_t i = 0;
  for (; i + 8 <= bytes; i += 8) std::memcpy(p + i, &pattern, 8);
  for (; i < bytes; i += sizeof(Pixel)) StorePixel<Pixel>(p + i, s);
}

template <typename Pixel, typename Op>
void FillRows(uint8_t* row, std::ptrdiff_t pitch, int32_t w, int32_t h, const Op& op) {
  for (int32_t y = 0; y < h; ++y, row += pitch) {
    if constexpr (Op::kWritesOnly) {
      FillRowCopy<Pixel>(row, w, op(Pixel{}));
    } else {
      uint8_t* p = row;
      for (int32_t x = 0; x < w; ++x, p += sizeof(Pixel)) {
        StorePixel<Pixel>(p, op(LoadPixel<Pixel>(p)));
      }
    }
  }
}

}  // namespace

void FillMemImgBox(gfx::MEMIMG* dest, const platform::RECT* rect, uint32_t color) {
  const int bytes = FlatDestinationBytes(dest);
  if (bytes == 0) return;

  platform::RECT box{0, 0, dest->Width, dest->Height};
  if (rect != nullptr) {
    box.left = std::min(rect->left, rect->right);
    box.right = std::max(rect->left, rect->right);
    box.top = std::min(rect->top, rect->bottom);
    box.bottom = std::max(rect->top, rect->bottom);
  }
  const gfx::GraphicsDrawState& state = gfx::g_DrawState;
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
