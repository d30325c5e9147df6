// Triangle rasterizer: the edges are walked one destination row at a time in 14.18
// fixed point, top to bottom; each row's span is handed to one specialised span loop,
// either a textured pixel kernel or a flat-colour handler.
#include "softrender/triangle.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "base/math.h"
#include "base/rect.h"
#include "softrender/draw_state.h"
#include "softrender/flat_color.h"
#include "softrender/kernel_runs.h"
#include "softrender/pixel_kernels.h"
#include "softrender/soft_tables.h"

namespace zq::soft {
namespace {

using platform::RECT;

constexpr int32_t kOne = 1 << 18;   // one pixel in 14.18
constexpr int32_t kHalf = 0x20000;  // half a pixel: vertices sit at pixel centres

// ---------------------------------------------------------------------------------------
// Set-up

struct Edge {
  int32_t startX;
  int32_t startY;
  int32_t rows;
  int32_t step;
};

struct Side {
  Edge edges[2];
  int count;
};

struct TriangleSetup {
  Side left;
  Side right;
  RECT clip;  // inside the destination, right and bottom exclusive
  // Texel mapping: reference pixel, its texel position, and the gradients. Unsigned:
  // positions wrap modulo 2^32 like the fixed point they model.
  int32_t xRef;
  int32_t yRef;
  uint32_t uRef;
  uint32_t vRef;
  uint32_t dudx;
  uint32_t dudy;
  uint32_t dvdx;
  uint32_t dvdy;
};

bool InLimits(int64_t v) {
  return v >= kTriangleCoordMin && v <= kTriangleCoordMax;
}

// Every coordinate and the difference of any two of the same kind must fit the 14.18
// range; beyond it the edge steps and row counts would overflow.
bool VerticesInLimits(const SoftTriangleVertex* v) {
  for (int i = 0; i < 3; ++i) {
    if (!InLimits(v[i].x) || !InLimits(v[i].y) || !InLimits(v[i].u) || !InLimits(v[i].v))
      return false;
  }
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      if (!InLimits(int64_t(v[i].x) - v[j].x) || !InLimits(int64_t(v[i].y) - v[j].y) ||
          !InLimits(int64_t(v[i].u) - v[j].u) || !InLimits(int64_t(v[i].v) - v[j].v))
        return false;
    }
  }
  return true;
}

Edge MakeEdge(int32_t startX, int32_t startY, int32_t endX, int32_t endY) {
  Edge e;
  e.startX = startX;
  e.startY = startY;
  e.rows = (endY - startY) / kOne;
  e.step = (endX - startX) / e.rows;  // rows >= 1: a non-degenerate triangle spans rows
  return e;
}

