// The display rebuild against loading fresh, in the same run: 1000 graphs, the 100 cells of each
// of 10 image files (320 x 320, 24-bit BMP, cut into 32 x 32), on the simulated hardware screen
// in a window, without (argument 0) and with (1) the simulated Direct3D. BM_Rebuild times
// RebuildGraphicsAfterModeChange (every object released and made again, then every graph reloaded
// from its file), BM_ReloadFromFiles the reload alone; each reports its time over deleting the
// graphs and loading them again ("vs_fresh_load") and the files it decoded per run ("decodes").
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "graphics/ddraw/display.h"
#include "graphics/graph.h"
#include "graphics/graph_load.h"
#include "graphics/image/image_decode.h"
#include "graphics/library_init.h"
#include "graphics/restore.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/window.h"

namespace {

using namespace zq;

constexpr int kFiles = 10, kAcross = 10, kCell = 32, kSide = kAcross * kCell;

// Counts what the readers are offered and declines, so the built-in readers decode as usual.
int g_decodes = 0;
int CountDecode(base::DataStream*, gfx::GraphImage*) {
  ++g_decodes;
  return -1;
}

// A top-down 24-bit BMP of kSide x kSide with varied pixels.
void WriteBmp(const std::string& name, int seed) {
  const uint32_t rowBytes = kSide * 3, size = 54 + rowBytes * kSide;
  std::vector<uint8_t> file(size, 0);
  auto put = [&](size_t at, uint32_t v, int bytes) { std::memcpy(&file[at], &v, size_t(bytes)); };
  file[0] = 'B', file[1] = 'M';
  put(2, size, 4), put(10, 54, 4), put(14, 40, 4), put(18, kSide, 4);
  put(22, uint32_t(-kSide), 4), put(26, 1, 2), put(28, 24, 2);
  for (uint32_t i = 54; i < size; ++i)
    file[i] = uint8_t((i + uint32_t(seed) * 7919) * 2654435761u >> 24);
  std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), size);
}

// The library on the simulated hardware screen, 32 bits, with or without the simulated
// Direct3D (graphs in textures or in DirectDraw surfaces), the files written in its directory.
struct RestoreLibrary {
  explicit RestoreLibrary(bool direct3D) {
    const auto dir = std::filesystem::temp_directory_path() / "zqlib-restore-bench";
    std::filesystem::create_directories(dir);
    if (chdir(dir.c_str()) != 0) return;
    for (int f = 0; f < kFiles; ++f) WriteBmp("cells" + std::to_string(f) + ".bmp", f);
    platform::ResetWindowSystem();
    platform::ddtest::Reset();
    platform::d3dtest::Reset(direct3D);
    gfx::SetSoftwareScreenAtStart(0);
    gfx::ChangeWindowMode(1);
    started = gfx::LibraryInit() == 0 && gfx::RunScreenModeChange(640, 480, 32, 60) == 0;
    gfx::AddUserImageReader(CountDecode);
  }
  ~RestoreLibrary() {
    gfx::ClearUserImageReaders();
    gfx::LibraryEnd();
    gfx::SetSoftwareScreenAtStart(1);
  }
  // Deletes every graph and loads the 1000 cells. True when all were made.
  bool LoadFresh() {
    gfx::DeleteAllGraphHandles(0);
    std::vector<gfx::HandleValue> cells(kAcross * kAcross);
    bool ok = true;
    for (int f = 0; f < kFiles; ++f)
      ok &= gfx::LoadDividedGraphFromFile(("cells" + std::to_string(f) + ".bmp").c_str(),
                                          kAcross * kAcross, kAcross, kAcross, kCell, kCell,
                                          cells.data(), 1, 0) == 0;
    return ok;
  }
  bool started = false;
};

template <class Work>
void AgainstFreshLoad(benchmark::State& state, Work&& work) {
  RestoreLibrary lib(state.range(0) == 1);
  if (!lib.started || !lib.LoadFresh()) return state.SkipWithError("no graphs");
  g_decodes = 0;
  int runs = 0;
  for (auto _ : state) {
    work();
    ++runs;
  }
  state.counters["decodes"] = double(g_decodes) / std::max(runs, 1);
  bench::TimeBeside(
      state, kFiles * kAcross * kAcross, [&] { lib.LoadFresh(); }, work, "vs_fresh_load");
}

void BM_Rebuild(benchmark::State& state) {
  AgainstFreshLoad(state, [] { gfx::RebuildGraphicsAfterModeChange(); });
}
BENCHMARK(BM_Rebuild)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReloadFromFiles(benchmark::State& state) {
  AgainstFreshLoad(state, [] {
    gfx::GraphHandleTable().ForEach(
        [](gfx::HandleValue, void* g) { static_cast<gfx::GraphRecord*>(g)->NeedsRestore = 1; });
    gfx::RestoreGraphsFromFiles();
  });
}
BENCHMARK(BM_ReloadFromFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
