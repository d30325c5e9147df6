// The Direct3D path's graph work on the simulated device, each beside its baseline in the same
// run: a 1024 x 1024 24-bit image written into a 32-bit texture against ConvertPixelRect of the
// same pixels into plain memory ("vs_convert"); 1000 32 x 32 graphs made and deleted against
// the same on the DirectDraw path of the hardware screen ("vs_directdraw"); DrawGraphAt of a
// 640 x 480 graph, flushed, against the device's own DrawPrimitive of the same quad in the same
// state ("vs_raw_quad"); and 10,000 draws of a 1 x 1 graph against the same draws on the
// software screen ("vs_software", time per draw over time per draw).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "bench_support.h"
#include "graphics/d3d/d3d_batch.h"
#include "graphics/d3d/d3d_graph.h"
#include "graphics/d3d/d3d_layer.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/d3d/surface3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_front.h"
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

// The library in a window for one benchmark: a hardware screen with Direct3D present, or the
// software screen.
struct Direct3DLibrary {
  explicit Direct3DLibrary(bool direct3D = true) {
    const auto dir = std::filesystem::temp_directory_path() / "zqlib-d3d-bench";
    std::filesystem::create_directories(dir);
    if (chdir(dir.c_str()) != 0) return;
    platform::ResetWindowSystem();
    platform::ddtest::Reset();
    platform::d3dtest::Reset(/*present=*/direct3D);
    gfx::SetSoftwareScreenAtStart(direct3D ? 0 : 1);
    gfx::ChangeWindowMode(1);
    started = gfx::LibraryInit() == 0 && gfx::RunScreenModeChange(640, 480, 32, 60) == 0 &&
              gfx::Is3DAvailable() == (direct3D ? 1 : 0);
    gfx::SelectDrawScreen(gfx::kDrawScreenBack);
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

void BM_DrawLargeGraph(benchmark::State& state) {
  Direct3DLibrary lib;
  const gfx::HandleValue graph = Graph(640, 480, 1);
  if (!lib.started || graph < 0) return state.SkipWithError("no Direct3D graph");
  auto draw = [&] {
    gfx::DrawGraphAt(0, 0, graph, 0);
    gfx::EndCurrentScene();
  };
  draw();  // the device now holds the draw's state
  const gfx::Surface3DRecord* piece =
      gfx::LookupSurface3DRecord(gfx::GetGraphRecord(graph)->Pieces[0]);
  const gfx::SurfaceDataRecord* store = gfx::GetSurfaceDataRecord(piece->SurfaceData);
  const float u = 640.0f / store->Width, v = 480.0f / store->Height, r = 639.5f, b = 479.5f;
  const uint32_t c = gfx::GetD3DVertexColor();
  const platform::D3DTLVERTEX2 quad[6] = {
      {-0.5f, -0.5f, 0, 1, c, 0, 0, 0, 0}, {r, -0.5f, 0, 1, c, u, 0, 0, 0},
      {-0.5f, b, 0, 1, c, 0, v, 0, 0},     {-0.5f, b, 0, 1, c, 0, v, 0, 0},
      {r, -0.5f, 0, 1, c, u, 0, 0, 0},     {r, b, 0, 1, c, u, v, 0, 0}};
  platform::Direct3DDevice* device = gfx::GetCurrentD3DDevice();
  auto raw = [&] {
    device->BeginScene();
    device->DrawPrimitive(platform::D3DPT_TRIANGLELIST, platform::D3DFVF_TLVERTEX2, quad, 6, 0);
    device->EndScene();
  };
  for (auto _ : state) draw();
  bench::TimeBeside(state, 640.0 * 480.0, raw, draw, "vs_raw_quad");
}
BENCHMARK(BM_DrawLargeGraph)->Unit(benchmark::kMicrosecond);

// 10,000 draws of a 1 x 1 graph spread over the screen, then the frame's end (the scene ended on
// Direct3D).
double SmallDraws(bool direct3D, int64_t rounds, benchmark::State* state) {
  Direct3DLibrary lib(direct3D);
  const gfx::HandleValue graph = Graph(1, 1, 1);
  if (!lib.started || graph < 0) return 0;
  auto frame = [&] {
    for (int i = 0; i < 10000; ++i) gfx::DrawGraphAt(i % 640, i / 640, graph, 0);
    gfx::EndCurrentScene();
  };
  const auto t0 = std::chrono::steady_clock::now();
  if (state != nullptr)
    for (auto _ : *state) frame();
  else
    for (int64_t i = 0; i < rounds; ++i) frame();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_SmallDraws(benchmark::State& state) {
  const double direct3D = SmallDraws(true, 0, &state);
  const double software = SmallDraws(false, int64_t(state.iterations()), nullptr);
  if (direct3D == 0 || software == 0) return state.SkipWithError("no library");
  state.SetItemsProcessed(state.iterations() * 10000);
  state.counters["vs_software"] = direct3D / software;
}
BENCHMARK(BM_SmallDraws)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
