// Presenting a 640x480 frame headless (the kept copy of its rows), and converting a kept frame
// to 0x00RRGGBB rows as a window or a read of the frame does. Then PresentByFlip of the
// library's 32-bit software screen in a window on the 1920 x 1080 desktop, at 64 x 64 and
// 640 x 480: the back image out to the desktop and the window's part presented. Beside each
// case memcpy copies the same bytes in the same run: the frame's own bytes for a present (the
// screen's for PresentByFlip and for the presenter's part of it), the words written for a
// conversion; "vs_memcpy" is the case's time over that.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "bench_support.h"
#include "graphics/ddraw/display.h"
#include "graphics/library_init.h"
#include "platform/ddraw/ddraw.h"
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

// n bytes and a copy of them, the copy 2048 bytes past a page boundary from the original: the
// C library's memcpy (rep movsb for these sizes on the processors measured) runs many times
// slower when the destination lies a few bytes above the source modulo 4096, as two buffers
// allocated one after the other may; the yardstick must not.
struct ScreenBytes {
  explicit ScreenBytes(size_t size) : n(size), storage(2 * size + 8192, 1) {
    const uintptr_t base = reinterpret_cast<uintptr_t>(storage.data());
    src = storage.data() + ((4096 - base % 4096) % 4096);
    dst = src + (n + 4095) / 4096 * 4096 + 2048;
  }
  void Copy() { bench::g_memcpy(dst, src, n); }
  size_t n;
  std::vector<uint8_t> storage;
  uint8_t* src;
  uint8_t* dst;
};

void BM_PresentByFlipInWindow(benchmark::State& state) {
  const int side = int(state.range(0));
  const int w = side, h = side == 64 ? 64 : 480;
  state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
  // The library writes its log into the directory it starts in.
  const auto dir = std::filesystem::temp_directory_path() / "zqlib-present-bench";
  std::filesystem::create_directories(dir);
  if (chdir(dir.c_str()) != 0) return state.SkipWithError("no directory for the log");
  platform::ResetWindowSystem();
  platform::ddtest::Reset();
  platform::ResetPresenter();
  gfx::SetSoftwareScreenAtStart(1);
  gfx::ChangeWindowMode(1);
  if (gfx::LibraryInit() != 0 || gfx::RunScreenModeChange(w, h, 32, 60) != 0)
    return state.SkipWithError("the library did not start");
  if (gfx::PresentByFlip() != 0) return state.SkipWithError("no present");
  ScreenBytes bytes(size_t(w) * h * 4);
  auto present = [] { gfx::PresentByFlip(); };
  for (auto _ : state) {
    present();
    benchmark::ClobberMemory();
  }
  bench::TimeBeside(
      state, double(w) * h, [&] { bytes.Copy(); }, present);
  gfx::LibraryEnd();
  platform::ResetPresenter();
}
BENCHMARK(BM_PresentByFlipInWindow)->Arg(64)->Arg(640);

// The presenter's part of that alone, when the desktop surface changes after each present (a
// lock for writing): the window's 64 x 64 or 640 x 480 rectangle of a 1920 x 1080 32-bit
// desktop surface, kept as a view and copied, with the surface's pitch, before the change.
void BM_PresentWindowPart(benchmark::State& state) {
  const int side = int(state.range(0));
  const int w = side, h = side == 64 ? 64 : 480;
  state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
  platform::ResetWindowSystem();
  platform::ddtest::Reset();
  platform::ResetPresenter();
  platform::DirectDraw* dd = nullptr;
  platform::DirectDrawSurface* primary = nullptr;
  platform::SurfaceDesc desc;
  desc.flags = platform::DDSD_CAPS;
  desc.caps.caps = platform::DDSCAPS_PRIMARYSURFACE;
  if (platform::DirectDrawCreateEx(&dd) != platform::DD_OK ||
      dd->CreateSurface(desc, &primary) != platform::DD_OK)
    return state.SkipWithError("no primary surface");
  const platform::RECT client{100, 100, 100 + w, 100 + h};
  ScreenBytes bytes(size_t(w) * h * 4);
  auto present = [&] {
    platform::PresentSurface(primary, &client);
    platform::SurfaceDesc locked;
    if (primary->Lock(nullptr, &locked, platform::DDLOCK_WAIT) == platform::DD_OK)
      primary->Unlock(nullptr);
  };
  for (auto _ : state) {
    present();
    benchmark::ClobberMemory();
  }
  bench::TimeBeside(
      state, double(w) * h, [&] { bytes.Copy(); }, present);
  primary->Release();
  dd->Release();
  platform::ResetPresenter();
}
BENCHMARK(BM_PresentWindowPart)->Arg(64)->Arg(640);

}  // namespace

BENCHMARK_MAIN();
