// Coverage and attributes of the Direct3D stand-in's triangles (rules in raster.h).
#include "platform/d3d/raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace zq::platform {

namespace {

constexpr double kMaxPosition = 131072.0;
constexpr double kMaxTexels = 4194304.0;  // 2^22

int64_t FloorDiv(int64_t n, int64_t d) {  // d > 0
  return n >= 0 ? n / d : -((-n + d - 1) / d);
}
int64_t CeilDiv(int64_t n, int64_t d) {  // d > 0
  return -FloorDiv(-n, d);
}

// floor(v) for |v| < 2^62.
int32_t FloorToInt(double v) {
  const int64_t i = int64_t(v);
  return int32_t(i - (double(i) > v ? 1 : 0));
}

// An attribute over the triangle: v(x, y) = a0 + gx (x - x0) + gy (y - y0), held in [lo, hi].
struct Plane {
  double a0 = 0, gx = 0, gy = 0, lo = 0, hi = 0;
};

struct Geometry {
  double x0, y0;              // snapped vertex 0, in pixels
  double dx1, dy1, dx2, dy2;  // vertices 1 and 2 from vertex 0
  double area;                // dx1 dy2 - dx2 dy1, > 0
  Plane Make(double a0, double a1, double a2) const {
    Plane p;
    p.a0 = a0;
    p.gx = ((a1 - a0) * dy2 - (a2 - a0) * dy1) / area;
    p.gy = ((a2 - a0) * dx1 - (a1 - a0) * dx2) / area;
    p.lo = std::min({a0, a1, a2});
    p.hi = std::max({a0, a1, a2});
    return p;
  }
};

// floor(N / d), d > 0, for N = n0 + k dn, k = 0, 1, ...: a quotient and a remainder stepped with
// additions only.
struct FloorStepper {
  FloorStepper() = default;
  FloorStepper(int64_t n0, int64_t dn, int64_t divisor)
      : q(FloorDiv(n0, divisor)),
        r(n0 - q * divisor),
        dq(FloorDiv(dn, divisor)),
        dr(dn - dq * divisor),
        d(divisor) {}
  void Step() {
    r += dr;
    const int64_t carry = r >= d ? 1 : 0;
    q += dq + carry;
    r -= d & -carry;
  }
  int64_t q = 0, r = 0, dq = 0, dr = 0, d = 1;
};

// Values of one attribute along a span: the row's value at x0, then one step of gx a pixel.
// Perspective: the plane of a q over the plane of q.
struct SpanPlane {
  double row, gx, lo, hi;
  double qRow, qgx;
};

template <bool Perspective>
void Evaluate(const SpanPlane& p, double xd, int n, int32_t* out) {
  for (int k = 0; k < n; ++k) {
    const double x = xd + double(k);
    double v = p.row + p.gx * x;
    if constexpr (Perspective) v /= p.qRow + p.qgx * x;
    v = v >= p.lo ? (v <= p.hi ? v : p.hi) : p.lo;  // a NaN from a vanishing denominator takes lo
    out[k] = FloorToInt(v + 0.5);
  }
}

// Steps below this (1/256 texel a pixel) are taken in 32.32 fixed point along a span: the error
// after a whole span stays below 2^-24 of 1/256 texel.
constexpr double kMaxFixedStep = 65536.0;

constexpr double kFixedOne = 4294967296.0;

// v rounded to the nearest integer (|v| < 2^63), without a branch.
int64_t Nearest(double v) {
#if defined(__SSE2__)
  return _mm_cvtsd_si64(_mm_set_sd(v));
#else
  return std::llrint(v);
#endif
}

// The first value of a span with the 1/2 of the rounding added, in 32.32 fixed point.
int64_t FixedStart(const SpanPlane& p, double xd) {
  return Nearest((std::min(std::max(p.row + p.gx * xd, p.lo), p.hi) + 0.5) * kFixedOne);
}

// E(x, y) = a x + b y + c; inside when E > 0, or E = 0 on an inclusive (top or left) edge.
struct Edge {
  int64_t a, b, c;
  int64_t bias;  // 0 inclusive, 1 exclusive: inside when E - bias >= 0
};

// floor(N / A + 1/2) along a span, exactly, for N = nx x + ny y + n0 (a sum of integer vertex
// values weighted by the integer edge functions) and the doubled area A > 0.
struct ExactPlane {
  int64_t nx = 0, ny = 0, n0 = 0;
};
void EvaluateExact(const ExactPlane& p, int64_t area, int64_t x, int64_t y, int n, int32_t* out) {
  FloorStepper st(2 * (p.nx * x + p.ny * y + p.n0) + area, 2 * p.nx, 2 * area);
  for (int k = 0; k < n; ++k, st.Step()) out[k] = int32_t(st.q);
}

class TriangleDrawer {
 public:
  TriangleDrawer(const RasterJob& job, const PixelPipeline& pipe) : job_(job), pipe_(pipe) {}

