// Rotated drawing: the turned corners in 14.18 fixed point give a widened box, clipped to
// the draw area; every box pixel carries a source position stepped linearly along the row
// and from row to row, and the pixels whose position lies inside the source go to one
// specialised pixel kernel. Positions step in 32 bits with wrap-around. Where no position
// of the box wraps, each row's inside run is solved exactly from its linear positions, so
// the walk never visits the empty corners of the box; otherwise (tiny scales, far boxes)
// every pixel of the box takes the bounds test on its wrapped position.
#include "softrender/rotated.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "base/math.h"
#include "base/rect.h"
#include "softrender/draw_state.h"
#include "softrender/pixel_kernels.h"
#include "softrender/soft_bounds.h"
#include "softrender/triangle.h"

namespace zq::soft {
namespace {

using platform::RECT;

constexpr int32_t kOne = 1 << 18;  // one pixel in 14.18
constexpr float kOneF = 262144.0f;

// Centres whose 14.18 form (x << 18) fits 32 bits.
constexpr int32_t kCentreMin = -8192;
constexpr int32_t kCentreMax = 8191;

constexpr bool Fits32(int64_t v) {
  return v >= INT32_MIN && v <= INT32_MAX;
}

// floor(n / e) for e > 0.
constexpr int64_t FloorDiv(int64_t n, int64_t e) {
  const int64_t q = n / e;
  return q - (n % e != 0 && n < 0 ? 1 : 0);
}

// For one source coordinate, the run of pixels i of each row whose position
// p = s_r + i * d lies in [0, K] (K = limit - 1), with s_r = s0 + r * ds for row r.
//
// For d > 0 the run is i >= -floor(s / d) and i <= floor((K - s) / d); a negative d is
// the same with s replaced by K - s. Only floor(s_r / e) and its remainder are carried
// from row to row (by fixed increments with one carry, no division); the other end
// follows from them. A zero step takes e = 2^33, beyond any position, so the quotients
// are 0 or -1 and the run, widened by 2^31, is the whole row or nothing.
class CoordinateRuns {
 public:
  CoordinateRuns(int64_t s0, int64_t ds, int64_t d, int64_t limit) {
    const int64_t k = limit - 1;
    if (d < 0) {
      s0 = k - s0;
      ds = -ds;
    }
    e_ = d == 0 ? int64_t(1) << 33 : d > 0 ? d : -d;
    widen_ = d == 0 ? int64_t(1) << 31 : 1;
    q_ = FloorDiv(s0, e_);
    r_ = s0 - q_ * e_;
    dq_ = FloorDiv(ds, e_);
    dr_ = ds - dq_ * e_;
    kq_ = FloorDiv(k, e_);
    kr_ = k - kq_ * e_;
  }
  // The run's first and last pixel (first > last when empty; not clipped to the row).
  int64_t first() const { return -q_ * widen_; }
  int64_t last() const {
    const int64_t fromEnd = kq_ - q_ - (r_ > kr_ ? 1 : 0);  // floor((K - s) / e)
    return (fromEnd + 1) * widen_ - 1;
  }
  void NextRow() {
    // Both remainders lie below e, so their sum carries at most once. Without a branch:
    // the carry comes and goes unpredictably from row to row.
    const int64_t sum = r_ + dr_ - e_;
    const int64_t carry = ~(sum >> 63);  // all ones when sum >= 0
    r_ = sum + (e_ & ~carry);
    q_ += dq_ + (carry & 1);
  }

