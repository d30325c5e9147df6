// ConvertPixelRect on a 640x480 image between the common screen formats, and the narrowing
// ones also with each dither mode (dither 1: ordered, 2: carried remainder). Each case also
// copies the destination's bytes with memcpy in the same run and reports conversion time
// over memcpy time ("vs_memcpy").
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "graphics/image/convert_pixel_rect.h"

namespace {

using zq::gfx::ColorData;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

ColorData Format(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  ColorData c{};
  zq::gfx::SetupColorDataFromMasks(&c, depth, r, g, b, a);
  return c;
}

enum Fmt { k565, kX8888, kA8888, k888 };

ColorData Make(Fmt f) {
  switch (f) {
    case k565:
      return Format(16, 0xF800, 0x07E0, 0x001F, 0);
    case kX8888:
      return Format(32, 0xFF0000, 0xFF00, 0xFF, 0);
    case kA8888:
      return Format(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    default:
      return Format(24, 0xFF0000, 0xFF00, 0xFF, 0);
  }
}

void BM_Convert(benchmark::State& state) {
  const ColorData src = Make(Fmt(state.range(0)));
  const ColorData dst = Make(Fmt(state.range(1)));
  const int dither = int(state.range(2));
  const int srcPitch = kWidth * src.PixelByte;
  const int dstPitch = kWidth * dst.PixelByte;
  std::vector<uint8_t> in(size_t(srcPitch) * kHeight);
  uint32_t seed = 12345;
  for (uint8_t& b : in) {
    seed = seed * 1103515245u + 12345u;
    b = uint8_t(seed >> 16);
  }
  std::vector<uint8_t> out(size_t(dstPitch) * kHeight), copy(out.size());
  const zq::platform::RECT rect{0, 0, kWidth, kHeight};

  using Clock = std::chrono::steady_clock;
  Clock::duration convertTime{}, copyTime{};
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const int r =
        zq::gfx::ConvertPixelRect(out.data(), dstPitch, &dst, in.data(), srcPitch, &src, nullptr, 0,
                                  nullptr, 0, 0, &rect, 0, 0, 0, dither, 0, 0, 0);
    benchmark::DoNotOptimize(r);
    benchmark::ClobberMemory();
    const auto t1 = Clock::now();
    std::memcpy(copy.data(), out.data(), out.size());
    benchmark::ClobberMemory();
    const auto t2 = Clock::now();
    convertTime += t1 - t0;
    copyTime += t2 - t1;
  }
  const double pixels = double(kWidth) * kHeight * double(state.iterations());
  const double convertSeconds = std::chrono::duration<double>(convertTime).count();
  state.counters["pixels/s"] = benchmark::Counter(pixels / convertSeconds);
  state.counters["vs_memcpy"] =
      benchmark::Counter(convertSeconds / std::chrono::duration<double>(copyTime).count());
}

void Cases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"src", "dst", "dither"});
  // 565<->X8888, 24->X8888 and the same-format copies are the screen conversions.
  for (auto [s, d] : {std::pair{k565, kX8888},
                      {kX8888, k565},
                      {k888, kX8888},
                      {k565, k565},
                      {kX8888, kX8888},
                      {kA8888, kA8888},
                      {k888, k888},
                      {k888, k565},
                      {k565, kA8888},
                      {kA8888, k565},
                      {kA8888, kX8888},
                      {k888, kA8888},
                      {kX8888, kA8888}}) {
    b->Args({s, d, zq::gfx::kDitherNone});
  }
  for (auto [s, d] : {std::pair{kX8888, k565}, {kA8888, k565}, {k888, k565}}) {
    for (int dither : {zq::gfx::kDitherOrdered, zq::gfx::kDitherCarry}) b->Args({s, d, dither});
  }
}

BENCHMARK(BM_Convert)->Apply(Cases)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