// Fills s from the vertices; false when nothing is drawn (out of limits or zero area).
bool SetUpTriangle(const SoftTriangleVertex* vtx, TriangleSetup* s) {
  if (!VerticesInLimits(vtx)) return false;

  int32_t X[3], Y[3], U[3], V[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = vtx[i].x * kOne + kHalf;
    Y[i] = vtx[i].y * kOne + kHalf;
    U[i] = vtx[i].u * kOne;
    V[i] = vtx[i].v * kOne;
  }

  // One pass over the pairs (0,1), (0,2), (1,2); ties stay where the pass leaves them.
  int xo[3] = {0, 1, 2}, yo[3] = {0, 1, 2};
  constexpr int kPairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  for (const auto& p : kPairs) {
    if (X[xo[p[0]]] > X[xo[p[1]]]) std::swap(xo[p[0]], xo[p[1]]);
    if (Y[yo[p[0]]] > Y[yo[p[1]]]) std::swap(yo[p[0]], yo[p[1]]);
  }
  const int p0 = xo[0], p1 = xo[1], p2 = xo[2];
  const int t = yo[0], m = yo[1], b = yo[2];

  // Twice the area, in whole pixels from P0; the limits keep every product in 28 bits.
  const int32_t dx1 = (X[p1] - X[p0]) / kOne, dy1 = (Y[p1] - Y[p0]) / kOne;
  const int32_t du1 = (U[p1] - U[p0]) / kOne, dv1 = (V[p1] - V[p0]) / kOne;
  const int32_t dx2 = (X[p2] - X[p0]) / kOne, dy2 = (Y[p2] - Y[p0]) / kOne;
  const int32_t du2 = (U[p2] - U[p0]) / kOne, dv2 = (V[p2] - V[p0]) / kOne;
  const int32_t area = dx2 * dy1 - dx1 * dy2;
  if (area == 0) return false;

  auto gradient = [area](int32_t n) {
    return static_cast<uint32_t>(base::DoubleToInt(double(n) * 262144.0 / double(area)));
  };
  s->dudx = gradient(du2 * dy1 - du1 * dy2);
  s->dudy = gradient(du1 * dx2 - du2 * dx1);
  s->dvdx = gradient(dv2 * dy1 - dv1 * dy2);
  s->dvdy = gradient(dv1 * dx2 - dv2 * dx1);
  s->xRef = X[p0] / kOne;
  s->yRef = Y[p0] / kOne;
  s->uRef = static_cast<uint32_t>(U[p0]);
  s->vRef = static_cast<uint32_t>(V[p0]);

  Side& l = s->left;
  Side& r = s->right;
  if (Y[t] == Y[m]) {  // flat top
    l.count = r.count = 1;
    if (X[t] > X[m]) {
      l.edges[0] = MakeEdge(X[m], Y[m], X[b], Y[b]);
      r.edges[0] = MakeEdge(X[t], Y[t], X[b], Y[b]);
    } else {
      l.edges[0] = MakeEdge(X[t], Y[t], X[b], Y[b]);
      r.edges[0] = MakeEdge(X[m], Y[m], X[b], Y[b]);
    }
  } else if (Y[m] == Y[b]) {  // flat bottom
    l.count = r.count = 1;
    if (X[m] > X[b]) {
      l.edges[0] = MakeEdge(X[t], Y[t], X[b], Y[b]);
      r.edges[0] = MakeEdge(X[t], Y[t], X[m], Y[m]);
    } else {
      l.edges[0] = MakeEdge(X[t], Y[t], X[m], Y[m]);
      r.edges[0] = MakeEdge(X[t], Y[t], X[b], Y[b]);
    }
  } else {
    const double sM = double(X[m] - X[t]) / double((Y[m] - Y[t]) / kOne);
    const double sL = double(X[b] - X[t]) / double((Y[b] - Y[t]) / kOne);
    if (sM >= sL) {
      // M right of the long edge; the right side's second edge starts one unit right of M.
      l.count = 1;
      l.edges[0] = MakeEdge(X[t], Y[t], X[b], Y[b]);
      r.count = 2;
      r.edges[0] = MakeEdge(X[t], Y[t], X[m], Y[m]);
      r.edges[1] = MakeEdge(X[m] + 1, Y[m], X[b], Y[b]);
    } else {
      l.count = 2;
      l.edges[0] = MakeEdge(X[t], Y[t], X[m], Y[m]);
      l.edges[1] = MakeEdge(X[m], Y[m], X[b], Y[b]);
      r.count = 1;
      r.edges[0] = MakeEdge(X[t], Y[t], X[b], Y[b]);
    }
  }
  return true;
}

// The clip rectangle narrowed to the destination; false when empty.
bool ClipToDestination(const MEMIMG& dest, const RECT& clip, RECT* out) {
  const RECT bounds{0, 0, std::max(dest.Width, 0), std::max(dest.Height, 0)};
  *out = clip;
  base::ClipRectToRect(out, &bounds);
  return !base::IsRectEmpty(*out);
}

// ---------------------------------------------------------------------------------------
// Traversal: the same walk for every span loop. Rows outside the clip are stepped, not
// skipped; when the left side moves to its second edge the row restarts at that edge's
// start row.

