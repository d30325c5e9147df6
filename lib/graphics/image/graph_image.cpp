#include "graphics/image/graph_image.h"

#include <cstring>

#include "base/memory.h"

namespace zq::gfx {

int ReleaseImageBuffers(GraphImage* image) {
  if (image == nullptr) return 0;
  base::TrackedFree(image->Pixels);
  std::memset(image, 0, sizeof *image);
  return 0;
}

}  // namespace zq::gfx
