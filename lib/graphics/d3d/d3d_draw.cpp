#include "graphics/d3d/d3d_draw.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "base/math.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/ddraw/dd_soft_draw.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/texture_format.h"

namespace zq::gfx {

using namespace platform;

namespace {

bool HaveDevice() {
  return g_D3D.Object != nullptr && g_D3D.Device != nullptr;
}

// Blend modes with device factors; others draw nothing.
bool DrawableMode() {
  return g_D3DState.BlendMode >= 0 && g_D3DState.BlendMode <= 5;
}

// A point of a quad: where it lands on the draw screen and the graph pixel it shows there.
struct Corner {
  double x, y;    // draw-screen pixels
  double gx, gy;  // graph pixels
};

// What one graph draw puts on every vertex: texture coordinates are graph pixels moved to the
// piece's place in its store and scaled to the texture; stage 1's are graph pixels scaled to the
// blend texture.
struct QuadSource {
  double storeDx = 0, storeDy = 0;  // the piece's place in its store less its place in the graph
  double textureScaleX = 0, textureScaleY = 0;
  double blendScaleX = 0, blendScaleY = 0;
  uint32_t color = 0;
  void SetPiece(const Surface3DRecord& p, int textureWidth, int textureHeight) {
    storeDx = double(p.StoreX) - p.GraphX;
    storeDy = double(p.StoreY) - p.GraphY;
    textureScaleX = 1.0 / textureWidth;
    textureScaleY = 1.0 / textureHeight;
  }
};

// Positions the device takes (it refuses a whole DrawPrimitive for one beyond them).
constexpr float kMaxPosition = 131072.0f;

// A quad's four corners (top-left, top-right, bottom-left, bottom-right) as the device takes
// them.
struct QuadCorners {
  float x[4], y[4], u[4], v[4], u2[4], v2[4];
  uint32_t color;
};

// False when a corner lies where the device takes no vertex.
bool MakeQuadCorners(const Corner (&c)[4], const QuadSource& s, QuadCorners* q) {
  const double ox = g_DrawState.DrawOrigin.left, oy = g_DrawState.DrawOrigin.top;
  bool inside = true;
  for (int i = 0; i < 4; ++i) {
    q->x[i] = float(c[i].x + ox);
    q->y[i] = float(c[i].y + oy);
    q->u[i] = float((c[i].gx + s.storeDx) * s.textureScaleX);
    q->v[i] = float((c[i].gy + s.storeDy) * s.textureScaleY);
    q->u2[i] = float(c[i].gx * s.blendScaleX);
    q->v2[i] = float(c[i].gy * s.blendScaleY);
    inside &= std::fabs(q->x[i]) <= kMaxPosition && std::fabs(q->y[i]) <= kMaxPosition;
  }
  q->color = s.color;
  return inside;
}

// The two triangles of a quad whose corner k (top-left, top-right, bottom-left, bottom-right)
// corner(k) gives: top-left, top-right, bottom-left and bottom-left, top-right, bottom-right.
// corner(vertex, k) fills the vertex in place, field by field: copying whole vertices built on
// the stack would read them back wider than they were written.
template <class CornerAt>
[[gnu::always_inline]] inline void WriteQuad(CornerAt corner, D3DTLVERTEX2* out) {
  corner(&out[0], 0), corner(&out[1], 1), corner(&out[2], 2);
  corner(&out[3], 2), corner(&out[4], 1), corner(&out[5], 3);
}

void WriteQuad(const QuadCorners& q, D3DTLVERTEX2* out) {
  WriteQuad(
      [&](D3DTLVERTEX2* v, int k) {
        v->sx = q.x[k], v->sy = q.y[k], v->sz = 0.0f, v->rhw = 1.0f, v->color = q.color;
        v->tu = q.u[k], v->tv = q.v[k], v->tu2 = q.u2[k], v->tv2 = q.v2[k];
      },
      out);
}

// One axis of an axis-aligned quad: two screen positions and the graph coordinates they show.
struct Span {
  double pos[2];
  double g[2];
};

// Cuts the span to [lo, hi] (its positions may come in either order), moving the graph
// coordinates in proportion. False when nothing is left.
[[gnu::always_inline]] inline bool ClipSpan(Span* s, double lo, double hi) {
  const int first = s->pos[0] <= s->pos[1] ? 0 : 1, last = 1 - first;
  const double p0 = s->pos[first], p1 = s->pos[last], g0 = s->g[first], g1 = s->g[last];
  if (p1 <= lo || p0 >= hi) return false;
  auto at = [&](double p) { return g0 + (p - p0) * (g1 - g0) / (p1 - p0); };
  if (p0 < lo) {
    s->g[first] = at(lo);
    s->pos[first] = lo;
  }
  if (p1 > hi) {
    s->g[last] = at(hi);
    s->pos[last] = hi;
  }
  return true;
}

// One axis of an axis-aligned quad as the device takes it: its two ends' positions (the draw
// origin added), texture coordinates and blend-texture coordinates.
struct AxisEnds {
  float pos[2], tex[2], blend[2];
};

// False when an end lies where the device takes no vertex.
[[gnu::always_inline]] inline bool MakeAxisEnds(const Span& s, double origin, double storeD,
                                                double textureScale, double blendScale,
                                                AxisEnds* out) {
  out->pos[0] = float(s.pos[0] + origin), out->pos[1] = float(s.pos[1] + origin);
  out->tex[0] = float((s.g[0] + storeD) * textureScale);
  out->tex[1] = float((s.g[1] + storeD) * textureScale);
  out->blend[0] = float(s.g[0] * blendScale), out->blend[1] = float(s.g[1] * blendScale);
  return std::fabs(out->pos[0]) <= kMaxPosition && std::fabs(out->pos[1]) <= kMaxPosition;
}

// An axis-aligned quad: corner k takes x of column k & 1 and y of row k >> 1 (the numbers
// MakeQuadCorners gives for such corners).
void WriteQuad(const AxisEnds& x, const AxisEnds& y, uint32_t color, D3DTLVERTEX2* out) {
  WriteQuad(
      [&](D3DTLVERTEX2* v, int k) {
        const int i = k & 1, j = k >> 1;
        v->sx = x.pos[i], v->sy = y.pos[j], v->sz = 0.0f, v->rhw = 1.0f, v->color = color;
        v->tu = x.tex[i], v->tv = y.tex[j], v->tu2 = x.blend[i], v->tv2 = y.blend[j];
      },
      out);
}

// The setup of a graph draw (stage 0's texture filled in per piece). False, with the result,
// when nothing is to be drawn.
[[gnu::always_inline]] inline bool BeginGraphDraw(const GraphRecord* graph, int32_t trans,
                                                  D3DDrawSetup* setup, QuadSource* src,
                                                  int* result) {
  *result = -1;
  if (!HaveDevice() || graph == nullptr || g_D3DState.RenderTarget == nullptr) return false;
  *result = 0;
  if (!DrawableMode()) return false;
  const bool alphaTest = trans != 0 && graph->Options.AlphaTestFlag != 0;
  int blendWidth = 0, blendHeight = 0;
  setup->Texture[0] = nullptr;
  setup->Texture[1] = GetD3DBlendTexture(&blendWidth, &blendHeight);
  setup->ColorKey = trans != 0 ? 1 : 0;
  setup->AlphaFunc = alphaTest ? D3DCMP_GREATER : D3DCMP_ALWAYS;
  // The texture's alpha counts for graphs with an alpha channel and for transparent draws of
  // alpha-test graphs.
  setup->TextureAlpha =
      graph->Options.AlphaChFlag != 0 || alphaTest ? D3DTOP_MODULATE : D3DTOP_SELECTARG2;
  src->blendScaleX = blendWidth > 1 ? 1.0 / blendWidth : 1.0;
  src->blendScaleY = blendHeight > 1 ? 1.0 / blendHeight : 1.0;
  src->color = GetD3DVertexColor();
  return true;
}

// A piece's quad as a draw works it out: drawn (1), clipped away (0) or with a corner beyond the
// device's positions (-1); Write puts its two triangles into the batch.
struct AxisQuad {
  int state;
  AxisEnds x, y;
  uint32_t color;
  void Write(D3DTLVERTEX2* out) const { WriteQuad(x, y, color, out); }
};
struct MappedQuad {
  int state;
  QuadCorners corners;
  void Write(D3DTLVERTEX2* out) const { WriteQuad(corners, out); }
};

// Draws every piece of the graph; quadOf(piece, source) gives the quad of a piece. 0 or -1.
template <class QuadOf>
int DrawPieces(const GraphRecord* graph, int32_t trans, QuadOf quadOf) {
  D3DDrawSetup setup;
  QuadSource src;
  int result = 0;
  if (!BeginGraphDraw(graph, trans, &setup, &src, &result)) return result;
  const uint32_t textureAlpha = setup.TextureAlpha;
  for (int i = 0; i < graph->PieceCount && i < kGraphMaxPieces; ++i) {
    const Surface3DRecord* piece = LookupSurface3DRecord(graph->Pieces[i]);
    const SurfaceDataRecord* store =
        piece != nullptr ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
    // A texture cannot be read while it is drawn into.
    if (store == nullptr || store->Surface == nullptr || store->Surface == g_D3DState.RenderTarget)
      return -1;
    src.SetPiece(*piece, store->Width, store->Height);
    const auto quad = quadOf(*piece, src);
    if (quad.state == 0) continue;
    setup.Texture[0] = store->Surface;
    // A texture without alpha reads 255, which modulates the vertex alpha to itself: the
    // device then writes such textures in its one-loop form.
    setup.TextureAlpha = GetTextureFormatDataB(int(store->FormatIndex))->AW == 0
                             ? uint32_t(D3DTOP_MODULATE)
                             : textureAlpha;
    if (ApplyDrawSetup(setup) != 0 || quad.state < 0) return -1;
    D3DTLVERTEX2* out = QueueSpace(6);
    if (out == nullptr) return -1;
    quad.Write(out);
  }
  return 0;
}

// An axis-aligned draw: graph column gx lands at x(gx), row gy at y(gy); every quad is cut to the
// float draw area moved by the half-pixel offset.
template <class MapX, class MapY>
int DrawAxisAligned(const GraphRecord* graph, int32_t trans, MapX mapX, MapY mapY) {
  const float* area = g_DrawState.DrawAreaF;
  const double ox = g_DrawState.DrawOrigin.left, oy = g_DrawState.DrawOrigin.top;
  return DrawPieces(graph, trans, [&](const Surface3DRecord& p, const QuadSource& src) {
    AxisQuad q{0, {}, {}, src.color};
    const double gx0 = p.GraphX, gx1 = gx0 + p.Width, gy0 = p.GraphY, gy1 = gy0 + p.Height;
    Span sx{{mapX(gx0), mapX(gx1)}, {gx0, gx1}};
    Span sy{{mapY(gy0), mapY(gy1)}, {gy0, gy1}};
    if (!ClipSpan(&sx, area[0] - 0.5, area[2] - 0.5) ||
        !ClipSpan(&sy, area[1] - 0.5, area[3] - 0.5))
      return q;
    const bool insideX =
        MakeAxisEnds(sx, ox, src.storeDx, src.textureScaleX, src.blendScaleX, &q.x);
    const bool insideY =
        MakeAxisEnds(sy, oy, src.storeDy, src.textureScaleY, src.blendScaleY, &q.y);
    q.state = insideX && insideY ? 1 : -1;
    return q;
  });
}

// A draw whose graph point (gx, gy) lands at map(gx, gy); the viewport clips.
template <class Map>
int DrawMapped(const GraphRecord* graph, int32_t trans, Map map) {
  return DrawPieces(graph, trans, [&](const Surface3DRecord& p, const QuadSource& src) {
    Corner c[4];
    for (int k = 0; k < 4; ++k) {
      const double gx = p.GraphX + (k & 1 ? p.Width : 0), gy = p.GraphY + (k >> 1 ? p.Height : 0);
      double x, y;
      map(gx, gy, &x, &y);
      c[k] = Corner{x, y, gx, gy};
    }
    MappedQuad q;
    q.state = MakeQuadCorners(c, src, &q.corners) ? 1 : -1;
    return q;
  });
}

double Coordinate(int32_t value, int32_t intCoordinates) {
  return intCoordinates == 1 ? double(value) : double(std::bit_cast<float>(value));
}

// An untextured box's vertex colour: the screen colour times the bright, the blend state's alpha.
uint32_t BoxColor(uint32_t color) {
  int rgb[3] = {};
  SplitScreenColorValue(color, &rgb[0], &rgb[1], &rgb[2]);
  const uint32_t bright = g_DrawState.Bright;
  uint32_t out = g_D3DState.VertexAlpha << 24;
  for (int c = 0; c < 3; ++c) {
    const uint32_t b = (bright >> (16 - 8 * c)) & 0xFF;
    out |= (uint32_t(rgb[c]) * b / 255) << (16 - 8 * c);
  }
  return out;
}

// Untextured quads over the pixel rectangles [left, right) x [top, bottom), with the half-pixel
// offset, each coordinate held well outside any screen. 0 or -1.
// Box coordinates are held within this (the draw origin added stays in the device's range).
constexpr int64_t kBoxRange = 65536;

int DrawBoxes(const int64_t (*boxes)[4], int count, uint32_t color) {
  static constexpr D3DDrawSetup kUntextured{
      {nullptr, nullptr}, 0, D3DCMP_ALWAYS, D3DTOP_SELECTARG2};
  if (ApplyDrawSetup(kUntextured) != 0) return -1;
  QuadSource src;
  src.color = BoxColor(color);
  QuadCorners q[4];
  auto at = [](int64_t p) { return double(std::clamp<int64_t>(p, -kBoxRange, kBoxRange)) - 0.5; };
  for (int i = 0; i < count; ++i) {
    const double l = at(boxes[i][0]), t = at(boxes[i][1]), r = at(boxes[i][2]), b = at(boxes[i][3]);
    const Corner c[4] = {{l, t, 0, 0}, {r, t, 0, 0}, {l, b, 0, 0}, {r, b, 0, 0}};
    if (!MakeQuadCorners(c, src, &q[i])) return -1;
  }
  D3DTLVERTEX2* out = QueueSpace(size_t(6 * count));
  if (out == nullptr) return -1;
  for (int i = 0; i < count; ++i) WriteQuad(q[i], out + 6 * i);
  return 0;
}

// Whether a box twin draws itself (0 with *result), or hands over to the DirectDraw twin.
bool BoxOnDevice(int* result) {
  *result = -1;
  if (!HaveDevice()) return true;
  if (g_D3DState.RenderTarget == nullptr) return false;
  *result = 0;
  return true;
}

}  // namespace

int G_D3D_DrawImage(int32_t x, int32_t y, const GraphRecord* graph, int32_t trans,
                    int32_t intCoordinates) {
  const double left = Coordinate(x, intCoordinates) - 0.5,
               top = Coordinate(y, intCoordinates) - 0.5;
  return DrawAxisAligned(
      graph, trans, [&](double gx) { return left + gx; }, [&](double gy) { return top + gy; });
}

int G_D3D_DrawImageStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                             const GraphRecord* graph, int32_t trans, int32_t intCoordinates) {
  if (graph == nullptr || graph->Width < 1 || graph->Height < 1) return -1;
  const double l = Coordinate(x1, intCoordinates), t = Coordinate(y1, intCoordinates);
  const double sx = (Coordinate(x2, intCoordinates) - l) / graph->Width;
  const double sy = (Coordinate(y2, intCoordinates) - t) / graph->Height;
  return DrawAxisAligned(
      graph, trans, [&](double gx) { return l + gx * sx - 0.5; },
      [&](double gy) { return t + gy * sy - 0.5; });
}

