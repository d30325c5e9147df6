#include "graphics/d3d/d3d_stubs.h"

namespace zq::gfx {

int FlushCurrentVertexBatch() {
  return -1;
}
int EndCurrentScene() {
  return -1;
}
int G_D3D_ClearDrawTarget() {
  return -1;
}
int G_D3D_SetBlendGraph(const GraphRecord*, int, int) {
  return -1;
}
int G_D3D_DrawImage(int32_t, int32_t, const GraphRecord*, int32_t, int32_t) {
  return -1;
}
int G_D3D_DrawImageStretched(int32_t, int32_t, int32_t, int32_t, const GraphRecord*, int32_t,
                             int32_t) {
  return -1;
}
int G_D3D_DrawImageRotated(float, float, double, double, const GraphRecord*, int32_t, int32_t) {
  return -1;
}
int G_D3D_DrawImageQuad(float, float, float, float, float, float, float, float, const GraphRecord*,
                        int32_t) {
  return -1;
}
int G_D3D_DrawRect(int32_t, int32_t, int32_t, int32_t, uint32_t) {
  return -1;
}
int G_D3D_DrawFrameBox(int32_t, int32_t, int32_t, int32_t, uint32_t) {
  return -1;
}
int G_D3D_GetDrawScreenGraph(int32_t, int32_t, int32_t, int32_t, GraphRecord*, int32_t) {
  return -1;
}
int G_D3D_UpdateMovieTexture(MovieRecord*, GraphRecord*) {
  return -1;
}

}  // namespace zq::gfx
