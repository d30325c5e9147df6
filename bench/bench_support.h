// Scaffolding the benchmark programs share: an image over a byte vector, the memcpy floor a
// blit is measured against, and the pixels/s counter.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "graphics/ddraw/color_data.h"
#include "graphics/ddraw/memimg.h"

namespace zq::bench {

// A set-up MEMIMG of w x h pixels over its own bytes, all set to `fill`. 16-bit 5:6:5
// without alpha takes 2 bytes a pixel, everything else 4.
struct BenchImage {
  BenchImage(int w, int h, int colorType, bool alpha = false, uint8_t fill = 0) {
    const int bytes = (colorType == gfx::kMemImgRgb565 && !alpha) ? 2 : 4;
    format.PixelByte = uint16_t(bytes);
    format.ColorBitDepth = uint16_t(bytes * 8);
    pixels.assign(size_t(w) * h * bytes, fill);
    m.SetupMark = gfx::kMemImgSetupMark;
    m.Width = w;
    m.Height = h;
    m.Pitch = w * bytes;
    m.PitchShift = -1;
    for (int s = 0; s < 31; ++s)
      if (m.Pitch == (1 << s)) m.PitchShift = s;
    m.Format = &format;
    m.ColorType = colorType;
    m.AlphaFlag = alpha ? 1 : 0;
    m.Pixels = pixels.data();
  }
  BenchImage(const BenchImage&) = delete;
  BenchImage& operator=(const BenchImage&) = delete;

  gfx::ColorData format{};
  std::vector<uint8_t> pixels;
  gfx::MEMIMG m{};
};

// Cheap varied bytes, the same on every run, and key colour 0x1234: sprites and screens for
// drawing whose speed does not depend on the content.
struct HashedImage : BenchImage {
  HashedImage(int w, int h, int colorType) : BenchImage(w, h, colorType) {
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(uint32_t(i) * 2654435761u >> 24);
    m.TransColor = 0x1234;
  }
};

// A rate counter of `pixels` per iteration.
inline benchmark::Counter PixelRate(double pixels) {
  return benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate);
}

// The C library's memcpy called through a pointer, so the compiler cannot expand it into a
// slower inline string move.
inline void* (*volatile g_memcpy)(void*, const void*, size_t) = std::memcpy;

// `rows` rows of `rowBytes` from a packed source into a destination of the given pitch.
inline void CopyRect(uint8_t* dst, ptrdiff_t pitch, const uint8_t* src, size_t rowBytes, int rows) {
  auto* copy = g_memcpy;
  for (int r = 0; r < rows; ++r) copy(dst + pitch * r, src + rowBytes * r, rowBytes);
}

// After the timed loop, runs `baseline` and `work` as many times again each under one
// clock, alternating in batches so both see the same machine state; the counter `ratio`
// ("vs_memcpy" unless named) is the work's time over the baseline's. Items processed are
// `pixels` per iteration.
template <class Baseline, class Work>
void TimeBeside(benchmark::State& state, double pixels, Baseline&& baseline, Work&& work,
                const char* ratio = "vs_memcpy") {
  const int64_t n = std::max<int64_t>(int64_t(state.iterations()), 1);
  const int64_t batch = std::max<int64_t>(n / 8, 1);
  double base = 0, timed = 0;
  for (int64_t done = 0; done < n; done += batch) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < batch; ++i) {
      baseline();
      benchmark::ClobberMemory();
    }
    const auto t1 = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < batch; ++i) {
      work();
      benchmark::ClobberMemory();
    }
    const auto t2 = std::chrono::steady_clock::now();
    base += std::chrono::duration<double>(t1 - t0).count();
    timed += std::chrono::duration<double>(t2 - t1).count();
  }
  state.SetItemsProcessed(int64_t(double(state.iterations()) * pixels));
  state.counters[ratio] = base > 0 ? timed / base : 0;
}

// A w x h screen of `bytesPerPixel` copied whole with memcpy: the floor for drawing that
// covers the screen once.
inline void MemcpyScreen(benchmark::State& state, int w, int h, int bytesPerPixel) {
  std::vector<uint8_t> a(size_t(w) * h * bytesPerPixel, 1), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.counters["pixels/s"] = PixelRate(double(w) * h);
}

// Registers BM_MemcpyScreen16 and BM_MemcpyScreen32 for a w x h screen; called from a
// namespace-scope initialiser so they take their place among the file's benchmarks.
inline bool RegisterMemcpyScreens(int w, int h) {
  benchmark::RegisterBenchmark("BM_MemcpyScreen16",
                               [=](benchmark::State& s) { MemcpyScreen(s, w, h, 2); });
  benchmark::RegisterBenchmark("BM_MemcpyScreen32",
                               [=](benchmark::State& s) { MemcpyScreen(s, w, h, 4); });
  return true;
}

}  // namespace zq::bench
