// Rectangle helpers over the platform RECT (right and bottom exclusive).
#pragma once

#include "platform/types.h"

namespace zq::base {

using platform::RECT;

// Clips r to c. A reversed r is first collapsed; then each edge is clamped into c, far
// edge tested first, in the order bottom, top, right, left. Disjoint rectangles end with
// zero width or height on c's border. Always returns 0.
constexpr int ClipRectToRect(RECT* r, const RECT* c) {
  if (r->left > r->right) r->right = r->left;
  if (r->top > r->bottom) r->bottom = r->top;
  auto clamp = [](int32_t& v, int32_t lo, int32_t hi) {
    if (v > hi)
      v = hi;
    else if (v < lo)
      v = lo;
  };
  clamp(r->bottom, c->top, c->bottom);
  clamp(r->top, c->top, c->bottom);
  clamp(r->right, c->left, c->right);
  clamp(r->left, c->left, c->right);
  return 0;
}

constexpr bool IsRectEmpty(const RECT& r) {
  return r.right <= r.left || r.bottom <= r.top;
}

}  // namespace zq::base
