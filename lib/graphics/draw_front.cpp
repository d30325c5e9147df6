#include "graphics/draw_front.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <utility>

#include "base/log.h"
#include "base/math.h"
#include "base/rect.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_draw.h"
#include "graphics/d3d/d3d_graph.h"
#include "graphics/d3d/d3d_text.h"
#include "graphics/ddraw/dd_blit.h"
#include "graphics/ddraw/dd_graph.h"
#include "graphics/ddraw/dd_image_draw.h"
#include "graphics/ddraw/dd_screen_capture.h"
#include "graphics/ddraw/dd_soft_draw.h"
#include "graphics/ddraw/dd_stretch.h"
#include "graphics/ddraw/dd_text.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "graphics/graph.h"
#include "graphics/library_init.h"
#include "graphics/mask.h"
#include "graphics/movie.h"
#include "graphics/text.h"
#include "softrender/soft_bounds.h"

namespace zq::gfx {

using base::ClampToInt32;
using platform::RECT;

namespace {

bool FrontBufferSoftDrawing() {
  return IsSoftwareScreenInUse() == 1 && g_DrawState.DrawScreen == kDrawScreenFront;
}

bool IsDirect3DGraph(const GraphRecord& graph) {
  return graph.Options.TextureFlag == 1;
}

// Some bracketing step needs the affected rectangle.
bool BracketNeeded(bool direct3D) {
  return (g_DrawState.BlendMode == 3 && direct3D) || g_DrawState.MaskActive == 1 ||
         FrontBufferSoftDrawing();
}

// The affected rectangle from box(), worked out only when some bracketing step needs it.
template <class Box>
RECT BracketRect(bool direct3D, Box box) {
  return BracketNeeded(direct3D) ? box() : RECT{};
}

// The affected rectangle, ordered and clipped to the draw screen, so that the mask and the
// copy-out never reach outside it whatever the corners were.
RECT AffectedRect(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  const int64_t width = std::max(g_DrawState.DrawScreenWidth, 0);
  const int64_t height = std::max(g_DrawState.DrawScreenHeight, 0);
  return RECT{int32_t(std::clamp<int64_t>(left, 0, width)),
              int32_t(std::clamp<int64_t>(top, 0, height)),
              int32_t(std::clamp<int64_t>(right, 0, width)),
              int32_t(std::clamp<int64_t>(bottom, 0, height))};
}

// Steps that refuse a graph draw before anything happens: the empty draw area (0), an invalid
// handle (-1), a selected blend graph that is invalid or smaller than the graph (-1). The graph
// when the draw may go on, else null with the result.
GraphRecord* CheckGraphDraw(HandleValue handle, int* result) {
  *result = 0;
  if (g_DrawState.DrawAreaEmpty) return nullptr;
  *result = -1;
  GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return nullptr;
  if (g_DrawState.BlendGraph != -1) {
    const GraphRecord* blend = GetGraphRecord(g_DrawState.BlendGraph);
    if (blend == nullptr || blend->Width < graph->Width || blend->Height < graph->Height)
      return nullptr;
  }
  *result = 0;
  return graph;
}

// The refusals, then the wait while the application is inactive. The wait may rebuild the
// display, and the restore callback may delete graphs (the one drawn or the blend graph), so
// after a wait the checks are made again on fresh records.
GraphRecord* AdmitGraphDraw(HandleValue handle, int* result) {
  GraphRecord* graph = CheckGraphDraw(handle, result);
  if (graph == nullptr || IsApplicationActive() == 1) return graph;
  WaitWhileInactive();
  return CheckGraphDraw(handle, result);
}

void BeginSubtract(const RECT* rect, int32_t invertParam);

// Where string draws bracket differently from graph and box draws.
struct BracketSteps {
  bool maskFirst = true;      // the mask begun before the software screen's copy-in
  bool mask = true;           // the mask bracketed while it is active
  int32_t invertParam = 255;  // the parameter of the subtract emulation's first inversion
};

// The bracketing around one twin call: the mask, the software screen's copy-in, the subtract
// emulation, and then the mask and the copy-out closed again whatever the twin returned.
template <class Twin>
int Bracketed(const RECT& rect, bool direct3D, Twin twin, BracketSteps steps = {}) {
  const bool subtract = g_DrawState.BlendMode == 3 && direct3D;
  const bool mask = steps.mask && g_DrawState.MaskActive == 1;
  const bool front = FrontBufferSoftDrawing();
  if (mask && steps.maskFirst) BeginMaskedDraw(rect.left, rect.top, rect.right, rect.bottom);
  if (front && g_DD.FrontResyncFlag) SyncSoftScreenFromSurface();
  if (mask && !steps.maskFirst) BeginMaskedDraw(rect.left, rect.top, rect.right, rect.bottom);
  int result;
  if (subtract) {
    BeginSubtract(&rect, steps.invertParam);
    result = twin();
    EndSubtractBlendDraw(&rect);
  } else {
    result = twin();
  }
  if (mask) EndMaskedDraw(rect.left, rect.top, rect.right, rect.bottom);
  if (front) FlushSoftScreenRect(&rect);
  return result;
}

// Screens are at most 65535 pixels a side: a corner farther than this from the draw screen's
// top-left corner, or one that is not a number, is beyond every screen. The draws that take
// floats refuse such corners on both paths alike, before either draws (the Direct3D device takes
// no vertex beyond twice this, the software rotated draw none beyond an eighth of it).
constexpr double kMaxCornerCoordinate = 65536.0;

bool CornerInRange(double v) {
  return std::fabs(v) <= kMaxCornerCoordinate;  // false for NaN
}

// The four corners of a graph turned and scaled about (x, y), the centre truncated to whole
// pixels.
struct RotatedCorners {
  double x[4], y[4];

