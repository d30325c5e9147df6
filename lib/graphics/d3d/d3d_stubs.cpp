#include "graphics/d3d/d3d_stubs.h"

#include "base/log.h"
#include "graphics/ddraw/color_data.h"

namespace zq::gfx {

int FlushCurrentVertexBatch() {
  return -1;
}
int EndCurrentScene() {
  return -1;
}
int GetCurrentDeviceSlotWord() {
  return 0;
}

int GetDirect3DObject() {
  base::LogAddString("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n");
  return base::LogAddString("Direct3Dオブジェクトの作成に失敗しました\n");
}

int ReleaseDirect3DObject() {
  base::LogAddString("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します\n");
  base::LogAddString("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に解放されています\n");
  return 0;
}

const ColorData* SelectTextureFormat(int, int, int, int) {
  static const ColorData none{};
  return &none;
}

int G_D3D_InitGraphics() {
  return -1;
}
int G_D3D_ResetViewport(int) {
  return -1;
}
int G_D3D_CreateGraph(GraphRecord*) {
  return -1;
}
// No Direct3D graph can exist, so there are no pieces to delete.
int G_D3D_DeleteGraph(GraphRecord*) {
  return 0;
}
int G_D3D_DeriveGraph(GraphRecord*, int, int, int, int, GraphRecord*) {
  return -1;
}
int G_D3D_SetGraphImage(const ColorData*, platform::HBITMAP, platform::HBITMAP, int, int,
                        GraphRecord*, int, const GraphImage*, const GraphImage*) {
  return -1;
}
int G_D3D_SetGraphImageDIB(const ColorData*, platform::HBITMAP, platform::HBITMAP,
                           const platform::RECT*, int, int, GraphRecord*, int, const GraphImage*,
                           const GraphImage*) {
  return -1;
}
int G_D3D_FillGraph(GraphRecord*, int, int, int, int) {
  return -1;
}
int G_D3D_RestoreGraph(GraphRecord*) {
  return -1;
}
int G_D3D_SetDrawTarget(int32_t) {
  return -1;
}
int G_D3D_SetDrawArea(const platform::RECT*) {
  return -1;
}
int G_D3D_ApplyDrawMode(int) {
  return -1;
}
int G_D3D_ApplyBlendMode(int, int) {
  return -1;
}
int G_D3D_ApplyBright() {
  return -1;
}
int G_D3D_ClearDrawTarget() {
  return -1;
}
int G_D3D_SetBlendGraph(const GraphRecord*, int, int) {
  return -1;
}
int G_D3D_SetWorldTransform(const Matrix4x4*) {
  return -1;
}
int G_D3D_SetViewTransform(const Matrix4x4*) {
  return -1;
}
int G_D3D_SetProjectionTransform(const Matrix4x4*) {
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
