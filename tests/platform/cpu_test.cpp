#include "platform/os/cpu.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zq::platform {
namespace {

// The cap only lowers the level: never above what the processor offers, and the scalar cap
// also takes the MMX flag away.
TEST(CpuDispatch, TheTestCapOnlyLowersTheLevel) {
  const CpuLevel detected = DetectedCpuLevel();
  const struct {
    CpuLevel cap;
    CpuLevel expected;
  } cases[] = {
      {CpuLevel::kScalar, CpuLevel::kScalar},
      {CpuLevel::kVector16, std::min(detected, CpuLevel::kVector16)},
      {CpuLevel::kAvx2, detected},
      {CpuLevel(7), detected},
  };
  for (const auto& c : cases) {
    LimitCpuLevel(c.cap);
    EXPECT_EQ(CpuDispatchLevel(), c.expected) << int(c.cap);
    if (c.expected == CpuLevel::kScalar) {
      EXPECT_EQ(CpuHasMmx(), 0);
    }
  }
  LimitCpuLevel(CpuLevel::kAvx2);
#if defined(__x86_64__)
  EXPECT_GE(CpuDispatchLevel(), CpuLevel::kVector16);  // SSE2 is part of x86-64
  EXPECT_EQ(CpuHasMmx(), 1);
#endif
}

}  // namespace
}  // namespace zq::platform
