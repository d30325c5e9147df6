// Coverage and attributes of the Direct3D stand-in's triangles (rules in raster.h).
#include "platform/d3d/raster.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
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

// The edge from (xi, yi) to (xj, yj) of a triangle of positive winding (1/16 pixel units):
// E(P) = cross(B - A, P - A) at P = (16 x, 16 y).
Edge MakeEdge(int64_t xi, int64_t yi, int64_t xj, int64_t yj) {
  const int64_t dx = xj - xi, dy = yj - yi;
  const bool inclusive = dy < 0 || (dy == 0 && dx > 0);  // left or top
  return Edge{-16 * dy, 16 * dx, dy * xi - dx * yi, inclusive ? 0 : 1};
}

// floor(N / A + 1/2) along a span, exactly, for N = nx x + ny y + n0 (a sum of integer vertex
// values weighted by the integer edge functions) and the doubled area A > 0.
struct ExactPlane {
  int64_t nx = 0, ny = 0, n0 = 0;
};
void EvaluateExact(const ExactPlane& p, int64_t area, int64_t x, int64_t y, int n, int32_t* out) {
  FloorStepper st(2 * (p.nx * x + p.ny * y + p.n0) + area, 2 * p.nx, 2 * area);
  for (int k = 0; k < n; ++k, st.Step()) out[k] = int32_t(st.q);
}

// A triangle: its vertices' places in the job and their snapped positions, in positive winding.
struct Triangle {
  uint32_t index[3];
  int64_t X[3], Y[3];  // 1/16 pixel
  int64_t area;        // doubled, in 1/256 pixel, > 0
  // Edge k runs from vertex k to vertex k + 1.
  Edge EdgeAt(int k) const { return MakeEdge(X[k], Y[k], X[(k + 1) % 3], Y[(k + 1) % 3]); }
};

// floor(16 x + 1/2) for a checked position (|x| <= 2^17). y = 16 x is exact and |y| <= 2^21;
// y + 2^22 + 1/2 lies where doubles are 2^-30 apart, so it is exact unless y has bits below that,
// which only a y below 2^-6 has (a float holds 24 bits), and then the sum is far from an integer:
// truncating the sum floors it.
int64_t Snap(float v) {
  constexpr double kBias = 4194304.0;  // 2^22
  return int64_t(double(v) * 16.0 + (kBias + 0.5)) - int64_t(kBias);
}

// A triangle's vertices as the job gives them: their places in it and snapped positions.
struct Corners {
  uint32_t index[3];
  int64_t X[3], Y[3];
};

// The triangle of the corners in positive winding; false for one of no area.
bool Wind(const Corners& c, Triangle* t) {
  int64_t area = (c.X[1] - c.X[0]) * (c.Y[2] - c.Y[0]) - (c.X[2] - c.X[0]) * (c.Y[1] - c.Y[0]);
  if (area == 0) return false;
  const int i1 = area < 0 ? 2 : 1, i2 = 3 - i1;  // one winding for the edge functions
  t->index[0] = c.index[0], t->index[1] = c.index[i1], t->index[2] = c.index[i2];
  t->X[0] = c.X[0], t->X[1] = c.X[i1], t->X[2] = c.X[i2];
  t->Y[0] = c.Y[0], t->Y[1] = c.Y[i1], t->Y[2] = c.Y[i2];
  t->area = area < 0 ? -area : area;
  return true;
}

// A triangle's attributes over its pixels.
struct Attributes {
  Geometry g{};
  int64_t area = 0;
  bool perspective = false;
  Plane q;
  // s and t of stages 0 and 1, then the diffuse channels a, r, g, b.
  Plane planes[8];
  bool used[8] = {};
  bool stepped[2] = {};  // a stage's positions step in fixed point along a span
  int64_t steps[4] = {};
  bool white = false;         // diffuse 0xFFFFFFFF at every vertex
  bool flatDiffuse = false;   // one diffuse colour at every vertex
  uint32_t color = 0;         // that colour
  bool exactDiffuse = false;  // plain linear interpolation of a varying diffuse, in integers
  ExactPlane exact[4];
  bool fused = false;  // the pipeline's one-loop form takes stage 0's stepped positions
  struct {
    alignas(16) double a0[2], gx[2], gy[2], lo[2], hi[2];
  } start;                    // stage 0's s and t planes side by side
  uint32_t flat[kSpanChunk];  // the flat colour, filled when it changes
  bool flatFilled = false;
  RasterVertex vertices[3];  // the triangle's, in its winding, when the planes were worked out
  // Everything above but the place (g.x0, g.y0 and the exact diffuse planes) follows from the
  // triangle's shape and its vertices' 1/w, colours and coordinates: a triangle that repeats
  // them (sprites, glyphs, tiles) takes the attributes worked out before.
  // The words: vertices 1 and 2 from vertex 0, then each vertex's bytes from its 1/w on (0 for
  // a missing pair), all as given (the winding follows from them).
  static constexpr size_t kKeyWords = 11;
  struct Key {
    uint64_t word[kKeyWords];
  } key;
  bool keyKnown = false;
};

