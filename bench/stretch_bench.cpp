// Stretched blit speed: 320x240 doubled to 640x480 and 640x480 doubled to 1280x960 onto a
// 1600x1200 image, blend modes 0 and 1, both formats. Beside each case the destination
// rectangle's bytes are copied with memcpy in the same run; "vs_memcpy" is the stretch's
// time over that.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"
#include "softrender/draw_memimg_stretched.h"

namespace {

using namespace zq;

// Random bytes, seeded by the size.
void FillRandom(bench::BenchImage& img, int w, int h) {
  std::mt19937 rng(uint32_t(w * 31 + h));
  for (uint8_t& b : img.pixels) b = uint8_t(rng());
}

// args: colour type, 0 = 320x240 -> 640x480 / 1 = 640x480 -> 1280x960, blend mode (0 or 1).
void BM_Stretch(benchmark::State& state) {
  const int colorType = int(state.range(0));
  const bool big = state.range(1) == 1;
  const int mode = int(state.range(2));
  const int sw = big ? 640 : 320, sh = big ? 480 : 240;
  const int dw = sw * 2, dh = sh * 2;
  state.SetLabel(std::string(colorType == 0 ? "16-bit " : "32-bit ") + std::to_string(sw) + "x" +
                 std::to_string(sh) + " to " + std::to_string(dw) + "x" + std::to_string(dh) +
                 (mode == 0 ? " copy" : " translucent 128"));
  bench::BenchImage screen(1600, 1200, colorType);
  bench::BenchImage src(sw, sh, colorType);
  FillRandom(screen, 1600, 1200);
  FillRandom(src, sw, sh);
  gfx::g_DrawState.DrawArea = {0, 0, 1600, 1200};
  gfx::g_DrawState.BlendMode = mode;
  gfx::g_DrawState.BlendParam = mode == 0 ? 0 : 128;
  gfx::g_DrawState.Bright = 0xFFFFFF;
  const int bytes = colorType == 0 ? 2 : 4;
  // The copy's source sits away from the destination's alignment, as a separate image would.
  std::vector<uint8_t> fromBuffer(size_t(dw) * dh * bytes + 4096, 0x5A);
  const uint8_t* from = fromBuffer.data() + 1088;
  const platform::RECT rect{8, 8, 8 + dw, 8 + dh};
  uint8_t* first = screen.m.Pixels + size_t(8) * screen.m.Pitch + size_t(8) * bytes;
  for (auto _ : state) {
    soft::DrawMemImgStretched(&screen.m, &src.m, rect, 0, nullptr);
    benchmark::ClobberMemory();
  }
  // Then both again under one clock, the destination rectangle's bytes copied beside each.
  bench::TimeBeside(
      state, double(dw) * dh,
      [&] { bench::CopyRect(first, screen.m.Pitch, from, size_t(dw) * bytes, dh); },
      [&] { soft::DrawMemImgStretched(&screen.m, &src.m, rect, 0, nullptr); });
}

void Args(benchmark::internal::Benchmark* b) {
  for (int ct : {0, 1})
    for (int big : {0, 1})
      for (int mode : {0, 1}) b->Args({ct, big, mode});
}

BENCHMARK(BM_Stretch)->Apply(Args);

}  // namespace

BENCHMARK_MAIN();
