// Unscaled blit speed: a 64x64 sprite drawn over a 640x480 screen, and a whole 640x480
// image onto a 640x480 screen, per mode and format. Beside each case the same destination
// bytes are copied with memcpy in the same run; "vs_memcpy" is the blit's time over that.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "bench_support.h"
#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"
#include "softrender/draw_memimg.h"

namespace {

using namespace zq;

// Sprite-like content: bands of transparent, opaque and (with alpha) translucent pixels.
void Fill(bench::BenchImage& img, std::mt19937& rng) {
  const bool is16 = img.m.ColorType == gfx::kMemImgRgb565;
  const uint32_t key = is16 ? 0xF81F : 0x00FF00FF;
  img.m.TransColor = key;
  const int bytes = img.format.PixelByte;
  for (int y = 0; y < img.m.Height; ++y) {
    for (int x = 0; x < img.m.Width; ++x) {
      uint8_t* p = img.m.Pixels + size_t(y) * img.m.Pitch + size_t(x) * bytes;
      const int band = ((x / 16) + (y / 16)) % 4;
      uint32_t v = band == 0 ? key : uint32_t(rng()) & (is16 ? 0xFFFF : 0xFFFFFF);
      std::memcpy(p, &v, is16 ? 2 : 4);
      if (img.m.AlphaFlag) p[is16 ? 2 : 3] = band == 0 ? 0 : band == 1 ? 255 : uint8_t(rng());
    }
  }
}

struct Case {
  int mode;
  int param;
  int trans;
  bool alpha;
};

// args: colour type, 0 sprite / 1 full screen, case index.
constexpr Case kCases[] = {
    {0, 0, 0, false},    // 0 plain copy
    {0, 0, 1, false},    // 1 colour key
    {1, 100, 0, false},  // 2 translucent, parameter 100
    {1, 128, 0, false},  // 3 translucent, parameter 128
    {0, 0, 0, true},     // 4 alpha channel (every pixel blended)
    {0, 0, 1, true},     // 5 alpha channel with the 0 / 255 shortcuts
    {2, 200, 0, false},  // 6 add
    {3, 200, 0, false},  // 7 subtract
    {4, 0, 0, false},    // 8 multiply
    {1, 100, 1, false},  // 9 translucent with key
};
const char* const kCaseNames[] = {"copy",     "key",    "trans100", "trans128", "alpha",
                                  "alphaKey", "add200", "sub200",   "mul",      "trans100Key"};

void BM_DrawMemImg(benchmark::State& state) {
  const int colorType = int(state.range(0));
  const bool full = state.range(1) == 1;
  const Case c = kCases[state.range(2)];
  state.SetLabel(std::string(colorType == 0 ? "16-bit " : "32-bit ") +
                 (full ? "640x480 " : "64x64 ") + kCaseNames[state.range(2)]);
  std::mt19937 rng(1);
  const int sw = full ? 640 : 64, sh = full ? 480 : 64;
  bench::BenchImage screen(640, 480, colorType);
  bench::BenchImage src(sw, sh, colorType, c.alpha);
  Fill(screen, rng);
  Fill(src, rng);
  gfx::g_DrawState.DrawArea = {0, 0, 640, 480};
  gfx::g_DrawState.BlendMode = c.mode;
  gfx::g_DrawState.BlendParam = c.param;
  gfx::g_DrawState.Bright = 0xFFFFFF;
  const int bytes = colorType == 0 ? 2 : 4;
  // The copy's source sits away from the destination's 4 KiB alignment, as a separate
  // image would.
  std::vector<uint8_t> fromBuffer(size_t(sw) * sh * bytes + 4096, 0x5A);
  const uint8_t* from = fromBuffer.data() + 1088;
  // Sprite positions cycle over the screen, inside the draw area.
  int pos = 0;
  auto next = [&](int& x, int& y) {
    x = full ? 0 : (pos * 37) % (640 - 64);
    y = full ? 0 : (pos * 23) % (480 - 64);
    ++pos;
  };
  for (auto _ : state) {
    int x, y;
    next(x, y);
    soft::DrawMemImg(&screen.m, &src.m, x, y, c.trans, nullptr);
    benchmark::ClobberMemory();
  }
  // Then both again under one clock, the destination bytes copied beside each blit.
  bench::TimeBeside(
      state, double(sw) * sh,
      [&] {
        int x, y;
        next(x, y);
        bench::CopyRect(screen.m.Pixels + size_t(y) * screen.m.Pitch + size_t(x) * bytes,
                        screen.m.Pitch, from, size_t(sw) * bytes, sh);
      },
      [&] {
        int x, y;
        next(x, y);
        soft::DrawMemImg(&screen.m, &src.m, x, y, c.trans, nullptr);
      });
}

void Args(benchmark::internal::Benchmark* b) {
  for (int ct : {0, 1})
    for (int full : {0, 1})
      for (int k = 0; k < int(std::size(kCases)); ++k) b->Args({ct, full, k});
}

BENCHMARK(BM_DrawMemImg)->Apply(Args);

}  // namespace

BENCHMARK_MAIN();
