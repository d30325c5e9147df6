// The image draws of the DirectDraw path: resolve the graph's first piece, choose the direct
// or the bracketed path, and hand the draw to the rotated or triangle rasterizer.
#include "graphics/ddraw/dd_image_draw.h"

#include <algorithm>

#include "base/math.h"
#include "base/rect.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/ddraw/blend_graph.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/soft_draw_bracket.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/mask.h"
#include "graphics/surface_data.h"
#include "softrender/rotated.h"
#include "softrender/soft_bounds.h"

namespace zq::gfx {
namespace {

using platform::RECT;

// The graph's first piece and its store; false when either does not resolve.
struct FirstPiece {
  const Surface2DRecord* piece = nullptr;
  SurfaceDataRecord* data = nullptr;
  MEMIMG view{};

  bool Resolve(const GraphRecord& graph) {
    piece = graph.PieceCount > 0 ? LookupSurface2DRecord(graph.Pieces[0]) : nullptr;
    data = piece != nullptr ? GetSurfaceDataRecord(piece->SurfaceData) : nullptr;
    return data != nullptr;
  }
  // The piece as an image on the direct path: the store's image when the piece covers it
  // whole, else a view of the piece's rectangle.
  const MEMIMG* Image() {
    if (piece->Width == data->Width && piece->Height == data->Height) return &data->Image;
    MakeMemImgView(&view, &data->Image, piece->SrcX, piece->SrcY, piece->Width, piece->Height);
    return &view;
  }
  RECT Whole() const { return RECT{0, 0, piece->Width, piece->Height}; }
};

// The direct path's destination: the mask's scratch image while the mask is active.
MEMIMG* DirectDestination() {
  return g_DrawState.MaskActive ? GetMaskImage() : g_DD.DrawTargetMemImg;
}

// Before a surface is locked the Direct3D batch is drawn and, when asked, its scene ended.
void LeaveDirect3D() {
  FlushCurrentVertexBatch();
  if (g_DD.EndSceneBeforeDrawFlag) EndCurrentScene();
}

// The rectangle the rasterizers clip to on the work image: the draw area within the draw
// screen, whose size the work image has.
RECT WorkClip() {
  const RECT screen{0, 0, std::max(g_DrawState.DrawScreenWidth, 0),
                    std::max(g_DrawState.DrawScreenHeight, 0)};
  RECT clip = g_DrawState.DrawArea;
  base::ClipRectToRect(&clip, &screen);
  return clip;
}

}  // namespace

RECT ImageDrawLockBox(const RotatedImageDraw& d) {
  RECT box{};
  if (!soft::RotatedWriteBox(d.sourceWidth, d.sourceHeight, d.x, d.y, d.angle, d.scale, d.turn,
                             WorkClip(), &box))
    return RECT{0, 0, 0, 0};
  return box;
}

RECT ImageDrawLockBox(const soft::SoftTriangleVertex* triangle) {
  soft::SoftBounds b;
  for (int i = 0; i < 3; ++i) b.Include(triangle[i].x, triangle[i].y);
  RECT box = soft::TriangleWriteBox(b);
  const RECT clip = WorkClip();
  base::ClipRectToRect(&box, &clip);
  return box;
}

int G_DD_DrawImageRotated(float x, float y, double scale, double angle, const GraphRecord* graph,
                          int32_t trans, int32_t turn) {
  const int32_t cx = base::FloatToInt(x), cy = base::FloatToInt(y);
  if (g_DD.DirectDraw == nullptr || graph == nullptr) return -1;
  FirstPiece first;
  if (!first.Resolve(*graph)) return -1;
  const MEMIMG* blend = GetBlendGraphMemImg();
  const float a = float(angle), s = float(scale);

  if (IsSoftwareScreenInUse()) {
    soft::DrawMemImgRotated(DirectDestination(), first.Image(), cx, cy, a, s, trans, turn, blend);
    return 0;
  }
  LeaveDirect3D();
  const RECT box = ImageDrawLockBox(
      RotatedImageDraw{first.piece->Width, first.piece->Height, cx, cy, a, s, turn});
  const RECT source = first.Whole();
  if (BeginSoftDrawOnSurface(first.piece, 0, &source, &box, 0, nullptr) < 0) return -1;
  soft::DrawMemImgRotated(g_DD.SoftWorkTargetImage, g_DD.SoftWorkSourceImage, cx, cy, a, s, trans,
                          turn, blend);
  EndSoftDrawOnSurface();
  return 0;
}

int G_DD_DrawImageTriangle(const soft::SoftTriangleVertex* vertices, const GraphRecord* graph,
                           int32_t trans, uint32_t colour) {
  if (g_DD.DirectDraw == nullptr || vertices == nullptr) return -1;
  FirstPiece first;
  const MEMIMG* blend = nullptr;
  if (graph != nullptr) {
    if (!first.Resolve(*graph)) return -1;
    blend = GetBlendGraphMemImg();
  }

  if (IsSoftwareScreenInUse()) {
    soft::DrawMemImgTriangle(DirectDestination(), graph ? first.Image() : nullptr, vertices, trans,
                             blend, colour);
    return 0;
  }
  LeaveDirect3D();
  // The texels read at the inclusive span ends can stray past the vertices' texel box, so the
  // whole piece is presented.
  const RECT box = ImageDrawLockBox(vertices);
  RECT source{};
  if (graph != nullptr) source = first.Whole();
  if (BeginSoftDrawOnSurface(first.piece, 0, graph ? &source : nullptr, &box, 0, nullptr) < 0)
    return -1;
  soft::DrawMemImgTriangle(g_DD.SoftWorkTargetImage, g_DD.SoftWorkSourceImage, vertices, trans,
                           blend, colour);
  EndSoftDrawOnSurface();
  return 0;
}

int G_DD_DrawImageQuadInt(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                          int32_t x3, int32_t y3, const GraphRecord* graph, int32_t trans) {
  if (g_DD.DirectDraw == nullptr || graph == nullptr) return -1;
  const int32_t w = graph->Width, h = graph->Height;
  const soft::SoftTriangleVertex v[4] = {
      {x0, y0, 0, 0}, {x1, y1, w, 0}, {x2, y2, 0, h}, {x3, y3, w, h}};
  const int first = G_DD_DrawImageTriangle(&v[0], graph, trans, 0);
  const int second = G_DD_DrawImageTriangle(&v[1], graph, trans, 0);
  // Drawn when either half was: on a surface a half wholly outside the draw area has nothing to
  // lock, as a rotated draw wholly outside it has not.
  return first == 0 || second == 0 ? 0 : -1;
}

int G_DD_DrawImageQuad(float x0, float y0, float x1, float y1, float x2, float y2, float x3,
                       float y3, const GraphRecord* graph, int32_t trans) {
  using base::FloatToInt;
  return G_DD_DrawImageQuadInt(FloatToInt(x0), FloatToInt(y0), FloatToInt(x1), FloatToInt(y1),
                               FloatToInt(x2), FloatToInt(y2), FloatToInt(x3), FloatToInt(y3),
                               graph, trans);
}

}  // namespace zq::gfx
