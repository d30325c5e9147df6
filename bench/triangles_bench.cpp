// Triangles covering a 640 x 480 screen in every blend mode (parameter 128 in modes 1 to
// 4): textured (16-bit and 32-bit, plain and keyed) and flat, as two large triangles and
// as a grid of 32 x 32 cells, beside a plain memcpy of the screen's bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench_support.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"
#include "softrender/triangle.h"

namespace {

using zq::soft::SoftTriangleVertex;

constexpr int kW = 640, kH = 480;

void ResetState(int mode) {
  zq::gfx::g_DrawState = zq::gfx::GraphicsDrawState{};
  zq::gfx::g_DrawState.DrawArea = {0, 0, kW, kH};
  zq::gfx::g_DrawState.BlendMode = mode;
  zq::gfx::g_DrawState.BlendParam = mode == 0 ? 255 : 128;
  zq::gfx::g_DrawState.Bright = 0xFFFFFF;
}

// Every cell of side `cell` as two triangles, texels mapped 1:1 (wrapping at 256).
std::vector<SoftTriangleVertex> Cover(int cell) {
  std::vector<SoftTriangleVertex> v;
  for (int y = 0; y < kH; y += cell)
    for (int x = 0; x < kW; x += cell) {
      const int u = x % 256, t = y % 256;
      const SoftTriangleVertex c0{x, y, u, t}, c1{x + cell, y, u + cell, t};
      const SoftTriangleVertex c2{x, y + cell, u, t + cell},
          c3{x + cell, y + cell, u + cell, t + cell};
      v.insert(v.end(), {c0, c1, c2, c1, c2, c3});
    }
  return v;
}

void Run(benchmark::State& state, int colorType, bool textured, int trans) {
  const int cell = int(state.range(0));
  ResetState(int(state.range(1)));
  zq::bench::HashedImage screen(kW, kH, colorType);
  zq::bench::HashedImage src(cell > 256 ? kW : 256 + cell, cell > 256 ? kH : 256 + cell, colorType);
  const std::vector<SoftTriangleVertex> v = Cover(cell);
  for (auto _ : state) {
    for (size_t i = 0; i < v.size(); i += 3)
      zq::soft::DrawMemImgTriangle(&screen.m, textured ? &src.m : nullptr, &v[i], trans, nullptr,
                                   0x5A5A5A5Au & (colorType == 1 ? ~0u : 0xFFFFu));
    benchmark::DoNotOptimize(screen.pixels.data());
    benchmark::ClobberMemory();
  }
  state.counters["pixels/s"] = zq::bench::PixelRate(double(kW) * kH);
}

void BM_Textured16(benchmark::State& s) {
  Run(s, 0, true, 0);
}
void BM_Textured16Keyed(benchmark::State& s) {
  Run(s, 0, true, 1);
}
void BM_Textured32(benchmark::State& s) {
  Run(s, 1, true, 0);
}
void BM_Flat16(benchmark::State& s) {
  Run(s, 0, false, 0);
}
void BM_Flat32(benchmark::State& s) {
  Run(s, 1, false, 0);
}

// cell 1024 = one cell larger than the screen: two triangles cover it.
BENCHMARK(BM_Textured16)->ArgNames({"cell", "mode"})->ArgsProduct({{1024, 32}, {0, 1, 2, 3, 4}});
BENCHMARK(BM_Textured16Keyed)->ArgNames({"cell", "mode"})->ArgsProduct({{1024}, {0, 1, 2, 3, 4}});
BENCHMARK(BM_Textured32)->ArgNames({"cell", "mode"})->ArgsProduct({{1024, 32}, {0, 1, 2, 3, 4}});
BENCHMARK(BM_Flat16)->ArgNames({"cell", "mode"})->ArgsProduct({{1024, 32}, {0, 1, 2, 3, 4}});
BENCHMARK(BM_Flat32)->ArgNames({"cell", "mode"})->ArgsProduct({{1024, 32}, {0, 1, 2, 3, 4}});

const bool kMemcpyScreens = zq::bench::RegisterMemcpyScreens(kW, kH);

}  // namespace

BENCHMARK_MAIN();
