// 1000 rotated 32 x 32 sprites onto a 640 x 480 screen per iteration, in every blend mode
// (argument: the mode; parameter 255 in mode 0, 128 in modes 1 to 4), 16-bit and 32-bit,
// plain and keyed, and mirrored through the quad path, beside a memcpy of the screen's
// bytes. The sprites cover about 1000 x 1024 pixels, some 3.3 screens: the
// "pixels/s" counters of both compare directly.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bench_support.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"
#include "softrender/rotated.h"

namespace {

constexpr int kW = 640, kH = 480, kSprites = 1000, kSide = 32;

struct Sprite {
  int x, y;
  float angle;
};

std::vector<Sprite> Sprites() {
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> px(0, kW - 1), py(0, kH - 1);
  std::uniform_real_distribution<float> pa(-3.14159f, 3.14159f);
  std::vector<Sprite> s(kSprites);
  for (auto& e : s) e = {px(rng), py(rng), pa(rng)};
  return s;
}

void Run(benchmark::State& state, int colorType, int trans, int turn) {
  const int mode = int(state.range(0));
  zq::gfx::g_DrawState = zq::gfx::GraphicsDrawState{};
  zq::gfx::g_DrawState.DrawArea = {0, 0, kW, kH};
  zq::gfx::g_DrawState.BlendMode = mode;
  zq::gfx::g_DrawState.BlendParam = mode == 0 ? 255 : 128;
  zq::gfx::g_DrawState.Bright = 0xFFFFFF;
  zq::bench::HashedImage screen(kW, kH, colorType);
  zq::bench::HashedImage sprite(kSide, kSide, colorType);
  const std::vector<Sprite> sprites = Sprites();
  for (auto _ : state) {
    for (const Sprite& s : sprites)
      zq::soft::DrawMemImgRotated(&screen.m, &sprite.m, s.x, s.y, s.angle, 1.0f, trans, turn,
                                  nullptr);
    benchmark::DoNotOptimize(screen.pixels.data());
    benchmark::ClobberMemory();
  }
  state.counters["pixels/s"] = zq::bench::PixelRate(double(kSprites) * kSide * kSide);
}

void BM_Rotated16(benchmark::State& s) {
  Run(s, 0, 0, 0);
}
void BM_Rotated16Keyed(benchmark::State& s) {
  Run(s, 0, 1, 0);
}
void BM_Rotated32(benchmark::State& s) {
  Run(s, 1, 0, 0);
}
void BM_Rotated16Mirrored(benchmark::State& s) {
  Run(s, 0, 0, 1);
}
BENCHMARK(BM_Rotated16)->ArgName("mode")->DenseRange(0, 4);
BENCHMARK(BM_Rotated16Keyed)->ArgName("mode")->DenseRange(0, 4);
BENCHMARK(BM_Rotated32)->ArgName("mode")->DenseRange(0, 4);
BENCHMARK(BM_Rotated16Mirrored)->ArgName("mode")->DenseRange(0, 4);

const bool kMemcpyScreens = zq::bench::RegisterMemcpyScreens(kW, kH);

}  // namespace

BENCHMARK_MAIN();
