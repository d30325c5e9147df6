// Filled boxes over a whole 640 x 480 screen in every blend mode and both depths, with the
// row loops in 16-byte blocks and (with AVX2) in 32-byte blocks, each timed beside a memset
// of the same bytes in the same run. Counters: fill_us and memset_us per
// screen, ratio = fill / memset, and the fill's pixels/s.
// Then lines: a list of random segments inside the screen, in every blend mode and both
// depths, drawn through DrawMemImgLineList; pixels/s counts the pixels the segments cover.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "bench_support.h"
#include "graphics/ddraw/color_data.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"
#include "platform/os/cpu.h"
#include "softrender/boxes.h"
#include "softrender/flat_color.h"
#include "softrender/lines.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_FillScreen(benchmark::State& state) {
  const int colorType = int(state.range(0));
  const int mode = int(state.range(1));
  const int blockBytes = int(state.range(2));
  // 32-byte blocks at the AVX2 dispatch level, 16-byte ones at the 16-byte level.
  const auto level =
      blockBytes == 32 ? zq::platform::CpuLevel::kAvx2 : zq::platform::CpuLevel::kVector16;
  if (level > zq::platform::DetectedCpuLevel()) {
    state.SkipWithError("no AVX2 on this machine");
    return;
  }
  constexpr int kW = 640, kH = 480;

  zq::bench::BenchImage screen(kW, kH, colorType, false, 0x5A);
  zq::gfx::MEMIMG& img = screen.m;

  zq::gfx::g_DrawState.DrawArea = {0, 0, kW, kH};
  zq::gfx::g_DrawState.BlendMode = mode;
  zq::gfx::g_DrawState.BlendParam = 128;  // no shortcut in any mode
  zq::gfx::g_DrawState.Bright = 0xFFFFFF;
  // Bytes that differ, so the copy cannot become a byte-wise memset.
  const uint32_t color = colorType == zq::gfx::kMemImgRgb565 ? 0x1234u : 0x00123456u;

  zq::platform::LimitCpuLevel(level);
  double fillTotal = 0, memsetTotal = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    zq::soft::FillMemImgBox(&img, nullptr, color);
    benchmark::ClobberMemory();
    const auto t1 = Clock::now();
    std::memset(screen.pixels.data(), 0x5A, screen.pixels.size());
    benchmark::ClobberMemory();
    const auto t2 = Clock::now();
    const double fill = std::chrono::duration<double>(t1 - t0).count();
    fillTotal += fill;
    memsetTotal += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(fill);
  }
  zq::platform::LimitCpuLevel(zq::platform::CpuLevel::kAvx2);
  const double n = double(state.iterations());
  state.counters["fill_us"] = fillTotal / n * 1e6;
  state.counters["memset_us"] = memsetTotal / n * 1e6;
  state.counters["ratio"] = fillTotal / memsetTotal;
  // Manual time is the fill's alone, so the rate is the fill's.
  state.counters["pixels/s"] = zq::bench::PixelRate(double(kW) * kH);
  state.SetLabel(std::string(colorType == zq::gfx::kMemImgRgb565 ? "16-bit" : "32-bit") + " mode " +
                 std::to_string(mode));
}

BENCHMARK(BM_FillScreen)
    ->ArgsProduct({{zq::gfx::kMemImgRgb565, zq::gfx::kMemImgXrgb8888}, {0, 1, 2, 3, 4}, {16, 32}})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_LineList(benchmark::State& state) {
  const int colorType = int(state.range(0));
  const int mode = int(state.range(1));
  const int bytesPerPixel = colorType == zq::gfx::kMemImgRgb565 ? 2 : 4;
  constexpr int kW = 640, kH = 480, kSegments = 1000;

  zq::bench::BenchImage screen(kW, kH, colorType, false, 0x5A);
  zq::gfx::MEMIMG& img = screen.m;

  zq::gfx::g_DrawState.DrawArea = {0, 0, kW, kH};
  zq::gfx::g_DrawState.BlendMode = mode;
  zq::gfx::g_DrawState.BlendParam = 128;
  zq::gfx::g_DrawState.Bright = 0xFFFFFF;

  // End points inside the screen, so every segment draws max(|dx|, |dy|) pixels unclipped.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> px(0, kW - 1), py(0, kH - 1);
  std::vector<zq::soft::SoftLineSegment> segments(kSegments);
  double linePixels = 0;
  for (auto& s : segments) {
    s = {px(rng), py(rng), px(rng), py(rng), uint32_t(rng()) & (bytesPerPixel == 2 ? 0xFFFFu : ~0u),
         128};
    linePixels += std::max(std::abs(s.x2 - s.x1), std::abs(s.y2 - s.y1));
  }

  for (auto _ : state) {
    zq::soft::DrawMemImgLineList(&img, segments.data(), kSegments);
    benchmark::ClobberMemory();
  }
  state.counters["pixels/s"] = zq::bench::PixelRate(linePixels);
  state.SetLabel(std::string(colorType == zq::gfx::kMemImgRgb565 ? "16-bit" : "32-bit") + " mode " +
                 std::to_string(mode) + ", 1000 segments");
}

BENCHMARK(BM_LineList)
    ->ArgsProduct({{zq::gfx::kMemImgRgb565, zq::gfx::kMemImgXrgb8888}, {0, 1, 2, 3, 4}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