 private:
  int64_t q_, r_;    // s_r = q_ * e_ + r_, 0 <= r_ < e_
  int64_t dq_, dr_;  // ds = dq_ * e_ + dr_
  int64_t kq_, kr_;  // K = kq_ * e_ + kr_
  int64_t e_, widen_;
};

// The box walk of one call. When wraps is false no position of the box leaves 32 bits, so
// the stepping never wraps and each row's run can be solved in 64 bits.
struct RotatedWalk {
  RECT box;  // clipped drawing box, right and bottom exclusive
  int32_t width;
  int32_t rows;
  int64_t u0, v0;  // source position of the box's top-left pixel
  int64_t dU, dV;  // per row
  int64_t du, dv;  // per pixel
  int64_t uLimit, vLimit;
  bool wraps;  // some position of the box wraps around 32 bits
};

// Every pixel of a walk whose wrapped position passes the bounds test, row by row:
// fn(row, column, u, v), stepped in 32 bits exactly as the rule states.
template <class Fn>
inline void ForEachWrappedPixel(const RotatedWalk& w, Fn&& fn) {
  const uint32_t du = uint32_t(w.du), dv = uint32_t(w.dv);
  const uint32_t dU = uint32_t(w.dU), dV = uint32_t(w.dV);
  const uint32_t uLimit = uint32_t(w.uLimit), vLimit = uint32_t(w.vLimit);
  uint32_t rowU = uint32_t(w.u0), rowV = uint32_t(w.v0);
  for (int32_t r = 0; r < w.rows; ++r, rowU += dU, rowV += dV) {
    uint32_t u = rowU, v = rowV;
    for (int32_t i = 0; i < w.width; ++i, u += du, v += dv) {
      if (u < uLimit && v < vLimit) fn(r, i, u, v);
    }
  }
}

// The rows of a walk one after the other, each with the run of pixels whose source
// position lies inside the source, and the position of the run's first pixel.
class RowRuns {
 public:
  explicit RowRuns(const RotatedWalk& w)
      : w_(w),
        u_(w.u0, w.dU, w.du, w.uLimit),
        v_(w.v0, w.dV, w.dv, w.vLimit),
        rowU_(w.u0),
        rowV_(w.v0) {}

  // The run [*lo, *hi) of the current row and its first position; false when empty.
  bool Run(int32_t* lo, int32_t* hi, uint32_t* u, uint32_t* v) const {
    const int64_t l = std::max({int64_t(0), u_.first(), v_.first()});
    const int64_t h = std::min({int64_t(w_.width) - 1, u_.last(), v_.last()}) + 1;
    if (l >= h) return false;
    *lo = int32_t(l);
    *hi = int32_t(h);
    *u = uint32_t(rowU_ + l * w_.du);
    *v = uint32_t(rowV_ + l * w_.dv);
    return true;
  }
  void NextRow() {
    u_.NextRow();
    v_.NextRow();
    rowU_ += w_.dU;
    rowV_ += w_.dV;
  }

