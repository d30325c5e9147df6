// Presenting a 640x480 frame headless (the kept copy of its rows), and converting a kept frame
// to 0x00RRGGBB rows as a window or a read of the frame does. Beside each case memcpy copies
// the same bytes in the same run: the frame's own bytes for a present, the words written for a
// conversion; "vs_memcpy" is the case's time over that.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench_support.h"
#include "platform/present/argb_rows.h"
#include "platform/present/present.h"
#include "platform/win/window.h"

namespace {

using namespace zq;

constexpr int kWidth = 640;
constexpr int kHeight = 480;

platform::PixelFormat FormatOf(int64_t i) {
  return i == 0   ? platform::PixelFormatRGB565()
         : i == 1 ? platform::PixelFormatRGB555()
                  : platform::PixelFormatXRGB8888();
}
const char* const kFormatNames[] = {"565", "555", "x8888"};

std::vector<uint8_t> Frame(const platform::PixelFormat& f) {
  std::vector<uint8_t> bytes(size_t(kWidth) * kHeight * (f.rgbBitCount / 8));
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(uint32_t(i) * 2654435761u >> 24);
  return bytes;
}

void BM_PresentHeadless(benchmark::State& state) {
  const platform::PixelFormat f = FormatOf(state.range(0));
  state.SetLabel(kFormatNames[state.range(0)]);
  const std::vector<uint8_t> frame = Frame(f);
  std::vector<uint8_t> copy(frame.size());
  const int pitch = kWidth * int(f.rgbBitCount / 8);
  platform::ResetPresenter();
  auto present = [&] { platform::PresentPixels(frame.data(), kWidth, kHeight, pitch, f); };
  for (auto _ : state) {
    present();
    benchmark::ClobberMemory();
  }
  bench::TimeBeside(
      state, double(kWidth) * kHeight,
      [&] { bench::CopyRect(copy.data(), pitch, frame.data(), size_t(pitch), kHeight); }, present);
  platform::ResetPresenter();
}
BENCHMARK(BM_PresentHeadless)->DenseRange(0, 2);

void BM_FrameToArgbRows(benchmark::State& state) {
  const platform::PixelFormat f = FormatOf(state.range(0));
  state.SetLabel(kFormatNames[state.range(0)]);
  const std::vector<uint8_t> frame = Frame(f);
  std::vector<uint32_t> out(size_t(kWidth) * kHeight), copy(out.size());
  const platform::ArgbRows rows(f, false);
  const size_t pitch = size_t(kWidth) * (f.rgbBitCount / 8);
  auto convert = [&] {
    for (int y = 0; y < kHeight; ++y)
      rows(out.data() + size_t(y) * kWidth, frame.data() + y * pitch, kWidth);
  };
  for (auto _ : state) {
    convert();
    benchmark::ClobberMemory();
  }
  const auto* words = reinterpret_cast<const uint8_t*>(out.data());
  bench::TimeBeside(
      state, double(kWidth) * kHeight,
      [&] {
        bench::CopyRect(reinterpret_cast<uint8_t*>(copy.data()), kWidth * 4, words,
                        size_t(kWidth) * 4, kHeight);
      },
      convert);
}
BENCHMARK(BM_FrameToArgbRows)->DenseRange(0, 2);

}  // namespace

BENCHMARK_MAIN();
