// The processor's vector level: detected once per process, used by every vector path of the
// library (blitters, flat colour, pixel conversion) to choose its loops. Every level gives
// the same pixels; tests lower the level to run and compare the narrower paths.
#pragma once

// Marks a function built for AVX2; only code the AVX2 dispatch level chose may call it.
#if defined(__x86_64__) || defined(__i386__)
#define ZQ_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define ZQ_TARGET_AVX2
#endif

namespace zq::platform {

enum class CpuLevel : int {
  kScalar = 0,    // one pixel at a time: the portable code
  kVector16 = 1,  // 16-byte vectors (SSE2 on x86-64)
  kAvx2 = 2,      // 32-byte vectors
};

// The level the processor offers (detected on first use).
CpuLevel DetectedCpuLevel();
// The level the vector paths use: the detected one, lowered by LimitCpuLevel.
CpuLevel CpuDispatchLevel();
// Tests: caps the dispatch level at max. It never raises the level above what the processor
// offers; LimitCpuLevel(CpuLevel::kAvx2) takes the cap away.
void LimitCpuLevel(CpuLevel max);

// 1 when the processor offers the MMX instruction set and the dispatch level is not capped at
// scalar (a test that forces the scalar level sees no MMX either).
int CpuHasMmx();

}  // namespace zq::platform
