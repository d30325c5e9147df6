// Millisecond clock and CPU-feature test; both can be overridden by tests.
#pragma once

#include <cstdint>
#include <functional>

namespace zq::platform {

// Monotonic milliseconds, wrapping at 2^32.
uint32_t MilliSeconds();
// Replaces the clock (tests); an empty function restores the real one.
void SetMilliSecondsOverride(std::function<uint32_t()> clock);

// 1 when the processor offers the MMX instruction set.
int CpuHasMmx();
// -1 restores the real test; 0 or 1 forces the answer (tests).
void SetCpuHasMmxOverride(int value);

}  // namespace zq::platform
