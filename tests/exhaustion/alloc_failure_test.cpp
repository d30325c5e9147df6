// Memory running out. This program replaces operator new and stands between the library and
// iconv_open and fontconfig, so that the Nth allocation (or the next call of one of those) fails.
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <zqlib/zqlib.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "base/system.h"
#include "support/library_fixture.h"
#include "support/movie_files.h"

namespace {
uint64_t g_newCalls = 0, g_newFailsAt = 0;  // counted while g_counting; 0: none fails
bool g_counting = false;
const char* g_failNext = nullptr;  // the function whose next call fails
void* Allocate(std::size_t size, std::size_t alignment = 0) noexcept {
  const bool fails = g_counting && ++g_newCalls == g_newFailsAt;
  if (fails) return nullptr;
  if (alignment == 0) return std::malloc(size != 0 ? size : 1);
  return std::aligned_alloc(alignment, (size + alignment) / alignment * alignment);
}
// Out of line, so the compiler does not pair an inlined operator new with free.
[[gnu::noinline]] void Release(void* p) noexcept {
  std::free(p);
}
}  // namespace

// The message thread is not started here: the counts belong to the test's thread alone.
void* operator new(std::size_t n) {
  if (void* p = Allocate(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return Allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return Allocate(n);
}
// Over-aligned blocks (surface pixels) run out the same way.
void* operator new(std::size_t n, std::align_val_t a) {
  if (void* p = Allocate(n, std::size_t(a))) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) {
  return operator new(n, a);
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Allocate(n, std::size_t(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
  return Allocate(n, std::size_t(a));
}
#define ZQ_DELETE(...)                           \
  void operator delete(__VA_ARGS__) noexcept {   \
    Release(p);                                  \
  }                                              \
  void operator delete[](__VA_ARGS__) noexcept { \
    Release(p);                                  \
  }
ZQ_DELETE(void* p)
ZQ_DELETE(void* p, std::size_t)
ZQ_DELETE(void* p, const std::nothrow_t&)
ZQ_DELETE(void* p, std::align_val_t)
ZQ_DELETE(void* p, std::size_t, std::align_val_t)
ZQ_DELETE(void* p, std::align_val_t, const std::nothrow_t&)
#undef ZQ_DELETE

#define ZQ_FAILING(Ret, name, failure, params, args)                                    \
  extern "C" Ret name params {                                                          \
    static const auto real = reinterpret_cast<Ret(*) params>(dlsym(RTLD_NEXT, #name));  \
    if (g_failNext == nullptr || std::strcmp(g_failNext, #name) != 0) return real args; \
    g_failNext = nullptr;                                                               \
    return failure;                                                                     \
  }
ZQ_FAILING(iconv_t, iconv_open, reinterpret_cast<iconv_t>(-1), (const char* t, const char* f),
           (t, f))
ZQ_FAILING(FcPattern*, FcPatternCreate, nullptr, (void), ())
ZQ_FAILING(FcLangSet*, FcLangSetCreate, nullptr, (void), ())
ZQ_FAILING(FcBool, FcPatternAddString, FcFalse, (FcPattern * p, const char* o, const FcChar8* s),
           (p, o, s))
ZQ_FAILING(FcBool, FcLangSetAdd, FcFalse, (FcLangSet * l, const FcChar8* lang), (l, lang))
ZQ_FAILING(FcBool, FcPatternAddLangSet, FcFalse, (FcPattern * p, const char* o, const FcLangSet* l),
           (p, o, l))
ZQ_FAILING(FcBool, FcPatternAddInteger, FcFalse, (FcPattern * p, const char* o, int i), (p, o, i))
ZQ_FAILING(FcBool, FcConfigSubstitute, FcFalse, (FcConfig * c, FcPattern* p, FcMatchKind k),
           (c, p, k))
ZQ_FAILING(FcPattern*, FcFontMatch, nullptr, (FcConfig * c, FcPattern* p, FcResult* r), (c, p, r))
#undef ZQ_FAILING

namespace {

using namespace zq::platform;

// The face of a font made after one call of step failed (the font being made then fails), with
// " without glyphs" when A and B come out as the same (missing) glyph.
std::string FaceAfterFailing(const char* step, const char* face, int weight) {
  auto make = [&] {
    return CreateFontA(24, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, face);
  };
  g_failNext = step;
  if (make() != nullptr) return "a font despite the failure";
  HFONT font = make();
  if (font == nullptr) return "no font";
  HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  char name[64] = "";
  GetTextFaceA(dc, sizeof name, name);
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  std::string glyphs[2];
  for (uint32_t i = 0; i < 2; ++i) {
    GLYPHMETRICS m{};
    glyphs[i].resize(GetGlyphOutlineA(dc, 'A' + i, GGO_BITMAP, &m, 0, nullptr, &identity));
    GetGlyphOutlineA(dc, 'A' + i, GGO_BITMAP, &m, uint32_t(glyphs[i].size()), glyphs[i].data(),
                     &identity);
  }
  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(font);
  return name + std::string(glyphs[0] != glyphs[1] ? "" : " without glyphs");
}

TEST(Exhaustion, ConvertersAndFaceLookupsThatFailedAreTriedAgain) {
  // The character converter (no face name: Japanese's default face), then the face-name
  // converter at its first use in the process.
  for (const char* face : {"", "IPAGothic"})
    EXPECT_EQ(FaceAfterFailing("iconv_open", face, 400), "IPAGothic") << face;
  // Each fontconfig step, for a lookup not asked before.
  const struct {
    const char *step, *face;
    int weight;
  } cases[] = {
      {"FcPatternCreate", "DejaVu Sans Mono", 700},    {"FcLangSetCreate", "DejaVu Sans", 400},
      {"FcPatternAddString", "DejaVu Sans", 700},      {"FcLangSetAdd", "DejaVu Serif", 400},
      {"FcPatternAddLangSet", "DejaVu Serif", 700},    {"FcPatternAddInteger", "IPAGothic", 700},
      {"FcConfigSubstitute", "DejaVu Sans Mono", 400}, {"FcFontMatch", "IPAPGothic", 400}};
  for (const auto& k : cases)
    EXPECT_EQ(FaceAfterFailing(k.step, k.face, k.weight), k.face) << k.step;
}

// ---- The scripted session --------------------------------------------------------------------

struct FatalStop {};
const char* g_fatal = nullptr;
bool g_failing = false;  // an allocation of this run fails
// The fatal ends the library allows itself when memory runs out.
const std::set<std::string> kFatal = {"メモリの確保に失敗しました",
                                      "DirectDraw オブジェクトの作成処理時にエラーが発生しました",
                                      "クリッパーオブジェクトの作成失敗しました",
                                      "テキストキャッシュサーフェスのＤＣの取得に失敗しました",
                                      "GetGlyphOutline 関数が失敗しました",
                                      "アンチエイリアス文字取得用バッファの確保に失敗しました",
                                      "テキストキャッシュの作成に失敗しました"};

// A public call answers 0 or a handle, or -1 when an allocation fails, and throws nothing.
template <class Fn>
int Checked(const char* call, Fn fn) {
  try {
    const int r = fn();
    EXPECT_GE(r, g_failing ? -1 : 0) << call;
    return r;
  } catch (...) {
    ADD_FAILURE() << "an exception came out of " << call;
    return -1;
  }
}
#define CALL(call) Checked(#call, [&] { return zq::call; })

// Start, a mode change, a PNG, a BMP and a movie loaded, drawn plainly, blended and stretched, a
// string across and down, a present, deletes, the end; pixels are read before the present.
void Play(const std::string& movie, std::vector<uint32_t>* pixels = nullptr) {
  const char* text = "Ab\x82\xa0\x8a\xbf";  // Ab, a kana and a kanji
  uint32_t v = 0;
  // A start that answers 0 has screen pixels, and a default font when one is asked for.
  if (CALL(LibraryInit()) == 0) {
    EXPECT_TRUE(zq::GetDrawScreenPixel(0, 0, &v) == 0 && zq::GetDefaultFontHandle() >= 0);
  }
  CALL(RunScreenModeChange(160, 120, 32, 60));
  const int a = CALL(LoadGraphFromFileStd(ZQ_DEMO_DATA_DIR "/sprite.png"));
  const int b = CALL(LoadGraphFromFileStd(ZQ_DEMO_DATA_DIR "/backdrop.bmp"));
  const int m = CALL(LoadGraphFromFileStd(movie.c_str()));  // its player's thread included
  CALL(SelectDrawScreen(zq::kDrawScreenBack));
  CALL(ClearTargetScreen());
  CALL(DrawGraphAt(0, 0, b, 0));
  CALL(SetBlendMode(zq::kBlendAlpha, 160));
  CALL(DrawGraphAt(30, 20, a, 1));
  CALL(DrawGraphRect(150, 100, 70, 40, a, 1));
  CALL(SetBlendMode(zq::kBlendNone, 0));
  const int f = CALL(CreateFontToHandle(nullptr, 16, 6, -1, -1, -1));
  CALL(DrawStringWithFont(4, 90, text, ~0u, f, 0, 0));
  CALL(DrawStringWithFont(130, 4, text, 0xFF00, f, 0, 1));
  for (int i = 0; pixels != nullptr && i < 160 * 120; ++i)
    CALL(GetDrawScreenPixel(i % 160, i / 160, &pixels->emplace_back()));
  CALL(PresentByFlip());
  for (int h : {a, b, m}) EXPECT_EQ(CALL(DeleteGraphHandle(h, 0)), h < 0 ? -1 : 0);
  CALL(DeleteFontHandle(f));
  CALL(LibraryEnd());
  EXPECT_EQ(zq::GetDrawScreenHandle(), -1);  // not left running
}

// Plays once counting its allocations of one kind (tracked or operator new), then once for every
// N with the Nth failing. After each run the tracked blocks are as many as before it, unless the
// run reached one of the fatal ends (the program would have ended there, holding what it held).
void FailEachAllocation(bool tracked, const std::string& movie) {
  auto run = [&](uint64_t n) {
    const uint64_t trackedBefore = zq::base::TrackedAllocationCalls();
    zq::base::FailTrackedAllocationAt(tracked ? n : 0);
    g_newCalls = 0;
    g_newFailsAt = tracked ? 0 : n;
    g_counting = true;
    g_failing = n != 0;
    Play(movie);
    g_counting = g_failing = false;
    zq::base::FailTrackedAllocationAt(0);
    return tracked ? zq::base::TrackedAllocationCalls() - trackedBefore : g_newCalls;
  };
  int blocks = zq::TrackedBlockCount();
  const uint64_t count = run(0);
  ASSERT_GT(count, 5u);
  for (uint64_t n = 1; n <= count && !testing::Test::HasFailure(); ++n) {
    SCOPED_TRACE(n);
    run(n);
    if (g_fatal != nullptr) {
      EXPECT_EQ(kFatal.count(g_fatal), 1u) << g_fatal;
      g_fatal = nullptr;
      blocks = zq::TrackedBlockCount();
    }
    EXPECT_EQ(zq::TrackedBlockCount(), blocks);
  }
}

TEST(Exhaustion, EveryFailedAllocationOfASessionKeepsThePublicContract) {
  zq::test::LibrarySession lib({.start = false});
  gditest::UseSyntheticDefaultFace(false);
  // The window's front surface is the desktop's size: a small one keeps each run short.
  ASSERT_TRUE(SetDesktop(640, 480, PixelFormatXRGB8888()));
  const std::string movie = (lib.Dir() / "clip.nut").string();
  ASSERT_TRUE(zq::test::WriteMovie(movie, zq::test::kFfv1Nut, 8, 8, 3));
  zq::base::SetFatalErrorHandler([](const char* message) {
    g_fatal = message;
    throw FatalStop{};
  });
  std::vector<uint32_t> clean, after;
  Play(movie);  // warms what the process keeps (fontconfig's answers)
  Play(movie, &clean);
  for (const bool tracked : {true, false}) FailEachAllocation(tracked, movie);
  Play(movie, &after);
  EXPECT_EQ(after, clean);
  zq::base::SetFatalErrorHandler(nullptr);
}

}  // namespace
