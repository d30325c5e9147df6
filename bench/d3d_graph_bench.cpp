// The Direct3D path's graph work on the simulated device, each beside its baseline in the same
// run: a 1024 x 1024 24-bit image written into a 32-bit texture against ConvertPixelRect of the
// same pixels into plain memory ("vs_convert"), and 1000 32 x 32 graphs made and deleted against
// the same on the DirectDraw path of the hardware screen ("vs_directdraw").
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "bench_support.h"
#include "graphics/d3d/d3d_graph.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/convert_pixel_rect.h"
#include "graphics/library_init.h"
#include "graphics/texture_format.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/window.h"

namespace {

using namespace zq;

// The library on a hardware screen in a window with Direct3D present, for one benchmark.
struct Direct3DLibrary {
  Direct3DLibrary() {
    const auto dir = std::filesystem::temp_directory_path() / "zqlib-d3d-bench";
    std::filesystem::create_directories(dir);
    if (chdir(dir.c_str()) != 0) return;
    platform::ResetWindowSystem();
    platform::ddtest::Reset();
    platform::d3dtest::Reset(/*present=*/true);
    gfx::SetSoftwareScreenAtStart(0);
    gfx::ChangeWindowMode(1);
    started = gfx::LibraryInit() == 0 && gfx::Is3DAvailable() == 1;
  }
  ~Direct3DLibrary() { gfx::LibraryEnd(); }
  bool started = false;
};

// A 32-bit texture graph of w x h (its creation options set for it).
gfx::HandleValue Graph(int w, int h, int wantDirect3D) {
  gfx::SetCreateOptionB(0);
  gfx::SetCreateColorBitDepth(32);
  return gfx::CreateGraphWithOptions(w, h, wantDirect3D, 0, 0);
}

void BM_WriteImageIntoTexture(benchmark::State& state) {
  Direct3DLibrary lib;
  constexpr int kSide = 1024;
  const gfx::HandleValue graph = Graph(kSide, kSide, 1);
  if (!lib.started || graph < 0) return state.SkipWithError("no Direct3D graph");
  gfx::GraphRecord* record = gfx::GetGraphRecord(graph);
  std::vector<uint8_t> source(size_t(kSide) * kSide * 3);
  for (size_t i = 0; i < source.size(); ++i) source[i] = uint8_t(uint32_t(i) * 2654435761u >> 24);
  gfx::GraphImage image{};
  gfx::SetupColorDataRGB24(&image.Format);
  image.Width = image.Height = kSide;
  image.Pitch = kSide * 3;
  image.Pixels = source.data();
  const gfx::ColorData* texture = gfx::GetTextureFormatDataB(1);
  std::vector<uint8_t> plain(size_t(kSide) * kSide * 4);
  const platform::RECT whole{0, 0, kSide, kSide};

  auto write = [&] {
    benchmark::DoNotOptimize(
        gfx::G_D3D_SetGraphImage(nullptr, nullptr, nullptr, 0, 0, record, 0, &image, nullptr));
  };
  auto convert = [&] {
    benchmark::DoNotOptimize(gfx::ConvertPixelRect(plain.data(), kSide * 4, texture, source.data(),
                                                   image.Pitch, &image.Format, nullptr, 0, nullptr,
                                                   0, 0, &whole, 0, 0, 0, 0, 0, 0, 0));
  };
  for (auto _ : state) {
    write();
    benchmark::ClobberMemory();
  }
  bench::TimeBeside(state, double(kSide) * kSide, convert, write, "vs_convert");
}
BENCHMARK(BM_WriteImageIntoTexture)->Unit(benchmark::kMillisecond);

void BM_CreateAndDeleteGraphs(benchmark::State& state) {
  Direct3DLibrary lib;
  if (!lib.started) return state.SkipWithError("no Direct3D");
  constexpr int kGraphs = 1000;
  std::vector<gfx::HandleValue> handles(kGraphs);
  auto cycle = [&](int wantDirect3D) {
    for (gfx::HandleValue& h : handles) h = Graph(32, 32, wantDirect3D);
    for (gfx::HandleValue h : handles) gfx::DeleteGraphHandle(h, 0);
  };
  for (auto _ : state) cycle(1);
  bench::TimeBeside(
      state, kGraphs, [&] { cycle(0); }, [&] { cycle(1); }, "vs_directdraw");
}
BENCHMARK(BM_CreateAndDeleteGraphs)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
