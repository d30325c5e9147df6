// Choosing the specialised pixel loop for a pixel width known only at run time.
#pragma once

#include <type_traits>

namespace zq::platform {

// Calls f with the bytes per pixel as a compile-time constant (std::integral_constant): 1, 2 or
// 3 as given, 4 for anything else.
template <class F>
inline void WithPixelBytes(int bytes, F&& f) {
  switch (bytes) {
    case 1:
      f(std::integral_constant<int, 1>{});
      break;
    case 2:
      f(std::integral_constant<int, 2>{});
      break;
    case 3:
      f(std::integral_constant<int, 3>{});
      break;
    default:
      f(std::integral_constant<int, 4>{});
      break;
  }
}

}  // namespace zq::platform