  void Draw(const RasterVertex* v0, const RasterVertex* v1, const RasterVertex* v2);

 private:
  void Span(int32_t y, int32_t x0, int32_t x1, bool white);

  const RasterJob& job_;
  const PixelPipeline& pipe_;
  Geometry g_{};
  bool perspective_ = false;
  Plane q_;
  // Attributes: s and t of stages 0 and 1, then the diffuse channels a, r, g, b.
  Plane planes_[8];
  bool used_[8] = {};
  bool stepped_[2] = {};  // a stage's positions step in fixed point along a span
  int64_t steps_[4] = {};
  bool flatDiffuse_ = false;
  bool exactDiffuse_ = false;  // plain linear interpolation of a varying diffuse, in integers
  ExactPlane exact_[4];
  int64_t area_ = 0;
  bool flatFilled_ = false;
  uint32_t flat_[kSpanChunk];  // a uniform diffuse colour, filled when it changes
  // A span's sample positions and diffuse colours, when they are given pixel by pixel.
  int32_t coords_[4][kSpanChunk];
  int32_t channels_[4][kSpanChunk];
  uint32_t diffuse_[kSpanChunk];
};

void TriangleDrawer::Draw(const RasterVertex* v0, const RasterVertex* v1, const RasterVertex* v2) {
  const RasterVertex* v[3] = {v0, v1, v2};
  int64_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    // Checked positions (|x| <= 131072) keep the 1/16 steps far inside int32.
    X[i] = FloorToInt(double(v[i]->x) * 16.0 + 0.5);
    Y[i] = FloorToInt(double(v[i]->y) * 16.0 + 0.5);
  }
  int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
  if (area == 0) return;
  if (area < 0) {  // one winding for the edge functions below
    std::swap(v[1], v[2]);
    std::swap(X[1], X[2]);
    std::swap(Y[1], Y[2]);
    area = -area;
  }
  // E(P) = cross(B - A, P - A) in 1/16 pixel units, at P = (16 x, 16 y).
  Edge edges[3];
  for (int k = 0; k < 3; ++k) {
    const int i = k, j = (k + 1) % 3;
    const int64_t dx = X[j] - X[i], dy = Y[j] - Y[i];
    const bool inclusive = dy < 0 || (dy == 0 && dx > 0);  // left or top
    edges[k] = Edge{-16 * dy, 16 * dx, dy * X[i] - dx * Y[i], inclusive ? 0 : 1};
  }
  area_ = area;
  const RECT& vp = job_.viewport;
  const int64_t yFirst = std::max<int64_t>(CeilDiv(std::min({Y[0], Y[1], Y[2]}), 16), vp.top);
  const int64_t yLast =
      std::min<int64_t>(FloorDiv(std::max({Y[0], Y[1], Y[2]}), 16), vp.bottom - 1);
  if (yFirst > yLast) return;

