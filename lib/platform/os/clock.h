// Millisecond clock; tests can override it.
#pragma once

#include <cstdint>
#include <functional>

namespace zq::platform {

// Monotonic milliseconds, wrapping at 2^32.
uint32_t MilliSeconds();
// Replaces the clock (tests); an empty function restores the real one.
void SetMilliSecondsOverride(std::function<uint32_t()> clock);

}  // namespace zq::platform