// Pairs: the coordinate pairs a vertex holds (the job's).
template <int Pairs>
class TriangleDrawer {
 public:
  TriangleDrawer(const RasterJob& job, const PixelPipeline& pipe) : job_(job), pipe_(pipe) {}

  // The triangle of the job's vertices i0, i1, i2.
  void Draw(uint32_t i0, uint32_t i1, uint32_t i2);
  // The two triangles from vertex `first` of the list on, when they form an axis-aligned
  // rectangle; false (nothing drawn) when they do not.
  bool DrawQuad(uint32_t first);

 private:
  const uint8_t* At(uint32_t i) const { return job_.vertices + kStride * i; }
  // x and y of vertex i.
  void Position(uint32_t i, float* x, float* y) const {
    std::memcpy(x, At(i), 4);
    std::memcpy(y, At(i) + 4, 4);
  }
  void Load(uint32_t i, RasterVertex* v) const {
    const uint8_t* p = At(i);
    std::memcpy(&v->x, p, 8);
    std::memcpy(&v->rhw, p + 12, 8);
    if constexpr (Pairs == 2)
      std::memcpy(v->uv, p + 20, 16);
    else
      std::memcpy(v->uv, p + 20, 8);
  }
  // The attributes of a triangle (of some area) about to be drawn: its place, and the rest when
  // it differs from the last triangle set up in `a`. shape1 and shape2: ShapeWord of its
  // vertices 1 and 2 (passed in registers: read back from the corners just written, they would
  // stall). `wound`: the triangle when the caller has wound it, else null.
  void SetUp(const Corners& c, uint64_t shape1, uint64_t shape2, const Triangle* wound,
             Attributes* a);
  void SetUpPlanes(const Triangle& t, Attributes* a);
  // Pixels x0 .. x1 (inclusive) of row y, in runs of at most kSpanChunk. Runs in the
  // pipeline's one-loop form are held until Flush (before anything else draws: a triangle's runs
  // never overlap), so that the arithmetic of their starts, row after row, does not wait for the
  // pixels of the row before.
  [[gnu::always_inline]] void Run(const Attributes& a, int32_t y, int64_t x0, int64_t x1) {
    for (int64_t x = x0; x <= x1; x += kSpanChunk) {
      const int32_t from = int32_t(x), to = int32_t(std::min<int64_t>(x + kSpanChunk, x1 + 1));
      if (!a.fused) {
        Span(a, y, from, to);
        continue;
      }
      if (held_ == kHeldRuns) Flush();
      runOf_[held_] = &a;
      FusedRun& run = runs_[held_++];
      run.y = y, run.x = from, run.n = to - from;
      run.c.ds = a.steps[0], run.c.dt = a.steps[1];
      // FixedStart of s and t, without the perspective parts.
      const double yd = double(y) - a.g.y0, xd = double(from) - a.g.x0;
#if defined(__SSE2__)
      // Both at once, lane by lane the same operations (no NaN comes here, and max and min
      // differ from std::max and std::min only in the sign of a zero, which adding 1/2 drops).
      const __m128d v = _mm_add_pd(
          _mm_add_pd(_mm_load_pd(a.start.a0), _mm_mul_pd(_mm_load_pd(a.start.gy), _mm_set1_pd(yd))),
          _mm_mul_pd(_mm_load_pd(a.start.gx), _mm_set1_pd(xd)));
      const __m128d held =
          _mm_min_pd(_mm_max_pd(v, _mm_load_pd(a.start.lo)), _mm_load_pd(a.start.hi));
      const __m128d fixed = _mm_mul_pd(_mm_add_pd(held, _mm_set1_pd(0.5)), _mm_set1_pd(kFixedOne));
      run.c.s = _mm_cvtsd_si64(fixed);
      run.c.t = _mm_cvtsd_si64(_mm_unpackhi_pd(fixed, fixed));
#else
      auto start = [&](const Plane& p) {
        return Nearest((std::min(std::max(p.a0 + p.gy * yd + p.gx * xd, p.lo), p.hi) + 0.5) *
                       kFixedOne);
      };
      run.c.s = start(a.planes[0]), run.c.t = start(a.planes[1]);
#endif
    }
  }
  void Flush();
  // The run from x0 to x1 (exclusive) through the pipeline's general form.
  void Span(const Attributes& a, int32_t y, int32_t x0, int32_t x1);