template <class Span>
void WalkTriangle(const TriangleSetup& s, Span& span) {
  const RECT& clip = s.clip;
  int li = 0, ri = 0;
  int32_t lx = s.left.edges[0].startX, lstep = s.left.edges[0].step;
  int32_t lrows = s.left.edges[0].rows;
  int32_t rx = s.right.edges[0].startX, rstep = s.right.edges[0].step;
  int32_t rrows = s.right.edges[0].rows;
  int32_t row = s.left.edges[0].startY / kOne;
  for (;;) {
    const int32_t xl = lx / kOne, xr = rx / kOne;
    const int32_t xs = std::max(xl, clip.left);
    if (row >= clip.top && row < clip.bottom && xs < clip.right && xr >= xs) {
      const int32_t xe = std::min(xr + 1, clip.right);
      span.Row(row, xs, xe - xs);
    }
    lx += lstep;
    rx += rstep;
    ++row;
    --lrows;
    --rrows;
    if (lrows == 0) {
      if (++li == s.left.count) return;
      const Edge& e = s.left.edges[li];
      lx = e.startX;
      lstep = e.step;
      lrows = e.rows;
      row = e.startY / kOne;
    }
    if (rrows == 0) {
      if (++ri == s.right.count) return;
      const Edge& e = s.right.edges[ri];
      rx = e.startX;
      rstep = e.step;
      rrows = e.rows;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Textured spans

// Texels 1:1 along the rows (u steps one texel a pixel, v stays): a row's texels inside the
// source are one run of a source row, drawn by the kernel's run loops (kernel_runs.h).
template <class K, bool kUnitSteps>
struct TexturedSpan {
  const TriangleSetup& s;
  const KernelContext& c;
  uint8_t* destPixels;
  ptrdiff_t destPitch;
  const RunJob* job;  // with unit steps

  // Flattened: the kernel and its blend operator are inlined into the pixel loop.
  __attribute__((flatten)) void Row(int32_t row, int32_t xs, int32_t count) const {
    // The texel position at xs comes afresh from the reference point on every row.
    uint32_t u = uint32_t(xs - s.xRef) * s.dudx + uint32_t(row - s.yRef) * s.dudy + s.uRef;
    uint32_t v = uint32_t(xs - s.xRef) * s.dvdx + uint32_t(row - s.yRef) * s.dvdy + s.vRef;
    uint8_t* d = destPixels + ptrdiff_t(row) * destPitch + ptrdiff_t(xs) * K::kDestBytes;
    if constexpr (kUnitSteps) {
      if (v >= c.vLimit) return;
      // u + i * 2^18 (mod 2^32) for i < count <= 2^13 covers less than half the circle, so
      // the pixels inside the source are one run: from the start when u is inside, else
      // from where u wraps round to 0..2^18 - 1.
      constexpr uint64_t kStep = uint64_t(kOne);
      const uint64_t first = u < c.uLimit ? 0 : ((uint64_t(1) << 32) - u + kStep - 1) / kStep;
      if (first >= uint64_t(count)) return;
      const uint32_t u0 = u + uint32_t(first) * uint32_t(kStep);
      const uint64_t n = std::min<uint64_t>(count - first, (c.uLimit - u0 + kStep - 1) / kStep);
      const uint32_t tx = u0 >> 18, ty = v >> 18;
      const uint8_t* texels = c.srcPixels + ptrdiff_t(ty) * c.srcPitch + tx * K::kTexelBytes;
      const uint8_t* blend = nullptr;
      if constexpr (K::kReadsBlendImage) blend = c.blendPixels + ptrdiff_t(ty) * c.blendPitch + tx;
      DrawKernelRun<K>(*job, d + ptrdiff_t(first) * K::kDestBytes, texels, blend, int(n));
      return;
    }
    for (; count > 0; --count, d += K::kDestBytes, u += s.dudx, v += s.dvdx) {
      if (u >= c.uLimit || v >= c.vLimit) continue;
      const uint32_t tx = u >> 18, ty = v >> 18;
      const uint8_t* texel = c.srcPixels + ptrdiff_t(ty) * c.srcPitch + tx * K::kTexelBytes;
      const uint8_t* blend = nullptr;
      if constexpr (K::kReadsBlendImage) blend = c.blendPixels + ptrdiff_t(ty) * c.blendPitch + tx;
      K::Apply(c, d, texel, blend);
    }
  }
};

void DrawTextured(const TriangleSetup& s, MEMIMG& dest, const MEMIMG& src, int32_t trans,
                  const MEMIMG* blend) {
  if (!IsDrawableSource(src, blend)) return;
  const GraphicsDrawState& state = g_DrawState;
  const KernelContext c = MakeKernelContext(src, blend, state);
  const KernelFlags flags = MakeKernelFlags(src, blend, trans, state);
  VisitPixelKernel(src, state.BlendMode, c.blendParam, flags, [&](auto tag) {
    using K = typename decltype(tag)::type;
    dest.RunLengthFlag = 0;  // the pixels change under any run-length stream
    if constexpr (RunRule<K>::kAvailable) {
      if (s.dudx == uint32_t(kOne) && s.dvdx == 0 && RunRule<K>::KeyFits(c)) {
        const RunJob job = MakeRunJob<K>(c);
        const TexturedSpan<K, true> span{s, c, dest.Pixels, dest.Pitch, &job};
        WalkTriangle(s, span);
        return;
      }
    }
    const TexturedSpan<K, false> span{s, c, dest.Pixels, dest.Pitch, nullptr};
    WalkTriangle(s, span);
  });
}

// ---------------------------------------------------------------------------------------
// Flat-colour spans

template <class Pixel, class Op>
struct FlatSpan {
  const Op& op;
  uint8_t* destPixels;
  ptrdiff_t destPitch;

  void Row(int32_t row, int32_t xs, int32_t count) const {
    uint8_t* d = destPixels + ptrdiff_t(row) * destPitch + ptrdiff_t(xs) * ptrdiff_t(sizeof(Pixel));
    for (; count > 0; --count, d += sizeof(Pixel)) {
      if constexpr (Op::kWritesOnly)
        StorePixel<Pixel>(d, op(Pixel{}));
      else
        StorePixel<Pixel>(d, op(LoadPixel<Pixel>(d)));
    }
  }
};

template <class Pixel>
void DrawFlatOfDepth(const TriangleSetup& s, MEMIMG& dest, uint32_t colour) {
  const GraphicsDrawState& state = g_DrawState;
  const uint32_t bright = state.Bright;
  const int32_t* mr = SoftMulTable256[(bright >> 16) & 0xFF];
  const int32_t* mg = SoftMulTable256[(bright >> 8) & 0xFF];
  const int32_t* mb = SoftMulTable256[bright & 0xFF];
  const uint32_t param = ClampBlendParam(state.BlendParam);

  // Unlike boxes and lines, the triangle always scales its colour through the bright
  // rows (field * bright / 255), so a bright byte of 255 keeps a field as it is.
  uint32_t prepared;
  if constexpr (sizeof(Pixel) == 4) {
    prepared = uint32_t(mb[colour & 0xFF]) | uint32_t(mg[colour >> 8 & 0xFF]) << 8 |
               uint32_t(mr[colour >> 16 & 0xFF]) << 16 | (colour & 0xFF000000u);
  } else {
    const uint32_t c16 = colour & 0xFFFFu;  // a 16-bit colour has no upper bits
    prepared = uint32_t(mr[c16 >> 11]) << 11 | uint32_t(mg[(c16 & 0x7E0) >> 5]) << 5 |
               uint32_t(mb[c16 & 0x1F]);
  }
  WithFlatOp<Pixel>(
      ResolveFlatMode(state.BlendMode, param), MakeFlatColor<Pixel>(prepared, param),
      [&](const auto& op) {
        dest.RunLengthFlag = 0;  // the pixels change under any run-length stream
        const FlatSpan<Pixel, std::decay_t<decltype(op)>> span{op, dest.Pixels, dest.Pitch};
        WalkTriangle(s, span);
      });
}

void DrawFlat(const TriangleSetup& s, MEMIMG& dest, uint32_t colour) {
  if (dest.ColorType == kMemImgRgb565)
    DrawFlatOfDepth<uint16_t>(s, dest, colour);
  else if (dest.ColorType == kMemImgXrgb8888)
    DrawFlatOfDepth<uint32_t>(s, dest, colour);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Entry points

void DrawMemImgTriangleClipped(MEMIMG* dest, const MEMIMG* source,
                               const SoftTriangleVertex* vertices, int32_t trans,
                               const MEMIMG* blendImage, uint32_t colour,
                               const platform::RECT& clip) {
  if (dest == nullptr || dest->Pixels == nullptr || vertices == nullptr) return;
  if (source != nullptr && source->ColorType != dest->ColorType) return;
  if (dest->PaletteFlag == 1 || dest->AlphaFlag == 1) return;
  if (dest->ColorType != kMemImgRgb565 && dest->ColorType != kMemImgXrgb8888) return;

  TriangleSetup s;
  if (!ClipToDestination(*dest, clip, &s.clip)) return;
  if (!SetUpTriangle(vertices, &s)) return;
  if (source != nullptr)
    DrawTextured(s, *dest, *source, trans, blendImage);
  else
    DrawFlat(s, *dest, colour);
}

void DrawMemImgTriangle(MEMIMG* dest, const MEMIMG* source, const SoftTriangleVertex* vertices,
                        int32_t trans, const MEMIMG* blendImage, uint32_t colour) {
  DrawMemImgTriangleClipped(dest, source, vertices, trans, blendImage, colour,
                            g_DrawState.DrawArea);
}

void DrawMemImgQuadClipped(MEMIMG* dest, const MEMIMG* source, const int32_t corners[8],
                           int32_t trans, const MEMIMG* blendImage, const platform::RECT& clip) {
  if (dest == nullptr || source == nullptr || corners == nullptr) return;
  int32_t c[8];
  std::copy(corners, corners + 8, c);

  // Widened bounding box; a later corner wins only when strictly beyond.
  int minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (int i = 1; i < 4; ++i) {
    if (c[2 * i] > c[2 * maxX]) maxX = i;
    if (c[2 * i] < c[2 * minX]) minX = i;
    if (c[2 * i + 1] > c[2 * maxY + 1]) maxY = i;
    if (c[2 * i + 1] < c[2 * minY + 1]) minY = i;
  }
  // In 64 bits, then saturated: far-off corners must not wrap into the clip.
  auto sat = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  RECT box{sat(int64_t(c[2 * minX]) - 2), sat(int64_t(c[2 * minY + 1]) - 2),
           sat(int64_t(c[2 * maxX]) + 4), sat(int64_t(c[2 * maxY + 1]) + 4)};
  base::ClipRectToRect(&box, &clip);
  if (box.left == box.right || box.top == box.bottom) return;

  const int32_t w = source->Width, h = source->Height;
  const SoftTriangleVertex v[4] = {
      {c[0], c[1], 0, 0}, {c[2], c[3], w, 0}, {c[4], c[5], 0, h}, {c[6], c[7], w, h}};
  DrawMemImgTriangleClipped(dest, source, &v[0], trans, blendImage, 0, clip);
  DrawMemImgTriangleClipped(dest, source, &v[1], trans, blendImage, 0, clip);
}

void DrawMemImgQuad(MEMIMG* dest, const MEMIMG* source, const int32_t corners[8], int32_t trans,
                    const MEMIMG* blendImage) {
  DrawMemImgQuadClipped(dest, source, corners, trans, blendImage, g_DrawState.DrawArea);
}

}  // namespace zq::soft
