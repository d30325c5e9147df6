// Triangles covering a 640 x 480 screen in every blend mode (parameter 128 in modes 1 to
// 4): textured (16-bit and 32-bit, plain and keyed) and flat, as two large triangles and
// as a grid of 32 x 32 cells, beside a plain memcpy of the screen's bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "graphics/ddraw/memimg.h"
#include "graphics/draw_state.h"
#include "softrender/triangle.h"

namespace {

using zq::gfx::MEMIMG;
using zq::soft::SoftTriangleVertex;

constexpr int kW = 640, kH = 480;

struct Image {
  std::vector<uint8_t> bytes;
  MEMIMG img{};
  Image(int w, int h, int colorType) {
    const int bpp = colorType == 1 ? 4 : 2;
    bytes.assign(size_t(w) * h * bpp, 0);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 2654435761u >> 24);
    img.SetupMark = zq::gfx::kMemImgSetupMark;
    img.Width = w;
    img.Height = h;
    img.Pitch = w * bpp;
    img.ColorType = colorType;
    img.TransColor = 0x1234;
    img.Pixels = bytes.data();
  }
};

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
  Image screen(kW, kH, colorType);
  Image src(cell > 256 ? kW : 256 + cell, cell > 256 ? kH : 256 + cell, colorType);
  const std::vector<SoftTriangleVertex> v = Cover(cell);
  for (auto _ : state) {
    for (size_t i = 0; i < v.size(); i += 3)
      zq::soft::DrawMemImgTriangle(&screen.img, textured ? &src.img : nullptr, &v[i], trans,
                                   nullptr, 0x5A5A5A5Au & (colorType == 1 ? ~0u : 0xFFFFu));
    benchmark::DoNotOptimize(screen.bytes.data());
    benchmark::ClobberMemory();
  }
  state.counters["pixels/s"] =
      benchmark::Counter(double(kW) * kH, benchmark::Counter::kIsIterationInvariantRate);
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

void MemcpyScreen(benchmark::State& state, int bpp) {
  std::vector<uint8_t> a(size_t(kW) * kH * bpp, 1), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.counters["pixels/s"] =
      benchmark::Counter(double(kW) * kH, benchmark::Counter::kIsIterationInvariantRate);
}
void BM_MemcpyScreen16(benchmark::State& s) {
  MemcpyScreen(s, 2);
}
void BM_MemcpyScreen32(benchmark::State& s) {
  MemcpyScreen(s, 4);
}
BENCHMARK(BM_MemcpyScreen16);
BENCHMARK(BM_MemcpyScreen32);

}  // namespace

BENCHMARK_MAIN();
