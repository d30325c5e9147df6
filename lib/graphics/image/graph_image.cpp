#include "graphics/image/graph_image.h"

#include <cstring>

#include "base/memory.h"

namespace zq::gfx {

void ReleaseImageBuffers(GraphImage* image) {
  if (image == nullptr) return;
  base::TrackedFree(image->Pixels);
  std::memset(image, 0, sizeof *image);
}

}  // namespace zq::gfx