  const RasterJob& job_;
  const PixelPipeline& pipe_;
  static constexpr size_t kStride = Pairs == 2 ? sizeof(D3DTLVERTEX2) : sizeof(D3DTLVERTEX1);
  static constexpr int kHeldRuns = 64;
  FusedRun runs_[kHeldRuns];
  const Attributes* runOf_[kHeldRuns];  // each run's triangle
  int held_ = 0;
  int flushes_ = 0;
  bool outside_ = false;  // a flushed run read outside the texture (and took the general form)
  // The last rectangle drawn whole inside the viewport with every run in the one-loop form,
  // reading inside the texture. A rectangle of the same size, sub-pixel phase and vertex bytes
  // from 1/w on has the same runs moved by whole pixels: its coverage, winding and attributes
  // follow from differences the move keeps, and each run's start from the pixel's offset to
  // vertex 0 (a multiple of 1/16 pixel, exact in double) besides them.
  struct RectMemo {
    bool valid = false;
    int64_t key[4];        // size and phase in 1/16 pixel
    uint64_t bytes[6][3];  // each vertex's from its 1/w on (0 for a missing pair)
    int count;
    FusedRun runs[kHeldRuns];  // from the rectangle's first row and column
  } memo_;
  Attributes attributes_[2];
  // A span's sample positions and diffuse colours, when they are given pixel by pixel.
  int32_t coords_[4][kSpanChunk];
  int32_t channels_[4][kSpanChunk];
  uint32_t diffuse_[kSpanChunk];
};

// A vertex's offset from vertex 0 (1/16 pixel, at most 2^22 each way) as one key word.
uint64_t ShapeWord(int64_t dx, int64_t dy) {
  return uint64_t(dx) << 32 ^ uint64_t(uint32_t(dy));
}

template <int Pairs>
void TriangleDrawer<Pairs>::SetUp(const Corners& c, uint64_t shape1, uint64_t shape2,
                                  const Triangle* wound, Attributes* a) {
  // The key's words as the vertices give them.
  const uint8_t* p[3] = {At(c.index[0]) + 12, At(c.index[1]) + 12, At(c.index[2]) + 12};
  auto word = [&](size_t i) {
    if (i < 2) return i == 0 ? shape1 : shape2;
    const size_t v = (i - 2) / 3, k = (i - 2) % 3;
    uint64_t w = 0;
    if (k < 2 || Pairs == 2) std::memcpy(&w, p[v] + 8 * k, 8);
    return w;
  };
  const bool same = [&]<size_t... I>(std::index_sequence<I...>) {
    return ((word(I) ^ a->key.word[I]) | ...) == 0;
  }
  (std::make_index_sequence<Attributes::kKeyWords>());
  Triangle t{};  // set before use by triangle(); zeroed so no compiler sees it read unset
  auto triangle = [&]() -> const Triangle& {
    if (wound == nullptr) {
      Wind(c, &t);
      wound = &t;
    }
    return *wound;
  };
  if (!a->keyKnown || !same) {
    for (size_t i = 0; i < Attributes::kKeyWords; ++i) a->key.word[i] = word(i);
    a->keyKnown = true;
    const Triangle& w = triangle();
    for (int i = 0; i < 3; ++i) Load(w.index[i], &a->vertices[i]);
    SetUpPlanes(w, a);
  }
  a->g.x0 = double(c.X[0]) / 16.0;  // vertex 0 keeps its place in the winding
  a->g.y0 = double(c.Y[0]) / 16.0;
  if (!a->exactDiffuse) return;
  const Triangle& w = triangle();
  const RasterVertex* v = a->vertices;
  for (int ch = 0; ch < 4; ++ch) {
    const int pos = 24 - 8 * ch;  // a, r, g, b
    const int64_t value[3] = {(v[0].color >> pos) & 0xFF, (v[1].color >> pos) & 0xFF,
                              (v[2].color >> pos) & 0xFF};
    // Edge k's function is the unnormalised weight of the vertex opposite it, (k + 2) % 3.
    a->exact[ch] = ExactPlane{};
    for (int k = 0; k < 3; ++k) {
      const Edge e = w.EdgeAt(k);
      a->exact[ch].nx += value[(k + 2) % 3] * e.a;
      a->exact[ch].ny += value[(k + 2) % 3] * e.b;
      a->exact[ch].n0 += value[(k + 2) % 3] * e.c;
    }
  }
}

