// Fonts: filling a font's glyph cache with 2,000 kanji of IPAGothic at 16 pixels beside FreeType
// rendering the same glyphs directly, looking cached glyphs up, and starting the library with its
// default font. Thickness 5, so that neither side emboldens.
#include <benchmark/benchmark.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <iconv.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>
#include FT_FREETYPE_H

#include "graphics/font.h"
#include "graphics/library_init.h"
#include "platform/gdi/font.h"

namespace zq::bench {
namespace {

constexpr int kGlyphs = 2000;

// The first kGlyphs two-byte Shift-JIS codes from 0x889F (kanji), as three-byte characters and
// as Unicode characters.
struct Kanji {
  std::vector<uint8_t> chars;
  std::vector<uint32_t> unicode;
  Kanji() {
    iconv_t cd = iconv_open("UTF-32LE", "CP932");
    for (uint32_t code = 0x889F; int(unicode.size()) < kGlyphs; ++code) {
      const uint8_t lead = uint8_t(code >> 8), trail = uint8_t(code);
      if (trail < 0x40 || trail == 0x7F || trail > 0xFC) continue;
      char in[2] = {char(lead), char(trail)};
      uint32_t out = 0;
      char *inPtr = in, *outPtr = reinterpret_cast<char*>(&out);
      size_t inLeft = 2, outLeft = 4;
      if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || outLeft != 0) continue;
      chars.insert(chars.end(), {lead, trail, 0});
      unicode.push_back(out);
    }
    iconv_close(cd);
  }
};
const Kanji& Codes() {
  static const Kanji kanji;
  return kanji;
}

// The library started headless in a temporary directory for one benchmark run.
class Started {
 public:
  Started() {
    dir_ =
        std::filesystem::temp_directory_path() / ("zqlib-font-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    if (chdir(dir_.c_str()) != 0) return;
    gfx::ChangeWindowMode(1);
    ok_ = gfx::LibraryInit() == 0;
  }
  ~Started() {
    if (ok_) gfx::LibraryEnd();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  bool ok() const { return ok_; }

 private:
  std::filesystem::path dir_;
  bool ok_ = false;
};

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
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("IPAGothic"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* file = nullptr;
  FT_Library library;
  FT_Face face = nullptr;
  FT_Init_FreeType(&library);
  if (match == nullptr || FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch ||
      FT_New_Face(library, reinterpret_cast<const char*>(file), 0, &face) != 0)
    return state.SkipWithError("no IPAGothic file");
  FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_CELL, 0, 16 << 6, 0, 0};
  FT_Request_Size(face, &request);
  const Kanji& k = Codes();
  for (auto _ : state) {
    for (uint32_t c : k.unicode) {
      FT_Load_Char(face, c, FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_DEFAULT));
      FT_Render_Glyph(face->glyph, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL);
      benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
    }
  }
  state.SetItemsProcessed(state.iterations() * kGlyphs);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  FcPatternDestroy(match);
  FcPatternDestroy(pattern);
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
