// Memory running out, one allocation at a time. This program replaces operator new and stands
// between the library and iconv_open and fontconfig, so that the Nth allocation (or the next
// call of one of those functions) fails; a short scripted session is then run once for every N
// and must keep the public contract: 0 or -1 (or a handle) from every call, no exception
// through the public edge, no tracked block left after LibraryEnd, and a library that works
// again as soon as memory does.
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>
#include <zqlib/zqlib.h>

#include <atomic>
#include <cerrno>
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

// ---- The failing allocator -------------------------------------------------------------------

namespace {

std::atomic<bool> g_counting{false};
std::atomic<uint64_t> g_newCalls{0};
std::atomic<uint64_t> g_newFailsAt{0};  // the call that fails; 0 none

bool NewFails() {
  if (!g_counting.load(std::memory_order_relaxed)) return false;
  return ++g_newCalls == g_newFailsAt.load(std::memory_order_relaxed);
}

void* Allocate(std::size_t size) noexcept {
  return NewFails() ? nullptr : std::malloc(size != 0 ? size : 1);
}

// Out of line, so the compiler does not pair the inlined operator new with free.
[[gnu::noinline]] void Release(void* p) noexcept {
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
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

// ---- iconv_open and fontconfig, failing on request ------------------------------------------

namespace {

const char* g_failNext = nullptr;  // the function whose next call fails

bool FailsNow(const char* name) {
  if (g_failNext == nullptr || std::strcmp(g_failNext, name) != 0) return false;
  g_failNext = nullptr;
  return true;
}

template <typename Fn>
Fn Real(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" iconv_t iconv_open(const char* to, const char* from) {
  static const auto real = Real<iconv_t (*)(const char*, const char*)>("iconv_open");
  if (FailsNow("iconv_open")) {
    errno = ENOMEM;
    return reinterpret_cast<iconv_t>(-1);
  }
  return real(to, from);
}

#define ZQ_FAILING(Ret, name, failure, params, args)     \
  extern "C" Ret name params {                           \
    static const auto real = Real<Ret(*) params>(#name); \
    return FailsNow(#name) ? failure : real args;        \
  }
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

// ---- Fonts under failing converters and lookups ----------------------------------------------

// The bits of a character's glyph, with its box size in front.
std::vector<uint8_t> Glyph(HFONT font, uint32_t code) {
  HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  GLYPHMETRICS m{};
  std::vector<uint8_t> bits(
      GetGlyphOutlineA(dc, code, GGO_GRAY4_BITMAP, &m, 0, nullptr, &identity));
  if (!bits.empty())
    GetGlyphOutlineA(dc, code, GGO_GRAY4_BITMAP, &m, uint32_t(bits.size()), bits.data(), &identity);
  SelectObject(dc, previous);
  DeleteDC(dc);
  bits.insert(bits.begin(), {uint8_t(m.gmBlackBoxX), uint8_t(m.gmBlackBoxY)});
  return bits;
}

HFONT Make(const char* face, uint32_t charSet, int32_t weight = 400) {
  return CreateFontA(24, 0, 0, 0, weight, 0, 0, 0, charSet, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     NONANTIALIASED_QUALITY, FIXED_PITCH, face);
}

std::string FaceOf(HFONT font) {
  HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  char name[64] = "";
  GetTextFaceA(dc, sizeof name, name);
  SelectObject(dc, previous);
  DeleteDC(dc);
  return name;
}

TEST(Exhaustion, ACodeConverterThatCouldNotBeOpenedIsOpenedByTheNextFont) {
  // The character converter fails once; the font asked for then may fail, but the next one maps
  // its characters: 'A' and 'B' are different glyphs, not both the missing-glyph box.
  g_failNext = "iconv_open";
  if (HFONT first = Make(nullptr, SHIFTJIS_CHARSET)) DeleteObject(first);
  HFONT font = Make(nullptr, SHIFTJIS_CHARSET);
  if (font == nullptr) font = Make(nullptr, SHIFTJIS_CHARSET);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(g_failNext, nullptr);  // the failure was met
  EXPECT_NE(Glyph(font, 'A'), Glyph(font, 'B'));
  EXPECT_NE(Glyph(font, 0x82A0), Glyph(font, 0x82A2));  // あ and い
  DeleteObject(font);
}

TEST(Exhaustion, AFaceNameConverterThatCouldNotBeOpenedIsOpenedByTheNextFont) {
  // The Shift-JIS name IPAゴシック: converted to find the family by its Japanese name.
  const char* name = "IPA\x83\x53\x83\x56\x83\x62\x83\x4e";
  g_failNext = "iconv_open";
  EXPECT_EQ(Make(name, SHIFTJIS_CHARSET), nullptr);  // the name cannot be read
  HFONT font = Make(name, SHIFTJIS_CHARSET);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(FaceOf(font), "IPAGothic");
  DeleteObject(font);
}

TEST(Exhaustion, AFailedFaceLookupIsNotRemembered) {
  // Each fontconfig step fails once, for a lookup of its own (a family and weight not asked
  // before in this program); that font fails, and the same font asked again is the right face.
  struct Case {
    const char* step;
    const char* face;
    int32_t weight;
  };
  const Case cases[] = {
      {"FcPatternCreate", "DejaVu Sans Mono", 700}, {"FcLangSetCreate", "DejaVu Sans", 400},
      {"FcPatternAddString", "DejaVu Sans", 700},   {"FcLangSetAdd", "DejaVu Serif", 400},
      {"FcPatternAddLangSet", "DejaVu Serif", 700}, {"FcPatternAddInteger", "IPAGothic", 400},
      {"FcConfigSubstitute", "IPAGothic", 700},     {"FcFontMatch", "DejaVu Sans Mono", 400},
  };
  for (const Case& c : cases) {
    g_failNext = c.step;
    HFONT failed = Make(c.face, DEFAULT_CHARSET, c.weight);
    EXPECT_EQ(g_failNext, nullptr) << c.step << " was not called";
    g_failNext = nullptr;
    if (failed != nullptr) {
      // A step whose failure cannot change the answer may still give the right face.
      EXPECT_EQ(FaceOf(failed), c.face) << c.step;
      DeleteObject(failed);
    }
    HFONT font = Make(c.face, DEFAULT_CHARSET, c.weight);
    ASSERT_NE(font, nullptr) << c.step;
    EXPECT_EQ(FaceOf(font), c.face) << c.step;
    DeleteObject(font);
  }
}

// ---- The scripted session --------------------------------------------------------------------

struct FatalStop {};

// What one run of the session showed.
struct Outcome {
  const char* threw = nullptr;      // the call an exception came out of
  const char* badResult = nullptr;  // a call that answered other than 0 / -1 / a handle
  int badValue = 0;
  bool started = false;
  std::vector<uint32_t> pixels;  // the back screen before the present, when asked for
};

class Session {
 public:
  Session() {
    dir_ = fs::temp_directory_path() / ("zqlib-exhaustion-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    char cwd[4096];
    previous_ = getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
    EXPECT_EQ(chdir(dir_.c_str()), 0);
    // A desktop of the start's screen size: the window's front surface is the desktop's size,
    // and a smaller one keeps each run short.
    EXPECT_TRUE(zq::platform::SetDesktop(640, 480, zq::platform::PixelFormatXRGB8888()));
    movie = (dir_ / "clip.nut").string();
    EXPECT_TRUE(zq::test::WriteMovie(movie, zq::test::kFfv1Nut, 8, 8, 3));
    zq::base::SetFatalErrorHandler([](const char* message) {
      fatal_ = message;
      throw FatalStop{};
    });
  }
  ~Session() {
    zq::base::SetFatalErrorHandler(nullptr);
    EXPECT_EQ(chdir(previous_.c_str()), 0);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Start, a mode change, a PNG and a BMP loaded, drawn plainly, blended and stretched, a
  // string across and down with a font, a present, deletes and the end.
  Outcome Play(bool readPixels) {
    Outcome run;
    auto call = [&](const char* name, bool handle, auto fn) -> int {
      try {
        const int r = fn();
        if (handle ? r < -1 : (r != 0 && r != -1)) {
          run.badResult = name;
          run.badValue = r;
        }
        return r;
      } catch (...) {
        run.threw = name;
        return -1;
      }
    };
    const char text[] = "Ab\x82\xa0\x8a\xbf";  // Ab, a kana and a kanji
    run.started = call("LibraryInit", false, [] { return zq::LibraryInit(); }) == 0;
    call("RunScreenModeChange", false, [] { return zq::RunScreenModeChange(160, 120, 32, 60); });
    const int a = call("Load PNG", true, [&] { return zq::LoadGraphFromFileStd(png.c_str()); });
    const int b = call("Load BMP", true, [&] { return zq::LoadGraphFromFileStd(bmp.c_str()); });
    call("SelectDrawScreen", false, [] { return zq::SelectDrawScreen(zq::kDrawScreenBack); });
    call("ClearTargetScreen", false, [] { return zq::ClearTargetScreen(); });
    call("DrawGraphAt", false, [&] { return zq::DrawGraphAt(0, 0, b, 0); });
    call("SetBlendMode", false, [] { return zq::SetBlendMode(zq::kBlendAlpha, 160); });
    call("DrawGraphAt", false, [&] { return zq::DrawGraphAt(30, 20, a, 1); });
    call("DrawGraphRect", false, [&] { return zq::DrawGraphRect(150, 100, 70, 40, a, 1); });
    call("SetBlendMode", false, [] { return zq::SetBlendMode(zq::kBlendNone, 0); });
    const int font = call("CreateFontToHandle", true,
                          [] { return zq::CreateFontToHandle(nullptr, 16, 6, -1, -1, -1); });
    call("DrawStringWithFont", false,
         [&] { return zq::DrawStringWithFont(4, 90, text, 0xFFFFFF, font, 0, 0); });
    call("DrawStringWithFont", false,
         [&] { return zq::DrawStringWithFont(130, 4, text, 0xFFFF00, font, 0, 1); });
    if (readPixels) {
      for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
          uint32_t v = 0;
          call("GetDrawScreenPixel", false, [&] { return zq::GetDrawScreenPixel(x, y, &v); });
          run.pixels.push_back(v);
        }
    }
    call("PresentByFlip", false, [] { return zq::PresentByFlip(); });
    call("DeleteGraphHandle", false, [&] { return zq::DeleteGraphHandle(a, 0); });
    call("DeleteGraphHandle", false, [&] { return zq::DeleteGraphHandle(b, 0); });
    call("DeleteFontHandle", false, [&] { return zq::DeleteFontHandle(font); });
    call("LibraryEnd", false, [] { return zq::LibraryEnd(); });
    return run;
  }

  // The log of the last run.
  std::string Log() const {
    std::ifstream in(dir_ / "AppLog.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  static inline const char* fatal_ = nullptr;

 private:
  // Made before the counting starts: the session itself allocates nothing.
  const std::string png = std::string(ZQ_DEMO_DATA_DIR) + "/sprite.png";
  const std::string bmp = std::string(ZQ_DEMO_DATA_DIR) + "/backdrop.bmp";

 public:
  std::string movie;  // a small movie the session writes
  std::string previous_;
  fs::path dir_;
};

// Checks one run that had its Nth allocation fail; names the run on failure. blocks: the
// tracked blocks that are not the session's.
void ExpectContractKept(const Session& session, const Outcome& run, const char* kind, uint64_t n,
                        int& blocks) {
  EXPECT_EQ(run.threw, nullptr) << kind << " " << n << ": an exception came out of " << run.threw;
  EXPECT_EQ(run.badResult, nullptr)
      << kind << " " << n << ": " << run.badResult << " answered " << run.badValue;
  // Not left half-started: the library does not run after the end.
  EXPECT_EQ(zq::GetDrawScreenHandle(), -1) << kind << " " << n;
  if (Session::fatal_ != nullptr) {
    // The ends the library knows no way back from: no graph record, no DirectDraw object or
    // clipper, no glyph (its context, bits or buffer). The program would have ended there,
    // with what it held: that is not counted as left over.
    const std::string m = Session::fatal_;
    const std::set<std::string> fatal = {
        "メモリの確保に失敗しました",
        "DirectDraw オブジェクトの作成処理時にエラーが発生しました",
        "クリッパーオブジェクトの作成失敗しました",
        "テキストキャッシュサーフェスのＤＣの取得に失敗しました",
        "GetGlyphOutline 関数が失敗しました",
        "アンチエイリアス文字取得用バッファの確保に失敗しました",
        "テキストキャッシュの作成に失敗しました"};
    EXPECT_EQ(fatal.count(m), 1u) << kind << " " << n << ": " << m;
    Session::fatal_ = nullptr;
    blocks = zq::TrackedBlockCount();
    return;
  }
  EXPECT_EQ(zq::TrackedBlockCount(), blocks) << kind << " " << n << "\n" << session.Log();
}

TEST(Exhaustion, EveryFailedAllocationOfASessionKeepsThePublicContract) {
  Session session;
  // A first run warms what the process keeps (fontconfig's answers); the second is the one
  // whose allocations are counted and whose pixels every later clean run must give.
  ASSERT_TRUE(session.Play(false).started);
  const uint64_t trackedBefore = zq::base::TrackedAllocationCalls();
  g_newCalls = 0;
  g_counting = true;
  const Outcome clean = session.Play(true);
  g_counting = false;
  const uint64_t tracked = zq::base::TrackedAllocationCalls() - trackedBefore;
  const uint64_t news = g_newCalls;
  ASSERT_TRUE(clean.started);
  ASSERT_EQ(clean.threw, nullptr);
  ASSERT_GT(tracked, 20u);
  ASSERT_GT(news, 20u);
  int blocks = zq::TrackedBlockCount();

  for (uint64_t n = 1; n <= tracked && !HasFailure(); ++n) {
    zq::base::FailTrackedAllocationAt(n);
    const Outcome run = session.Play(false);
    zq::base::FailTrackedAllocationAt(0);
    ExpectContractKept(session, run, "tracked allocation", n, blocks);
  }
  for (uint64_t n = 1; n <= news && !HasFailure(); ++n) {
    g_newCalls = 0;
    g_newFailsAt = n;
    g_counting = true;
    const Outcome run = session.Play(false);
    g_counting = false;
    g_newFailsAt = 0;
    ExpectContractKept(session, run, "operator new", n, blocks);
  }

  const Outcome after = session.Play(true);
  EXPECT_TRUE(after.started);
  EXPECT_EQ(after.pixels, clean.pixels);
}

TEST(Exhaustion, EveryFailedAllocationOfAMovieLoadKeepsThePublicContract) {
  // The movie layer (a thread of its own decodes): each operator new of one load fails in turn;
  // the load answers a graph or -1, and a failed one leaves no record behind.
  Session session;
  ASSERT_EQ(zq::LibraryInit(), 0);
  const int blocks = zq::TrackedBlockCount();
  g_newCalls = 0;
  g_counting = true;
  const int first = zq::LoadGraphFromFileStd(session.movie.c_str());
  g_counting = false;
  const uint64_t news = g_newCalls;
  ASSERT_GE(first, 0);
  ASSERT_EQ(zq::DeleteGraphHandle(first, 0), 0);
  ASSERT_GT(news, 5u);
  for (uint64_t n = 1; n <= news && !HasFailure(); ++n) {
    g_newCalls = 0;
    g_newFailsAt = n;
    g_counting = true;
    int graph = -2;
    try {
      graph = zq::LoadGraphFromFileStd(session.movie.c_str());
    } catch (...) {
    }
    g_counting = false;
    g_newFailsAt = 0;
    ASSERT_GE(graph, -1) << n;
    if (graph >= 0) {
      EXPECT_EQ(zq::DeleteGraphHandle(graph, 0), 0) << n;
    }
    EXPECT_EQ(zq::TrackedBlockCount(), blocks) << n << "\n" << session.Log();
  }
  EXPECT_EQ(zq::LibraryEnd(), 0);
}

}  // namespace