template <int Pairs>
void TriangleDrawer<Pairs>::SetUpPlanes(const Triangle& t, Attributes* a) {
  const RasterVertex* v = a->vertices;
  const int64_t* X = t.X;
  const int64_t* Y = t.Y;
  a->area = t.area;
  Geometry& g = a->g;
  g.dx1 = double(X[1] - X[0]) / 16.0;
  g.dy1 = double(Y[1] - Y[0]) / 16.0;
  g.dx2 = double(X[2] - X[0]) / 16.0;
  g.dy2 = double(Y[2] - Y[0]) / 16.0;
  g.area = double(t.area) / 256.0;
  const double q[3] = {v[0].rhw, v[1].rhw, v[2].rhw};
  a->perspective = !(q[0] == q[1] && q[1] == q[2]);
  if (a->perspective) a->q = g.Make(q[0], q[1], q[2]);
  auto plane = [&](int index, double a0, double a1, double a2) {
    a->used[index] = true;
    Plane p = a->perspective ? g.Make(a0 * q[0], a1 * q[1], a2 * q[2]) : g.Make(a0, a1, a2);
    p.lo = std::min({a0, a1, a2});
    p.hi = std::max({a0, a1, a2});
    a->planes[index] = p;
  };
  std::fill(std::begin(a->used), std::end(a->used), false);
  for (int s = 0; s < 2; ++s) {
    if (!pipe_.Samples(s)) continue;
    const int pr = job_.pair[s];
    const double w = double(job_.textureWidth[s]) * 256.0,
                 h = double(job_.textureHeight[s]) * 256.0;
    plane(2 * s, v[0].uv[pr][0] * w, v[1].uv[pr][0] * w, v[2].uv[pr][0] * w);
    plane(2 * s + 1, v[0].uv[pr][1] * h, v[1].uv[pr][1] * h, v[2].uv[pr][1] * h);
  }
  for (int s = 0; s < 2; ++s) {
    const Plane &ps = a->planes[2 * s], &pt = a->planes[2 * s + 1];
    a->stepped[s] =
        !a->perspective && std::fabs(ps.gx) < kMaxFixedStep && std::fabs(pt.gx) < kMaxFixedStep;
    a->steps[2 * s] = a->stepped[s] ? Nearest(ps.gx * kFixedOne) : 0;
    a->steps[2 * s + 1] = a->stepped[s] ? Nearest(pt.gx * kFixedOne) : 0;
  }
  a->flatDiffuse = v[0].color == v[1].color && v[1].color == v[2].color;
  a->color = v[0].color;
  a->white = a->flatDiffuse && a->color == 0xFFFFFFFFu;
  a->exactDiffuse = false;
  a->fused = a->stepped[0] && pipe_.HasFused(a->white);
  for (int k = 0; k < 2; ++k) {
    const Plane& p = a->planes[k];
    a->start.a0[k] = p.a0, a->start.gx[k] = p.gx, a->start.gy[k] = p.gy;
    a->start.lo[k] = p.lo, a->start.hi[k] = p.hi;
  }
  if (!pipe_.NeedsDiffuse(a->white)) return;
  if (a->flatDiffuse) {
    if (!a->flatFilled || a->flat[0] != a->color)
      std::fill(std::begin(a->flat), std::end(a->flat), a->color);
    a->flatFilled = true;
    return;
  }
  for (int c = 0; c < 4; ++c) {
    const int pos = 24 - 8 * c;  // a, r, g, b
    plane(4 + c, double((v[0].color >> pos) & 0xFF), double((v[1].color >> pos) & 0xFF),
          double((v[2].color >> pos) & 0xFF));
  }
  a->exactDiffuse = !a->perspective;
}

