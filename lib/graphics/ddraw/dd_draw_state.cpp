#include "graphics/ddraw/dd_draw_state.h"

namespace zq::gfx {

int G_DD_SetDrawArea(const platform::RECT*) {
  return 0;
}
int G_DD_SetWorldTransform(const Matrix4x4*) {
  return 0;
}
int G_DD_SetViewTransform(const Matrix4x4*) {
  return 0;
}
int G_DD_SetProjectionTransform(const Matrix4x4*) {
  return 0;
}

}  // namespace zq::gfx
