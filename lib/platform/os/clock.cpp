#include "platform/os/clock.h"

#include <time.h>

#include <mutex>

namespace zq::platform {
namespace {

std::mutex g_clockMutex;
std::function<uint32_t()> g_clockOverride;

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

}  // namespace zq::platform
