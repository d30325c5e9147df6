#include "graphics/ddraw/dd_soft_draw.h"

#include <algorithm>
#include <cstdint>

#include "graphics/d3d/d3d_batch.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/soft_draw_bracket.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/mask.h"
#include "softrender/boxes.h"
#include "softrender/soft_bounds.h"

namespace zq::gfx {

using platform::RECT;

namespace {

// The direct path's destination.
MEMIMG* DirectTarget() {
  return g_DrawState.MaskActive == 1 ? GetMaskImage() : g_DD.DrawTargetMemImg;
}

// Before a surface is locked, pending Direct3D work must reach it.
void FinishDirect3DWork() {
  FlushCurrentVertexBatch();
  if (g_DD.EndSceneBeforeDrawFlag) EndCurrentScene();
}

// Fills rect (already normalised) on whichever path is in use.
int FillBox(RECT rect, uint32_t color) {
  if (IsSoftwareScreenInUse()) {
    MEMIMG* dest = DirectTarget();
    if (dest == nullptr) return -1;
    soft::FillMemImgBox(dest, &rect, color);
    return 0;
  }
  FinishDirect3DWork();
  if (BeginSoftDrawOnSurface(nullptr, 0, nullptr, &rect, 1, &color) < 0) return -1;
  soft::FillMemImgBox(g_DD.SoftWorkTargetImage, &rect, color);
  EndSoftDrawOnSurface();
  return 0;
}

}  // namespace

int G_DD_DrawRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color) {
  if (GetDirectDrawObject() == nullptr) return -1;
  // Normalised here, so that a reversed box fills alike on the software screen (where the
  // renderer normalises) and on a surface (where the clip would collapse it).
  return FillBox(RECT{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)},
                 color);
}

int G_DD_DrawFrameBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color) {
  const uint32_t param = uint32_t(g_DrawState.BlendParam);
  // The far edges are one in from x2 and y2; at the bottom of the int range they stay put
  // rather than wrap.
  const int32_t xr = x2 == INT32_MIN ? x2 : x2 - 1, yb = y2 == INT32_MIN ? y2 : y2 - 1;
  const soft::SoftLineSegment segments[4] = {
      {x1, y1, xr, y1, color, param},
      {xr, y1, xr, yb, color, param},
      {xr, yb, x1, yb, color, param},
      {x1, yb, x1, y1, color, param},
  };
  return G_DD_DrawSegmentList(segments, 4);
}

int G_DD_DrawSegmentList(const soft::SoftLineSegment* segments, int32_t count) {
  if (GetDirectDrawObject() == nullptr) return -1;
  if (segments == nullptr && count > 0) return -1;
  if (IsSoftwareScreenInUse()) {
    MEMIMG* dest = DirectTarget();
    if (dest == nullptr) return -1;
    soft::DrawMemImgLineList(dest, segments, count);
    return 0;
  }
  FinishDirect3DWork();
  const RECT bounds = soft::SegmentListBounds(segments, count);
  // Colour conversion on: an opaque list on a screen of another format is written directly,
  // and through a converted copy the colours are converted with the pixels.
  if (BeginSoftDrawOnSurface(nullptr, 0, nullptr, &bounds, 1, nullptr) < 0) return -1;
  if (!IsSoftDrawConverting()) {
    soft::DrawMemImgLineList(g_DD.SoftWorkTargetImage, segments, count);
  } else {
    // The colours converted a batch at a time, on the stack; the list keeps its order.
    constexpr int32_t kBatch = 64;
    soft::SoftLineSegment converted[kBatch];
    for (int32_t first = 0; first < count; first += kBatch) {
      const int32_t n = std::min(kBatch, count - first);
      for (int32_t i = 0; i < n; ++i) {
        converted[i] = segments[first + i];
        converted[i].color = SoftDrawWorkColor(converted[i].color);
      }
      soft::DrawMemImgLineList(g_DD.SoftWorkTargetImage, converted, n);
    }
  }
  EndSoftDrawOnSurface();
  return 0;
}

int G_DD_ClearDrawTarget() {
  if (GetDirectDrawObject() == nullptr) return -1;
  MEMIMG* image = g_DD.DrawTargetMemImg;
  if (image != nullptr) {
    // The screen image, or a graph's whole store image.
    const RECT all{0, 0, image->Width, image->Height};
    soft::FillMemImgBox(image, &all, 0);
    return 0;
  }
  if (IsSoftwareScreenInUse()) return -1;
  return FillBox(RECT{0, 0, g_DrawState.DrawScreenWidth, g_DrawState.DrawScreenHeight}, 0);
}

}  // namespace zq::gfx
