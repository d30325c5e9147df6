// Writing the mask pattern: the one way a program shapes its mask screen.
#pragma once

#include <cstdint>

namespace zq::gfx {

// Sets the pattern bytes of the rectangle (right and bottom exclusive; a reversed rectangle is
// empty), clipped to the mask screen, to the low byte of value. 0, or -1 when no mask pattern
// exists.
int FillMaskRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t value);

}  // namespace zq::gfx
