// Memory running out. This program replaces operator new and stands between the library and
// iconv_open and fontconfig, so that the Nth allocation (or the next call of one of those) fails.
// A scripted session runs once for every N and must keep the public contract: 0, -1 or a handle
// from every call, no exception through the public edge, no tracked block after LibraryEnd, and
// the pixels of a clean run as soon as memory is back.
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>
#include <zqlib/zqlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/system.h"
#include "platform/gdi/context.h"
#include "platform/gdi/font.h"
#include "platform/win/window.h"
#include "support/movie_files.h"

namespace {
uint64_t g_newCalls = 0, g_newFailsAt = 0;  // counted while g_counting; 0: none fails
bool g_counting = false;
const char* g_failNext = nullptr;  // the function whose next call fails
void* Allocate(std::size_t size) noexcept {
  const bool fails = g_counting && ++g_newCalls == g_newFailsAt;
  return fails ? nullptr : std::malloc(size != 0 ? size : 1);
}
// Out of line, so the compiler does not pair an inlined operator new with free.
[[gnu::noinline]] void Release(void* p) noexcept {
  std::free(p);
}
bool FailsNow(const char* name) {
  if (g_failNext == nullptr || std::strcmp(g_failNext, name) != 0) return false;
  g_failNext = nullptr;
  return true;
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
void operator delete(void* p) noexcept {
  Release(p);
}
void operator delete[](void* p) noexcept {
  Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
  Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  Release(p);
}

#define ZQ_FAILING(Ret, name, failure, params, args)                                   \
  extern "C" Ret name params {                                                         \
    static const auto real = reinterpret_cast<Ret(*) params>(dlsym(RTLD_NEXT, #name)); \
    return FailsNow(#name) ? failure : real args;                                      \
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

namespace fs = std::filesystem;
using namespace zq::platform;

HFONT Make(const char* face, uint32_t charSet, int32_t weight = 400) {
  return CreateFontA(24, 0, 0, 0, weight, 0, 0, 0, charSet, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     NONANTIALIASED_QUALITY, FIXED_PITCH, face);
}

// The face's name and, for each code, the glyph's box and bits.
std::string Describe(HFONT font, std::vector<uint32_t> codes = {}) {
  HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  char name[64] = "";
  GetTextFaceA(dc, sizeof name, name);
  std::string out = name;
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  for (uint32_t code : codes) {
    GLYPHMETRICS m{};
    std::string bits(GetGlyphOutlineA(dc, code, GGO_BITMAP, &m, 0, nullptr, &identity), '\0');
    GetGlyphOutlineA(dc, code, GGO_BITMAP, &m, uint32_t(bits.size()), bits.data(), &identity);
    out += "|" + std::to_string(m.gmBlackBoxX) + "x" + std::to_string(m.gmBlackBoxY) + bits;
  }
  SelectObject(dc, previous);
  DeleteDC(dc);
  return out;
}

TEST(Exhaustion, ConvertersThatFailedAreOpenedAgain) {
  // The character converter fails once: the next font maps its characters, so A and B (and
  // two kana) are glyphs of their own, not all the missing-glyph box.
  g_failNext = "iconv_open";
  if (HFONT first = Make(nullptr, SHIFTJIS_CHARSET)) DeleteObject(first);
  HFONT font = Make(nullptr, SHIFTJIS_CHARSET);
  ASSERT_NE(font, nullptr);
  const std::string glyphs = Describe(font, {'A', 'B', 0x82A0, 0x82A2});
  const size_t a = glyphs.find('|'), b = glyphs.find('|', a + 1), c = glyphs.find('|', b + 1),
               d = glyphs.find('|', c + 1);
  EXPECT_NE(glyphs.substr(a, b - a), glyphs.substr(b, c - b));
  EXPECT_NE(glyphs.substr(c, d - c), glyphs.substr(d));
  DeleteObject(font);
  // The face-name converter fails once (the Shift-JIS name IPAゴシック): that font fails, the
  // next one is found by its Japanese name.
  const char* ipa = "IPA\x83\x53\x83\x56\x83\x62\x83\x4e";
  g_failNext = "iconv_open";
  EXPECT_EQ(Make(ipa, SHIFTJIS_CHARSET), nullptr);
  font = Make(ipa, SHIFTJIS_CHARSET);
  EXPECT_EQ(font != nullptr ? Describe(font) : "no font", "IPAGothic");
  if (font != nullptr) DeleteObject(font);
}

TEST(Exhaustion, FaceLookupsThatFailedAreTriedAgain) {
  // Each fontconfig step fails once, for a lookup of its own (a family and weight not asked
  // before): the same font asked again is the right face.
  const struct {
    const char *step, *face;
    int32_t weight;
  } cases[] = {
      {"FcPatternCreate", "DejaVu Sans Mono", 700}, {"FcLangSetCreate", "DejaVu Sans", 400},
      {"FcPatternAddString", "DejaVu Sans", 700},   {"FcLangSetAdd", "DejaVu Serif", 400},
      {"FcPatternAddLangSet", "DejaVu Serif", 700}, {"FcPatternAddInteger", "IPAGothic", 400},
      {"FcConfigSubstitute", "IPAGothic", 700},     {"FcFontMatch", "DejaVu Sans Mono", 400}};
  for (const auto& k : cases) {
    g_failNext = k.step;
    if (HFONT failed = Make(k.face, DEFAULT_CHARSET, k.weight)) DeleteObject(failed);
    EXPECT_EQ(g_failNext, nullptr) << k.step << " was not called";
    HFONT font = Make(k.face, DEFAULT_CHARSET, k.weight);
    EXPECT_EQ(font != nullptr ? Describe(font) : "no font", k.face) << k.step;
    if (font != nullptr) DeleteObject(font);
  }
}

// ---- The scripted session --------------------------------------------------------------------

struct FatalStop {};
const char* g_fatal = nullptr;

class Session {
 public:
  Session() {
    dir_ = fs::temp_directory_path() / ("zqlib-exhaustion-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    EXPECT_EQ(chdir(dir_.c_str()), 0);
    movie_ = (dir_ / "clip.nut").string();
    EXPECT_TRUE(zq::test::WriteMovie(movie_, zq::test::kFfv1Nut, 8, 8, 3));
    // The window's front surface is the desktop's size: a small one keeps each run short.
    EXPECT_TRUE(SetDesktop(640, 480, PixelFormatXRGB8888()));
    zq::base::SetFatalErrorHandler([](const char* message) {
      g_fatal = message;
      throw FatalStop{};
    });
  }
  ~Session() {
    zq::base::SetFatalErrorHandler(nullptr);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Start, a mode change, a PNG and a BMP drawn plainly, blended and stretched, a string across
  // and down, a present, deletes, the end. The first call that broke the contract is named.
  std::string Play(std::vector<uint32_t>* pixels = nullptr) {
    std::string broken;
    auto call = [&](const char* name, auto fn) {
      try {
        const int r = fn();
        if (r < -1 && broken.empty()) broken = std::string(name) + " answered " + std::to_string(r);
        return r;
      } catch (...) {
        if (broken.empty()) broken = std::string("an exception came out of ") + name;
        return -1;
      }
    };
    const char* text = "Ab\x82\xa0\x8a\xbf";  // Ab, a kana and a kanji
    const bool started = call("LibraryInit", zq::LibraryInit) == 0;
    uint32_t v = 0;
    // A start that answered 0 has screen pixels, and a default font when one is asked for.
    if (started && (zq::GetDrawScreenPixel(0, 0, &v) != 0 || zq::GetDefaultFontHandle() < 0))
      broken = "a start without a screen or a default font";
    call("RunScreenModeChange", [] { return zq::RunScreenModeChange(160, 120, 32, 60); });
    const int a = call("Load", [&] { return zq::LoadGraphFromFileStd(png_.c_str()); });
    const int b = call("Load", [&] { return zq::LoadGraphFromFileStd(bmp_.c_str()); });
    call("SelectDrawScreen", [] { return zq::SelectDrawScreen(zq::kDrawScreenBack); });
    call("ClearTargetScreen", zq::ClearTargetScreen);
    call("DrawGraphAt", [&] { return zq::DrawGraphAt(0, 0, b, 0); });
    call("SetBlendMode", [] { return zq::SetBlendMode(zq::kBlendAlpha, 160); });
    call("DrawGraphAt", [&] { return zq::DrawGraphAt(30, 20, a, 1); });
    call("DrawGraphRect", [&] { return zq::DrawGraphRect(150, 100, 70, 40, a, 1); });
    call("SetBlendMode", [] { return zq::SetBlendMode(zq::kBlendNone, 0); });
    const int f = call("CreateFontToHandle",
                       [] { return zq::CreateFontToHandle(nullptr, 16, 6, -1, -1, -1); });
    call("DrawStringWithFont", [&] { return zq::DrawStringWithFont(4, 90, text, ~0u, f, 0, 0); });
    call("DrawStringWithFont",
         [&] { return zq::DrawStringWithFont(130, 4, text, 0xFF00, f, 0, 1); });
    for (int i = 0; pixels != nullptr && i < 160 * 120; ++i)
      call("GetDrawScreenPixel",
           [&] { return zq::GetDrawScreenPixel(i % 160, i / 160, &pixels->emplace_back()); });
    call("PresentByFlip", zq::PresentByFlip);
    for (int h : {a, b}) call("DeleteGraphHandle", [&] { return zq::DeleteGraphHandle(h, 0); });
    call("DeleteFontHandle", [&] { return zq::DeleteFontHandle(f); });
    call("LibraryEnd", zq::LibraryEnd);
    if (zq::GetDrawScreenHandle() != -1) broken = "left running after the end";
    return broken;
  }

  // The log of the last run.
  std::string Log() const {
    std::ifstream in(dir_ / "AppLog.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string movie_;

 private:
  const std::string png_ = std::string(ZQ_DEMO_DATA_DIR) + "/sprite.png";
  const std::string bmp_ = std::string(ZQ_DEMO_DATA_DIR) + "/backdrop.bmp";
  fs::path dir_;
};

// Runs play once counting its allocations of one kind, then once for every N with the Nth
// failing; after each run, the tracked blocks must be as many as before it, unless the run
// reached one of the ends the library allows itself (the program would have ended there with
// what it held: a graph record, the DirectDraw object or its clipper, a glyph's context, bits or
// buffer).
template <class Play>
void FailEachAllocation(bool tracked, Play play, const Session& session) {
  const std::set<std::string> fatal = {"メモリの確保に失敗しました",
                                       "DirectDraw オブジェクトの作成処理時にエラーが発生しました",
                                       "クリッパーオブジェクトの作成失敗しました",
                                       "テキストキャッシュサーフェスのＤＣの取得に失敗しました",
                                       "GetGlyphOutline 関数が失敗しました",
                                       "アンチエイリアス文字取得用バッファの確保に失敗しました",
                                       "テキストキャッシュの作成に失敗しました"};
  auto run = [&](uint64_t n) {
    const uint64_t trackedBefore = zq::base::TrackedAllocationCalls();
    if (tracked) zq::base::FailTrackedAllocationAt(n);
    g_newCalls = 0;
    g_newFailsAt = tracked ? 0 : n;
    g_counting = true;
    const std::string broken = play();
    g_counting = false;
    zq::base::FailTrackedAllocationAt(0);
    EXPECT_EQ(broken, "") << n;
    return tracked ? zq::base::TrackedAllocationCalls() - trackedBefore : g_newCalls;
  };
  int blocks = zq::TrackedBlockCount();
  const uint64_t count = run(0);
  ASSERT_GT(count, 5u);
  for (uint64_t n = 1; n <= count && !testing::Test::HasFailure(); ++n) {
    run(n);
    if (g_fatal != nullptr) {
      EXPECT_EQ(fatal.count(g_fatal), 1u) << n << ": " << g_fatal;
      g_fatal = nullptr;
      blocks = zq::TrackedBlockCount();
    }
    EXPECT_EQ(zq::TrackedBlockCount(), blocks) << n << "\n" << session.Log();
  }
}

TEST(Exhaustion, EveryFailedAllocationOfASessionKeepsThePublicContract) {
  Session session;
  std::vector<uint32_t> clean, after;
  ASSERT_EQ(session.Play(), "");  // warms what the process keeps (fontconfig's answers)
  ASSERT_EQ(session.Play(&clean), "");
  FailEachAllocation(
      true, [&] { return session.Play(); }, session);
  FailEachAllocation(
      false, [&] { return session.Play(); }, session);
  EXPECT_EQ(session.Play(&after), "");
  EXPECT_EQ(after, clean);
  // A movie load, its player's thread included: a graph or -1, and no record left by a failure.
  ASSERT_EQ(zq::LibraryInit(), 0);
  FailEachAllocation(
      false,
      [&] {
        const int clip = zq::LoadGraphFromFileStd(session.movie_.c_str());
        return clip < -1 ? "answered " + std::to_string(clip)
               : clip >= 0 && zq::DeleteGraphHandle(clip, 0) != 0 ? "not deleted"
                                                                  : "";
      },
      session);
  EXPECT_EQ(zq::LibraryEnd(), 0);
}

}  // namespace
