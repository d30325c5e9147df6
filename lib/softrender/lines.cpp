#include "softrender/lines.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/math.h"
#include "softrender/draw_state.h"
#include "softrender/flat_color.h"

namespace zq::soft {
namespace {

using base::DoubleToInt;  // out-of-range values give INT32_MIN, which the clipping clamps

// Walks `major` pixels from p: one step along the major axis per pixel, one along the minor
// axis whenever the error reaches the major length. The pointer is moved only towards a pixel
// that is drawn, so it never leaves the image. The operation is a local copy, which the pixel
// stores cannot alias.
template <typename Pixel, typename Op>
void WalkLine(uint8_t* p, std::ptrdiff_t majorStep, std::ptrdiff_t minorStep, int32_t major,
              int32_t minor, const Op op) {
  int64_t error = 0;
  for (int32_t i = 0;;) {
    if constexpr (sizeof(Pixel) == 4 && !Op::kWritesOnly) {
      FlatLanes<Pixel, 4> v;
      std::memcpy(&v, p, 4);
      op.template Apply<4>(v);
      std::memcpy(p, &v, 4);
    } else {
      StorePixel<Pixel>(p, op(LoadPixel<Pixel>(p)));
    }
    if (++i == major) break;
    p += majorStep;
    error += minor;
    if (error >= major) {
      p += minorStep;
      error -= major;
    }
  }
}

}  // namespace

void DrawMemImgLine(MEMIMG* dest, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color) {
  const int bytes = FlatDestinationBytes(dest);
  if (bytes == 0) return;
  const GraphicsDrawState& state = g_DrawState;
  platform::RECT area;
  if (!FlatDrawBounds(*dest, state.DrawArea, &area)) return;
  const int32_t L = area.left, T = area.top, R = area.right, B = area.bottom;

  // Plain comparisons: no difference of coordinates is formed, so nothing overflows.
  if (std::max(x1, x2) < L || std::max(y1, y2) < T || std::min(x1, x2) >= R ||
      std::min(y1, y2) >= B) {
    return;
  }

  // Line equations from the end points as given; differences in double are exact.
  const double kx = y1 == y2 ? 0.0 : (double(x2) - double(x1)) / (double(y2) - double(y1));
  const double ky = x1 == x2 ? 0.0 : (double(y2) - double(y1)) / (double(x2) - double(x1));
  const double bx = double(x1) - double(y1) * kx;
  const double by = double(y1) - double(x1) * ky;
  auto yAt = [&](int32_t x) { return DoubleToInt(double(x) * ky + by); };
  auto xAt = [&](int32_t y) { return DoubleToInt(double(y) * kx + bx); };

  // The first end point ends inside the area, the second inside or one beyond an edge.
  if (x1 < L) {
    x1 = L;
    y1 = yAt(L);
  } else if (x1 >= R) {
    x1 = R - 1;
    y1 = yAt(R - 1);
  }
  if (x2 < L) {
    x2 = L - 1;
    y2 = yAt(L - 1);
  } else if (x2 >= R) {
    x2 = R;
    y2 = yAt(R);
  }
  if (y1 < T) {
    y1 = T;
    x1 = xAt(T);
  } else if (y1 >= B) {
    y1 = B - 1;
    x1 = xAt(B - 1);
  }
  if (y2 < T) {
    y2 = T - 1;
    x2 = xAt(T - 1);
  } else if (y2 >= B) {
    y2 = B;
    x2 = xAt(B);
  }
  if (x1 < L)
    x1 = L;
  else if (x1 >= R)
    x1 = R - 1;
  if (x2 < L)
    x2 = L - 1;
  else if (x2 >= R)
    x2 = R;
  if (y1 < T)
    y1 = T;
  else if (y1 >= B)
    y1 = B - 1;
  if (y2 < T)
    y2 = T - 1;
  else if (y2 >= B)
    y2 = B;

  // Every drawn pixel lies between the end points, the second excluded, so inside the area.
  int32_t dx = x2 - x1, dy = y2 - y1;
  if (dx == 0 && dy == 0) return;
  const std::ptrdiff_t stepX = dx < 0 ? -bytes : bytes;
  const std::ptrdiff_t stepY = dy < 0 ? -std::ptrdiff_t(dest->Pitch) : dest->Pitch;
  dx = dx < 0 ? -dx : dx;
  dy = dy < 0 ? -dy : dy;
  uint8_t* start = PixelAddress(*dest, x1, y1, bytes);

  WithBoxFlatOp(bytes, color, state.BlendMode, state.BlendParam, state.Bright, [&](const auto& op) {
    using Pixel = decltype(op(0));
    if (dx >= dy)
      WalkLine<Pixel>(start, stepX, stepY, dx, dy, op);
    else
      WalkLine<Pixel>(start, stepY, stepX, dy, dx, op);
  });
}

void DrawMemImgLineList(MEMIMG* dest, const SoftLineSegment* segments, int32_t count) {
  if (segments == nullptr) return;
  for (int32_t i = 0; i < count; ++i) {
    const SoftLineSegment& s = segments[i];
    DrawMemImgLine(dest, s.x1, s.y1, s.x2, s.y2, s.color);
  }
}

}  // namespace zq::soft
