#include <algorithm>

#include "softrender/soft_tables.h"

namespace zq::soft {

void BuildBlendGraphTable(int p, int q, uint8_t table[256]) {
  if (table == nullptr) return;
  // Clamping keeps r at least 1 and every product small.
  const int32_t param = std::clamp(p, 0, 255);
  const int32_t r = std::clamp(q, 0, 255) + 1;
  const int32_t k = 256 - (65536 / r + 256) * param / 256;
  for (int32_t i = 0; i < 256; ++i) table[i] = uint8_t(std::clamp(256 * i / r + k, 0, 255));
}

}  // namespace zq::soft
