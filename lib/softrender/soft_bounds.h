// Bounding boxes of the software front-ends: the rectangle a drawing can touch, handed to the
// surface lock on the bracketed path.
#pragma once

#include <cstdint>
#include <limits>

#include "platform/types.h"
#include "softrender/lines.h"

namespace zq::soft {

// Bounding box of the image front-ends. Starts at left = top = 1000000 and
// right = bottom = -1000000; each point lowers left or top when smaller and raises right or
// bottom when larger, each test on its own. right and bottom end as the largest coordinate
// itself, not one past it.
struct SoftBounds {
  int32_t left = 1000000;
  int32_t top = 1000000;
  int32_t right = -1000000;
  int32_t bottom = -1000000;

  constexpr void Include(int32_t x, int32_t y) {
    if (x < left) left = x;
    if (y < top) top = y;
    if (x > right) right = x;
    if (y > bottom) bottom = y;
  }
};

// The rectangle (right and bottom exclusive) that a triangle or four-corner draw over the
// corners gathered in b may write. The triangle walk places a corner at its pixel centre
// and truncates toward zero, so a negative coordinate c lands in column or row c + 1; spans
// include their right end. Saturated, so that far-off corners cannot wrap.
constexpr platform::RECT TriangleWriteBox(const SoftBounds& b) {
  auto pixel = [](int32_t c) { return c < 0 ? c + 1 : c; };
  auto past = [](int32_t c) {
    const int32_t p = c < 0 ? c + 1 : c;
    return p == std::numeric_limits<int32_t>::max() ? p : p + 1;
  };
  return platform::RECT{pixel(b.left), pixel(b.top), past(b.right), past(b.bottom)};
}

// Bounding box of a segment list, over both end points of every segment, from the same
// starting values: a coordinate below left or top lowers it to that value, one at or above
// right or bottom raises it to the coordinate + 1 (right and bottom exclusive), each test on
// its own. A coordinate of INT32_MAX leaves right or bottom at INT32_MAX instead of
// overflowing. A count of 0 or less gives the starting values.
constexpr platform::RECT SegmentListBounds(const SoftLineSegment* segments, int32_t count) {
  platform::RECT r{1000000, 1000000, -1000000, -1000000};
  auto include = [&r](int32_t x, int32_t y) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    if (x < r.left) r.left = x;
    if (x >= r.right) r.right = x == kMax ? kMax : x + 1;
    if (y < r.top) r.top = y;
    if (y >= r.bottom) r.bottom = y == kMax ? kMax : y + 1;
  };
  for (int32_t i = 0; i < count; ++i) {
    include(segments[i].x1, segments[i].y1);
    include(segments[i].x2, segments[i].y2);
  }
  return r;
}

}  // namespace zq::soft