  RotatedCorners(float cx, float cy, double scale, double angle, const GraphRecord& graph) {
    const int32_t ix = base::FloatToInt(cx), iy = base::FloatToInt(cy);
    const float a = float(angle);
    const double s = std::sin(a), c = std::cos(a);
    const int32_t hw = graph.Width / 2, hh = graph.Height / 2;
    const double us[4] = {double(-hw), double(graph.Width - hw), double(-hw),
                          double(graph.Width - hw)};
    const double vs[4] = {double(-hh), double(-hh), double(graph.Height - hh),
                          double(graph.Height - hh)};
    for (int i = 0; i < 4; ++i) {
      x[i] = (us[i] * c - vs[i] * s) * scale + ix;
      y[i] = (us[i] * s + vs[i] * c) * scale + iy;
    }
  }
  // Not finite (a NaN or infinite argument) or beyond every screen.
  bool InRange() const {
    for (int i = 0; i < 4; ++i)
      if (!CornerInRange(x[i]) || !CornerInRange(y[i])) return false;
    return true;
  }
  // Their bounding box grown by 5.
  RECT Rect() const {
    const double minX = *std::min_element(x, x + 4), maxX = *std::max_element(x, x + 4);
    const double minY = *std::min_element(y, y + 4), maxY = *std::max_element(y, y + 4);
    return AffectedRect(base::DoubleToInt(minX - 5.0), base::DoubleToInt(minY - 5.0),
                        base::DoubleToInt(maxX + 5.0), base::DoubleToInt(maxY + 5.0));
  }
};

// The box the four corners can write, from the first corner on: the coordinates truncated and
// taken through the triangle walk's write box, which includes the far corner's pixel.
RECT CornersRect(const float (&xs)[4], const float (&ys)[4]) {
  const int32_t x0 = base::FloatToInt(xs[0]), y0 = base::FloatToInt(ys[0]);
  soft::SoftBounds bounds{x0, y0, x0, y0};
  for (int i = 1; i < 4; ++i) bounds.Include(base::FloatToInt(xs[i]), base::FloatToInt(ys[i]));
  const RECT box = soft::TriangleWriteBox(bounds);
  return AffectedRect(box.left, box.top, box.right, box.bottom);
}

// Brings a movie graph to its movie's current frame. 1 when the movie shows its frames on an
// overlay and has just shown this one at (x, y) with the scale, so that nothing more is drawn.
int StepMovie(const GraphRecord& graph, int32_t x, int32_t y, int32_t scale) {
  if (graph.Movie == -1) return 0;
  MovieRecord* movie = GetMovieRecord(graph.Movie);
  if (movie == nullptr) return 0;
  UpdateMovieFrame(graph.Handle);
  if (movie->SurfaceMode != kMovieSurfaceOverlay) return 0;
  BltMovieFrameToScreen(x, y, scale, movie, 1);
  return 1;
}

// Boxes go to Direct3D only when new graphs would and the screen is not a software one.
bool BoxesOnDirect3D() {
  return g_DrawState.ChooseDirect3DGraphs != 0 && Is3DAvailable() == 1 &&
         GetSoftwareScreenFlag() == 0;
}

// direct3DTwin false: the draw has no Direct3D twin and is made in software on either path.
template <class Twin>
int DrawBox(const RECT& touched, Twin twin, bool direct3DTwin = true) {
  if (g_DrawState.DrawAreaEmpty) return 0;
  WaitWhileInactive();
  const bool direct3D = direct3DTwin && BoxesOnDirect3D();
  return Bracketed(touched, direct3D, [&] { return twin(direct3D); });
}

}  // namespace

// ---- Graph draws --------------------------------------------------------------------------------

int DrawGraphAt(int32_t x, int32_t y, HandleValue handle, int32_t trans) {
  int result = 0;
  GraphRecord* graph = AdmitGraphDraw(handle, &result);
  if (graph == nullptr) return result;
  const bool direct3D = IsDirect3DGraph(*graph);
  const RECT rect = BracketRect(direct3D, [&] {
    return AffectedRect(x, y, int64_t(x) + graph->Width, int64_t(y) + graph->Height);
  });
  if (StepMovie(*graph, x, y, 1) == 1) return -1;
  return Bracketed(rect, direct3D, [&] {
    return direct3D ? G_D3D_DrawImage(x, y, graph, trans, 1)
                    : G_DD_DrawImage(uint32_t(x), uint32_t(y), graph, trans, 1);
  });
}

int DrawGraphRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, HandleValue handle,
                  int32_t trans) {
  int result = 0;
  GraphRecord* graph = AdmitGraphDraw(handle, &result);
  if (graph == nullptr) return result;
  const bool direct3D = IsDirect3DGraph(*graph);
  const RECT rect = BracketRect(direct3D, [&] { return AffectedRect(x1, y1, x2, y2); });
  // A movie shown on its overlay is scaled by whole steps only.
  const int32_t scale = ClampToInt32((int64_t(x2) - x1) / graph->Width);
  if (StepMovie(*graph, x1, y1, scale) == 1) return -1;
  return Bracketed(rect, direct3D, [&] {
    return direct3D ? G_D3D_DrawImageStretched(x1, y1, x2, y2, graph, trans, 1)
                    : G_DD_DrawImageStretched(x1, y1, x2, y2, graph, trans, 1, -1);
  });
}