template <int Pairs>
void TriangleDrawer<Pairs>::Draw(uint32_t i0, uint32_t i1, uint32_t i2) {
  float px[3], py[3];
  Position(i0, &px[0], &py[0]);
  Position(i1, &px[1], &py[1]);
  Position(i2, &px[2], &py[2]);
  const int64_t x0 = Snap(px[0]), y0 = Snap(py[0]), x1 = Snap(px[1]), y1 = Snap(py[1]),
                x2 = Snap(px[2]), y2 = Snap(py[2]);
  const Corners c{{i0, i1, i2}, {x0, x1, x2}, {y0, y1, y2}};
  Triangle t;
  if (!Wind(c, &t)) return;
  const int64_t* Y = t.Y;
  const RECT& vp = job_.viewport;
  const int64_t yFirst = std::max<int64_t>(CeilDiv(std::min({Y[0], Y[1], Y[2]}), 16), vp.top);
  const int64_t yLast =
      std::min<int64_t>(FloorDiv(std::max({Y[0], Y[1], Y[2]}), 16), vp.bottom - 1);
  if (yFirst > yLast) return;
  Attributes& a = attributes_[0];
  SetUp(c, ShapeWord(x1 - x0, y1 - y0), ShapeWord(x2 - x0, y2 - y0), &t, &a);

  // Each edge bounds x on every row: x >= -floor(E_y / a) for a > 0, x <= floor(E_y / -a) for
  // a < 0, where E_y is its function at x = 0 less the bias, stepped by b a row; a horizontal
  // edge only says whether the row has pixels.
  FloorStepper left[3], right[3];
  int64_t level[3], levelStep[3];
  int lefts = 0, rights = 0, flats = 0;
  for (int k = 0; k < 3; ++k) {
    const Edge e = t.EdgeAt(k);
    const int64_t first = e.b * yFirst + e.c - e.bias;
    if (e.a > 0)
      left[lefts++] = FloorStepper(first, e.b, e.a);
    else if (e.a < 0)
      right[rights++] = FloorStepper(first, e.b, -e.a);
    else
      level[flats] = first, levelStep[flats++] = e.b;
  }
  // The rows, with the edges' counts fixed (two left edges and a right one, one left and two
  // right, or one of each and a horizontal one).
  auto rows = [&](auto ls, auto rs, auto fs) {
    for (int64_t y = yFirst; y <= yLast; ++y) {
      int64_t xl = vp.left, xr = int64_t(vp.right) - 1;
      for (int i = 0; i < ls; ++i) {
        xl = std::max(xl, -left[i].q);
        left[i].Step();
      }
      for (int i = 0; i < rs; ++i) {
        xr = std::min(xr, right[i].q);
        right[i].Step();
      }
      for (int i = 0; i < fs; ++i) {
        if (level[i] < 0) xr = xl - 1;
        level[i] += levelStep[i];
      }
      Run(a, int32_t(y), xl, xr);
    }
  };
  using One = std::integral_constant<int, 1>;
  using Two = std::integral_constant<int, 2>;
  using None = std::integral_constant<int, 0>;
  if (flats == 1)
    rows(One{}, One{}, One{});
  else if (lefts == 2)
    rows(Two{}, One{}, None{});
  else
    rows(One{}, Two{}, None{});
  if (held_ > 0) Flush();
}

