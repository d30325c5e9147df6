// Fonts: filling a font's glyph cache with 2,000 kanji of IPAGothic at 16 pixels beside FreeType
// rendering the same glyphs directly, looking cached glyphs up, and starting the library with its
// default font. Thickness 5, so that neither side emboldens.
#include <benchmark/benchmark.h>

#include <memory>

#include "font_support.h"
#include "graphics/font.h"
#include "platform/gdi/font.h"

namespace zq::bench {
namespace {

constexpr int kGlyphs = 2000;

const Kanji& Codes() {
  static const Kanji kanji(kGlyphs);
  return kanji;
}

void BM_FillCache(benchmark::State& state) {
  Started lib;
  const int type = int(state.range(0));
  gfx::FontCacheCharCount = kGlyphs;
  const gfx::HandleValue font = gfx::CreateFontToHandle("IPAGothic", 16, 5, type, -1, -1, -1, -1);
  gfx::FontCacheCharCount = 0;
  if (!lib.ok() || font < 0) return state.SkipWithError("no IPAGothic font");
  const Kanji& k = Codes();
  for (auto _ : state) {
    gfx::ClearFontCacheTables(font);
    benchmark::DoNotOptimize(gfx::RenderGlyphToCache(kGlyphs, k.chars.data(), font));
  }
  state.SetItemsProcessed(state.iterations() * kGlyphs);
}
BENCHMARK(BM_FillCache)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_FreeTypeDirect(benchmark::State& state) {
  const bool mono = state.range(0) == 0;
  const IpaGothic font;
  FT_Face face = font.face();
  if (face == nullptr) return state.SkipWithError("no IPAGothic file");
  const Kanji& k = Codes();
  for (auto _ : state) {
    for (uint32_t c : k.unicode) {
      FT_Load_Char(face, c, FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_DEFAULT));
      FT_Render_Glyph(face->glyph, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL);
      benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
    }
  }
  state.SetItemsProcessed(state.iterations() * kGlyphs);
}
BENCHMARK(BM_FreeTypeDirect)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

// A cached glyph is one index into the code map; the counter shows GDI was not asked.
void BM_CachedLookup(benchmark::State& state) {
  Started lib;
  gfx::FontCacheCharCount = kGlyphs;
  const gfx::HandleValue font = gfx::CreateFontToHandle("IPAGothic", 16, 5, 0, -1, -1, -1, -1);
  gfx::FontCacheCharCount = 0;
  if (!lib.ok() || font < 0) return state.SkipWithError("no IPAGothic font");
  const Kanji& k = Codes();
  gfx::RenderGlyphToCache(kGlyphs, k.chars.data(), font);
  const gfx::FontRecord* f = gfx::GetFontRecord(font);
  const uint64_t calls = platform::gditest::GlyphOutlineCallCount();
  for (auto _ : state) {
    int64_t sum = 0;
    for (size_t i = 0; i < k.chars.size(); i += 3)
      sum += f->CodeMap[k.chars[i] + 256 * k.chars[i + 1]].Entry->Advance;
    benchmark::DoNotOptimize(sum);
  }
  state.counters["gdi_calls"] = double(platform::gditest::GlyphOutlineCallCount() - calls);
  state.SetItemsProcessed(state.iterations() * kGlyphs);
}
BENCHMARK(BM_CachedLookup);

// LibraryInit with the default font (fontconfig is set up by the first run of the process).
void BM_LibraryInit(benchmark::State& state) {
  for (auto _ : state) {
    auto lib = std::make_unique<Started>();
    state.PauseTiming();
    if (!lib->ok()) state.SkipWithError("LibraryInit failed");
    lib.reset();  // LibraryEnd is not timed
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LibraryInit)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zq::bench

BENCHMARK_MAIN();