int DrawGraphMirrored(int32_t x, int32_t y, HandleValue handle, int32_t trans) {
  const GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return -1;
  return DrawGraphRect(ClampToInt32(int64_t(x) + graph->Width), y, x,
                       ClampToInt32(int64_t(y) + graph->Height), handle, trans);
}

namespace {

// Narrows the draw area (and its float copy) for one call and puts it back on destruction.
// The empty flag and the Direct3D viewport stay as they are.
class NarrowedDrawArea {
 public:
  explicit NarrowedDrawArea(RECT wanted) : saved_(g_DrawState.DrawArea) {
    std::copy(std::begin(g_DrawState.DrawAreaF), std::end(g_DrawState.DrawAreaF), savedF_);
    base::ClipRectToRect(&wanted, &saved_);
    StoreDrawArea(wanted);
  }
  ~NarrowedDrawArea() {
    g_DrawState.DrawArea = saved_;
    std::copy(std::begin(savedF_), std::end(savedF_), g_DrawState.DrawAreaF);
  }
  NarrowedDrawArea(const NarrowedDrawArea&) = delete;
  NarrowedDrawArea& operator=(const NarrowedDrawArea&) = delete;

 private:
  RECT saved_;
  float savedF_[4];
};

}  // namespace

int DrawGraphInRect(int32_t x, int32_t y, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                    HandleValue handle, int32_t trans, int32_t mirror) {
  const NarrowedDrawArea area(
      RECT{x, y, ClampToInt32(int64_t(x) + width), ClampToInt32(int64_t(y) + height)});
  const int32_t top = ClampToInt32(int64_t(y) - srcY);
  if (mirror == 0) return DrawGraphAt(ClampToInt32(int64_t(x) - srcX), top, handle, trans);
  const GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return -1;
  // The source column srcX lands on the rectangle's right edge.
  const int64_t left = int64_t(x) - (int64_t(graph->Width) - srcX - width);
  return DrawGraphMirrored(ClampToInt32(left), top, handle, trans);
}

