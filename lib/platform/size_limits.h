// The size limits every image, store, bitmap and surface shares.
#pragma once

#include <cstdint>

namespace zq::platform {

// Pixels on each side of an image, at most.
inline constexpr int32_t kMaxImageSide = 65535;
// Bytes in one pixel block, at most (2^31 - 1: pitches and offsets stay in int32).
inline constexpr int64_t kMaxBlockBytes = 0x7FFFFFFF;

}  // namespace zq::platform