// The rectangle's pixels are those of its two triangles together (the top-left rule holds along
// its four sides), and the shared diagonal gives each pixel to one of them: the first triangle's
// diagonal edge splits every row.
template <int Pairs>
bool TriangleDrawer<Pairs>::DrawQuad(uint32_t first) {
  // Positions compared as bits (equal bits snap alike): x in the low half of each word.
  const uint8_t* p = At(first);
  auto xy = [&](size_t i) {
    uint64_t w;
    std::memcpy(&w, p + kStride * i, 8);
    return w;
  };
  const uint64_t v0 = xy(0), v1 = xy(1), v2 = xy(2), v5 = xy(5);
  constexpr uint64_t kX = 0xFFFFFFFFu, kY = ~kX;
  // Corners top-left 0, top-right 1, bottom-left 2 = 3, bottom-right 5, with 4 = 1.
  if (((xy(3) ^ v2) | (xy(4) ^ v1) | ((v0 ^ v1) & kY) | ((v0 ^ v2) & kX) | ((v5 ^ v1) & kX) |
       ((v5 ^ v2) & kY)) != 0)
    return false;
  const int64_t xa = Snap(std::bit_cast<float>(uint32_t(v0))),
                xb = Snap(std::bit_cast<float>(uint32_t(v1)));
  const int64_t ya = Snap(std::bit_cast<float>(uint32_t(v0 >> 32))),
                yb = Snap(std::bit_cast<float>(uint32_t(v2 >> 32)));
  if (xa == xb || ya == yb) return true;  // two triangles of no area
  // Columns and rows whose centres lie inside: the left and top sides take their centres,
  // ceil(p / 16) onwards and below ceil(q / 16).
  auto ceil16 = [](int64_t v) { return -(-v >> 4); };
  const RECT& vp = job_.viewport;
  const int64_t left = ceil16(std::min(xa, xb)), right = ceil16(std::max(xa, xb)) - 1;
  const int64_t top = ceil16(std::min(ya, yb)), bottom = ceil16(std::max(ya, yb)) - 1;
  const int64_t xl = std::max<int64_t>(left, vp.left), xr = std::min<int64_t>(right, vp.right - 1);
  const int64_t yFirst = std::max<int64_t>(top, vp.top);
  const int64_t yLast = std::min<int64_t>(bottom, vp.bottom - 1);
  if (xl > xr || yFirst > yLast) return true;
  if (held_ > 0) Flush();
  // The memo's key for this rectangle when the viewport leaves it whole.
  const bool whole = xl == left && xr == right && yFirst == top && yLast == bottom;
  const int64_t key[4] = {xb - xa, yb - ya, xa & 15, ya & 15};
  // Each vertex's bytes from its 1/w on, as three words.
  auto bytesOf = [&](int i, int k) {
    uint64_t w = 0;
    if (k < 2 || Pairs == 2) std::memcpy(&w, p + kStride * size_t(i) + 12 + 8 * k, 8);
    return w;
  };
  if (whole && memo_.valid) {
    const uint64_t differ =
        uint64_t(key[0] ^ memo_.key[0]) | uint64_t(key[1] ^ memo_.key[1]) |
        uint64_t(key[2] ^ memo_.key[2]) |
        uint64_t(key[3] ^ memo_.key[3]) | [&]<size_t... I>(std::index_sequence<I...>) {
      return ((bytesOf(I / 3, I % 3) ^ memo_.bytes[I / 3][I % 3]) | ...);
    }
    (std::make_index_sequence<18>());
    if (differ == 0) {
      pipe_.ShadeFusedRuns(memo_.runs, memo_.count, int32_t(left), int32_t(top));
      return true;
    }
  }
  const int flushes = flushes_;
  bool oneLoop = true;  // every run held for the one-loop form
  // The first triangle's diagonal edge, from its vertex 1 to its vertex 2 once wound positively
  // (vertex 0 keeps its place).
  const bool flipped = (xb - xa) * (yb - ya) < 0;
  const Edge d = flipped ? MakeEdge(xa, yb, xb, ya) : MakeEdge(xb, ya, xa, yb);
  bool ready[2] = {false, false};
  FloorStepper split;
  bool splitting = false;
  for (int64_t y = yFirst; y <= yLast; ++y) {
    // The first triangle holds the pixels where d.a x + row >= 0.
    const int64_t row = d.b * y + d.c - d.bias;
    const bool firstLeft = d.a * xl + row >= 0, firstRight = d.a * xr + row >= 0;
    int64_t from[2] = {xl, xl}, to[2] = {xr, xr};
    if (firstLeft == firstRight) {
      from[firstLeft ? 1 : 0] = xr + 1;  // the whole row in one triangle
    } else {
      if (!splitting) split = FloorStepper(row, d.b, d.a > 0 ? d.a : -d.a), splitting = true;
      if (d.a > 0) {  // x >= -q
        from[0] = -split.q, to[1] = -split.q - 1;
      } else {  // x <= q
        to[0] = split.q, from[1] = split.q + 1;
      }
    }
    if (splitting) split.Step();
    for (int i = 0; i < 2; ++i) {
      if (from[i] > to[i]) continue;
      if (!ready[i]) {
        if (i == 0) {
          const Corners c{{first, first + 1, first + 2}, {xa, xb, xa}, {ya, ya, yb}};
          SetUp(c, ShapeWord(xb - xa, 0), ShapeWord(0, yb - ya), nullptr, &attributes_[0]);
        } else {
          const Corners c{{first + 3, first + 4, first + 5}, {xa, xb, xb}, {yb, ya, yb}};
          SetUp(c, ShapeWord(xb - xa, ya - yb), ShapeWord(xb - xa, 0), nullptr, &attributes_[1]);
        }
        ready[i] = true;
      }
      oneLoop &= attributes_[i].fused;
      Run(attributes_[i], int32_t(y), from[i], to[i]);
    }
  }
  // Kept for the next rectangle when every run is held, then dropped if one reads outside.
  const bool keep = whole && oneLoop && flushes == flushes_;
  if (keep) {
    std::memcpy(memo_.key, key, sizeof key);
    for (int i = 0; i < 6; ++i)
      for (int k = 0; k < 3; ++k) memo_.bytes[i][k] = bytesOf(i, k);
    memo_.count = held_;
    for (int i = 0; i < held_; ++i) {
      memo_.runs[i] = runs_[i];
      memo_.runs[i].y -= int32_t(top), memo_.runs[i].x -= int32_t(left);
    }
  }
  outside_ = false;
  if (held_ > 0) Flush();
  memo_.valid = keep && !outside_;
  return true;
}