int DrawGraphRectScaled(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t srcX, int32_t srcY,
                        int32_t srcWidth, int32_t srcHeight, HandleValue handle, int32_t trans) {
  const GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return -1;
  // A source of no width or height has no scale.
  if (srcWidth <= 0 || srcHeight <= 0) return -1;
  const bool mirrorX = x1 > x2, mirrorY = y1 > y2;
  if (mirrorX) std::swap(x1, x2);
  if (mirrorY) std::swap(y1, y2);
  const NarrowedDrawArea area(RECT{x1, y1, x2, y2});
  const double sx = double(int64_t(x2) - x1) / srcWidth;
  const double sy = double(int64_t(y2) - y1) / srcHeight;
  // Edge = corner -/+ the truncated scaled distance, in double, then clamped into int.
  auto edge = [](int32_t corner, double sign, double distance) {
    const double v = double(corner) + sign * std::trunc(distance);
    return int32_t(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
  };
  // One axis: the source's start lands at the near corner (the far one when mirrored), the
  // graph's two edges lie the scaled source offsets away on either side.
  auto edges = [&](int32_t nearCorner, int32_t farCorner, bool mirror, int32_t src, int32_t size,
                   double scale, int32_t* first, int32_t* second) {
    const int32_t corner = mirror ? farCorner : nearCorner;
    const double sign = mirror ? -1.0 : 1.0;
    *first = edge(corner, -sign, src * scale);
    *second = edge(corner, sign, (double(size) - src) * scale);
  };
  int32_t left, right, top, bottom;
  edges(x1, x2, mirrorX, srcX, graph->Width, sx, &left, &right);
  edges(y1, y2, mirrorY, srcY, graph->Height, sy, &top, &bottom);
  return DrawGraphRect(left, top, right, bottom, handle, trans);
}

int DrawGraphRotScaledF(float x, float y, double scale, double angle, HandleValue handle,
                        int32_t trans, int32_t turn) {
  int result = 0;
  GraphRecord* graph = AdmitGraphDraw(handle, &result);
  if (graph == nullptr) return result;
  const RotatedCorners corners(x, y, scale, angle, *graph);
  if (!CornerInRange(x) || !CornerInRange(y) || !corners.InRange()) return -1;
  const bool direct3D = IsDirect3DGraph(*graph);
  const RECT rect = BracketRect(direct3D, [&] { return corners.Rect(); });
  if (graph->Movie >= 0) UpdateMovieFrame(handle);
  return Bracketed(rect, direct3D, [&] {
    return direct3D ? G_D3D_DrawImageRotated(x, y, scale, angle, graph, trans, turn)
                    : G_DD_DrawImageRotated(x, y, scale, angle, graph, trans, turn);
  });
}

int DrawGraphRotScaledAt(int32_t x, int32_t y, double scale, double angle, HandleValue graph,
                         int32_t trans, int32_t turn) {
  return DrawGraphRotScaledF(float(x), float(y), scale, angle, graph, trans, turn);
}

int DrawGraphFourCorners(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                         float y4, HandleValue handle, int32_t trans) {
  int result = 0;
  GraphRecord* graph = AdmitGraphDraw(handle, &result);
  if (graph == nullptr) return result;
  for (float v : {x1, y1, x2, y2, x3, y3, x4, y4})
    if (!CornerInRange(v)) return -1;
  const bool direct3D = IsDirect3DGraph(*graph);
  const RECT rect = BracketRect(direct3D, [&] {
    return CornersRect({x1, x2, x3, x4}, {y1, y2, y3, y4});
  });
  if (graph->Movie >= 0) UpdateMovieFrame(handle);
  // The twins take top-left, top-right, bottom-left, bottom-right.
  return Bracketed(rect, direct3D, [&] {
    return direct3D ? G_D3D_DrawImageQuad(x1, y1, x2, y2, x4, y4, x3, y3, graph, trans)
                    : G_DD_DrawImageQuad(x1, y1, x2, y2, x4, y4, x3, y3, graph, trans);
  });
}

int FillGraphColor(HandleValue handle, int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return -1;
  return IsDirect3DGraph(*graph) ? G_D3D_FillGraph(graph, red, green, blue, alpha)
                                 : G_DD_FillGraph(graph, red, green, blue, alpha);
}

// ---- Boxes --------------------------------------------------------------------------------------

int DrawBoxDispatch(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t fill) {
  return fill != 0 ? DrawFilledBox(x1, y1, x2, y2, color) : DrawFrameBox(x1, y1, x2, y2, color);
}

int DrawFilledBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color) {
  return DrawBox(AffectedRect(x1, y1, x2, y2), [&](bool direct3D) {
    return direct3D ? G_D3D_DrawRect(x1, y1, x2, y2, color) : G_DD_DrawRect(x1, y1, x2, y2, color);
  });
}

int DrawFrameBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color) {
  // The outline runs through x1 and x2 - 1, y1 and y2 - 1, in whichever order they come.
  const int64_t xa = x1, xb = int64_t(x2) - 1, ya = y1, yb = int64_t(y2) - 1;
  const RECT touched =
      AffectedRect(std::min(xa, xb), std::min(ya, yb), std::max(xa, xb) + 1, std::max(ya, yb) + 1);
  return DrawBox(touched, [&](bool direct3D) {
    return direct3D ? G_D3D_DrawFrameBox(x1, y1, x2, y2, color)
                    : G_DD_DrawFrameBox(x1, y1, x2, y2, color);
  });
}

int DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color) {
  // The segment's box, its end point included: never drawn, but never outside it either.
  const RECT touched = AffectedRect(std::min<int64_t>(x1, x2), std::min<int64_t>(y1, y2),
                                    std::max<int64_t>(x1, x2) + 1, std::max<int64_t>(y1, y2) + 1);
  // The parameter rides along as in every segment list; the rasterizer reads the draw state's.
  const soft::SoftLineSegment segment{x1, y1, x2, y2, color, uint32_t(g_DrawState.BlendParam)};
  // The DirectDraw twin ends a Direct3D scene before it locks the target, so it serves both.
  return DrawBox(
      touched, [&](bool) { return G_DD_DrawSegmentList(&segment, 1); }, false);
}

// ---- Clearing and copying -----------------------------------------------------------------------

int ClearTargetScreen() {
  WaitWhileInactive();
  if (Is3DAvailable()) G_D3D_ClearDrawTarget();
  G_DD_ClearDrawTarget();
  if (FrontBufferSoftDrawing()) {
    int width = 0, height = 0;
    QueryScreenSize(&width, &height);
    const RECT all{0, 0, width, height};
    FlushSoftScreenRect(&all);
  }
  return 0;
}

int CopyDrawScreenToGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, HandleValue handle,
                          int32_t flag) {
  if (GetGraphRecord(handle) == nullptr) return -1;
  WaitWhileInactive();
  EndCurrentScene();
  GraphRecord* graph = GetGraphRecord(handle);
  if (graph == nullptr) return -1;
  return IsDirect3DGraph(*graph) ? G_D3D_GetDrawScreenGraph(x1, y1, x2, y2, graph, flag)
                                 : G_DD_GetDrawScreenGraph(x1, y1, x2, y2, graph, flag);
}

// ---- Subtractive blending on Direct3D -----------------------------------------------------------

namespace {

// A white box in mode 3 with no bright: with Direct3D's factors of mode 3 (source times inverse
// target, target times zero) it inverts the target under the rectangle (at full parameter).
void InvertUnder(const RECT* rect, int32_t param) {
  const uint32_t bright = g_DrawState.Bright;
  SetDrawBrightPacked(0xFFFFFF);
  SetBlendMode(3, param);
  G_D3D_DrawRect(rect->left, rect->top, rect->right, rect->bottom,
                 GetScreenColorValue(255, 255, 255));
  SetDrawBrightPacked(bright);
}

void BeginSubtract(const RECT* rect, int32_t invertParam) {
  const int32_t param = g_DrawState.BlendParam;
  InvertUnder(rect, invertParam);
  SetBlendMode(5, param);
}

}  // namespace

int BeginSubtractBlendDraw(const RECT* rect) {
  if (rect != nullptr) BeginSubtract(rect, 255);
  return 0;
}

int EndSubtractBlendDraw(const RECT* rect) {
  if (rect == nullptr) return 0;
  const int32_t param = g_DrawState.BlendParam;
  InvertUnder(rect, 255);
  SetBlendMode(3, param);
  return 0;
}

// ---- Strings ------------------------------------------------------------------------------------

int DrawStringWithFont(int32_t x, int32_t y, const char* string, uint32_t color, HandleValue font,
                       uint32_t edgeColor, int32_t vertical) {
  if (string == nullptr || string[0] == '\0' || g_DrawState.DrawAreaEmpty) return 0;
  if (GetFontRecord(font) == nullptr) return base::LogAddString("フォントハンドル値が異常です\n");
  WaitWhileInactive();
  // The wait may have rebuilt the display, which makes every font again (the handle stays, the
  // record and its cache kind may not), so the record is read only now.
  const FontRecord* f = GetFontRecord(font);
  if (f == nullptr) return -1;
  // The Direct3D twin draws only through a texture cache: a memory-cache font (software screen,
  // or fonts kept in system memory) goes to the DirectDraw twin whatever the path option says.
  const bool textureCache = f->TextureCache == 1;
  const bool direct3D =
      textureCache && g_DrawState.ChooseDirect3DGraphs != 0 && Is3DAvailable() == 1;
  RECT rect{};
  if (BracketNeeded(direct3D)) {
    if (x >= g_DrawState.DrawArea.right) return 0;
    GetTextBox(font, x, y, string, vertical, &rect);
  }
  // The copy-in comes before the mask; a texture-cache font's glyphs are graph draws that
  // bracket themselves for the mask; the first inversion takes the caller's parameter.
  const BracketSteps steps{false, !textureCache, g_DrawState.BlendParam};
  return Bracketed(
      rect, direct3D,
      [&] {
        return direct3D ? G_D3D_DrawText(x, y, string, color, font, edgeColor, vertical)
                        : G_DD_DrawText(x, y, string, color, font, edgeColor, vertical);
      },
      steps);
}

int GetFontSize(HandleValue font) {
  const FontRecord* f = GetFontRecord(font);
  return f != nullptr ? f->Size : -1;
}

}  // namespace zq::gfx