 private:
  const RotatedWalk& w_;
  CoordinateRuns u_, v_;
  int64_t rowU_, rowV_;
};

enum class Plan { kNothing, kTurn, kWalk };

// The geometry of a rotated draw, from the corners to the row steps. kTurn fills quad
// with the whole-pixel corners for the mirrored path; kWalk fills walk.
Plan PlanRotated(int32_t srcW, int32_t srcH, int32_t x, int32_t y, float angle, float scale,
                 int32_t turn, const RECT& clip, RotatedWalk* walk, int32_t quad[8]) {
  if (!std::isfinite(angle) || !std::isfinite(scale)) return Plan::kNothing;
  if (x < kCentreMin || x > kCentreMax || y < kCentreMin || y > kCentreMax) return Plan::kNothing;

  // Sine and cosine of -angle, then of +angle, in 14.18.
  float sn, cn, sa, ca;
  base::SinCosFloat(-angle, &sn, &cn);
  base::SinCosFloat(angle, &sa, &ca);
  const int32_t Sn = base::FloatToInt(sn * kOneF), Cn = base::FloatToInt(cn * kOneF);
  const int32_t Sa = base::FloatToInt(sa * kOneF), Ca = base::FloatToInt(ca * kOneF);

  // Half extents, each rounded once to single precision (the double product is exact).
  const float hw = float(double(uint32_t(srcW)) * double(scale) * 0.5);
  const float hh = float(double(uint32_t(srcH)) * double(scale) * 0.5);

  // Corners 0 top-left, 1 bottom-left, 2 bottom-right, 3 top-right: a source offset
  // (a, b) from the centre lands at (a cos - b sin, a sin + b cos).
  const float cw = float(Ca) * hw, sw = float(Sa) * hw;
  const float ch = float(Ca) * hh, sh = float(Sa) * hh;
  const float offsets[8] = {sh - cw, -sw - ch, -cw - sh, ch - sw,
                            cw - sh, sw + ch,  cw + sh,  sw - ch};
  int32_t X[4], Y[4];
  for (int i = 0; i < 8; ++i) {
    const int32_t o = base::FloatToInt(offsets[i]);
    const int64_t c = int64_t(o) + int64_t(i % 2 == 0 ? x : y) * kOne;
    if (o == INT32_MIN || !Fits32(c)) return Plan::kNothing;  // beyond the 14.18 range
    (i % 2 == 0 ? X : Y)[i / 2] = int32_t(c);
  }

  if (turn != 0) {
    // Top-right, top-left, bottom-right, bottom-left: texel (0, 0) goes top-right, so
    // the quad shows the image mirrored left to right.
    constexpr int kOrder[4] = {3, 0, 2, 1};
    for (int i = 0; i < 4; ++i) {
      quad[2 * i] = X[kOrder[i]] / kOne;
      quad[2 * i + 1] = Y[kOrder[i]] / kOne;
    }
    return Plan::kTurn;
  }

  // Widened box; a later corner wins only when strictly beyond.
  int minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (int i = 1; i < 4; ++i) {
    if (X[i] > X[maxX]) maxX = i;
    if (X[i] < X[minX]) minX = i;
    if (Y[i] > Y[maxY]) maxY = i;
    if (Y[i] < Y[minY]) minY = i;
  }
  RECT box{X[minX] / kOne - 2, Y[minY] / kOne - 2, X[maxX] / kOne + 4, Y[maxY] / kOne + 4};
  base::ClipRectToRect(&box, &clip);
  if (base::IsRectEmpty(box)) return Plan::kNothing;
  if (maxY == minY) return Plan::kNothing;  // all four Y equal: no rows
  const int32_t rows = box.bottom - box.top;
  const int32_t width = box.right - box.left;

  // Per-pixel steps; a scale so small that they leave 32 bits draws nothing.
  const int32_t du = base::FloatToInt(float(Ca) / scale);
  const int32_t dv = base::FloatToInt(float(Sn) / scale);
  if (du == INT32_MIN || dv == INT32_MIN) return Plan::kNothing;

  // Source positions of the box's top-left pixel and of pixel (left, bottom): the inverse
  // turn of the offset from the centre, divided by the scale (the double quotient rounded
  // to float equals the single-precision quotient; out of range it is INT32_MIN, as
  // FloatToInt gives), plus the unscaled centre texel, wrapping around 32 bits. A product
  // beyond 32 bits means a box pixel 8192 or more pixels from the centre.
  const int64_t dx = int64_t(box.left) - x;
  const uint32_t halfW = (uint32_t(srcW) >> 1) << 18;
  const uint32_t halfH = (uint32_t(srcH) >> 1) << 18;
  auto position = [scale](int64_t numerator, uint32_t centre, int32_t* out) {
    if (!Fits32(numerator)) return false;
    const int32_t q = base::FloatToInt(float(double(numerator) / double(scale)));
    *out = int32_t(uint32_t(q) + centre);
    return true;
  };
  int32_t U0, V0, U1, V1;
  const int64_t dyTop = int64_t(box.top) - y, dyBottom = int64_t(box.bottom) - y;
  if (!position(Cn * dx - Sn * dyTop, halfW, &U0) || !position(Sn * dx + Cn * dyTop, halfH, &V0) ||
      !position(Cn * dx - Sn * dyBottom, halfW, &U1) ||
      !position(Sn * dx + Cn * dyBottom, halfH, &V1))
    return Plan::kNothing;

  walk->box = box;
  walk->width = width;
  walk->rows = rows;
  walk->u0 = U0;
  walk->v0 = V0;
  // 32-bit differences, divided truncating toward zero.
  walk->dU = int32_t(uint32_t(U1) - uint32_t(U0)) / rows;
  walk->dV = int32_t(uint32_t(V1) - uint32_t(V0)) / rows;
  walk->du = du;
  walk->dv = dv;
  walk->uLimit = int64_t(srcW) << 18;
  walk->vLimit = int64_t(srcH) << 18;

  // Positions are linear over the box: when its four corners fit 32 bits, all do.
  walk->wraps = false;
  for (int64_t r : {int64_t(0), int64_t(rows - 1)}) {
    for (int64_t i : {int64_t(0), int64_t(width - 1)}) {
      if (!Fits32(U0 + r * walk->dU + i * du) || !Fits32(V0 + r * walk->dV + i * dv))
        walk->wraps = true;
    }
  }
  return Plan::kWalk;
}

// The clip narrowed to the destination; false when empty.
bool ClipToDestination(const MEMIMG& dest, const RECT& clip, RECT* out) {
  const RECT bounds{0, 0, std::max(dest.Width, 0), std::max(dest.Height, 0)};
  *out = clip;
  base::ClipRectToRect(out, &bounds);
  return !base::IsRectEmpty(*out);
}

// The box walk with one kernel: only the inside run of each row is visited, so every
// visited pixel passes the bounds test and the kernel runs unconditionally.
// Flattened: the kernel and its blend operator are inlined into the pixel loop.
template <class K>
__attribute__((flatten)) void WalkBox(const RotatedWalk& w, const KernelContext& context,
                                      MEMIMG& dest) {
  // Local copies: writes through the destination bytes could otherwise alias them.
  const KernelContext c = context;
  const uint8_t* const srcPixels = c.srcPixels;
  const ptrdiff_t srcPitch = c.srcPitch;
  const uint8_t* const blendPixels = c.blendPixels;
  const ptrdiff_t blendPitch = c.blendPitch;
  const ptrdiff_t pitch = dest.Pitch;
  uint8_t* row = dest.Pixels + ptrdiff_t(w.box.top) * pitch + ptrdiff_t(w.box.left) * K::kDestBytes;
  auto texelAt = [&](uint32_t u, uint32_t v, const uint8_t** blend) {
    const uint32_t tx = u >> 18, ty = v >> 18;
    if constexpr (K::kReadsBlendImage) *blend = blendPixels + ptrdiff_t(ty) * blendPitch + tx;
    return srcPixels + ptrdiff_t(ty) * srcPitch + ptrdiff_t(tx) * K::kTexelBytes;
  };
  if (w.wraps) {
    ForEachWrappedPixel(w, [&](int32_t r, int32_t i, uint32_t u, uint32_t v) {
      const uint8_t* blend = nullptr;
      const uint8_t* texel = texelAt(u, v, &blend);
      K::Apply(c, row + ptrdiff_t(r) * pitch + ptrdiff_t(i) * K::kDestBytes, texel, blend);
    });
    return;
  }
  // u in the low and v in the high half of one word: inside a run both stay in
  // [0, 2^31), so one addition of the packed steps advances both without a carry.
  const uint64_t step = (uint64_t(w.dv) << 32) + uint64_t(w.du);
  RowRuns runs(w);
  for (int32_t r = 0; r < w.rows; ++r, row += pitch, runs.NextRow()) {
    int32_t lo, hi;
    uint32_t u, v;
    if (!runs.Run(&lo, &hi, &u, &v)) continue;
    uint64_t uv = uint64_t(v) << 32 | u;
    uint8_t* d = row + ptrdiff_t(lo) * K::kDestBytes;
    uint8_t* const end = row + ptrdiff_t(hi) * K::kDestBytes;
    for (; d != end; d += K::kDestBytes, uv += step) {
      const uint8_t* blend = nullptr;
      const uint8_t* texel = texelAt(uint32_t(uv), uint32_t(uv >> 32), &blend);
      K::Apply(c, d, texel, blend);
    }
  }
}

}  // namespace

void DrawMemImgRotated(MEMIMG* dest, const MEMIMG* source, int32_t x, int32_t y, float angle,
                       float scale, int32_t trans, int32_t turn, const MEMIMG* blendImage) {
  if (dest == nullptr || dest->Pixels == nullptr || source == nullptr) return;
  if (source->ColorType != dest->ColorType) return;
  if (dest->PaletteFlag == 1 || dest->AlphaFlag == 1) return;
  if (!IsDrawableSource(*source, blendImage)) return;

  RECT area;
  if (!ClipToDestination(*dest, g_DrawState.DrawArea, &area)) return;
  RotatedWalk walk;
  int32_t quad[8];
  switch (PlanRotated(source->Width, source->Height, x, y, angle, scale, turn, area, &walk, quad)) {
    case Plan::kNothing:
      return;
    case Plan::kTurn:
      DrawMemImgQuadClipped(dest, source, quad, trans, blendImage, area);
      return;
    case Plan::kWalk:
      break;
  }

  const GraphicsDrawState& state = g_DrawState;
  const KernelContext c = MakeKernelContext(*source, blendImage, state);
  const KernelFlags flags = MakeKernelFlags(*source, blendImage, trans, state);
  VisitPixelKernel(*source, state.BlendMode, c.blendParam, flags, [&](auto tag) {
    using K = typename decltype(tag)::type;
    dest->RunLengthFlag = 0;  // the pixels change under any run-length stream
    WalkBox<K>(walk, c, *dest);
  });
}

bool RotatedWriteBox(int32_t sourceWidth, int32_t sourceHeight, int32_t x, int32_t y, float angle,
                     float scale, int32_t turn, const platform::RECT& clip, platform::RECT* box) {
  *box = RECT{clip.left, clip.top, clip.left, clip.top};
  if (sourceWidth <= 0 || sourceHeight <= 0) return false;
  RotatedWalk walk;
  int32_t quad[8];
  switch (PlanRotated(sourceWidth, sourceHeight, x, y, angle, scale, turn, clip, &walk, quad)) {
    case Plan::kNothing:
      return false;
    case Plan::kTurn: {
      // The two triangles of the quad together touch every corner.
      SoftBounds b;
      for (int i = 0; i < 4; ++i) b.Include(quad[2 * i], quad[2 * i + 1]);
      RECT r = TriangleWriteBox(b);
      base::ClipRectToRect(&r, &clip);
      if (base::IsRectEmpty(r)) return false;
      *box = r;
      return true;
    }
    case Plan::kWalk:
      break;
  }
  RECT r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  if (walk.wraps) {
    ForEachWrappedPixel(walk, [&](int32_t row, int32_t i, uint32_t, uint32_t) {
      r.left = std::min(r.left, walk.box.left + i);
      r.right = std::max(r.right, walk.box.left + i + 1);
      r.top = std::min(r.top, walk.box.top + row);
      r.bottom = walk.box.top + row + 1;
    });
  }
  RowRuns runs(walk);
  for (int32_t row = 0; row < walk.rows && !walk.wraps; ++row, runs.NextRow()) {
    int32_t lo, hi;
    uint32_t u, v;
    if (!runs.Run(&lo, &hi, &u, &v)) continue;
    r.left = std::min(r.left, walk.box.left + lo);
    r.right = std::max(r.right, walk.box.left + hi);
    r.top = std::min(r.top, walk.box.top + row);
    r.bottom = walk.box.top + row + 1;
  }
  if (r.left >= r.right) return false;
  *box = r;
  return true;
}

}  // namespace zq::soft