int G_D3D_DrawImageRotated(float x, float y, double scale, double angle, const GraphRecord* graph,
                           int32_t trans, int32_t turn) {
  if (graph == nullptr) return -1;
  float sine = 0.0f, cosine = 0.0f;
  base::SinCosFloat(float(angle), &sine, &cosine);
  const double s = sine, c = cosine, halfW = graph->Width / 2.0, halfH = graph->Height / 2.0;
  const double cx = double(x) - 0.5, cy = double(y) - 0.5;
  return DrawMapped(graph, trans, [&](double gx, double gy, double* px, double* py) {
    const double u = turn != 0 ? halfW - gx : gx - halfW, v = gy - halfH;
    *px = (u * c - v * s) * scale + cx;
    *py = (u * s + v * c) * scale + cy;
  });
}

int G_D3D_DrawImageQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                        float y4, const GraphRecord* graph, int32_t trans) {
  if (graph == nullptr || graph->Width < 1 || graph->Height < 1) return -1;
  const double w = graph->Width, h = graph->Height;
  return DrawMapped(graph, trans, [&](double gx, double gy, double* px, double* py) {
    const double a = gx / w, b = gy / h;
    const double topX = x1 + (double(x2) - x1) * a, topY = y1 + (double(y2) - y1) * a;
    const double bottomX = x3 + (double(x4) - x3) * a, bottomY = y3 + (double(y4) - y3) * a;
    *px = topX + (bottomX - topX) * b;
    *py = topY + (bottomY - topY) * b;
  });
}