  g_.x0 = double(X[0]) / 16.0;
  g_.y0 = double(Y[0]) / 16.0;
  g_.dx1 = double(X[1] - X[0]) / 16.0;
  g_.dy1 = double(Y[1] - Y[0]) / 16.0;
  g_.dx2 = double(X[2] - X[0]) / 16.0;
  g_.dy2 = double(Y[2] - Y[0]) / 16.0;
  g_.area = double(area) / 256.0;
  const double q[3] = {v[0]->rhw, v[1]->rhw, v[2]->rhw};
  perspective_ = !(q[0] == q[1] && q[1] == q[2]);
  if (perspective_) q_ = g_.Make(q[0], q[1], q[2]);
  auto plane = [&](int index, double a0, double a1, double a2) {
    used_[index] = true;
    Plane p = perspective_ ? g_.Make(a0 * q[0], a1 * q[1], a2 * q[2]) : g_.Make(a0, a1, a2);
    p.lo = std::min({a0, a1, a2});
    p.hi = std::max({a0, a1, a2});
    planes_[index] = p;
  };
  std::fill(std::begin(used_), std::end(used_), false);
  for (int s = 0; s < 2; ++s) {
    if (!pipe_.Samples(s)) continue;
    const int pr = job_.pair[s];
    const double w = double(job_.textureWidth[s]) * 256.0,
                 h = double(job_.textureHeight[s]) * 256.0;
    plane(2 * s, v[0]->uv[pr][0] * w, v[1]->uv[pr][0] * w, v[2]->uv[pr][0] * w);
    plane(2 * s + 1, v[0]->uv[pr][1] * h, v[1]->uv[pr][1] * h, v[2]->uv[pr][1] * h);
  }
  for (int s = 0; s < 2; ++s) {
    const Plane &ps = planes_[2 * s], &pt = planes_[2 * s + 1];
    stepped_[s] =
        !perspective_ && std::fabs(ps.gx) < kMaxFixedStep && std::fabs(pt.gx) < kMaxFixedStep;
    steps_[2 * s] = stepped_[s] ? Nearest(ps.gx * kFixedOne) : 0;
    steps_[2 * s + 1] = stepped_[s] ? Nearest(pt.gx * kFixedOne) : 0;
  }
  flatDiffuse_ = v[0]->color == v[1]->color && v[1]->color == v[2]->color;
  const bool white = flatDiffuse_ && v[0]->color == 0xFFFFFFFFu;
  if (pipe_.NeedsDiffuse(white)) {
    if (flatDiffuse_) {
      if (!flatFilled_ || flat_[0] != v[0]->color)
        std::fill(std::begin(flat_), std::end(flat_), v[0]->color);
      flatFilled_ = true;
    } else {
      for (int c = 0; c < 4; ++c) {
        const int pos = 24 - 8 * c;  // a, r, g, b
        const int64_t value[3] = {(v[0]->color >> pos) & 0xFF, (v[1]->color >> pos) & 0xFF,
                                  (v[2]->color >> pos) & 0xFF};
        plane(4 + c, double(value[0]), double(value[1]), double(value[2]));
        // Edge k's function is the unnormalised weight of the vertex opposite it, (k + 2) % 3.
        exact_[c] = ExactPlane{};
        for (int k = 0; k < 3; ++k) {
          exact_[c].nx += value[(k + 2) % 3] * edges[k].a;
          exact_[c].ny += value[(k + 2) % 3] * edges[k].b;
          exact_[c].n0 += value[(k + 2) % 3] * edges[k].c;
        }
      }
      exactDiffuse_ = !perspective_;
    }
  }

  // Each edge bounds x on every row: x >= -floor(E_y / a) for a > 0, x <= floor(E_y / -a) for
  // a < 0, where E_y is its function at x = 0 less the bias, stepped by b a row; a horizontal
  // edge only says whether the row has pixels.
  FloorStepper left[3], right[3];
  int64_t level[3], levelStep[3];
  int lefts = 0, rights = 0, flats = 0;
  for (const Edge& e : edges) {
    const int64_t first = e.b * yFirst + e.c - e.bias;
    if (e.a > 0)
      left[lefts++] = FloorStepper(first, e.b, e.a);
    else if (e.a < 0)
      right[rights++] = FloorStepper(first, e.b, -e.a);
    else
      level[flats] = first, levelStep[flats++] = e.b;
  }
  for (int64_t y = yFirst; y <= yLast; ++y) {
    int64_t xl = vp.left, xr = int64_t(vp.right) - 1;
    for (int i = 0; i < lefts; ++i) {
      xl = std::max(xl, -left[i].q);
      left[i].Step();
    }
    for (int i = 0; i < rights; ++i) {
      xr = std::min(xr, right[i].q);
      right[i].Step();
    }
    for (int i = 0; i < flats; ++i) {
      if (level[i] < 0) xr = xl - 1;
      level[i] += levelStep[i];
    }
    for (int64_t x = xl; x <= xr; x += kSpanChunk)
      Span(int32_t(y), int32_t(x), int32_t(std::min<int64_t>(x + kSpanChunk, xr + 1)), white);
  }
}

