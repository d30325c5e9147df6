#include "graphics/mask_fill.h"

#include <cstring>

#include "base/rect.h"
#include "graphics/mask.h"

namespace zq::gfx {

int FillMaskRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t value) {
  int32_t pitch = 0;
  uint8_t* pattern = GetMaskPattern(&pitch);
  if (pattern == nullptr) return -1;
  platform::RECT r{left, top, right, bottom};
  const platform::RECT whole{0, 0, g_MaskScreen.Width, g_MaskScreen.Height};
  base::ClipRectToRect(&r, &whole);
  if (base::IsRectEmpty(r)) return 0;
  for (int32_t y = r.top; y < r.bottom; ++y)
    std::memset(pattern + int64_t(y) * pitch + r.left, value & 0xFF, size_t(r.right - r.left));
  return 0;
}

}  // namespace zq::gfx