int G_D3D_DrawRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color) {
  int result = 0;
  if (!BoxOnDevice(&result)) return G_DD_DrawRect(x1, y1, x2, y2, color);
  if (result != 0 || !DrawableMode() || x1 == x2 || y1 == y2) return result;
  const int64_t box[1][4] = {
      {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)}};
  return DrawBoxes(box, 1, color);
}

int G_D3D_DrawFrameBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color) {
  int result = 0;
  if (!BoxOnDevice(&result)) return G_DD_DrawFrameBox(x1, y1, x2, y2, color);
  if (result != 0 || !DrawableMode()) return result;
  // The software outline runs through x1 and x2 - 1, y1 and y2 - 1, in either order.
  const int64_t xa = std::min<int64_t>(x1, int64_t(x2) - 1),
                xb = std::max<int64_t>(x1, int64_t(x2) - 1);
  const int64_t ya = std::min<int64_t>(y1, int64_t(y2) - 1),
                yb = std::max<int64_t>(y1, int64_t(y2) - 1);
  // Rows ya and yb whole, then the columns xa and xb between them; each pixel once.
  int64_t boxes[4][4];
  int count = 0;
  auto add = [&](int64_t l, int64_t t, int64_t r, int64_t b) {
    boxes[count][0] = l, boxes[count][1] = t, boxes[count][2] = r, boxes[count][3] = b;
    ++count;
  };
  add(xa, ya, xb + 1, ya + 1);
  if (yb > ya) add(xa, yb, xb + 1, yb + 1);
  if (yb - ya > 1) {
    add(xa, ya + 1, xa + 1, yb);
    if (xb > xa) add(xb, ya + 1, xb + 1, yb);
  }
  return DrawBoxes(boxes, count, color);
}

int G_D3D_ClearDrawTarget() {
  if (!HaveDevice()) return -1;
  FlushCurrentVertexBatch();
  if (g_D3DState.RenderTarget == nullptr) return 0;
  return Failed(g_D3D.Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0)) ? -1 : 0;
}

}  // namespace zq::gfx
