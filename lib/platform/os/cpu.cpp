#include "platform/os/cpu.h"

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace zq::platform {
namespace {

std::atomic<int> g_levelCap{int(CpuLevel::kAvx2)};

struct Detected {
  CpuLevel level = CpuLevel::kScalar;
  bool mmx = false;
};

// cpuid is slow under virtualisation: ask once per process.
const Detected& Detect() {
  static const Detected d = [] {
    Detected r;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    r.mmx = __builtin_cpu_supports("mmx");
    if (__builtin_cpu_supports("sse2")) r.level = CpuLevel::kVector16;
    if (__builtin_cpu_supports("avx2")) r.level = CpuLevel::kAvx2;
#endif
    return r;
  }();
  return d;
}

}  // namespace

CpuLevel DetectedCpuLevel() {
  return Detect().level;
}

CpuLevel CpuDispatchLevel() {
  const int cap = g_levelCap.load(std::memory_order_relaxed);
  const int detected = int(Detect().level);
  return CpuLevel(cap < detected ? cap : detected);
}

void LimitCpuLevel(CpuLevel max) {
  const int v = int(max);
  g_levelCap.store(v < 0                      ? 0
                   : v > int(CpuLevel::kAvx2) ? int(CpuLevel::kAvx2)
                                              : v,
                   std::memory_order_relaxed);
}

int CpuHasMmx() {
  return Detect().mmx && CpuDispatchLevel() != CpuLevel::kScalar ? 1 : 0;
}

}  // namespace zq::platform