template <int Pairs>
void TriangleDrawer<Pairs>::Flush() {
  // Runs reading outside the texture take the general form (which clamps or wraps) and leave
  // the list.
  int count = 0;
  for (int i = 0; i < held_; ++i) {
    const FusedRun& run = runs_[i];
    if (pipe_.RunInside(run.c, run.n)) {
      runs_[count++] = run;
    } else {
      Span(*runOf_[i], run.y, run.x, run.x + run.n);
      outside_ = true;
    }
  }
  if (count > 0) pipe_.ShadeFusedRuns(runs_, count);
  held_ = 0;
  ++flushes_;
}

template <int Pairs>
void TriangleDrawer<Pairs>::Span(const Attributes& a, int32_t y, int32_t x0, int32_t x1) {
  const int n = x1 - x0;
  const double yd = double(y) - a.g.y0, xd = double(x0) - a.g.x0;
  auto span = [&](const Plane& p) {
    return SpanPlane{p.a0 + p.gy * yd, p.gx, p.lo, p.hi, a.q.a0 + a.q.gy * yd, a.q.gx};
  };
  auto& coords = coords_;
  auto& channels = channels_;
  auto& diffuse = diffuse_;
  auto evaluate = [&](const Plane& p, int32_t* out) {
    if (a.perspective)
      Evaluate<true>(span(p), xd, n, out);
    else
      Evaluate<false>(span(p), xd, n, out);
  };
  Fragments f;
  f.y = y;
  f.x = x0;
  f.n = n;
  for (int s = 0; s < 2; ++s) {
    f.stepped[s] = a.stepped[s];
    if (!a.used[2 * s]) continue;
    const Plane &ps = a.planes[2 * s], &pt = a.planes[2 * s + 1];
    if (f.stepped[s]) {
      f.step[s] = SteppedCoords{FixedStart(span(ps), xd), FixedStart(span(pt), xd), a.steps[2 * s],
                                a.steps[2 * s + 1]};
    } else {
      evaluate(ps, coords[2 * s]);
      evaluate(pt, coords[2 * s + 1]);
      f.s[s] = coords[2 * s];
      f.t[s] = coords[2 * s + 1];
    }
  }
  if (a.used[4]) {
    for (int c = 0; c < 4; ++c) {
      if (a.exactDiffuse)
        EvaluateExact(a.exact[c], a.area, x0, y, n, channels[c]);
      else
        evaluate(a.planes[4 + c], channels[c]);
    }
    for (int k = 0; k < n; ++k)
      diffuse[k] = uint32_t(channels[0][k]) << 24 | uint32_t(channels[1][k]) << 16 |
                   uint32_t(channels[2][k]) << 8 | uint32_t(channels[3][k]);
    f.diffuse = diffuse;
  } else {
    f.diffuse = a.flat;
  }
  pipe_.Shade(f, a.white);
}

}  // namespace

