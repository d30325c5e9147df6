// Text: a 20-character kanji string of IPAGothic at 16 pixels drawn with DrawStringWithFont onto
// the back buffer of a 640 x 480 32-bit software screen, its glyphs cached, for font types 0 and
// 2 in blend mode 0 and in mode 1 (type 0 in mode 0 takes the direct road, every other case the
// composed one); beside it the same glyphs rendered by FreeType directly and copied plainly into
// a 32-bit screen, one glyph at a time. Thickness 5, so that neither side emboldens. The counters
// show the heap allocations and GetGlyphOutlineA calls of each drawn string (both 0).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "font_support.h"
#include "graphics/draw_front.h"
#include "graphics/draw_state.h"
#include "graphics/font.h"
#include "platform/gdi/font.h"

// Every heap allocation of the process is counted (glibc's own allocator does the work).
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);
namespace {
std::atomic<uint64_t> g_allocations{0};
}  // namespace
extern "C" void* malloc(size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(block, size);
}

namespace zq::bench {
namespace {

constexpr int kChars = 20;

void BM_DrawString(benchmark::State& state) {
  const int type = int(state.range(0)), mode = int(state.range(1));
  Started lib(32);
  const gfx::HandleValue font = gfx::CreateFontToHandle("IPAGothic", 16, 5, type, -1, -1, -1, -1);
  if (!lib.ok() || font < 0) return state.SkipWithError("no IPAGothic font");
  gfx::SelectDrawScreen(gfx::kDrawScreenBack);
  gfx::SetBlendMode(mode, mode == 0 ? 0 : 160);
  const std::string text = Kanji(kChars).String();
  const uint32_t color = gfx::GetScreenColorValue(250, 200, 40);
  const uint32_t edge = gfx::GetScreenColorValue(0, 0, 0);
  // The first draw renders the glyphs and grows the scratch arrays.
  gfx::DrawStringWithFont(20, 200, text.c_str(), color, font, edge, 0);
  const uint64_t calls = platform::gditest::GlyphOutlineCallCount();
  const uint64_t allocations = g_allocations.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(gfx::DrawStringWithFont(20, 200, text.c_str(), color, font, edge, 0));
    benchmark::ClobberMemory();
  }
  const double strings = double(state.iterations());
  state.counters["allocs/string"] = double(g_allocations.load() - allocations) / strings;
  state.counters["gdi_calls"] = double(platform::gditest::GlyphOutlineCallCount() - calls);
  state.SetItemsProcessed(state.iterations() * kChars);
}
BENCHMARK(BM_DrawString)->ArgsProduct({{0, 2}, {0, 1}})->ArgNames({"type", "mode"});

// FreeType renders each glyph and the bitmap is copied into a 32-bit screen row by row: the
// direct way without a cache. Type 0 renders monochrome, type 2 grey.
void BM_FreeTypeDirect(benchmark::State& state) {
  const bool mono = state.range(0) == 0;
  const IpaGothic font;
  FT_Face face = font.face();
  if (face == nullptr) return state.SkipWithError("no IPAGothic file");
  const Kanji kanji(kChars);
  std::vector<uint8_t> screen(640 * 480 * 4);
  for (auto _ : state) {
    int x = 20;
    for (uint32_t c : kanji.unicode) {
      FT_Load_Char(face, c, FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_DEFAULT));
      FT_Render_Glyph(face->glyph, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL);
      const FT_Bitmap& b = face->glyph->bitmap;
      for (unsigned row = 0; row < b.rows && row < 200; ++row)
        std::memcpy(&screen[size_t((200 + row) * 640 + x) * 4], b.buffer + row * b.pitch,
                    size_t(b.pitch));
      x += 16;
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kChars);
}
BENCHMARK(BM_FreeTypeDirect)->Arg(0)->Arg(2)->ArgNames({"type"});

}  // namespace
}  // namespace zq::bench

BENCHMARK_MAIN();
