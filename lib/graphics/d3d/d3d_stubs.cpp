#include "graphics/d3d/d3d_stubs.h"

namespace zq::gfx {

int G_D3D_UpdateMovieTexture(MovieRecord*, GraphRecord*) {
  return -1;
}

}  // namespace zq::gfx