HRESULT CheckVertices(const RasterJob& job) {
  // A stage's pair within 2^22 texels: |u| x W <= 2^22, exact in double for a float u, holds
  // exactly when |u| is at most the largest float not above 2^22 / W. Pairs no stage samples
  // take anything: their bits are cleared before the test.
  float limit[4] = {};
  uint32_t keep[4] = {};
  for (int s = 0; s < 2; ++s) {
    const int pr = job.pair[s];
    if (pr < 0) continue;
    const int32_t size[2] = {job.textureWidth[s], job.textureHeight[s]};
    for (int k = 0; k < 2; ++k) {
      float l = float(kMaxTexels / size[k]);
      while (double(l) * size[k] > kMaxTexels) l = std::nextafter(l, 0.0f);
      const int lane = 2 * pr + k;
      limit[lane] = keep[lane] ? std::min(limit[lane], l) : l;
      keep[lane] = 0x7FFFFFFF;  // |u|
    }
  }
  const size_t stride = job.pairs == 2 ? sizeof(D3DTLVERTEX2) : sizeof(D3DTLVERTEX1);
  const float maxPosition = float(kMaxPosition);
#if defined(__SSE2__)
  // Lanes x, y, z, 1/w: |x| and |y| within the positions, z anything, 0 < 1/w <= FLT_MAX; then
  // the pairs' lanes.
  const __m128 absolute = _mm_castsi128_ps(_mm_setr_epi32(0x7FFFFFFF, 0x7FFFFFFF, 0, -1));
  const __m128 upper =
      _mm_setr_ps(maxPosition, maxPosition, 0.0f, std::numeric_limits<float>::max());
  const __m128 lower = _mm_setr_ps(-1.0f, -1.0f, -1.0f, 0.0f);
  const __m128 pairKeep = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(keep)));
  const __m128 pairLimit = _mm_loadu_ps(limit);
  auto check = [&](auto pairs) {
    __m128 ok = _mm_castsi128_ps(_mm_set1_epi32(-1));
    const uint8_t* p = job.vertices;
    for (uint32_t i = 0; i < job.count; ++i, p += stride) {
      const __m128 head = _mm_and_ps(_mm_loadu_ps(reinterpret_cast<const float*>(p)), absolute);
      const __m128 uv =
          pairs == 2 ? _mm_loadu_ps(reinterpret_cast<const float*>(p + 20))
                     : _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 20)));
      ok = _mm_and_ps(ok, _mm_and_ps(_mm_cmple_ps(head, upper), _mm_cmpgt_ps(head, lower)));
      ok = _mm_and_ps(ok, _mm_cmple_ps(_mm_and_ps(uv, pairKeep), pairLimit));
    }
    return _mm_movemask_ps(ok) == 0xF;
  };
  const bool ok = job.pairs == 2 ? check(std::integral_constant<int, 2>{})
                                 : check(std::integral_constant<int, 1>{});
  return ok ? DD_OK : DDERR_INVALIDPARAMS;
#else
  bool ok = true;
  for (uint32_t i = 0; i < job.count; ++i) {
    float f[9] = {};
    std::memcpy(f, job.vertices + stride * i, stride);
    ok &= (std::fabs(f[0]) <= maxPosition) & (std::fabs(f[1]) <= maxPosition);
    ok &= (f[3] > 0.0f) & (f[3] <= std::numeric_limits<float>::max());
    for (int k = 0; k < 4; ++k)
      ok &= std::bit_cast<float>(std::bit_cast<uint32_t>(f[5 + k]) & keep[k]) <= limit[k];
  }
  return ok ? DD_OK : DDERR_INVALIDPARAMS;
#endif
}

namespace {

template <int Pairs>
void RasterizeAs(const RasterJob& job, const PixelPipeline& pipeline) {
  TriangleDrawer<Pairs> drawer(job, pipeline);
  const uint32_t n = job.count;
  switch (job.type) {
    case D3DPT_TRIANGLELIST:
      for (uint32_t i = 0; i + 2 < n;) {
        if (i + 5 < n && drawer.DrawQuad(i)) {
          i += 6;
        } else {
          drawer.Draw(i, i + 1, i + 2);
          i += 3;
        }
      }
      break;
    case D3DPT_TRIANGLESTRIP:
      for (uint32_t i = 0; i + 2 < n; ++i) drawer.Draw(i, i + 1, i + 2);
      break;
    case D3DPT_TRIANGLEFAN:
      for (uint32_t i = 1; i + 1 < n; ++i) drawer.Draw(0, i, i + 1);
      break;
  }
}

}  // namespace

void Rasterize(const RasterJob& job, const PixelPipeline& pipeline) {
  if (job.pairs == 2)
    RasterizeAs<2>(job, pipeline);
  else
    RasterizeAs<1>(job, pipeline);
}

}  // namespace zq::platform
