// Stretched blit speed: 320x240 doubled to 640x480 and 640x480 doubled to 1280x960 onto a
// 1600x1200 image, blend modes 0 and 1, both formats. Beside each case the destination
// rectangle's bytes are copied with memcpy in the same run; "vs_memcpy" is the stretch's
// time over that.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"
#include "softrender/draw_memimg_stretched.h"

namespace {

using namespace zq;

struct Image {
  Image(int w, int h, int colorType) {
    const int bytes = colorType == gfx::kMemImgRgb565 ? 2 : 4;
    format.PixelByte = uint16_t(bytes);
    format.ColorBitDepth = uint16_t(bytes * 8);
    pixels.resize(size_t(w) * h * bytes);
    std::mt19937 rng(uint32_t(w * 31 + h));
    for (uint8_t& b : pixels) b = uint8_t(rng());
    m = {};
    m.SetupMark = gfx::kMemImgSetupMark;
    m.Width = w;
    m.Height = h;
    m.Pitch = w * bytes;
    m.PitchShift = -1;
    m.Format = &format;
    m.ColorType = colorType;
    m.Pixels = pixels.data();
  }
  Image(const Image&) = delete;
  gfx::ColorData format{};
  std::vector<uint8_t> pixels;
  gfx::MEMIMG m;
};

// Called through a pointer so the compiler cannot expand it into a slower inline move.
void* (*volatile g_memcpy)(void*, const void*, size_t) = std::memcpy;

void CopyRect(uint8_t* dst, ptrdiff_t pitch, const uint8_t* src, size_t rowBytes, int rows) {
  auto* copy = g_memcpy;
  for (int r = 0; r < rows; ++r) copy(dst + pitch * r, src + rowBytes * r, rowBytes);
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
  Image screen(1600, 1200, colorType);
  Image src(sw, sh, colorType);
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
  // Then both again under one clock, alternating in batches, for the ratio.
  const int64_t n = std::max<int64_t>(int64_t(state.iterations()), 1);
  const int64_t batch = std::max<int64_t>(n / 8, 1);
  double stretch = 0, copy = 0;
  for (int64_t done = 0; done < n; done += batch) {
    auto t0 = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < batch; ++i) {
      CopyRect(first, screen.m.Pitch, from, size_t(dw) * bytes, dh);
      benchmark::ClobberMemory();
    }
    auto t1 = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < batch; ++i) {
      soft::DrawMemImgStretched(&screen.m, &src.m, rect, 0, nullptr);
      benchmark::ClobberMemory();
    }
    auto t2 = std::chrono::steady_clock::now();
    copy += std::chrono::duration<double>(t1 - t0).count();
    stretch += std::chrono::duration<double>(t2 - t1).count();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * dw * dh);
  state.counters["vs_memcpy"] = copy > 0 ? stretch / copy : 0;
}

void Args(benchmark::internal::Benchmark* b) {
  for (int ct : {0, 1})
    for (int big : {0, 1})
      for (int mode : {0, 1}) b->Args({ct, big, mode});
}

BENCHMARK(BM_Stretch)->Apply(Args);

}  // namespace

BENCHMARK_MAIN();
