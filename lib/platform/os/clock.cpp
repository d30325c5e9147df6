#include "platform/os/clock.h"

#include <time.h>

#include <atomic>
#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace zq::platform {
namespace {

std::mutex g_clockMutex;
std::function<uint32_t()> g_clockOverride;
std::atomic<int> g_mmxOverride{-1};

}  // namespace

uint32_t MilliSeconds() {
  {
    std::lock_guard lock(g_clockMutex);
    if (g_clockOverride) return g_clockOverride();
  }
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

void SetMilliSecondsOverride(std::function<uint32_t()> clock) {
  std::lock_guard lock(g_clockMutex);
  g_clockOverride = std::move(clock);
}

int CpuHasMmx() {
  int forced = g_mmxOverride.load();
  if (forced >= 0) return forced;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d)) return (d & bit_MMX) ? 1 : 0;
#endif
  return 0;
}

void SetCpuHasMmxOverride(int value) {
  g_mmxOverride.store(value < 0 ? -1 : (value ? 1 : 0));
}

}  // namespace zq::platform