void TriangleDrawer::Span(int32_t y, int32_t x0, int32_t x1, bool white) {
  const int n = x1 - x0;
  auto& coords = coords_;
  auto& channels = channels_;
  auto& diffuse = diffuse_;
  const double yd = double(y) - g_.y0, xd = double(x0) - g_.x0;
  auto span = [&](const Plane& p) {
    return SpanPlane{p.a0 + p.gy * yd, p.gx, p.lo, p.hi, q_.a0 + q_.gy * yd, q_.gx};
  };
  auto evaluate = [&](const Plane& p, int32_t* out) {
    if (perspective_)
      Evaluate<true>(span(p), xd, n, out);
    else
      Evaluate<false>(span(p), xd, n, out);
  };
  Fragments f;
  f.y = y;
  f.x = x0;
  f.n = n;
  for (int s = 0; s < 2; ++s) {
    f.stepped[s] = stepped_[s];
    if (!used_[2 * s]) continue;
    const Plane &ps = planes_[2 * s], &pt = planes_[2 * s + 1];
    if (f.stepped[s]) {
      f.step[s] = SteppedCoords{FixedStart(span(ps), xd), FixedStart(span(pt), xd), steps_[2 * s],
                                steps_[2 * s + 1]};
    } else {
      evaluate(ps, coords[2 * s]);
      evaluate(pt, coords[2 * s + 1]);
      f.s[s] = coords[2 * s];
      f.t[s] = coords[2 * s + 1];
    }
  }
  if (used_[4]) {
    for (int c = 0; c < 4; ++c) {
      if (exactDiffuse_)
        EvaluateExact(exact_[c], area_, x0, y, n, channels[c]);
      else
        evaluate(planes_[4 + c], channels[c]);
    }
    for (int k = 0; k < n; ++k)
      diffuse[k] = uint32_t(channels[0][k]) << 24 | uint32_t(channels[1][k]) << 16 |
                   uint32_t(channels[2][k]) << 8 | uint32_t(channels[3][k]);
    f.diffuse = diffuse;
  } else {
    f.diffuse = flat_;
  }
  pipe_.Shade(f, white);
}

}  // namespace

HRESULT ReadVertices(const void* data, int pairs, uint32_t count, RasterJob* job) {
  const size_t stride = 20 + 8 * size_t(pairs);
  const auto* bytes = static_cast<const uint8_t*>(data);
  job->vertices.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = bytes + stride * i;
    RasterVertex& v = job->vertices[i];
    std::memcpy(&v.x, p, 4);
    std::memcpy(&v.y, p + 4, 4);
    std::memcpy(&v.rhw, p + 12, 4);
    std::memcpy(&v.color, p + 16, 4);
    std::memcpy(v.uv, p + 20, 8 * size_t(pairs));
    if (!(std::fabs(v.x) <= kMaxPosition && std::fabs(v.y) <= kMaxPosition))
      return DDERR_INVALIDPARAMS;
    if (!(v.rhw > 0.0f && std::isfinite(v.rhw))) return DDERR_INVALIDPARAMS;
    for (int s = 0; s < 2; ++s) {
      const int pr = job->pair[s];
      if (pr < 0) continue;
      if (!(std::fabs(double(v.uv[pr][0]) * job->textureWidth[s]) <= kMaxTexels &&
            std::fabs(double(v.uv[pr][1]) * job->textureHeight[s]) <= kMaxTexels))
        return DDERR_INVALIDPARAMS;
    }
  }
  return DD_OK;
}

void Rasterize(const RasterJob& job, const PixelPipeline& pipeline) {
  TriangleDrawer drawer(job, pipeline);
  const RasterVertex* v = job.vertices.data();
  const size_t n = job.vertices.size();
  switch (job.type) {
    case D3DPT_TRIANGLELIST:
      for (size_t i = 0; i + 2 < n; i += 3) drawer.Draw(&v[i], &v[i + 1], &v[i + 2]);
      break;
    case D3DPT_TRIANGLESTRIP:
      for (size_t i = 0; i + 2 < n; ++i) drawer.Draw(&v[i], &v[i + 1], &v[i + 2]);
      break;
    case D3DPT_TRIANGLEFAN:
      for (size_t i = 1; i + 1 < n; ++i) drawer.Draw(&v[0], &v[i], &v[i + 1]);
      break;
  }
}

}  // namespace zq::platform
